// A toolbar button alone: strict hit tests, label centring, drawing; and the
// way the toolbar shows numbers.
#include <gtest/gtest.h>

#include "platform/headless/headlessPlatform.h"
#include "toolbar/toolbarButton.h"
#include "toolbar/toolbarPanel.h"

using namespace tumbla;

namespace {

// Every label measures 9 x 14 pixels at scale 1.
struct fixedTextPlatform : headlessPlatform {
    int textWidth(const std::string&) override { return 9; }
    int textHeight(const std::string&) override { return 14; }
};

}  // namespace

TEST(toolbarValue, firstSixCharactersOfSeventeenDigits) {
    struct row {
        double v;
        const char* shown;
    };
    for (row r : {row{1.0, "1.0000"}, row{20.0, "20.000"}, row{300.0, "300.00"}, row{1000.0, "1000.0"},
                  row{0.5, "0.5000"}, row{0.009999999776482582, "0.0099"}, row{1.0199999809265137, "1.0199"},
                  row{101.99999809265137, "101.99"}, row{100.0, "100.00"}, row{-2.5, "-2.500"},
                  row{1e300, "1.0000"}})
        EXPECT_EQ(toolbarValue(r.v), r.shown) << r.v;
}

TEST(toolbarValue, leftChars) {
    EXPECT_EQ(leftChars("0.20000000298023224", 6), "0.2000");
    EXPECT_EQ(leftChars("abc", 6), "abc");
    EXPECT_EQ(leftChars("abc", 0), "");
    EXPECT_EQ(leftChars("abc", -1), "");
}

TEST(toolbarButton, heldIsStrictOnEveryEdge) {
    headlessPlatform io;
    toolbarButton b(io);
    b.place("Save", 0.6000000238418579, 243, 30, 780, 580, 3);
    struct row {
        int x, y;
        bool inside;
    };
    io.pressButton(1);
    for (row r : {row{780, 590, false}, row{781, 590, true}, row{1022, 590, true}, row{1023, 590, false},
                  row{900, 580, false}, row{900, 581, true}, row{900, 609, true}, row{900, 610, false}}) {
        io.movePointer(r.x, r.y);
        EXPECT_EQ(b.held(1), r.inside) << r.x << "," << r.y;
        EXPECT_TRUE(!b.held(2)) << "the right button is up";
    }
    io.releaseButton(1);
    io.movePointer(900, 590);
    EXPECT_FALSE(b.held(1));
}

TEST(toolbarButton, anUnplacedButtonIsNeverHit) {
    headlessPlatform io;
    toolbarButton b(io);
    io.pressButton(1);
    for (int p : {-1, 0, 1}) {
        io.movePointer(p, p);
        EXPECT_FALSE(b.held(1));
        EXPECT_FALSE(b.clicked(1));
    }
}

TEST(toolbarButton, clickedAsksTheCountOnlyWhenInside) {
    headlessPlatform io;
    toolbarButton b(io);
    b.place("Open", 1, 100, 30, 10, 10, 0);
    io.pressButton(1);
    io.movePointer(500, 500);
    EXPECT_FALSE(b.clicked(1));
    EXPECT_EQ(io.clicks[1], 1);  // not asked, not cleared
    io.movePointer(50, 20);
    EXPECT_TRUE(b.clicked(1));
    EXPECT_FALSE(b.clicked(1));  // asked and cleared
    EXPECT_FALSE(b.noAction());
}

TEST(toolbarButton, placeCentresTheLabel) {
    fixedTextPlatform io;
    toolbarButton b(io);
    b.place("+", 1.0, 30, 30, 993, 50, 1);
    EXPECT_EQ(b.textOffsetX, 10.5);
    EXPECT_EQ(b.textOffsetY, 8.0);
    EXPECT_EQ(b.textShiftY, 1.0);
    EXPECT_EQ(b.label, "+");
    // A label wider than the button starts left of it.
    b.place("+", 10.0, 30, 30, 0, 0, 0);
    EXPECT_EQ(b.textOffsetX, -30.0);
}

TEST(toolbarButton, placeCentredSizesTheRectangleToTheText) {
    fixedTextPlatform io;
    toolbarButton b(io);
    b.placeCentred("Hi", 2.0, 100, 50);
    EXPECT_EQ(b.width, 18.0);
    EXPECT_EQ(b.height, 28.0);
    EXPECT_EQ(b.x, 91.0);
    EXPECT_EQ(b.y, 36.0);
    EXPECT_EQ(b.textOffsetX, 6.0);
    EXPECT_EQ(b.textOffsetY, 6.0);
    EXPECT_EQ(b.centreX, 100.0);
}

TEST(toolbarButton, drawIsAWhiteOutlineThenTheLabelInBlack) {
    fixedTextPlatform io;
    toolbarButton b(io);
    b.place("+", 0.5, 30, 30, 10, 20, 3);
    b.draw();
    ASSERT_EQ(io.calls.size(), 5u);
    const double lines[4][4] = {{10, 20, 40, 20}, {10, 20, 10, 50}, {40, 50, 40, 20}, {40, 50, 10, 50}};
    for (int i = 0; i < 4; ++i) {
        const drawCall& c = io.calls[i];
        EXPECT_EQ(c.kind, drawCall::lineCall);
        EXPECT_EQ(c.x1, lines[i][0]);
        EXPECT_EQ(c.y1, lines[i][1]);
        EXPECT_EQ(c.x2, lines[i][2]);
        EXPECT_EQ(c.y2, lines[i][3]);
        EXPECT_EQ(c.red + c.green + c.blue, 3 * 255);
    }
    const drawCall& text = io.calls[4];
    EXPECT_EQ(text.kind, drawCall::textCall);
    EXPECT_EQ(text.text, "+");
    EXPECT_EQ(text.x1, 22.75);  // 10 + (30 - 4.5) / 2
    EXPECT_EQ(text.y1, 34.5);   // 20 + (30 - 7) / 2 + 3
    EXPECT_EQ(text.red + text.green + text.blue, 0);
    EXPECT_EQ(text.scaleX, 0.5);
    EXPECT_EQ(text.scaleY, 0.5);
    EXPECT_EQ(io.scaleX, 1.0);
    EXPECT_EQ(io.red, 0);  // the colour is left black
}
