// The Draw-mode tools as a user meets them: every pointer action over empty
// space, a ball and a link; link dragging, virtual links, overlapping balls,
// the N and P keys, the Control edits and the main ball rules.
#include <cmath>

#include "tests/scenario/editing_harness.h"

using namespace tumbla;

namespace {

using tools = editingHarness;

constexpr int keyN = 78, keyP = 80, keyV = 86;

double distance(const ball* p, const ball* q) {
    const double dx = q->x - p->x;
    const double dy = q->y - p->y;
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace

TEST_F(tools, clickOnEmptySpacePlacesAnAnchoredBallAndSelectsIt) {
    placeMainBall(100, 100);
    ball* b = placeAt(200, 300);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(editor.allBalls.size(), 2u);
    EXPECT_EQ(b->x, -190.0);
    EXPECT_EQ(b->y, 300.0);
    EXPECT_EQ(b->prevX, -190.0);
    EXPECT_EQ(b->anchorX, -190.0);
    EXPECT_EQ(b->anchorY, 300.0);
    EXPECT_EQ(b->anchored, 1);
    EXPECT_EQ(b->radius, 20.0);
    EXPECT_EQ(b->mass, 1.0);
    EXPECT_EQ(b->angleStrength, 300.0);
    EXPECT_EQ(b->number, 2);
    EXPECT_EQ(b->owner, &editor);
    EXPECT_EQ(editor.linkDragActive, 0);
}

TEST_F(tools, pressOnEmptySpaceAndHoldStartsADragFromTheNewBallNextFrame) {
    moveTo(200, 300);
    down();
    frames(1);
    ASSERT_EQ(editor.allBalls.size(), 1u);
    EXPECT_EQ(editor.linkDragActive, 0);  // not active yet, so not found under the pointer
    frames(1);
    EXPECT_EQ(editor.linkDragActive, 1);
    EXPECT_EQ(editor.linkEnds[0], editor.allBalls[0]);
    up();
    frames(1);
    EXPECT_EQ(editor.linkDragActive, 0);
    EXPECT_EQ(editor.allBalls.size(), 1u);  // released on the start ball: nothing more
    EXPECT_TRUE(editor.allLinks.empty());
}

TEST_F(tools, pressOnABallSelectsItCopiesItsValuesAndStartsADrag) {
    placeMainBall(100, 100);
    ball* a = placeAt(200, 300);
    a->radius = 33.0;
    a->mass = 4.0;
    a->angleStrength = 77.0;
    placeAt(500, 300);
    ASSERT_NE(editor.selectedBall, a);
    moveTo(200, 300);
    down();
    frames(1);
    EXPECT_EQ(editor.selectedBall, a);
    EXPECT_EQ(editor.selectedLink, nullptr);
    EXPECT_EQ(editor.linkDragActive, 1);
    EXPECT_EQ(editor.linkEnds[0], a);
    EXPECT_EQ(editor.newBallSize, 33.0);
    EXPECT_EQ(editor.newBallMass, 4.0);
    EXPECT_EQ(editor.newAngleStrength, 77.0);
    EXPECT_EQ(editor.allBalls.size(), 3u);  // a press on a ball places nothing
    up();
    frames(1);
    // Released on the same ball: nothing made, the ball stays selected and
    // the toolbar shows the copied values.
    EXPECT_EQ(editor.allBalls.size(), 3u);
    EXPECT_TRUE(editor.allLinks.empty());
    EXPECT_EQ(editor.selectedBall, a);
    EXPECT_EQ(editor.toolbar->ballSizeField.label, "Ball Size= 33.000");
    EXPECT_EQ(editor.toolbar->ballMassField.label, "Ball Mass= 4.0000");
    EXPECT_EQ(editor.toolbar->angleField.label, "Angle Str.= 77.000");
}

TEST_F(tools, pressDragReleaseOverEmptySpaceMakesTwoBallsAndALink) {
    editor.newLinkWidth = 9.0;
    dragFromTo(200, 300, 350, 380);
    ASSERT_EQ(editor.allBalls.size(), 2u);
    ASSERT_EQ(editor.allLinks.size(), 1u);
    ball* a = editor.allBalls[0];
    ball* b = editor.allBalls[1];
    tumbla::link* l = editor.allLinks[0];
    EXPECT_EQ(l->ballA, a);
    EXPECT_EQ(l->ballB, b);
    EXPECT_EQ(b->x, -40.0);
    EXPECT_EQ(b->y, 380.0);
    EXPECT_EQ(l->restLength, distance(a, b));
    EXPECT_EQ(l->width, 9.0);
    EXPECT_EQ(l->kind, entityKind::normal);
    EXPECT_EQ(l->owner, &editor);
    EXPECT_EQ(editor.selectedBall, b);  // the placed ball is selected
    EXPECT_EQ(a->bodyNumber, b->bodyNumber);
    EXPECT_EQ(editor.bodies.size(), 1u);
    EXPECT_EQ(editor.linkDragActive, 0);
}

TEST_F(tools, aChainOfTwoLinksGetsATensionAtItsJoint) {
    dragFromTo(200, 300, 350, 300);
    dragFromTo(350, 300, 420, 400);
    ASSERT_EQ(editor.allBalls.size(), 3u);
    ASSERT_EQ(editor.allLinks.size(), 2u);
    ASSERT_EQ(editor.allTensions.size(), 1u);
    const tension* t = editor.allTensions[0];
    EXPECT_EQ(t->centre, editor.allBalls[1]);
    EXPECT_EQ(t->ballA, editor.allBalls[0]);
    EXPECT_EQ(t->ballB, editor.allBalls[2]);
    EXPECT_EQ(t->strength, editor.allBalls[1]->angleStrength);
}

TEST_F(tools, releaseOnAnotherBallLinksThemOnce) {
    ball* a = placeAt(200, 300);
    ball* b = placeAt(400, 300);
    dragFromTo(200, 300, 400, 300);
    ASSERT_EQ(editor.allLinks.size(), 1u);
    EXPECT_EQ(editor.allBalls.size(), 2u);
    EXPECT_NE(linkBetween(a, b, editor.allLinks), nullptr);
    EXPECT_EQ(editor.linkEnds[1], b);
    // Already joined, in either direction and even with V held: nothing.
    dragFromTo(400, 300, 200, 300);
    keyDown(keyV);
    dragFromTo(200, 300, 400, 300);
    keyUp(keyV);
    EXPECT_EQ(editor.allLinks.size(), 1u);
    EXPECT_TRUE(editor.virtualLinks.empty());
    EXPECT_EQ(editor.allBalls.size(), 2u);
}

TEST_F(tools, releaseOverALinkActsAsOverEmptySpace) {
    ball* a = placeAt(200, 300);
    ball* b = placeAt(400, 300);
    dragFromTo(200, 300, 400, 300);
    ball* c = placeAt(300, 500);
    dragFromTo(300, 500, 300, 300);  // released on the middle of the link a-b
    ASSERT_EQ(editor.allBalls.size(), 4u);
    ball* d = editor.allBalls[3];
    EXPECT_EQ(d->x, -90.0);
    EXPECT_EQ(d->y, 300.0);
    EXPECT_NE(linkBetween(c, d, editor.allLinks), nullptr);
    EXPECT_NE(linkBetween(a, b, editor.allLinks), nullptr);
}

TEST_F(tools, pressOnALinkSelectsItWhileHeldAndCopiesItsWidth) {
    ball* a = placeAt(200, 300);
    placeAt(400, 300);
    dragFromTo(200, 300, 400, 300);
    tumbla::link* l = editor.allLinks[0];
    l->width = 12.0;
    editor.selectedBall = a;
    moveTo(300, 305);
    down();
    frames(1);
    EXPECT_EQ(editor.selectedLink, l);
    EXPECT_EQ(editor.selectedBall, nullptr);
    EXPECT_EQ(editor.newLinkWidth, 12.0);
    EXPECT_EQ(editor.hoverLink, l);
    EXPECT_EQ(editor.linkDragActive, 0);
    up();
    frames(1);
    EXPECT_EQ(editor.allBalls.size(), 2u);  // a press on a link places nothing
    EXPECT_EQ(editor.selectedLink, l);
    // Placing a ball selects it and keeps the selected link.
    ball* c = placeAt(300, 500);
    EXPECT_EQ(editor.selectedBall, c);
    EXPECT_EQ(editor.selectedLink, l);
}

TEST_F(tools, draggingAcrossLinksWithTheButtonDownSelectsEachInTurn) {
    placeAt(200, 200);
    placeAt(400, 200);
    dragFromTo(200, 200, 400, 200);
    placeAt(200, 400);
    placeAt(400, 400);
    dragFromTo(200, 400, 400, 400);
    tumbla::link* top = editor.allLinks[0];
    tumbla::link* bottom = editor.allLinks[1];
    moveTo(300, 200);
    down();
    frames(1);
    EXPECT_EQ(editor.selectedLink, top);
    moveTo(300, 400);
    frames(1);
    EXPECT_EQ(editor.selectedLink, bottom);
    up();
    frames(1);
}

TEST_F(tools, leftControlHoldsInsteadOfDrawing) {
    ball* main = placeMainBall(100, 100);
    ball* a = placeAt(200, 300);
    keyDown(keyLeftControl);
    // Over empty space: a ball is placed and held from the next frame on.
    moveTo(500, 300);
    down();
    frames(1);
    ASSERT_EQ(editor.allBalls.size(), 3u);
    ball* placed = editor.allBalls[2];
    EXPECT_EQ(editor.heldBall, nullptr);
    frames(1);
    EXPECT_EQ(editor.heldBall, placed);
    EXPECT_EQ(editor.linkDragActive, 0);
    up();
    frames(1);
    EXPECT_EQ(editor.heldBall, nullptr);
    // Over a ball: held, no drag, no new ball, selection unchanged.
    editor.selectedBall = main;
    moveTo(200, 300);
    down();
    frames(1);
    EXPECT_EQ(editor.heldBall, a);
    EXPECT_EQ(editor.linkDragActive, 0);
    EXPECT_EQ(editor.selectedBall, main);
    up();
    frames(1);
    keyUp(keyLeftControl);
    EXPECT_EQ(editor.allBalls.size(), 3u);
}

TEST_F(tools, leftControlOverALinkStillSelectsIt) {
    placeAt(200, 300);
    placeAt(400, 300);
    dragFromTo(200, 300, 400, 300);
    keyDown(keyLeftControl);
    clickAt(300, 300);
    keyUp(keyLeftControl);
    EXPECT_EQ(editor.selectedLink, editor.allLinks[0]);
    EXPECT_EQ(editor.allBalls.size(), 2u);
}

TEST_F(tools, rightButtonHoldsABallAndDoesNothingElse) {
    placeMainBall(100, 100);
    ball* a = placeAt(200, 300);
    placeAt(400, 300);
    dragFromTo(200, 300, 400, 300);
    editor.selectedBall = nullptr;
    editor.selectedLink = nullptr;
    struct row {
        int x, y;
        bool holds;
    };
    for (row r : {row{600, 500, false}, row{200, 300, true}, row{300, 300, false}}) {
        moveTo(r.x, r.y);
        down(2);
        frames(2);
        EXPECT_EQ(editor.heldBall, r.holds ? a : nullptr) << r.x;
        up(2);
        frames(1);
        EXPECT_EQ(editor.allBalls.size(), 3u) << r.x;
        EXPECT_EQ(editor.allLinks.size(), 1u) << r.x;
        EXPECT_EQ(editor.selectedBall, nullptr) << r.x;
        EXPECT_EQ(editor.selectedLink, nullptr) << r.x;
        EXPECT_EQ(editor.linkDragActive, 0) << r.x;
    }
}

TEST_F(tools, rightControlDoesNotSpoilAPrimaryPress) {
    ball* a = placeAt(200, 300);
    keyDown(keyRightControl);
    moveTo(200, 300);
    down();
    frames(1);
    EXPECT_EQ(editor.linkDragActive, 1);
    EXPECT_EQ(editor.linkEnds[0], a);
    EXPECT_EQ(editor.heldBall, nullptr);
    up();
    frames(1);
    keyUp(keyRightControl);
}

TEST_F(tools, leftControlDuringADragCancelsItAndReleasingControlStartsAgain) {
    placeMainBall(100, 100);
    ball* a = placeAt(200, 300);
    ball* b = placeAt(400, 300);
    moveTo(200, 300);
    down();
    frames(1);
    ASSERT_EQ(editor.linkDragActive, 1);
    keyDown(keyLeftControl);
    frames(1);
    EXPECT_EQ(editor.linkDragActive, 0);
    moveTo(400, 300);
    frames(1);
    keyUp(keyLeftControl);
    frames(1);  // the button is still held over b: a new drag starts from it
    EXPECT_EQ(editor.linkDragActive, 1);
    EXPECT_EQ(editor.linkEnds[0], b);
    moveTo(600, 300);
    frames(1);
    up();
    frames(1);
    ASSERT_EQ(editor.allLinks.size(), 1u);
    EXPECT_EQ(editor.allLinks[0]->ballA, b);
    EXPECT_EQ(linkBetween(a, b, editor.allLinks), nullptr);
}

TEST_F(tools, pressAndReleaseHeldWithControlMakesNoLink) {
    placeAt(200, 300);
    moveTo(200, 300);
    down();
    frames(1);
    moveTo(500, 300);
    frames(1);
    keyDown(keyLeftControl);
    frames(1);
    up();
    frames(1);
    keyUp(keyLeftControl);
    frames(1);
    EXPECT_TRUE(editor.allLinks.empty());
    EXPECT_EQ(editor.allBalls.size(), 1u);
}

TEST_F(tools, theRubberBandIsAWhiteLineUnderTheFigureAndToolbar) {
    placeAt(200, 300);
    moveTo(200, 300);
    down();
    frames(1);
    moveTo(450, 420);
    frames(1);
    int band = -1, panel = -1, status = -1;
    for (int i = 0; i < static_cast<int>(io.calls.size()); ++i) {
        const drawCall& c = io.calls[i];
        if (c.kind == drawCall::lineCall && c.x1 == 200 && c.y1 == 300 && c.x2 == 450 && c.y2 == 420 &&
            c.red == 255 && c.green == 255 && c.blue == 255)
            band = i;
        if (c.kind == drawCall::textCall && status < 0) status = i;
        if (c.kind == drawCall::rectCall && c.red == 222 && panel < 0) panel = i;
    }
    ASSERT_GE(band, 0);
    EXPECT_LT(status, band);
    EXPECT_LT(band, panel);
    up();
    frames(1);
}

TEST_F(tools, vMakesAVirtualLinkThatPairsBodiesAfterTheNextRegroup) {
    ball* a = placeAt(200, 300);
    ball* b = placeAt(400, 300);
    keyDown(keyV);
    dragFromTo(200, 300, 400, 300);
    dragFromTo(400, 300, 200, 300);  // virtual links are not searched: a second one is made
    dragFromTo(200, 300, 600, 500);  // over empty space: a new ball joined virtually
    keyUp(keyV);
    EXPECT_TRUE(editor.allLinks.empty());
    ASSERT_EQ(editor.virtualLinks.size(), 3u);
    ASSERT_EQ(editor.allBalls.size(), 3u);
    for (tumbla::link* l : editor.virtualLinks) {
        EXPECT_EQ(l->kind, entityKind::virtualLink);
        EXPECT_EQ(l->restLength, distance(l->ballA, l->ballB));
    }
    EXPECT_EQ(editor.virtualLinks[0]->ballA, a);
    EXPECT_EQ(editor.virtualLinks[1]->ballA, b);
    EXPECT_EQ(editor.virtualLinks[2]->ballB, editor.allBalls[2]);
    // The last regroup ran when the third ball was placed, before its virtual
    // link existed: the pairs of the first two links are there, its own is not.
    EXPECT_EQ(editor.bodyPairs.size(), 1u);
    keyDown(keyP);
    frames(1);  // leaving Draw mode regroups
    keyUp(keyP);
    EXPECT_EQ(editor.mode, -1);
    EXPECT_EQ(editor.bodyPairs.size(), 2u);
    EXPECT_EQ(editor.clusters.size(), 1u);
}

TEST_F(tools, overlappingBallsLaterOneWinsAndAReleaseLinksBoth) {
    placeMainBall(100, 100);  // out of the way
    ball* first = placeAt(300, 300);
    ball* second = placeAt(320, 300);
    ball* start = placeAt(500, 500);
    editor.selectedBall = nullptr;
    moveTo(310, 300);
    frames(1);
    EXPECT_EQ(editor.hoverBall, second);
    down();
    frames(1);
    EXPECT_EQ(editor.linkEnds[0], second);
    EXPECT_EQ(editor.selectedBall, second);
    keyDown(keyLeftControl);  // cancels the drag, so the release links nothing
    frames(1);
    up();
    frames(1);
    keyUp(keyLeftControl);
    ASSERT_TRUE(editor.allLinks.empty());
    dragFromTo(500, 500, 310, 300);
    EXPECT_EQ(editor.allBalls.size(), 4u);
    EXPECT_NE(linkBetween(start, first, editor.allLinks), nullptr);
    EXPECT_NE(linkBetween(start, second, editor.allLinks), nullptr);
    EXPECT_EQ(editor.linkEnds[1], second);
}

TEST_F(tools, nPutsTheNewBallFirstAndItBecomesTheMainBall) {
    ball* a = placeAt(200, 300);
    keyDown(keyN);
    editor.newBallSize = 35.0;
    editor.newBallMass = 5.0;
    moveTo(500, 300);
    down();
    frames(1);
    ASSERT_EQ(editor.allBalls.size(), 2u);
    ball* n = editor.allBalls[0];
    EXPECT_EQ(editor.allBalls[1], a);
    EXPECT_EQ(n->number, 2);
    EXPECT_EQ(editor.mainBall, a);
    EXPECT_EQ(n->radius, 35.0);
    up();
    keyUp(keyN);
    frames(1);
    EXPECT_EQ(editor.mainBall, n);
    EXPECT_EQ(n->radius, 20.0);
    EXPECT_EQ(n->mass, 1.0);
    EXPECT_EQ(n->anchored, 0);
    EXPECT_EQ(n->rolls, 1);
    EXPECT_EQ(n->kind, entityKind::normal);
}

TEST_F(tools, clicksInPlayModePlaceABallAfterP) {
    placeAt(390, 350);
    keyDown(keyP);
    frames(1);
    keyUp(keyP);
    ASSERT_EQ(editor.mode, -1);
    clickAt(100, 100);
    frames(3);
    EXPECT_EQ(editor.allBalls.size(), 1u);
    keyDown(keyP);
    frames(1);
    keyUp(keyP);
    EXPECT_EQ(editor.mode, 1);
    ASSERT_EQ(editor.allBalls.size(), 2u);
    EXPECT_NEAR(editor.allBalls[1]->screenX, 100.0, 1e-9);
    EXPECT_NEAR(editor.allBalls[1]->screenY, 100.0, 1e-9);
}

TEST_F(tools, pIsAPressNotAHeldKey) {
    placeAt(390, 350);
    keyDown(keyP);
    frames(5);
    EXPECT_EQ(editor.mode, -1);
    keyUp(keyP);
    keyDown(keyP);
    keyUp(keyP);
    frames(1);
    EXPECT_EQ(editor.mode, 1);
}

TEST_F(tools, nothingHappensOverTheToolbar) {
    placeAt(200, 300);
    editor.selectedBall = nullptr;
    clickAt(779, 300);
    EXPECT_EQ(editor.allBalls.size(), 2u);  // x = 779 is still drawing area
    for (int x : {780, 900}) {
        moveTo(x, 315);  // between the toolbar's rows
        down();
        frames(2);
        EXPECT_EQ(editor.hoverBall, nullptr);
        EXPECT_EQ(editor.hoverLink, nullptr);
        EXPECT_EQ(editor.linkDragActive, 0);
        up();
        frames(1);
    }
    EXPECT_EQ(editor.allBalls.size(), 2u);
}

TEST_F(tools, controlEditsReachOnlyActiveObjectsAndSpareTheMainBall) {
    ball* main = placeMainBall(200, 300);
    ball* a = placeAt(300, 300);
    placeAt(500, 300);
    dragFromTo(300, 300, 500, 300);
    keyDown(keyV);
    dragFromTo(300, 300, 200, 300);
    keyUp(keyV);
    ball* far = placeAt(600, 300);
    far->x = 100000.0;  // out of view from the next active-set rebuild on
    far->anchorX = far->x;
    frames(2);
    struct row {
        int key;
        entityKind kind;
    };
    keyDown(keyLeftControl);
    for (row r : {row{'D', entityKind::damaging}, row{'B', entityKind::background}, row{'N', entityKind::normal}}) {
        keyDown(r.key);
        frames(1);
        keyUp(r.key);
        EXPECT_EQ(a->kind, r.kind);
        EXPECT_EQ(editor.allLinks[0]->kind, r.kind);
        EXPECT_EQ(main->kind, entityKind::normal);
        EXPECT_EQ(far->kind, entityKind::normal);
        EXPECT_EQ(editor.virtualLinks[0]->kind, entityKind::virtualLink);
    }
    keyDown('R');
    frames(1);
    keyUp('R');
    EXPECT_EQ(a->anchored, 0);
    EXPECT_EQ(far->anchored, 1);
    a->x += 5;  // the anchor is where the ball is when it is pinned again
    const double pinnedAt = a->x;
    keyDown('A');
    frames(1);
    keyUp('A');
    keyUp(keyLeftControl);
    EXPECT_EQ(a->anchored, 1);
    EXPECT_EQ(a->anchorX, pinnedAt);
}

TEST_F(tools, mainBallRulesAndArrowKeysInPlayMode) {
    ball* main = placeAt(390, 350);
    main->radius = 50;
    main->kind = entityKind::damaging;
    frames(1);
    EXPECT_EQ(main->radius, 20.0);
    EXPECT_EQ(main->kind, entityKind::normal);
    EXPECT_EQ(main->anchored, 0);
    // Draw mode: the arrows and Space do nothing.
    keyDown(keySpace);
    frames(1);
    EXPECT_EQ(editor.jumpState, 0);
    keyUp(keySpace);
    keyDown(keyP);
    frames(1);
    keyUp(keyP);
    ASSERT_EQ(editor.mode, -1);
    editor.jumpState = -3;
    keyDown(keySpace);
    frames(2);
    EXPECT_EQ(editor.jumpState, -1);
    frames(1);
    EXPECT_EQ(editor.jumpState, 1);  // -1 + 1 is 0: Space then asks for a jump
    keyUp(keySpace);
}

TEST_F(tools, aDragFromABallDeletedInTheSameFrameMakesNoLink) {
    placeMainBall(100, 100);
    for (bool virtualLink : {false, true}) {
        ball* a = placeAt(200, 300);
        // Delete acts in the command step, before the link tool finds the
        // ball, which is still in this frame's active list, under the press.
        keyDown(keyDelete);
        moveTo(200, 300);
        down();
        frames(1);
        keyUp(keyDelete);
        ASSERT_TRUE(a->dead);
        ASSERT_EQ(editor.linkDragActive, 1);
        ASSERT_EQ(editor.linkEnds[0], a);
        if (virtualLink) keyDown(keyV);
        moveTo(500, 300);
        frames(1);
        up();
        frames(1);
        keyUp(keyV);
        EXPECT_EQ(editor.allBalls.size(), 2u) << virtualLink;  // the ball under the release is placed
        EXPECT_TRUE(editor.allLinks.empty()) << virtualLink;
        EXPECT_TRUE(editor.virtualLinks.empty()) << virtualLink;
        editor.deleteBall(editor.allBalls.back(), 1);
        frames(1);
    }
}
