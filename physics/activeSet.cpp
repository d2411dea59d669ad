// Once per frame: which clusters overlap the visible world rectangle, and
// from them the active lists that the physics and the drawing walk.
#include <algorithm>

#include "app/editorState.h"
#include "physics/boxes.h"

namespace tumbla {

void editorState::activateBodies() {
    activeBalls.clear();
    activeTensions.clear();
    activeLinks.clear();
    activeBodies.clear();
    activeBodyPairs.clear();
    for (ball* b : allBalls) b->active = 0;

    for (body* bd : bodies) {
        bd->active = false;
        emptyBox(*bd);
        for (const ball* b : bd->balls) widenBox(*bd, *b);
    }
    for (cluster* c : clusters) {
        emptyBox(*c);
        for (const body* bd : c->bodies) widenBoxByBox(*c, *bd);
    }
    for (cluster* c : clusters) {
        if (!(c->maxX > viewLeft && c->minX < viewRight && c->maxY > viewTop && c->minY < viewBottom))
            continue;
        for (body* bd : c->bodies) {
            activeBodies.push_back(bd);
            bd->active = true;
        }
    }
    for (bodyPair* p : bodyPairs)
        if (p->bodyA->active) activeBodyPairs.push_back(p);
    for (body* bd : activeBodies)
        for (ball* b : bd->balls) {
            // A ball removed without a regroup after it must not come back.
            if (b->dead) continue;
            b->active = 1;
            activeBalls.push_back(b);
        }
    for (link* l : allLinks)
        if (l->ballA->active != 0) activeLinks.push_back(l);
    for (tension* t : allTensions)
        if (t->ballA->active != 0) activeTensions.push_back(t);
}

}  // namespace tumbla
