// Pure functions of numbers shared by the solvers, the hit tests and drawing.
// Every formula keeps the order and grouping of its definition so results
// agree to the last bit.
#pragma once

#include <cmath>

namespace tumbla {

constexpr double nearZero = 9.999999747378752e-06;  // single-precision 1e-5
constexpr double degreesPerRadian = 57.29577951308232;

// A divisor whose magnitude is below 1e-5 becomes +1e-5.
inline double nearZeroGuard(double v) { return std::fabs(v) < nearZero ? nearZero : v; }

// Real to integer by truncation toward zero; values beyond the integer range
// saturate and NaN gives 0, where the plain conversion would be undefined.
inline int truncateToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

inline double atan2Degrees(double y, double x) { return std::atan2(y, x) * degreesPerRadian; }

struct point2 {
    double x, y;
};

double lineDistance(double px, double py, double x1, double y1, double x2, double y2);
point2 projectOntoLine(double px, double py, double x1, double y1, double x2, double y2);
bool insideBand(double px, double py, double x1, double y1, double x2, double y2);
// Angle normalisation. Bounded: an angle beyond any real use (or NaN) is
// returned as it is rather than looping for ever.
inline double wrapAngle360(double a) {
    if (a >= 0 && a < 360) return a;
    if (!(a > -1e6 && a < 1e6)) return a;
    while (a >= 360) a -= 360;
    while (a < 0) a += 360;
    return a;
}

inline double wrapAngle180(double a) {
    if (a >= -180 && a <= 180) return a;
    if (!(a > -1e6 && a < 1e6)) return a;
    while (a > 180) a -= 360;
    while (a < -180) a += 360;
    return a;
}

}  // namespace tumbla
