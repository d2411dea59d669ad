// Drawing the figure: active balls and links in size order, the main ball
// on top, colours by kind, selection, hover and the animated palette.
#include <algorithm>
#include <cmath>

#include "app/editorState.h"
#include "editing/view.h"
#include "physics/geometry.h"

namespace tumbla {

namespace {

constexpr double ballImageScale = 0.006756756920367479;   // single-precision 1/148
constexpr double linkLengthScale = 0.0024999999441206455;  // single-precision 0.0025
constexpr double linkWidthScale = 0.019999999552965164;    // single-precision 0.02
constexpr double translucent = 0.5;
constexpr double virtualLinkWidth = 7.0;
constexpr double angleFold = 45.0;

void setPaletteColour(platform& io, const int (&row)[3]) { io.setColour(row[0], row[1], row[2]); }

// Ascending by key and stable, so equal keys keep their list order: what a
// pass that exchanges neighbours only when the first compares greater
// gives. A key that is not a number sorts after all others, keeping the
// order strict.
bool drawsBefore(const drawItem& a, const drawItem& b) {
    if (std::isnan(a.sortKey)) return false;
    return a.sortKey < b.sortKey || std::isnan(b.sortKey);
}

// Stable sort by drawsBefore that keeps its buffers between frames, so a
// frame allocates nothing. It merges the ascending runs the list already has:
// a figure of one ball size and one link width is two runs, one merge.
void sortDrawList(std::vector<drawItem>& list, std::vector<drawItem>& scratch,
                  std::vector<std::size_t>& runs) {
    const std::size_t n = list.size();
    runs.clear();
    runs.push_back(0);
    for (std::size_t i = 1; i < n; ++i)
        if (drawsBefore(list[i], list[i - 1])) runs.push_back(i);
    runs.push_back(n);
    if (runs.size() <= 2) return;
    scratch.resize(n);
    drawItem* from = list.data();
    drawItem* to = scratch.data();
    while (runs.size() > 2) {
        std::size_t kept = 0;
        for (std::size_t r = 0; r + 1 < runs.size(); r += 2) {
            const std::size_t lo = runs[r], mid = runs[r + 1];
            const std::size_t hi = r + 2 < runs.size() ? runs[r + 2] : mid;
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) to[k++] = drawsBefore(from[j], from[i]) ? from[j++] : from[i++];
            while (i < mid) to[k++] = from[i++];
            while (j < hi) to[k++] = from[j++];
            runs[kept++] = lo;
        }
        runs[kept++] = n;
        runs.resize(kept);
        std::swap(from, to);
    }
    if (from != list.data()) std::copy(from, from + n, list.data());
}

}  // namespace

void editorState::drawFigure() {
    drawList.clear();
    for (ball* b : activeBalls)
        if (b != mainBall) drawList.push_back(drawItem{b, nullptr, 0.0});
    for (link* l : activeLinks) drawList.push_back(drawItem{nullptr, l, 0.0});
    for (drawItem& item : drawList) item.setKey();
    sortDrawList(drawList, drawScratch, drawRuns);
    // The main ball comes last, drawn wherever it is, active or not.
    drawList.push_back(drawItem{mainBall, nullptr, 0.0});
    for (drawItem& item : drawList) item.draw();
}

void ball::drawBall() {
    if (!owner) return;
    editorState& editor = *owner;
    platform& io = editor.io;
    project();
    // Later rules override earlier ones.
    io.setColour(255, 255, 255);
    if (kind == entityKind::damaging) io.setColour(255, 0, 0);
    if (kind == entityKind::background) io.setAlpha(translucent);
    if (this == editor.mainBall) setPaletteColour(io, editor.paletteColours[0]);
    if (this == editor.selectedBall || this == editor.hoverBall) io.setColour(255, 255, 0);
    io.setScale(ballImageScale * screenRadius, ballImageScale * screenRadius);
    io.drawImage(editor.ballImage, screenX, screenY);
    io.setScale(1, 1);
    io.setAlpha(1.0);
}

void link::drawLink() {
    if (!owner || !ballA || !ballB) return;
    editorState& editor = *owner;
    platform& io = editor.io;
    io.setColour(255, 255, 255);
    if (kind == entityKind::damaging) io.setColour(255, 0, 0);
    if (kind == entityKind::background) io.setAlpha(translucent);
    if (kind == entityKind::stop) setPaletteColour(io, editor.paletteColours[1]);
    if (kind == entityKind::virtualLink) {
        io.setColour(0, 255, 255);
        io.setAlpha(translucent);
        width = virtualLinkWidth;  // kept: the pointer's hit test uses it from now on
    }
    if (this == editor.selectedLink || this == editor.hoverLink) io.setColour(255, 255, 0);

    const double height = editor.displayHeight;
    const double ax = worldToScreenX(ballA->x, editor.viewCentreX, editor.zoom, editor.drawAreaWidth);
    const double ay = worldToScreenY(ballA->y, editor.viewCentreY, editor.zoom, height);
    const double bx = worldToScreenX(ballB->x, editor.viewCentreX, editor.zoom, editor.drawAreaWidth);
    const double by = worldToScreenY(ballB->y, editor.viewCentreY, editor.zoom, height);
    double dx = bx - ax;
    const double dy = by - ay;
    const double length = std::sqrt(dx * dx + dy * dy);
    dx = nearZeroGuard(dx);
    // The image's long axis follows the link; steep links turn half a turn,
    // so a vertical link is always drawn at -90 degrees.
    double angle = std::atan(dy / dx) * degreesPerRadian;
    if (angle > angleFold) angle = angle - 180;
    io.setRotation(angle);
    io.setScale(linkLengthScale * length, linkWidthScale * (width / 2) * editor.zoom);
    io.drawImage(editor.linkImage, (ax + bx) / 2, (ay + by) / 2);
    io.setScale(1, 1);
    io.setRotation(0);
    io.setAlpha(1.0);
}

void drawItem::setKey() {
    if (ball) sortKey = ball->radius;
    if (link) sortKey = link->width;
}

int drawItem::compare(const drawItem& other) const { return sortKey <= other.sortKey ? -1 : 1; }

void drawItem::draw() {
    if (ball) ball->drawBall();
    else if (link) link->drawLink();
}

}  // namespace tumbla
