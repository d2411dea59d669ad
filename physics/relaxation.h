// The relaxation passes of a frame (tension pass then link pass, twenty
// times) over flat copies of the active balls, spread over up to a few
// threads. Every tension and link of a pass reads only the positions from the
// start of the pass, so their corrections are computed independently and
// then summed into each ball's shift in list order: the bits do not depend on
// the number of threads, and equal those of the plain ball-by-ball passes.
#pragma once

#include <memory>

namespace tumbla {

class editorState;

// Which layout a frame uses. All threads are not always faster: on a small
// figure waking a helper costs more than it saves, and while other programs
// keep the other core busy the helper is often late to a pass and everyone
// waits. So every frame is timed, now and then one frame runs the other
// way, and the faster way is kept. The bits are the same either way.
struct threadChoice {
    double seconds[2] = {-1.0, -1.0};  // recent time of a frame per layout, -1 not yet known
    int current = 1;
    int framesToProbe = 0;
    int probeEvery = 120;  // 0: always all threads

    // The layout of the next frame: 0 one thread, 1 all threads.
    int pick() {
        if (probeEvery == 0) return 1;
        if (seconds[1 - current] < 0.0 || --framesToProbe <= 0) {
            framesToProbe = probeEvery;
            return 1 - current;
        }
        return current;
    }
    // How long the frame on that layout took, in seconds.
    void note(int which, double elapsed) {
        if (probeEvery == 0) return;
        double& mean = seconds[which];
        mean = (which != current || mean < 0.0) ? elapsed : 0.75 * mean + 0.25 * elapsed;
        const int other = 1 - current;
        // A tenth better, so noise does not flip the choice back and forth.
        if (seconds[other] >= 0.0 && seconds[current] >= 0.0 && seconds[other] < 0.9 * seconds[current])
            current = other;
    }
};

class relaxationSolver {
public:
    explicit relaxationSolver(int threads);
    ~relaxationSolver();
    relaxationSolver(const relaxationSolver&) = delete;
    relaxationSolver& operator=(const relaxationSolver&) = delete;

    int threads() const;
    // The four-wide kernels (AVX2) are used when the processor has them,
    // unless turned off here or by the environment variable
    // TUMBLA_SCALAR_PHYSICS; both give the same bits.
    void useWideKernels(bool on);
    bool wideKernels() const;
    // Runs the passes over the editor's active lists, as applyTensions(drawMode)
    // followed by applyLinks(), passes times.
    void relax(editorState& ed, int passes, int drawMode, double dt);
    // With more than one thread, every frames-th frame runs on the other
    // number of threads (one or all), and whichever was faster of late is
    // kept. 0 keeps all threads always. 120 unless set.
    void chooseLayoutEvery(int frames);

    struct state;

private:
    std::unique_ptr<state> s;
};

// The kernels of a pass, over blocks of four constraints. The scalar ones
// live in relaxation.cpp, the four-wide ones in relaxationWide.cpp (built
// for AVX2 and used only where the processor has it). Positions and shifts
// are (x, y) pairs per flat ball, and blocks name balls by the offset of
// their pair (twice the flat index); shift targets of balls another thread
// owns point at a scratch pair of this thread instead.
namespace relaxationKernels {

// A measured arm: angle, 0.7 times the guarded squared length, dy/s, -dx/s.
struct alignas(32) armRecord {
    double angle, gainS, qy, qx;
};

struct tensionBlock {
    int arm1[4], arm2[4];  // arms A->J and J->B
    int a[4], j[4], b[4];  // shift targets
    double restAngle[4], capLimit[4];
    int plain;  // all four act and all their masses are 1
};

// Read only when the block is not plain. A tension that does not act adds
// -0.0, which leaves every sum unchanged.
struct tensionSide {
    double mMin[4], mA[4], mJ[4], mB[4], acts[4];
};

struct linkBlock {
    int a[4], b[4];    // flat balls, for the positions
    int ta[4], tb[4];  // shift targets
    double restLength[4], shareA[4], shareB[4];
};

// across: room for count doubles.
void measureArmsWide(const int* from, const int* to, int count, const double* pos, armRecord* out,
                     double* across);
void tensionBlocksWide(const tensionBlock* blocks, const tensionSide* side, int count,
                       const armRecord* arms, double dt, double* shift);
void linkBlocksWide(const linkBlock* blocks, int count, const double* pos, double* shift);

// The angle error at the joint, for the wide kernels' unusual angles.
double tensionErrorOf(double angle1, double angle2, double restAngle);

}  // namespace relaxationKernels

// The editor's solver, made (again) when the wanted thread count changes:
// editorState::physicsThreads when above 0, else the environment variable
// TUMBLA_THREADS, else the machine's cores, at most two.
relaxationSolver& relaxationSolverFor(editorState& ed);
int wantedPhysicsThreads(const editorState& ed);

}  // namespace tumbla
