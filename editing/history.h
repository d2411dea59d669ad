// Undo and redo: the figure as compact plain records, and the two stacks of
// steps, bounded by memory and by count.
//
// A step holds the figure as it was before a change (on the undo stack) or
// before an undo (on the redo stack).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace tumbla {

// A snapshot keeps each entity in three parts: its serial number, the fields
// fixed when it was made, and the fields that change. Records hold no
// pointer that is ever followed, and no padding, so records of the same
// entity in the same state compare equal byte for byte. Links and tensions
// name their balls by serial number.
//
// Fixed at creation: a ball's and a link's colour, the balls of a link and
// of a tension, a tension's rest angle. Nothing changes them afterwards, so
// a run of entities with the same serial numbers as in the previous snapshot
// shares that snapshot's fixed fields without reading them again.
struct ballFixed {
    std::int32_t colour[3];
    std::int32_t unused;  // fills the record to a multiple of 8 bytes, no padding
};

// Every field of a ball that lasts from one frame to the next; the body, the
// owner and the values each frame derives again (effective mass, shifts,
// tension counts) are left out.
struct ballValues {
    double angleStrength, anchorX, anchorY, mass, vx, vy, prevX, prevY, x, y, radius;
    double screenX, screenY, screenRadius;  // the last projection, which the link tool reads
    std::int32_t rolls, anchored, number, kind;
};

struct linkFixed {
    std::uint64_t ballA, ballB;
    std::int32_t colour[3];
    std::int32_t unused;
};

struct linkValues {
    double restLength, width;
    std::int32_t kind;
    std::int32_t unused;
};

struct tensionFixed {
    std::uint64_t ballA, centre, ballB;
    double restAngle;
};

struct tensionValues {
    double strength;
};

static_assert(sizeof(ballFixed) == 4 * 4 && sizeof(ballValues) == 14 * 8 + 4 * 4, "ball records have padding");
static_assert(sizeof(linkFixed) == 2 * 8 + 4 * 4 && sizeof(linkValues) == 2 * 8 + 2 * 4, "link records have padding");
static_assert(sizeof(tensionFixed) == 4 * 8 && sizeof(tensionValues) == 8, "tension records have padding");

// Where the records of the history live (editing/history.cpp): it counts
// the bytes of every block alive and keeps the memory of freed blocks for
// the next snapshot's new blocks, so that they reuse memory already in place
// instead of fresh pages.
class blockStore;
void* takeBlockMemory(blockStore& store, std::size_t bytes);
void giveBlockMemory(blockStore& store, void* memory, std::size_t bytes);

template <typename T>
struct blockAllocator {
    using value_type = T;
    blockStore* store;
    explicit blockAllocator(blockStore& s) : store(&s) {}
    template <typename U>
    blockAllocator(const blockAllocator<U>& other) : store(other.store) {}
    T* allocate(std::size_t n) { return static_cast<T*>(takeBlockMemory(*store, n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { giveBlockMemory(*store, p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const blockAllocator<U>& other) const {
        return store == other.store;
    }
};

template <typename T>
using blockVector = std::vector<T, blockAllocator<T>>;

// The serial numbers and fixed fields of a run of entities.
template <typename Fixed>
struct identityBlock {
    explicit identityBlock(blockStore& store)
        : serials(blockAllocator<std::uint64_t>(store)), fixed(blockAllocator<Fixed>(store)) {}
    blockVector<std::uint64_t> serials;
    blockVector<Fixed> fixed;
};

// A run of consecutive entities of a list. Its identity and its values are
// kept apart so that a change of values only (positions, "Resize
// Everything") stores new values and shares the identity, and the other way
// round. Each part is shared by every snapshot in which it is the same.
template <typename Fixed, typename Values>
struct recordChunk {
    std::shared_ptr<const identityBlock<Fixed>> identity;
    std::shared_ptr<const blockVector<Values>> values;

    std::size_t size() const { return identity->serials.size(); }
    bool operator==(const recordChunk& other) const {
        return sameBlock(identity, other.identity) && sameBlock(values, other.values);
    }

private:
    static bool sameBlock(const std::shared_ptr<const identityBlock<Fixed>>& a,
                          const std::shared_ptr<const identityBlock<Fixed>>& b) {
        return a == b || (sameBytes(a->serials, b->serials) && sameBytes(a->fixed, b->fixed));
    }
    static bool sameBlock(const std::shared_ptr<const blockVector<Values>>& a,
                          const std::shared_ptr<const blockVector<Values>>& b) {
        return a == b || sameBytes(*a, *b);
    }
    template <typename T>
    static bool sameBytes(const blockVector<T>& a, const blockVector<T>& b) {
        return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
    }
};

// Where a list is cut into chunks depends only on the serial numbers around
// the cut, not on places in the list: a chunk ends after an entity whose
// serial number hashes to a multiple of chunkCutEvery, once the chunk has
// chunkMinimum entities, and at chunkMaximum entities in any case. Inserting
// or deleting an entity then changes the chunk around it only; the cuts
// after it fall on the same entities as before, so the later chunks are
// found again (by their first serial number) and shared.
constexpr std::size_t chunkMinimum = 64;
constexpr std::size_t chunkCutEvery = 256;
constexpr std::size_t chunkMaximum = 1024;

inline bool cutsChunkAfter(std::uint64_t serial) {
    return ((serial * 0x9E3779B97F4A7C15ull) >> 32) % chunkCutEvery == 0;
}

template <typename Fixed, typename Values>
struct recordList {
    static_assert(std::is_trivially_copyable_v<Fixed> && std::is_trivially_copyable_v<Values>);
    using chunk = recordChunk<Fixed, Values>;

    std::vector<chunk> chunks;
    std::size_t count = 0;

    std::size_t size() const { return count; }
    // The memory of the chunk list itself; the blocks are counted apart,
    // since snapshots share them.
    std::size_t listBytes() const { return chunks.capacity() * sizeof(chunk); }

    // visit(serial, fixed, values) for every entity in list order.
    template <typename Visit>
    void forEach(Visit visit) const {
        for (const chunk& c : chunks)
            for (std::size_t i = 0; i < c.size(); ++i)
                visit(c.identity->serials[i], c.identity->fixed[i], (*c.values)[i]);
    }

    bool operator==(const recordList& other) const = default;
};

using ballRecords = recordList<ballFixed, ballValues>;
using linkRecords = recordList<linkFixed, linkValues>;
using tensionRecords = recordList<tensionFixed, tensionValues>;

struct figureSnapshot {
    ballRecords balls;
    linkRecords links;
    tensionRecords tensions;
    linkRecords virtualLinks;
    std::string fileName;

    // Memory of this snapshot apart from its blocks.
    std::size_t listBytes() const {
        return balls.listBytes() + links.listBytes() + tensions.listBytes() + virtualLinks.listBytes() +
               fileName.capacity();
    }
    bool operator==(const figureSnapshot& other) const = default;

    // What a snapshot of a figure of these sizes takes at most.
    static std::size_t bytesFor(std::size_t balls, std::size_t links, std::size_t tensions, std::size_t virtualLinks);
};

struct snapshotReaders;

struct historyStep {
    figureSnapshot figure;
    // Restoring a step of a Play run also sets the mode: Draw when the run is
    // undone, the mode it was undone in when it is redone.
    bool play = false;
    int mode = 1;
    // Only a step that changed the file name ("Open", "New Level") takes the
    // name back, so a later Save never writes one file's figure over another.
    bool changesFileName = false;
};

// Controls that change the figure in every frame they are held: a hold of
// one of them, however many frames it lasts, is one step.
enum heldControl : int {
    heldAnchorKeys,      // Control + A
    heldReleaseKeys,     // Control + R
    heldDamagingKeys,    // Control + D
    heldNormalKeys,      // Control + N
    heldBackgroundKeys,  // Control + B
    heldResizeRow,
    heldLinkWidthRow,
    heldBallMassRow,
    heldBallSizeRow,
    heldAngleRow,
};

// The stacks and the bookkeeping of the frame in progress. The editor
// (editing/history.cpp) takes the snapshots and restores them.
class editHistory {
public:
    std::size_t byteLimit = std::size_t{256} << 20;
    std::size_t stepLimit = 1000;

    std::deque<historyStep> undoSteps;  // oldest first; back() is undone next
    std::deque<historyStep> redoSteps;  // back() is redone next

    // The figure as it was before the first change of the frame in progress.
    bool hasPending = false;
    historyStep pending;

    std::uint32_t heldNow = 0;   // held controls that changed the figure this frame
    std::uint32_t heldOpen = 0;  // held controls whose hold continues the last undo step
    bool playOpen = false;       // the last undo step is a Play run still going on
    bool fileNoted = false;      // a file command ran this frame
    std::string nameAtFileNote;  // the file name before it

    // The snapshot taken last, whose chunks the next one shares where they
    // are the same; whether no change can have touched its links, tensions
    // and virtual links since (they are then not read again); and, when they
    // are read, whether a change can have altered a field of a link (or
    // virtual link) or of a tension that was there then. Adding and
    // removing entities is found by the reading itself.
    figureSnapshot last;
    bool structureCurrent = false;
    bool linkValuesCurrent = false;
    bool tensionValuesCurrent = false;

    // The memory of the blocks, shared by the blocks' deleters. Blocks are
    // made on two threads at once.
    std::shared_ptr<blockStore> blocks;
    // The scratch memory of taking snapshots, kept between them.
    std::shared_ptr<snapshotReaders> readers;

    // Bytes held by every step, the pending one included, and the memory
    // kept for new blocks; a chunk that several steps share counts once.
    std::size_t bytes() const;
    // Drops steps farthest from the present, from the undo stack first (or
    // from the redo stack first), until the steps fit both limits with room
    // for one more step of extraBytes. False when even empty stacks leave no
    // room.
    bool makeRoom(std::size_t extraBytes, bool redoFirst);
    // The frame's pending step becomes the last undo step; redo steps go.
    void commitPending();
    void clear();
};

}  // namespace tumbla
