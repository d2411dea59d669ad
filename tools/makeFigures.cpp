// Makes the sample figures in figures/ with the editor's own core: balls and
// links are made the way the drawing tools make them, then regroup and
// rebuildTensions give every body its tensions exactly as the editor would,
// and the editor's writer saves the file. The headless platform's random
// generator is seeded, so the colours and therefore the files come out the
// same on every run.
//
//     build/makeFigures [FOLDER]      (default: figures)
//
// Every figure starts with its main ball (the first ball of a file): radius
// 20, mass 1, rolling, not anchored, resting on something in view. Whatever
// should land somewhere is paired with it by a virtual link, since balls of
// different bodies collide only inside such pairs.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/editorState.h"
#include "platform/headless/headlessPlatform.h"
#include "tests/support/figures.h"

using namespace tumbla;

namespace {

constexpr double degrees = 57.29577951308232;  // per radian

// The main ball as the editor keeps it.
ball* addMainBall(editorState& ed, double x, double y) {
    figures::ballSpec s;
    s.x = x;
    s.y = y;
    s.radius = 20.0;
    ball* b = figures::addBall(ed, s);
    b->rolls = 1;
    return b;
}

// A path of anchored balls joined by links: floors, walls, ramps, posts.
// The joints are no thicker than the links, so nothing sliding along the
// path meets a bump there.
std::vector<ball*> addGround(editorState& ed, const std::vector<std::pair<double, double>>& points,
                             double radius = 8.0, double width = 8.0) {
    std::vector<ball*> path;
    for (auto [x, y] : points) {
        figures::ballSpec s;
        s.x = x;
        s.y = y;
        s.radius = radius;
        s.anchored = 1;
        s.angleStrength = 0.0;
        path.push_back(figures::addBall(ed, s));
        if (path.size() > 1) figures::addLink(ed, path[path.size() - 2], path.back(), width);
    }
    return path;
}

// A closed loop of free balls, each linked to the next, optionally with a
// hub in the middle linked to every ball of the rim. Returns the rim.
std::vector<ball*> addRing(editorState& ed, double cx, double cy, double ringRadius, int count,
                           const figures::ballSpec& rimBall, double width, ball** hub = nullptr,
                           double hubRadius = 0.0) {
    std::vector<ball*> rim;
    for (int i = 0; i < count; ++i) {
        figures::ballSpec s = rimBall;
        const double a = (360.0 * i / count) / degrees;
        s.x = cx + ringRadius * std::cos(a);
        s.y = cy + ringRadius * std::sin(a);
        rim.push_back(figures::addBall(ed, s));
    }
    for (int i = 0; i < count; ++i) figures::addLink(ed, rim[i], rim[(i + 1) % count], width);
    if (hub) {
        figures::ballSpec s = rimBall;
        s.x = cx;
        s.y = cy;
        s.radius = hubRadius;
        *hub = figures::addBall(ed, s);
        for (ball* b : rim) figures::addLink(ed, *hub, b, width);
    }
    return rim;
}

// A square of rows x columns free balls linked along rows and columns,
// with its top-left ball at (x, y).
ball* addJelly(editorState& ed, double x, double y, int size, double spacing, double radius,
               double angleStrength) {
    figures::gridSpec g;
    g.rows = g.columns = size;
    g.spacing = spacing;
    g.originX = x;
    g.originY = y;
    g.ball.radius = radius;
    g.ball.angleStrength = angleStrength;
    return figures::addGrid(ed, g);
}

// A small closed polygon of free balls with links around it and from the
// first ball across to every other ball, so it keeps its shape when pushed.
ball* addPolygon(editorState& ed, double cx, double cy, double size, int corners, double turn,
                 double radius, double width) {
    std::vector<ball*> corner;
    for (int i = 0; i < corners; ++i) {
        figures::ballSpec s;
        const double a = (turn + 360.0 * i / corners) / degrees;
        s.x = cx + size * std::cos(a);
        s.y = cy + size * std::sin(a);
        s.radius = radius;
        corner.push_back(figures::addBall(ed, s));
    }
    for (int i = 0; i < corners; ++i) figures::addLink(ed, corner[i], corner[(i + 1) % corners], width);
    for (int i = 2; i + 1 < corners; ++i) figures::addLink(ed, corner[0], corner[i], width);
    return corner[0];
}

// ---------------------------------------------------------------- figures

// In Play mode the view follows the main ball, so in most figures it waits
// on an anchored perch in the middle of the scene, where the view it brings
// along shows the whole of it.
void addPerchedMainBall(editorState& ed, double x, double y) {
    addMainBall(ed, x, y - 6.0 - 20.0 - 1.0);
    addGround(ed, {{x - 35, y}, {x + 35, y}}, 8.0, 6.0);
}

// Two soft squares dropped onto a floor, a stiff one (angle strength 300)
// on the left and a softer one (100) on the right.
void jellySquare(editorState& ed) {
    addPerchedMainBall(ed, 0, 420);
    ball* floor = addGround(ed, {{-370, 500}, {-370, 640}, {370, 640}, {370, 500}})[0];
    figures::addVirtualLink(ed, addJelly(ed, -290, 270, 6, 28, 9, 300), floor);
    figures::addVirtualLink(ed, addJelly(ed, 170, 290, 5, 28, 9, 100), floor);
}

// A ring with spokes to a hub rolls down a ramp, along the floor and into
// the wall.
void softWheel(editorState& ed) {
    addPerchedMainBall(ed, 0, 380);
    ball* floor = addGround(ed, {{-370, 300}, {-370, 430}, {-120, 640}, {185, 640}, {370, 640}, {370, 500}})[0];
    figures::ballSpec rim;
    rim.radius = 9;
    rim.angleStrength = 300;
    ball* hub = nullptr;
    addRing(ed, -270, 290, 70, 16, rim, 5, &hub, 14);
    figures::addVirtualLink(ed, hub, floor);
}

// A rope hung between two posts, already in its sagging shape. The main
// ball sits in the middle of it; a soft box dropped beside it slides down
// the rope towards it.
void ropeBridge(editorState& ed) {
    const int pieces = 22;
    const double halfSpan = 330.0, sag = 50.0, top = 420.0;
    auto ropeY = [&](double x) { return top + sag * (1.0 - (x / halfSpan) * (x / halfSpan)); };
    addMainBall(ed, 0, ropeY(0) - 7.0 - 5.0 - 20.0 - 1.0);
    std::vector<ball*> ground = addGround(ed, {{-330, top}, {-330, 680}, {330, 680}, {330, top}});
    std::vector<ball*> rope{ground.front()};
    for (int i = 1; i < pieces; ++i) {
        figures::ballSpec s;
        s.x = -halfSpan + 2.0 * halfSpan * i / pieces;
        s.y = ropeY(s.x);
        s.radius = 7;
        s.angleStrength = 0.0;  // a rope: no tensions that act
        rope.push_back(figures::addBall(ed, s));
        figures::addLink(ed, rope[rope.size() - 2], rope.back(), 5);
    }
    figures::addLink(ed, rope.back(), ground.back(), 5);
    ball* box = addJelly(ed, 120, 250, 3, 33, 9, 300);
    figures::addVirtualLink(ed, box, rope[pieces / 2]);
}

// Anchored ground to climb: a ramp, a step, a gap to jump and a high ledge.
// Translucent background links are scenery the main ball passes through.
void climbAndJump(editorState& ed) {
    addMainBall(ed, -330, 631);
    addGround(ed, {{-380, 560}, {-380, 660}, {-200, 660}, {-60, 570}, {40, 570}, {40, 640}, {110, 640}});
    addGround(ed, {{170, 480}, {290, 480}});
    addGround(ed, {{250, 330}, {380, 330}, {380, 200}});
    addGround(ed, {{-250, 420}, {-120, 420}});
    const std::size_t firstSceneryLink = ed.allLinks.size();
    const std::vector<ball*> scenery = addGround(ed, {{-300, 260}, {-260, 200}, {-220, 260}}, 6.0, 4.0);
    figures::addLink(ed, scenery.back(), scenery.front(), 4.0);
    for (std::size_t i = firstSceneryLink; i < ed.allLinks.size(); ++i)
        ed.allLinks[i]->kind = entityKind::background;
    for (ball* b : scenery) b->kind = entityKind::background;
}

// Small soft bodies dropped into a box on both sides of the main ball's
// perch; each collides with the box and with every other body.
void softPile(editorState& ed) {
    addPerchedMainBall(ed, 0, 410);
    ball* box = addGround(ed, {{-250, 400}, {-250, 680}, {250, 680}, {250, 400}})[0];
    std::vector<ball*> bodies;
    for (int row = 0; row < 3; ++row)
        for (int k = 0; k < 4; ++k) {
            const double x = (k < 2 ? -185 : 75) + 85 * (k % 2) + (row % 2 ? 25 : 0);
            const double y = 180 + 90 * row;
            const int corners = 3 + (row + k) % 3;
            bodies.push_back(addPolygon(ed, x, y, 30, corners, 15.0 * k, 11, 6));
        }
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        figures::addVirtualLink(ed, bodies[i], box);
        for (std::size_t j = i + 1; j < bodies.size(); ++j) figures::addVirtualLink(ed, bodies[i], bodies[j]);
    }
}

// The reference figure of the benchmarks, as they build it: a 100 x 100
// grid of free balls turned by 30 degrees, far above the floor of the world
// so that it falls for minutes before reaching it. Its first ball is the
// main ball, so in Play mode the view goes with it.
void turnedGrid(editorState& ed) {
    ball* first = figures::addReferenceGrid(ed);
    first->radius = 20.0;  // what the editor makes of a main ball
    first->rolls = 1;
}

// One of every kind: balls normal, background and damaging; links normal,
// background, damaging and stop, each kind on its own triangle; the
// triangles are paired with the floor by virtual links.
void everyKind(editorState& ed) {
    addPerchedMainBall(ed, 0, 440);
    ball* floor = addGround(ed, {{-380, 560}, {-380, 660}, {0, 660}, {380, 660}, {380, 560}})[0];
    const entityKind linkKinds[] = {entityKind::normal, entityKind::background, entityKind::damaging,
                                    entityKind::stop};
    for (int i = 0; i < 4; ++i) {
        const std::size_t firstLink = ed.allLinks.size();
        const std::size_t firstBall = ed.allBalls.size();
        ball* corner = addPolygon(ed, (i < 2 ? -270 : 130) + 140 * (i % 2), 420, 40, 3, -90, 12, 6);
        for (std::size_t k = firstLink; k < ed.allLinks.size(); ++k) ed.allLinks[k]->kind = linkKinds[i];
        if (i == 0) {
            ed.allBalls[firstBall + 1]->kind = entityKind::background;
            ed.allBalls[firstBall + 2]->kind = entityKind::damaging;
        }
        figures::addVirtualLink(ed, corner, floor);
    }
}

struct sample {
    const char* file;
    std::function<void(editorState&)> build;
};

const sample samples[] = {
    {"jelly-square.fig", jellySquare}, {"soft-wheel.fig", softWheel},
    {"rope-bridge.fig", ropeBridge},   {"climb-and-jump.fig", climbAndJump},
    {"soft-pile.fig", softPile},       {"turned-grid-100.fig", turnedGrid},
    {"every-kind.fig", everyKind},
};

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "figures";
    int status = 0;
    for (const sample& s : samples) {
        headlessPlatform io;
        io.seedRandom(1);
        editorState ed(io);
        s.build(ed);
        figures::finish(ed);
        ed.numberBalls();
        const std::string path = folder + "/" + s.file;
        if (!ed.writeFigureFile(path, 0, 0)) {
            std::fprintf(stderr, "makeFigures: cannot write %s\n", path.c_str());
            status = 1;
            continue;
        }
        std::printf("%s: %zu balls, %zu links, %zu tensions, %zu virtual links\n", path.c_str(),
                    ed.allBalls.size(), ed.allLinks.size(), ed.allTensions.size(), ed.virtualLinks.size());
    }
    return status;
}
