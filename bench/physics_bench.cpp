// Speed of the physics on large figures.
//
//   build/physics_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
//
// reports, besides mean and median, the least time of the repetitions.
//
// The reference figure: a 100 x 100 grid of free balls (radius 6, spacing 30,
// mass 1, angle strength 300) linked along rows and columns, turned by 30
// degrees, its tensions generated, in view, in Play mode.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/editorState.h"
#include "bench/benchWorld.h"
#include "physics/atan2Wide.h"
#include "physics/geometry.h"
#include "tests/support/figures.h"

using namespace tumbla;

namespace {

using world = benchWorld;

std::unique_ptr<world> referenceFigure(int threads) {
    auto w = std::make_unique<world>();
    figures::addReferenceGrid(w->ed);
    w->ed.physicsThreads = threads;
    w->ed.mode = -1;
    w->ed.mainBall = w->ed.allBalls.front();
    w->ed.updateView();
    return w;
}

// The least of the repetitions: the figure least disturbed by other work.
double least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Runs frame() once per iteration on the reference figure, made afresh
// (untimed) every 300 frames. The first frame of a new figure, which also
// finds its bodies and indexes the solver's lists, is left untimed too: the
// figures are those of a running Play mode.
template <typename Frame>
void onReferenceFigure(benchmark::State& state, Frame frame) {
    std::unique_ptr<world> w;
    int frames = 300;
    for (auto _ : state) {
        if (frames == 300) {
            state.PauseTiming();
            w = referenceFigure(static_cast<int>(state.range(0)));
            frame(*w);
            frames = 1;
            state.ResumeTiming();
        }
        frame(*w);
        ++frames;
    }
}

// One whole frame of the editor (recorded drawing off).
void playFrame(benchmark::State& state) {
    onReferenceFigure(state, [](world& w) {
        w.io.clock += 16;
        w.ed.runFrame();
    });
}
BENCHMARK(playFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", least);

// The physics steps of a frame alone: active set, masses, physicsStep.
void physicsFrame(benchmark::State& state) {
    onReferenceFigure(state, [](world& w) {
        editorState& ed = w.ed;
        ed.mainBall = ed.allBalls.front();
        ed.activateBodies();
        ed.collectGarbage();
        ed.updateEffectiveMasses();
        ed.updateView();
        ed.physicsStep();
    });
}
BENCHMARK(physicsFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", least);

// The twenty relaxation passes as plain ball-by-ball passes (the way before
// the solver), for comparison with the solver below.
void plainPasses(benchmark::State& state) {
    auto w = referenceFigure(1);
    editorState& ed = w->ed;
    ed.activateBodies();
    ed.updateEffectiveMasses();
    for (auto _ : state)
        for (int pass = 0; pass < 20; ++pass) {
            ed.applyTensions(0);
            ed.applyLinks();
        }
}
BENCHMARK(plainPasses)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", least);

void solverPasses(benchmark::State& state) {
    auto w = referenceFigure(static_cast<int>(state.range(0)));
    editorState& ed = w->ed;
    ed.activateBodies();
    ed.updateEffectiveMasses();
    for (auto _ : state) ed.physicsStep();
}
BENCHMARK(solverPasses)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", least);

// The arc tangents of 29,700 arms of random direction and length: the C
// library one by one (Arg 0), the four-wide kernel with the same bits (Arg 1).
void arcTangents(benchmark::State& state) {
    const bool wide = state.range(0) != 0;
    if (wide && !atan2Wide::available()) {
        state.SkipWithError("the atan2 kernel does not stand in for this C library");
        return;
    }
    const int n = 29700;
    std::vector<double> y(n), x(n), out(n);
    std::uint64_t seed = 7;
    for (int i = 0; i < n; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        const double a = static_cast<double>(seed >> 11) * 0x1p-53 * 6.283185307179586;
        const double r = 20.0 + static_cast<double>(seed % 1000) * 0.02;
        y[i] = r * std::sin(a);
        x[i] = r * std::cos(a);
    }
    for (auto _ : state) {
        if (wide)
            atan2Wide::atan2Scaled(y.data(), 1, x.data(), n, degreesPerRadian, out.data(), 1);
        else
            for (int i = 0; i < n; ++i) out[i] = std::atan2(y[i], x[i]) * degreesPerRadian;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(arcTangents)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime()->ComputeStatistics("min", least);

// A 100,000-ball figure with about 300,000 links: a 250 x 400 grid with its
// rows, columns and one diagonal of every cell.
std::unique_ptr<world> largeFigure() {
    auto w = std::make_unique<world>();
    editorState& ed = w->ed;
    const int rows = 400, columns = 250;
    ed.allBalls.reserve(rows * columns);
    for (int r = 0; r < rows; ++r)
        for (int k = 0; k < columns; ++k) figures::addBall(ed, k * 30.0, r * 30.0, 6.0);
    auto at = [&](int r, int k) { return ed.allBalls[r * columns + k]; };
    ed.allLinks.reserve(3 * rows * columns);
    for (int r = 0; r < rows; ++r)
        for (int k = 0; k < columns; ++k) {
            if (k + 1 < columns) figures::addLink(ed, at(r, k), at(r, k + 1));
            if (r + 1 < rows) figures::addLink(ed, at(r, k), at(r + 1, k));
            if (k + 1 < columns && r + 1 < rows) figures::addLink(ed, at(r, k), at(r + 1, k + 1));
        }
    return w;
}

void regroupAndTensions(benchmark::State& state) {
    auto w = largeFigure();
    editorState& ed = w->ed;
    for (auto _ : state) {
        ed.regroup();
        const int bodies = static_cast<int>(ed.bodies.size());
        for (int g = 1; g <= bodies; ++g) ed.rebuildTensions(g);
        state.PauseTiming();
        ed.collectGarbage();
        state.ResumeTiming();
    }
    state.counters["links"] = static_cast<double>(ed.allLinks.size());
    state.counters["tensions"] = static_cast<double>(ed.allTensions.size());
}
BENCHMARK(regroupAndTensions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->ComputeStatistics("min", least);

// Removing the whole large figure: "New Level" and "Delete Everything".
void removeAll(benchmark::State& state) {
    const bool visible = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto w = largeFigure();
        editorState& ed = w->ed;
        figures::finish(ed);
        ed.viewLeft = -1e6, ed.viewRight = 1e6, ed.viewTop = -1e6, ed.viewBottom = 1e6;
        ed.mainBall = ed.allBalls.front();
        ed.activateBodies();
        state.ResumeTiming();
        if (visible)
            ed.deleteVisible();
        else
            ed.clearScene();
        state.PauseTiming();
        w.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(removeAll)->Arg(0)->Arg(1)->ArgNames({"visible"})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->ComputeStatistics("min", least);

}  // namespace

BENCHMARK_MAIN();
