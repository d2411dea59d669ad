// The physics step against a plain, literal transcription of its formulas,
// run on copies of the balls: every position and velocity must agree to the
// bit, frame after frame, in Play and Draw mode, whatever the thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/editorState.h"
#include "physics/geometry.h"
#include "physics/relaxation.h"
#include "platform/headless/headlessPlatform.h"
#include "tests/support/figures.h"
#include "tools/runner.h"

using namespace tumbla;

namespace {

// ---- The literal transcription ----

double refGuard(double v) { return std::fabs(v) < 9.999999747378752e-06 ? 9.999999747378752e-06 : v; }

double refWrap360(double a) {
    while (a >= 360) a -= 360;
    while (a < 0) a += 360;
    return a;
}

double refWrap180(double a) {
    while (a > 180) a -= 360;
    while (a < -180) a += 360;
    return a;
}

double refAtan2Degrees(double y, double x) { return std::atan2(y, x) * 57.29577951308232; }

struct refBall {
    double x, y, vx, vy, prevX, prevY, mass, em, anchorX, anchorY, radius, shiftX, shiftY;
    int anchored, rolls;
    bool background;
};

struct refLink {
    int a, b;
    double rest, width;
    bool background;
};

struct refTension {
    int a, j, b;
    double restAngle, strength;
};

struct refPair {
    std::vector<int> ballsA, ballsB, linksA, linksB;
};

struct refWorld {
    std::vector<refBall> balls;
    std::vector<int> active;
    std::vector<refLink> links;  // the active links first, then other links of paired bodies
    std::size_t activeLinks = 0;
    std::vector<refTension> tensions;
    std::vector<refPair> pairs;
    int main = -1;
    int held = -1;
    int mode = -1;
    int jumpState = 0;
    double right = 0, left = 0, viewTop = 0, viewBottom = 0;
};

void refTensionPass(refWorld& w, int drawMode, double dt) {
    for (int i : w.active) w.balls[i].shiftX = w.balls[i].shiftY = 0.0;
    for (const refTension& t : w.tensions) {
        refBall& A = w.balls[t.a];
        refBall& J = w.balls[t.j];
        refBall& B = w.balls[t.b];
        if (!(t.strength > 10.0)) continue;
        if (A.anchored == 1 && J.anchored == 1 && B.anchored == 1) continue;
        const double ax = J.x - A.x, ay = J.y - A.y, bx = B.x - J.x, by = B.y - J.y;
        const double angle1 = refAtan2Degrees(ay, -ax), angle2 = refAtan2Degrees(by, -bx);
        const double current = refWrap360(angle1 - angle2 + 180.0);
        const double error = refWrap180(current - t.restAngle);
        const double s1 = refGuard(ax * ax + ay * ay), s2 = refGuard(bx * bx + by * by);
        const double mMin = std::min(std::min(A.em, J.em), B.em);
        double cap = std::min(0.699999988079071 * s1 * mMin, 0.699999988079071 * s2 * mMin);
        cap = std::min(cap, t.strength + 10000 * drawMode);
        const double f = error / 400.0 * cap * dt;
        A.shiftX += ((ay / s1) * f) / A.em;
        A.shiftY += (f * (-ax / s1)) / A.em;
        J.shiftX += (-f * (ay / s1) - f * (by / s2)) / J.em;
        J.shiftY += (-f * (-ax / s1) - f * (-bx / s2)) / J.em;
        B.shiftX += (f * (by / s2)) / B.em;
        B.shiftY += (f * (-bx / s2)) / B.em;
    }
    for (int i : w.active) w.balls[i].x += w.balls[i].shiftX, w.balls[i].y += w.balls[i].shiftY;
}

void refLinkPass(refWorld& w) {
    for (int i : w.active) w.balls[i].shiftX = w.balls[i].shiftY = 0.0;
    for (std::size_t k = 0; k < w.activeLinks; ++k) {
        const refLink& l = w.links[k];
        refBall& A = w.balls[l.a];
        refBall& B = w.balls[l.b];
        const double dx = B.x - A.x, dy = B.y - A.y;
        double L = std::sqrt(dx * dx + dy * dy);
        if (std::fabs(L) < 9.999999747378752e-06) L = 9.999999747378752e-06;
        const double e = L - l.rest;
        A.shiftX += (e / (1.0 + A.em / B.em)) * (dx / L) * 0.30000001192092896;
        A.shiftY += (e / (1.0 + A.em / B.em)) * (dy / L) * 0.30000001192092896;
        B.shiftX += (-e / (1.0 + B.em / A.em)) * (dx / L) * 0.30000001192092896;
        B.shiftY += (-e / (1.0 + B.em / A.em)) * (dy / L) * 0.30000001192092896;
    }
    for (int i : w.active) w.balls[i].x += w.balls[i].shiftX, w.balls[i].y += w.balls[i].shiftY;
}

double refDistance(double x1, double y1, double x2, double y2) {
    return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

void refBallLink(refWorld& w, int pi, const refLink& l) {
    refBall& P = w.balls[pi];
    refBall& A = w.balls[l.a];
    refBall& B = w.balls[l.b];
    const double mP = P.em, mA = A.em, mB = B.em;
    const double dx = refGuard(B.x - A.x), dy = refGuard(B.y - A.y);
    double dist = lineDistance(P.x, P.y, A.x, A.y, B.x, B.y);
    if (!(insideBand(P.x, P.y, A.x, A.y, B.x, B.y) && dist < P.radius + l.width)) return;
    const double m = dy / dx;
    const point2 q = projectOntoLine(P.x, P.y, A.x, A.y, B.x, B.y);
    const double dA = refDistance(q.x, q.y, A.x, A.y), dB = refDistance(q.x, q.y, B.x, B.y);
    const double dP = refDistance(q.x, q.y, P.x, P.y), L = dA + dB;
    const double wA = dA * mA, wB = dB * mB, W = wA + wB;
    const double ux = A.vx * dA / L + B.vx * dB / L;
    const double uy = A.vy * dA / L + B.vy * dB / L;
    double nx = (-(uy - P.vy) + m * (ux - P.vx)) / (m + 1.0 / m);
    double ny = (-1.0 / m) * nx;
    if (P.rolls == 0) {
        const point2 T = projectOntoLine(P.vx - ux, P.vy - uy, 0.0, 0.0, dx, dy);
        nx = nx - T.x * 0.10000000149011612;
        ny = ny - T.y * 0.10000000149011612;
    }
    const double mL = std::min(mA, mB) * 2.0;
    if (w.jumpState == 1 && pi == w.main) {
        nx = ((nx / 2.0 + (4.900000095367432 * (P.x - q.x)) / dP) / (mL / (mL + mP))) / 0.8799999952316284;
        ny = ((ny / 2.0 + (4.900000095367432 * (P.y - q.y)) / dP) / (mL / (mL + mP))) / 0.8799999952316284;
        w.jumpState = -5;
    }
    P.vx += ((nx * 2.0 * 1.0 * mL) / (mL + mP)) * 0.8799999952316284;
    P.vy += ((ny * 2.0 * 1.0 * mL) / (mL + mP)) * 0.8799999952316284;
    A.vx -= ((((nx * wB) / W) * 1.0 * 2.0 * mP) / (mL + mP)) * 0.8799999952316284;
    A.vy -= ((((ny * wB) / W) * 1.0 * 2.0 * mP) / (mL + mP)) * 0.8799999952316284;
    B.vx -= ((((nx * wA) / W) * 1.0 * 2.0 * mP) / (mL + mP)) * 0.8799999952316284;
    B.vy -= ((((ny * wA) / W) * 1.0 * 2.0 * mP) / (mL + mP)) * 0.8799999952316284;
    const double ex = ((q.x + ((P.radius + l.width + 0.10000000149011612) * (P.x - q.x)) / dP) - P.x) / 2.0;
    const double ey = ((q.y + ((P.radius + l.width + 0.10000000149011612) * (P.y - q.y)) / dP) - P.y) / 2.0;
    do {
        A.x -= (((ex * wB) / W) * 1.0 * 2.0 * mP) / (mL + mP);
        A.y -= (((ey * wB) / W) * 1.0 * 2.0 * mP) / (mL + mP);
        B.x -= (((ex * wA) / W) * 1.0 * 2.0 * mP) / (mL + mP);
        B.y -= (((ey * wA) / W) * 1.0 * 2.0 * mP) / (mL + mP);
        P.x += (ex * 2.0 * mL) / (mL + mP);
        P.y += (ey * 2.0 * mL) / (mL + mP);
        dist = lineDistance(P.x, P.y, A.x, A.y, B.x, B.y);
    } while (!(dist > P.radius + l.width || !insideBand(P.x, P.y, A.x, A.y, B.x, B.y)));
}

void refBalls(refWorld& w, int pi, int qi) {
    refBall& P = w.balls[pi];
    refBall& Q = w.balls[qi];
    const double mP = P.em, mQ = Q.em;
    double dx = Q.x - P.x, dy = Q.y - P.y;
    double D = std::sqrt(dx * dx + dy * dy);
    const double R = P.radius + Q.radius;
    if (!(D < R)) return;
    D = refGuard(D), dx = refGuard(dx), dy = refGuard(dy);
    const double m = refGuard(dy / dx);
    double nx = (-1.0 * ((Q.vy - P.vy) + (1.0 / m) * (Q.vx - P.vx))) / (m + 1.0 / m);
    double ny = nx * m;
    if (w.jumpState == 1 && pi == w.main) {
        nx = ((nx / 2.0 + (4.900000095367432 * dx) / D) / (mQ / (mP + mQ))) / 0.8799999952316284;
        ny = ((ny / 2.0 + (4.900000095367432 * dy) / D) / (mQ / (mP + mQ))) / 0.8799999952316284;
        w.jumpState = -5;
    }
    const double g = (R + 0.10000000149011612) - D;
    Q.x += (((g * dx) / D) * mP) / (mP + mQ);
    Q.y += (((g * dy) / D) * mP) / (mP + mQ);
    P.x -= (((g * dx) / D) * mQ) / (mP + mQ);
    P.y -= (((g * dy) / D) * mQ) / (mP + mQ);
    Q.vx += (nx * 0.8799999952316284 * 2.0 * mP) / (mP + mQ);
    Q.vy += (ny * 0.8799999952316284 * 2.0 * mP) / (mP + mQ);
    P.vx -= (nx * 0.8799999952316284 * 2.0 * mQ) / (mP + mQ);
    P.vy -= (ny * 0.8799999952316284 * 2.0 * mQ) / (mP + mQ);
}

// updateEffectiveMasses and physicsStep, written out.
void refFrame(refWorld& w) {
    const double dt = 1.0;
    for (int i : w.active) {
        refBall& b = w.balls[i];
        b.em = b.mass;
        if (i == w.held) b.em = 99.0;
        if (b.anchored != 0) b.em = 99.0;
    }
    for (int i : w.active) {
        w.balls[i].vy += 0.20000000298023224;
        w.balls[i].prevX = w.balls[i].x;
        w.balls[i].prevY = w.balls[i].y;
    }
    if (w.mode == -1)
        for (int i : w.active) w.balls[i].x += w.balls[i].vx * dt, w.balls[i].y += w.balls[i].vy * dt;
    for (int i : w.active) {
        refBall& b = w.balls[i];
        if (b.anchored != 1) continue;
        b.x = b.anchorX, b.y = b.anchorY, b.prevX = b.x, b.prevY = b.y, b.vx = 0, b.vy = 0;
    }
    for (int pass = 0; pass < 20; ++pass) {
        refTensionPass(w, w.mode == 1 ? 1 : 0, dt);
        refLinkPass(w);
    }
    for (int i : w.active) {
        refBall& b = w.balls[i];
        b.vx = ((b.x - b.prevX) * 0.9990000128746033) / dt;
        b.vy = ((b.y - b.prevY) * 0.9990000128746033) / dt;
    }
    if (w.main >= 0) {
        refBall& mb = w.balls[w.main];
        if (w.mode == -1 && (mb.x > w.right - mb.radius || mb.x < mb.radius + w.left ||
                             mb.y > w.viewBottom - mb.radius || mb.y < mb.radius + w.viewTop)) {
            mb.x = (w.right + w.left) / 2.0, mb.y = (w.viewBottom + w.viewTop) / 2.0;
            mb.vy = 0.0, mb.vx = 0.0;
        }
        for (std::size_t k = 0; k < w.activeLinks; ++k)
            if (!w.links[k].background) refBallLink(w, w.main, w.links[k]);
        for (int i : w.active)
            if (!w.balls[i].background && i != w.main) refBalls(w, w.main, i);
    }
    for (const refPair& p : w.pairs)
        for (int b : p.ballsA)
            for (int l : p.linksB) refBallLink(w, b, w.links[l]);
    for (const refPair& p : w.pairs)
        for (int b : p.ballsB)
            for (int l : p.linksA) refBallLink(w, b, w.links[l]);
    for (const refPair& p : w.pairs)
        for (int a : p.ballsA)
            for (int b : p.ballsB) refBalls(w, a, b);
}

// ---- Copies between the editor and the transcription ----

int indexOf(const editorState& ed, const ball* b) {
    return static_cast<int>(std::find(ed.allBalls.begin(), ed.allBalls.end(), b) - ed.allBalls.begin());
}

refWorld copyBalls(const editorState& ed) {
    refWorld w;
    for (const ball* b : ed.allBalls)
        w.balls.push_back({b->x, b->y, b->vx, b->vy, b->prevX, b->prevY, b->mass, b->effectiveMass,
                           b->anchorX, b->anchorY, b->radius, b->shiftX, b->shiftY, b->anchored,
                           b->rolls, b->kind == entityKind::background});
    return w;
}

// The active lists, as indices, after the editor's activateBodies.
void copyActive(const editorState& ed, refWorld& w) {
    w.active.clear();
    w.links.clear();
    w.tensions.clear();
    w.pairs.clear();
    for (const ball* b : ed.activeBalls) w.active.push_back(indexOf(ed, b));
    // Every link a pair's body names, plus the active links; pairs refer to links by index.
    std::vector<const tumbla::link*> linkIds;
    auto linkIndex = [&](const tumbla::link* l) {
        auto it = std::find(linkIds.begin(), linkIds.end(), l);
        if (it != linkIds.end()) return static_cast<int>(it - linkIds.begin());
        linkIds.push_back(l);
        w.links.push_back({indexOf(ed, l->ballA), indexOf(ed, l->ballB), l->restLength, l->width,
                           l->kind == entityKind::background});
        return static_cast<int>(linkIds.size()) - 1;
    };
    for (const tumbla::link* l : ed.activeLinks) linkIndex(l);
    w.activeLinks = w.links.size();
    for (const tension* t : ed.activeTensions)
        w.tensions.push_back({indexOf(ed, t->ballA), indexOf(ed, t->centre), indexOf(ed, t->ballB),
                              t->restAngle, t->strength});
    for (const bodyPair* p : ed.activeBodyPairs) {
        refPair r;
        for (const ball* b : p->bodyA->balls) r.ballsA.push_back(indexOf(ed, b));
        for (const ball* b : p->bodyB->balls) r.ballsB.push_back(indexOf(ed, b));
        for (const tumbla::link* l : p->bodyA->links) r.linksA.push_back(linkIndex(l));
        for (const tumbla::link* l : p->bodyB->links) r.linksB.push_back(linkIndex(l));
        w.pairs.push_back(r);
    }
    w.main = ed.mainBall ? indexOf(ed, ed.mainBall) : -1;
    w.held = ed.heldBall ? indexOf(ed, ed.heldBall) : -1;
    w.mode = ed.mode;
    w.right = ed.viewCentreX + (ed.drawAreaWidth / 2.0) / ed.zoom;
    w.left = ed.viewCentreX - (ed.drawAreaWidth / 2.0) / ed.zoom;
    w.viewTop = ed.viewTop;
    w.viewBottom = ed.viewBottom;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A turned grid with a heavy ball, an anchored ball, a rolling ball and a weak
// tension, a triangle paired with it and overlapping it, and a main ball
// resting on one of its links.
void buildScene(editorState& ed) {
    figures::ballSpec mainSpec;
    mainSpec.x = 40;
    mainSpec.y = 30;
    mainSpec.radius = 20;
    figures::addBall(ed, mainSpec);
    figures::gridSpec g;
    g.rows = 10;
    g.columns = 10;
    g.turnDegrees = 30;
    g.ball.radius = 6;
    figures::addGrid(ed, g);
    ed.allBalls[6]->mass = 2.5;
    ed.allBalls[9]->anchored = 1;
    ed.allBalls[14]->rolls = 1;
    ball* t1 = figures::addBall(ed, 140, 120, 9);
    ball* t2 = figures::addBall(ed, 170, 120, 9);
    ball* t3 = figures::addBall(ed, 155, 95, 9);
    figures::addLink(ed, t1, t2);
    figures::addLink(ed, t2, t3);
    figures::addLink(ed, t3, t1);
    figures::addVirtualLink(ed, t1, ed.allBalls[30]);
    figures::finish(ed);
    ed.allTensions[5]->strength = 10.0;
    for (std::size_t i = 0; i < ed.allBalls.size(); ++i) {
        ed.allBalls[i]->vx = 0.25 * std::sin(i * 1.7);
        ed.allBalls[i]->vy = 0.25 * std::cos(i * 0.9);
    }
}

// The parameter is the thread count; a negative count also turns off the
// four-wide kernels, so the scalar ones are checked where both exist.
class physicsExactness : public ::testing::TestWithParam<int> {};

TEST_P(physicsExactness, frameMatchesTheWrittenFormulasToTheBit) {
    headlessPlatform io;
    editorState ed(io);
    prepareHeadlessEditor(ed, io, 1);
    ed.physicsThreads = std::abs(GetParam());
    relaxationSolverFor(ed).useWideKernels(GetParam() > 0);
    relaxationSolverFor(ed).chooseLayoutEvery(0);  // all threads in every frame
    ed.viewLeft = -400, ed.viewRight = 400, ed.viewTop = -400, ed.viewBottom = 400;
    ed.viewCentreX = 0, ed.viewCentreY = 0;
    buildScene(ed);
    refWorld w = copyBalls(ed);
    for (int frame = 0; frame < 16; ++frame) {
        ed.mode = frame < 11 ? -1 : 1;
        if (frame == 3) ed.jumpState = 1;  // until the main ball next touches something
        ed.mainBall = ed.allBalls.front();
        ed.activateBodies();
        ASSERT_FALSE(ed.activeBodyPairs.empty());
        copyActive(ed, w);
        w.jumpState = ed.jumpState;
        ed.updateEffectiveMasses();
        ed.physicsStep();
        refFrame(w);
        EXPECT_EQ(ed.jumpState, w.jumpState) << "frame " << frame;
        for (std::size_t i = 0; i < ed.allBalls.size(); ++i) {
            const ball* b = ed.allBalls[i];
            const refBall& r = w.balls[i];
            ASSERT_TRUE(sameBits(b->x, r.x) && sameBits(b->y, r.y) && sameBits(b->vx, r.vx) &&
                        sameBits(b->vy, r.vy))
                << "frame " << frame << " ball " << i << ": " << b->x << " " << r.x << ", " << b->y
                << " " << r.y << ", " << b->vx << " " << r.vx;
        }
    }
    EXPECT_EQ(ed.jumpState, -5);  // the jump was taken
}

INSTANTIATE_TEST_SUITE_P(threads, physicsExactness, ::testing::Values(1, 2));
INSTANTIATE_TEST_SUITE_P(scalarKernels, physicsExactness, ::testing::Values(-1, -2));

// The single-pass methods give the same bits as the transcription too.
TEST(physicsExactness, singlePassesMatch) {
    headlessPlatform io;
    editorState ed(io);
    prepareHeadlessEditor(ed, io, 1);
    buildScene(ed);
    ed.viewLeft = -400, ed.viewRight = 400, ed.viewTop = -400, ed.viewBottom = 400;
    ed.mainBall = ed.allBalls.front();
    ed.activateBodies();
    ed.updateEffectiveMasses();
    refWorld w = copyBalls(ed);
    copyActive(ed, w);
    for (int drawMode : {0, 1}) {
        ed.applyTensions(drawMode);
        refTensionPass(w, drawMode, 1.0);
        ed.applyLinks();
        refLinkPass(w);
    }
    for (std::size_t i = 0; i < ed.allBalls.size(); ++i) {
        EXPECT_TRUE(sameBits(ed.allBalls[i]->x, w.balls[i].x)) << i;
        EXPECT_TRUE(sameBits(ed.allBalls[i]->y, w.balls[i].y)) << i;
    }
}

// Rest angles far outside a turn take the kernels' slow way to the angle
// error; the four-wide and the scalar kernels still agree to the bit.
TEST(physicsExactness, wideAndScalarKernelsAgreeOnOddRestAngles) {
    for (int threads : {1, 2}) {
        std::uint64_t hash[2] = {0, 0};
        for (int wide : {0, 1}) {
            headlessPlatform io;
            editorState ed(io);
            prepareHeadlessEditor(ed, io, 1);
            ed.physicsThreads = threads;
            relaxationSolverFor(ed).useWideKernels(wide != 0);
            relaxationSolverFor(ed).chooseLayoutEvery(0);
            ed.viewLeft = -400, ed.viewRight = 400, ed.viewTop = -400, ed.viewBottom = 400;
            buildScene(ed);
            ed.allTensions[7]->restAngle = 1000.0;
            ed.allTensions[12]->restAngle = -725.0;
            ed.allTensions[40]->restAngle = 3.0e6;
            for (int frame = 0; frame < 6; ++frame) {
                ed.mode = frame < 3 ? -1 : 1;
                ed.mainBall = ed.allBalls.front();
                ed.activateBodies();
                ed.updateEffectiveMasses();
                ed.physicsStep();
            }
            hash[wide] = figures::stateHash(ed);
        }
        EXPECT_EQ(hash[0], hash[1]) << threads;
    }
}

}  // namespace
