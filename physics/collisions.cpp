// Contacts of balls with links and with other balls: an impulse along the
// contact normal (restitution, and friction against links for balls that do
// not roll), then a push that opens the contact. Only the main ball and the
// body pairs declared by virtual links collide.
#include <cmath>

#include "app/editorState.h"
#include "physics/constraints.h"

namespace tumbla {

namespace {

constexpr double restitution = 0.8799999952316284;  // single-precision 0.88
constexpr double linkFriction = 0.10000000149011612;
constexpr double separationSlop = 0.10000000149011612;
constexpr double jumpSpeed = 4.900000095367432;
// The written separation loop ends because each repetition widens the gap
// by a fixed amount; with extreme values (NaN, infinities, 1e300) it might
// not, so it gives up after this many repetitions.
constexpr int separationLimit = 10000;

double distanceBetween(double x1, double y1, double x2, double y2) {
    const double dx = x1 - x2;
    const double dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
}

// The part of the separation push along one axis, k · (p − q) / dP. A ball
// centre exactly on the link's line has no direction of its own (dP = 0);
// it is pushed along the link's normal (−dy, dx) instead.
double pushAlong(double k, double p, double q, double dP, double normal) {
    return dP != 0.0 ? (k * (p - q)) / dP : k * normal;
}

}  // namespace

void editorState::collideBallLink(ball* p, link* l) {
    ball* a = l->ballA;
    ball* b = l->ballB;
    const double dx = nearZeroGuard(b->x - a->x);
    const double dy = nearZeroGuard(b->y - a->y);
    double dist = lineDistance(p->x, p->y, a->x, a->y, b->x, b->y);
    if (!(insideBand(p->x, p->y, a->x, a->y, b->x, b->y) && dist < p->radius + l->width)) return;

    const double mP = massDivisor(p->effectiveMass);
    const double mA = massDivisor(a->effectiveMass);
    const double mB = massDivisor(b->effectiveMass);
    const double m = dy / dx;
    const point2 q = projectOntoLine(p->x, p->y, a->x, a->y, b->x, b->y);
    const double dA = distanceBetween(q.x, q.y, a->x, a->y);
    const double dB = distanceBetween(q.x, q.y, b->x, b->y);
    const double dP = distanceBetween(q.x, q.y, p->x, p->y);
    const double length = dA + dB;
    const double wA = dA * mA;
    const double wB = dB * mB;
    const double w = wA + wB;

    const double ux = (a->vx * dA) / length + (b->vx * dB) / length;
    const double uy = (a->vy * dA) / length + (b->vy * dB) / length;
    double nx = (-(uy - p->vy) + m * (ux - p->vx)) / (m + 1.0 / m);
    double ny = (-1.0 / m) * nx;
    if (p->rolls == 0) {
        const point2 t = projectOntoLine(p->vx - ux, p->vy - uy, 0.0, 0.0, dx, dy);
        nx = nx - t.x * linkFriction;
        ny = ny - t.y * linkFriction;
    }
    const double mL = std::min(mA, mB) * 2.0;

    // Unit normal of the link, used only when the ball centre is on its line.
    const double dLen = std::sqrt(dx * dx + dy * dy);
    const double normalX = -dy / dLen;
    const double normalY = dx / dLen;

    if (jumpState == 1 && p == mainBall) {
        nx = ((nx / 2.0 + pushAlong(jumpSpeed, p->x, q.x, dP, normalX)) / (mL / (mL + mP))) /
             restitution;
        ny = ((ny / 2.0 + pushAlong(jumpSpeed, p->y, q.y, dP, normalY)) / (mL / (mL + mP))) /
             restitution;
        jumpState = -5;
    }

    p->vx += ((nx * 2.0 * 1.0 * mL) / (mL + mP)) * restitution;
    p->vy += ((ny * 2.0 * 1.0 * mL) / (mL + mP)) * restitution;
    a->vx -= ((((nx * wB) / w) * 1.0 * 2.0 * mP) / (mL + mP)) * restitution;
    a->vy -= ((((ny * wB) / w) * 1.0 * 2.0 * mP) / (mL + mP)) * restitution;
    b->vx -= ((((nx * wA) / w) * 1.0 * 2.0 * mP) / (mL + mP)) * restitution;
    b->vy -= ((((ny * wA) / w) * 1.0 * 2.0 * mP) / (mL + mP)) * restitution;

    const double reach = p->radius + l->width + separationSlop;
    const double ex = ((q.x + pushAlong(reach, p->x, q.x, dP, normalX)) - p->x) / 2.0;
    const double ey = ((q.y + pushAlong(reach, p->y, q.y, dP, normalY)) - p->y) / 2.0;
    for (int repeat = 0; repeat < separationLimit; ++repeat) {
        a->x -= (((ex * wB) / w) * 1.0 * 2.0 * mP) / (mL + mP);
        a->y -= (((ey * wB) / w) * 1.0 * 2.0 * mP) / (mL + mP);
        b->x -= (((ex * wA) / w) * 1.0 * 2.0 * mP) / (mL + mP);
        b->y -= (((ey * wA) / w) * 1.0 * 2.0 * mP) / (mL + mP);
        p->x += (ex * 2.0 * mL) / (mL + mP);
        p->y += (ey * 2.0 * mL) / (mL + mP);
        dist = lineDistance(p->x, p->y, a->x, a->y, b->x, b->y);
        if (dist > p->radius + l->width || !insideBand(p->x, p->y, a->x, a->y, b->x, b->y)) break;
        if (!std::isfinite(dist) || !std::isfinite(ex) || !std::isfinite(ey)) break;
    }
}

void editorState::collideBalls(ball* p, ball* q) {
    double dx = q->x - p->x;
    double dy = q->y - p->y;
    double d = std::sqrt(dx * dx + dy * dy);
    const double r = p->radius + q->radius;
    if (!(d < r)) return;

    const double mP = massDivisor(p->effectiveMass);
    const double mQ = massDivisor(q->effectiveMass);
    d = nearZeroGuard(d);
    dx = nearZeroGuard(dx);
    dy = nearZeroGuard(dy);
    const double m = nearZeroGuard(dy / dx);
    double nx = (-1.0 * ((q->vy - p->vy) + (1.0 / m) * (q->vx - p->vx))) / (m + 1.0 / m);
    double ny = nx * m;
    if (jumpState == 1 && p == mainBall) {
        nx = ((nx / 2.0 + (jumpSpeed * dx) / d) / (mQ / (mP + mQ))) / restitution;
        ny = ((ny / 2.0 + (jumpSpeed * dy) / d) / (mQ / (mP + mQ))) / restitution;
        jumpState = -5;
    }
    const double g = (r + separationSlop) - d;
    q->x += (((g * dx) / d) * mP) / (mP + mQ);
    q->y += (((g * dy) / d) * mP) / (mP + mQ);
    p->x -= (((g * dx) / d) * mQ) / (mP + mQ);
    p->y -= (((g * dy) / d) * mQ) / (mP + mQ);
    q->vx += (nx * restitution * 2.0 * mP) / (mP + mQ);
    q->vy += (ny * restitution * 2.0 * mP) / (mP + mQ);
    p->vx -= (nx * restitution * 2.0 * mQ) / (mP + mQ);
    p->vy -= (ny * restitution * 2.0 * mQ) / (mP + mQ);
}

void editorState::collisionPasses() {
    if (mainBall) {
        if (mode == -1) mainBall->recentre();
        for (link* l : activeLinks)
            if (l->kind != entityKind::background) collideBallLink(mainBall, l);
        for (ball* b : activeBalls)
            if (b->kind != entityKind::background && b != mainBall) collideBalls(mainBall, b);
    }
    for (bodyPair* pair : activeBodyPairs)
        for (ball* b : pair->bodyA->balls)
            for (link* l : pair->bodyB->links) collideBallLink(b, l);
    for (bodyPair* pair : activeBodyPairs)
        for (ball* b : pair->bodyB->balls)
            for (link* l : pair->bodyA->links) collideBallLink(b, l);
    for (bodyPair* pair : activeBodyPairs)
        for (ball* p : pair->bodyA->balls)
            for (ball* q : pair->bodyB->balls) collideBalls(p, q);
}

}  // namespace tumbla
