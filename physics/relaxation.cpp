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
//    the cost; physics/atan2Wide.h takes four at a time with the library's
//    bits), adds the corrections into the shifts, then writes the moved
//    positions into the other of two position buffers: all constraints of a
//    pass read the positions from its start;
//  - the index structures are kept while the active lists stay the same;
//    masses, strengths and rest values are read again every frame;
//  - the work is split for one thread and for all of them, and each frame
//    takes whichever has been faster of late (threadChoice).
#include "physics/relaxation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/editorState.h"
#include "physics/atan2Wide.h"
#include "physics/constraints.h"
#include "physics/spinWait.h"


namespace tumbla {

namespace {

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

using relaxationKernels::armRecord;
using relaxationKernels::linkBlock;
using relaxationKernels::tensionBlock;
using relaxationKernels::tensionSide;

// One thread's share of the work: the balls it owns, and every tension and
// link touching one of them, in list order, in blocks of four (the last
// block padded with tensions and links that only touch the scratch pair).
struct part {
    int ballBegin = 0, ballEnd = 0;
    int scratch = 0;  // flat index of this part's scratch pair
    bool eachOnce = true;  // every owned ball is once in activeBalls
    std::vector<int> tensions;  // indices into the active tensions
    std::vector<tensionBlock> tensionBlocks;
    std::vector<tensionSide> tensionSides;
    std::vector<int> armFrom, armTo;  // per local arm: flat balls U and V
    std::vector<armRecord> arms;      // per local arm, every pass
    std::vector<double> armAcross;    // per local arm: room for the wide kernel
    std::vector<int> links;
    std::vector<linkBlock> linkBlocks;
};

}  // namespace

struct relaxationSolver::state {
    int threads = 1;
    bool wide = false;
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
    // The work split two ways, each made when first wanted after the lists
    // change: layouts[0] for one thread, layouts[1] for all of them.
    // `parts` is the one in use.
    std::vector<part> layouts[2];
    bool layoutReady[2] = {false, false};
    int layout = 1;
    std::vector<part>* parts = &layouts[1];
    threadChoice choice;

    // Per flat ball (then one scratch pair per part): (x, y) pairs, filled
    // every frame by the ball's owner.
    std::vector<double> pos[2];
    std::vector<double> shift;
    std::vector<double> massOf;        // massDivisor of the effective mass
    std::vector<unsigned char> pinned;  // anchored is 1

    // The current call.
    int passes = 0, drawMode = 0;
    double dt = 1.0;
    std::atomic<bool> stale{false};

    bool listsMatch(const editorState& ed) const;
    void rebuild(const editorState& ed);
    void useLayout(int which);
    // Enough constraints, and threads, for the work to be split.
    bool shareable() const { return threads > 1 && tA.size() + lA.size() >= parallelThreshold; }
    void buildLayout(int which);
    void buildPart(part& p, std::vector<int>& armHead, std::vector<int>& armNext) const;
    bool refresh(part& p);
    void refreshMasses(part& p);
    void run(int index);
    void tensionPass(part& p, int cur);
    void linkPass(part& p, int cur);
    void moveOwned(const part& p, int cur, bool clear);
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
    auto target = [&](int f) { return f >= p.ballBegin && f < p.ballEnd ? f : p.scratch; };
    p.tensions.clear();
    p.tensionBlocks.clear();
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
        const int a = target(tA[k]), j = target(tJ[k]), b = target(tB[k]);
        if (a == p.scratch && j == p.scratch && b == p.scratch) continue;
        const int lane = static_cast<int>(p.tensions.size() % 4);
        if (lane == 0) p.tensionBlocks.emplace_back();
        tensionBlock& t = p.tensionBlocks.back();
        t.arm1[lane] = armOf(tA[k], tJ[k]);
        t.arm2[lane] = armOf(tJ[k], tB[k]);
        t.a[lane] = 2 * a, t.j[lane] = 2 * j, t.b[lane] = 2 * b;
        p.tensions.push_back(static_cast<int>(k));
    }
    for (std::size_t lane = p.tensions.size() % 4; lane > 0 && lane < 4; ++lane) {
        tensionBlock& t = p.tensionBlocks.back();
        t.arm1[lane] = t.arm2[lane] = 0;
        t.a[lane] = t.j[lane] = t.b[lane] = 2 * p.scratch;
    }
    p.tensionSides.resize(p.tensionBlocks.size());
    for (int u : p.armFrom) armHead[u] = -1;
    p.arms.resize(p.armFrom.size());
    p.armAcross.resize(p.armFrom.size());

    p.links.clear();
    p.linkBlocks.clear();
    for (std::size_t k = 0; k < lA.size(); ++k) {
        const int ta = target(lA[k]), tb = target(lB[k]);
        if (ta == p.scratch && tb == p.scratch) continue;
        const int lane = static_cast<int>(p.links.size() % 4);
        if (lane == 0) p.linkBlocks.emplace_back();
        linkBlock& l = p.linkBlocks.back();
        l.a[lane] = 2 * lA[k], l.b[lane] = 2 * lB[k];
        l.ta[lane] = 2 * ta, l.tb[lane] = 2 * tb;
        p.links.push_back(static_cast<int>(k));
    }
    for (std::size_t lane = p.links.size() % 4; lane > 0 && lane < 4; ++lane) {
        linkBlock& l = p.linkBlocks.back();
        l.a[lane] = l.b[lane] = 0;
        l.ta[lane] = l.tb[lane] = 2 * p.scratch;
        l.restLength[lane] = 0.0;
        l.shareA[lane] = l.shareB[lane] = 2.0;
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

    const int n = static_cast<int>(flat.size());
    for (auto* v : {&pos[0], &pos[1]}) v->resize(2 * static_cast<std::size_t>(n));
    massOf.resize(n);
    pinned.resize(n);
    shift.assign(2 * static_cast<std::size_t>(n + threads), 0.0);
    layoutReady[0] = layoutReady[1] = false;
    built = true;
    useLayout(layout);
}

void relaxationSolver::state::useLayout(int which) {
    layout = which;
    parts = &layouts[which];
    if (!layoutReady[which]) buildLayout(which);
}

// Splits the flat balls into ranges of about equal work, one per thread.
void relaxationSolver::state::buildLayout(int which) {
    const int n = static_cast<int>(flat.size());
    const std::size_t nt = tA.size(), nl = lA.size();
    const int count = (which == 0 || !shareable()) ? 1 : threads;
    std::vector<long> work(n, 1);
    for (std::size_t k = 0; k < nt; ++k) work[tA[k]] += 2, work[tJ[k]] += 2, work[tB[k]] += 2;
    for (std::size_t k = 0; k < nl; ++k) work[lA[k]] += 1, work[lB[k]] += 1;
    long total = 0;
    for (long w : work) total += w;
    std::vector<part>& split = layouts[which];
    split.resize(count);
    long sum = 0;
    int i = 0;
    for (int t = 0; t < count; ++t) {
        part& p = split[t];
        p.ballBegin = i;
        const long goal = total * (t + 1) / count;
        while (i < n && (t == count - 1 || sum + work[i] <= goal)) sum += work[i++];
        p.ballEnd = i;
        p.scratch = n + t;
        p.eachOnce = true;
        for (int f = p.ballBegin; f < p.ballEnd; ++f)
            if (applyCount[f] != 1) p.eachOnce = false;
    }

    std::vector<int> armHead(n, -1), armNext;
    for (part& p : split) buildPart(p, armHead, armNext);
    layoutReady[which] = true;
}

// Reads the values of the frame that the constraints hold, checking on the
// way that none changed its balls since the indices were built. Whether a
// tension is strong enough to act waits in acts for refreshMasses.
bool relaxationSolver::state::refresh(part& p) {
    bool same = true;
    for (std::size_t i = 0; i < p.tensions.size(); ++i) {
        const int k = p.tensions[i];
        const tension* t = tensionsSeen[k];
        same = same && t->ballA == flat[tA[k]] && t->centre == flat[tJ[k]] && t->ballB == flat[tB[k]];
        tensionBlock& block = p.tensionBlocks[i / 4];
        const int lane = static_cast<int>(i % 4);
        block.restAngle[lane] = t->restAngle;
        block.capLimit[lane] = t->strength + 10000.0 * drawMode;
        p.tensionSides[i / 4].acts[lane] = t->strength > 10.0 ? 1.0 : 0.0;
    }
    for (std::size_t i = 0; i < p.links.size(); ++i) {
        const link* l = linksSeen[p.links[i]];
        same = same && l->ballA == flat[lA[p.links[i]]] && l->ballB == flat[lB[p.links[i]]];
        p.linkBlocks[i / 4].restLength[i % 4] = l->restLength;
    }
    return same;
}

// The values that depend on the balls, from the per-ball masses and pins
// their owners have read: a tension acts unless its three balls are pinned.
void relaxationSolver::state::refreshMasses(part& p) {
    for (std::size_t i = 0; i < p.tensions.size(); ++i) {
        const int k = p.tensions[i];
        tensionBlock& block = p.tensionBlocks[i / 4];
        tensionSide& side = p.tensionSides[i / 4];
        const int lane = static_cast<int>(i % 4);
        if (lane == 0) block.plain = 1;
        const int a = tA[k], j = tJ[k], b = tB[k];
        const double mA = massOf[a], mJ = massOf[j], mB = massOf[b];
        const bool acts = side.acts[lane] != 0.0 && !(pinned[a] && pinned[j] && pinned[b]);
        side.mMin[lane] = smallestMass(mA, mJ, mB);
        side.mA[lane] = mA, side.mJ[lane] = mJ, side.mB[lane] = mB;
        side.acts[lane] = acts ? 1.0 : 0.0;
        if (!acts || mA != 1.0 || mJ != 1.0 || mB != 1.0) block.plain = 0;
    }
    if (const int pad = static_cast<int>(p.tensions.size() % 4)) {
        tensionBlock& block = p.tensionBlocks.back();
        tensionSide& side = p.tensionSides.back();
        block.plain = 0;
        for (int lane = pad; lane < 4; ++lane) {
            block.restAngle[lane] = block.capLimit[lane] = 0.0;
            side.mMin[lane] = side.mA[lane] = side.mJ[lane] = side.mB[lane] = 1.0;
            side.acts[lane] = 0.0;
        }
    }
    for (std::size_t i = 0; i < p.links.size(); ++i) {
        const double mA = massOf[lA[p.links[i]]], mB = massOf[lB[p.links[i]]];
        linkBlock& block = p.linkBlocks[i / 4];
        block.shareA[i % 4] = linkShare(mA, mB);
        block.shareB[i % 4] = linkShare(mB, mA);
    }
}

namespace {

void clearActiveShifts(const part& p, const std::vector<int>& applyCount, double* shift) {
    for (int f = p.ballBegin; f < p.ballEnd; ++f)
        if (applyCount[f]) shift[2 * f] = shift[2 * f + 1] = 0.0;
}

// The scalar kernels, the same steps as the wide ones in relaxationWide.cpp.
void measureArms(const int* from, const int* to, int count, const double* pos, armRecord* out) {
    for (int i = 0; i < count; ++i) {
        const int u = from[i], v = to[i];
        const armMeasure m = measureArm(pos[2 * u], pos[2 * u + 1], pos[2 * v], pos[2 * v + 1]);
        out[i] = {m.angle, m.gainS, m.qy, m.qx};
    }
}

inline armMeasure measureOf(const armRecord& r) { return {r.angle, r.gainS, r.qy, r.qx}; }

// A tension that does not act adds -0.0 (x + -0.0 is x for every x), as the
// wide kernel does.
void tensionBlocks(const tensionBlock* blocks, const tensionSide* side, int count,
                   const armRecord* arms, double dt, double* shift) {
    for (int g = 0; g < count; ++g) {
        const tensionBlock& t = blocks[g];
        for (int k = 0; k < 4; ++k) {
            const armMeasure arm1 = measureOf(arms[t.arm1[k]]), arm2 = measureOf(arms[t.arm2[k]]);
            const double mMin = t.plain ? 1.0 : side[g].mMin[k];
            const double mA = t.plain ? 1.0 : side[g].mA[k];
            const double mJ = t.plain ? 1.0 : side[g].mJ[k];
            const double mB = t.plain ? 1.0 : side[g].mB[k];
            tensionShifts s{-0.0, -0.0, -0.0, -0.0, -0.0, -0.0};
            if (t.plain || side[g].acts[k] != 0.0)
                s = tensionCorrection(arm1, arm2, t.restAngle[k], t.capLimit[k], dt, mA, mJ, mB, mMin);
            double* a = shift + t.a[k];
            a[0] += s.ax, a[1] += s.ay;
            double* j = shift + t.j[k];
            j[0] += s.jx, j[1] += s.jy;
            double* b = shift + t.b[k];
            b[0] += s.bx, b[1] += s.by;
        }
    }
}

void linkBlocks(const linkBlock* blocks, int count, const double* pos, double* shift) {
    for (int g = 0; g < count; ++g) {
        const linkBlock& l = blocks[g];
        for (int k = 0; k < 4; ++k) {
            const int a = l.a[k], b = l.b[k];
            const linkShifts s = linkCorrectionFrom(l.restLength[k], pos[b] - pos[a],
                                                    pos[b + 1] - pos[a + 1], l.shareA[k], l.shareB[k]);
            double* ta = shift + l.ta[k];
            ta[0] += s.ax, ta[1] += s.ay;
            double* tb = shift + l.tb[k];
            tb[0] += s.bx, tb[1] += s.by;
        }
    }
}

}  // namespace

double relaxationKernels::tensionErrorOf(double angle1, double angle2, double restAngle) {
    return tensionError({angle1, 0.0, 0.0, 0.0}, {angle2, 0.0, 0.0, 0.0}, restAngle);
}

// Shifts start at +0.0 for active balls (moveOwned clears them after each
// pass); a ball that is only named by a constraint keeps adding to its
// shift, as it is never cleared.
void relaxationSolver::state::tensionPass(part& p, int cur) {
    const double* x = pos[cur].data();
    const int arms = static_cast<int>(p.arms.size());
    const int blocks = static_cast<int>(p.tensionBlocks.size());
    if (wide) {
        relaxationKernels::measureArmsWide(p.armFrom.data(), p.armTo.data(), arms, x, p.arms.data(),
                                           p.armAcross.data());
        relaxationKernels::tensionBlocksWide(p.tensionBlocks.data(), p.tensionSides.data(), blocks,
                                             p.arms.data(), dt, shift.data());
    } else {
        measureArms(p.armFrom.data(), p.armTo.data(), arms, x, p.arms.data());
        tensionBlocks(p.tensionBlocks.data(), p.tensionSides.data(), blocks, p.arms.data(), dt,
                      shift.data());
    }
}

void relaxationSolver::state::linkPass(part& p, int cur) {
    const int blocks = static_cast<int>(p.linkBlocks.size());
    if (wide)
        relaxationKernels::linkBlocksWide(p.linkBlocks.data(), blocks, pos[cur].data(), shift.data());
    else
        linkBlocks(p.linkBlocks.data(), blocks, pos[cur].data(), shift.data());
}

// Moves the owned active balls by their shifts (once per appearance in
// activeBalls) into the other position buffer. With clear, the shifts of
// the active balls are then set to +0.0 for the next pass, and the scratch
// pair too.
void relaxationSolver::state::moveOwned(const part& p, int cur, bool clear) {
    const double* from = pos[cur].data();
    double* to = pos[1 - cur].data();
    double* d = shift.data();
    if (p.eachOnce) {
        for (int i = 2 * p.ballBegin; i < 2 * p.ballEnd; ++i) to[i] = from[i] + d[i];
        if (clear)
            for (int i = 2 * p.ballBegin; i < 2 * p.ballEnd; ++i) d[i] = 0.0;
    } else {
        for (int f = p.ballBegin; f < p.ballEnd; ++f) {
            double nx = from[2 * f], ny = from[2 * f + 1];
            for (int t = 0; t < applyCount[f]; ++t) {
                nx += d[2 * f];
                ny += d[2 * f + 1];
            }
            to[2 * f] = nx;
            to[2 * f + 1] = ny;
        }
        if (clear) clearActiveShifts(p, applyCount, d);
    }
    if (clear) d[2 * p.scratch] = d[2 * p.scratch + 1] = 0.0;
}

void relaxationSolver::state::run(int index) {
    part& p = (*parts)[index];
    if (!refresh(p)) stale.store(true, std::memory_order_relaxed);
    barrier.wait();
    if (stale.load(std::memory_order_relaxed)) return;

    for (int f = p.ballBegin; f < p.ballEnd; ++f) {
        const ball* b = flat[f];
        pos[0][2 * f] = b->x;
        pos[0][2 * f + 1] = b->y;
        shift[2 * f] = b->shiftX;
        shift[2 * f + 1] = b->shiftY;
        massOf[f] = massDivisor(b->effectiveMass);
        pinned[f] = b->anchored == 1;
    }
    if (passes > 0) clearActiveShifts(p, applyCount, shift.data());
    barrier.wait();
    refreshMasses(p);
    barrier.wait();

    int cur = 0;
    for (int pass = 0; pass < passes; ++pass) {
        tensionPass(p, cur);
        moveOwned(p, cur, true);
        cur = 1 - cur;
        barrier.wait();
        linkPass(p, cur);
        moveOwned(p, cur, pass + 1 < passes);
        cur = 1 - cur;
        barrier.wait();
    }
    for (int f = p.ballBegin; f < p.ballEnd; ++f) {
        ball* b = flat[f];
        b->x = pos[cur][2 * f];
        b->y = pos[cur][2 * f + 1];
        b->shiftX = shift[2 * f];
        b->shiftY = shift[2 * f + 1];
    }
}

namespace {

bool wideKernelsWanted() {
#if defined(__x86_64__) || defined(__i386__)
    if (const char* text = std::getenv("TUMBLA_SCALAR_PHYSICS"))
        if (text[0] && text[0] != '0') return false;
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace

relaxationSolver::relaxationSolver(int threads) : s(std::make_unique<state>()) {
    s->threads = std::max(1, threads);
    s->wide = wideKernelsWanted();
    if (s->wide) atan2Wide::available();  // its check runs now, not in the first frame
    if (s->threads > 1) s->pool = std::make_unique<workerPool>(s->threads - 1);
}

relaxationSolver::~relaxationSolver() = default;

int relaxationSolver::threads() const { return s->threads; }

void relaxationSolver::useWideKernels(bool on) { s->wide = on && wideKernelsWanted(); }

bool relaxationSolver::wideKernels() const { return s->wide; }

void relaxationSolver::relax(editorState& ed, int passes, int drawMode, double dt) {
    s->passes = passes;
    s->drawMode = drawMode;
    s->dt = dt;
    if (!s->listsMatch(ed)) s->rebuild(ed);
    const bool canShare = s->shareable();
    const int which = canShare ? s->choice.pick() : 0;
    s->useLayout(which);
    for (int attempt = 0; attempt < 2; ++attempt) {
        s->stale.store(false, std::memory_order_relaxed);
        s->barrier.reset(static_cast<int>(s->parts->size()));
        const auto start = std::chrono::steady_clock::now();
        if (s->parts->size() > 1)
            s->pool->run(&state::task, s.get());
        else
            s->run(0);
        if (!s->stale.load(std::memory_order_relaxed)) {
            if (canShare)
                s->choice.note(which, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            return;
        }
        s->rebuild(ed);  // a constraint changed its balls: index again, then run
    }
}

void relaxationSolver::chooseLayoutEvery(int frames) {
    s->choice = threadChoice{};
    s->choice.probeEvery = std::max(0, frames);
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
