// The editor's spine: every frame runs the same fixed sequence of steps.
#include <algorithm>

#include "app/editorState.h"

namespace tumbla {

void editorState::frameLoop() {
    drawAreaWidth = 780.0;
    while (!runFrame()) {
    }
}

bool editorState::runFrame() {
    handleHistoryKeys();
    updateTitle();
    io.clearScreen();
    mainBall = allBalls.empty() ? nullptr : allBalls.front();
    handleEditKeys();
    activateBodies();
    collectGarbage();
    updateTimeStep();
    updateEffectiveMasses();
    if (mode == 1) updateHover();
    enforceDrawWhenEmpty();
    updateView();
    removeStrayBalls();
    drawBackgroundGrid(mode + 1);
    drawStatusLine();
    handleToolbarCommands();
    animatePalette();
    if (mode == 1) placeBall();
    if (mode == 1) updateLinkTool();
    grabBall();
    applyMainBallRules();
    physicsStep();
    drawFigure();
    if (mode == 1)
        for (link* l : virtualLinks) l->drawLink();
    toolbar->update();
    toolbar->draw();
    io.present();
    pollQuit();
    waitForNextFrame();
    endFrameHistory();
    return io.keyDown(keyEscape);
}

void editorState::updateTitle() {
    std::string next = "Tumbla Editor 55 - " + currentFileName;
    if (next != title) io.setTitle(title = next);  // the caption follows the title
}

void editorState::updateTimeStep() { timeStep = 1.0; }

void editorState::enforceDrawWhenEmpty() {
    if (allBalls.empty()) mode = 1;
}

void editorState::animatePalette() {
    for (int r = 0; r < paletteSize; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (io.randomReal(0, 1000) > 990.0) paletteSteps[r][c] = -paletteSteps[r][c];
            if (paletteColours[r][c] >= 253) paletteSteps[r][c] = -2;
            if (paletteColours[r][c] <= 3) paletteSteps[r][c] = 2;
            paletteColours[r][c] += paletteSteps[r][c];
        }
    }
}

void editorState::waitForNextFrame() {
    // Short sleeps instead of a busy loop: the clock counts whole
    // milliseconds, so the frame still ends on the first reading that is
    // 16 ms past the mark.
    while (static_cast<double>(io.millisecs() - frameMark) < 15.873015403747559) io.sleepMillisecs(1);
    frameMark = io.millisecs();
}

}  // namespace tumbla
