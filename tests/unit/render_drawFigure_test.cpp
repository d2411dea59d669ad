// Drawing balls and links, read back from the headless platform's recorded
// calls: order, colours, alpha, scale, rotation and position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "files_testing.h"
#include "tools/runner.h"

namespace tumbla {
namespace {

constexpr double ballScale = 0.006756756920367479;
constexpr double lengthScale = 0.0024999999441206455;
constexpr double widthScale = 0.019999999552965164;

struct drawing : ::testing::Test {
    headlessPlatform io;
    editorState editor{io};

    void SetUp() override {
        prepareHeadlessEditor(editor, io, 1);
        // Screen coordinates equal world coordinates in this view.
        editor.viewCentreX = 390.0;
        editor.viewCentreY = 350.0;
        editor.zoom = 1.0;
    }

    ball* makeBall(double x, double y, double radius, bool active = true) {
        ball* b = fixtures::addBall(editor, x, y, radius);
        if (active) editor.activeBalls.push_back(b);
        return b;
    }

    link* makeLink(ball* a, ball* b, double width, entityKind kind = entityKind::normal) {
        link* l = fixtures::addLink(editor, a, b, width, kind);
        if (kind != entityKind::virtualLink) editor.activeLinks.push_back(l);
        return l;
    }

    std::vector<drawCall> images() {
        std::vector<drawCall> out;
        for (const drawCall& c : io.calls)
            if (c.kind == drawCall::imageCall) out.push_back(c);
        return out;
    }

    std::vector<drawCall> drawFigure() {
        io.calls.clear();
        editor.drawFigure();
        return images();
    }
};

struct colour {
    int r, g, b;
    double alpha;
};

void expectColour(const drawCall& c, colour want, const char* what) {
    EXPECT_EQ(c.red, want.r) << what;
    EXPECT_EQ(c.green, want.g) << what;
    EXPECT_EQ(c.blue, want.b) << what;
    EXPECT_EQ(c.alpha, want.alpha) << what;
}

TEST_F(drawing, emptyFigureDrawsNothing) {
    EXPECT_TRUE(drawFigure().empty());
}

// Ascending by radius or width, equal keys in list order with balls before
// links, and the main ball last even when it is the smallest and inactive.
TEST_F(drawing, sizeOrderWithTheMainBallOnTop) {
    ball* main = makeBall(-5000.0, 9000.0, 1.0, false);
    editor.mainBall = main;
    ball* big = makeBall(100.0, 100.0, 20.0);
    ball* small = makeBall(200.0, 100.0, 6.0);
    makeLink(big, small, 6.0);           // equal to the small ball: after it
    makeLink(small, big, 3.0);           // thinnest: first
    makeLink(big, small, 20.0);          // equal to the big ball: after it
    const std::vector<drawCall> calls = drawFigure();
    ASSERT_EQ(calls.size(), 6u);
    const int ballImage = editor.ballImage, linkImage = editor.linkImage;
    const int images[] = {linkImage, ballImage, linkImage, ballImage, linkImage, ballImage};
    const double scaleYs[] = {widthScale * 1.5, ballScale * 6.0, widthScale * 3.0,
                              ballScale * 20.0, widthScale * 10.0, ballScale * 1.0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(calls[i].image, images[i]) << i;
        EXPECT_EQ(calls[i].scaleY, scaleYs[i]) << i;
    }
    EXPECT_EQ(calls[5].x1, -5000.0 + 0.0);  // main ball at its own place, off screen
    EXPECT_EQ(calls[5].y1, 9000.0);
}

// Many items with few distinct sizes, in shuffled order: the order drawn is
// that of a stable sort by size, frame after frame.
TEST_F(drawing, orderMatchesAStableSortOfManyItems) {
    std::vector<ball*> balls;
    unsigned seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) % 4; };
    for (int i = 0; i < 300; ++i) balls.push_back(makeBall(i, 100.0, 4.0 + next()));
    for (int i = 0; i + 1 < 300; i += 2) makeLink(balls[i], balls[i + 1], 4.0 + next());
    std::vector<drawItem> expected;
    for (ball* b : editor.activeBalls) expected.push_back(drawItem{b, nullptr, b->radius});
    for (link* l : editor.activeLinks) expected.push_back(drawItem{nullptr, l, l->width});
    std::stable_sort(expected.begin(), expected.end(),
                     [](const drawItem& a, const drawItem& b) { return a.sortKey < b.sortKey; });
    for (int frame = 0; frame < 2; ++frame) {
        editor.drawFigure();
        ASSERT_EQ(editor.drawList.size(), expected.size() + 1);  // and the main ball slot
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(editor.drawList[i].ball, expected[i].ball) << i;
            EXPECT_EQ(editor.drawList[i].link, expected[i].link) << i;
        }
    }
}

TEST_F(drawing, noMainBallDrawsNothingExtra) {
    makeBall(100.0, 100.0, 20.0);
    EXPECT_EQ(drawFigure().size(), 1u);
}

// Each rule in turn; a later colour replaces an earlier one.
TEST_F(drawing, ballColours) {
    editor.paletteColours[0][0] = 11;
    editor.paletteColours[0][1] = 22;
    editor.paletteColours[0][2] = 33;
    makeBall(10, 10, 5);
    ball* damaging = makeBall(20, 10, 5);
    ball* background = makeBall(30, 10, 5);
    makeBall(40, 10, 5);  // after the background ball
    ball* selected = makeBall(50, 10, 5);
    ball* hovered = makeBall(60, 10, 5);
    ball* main = makeBall(70, 10, 5);
    damaging->kind = entityKind::damaging;
    background->kind = entityKind::background;
    selected->kind = entityKind::damaging;
    editor.selectedBall = selected;
    editor.hoverBall = hovered;
    editor.mainBall = main;
    std::vector<drawCall> calls = drawFigure();
    ASSERT_EQ(calls.size(), 7u);
    expectColour(calls[0], {255, 255, 255, 1.0}, "normal");
    expectColour(calls[1], {255, 0, 0, 1.0}, "damaging");
    expectColour(calls[2], {255, 255, 255, 0.5}, "background");
    expectColour(calls[3], {255, 255, 255, 1.0}, "after a background ball");
    expectColour(calls[4], {255, 255, 0, 1.0}, "selected damaging");
    expectColour(calls[5], {255, 255, 0, 1.0}, "hovered");
    expectColour(calls[6], {11, 22, 33, 1.0}, "main ball");
    editor.hoverBall = main;
    calls = drawFigure();
    expectColour(calls[6], {255, 255, 0, 1.0}, "hovered main ball");
    EXPECT_EQ(io.alpha, 1.0);
    EXPECT_EQ(io.scaleX, 1.0);
}

TEST_F(drawing, ballPlaceAndScaleFollowTheView) {
    ball* b = makeBall(100.0, -20.0, 15.0);
    editor.zoom = 2.0;
    editor.viewCentreX = 50.0;
    editor.viewCentreY = 0.0;
    const std::vector<drawCall> calls = drawFigure();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].x1, 390.0 + (100.0 - 50.0) * 2.0);
    EXPECT_EQ(calls[0].y1, 350.0 + (-20.0 - 0.0) * 2.0);
    EXPECT_EQ(calls[0].scaleX, ballScale * 30.0);
    EXPECT_EQ(calls[0].scaleY, ballScale * 30.0);
    EXPECT_EQ(b->screenRadius, 30.0);
}

TEST_F(drawing, linkColours) {
    editor.paletteColours[1][0] = 44;
    editor.paletteColours[1][1] = 55;
    editor.paletteColours[1][2] = 66;
    ball* a = makeBall(0, 0, 1, false);
    ball* b = makeBall(10, 0, 1, false);
    struct {
        entityKind kind;
        bool selected;
        colour want;
        const char* what;
    } cases[] = {
        {entityKind::normal, false, {255, 255, 255, 1.0}, "normal"},
        {entityKind::damaging, false, {255, 0, 0, 1.0}, "damaging"},
        {entityKind::background, false, {255, 255, 255, 0.5}, "background"},
        {entityKind::stop, false, {44, 55, 66, 1.0}, "stop"},
        {entityKind::virtualLink, false, {0, 255, 255, 0.5}, "virtual"},
        {entityKind::virtualLink, true, {255, 255, 0, 0.5}, "selected virtual"},
        {entityKind::stop, true, {255, 255, 0, 1.0}, "selected stop"},
    };
    for (const auto& c : cases) {
        link* l = makeLink(a, b, 6.0, c.kind);
        editor.selectedLink = c.selected ? l : nullptr;
        editor.hoverLink = nullptr;
        io.calls.clear();
        l->drawLink();
        ASSERT_EQ(images().size(), 1u);
        expectColour(images()[0], c.want, c.what);
        EXPECT_EQ(l->width, c.kind == entityKind::virtualLink ? 7.0 : 6.0) << c.what;
        EXPECT_EQ(io.alpha, 1.0);
        EXPECT_EQ(io.rotation, 0.0);
    }
    // The stop colour is read afresh on every draw, so it follows the palette.
    link* stop = makeLink(a, b, 6.0, entityKind::stop);
    editor.paletteColours[1][0] = 45;
    io.calls.clear();
    stop->drawLink();
    EXPECT_EQ(images()[0].red, 45);
}

TEST_F(drawing, linkAngleFoldScaleAndMidpoint) {
    struct {
        double ax, ay, bx, by, angle;
    } cases[] = {
        {100, 100, 110, 200, std::atan(10.0) * 57.29577951308232 - 180},  // about -95.7
        {100, 100, 200, 110, std::atan(0.1) * 57.29577951308232},         // about 5.7
        {100, 100, 100, 200, -90.0},  // vertical, downwards
        {100, 200, 100, 100, -90.0},  // vertical, upwards
        {200, 100, 100, 100, 0.0},    // right to left
        {100, 100, 100, 100, 0.0},    // one point: zero length
        {100, 100, 200, 200, 45.0},   // exactly 45: not folded
    };
    for (const auto& c : cases) {
        ball* a = makeBall(c.ax, c.ay, 1, false);
        ball* b = makeBall(c.bx, c.by, 1, false);
        link* l = makeLink(a, b, 8.0);
        editor.zoom = 1.0;
        io.calls.clear();
        l->drawLink();
        const drawCall call = images().at(0);
        const double dx = c.bx - c.ax, dy = c.by - c.ay;
        EXPECT_NEAR(call.rotation, c.angle, 1e-5) << c.bx << "," << c.by;
        EXPECT_EQ(call.scaleX, lengthScale * std::sqrt(dx * dx + dy * dy));
        EXPECT_EQ(call.scaleY, widthScale * 4.0 * 1.0);
        EXPECT_EQ(call.x1, (c.ax + c.bx) / 2);
        EXPECT_EQ(call.y1, (c.ay + c.by) / 2);
    }
}

}  // namespace
}  // namespace tumbla
