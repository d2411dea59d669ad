// Single operations of the time step, the collisions, dragging and the
// entity hit tests, and the decisions for values the formulas do not cover.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/editorState.h"
#include "physics/constraints.h"
#include "physics/relaxation.h"
#include "platform/headless/headlessPlatform.h"
#include "tests/support/figures.h"
#include "tools/runner.h"

using namespace tumbla;

namespace {

struct fixture {
    headlessPlatform io;
    editorState ed{io};
    fixture() {
        prepareHeadlessEditor(ed, io, 1);
        ed.viewLeft = -1000, ed.viewRight = 1000, ed.viewTop = -1000, ed.viewBottom = 1000;
    }
    ball* at(double x, double y, double radius = 15.0, int anchored = 0) {
        return figures::addBall(ed, x, y, radius, anchored);
    }
    // The physics of one frame, as the frame loop runs it.
    void step() {
        ed.mainBall = ed.allBalls.empty() ? nullptr : ed.allBalls.front();
        ed.activateBodies();
        ed.updateEffectiveMasses();
        ed.physicsStep();
    }
};

TEST(physicsStep, linkCorrection) {
    struct row {
        const char* name;
        double ax, bx, massA, massB, rest;
        double shiftA, shiftB;  // x corrections
    };
    for (row r : {row{"coincident balls", 5, 5, 1, 1, 10, 0, 0},
                  row{"equal masses share", 0, 20, 1, 1, 10, 10.0 / 2.0 * 0.30000001192092896,
                      -10.0 / 2.0 * 0.30000001192092896},
                  row{"free end takes 99%", 0, 20, 99, 1, 10, (10.0 / 100.0) * 0.30000001192092896,
                      (-10.0 / (1.0 + 1.0 / 99.0)) * 0.30000001192092896}}) {
        ball a, b;
        a.x = r.ax, b.x = r.bx, a.effectiveMass = r.massA, b.effectiveMass = r.massB;
        const linkShifts s = linkCorrection(r.rest, a, b);
        EXPECT_EQ(s.ax, r.shiftA) << r.name;
        EXPECT_EQ(s.bx, r.shiftB) << r.name;
        EXPECT_EQ(s.ay, 0.0) << r.name;
    }
}

TEST(physicsStep, tensionsThatDoNothing) {
    struct row {
        const char* name;
        double strength;
        int anchored;
        bool acts;
    };
    for (row r : {row{"strength 10", 10.0, 0, false}, row{"strength just above 10", 10.000001, 0, true},
                  row{"all three anchored", 300, 1, false}}) {
        fixture f;
        ball* a = f.at(0, 0, 5, r.anchored);
        ball* j = f.at(30, 0, 5, r.anchored);
        ball* b = f.at(30, 30, 5, r.anchored);
        tension t;
        t.ballA = a, t.centre = j, t.ballB = b, t.strength = r.strength, t.restAngle = 45;
        for (ball* x : {a, j, b}) x->effectiveMass = 1;
        t.apply(0, 1.0);
        EXPECT_EQ(j->shiftX != 0.0 || j->shiftY != 0.0, r.acts) << r.name;
    }
}

TEST(physicsStep, effectiveMasses) {
    fixture f;
    ball* free = f.at(0, 0);
    ball* held = f.at(50, 0);
    ball* pinned = f.at(100, 0, 15, 1);
    free->mass = held->mass = pinned->mass = 3;
    figures::finish(f.ed);
    f.ed.heldBall = held;
    f.ed.activateBodies();
    f.ed.updateEffectiveMasses();
    EXPECT_EQ(free->effectiveMass, 3.0);
    EXPECT_EQ(held->effectiveMass, 99.0);
    EXPECT_EQ(pinned->effectiveMass, 99.0);
}

TEST(physicsStep, drawModeKeepsAFreeBallStill) {
    fixture f;
    ball* b = f.at(10, 20);
    b->vx = 3, b->vy = 4;
    figures::finish(f.ed);
    f.ed.mode = 1;
    f.step();
    EXPECT_EQ(b->x, 10.0);
    EXPECT_EQ(b->y, 20.0);
    EXPECT_EQ(b->vx, 0.0);
    EXPECT_EQ(b->vy, 0.0);
}

TEST(physicsStep, anchoredBallsStayOnTheirAnchors) {
    fixture f;
    f.at(-300, 0);  // main ball, out of the way
    ball* a = f.at(0, 0, 5, 1);
    ball* b = f.at(40, 0, 5, 1);
    figures::addLink(f.ed, a, b)->restLength = 30;  // pulls both during the passes
    figures::finish(f.ed);
    for (int frame = 0; frame < 5; ++frame) {
        f.step();
        EXPECT_NE(a->x, 0.0);  // moved by the passes, with a small velocity
    }
    f.step();
    f.ed.pinAnchoredBalls();
    EXPECT_EQ(a->x, 0.0);
    EXPECT_EQ(b->x, 40.0);
    EXPECT_EQ(a->vx, 0.0);
}

TEST(physicsCollisions, equalBallsHeadOn) {
    fixture f;
    ball* p = f.at(0, 0, 10);
    ball* q = f.at(15, 0, 10);
    p->effectiveMass = q->effectiveMass = 1;
    p->vx = 2;
    q->vx = -2;
    f.ed.collideBalls(p, q);
    EXPECT_NEAR(q->x - p->x, 20.1, 1e-4);  // pushed R + 0.1 apart
    EXPECT_NEAR(q->vx - p->vx, -0.76 * -4.0, 1e-6);  // relative velocity times -0.76
    EXPECT_NEAR(p->vx + q->vx, 0.0, 1e-12);
}

TEST(physicsCollisions, ballAgainstLink) {
    struct row {
        const char* name;
        double px, py;
        bool touches;
    };
    for (row r : {row{"above the middle", 50, -10, true}, row{"on a link end", 0, 0, false},
                  row{"beyond an end", -5, -5, false}, row{"too far", 50, -30, false},
                  row{"centre on the line", 50, 0, true}}) {
        fixture f;
        ball* a = f.at(0, 0, 5, 1);
        ball* b = f.at(100, 0, 5, 1);
        ball* p = f.at(r.px, r.py, 10);
        tumbla::link* l = figures::addLink(f.ed, a, b, 3);
        for (ball* x : {a, b, p}) x->effectiveMass = x == p ? 1 : 99;
        f.ed.collideBallLink(p, l);
        const bool moved = p->x != r.px || p->y != r.py;
        EXPECT_EQ(moved, r.touches) << r.name;
        if (r.touches) {
            EXPECT_GT(std::fabs(p->y), 13.0) << r.name;  // out of contact
            EXPECT_TRUE(std::isfinite(p->x) && std::isfinite(p->vy)) << r.name;
        }
    }
}

TEST(physicsCollisions, frictionUnlessRolling) {
    for (int rolls : {0, 1}) {
        fixture f;
        ball* a = f.at(0, 0, 5, 1);
        ball* b = f.at(100, 0, 5, 1);
        ball* p = f.at(50, -12, 10);
        p->rolls = rolls;
        p->vx = 3;
        tumbla::link* l = figures::addLink(f.ed, a, b, 3);
        a->effectiveMass = b->effectiveMass = 99;
        p->effectiveMass = 1;
        f.ed.collideBallLink(p, l);
        if (rolls) {
            EXPECT_NEAR(p->vx, 3.0, 1e-3);
        } else {
            EXPECT_LT(p->vx, 2.9);
        }
    }
}

// Values no figure should hold must still end: every call returns and the
// separation loop stops.
TEST(physicsCollisions, extremeValuesEnd) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct row {
        const char* name;
        double px, py, radius, massP, massEnds;
    };
    for (row r : {row{"zero masses", 50, -5, 10, 0, 0}, row{"negative masses", 50, -5, 10, -1, -3},
                  row{"not a number", 50, -5, nan, 1, 1}, row{"infinite radius", 50, -5, inf, 1, 1},
                  row{"huge position", 1e300, -5, 1e300, 1, 1}, row{"nan mass", 50, -5, 10, nan, 1},
                  row{"infinite mass", 50, -5, 10, inf, 1}}) {
        fixture f;
        ball* a = f.at(0, 0, 5);
        ball* b = f.at(100, 0, 5);
        ball* p = f.at(r.px, r.py, r.radius);
        tumbla::link* l = figures::addLink(f.ed, a, b, 3);
        a->effectiveMass = b->effectiveMass = r.massEnds;
        p->effectiveMass = r.massP;
        f.ed.collideBallLink(p, l);
        f.ed.collideBalls(p, a);
        f.ed.collideBalls(a, b);
        SUCCEED() << r.name;
    }
}

TEST(physicsCollisions, zeroMassesStayFinite) {
    fixture f;
    f.at(-500, 0);  // main ball
    ball* a = f.at(0, 0, 5);
    ball* b = f.at(30, 0, 5);
    ball* c = f.at(15, 20, 5);
    figures::addLink(f.ed, a, b);
    figures::addLink(f.ed, b, c);
    figures::addLink(f.ed, c, a);
    figures::addVirtualLink(f.ed, a, b);  // the triangle collides with itself
    figures::finish(f.ed);
    for (ball* x : {a, b, c}) x->mass = 0;
    for (int frame = 0; frame < 10; ++frame) f.step();
    for (ball* x : {a, b, c}) EXPECT_TRUE(std::isfinite(x->x) && std::isfinite(x->y));
}

TEST(physicsDragging, whatGrabs) {
    struct row {
        const char* name;
        int mode;
        int button;
        bool control;
        bool grabs;
    };
    for (row r : {row{"play, left", -1, 1, false, true}, row{"play, right", -1, 2, false, true},
                  row{"draw, left", 1, 1, false, false}, row{"draw, left with control", 1, 1, true, true},
                  row{"draw, right", 1, 2, false, true}, row{"other mode", 0, 2, false, false}}) {
        fixture f;
        ball* b = f.at(100, 100, 10);
        f.ed.activeBalls = {b};
        b->screenX = 200, b->screenY = 150, b->screenRadius = 10;
        f.io.movePointer(205, 155);
        f.io.pressButton(r.button);
        if (r.control) f.io.pressKey(keyLeftControl);
        f.ed.mode = r.mode;
        f.ed.grabBall();
        EXPECT_EQ(f.ed.heldBall == b, r.grabs) << r.name;
    }
}

TEST(physicsDragging, lastBallUnderThePointerWinsAndReleaseDrops) {
    fixture f;
    ball* a = f.at(0, 0);
    ball* b = f.at(0, 0);
    for (ball* x : {a, b}) x->screenX = 100, x->screenY = 100, x->screenRadius = 10;
    f.ed.activeBalls = {a, b};
    f.ed.mode = -1;
    f.io.movePointer(100, 110);  // on the edge: not inside
    f.io.pressButton(1);
    f.ed.grabBall();
    EXPECT_EQ(f.ed.heldBall, nullptr);
    f.io.movePointer(100, 109);
    f.ed.grabBall();
    EXPECT_EQ(f.ed.heldBall, b);
    f.io.releaseButton(1);
    f.ed.grabBall();
    EXPECT_EQ(f.ed.heldBall, nullptr);
}

TEST(physicsDragging, recentre) {
    struct row {
        const char* name;
        double x, y;
        bool moved;
    };
    // View: centre (0, 0), zoom 1, area 780 wide, top -350, bottom 350; radius 20.
    for (row r : {row{"inside", 0, 0, false}, row{"touching the right edge", 370, 0, false},
                  row{"past the right edge", 370.5, 0, true}, row{"past the bottom", 0, 331, true},
                  row{"past the left", -371, 0, true}, row{"past the top", 0, -331, true}}) {
        fixture f;
        f.ed.viewCentreX = 0, f.ed.viewCentreY = 0, f.ed.viewTop = -350, f.ed.viewBottom = 350;
        ball* b = f.at(r.x, r.y, 20);
        b->vx = 1, b->vy = 2;
        b->recentre();
        EXPECT_EQ(b->x != r.x || b->y != r.y, r.moved) << r.name;
        if (r.moved) {
            EXPECT_TRUE(b->x == 0 && b->y == 0 && b->vx == 0 && b->vy == 0) << r.name;
        }
    }
}

TEST(physicsEntities, projectAndLinkHitTest) {
    fixture f;
    f.ed.viewCentreX = 100, f.ed.viewCentreY = 50, f.ed.zoom = 2;
    ball* a = f.at(100, 50, 10);
    ball* b = f.at(200, 50, 10);
    a->project();
    EXPECT_EQ(a->screenX, 390.0);
    EXPECT_EQ(a->screenY, 350.0);
    EXPECT_EQ(a->screenRadius, 20.0);
    tumbla::link* l = figures::addLink(f.ed, a, b, 3);
    struct row {
        double x, y;
        bool hit;
    };
    for (row r : {row{150, 52, true}, row{150, 53.5, false}, row{100, 50, false}, row{99, 50, false},
                  row{150, 47.5, true}}) {
        EXPECT_EQ(l->containsPoint(r.x, r.y), r.hit) << r.x << " " << r.y;
    }
    b->x = 100;  // both balls at one point: no band, no hit
    EXPECT_FALSE(l->containsPoint(100, 50));
}

}  // namespace

// The solver's choice between one thread and all of them follows the frame
// times it is given: it settles on the faster layout, runs the other one
// every probeEvery frames, and moves back when that one becomes faster.
TEST(threadChoice, keepsTheFasterLayoutAndTriesTheOtherNowAndThen) {
    threadChoice c;
    c.probeEvery = 5;
    double seconds[2] = {1.0, 2.0};  // one thread faster, as on a busy machine
    int used[2] = {0, 0};
    auto frames = [&](int n) {
        used[0] = used[1] = 0;
        for (int i = 0; i < n; ++i) {
            const int which = c.pick();
            ++used[which];
            c.note(which, seconds[which]);
        }
    };
    frames(50);
    EXPECT_EQ(c.current, 0);
    EXPECT_EQ(used[1], 10);  // one frame in five tries all threads

    seconds[1] = 0.5;  // the machine quietens
    frames(6);
    EXPECT_EQ(c.current, 1);

    seconds[0] = 0.48;  // within a tenth: no change
    frames(50);
    EXPECT_EQ(c.current, 1);

    c = threadChoice{};
    c.probeEvery = 0;  // fixed: all threads always
    frames(20);
    EXPECT_EQ(used[1], 20);
}
