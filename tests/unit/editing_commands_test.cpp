// Single editing operations on a small editor: the limits, the mode toggle
// and the main ball rules.
#include <gtest/gtest.h>


#include "app/editorState.h"
#include "platform/headless/headlessPlatform.h"

using namespace tumbla;

namespace {

struct editing : ::testing::Test {
    headlessPlatform io;
    editorState editor{io};

    ball* addBall() {
        ball* b = editor.newBall();
        b->owner = &editor;
        editor.allBalls.push_back(b);
        return b;
    }
};

constexpr double tenth = 0.10000000149011612;
constexpr double hundredth = 0.009999999776482582;

}  // namespace

TEST_F(editing, clampValuesKeepsSettingsAndObjectsWithinTheirLimits) {
    ball* b = addBall();
    tumbla::link* l = editor.newLink();
    l->ballA = l->ballB = b;
    editor.allLinks.push_back(l);
    tumbla::link* v = editor.newLink();
    v->kind = entityKind::virtualLink;
    editor.virtualLinks.push_back(v);
    tension* t = editor.newTension();
    editor.allTensions.push_back(t);

    struct row {
        const char* name;
        double* value;
        double tooLow, lowest, tooHigh, highest;
    };
    const row rows[] = {
        {"newAngleStrength", &editor.newAngleStrength, 0.0, tenth, 5000.0, 3000.0},
        {"newBallSize", &editor.newBallSize, 0.7, 1.0, 1001.0, 1000.0},
        {"newLinkWidth", &editor.newLinkWidth, -3.0, 1.0, 2000.0, 1000.0},
        {"newBallMass", &editor.newBallMass, 0.001, hundredth, 10000.0, 9999.0},
        {"tension strength", &t->strength, 0.0, tenth, 3000.5, 3000.0},
        {"ball radius", &b->radius, 0.25, 0.5, 1e9, 1000.0},
        {"ball angle strength", &b->angleStrength, -1.0, tenth, 3001.0, 3000.0},
        {"ball mass", &b->mass, 0.0, hundredth, 101.0, 100.0},
        {"link width", &l->width, 0.1, 0.5, 1000.5, 1000.0},
    };
    for (const row& r : rows) {
        *r.value = r.tooLow;
        editor.clampValues();
        EXPECT_EQ(*r.value, r.lowest) << r.name;
        *r.value = r.tooHigh;
        editor.clampValues();
        EXPECT_EQ(*r.value, r.highest) << r.name;
        const double inside = (r.lowest + r.highest) / 2;
        *r.value = inside;
        editor.clampValues();
        EXPECT_EQ(*r.value, inside) << r.name;
    }
    // Virtual links have no limits.
    v->width = 0.01;
    editor.clampValues();
    EXPECT_EQ(v->width, 0.01);
}

TEST_F(editing, toggleModeClearsTheSelectionAndRegroupsOnlyWhenLeavingDraw) {
    ball* b = addBall();
    tumbla::link* l = editor.newLink();
    editor.mode = 1;
    editor.selectedBall = b;
    editor.selectedLink = l;
    editor.toggleMode();
    EXPECT_EQ(editor.mode, -1);
    EXPECT_EQ(editor.selectedBall, nullptr);
    EXPECT_EQ(editor.selectedLink, nullptr);
    EXPECT_EQ(editor.bodies.size(), 1u);  // regrouped
    editor.selectedBall = b;
    editor.selectedLink = l;
    editor.toggleMode();
    EXPECT_EQ(editor.mode, 1);
    EXPECT_EQ(editor.selectedBall, b);  // leaving Play clears only the link
    EXPECT_EQ(editor.selectedLink, nullptr);
    delete l;
}

TEST_F(editing, mainBallRulesForceItsFieldsAndSteerItInPlayMode) {
    ball* b = addBall();
    b->kind = entityKind::damaging;
    b->radius = 3;
    b->mass = 7;
    b->anchored = 1;
    b->rolls = 0;
    editor.mainBall = b;
    editor.mode = 1;
    io.pressKey(keyLeft);
    editor.applyMainBallRules();
    EXPECT_EQ(b->kind, entityKind::normal);
    EXPECT_EQ(b->radius, 20.0);
    EXPECT_EQ(b->mass, 1.0);
    EXPECT_EQ(b->anchored, 0);
    EXPECT_EQ(b->rolls, 1);
    EXPECT_EQ(b->vx, 0.0);  // the arrows act only in Play mode
    editor.mode = -1;
    struct row {
        bool left, right;
        double vx;
    };
    for (row r : {row{true, false, -0.20000000298023224}, row{false, true, 0.20000000298023224},
                  row{true, true, 0.0}}) {
        b->vx = 0.0;
        io.keys[keyLeft] = r.left;
        io.keys[keyRight] = r.right;
        editor.applyMainBallRules();
        EXPECT_EQ(b->vx, r.vx) << r.left << r.right;
    }
}

TEST_F(editing, spaceAsksForAJumpOnlyWhenReady) {
    ball* b = addBall();
    editor.mainBall = b;
    editor.mode = -1;
    io.pressKey(keySpace);
    struct row {
        int before, after;
    };
    for (row r : {row{0, 1}, row{1, 1}, row{-5, -4}, row{-1, 1}}) {
        editor.jumpState = r.before;
        editor.applyMainBallRules();
        EXPECT_EQ(editor.jumpState, r.after) << r.before;
    }
    io.releaseKey(keySpace);
    editor.jumpState = 1;
    editor.applyMainBallRules();
    EXPECT_EQ(editor.jumpState, 0);
}

TEST_F(editing, withoutAMainBallTheRulesDoNothing) {
    editor.mode = -1;
    editor.jumpState = -3;
    io.pressKey(keySpace);
    editor.applyMainBallRules();
    EXPECT_EQ(editor.jumpState, -3);
}
