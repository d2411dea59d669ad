// The per-frame view step: pan keys, zoom limits, following the main ball in
// Play mode, and the visible world rectangle.
#include <algorithm>
#include <cmath>

#include "app/editorState.h"
#include "editing/view.h"

namespace tumbla {

void editorState::updateView() {
    if (io.keyDown('A')) viewCentreX -= 14 / zoom;
    if (io.keyDown('D')) viewCentreX += 14 / zoom;
    if (io.keyDown('S')) viewCentreY += 14 / zoom;
    if (io.keyDown('W')) viewCentreY -= 14 / zoom;
    zoom = std::max(zoom, zoomLowest);
    zoom = std::min(zoom, zoomHighest);
    // A main ball whose position is no longer finite is removed later in the
    // frame; the view must not take its position meanwhile.
    if (mode == -1 && mainBall && mainBall != heldBall && std::isfinite(mainBall->x) &&
        std::isfinite(mainBall->y)) {
        viewCentreX = mainBall->x;
        viewCentreY = mainBall->y;
    }
    viewCentreY = std::min(viewCentreY, 3000.0);
    viewRight = viewCentreX + (drawAreaWidth / 2) / zoom;
    viewLeft = viewCentreX - (drawAreaWidth / 2) / zoom;
    viewTop = viewCentreY - (displayHeight / 2) / zoom;
    viewBottom = viewCentreY + (displayHeight / 2) / zoom;
}

double editorState::pointerWorldX() {
    return (static_cast<double>(io.mouseX()) - drawAreaWidth / 2) / zoom + viewCentreX;
}

double editorState::pointerWorldY() {
    return (static_cast<double>(io.mouseY()) - displayHeight / 2.0) / zoom + viewCentreY;
}

}  // namespace tumbla
