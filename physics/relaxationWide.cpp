// The four-wide kernels of the relaxation passes. This file alone is built
// for AVX2 (without FMA); the solver calls it only when the processor has
// AVX2. Each lane does the operations of the scalar kernels in the same
// order, so the bits are the same. Only the constants of the shared headers
// are used here: their inline functions stay out of this file, so no copy
// built for AVX2 can stand in for the ordinary one.
#include "physics/relaxation.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cmath>

#include "physics/atan2Wide.h"
#include "physics/constraints.h"

namespace tumbla::relaxationKernels {

namespace {

// Balls by the offset of their pair.
inline __m128d loadPair(const double* shift, int at) { return _mm_loadu_pd(shift + at); }
inline void addPair(double* shift, int at, __m128d v) {
    _mm_storeu_pd(shift + at, _mm_add_pd(_mm_loadu_pd(shift + at), v));
}

inline bool allSet(__m256d mask) { return _mm256_movemask_pd(mask) == 15; }

// Two pairs (x, y) of positions as one vector, by the offsets of the pairs.
inline __m256d twoPairs(const double* pos, int f, int g) {
    return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(pos + f)), _mm_loadu_pd(pos + g), 1);
}

// A function, not a constant: nothing here may run before the processor
// has been checked.
inline __m256d signBit() { return _mm256_set1_pd(-0.0); }

inline __m256d guardNearZero(__m256d v) {
    const __m256d small = _mm256_cmp_pd(_mm256_andnot_pd(signBit(), v), _mm256_set1_pd(nearZero), _CMP_LT_OQ);
    return _mm256_blendv_pd(v, _mm256_set1_pd(nearZero), small);
}

}  // namespace

// Lanes hold the arms in the order 0, 2, 1, 3, the order the pairs of
// differences unpack into; the records are put back in order on the store.
// The arc tangents follow in a loop of their own (four at a time where the
// atan2 kernel may stand in for the library): until then a record's angle
// holds dy, and across[i] holds -dx.
void measureArmsWide(const int* from, const int* to, int count, const double* pos, armRecord* out,
                     double* across) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d d01 = _mm256_sub_pd(twoPairs(pos, 2 * to[i], 2 * to[i + 1]),
                                          twoPairs(pos, 2 * from[i], 2 * from[i + 1]));
        const __m256d d23 = _mm256_sub_pd(twoPairs(pos, 2 * to[i + 2], 2 * to[i + 3]),
                                          twoPairs(pos, 2 * from[i + 2], 2 * from[i + 3]));
        const __m256d dx = _mm256_unpacklo_pd(d01, d23);
        const __m256d dy = _mm256_unpackhi_pd(d01, d23);
        const __m256d ndx = _mm256_xor_pd(dx, signBit());
        const __m256d s = guardNearZero(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)));
        const __m256d gainS = _mm256_mul_pd(_mm256_set1_pd(tensionGain), s);
        const __m256d qy = _mm256_div_pd(dy, s);
        const __m256d qx = _mm256_div_pd(ndx, s);
        _mm256_storeu_pd(across + i, _mm256_permute4x64_pd(ndx, 0xD8));
        const __m256d lo1 = _mm256_unpacklo_pd(dy, gainS), lo2 = _mm256_unpacklo_pd(qy, qx);
        const __m256d hi1 = _mm256_unpackhi_pd(dy, gainS), hi2 = _mm256_unpackhi_pd(qy, qx);
        _mm256_store_pd(&out[i].angle, _mm256_permute2f128_pd(lo1, lo2, 0x20));
        _mm256_store_pd(&out[i + 1].angle, _mm256_permute2f128_pd(lo1, lo2, 0x31));
        _mm256_store_pd(&out[i + 2].angle, _mm256_permute2f128_pd(hi1, hi2, 0x20));
        _mm256_store_pd(&out[i + 3].angle, _mm256_permute2f128_pd(hi1, hi2, 0x31));
    }
    if (i > 0 && atan2Wide::available())
        atan2Wide::atan2Scaled(&out[0].angle, 4, across, i, degreesPerRadian, &out[0].angle, 4);
    else
        for (int k = 0; k < i; ++k) out[k].angle = std::atan2(out[k].angle, across[k]) * degreesPerRadian;
    for (; i < count; ++i) {
        const double dx = pos[2 * to[i]] - pos[2 * from[i]];
        const double dy = pos[2 * to[i] + 1] - pos[2 * from[i] + 1];
        double s = dx * dx + dy * dy;
        if (std::fabs(s) < nearZero) s = nearZero;
        out[i].angle = std::atan2(dy, -dx) * degreesPerRadian;
        out[i].gainS = tensionGain * s;
        out[i].qy = dy / s;
        out[i].qx = -dx / s;
    }
}

namespace {

// wrapAngle360(d + 180) then wrapAngle180(current - rest), where one step of
// each loop is enough: d is the difference of two arc tangents in degrees,
// so d + 180 lies in [-360, 720) or is NaN, and then current - rest must lie
// in [-540, 540]. Lanes outside that range (a NaN, an odd rest angle) come
// back unset in ok.
inline __m256d wrappedError(__m256d d, __m256d rest, __m256d& ok) {
    const __m256d c = _mm256_add_pd(d, _mm256_set1_pd(180.0));
    const __m256d full = _mm256_set1_pd(360.0);
    __m256d current = _mm256_blendv_pd(c, _mm256_sub_pd(c, full), _mm256_cmp_pd(c, full, _CMP_GE_OQ));
    current = _mm256_blendv_pd(current, _mm256_add_pd(c, full), _mm256_cmp_pd(c, _mm256_setzero_pd(), _CMP_LT_OQ));
    const __m256d e = _mm256_sub_pd(current, rest);
    __m256d error = _mm256_blendv_pd(e, _mm256_sub_pd(e, full),
                                     _mm256_cmp_pd(e, _mm256_set1_pd(180.0), _CMP_GT_OQ));
    error = _mm256_blendv_pd(error, _mm256_add_pd(e, full),
                             _mm256_cmp_pd(e, _mm256_set1_pd(-180.0), _CMP_LT_OQ));
    ok = _mm256_and_pd(_mm256_cmp_pd(e, _mm256_set1_pd(-540.0), _CMP_GE_OQ),
                       _mm256_cmp_pd(e, _mm256_set1_pd(540.0), _CMP_LE_OQ));
    return error;
}

inline void transposeArms(const armRecord* arms, const int* index, __m256d& angle, __m256d& gainS,
                          __m256d& qy, __m256d& qx) {
    const __m256d r0 = _mm256_load_pd(&arms[index[0]].angle);
    const __m256d r1 = _mm256_load_pd(&arms[index[1]].angle);
    const __m256d r2 = _mm256_load_pd(&arms[index[2]].angle);
    const __m256d r3 = _mm256_load_pd(&arms[index[3]].angle);
    const __m256d lo01 = _mm256_unpacklo_pd(r0, r1), hi01 = _mm256_unpackhi_pd(r0, r1);
    const __m256d lo23 = _mm256_unpacklo_pd(r2, r3), hi23 = _mm256_unpackhi_pd(r2, r3);
    angle = _mm256_permute2f128_pd(lo01, lo23, 0x20);
    qy = _mm256_permute2f128_pd(lo01, lo23, 0x31);
    gainS = _mm256_permute2f128_pd(hi01, hi23, 0x20);
    qx = _mm256_permute2f128_pd(hi01, hi23, 0x31);
}

// v / m where m is not 1.0, v unchanged where it is.
inline __m256d divideByMass(__m256d v, __m256d m) {
    return _mm256_blendv_pd(v, _mm256_div_pd(v, m), _mm256_cmp_pd(m, _mm256_set1_pd(1.0), _CMP_NEQ_UQ));
}

}  // namespace

// Adds, tension by tension in order, the pushes on A, then J, then B. The
// joint's pair stays in a register while consecutive tensions share it
// (any push on that ball goes to the register) and is written back when
// the joint changes and at the end.
void tensionBlocksWide(const tensionBlock* blocks, const tensionSide* side, int count,
                       const armRecord* arms, double dt, double* shift) {
    int held = -1;
    __m128d heldPair = _mm_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    for (int g = 0; g < count; ++g) {
        const tensionBlock& t = blocks[g];
        __m256d angle1, gainS1, qy1, qx1, angle2, gainS2, qy2, qx2;
        transposeArms(arms, t.arm1, angle1, gainS1, qy1, qx1);
        transposeArms(arms, t.arm2, angle2, gainS2, qy2, qx2);
        const __m256d rest = _mm256_loadu_pd(t.restAngle);
        __m256d ok;
        __m256d error = wrappedError(_mm256_sub_pd(angle1, angle2), rest, ok);
        if (!allSet(ok)) {
            alignas(32) double a1[4], a2[4], e[4];
            _mm256_store_pd(a1, angle1);
            _mm256_store_pd(a2, angle2);
            for (int k = 0; k < 4; ++k) e[k] = tensionErrorOf(a1[k], a2[k], t.restAngle[k]);
            error = _mm256_load_pd(e);
        }
        const __m256d share = _mm256_div_pd(error, _mm256_set1_pd(400.0));
        const __m256d mMin = t.plain ? one : _mm256_loadu_pd(side[g].mMin);
        const __m256d cap1 = _mm256_mul_pd(gainS1, mMin), cap2 = _mm256_mul_pd(gainS2, mMin);
        const __m256d cap = _mm256_min_pd(_mm256_loadu_pd(t.capLimit), _mm256_min_pd(cap2, cap1));
        const __m256d f = _mm256_mul_pd(_mm256_mul_pd(share, cap), _mm256_set1_pd(dt));
        const __m256d nf = _mm256_xor_pd(f, signBit());
        __m256d ax = _mm256_mul_pd(qy1, f);
        __m256d ay = _mm256_mul_pd(f, qx1);
        __m256d bx = _mm256_mul_pd(f, qy2);
        __m256d by = _mm256_mul_pd(f, qx2);
        __m256d jx = _mm256_sub_pd(_mm256_mul_pd(nf, qy1), bx);
        __m256d jy = _mm256_sub_pd(_mm256_mul_pd(nf, qx1), by);
        if (!t.plain) {
            const tensionSide& s = side[g];
            const __m256d mA = _mm256_loadu_pd(s.mA), mJ = _mm256_loadu_pd(s.mJ), mB = _mm256_loadu_pd(s.mB);
            ax = divideByMass(ax, mA);
            ay = divideByMass(ay, mA);
            jx = divideByMass(jx, mJ);
            jy = divideByMass(jy, mJ);
            bx = divideByMass(bx, mB);
            by = divideByMass(by, mB);
            const __m256d idle = _mm256_cmp_pd(_mm256_loadu_pd(s.acts), _mm256_setzero_pd(), _CMP_EQ_OQ);
            ax = _mm256_blendv_pd(ax, signBit(), idle);
            ay = _mm256_blendv_pd(ay, signBit(), idle);
            jx = _mm256_blendv_pd(jx, signBit(), idle);
            jy = _mm256_blendv_pd(jy, signBit(), idle);
            bx = _mm256_blendv_pd(bx, signBit(), idle);
            by = _mm256_blendv_pd(by, signBit(), idle);
        }
        // Pairs of tensions 0 | 2 and 1 | 3.
        const __m256d aLo = _mm256_unpacklo_pd(ax, ay), aHi = _mm256_unpackhi_pd(ax, ay);
        const __m256d jLo = _mm256_unpacklo_pd(jx, jy), jHi = _mm256_unpackhi_pd(jx, jy);
        const __m256d bLo = _mm256_unpacklo_pd(bx, by), bHi = _mm256_unpackhi_pd(bx, by);
        const __m128d pa[4] = {_mm256_castpd256_pd128(aLo), _mm256_castpd256_pd128(aHi),
                               _mm256_extractf128_pd(aLo, 1), _mm256_extractf128_pd(aHi, 1)};
        const __m128d pj[4] = {_mm256_castpd256_pd128(jLo), _mm256_castpd256_pd128(jHi),
                               _mm256_extractf128_pd(jLo, 1), _mm256_extractf128_pd(jHi, 1)};
        const __m128d pb[4] = {_mm256_castpd256_pd128(bLo), _mm256_castpd256_pd128(bHi),
                               _mm256_extractf128_pd(bLo, 1), _mm256_extractf128_pd(bHi, 1)};
        for (int k = 0; k < 4; ++k) {
            const int a = t.a[k], j = t.j[k], b = t.b[k];
            if (a == held)
                heldPair = _mm_add_pd(heldPair, pa[k]);
            else
                addPair(shift, a, pa[k]);
            if (j != held) {
                if (held >= 0) _mm_storeu_pd(shift + held, heldPair);
                held = j;
                heldPair = loadPair(shift, j);
            }
            heldPair = _mm_add_pd(heldPair, pj[k]);
            if (b == held)
                heldPair = _mm_add_pd(heldPair, pb[k]);
            else
                addPair(shift, b, pb[k]);
        }
    }
    if (held >= 0) _mm_storeu_pd(shift + held, heldPair);
}

// Lanes hold the links in the order 0, 2, 1, 3 (see measureArmsWide); the
// per-link values are permuted to match.
void linkBlocksWide(const linkBlock* blocks, int count, const double* pos, double* shift) {
    const __m256d stiffness = _mm256_set1_pd(linkStiffness);
    for (int g = 0; g < count; ++g) {
        const linkBlock& l = blocks[g];
        const __m256d d01 = _mm256_sub_pd(twoPairs(pos, l.b[0], l.b[1]), twoPairs(pos, l.a[0], l.a[1]));
        const __m256d d23 = _mm256_sub_pd(twoPairs(pos, l.b[2], l.b[3]), twoPairs(pos, l.a[2], l.a[3]));
        const __m256d dx = _mm256_unpacklo_pd(d01, d23);
        const __m256d dy = _mm256_unpackhi_pd(d01, d23);
        const __m256d rest = _mm256_permute4x64_pd(_mm256_loadu_pd(l.restLength), 0xD8);
        const __m256d shareA = _mm256_permute4x64_pd(_mm256_loadu_pd(l.shareA), 0xD8);
        const __m256d shareB = _mm256_permute4x64_pd(_mm256_loadu_pd(l.shareB), 0xD8);
        const __m256d length =
            guardNearZero(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy))));
        const __m256d e = _mm256_sub_pd(length, rest);
        const __m256d k0 = _mm256_div_pd(e, shareA);
        const __m256d k1 = _mm256_div_pd(_mm256_xor_pd(e, signBit()), shareB);
        const __m256d ux = _mm256_div_pd(dx, length);
        const __m256d uy = _mm256_div_pd(dy, length);
        const __m256d ax = _mm256_mul_pd(_mm256_mul_pd(k0, ux), stiffness);
        const __m256d ay = _mm256_mul_pd(_mm256_mul_pd(k0, uy), stiffness);
        const __m256d bx = _mm256_mul_pd(_mm256_mul_pd(k1, ux), stiffness);
        const __m256d by = _mm256_mul_pd(_mm256_mul_pd(k1, uy), stiffness);
        // Lanes 0, 2, 1, 3 unpack into the pairs of links 0 | 1 and 2 | 3.
        const __m256d aLo = _mm256_unpacklo_pd(ax, ay), aHi = _mm256_unpackhi_pd(ax, ay);
        const __m256d bLo = _mm256_unpacklo_pd(bx, by), bHi = _mm256_unpackhi_pd(bx, by);
        addPair(shift, l.ta[0], _mm256_castpd256_pd128(aLo));
        addPair(shift, l.tb[0], _mm256_castpd256_pd128(bLo));
        addPair(shift, l.ta[1], _mm256_extractf128_pd(aLo, 1));
        addPair(shift, l.tb[1], _mm256_extractf128_pd(bLo, 1));
        addPair(shift, l.ta[2], _mm256_castpd256_pd128(aHi));
        addPair(shift, l.tb[2], _mm256_castpd256_pd128(bHi));
        addPair(shift, l.ta[3], _mm256_extractf128_pd(aHi, 1));
        addPair(shift, l.tb[3], _mm256_extractf128_pd(bHi, 1));
    }
}

}  // namespace tumbla::relaxationKernels

#else  // no AVX2 here: the solver never calls these

namespace tumbla::relaxationKernels {
void measureArmsWide(const int*, const int*, int, const double*, armRecord*, double*) {}
void tensionBlocksWide(const tensionBlock*, const tensionSide*, int, const armRecord*, double, double*) {}
void linkBlocksWide(const linkBlock*, int, const double*, double*) {}
}  // namespace tumbla::relaxationKernels

#endif
