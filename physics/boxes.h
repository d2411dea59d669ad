// Bounding boxes of bodies and clusters: an empty box, and widening it by a
// ball's circle or by another box.
#pragma once

#include <algorithm>

#include "physics/entities.h"

namespace tumbla {

template <typename Box>
void emptyBox(Box& b) {
    b.minX = 999999.0;
    b.maxX = -999999.0;
    b.maxY = -999999.0;
    b.minY = 999999.0;
}

template <typename Box>
void widenBox(Box& b, double minX, double maxX, double minY, double maxY) {
    b.minX = std::min(b.minX, minX);
    b.maxX = std::max(b.maxX, maxX);
    b.minY = std::min(b.minY, minY);
    b.maxY = std::max(b.maxY, maxY);
}

template <typename Box>
void widenBox(Box& b, const ball& c) {
    widenBox(b, c.x - c.radius, c.x + c.radius, c.y - c.radius, c.y + c.radius);
}

template <typename Box, typename Inner>
void widenBoxByBox(Box& b, const Inner& inner) {
    widenBox(b, inner.minX, inner.maxX, inner.minY, inner.maxY);
}

}  // namespace tumbla
