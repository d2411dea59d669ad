// The structure derived from the master lists: bodies (balls joined by
// links), body pairs (declared by virtual links), clusters (bodies joined by
// pairs), the tensions generated at every joint, and the removal of balls and
// links with everything that depends on them.
//
// Components are found with union-find and numbered by first occurrence, in
// time near-linear in balls + links + virtual links; the numbers, orders and
// members are those of the repeated flood fill this replaces.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <unordered_set>
#include <vector>

#include "app/editorState.h"
#include "physics/boxes.h"
#include "physics/geometry.h"

namespace tumbla {

namespace {

constexpr int tensionsPerNeighbour = 3;
constexpr double worldLimit = 3333333.0;
constexpr double worldFloor = 3000.0;

struct disjointSets {
    std::vector<int> parent;
    explicit disjointSets(int n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    int find(int i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    }
    void unite(int a, int b) {
        a = find(a);
        b = find(b);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
    }
};

// Numbers the sets 1, 2, ... in the order of their first member.
std::vector<int> numberByFirstMember(disjointSets& sets, int& count) {
    const int n = static_cast<int>(sets.parent.size());
    std::vector<int> numberOfRoot(n, 0), number(n);
    count = 0;
    for (int i = 0; i < n; ++i) {
        int& r = numberOfRoot[sets.find(i)];
        if (r == 0) r = ++count;
        number[i] = r;
    }
    return number;
}

// Replaces the list with count new records numbered 1 to count, boxes empty.
template <typename T>
void appendNumbered(std::vector<T*>& list, int count) {
    list.reserve(count);
    for (int i = 1; i <= count; ++i) {
        T* e = new T;
        e->number = i;
        emptyBox(*e);
        list.push_back(e);
    }
}

// Index of a ball in allBalls, or -1; valid after indexBalls.
int indexIn(const std::vector<ball*>& balls, const ball* b) {
    const int s = b->scratch;
    return s >= 0 && s < static_cast<int>(balls.size()) && balls[s] == b ? s : -1;
}

void indexBalls(const std::vector<ball*>& balls) {
    for (std::size_t i = 0; i < balls.size(); ++i) balls[i]->scratch = static_cast<int>(i);
}

// Removes, in one pass keeping the order, the elements the test picks, and
// retires them.
template <typename T, typename Pick>
void removeAndRetire(editorState& ed, std::vector<T*>& list, Pick pick) {
    std::size_t kept = 0;
    for (T* e : list) {
        if (pick(e))
            ed.retire(e);
        else
            list[kept++] = e;
    }
    list.resize(kept);
}

template <typename T>
bool removeFirst(std::vector<T*>& list, T* e) {
    auto it = std::find(list.begin(), list.end(), e);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

// Removes the balls already retired (marked dead) from allBalls, and every
// link, virtual link and tension that names one of them: the lists that
// removing the balls one by one would leave, in one pass over each list.
void removeDeadBalls(editorState& ed) {
    auto deadLink = [](link* l) { return l->ballA->dead || l->ballB->dead; };
    std::size_t kept = 0;
    for (ball* b : ed.allBalls)
        if (!b->dead) ed.allBalls[kept++] = b;
    ed.allBalls.resize(kept);
    // Room for the worst case up front: growing the lists of retired
    // entities while retiring a million of them costs more than the rest.
    ed.reserveRetired(ed.allLinks.size() + ed.virtualLinks.size(), ed.allTensions.size());
    if (kept == 0) {
        // No ball is left, so everything that names a ball goes: no need to
        // look at the balls of each link and tension.
        removeAndRetire(ed, ed.allLinks, [](link*) { return true; });
        removeAndRetire(ed, ed.virtualLinks, [](link*) { return true; });
        removeAndRetire(ed, ed.allTensions, [](tension*) { return true; });
        return;
    }
    removeAndRetire(ed, ed.allLinks, deadLink);
    removeAndRetire(ed, ed.virtualLinks, deadLink);
    removeAndRetire(ed, ed.allTensions, [](tension* t) {
        return t->ballA->dead || t->centre->dead || t->ballB->dead;
    });
}

double arcDegrees(const ball* from, const ball* to) {
    return atan2Degrees(to->y - from->y, -(to->x - from->x));
}

}  // namespace

void editorState::regroup() {
    const int n = static_cast<int>(allBalls.size());
    indexBalls(allBalls);

    // Bodies: balls joined by chains of links.
    disjointSets ballSets(n);
    for (const link* l : allLinks) {
        const int a = indexIn(allBalls, l->ballA), b = indexIn(allBalls, l->ballB);
        if (a >= 0 && b >= 0) ballSets.unite(a, b);
    }
    int bodyCount = 0;
    const std::vector<int> bodyOf = numberByFirstMember(ballSets, bodyCount);

    retireDerived();
    appendNumbered(bodies, bodyCount);
    for (int i = 0; i < n; ++i) {
        ball* b = allBalls[i];
        body* bd = bodies[bodyOf[i] - 1];
        b->bodyNumber = bodyOf[i];
        b->body = bd;
        bd->balls.push_back(b);
        widenBox(*bd, *b);
    }
    for (link* l : allLinks)
        if (indexIn(allBalls, l->ballA) >= 0) l->ballA->body->links.push_back(l);

    // Pairs: one per unordered pair of bodies, in order of first declaration.
    std::unordered_set<std::uint64_t> paired;
    disjointSets bodySets(bodyCount);
    for (const link* v : virtualLinks) {
        if (indexIn(allBalls, v->ballA) < 0 || indexIn(allBalls, v->ballB) < 0) continue;
        body* a = v->ballA->body;
        body* b = v->ballB->body;
        const std::uint64_t low = std::min(a->number, b->number), high = std::max(a->number, b->number);
        if (!paired.insert(low << 32 | high).second) continue;
        bodyPair* p = new bodyPair;
        p->bodyA = a;
        p->bodyB = b;
        bodyPairs.push_back(p);
        bodySets.unite(a->number - 1, b->number - 1);
    }

    // Clusters: bodies joined by pairs.
    int clusterCount = 0;
    const std::vector<int> clusterOf = numberByFirstMember(bodySets, clusterCount);
    appendNumbered(clusters, clusterCount);
    for (int i = 0; i < bodyCount; ++i) {
        body* bd = bodies[i];
        cluster* c = clusters[clusterOf[i] - 1];
        bd->clusterNumber = clusterOf[i];
        c->bodies.push_back(bd);
        widenBoxByBox(*c, *bd);
    }
}

void editorState::rebuildTensions(int g) {
    removeAndRetire(*this, allTensions, [g](tension* t) { return t->ballA->bodyNumber == g; });

    // The joints, and each joint's neighbours in the order of allLinks (a
    // link from a joint to itself names it twice, as the joint's own list
    // would; such entries never form a tension).
    std::vector<ball*> joints;
    for (ball* b : allBalls)
        if (b->bodyNumber == g) {
            b->scratch = static_cast<int>(joints.size());
            joints.push_back(b);
        }
    if (joints.empty()) return;
    const int nj = static_cast<int>(joints.size());
    auto jointIndex = [&](const ball* b) { return indexIn(joints, b); };
    std::vector<int> start(nj + 1, 0);
    for (const link* l : allLinks) {
        const int a = jointIndex(l->ballA), b = jointIndex(l->ballB);
        if (a >= 0) ++start[a + 1];
        if (b >= 0) ++start[b + 1];
    }
    for (int i = 0; i < nj; ++i) start[i + 1] += start[i];
    std::vector<ball*> neighbours(start[nj]);
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (link* l : allLinks) {
        const int a = jointIndex(l->ballA), b = jointIndex(l->ballB);
        if (a >= 0) neighbours[fill[a]++] = l->ballB;
        if (b >= 0) neighbours[fill[b]++] = l->ballA;
    }

    // Each joint counts from zero; only its neighbours' counts are read, so
    // only they are cleared, after the joint (the last joint's counts stay,
    // as they would if all balls were cleared before each joint).
    for (ball* b : allBalls) b->tensionCount = 0;
    std::vector<double> inAngle, outAngle;  // per neighbour: P->J and J->P, on first use
    for (int j = 0; j < nj; ++j) {
        ball* joint = joints[j];
        ball* const* first = neighbours.data() + start[j];
        const int count = start[j + 1] - start[j];
        inAngle.assign(count, NAN);
        outAngle.assign(count, NAN);
        for (int p = 0; p < count; ++p) {
            ball* bp = first[p];
            for (int q = 0; q < count; ++q) {
                ball* bq = first[q];
                if (bp == bq || bp == joint || bq == joint || !(bp->number < bq->number)) continue;
                if (!(bp->tensionCount < tensionsPerNeighbour || bq->tensionCount < tensionsPerNeighbour))
                    continue;
                ++bp->tensionCount;
                ++bq->tensionCount;
                if (std::isnan(inAngle[p])) inAngle[p] = arcDegrees(bp, joint);
                if (std::isnan(outAngle[q])) outAngle[q] = arcDegrees(joint, bq);
                tension* t = newTension();
                t->ballA = bp;
                t->centre = joint;
                t->ballB = bq;
                t->strength = joint->angleStrength;
                t->restAngle = wrapAngle360(inAngle[p] - outAngle[q] + 180.0);
                allTensions.push_back(t);
            }
        }
        if (j + 1 < nj)
            for (int p = 0; p < count; ++p) first[p]->tensionCount = 0;
    }
}

void editorState::deleteBall(ball* b, int regroupFlag) {
    if (!b) return;
    if (removeFirst(allBalls, b)) retire(b);
    removeAndRetire(*this, allLinks, [b](link* l) { return l->ballA == b || l->ballB == b; });
    removeAndRetire(*this, virtualLinks, [b](link* l) { return l->ballA == b || l->ballB == b; });
    removeAndRetire(*this, allTensions, [b](tension* t) {
        return t->ballA == b || t->centre == b || t->ballB == b;
    });
    if (regroupFlag != 0) regroup();
}

void editorState::deleteLink(link* l) {
    if (!l) return;
    if (l->kind == entityKind::virtualLink) {
        if (removeFirst(virtualLinks, l)) retire(l);
        regroup();
        return;
    }
    if (removeFirst(allLinks, l)) retire(l);
    // Tensions that use the link as an arm, in either direction.
    auto isArm = [l](const ball* u, const ball* v) {
        return (u == l->ballA && v == l->ballB) || (u == l->ballB && v == l->ballA);
    };
    removeAndRetire(*this, allTensions, [&](tension* t) {
        return isArm(t->ballA, t->centre) || isArm(t->centre, t->ballB);
    });
    regroup();
}

void editorState::deleteVisible() {
    for (ball* b : activeBalls)
        if (b != mainBall) retire(b);
    removeDeadBalls(*this);
    regroup();
}

void editorState::clearScene() {
    for (ball* b : allBalls) retire(b);
    removeDeadBalls(*this);
    regroup();
    viewCentreX = 0.0;
    viewCentreY = 350.0;
    zoom = 1.0;
    newLinkWidth = 6.0;
    newAngleStrength = 300.0;
    newBallAnchored = 1;
    newBallSize = 20.0;
    newBallMass = 1.0;
    currentFileName = "";
}

void editorState::removeStrayBalls() {
    // Balls that fell out of the world, and (a ball no longer finite has no
    // place in it) balls whose position is not finite, the main ball too.
    bool any = false;
    for (ball* b : allBalls) {
        const bool stray = std::fabs(b->x) > worldLimit || std::fabs(b->y) > worldLimit ||
                           (b->y > worldFloor && b != mainBall) || !std::isfinite(b->x) ||
                           !std::isfinite(b->y);
        if (stray) {
            retire(b);
            any = true;
        }
    }
    if (!any) return;
    removeDeadBalls(*this);
    regroup();
}

}  // namespace tumbla
