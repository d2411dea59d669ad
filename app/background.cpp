// What lies beneath the figure: the parallax grid, the Draw-mode marker line
// and the status texts.
#include <cmath>
#include <string>

#include "app/editorState.h"
#include "editing/view.h"
#include "physics/geometry.h"

namespace tumbla {

void editorState::drawBackgroundGrid(int markerLine) {
    const double s = 500.0;
    const double w = displayWidth;
    const double h = displayHeight;
    const double z = zoom;
    const int gx0 = truncateToInt(std::floor((viewCentreX - (w / 2) / z) / s) * s);
    const int gy0 = truncateToInt(std::floor((viewCentreY - (h / 2) / z) / s) * s);
    const int n = truncateToInt(std::floor((w / s) / z) + 2);
    const double zg = 1.0 / (1.0 / z + 1);
    const int grey = truncateToInt(120 * z);
    io.setColour(grey, grey, grey);
    for (int i = 0; i <= n; ++i) {
        const double wx = i * s + gx0;
        const double wy = i * s + gy0;
        const double sx = worldToScreenX(wx, viewCentreX, zg, drawAreaWidth);
        const double sy = worldToScreenY(wy, viewCentreY, zg, h);
        if (0 < sx && sx < w) io.drawLine(sx, 0, sx, h);
        if (0 < sy && sy < h) io.drawLine(0, sy, w, sy);
    }
    if (markerLine != 0) {
        const double ly = worldToScreenY(2000, viewCentreY, zg, h);
        io.setColour(255, 0, 0);
        io.setLineWidth(2.0);
        if (0 < ly && ly < h) io.drawLine(0, ly, w, ly);
        io.setLineWidth(1.0);
    }
}

void editorState::drawStatusLine() {
    io.setColour(255, 255, 255);
    io.setScale(0.6000000238418579, 0.6000000238418579);
    io.drawText("Current File: " + currentFileName, 20, 10);
    io.drawText("x=" + std::to_string(truncateToInt(viewCentreX)), 20, 25);
    io.drawText("y=" + std::to_string(truncateToInt(viewCentreY)), 20, 40);
    io.setScale(1, 1);
}

}  // namespace tumbla
