// The four-wide atan2 kernel. This file alone is built for AVX2 with FMA and
// runs only after atan2Wide::available() has checked the processor. Every
// fused multiply-add below is one the C library's atan2 performs at the same
// step; nothing else is fused (the build never contracts expressions).
//
// For ordinary arguments the library works on ax = |x|, ay = |y|:
//   u = the smaller over the larger, and du its rounding error;
//   u < 1/16: a polynomial in u; otherwise the table entry nearest u, and a
//   polynomial in (u - x_i) + du;
//   the quadrant (sign of x, which of ax and ay is larger) decides whether
//   the result is that arc tangent or pi/2 or pi minus or plus it, added in
//   a particular order with the low parts of pi/2 and pi;
//   the sign of y is put on the result.
// The comments name the four quadrant cases: A+ (x > 0, ax > ay),
// B+ (x > 0, ax <= ay), A- (x <= 0, ay <= ax) and B- (x <= 0, ay > ax).
#include "physics/atan2Wide.h"

#include <cmath>

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace tumbla::atan2Wide {

namespace {

// The library's constants, by their bits.
constexpr double halfPi = 0x1.921fb54442d18p+0;
constexpr double halfPiLow = 0x1.1a62633145c07p-54;
constexpr double pi = 0x1.921fb54442d18p+1;
constexpr double piLow = 0x1.1a62633145c07p-53;
constexpr double sixteenth = 0x1p-4;
constexpr double tableScale = 256.0;
constexpr double roundingShift = 0x1p+52;
constexpr double smallest = 0x1p-500;  // below or above these the library rescales
constexpr double largest = 0x1p+500;
constexpr long long widestExponentGap = 56;  // beyond it the library answers apart
// atan(u) = u + u^3 (d3 + u^2 (d5 + ...)), Horner from d13.
constexpr double d13 = 0x1.375f08b31cbcep-4;
constexpr double d11 = -0x1.7458022b13c25p-4;
constexpr double d9 = 0x1.c71c6e5129a3bp-4;
constexpr double d7 = -0x1.24924923f7603p-3;
constexpr double d5 = 0x1.99999999997fdp-3;
constexpr double d3 = -0x1.5555555555555p-2;

inline __m256d splat(double v) { return _mm256_set1_pd(v); }
inline __m256d signBit() { return _mm256_set1_pd(-0.0); }
inline __m256d absOf(__m256d v) { return _mm256_andnot_pd(signBit(), v); }
// mask ? whenSet : whenClear
inline __m256d pick(__m256d mask, __m256d whenSet, __m256d whenClear) {
    return _mm256_blendv_pd(whenClear, whenSet, mask);
}
inline __m256d fma(__m256d a, __m256d b, __m256d c) { return _mm256_fmadd_pd(a, b, c); }

// Lanes the library takes through its ordinary path, without rescaling.
inline __attribute__((always_inline)) __m256d ordinaryLanes(__m256d ax, __m256d ay) {
    const __m256d inRange = _mm256_and_pd(
        _mm256_and_pd(_mm256_cmp_pd(ax, splat(smallest), _CMP_GE_OQ), _mm256_cmp_pd(ay, splat(smallest), _CMP_GE_OQ)),
        _mm256_and_pd(_mm256_cmp_pd(ax, splat(largest), _CMP_LE_OQ), _mm256_cmp_pd(ay, splat(largest), _CMP_LE_OQ)));
    const __m256i gap = _mm256_sub_epi64(_mm256_srli_epi64(_mm256_castpd_si256(ay), 52),
                                         _mm256_srli_epi64(_mm256_castpd_si256(ax), 52));
    const __m256i limit = _mm256_set1_epi64x(widestExponentGap);
    const __m256i outside = _mm256_or_si256(_mm256_cmpgt_epi64(gap, limit),
                                            _mm256_cmpgt_epi64(_mm256_sub_epi64(_mm256_setzero_si256(), limit), gap));
    return _mm256_andnot_pd(_mm256_castsi256_pd(outside), inRange);
}

// The polynomial for u < 1/16, finished for every quadrant. For A- and B+,
// with K = pi or pi/2: t = K - u, then (((K - t) - u) + Klow) - du - u^3 p,
// plus t. B- is the same with u, du and u^3 p negated.
inline __attribute__((always_inline)) __m256d smallRatio(__m256d u, __m256d du, __m256d aPlus, __m256d k, __m256d kLow, __m256d negate) {
    const __m256d w = _mm256_mul_pd(u, u);
    __m256d p = fma(w, splat(d13), splat(d11));
    p = fma(w, p, splat(d9));
    p = fma(w, p, splat(d7));
    p = fma(w, p, splat(d5));
    p = fma(w, p, splat(d3));
    const __m256d uw = _mm256_mul_pd(u, w);
    const __m256d nearZero = _mm256_add_pd(u, fma(uw, p, du));  // A+

    const __m256d flip = _mm256_and_pd(negate, signBit());
    const __m256d su = _mm256_xor_pd(u, flip);
    const __m256d sdu = _mm256_xor_pd(du, flip);
    const __m256d sup = _mm256_xor_pd(_mm256_mul_pd(uw, p), flip);
    const __m256d t = _mm256_sub_pd(k, su);
    __m256d r = _mm256_sub_pd(_mm256_sub_pd(k, t), su);
    r = _mm256_add_pd(r, kLow);
    r = _mm256_sub_pd(r, sdu);
    r = _mm256_sub_pd(r, sup);
    return pick(aPlus, nearZero, _mm256_add_pd(r, t));
}

// The coefficients of four table rows, one vector per column.
inline __attribute__((always_inline)) void tableColumns(__m128i rows, __m256d c[8]) {
    alignas(16) int row[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(row), rows);
    for (int half = 0; half < 8; half += 4) {
        const __m256d r0 = _mm256_load_pd(&arcTable[row[0]][half]);
        const __m256d r1 = _mm256_load_pd(&arcTable[row[1]][half]);
        const __m256d r2 = _mm256_load_pd(&arcTable[row[2]][half]);
        const __m256d r3 = _mm256_load_pd(&arcTable[row[3]][half]);
        const __m256d lo01 = _mm256_unpacklo_pd(r0, r1), hi01 = _mm256_unpackhi_pd(r0, r1);
        const __m256d lo23 = _mm256_unpacklo_pd(r2, r3), hi23 = _mm256_unpackhi_pd(r2, r3);
        c[half] = _mm256_permute2f128_pd(lo01, lo23, 0x20);
        c[half + 1] = _mm256_permute2f128_pd(hi01, hi23, 0x20);
        c[half + 2] = _mm256_permute2f128_pd(lo01, lo23, 0x31);
        c[half + 3] = _mm256_permute2f128_pd(hi01, hi23, 0x31);
    }
}

// The table for 1/16 <= u <= 1. i = round(u * 256) - 16 (the rounding by the
// shift through 2^52, fused as the library does).
inline __attribute__((always_inline)) __m256d tableRatio(__m256d u, __m256d du, __m256d aPlus, __m256d k,
                                                         __m256d kLow, __m256d negate) {
    const __m256d shifted = _mm256_sub_pd(fma(u, splat(tableScale), splat(roundingShift)), splat(roundingShift));
    __m128i i = _mm_sub_epi32(_mm256_cvttpd_epi32(shifted), _mm_set1_epi32(16));
    i = _mm_min_epi32(_mm_max_epi32(i, _mm_setzero_si128()), _mm_set1_epi32(240));  // lanes not taken
    __m256d c[8];
    tableColumns(i, c);
    const __m256d c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3], c4 = c[4], c5 = c[5], c6 = c[6];

    const __m256d t = _mm256_sub_pd(u, c0);
    const __m256d v = _mm256_add_pd(du, t);
    __m256d q = fma(v, c6, c5);
    q = fma(v, q, c4);
    q = fma(v, q, c3);

    // A+ keeps the rounding error vv of v apart.
    const __m256d tLarger = _mm256_cmp_pd(absOf(t), absOf(du), _CMP_GT_OQ);
    const __m256d vv = pick(tLarger, _mm256_add_pd(_mm256_sub_pd(t, v), du), _mm256_add_pd(_mm256_sub_pd(du, v), t));
    __m256d qa = _mm256_mul_pd(_mm256_mul_pd(v, v), q);
    qa = fma(vv, c2, qa);
    const __m256d nearZero = _mm256_add_pd(fma(v, c2, qa), c1);

    // A- and B+: (K - c1) + (Klow - v q); B-: (K + c1) + (Klow + v q).
    q = fma(v, q, c2);
    const __m256d flip = _mm256_andnot_pd(negate, signBit());
    const __m256d zz = fma(_mm256_xor_pd(v, flip), q, kLow);
    const __m256d far = _mm256_add_pd(_mm256_add_pd(k, _mm256_xor_pd(c1, flip)), zz);
    return pick(aPlus, nearZero, far);
}

// atan2 on the lanes set in ordinary; the others hold anything.
inline __attribute__((always_inline)) __m256d atan2Four(__m256d y, __m256d x, __m256d& ordinary) {
    const __m256d ax = absOf(x), ay = absOf(y);
    ordinary = ordinaryLanes(ax, ay);
    const __m256d aLarger = _mm256_cmp_pd(ax, ay, _CMP_GT_OQ);
    const __m256d n = pick(aLarger, ay, ax);
    const __m256d d = pick(aLarger, ax, ay);
    const __m256d u = _mm256_div_pd(n, d);
    const __m256d v = _mm256_mul_pd(d, u);
    const __m256d vv = _mm256_fmsub_pd(d, u, v);
    const __m256d du = _mm256_div_pd(_mm256_sub_pd(_mm256_sub_pd(n, v), vv), d);

    const __m256d xPositive = _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_GT_OQ);
    const __m256d aPlus = _mm256_and_pd(xPositive, aLarger);
    const __m256d bMinus = _mm256_andnot_pd(xPositive, _mm256_cmp_pd(ay, ax, _CMP_GT_OQ));
    const __m256d aMinus = _mm256_andnot_pd(xPositive, _mm256_cmp_pd(ay, ax, _CMP_LE_OQ));
    const __m256d k = pick(aMinus, splat(pi), splat(halfPi));
    const __m256d kLow = pick(aMinus, splat(piLow), splat(halfPiLow));

    const __m256d small = _mm256_and_pd(_mm256_cmp_pd(u, splat(sixteenth), _CMP_LT_OQ), ordinary);
    const int smallLanes = _mm256_movemask_pd(small);
    __m256d z;
    if (smallLanes == 15)
        z = smallRatio(u, du, aPlus, k, kLow, bMinus);
    else if (smallLanes == 0)
        z = tableRatio(u, du, aPlus, k, kLow, bMinus);
    else
        z = pick(small, smallRatio(u, du, aPlus, k, kLow, bMinus), tableRatio(u, du, aPlus, k, kLow, bMinus));
    return _mm256_or_pd(absOf(z), _mm256_and_pd(y, signBit()));
}

}  // namespace

void atan2Scaled(const double* y, int yStride, const double* x, int n, double scale, double* out,
                 int outStride) {
    int k = 0;
    if ((_mm_getcsr() & 0x6000) == 0) {  // round to nearest, as the library computes
        const __m256d s = splat(scale);
        for (; k + 4 <= n; k += 4) {
            const double* yk = y + static_cast<long>(k) * yStride;
            const __m256d yv = _mm256_set_pd(yk[3 * yStride], yk[2 * yStride], yk[yStride], yk[0]);
            __m256d ordinary;
            const __m256d z = _mm256_mul_pd(atan2Four(yv, _mm256_loadu_pd(x + k), ordinary), s);
            alignas(32) double lanes[4];
            _mm256_store_pd(lanes, z);
            const int plain = _mm256_movemask_pd(ordinary);
            double* o = out + static_cast<long>(k) * outStride;
            for (int lane = 0; lane < 4; ++lane)
                o[lane * outStride] = (plain >> lane & 1) ? lanes[lane]
                                                          : std::atan2(yk[lane * yStride], x[k + lane]) * scale;
        }
    }
    for (; k < n; ++k) out[static_cast<long>(k) * outStride] = std::atan2(y[static_cast<long>(k) * yStride], x[k]) * scale;
}

double atan2One(double y, double x) {
    __m256d ordinary;
    const __m256d z = atan2Four(splat(y), splat(x), ordinary);
    return (_mm256_movemask_pd(ordinary) & 1) ? _mm256_cvtsd_f64(z) : std::atan2(y, x);
}

}  // namespace tumbla::atan2Wide

#else  // no AVX2 here: available() is false and nothing calls these

namespace tumbla::atan2Wide {
void atan2Scaled(const double* y, int yStride, const double* x, int n, double scale, double* out,
                 int outStride) {
    for (int k = 0; k < n; ++k) out[k * outStride] = std::atan2(y[k * yStride], x[k]) * scale;
}
double atan2One(double y, double x) { return std::atan2(y, x); }
}  // namespace tumbla::atan2Wide

#endif
