// The oversampled stylus of both channels at once, one SSE2 lane per channel.
// It evaluates exactly the literal sub-step (the same operations on the same
// operands, in the same order) but leaves out the per-store clean-up of
// non-finite values: instead it proves afterwards that no value of the frame
// could have needed it, and otherwise reports failure so the caller replays
// the frame literally from the untouched state.
#pragma once

#include <emmintrin.h>

#include <cfloat>
#include <cstdint>

#include "effect/TonarvoVariables.h"

namespace tonarvo {

// A design divided through by a0, formed once whenever the design changes.
struct BiquadQuotients {
    double c0, c1, c2, c3, c4;
};

inline BiquadQuotients quotientsOf(const BiquadCoefficients& d) {
    return {d.b0 / d.a0, d.b1 / d.a0, d.b2 / d.a0, d.a1 / d.a0, d.a2 / d.a0};
}

namespace kernel {

// Bound below which a difference of two values cannot overflow.
constexpr double kHalfRange = 8.0e307;

inline __m128d pair(double left, double right) { return _mm_set_pd(right, left); }
inline double lane0(__m128d x) { return _mm_cvtsd_f64(x); }
inline double lane1(__m128d x) { return _mm_cvtsd_f64(_mm_unpackhi_pd(x, x)); }
inline __m128d absolute(__m128d x) { return _mm_andnot_pd(_mm_set1_pd(-0.0), x); }

// Runs n (>= 1) sub-steps on both channels. Requires step > 0, which makes
// "clamp to +-step" and "sign(d) * step" the same three candidates. Returns
// false, writing nothing, when the literal evaluation would have replaced a
// non-finite value somewhere in the frame.
inline bool runStylus(const BiquadQuotients& q, double step, std::int32_t n, ChannelState& l, ChannelState& r) {
    const __m128d c0 = _mm_set1_pd(q.c0), c1 = _mm_set1_pd(q.c1), c2 = _mm_set1_pd(q.c2);
    const __m128d c3 = _mm_set1_pd(q.c3), c4 = _mm_set1_pd(q.c4);
    const __m128d up = _mm_set1_pd(step), down = _mm_set1_pd(-step);

    const __m128d hold = pair(l.heldInput, r.heldInput);
    __m128d ax1 = pair(l.upsampleA.x1, r.upsampleA.x1), ax2 = pair(l.upsampleA.x2, r.upsampleA.x2);
    __m128d ay1 = pair(l.upsampleA.y1, r.upsampleA.y1), ay2 = pair(l.upsampleA.y2, r.upsampleA.y2);
    __m128d bx1 = pair(l.upsampleB.x1, r.upsampleB.x1), bx2 = pair(l.upsampleB.x2, r.upsampleB.x2);
    __m128d by1 = pair(l.upsampleB.y1, r.upsampleB.y1), by2 = pair(l.upsampleB.y2, r.upsampleB.y2);
    __m128d s = pair(l.stylusPosition, r.stylusPosition);
    __m128d sum = pair(l.overSum, r.overSum);

    // The stylus moves at most `step` per sub-step, so this bounds it for the frame.
    const __m128d reach = _mm_add_pd(absolute(s), _mm_set1_pd(static_cast<double>(n) * step));
    if (_mm_movemask_pd(_mm_cmpnle_pd(reach, _mm_set1_pd(kHalfRange))) != 0) return false;

    __m128d uHigh = _mm_setzero_pd(), uLow = _mm_setzero_pd();

    // Slew limiter, second low-pass and accumulation; u is this sub-step's first low-pass.
    auto follow = [&](__m128d u) {
        const __m128d e = _mm_sub_pd(u, s);
        const __m128d rise = _mm_add_pd(s, up);
        const __m128d fall = _mm_sub_pd(s, up);  // s + (-1 * step)
        const __m128d free = _mm_add_pd(s, e);
        const __m128d tooHigh = _mm_cmplt_pd(up, e);
        const __m128d tooLow = _mm_cmplt_pd(e, down);
        s = _mm_or_pd(_mm_or_pd(_mm_and_pd(tooHigh, rise), _mm_and_pd(tooLow, fall)),
                      _mm_andnot_pd(_mm_or_pd(tooHigh, tooLow), free));
        const __m128d v = _mm_sub_pd(
            _mm_sub_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(c0, s), _mm_mul_pd(c1, bx1)), _mm_mul_pd(c2, bx2)),
                       _mm_mul_pd(c3, by1)),
            _mm_mul_pd(c4, by2));
        bx2 = bx1;
        bx1 = s;
        by2 = by1;
        by1 = v;
        sum = _mm_add_pd(sum, v);
        uHigh = _mm_max_pd(uHigh, u);
        uLow = _mm_min_pd(uLow, u);
    };
    // The first two sub-steps still see the previous frame's inputs in the history.
    auto general = [&]() {
        const __m128d u = _mm_sub_pd(
            _mm_sub_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(c0, hold), _mm_mul_pd(c1, ax1)), _mm_mul_pd(c2, ax2)),
                       _mm_mul_pd(c3, ay1)),
            _mm_mul_pd(c4, ay2));
        ax2 = ax1;
        ax1 = hold;
        ay2 = ay1;
        ay1 = u;
        follow(u);
    };

    general();
    std::int32_t k = 1;
    if (n >= 2) {
        general();
        k = 2;
    }
    // From here both history inputs are the held value: its feed-forward sum
    // is the same prefix of every evaluation.
    const __m128d held = _mm_add_pd(_mm_add_pd(_mm_mul_pd(c0, hold), _mm_mul_pd(c1, hold)), _mm_mul_pd(c2, hold));
    for (; k < n; ++k) {
        const __m128d u = _mm_sub_pd(_mm_sub_pd(held, _mm_mul_pd(c3, ay1)), _mm_mul_pd(c4, ay2));
        ay2 = ay1;
        ay1 = u;
        follow(u);
    }

    // A non-finite value in any recursion stays non-finite to the end; the
    // only one that could vanish (u - s overflowing, then clamped) is ruled
    // out by the bounds on u and s.
    const __m128d bad = _mm_or_pd(
        _mm_or_pd(_mm_or_pd(_mm_cmpnle_pd(absolute(ay1), _mm_set1_pd(DBL_MAX)),
                            _mm_cmpnle_pd(absolute(ay2), _mm_set1_pd(DBL_MAX))),
                  _mm_or_pd(_mm_cmpnle_pd(absolute(s), _mm_set1_pd(DBL_MAX)),
                            _mm_cmpnle_pd(absolute(sum), _mm_set1_pd(DBL_MAX)))),
        _mm_or_pd(_mm_or_pd(_mm_cmpnle_pd(absolute(by1), _mm_set1_pd(DBL_MAX)),
                            _mm_cmpnle_pd(absolute(by2), _mm_set1_pd(DBL_MAX))),
                  _mm_or_pd(_mm_cmpnle_pd(absolute(uHigh), _mm_set1_pd(kHalfRange)),
                            _mm_cmpnle_pd(absolute(uLow), _mm_set1_pd(kHalfRange)))));
    if (_mm_movemask_pd(bad) != 0) return false;

    l.upsampleA = {lane0(ax1), lane0(ax2), lane0(ay1), lane0(ay2)};
    r.upsampleA = {lane1(ax1), lane1(ax2), lane1(ay1), lane1(ay2)};
    l.upsampleB = {lane0(bx1), lane0(bx2), lane0(by1), lane0(by2)};
    r.upsampleB = {lane1(bx1), lane1(bx2), lane1(by1), lane1(by2)};
    l.stylusPosition = lane0(s);
    r.stylusPosition = lane1(s);
    l.overSum = lane0(sum);
    r.overSum = lane1(sum);
    return true;
}

}  // namespace kernel
}  // namespace tonarvo
