// Random editing with undo and redo mixed in: what a snapshot shares from
// the one before must be what a fresh read gives, and undoing everything and redoing everything must come back to the
// figure exactly. Nothing may name a freed entity (the sanitizer build runs
// this too).
#include <gtest/gtest.h>

#include <random>

#include "app/editorState.h"
#include "tests/unit/files_testing.h"
#include "tools/runner.h"

namespace tumbla::fixtures {
namespace {

bool inside(const toolbarButton& b, int x, int y) {
    return x >= b.x - 2 && x <= b.x + b.width + 2 && y >= b.y - 2 && y <= b.y + b.height + 2;
}

TEST(historyRandom, sharedPartsStayTrueAndEverythingUndoesAndRedoes) {
    headlessPlatform io;
    editorState editor{io};
    io.recordCalls = false;
    prepareHeadlessEditor(editor, io, 3);
    scratchFolder folder;
    std::mt19937 rng(77);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const int keys[] = {keyLeftControl, keyShift, 'A', 'R', 'D', 'N', 'B', 'P', 'V', 'Z', 'Y', keyDelete};

    auto save = [&] {
        const std::string path = folder / "figure.fig";
        EXPECT_TRUE(editor.writeFigureFile(path, 0, 0));
        return slurp(path);
    };

    for (int frame = 0; frame < 3000; ++frame) {
        const int roll = pick(0, 9);
        if (roll < 4) {
            // The drawing area mostly, the toolbar now and then, never Quit.
            int x = pick(0, 9) < 8 ? pick(20, 760) : pick(780, 1020);
            int y = pick(10, 690);
            if (inside(editor.toolbar->quitButton, x, y)) x = 100;
            io.movePointer(x, y);
        } else if (roll < 6) {
            if (io.buttons[1])
                io.releaseButton(1);
            else
                io.pressButton(1);
        } else if (roll < 8) {
            const int key = keys[pick(0, static_cast<int>(std::size(keys)) - 1)];
            if (io.keys[key])
                io.releaseKey(key);
            else
                io.pressKey(key);
        }
        io.clock += 16;
        editor.runFrame();

        // What a snapshot shares from the one before, by serial number, by
        // address or without reading, is what a snapshot from nothing gives.
        editHistory& h = editor.history;
        figureSnapshot shared, fresh;
        editor.captureFigure(shared);
        h.last = figureSnapshot{};
        editor.captureFigure(fresh);
        ASSERT_TRUE(shared == fresh) << "frame " << frame << ": a change touched the figure without saying so";
    }

    const std::string end = save();
    int undone = 0;
    while (editor.undo()) ++undone;
    EXPECT_GT(undone, 20);
    while (editor.redo()) --undone;
    EXPECT_EQ(undone, 0);
    EXPECT_EQ(save(), end);
    for (int i = 0; i < 3; ++i) {
        io.clock += 16;
        editor.runFrame();
    }
}

}  // namespace
}  // namespace tumbla::fixtures
