#include "runtime/spectral/ComplexProducts.h"

namespace plexa::spectral {

namespace {

bool pairCount(std::int32_t n) { return n >= 2 && (n & 1) == 0; }

struct Complex {
    double re, im;
};

inline Complex productAt(const double* a, const double* b, std::int32_t j) {
    return {a[j] * b[j] - a[j + 1] * b[j + 1], a[j] * b[j + 1] + a[j + 1] * b[j]};
}

}  // namespace

void complexMultiply(double* dest, const double* src, std::int32_t n) {
    if (!pairCount(n) || !dest || !src) return;
    for (std::int32_t j = 0; j < 2 * n; j += 2) {
        const Complex p = productAt(dest, src, j);
        dest[j] = p.re;
        dest[j + 1] = p.im;
    }
}

void complexMultiplyTo(double* out, const double* a, const double* b, std::int32_t n) {
    if (!pairCount(n) || !out || !a || !b) return;
    for (std::int32_t j = 0; j < 2 * n; j += 2) {
        const Complex p = productAt(a, b, j);  // before the store: out may be a or b
        out[j] = p.re;
        out[j + 1] = p.im;
    }
}

void complexMultiplyAdd(double* out, const double* a, const double* b, std::int32_t n) {
    if (!pairCount(n) || !out || !a || !b) return;
    for (std::int32_t j = 0; j < 2 * n; j += 2) {
        const Complex p = productAt(a, b, j);
        out[j] += p.re;
        out[j + 1] += p.im;
    }
}

}  // namespace plexa::spectral
