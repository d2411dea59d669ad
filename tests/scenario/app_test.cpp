// The shell of the editor on the headless platform: start-up, splash, the
// frame loop's small steps, the background grid, the status line and the view.
#include <gtest/gtest.h>

#include <cmath>

#include "app/editorState.h"
#include "editing/view.h"
#include "tools/runner.h"

using namespace tumbla;

namespace {

struct shell : ::testing::Test {
    headlessPlatform io;
    editorState editor{io};
    void SetUp() override { prepareHeadlessEditor(editor, io, 1); }

    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            io.clock += 16;
            editor.runFrame();
        }
    }

    // Lines drawn from the top edge to the bottom edge (vertical grid lines)
    // and from the left edge to the right edge (horizontal ones), before the
    // status line's first text: the grid is the first thing a frame draws.
    std::vector<drawCall> gridLines() {
        std::vector<drawCall> lines;
        for (const drawCall& c : io.calls) {
            if (c.kind == drawCall::textCall) break;
            if (c.kind == drawCall::lineCall) lines.push_back(c);
        }
        return lines;
    }
    std::vector<double> verticalLines() {
        std::vector<double> xs;
        for (const drawCall& c : gridLines())
            if (c.x1 == c.x2 && c.y1 == 0 && c.y2 == 700) xs.push_back(c.x1);
        return xs;
    }
    std::vector<drawCall> horizontalLines() {
        std::vector<drawCall> lines;
        for (const drawCall& c : gridLines())
            if (c.y1 == c.y2 && c.x1 == 0 && c.x2 == 1024) lines.push_back(c);
        return lines;
    }
    std::vector<std::string> texts() {
        std::vector<std::string> t;
        for (const drawCall& c : io.calls)
            if (c.kind == drawCall::textCall) t.push_back(c.text);
        return t;
    }
};

}  // namespace

TEST_F(shell, freshStateAndFirstFrame) {
    EXPECT_EQ(editor.viewCentreX, 0.0);
    EXPECT_EQ(editor.viewCentreY, 350.0);
    EXPECT_EQ(editor.zoom, 1.0);
    EXPECT_EQ(editor.mode, -1);
    frames(1);
    EXPECT_EQ(editor.mode, 1);  // an empty figure forces Draw mode in the first frame
    EXPECT_EQ(io.currentTitle, "Tumbla Editor 55 - ");
    EXPECT_EQ(editor.mainBall, nullptr);
}

TEST_F(shell, titleFollowsCurrentFile) {
    editor.currentFileName = "/tmp/figure.txt";
    frames(1);
    EXPECT_EQ(io.currentTitle, "Tumbla Editor 55 - /tmp/figure.txt");
}

TEST_F(shell, startupGridAndStatusLine) {
    frames(1);
    EXPECT_EQ(verticalLines(), (std::vector<double>{140, 390, 640, 890}));
    auto rows = horizontalLines();
    ASSERT_EQ(rows.size(), 3u);  // 175, 425, 675; the marker line at 1175 is off the window
    EXPECT_EQ(rows[0].y1, 175);
    EXPECT_EQ(rows[2].y1, 675);
    EXPECT_EQ(rows[0].red, 120);
    EXPECT_EQ(rows[0].green, 120);
    auto t = texts();
    ASSERT_GE(t.size(), 3u);
    EXPECT_EQ(t[0], "Current File: ");
    EXPECT_EQ(t[1], "x=0");
    EXPECT_EQ(t[2], "y=350");
}

TEST_F(shell, gridCases) {
    struct row {
        double cx, cy, zoom;
        int mode;
        std::vector<double> rows;  // horizontal lines in drawing order, marker last when drawn
        int grey;
    };
    for (const row& r : {row{0, 2000, 1, 1, {100, 350, 600, 350}, 120},
                         row{0, 2000, 1, -1, {100, 350, 600}, 120}}) {
        editor.drawAreaWidth = 780;
        editor.viewCentreX = r.cx;
        editor.viewCentreY = r.cy;
        editor.zoom = r.zoom;
        io.calls.clear();
        editor.drawBackgroundGrid(r.mode + 1);
        std::vector<double> ys;
        for (const drawCall& c : horizontalLines()) ys.push_back(c.y1);
        EXPECT_EQ(ys, r.rows) << "mode " << r.mode;
        if (r.mode == 1) {
            const drawCall marker = horizontalLines().back();
            EXPECT_EQ(marker.red, 255);
            EXPECT_EQ(marker.green, 0);
            EXPECT_EQ(marker.lineWidth, 2.0);
        }
    }
    // Zoom 2 at the start-up centre: three vertical lines, two rows, brighter grey.
    editor.viewCentreX = 0;
    editor.viewCentreY = 350;
    editor.zoom = 2;
    io.calls.clear();
    editor.drawBackgroundGrid(0);
    auto xs = verticalLines();
    ASSERT_EQ(xs.size(), 3u);
    EXPECT_NEAR(xs[0], 56.67, 0.01);
    EXPECT_EQ(xs[1], 390);
    EXPECT_NEAR(xs[2], 723.33, 0.01);
    auto rows = horizontalLines();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NEAR(rows[0].y1, 116.67, 0.01);
    EXPECT_NEAR(rows[1].y1, 450, 1e-9);
    EXPECT_EQ(rows[0].red, 240);
}

TEST_F(shell, statusLineTruncatesTowardZero) {
    editor.viewCentreX = 12.9;
    editor.viewCentreY = -0.7;
    io.calls.clear();
    editor.drawStatusLine();
    auto t = texts();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1], "x=12");
    EXPECT_EQ(t[2], "y=0");
    EXPECT_EQ(io.calls[0].scaleX, 0.6000000238418579);
    EXPECT_EQ(io.scaleX, 1.0);
}

TEST_F(shell, paletteStaysEvenAndInRange) {
    frames(1);
    for (int r = 0; r < editor.paletteSize; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(editor.paletteColours[r][c], 2);
    frames(999);
    for (int r = 0; r < editor.paletteSize; ++r)
        for (int c = 0; c < 3; ++c) {
            int v = editor.paletteColours[r][c];
            EXPECT_EQ(v % 2, 0);
            EXPECT_GE(v, 2);
            EXPECT_LE(v, 254);
        }
}

TEST_F(shell, framePacingWaitsSixteenMilliseconds) {
    editor.frameMark = io.clock;
    editor.waitForNextFrame();
    EXPECT_EQ(editor.frameMark, 16);  // 15 ms is less than 1000/63, 16 is not
    io.clock += 40;                   // a slow frame: no wait at all
    editor.waitForNextFrame();
    EXPECT_EQ(editor.frameMark, 56);
}

TEST_F(shell, escapeEndsTheLoopAfterTheFrame) {
    io.pressKey(keyEscape);
    int presents = io.presents;
    editor.frameLoop();  // returns after one frame
    EXPECT_EQ(io.presents, presents + 1);
}

TEST_F(shell, closeRequestEndsTheProcessWithStatusZero) {
    io.quit = true;
    try {
        frames(1);
        FAIL() << "the frame went on";
    } catch (const processExit& e) {
        EXPECT_EQ(e.status, 0);
    }
}

// The splash ends after more than 3000 ms, or on Space, Return, Escape or the
// left button, and leaves no key or click for the first frame.
TEST(splash, endsOnTimeOrInput) {
    struct row {
        int key, button;
    };
    for (row r : {row{0, 0}, row{keySpace, 0}, row{keyReturn, 0}, row{keyEscape, 0}, row{0, 1}}) {
        headlessPlatform io;
        editorState editor(io);
        editor.openDisplay();
        if (r.key) io.pressKey(r.key);
        if (r.button) io.pressButton(r.button);
        io.pressKey('P');
        int start = io.clock;
        editor.showSplash();
        if (r.key || r.button)
            EXPECT_LT(io.clock - start, 10);
        else
            EXPECT_GT(io.clock - start, 3000);
        EXPECT_FALSE(io.keyDown(keyEscape));
        EXPECT_EQ(io.keyHits('P'), 0);
        EXPECT_FALSE(io.mouseDown(1));
        EXPECT_EQ(io.mouseHits(1), 0);
    }
}

TEST(splash, closeDuringSplashEndsTheProgram) {
    headlessPlatform io;
    editorState editor(io);
    editor.openDisplay();
    io.quit = true;
    EXPECT_THROW(editor.showSplash(), processExit);
}

TEST(startup, missingImageStopsWithAMessageNamingIt) {
    headlessPlatform io;
    io.missingFiles = {"images/plat.png"};
    editorState editor(io);
    try {
        editor.openDisplay();
        FAIL() << "start-up went on without its image";
    } catch (const processExit& e) {
        EXPECT_NE(e.status, 0);
    }
    ASSERT_EQ(io.messages.size(), 1u);
    EXPECT_NE(io.messages[0].find("images/plat.png"), std::string::npos);
}

TEST(startup, missingFontIsNotFatal) {
    headlessPlatform io;
    io.missingFiles = {"images/VeraMono.ttf"};
    editorState editor(io);
    EXPECT_NO_THROW(editor.openDisplay());
    EXPECT_TRUE(io.messages.empty());
}

TEST(startup, windowThatCannotOpen) {
    headlessPlatform io;
    io.windowFails = true;
    editorState editor(io);
    EXPECT_THROW(editor.openDisplay(), processExit);
    ASSERT_EQ(io.messages.size(), 1u);
}

// The view step and the world-to-screen functions.
TEST_F(shell, viewCases) {
    EXPECT_EQ(worldToScreenX(0, 0, 1, 780), 390);
    EXPECT_EQ(worldToScreenY(350, 350, 1, 700), 350);
    EXPECT_EQ(worldToScreenY(0, 350, 1, 700), 0);

    editor.zoom = 2;
    io.pressKey('W');
    frames(10);
    EXPECT_EQ(editor.viewCentreY, 350 - 70);
    io.releaseKey('W');

    editor.zoom = 1;
    editor.viewCentreY = 2995;
    io.pressKey('S');
    frames(1);
    io.releaseKey('S');
    EXPECT_EQ(editor.viewCentreY, 3000);
    EXPECT_EQ(editor.viewBottom, 3350);

    editor.zoom = 1000;
    frames(1);
    EXPECT_EQ(editor.zoom, 100);
    editor.zoom = 0.0001;
    frames(1);
    EXPECT_EQ(editor.zoom, zoomLowest);

    editor.zoom = 0.5;
    editor.viewCentreX = 100;
    io.movePointer(0, 0);
    EXPECT_EQ(editor.pointerWorldX(), -680);
}

TEST(runner, rejectsMalformedInput) {
    std::vector<scriptEvent> events;
    std::string error;
    EXPECT_FALSE(parseScript("0 key-down\n", events, error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_FALSE(parseScript("x mouse-move 1 2\n", events, error));
    EXPECT_FALSE(parseScript("3 fly\n", events, error));
    events.clear();
    EXPECT_TRUE(parseScript("# c\n\n5 dialog /tmp/a b\n2 dialog\n1 button-down 2\n", events, error));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].frame, 1);  // sorted by frame
    EXPECT_TRUE(events[1].cancel);
    EXPECT_EQ(events[2].path, "/tmp/a b");
    EXPECT_EQ(runRunner({"--frames"}), 2);
    EXPECT_EQ(runRunner({"--frames", "-1"}), 2);
    EXPECT_EQ(runRunner({"--frames", "3", "--bogus"}), 2);
    EXPECT_EQ(runRunner({"--frames", "10"}), 0);
}
