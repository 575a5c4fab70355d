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

const C kHalfRoot = _mm_set1_pd(0.70710678118654752440);

inline void forward2(double* x) {
    const C a = load(x), b = load(x + 2);
    store(x, _mm_add_pd(a, b));
    store(x + 2, _mm_sub_pd(a, b));
}

inline void forward4(double* x) {
    const C a = load(x), b = load(x + 2), c = load(x + 4), d = load(x + 6);
    const C u = _mm_sub_pd(a, c), iv = timesI(_mm_sub_pd(b, d));
    const C s = _mm_add_pd(a, c), t = _mm_add_pd(b, d);
    store(x, _mm_add_pd(s, t));
    store(x + 2, _mm_sub_pd(s, t));
    store(x + 4, _mm_add_pd(u, iv));
    store(x + 6, _mm_sub_pd(u, iv));
}

// Eight points unrolled: the recursion's call overhead dominates at this size.
inline void forward8(double* x) {
    const C a0 = load(x), b0 = load(x + 4), c0 = load(x + 8), d0 = load(x + 12);
    const C a1 = load(x + 2), b1 = load(x + 6), c1 = load(x + 10), d1 = load(x + 14);
    store(x, _mm_add_pd(a0, c0));
    store(x + 4, _mm_add_pd(b0, d0));
    store(x + 2, _mm_add_pd(a1, c1));
    store(x + 6, _mm_add_pd(b1, d1));
    const C u0 = _mm_sub_pd(a0, c0), iv0 = timesI(_mm_sub_pd(b0, d0));
    const C u1 = _mm_sub_pd(a1, c1), iv1 = timesI(_mm_sub_pd(b1, d1));
    store(x + 8, _mm_add_pd(u0, iv0));
    store(x + 12, _mm_sub_pd(u0, iv0));
    store(x + 10, rotate(_mm_add_pd(u1, iv1), kHalfRoot, kHalfRoot));
    store(x + 14, rotateBack(_mm_sub_pd(u1, iv1), kHalfRoot, kHalfRoot));
    forward4(x);
    forward2(x + 8);
    forward2(x + 12);
}

inline void inverse4(double* x) {
    const C p0 = load(x), p1 = load(x + 2), s = load(x + 4), t = load(x + 6);
    const C p = _mm_add_pd(p0, p1), r = _mm_sub_pd(p0, p1);
    const C e = _mm_add_pd(s, t), mio = timesMinusI(_mm_sub_pd(s, t));
    store(x, _mm_add_pd(p, e));
    store(x + 4, _mm_sub_pd(p, e));
    store(x + 2, _mm_add_pd(r, mio));
    store(x + 6, _mm_sub_pd(r, mio));
}

inline void inverse8(double* x) {
    inverse4(x);
    forward2(x + 8);  // the two-point transform is its own adjoint
    forward2(x + 12);
    const C p0 = load(x), r0 = load(x + 4), s0 = load(x + 8), t0 = load(x + 12);
    const C p1 = load(x + 2), r1 = load(x + 6);
    const C s1 = rotateBack(load(x + 10), kHalfRoot, kHalfRoot), t1 = rotate(load(x + 14), kHalfRoot, kHalfRoot);
    const C e0 = _mm_add_pd(s0, t0), mio0 = timesMinusI(_mm_sub_pd(s0, t0));
    const C e1 = _mm_add_pd(s1, t1), mio1 = timesMinusI(_mm_sub_pd(s1, t1));
    store(x, _mm_add_pd(p0, e0));
    store(x + 8, _mm_sub_pd(p0, e0));
    store(x + 4, _mm_add_pd(r0, mio0));
    store(x + 12, _mm_sub_pd(r0, mio0));
    store(x + 2, _mm_add_pd(p1, e1));
    store(x + 10, _mm_sub_pd(p1, e1));
    store(x + 6, _mm_add_pd(r1, mio1));
    store(x + 14, _mm_sub_pd(r1, mio1));
}

// Forward, decimation in frequency, kernel e^{+2 pi i / n}: the half-size
// transform takes the sums, the two quarter-size ones the differences turned
// by w^k and w^-k (the conjugate pair). This leaves bins in the table's order.
void forwardSplit(const FftTables& tables, double* x, std::int32_t n) {
    switch (n) {
        case 1: return;
        case 2: forward2(x); return;
        case 4: forward4(x); return;
        case 8: forward8(x); return;
        default: break;
    }
    const std::int32_t q = n / 4;
    double* x0 = x;
    double* x1 = x + 2 * q;
    double* x2 = x + 4 * q;
    double* x3 = x + 6 * q;
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
    switch (n) {
        case 1: return;
        case 2: forward2(x); return;
        case 4: inverse4(x); return;
        case 8: inverse8(x); return;
        default: break;
    }
    const std::int32_t q = n / 4;
    double* x0 = x;
    double* x1 = x + 2 * q;
    double* x2 = x + 4 * q;
    double* x3 = x + 6 * q;
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
