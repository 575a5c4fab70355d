// Element-wise products of spectra, for fast convolution. Each does nothing
// unless n is even and at least 2 (they work on pairs of complex numbers).
#pragma once

#include <cstdint>

namespace plexa::spectral {

// dest[j] *= src[j]
void complexMultiply(double* dest, const double* src, std::int32_t n);
// out[j] = a[j] * b[j]
void complexMultiplyTo(double* out, const double* a, const double* b, std::int32_t n);
// out[j] += a[j] * b[j]
void complexMultiplyAdd(double* out, const double* a, const double* b, std::int32_t n);

}  // namespace plexa::spectral
