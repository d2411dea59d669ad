// Cost of the undo history on a large figure.
//
//   build/history_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The figure: a 250 x 400 grid of 100,000 balls linked along rows and columns
// (199,350 links), its tensions generated, and 1,000 virtual links.
//   recordStep: the frame of a change takes a snapshot and keeps it as an
//     undo step (five kinds of change, below); once the history reaches its
//     memory bound, older steps are dropped as new ones come.
//   firstStep: the first step after opening the figure, which stores all
//     of it.
//   undoRedo: one undo and one redo, each snapshotting the figure as it is
//     and rebuilding the other one (retired entities freed as a frame does).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>

#include "app/editorState.h"
#include "bench/benchWorld.h"
#include "editing/view.h"
#include "tests/support/figures.h"

using namespace tumbla;

namespace {

using world = benchWorld;

std::unique_ptr<world> makeBigFigure() {
    auto w = std::make_unique<world>();
    editorState& ed = w->ed;
    figures::gridSpec g;
    g.rows = 250;
    g.columns = 400;
    g.spacing = 30;
    figures::addGrid(ed, g);
    for (int i = 0; i < 1000; ++i)
        figures::addVirtualLink(ed, ed.allBalls[i * 97], ed.allBalls[(i * 89 + 5000) % 100000]);
    figures::finish(ed);
    ed.mode = 1;
    return w;
}

world& bigFigure() {
    static auto w = makeBigFigure();
    return *w;
}

// One frame with a change: the snapshot before it becomes an undo step.
// Arg 0: a change of balls only (placing, anchoring, a ball size row): the
//   links and tensions are not read, the ball records are compared with the
//   previous step's and shared.
// Arg 1: a change that may add or remove anything and alter links (a kind,
//   a link, deleting) but alters little: balls and links are read and
//   compared, tensions found by address, little is stored.
// Arg 2: a change of every ball, link and tension ("Resize Everything"):
//   the changed values of everything are stored anew.
// Arg 3: one ball deleted near the start of the list, with its links and
//   tensions, as when something is deleted by mistake: every later record
//   moves up by one place.
// Arg 4: the step after an undo: the figure is the one the undo rebuilt.
enum stepKind { ballsOnly, structureTouched, resizeEverything, deleteNearStart, afterUndo };

void changeBetweenSteps(world& w, stepKind kind, benchmark::IterationCount i) {
    switch (kind) {
        case resizeEverything: {
            const double f = (i % 2) ? valueStep : 1.0 / valueStep;
            for (ball* b : w.ed.allBalls) b->radius *= f;
            for (tumbla::link* l : w.ed.allLinks) l->restLength *= f;
            for (tension* t : w.ed.allTensions) t->strength *= f;
            break;
        }
        case deleteNearStart:
            w.ed.deleteBall(w.ed.allBalls[1 + i % 1000], 1);
            break;
        case afterUndo:
            w.ed.undo();
            break;
        default: break;
    }
    // The entities a deletion or an undo replaced are freed, as a frame does.
    w.ed.activateBodies();
    w.ed.collectGarbage();
}

void recordStep(benchmark::State& state) {
    world& w = bigFigure();
    w.ed.history.clear();
    // The first step stores the whole figure in fresh memory (not measured
    // here); the steps measured follow one.
    w.ed.noteChange();
    w.ed.endFrameHistory();
    const auto kind = static_cast<stepKind>(state.range(0));
    for (auto _ : state) {
        if (kind == ballsOnly)
            w.ed.noteBallChange();
        else if (kind == resizeEverything)
            w.ed.noteHeldChange(heldResizeRow);
        else
            w.ed.noteChange();
        w.ed.endFrameHistory();
        state.PauseTiming();
        w.ed.endFrameHistory();  // a frame without the hold: the next press is a new step
        changeBetweenSteps(w, kind, state.iterations());
        state.ResumeTiming();
    }
    const editHistory& h = w.ed.history;
    state.counters["balls"] = static_cast<double>(w.ed.allBalls.size());
    state.counters["tensions"] = static_cast<double>(w.ed.allTensions.size());
    state.counters["steps"] = static_cast<double>(h.undoSteps.size());
    state.counters["MB"] = static_cast<double>(h.bytes()) / (1 << 20);
}
// A fixed count: the changes between the steps (an undo rebuilds the figure)
// take far longer than the steps.
BENCHMARK(recordStep)->DenseRange(0, 4)->Iterations(60)->Unit(benchmark::kMillisecond);

// The first step after a large figure is opened: nothing of it is stored
// yet, so the whole figure is stored anew (about 50 MB). Between the steps
// the history is emptied again and its memory given back to the system, so
// that the step writes into fresh pages, as after opening a figure.
void firstStep(benchmark::State& state) {
    world& w = bigFigure();
    for (auto _ : state) {
        state.PauseTiming();
        w.ed.history.clear();
        malloc_trim(0);
        state.ResumeTiming();
        w.ed.noteChange();
        w.ed.endFrameHistory();
    }
    state.counters["MB"] = static_cast<double>(w.ed.history.bytes()) / (1 << 20);
}
BENCHMARK(firstStep)->Iterations(10)->Unit(benchmark::kMillisecond);

void undoRedo(benchmark::State& state) {
    world& w = bigFigure();
    w.ed.history.clear();
    w.ed.noteChange();
    w.ed.endFrameHistory();
    for (auto _ : state) {
        w.ed.undo();
        w.ed.redo();
        w.ed.activateBodies();
        w.ed.collectGarbage();
    }
}
BENCHMARK(undoRedo)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
