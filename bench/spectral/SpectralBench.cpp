// fftComplex and the MDCT beside FFTW on identical input.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "runtime/spectral/Fft.h"
#include "runtime/spectral/FftTables.h"
#include "runtime/spectral/Mdct.h"

using namespace plexa::spectral;

namespace {

std::vector<double> noise(std::size_t count) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(count);
    for (double& x : v) x = dist(rng);
    return v;
}

// Each iteration restores the input first so the data stays bounded; the
// copy is the same for both contenders.
void BM_FftComplex(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    fftInit();
    const std::vector<double> input = noise(2 * static_cast<std::size_t>(n));
    std::vector<double> data(input.size());
    for (auto _ : state) {
        std::memcpy(data.data(), input.data(), input.size() * sizeof(double));
        fftComplex(data.data(), n, false);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_FftwComplex(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> input = noise(2 * static_cast<std::size_t>(n));
    auto* data = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * static_cast<std::size_t>(n)));
    fftw_plan plan = fftw_plan_dft_1d(n, data, data, FFTW_FORWARD, FFTW_MEASURE);
    for (auto _ : state) {
        std::memcpy(data, input.data(), input.size() * sizeof(double));
        fftw_execute(plan);
        benchmark::DoNotOptimize(data);
    }
    fftw_destroy_plan(plan);
    fftw_free(data);
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_MdctForward(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const MdctContext& context = *mdctContext(n);
    const std::vector<double> input = noise(static_cast<std::size_t>(n));
    std::vector<double> out(static_cast<std::size_t>(n / 2));
    for (auto _ : state) {
        mdctForward(context, input.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// FFTW's MDCT equivalent: the same fold, then its type-IV cosine transform.
void BM_FftwMdctForward(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int m = n / 2;
    const std::vector<double> input = noise(static_cast<std::size_t>(n));
    double* folded = fftw_alloc_real(static_cast<std::size_t>(m));
    double* out = fftw_alloc_real(static_cast<std::size_t>(m));
    fftw_plan plan = fftw_plan_r2r_1d(m, folded, out, FFTW_REDFT11, FFTW_MEASURE);
    for (auto _ : state) {
        const double* x = input.data();
        for (int i = 0; i < m / 2; ++i) folded[i] = -x[3 * m / 2 - 1 - i] - x[3 * m / 2 + i];
        for (int i = m / 2; i < m; ++i) folded[i] = x[i - m / 2] - x[3 * m / 2 - 1 - i];
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
    }
    fftw_destroy_plan(plan);
    fftw_free(folded);
    fftw_free(out);
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(BM_FftComplex)->Arg(64)->Arg(1024)->Arg(32768);
BENCHMARK(BM_FftwComplex)->Arg(64)->Arg(1024)->Arg(32768);
// The runtime's MDCT lengths stop at 4096.
BENCHMARK(BM_MdctForward)->Arg(64)->Arg(1024)->Arg(4096);
BENCHMARK(BM_FftwMdctForward)->Arg(64)->Arg(1024)->Arg(4096);

BENCHMARK_MAIN();
