// Shared by the figure file tests: a scratch folder, whole-file reads and
// writes, and small figures built field by field.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/editorState.h"
#include "platform/headless/headlessPlatform.h"

namespace tumbla::fixtures {

inline std::string fixturePath(const std::string& name) {
    return std::string(TUMBLA_SOURCE_DIR) + "/tests/fixtures/" + name;
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spill(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fresh folder for one test, removed afterwards.
struct scratchFolder {
    std::string path;
    scratchFolder() {
        char name[] = "/tmp/tumbla-files-XXXXXX";
        path = mkdtemp(name);
    }
    ~scratchFolder() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    int entries() const {
        int n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(path)) ++n;
        return n;
    }
};

inline ball* addBall(editorState& e, double x, double y, double radius = 20.0) {
    ball* b = e.newBall();
    b->x = b->prevX = x;
    b->y = b->prevY = y;
    b->radius = radius;
    b->anchorX = x;
    b->anchorY = y;
    b->owner = &e;
    e.allBalls.push_back(b);
    return b;
}

inline link* addLink(editorState& e, ball* a, ball* b, double width = 6.0,
                     entityKind kind = entityKind::normal) {
    link* l = e.newLink();
    l->ballA = a;
    l->ballB = b;
    l->width = width;
    l->kind = kind;
    l->owner = &e;
    (kind == entityKind::virtualLink ? e.virtualLinks : e.allLinks).push_back(l);
    return l;
}

// The figure of the file format's worked example: two anchored balls of
// radius 20 joined by a link of rest length 50 and width 6.
inline void buildTwoBalls(editorState& e) {
    for (double x : {100.0, 150.0}) {
        ball* b = addBall(e, x, 200.0);
        b->angleStrength = 300.0;
        b->colour[0] = 12;
        b->colour[1] = 200;
        b->colour[2] = 7;
    }
    link* l = addLink(e, e.allBalls[0], e.allBalls[1]);
    l->restLength = 50.0;
    l->colour[0] = 40;
    l->colour[1] = 50;
    l->colour[2] = 60;
}

}  // namespace tumbla::fixtures
