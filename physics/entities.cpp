// The entity operations that belong to the physics: projection to the
// screen for hit tests and drawing, and the link hit test.
#include "app/editorState.h"
#include "editing/view.h"
#include "physics/geometry.h"

namespace tumbla {

void ball::project() {
    if (!owner) return;
    const editorState& ed = *owner;
    screenX = worldToScreenX(x, ed.viewCentreX, ed.zoom, ed.drawAreaWidth);
    screenY = worldToScreenY(y, ed.viewCentreY, ed.zoom, ed.displayHeight);
    screenRadius = radius * ed.zoom;
}

bool link::containsPoint(double px, double py) const {
    const double dx = nearZeroGuard(ballB->x - ballA->x);
    const double dy = nearZeroGuard(ballB->y - ballA->y);
    const double slope = dy / dx;
    const double distance =
        std::fabs((-dy / dx) * px + py - ballA->y + (ballA->x * dy) / dx) / std::sqrt(slope * slope + 1);
    return insideBand(px, py, ballA->x, ballA->y, ballB->x, ballB->y) && distance < width;
}

}  // namespace tumbla
