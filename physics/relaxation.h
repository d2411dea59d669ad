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

class relaxationSolver {
public:
    explicit relaxationSolver(int threads);
    ~relaxationSolver();
    relaxationSolver(const relaxationSolver&) = delete;
    relaxationSolver& operator=(const relaxationSolver&) = delete;

    int threads() const;
    // Runs the passes over the editor's active lists, as applyTensions(drawMode)
    // followed by applyLinks(), passes times.
    void relax(editorState& ed, int passes, int drawMode, double dt);

    struct state;

private:
    std::unique_ptr<state> s;
};

// The editor's solver, made (again) when the wanted thread count changes:
// editorState::physicsThreads when above 0, else the environment variable
// TUMBLA_THREADS, else the machine's cores, at most two.
relaxationSolver& relaxationSolverFor(editorState& ed);
int wantedPhysicsThreads(const editorState& ed);

}  // namespace tumbla
