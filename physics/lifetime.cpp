// Creation and deferred freeing of entities. A removed entity may still be
// named by the active lists, old bodies or the editor's reference fields for
// the rest of the frame, so removal only retires it; collectGarbage frees
// retired entities once the active lists have been rebuilt, keeping those
// that a reference field still names (and the balls such a link names).
#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "app/editorState.h"

#if defined(__SANITIZE_ADDRESS__)
#define TUMBLA_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TUMBLA_PLAIN_ALLOCATION 1
#endif
#endif

namespace tumbla {

namespace {

// Fixed-size records carved from 2 MB chunks, freed records kept on a list
// for reuse. Loading or generating a large figure makes a million records
// at once; one allocation (and, with huge pages, one page fault) per chunk
// instead of one per record. Chunks live as long as the program. Used from
// the main thread only. Under AddressSanitizer the plain allocator is used,
// so a use after free is still caught.
template <std::size_t Size>
class recordPool {
public:
    void* allocate() {
        if (freeList) {
            node* n = freeList;
            freeList = n->next;
            return n;
        }
        if (cursor == end) grow();
        void* p = cursor;
        cursor += Size;
        return p;
    }
    void release(void* p) {
        node* n = static_cast<node*>(p);
        n->next = freeList;
        freeList = n;
    }

private:
    struct node {
        node* next;
    };
    static constexpr std::size_t chunkSize = std::size_t(2) << 20;
    void grow() {
        void* chunk = std::aligned_alloc(chunkSize, chunkSize);
        if (!chunk) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        madvise(chunk, chunkSize, MADV_HUGEPAGE);
#endif
        cursor = static_cast<char*>(chunk);
        end = cursor + chunkSize / Size * Size;
    }
    node* freeList = nullptr;
    char* cursor = nullptr;
    char* end = nullptr;
};

constexpr std::size_t poolSlot(std::size_t size) { return (size + 15) / 16 * 16; }

template <typename T>
recordPool<poolSlot(sizeof(T))>& poolOf() {
    static recordPool<poolSlot(sizeof(T))>* pool = new recordPool<poolSlot(sizeof(T))>;
    return *pool;
}

template <typename T>
void* allocateRecord(std::size_t size) {
#ifdef TUMBLA_PLAIN_ALLOCATION
    return ::operator new(size);
#else
    if (size != sizeof(T)) return ::operator new(size);
    return poolOf<T>().allocate();
#endif
}

template <typename T>
void releaseRecord(void* p) {
    if (!p) return;
#ifdef TUMBLA_PLAIN_ALLOCATION
    ::operator delete(p);
#else
    poolOf<T>().release(p);
#endif
}

}  // namespace

void* ball::operator new(std::size_t size) { return allocateRecord<ball>(size); }
void ball::operator delete(void* p) { releaseRecord<ball>(p); }
void* link::operator new(std::size_t size) { return allocateRecord<link>(size); }
void link::operator delete(void* p) { releaseRecord<link>(p); }
void* tension::operator new(std::size_t size) { return allocateRecord<tension>(size); }
void tension::operator delete(void* p) { releaseRecord<tension>(p); }

// Entities are made on the main thread only.
std::uint64_t& ballsMade() {
    static std::uint64_t count = 0;
    return count;
}

std::uint64_t& linksMade() {
    static std::uint64_t count = 0;
    return count;
}

std::uint64_t& tensionsMade() {
    static std::uint64_t count = 0;
    return count;
}

const char* kindName(entityKind kind) {
    switch (kind) {
        case entityKind::normal: return "normal";
        case entityKind::background: return "background";
        case entityKind::damaging: return "damaging";
        case entityKind::stop: return "stop";
        case entityKind::virtualLink: return "virtual";
    }
    return "normal";
}

ball* editorState::newBall() {
    ball* b = new ball;
    b->owner = this;
    b->prevX = io.randomInt(0, 800);
    b->prevY = io.randomInt(0, 600);
    b->x = b->prevX;
    b->y = b->prevY;
    for (int& c : b->colour) c = io.randomInt(0, 255);
    return b;
}

link* editorState::newLink() {
    link* l = new link;
    l->owner = this;
    for (int& c : l->colour) c = io.randomInt(0, 255);
    return l;
}

tension* editorState::newTension() { return new tension; }

void editorState::retire(ball* b) {
    if (b->dead) return;
    b->dead = true;
    deadBalls.push_back(b);
}

void editorState::retire(link* l) {
    if (l->dead) return;
    l->dead = true;
    deadLinks.push_back(l);
}

void editorState::retire(tension* t) {
    if (t->dead) return;
    t->dead = true;
    deadTensions.push_back(t);
}

void editorState::retireFigure() {
    for (link* l : virtualLinks) retire(l);
    for (ball* b : allBalls) retire(b);
    for (link* l : allLinks) retire(l);
    for (tension* t : allTensions) retire(t);
    virtualLinks.clear();
    allBalls.clear();
    allLinks.clear();
    allTensions.clear();
}

void editorState::reserveRetired(std::size_t links, std::size_t tensions) {
    deadLinks.reserve(deadLinks.size() + links);
    deadTensions.reserve(deadTensions.size() + tensions);
}

void editorState::retireDerived() {
    deadBodies.insert(deadBodies.end(), bodies.begin(), bodies.end());
    deadPairs.insert(deadPairs.end(), bodyPairs.begin(), bodyPairs.end());
    deadClusters.insert(deadClusters.end(), clusters.begin(), clusters.end());
    bodies.clear();
    bodyPairs.clear();
    clusters.clear();
}

namespace {

// Frees every element of the list except those the keep test holds on to.
template <typename T, typename Keep>
void freeUnless(std::vector<T*>& list, Keep keep) {
    std::size_t kept = 0;
    for (T* e : list) {
        if (keep(e))
            list[kept++] = e;
        else
            delete e;
    }
    list.resize(kept);
}

}  // namespace

void editorState::collectGarbage() {
    // Derived records: the active lists were just rebuilt from the current
    // bodies and pairs, and a live ball always names a current body.
    for (body* b : deadBodies) delete b;
    for (bodyPair* p : deadPairs) delete p;
    for (cluster* c : deadClusters) delete c;
    deadBodies.clear();
    deadPairs.clear();
    deadClusters.clear();
    for (ball* b : deadBalls) b->body = nullptr;

    link* keptLinks[2] = {selectedLink, hoverLink};
    auto linkKept = [&](link* l) { return l == keptLinks[0] || l == keptLinks[1]; };
    auto ballKept = [&](ball* b) {
        if (b == mainBall || b == selectedBall || b == hoverBall || b == heldBall ||
            b == linkEnds[0] || b == linkEnds[1])
            return true;
        for (link* l : keptLinks)
            if (l && l->dead && (l->ballA == b || l->ballB == b)) return true;
        return false;
    };
    freeUnless(deadTensions, [](tension*) { return false; });
    freeUnless(deadLinks, linkKept);
    freeUnless(deadBalls, ballKept);
}

}  // namespace tumbla
