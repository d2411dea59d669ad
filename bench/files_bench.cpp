// Speed of writing and reading large figure files, and of drawing a large
// figure on the headless platform.
//
//   build/files_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/editorState.h"
#include "bench/benchWorld.h"
#include "tests/support/figures.h"

using namespace tumbla;

namespace {

using world = benchWorld;

// A 316 x 316 grid: about 100,000 balls, 200,000 links and 600,000 tensions.
std::unique_ptr<world> largeFigure() {
    auto w = std::make_unique<world>();
    figures::gridSpec g;
    g.rows = g.columns = 316;
    g.spacing = 30;
    g.turnDegrees = 30;
    g.ball.radius = 6;
    figures::addGrid(w->ed, g);
    figures::finish(w->ed);
    return w;
}

const std::string path = "/tmp/tumbla-files-bench.fig";

void writeLargeFigure(benchmark::State& state) {
    auto w = largeFigure();
    for (auto _ : state) {
        w->ed.numberBalls();
        benchmark::DoNotOptimize(w->ed.writeFigureFile(path, 0, 0));
    }
}
BENCHMARK(writeLargeFigure)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void readLargeFigure(benchmark::State& state) {
    {
        auto w = largeFigure();
        w->ed.numberBalls();
        w->ed.writeFigureFile(path, 0, 0);
    }
    world w;
    for (auto _ : state) benchmark::DoNotOptimize(w.ed.readFigureFile(1, path));
    std::remove(path.c_str());
}
BENCHMARK(readLargeFigure)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// drawFigure of the reference grid: 10,000 balls and 19,800 links in view,
// with the drawing calls recorded (as tests see them) or not.
void drawReferenceFigure(benchmark::State& state) {
    world w;
    figures::addReferenceGrid(w.ed);
    w.ed.mode = 1;
    w.ed.viewCentreX = w.ed.allBalls.front()->x;
    w.ed.viewCentreY = w.ed.allBalls.front()->y;
    w.ed.updateView();
    w.ed.activateBodies();
    w.io.recordCalls = state.range(0) != 0;
    for (auto _ : state) {
        w.io.clearScreen();
        w.ed.drawFigure();
    }
}
BENCHMARK(drawReferenceFigure)->Arg(0)->Arg(1)->ArgNames({"recorded"})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
