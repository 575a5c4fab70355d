// Windowed modified discrete cosine transform of N = 32 .. 4096 samples
// (N/2 coefficients), with one context per length shared by the process.
//
// Scaling: length 32 uses the direct sums, the forward unscaled and the
// inverse times 4/N. From 64 up the fast path computes the same sums (factor
// 1) and then applies 4/N to the forward result and nothing to the inverse, so
// a forward-inverse round trip scales alike at every length.
#pragma once

#include <cstdint>
#include <vector>

namespace plexa::spectral {

struct MdctContext {
    std::int32_t n = 0;                 // time samples
    std::vector<double> window;         // n/2 values: sin((i + 0.5) * pi / n)
    std::vector<double> preTwiddle;     // fast path: exp(-i pi (4j + 1) / (2n)), j < n/4
    std::vector<double> postTwiddle;    // fast path: exp(-i pi k / (n/2)), k < n/4
    double scale = 0.0;                 // 4 / n
};

// The context for n (a power of two from 32 to 4096), built once on first use
// under a thread-safe initialisation; null for other n.
const MdctContext* mdctContext(std::int32_t n);

// out[i] = in[i] * w[i], out[n/2 + i] = in[n/2 + i] * w[n/2 - 1 - i]
void mdctWindow(const MdctContext& context, const double* in, double* out);
// n samples to n/2 coefficients. in and out must not overlap.
void mdctForward(const MdctContext& context, const double* in, double* out);
// n/2 coefficients to n samples. in and out must not overlap.
void mdctInverse(const MdctContext& context, const double* in, double* out);

}  // namespace plexa::spectral
