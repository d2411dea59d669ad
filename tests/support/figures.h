// Building figures directly in code for tests and benchmarks, without the
// editing tools or files.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "app/editorState.h"

namespace tumbla::figures {

struct ballSpec {
    double x = 0, y = 0;
    double radius = 15.0;
    double mass = 1.0;
    int anchored = 0;
    double angleStrength = 300.0;
};

// Appends a ball at rest at (x, y), anchored where it stands if asked.
inline ball* addBall(editorState& ed, const ballSpec& s) {
    ball* b = ed.newBall();
    b->x = b->prevX = b->anchorX = s.x;
    b->y = b->prevY = b->anchorY = s.y;
    b->radius = s.radius;
    b->mass = s.mass;
    b->anchored = s.anchored;
    b->angleStrength = s.angleStrength;
    ed.allBalls.push_back(b);
    b->number = static_cast<int>(ed.allBalls.size());
    return b;
}

inline ball* addBall(editorState& ed, double x, double y, double radius = 15.0, int anchored = 0) {
    ballSpec s;
    s.x = x;
    s.y = y;
    s.radius = radius;
    s.anchored = anchored;
    return addBall(ed, s);
}

// A link keeping the current distance of its balls.
inline link* addLink(editorState& ed, ball* a, ball* b, double width = 3.0) {
    link* l = ed.newLink();
    l->ballA = a;
    l->ballB = b;
    const double dx = b->x - a->x, dy = b->y - a->y;
    l->restLength = std::sqrt(dx * dx + dy * dy);
    l->width = width;
    ed.allLinks.push_back(l);
    return l;
}

inline link* addVirtualLink(editorState& ed, ball* a, ball* b) {
    link* l = ed.newLink();
    l->kind = entityKind::virtualLink;
    l->ballA = a;
    l->ballB = b;
    ed.virtualLinks.push_back(l);
    return l;
}

// Numbers the balls by their place in allBalls, regroups, and generates the
// tensions of every body.
inline void finish(editorState& ed) {
    for (std::size_t i = 0; i < ed.allBalls.size(); ++i) ed.allBalls[i]->number = static_cast<int>(i) + 1;
    ed.regroup();
    const int bodies = static_cast<int>(ed.bodies.size());
    for (int g = 1; g <= bodies; ++g) ed.rebuildTensions(g);
}

struct gridSpec {
    int rows = 10, columns = 10;
    double spacing = 30.0;
    double turnDegrees = 0.0;
    double originX = 0.0, originY = 0.0;
    ballSpec ball;  // x and y ignored
};

// A grid of balls, row by row, with links along rows and columns, turned
// about its first ball. Returns the first ball; call finish() afterwards.
inline tumbla::ball* addGrid(editorState& ed, const gridSpec& g) {
    const double turn = g.turnDegrees / 57.29577951308232;
    const double c = std::cos(turn), s = std::sin(turn);
    const std::size_t first = ed.allBalls.size();
    for (int r = 0; r < g.rows; ++r)
        for (int k = 0; k < g.columns; ++k) {
            ballSpec b = g.ball;
            const double u = k * g.spacing, v = r * g.spacing;
            b.x = g.originX + u * c - v * s;
            b.y = g.originY + u * s + v * c;
            addBall(ed, b);
        }
    auto at = [&](int r, int k) { return ed.allBalls[first + r * g.columns + k]; };
    for (int r = 0; r < g.rows; ++r)
        for (int k = 0; k < g.columns; ++k) {
            if (k + 1 < g.columns) addLink(ed, at(r, k), at(r, k + 1));
            if (r + 1 < g.rows) addLink(ed, at(r, k), at(r + 1, k));
        }
    return at(0, 0);
}

// The reference figure of the benchmarks: a 100 x 100 grid of free balls of
// radius 6, 30 apart, mass 1, angle strength 300, turned by 30 degrees, far
// above the floor of the world so that it falls for minutes before reaching
// it; tensions generated. Its first ball is the main ball.
inline tumbla::ball* addReferenceGrid(editorState& ed) {
    gridSpec g;
    g.rows = g.columns = 100;
    g.spacing = 30;
    g.turnDegrees = 30;
    g.originY = -2000000;
    g.ball.radius = 6;
    g.ball.mass = 1;
    g.ball.angleStrength = 300;
    g.ball.anchored = 0;
    tumbla::ball* first = addGrid(ed, g);
    finish(ed);
    return first;
}

// A hash of the bits of every ball's position and velocity, in list order.
inline std::uint64_t stateHash(const editorState& ed) {
    std::uint64_t h = 1469598103934665603ull;
    for (const ball* b : ed.allBalls)
        for (double v : {b->x, b->y, b->vx, b->vy}) {
            std::uint64_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            for (int i = 0; i < 8; ++i) {
                h ^= (bits >> (8 * i)) & 0xff;
                h *= 1099511628211ull;
            }
        }
    return h;
}

}  // namespace tumbla::figures
