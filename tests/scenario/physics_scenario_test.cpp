// Whole frames of the editor on the headless platform with figures built in
// code: falling, keeping shape, colliding, jumping, recentring, freezing out
// of view, falling out of the world, throwing, and the lifetime of entities
// removed while something still names them.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "app/editorState.h"
#include "physics/relaxation.h"
#include "platform/headless/headlessPlatform.h"
#include "tests/support/figures.h"
#include "tools/runner.h"

using namespace tumbla;

namespace {

struct scene {
    headlessPlatform io;
    editorState ed{io};
    explicit scene(int mode) {
        prepareHeadlessEditor(ed, io, 1);
        io.recordCalls = false;
        ed.mode = mode;
    }
    // The main ball as the main ball rules leave it.
    ball* mainBall(double x, double y) {
        ball* b = figures::addBall(ed, x, y, 20.0);
        b->rolls = 1;
        return b;
    }
    ball* at(double x, double y, double radius = 10.0, int anchored = 0) {
        return figures::addBall(ed, x, y, radius, anchored);
    }
    void start() {
        figures::finish(ed);
        ed.mainBall = ed.allBalls.empty() ? nullptr : ed.allBalls.front();
        ed.updateView();
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            io.clock += 16;
            ed.runFrame();
        }
    }
};

double distance(const ball* a, const ball* b) {
    return std::sqrt((a->x - b->x) * (a->x - b->x) + (a->y - b->y) * (a->y - b->y));
}

TEST(physicsScenario, freeFallToTheBit) {
    scene s(-1);
    s.mainBall(0, 0);
    ball* b = s.at(100, 0);
    s.start();
    double y = 0, vy = 0;
    for (int frame = 0; frame < 8; ++frame) {
        s.frames(1);
        vy += 0.20000000298023224;
        const double prev = y;
        y += vy * 1.0;
        vy = ((y - prev) * 0.9990000128746033) / 1.0;
        ASSERT_EQ(b->y, y) << frame;
        ASSERT_EQ(b->vy, vy) << frame;
        ASSERT_EQ(b->x, 100.0);
    }
    EXPECT_EQ(s.ed.allBalls.front()->y, y);  // the main ball falls alike
}

TEST(physicsScenario, triangleKeepsItsShape) {
    for (int mode : {-1, 1}) {
        scene s(mode);
        s.mainBall(-200, 0);
        ball* a = s.at(0, 0, 8);
        ball* b = s.at(60, 0, 8);
        ball* c = s.at(20, 50, 8);
        for (auto [p, q] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}}) figures::addLink(s.ed, p, q);
        s.start();
        ASSERT_EQ(s.ed.allTensions.size(), 3u);
        const double ab = distance(a, b), bc = distance(b, c), ca = distance(c, a);
        const double ax = a->x, cy = c->y;
        s.frames(60);
        EXPECT_NEAR(distance(a, b) / ab, 1.0, 0.005) << mode;
        EXPECT_NEAR(distance(b, c) / bc, 1.0, 0.005) << mode;
        EXPECT_NEAR(distance(c, a) / ca, 1.0, 0.005) << mode;
        if (mode == 1) {  // nothing pulls: it stays exactly where it is
            EXPECT_EQ(a->x, ax);
            EXPECT_EQ(c->y, cy);
        } else {
            EXPECT_GT(a->y, 300.0);  // it fell
        }
    }
}

TEST(physicsScenario, onlyPairedBodiesCollide) {
    for (bool paired : {false, true}) {
        scene s(-1);
        s.mainBall(-300, 0);
        ball* p = s.at(0, 0);
        ball* q = s.at(60, 0);
        p->vx = 3;
        q->vx = -3;
        if (paired) figures::addVirtualLink(s.ed, p, q);
        s.start();
        double closest = 1e9;
        for (int frame = 0; frame < 30; ++frame) {
            s.frames(1);
            closest = std::min(closest, q->x - p->x);
        }
        if (paired) {
            EXPECT_GT(closest, 19.9);
            EXPECT_LT(p->vx, 0.0);  // bounced back
        } else {
            EXPECT_LT(q->x, p->x);  // passed through each other
        }
    }
}

TEST(physicsScenario, mainBallJumpsOnlyOnContact) {
    double bounce[2] = {};
    for (int jump : {0, 1}) {
        scene s(-1);
        ball* m = s.mainBall(0, 0);
        ball* l = s.at(-100, 40, 5, 1);
        ball* r = s.at(100, 40, 5, 1);
        figures::addLink(s.ed, l, r, 3);
        s.start();
        if (jump) {
            s.io.pressKey(keySpace);
            s.ed.jumpState = 1;
        }
        double vy = 0;
        int frame = 0;
        for (; frame < 40; ++frame) {
            s.frames(1);
            if (m->vy < 0) break;  // the contact
            vy = ((vy + 0.20000000298023224) * 0.9990000128746033);
            EXPECT_NEAR(m->vy, vy, 1e-9) << "in the air, frame " << frame;
            EXPECT_EQ(s.ed.jumpState, jump) << "in the air, frame " << frame;
        }
        ASSERT_LT(frame, 40);
        bounce[jump] = m->vy;
        if (jump) {
            EXPECT_EQ(s.ed.jumpState, -5);
        }
    }
    EXPECT_GT(bounce[0], -3.0);
    EXPECT_LT(bounce[1], -8.0);
}

TEST(physicsScenario, mainBallBelowTheLowestViewIsRecentred) {
    scene s(-1);
    ball* m = s.mainBall(0, 3400);
    s.start();
    s.frames(1);
    EXPECT_EQ(s.ed.allBalls.size(), 1u);  // the main ball is never a stray ball
    EXPECT_EQ(s.ed.viewCentreY, 3000.0);
    EXPECT_EQ(m->x, 0.0);
    EXPECT_EQ(m->y, 3000.0);
    EXPECT_EQ(m->vx, 0.0);
    EXPECT_EQ(m->vy, 0.0);
}

TEST(physicsScenario, figureOutOfViewFreezesAndResumes) {
    scene s(-1);
    ball* m = s.mainBall(0, 0);
    ball* f = s.at(3000, 0);
    f->vx = 1.5;
    f->vy = -2;
    s.start();
    s.frames(10);
    EXPECT_EQ(f->x, 3000.0);
    EXPECT_EQ(f->y, 0.0);
    EXPECT_EQ(f->vx, 1.5);
    EXPECT_EQ(f->vy, -2.0);
    m->x = m->prevX = 3000;
    m->y = m->prevY = 100;
    m->vx = m->vy = 0;
    s.frames(1);  // the view moves to it; the figure is still frozen
    EXPECT_EQ(f->x, 3000.0);
    s.frames(1);
    EXPECT_EQ(f->x, 3000.0 + 1.5);
    EXPECT_EQ(f->y, 0.0 + (-2.0 + 0.20000000298023224));
    EXPECT_EQ(f->vx, (1.5 * 0.9990000128746033));
}

TEST(physicsScenario, ballBelowTheFloorGoesWithItsLinksAndTensions) {
    scene s(1);
    s.mainBall(0, 0);
    ball* a = s.at(200, 2990);
    ball* b = s.at(230, 2990);
    ball* c = s.at(215, 3000.5);
    for (auto [p, q] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}}) figures::addLink(s.ed, p, q);
    s.start();
    ASSERT_EQ(s.ed.allTensions.size(), 3u);
    s.frames(2);
    EXPECT_EQ(s.ed.allBalls.size(), 3u);
    EXPECT_EQ(std::find(s.ed.allBalls.begin(), s.ed.allBalls.end(), c), s.ed.allBalls.end());
    ASSERT_EQ(s.ed.allLinks.size(), 1u);
    EXPECT_EQ(s.ed.allLinks[0]->ballA, a);
    EXPECT_TRUE(s.ed.allTensions.empty());
    EXPECT_EQ(s.ed.bodies.size(), 2u);
}

TEST(physicsScenario, grabbedBallFollowsThePointerAndIsThrown) {
    scene s(-1);
    s.mainBall(0, 0);
    ball* b = s.at(100, 0);
    s.start();
    b->project();
    int px = static_cast<int>(b->screenX), py = static_cast<int>(b->screenY);
    s.io.movePointer(px, py);
    s.io.pressButton(1);
    s.frames(1);
    ASSERT_EQ(s.ed.heldBall, b);
    for (int frame = 0; frame < 4; ++frame) {
        px += 8;
        s.io.movePointer(px, py);
        s.frames(1);
        EXPECT_EQ(b->x, (px - 780 / 2.0) / s.ed.zoom + s.ed.viewCentreX);
        EXPECT_EQ(b->y, (py - 700 / 2.0) / s.ed.zoom + s.ed.viewCentreY);
    }
    s.io.releaseButton(1);
    const double before = b->x;
    s.frames(1);
    EXPECT_EQ(s.ed.heldBall, nullptr);
    EXPECT_NEAR(b->x - before, 8 * 0.999, 1e-6);
    s.frames(5);
    EXPECT_GT(b->x, before + 5 * 7.9);
}

// References to a ball that leaves the figure in the middle of a frame stay
// valid until nothing names it; AddressSanitizer watches these runs.
TEST(physicsLifetime, removalWhileNamed) {
    enum class who { held, selected, dragStart, main };
    enum class how { deleteBall, deleteVisible, clearScene, stray };
    for (who w : {who::held, who::selected, who::dragStart, who::main})
        for (how h : {how::deleteBall, how::deleteVisible, how::clearScene, how::stray}) {
            scene s(-1);
            ball* m = s.mainBall(0, 0);
            figures::gridSpec g;
            g.rows = g.columns = 3;
            g.originX = 40;
            g.ball.radius = 6;
            figures::addGrid(s.ed, g);
            figures::addVirtualLink(s.ed, m, s.ed.allBalls[2]);
            s.start();
            s.frames(2);
            ball* victim = w == who::main ? m : s.ed.allBalls[4];
            switch (w) {
                case who::held: s.ed.heldBall = victim; break;
                case who::selected: s.ed.selectedBall = victim; break;
                case who::dragStart: s.ed.linkEnds[0] = victim, s.ed.linkDragActive = 1; break;
                case who::main: break;
            }
            s.io.movePointer(400, 300);
            if (w == who::held) s.io.pressButton(1);
            // The first half of a frame, the removal, then the rest of its physics.
            s.ed.mainBall = s.ed.allBalls.front();
            s.ed.activateBodies();
            s.ed.collectGarbage();
            s.ed.updateEffectiveMasses();
            switch (h) {
                case how::deleteBall: s.ed.deleteBall(victim, 1); break;
                case how::deleteVisible: s.ed.deleteVisible(); break;
                case how::clearScene: s.ed.clearScene(); break;
                case how::stray:
                    victim->y = NAN;
                    s.ed.removeStrayBalls();
                    break;
            }
            s.ed.grabBall();
            s.ed.physicsStep();
            s.ed.drawFigure();
            s.frames(3);
            s.io.releaseButton(1);
            s.ed.selectedBall = nullptr;
            s.ed.linkEnds[0] = nullptr;
            s.ed.linkDragActive = 0;
            s.frames(3);
            for (const ball* b : s.ed.allBalls) EXPECT_FALSE(b->dead);
        }
}

// A fixed scene driven through the physics steps of the frame for hundreds
// of frames hashes to a committed value, with one thread, with two, and
// with the solver changing between one and two from frame to frame.
TEST(physicsDeterminism, committedHash) {
    struct run {
        int threads, layoutEvery;
    };
    for (run r : {run{1, 0}, run{2, 0}, run{2, 1}}) {
        const int threads = r.threads;
        scene s(-1);
        s.ed.physicsThreads = threads;
        relaxationSolverFor(s.ed).chooseLayoutEvery(r.layoutEvery);
        ball* m = s.mainBall(400, 200);
        figures::gridSpec g;
        g.rows = g.columns = 12;
        g.turnDegrees = 30;
        g.ball.radius = 6;
        g.originX = -150;
        g.originY = -350;
        figures::addGrid(s.ed, g);
        ball* floorStart = nullptr;
        ball* previous = nullptr;
        for (int i = 0; i <= 40; ++i) {
            ball* b = s.at(-600 + 30 * i, 260, 8, 1);
            if (previous) figures::addLink(s.ed, previous, b, 4);
            if (!floorStart) floorStart = b;
            previous = b;
        }
        figures::addVirtualLink(s.ed, s.ed.allBalls[1], floorStart);
        figures::addVirtualLink(s.ed, m, m);
        s.ed.allBalls[7]->mass = 3;
        s.ed.allBalls[12]->rolls = 1;
        figures::finish(s.ed);
        s.ed.zoom = 0.001;
        s.ed.viewLeft = s.ed.viewTop = -1e6;
        s.ed.viewRight = s.ed.viewBottom = 1e6;
        for (int frame = 0; frame < 300; ++frame) {
            if (frame == 100) s.ed.mode = 1;
            if (frame == 140) s.ed.mode = -1;
            if (frame % 50 == 10) s.ed.jumpState = 1;
            s.ed.mainBall = s.ed.allBalls.front();
            s.ed.activateBodies();
            s.ed.collectGarbage();
            s.ed.updateEffectiveMasses();
            s.ed.removeStrayBalls();
            s.ed.physicsStep();
        }
        EXPECT_EQ(s.ed.allBalls.size(), 186u);
        EXPECT_EQ(figures::stateHash(s.ed), 18172504909103374573u) << threads << " " << r.layoutEvery;
    }
}

}  // namespace
