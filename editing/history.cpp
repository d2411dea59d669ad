// Undo and redo of changes to the figure.
//
// Every operation that changes the balls, links, tensions or virtual links
// calls a hook just before it does. The first hook of a frame takes a
// snapshot of the figure; at the end of the frame that snapshot becomes an
// undo step, so all changes of one frame go back together. A control that
// acts in every frame it is held ("+" and "-", the Control edits) continues
// the step its hold began. Entering Play opens a step that everything done
// in Play mode joins, so one undo takes the figure back to where the run
// started.
//
// A snapshot reads every ball, since the physics moves balls in every
// frame, and keeps in new memory only the parts of chunks that differ from
// the snapshot before it. Links, tensions and virtual links change only
// through the hooked edits (and lose members when stray balls are removed,
// which changes their counts), so they are not even read again until a hook
// that may touch them has run. Records name entities by serial number;
// restoring gives the new entities their old serial numbers, so the
// snapshot after an undo shares everything with the step undone.
//
// Restoring builds new entities with plain `new`, not through newBall and
// newLink, which would draw random numbers and shift the random sequence;
// the entities replaced are retired, as a file read retires them.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "app/editorState.h"
#include "physics/spinWait.h"

namespace tumbla {

// The memory of freed blocks is kept, by size, for the blocks made next: a
// step that stores much anew (a change of every value) then writes into
// memory already in place, not into fresh pages, which the system must
// clear and map one by one (on a virtual machine a fresh page can cost more
// than reading the whole ball it holds records of). The history counts the
// memory kept as memory it holds, and keeps no more than one snapshot may
// need, within its bound.
namespace {
// What each block costs beyond its records: the allocator's header of each
// allocation, and the shared count with its deleter.
constexpr std::size_t allocationCost = 16;
constexpr std::size_t sharedCountCost = 64;
}  // namespace

class blockStore {
public:
    std::atomic<std::size_t> bytes{0};      // counted bytes of the blocks alive
    std::atomic<std::size_t> keptBytes{0};  // memory kept for reuse
    std::size_t keepAtMost = 0;             // what one snapshot of the figure may need

    blockStore() = default;
    blockStore(const blockStore&) = delete;
    blockStore& operator=(const blockStore&) = delete;
    ~blockStore() { keepNoMoreThan(0); }

    void* take(std::size_t size) {
        if (keptBytes.load(std::memory_order_acquire) != 0) {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = kept.find(size);
            if (it != kept.end() && !it->second.empty()) {
                void* memory = it->second.back();
                it->second.pop_back();
                keptBytes -= size + allocationCost;
                return memory;
            }
        }
        return ::operator new(size);
    }

    void give(void* memory, std::size_t size) {
        std::lock_guard<std::mutex> lock(mutex);
        kept[size].push_back(memory);
        keptBytes += size + allocationCost;
    }

    // Frees kept memory, the largest blocks first, until at most `most`
    // bytes are kept.
    void keepNoMoreThan(std::size_t most) {
        std::lock_guard<std::mutex> lock(mutex);
        if (keptBytes <= most) return;
        std::vector<std::size_t> sizes;
        for (const auto& entry : kept) sizes.push_back(entry.first);
        std::sort(sizes.rbegin(), sizes.rend());
        for (std::size_t size : sizes) {
            std::vector<void*>& memories = kept[size];
            while (!memories.empty() && keptBytes > most) {
                ::operator delete(memories.back());
                memories.pop_back();
                keptBytes -= size + allocationCost;
            }
            if (memories.empty()) kept.erase(size);
        }
    }

private:
    std::mutex mutex;
    std::unordered_map<std::size_t, std::vector<void*>> kept;
};

void* takeBlockMemory(blockStore& store, std::size_t bytes) { return store.take(bytes); }
void giveBlockMemory(blockStore& store, void* memory, std::size_t bytes) { store.give(memory, bytes); }

namespace {

constexpr int keyY = 89;

// Below this many entities to read a snapshot reads on one thread.
constexpr std::size_t entitiesWorthAThread = 20000;
// A list read on two threads is cut into pieces of about this many entities
// (at most maxPieces), which the threads take in turn: a thread that wakes
// late or reads slower memory takes fewer.
constexpr std::size_t entitiesAPiece = 16384;
constexpr std::size_t maxPieces = 8;


// Values by serial number: open addressing over a power of two slots, at
// most half full. Serial numbers start at 1, so 0 marks an empty slot; a
// serial number not there finds V{}.
template <typename V>
class serialTable {
public:
    void reset(std::size_t n) {
        std::size_t size = 16;
        while (size < 2 * n) size *= 2;
        slots.assign(size, {0, V{}});
        mask = size - 1;
    }
    void add(std::uint64_t serial, V v) {
        std::size_t i = slotOf(serial);
        while (slots[i].first != 0) i = (i + 1) & mask;
        slots[i] = {serial, v};
    }
    V find(std::uint64_t serial) const {
        for (std::size_t i = slotOf(serial); slots[i].first != 0; i = (i + 1) & mask)
            if (slots[i].first == serial) return slots[i].second;
        return V{};
    }

private:
    std::size_t slotOf(std::uint64_t serial) const {
        return static_cast<std::size_t>((serial * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    }
    std::vector<std::pair<std::uint64_t, V>> slots;
    std::size_t mask = 0;
};

std::uint64_t madeSoFar(const ball*) { return ballsMade(); }
std::uint64_t madeSoFar(const link*) { return linksMade(); }
std::uint64_t madeSoFar(const tension*) { return tensionsMade(); }

void fillFixed(ballFixed& r, const ball& b) {
    std::copy(std::begin(b.colour), std::end(b.colour), r.colour);
    r.unused = 0;
}

void fillValues(ballValues& r, const ball& b) {
    r.angleStrength = b.angleStrength;
    r.anchorX = b.anchorX;
    r.anchorY = b.anchorY;
    r.mass = b.mass;
    r.vx = b.vx;
    r.vy = b.vy;
    r.prevX = b.prevX;
    r.prevY = b.prevY;
    r.x = b.x;
    r.y = b.y;
    r.radius = b.radius;
    r.screenX = b.screenX;
    r.screenY = b.screenY;
    r.screenRadius = b.screenRadius;
    r.rolls = b.rolls;
    r.anchored = b.anchored;
    r.number = b.number;
    r.kind = static_cast<std::int32_t>(b.kind);
}

void fillFixed(linkFixed& r, const link& l) {
    r.ballA = l.ballA->serial;
    r.ballB = l.ballB->serial;
    std::copy(std::begin(l.colour), std::end(l.colour), r.colour);
    r.unused = 0;
}

void fillValues(linkValues& r, const link& l) {
    r.restLength = l.restLength;
    r.width = l.width;
    r.kind = static_cast<std::int32_t>(l.kind);
    r.unused = 0;
}

void fillFixed(tensionFixed& r, const tension& t) {
    r.ballA = t.ballA->serial;
    r.centre = t.centre->serial;
    r.ballB = t.ballB->serial;
    r.restAngle = t.restAngle;
}

void fillValues(tensionValues& r, const tension& t) { r.strength = t.strength; }

// A block shared by snapshots, its bytes counted while it lives.
template <typename T>
std::shared_ptr<const T> countedBlock(T* block, std::size_t bytes, const std::shared_ptr<blockStore>& store) {
    store->bytes += bytes;
    return std::shared_ptr<const T>(block, [store, bytes](const T* b) {
        store->bytes -= bytes;
        delete b;
    });
}

blockStore& storeOf(editHistory& h) {
    if (!h.blocks) h.blocks = std::make_shared<blockStore>();
    return *h.blocks;
}

std::size_t keptBytesOf(const editHistory& h) { return h.blocks ? h.blocks->keptBytes.load() : 0; }

// Keeps no more freed memory than one snapshot may need, nor more than
// leaves the history within its bound. Called wherever blocks may have
// been freed.
void trimKept(editHistory& h) {
    if (!h.blocks) return;
    const std::size_t live = h.bytes() - keptBytesOf(h);
    h.blocks->keepNoMoreThan(live < h.byteLimit ? std::min(h.blocks->keepAtMost, h.byteLimit - live) : 0);
}

template <typename T>
bool sameRecords(const blockVector<T>& stored, const T* fresh, std::size_t n) {
    return stored.size() == n && std::memcmp(stored.data(), fresh, n * sizeof(T)) == 0;
}

// A second thread kept for reading snapshots: waking it costs far less than
// starting a thread for each snapshot. It starts with the first snapshot
// worth two threads and sleeps between snapshots, which are at least a
// frame apart. A busy machine may wake it late: the caller then does the
// whole job alone and does not wait for it.
class readerThread {
public:
    readerThread() = default;
    readerThread(const readerThread&) = delete;
    readerThread& operator=(const readerThread&) = delete;
    ~readerThread() {
        if (!thread.joinable()) return;
        stopping.store(true, std::memory_order_release);
        generation.fetch_add(1, std::memory_order_acq_rel);
        generation.notify_one();
        thread.join();
    }

    // Runs job(0) on this thread and, if it wakes in time, job(1) on the
    // second one at once; returns when every job begun has finished. The
    // job must let either thread take whatever work the other has not.
    template <typename Job>
    void run(Job& job) {
        if (!thread.joinable()) thread = std::thread([this] { loop(); });
        work = [](void* context, int index) { (*static_cast<Job*>(context))(index); };
        workContext = &job;
        const unsigned posted = generation.load(std::memory_order_relaxed) + 1;
        open.store(posted, std::memory_order_release);
        generation.store(posted, std::memory_order_release);
        generation.notify_one();
        job(0);
        unsigned expected = posted;
        if (open.compare_exchange_strong(expected, 0, std::memory_order_acq_rel)) return;  // it never joined
        spinUntil([&] { return finished.load(std::memory_order_acquire) == posted; });
    }

private:
    void loop() {
        unsigned seen = 0;
        for (;;) {
            generation.wait(seen, std::memory_order_acquire);
            seen = generation.load(std::memory_order_acquire);
            if (stopping.load(std::memory_order_acquire)) return;
            // Joins the job only if the caller has not finished it already.
            unsigned expected = seen;
            if (!open.compare_exchange_strong(expected, 0, std::memory_order_acq_rel)) continue;
            work(workContext, 1);
            finished.store(seen, std::memory_order_release);
        }
    }

    std::thread thread;
    std::atomic<unsigned> generation{0};  // the job posted last
    std::atomic<unsigned> open{0};        // that job while nobody has claimed the second part
    std::atomic<unsigned> finished{0};    // the job the second thread finished last
    std::atomic<bool> stopping{false};
    void (*work)(void*, int) = nullptr;
    void* workContext = nullptr;
};

// Reads one list of entities into chunks. Each chunk's identity and values
// are compared with those of the previous snapshot's chunk that begins with
// the same entity, and shared where they are the same; only what differs is
// stored anew. A long list is cut into pieces, which two threads read at
// once; the cuts fall where chunks of the previous snapshot begin, so that
// they split none. A reader is kept from one snapshot to the next, so its
// scratch memory is not allocated (and faulted in) again each time.
template <typename Fixed, typename Values, typename E>
class listReader {
public:
    using records = recordList<Fixed, Values>;
    using chunk = typename records::chunk;

    // The entities the last read (or restore) found, by address, and how
    // many entities of the type had been made then. Until another is made,
    // an address still names the entity it named then: an address is reused
    // only by an entity made after the first was freed.
    std::vector<const E*> addresses;
    std::uint64_t madeThen = 0;

    void remember(const std::vector<E*>& entities, const records& read) {
        if (entities.size() == read.size())
            addresses.assign(entities.begin(), entities.end());
        else
            addresses.clear();  // the lists do not line up: nothing to go by
        madeThen = madeSoFar(static_cast<const E*>(nullptr));
    }

    // Sets up a read of `entities` in `pieces` pieces. valuesCurrent: no
    // change since the last read can have altered a field of an entity that
    // was there then.
    void begin(const records& previousRecords, const std::vector<E*>& entityList, bool valuesAreCurrent,
               const std::shared_ptr<blockStore>& blockMemory, std::size_t pieces) {
        previous = &previousRecords;
        entities = &entityList;
        valuesCurrent = valuesAreCurrent;
        store = &blockMemory;
        addressesHold = madeThen == madeSoFar(static_cast<const E*>(nullptr));
        starts.clear();
        std::size_t at = 0;
        for (const chunk& c : previous->chunks) {
            starts.push_back(at);
            at += c.size();
        }
        indexed = false;
        const std::size_t n = entities->size();
        const std::size_t none = previous->chunks.size();
        cuts.assign(1, 0);
        firstChunks.assign(1, 0);
        for (std::size_t k = 1; k < pieces; ++k) {
            const auto [place, c] = cutNear(k * n / pieces);
            cuts.push_back(std::max(cuts.back(), place));
            firstChunks.push_back(place == cuts.back() ? c : none);
        }
        cuts.push_back(n);
        if (pieceChunks.size() < pieces) pieceChunks.resize(pieces);
    }

    std::size_t pieces() const { return cuts.size() - 1; }

    // Reads one piece on one of the two threads (0 or 1); the threads read
    // different pieces at once.
    void readPiece(std::size_t piece, int thread) {
        std::vector<chunk>& out = pieceChunks[piece];
        scratch& p = scratches[thread];
        out.clear();
        const std::size_t from = cuts[piece];
        const std::size_t to = cuts[piece + 1];
        std::size_t next = firstChunks[piece];  // the previous chunk expected to come next
        for (std::size_t first = from; first < to;) {
            if (addressesHold && next < previous->chunks.size() && sameEntities(first, to, next)) {
                out.push_back(sameIdentity(p, previous->chunks[next], first));
                first += previous->chunks[next].size();
                ++next;
                continue;
            }
            const std::size_t m = readRun(p, first, to);
            std::size_t found = previous->chunks.size();
            out.push_back(makeChunk(p, first, m, found));
            if (found < previous->chunks.size()) next = found + 1;
            first += m;
        }
    }

    // Joins the pieces into `out`.
    void finish(records& out) {
        out.count = entities->size();
        out.chunks.clear();
        std::size_t total = 0;
        for (std::size_t k = 0; k < pieces(); ++k) total += pieceChunks[k].size();
        out.chunks.reserve(total);
        for (std::size_t k = 0; k < pieces(); ++k) {
            std::move(pieceChunks[k].begin(), pieceChunks[k].end(), std::back_inserter(out.chunks));
            pieceChunks[k].clear();
        }
        remember(*entities, out);
    }

private:
    // The scratch of one thread.
    struct scratch {
        std::uint64_t serials[chunkMaximum];
        Values values[chunkMaximum];
    };

    // A place near `target` to cut the list between two pieces, and the
    // previous chunk that begins there (none if unknown): where the previous
    // chunk at or after `target` began, if the entity that began it is still
    // at that place, or as many places on as the list has grown (entities
    // added or removed before it); else after the first entity from there on
    // after which a chunk may end. Either way the next snapshot finds the
    // same place again, and no chunk of the previous snapshot is cut in two.
    std::pair<std::size_t, std::size_t> cutNear(std::size_t target) const {
        const std::vector<E*>& list = *entities;
        const auto c = std::lower_bound(starts.begin(), starts.end(), target);
        if (addressesHold && c != starts.end() && *c < addresses.size()) {
            const std::size_t was = *c;
            const std::size_t moved = was + list.size() - addresses.size();  // wraps round if the list shrank past it
            for (std::size_t place : {was, moved})
                if (place < list.size() && list[place] == addresses[was])
                    return {place, static_cast<std::size_t>(c - starts.begin())};
        }
        for (std::size_t i = target; i < list.size() && i < target + chunkMaximum; ++i)
            if (cutsChunkAfter(list[i]->serial)) return {i + 1, previous->chunks.size()};
        return {target, previous->chunks.size()};
    }

    // Whether the entities from `first` on are, address for address, those
    // of the previous snapshot's chunk c, within the piece that ends at `to`.
    bool sameEntities(std::size_t first, std::size_t to, std::size_t c) const {
        const std::size_t m = previous->chunks[c].size();
        const std::size_t from = starts[c];
        if (first + m > to || from + m > addresses.size()) return false;
        return std::equal(entities->begin() + first, entities->begin() + first + m, addresses.begin() + from);
    }

    chunk sameIdentity(scratch& p, const chunk& old, std::size_t first) {
        if (valuesCurrent) return old;
        const std::size_t m = old.size();
        for (std::size_t i = 0; i < m; ++i) fillValues(p.values[i], *(*entities)[first + i]);
        chunk c;
        c.identity = old.identity;
        c.values = sharedOrNewValues(p, &old, m);
        return c;
    }

    // Reads serial numbers and values from `first` up to the end of its
    // chunk, or of the piece; returns how many.
    std::size_t readRun(scratch& p, std::size_t first, std::size_t to) {
        std::size_t m = 0;
        while (first + m < to && m < chunkMaximum) {
            const E& e = *(*entities)[first + m];
            p.serials[m] = e.serial;
            fillValues(p.values[m], e);
            ++m;
            if (m >= chunkMinimum && cutsChunkAfter(e.serial)) break;
        }
        return m;
    }

    // A chunk of the run just read, sharing what it can with the previous
    // chunk that begins with the same entity (whose place goes to found).
    chunk makeChunk(scratch& p, std::size_t first, std::size_t m, std::size_t& found) {
        const std::size_t place = previousChunkBeginningWith(p.serials[0]);
        const chunk* old = place ? &previous->chunks[place - 1] : nullptr;
        if (old) found = place - 1;
        chunk c;
        if (old && sameRecords(old->identity->serials, p.serials, m))
            c.identity = old->identity;
        else
            c.identity = newIdentity(p, first, m);
        c.values = sharedOrNewValues(p, old, m);
        return c;
    }

    // The place + 1 of the previous chunk that begins with this entity, 0
    // if none. The table is built the first time a run must be looked up.
    std::size_t previousChunkBeginningWith(std::uint64_t serial) {
        std::lock_guard<std::mutex> lock(indexing);
        if (!indexed) {
            chunksOfPrevious.reset(previous->chunks.size());
            for (std::size_t c = 0; c < previous->chunks.size(); ++c)
                chunksOfPrevious.add(previous->chunks[c].identity->serials.front(), c + 1);
            indexed = true;
        }
        return chunksOfPrevious.find(serial);
    }

    std::shared_ptr<const blockVector<Values>> sharedOrNewValues(const scratch& p, const chunk* old, std::size_t m) {
        if (old && sameRecords(*old->values, p.values, m)) return old->values;
        return countedBlock(new blockVector<Values>(p.values, p.values + m, blockAllocator<Values>(**store)),
                            sizeof(blockVector<Values>) + m * sizeof(Values) + 2 * allocationCost + sharedCountCost,
                            *store);
    }

    std::shared_ptr<const identityBlock<Fixed>> newIdentity(const scratch& p, std::size_t first, std::size_t m) {
        auto* block = new identityBlock<Fixed>(**store);
        block->serials.assign(p.serials, p.serials + m);
        block->fixed.resize(m);
        for (std::size_t i = 0; i < m; ++i) fillFixed(block->fixed[i], *(*entities)[first + i]);
        return countedBlock<identityBlock<Fixed>>(
            block, sizeof(*block) + m * (sizeof(std::uint64_t) + sizeof(Fixed)) + 3 * allocationCost + sharedCountCost,
            *store);
    }

    // The read in progress.
    const records* previous = nullptr;
    const std::vector<E*>* entities = nullptr;
    bool valuesCurrent = false;
    bool addressesHold = false;
    const std::shared_ptr<blockStore>* store = nullptr;
    std::vector<std::size_t> cuts;         // where each piece begins, and the end
    std::vector<std::size_t> firstChunks;  // the previous chunk expected at the start of each piece
    std::vector<std::size_t> starts;       // where each previous chunk begins in the list

    // The previous chunks by the serial number of their first entity (place
    // + 1, so that 0 is none).
    std::mutex indexing;
    serialTable<std::size_t> chunksOfPrevious;
    bool indexed = false;

    std::vector<std::vector<chunk>> pieceChunks;
    scratch scratches[2];
};

}  // namespace

// One reader a list, and the second thread.
struct snapshotReaders {
    listReader<ballFixed, ballValues, ball> balls;
    listReader<linkFixed, linkValues, link> links;
    listReader<tensionFixed, tensionValues, tension> tensions;
    listReader<linkFixed, linkValues, link> virtualLinks;
    readerThread second;
};

namespace {

void restoreLinks(editorState& e, std::vector<link*>& links, const linkRecords& records,
                  const serialTable<ball*>& balls) {
    links.reserve(records.size());
    records.forEach([&](std::uint64_t serial, const linkFixed& f, const linkValues& v) {
        ball* a = balls.find(f.ballA);
        ball* b = balls.find(f.ballB);
        if (!a || !b) return;
        link* l = new link;
        l->serial = serial;
        l->owner = &e;
        l->kind = static_cast<entityKind>(v.kind);
        l->ballA = a;
        l->ballB = b;
        l->restLength = v.restLength;
        l->width = v.width;
        std::copy(std::begin(f.colour), std::end(f.colour), l->colour);
        links.push_back(l);
    });
}

void restoreTensions(std::vector<tension*>& tensions, const tensionRecords& records, const serialTable<ball*>& balls) {
    tensions.reserve(records.size());
    records.forEach([&](std::uint64_t serial, const tensionFixed& f, const tensionValues& v) {
        ball* a = balls.find(f.ballA);
        ball* centre = balls.find(f.centre);
        ball* b = balls.find(f.ballB);
        if (!a || !centre || !b) return;
        tension* t = new tension;
        t->serial = serial;
        t->ballA = a;
        t->centre = centre;
        t->ballB = b;
        t->restAngle = f.restAngle;
        t->strength = v.strength;
        tensions.push_back(t);
    });
}

// Whether the links, tensions and virtual links the last snapshot read still
// describe the figure. Removing stray balls takes links and tensions without
// a hook; it always shortens a list.
bool structureReusable(const editorState& e) {
    const figureSnapshot& last = e.history.last;
    return e.history.structureCurrent && last.links.size() == e.allLinks.size() &&
           last.tensions.size() == e.allTensions.size() && last.virtualLinks.size() == e.virtualLinks.size();
}

// The most a snapshot of the figure as it is now adds to the history.
std::size_t snapshotBytesOf(const editorState& e) {
    return sizeof(historyStep) +
           figureSnapshot::bytesFor(e.allBalls.size(), e.allLinks.size(), e.allTensions.size(), e.virtualLinks.size());
}

// What a change may touch besides balls.
enum touches : unsigned {
    touchesBallsOnly = 0,
    touchesLists = 1,         // adds or removes links, tensions or virtual links
    touchesLinkValues = 2,    // a field of a link or virtual link
    touchesTensionValues = 4  // a field of a tension
};

// Makes the next snapshot read again what the change may touch.
void noteTouched(editHistory& h, unsigned touched) {
    if (touched != touchesBallsOnly) h.structureCurrent = false;
    if (touched & touchesLinkValues) h.linkValuesCurrent = false;
    if (touched & touchesTensionValues) h.tensionValuesCurrent = false;
}

// Takes the figure before a change: once per frame, and not while a Play
// run gathers everything done in it.
void recordChange(editorState& e, unsigned touched) {
    editHistory& h = e.history;
    const bool partOfRun = e.mode == -1 && h.playOpen;
    if (!partOfRun) h.playOpen = false;
    if (!partOfRun && !h.hasPending) {
        const std::size_t most = snapshotBytesOf(e);
        storeOf(h).keepAtMost = most;
        // Redo steps are dropped first: the change is about to make them void.
        if (h.makeRoom(most, true)) {
            h.pending.mode = e.mode;
            e.captureFigure(h.pending.figure);
            h.hasPending = true;
        } else {
            h.clear();  // a figure larger than the whole budget has no history
        }
    }
    noteTouched(h, touched);
}

// Moves one step from one stack to the other: the figure as it is now goes
// onto the other stack, the step's figure is restored.
bool travel(editorState& e, std::deque<historyStep>& from, std::deque<historyStep>& to, bool forward) {
    editHistory& h = e.history;
    if (h.hasPending) e.endFrameHistory();
    if (from.empty()) return false;
    historyStep step = std::move(from.back());
    from.pop_back();

    historyStep now;
    now.play = step.play;
    now.changesFileName = step.changesFileName;
    now.mode = e.mode;
    const std::size_t most = snapshotBytesOf(e);
    storeOf(h).keepAtMost = most;
    const bool kept = h.makeRoom(most, false);
    if (kept) e.captureFigure(now.figure);

    e.restoreFigure(step.figure);
    if (step.changesFileName) e.currentFileName = step.figure.fileName;
    if (step.play) e.mode = step.mode;
    if (kept) to.push_back(std::move(now));
    h.heldOpen = 0;
    // A run redone into Play mode goes on: what is done in it joins it.
    h.playOpen = forward && step.play && e.mode == -1;
    return true;
}

}  // namespace

std::size_t figureSnapshot::bytesFor(std::size_t balls, std::size_t links, std::size_t tensions,
                                     std::size_t virtualLinks) {
    // Every chunk but the last of a list holds chunkMinimum records or more.
    auto chunksOf = [](std::size_t n) { return n / chunkMinimum + 1; };
    // Each chunk: its place in the list, and two blocks, each with its shared
    // count, the identity with two allocations of records and the values
    // with one.
    constexpr std::size_t perChunk = sizeof(ballRecords::chunk) + 2 * sharedCountCost + 5 * allocationCost +
                                     sizeof(identityBlock<ballFixed>) + sizeof(blockVector<ballValues>);
    auto bytesOf = [&](std::size_t n, std::size_t recordBytes) { return n * recordBytes + chunksOf(n) * perChunk; };
    constexpr std::size_t serialBytes = sizeof(std::uint64_t);
    return bytesOf(balls, serialBytes + sizeof(ballFixed) + sizeof(ballValues)) +
           bytesOf(links, serialBytes + sizeof(linkFixed) + sizeof(linkValues)) +
           bytesOf(virtualLinks, serialBytes + sizeof(linkFixed) + sizeof(linkValues)) +
           bytesOf(tensions, serialBytes + sizeof(tensionFixed) + sizeof(tensionValues));
}

std::size_t editHistory::bytes() const {
    std::size_t total = (blocks ? blocks->bytes.load() : 0) + keptBytesOf(*this) + last.listBytes();
    if (hasPending) total += sizeof(historyStep) + pending.figure.listBytes();
    for (const historyStep& s : undoSteps) total += sizeof(historyStep) + s.figure.listBytes();
    for (const historyStep& s : redoSteps) total += sizeof(historyStep) + s.figure.listBytes();
    return total;
}

bool editHistory::makeRoom(std::size_t extraBytes, bool redoFirst) {
    // The memory kept from freed blocks is left out: the new step reuses it,
    // and what it does not is freed after it.
    auto fits = [&] {
        const std::size_t steps = undoSteps.size() + redoSteps.size() + (hasPending ? 1 : 0);
        return bytes() - keptBytesOf(*this) + extraBytes <= byteLimit && steps + 1 <= stepLimit;
    };
    std::deque<historyStep>& first = redoFirst ? redoSteps : undoSteps;
    std::deque<historyStep>& second = redoFirst ? undoSteps : redoSteps;
    while (!fits()) {
        // The front of each stack is the step farthest from the present.
        if (!first.empty()) {
            first.pop_front();
        } else if (!second.empty()) {
            second.pop_front();
        } else if (last.balls.size() || last.links.size() || last.tensions.size() || last.virtualLinks.size()) {
            last = figureSnapshot{};  // kept only for sharing
            structureCurrent = false;
        } else {
            return false;
        }
    }
    return true;
}

void editHistory::commitPending() {
    if (!hasPending) return;
    redoSteps.clear();
    undoSteps.push_back(std::move(pending));
    pending = historyStep{};
    hasPending = false;
    while (undoSteps.size() > 1 && (undoSteps.size() > stepLimit || bytes() - keptBytesOf(*this) > byteLimit))
        undoSteps.pop_front();
    trimKept(*this);
}

void editHistory::clear() {
    undoSteps.clear();
    redoSteps.clear();
    pending = historyStep{};
    hasPending = false;
    heldNow = heldOpen = 0;
    playOpen = false;
    last = figureSnapshot{};
    structureCurrent = false;
    if (blocks) blocks->keepNoMoreThan(0);
}

// Placing, linking, deleting, the kind of a ball or a link, the file
// commands: of the entities already there, only a link's kind changes;
// whatever else they do adds or removes entities.
void editorState::noteChange() { recordChange(*this, touchesLists | touchesLinkValues); }

void editorState::noteBallChange() { recordChange(*this, touchesBallsOnly); }

void editorState::noteHeldChange(heldControl control) {
    const std::uint32_t bit = std::uint32_t{1} << control;
    unsigned touched = touchesBallsOnly;
    switch (control) {
        case heldResizeRow: touched = touchesLinkValues | touchesTensionValues; break;
        case heldLinkWidthRow:
        case heldDamagingKeys:
        case heldNormalKeys:
        case heldBackgroundKeys: touched = touchesLinkValues; break;
        // The row of every ball steps the tensions' strength; that of the
        // selected ball makes its body's tensions anew.
        case heldAngleRow: touched = touchesLists | touchesTensionValues; break;
        default: break;
    }
    history.heldNow |= bit;
    if (history.heldOpen & bit) {
        // The hold goes on: same step.
        noteTouched(history, touched);
        return;
    }
    recordChange(*this, touched);
}

void editorState::noteFileChange() {
    if (!history.fileNoted) {
        history.fileNoted = true;
        history.nameAtFileNote = currentFileName;
    }
    noteChange();
}

void editorState::dropUnchangedStep() {
    editHistory& h = history;
    if (!h.hasPending || h.pending.play) return;
    figureSnapshot now;
    captureFigure(now);
    if (!(now == h.pending.figure)) return;
    h.pending = historyStep{};
    h.hasPending = false;
    trimKept(h);
}

void editorState::notePlay() {
    // Entering Play regroups but changes no link, tension or virtual link.
    noteBallChange();
    if (!history.hasPending) return;
    history.pending.play = true;
    history.playOpen = true;
}

void editorState::endFrameHistory() {
    editHistory& h = history;
    const bool nameChanged = h.fileNoted && currentFileName != h.nameAtFileNote;
    if (h.hasPending) {
        if (nameChanged) h.pending.changesFileName = true;
        h.commitPending();
        h.heldOpen = h.heldNow;
    } else {
        // A file read during a run changes the run's step.
        if (nameChanged && h.playOpen && !h.undoSteps.empty()) h.undoSteps.back().changesFileName = true;
        h.heldOpen &= h.heldNow;
    }
    h.heldNow = 0;
    h.fileNoted = false;
}

void editorState::handleHistoryKeys() {
    // Asked every frame, so presses made without Control are forgotten.
    const int undoPresses = io.keyHits(keyZ);
    const int redoPresses = io.keyHits(keyY);
    if (!io.keyDown(keyLeftControl) && !io.keyDown(keyRightControl)) return;
    const bool shift = io.keyDown(keyShift);
    for (int i = 0; i < undoPresses; ++i) shift ? redo() : undo();
    for (int i = 0; i < redoPresses; ++i) redo();
}

bool editorState::undo() { return travel(*this, history.undoSteps, history.redoSteps, false); }

bool editorState::redo() { return travel(*this, history.redoSteps, history.undoSteps, true); }

void editorState::captureFigure(figureSnapshot& s) {
    editHistory& h = history;
    figureSnapshot& last = h.last;
    storeOf(h);
    const std::shared_ptr<blockStore>& counter = h.blocks;
    if (!h.readers) h.readers = std::make_shared<snapshotReaders>();
    snapshotReaders& read = *h.readers;
    // Balls are read every time; links, tensions and virtual links only
    // when a change may have touched them.
    const bool structure = !structureReusable(*this);
    const std::size_t toRead =
        allBalls.size() + (structure ? allLinks.size() + allTensions.size() + virtualLinks.size() : 0);
    // Long lists are cut into pieces, which two threads take in turn; a
    // small figure is not worth waking the second thread.
    const bool twoThreads = toRead >= entitiesWorthAThread;
    auto piecesOf = [&](std::size_t n) {
        return twoThreads ? std::clamp<std::size_t>(n / entitiesAPiece, 1, maxPieces) : 1;
    };
    read.balls.begin(last.balls, allBalls, false, counter, piecesOf(allBalls.size()));
    if (structure) {
        read.links.begin(last.links, allLinks, h.linkValuesCurrent, counter, piecesOf(allLinks.size()));
        read.tensions.begin(last.tensions, allTensions, h.tensionValuesCurrent, counter, piecesOf(allTensions.size()));
        read.virtualLinks.begin(last.virtualLinks, virtualLinks, h.linkValuesCurrent, counter,
                                piecesOf(virtualLinks.size()));
    }
    // The pieces of every list to read, numbered in one run.
    const std::size_t ballPieces = read.balls.pieces();
    const std::size_t linkPieces = structure ? read.links.pieces() : 0;
    const std::size_t tensionPieces = structure ? read.tensions.pieces() : 0;
    const std::size_t virtualPieces = structure ? read.virtualLinks.pieces() : 0;
    const std::size_t allPieces = ballPieces + linkPieces + tensionPieces + virtualPieces;
    std::atomic<std::size_t> nextPiece{0};
    auto readPieces = [&](int thread) {
        for (std::size_t k; (k = nextPiece.fetch_add(1, std::memory_order_relaxed)) < allPieces;) {
            if (k < ballPieces) {
                read.balls.readPiece(k, thread);
                continue;
            }
            k -= ballPieces;
            if (k < linkPieces) {
                read.links.readPiece(k, thread);
                continue;
            }
            k -= linkPieces;
            if (k < tensionPieces)
                read.tensions.readPiece(k, thread);
            else
                read.virtualLinks.readPiece(k - tensionPieces, thread);
        }
    };
    if (twoThreads)
        read.second.run(readPieces);
    else
        readPieces(0);
    read.balls.finish(s.balls);
    if (structure) {
        read.links.finish(s.links);
        read.tensions.finish(s.tensions);
        read.virtualLinks.finish(s.virtualLinks);
        h.structureCurrent = h.linkValuesCurrent = h.tensionValuesCurrent = true;
    } else {
        s.links = last.links;
        s.tensions = last.tensions;
        s.virtualLinks = last.virtualLinks;
    }
    s.fileName = currentFileName;
    last = s;
    trimKept(h);
}

void editorState::restoreFigure(const figureSnapshot& s) {
    retireFigure();

    serialTable<ball*> byId;
    byId.reset(s.balls.size());
    allBalls.reserve(s.balls.size());
    s.balls.forEach([&](std::uint64_t serial, const ballFixed& f, const ballValues& r) {
        ball* b = new ball;
        b->serial = serial;
        b->owner = this;
        b->rolls = r.rolls;
        b->kind = static_cast<entityKind>(r.kind);
        b->angleStrength = r.angleStrength;
        b->anchorX = r.anchorX;
        b->anchorY = r.anchorY;
        b->anchored = r.anchored;
        b->screenX = r.screenX;
        b->screenY = r.screenY;
        b->screenRadius = r.screenRadius;
        b->mass = r.mass;
        b->number = r.number;
        b->vx = r.vx;
        b->vy = r.vy;
        b->prevX = r.prevX;
        b->prevY = r.prevY;
        b->x = r.x;
        b->y = r.y;
        b->radius = r.radius;
        std::copy(std::begin(f.colour), std::end(f.colour), b->colour);
        allBalls.push_back(b);
        byId.add(serial, b);
    });
    restoreLinks(*this, allLinks, s.links, byId);
    restoreTensions(allTensions, s.tensions, byId);
    restoreLinks(*this, virtualLinks, s.virtualLinks, byId);
    // The entities are new but have the serial numbers and fields of the
    // snapshot, which the next snapshot therefore shares whole.
    editHistory& h = history;
    h.last = s;
    trimKept(h);
    h.structureCurrent = h.linkValuesCurrent = h.tensionValuesCurrent = true;
    if (!h.readers) h.readers = std::make_shared<snapshotReaders>();
    h.readers->balls.remember(allBalls, s.balls);
    h.readers->links.remember(allLinks, s.links);
    h.readers->tensions.remember(allTensions, s.tensions);
    h.readers->virtualLinks.remember(virtualLinks, s.virtualLinks);

    // Nothing may name the entities just replaced.
    selectedBall = nullptr;
    selectedLink = nullptr;
    hoverBall = nullptr;
    hoverLink = nullptr;
    heldBall = nullptr;
    linkDragActive = 0;
    linkEnds[0] = linkEnds[1] = nullptr;
    mainBall = allBalls.empty() ? nullptr : allBalls.front();
    regroup();
}

}  // namespace tumbla
