// One frame of motion: gravity and velocity, the held and pinned balls, the
// relaxation passes over tensions and links, and the velocities derived from
// the distance each ball moved. Collisions follow (collisions.cpp).
#include "app/editorState.h"
#include "physics/constraints.h"
#include "physics/relaxation.h"

namespace tumbla {

void editorState::updateEffectiveMasses() {
    for (ball* b : activeBalls) {
        b->effectiveMass = b->mass;
        if (b == heldBall) b->effectiveMass = pinnedMass;
        if (b->anchored != 0) b->effectiveMass = pinnedMass;
    }
}

void editorState::pinAnchoredBalls() {
    for (ball* b : activeBalls) {
        if (b->anchored != 1) continue;
        b->x = b->anchorX;
        b->y = b->anchorY;
        b->prevX = b->x;
        b->prevY = b->y;
        b->vx = 0;
        b->vy = 0;
    }
}

void tension::apply(int drawMode, double dt) {
    if (!tensionActs(*this)) return;
    const armMeasure arm1 = measureArm(ballA->x, ballA->y, centre->x, centre->y);
    const armMeasure arm2 = measureArm(centre->x, centre->y, ballB->x, ballB->y);
    const double mA = massDivisor(ballA->effectiveMass);
    const double mJ = massDivisor(centre->effectiveMass);
    const double mB = massDivisor(ballB->effectiveMass);
    const tensionShifts s = tensionCorrection(arm1, arm2, restAngle, strength + 10000.0 * drawMode,
                                              dt, mA, mJ, mB, smallestMass(mA, mJ, mB));
    ballA->shiftX += s.ax;
    ballA->shiftY += s.ay;
    centre->shiftX += s.jx;
    centre->shiftY += s.jy;
    ballB->shiftX += s.bx;
    ballB->shiftY += s.by;
}

namespace {

void clearShifts(const std::vector<ball*>& balls) {
    for (ball* b : balls) b->shiftX = b->shiftY = 0.0;
}

void applyShifts(const std::vector<ball*>& balls) {
    for (ball* b : balls) {
        b->x += b->shiftX;
        b->y += b->shiftY;
    }
}

}  // namespace

// One tension pass, ball by ball. The frame's passes run in the relaxation
// solver, which gives the same bits; this plain form serves single passes.
void editorState::applyTensions(int drawMode) {
    clearShifts(activeBalls);
    for (tension* t : activeTensions) t->apply(drawMode, timeStep);
    applyShifts(activeBalls);
}

void editorState::applyLinks() {
    clearShifts(activeBalls);
    for (link* l : activeLinks) {
        const linkShifts s = linkCorrection(l->restLength, *l->ballA, *l->ballB);
        l->ballA->shiftX += s.ax;
        l->ballA->shiftY += s.ay;
        l->ballB->shiftX += s.bx;
        l->ballB->shiftY += s.by;
    }
    applyShifts(activeBalls);
}

void ball::deriveVelocity(double dt) {
    vx = ((x - prevX) * velocityDamping) / dt;
    vy = ((y - prevY) * velocityDamping) / dt;
}

void editorState::physicsStep() {
    for (ball* b : activeBalls) {
        b->vy += gravityStep;
        b->prevX = b->x;
        b->prevY = b->y;
    }
    if (mode == -1) {
        for (ball* b : activeBalls) {
            b->x += b->vx * timeStep;
            b->y += b->vy * timeStep;
        }
    }
    moveHeldBall();
    pinAnchoredBalls();
    relaxationSolverFor(*this).relax(*this, relaxationPasses, mode == 1 ? 1 : 0, timeStep);
    for (ball* b : activeBalls) b->deriveVelocity(timeStep);
    collisionPasses();
}

}  // namespace tumbla
