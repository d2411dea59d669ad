// The Draw-mode tools: what a press does depends only on what lies under the
// pointer and on the modifier keys held. Also the keyboard edits that act on
// everything visible, and the fixed rules of the main ball.
#include <algorithm>
#include <cmath>

#include "app/editorState.h"
#include "editing/view.h"

namespace tumbla {

namespace {

constexpr int mouseLeft = 1;
constexpr int keyN = 78;
constexpr int keyP = 80;
constexpr int keyV = 86;
constexpr double mainBallPush = 0.20000000298023224;  // single-precision 0.2

// Strict hit test of the pointer against a ball's last projected circle.
bool underPointer(const ball& b, int mouseX, int mouseY) {
    const double dx = mouseX - b.screenX;
    const double dy = mouseY - b.screenY;
    return dx * dx + dy * dy < b.screenRadius * b.screenRadius;
}

// Copies a picked ball's values into the settings for the next ball drawn.
void takeBallSettings(editorState& e, const ball& b) {
    e.newBallSize = b.radius;
    e.newBallMass = b.mass;
    e.newAngleStrength = b.angleStrength;
}

bool joinedByLink(const std::vector<link*>& links, const ball* p, const ball* q) {
    return std::any_of(links.begin(), links.end(), [&](const link* l) {
        return (l->ballA == p && l->ballB == q) || (l->ballA == q && l->ballB == p);
    });
}

}  // namespace

void editorState::handleEditKeys() {
    const bool control = io.keyDown(keyLeftControl) || io.keyDown(keyRightControl);
    if (control && io.keyDown('A')) {
        if (!activeBalls.empty()) noteHeldChange(heldAnchorKeys);
        for (ball* b : activeBalls) {
            b->anchored = 1;
            b->anchorX = b->x;
            b->anchorY = b->y;
        }
    }
    if (control && io.keyDown('R')) {
        if (!activeBalls.empty()) noteHeldChange(heldReleaseKeys);
        for (ball* b : activeBalls) {
            b->anchored = 0;
            b->anchorX = b->x;
            b->anchorY = b->y;
        }
    }
    const struct {
        int key;
        entityKind kind;
        heldControl control;
    } kindKeys[] = {{'D', entityKind::damaging, heldDamagingKeys},
                    {'N', entityKind::normal, heldNormalKeys},
                    {'B', entityKind::background, heldBackgroundKeys}};
    for (const auto& k : kindKeys) {
        if (!control || !io.keyDown(k.key)) continue;
        if (!activeBalls.empty()) noteHeldChange(k.control);
        for (ball* b : activeBalls) b->kind = k.kind;
        for (link* l : activeLinks) l->kind = k.kind;
    }
    if (io.keyHits(keyP) > 0) toggleMode();
}

void editorState::updateHover() {
    const int mx = io.mouseX();
    const int my = io.mouseY();
    const bool inDrawArea = mx < drawAreaWidth;
    hoverBall = nullptr;
    if (inDrawArea)
        for (ball* b : activeBalls) {
            b->project();
            if (underPointer(*b, mx, my)) hoverBall = b;
        }
    // Balls come before links, and no link is hovered while a drag runs.
    hoverLink = nullptr;
    if (inDrawArea && !hoverBall && linkDragActive == 0) {
        const double wx = pointerWorldX();
        const double wy = pointerWorldY();
        for (link* l : activeLinks)
            if (l->containsPoint(wx, wy)) hoverLink = l;
        for (link* l : virtualLinks)
            if (l->containsPoint(wx, wy)) hoverLink = l;
    }
    if (hoverLink && io.mouseDown(mouseLeft)) {
        selectedLink = hoverLink;
        newLinkWidth = hoverLink->width;
        selectedBall = nullptr;
    }
}

void editorState::placeBall() {
    // The click count is asked every Draw-mode frame, so clicks made in Play
    // mode reach the first Draw-mode frame after it.
    const bool clickedNow = io.mouseHits(mouseLeft) > 0;
    const bool dragReleased = linkDragActive == 1 && !io.mouseDown(mouseLeft);
    if (!clickedNow && !dragReleased) return;
    if (!(io.mouseX() < drawAreaWidth) || hoverBall || hoverLink) return;

    noteBallChange();
    ball* b = newBall();
    b->x = pointerWorldX();
    b->y = pointerWorldY();
    b->prevX = b->x;
    b->prevY = b->y;
    b->owner = this;
    b->radius = newBallSize;
    b->mass = newBallMass;
    b->angleStrength = newAngleStrength;
    b->project();
    b->anchorX = b->x;
    b->anchorY = b->y;
    b->anchored = newBallAnchored;
    if (io.keyDown(keyN))
        allBalls.insert(allBalls.begin(), b);
    else
        allBalls.push_back(b);
    updateEffectiveMasses();
    b->number = static_cast<int>(allBalls.size());
    selectedBall = b;
    regroup();
}

void editorState::updateLinkTool() {
    const int mx = io.mouseX();
    const int my = io.mouseY();
    const bool leftHeld = io.mouseDown(mouseLeft);
    const bool primaryPress = leftHeld && !io.keyDown(keyLeftControl);

    // Start: tested in every frame the button is held, so a ball placed by
    // the press frame starts a drag once it has become active.
    if (primaryPress && mx < drawAreaWidth && linkDragActive == 0)
        for (ball* b : activeBalls) {
            b->project();
            if (!underPointer(*b, mx, my)) continue;
            linkEnds[0] = b;
            selectedBall = b;
            selectedLink = nullptr;
            linkDragActive = 1;
            takeBallSettings(*this, *b);
        }

    if (linkDragActive == 1) {
        const ball* start = linkEnds[0];
        io.setColour(255, 255, 255);
        io.drawLine(worldToScreenX(start->x, viewCentreX, zoom, drawAreaWidth),
                    worldToScreenY(start->y, viewCentreY, zoom, displayHeight), mx, my);
    }

    if (linkDragActive == 1 && !leftHeld) {
        ball* start = linkEnds[0];
        // Every ball under the pointer is linked in turn, active or not.
        for (std::size_t i = 0; i < allBalls.size(); ++i) {
            ball* end = allBalls[i];
            if (!underPointer(*end, mx, my)) continue;
            linkEnds[1] = end;
            if (end == start || joinedByLink(allLinks, start, end)) continue;
            // A start ball deleted during the drag is no longer in the figure;
            // a link to it would name a missing ball.
            if (start->dead) continue;
            noteChange();
            link* l = newLink();
            l->ballA = start;
            l->ballB = end;
            const double dx = end->x - start->x;
            const double dy = end->y - start->y;
            l->restLength = std::sqrt(dx * dx + dy * dy);
            l->owner = this;
            l->width = newLinkWidth;
            if (!io.keyDown(keyV)) {
                allLinks.push_back(l);
                regroup();
                rebuildTensions(start->bodyNumber);
            } else {
                l->kind = entityKind::virtualLink;
                virtualLinks.push_back(l);
            }
        }
    }

    // Left Control during a drag cancels it without a link.
    if (!primaryPress) linkDragActive = 0;
}

void editorState::applyMainBallRules() {
    if (!mainBall) return;
    mainBall->kind = entityKind::normal;
    mainBall->rolls = 1;
    mainBall->mass = 1.0;
    mainBall->radius = 20.0;
    mainBall->anchored = 0;
    if (mode != -1) return;
    if (io.keyDown(keyLeft)) mainBall->vx -= mainBallPush;
    if (io.keyDown(keyRight)) mainBall->vx += mainBallPush;
    jumpState = std::min(0, jumpState + 1);
    if (io.keyDown(keySpace) && jumpState == 0) jumpState = 1;
}

}  // namespace tumbla
