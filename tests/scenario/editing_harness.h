// A headless editor driven the way a user drives it: pointer moves, button
// presses and keys, one frame at a time. At the start view (centre (0, 350),
// zoom 1) window pixel (x, y) is world point (x - 390, y).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/editorState.h"
#include "editing/view.h"
#include "tools/runner.h"

namespace tumbla {

struct editingHarness : ::testing::Test {
    headlessPlatform io;
    editorState editor{io};

    void SetUp() override {
        prepareHeadlessEditor(editor, io, 1);
        frames(1);  // the first frame places the toolbar and enters Draw mode
    }

    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            io.clock += 16;
            editor.runFrame();
        }
    }

    void moveTo(int x, int y) { io.movePointer(x, y); }
    void down(int button = 1) { io.pressButton(button); }
    void up(int button = 1) { io.releaseButton(button); }

    // Press and release at a point, a frame each.
    void clickAt(int x, int y, int button = 1) {
        moveTo(x, y);
        down(button);
        frames(1);
        up(button);
        frames(1);
    }

    // A click on empty drawing area places a ball and selects it.
    ball* placeAt(int x, int y) {
        clickAt(x, y);
        return editor.selectedBall;
    }

    // The first ball is the main ball, which is always free; while it is
    // selected the command step makes the following new balls free too. So
    // it is deselected and the anchored setting put back.
    ball* placeMainBall(int x, int y) {
        ball* main = placeAt(x, y);
        editor.selectedBall = nullptr;
        editor.newBallAnchored = 1;
        return main;
    }

    // Press at one point, hold while the drag starts, move, release.
    void dragFromTo(int x0, int y0, int x1, int y1) {
        moveTo(x0, y0);
        down();
        frames(2);
        moveTo(x1, y1);
        frames(1);
        up();
        frames(1);
    }

    static int centreX(const toolbarButton& b) { return static_cast<int>(b.x + b.width / 2); }
    static int centreY(const toolbarButton& b) { return static_cast<int>(b.y + b.height / 2); }

    // One press of a toolbar button, then the pointer rests off the toolbar's
    // buttons so that nothing else is pressed.
    void press(const toolbarButton& b) {
        moveTo(centreX(b), centreY(b));
        down();
        frames(1);
        up();
        frames(1);
    }

    // Holds a toolbar button down for n frames and lets go after them.
    void hold(const toolbarButton& b, int n) {
        moveTo(centreX(b), centreY(b));
        down();
        frames(n);
        up();
    }

    void keyDown(int code) { io.pressKey(code); }
    void keyUp(int code) { io.releaseKey(code); }

    link* linkBetween(const ball* p, const ball* q, const std::vector<link*>& links) const {
        for (link* l : links)
            if ((l->ballA == p && l->ballB == q) || (l->ballA == q && l->ballB == p)) return l;
        return nullptr;
    }

    std::vector<std::string> drawnTexts() const {
        std::vector<std::string> texts;
        for (const drawCall& c : io.calls)
            if (c.kind == drawCall::textCall) texts.push_back(c.text);
        return texts;
    }
};

}  // namespace tumbla
