#include "runtime/spectral/Fft.h"

#include <emmintrin.h>

#include "runtime/spectral/FftTables.h"

namespace plexa::spectral {

namespace {

// One complex number per SSE2 register: (real, imaginary).
using C = __m128d;

inline C load(const double* p) { return _mm_loadu_pd(p); }
inline void store(double* p, C v) { _mm_storeu_pd(p, v); }
inline C swapParts(C v) { return _mm_shuffle_pd(v, v, 1); }
const C kNegateReal = _mm_set_pd(0.0, -0.0);
const C kNegateImag = _mm_set_pd(-0.0, 0.0);

// v * (c + i s)
inline C rotate(C v, C c, C s) { return _mm_add_pd(_mm_mul_pd(v, c), _mm_xor_pd(_mm_mul_pd(swapParts(v), s), kNegateReal)); }
// v * (c - i s)
inline C rotateBack(C v, C c, C s) { return _mm_add_pd(_mm_mul_pd(v, c), _mm_xor_pd(_mm_mul_pd(swapParts(v), s), kNegateImag)); }
// i * v and -i * v
inline C timesI(C v) { return _mm_xor_pd(swapParts(v), kNegateReal); }
inline C timesMinusI(C v) { return _mm_xor_pd(swapParts(v), kNegateImag); }

// Forward, decimation in frequency, kernel e^{+2 pi i / n}: the half-size
// transform takes the sums, the two quarter-size ones the differences turned
// by w^k and w^-k (the conjugate pair). This leaves bins in the table's order.
void forwardSplit(const FftTables& tables, double* x, std::int32_t n) {
    if (n == 1) return;
    if (n == 2) {
        const C a = load(x), b = load(x + 2);
        store(x, _mm_add_pd(a, b));
        store(x + 2, _mm_sub_pd(a, b));
        return;
    }
    const std::int32_t q = n / 4;
    double* x0 = x;
    double* x1 = x + 2 * q;
    double* x2 = x + 4 * q;
    double* x3 = x + 6 * q;
    if (n == 4) {
        const C a = load(x0), b = load(x1), c = load(x2), d = load(x3);
        const C u = _mm_sub_pd(a, c), v = _mm_sub_pd(b, d);
        const C s = _mm_add_pd(a, c), t = _mm_add_pd(b, d);
        store(x0, _mm_add_pd(s, t));
        store(x1, _mm_sub_pd(s, t));
        store(x2, _mm_add_pd(u, timesI(v)));
        store(x3, _mm_sub_pd(u, timesI(v)));
        return;
    }
    const double* w = tables.twiddles[log2OfPowerOfTwo(n)].data();
    for (std::int32_t k = 0; k < q; ++k) {
        const std::int32_t o = 2 * k;
        const C a = load(x0 + o), b = load(x1 + o), c = load(x2 + o), d = load(x3 + o);
        store(x0 + o, _mm_add_pd(a, c));
        store(x1 + o, _mm_add_pd(b, d));
        const C u = _mm_sub_pd(a, c);
        const C iv = timesI(_mm_sub_pd(b, d));
        const C wc = _mm_load1_pd(w + o), ws = _mm_load1_pd(w + o + 1);
        store(x2 + o, rotate(_mm_add_pd(u, iv), wc, ws));
        store(x3 + o, rotateBack(_mm_sub_pd(u, iv), wc, ws));
    }
    forwardSplit(tables, x0, 2 * q);
    forwardSplit(tables, x2, q);
    forwardSplit(tables, x3, q);
}

// The adjoint of forwardSplit, step by step in reverse: the table's order in,
// natural order out, kernel e^{-2 pi i / n} over that order, i.e. the inverse
// transform of bins placed where the forward transform puts them.
void inverseSplit(const FftTables& tables, double* x, std::int32_t n) {
    if (n == 1) return;
    if (n == 2) {
        const C a = load(x), b = load(x + 2);
        store(x, _mm_add_pd(a, b));
        store(x + 2, _mm_sub_pd(a, b));
        return;
    }
    const std::int32_t q = n / 4;
    double* x0 = x;
    double* x1 = x + 2 * q;
    double* x2 = x + 4 * q;
    double* x3 = x + 6 * q;
    if (n == 4) {
        const C p0 = load(x0), p1 = load(x1), s = load(x2), t = load(x3);
        const C p = _mm_add_pd(p0, p1), r = _mm_sub_pd(p0, p1);
        const C e = _mm_add_pd(s, t), o = _mm_sub_pd(s, t);
        store(x0, _mm_add_pd(p, e));
        store(x2, _mm_sub_pd(p, e));
        store(x1, _mm_add_pd(r, timesMinusI(o)));
        store(x3, _mm_sub_pd(r, timesMinusI(o)));
        return;
    }
    inverseSplit(tables, x0, 2 * q);
    inverseSplit(tables, x2, q);
    inverseSplit(tables, x3, q);
    const double* w = tables.twiddles[log2OfPowerOfTwo(n)].data();
    for (std::int32_t k = 0; k < q; ++k) {
        const std::int32_t o = 2 * k;
        const C wc = _mm_load1_pd(w + o), ws = _mm_load1_pd(w + o + 1);
        const C s = rotateBack(load(x2 + o), wc, ws);
        const C t = rotate(load(x3 + o), wc, ws);
        const C p = load(x0 + o), r = load(x1 + o);
        const C e = _mm_add_pd(s, t);
        const C mio = timesMinusI(_mm_sub_pd(s, t));
        store(x0 + o, _mm_add_pd(p, e));
        store(x2 + o, _mm_sub_pd(p, e));
        store(x1 + o, _mm_add_pd(r, mio));
        store(x3 + o, _mm_sub_pd(r, mio));
    }
}

bool supportedSize(std::int32_t n, std::int32_t smallest) {
    return n >= smallest && n <= kMaxFftSize && (n & (n - 1)) == 0;
}

}  // namespace

void fftComplex(double* buffer, std::int32_t n, bool inverse) {
    if (buffer == nullptr || !supportedSize(n, kMinFftSize)) return;
    const FftTables& tables = fftTables();
    if (inverse)
        inverseSplit(tables, buffer, n);
    else
        forwardSplit(tables, buffer, n);
}

void fftPermute(double* buffer, std::int32_t n) {
    if (buffer == nullptr || !supportedSize(n, 4)) return;
    const FftTables& tables = fftTables();
    const std::int32_t* segment = tables.permutation + (n - 2);
    // Element k takes what sits at segment[k]: walk each cycle once,
    // holding one element aside.
    for (const std::int32_t leader : tables.cycleLeaders[log2OfPowerOfTwo(n)]) {
        const C saved = load(buffer + 2 * leader);
        std::int32_t j = leader;
        for (;;) {
            const std::int32_t source = segment[j];
            if (source == leader) {
                store(buffer + 2 * j, saved);
                break;
            }
            store(buffer + 2 * j, load(buffer + 2 * source));
            j = source;
        }
    }
}

void fftIpermute(double* buffer, std::int32_t n) {
    if (buffer == nullptr || !supportedSize(n, 4)) return;
    const FftTables& tables = fftTables();
    const std::int32_t* segment = tables.permutation + (n - 2);
    // Element k moves to segment[k], carrying the one it displaces onwards.
    for (const std::int32_t leader : tables.cycleLeaders[log2OfPowerOfTwo(n)]) {
        C carried = load(buffer + 2 * leader);
        std::int32_t k = leader;
        do {
            const std::int32_t target = segment[k];
            const C displaced = load(buffer + 2 * target);
            store(buffer + 2 * target, carried);
            carried = displaced;
            k = target;
        } while (k != leader);
    }
}

std::int32_t fftPermuteIndex(std::int32_t n, std::int32_t k) {
    if (!supportedSize(n, kMinFftSize) || k < 0 || k >= n) return 0;
    return fftTables().permutation[n - 2 + k];
}

const std::int32_t* fftPermuteSegment(std::int32_t n) {
    if (!supportedSize(n, kMinFftSize)) return nullptr;
    return fftTables().permutation + (n - 2);
}

}  // namespace plexa::spectral
