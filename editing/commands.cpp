// The command step: toolbar presses and the Delete keys become changes of the
// scene, the settings, the view and the mode; then every value is kept
// within its limits.
//
// The "+" and "-" buttons of the value rows act in every frame they are held.
// Every other button acts once per press: only while mouseReleased says the
// left button was up at the end of the previous command step, so holding a
// button, or sliding onto it with the button down, does not repeat it.
#include <vector>

#include "app/editorState.h"
#include "editing/view.h"

namespace tumbla {

namespace {

constexpr int mouseLeft = 1;
constexpr double angleStrengthLowest = 0.10000000149011612;  // single-precision 0.1
constexpr double angleStrengthHighest = 3000.0;
constexpr double massLowest = 0.009999999776482582;  // single-precision 0.01

// One step of a value row: up multiplies by the step, down divides by it.
void stepValue(double& v, bool up) {
    if (up)
        v *= valueStep;
    else
        v /= valueStep;
}

// Highest limit first, then lowest.
void limit(double& v, double lowest, double highest) {
    if (v > highest) v = highest;
    if (v < lowest) v = lowest;
}

entityKind nextBallKind(entityKind k) {
    switch (k) {
        case entityKind::normal: return entityKind::background;
        case entityKind::background: return entityKind::damaging;
        case entityKind::damaging: return entityKind::normal;
        default: return k;
    }
}

entityKind nextLinkKind(entityKind k) {
    switch (k) {
        case entityKind::normal: return entityKind::background;
        case entityKind::background: return entityKind::damaging;
        case entityKind::damaging: return entityKind::stop;
        case entityKind::stop: return entityKind::normal;
        default: return k;  // a virtual link stays virtual
    }
}

// The "+" and "-" of one row: calls act(true) while "+" is held and
// act(false) while "-" is held, "+" first.
template <typename Act>
void valueRow(toolbarButton& plus, toolbarButton& minus, Act act) {
    if (plus.held(mouseLeft)) act(true);
    if (minus.held(mouseLeft)) act(false);
}

}  // namespace

void editorState::toggleMode() {
    if (mode == 1) notePlay();
    if (mode == 1) selectedBall = nullptr;
    selectedLink = nullptr;
    if (mode == 1) regroup();
    mode = -mode;
}

void editorState::handleToolbarCommands() {
    toolbarPanel& t = *toolbar;

    valueRow(t.resizePlus, t.resizeMinus, [&](bool up) {
        if (!activeBalls.empty()) noteHeldChange(heldResizeRow);
        for (ball* b : activeBalls) stepValue(b->radius, up);
        for (link* l : activeLinks) {
            stepValue(l->restLength, up);
            stepValue(l->width, up);
        }
        for (tension* s : activeTensions) stepValue(s->strength, up);
    });

    if (!selectedLink)
        valueRow(t.linkWidthPlus, t.linkWidthMinus, [&](bool up) {
            if (!activeLinks.empty()) noteHeldChange(heldLinkWidthRow);
            for (link* l : activeLinks) stepValue(l->width, up);
            stepValue(newLinkWidth, up);
        });

    if (!selectedBall) {
        valueRow(t.ballMassPlus, t.ballMassMinus, [&](bool up) {
            if (!activeBalls.empty()) noteHeldChange(heldBallMassRow);
            for (ball* b : activeBalls) stepValue(b->mass, up);
            stepValue(newBallMass, up);
        });
        valueRow(t.ballSizePlus, t.ballSizeMinus, [&](bool up) {
            if (!activeBalls.empty()) noteHeldChange(heldBallSizeRow);
            for (ball* b : activeBalls) stepValue(b->radius, up);
            stepValue(newBallSize, up);
        });
        valueRow(t.anglePlus, t.angleMinus, [&](bool up) {
            if (!activeBalls.empty()) noteHeldChange(heldAngleRow);
            for (ball* b : activeBalls) stepValue(b->angleStrength, up);
            for (tension* s : activeTensions) stepValue(s->strength, up);
            stepValue(newAngleStrength, up);
        });
    }

    if (selectedBall) {
        valueRow(t.anglePlus, t.angleMinus, [&](bool up) {
            noteHeldChange(heldAngleRow);
            stepValue(selectedBall->angleStrength, up);
            rebuildTensions(selectedBall->bodyNumber);  // the tensions take the new strength
            stepValue(newAngleStrength, up);
        });
        valueRow(t.ballSizePlus, t.ballSizeMinus, [&](bool up) {
            noteHeldChange(heldBallSizeRow);
            stepValue(selectedBall->radius, up);
            stepValue(newBallSize, up);
        });
        valueRow(t.ballMassPlus, t.ballMassMinus, [&](bool up) {
            noteHeldChange(heldBallMassRow);
            stepValue(selectedBall->mass, up);
            stepValue(newBallMass, up);
        });
    }

    if (selectedLink)
        valueRow(t.linkWidthPlus, t.linkWidthMinus, [&](bool up) {
            noteHeldChange(heldLinkWidthRow);
            stepValue(selectedLink->width, up);
            stepValue(newLinkWidth, up);
        });

    valueRow(t.zoomPlus, t.zoomMinus, [&](bool up) { stepValue(zoom, up); });
    // The gravity row's "+" and "-" have no action: gravity is a constant.

    if (mouseReleased == 1) {
        // The kind, anchor and roll buttons are placed only while something
        // is selected; out of that state they keep an old placement and must
        // not act.
        const bool kindPressed = (selectedBall || selectedLink) && t.kindButton.held(mouseLeft);
        if (kindPressed) noteChange();
        if (kindPressed && selectedBall) selectedBall->kind = nextBallKind(selectedBall->kind);
        if (kindPressed && selectedLink) selectedLink->kind = nextLinkKind(selectedLink->kind);
        if (selectedBall) {
            if (t.anchorButton.held(mouseLeft)) {
                noteBallChange();
                if (selectedBall->anchored == 1) {
                    selectedBall->anchored = 0;
                } else {
                    selectedBall->anchored = 1;
                    selectedBall->anchorX = selectedBall->x;
                    selectedBall->anchorY = selectedBall->y;
                }
            }
            newBallAnchored = selectedBall->anchored;
        }
        if (selectedBall && t.rollButton.held(mouseLeft)) {
            noteBallChange();
            selectedBall->rolls = selectedBall->rolls == 1 ? 0 : 1;
        }
        if (t.modeButton.held(mouseLeft)) toggleMode();

        auto deleteSelection = [&] {
            if (selectedBall || selectedLink) noteChange();
            deleteBall(selectedBall, 1);
            deleteLink(selectedLink);
            selectedBall = nullptr;
            selectedLink = nullptr;
        };
        if (io.keyDown(keyDelete) || io.keyDown(keyBackspace)) deleteSelection();
        if (t.deleteButton.held(mouseLeft)) {
            if (!selectedBall && !selectedLink) {
                if (!activeBalls.empty()) noteChange();
                deleteVisible();
                mode = 1;
            } else {
                deleteSelection();
            }
        }
        if (t.selectButton.held(mouseLeft)) {
            selectedBall = nullptr;
            selectedLink = nullptr;
        }
        // A file command that reads nothing, or changes nothing, leaves no step.
        auto fileCommand = [&](auto command) {
            noteFileChange();
            command();
            dropUnchangedStep();
        };
        if (t.newLevelButton.held(mouseLeft)) fileCommand([&] { clearScene(); });
        if (t.revertButton.held(mouseLeft)) fileCommand([&] { revertToSaved(); });
        if (t.openButton.held(mouseLeft)) fileCommand([&] { readFigureFile(1, ""); });
        if (t.addObjectButton.held(mouseLeft)) fileCommand([&] { readFigureFile(0, ""); });
        if (t.saveButton.held(mouseLeft)) saveFile();
        if (t.saveAsButton.held(mouseLeft)) saveFileAs();
        if (t.saveOnScreenButton.held(mouseLeft)) saveOnScreen();
        if (t.quitButton.held(mouseLeft)) io.exitProcess(0);
    }

    mouseReleased = io.mouseDown(mouseLeft) ? 0 : 1;
    enforceDrawWhenEmpty();
    clampValues();
}

void editorState::clampValues() {
    limit(newAngleStrength, angleStrengthLowest, angleStrengthHighest);
    limit(newBallSize, 1.0, 1000.0);
    limit(newLinkWidth, 1.0, 1000.0);
    limit(newBallMass, massLowest, 9999.0);
    for (tension* s : allTensions) limit(s->strength, angleStrengthLowest, angleStrengthHighest);
    for (ball* b : allBalls) {
        limit(b->radius, 0.5, 1000.0);
        limit(b->angleStrength, angleStrengthLowest, angleStrengthHighest);
        limit(b->mass, massLowest, 100.0);
    }
    for (link* l : allLinks) limit(l->width, 0.5, 1000.0);
}

}  // namespace tumbla
