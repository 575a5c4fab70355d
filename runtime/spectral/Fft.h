// In-place complex transform of n = 2 .. 32768 points (2n doubles, real part
// first). The forward transform leaves bin k at fftPermuteIndex(n, k); the
// inverse takes that order back to natural order. Neither scales.
#pragma once

#include <cstdint>

namespace plexa::spectral {

void fftComplex(double* buffer, std::int32_t n, bool inverse);

// Reorders n complex numbers in place: fftPermute takes the transform's order
// to natural order (element k = bin k), fftIpermute the other way.
void fftPermute(double* buffer, std::int32_t n);
void fftIpermute(double* buffer, std::int32_t n);

std::int32_t fftPermuteIndex(std::int32_t n, std::int32_t k);
// The n entries of the order for size n; null for unsupported sizes.
const std::int32_t* fftPermuteSegment(std::int32_t n);

}  // namespace plexa::spectral
