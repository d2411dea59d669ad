// The command step as a user meets it: value rows held down, once-per-press
// buttons behind the latch, deletion, kinds, anchoring, rolling, the mode,
// New Level, Quit and the limits.
#include <algorithm>
#include <functional>

#include "tests/scenario/editing_harness.h"

using namespace tumbla;

namespace {

constexpr double f = valueStep;

double stepped(double v, bool up, int n) {
    for (int i = 0; i < n; ++i) v = up ? v * f : v / f;
    return v;
}

// A main ball apart and a chain a-b-c (one tension at b), all in view even
// at twice the zoom; nothing selected.
struct commands : editingHarness {
    ball *main = nullptr, *a = nullptr, *b = nullptr, *c = nullptr;
    tumbla::link *ab = nullptr, *bc = nullptr;

    void SetUp() override {
        editingHarness::SetUp();
        main = placeMainBall(300, 200);
        dragFromTo(300, 350, 400, 350);
        dragFromTo(400, 350, 450, 450);
        ASSERT_EQ(editor.allBalls.size(), 4u);
        ASSERT_EQ(editor.allLinks.size(), 2u);
        ASSERT_EQ(editor.allTensions.size(), 1u);
        a = editor.allBalls[1];
        b = editor.allBalls[2];
        c = editor.allBalls[3];
        ab = editor.allLinks[0];
        bc = editor.allLinks[1];
        press(editor.toolbar->selectButton);
        ASSERT_EQ(editor.selectedBall, nullptr);
        moveTo(900, 315);  // grey space between the toolbar's rows
    }

    void selectBall(int x, int y) {
        clickAt(x, y);
        moveTo(900, 315);
    }
};

// Values a row is seen to change, and values it must leave alone.
struct valueRow {
    const char* name;
    toolbarButton toolbarPanel::*button;
    bool up;
    std::function<std::vector<double*>(commands&)> changed;
    std::function<std::vector<double*>(commands&)> unchanged;
};

void checkRows(commands& t, const std::vector<valueRow>& rows, int n) {
    for (const valueRow& row : rows) {
        std::vector<double*> changed = row.changed(t), unchanged = row.unchanged(t);
        std::vector<double> before, kept;
        for (double* v : changed) before.push_back(*v);
        for (double* v : unchanged) kept.push_back(*v);
        t.hold(t.editor.toolbar.get()->*row.button, n);
        t.frames(1);  // released: no further change
        for (std::size_t i = 0; i < changed.size(); ++i)
            EXPECT_EQ(*changed[i], stepped(before[i], row.up, n)) << row.name << " value " << i;
        for (std::size_t i = 0; i < unchanged.size(); ++i)
            EXPECT_EQ(*unchanged[i], kept[i]) << row.name << " kept " << i;
    }
}

}  // namespace

TEST_F(commands, valueRowsWithNothingSelectedActOnEveryVisibleObject) {
    tension* t = editor.allTensions[0];
    auto none = [](commands&) { return std::vector<double*>{}; };
    std::vector<valueRow> rows;
    for (bool up : {true, false}) {
        rows.push_back({"resize", up ? &toolbarPanel::resizePlus : &toolbarPanel::resizeMinus, up,
                        [&](commands& s) {
                            return std::vector<double*>{&s.a->radius, &s.c->radius, &s.ab->restLength,
                                                        &s.bc->width, &t->strength};
                        },
                        [](commands& s) { return std::vector<double*>{&s.editor.newBallSize}; }});
        rows.push_back({"size", up ? &toolbarPanel::ballSizePlus : &toolbarPanel::ballSizeMinus, up,
                        [](commands& s) { return std::vector<double*>{&s.b->radius, &s.editor.newBallSize}; },
                        none});
        rows.push_back({"mass", up ? &toolbarPanel::ballMassPlus : &toolbarPanel::ballMassMinus, up,
                        [](commands& s) { return std::vector<double*>{&s.c->mass, &s.editor.newBallMass}; },
                        none});
        rows.push_back({"angle", up ? &toolbarPanel::anglePlus : &toolbarPanel::angleMinus, up,
                        [&](commands& s) {
                            return std::vector<double*>{&s.a->angleStrength, &t->strength,
                                                        &s.editor.newAngleStrength};
                        },
                        none});
        rows.push_back({"width", up ? &toolbarPanel::linkWidthPlus : &toolbarPanel::linkWidthMinus, up,
                        [](commands& s) { return std::vector<double*>{&s.ab->width, &s.editor.newLinkWidth}; },
                        none});
        rows.push_back({"gravity", up ? &toolbarPanel::gravityPlus : &toolbarPanel::gravityMinus, up, none,
                        [](commands& s) {
                            return std::vector<double*>{&s.b->radius, &s.editor.zoom, &s.editor.newBallSize};
                        }});
    }
    checkRows(*this, rows, 35);
    // Holding for 35 frames doubles; the main ball's own values are forced.
    EXPECT_EQ(main->radius, 20.0);
    EXPECT_EQ(main->mass, 1.0);
}

TEST_F(commands, thirtyFiveFramesDoubleVisibleBallsAndTheSetting) {
    ball* far = placeAt(700, 650);
    far->x = far->anchorX = 100000.0;  // out of view from the next frame on
    press(editor.toolbar->selectButton);
    hold(editor.toolbar->ballSizePlus, 35);
    EXPECT_NEAR(editor.newBallSize / 20.0, 2.0, 1e-3);
    EXPECT_NEAR(b->radius / 20.0, 2.0, 1e-3);
    EXPECT_EQ(far->radius, 20.0);
}

TEST_F(commands, valueRowsWithASelectionActOnItAlone) {
    selectBall(400, 350);
    ASSERT_EQ(editor.selectedBall, b);
    auto others = [](commands& s) {
        return std::vector<double*>{&s.a->radius, &s.a->mass, &s.a->angleStrength, &s.c->radius};
    };
    std::vector<valueRow> rows;
    for (bool up : {true, false}) {
        rows.push_back({"size", up ? &toolbarPanel::ballSizePlus : &toolbarPanel::ballSizeMinus, up,
                        [](commands& s) { return std::vector<double*>{&s.b->radius, &s.editor.newBallSize}; },
                        others});
        rows.push_back({"mass", up ? &toolbarPanel::ballMassPlus : &toolbarPanel::ballMassMinus, up,
                        [](commands& s) { return std::vector<double*>{&s.b->mass, &s.editor.newBallMass}; },
                        others});
        rows.push_back({"angle", up ? &toolbarPanel::anglePlus : &toolbarPanel::angleMinus, up,
                        [](commands& s) {
                            return std::vector<double*>{&s.b->angleStrength, &s.editor.newAngleStrength};
                        },
                        others});
    }
    checkRows(*this, rows, 10);
    // The angle row regenerates the tensions of the ball's body.
    ASSERT_EQ(editor.allTensions.size(), 1u);
    EXPECT_EQ(editor.allTensions[0]->strength, b->angleStrength);

    clickAt(350, 350);  // the link a-b
    moveTo(900, 315);
    ASSERT_EQ(editor.selectedLink, ab);
    checkRows(*this,
              {{"link width", &toolbarPanel::linkWidthPlus, true,
                [](commands& s) { return std::vector<double*>{&s.ab->width, &s.editor.newLinkWidth}; },
                [](commands& s) { return std::vector<double*>{&s.bc->width}; }}},
              10);
}

TEST_F(commands, theMainBallSelectedGrowsOnlyTheSetting) {
    selectBall(300, 200);
    ASSERT_EQ(editor.selectedBall, main);
    hold(editor.toolbar->ballSizePlus, 5);
    EXPECT_EQ(main->radius, 20.0);
    EXPECT_EQ(editor.newBallSize, stepped(20.0, true, 5));
}

TEST_F(commands, resizeGrowsTheSelectedBallToo) {
    selectBall(400, 350);
    hold(editor.toolbar->resizePlus, 3);
    EXPECT_EQ(b->radius, stepped(20.0, true, 3));
    EXPECT_EQ(editor.newBallSize, 20.0);
}

TEST_F(commands, zoomPassesOneHundredOnFrame233AndIsClampedInTheNext) {
    moveTo(centreX(editor.toolbar->zoomPlus), centreY(editor.toolbar->zoomPlus));
    down();
    frames(1);
    EXPECT_EQ(editor.toolbar->zoomField.label, "Zoom= 1.0199");
    frames(231);
    EXPECT_LT(editor.zoom, 100.0);
    frames(1);
    EXPECT_GT(editor.zoom, 100.0);
    EXPECT_NEAR(editor.zoom, 100.89, 0.01);
    frames(1);
    EXPECT_EQ(editor.zoom, 100.0 * f);
    EXPECT_EQ(editor.toolbar->zoomField.label, "Zoom= 101.99");
    up();
    frames(1);
    EXPECT_EQ(editor.zoom, 100.0);
    EXPECT_EQ(editor.toolbar->zoomField.label, "Zoom= 100.00");
}

TEST_F(commands, limitsHoldForSettingsAndObjects) {
    struct row {
        const char* name;
        toolbarButton toolbarPanel::*button;
        double editorState::*setting;
        double settingLimit;
        double ball::*field;
        double objectLimit;
    };
    const row rows[] = {
        {"size-", &toolbarPanel::ballSizeMinus, &editorState::newBallSize, 1.0, &ball::radius, 0.5},
        {"size+", &toolbarPanel::ballSizePlus, &editorState::newBallSize, 1000.0, &ball::radius, 1000.0},
        {"mass-", &toolbarPanel::ballMassMinus, &editorState::newBallMass, 0.009999999776482582, &ball::mass,
         0.009999999776482582},
        {"mass+", &toolbarPanel::ballMassPlus, &editorState::newBallMass, 9999.0, &ball::mass, 100.0},
        {"angle-", &toolbarPanel::angleMinus, &editorState::newAngleStrength, 0.10000000149011612,
         &ball::angleStrength, 0.10000000149011612},
        {"angle+", &toolbarPanel::anglePlus, &editorState::newAngleStrength, 3000.0, &ball::angleStrength,
         3000.0},
    };
    for (const row& r : rows) {
        hold(editor.toolbar.get()->*r.button, 800);  // enough from either limit to the other
        EXPECT_EQ(editor.*r.setting, r.settingLimit) << r.name;
        EXPECT_EQ(b->*r.field, r.objectLimit) << r.name;
        EXPECT_EQ(editor.toolbar->ballSizeField.label, "All Balls Size") << r.name;
    }
    EXPECT_EQ(editor.allTensions[0]->strength, 3000.0);
    struct widthRow {
        toolbarButton toolbarPanel::*button;
        double setting, object;
    };
    for (widthRow r : {widthRow{&toolbarPanel::linkWidthMinus, 1.0, 0.5},
                       widthRow{&toolbarPanel::linkWidthPlus, 1000.0, 1000.0}}) {
        hold(editor.toolbar.get()->*r.button, 800);
        EXPECT_EQ(editor.newLinkWidth, r.setting);
        EXPECT_EQ(ab->width, r.object);
    }
}

TEST_F(commands, aBallPlacedWithTooLargeAMassIsBroughtDownNextFrame) {
    hold(editor.toolbar->ballMassPlus, 500);
    ASSERT_EQ(editor.newBallMass, 9999.0);
    moveTo(200, 600);
    down();
    frames(1);
    ball* heavy = editor.allBalls.back();
    EXPECT_EQ(heavy->mass, 9999.0);
    up();
    frames(1);
    EXPECT_EQ(heavy->mass, 100.0);
    EXPECT_EQ(editor.toolbar->ballMassField.label, "Ball Mass= 100.00");
}

TEST_F(commands, aSelectedVirtualLinkKeepsTheWidthItIsDrawnWith) {
    keyDown(86);
    dragFromTo(450, 450, 300, 350);  // c to a, virtual
    keyUp(86);
    ASSERT_EQ(editor.virtualLinks.size(), 1u);
    tumbla::link* v = editor.virtualLinks[0];
    clickAt(375, 400);  // the middle of the virtual link, off the real ones
    ASSERT_EQ(editor.selectedLink, v);
    EXPECT_EQ(editor.newLinkWidth, 7.0);  // copied from the width the drawing gives it
    // The row divides the link's width without limit, but drawing the
    // virtual links later in the frame sets it back; only the setting stops.
    hold(editor.toolbar->linkWidthMinus, 300);
    frames(1);
    EXPECT_EQ(v->width, 7.0);
    EXPECT_EQ(editor.newLinkWidth, 1.0);
    EXPECT_EQ(editor.toolbar->linkWidthField.label, "Link Width= 7.0000");
}

TEST_F(commands, kindCyclesOfBallsAndLinks) {
    selectBall(400, 350);
    const entityKind ballCycle[] = {entityKind::background, entityKind::damaging, entityKind::normal};
    for (entityKind k : ballCycle) {
        press(editor.toolbar->kindButton);
        EXPECT_EQ(b->kind, k);
        EXPECT_EQ(editor.toolbar->kindButton.label, std::string("Kind= ") + kindName(k));
    }
    clickAt(350, 350);
    ASSERT_EQ(editor.selectedLink, ab);
    const entityKind linkCycle[] = {entityKind::background, entityKind::damaging, entityKind::stop,
                                    entityKind::normal};
    for (entityKind k : linkCycle) {
        press(editor.toolbar->kindButton);
        EXPECT_EQ(ab->kind, k);
    }
    press(editor.toolbar->kindButton);
    ASSERT_EQ(ab->kind, entityKind::background);
    // With a ball and a link selected one press changes both.
    ball* d = placeAt(200, 600);
    ASSERT_EQ(editor.selectedLink, ab);
    ASSERT_EQ(editor.selectedBall, d);
    press(editor.toolbar->kindButton);
    EXPECT_EQ(d->kind, entityKind::background);
    EXPECT_EQ(ab->kind, entityKind::damaging);
    EXPECT_EQ(editor.toolbar->kindButton.label, "Kind= damaging");  // the link's kind is shown
}

TEST_F(commands, kindLeavesAVirtualLinkAlone) {
    keyDown(86);
    dragFromTo(450, 450, 300, 350);
    keyUp(86);
    clickAt(375, 400);
    ASSERT_EQ(editor.selectedLink, editor.virtualLinks[0]);
    EXPECT_EQ(editor.toolbar->kindButton.label, "Kind= virtual");
    press(editor.toolbar->kindButton);
    EXPECT_EQ(editor.virtualLinks[0]->kind, entityKind::virtualLink);
}

TEST_F(commands, aHeldButtonActsOnceAndSlidingOntoItDoesNotAct) {
    selectBall(400, 350);
    hold(editor.toolbar->kindButton, 10);
    EXPECT_EQ(b->kind, entityKind::background);
    frames(1);
    // Pressed on grey space, then slid onto the button.
    moveTo(900, 315);
    down();
    frames(1);
    moveTo(centreX(editor.toolbar->kindButton), centreY(editor.toolbar->kindButton));
    frames(5);
    up();
    frames(1);
    EXPECT_EQ(b->kind, entityKind::background);
    press(editor.toolbar->kindButton);
    EXPECT_EQ(b->kind, entityKind::damaging);
}

TEST_F(commands, conditionalButtonsDoNotActWithoutASelection) {
    selectBall(400, 350);
    const toolbarButton& anchor = editor.toolbar->anchorButton;
    press(editor.toolbar->selectButton);
    ASSERT_EQ(editor.selectedBall, nullptr);
    // The anchor, kind and roll rows keep their last placement but are not live.
    const toolbarButton* stale[] = {&anchor, &editor.toolbar->kindButton, &editor.toolbar->rollButton};
    for (const toolbarButton* button : stale) {
        moveTo(centreX(*button), centreY(*button));
        down();
        frames(1);
        up();
        frames(1);
    }
    EXPECT_EQ(b->anchored, 1);
    EXPECT_EQ(b->kind, entityKind::normal);
    EXPECT_EQ(b->rolls, 0);
    EXPECT_EQ(editor.newBallAnchored, 1);
    EXPECT_EQ(anchor.y, 218.0);  // still placed where it was last drawn
}

TEST_F(commands, anchorReleaseAndRoll) {
    selectBall(400, 350);
    toolbarPanel& t = *editor.toolbar;
    EXPECT_EQ(t.anchorButton.label, "Release Ball");
    EXPECT_EQ(t.rollButton.label, "Make Ball Roll");
    press(t.anchorButton);
    EXPECT_EQ(b->anchored, 0);
    EXPECT_EQ(editor.newBallAnchored, 0);
    EXPECT_EQ(t.anchorButton.label, "Anchor Ball");
    ball* free = placeAt(200, 600);
    EXPECT_EQ(free->anchored, 0);  // the following new balls are free
    selectBall(400, 350);
    b->x += 3;  // pinned where it stands at the press
    const double pressedAt = b->x;
    press(t.anchorButton);
    EXPECT_EQ(b->anchored, 1);
    EXPECT_EQ(b->anchorX, pressedAt);
    EXPECT_EQ(editor.newBallAnchored, 1);
    press(t.rollButton);
    EXPECT_EQ(b->rolls, 1);
    EXPECT_EQ(t.rollButton.label, "Make Ball Friction");
    press(t.rollButton);
    EXPECT_EQ(b->rolls, 0);
}

TEST_F(commands, deleteKeysRemoveTheSelectionButNotWhileTheButtonIsDown) {
    for (int key : {46, 8}) {
        ball* victim = placeAt(200, 600);
        moveTo(900, 315);
        down();
        frames(1);
        keyDown(key);
        frames(3);
        EXPECT_EQ(editor.allBalls.back(), victim) << key;
        EXPECT_EQ(editor.selectedBall, victim) << key;
        up();
        frames(1);  // the latch reads the button as down until this frame's end
        EXPECT_EQ(editor.allBalls.back(), victim) << key;
        frames(1);
        keyUp(key);
        EXPECT_EQ(editor.allBalls.size(), 4u) << key;
        EXPECT_EQ(editor.selectedBall, nullptr) << key;
    }
}

TEST_F(commands, deleteSelectedItemRemovesTheBallAndTheLink) {
    clickAt(350, 350);
    ball* d = placeAt(200, 600);
    ASSERT_EQ(editor.selectedLink, ab);
    EXPECT_EQ(editor.toolbar->deleteButton.label, "Delete Selected Item");
    press(editor.toolbar->deleteButton);
    EXPECT_EQ(editor.selectedBall, nullptr);
    EXPECT_EQ(editor.selectedLink, nullptr);
    EXPECT_EQ(std::count(editor.allBalls.begin(), editor.allBalls.end(), d), 0);
    ASSERT_EQ(editor.allLinks.size(), 1u);
    EXPECT_EQ(editor.allLinks[0], bc);
    EXPECT_TRUE(editor.allTensions.empty());
    EXPECT_EQ(editor.toolbar->deleteButton.label, "Delete Everything");
}

TEST_F(commands, deleteEverythingInPlayModeKeepsTheMainBallAndWhatIsOutOfView) {
    ball* far = placeAt(700, 650);
    far->x = far->anchorX = 100000.0;
    press(editor.toolbar->selectButton);
    press(editor.toolbar->modeButton);
    ASSERT_EQ(editor.mode, -1);
    EXPECT_EQ(editor.toolbar->modeButton.label, "Draw");
    press(editor.toolbar->deleteButton);
    EXPECT_EQ(editor.mode, 1);
    ASSERT_EQ(editor.allBalls.size(), 2u);
    EXPECT_EQ(editor.allBalls[0], main);
    EXPECT_EQ(editor.allBalls[1], far);
    EXPECT_TRUE(editor.allLinks.empty());
    EXPECT_EQ(editor.toolbar->modeButton.label, "Play");
}

TEST_F(commands, modeButtonClearsTheSelectionAndRegroups) {
    selectBall(400, 350);
    keyDown(86);
    dragFromTo(300, 200, 450, 450);  // main to c, virtual: no regroup yet
    keyUp(86);
    EXPECT_TRUE(editor.bodyPairs.empty());
    press(editor.toolbar->modeButton);
    EXPECT_EQ(editor.mode, -1);
    EXPECT_EQ(editor.selectedBall, nullptr);
    EXPECT_EQ(editor.bodyPairs.size(), 1u);
    press(editor.toolbar->modeButton);
    EXPECT_EQ(editor.mode, 1);
}

TEST_F(commands, selectAllClearsBothSelections) {
    clickAt(350, 350);
    placeAt(200, 600);
    ASSERT_NE(editor.selectedBall, nullptr);
    ASSERT_NE(editor.selectedLink, nullptr);
    press(editor.toolbar->selectButton);
    EXPECT_EQ(editor.selectedBall, nullptr);
    EXPECT_EQ(editor.selectedLink, nullptr);
}

TEST_F(commands, newLevelEmptiesTheSceneAndRestoresTheSettings) {
    hold(editor.toolbar->zoomPlus, 5);
    hold(editor.toolbar->ballSizePlus, 5);
    editor.currentFileName = "somewhere.txt";
    keyDown('W');
    frames(3);
    keyUp('W');
    press(editor.toolbar->newLevelButton);
    EXPECT_TRUE(editor.allBalls.empty());
    EXPECT_TRUE(editor.allLinks.empty());
    EXPECT_TRUE(editor.allTensions.empty());
    EXPECT_EQ(editor.zoom, 1.0);
    EXPECT_EQ(editor.viewCentreY, 350.0);
    EXPECT_EQ(editor.newBallSize, 20.0);
    EXPECT_EQ(editor.currentFileName, "");
    EXPECT_EQ(editor.mode, 1);
}

TEST_F(commands, revertWithoutAFileDoesNothing) {
    press(editor.toolbar->revertButton);
    EXPECT_EQ(editor.allBalls.size(), 4u);
    EXPECT_TRUE(io.dialogs.empty());
}

TEST_F(commands, quitEndsAtOnceWithStatusZero) {
    moveTo(centreX(editor.toolbar->quitButton), centreY(editor.toolbar->quitButton));
    down();
    try {
        frames(1);
        FAIL() << "Quit did not end the program";
    } catch (const processExit& e) {
        EXPECT_EQ(e.status, 0);
    }
}

TEST(commandsFirstFrame, noButtonIsPlacedSoNoPressActs) {
    headlessPlatform io;
    editorState editor(io);
    prepareHeadlessEditor(editor, io, 1);
    EXPECT_EQ(editor.toolbar->quitButton.width, 0.0);
    io.movePointer(900, 685);  // where Quit will be
    io.pressButton(1);
    io.clock += 16;
    EXPECT_NO_THROW(editor.runFrame());
    EXPECT_EQ(editor.toolbar->quitButton.y, 670.0);
    // The button stays down: the latch keeps the next frames from acting too.
    io.clock += 16;
    EXPECT_NO_THROW(editor.runFrame());
}
