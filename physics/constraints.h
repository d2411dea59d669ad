// The formulas of the distance and angle constraints, shared by the plain
// passes (tension::apply, editorState::applyLinks) and the relaxation solver,
// so both give the same bits. Every expression keeps its written grouping.
#pragma once

#include <algorithm>
#include <cfloat>

#include "physics/entities.h"
#include "physics/geometry.h"

namespace tumbla {

constexpr double gravityStep = 0.20000000298023224;      // single-precision 0.2
constexpr double velocityDamping = 0.9990000128746033;   // single-precision 0.999
constexpr double linkStiffness = 0.30000001192092896;    // single-precision 0.3
constexpr double tensionGain = 0.699999988079071;        // single-precision 0.7
constexpr double pinnedMass = 99.0;
constexpr int relaxationPasses = 20;

// A mass used as a divisor: zero, negative or non-finite masses (a file may
// hold any value) become a tiny positive mass so no division fails. Ordinary
// masses pass through unchanged.
inline double massDivisor(double m) { return (m > 0.0 && m <= DBL_MAX) ? m : nearZero; }

// v / m, skipping the division by exactly 1.0, which would give v unchanged.
inline double divideByMass(double v, double m) { return m == 1.0 ? v : v / m; }

// Two quotients in one instruction where the machine has one; each lane is
// the correctly rounded quotient, the same bits as two divisions.
typedef double doublePair __attribute__((vector_size(16)));
inline doublePair dividePair(double a, double b, double c, double d) {
    const doublePair n = {a, b}, m = {c, d};
    return n / m;
}

// A directed arm U->V of a tension as the angle constraint sees it: its angle
// (degrees, measured against the reversed x axis), its guarded squared
// length s times the gain 0.7 (the cap's first factors), and the two
// factors dy/s and -dx/s of the pushes.
struct armMeasure {
    double angle, gainS, qy, qx;
};

inline armMeasure measureArm(double ux, double uy, double vx, double vy) {
    const double dx = vx - ux;
    const double dy = vy - uy;
    armMeasure a;
    a.angle = atan2Degrees(dy, -dx);
    const double s = nearZeroGuard(dx * dx + dy * dy);
    a.gainS = tensionGain * s;
    const doublePair q = dividePair(dy, -dx, s, s);
    a.qy = q[0];
    a.qx = q[1];
    return a;
}

// The pushes of one tension on its outer balls A and B and its joint J.
struct tensionShifts {
    double ax, ay, jx, jy, bx, by;
};

// The angle error at the joint, degrees in [-180, 180]; arm1 is A->J, arm2 J->B.
inline double tensionError(const armMeasure& arm1, const armMeasure& arm2, double restAngle) {
    const double current = wrapAngle360(arm1.angle - arm2.angle + 180.0);
    return wrapAngle180(current - restAngle);
}

// The strength cap: stability for short arms and light balls, then the
// tension's own strength (plus the Draw-mode bonus, in capLimit).
inline double tensionCap(const armMeasure& arm1, const armMeasure& arm2, double capLimit, double mMin) {
    const double cap1 = arm1.gainS * mMin, cap2 = arm2.gainS * mMin;
    const double cap = cap2 < cap1 ? cap2 : cap1;
    return capLimit < cap ? capLimit : cap;
}

// The pushes for errorShare = error / 400; masses are divisors (massDivisor).
inline tensionShifts tensionPushes(const armMeasure& arm1, const armMeasure& arm2, double errorShare,
                                   double cap, double dt, double mA, double mJ, double mB) {
    const double f = (errorShare * cap) * dt;
    tensionShifts r;
    if (mA == 1.0 && mJ == 1.0 && mB == 1.0) {  // the common case: no divisions at all
        r.ax = arm1.qy * f;
        r.ay = f * arm1.qx;
        r.jx = -f * arm1.qy - f * arm2.qy;
        r.jy = -f * arm1.qx - f * arm2.qx;
        r.bx = f * arm2.qy;
        r.by = f * arm2.qx;
        return r;
    }
    r.ax = divideByMass(arm1.qy * f, mA);
    r.ay = divideByMass(f * arm1.qx, mA);
    r.jx = divideByMass(-f * arm1.qy - f * arm2.qy, mJ);
    r.jy = divideByMass(-f * arm1.qx - f * arm2.qx, mJ);
    r.bx = divideByMass(f * arm2.qy, mB);
    r.by = divideByMass(f * arm2.qx, mB);
    return r;
}

// mMin is the smallest of the three masses, capLimit the strength plus the
// Draw-mode bonus.
inline tensionShifts tensionCorrection(const armMeasure& arm1, const armMeasure& arm2,
                                       double restAngle, double capLimit, double dt, double mA,
                                       double mJ, double mB, double mMin) {
    return tensionPushes(arm1, arm2, tensionError(arm1, arm2, restAngle) / 400.0,
                         tensionCap(arm1, arm2, capLimit, mMin), dt, mA, mJ, mB);
}

inline double smallestMass(double mA, double mJ, double mB) { return std::min(std::min(mA, mJ), mB); }

// A tension acts only above strength 10 and unless all three balls are pinned.
inline bool tensionActs(const tension& t) {
    return t.strength > 10.0 &&
           !(t.ballA->anchored == 1 && t.centre->anchored == 1 && t.ballB->anchored == 1);
}

// The corrections of a link: x and y of ballA, then of ballB.
struct linkShifts {
    double ax, ay, bx, by;
};

// dx, dy run from A to B; shareA = 1.0 + mA / mB and shareB = 1.0 + mB / mA.
inline linkShifts linkCorrectionFrom(double restLength, double dx, double dy, double shareA,
                                     double shareB) {
    double length = std::sqrt(dx * dx + dy * dy);
    if (std::fabs(length) < nearZero) length = nearZero;
    const double e = length - restLength;
    const doublePair k = dividePair(e, -e, shareA, shareB);
    const doublePair unit = dividePair(dx, dy, length, length);
    return {(k[0] * unit[0]) * linkStiffness, (k[0] * unit[1]) * linkStiffness,
            (k[1] * unit[0]) * linkStiffness, (k[1] * unit[1]) * linkStiffness};
}

inline double linkShare(double mSelf, double mOther) { return 1.0 + mSelf / mOther; }

// Closes 30% of the link's length error, shared in inverse proportion to the
// effective masses of its ends.
inline linkShifts linkCorrection(double restLength, const ball& a, const ball& b) {
    const double mA = massDivisor(a.effectiveMass);
    const double mB = massDivisor(b.effectiveMass);
    return linkCorrectionFrom(restLength, b.x - a.x, b.y - a.y, linkShare(mA, mB),
                              linkShare(mB, mA));
}

}  // namespace tumbla
