// Bodies, pairs, clusters, generated tensions and removal: the cases worth
// naming, and random figures against a literal transcription of the flood
// fills and the tension generation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "app/editorState.h"
#include "physics/geometry.h"
#include "platform/headless/headlessPlatform.h"
#include "tests/support/figures.h"
#include "tools/runner.h"

using namespace tumbla;

namespace {

struct fixture {
    headlessPlatform io;
    editorState ed{io};
    fixture() { prepareHeadlessEditor(ed, io, 1); }
    ball* at(double x, double y) { return figures::addBall(ed, x, y); }
};

// ---- Literal transcription of the written structure algorithms ----

struct refStructure {
    std::vector<int> bodyNumber;              // per ball of allBalls
    std::vector<std::vector<int>> bodyLinks;  // link indices per body
    std::vector<std::pair<int, int>> pairs;   // body numbers A, B
    std::vector<int> clusterNumber;           // per body
};

refStructure literalRegroup(const editorState& ed) {
    const auto& balls = ed.allBalls;
    auto idx = [&](const ball* b) { return int(std::find(balls.begin(), balls.end(), b) - balls.begin()); };
    refStructure r;
    r.bodyNumber.assign(balls.size(), 0);
    int n = 0;
    for (std::size_t i = 0; i < balls.size(); ++i) {
        if (r.bodyNumber[i] != 0) continue;
        r.bodyNumber[i] = ++n;
        for (std::size_t rep = 0; rep < balls.size(); ++rep)
            for (const tumbla::link* l : ed.allLinks) {
                const int a = idx(l->ballA), b = idx(l->ballB);
                if (r.bodyNumber[a] != 0) r.bodyNumber[b] = r.bodyNumber[a];
                if (r.bodyNumber[b] != 0) r.bodyNumber[a] = r.bodyNumber[b];
            }
    }
    r.bodyLinks.assign(n, {});
    for (int body = 1; body <= n; ++body)
        for (std::size_t k = 0; k < ed.allLinks.size(); ++k)
            if (r.bodyNumber[idx(ed.allLinks[k]->ballA)] == body) r.bodyLinks[body - 1].push_back(int(k));
    for (const tumbla::link* v : ed.virtualLinks) {
        const int a = r.bodyNumber[idx(v->ballA)], b = r.bodyNumber[idx(v->ballB)];
        bool seen = false;
        for (auto& p : r.pairs) seen = seen || (p.first == a && p.second == b) || (p.first == b && p.second == a);
        if (!seen) r.pairs.push_back({a, b});
    }
    r.clusterNumber.assign(n, 0);
    int k = 0;
    for (int i = 0; i < n; ++i) {
        if (r.clusterNumber[i] != 0) continue;
        r.clusterNumber[i] = ++k;
        for (int rep = 0; rep < n; ++rep)
            for (auto& p : r.pairs) {
                if (r.clusterNumber[p.first - 1] != 0) r.clusterNumber[p.second - 1] = r.clusterNumber[p.first - 1];
                if (r.clusterNumber[p.second - 1] != 0) r.clusterNumber[p.first - 1] = r.clusterNumber[p.second - 1];
            }
    }
    return r;
}

using tensionRow = std::tuple<const ball*, const ball*, const ball*, double, double>;

// The tensions rebuildTensions(g) appends, generated the written way.
std::vector<tensionRow> literalTensions(const editorState& ed, int g) {
    std::vector<tensionRow> out;
    std::vector<int> count(ed.allBalls.size());
    auto idx = [&](const ball* b) { return int(std::find(ed.allBalls.begin(), ed.allBalls.end(), b) - ed.allBalls.begin()); };
    for (const ball* j : ed.allBalls) {
        if (j->bodyNumber != g) continue;
        std::fill(count.begin(), count.end(), 0);
        std::vector<const ball*> nb;
        for (const tumbla::link* l : ed.allLinks) {
            if (l->ballA == j) nb.push_back(l->ballB);
            if (l->ballB == j) nb.push_back(l->ballA);
        }
        for (const ball* p : nb)
            for (const ball* q : nb) {
                if (p == q || p == j || q == j || !(p->number < q->number)) continue;
                if (!(count[idx(p)] < 3 || count[idx(q)] < 3)) continue;
                ++count[idx(p)], ++count[idx(q)];
                const double a1 = std::atan2(j->y - p->y, -(j->x - p->x)) * 57.29577951308232;
                const double a2 = std::atan2(q->y - j->y, -(q->x - j->x)) * 57.29577951308232;
                out.emplace_back(p, j, q, j->angleStrength, wrapAngle360(a1 - a2 + 180.0));
            }
    }
    return out;
}

// A random figure: balls with shuffled numbers (some equal), random links
// (some to the same ball twice, a few self-links), random virtual links.
void randomFigure(editorState& ed, std::mt19937& rng, int balls, int links, int virtuals) {
    std::uniform_real_distribution<double> pos(-200, 200);
    for (int i = 0; i < balls; ++i) figures::addBall(ed, pos(rng), pos(rng));
    std::uniform_int_distribution<int> pick(0, balls - 1);
    for (ball* b : ed.allBalls) b->number = pick(rng);
    for (int i = 0; i < links; ++i) figures::addLink(ed, ed.allBalls[pick(rng)], ed.allBalls[pick(rng)]);
    for (int i = 0; i < virtuals; ++i)
        figures::addVirtualLink(ed, ed.allBalls[pick(rng)], ed.allBalls[pick(rng)]);
}

TEST(physicsStructure, regroupMatchesTheFloodFillOnRandomFigures) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        fixture f;
        randomFigure(f.ed, rng, 1 + round % 23, round % 31, round % 7);
        const refStructure r = literalRegroup(f.ed);
        f.ed.regroup();
        const auto& ed = f.ed;
        ASSERT_EQ(ed.bodies.size(), r.bodyLinks.size());
        for (std::size_t i = 0; i < ed.allBalls.size(); ++i) {
            EXPECT_EQ(ed.allBalls[i]->bodyNumber, r.bodyNumber[i]);
            EXPECT_EQ(ed.allBalls[i]->body, ed.bodies[r.bodyNumber[i] - 1]);
        }
        for (std::size_t b = 0; b < ed.bodies.size(); ++b) {
            EXPECT_EQ(ed.bodies[b]->number, int(b) + 1);
            std::vector<ball*> members;
            for (std::size_t i = 0; i < ed.allBalls.size(); ++i)
                if (r.bodyNumber[i] == int(b) + 1) members.push_back(ed.allBalls[i]);
            EXPECT_EQ(ed.bodies[b]->balls, members);
            std::vector<tumbla::link*> links;
            for (int k : r.bodyLinks[b]) links.push_back(ed.allLinks[k]);
            EXPECT_EQ(ed.bodies[b]->links, links);
            EXPECT_EQ(ed.bodies[b]->clusterNumber, r.clusterNumber[b]);
        }
        ASSERT_EQ(ed.bodyPairs.size(), r.pairs.size());
        for (std::size_t p = 0; p < r.pairs.size(); ++p) {
            EXPECT_EQ(ed.bodyPairs[p]->bodyA->number, r.pairs[p].first);
            EXPECT_EQ(ed.bodyPairs[p]->bodyB->number, r.pairs[p].second);
        }
        for (std::size_t c = 0; c < ed.clusters.size(); ++c) {
            EXPECT_EQ(ed.clusters[c]->number, int(c) + 1);
            for (const body* b : ed.clusters[c]->bodies) EXPECT_EQ(b->clusterNumber, int(c) + 1);
        }
    }
}

TEST(physicsStructure, rebuildTensionsMatchesTheWrittenGeneration) {
    std::mt19937 rng(11);
    for (int round = 0; round < 30; ++round) {
        fixture f;
        randomFigure(f.ed, rng, 2 + round % 17, 3 * (round % 13), 0);
        auto& ed = f.ed;
        ed.regroup();
        for (const body* b : ed.bodies) ed.rebuildTensions(b->number);
        const int g = ed.allBalls[rng() % ed.allBalls.size()]->bodyNumber;
        std::vector<tension*> others;
        for (tension* t : ed.allTensions)
            if (t->ballA->bodyNumber != g) others.push_back(t);
        const std::vector<tensionRow> expected = literalTensions(ed, g);
        ed.rebuildTensions(g);
        ASSERT_EQ(ed.allTensions.size(), others.size() + expected.size());
        EXPECT_TRUE(std::equal(others.begin(), others.end(), ed.allTensions.begin()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const tension* t = ed.allTensions[others.size() + i];
            EXPECT_EQ(tensionRow(t->ballA, t->centre, t->ballB, t->strength, t->restAngle), expected[i]);
        }
    }
}

TEST(physicsStructure, namedCases) {
    {  // a ball without links is a body of its own
        fixture f;
        f.at(0, 0);
        f.at(50, 0);
        f.ed.regroup();
        EXPECT_EQ(f.ed.bodies.size(), 2u);
        EXPECT_EQ(f.ed.clusters.size(), 2u);
    }
    {  // two figures joined only by a virtual link: two bodies, one pair, one cluster
        fixture f;
        ball *a = f.at(0, 0), *b = f.at(10, 0), *c = f.at(100, 0), *d = f.at(110, 0);
        figures::addLink(f.ed, a, b);
        figures::addLink(f.ed, c, d);
        tumbla::link* v = figures::addVirtualLink(f.ed, b, c);
        f.ed.regroup();
        EXPECT_EQ(f.ed.bodies.size(), 2u);
        EXPECT_EQ(f.ed.bodyPairs.size(), 1u);
        EXPECT_EQ(f.ed.clusters.size(), 1u);
        f.ed.deleteLink(v);
        EXPECT_EQ(f.ed.bodyPairs.size(), 0u);
        EXPECT_EQ(f.ed.clusters.size(), 2u);
    }
    {  // three virtual links between two bodies, ends in various orders: one pair,
       // bodyA from the first of them
        fixture f;
        ball *a = f.at(0, 0), *b = f.at(100, 0);
        figures::addVirtualLink(f.ed, b, a);
        figures::addVirtualLink(f.ed, a, b);
        figures::addVirtualLink(f.ed, b, a);
        f.ed.regroup();
        ASSERT_EQ(f.ed.bodyPairs.size(), 1u);
        EXPECT_EQ(f.ed.bodyPairs[0]->bodyA, b->body);
        EXPECT_EQ(f.ed.bodyPairs[0]->bodyB, a->body);
    }
    {  // a virtual link inside one body pairs the body with itself
        fixture f;
        ball *a = f.at(0, 0), *b = f.at(10, 0);
        figures::addLink(f.ed, a, b);
        figures::addVirtualLink(f.ed, a, b);
        f.ed.regroup();
        ASSERT_EQ(f.ed.bodyPairs.size(), 1u);
        EXPECT_EQ(f.ed.bodyPairs[0]->bodyA, f.ed.bodyPairs[0]->bodyB);
    }
}

TEST(physicsStructure, tensionCounts) {
    struct row {
        const char* name;
        int neighbours;
        bool equalNumbers;
        std::size_t tensions;
    };
    for (row r : {row{"two neighbours", 2, false, 1}, row{"four neighbours", 4, false, 6},
                  row{"five neighbours", 5, false, 9}, row{"equal numbers", 2, true, 0}}) {
        fixture f;
        ball* j = f.at(0, 0);
        for (int i = 0; i < r.neighbours; ++i) {
            const double a = i * 1.1;
            figures::addLink(f.ed, j, f.at(40 * std::cos(a), 40 * std::sin(a)));
        }
        if (r.equalNumbers)
            for (ball* b : f.ed.allBalls) b->number = 1;
        f.ed.regroup();
        f.ed.rebuildTensions(1);
        EXPECT_EQ(f.ed.allTensions.size(), r.tensions) << r.name;
        if (r.tensions == 1) {
            EXPECT_EQ(f.ed.allTensions[0]->ballA, f.ed.allBalls[1]);
            EXPECT_EQ(f.ed.allTensions[0]->ballB, f.ed.allBalls[2]);
            EXPECT_EQ(f.ed.allTensions[0]->strength, j->angleStrength);
        }
    }
}

TEST(physicsStructure, deletingTheMiddleOfAChain) {
    fixture f;
    ball *a = f.at(0, 0), *b = f.at(30, 0), *c = f.at(60, 10);
    figures::addLink(f.ed, a, b);
    figures::addLink(f.ed, b, c);
    figures::finish(f.ed);
    ASSERT_EQ(f.ed.allTensions.size(), 1u);
    f.ed.deleteBall(b, 1);
    EXPECT_EQ(f.ed.allBalls, (std::vector<ball*>{a, c}));
    EXPECT_TRUE(f.ed.allLinks.empty());
    EXPECT_TRUE(f.ed.allTensions.empty());
    EXPECT_EQ(f.ed.bodies.size(), 2u);
}

TEST(physicsStructure, deleteLinkRemovesTheTensionsItIsAnArmOf) {
    fixture f;
    ball *a = f.at(0, 0), *b = f.at(30, 0), *c = f.at(60, 10), *d = f.at(30, 40);
    tumbla::link* ab = figures::addLink(f.ed, a, b);
    figures::addLink(f.ed, c, b);
    figures::addLink(f.ed, b, d);
    figures::addLink(f.ed, c, d);
    figures::finish(f.ed);
    f.ed.deleteLink(ab);
    for (const tension* t : f.ed.allTensions) {
        const bool usesAB = (t->ballA == a && t->centre == b) || (t->centre == a && t->ballB == b) ||
                            (t->ballA == b && t->centre == a) || (t->centre == b && t->ballB == a);
        EXPECT_FALSE(usesAB);
    }
    EXPECT_FALSE(f.ed.allTensions.empty());
    EXPECT_EQ(f.ed.bodies.size(), 2u);
}

// The removal of many balls at once leaves the lists that removing them one
// by one would leave.
TEST(physicsStructure, bulkRemovalEqualsOneByOne) {
    enum class how { visible, clear, stray };
    for (how h : {how::visible, how::clear, how::stray}) {
        fixture bulk, single;
        for (fixture* f : {&bulk, &single}) {
            std::mt19937 same(5);
            randomFigure(f->ed, same, 40, 60, 6);
            figures::finish(f->ed);
            for (std::size_t i = 0; i < f->ed.allBalls.size(); i += 3) f->ed.allBalls[i]->y = 3000.5 + i;
            f->ed.mainBall = f->ed.allBalls[3];
            f->ed.activeBalls.assign(f->ed.allBalls.begin(), f->ed.allBalls.begin() + 25);
        }
        auto snapshot = [](const editorState& ed) {
            std::vector<int> out;
            for (const ball* b : ed.allBalls) out.push_back(b->number);
            out.push_back(-1);
            for (const tumbla::link* l : ed.allLinks) out.push_back(l->ballA->number * 1000 + l->ballB->number);
            out.push_back(-1);
            for (const tumbla::link* l : ed.virtualLinks) out.push_back(l->ballA->number * 1000 + l->ballB->number);
            out.push_back(-1);
            for (const tension* t : ed.allTensions)
                out.push_back((t->ballA->number * 1000 + t->centre->number) * 1000 + t->ballB->number);
            out.push_back(int(ed.bodies.size()));
            return out;
        };
        std::vector<ball*> doomed;
        auto& s = single.ed;
        if (h == how::visible) {
            bulk.ed.deleteVisible();
            for (ball* b : s.activeBalls)
                if (b != s.mainBall) doomed.push_back(b);
        } else if (h == how::clear) {
            bulk.ed.clearScene();
            doomed = s.allBalls;
        } else {
            bulk.ed.removeStrayBalls();
            for (ball* b : s.allBalls)
                if (b->y > 3000.0 && b != s.mainBall) doomed.push_back(b);
        }
        for (ball* b : doomed) s.deleteBall(b, 0);
        s.regroup();
        EXPECT_EQ(snapshot(bulk.ed), snapshot(s)) << int(h);
    }
}

TEST(physicsStructure, strayBalls) {
    struct row {
        const char* name;
        double x, y;
        bool isMain;
        bool removed;
    };
    for (row r : {row{"half a unit below the floor", 0, 3000.5, false, true},
                  row{"on the floor", 0, 3000.0, false, false},
                  row{"main ball below the floor", 0, 3000.5, true, false},
                  row{"far to the side", 3333333.5, 0, false, true},
                  row{"main ball far above", 0, -3333334.0, true, true},
                  row{"not a number", std::nan(""), 0, true, true},
                  row{"infinite", 0, INFINITY, false, true}}) {
        fixture f;
        ball* other = f.at(0, 0);
        ball* b = f.at(r.x, r.y);
        figures::addLink(f.ed, other, b);
        figures::finish(f.ed);
        f.ed.mainBall = r.isMain ? b : other;
        f.ed.removeStrayBalls();
        const bool gone = std::find(f.ed.allBalls.begin(), f.ed.allBalls.end(), b) == f.ed.allBalls.end();
        EXPECT_EQ(gone, r.removed) << r.name;
        EXPECT_EQ(f.ed.allLinks.empty(), r.removed) << r.name;
        EXPECT_EQ(f.ed.bodies[0]->balls.size(), r.removed ? 1u : 2u) << r.name;
    }
}

TEST(physicsStructure, clearSceneRestoresTheDefaults) {
    fixture f;
    f.at(0, 0);
    f.ed.zoom = 3;
    f.ed.viewCentreX = 40;
    f.ed.newBallMass = 7;
    f.ed.currentFileName = "x";
    f.ed.clearScene();
    EXPECT_TRUE(f.ed.allBalls.empty());
    EXPECT_TRUE(f.ed.bodies.empty());
    EXPECT_EQ(f.ed.zoom, 1.0);
    EXPECT_EQ(f.ed.viewCentreX, 0.0);
    EXPECT_EQ(f.ed.viewCentreY, 350.0);
    EXPECT_EQ(f.ed.newBallMass, 1.0);
    EXPECT_EQ(f.ed.newBallSize, 20.0);
    EXPECT_EQ(f.ed.newLinkWidth, 6.0);
    EXPECT_EQ(f.ed.newAngleStrength, 300.0);
    EXPECT_EQ(f.ed.newBallAnchored, 1);
    EXPECT_EQ(f.ed.currentFileName, "");
}

TEST(physicsActiveSet, clustersInViewBecomeActive) {
    fixture f;
    auto& ed = f.ed;
    ed.viewLeft = 0, ed.viewRight = 100, ed.viewTop = 0, ed.viewBottom = 100;
    ball* touching = f.at(-15, 50);   // box right edge exactly on viewLeft
    ball* inside = f.at(50, 50);
    ball* partner = f.at(500, 50);    // out of view, paired with inside
    ball* outside = f.at(300, 300);
    figures::addVirtualLink(ed, inside, partner);
    figures::finish(ed);
    ed.activateBodies();
    EXPECT_EQ(ed.activeBalls, (std::vector<ball*>{inside, partner}));
    EXPECT_EQ(ed.activeBodyPairs.size(), 1u);
    EXPECT_EQ(touching->active, 0);
    EXPECT_EQ(outside->active, 0);
    EXPECT_EQ(ed.clusters[0]->maxX, 0.0);  // equal to viewLeft: not active

    fixture empty;
    empty.ed.activateBodies();
    EXPECT_TRUE(empty.ed.activeBalls.empty() && empty.ed.activeLinks.empty() &&
                empty.ed.activeTensions.empty() && empty.ed.activeBodies.empty() &&
                empty.ed.activeBodyPairs.empty());
}

}  // namespace
