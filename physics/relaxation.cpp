// The relaxation solver. Layout of the work:
//  - the balls the passes touch get flat indices: the active balls first (in
//    activeBalls order), then any ball an active tension or link names that
//    is not active (such a ball gathers shifts but is never moved);
//  - each thread owns a contiguous range of flat balls and takes every
//    tension and link touching one of them, in list order; a constraint
//    across the boundary is computed by both threads, with identical
//    results, and each adds only to the shifts of its own balls, so every
//    ball's shift is summed in list order whatever the thread count;
//  - a pass measures each distinct directed arm once (its atan2 is much of
//    the cost), adds the corrections into the shifts, then writes the moved
//    positions into the other of two position buffers: all constraints of a
//    pass read the positions from its start;
//  - the index structures are kept while the active lists stay the same;
//    masses, strengths and rest values are read again every frame.
#include "physics/relaxation.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/editorState.h"
#include "physics/constraints.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tumbla {

namespace {

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

// Waits with a short spin, then yields the core.
template <typename Done>
void spinUntil(Done done) {
    for (int spins = 0; !done(); ++spins) {
        if (spins < 4000)
            cpuRelax();
        else
            std::this_thread::yield();
    }
}

class spinBarrier {
public:
    void reset(int count) { parties = count; }
    void wait() {
        if (parties <= 1) return;
        const unsigned seen = phase.load(std::memory_order_acquire);
        if (arrived.fetch_add(1, std::memory_order_acq_rel) == parties - 1) {
            arrived.store(0, std::memory_order_relaxed);
            phase.store(seen + 1, std::memory_order_release);
        } else {
            spinUntil([&] { return phase.load(std::memory_order_acquire) != seen; });
        }
    }

private:
    int parties = 1;
    std::atomic<int> arrived{0};
    std::atomic<unsigned> phase{0};
};

// Persistent helper threads; run() gives each the same job with its index
// (the caller is index 0) and returns when all have finished. Idle helpers
// spin briefly, then sleep until the next job.
class workerPool {
public:
    explicit workerPool(int helpers) {
        for (int i = 1; i <= helpers; ++i) threads.emplace_back([this, i] { loop(i); });
    }
    ~workerPool() {
        stopping.store(true, std::memory_order_release);
        generation.fetch_add(1, std::memory_order_acq_rel);
        generation.notify_all();
        for (std::thread& t : threads) t.join();
    }
    workerPool(const workerPool&) = delete;
    workerPool& operator=(const workerPool&) = delete;

    void run(void (*task)(void*, int), void* context) {
        job = task;
        jobContext = context;
        pending.store(static_cast<int>(threads.size()), std::memory_order_relaxed);
        generation.fetch_add(1, std::memory_order_acq_rel);
        generation.notify_all();
        task(context, 0);
        spinUntil([&] { return pending.load(std::memory_order_acquire) == 0; });
    }

private:
    void loop(int index) {
        unsigned seen = 0;
        for (;;) {
            for (int spins = 0; generation.load(std::memory_order_acquire) == seen; ++spins) {
                if (spins < 20000)
                    cpuRelax();
                else
                    generation.wait(seen, std::memory_order_acquire);
            }
            seen = generation.load(std::memory_order_acquire);
            if (stopping.load(std::memory_order_acquire)) return;
            job(jobContext, index);
            pending.fetch_sub(1, std::memory_order_acq_rel);
        }
    }

    std::vector<std::thread> threads;
    std::atomic<unsigned> generation{0};
    std::atomic<int> pending{0};
    std::atomic<bool> stopping{false};
    void (*job)(void*, int) = nullptr;
    void* jobContext = nullptr;
};

// Below this many constraints one thread does the work: waking a helper
// would cost more than it saves.
constexpr std::size_t parallelThreshold = 256;

// A tension as a pass needs it: its arms and balls (fixed while the active
// lists stay the same), which of its balls this part moves, and the values
// read again every frame.
struct tensionHot {
    int arm1, arm2;  // local arms A->J and J->B
    int a, j, b;     // flat balls
    unsigned char owned;  // bits 0, 1, 2: A, J, B belong to this part
    bool acts;
    double restAngle, capLimit, mMin;
};

struct linkHot {
    int a, b;
    unsigned char owned;  // bits 0, 1: A, B belong to this part
    double restLength, shareA, shareB;
};

// One thread's share of the work: the balls it owns, and every tension and
// link touching one of them, in list order.
struct part {
    int ballBegin = 0, ballEnd = 0;
    std::vector<int> tensions;  // indices into the active tensions
    std::vector<tensionHot> hotTensions;
    std::vector<int> armFrom, armTo;  // per local arm: flat balls U and V
    std::vector<armMeasure> arms;     // per local arm, every pass
    std::vector<int> links;
    std::vector<linkHot> hotLinks;
};

}  // namespace

struct relaxationSolver::state {
    int threads = 1;
    std::unique_ptr<workerPool> pool;
    spinBarrier barrier;

    // What the index structures were built from.
    bool built = false;
    std::vector<ball*> activeBallsSeen;
    std::vector<tension*> tensionsSeen;
    std::vector<link*> linksSeen;

    std::vector<ball*> flat;      // flat index -> ball
    std::vector<int> applyCount;  // times the ball is in activeBalls (0: only named)
    std::vector<int> tA, tJ, tB;  // flat balls of each active tension
    std::vector<int> lA, lB;      // flat balls of each active link
    std::vector<part> parts;

    // Per flat ball, filled every frame by the ball's owner.
    std::vector<double> mass;
    std::vector<double> posX[2], posY[2];
    std::vector<double> shiftX, shiftY;

    // The current call.
    int passes = 0, drawMode = 0;
    double dt = 1.0;
    std::atomic<bool> stale{false};

    bool listsMatch(const editorState& ed) const;
    void rebuild(const editorState& ed);
    void buildPart(part& p, std::vector<int>& armHead, std::vector<int>& armNext) const;
    bool refresh(part& p);
    void run(int index);
    void tensionPass(part& p, int cur);
    void linkPass(part& p, int cur);
    void moveOwned(const part& p, int cur);
    static void task(void* self, int index) { static_cast<state*>(self)->run(index); }
};

namespace {

// Flat index of a ball, giving it the next one on first sight. ball::scratch
// holds the index; it is trusted only when the flat list agrees.
int flatIndexOf(ball* b, std::vector<ball*>& flat, std::vector<int>& applyCount) {
    const int s = b->scratch;
    if (s >= 0 && s < static_cast<int>(flat.size()) && flat[s] == b) return s;
    b->scratch = static_cast<int>(flat.size());
    flat.push_back(b);
    applyCount.push_back(0);
    return b->scratch;
}

}  // namespace

bool relaxationSolver::state::listsMatch(const editorState& ed) const {
    return built && ed.activeBalls == activeBallsSeen && ed.activeTensions == tensionsSeen &&
           ed.activeLinks == linksSeen;
}

void relaxationSolver::state::buildPart(part& p, std::vector<int>& armHead,
                                        std::vector<int>& armNext) const {
    auto owns = [&](int f) { return f >= p.ballBegin && f < p.ballEnd; };
    auto ownedBits = [&](std::initializer_list<int> balls) {
        unsigned char bits = 0, bit = 1;
        for (int f : balls) bits |= owns(f) ? bit : 0, bit <<= 1;
        return bits;
    };
    p.tensions.clear();
    p.hotTensions.clear();
    p.armFrom.clear();
    p.armTo.clear();
    armNext.clear();
    // Distinct directed arms, chained per starting ball.
    auto armOf = [&](int u, int v) {
        for (int a = armHead[u]; a >= 0; a = armNext[a])
            if (p.armTo[a] == v) return a;
        const int a = static_cast<int>(p.armFrom.size());
        p.armFrom.push_back(u);
        p.armTo.push_back(v);
        armNext.push_back(armHead[u]);
        armHead[u] = a;
        return a;
    };
    for (std::size_t k = 0; k < tA.size(); ++k) {
        const unsigned char bits = ownedBits({tA[k], tJ[k], tB[k]});
        if (!bits) continue;
        p.tensions.push_back(static_cast<int>(k));
        p.hotTensions.push_back({armOf(tA[k], tJ[k]), armOf(tJ[k], tB[k]), tA[k], tJ[k], tB[k], bits,
                                 false, 0.0, 0.0, 0.0});
    }
    for (int u : p.armFrom) armHead[u] = -1;
    p.arms.resize(p.armFrom.size());

    p.links.clear();
    p.hotLinks.clear();
    for (std::size_t k = 0; k < lA.size(); ++k) {
        const unsigned char bits = ownedBits({lA[k], lB[k]});
        if (!bits) continue;
        p.links.push_back(static_cast<int>(k));
        p.hotLinks.push_back({lA[k], lB[k], bits, 0.0, 0.0, 0.0});
    }
}

void relaxationSolver::state::rebuild(const editorState& ed) {
    activeBallsSeen = ed.activeBalls;
    tensionsSeen = ed.activeTensions;
    linksSeen = ed.activeLinks;

    flat.clear();
    applyCount.clear();
    for (ball* b : ed.activeBalls) ++applyCount[flatIndexOf(b, flat, applyCount)];
    const std::size_t nt = tensionsSeen.size(), nl = linksSeen.size();
    tA.resize(nt);
    tJ.resize(nt);
    tB.resize(nt);
    for (std::size_t k = 0; k < nt; ++k) {
        tA[k] = flatIndexOf(tensionsSeen[k]->ballA, flat, applyCount);
        tJ[k] = flatIndexOf(tensionsSeen[k]->centre, flat, applyCount);
        tB[k] = flatIndexOf(tensionsSeen[k]->ballB, flat, applyCount);
    }
    lA.resize(nl);
    lB.resize(nl);
    for (std::size_t k = 0; k < nl; ++k) {
        lA[k] = flatIndexOf(linksSeen[k]->ballA, flat, applyCount);
        lB[k] = flatIndexOf(linksSeen[k]->ballB, flat, applyCount);
    }

    // Split the flat balls into ranges of about equal work.
    const int n = static_cast<int>(flat.size());
    const int count = (nt + nl < parallelThreshold) ? 1 : threads;
    std::vector<long> work(n, 1);
    for (std::size_t k = 0; k < nt; ++k) work[tA[k]] += 2, work[tJ[k]] += 2, work[tB[k]] += 2;
    for (std::size_t k = 0; k < nl; ++k) work[lA[k]] += 1, work[lB[k]] += 1;
    long total = 0;
    for (long w : work) total += w;
    parts.resize(count);
    long sum = 0;
    int i = 0;
    for (int t = 0; t < count; ++t) {
        parts[t].ballBegin = i;
        const long goal = total * (t + 1) / count;
        while (i < n && (t == count - 1 || sum + work[i] <= goal)) sum += work[i++];
        parts[t].ballEnd = i;
    }

    std::vector<int> armHead(n, -1), armNext;
    for (part& p : parts) buildPart(p, armHead, armNext);

    for (auto* v : {&mass, &posX[0], &posX[1], &posY[0], &posY[1], &shiftX, &shiftY}) v->resize(n);
    built = true;
}

// Reads the values of the frame through the constraints themselves, checking
// on the way that none changed its balls since the indices were built.
bool relaxationSolver::state::refresh(part& p) {
    bool same = true;
    for (std::size_t i = 0; i < p.tensions.size(); ++i) {
        const int k = p.tensions[i];
        const tension* t = tensionsSeen[k];
        same = same && t->ballA == flat[tA[k]] && t->centre == flat[tJ[k]] && t->ballB == flat[tB[k]];
        tensionHot& h = p.hotTensions[i];
        h.acts = tensionActs(*t);
        h.restAngle = t->restAngle;
        h.capLimit = t->strength + 10000.0 * drawMode;
        h.mMin = smallestMass(massDivisor(t->ballA->effectiveMass), massDivisor(t->centre->effectiveMass),
                              massDivisor(t->ballB->effectiveMass));
    }
    for (std::size_t i = 0; i < p.links.size(); ++i) {
        const link* l = linksSeen[p.links[i]];
        same = same && l->ballA == flat[lA[p.links[i]]] && l->ballB == flat[lB[p.links[i]]];
        const double mA = massDivisor(l->ballA->effectiveMass);
        const double mB = massDivisor(l->ballB->effectiveMass);
        linkHot& h = p.hotLinks[i];
        h.restLength = l->restLength;
        h.shareA = linkShare(mA, mB);
        h.shareB = linkShare(mB, mA);
    }
    return same;
}

namespace {

// One ball's shift held in registers while consecutive constraints add to
// it (the tensions of a joint, the links of a ball), instead of a chain of
// stores and loads. Every addition still happens in list order.
struct shiftCache {
    double* sx;
    double* sy;
    int ball = -1;
    double x = 0.0, y = 0.0;

    void hold(int f) {
        if (f == ball) return;
        flush();
        ball = f;
        x = sx[f];
        y = sy[f];
    }
    void flush() {
        if (ball >= 0) sx[ball] = x, sy[ball] = y;
    }
    void add(int f, double dx, double dy) {
        if (f == ball) {
            x += dx;
            y += dy;
        } else {
            sx[f] += dx;
            sy[f] += dy;
        }
    }
};

void clearActiveShifts(const part& p, const std::vector<int>& applyCount, double* sx, double* sy) {
    for (int f = p.ballBegin; f < p.ballEnd; ++f)
        if (applyCount[f]) sx[f] = sy[f] = 0.0;
}

}  // namespace

// Shifts start at +0.0 for active balls; a ball that is only named by a
// constraint keeps adding to its shift, as it is never cleared.
void relaxationSolver::state::tensionPass(part& p, int cur) {
    const double* x = posX[cur].data();
    const double* y = posY[cur].data();
    for (std::size_t a = 0; a < p.arms.size(); ++a) {
        const int u = p.armFrom[a], v = p.armTo[a];
        p.arms[a] = measureArm(x[u], y[u], x[v], y[v]);
    }
    clearActiveShifts(p, applyCount, shiftX.data(), shiftY.data());
    const double* m = mass.data();
    shiftCache cache{shiftX.data(), shiftY.data()};
    auto push = [&](const tensionHot& h, double errorShare) {
        if (!h.acts) return;
        const armMeasure& arm1 = p.arms[h.arm1];
        const armMeasure& arm2 = p.arms[h.arm2];
        const tensionShifts s = tensionPushes(arm1, arm2, errorShare,
                                              tensionCap(arm1, arm2, h.capLimit, h.mMin), dt,
                                              m[h.a], m[h.j], m[h.b]);
        if (h.owned & 2) cache.hold(h.j);
        if (h.owned & 1) cache.add(h.a, s.ax, s.ay);
        if (h.owned & 2) cache.add(h.j, s.jx, s.jy);
        if (h.owned & 4) cache.add(h.b, s.bx, s.by);
    };
    // Two tensions at a time, for one paired division.
    const std::size_t n = p.hotTensions.size();
    std::size_t i = 0;
    for (; i + 1 < n; i += 2) {
        const tensionHot& h0 = p.hotTensions[i];
        const tensionHot& h1 = p.hotTensions[i + 1];
        const doublePair share =
            dividePair(tensionError(p.arms[h0.arm1], p.arms[h0.arm2], h0.restAngle),
                       tensionError(p.arms[h1.arm1], p.arms[h1.arm2], h1.restAngle), 400.0, 400.0);
        push(h0, share[0]);
        push(h1, share[1]);
    }
    if (i < n) {
        const tensionHot& h = p.hotTensions[i];
        push(h, tensionError(p.arms[h.arm1], p.arms[h.arm2], h.restAngle) / 400.0);
    }
    cache.flush();
}

void relaxationSolver::state::linkPass(part& p, int cur) {
    const double* x = posX[cur].data();
    const double* y = posY[cur].data();
    clearActiveShifts(p, applyCount, shiftX.data(), shiftY.data());
    shiftCache cache{shiftX.data(), shiftY.data()};
    for (const linkHot& h : p.hotLinks) {
        const linkShifts s =
            linkCorrectionFrom(h.restLength, x[h.b] - x[h.a], y[h.b] - y[h.a], h.shareA, h.shareB);
        if (h.owned & 1) {
            cache.hold(h.a);
            cache.add(h.a, s.ax, s.ay);
        }
        if (h.owned & 2) cache.add(h.b, s.bx, s.by);
    }
    cache.flush();
}

// Moves the owned active balls by their shifts (once per appearance in
// activeBalls) into the other position buffer.
void relaxationSolver::state::moveOwned(const part& p, int cur) {
    const double *x = posX[cur].data(), *y = posY[cur].data();
    double *nextX = posX[1 - cur].data(), *nextY = posY[1 - cur].data();
    for (int f = p.ballBegin; f < p.ballEnd; ++f) {
        double nx = x[f], ny = y[f];
        for (int t = 0; t < applyCount[f]; ++t) {
            nx += shiftX[f];
            ny += shiftY[f];
        }
        nextX[f] = nx;
        nextY[f] = ny;
    }
}

void relaxationSolver::state::run(int index) {
    part& p = parts[index];
    if (!refresh(p)) stale.store(true, std::memory_order_relaxed);
    barrier.wait();
    if (stale.load(std::memory_order_relaxed)) return;

    for (int f = p.ballBegin; f < p.ballEnd; ++f) {
        const ball* b = flat[f];
        mass[f] = massDivisor(b->effectiveMass);
        posX[0][f] = b->x;
        posY[0][f] = b->y;
        shiftX[f] = b->shiftX;
        shiftY[f] = b->shiftY;
    }
    barrier.wait();

    int cur = 0;
    for (int pass = 0; pass < passes; ++pass) {
        tensionPass(p, cur);
        moveOwned(p, cur);
        cur = 1 - cur;
        barrier.wait();
        linkPass(p, cur);
        moveOwned(p, cur);
        cur = 1 - cur;
        barrier.wait();
    }
    for (int f = p.ballBegin; f < p.ballEnd; ++f) {
        ball* b = flat[f];
        b->x = posX[cur][f];
        b->y = posY[cur][f];
        b->shiftX = shiftX[f];
        b->shiftY = shiftY[f];
    }
}

relaxationSolver::relaxationSolver(int threads) : s(std::make_unique<state>()) {
    s->threads = std::max(1, threads);
    if (s->threads > 1) s->pool = std::make_unique<workerPool>(s->threads - 1);
}

relaxationSolver::~relaxationSolver() = default;

int relaxationSolver::threads() const { return s->threads; }

void relaxationSolver::relax(editorState& ed, int passes, int drawMode, double dt) {
    s->passes = passes;
    s->drawMode = drawMode;
    s->dt = dt;
    if (!s->listsMatch(ed)) s->rebuild(ed);
    for (int attempt = 0; attempt < 2; ++attempt) {
        s->stale.store(false, std::memory_order_relaxed);
        s->barrier.reset(static_cast<int>(s->parts.size()));
        if (s->parts.size() > 1)
            s->pool->run(&state::task, s.get());
        else
            s->run(0);
        if (!s->stale.load(std::memory_order_relaxed)) return;
        s->rebuild(ed);  // a constraint changed its balls: index again, then run
    }
}

void relaxationSolverDeleter::operator()(relaxationSolver* solver) const { delete solver; }

int wantedPhysicsThreads(const editorState& ed) {
    if (ed.physicsThreads > 0) return std::min(ed.physicsThreads, 8);
    if (const char* text = std::getenv("TUMBLA_THREADS")) {
        const int n = std::atoi(text);
        if (n > 0) return std::min(n, 8);
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores >= 2 ? 2 : 1;
}

relaxationSolver& relaxationSolverFor(editorState& ed) {
    const int wanted = wantedPhysicsThreads(ed);
    if (!ed.solver || ed.solver->threads() != wanted) ed.solver.reset(new relaxationSolver(wanted));
    return *ed.solver;
}

}  // namespace tumbla
