// The relaxation solver. Layout of the work:
//  - the balls the passes touch get flat indices: the active balls first (in
//    activeBalls order), then any ball an active tension or link names that
//    is not active (such a ball gathers shifts but is never moved);
//  - each thread owns a contiguous range of flat balls, and takes every
//    tension and link that touches one of its balls (a constraint across the
//    boundary is computed by both threads, with identical results);
//  - a pass: measure the thread's arms (each distinct directed arm once:
//    its atan2 is most of the cost), compute the corrections of its
//    constraints into records, then for each owned ball sum its contributions
//    in list order and write its new position into the other position buffer;
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

struct tensionParams {
    double restAngle, capLimit, mA, mJ, mB, mMin;
    bool acts;
};

// One thread's share of the work.
struct part {
    int ballBegin = 0, ballEnd = 0;  // owned flat balls

    std::vector<int> tensions;          // indices into the active tensions, in list order
    std::vector<int> arm1, arm2;        // per local tension: its arms A->J and J->B
    std::vector<int> armFrom, armTo;    // per local arm: flat balls U and V
    std::vector<armMeasure> arms;       // per local arm, every pass
    std::vector<tensionParams> params;  // per local tension, every frame
    std::vector<double> tensionRecords;  // six per local tension: A, J, B (x, y)
    std::vector<int> tensionGatherStart, tensionGather;  // per owned ball: offsets into records

    std::vector<int> links;
    std::vector<double> restLength, shareA, shareB;
    std::vector<double> linkRecords;  // four per local link: A, B (x, y)
    std::vector<int> linkGatherStart, linkGather;
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

    std::vector<ball*> flat;         // flat index -> ball
    std::vector<int> applyCount;     // times the ball is in activeBalls (0: only named)
    std::vector<int> tA, tJ, tB;     // flat balls of each active tension
    std::vector<int> lA, lB;         // flat balls of each active link
    std::vector<part> parts;

    // Per flat ball, filled every frame.
    std::vector<double> posX[2], posY[2];
    std::vector<double> shiftX, shiftY;

    // The current call.
    int passes = 0, drawMode = 0;
    double dt = 1.0;
    std::atomic<bool> stale{false};

    bool listsMatch(const editorState& ed) const;
    void rebuild(const editorState& ed);
    void buildPart(part& p, std::vector<int>& armHead, std::vector<int>& armNext) const;
    void run(int index);
    void tensionPass(part& p, int cur);
    void linkPass(part& p, int cur);
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

// Fills a gather table: for each owned ball, the record offsets of its
// contributions, in the order of the constraint list and of the roles.
template <typename RoleBall>
void buildGather(const part& p, std::size_t constraints, int roles, int recordSize,
                 RoleBall roleBall, std::vector<int>& start, std::vector<int>& gather) {
    const int owned = p.ballEnd - p.ballBegin;
    start.assign(owned + 1, 0);
    auto ownedIndex = [&](int f) { return f >= p.ballBegin && f < p.ballEnd ? f - p.ballBegin : -1; };
    for (std::size_t k = 0; k < constraints; ++k)
        for (int r = 0; r < roles; ++r) {
            const int o = ownedIndex(roleBall(k, r));
            if (o >= 0) ++start[o + 1];
        }
    for (int i = 0; i < owned; ++i) start[i + 1] += start[i];
    gather.assign(start[owned], 0);
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (std::size_t k = 0; k < constraints; ++k)
        for (int r = 0; r < roles; ++r) {
            const int o = ownedIndex(roleBall(k, r));
            if (o >= 0) gather[fill[o]++] = static_cast<int>(k) * recordSize + r * 2;
        }
}

}  // namespace

bool relaxationSolver::state::listsMatch(const editorState& ed) const {
    return built && ed.activeBalls == activeBallsSeen && ed.activeTensions == tensionsSeen &&
           ed.activeLinks == linksSeen;
}

void relaxationSolver::state::buildPart(part& p, std::vector<int>& armHead,
                                        std::vector<int>& armNext) const {
    auto owns = [&](int f) { return f >= p.ballBegin && f < p.ballEnd; };
    p.tensions.clear();
    for (std::size_t k = 0; k < tA.size(); ++k)
        if (owns(tA[k]) || owns(tJ[k]) || owns(tB[k])) p.tensions.push_back(static_cast<int>(k));
    p.links.clear();
    for (std::size_t k = 0; k < lA.size(); ++k)
        if (owns(lA[k]) || owns(lB[k])) p.links.push_back(static_cast<int>(k));

    // Distinct directed arms, chained per starting ball.
    p.armFrom.clear();
    p.armTo.clear();
    armNext.clear();
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
    p.arm1.resize(p.tensions.size());
    p.arm2.resize(p.tensions.size());
    for (std::size_t i = 0; i < p.tensions.size(); ++i) {
        const int k = p.tensions[i];
        p.arm1[i] = armOf(tA[k], tJ[k]);
        p.arm2[i] = armOf(tJ[k], tB[k]);
    }
    for (int u : p.armFrom) armHead[u] = -1;

    p.arms.resize(p.armFrom.size());
    p.params.resize(p.tensions.size());
    p.tensionRecords.resize(p.tensions.size() * 6);
    buildGather(
        p, p.tensions.size(), 3, 6,
        [&](std::size_t i, int role) {
            const int k = p.tensions[i];
            return role == 0 ? tA[k] : role == 1 ? tJ[k] : tB[k];
        },
        p.tensionGatherStart, p.tensionGather);

    p.restLength.resize(p.links.size());
    p.shareA.resize(p.links.size());
    p.shareB.resize(p.links.size());
    p.linkRecords.resize(p.links.size() * 4);
    buildGather(
        p, p.links.size(), 2, 4,
        [&](std::size_t i, int role) { return role == 0 ? lA[p.links[i]] : lB[p.links[i]]; },
        p.linkGatherStart, p.linkGather);
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
    for (std::size_t k = 0; k < nt; ++k) work[tA[k]] += 3, work[tJ[k]] += 3, work[tB[k]] += 3;
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

    for (auto* v : {&posX[0], &posX[1], &posY[0], &posY[1], &shiftX, &shiftY}) v->resize(n);
    built = true;
}

void relaxationSolver::state::tensionPass(part& p, int cur) {
    const double* x = posX[cur].data();
    const double* y = posY[cur].data();
    for (std::size_t a = 0; a < p.arms.size(); ++a) {
        const int u = p.armFrom[a], v = p.armTo[a];
        p.arms[a] = measureArm(x[u], y[u], x[v], y[v]);
    }
    double* rec = p.tensionRecords.data();
    for (std::size_t i = 0; i < p.params.size(); ++i, rec += 6) {
        const tensionParams& q = p.params[i];
        if (!q.acts) {
            // Adding +0.0 leaves a shift unchanged: a sum that starts at +0.0
            // is never -0.0.
            std::fill(rec, rec + 6, 0.0);
            continue;
        }
        const tensionShifts s = tensionCorrection(p.arms[p.arm1[i]], p.arms[p.arm2[i]], q.restAngle,
                                                  q.capLimit, dt, q.mA, q.mJ, q.mB, q.mMin);
        rec[0] = s.ax, rec[1] = s.ay, rec[2] = s.jx, rec[3] = s.jy, rec[4] = s.bx, rec[5] = s.by;
    }
}

void relaxationSolver::state::linkPass(part& p, int cur) {
    const double* x = posX[cur].data();
    const double* y = posY[cur].data();
    double* rec = p.linkRecords.data();
    for (std::size_t i = 0; i < p.links.size(); ++i, rec += 4) {
        const int a = lA[p.links[i]], b = lB[p.links[i]];
        const linkShifts s =
            linkCorrectionFrom(p.restLength[i], x[b] - x[a], y[b] - y[a], p.shareA[i], p.shareB[i]);
        rec[0] = s.ax, rec[1] = s.ay, rec[2] = s.bx, rec[3] = s.by;
    }
}

namespace {

// Sums each owned ball's contributions in list order into its shift (from
// +0.0 for an active ball, carried on for a ball that is only named) and
// moves active balls by it, once per appearance in activeBalls.
void gatherAndMove(const part& p, const std::vector<double>& records, const std::vector<int>& start,
                   const std::vector<int>& gather, const std::vector<int>& applyCount,
                   const double* x, const double* y, double* nextX, double* nextY, double* shiftX,
                   double* shiftY) {
    const double* rec = records.data();
    for (int f = p.ballBegin; f < p.ballEnd; ++f) {
        const int o = f - p.ballBegin;
        const int times = applyCount[f];
        double sx = times ? 0.0 : shiftX[f];
        double sy = times ? 0.0 : shiftY[f];
        for (int g = start[o]; g < start[o + 1]; ++g) {
            sx += rec[gather[g]];
            sy += rec[gather[g] + 1];
        }
        shiftX[f] = sx;
        shiftY[f] = sy;
        double nx = x[f], ny = y[f];
        for (int t = 0; t < times; ++t) {
            nx += sx;
            ny += sy;
        }
        nextX[f] = nx;
        nextY[f] = ny;
    }
}

}  // namespace

void relaxationSolver::state::run(int index) {
    part& p = parts[index];
    // Per-frame values, read through the constraints themselves, checking on
    // the way that none changed its balls since the indices were built.
    bool same = true;
    for (std::size_t i = 0; i < p.tensions.size(); ++i) {
        const int k = p.tensions[i];
        const tension* t = tensionsSeen[k];
        same = same && t->ballA == flat[tA[k]] && t->centre == flat[tJ[k]] && t->ballB == flat[tB[k]];
        tensionParams& q = p.params[i];
        q.acts = tensionActs(*t);
        q.restAngle = t->restAngle;
        q.capLimit = t->strength + 10000.0 * drawMode;
        q.mA = massDivisor(t->ballA->effectiveMass);
        q.mJ = massDivisor(t->centre->effectiveMass);
        q.mB = massDivisor(t->ballB->effectiveMass);
        q.mMin = smallestMass(q.mA, q.mJ, q.mB);
    }
    for (std::size_t i = 0; i < p.links.size(); ++i) {
        const link* l = linksSeen[p.links[i]];
        same = same && l->ballA == flat[lA[p.links[i]]] && l->ballB == flat[lB[p.links[i]]];
        const double mA = massDivisor(l->ballA->effectiveMass);
        const double mB = massDivisor(l->ballB->effectiveMass);
        p.restLength[i] = l->restLength;
        p.shareA[i] = linkShare(mA, mB);
        p.shareB[i] = linkShare(mB, mA);
    }
    if (!same) stale.store(true, std::memory_order_relaxed);
    barrier.wait();
    if (stale.load(std::memory_order_relaxed)) return;

    for (int f = p.ballBegin; f < p.ballEnd; ++f) {
        const ball* b = flat[f];
        posX[0][f] = b->x;
        posY[0][f] = b->y;
        shiftX[f] = b->shiftX;
        shiftY[f] = b->shiftY;
    }
    barrier.wait();

    int cur = 0;
    auto gatherAndSwap = [&](const std::vector<double>& records, const std::vector<int>& start,
                             const std::vector<int>& gather) {
        gatherAndMove(p, records, start, gather, applyCount, posX[cur].data(), posY[cur].data(),
                      posX[1 - cur].data(), posY[1 - cur].data(), shiftX.data(), shiftY.data());
        cur = 1 - cur;
        barrier.wait();
    };
    for (int pass = 0; pass < passes; ++pass) {
        tensionPass(p, cur);
        gatherAndSwap(p.tensionRecords, p.tensionGatherStart, p.tensionGather);
        linkPass(p, cur);
        gatherAndSwap(p.linkRecords, p.linkGatherStart, p.linkGather);
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
