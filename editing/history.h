// Undo and redo: the figure as compact plain records, and the two stacks of
// steps, bounded by memory and by count.
//
// A step holds the figure as it was before a change (on the undo stack) or
// before an undo (on the redo stack). The records hold no pointer that is
// ever followed, and no padding, so records of the same entity in the same
// state compare equal byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace tumbla {

// Every field of a ball that lasts from one frame to the next; the body, the
// owner and the values each frame derives again (effective mass, shifts,
// tension counts) are left out. id is the ball's address when the snapshot
// was taken: links and tensions name their balls by it.
struct ballRecord {
    double angleStrength, anchorX, anchorY, mass, vx, vy, prevX, prevY, x, y, radius;
    double screenX, screenY, screenRadius;  // the last projection, which the link tool reads
    std::uint64_t id;
    std::int32_t rolls, anchored, number, kind;
    std::int32_t colour[3];
    std::int32_t unused;  // fills the record to a multiple of 8 bytes, no padding
};

struct linkRecord {
    double restLength, width;
    std::uint64_t ballA, ballB;
    std::int32_t kind;
    std::int32_t colour[3];
};

struct tensionRecord {
    double restAngle, strength;
    std::uint64_t ballA, centre, ballB;
};

static_assert(sizeof(ballRecord) == 15 * 8 + 8 * 4, "ballRecord has padding");
static_assert(sizeof(linkRecord) == 4 * 8 + 4 * 4, "linkRecord has padding");
static_assert(sizeof(tensionRecord) == 5 * 8, "tensionRecord has padding");

// Records in chunks of a fixed size. A snapshot shares every chunk that is
// the same as in the snapshot before it, so a step costs memory only for the
// part of the figure that changed, and freshly allocated memory (slow to
// touch the first time) is needed only there.
constexpr std::size_t recordsPerChunk = 256;

template <typename T>
struct chunkedRecords {
    static_assert(std::is_trivially_copyable_v<T>);
    using chunk = std::vector<T>;

    std::vector<std::shared_ptr<const chunk>> chunks;
    std::size_t count = 0;

    std::size_t size() const { return count; }
    // The memory of the chunk list itself; the chunks are counted apart,
    // since snapshots share them.
    std::size_t listBytes() const { return chunks.capacity() * sizeof(chunks[0]); }

    template <typename Visit>
    void forEach(Visit visit) const {
        for (const auto& c : chunks)
            for (const T& r : *c) visit(r);
    }

    bool operator==(const chunkedRecords& other) const {
        if (count != other.count || chunks.size() != other.chunks.size()) return false;
        for (std::size_t i = 0; i < chunks.size(); ++i)
            if (chunks[i] != other.chunks[i] && !sameBytes(*chunks[i], *other.chunks[i])) return false;
        return true;
    }

    static bool sameBytes(const chunk& a, const chunk& b) {
        return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
    }
};

struct figureSnapshot {
    chunkedRecords<ballRecord> balls;
    chunkedRecords<linkRecord> links;
    chunkedRecords<tensionRecord> tensions;
    chunkedRecords<linkRecord> virtualLinks;
    std::string fileName;

    // Memory of this snapshot apart from its chunks.
    std::size_t listBytes() const {
        return balls.listBytes() + links.listBytes() + tensions.listBytes() + virtualLinks.listBytes() +
               fileName.capacity();
    }
    bool operator==(const figureSnapshot& other) const = default;

    // What a snapshot of a figure of these sizes takes at most.
    static std::size_t bytesFor(std::size_t balls, std::size_t links, std::size_t tensions,
                                std::size_t virtualLinks);
};

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
    // are the same, and whether no change can have touched its links,
    // tensions and virtual links since.
    figureSnapshot last;
    bool structureCurrent = false;

    // Bytes of every chunk alive, shared by the chunks' deleters.
    std::shared_ptr<std::size_t> chunkBytes = std::make_shared<std::size_t>(0);

    // Bytes held by every step, the pending one included; a chunk that
    // several steps share counts once.
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
