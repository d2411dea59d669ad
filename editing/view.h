// World to screen: the only transform between the figure and the window.
#pragma once

namespace tumbla {

inline double worldToScreenX(double worldX, double centreX, double zoom, double areaWidth) {
    return areaWidth / 2 + (worldX - centreX) * zoom;
}

inline double worldToScreenY(double worldY, double centreY, double zoom, double areaHeight) {
    return areaHeight / 2 + (worldY - centreY) * zoom;
}

constexpr double zoomLowest = 0.009999999776482582;  // single-precision 0.01
constexpr double zoomHighest = 100.0;
constexpr double valueStep = 1.0199999809265137;     // single-precision 1.02

}  // namespace tumbla
