// Holding a ball with the mouse, and putting the main ball back in the
// middle of the view when it leaves it.
#include "app/editorState.h"

namespace tumbla {

void editorState::grabBall() {
    bool pressed;
    if (mode == -1)
        pressed = io.mouseDown(1) || io.mouseDown(2);
    else if (mode == 1)
        pressed = io.mouseDown(2) || (io.mouseDown(1) && io.keyDown(keyLeftControl));
    else
        return;
    if (!pressed) heldBall = nullptr;
    if (heldBall || !pressed) return;
    const double px = io.mouseX();
    const double py = io.mouseY();
    // The last ball under the pointer wins.
    for (ball* b : activeBalls) {
        const double dx = b->screenX - px;
        const double dy = b->screenY - py;
        if (dx * dx + dy * dy < b->screenRadius * b->screenRadius) heldBall = b;
    }
}

void editorState::moveHeldBall() {
    if (!heldBall) return;
    heldBall->x = (io.mouseX() - drawAreaWidth / 2.0) / zoom + viewCentreX;
    heldBall->y = (io.mouseY() - displayHeight / 2.0) / zoom + viewCentreY;
    heldBall->vx = 0.0;
    heldBall->vy = 0.0;
}

void ball::recentre() {
    if (!owner) return;
    const editorState& ed = *owner;
    const double right = ed.viewCentreX + (ed.drawAreaWidth / 2.0) / ed.zoom;
    const double left = ed.viewCentreX - (ed.drawAreaWidth / 2.0) / ed.zoom;
    if (x > right - radius || x < radius + left || y > ed.viewBottom - radius ||
        y < radius + ed.viewTop) {
        x = (right + left) / 2.0;
        y = (ed.viewBottom + ed.viewTop) / 2.0;
        vy = 0.0;
        vx = 0.0;
    }
}

}  // namespace tumbla
