#include "runtime/spectral/Mdct.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>

#include "runtime/spectral/Fft.h"
#include "runtime/spectral/FftTables.h"

namespace plexa::spectral {

namespace {

constexpr int kSmallestLog2 = 5;   // 32
constexpr int kLargestLog2 = 12;   // 4096
constexpr std::int32_t kDirectLength = 32;
constexpr std::int32_t kMaxLength = 1 << kLargestLog2;

std::unique_ptr<MdctContext> gContexts[kLargestLog2 + 1];
std::once_flag gContextOnce[kLargestLog2 + 1];

void buildContext(int bits) {
    auto context = std::make_unique<MdctContext>();
    const std::int32_t n = 1 << bits;
    context->n = n;
    context->window.resize(static_cast<std::size_t>(n / 2));
    for (std::int32_t i = 0; i < n / 2; ++i) context->window[static_cast<std::size_t>(i)] = std::sin((i + 0.5) * std::numbers::pi / n);
    context->scale = 4.0 / n;
    if (n > kDirectLength) {
        const std::int32_t m = n / 2;  // coefficients; the cosine transform of this size runs as an m/2-point FFT
        context->preTwiddle.resize(static_cast<std::size_t>(m));
        context->postTwiddle.resize(static_cast<std::size_t>(m));
        for (std::int32_t j = 0; j < m / 2; ++j) {
            const double pre = -std::numbers::pi * (4 * j + 1) / (4.0 * m);
            const double post = -std::numbers::pi * j / m;
            context->preTwiddle[static_cast<std::size_t>(2 * j)] = std::cos(pre);
            context->preTwiddle[static_cast<std::size_t>(2 * j + 1)] = std::sin(pre);
            context->postTwiddle[static_cast<std::size_t>(2 * j)] = std::cos(post);
            context->postTwiddle[static_cast<std::size_t>(2 * j + 1)] = std::sin(post);
        }
    }
    gContexts[bits] = std::move(context);
}

double basis(std::int32_t n, std::int32_t time, std::int32_t k) {
    return std::cos(std::numbers::pi / (2.0 * n) * (2.0 * time + 1.0 + n / 2.0) * (2.0 * k + 1.0));
}

// Type-IV cosine transform of v (m values) into out, through an m/2-point
// complex FFT: pack even and mirrored odd values, turn, transform, turn back.
void fastCosineIV(const MdctContext& context, const double* v, std::int32_t m, double* out, double scale) {
    double packed[kMaxLength / 2];
    const std::int32_t half = m / 2;
    const double* pre = context.preTwiddle.data();
    for (std::int32_t j = 0; j < half; ++j) {
        const double re = v[2 * j], im = v[m - 1 - 2 * j];
        packed[2 * j] = re * pre[2 * j] - im * pre[2 * j + 1];
        packed[2 * j + 1] = re * pre[2 * j + 1] + im * pre[2 * j];
    }
    fftComplex(packed, half, false);
    const std::int32_t* order = fftPermuteSegment(half);
    const double* post = context.postTwiddle.data();
    for (std::int32_t k = 0; k < half; ++k) {
        const double* t = packed + 2 * order[k];
        const double re = t[0] * post[2 * k] - t[1] * post[2 * k + 1];
        const double im = t[0] * post[2 * k + 1] + t[1] * post[2 * k];
        out[2 * k] = scale * re;
        out[m - 1 - 2 * k] = -scale * im;
    }
}

}  // namespace

const MdctContext* mdctContext(std::int32_t n) {
    const int bits = log2OfPowerOfTwo(n);
    if (bits < kSmallestLog2 || bits > kLargestLog2) return nullptr;
    std::call_once(gContextOnce[bits], buildContext, bits);
    return gContexts[bits].get();
}

void mdctWindow(const MdctContext& context, const double* in, double* out) {
    const std::int32_t half = context.n / 2;
    const double* w = context.window.data();
    for (std::int32_t i = 0; i < half; ++i) {
        out[i] = in[i] * w[i];
        out[half + i] = in[half + i] * w[half - 1 - i];
    }
}

void mdctForward(const MdctContext& context, const double* in, double* out) {
    const std::int32_t n = context.n;
    if (n == kDirectLength) {
        for (std::int32_t k = 0; k < n / 2; ++k) {
            double sum = 0.0;
            for (std::int32_t t = 0; t < n; ++t) sum += in[t] * basis(n, t, k);
            out[k] = sum;
        }
        return;
    }
    // Fold the n samples into m values whose type-IV transform is the MDCT.
    const std::int32_t m = n / 2;
    double folded[kMaxLength / 2];
    for (std::int32_t i = 0; i < m / 2; ++i) folded[i] = -in[3 * m / 2 - 1 - i] - in[3 * m / 2 + i];
    for (std::int32_t i = m / 2; i < m; ++i) folded[i] = in[i - m / 2] - in[3 * m / 2 - 1 - i];
    fastCosineIV(context, folded, m, out, context.scale);
}

void mdctInverse(const MdctContext& context, const double* in, double* out) {
    const std::int32_t n = context.n;
    if (n == kDirectLength) {
        for (std::int32_t t = 0; t < n; ++t) {
            double sum = 0.0;
            for (std::int32_t k = 0; k < n / 2; ++k) sum += in[k] * basis(n, t, k);
            out[t] = sum * context.scale;
        }
        return;
    }
    // The type-IV transform is its own inverse; unfold its m values to n samples.
    const std::int32_t m = n / 2;
    double w[kMaxLength / 2];
    fastCosineIV(context, in, m, w, 1.0);
    for (std::int32_t i = 0; i < m / 2; ++i) out[i] = w[m / 2 + i];
    for (std::int32_t i = m / 2; i < 3 * m / 2; ++i) out[i] = -w[3 * m / 2 - 1 - i];
    for (std::int32_t i = 3 * m / 2; i < n; ++i) out[i] = -w[i - 3 * m / 2];
}

}  // namespace plexa::spectral
