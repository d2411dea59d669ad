// The history's parts alone: a snapshot restores every stored field to the
// bit without touching the random sequence, chunks are shared between
// snapshots, and the bounds drop the steps farthest from the present.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>

#include "app/editorState.h"
#include "platform/headless/headlessPlatform.h"
#include "tests/support/figures.h"

namespace tumbla {
namespace {

struct historyParts : ::testing::Test {
    headlessPlatform io;
    editorState ed{io};

    // Every ball field that lasts between frames, as bits.
    static std::vector<std::uint64_t> ballBits(const ball& b) {
        std::vector<std::uint64_t> v;
        for (double d : {b.angleStrength, b.anchorX, b.anchorY, b.mass, b.vx, b.vy, b.prevX, b.prevY, b.x, b.y,
                         b.radius, b.screenX, b.screenY, b.screenRadius})
            v.push_back(std::bit_cast<std::uint64_t>(d));
        for (int i : {b.rolls, b.anchored, b.number, static_cast<int>(b.kind), b.colour[0], b.colour[1], b.colour[2]})
            v.push_back(static_cast<std::uint64_t>(i));
        return v;
    }

    // A grid of linked balls with its tensions, ready to play.
    static void addGrid(editorState& e, int rows, int columns) {
        figures::gridSpec g;
        g.rows = rows;
        g.columns = columns;
        figures::addGrid(e, g);
        figures::finish(e);
    }

    static int indexOf(const std::vector<ball*>& balls, const ball* b) {
        return static_cast<int>(std::find(balls.begin(), balls.end(), b) - balls.begin());
    }
};

TEST_F(historyParts, restoreGivesBackEveryFieldAndOrderWithoutRandomNumbers) {
    // Odd values on purpose: -0.0, NaN, infinities, a repeated number, every kind.
    const double odd[] = {-0.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          5e-324, -1e300, 0.1};
    for (int i = 0; i < 600; ++i) {  // more than two chunks
        ball* b = figures::addBall(ed, i * 3.0 + odd[i % 6], -i * 0.5);
        b->vx = odd[(i + 1) % 6];
        b->vy = odd[(i + 2) % 6];
        b->kind = static_cast<entityKind>(i % 3);
        b->rolls = i % 2;
        b->anchored = i % 3 == 0;
        b->number = i % 7;
        b->screenX = i;
        b->screenRadius = odd[(i + 3) % 6];
    }
    for (int i = 0; i + 2 < 600; i += 2) {
        link* l = figures::addLink(ed, ed.allBalls[i + 2], ed.allBalls[i]);
        l->kind = static_cast<entityKind>(i % 4);
    }
    tension* t = new tension;
    t->ballA = ed.allBalls[5];
    t->centre = ed.allBalls[0];
    t->ballB = ed.allBalls[599];
    t->restAngle = -0.0;
    t->strength = odd[1];
    ed.allTensions.push_back(t);
    figures::addVirtualLink(ed, ed.allBalls[599], ed.allBalls[1])->width = odd[1];
    ed.currentFileName = "shown.fig";

    std::vector<std::vector<std::uint64_t>> balls;
    for (const ball* b : ed.allBalls) balls.push_back(ballBits(*b));
    figureSnapshot s;
    ed.captureFigure(s);
    const std::vector<ball*> oldBalls = ed.allBalls;
    const std::vector<link*> oldLinks = ed.allLinks;

    headlessPlatform twin(io);  // the same random sequence from here
    ed.restoreFigure(s);
    EXPECT_EQ(io.randomInt(0, 1 << 30), twin.randomInt(0, 1 << 30));

    ASSERT_EQ(ed.allBalls.size(), balls.size());
    for (std::size_t i = 0; i < balls.size(); ++i) {
        EXPECT_NE(ed.allBalls[i], oldBalls[i]);
        EXPECT_EQ(ballBits(*ed.allBalls[i]), balls[i]) << "ball " << i;
        EXPECT_EQ(ed.allBalls[i]->owner, &ed);
    }
    ASSERT_EQ(ed.allLinks.size(), oldLinks.size());
    for (std::size_t i = 0; i < oldLinks.size(); ++i) {
        const link& was = *oldLinks[i];
        const link& is = *ed.allLinks[i];
        EXPECT_EQ(indexOf(ed.allBalls, is.ballA), indexOf(oldBalls, was.ballA));
        EXPECT_EQ(indexOf(ed.allBalls, is.ballB), indexOf(oldBalls, was.ballB));
        EXPECT_EQ(is.kind, was.kind);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(is.restLength), std::bit_cast<std::uint64_t>(was.restLength));
        EXPECT_EQ(is.owner, &ed);
    }
    ASSERT_EQ(ed.allTensions.size(), 1u);
    EXPECT_EQ(ed.allTensions[0]->centre, ed.allBalls[0]);
    EXPECT_EQ(ed.allTensions[0]->ballB, ed.allBalls[599]);
    EXPECT_TRUE(std::signbit(ed.allTensions[0]->restAngle));
    EXPECT_TRUE(std::isnan(ed.allTensions[0]->strength));
    ASSERT_EQ(ed.virtualLinks.size(), 1u);
    EXPECT_EQ(ed.virtualLinks[0]->kind, entityKind::virtualLink);
    EXPECT_TRUE(std::isnan(ed.virtualLinks[0]->width));
    EXPECT_EQ(ed.mainBall, ed.allBalls[0]);
    EXPECT_EQ(ed.bodies.size(), 301u);  // regrouped: the chain of even balls, and each odd ball alone
}

// A snapshot of the figure that shares nothing with an earlier one.
figureSnapshot snapshotFromNothing(editorState& e) {
    e.history.last = figureSnapshot{};
    figureSnapshot fresh;
    e.captureFigure(fresh);
    return fresh;
}

// How many identity and value blocks of `now` are not in `before`.
template <typename List>
std::pair<int, int> blocksNotShared(const List& before, const List& now) {
    std::pair<int, int> fresh{0, 0};
    for (const auto& c : now.chunks) {
        bool identity = false, values = false;
        for (const auto& b : before.chunks) {
            identity = identity || b.identity == c.identity;
            values = values || b.values == c.values;
        }
        fresh.first += !identity;
        fresh.second += !values;
    }
    return fresh;
}

// A snapshot stores anew only the blocks around a change: a change of
// values shares every identity, and an entity added or removed anywhere in
// a list costs its own chunk only, the later chunks being found again.
TEST_F(historyParts, onlyTheBlocksAroundAChangeAreStoredAnew) {
    struct {
        const char* name;
        std::function<void(editorState&)> change;
        int newIdentities, newValues;  // at most
        bool linksShared;
    } cases[] = {
        {"one ball moved", [](editorState& e) { e.allBalls[3000]->x += 1; }, 0, 1, true},
        {"every ball resized", [](editorState& e) { for (ball* b : e.allBalls) b->radius *= 2; }, 0, 1000, true},
        {"a ball deleted near the start", [](editorState& e) { e.deleteBall(e.allBalls[2], 1); }, 2, 2, false},
        {"a ball placed first",
         [](editorState& e) {
             ball* b = e.newBall();
             e.allBalls.insert(e.allBalls.begin(), b);
         },
         2, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        headlessPlatform io2;
        editorState e{io2};
        addGrid(e, 50, 100);
        figureSnapshot before, after;
        e.captureFigure(before);
        c.change(e);
        e.noteChange();  // as the editing commands say before a change: read everything again
        e.captureFigure(after);
        ASSERT_GT(before.balls.chunks.size(), 10u);
        const auto balls = blocksNotShared(before.balls, after.balls);
        EXPECT_LE(balls.first, c.newIdentities);
        EXPECT_LE(balls.second, c.newValues);
        EXPECT_FALSE(before == after);
        if (c.linksShared) {
            EXPECT_EQ(blocksNotShared(before.links, after.links), std::make_pair(0, 0));
            EXPECT_EQ(blocksNotShared(before.tensions, after.tensions), std::make_pair(0, 0));
        } else {
            EXPECT_LE(blocksNotShared(before.links, after.links).first, 2);
            EXPECT_LE(blocksNotShared(before.tensions, after.tensions).first, 2);
        }
        // What was shared is what a snapshot from nothing gives.
        EXPECT_TRUE(snapshotFromNothing(e) == after);
    }
}

// The snapshot after an undo shares every block with the step undone, on a
// figure large enough to be read on two threads.
TEST_F(historyParts, theSnapshotAfterARestoreSharesEverything) {
    addGrid(ed, 60, 80);
    ASSERT_GE(ed.allTensions.size(), 20000u);
    figureSnapshot before;
    ed.captureFigure(before);
    ed.restoreFigure(before);
    ed.noteChange();
    figureSnapshot after;
    ed.captureFigure(after);
    EXPECT_EQ(blocksNotShared(before.balls, after.balls), std::make_pair(0, 0));
    EXPECT_EQ(blocksNotShared(before.links, after.links), std::make_pair(0, 0));
    EXPECT_EQ(blocksNotShared(before.tensions, after.tensions), std::make_pair(0, 0));
    ed.endFrameHistory();
}

// The serial numbers of a list of records, or of entities, in list order.
template <typename Fixed, typename Values>
std::vector<std::uint64_t> serialsOf(const recordList<Fixed, Values>& records) {
    std::vector<std::uint64_t> serials;
    records.forEach(
        [&](std::uint64_t serial, const Fixed&, const Values&) { serials.push_back(serial); });
    return serials;
}
template <typename E>
std::vector<std::uint64_t> serialsOf(const std::vector<E*>& entities) {
    std::vector<std::uint64_t> serials;
    for (const E* e : entities) serials.push_back(e->serial);
    return serials;
}

// A figure large enough that every list is cut into several pieces, read
// on two threads: the pieces join in list order, and a change near the
// start or near a cut between pieces stores anew only the chunks around it.
TEST_F(historyParts, listsReadInPiecesShareAcrossTheCuts) {
    addGrid(ed, 180, 200);
    ASSERT_GE(ed.allBalls.size(), 2 * 16384u);  // balls in two pieces at least, the other lists in more
    figureSnapshot before;
    ed.noteChange();
    ed.captureFigure(before);
    ed.endFrameHistory();
    struct {
        const char* name;
        std::function<void(editorState&)> change;
    } cases[] = {
        {"deleted near the start", [](editorState& e) { e.deleteBall(e.allBalls[5], 1); }},
        {"deleted just before the middle",
         [](editorState& e) { e.deleteBall(e.allBalls[e.allBalls.size() / 2 - 1], 1); }},
        {"placed in the middle",
         [](editorState& e) {
             ball* b = e.newBall();
             e.allBalls.insert(
                 e.allBalls.begin() + static_cast<std::ptrdiff_t>(e.allBalls.size() / 2), b);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.change(ed);
        ed.activateBodies();
        ed.collectGarbage();
        ed.noteChange();
        figureSnapshot after;
        ed.captureFigure(after);
        ed.endFrameHistory();
        EXPECT_EQ(serialsOf(after.balls), serialsOf(ed.allBalls));
        EXPECT_EQ(serialsOf(after.links), serialsOf(ed.allLinks));
        EXPECT_EQ(serialsOf(after.tensions), serialsOf(ed.allTensions));
        const auto balls = blocksNotShared(before.balls, after.balls);
        EXPECT_LE(balls.first, 2);
        EXPECT_LE(balls.second, 2);
        // A ball's links sit in the list near its own place and near that
        // of the ball above it in the grid; its tensions also near that of
        // the ball below.
        EXPECT_LE(blocksNotShared(before.links, after.links).first, 2);
        EXPECT_LE(blocksNotShared(before.tensions, after.tensions).first, 3);
        // The same records, in the same order, as a snapshot from nothing,
        // which the next snapshot then shares.
        before = snapshotFromNothing(ed);
        EXPECT_TRUE(before == after);
    }
}

// Entities made after a snapshot may take the addresses of entities freed
// since, at the same places in the lists: they must not pass for the old ones.
TEST_F(historyParts, anAddressTakenByANewEntityIsNotMistakenForTheOldOne) {
    for (int i = 0; i < 300; ++i) figures::addBall(ed, i * 40.0, 0);
    for (int i = 0; i + 1 < 300; ++i) figures::addLink(ed, ed.allBalls[i], ed.allBalls[i + 1]);
    figures::finish(ed);
    figureSnapshot before;
    ed.captureFigure(before);
    // The tensions made anew with other strengths, four times over: the
    // records freed in between are reused last in, first out, so the fourth
    // generation has the addresses of the first in the same order.
    for (ball* b : ed.allBalls) b->angleStrength += 1;
    ed.noteChange();
    ed.endFrameHistory();
    for (int generation = 0; generation < 4; ++generation) {
        ed.rebuildTensions(1);
        ed.activateBodies();
        ed.collectGarbage();
    }
    ed.noteChange();
    figureSnapshot shared;
    ed.captureFigure(shared);
    EXPECT_TRUE(shared.tensions == snapshotFromNothing(ed).tensions);
    EXPECT_FALSE(shared.tensions == before.tensions);
}

// Steps of known sizes: one ball record each, so every step costs the same.
struct boundedHistory : ::testing::Test {
    editHistory h;
    std::size_t stepBytes = 0;

    historyStep step(double x) {
        headlessPlatform io;
        editorState ed{io};
        figures::addBall(ed, x, 0);
        historyStep s;
        ed.captureFigure(s.figure);
        return s;
    }

    void fill(int undo, int redo) {
        for (int i = 0; i < undo; ++i) h.undoSteps.push_back(step(i));
        for (int i = 0; i < redo; ++i) h.redoSteps.push_back(step(100 + i));
    }
    double firstX(const std::deque<historyStep>& d) {
        double x = 0;
        d.front().figure.balls.forEach([&](std::uint64_t, const ballFixed&, const ballValues& r) { x = r.x; });
        return x;
    }
};

TEST_F(boundedHistory, roomIsMadeFromTheFarthestStepsOfTheChosenStackFirst) {
    struct {
        const char* name;
        bool redoFirst;
        std::size_t room;  // steps of room asked for, beyond the one new step
        std::size_t undoLeft, redoLeft;
    } cases[] = {
        {"undo first", false, 2, 3, 3},
        {"redo first", true, 2, 5, 1},
        {"into the other stack", false, 6, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        h.clear();
        const std::size_t empty = h.bytes();
        fill(5, 3);
        const std::size_t each = (h.bytes() - empty) / 8;
        h.byteLimit = h.bytes();
        ASSERT_TRUE(h.makeRoom(c.room * each - 1, c.redoFirst));
        EXPECT_EQ(h.undoSteps.size(), c.undoLeft);
        EXPECT_EQ(h.redoSteps.size(), c.redoLeft);
        if (c.undoLeft) {
            EXPECT_EQ(firstX(h.undoSteps), 5.0 - c.undoLeft);
        }
        if (c.redoLeft) {
            EXPECT_EQ(firstX(h.redoSteps), 103.0 - c.redoLeft);
        }
    }
    h.clear();
    h.byteLimit = 10;
    EXPECT_FALSE(h.makeRoom(11, false));  // more than the whole budget
}

TEST_F(boundedHistory, committingKeepsTheCountBound) {
    h.stepLimit = 4;
    fill(4, 2);
    h.pending = step(50);
    h.hasPending = true;
    h.commitPending();
    EXPECT_TRUE(h.redoSteps.empty());
    ASSERT_EQ(h.undoSteps.size(), 4u);
    EXPECT_EQ(firstX(h.undoSteps), 1.0);
}

}  // namespace
}  // namespace tumbla
