// Undo and redo as a user meets them: every kind of change goes back and
// comes again exactly, one step per frame and per hold, Play as one step,
// the file name only with the steps that changed it, and the bounds.
#include <bit>
#include <cstdint>
#include <functional>

#include "tests/scenario/editing_harness.h"
#include "tests/unit/files_testing.h"

namespace tumbla::fixtures {
namespace {

// What a step must bring back: the figure as saved (every stored field, in
// list order) and the motion of every ball to the bit.
struct figureState {
    std::string file;
    std::vector<std::uint64_t> motion;
    bool operator==(const figureState&) const = default;
};

// A main ball apart, a chain a-b-c (one tension at b) and a ball d joined to
// c by a virtual link; everything but the main ball anchored, nothing
// selected, the pointer on grey toolbar space.
struct undoRedo : editingHarness {
    scratchFolder folder;
    const std::string twoBalls = fixturePath("twoBalls.fig");

    void SetUp() override {
        editingHarness::SetUp();
        placeMainBall(300, 200);
        dragFromTo(300, 350, 400, 350);
        dragFromTo(400, 350, 450, 450);
        keyDown(86);
        dragFromTo(450, 450, 600, 450);
        keyUp(86);
        ASSERT_EQ(editor.allBalls.size(), 5u);
        ASSERT_EQ(editor.allLinks.size(), 2u);
        ASSERT_EQ(editor.allTensions.size(), 1u);
        ASSERT_EQ(editor.virtualLinks.size(), 1u);
        press(bar().selectButton);
        rest();
    }

    toolbarPanel& bar() { return *editor.toolbar; }
    editHistory& history() { return editor.history; }
    void rest() { moveTo(900, 315); }

    figureState state() {
        figureState s;
        const std::string path = folder / "state.fig";
        EXPECT_TRUE(editor.writeFigureFile(path, 0, 0));
        s.file = slurp(path);
        for (const ball* b : editor.allBalls)
            for (double v : {b->x, b->y, b->prevX, b->prevY, b->vx, b->vy, b->anchorX, b->anchorY})
                s.motion.push_back(std::bit_cast<std::uint64_t>(v));
        return s;
    }

    // Control with a key for one frame.
    void control(int key, int frameCount = 1) {
        keyDown(keyLeftControl);
        keyDown(key);
        frames(frameCount);
        keyUp(key);
        keyUp(keyLeftControl);
    }

    void tapKey(int key) {
        keyDown(key);
        frames(1);
        keyUp(key);
    }

    void selectAt(int x, int y) {
        clickAt(x, y);
        rest();
    }

    void expectNothingNamed() {
        EXPECT_EQ(editor.selectedBall, nullptr);
        EXPECT_EQ(editor.selectedLink, nullptr);
        EXPECT_EQ(editor.hoverBall, nullptr);
        EXPECT_EQ(editor.hoverLink, nullptr);
        EXPECT_EQ(editor.heldBall, nullptr);
        EXPECT_EQ(editor.linkDragActive, 0);
    }
};

struct changeCase {
    const char* name;
    std::function<void(undoRedo&)> prepare;  // not a change: selecting, answering a dialog
    std::function<void(undoRedo&)> change;   // one step
    bool changesFileName = false;
};

void nothing(undoRedo&) {}

const changeCase changeCases[] = {
    {"placeBall", nothing, [](undoRedo& t) { t.clickAt(650, 550); }},
    {"placeMainBall",
     nothing,
     [](undoRedo& t) {
         t.keyDown(78);
         t.clickAt(650, 550);
         t.keyUp(78);
     }},
    {"linkTwoBalls", nothing, [](undoRedo& t) { t.dragFromTo(300, 350, 450, 450); }},
    {"virtualLink",
     nothing,
     [](undoRedo& t) {
         t.keyDown(86);
         t.dragFromTo(300, 350, 450, 450);
         t.keyUp(86);
     }},
    {"deleteKey", [](undoRedo& t) { t.selectAt(400, 350); }, [](undoRedo& t) { t.tapKey(keyDelete); }},
    {"backspaceOnLink", [](undoRedo& t) { t.selectAt(350, 350); }, [](undoRedo& t) { t.tapKey(keyBackspace); }},
    {"deleteEverything", nothing, [](undoRedo& t) { t.press(t.bar().deleteButton); }},
    {"controlR", nothing, [](undoRedo& t) { t.control('R'); }},
    {"controlD", nothing, [](undoRedo& t) { t.control('D'); }},
    {"kind", [](undoRedo& t) { t.selectAt(400, 350); }, [](undoRedo& t) { t.press(t.bar().kindButton); }},
    {"linkKind", [](undoRedo& t) { t.selectAt(350, 350); }, [](undoRedo& t) { t.press(t.bar().kindButton); }},
    {"anchor", [](undoRedo& t) { t.selectAt(400, 350); }, [](undoRedo& t) { t.press(t.bar().anchorButton); }},
    {"roll", [](undoRedo& t) { t.selectAt(400, 350); }, [](undoRedo& t) { t.press(t.bar().rollButton); }},
    {"ballSizeHeld", nothing, [](undoRedo& t) { t.hold(t.bar().ballSizePlus, 6); }},
    {"resizeHeld", nothing, [](undoRedo& t) { t.hold(t.bar().resizeMinus, 4); }},
    {"angleOfSelectedBall", [](undoRedo& t) { t.selectAt(400, 350); }, [](undoRedo& t) { t.hold(t.bar().anglePlus, 3); }},
    {"linkWidthHeld", nothing, [](undoRedo& t) { t.hold(t.bar().linkWidthPlus, 3); }},
    {"newLevel", nothing, [](undoRedo& t) { t.press(t.bar().newLevelButton); }},
    {"open",
     [](undoRedo& t) { t.io.dialogAnswers.push_back(t.twoBalls); },
     [](undoRedo& t) { t.press(t.bar().openButton); },
     true},
    {"addObject",
     [](undoRedo& t) { t.io.dialogAnswers.push_back(t.twoBalls); },
     [](undoRedo& t) { t.press(t.bar().addObjectButton); }},
};

struct eachChange : undoRedo, ::testing::WithParamInterface<changeCase> {};

TEST_P(eachChange, undoneAndRedoneExactly) {
    const changeCase& c = GetParam();
    c.prepare(*this);
    const figureState before = state();
    const std::string nameBefore = editor.currentFileName;
    const std::size_t steps = history().undoSteps.size();
    c.change(*this);
    ASSERT_EQ(history().undoSteps.size(), steps + 1) << "one change, one step";
    const figureState after = state();
    const std::string nameAfter = editor.currentFileName;
    ASSERT_NE(after, before) << "the change changed nothing";
    ASSERT_EQ(nameAfter != nameBefore, c.changesFileName);

    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(editor.undo());
        EXPECT_EQ(state(), before);
        EXPECT_EQ(editor.currentFileName, nameBefore);
        expectNothingNamed();
        ASSERT_TRUE(editor.redo());
        EXPECT_EQ(state(), after);
        EXPECT_EQ(editor.currentFileName, nameAfter);
    }
    ASSERT_TRUE(editor.undo());
    frames(3);  // the replaced entities are freed; nothing may still name them
    EXPECT_EQ(editor.allBalls.size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(history, eachChange, ::testing::ValuesIn(changeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(undoRedo, theKeysUndoAndRedo) {
    clickAt(650, 550);
    ASSERT_EQ(editor.allBalls.size(), 6u);
    struct {
        int control;
        bool shift;
        int key;
        std::size_t balls;
    } presses[] = {
        {keyLeftControl, false, 'Z', 5},  {keyRightControl, false, 'Y', 6}, {keyRightControl, false, 'Z', 5},
        {keyLeftControl, true, 'Z', 6},   {0, false, 'Z', 6},               {keyLeftControl, false, 'Z', 5},
        {0, false, 'Y', 5},
    };
    for (const auto& p : presses) {
        if (p.control) keyDown(p.control);
        if (p.shift) keyDown(keyShift);
        tapKey(p.key);
        if (p.shift) keyUp(keyShift);
        if (p.control) keyUp(p.control);
        EXPECT_EQ(editor.allBalls.size(), p.balls) << "key " << p.key << " control " << p.control;
    }
    // The restored figure is drawn from the frame of the key on.
    keyDown(keyLeftControl);
    tapKey('Y');
    keyUp(keyLeftControl);
    EXPECT_EQ(editor.activeBalls.size(), 6u);
}

TEST_F(undoRedo, changesOfOneFrameAreOneStep) {
    const figureState before = state();
    const std::size_t steps = history().undoSteps.size();
    // Control + R, a ball placed and a held "+" in the same frame.
    keyDown(keyLeftControl);
    keyDown('R');
    moveTo(650, 550);
    down();
    frames(1);
    keyUp('R');
    keyUp(keyLeftControl);
    up();
    frames(1);
    EXPECT_EQ(editor.allBalls.size(), 6u);
    EXPECT_EQ(history().undoSteps.size(), steps + 1);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(state(), before);
}

TEST_F(undoRedo, aHoldIsOneStepAndANewHoldAnother) {
    const double radius = editor.allBalls[1]->radius;
    const std::size_t steps = history().undoSteps.size();
    hold(bar().ballSizePlus, 10);
    frames(1);  // released
    const figureState afterFirst = state();
    hold(bar().ballSizePlus, 5);
    frames(1);
    control('D', 7);  // Control + D held for seven frames
    EXPECT_EQ(history().undoSteps.size(), steps + 3);
    ASSERT_TRUE(editor.undo());
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(state(), afterFirst);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(editor.allBalls[1]->radius, radius);
}

TEST_F(undoRedo, aNewChangeDropsTheRedoSteps) {
    clickAt(650, 550);
    clickAt(700, 550);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(history().redoSteps.size(), 1u);
    const figureState beforeNewChange = state();
    control('R');
    EXPECT_TRUE(history().redoSteps.empty());
    const figureState now = state();
    EXPECT_FALSE(editor.redo());
    EXPECT_EQ(state(), now);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(state(), beforeNewChange);
}

TEST_F(undoRedo, atEitherEndOfHistoryNothingHappens) {
    history().clear();
    const figureState now = state();
    EXPECT_FALSE(editor.undo());
    EXPECT_FALSE(editor.redo());
    keyDown(keyLeftControl);
    tapKey('Z');
    tapKey('Y');
    keyUp(keyLeftControl);
    EXPECT_EQ(state(), now);
    EXPECT_EQ(editor.allBalls.size(), 5u);
}

// Play, a change made while playing, maybe back to Draw: the first undo
// takes everything back to the moment Play began, in Draw mode; redo puts
// the played figure back, in the mode it was undone in.
TEST_F(undoRedo, playIsOneStep) {
    for (bool backToDraw : {false, true}) {
        SCOPED_TRACE(backToDraw ? "undone in Draw mode" : "undone while playing");
        const figureState beforePlay = state();
        tapKey('P');
        ASSERT_EQ(editor.mode, -1);
        frames(20);
        // Changes made while playing are part of the run.
        control('R');
        hold(bar().ballSizePlus, 3);
        frames(1);
        if (backToDraw) {
            press(bar().deleteButton);  // "Delete Everything" ends the run in Draw mode
            ASSERT_EQ(editor.mode, 1);
        }
        const int modePlayed = editor.mode;
        const figureState played = state();
        ASSERT_NE(played, beforePlay);
        const std::size_t steps = history().undoSteps.size();
        keyDown(keyLeftControl);
        tapKey('Z');
        keyUp(keyLeftControl);
        EXPECT_EQ(editor.mode, 1);
        EXPECT_EQ(editor.allBalls.size(), 5u);
        EXPECT_EQ(history().undoSteps.size(), steps - 1);
        // Exactly: undone again between frames, after a redo.
        ASSERT_TRUE(editor.redo());
        EXPECT_EQ(state(), played);
        EXPECT_EQ(editor.mode, modePlayed);
        ASSERT_TRUE(editor.undo());
        EXPECT_EQ(state(), beforePlay);
        EXPECT_EQ(editor.mode, 1);
        frames(1);
    }
}

TEST_F(undoRedo, aChangeAfterPlayIsItsOwnStep) {
    const figureState beforePlay = state();
    tapKey('P');
    frames(10);
    tapKey('P');
    frames(1);
    const figureState played = state();
    clickAt(650, 550);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(state(), played);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(state(), beforePlay);
}

TEST_F(undoRedo, theFileNameGoesBackOnlyWithTheStepThatChangedIt) {
    io.dialogAnswers.push_back(twoBalls);
    press(bar().openButton);
    ASSERT_EQ(editor.currentFileName, twoBalls);
    control('R');
    const std::string copy = folder / "copy.fig";
    io.dialogAnswers.push_back(copy);
    press(bar().saveAsButton);
    ASSERT_EQ(editor.currentFileName, copy);
    ASSERT_TRUE(editor.undo());  // Control + R
    EXPECT_EQ(editor.currentFileName, copy);
    ASSERT_TRUE(editor.undo());  // Open
    EXPECT_EQ(editor.currentFileName, "");
    EXPECT_EQ(editor.allBalls.size(), 5u);
    ASSERT_TRUE(editor.redo());
    EXPECT_EQ(editor.currentFileName, copy);
    EXPECT_EQ(editor.allBalls.size(), 2u);
}

TEST_F(undoRedo, fileCommandsThatReadNothingLeaveNoStep) {
    clickAt(650, 550);
    ASSERT_TRUE(editor.undo());
    const std::size_t steps = history().undoSteps.size();
    press(bar().openButton);       // the dialog is cancelled
    EXPECT_EQ(history().undoSteps.size(), steps);
    press(bar().addObjectButton);  // again
    EXPECT_EQ(history().undoSteps.size(), steps);
    press(bar().revertButton);     // no current file
    EXPECT_EQ(history().undoSteps.size(), steps);
    io.dialogAnswers.push_back(folder / "missing.fig");
    press(bar().openButton);
    EXPECT_EQ(history().undoSteps.size(), steps);
    EXPECT_EQ(history().redoSteps.size(), 1u) << "nothing happened, so the redo step stays";

    const std::string mine = folder / "mine.fig";
    io.dialogAnswers.push_back(mine);
    press(bar().saveAsButton);  // no step either
    EXPECT_EQ(history().undoSteps.size(), steps);
    control('R');
    const figureState released = state();
    press(bar().revertButton);
    EXPECT_EQ(history().undoSteps.size(), steps + 2);
    ASSERT_TRUE(editor.undo());
    EXPECT_EQ(state(), released);
    EXPECT_EQ(editor.currentFileName, mine);
}

TEST_F(undoRedo, theBoundsDropTheOldestSteps) {
    struct {
        const char* name;
        std::size_t steps, bytes;
        int y;  // where the new balls go
    } bounds[] = {{"count", 3, std::size_t{256} << 20, 600}, {"memory", 1000, 0, 530}};
    for (const auto& b : bounds) {
        SCOPED_TRACE(b.name);
        history().clear();
        history().stepLimit = b.steps;
        // Room for the snapshots of about three steps of this small figure.
        history().byteLimit = b.bytes ? b.bytes : 3 * (sizeof(historyStep) + figureSnapshot::bytesFor(12, 3, 1, 1));
        std::vector<figureState> states{state()};
        for (int i = 0; i < 6; ++i) {
            clickAt(200 + 60 * i, b.y);
            states.push_back(state());
            EXPECT_LE(history().bytes(), history().byteLimit);
        }
        EXPECT_GE(history().undoSteps.size(), 1u);
        EXPECT_LE(history().undoSteps.size(), 3u);
        // Undoing needs room for the redo steps too: as far back as the
        // bounds allow, always to a state the figure had.
        std::size_t undone = 0;
        while (editor.undo()) ++undone;
        ASSERT_GE(undone, 1u);
        ASSERT_LE(undone, 3u);
        EXPECT_EQ(state(), states[6 - undone]) << "the newest steps stay";
        while (editor.redo()) {
        }
        EXPECT_EQ(state(), states[6]);
    }
}

}  // namespace
}  // namespace tumbla::fixtures
