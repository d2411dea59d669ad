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
// frame, and keeps in new memory only the chunks of records that differ from
// the snapshot before it. Links, tensions and virtual links change only
// through the hooked edits (and lose members when stray balls are removed,
// which changes their counts), so they are not even read again until a hook
// that may touch them has run. Records name balls by address, read without
// following any pointer; restoring maps the addresses back to the new balls.
//
// Restoring builds new entities with plain `new`, not through newBall and
// newLink, which would draw random numbers and shift the random sequence;
// the entities replaced are retired, as a file read retires them.
#include <algorithm>
#include <cstring>

#include "app/editorState.h"

namespace tumbla {

namespace {

constexpr int keyY = 89;

std::uint64_t idOf(const ball* b) { return reinterpret_cast<std::uintptr_t>(b); }

// The new ball of each recorded address: open addressing over a power of
// two slots, at most half full.
class ballsById {
public:
    explicit ballsById(std::size_t n) {
        std::size_t size = 16;
        while (size < 2 * n) size *= 2;
        slots.assign(size, {0, nullptr});
        mask = size - 1;
    }
    void add(std::uint64_t id, ball* b) {
        std::size_t i = slotOf(id);
        while (slots[i].first != 0) i = (i + 1) & mask;
        slots[i] = {id, b};
    }
    ball* find(std::uint64_t id) const {
        for (std::size_t i = slotOf(id); slots[i].first != 0; i = (i + 1) & mask)
            if (slots[i].first == id) return slots[i].second;
        return nullptr;
    }

private:
    std::size_t slotOf(std::uint64_t id) const {
        return static_cast<std::size_t>((id * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    }
    std::vector<std::pair<std::uint64_t, ball*>> slots;
    std::size_t mask = 0;
};

// Fills records from entities chunk by chunk, sharing each chunk that is
// the same as the previous snapshot's chunk at the same place.
template <typename T, typename E, typename Fill>
void captureChunks(chunkedRecords<T>& out, const chunkedRecords<T>& previous, const std::vector<E*>& entities,
                   const std::shared_ptr<std::size_t>& chunkBytes, Fill fill) {
    using chunk = typename chunkedRecords<T>::chunk;
    const std::size_t n = entities.size();
    out.count = n;
    out.chunks.clear();
    out.chunks.reserve((n + recordsPerChunk - 1) / recordsPerChunk);
    static thread_local std::vector<T> scratch;
    scratch.resize(recordsPerChunk);
    for (std::size_t first = 0; first < n; first += recordsPerChunk) {
        const std::size_t m = std::min(recordsPerChunk, n - first);
        for (std::size_t i = 0; i < m; ++i) fill(scratch[i], *entities[first + i]);
        const std::size_t c = first / recordsPerChunk;
        if (c < previous.chunks.size()) {
            const chunk& old = *previous.chunks[c];
            if (old.size() == m && std::memcmp(old.data(), scratch.data(), m * sizeof(T)) == 0) {
                out.chunks.push_back(previous.chunks[c]);
                continue;
            }
        }
        const std::size_t bytes = sizeof(chunk) + m * sizeof(T);
        *chunkBytes += bytes;
        out.chunks.emplace_back(new chunk(scratch.begin(), scratch.begin() + m),
                                [chunkBytes, bytes](const chunk* c) {
                                    *chunkBytes -= bytes;
                                    delete c;
                                });
    }
}

void fillBall(ballRecord& r, const ball& b) {
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
    r.id = idOf(&b);
    r.rolls = b.rolls;
    r.anchored = b.anchored;
    r.number = b.number;
    r.kind = static_cast<std::int32_t>(b.kind);
    r.colour[0] = b.colour[0];
    r.colour[1] = b.colour[1];
    r.colour[2] = b.colour[2];
    r.unused = 0;
}

void fillLink(linkRecord& r, const link& l) {
    r.restLength = l.restLength;
    r.width = l.width;
    r.ballA = idOf(l.ballA);
    r.ballB = idOf(l.ballB);
    r.kind = static_cast<std::int32_t>(l.kind);
    r.colour[0] = l.colour[0];
    r.colour[1] = l.colour[1];
    r.colour[2] = l.colour[2];
}

void fillTension(tensionRecord& r, const tension& t) {
    r.restAngle = t.restAngle;
    r.strength = t.strength;
    r.ballA = idOf(t.ballA);
    r.centre = idOf(t.centre);
    r.ballB = idOf(t.ballB);
}

void restoreLinks(editorState& e, std::vector<link*>& links, const chunkedRecords<linkRecord>& records,
                  const ballsById& balls) {
    links.reserve(records.size());
    records.forEach([&](const linkRecord& r) {
        ball* a = balls.find(r.ballA);
        ball* b = balls.find(r.ballB);
        if (!a || !b) return;
        link* l = new link;
        l->owner = &e;
        l->kind = static_cast<entityKind>(r.kind);
        l->ballA = a;
        l->ballB = b;
        l->restLength = r.restLength;
        l->width = r.width;
        std::copy(std::begin(r.colour), std::end(r.colour), l->colour);
        links.push_back(l);
    });
}

void restoreTensions(std::vector<tension*>& tensions, const chunkedRecords<tensionRecord>& records,
                     const ballsById& balls) {
    tensions.reserve(records.size());
    records.forEach([&](const tensionRecord& r) {
        ball* a = balls.find(r.ballA);
        ball* centre = balls.find(r.centre);
        ball* b = balls.find(r.ballB);
        if (!a || !centre || !b) return;
        tension* t = new tension;
        t->ballA = a;
        t->centre = centre;
        t->ballB = b;
        t->restAngle = r.restAngle;
        t->strength = r.strength;
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
    return sizeof(historyStep) + figureSnapshot::bytesFor(e.allBalls.size(), e.allLinks.size(),
                                                          e.allTensions.size(), e.virtualLinks.size());
}

// Takes the figure before a change: once per frame, and not while a Play
// run gathers everything done in it. A change that may touch links, tensions
// or virtual links makes the next snapshot copy them afresh.
void recordChange(editorState& e, bool structureToo) {
    editHistory& h = e.history;
    const bool partOfRun = e.mode == -1 && h.playOpen;
    if (!partOfRun) h.playOpen = false;
    if (!partOfRun && !h.hasPending) {
        // Redo steps are dropped first: the change is about to make them void.
        if (h.makeRoom(snapshotBytesOf(e), true)) {
            h.pending.mode = e.mode;
            e.captureFigure(h.pending.figure);
            h.hasPending = true;
        } else {
            h.clear();  // a figure larger than the whole budget has no history
        }
    }
    if (structureToo) h.structureCurrent = false;
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
    const bool kept = h.makeRoom(snapshotBytesOf(e), false);
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
    using ballChunk = chunkedRecords<ballRecord>::chunk;
    using linkChunk = chunkedRecords<linkRecord>::chunk;
    using tensionChunk = chunkedRecords<tensionRecord>::chunk;
    auto chunksOf = [](std::size_t n) { return (n + recordsPerChunk - 1) / recordsPerChunk; };
    // Each chunk: its records, its vector, its shared count and its place in
    // the list.
    constexpr std::size_t perChunk = 64 + sizeof(std::shared_ptr<int>);
    return balls * sizeof(ballRecord) + chunksOf(balls) * (sizeof(ballChunk) + perChunk) +
           (links + virtualLinks) * sizeof(linkRecord) +
           (chunksOf(links) + chunksOf(virtualLinks)) * (sizeof(linkChunk) + perChunk) +
           tensions * sizeof(tensionRecord) + chunksOf(tensions) * (sizeof(tensionChunk) + perChunk);
}

std::size_t editHistory::bytes() const {
    std::size_t total = *chunkBytes + last.listBytes();
    if (hasPending) total += sizeof(historyStep) + pending.figure.listBytes();
    for (const historyStep& s : undoSteps) total += sizeof(historyStep) + s.figure.listBytes();
    for (const historyStep& s : redoSteps) total += sizeof(historyStep) + s.figure.listBytes();
    return total;
}

bool editHistory::makeRoom(std::size_t extraBytes, bool redoFirst) {
    auto fits = [&] {
        const std::size_t steps = undoSteps.size() + redoSteps.size() + (hasPending ? 1 : 0);
        return bytes() + extraBytes <= byteLimit && steps + 1 <= stepLimit;
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
    while (undoSteps.size() > 1 && (undoSteps.size() > stepLimit || bytes() > byteLimit)) undoSteps.pop_front();
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
}

void editorState::noteChange() { recordChange(*this, true); }

void editorState::noteBallChange() { recordChange(*this, false); }

void editorState::noteHeldChange(heldControl control) {
    const std::uint32_t bit = std::uint32_t{1} << control;
    const bool ballsOnly = control == heldAnchorKeys || control == heldReleaseKeys ||
                           control == heldBallMassRow || control == heldBallSizeRow;
    history.heldNow |= bit;
    if (history.heldOpen & bit) {
        // The hold goes on: same step.
        if (!ballsOnly) history.structureCurrent = false;
        return;
    }
    recordChange(*this, !ballsOnly);
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
    captureChunks(s.balls, last.balls, allBalls, h.chunkBytes, fillBall);
    if (structureReusable(*this)) {
        s.links = last.links;
        s.tensions = last.tensions;
        s.virtualLinks = last.virtualLinks;
    } else {
        captureChunks(s.links, last.links, allLinks, h.chunkBytes, fillLink);
        captureChunks(s.tensions, last.tensions, allTensions, h.chunkBytes, fillTension);
        captureChunks(s.virtualLinks, last.virtualLinks, virtualLinks, h.chunkBytes, fillLink);
        h.structureCurrent = true;
    }
    s.fileName = currentFileName;
    last = s;
}

void editorState::restoreFigure(const figureSnapshot& s) {
    retireFigure();

    ballsById byId(s.balls.size());
    allBalls.reserve(s.balls.size());
    s.balls.forEach([&](const ballRecord& r) {
        ball* b = new ball;
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
        std::copy(std::begin(r.colour), std::end(r.colour), b->colour);
        allBalls.push_back(b);
        byId.add(r.id, b);
    });
    restoreLinks(*this, allLinks, s.links, byId);
    restoreTensions(allTensions, s.tensions, byId);
    restoreLinks(*this, virtualLinks, s.virtualLinks, byId);
    // The entities are new: the next snapshot reads every one again.
    history.structureCurrent = false;

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
