// Random input for a long run: pointer anywhere in or out of the window, both
// buttons, the editing keys and every toolbar button. Nothing may crash or
// hang, and no value may become non-finite. File dialogs answer cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>

#include "app/editorState.h"
#include "tools/runner.h"

using namespace tumbla;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int defaultFrames = 30000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int defaultFrames = 30000;
#else
constexpr int defaultFrames = 100000;
#endif
#else
constexpr int defaultFrames = 100000;
#endif

int monkeyFrames() {
    const char* text = std::getenv("TUMBLA_MONKEY_FRAMES");
    return text ? std::atoi(text) : defaultFrames;
}

bool finite(double v) { return std::isfinite(v); }

// Every value the editor keeps finite; a message names the first that is not.
std::string firstNonFinite(const editorState& e) {
    for (double v : {e.zoom, e.viewCentreX, e.viewCentreY, e.viewLeft, e.viewRight, e.viewTop, e.viewBottom,
                     e.newBallSize, e.newBallMass, e.newAngleStrength, e.newLinkWidth})
        if (!finite(v)) return "a view value or setting";
    for (const ball* b : e.allBalls)
        for (double v : {b->x, b->y, b->vx, b->vy, b->radius, b->mass, b->angleStrength})
            if (!finite(v)) return "a ball";
    for (const tumbla::link* l : e.allLinks)
        if (!finite(l->restLength) || !finite(l->width)) return "a link";
    for (const tension* t : e.allTensions)
        if (!finite(t->strength) || !finite(t->restAngle)) return "a tension";
    return "";
}

}  // namespace

TEST(editingMonkey, randomInputNeverCrashesHangsOrLeavesNonFiniteValues) {
    const int total = monkeyFrames();
    std::mt19937 rng(20240601);
    auto chance = [&](int inN) { return std::uniform_int_distribution<int>(0, inN - 1)(rng) == 0; };
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const int keys[] = {keyLeftControl, keyRightControl, 'A', 'R', 'D', 'N', 'B', 'P', 'V', 'W', 'S',
                        keyDelete, keyBackspace, keyLeft, keyRight, keySpace};

    auto io = std::make_unique<headlessPlatform>();
    auto editor = std::make_unique<editorState>(*io);
    io->recordCalls = false;
    prepareHeadlessEditor(*editor, *io, 7);
    int restarts = 0;
    std::size_t mostBalls = 0;
    for (int frame = 0; frame < total; ++frame) {
        if (chance(12)) io->movePointer(pick(-40, 1100), pick(-40, 760));
        else if (chance(6)) io->movePointer(pick(0, 779), pick(0, 699));
        else if (chance(3)) io->movePointer(io->pointerX + pick(-25, 25), io->pointerY + pick(-25, 25));
        else if (chance(8) && !editor->activeBalls.empty()) {
            // Onto a ball, to start drags, select and hold.
            const ball* b = editor->activeBalls[pick(0, static_cast<int>(editor->activeBalls.size()) - 1)];
            if (std::isfinite(b->screenX) && std::isfinite(b->screenY) && std::fabs(b->screenX) < 1e6 &&
                std::fabs(b->screenY) < 1e6)
                io->movePointer(static_cast<int>(b->screenX), static_cast<int>(b->screenY));
        }
        if (chance(10)) {
            // Aim at a toolbar button: the whole column, Quit and the dialogs included.
            toolbarPanel& t = *editor->toolbar;
            const toolbarButton* buttons[] = {&t.modeButton, &t.zoomPlus, &t.zoomMinus, &t.selectButton,
                                              &t.deleteButton, &t.resizePlus, &t.resizeMinus, &t.anchorButton,
                                              &t.kindButton, &t.rollButton, &t.ballSizePlus, &t.ballSizeMinus,
                                              &t.ballMassPlus, &t.ballMassMinus, &t.linkWidthPlus,
                                              &t.linkWidthMinus, &t.anglePlus, &t.angleMinus, &t.gravityPlus, &t.gravityMinus,
                                              &t.newLevelButton, &t.revertButton, &t.openButton,
                                              &t.addObjectButton, &t.saveButton, &t.saveAsButton,
                                              &t.saveOnScreenButton, &t.quitButton};
            const toolbarButton* b = buttons[pick(0, static_cast<int>(std::size(buttons)) - 1)];
            // The buttons that empty the scene rarely, so figures get the time to grow.
            if ((b == &t.quitButton || b == &t.newLevelButton || b == &t.deleteButton) && !chance(40))
                b = &t.selectButton;
            io->movePointer(static_cast<int>(b->x + b->width / 2), static_cast<int>(b->y + b->height / 2));
        }
        for (int button : {1, 2})
            if (chance(5)) {
                if (io->buttons[button]) io->releaseButton(button);
                else io->pressButton(button);
            }
        if (chance(3)) {
            const int key = keys[pick(0, static_cast<int>(std::size(keys)) - 1)];
            if (io->keys[key]) io->releaseKey(key);
            else io->pressKey(key);
        }
        io->clock += 16;
        try {
            editor->runFrame();
        } catch (const processExit& exit) {
            ASSERT_EQ(exit.status, 0);
            ++restarts;
            editor.reset();
            io = std::make_unique<headlessPlatform>();
            io->recordCalls = false;
            editor = std::make_unique<editorState>(*io);
            prepareHeadlessEditor(*editor, *io, 7 + restarts);
        }
        mostBalls = std::max(mostBalls, editor->allBalls.size());
        const std::string bad = firstNonFinite(*editor);
        ASSERT_EQ(bad, "") << "frame " << frame;
    }
    // The run did build figures, not only press buttons.
    if (total >= 10000) {
        EXPECT_GT(mostBalls, 10u);
    }
    // What the run left behind is a figure that reads back whole.
    const std::string path = ::testing::TempDir() + "tumbla_monkey_figure.txt";
    editor->numberBalls();
    ASSERT_TRUE(editor->writeFigureFile(path, 0, 0));
    headlessPlatform readerIo;
    editorState reader(readerIo);
    ASSERT_TRUE(reader.readFigureFile(1, path));
    EXPECT_EQ(reader.allBalls.size(), editor->allBalls.size());
    EXPECT_EQ(reader.allLinks.size(), editor->allLinks.size());
    EXPECT_EQ(reader.virtualLinks.size(), editor->virtualLinks.size());
    EXPECT_EQ(reader.allTensions.size(), editor->allTensions.size());
    std::remove(path.c_str());
    std::cout << "monkey: " << total << " frames, " << restarts << " restarts, at most " << mostBalls
              << " balls\n";
}
