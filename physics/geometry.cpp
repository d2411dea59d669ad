#include "physics/geometry.h"

namespace tumbla {

double lineDistance(double px, double py, double x1, double y1, double x2, double y2) {
    const double dy = nearZeroGuard((y2 - py) - (y1 - py));
    const double dx = nearZeroGuard((x2 - px) - (x1 - px));
    const double slope = -dy / dx;
    return std::fabs(-(y1 - py) + ((x1 - px) * dy) / dx) / std::sqrt(slope * slope + 1);
}

point2 projectOntoLine(double px, double py, double x1, double y1, double x2, double y2) {
    const double dy = nearZeroGuard((y2 - py) - (y1 - py));
    const double dx = nearZeroGuard((x2 - px) - (x1 - px));
    const double m = dy / dx;
    const double c = (y1 - py) - ((x1 - px) * dy) / dx;
    const double t = -c / (m + 1 / m);
    return {t + px, m * t + c + py};
}

bool insideBand(double px, double py, double x1, double y1, double x2, double y2) {
    const double dx = nearZeroGuard(x2 - x1);
    const double dy = nearZeroGuard(y2 - y1);
    const double s = -dx / dy;
    return (s * (px - x1) < py - y1 && py - y2 < s * (px - x2)) ||
           (py - y1 < s * (px - x1) && s * (px - x2) < py - y2);
}

}  // namespace tumbla
