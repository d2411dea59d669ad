// The records the simulation runs on. Plain fields in record order; the
// operations are defined in the subsystem that owns each behaviour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tumbla {

class editorState;
struct body;

// Kinds are texts in files and on the toolbar; in memory they are one of
// these values, which map one to one onto the texts.
enum class entityKind : unsigned char { normal, background, damaging, stop, virtualLink };

const char* kindName(entityKind kind);

// How many entities of each type have been made so far in this run of the
// program; a new entity takes the count as its serial number, which no other
// entity of its type gets. The undo history names entities by it: an
// address may be reused once its entity is freed, and an undo rebuilds
// entities at new addresses but gives them back their serial numbers.
std::uint64_t& ballsMade();
std::uint64_t& linksMade();
std::uint64_t& tensionsMade();

struct ball {
    int rolls = 0;
    tumbla::body* body = nullptr;
    int active = 0;
    entityKind kind = entityKind::normal;
    double effectiveMass = 0.0;
    double angleStrength = 0.0;
    double anchorX = 0.0, anchorY = 0.0;
    int anchored = 1;
    int tensionCount = 0;
    double screenX = 0.0, screenY = 0.0, screenRadius = 0.0;
    int bodyNumber = 0;
    double mass = 1.0;
    double shiftX = 0.0, shiftY = 0.0;
    editorState* owner = nullptr;
    int number = 0;
    double vx = 0.0, vy = 0.0;
    double prevX = 0.0, prevY = 0.0;
    double x = 0.0, y = 0.0;
    double radius = 15.0;
    int colour[3] = {0, 0, 0};

    // Bookkeeping, not part of the figure: set when the ball has left the
    // figure and waits to be freed; scratch index for near-linear passes.
    bool dead = false;
    int scratch = 0;
    std::uint64_t serial = ++ballsMade();

    // Pooled: a large figure allocates many at once (lifetime.cpp).
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    void project();
    void drawBall();
    void recentre();
    void deriveVelocity(double dt);
};

struct link {
    entityKind kind = entityKind::normal;
    editorState* owner = nullptr;
    ball* ballA = nullptr;
    ball* ballB = nullptr;
    double restLength = 0.0;
    double width = 3.0;
    int colour[3] = {0, 0, 0};

    bool dead = false;
    std::uint64_t serial = ++linksMade();

    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    bool containsPoint(double px, double py) const;
    void drawLink();
};

struct tension {
    ball* ballA = nullptr;
    ball* centre = nullptr;
    ball* ballB = nullptr;
    double restAngle = 0.0;
    double strength = 0.0;

    bool dead = false;
    std::uint64_t serial = ++tensionsMade();

    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    void apply(int drawMode, double dt);
};

struct body {
    int number = 0;
    int clusterNumber = 0;
    std::vector<ball*> balls;
    std::vector<link*> links;
    double maxX = 0.0, minX = 0.0, maxY = 0.0, minY = 0.0;

    bool active = false;  // in activeBodies this frame
};

struct bodyPair {
    body* bodyA = nullptr;
    body* bodyB = nullptr;
};

struct cluster {
    std::vector<body*> bodies;
    int number = 0;
    double maxX = 0.0, minX = 0.0, maxY = 0.0, minY = 0.0;
};

struct drawItem {
    tumbla::ball* ball = nullptr;
    tumbla::link* link = nullptr;
    double sortKey = 0.0;

    void setKey();
    int compare(const drawItem& other) const;
    void draw();
};

}  // namespace tumbla
