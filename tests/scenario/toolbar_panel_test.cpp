// The toolbar panel in running frames: where its buttons are, what they read
// in each selection state, the order in which they are drawn, and the
// temporary Save label.
#include <algorithm>

#include "tests/scenario/editing_harness.h"

using namespace tumbla;

namespace {

using panel = editingHarness;

// The label of each button in drawing order, as recorded after the grey fill.
std::vector<std::string> panelTexts(const headlessPlatform& io) {
    std::vector<std::string> texts;
    bool inPanel = false;
    for (const drawCall& c : io.calls) {
        if (c.kind == drawCall::rectCall && c.red == 222 && c.green == 222 && c.blue == 222) inPanel = true;
        if (inPanel && c.kind == drawCall::textCall) texts.push_back(c.text);
    }
    return texts;
}

}  // namespace

TEST_F(panel, everyButtonHasItsPlaceSizeAndTextShift) {
    placeAt(200, 300);  // a ball selected, so the anchor, kind and roll rows are placed
    toolbarPanel& t = *editor.toolbar;
    struct row {
        const char* name;
        toolbarButton toolbarPanel::*button;
        double x, y, width, shift;
    };
    const row rows[] = {
        {"mode", &toolbarPanel::modeButton, 780, 0, 243, 3},
        {"zoom", &toolbarPanel::zoomField, 780, 50, 243, 3},
        {"zoom+", &toolbarPanel::zoomPlus, 993, 50, 30, 1},
        {"zoom-", &toolbarPanel::zoomMinus, 780, 50, 30, 1},
        {"gravity", &toolbarPanel::gravityField, 780, 80, 243, 3},
        {"gravity+", &toolbarPanel::gravityPlus, 993, 80, 30, 3},
        {"gravity-", &toolbarPanel::gravityMinus, 780, 80, 30, 3},
        {"select", &toolbarPanel::selectButton, 780, 128, 243, 3},
        {"delete", &toolbarPanel::deleteButton, 780, 158, 243, 3},
        {"resize", &toolbarPanel::resizeField, 780, 188, 243, 3},
        {"resize+", &toolbarPanel::resizePlus, 993, 188, 30, 1},
        {"resize-", &toolbarPanel::resizeMinus, 780, 188, 30, 1},
        {"anchor", &toolbarPanel::anchorButton, 780, 218, 243, 3},
        {"kind", &toolbarPanel::kindButton, 780, 248, 243, 3},
        {"roll", &toolbarPanel::rollButton, 780, 278, 243, 3},
        {"size", &toolbarPanel::ballSizeField, 780, 325, 243, 3},
        {"size+", &toolbarPanel::ballSizePlus, 993, 325, 30, 1},
        {"size-", &toolbarPanel::ballSizeMinus, 780, 325, 30, 1},
        {"mass", &toolbarPanel::ballMassField, 780, 355, 243, 3},
        {"mass+", &toolbarPanel::ballMassPlus, 993, 355, 30, 1},
        {"mass-", &toolbarPanel::ballMassMinus, 780, 355, 30, 1},
        {"width", &toolbarPanel::linkWidthField, 780, 385, 243, 3},
        {"width+", &toolbarPanel::linkWidthPlus, 993, 385, 30, 3},
        {"width-", &toolbarPanel::linkWidthMinus, 780, 385, 30, 3},
        {"angle", &toolbarPanel::angleField, 780, 415, 243, 3},
        {"angle+", &toolbarPanel::anglePlus, 993, 415, 30, 3},
        {"angle-", &toolbarPanel::angleMinus, 780, 415, 30, 3},
        {"new level", &toolbarPanel::newLevelButton, 780, 460, 243, 3},
        {"revert", &toolbarPanel::revertButton, 780, 490, 243, 3},
        {"open", &toolbarPanel::openButton, 780, 520, 243, 3},
        {"add", &toolbarPanel::addObjectButton, 780, 550, 243, 3},
        {"save", &toolbarPanel::saveButton, 780, 580, 243, 3},
        {"save as", &toolbarPanel::saveAsButton, 780, 610, 243, 3},
        {"on screen", &toolbarPanel::saveOnScreenButton, 780, 640, 243, 3},
        {"quit", &toolbarPanel::quitButton, 780, 670, 243, 3},
    };
    for (const row& r : rows) {
        const toolbarButton& b = t.*r.button;
        EXPECT_EQ(b.x, r.x) << r.name;
        EXPECT_EQ(b.y, r.y) << r.name;
        EXPECT_EQ(b.width, r.width) << r.name;
        EXPECT_EQ(b.height, 30.0) << r.name;
        EXPECT_EQ(b.textShiftY, r.shift) << r.name;
        EXPECT_EQ(b.textScale, 0.6000000238418579) << r.name;
    }
    EXPECT_EQ(t.panelX, 780);
    EXPECT_EQ(t.gravityField.label, "Gravity= 0.2000");
}

TEST_F(panel, labelsFollowTheSelection) {
    placeMainBall(100, 100);  // its values are forced
    ball* a = placeAt(200, 300);
    placeAt(400, 300);
    dragFromTo(200, 300, 400, 300);
    tumbla::link* l = editor.allLinks[0];
    l->width = 7.5;
    a->mass = 100.0;
    a->angleStrength = 300.0;
    toolbarPanel& t = *editor.toolbar;
    struct state {
        const char* name;
        ball* selectedBall;
        tumbla::link* selectedLink;
        const char *deleteLabel, *kind, *size, *mass, *width, *angle;
    };
    const state states[] = {
        {"nothing", nullptr, nullptr, "Delete Everything", nullptr, "All Balls Size", "All Balls Mass",
         "All Links Width", "All Angle Strength"},
        {"a ball", a, nullptr, "Delete Selected Item", "Kind= normal", "Ball Size= 20.000", "Ball Mass= 100.00",
         "All Links Width", "Angle Str.= 300.00"},
        {"a link", nullptr, l, "Delete Selected Item", "Kind= stop", "All Balls Size", "All Balls Mass",
         "Link Width= 7.5000", "All Angle Strength"},
        {"both", a, l, "Delete Selected Item", "Kind= stop", "Ball Size= 20.000", "Ball Mass= 100.00",
         "Link Width= 7.5000", "Angle Str.= 300.00"},
    };
    l->kind = entityKind::stop;
    a->kind = entityKind::normal;
    for (const state& s : states) {
        editor.selectedBall = s.selectedBall;
        editor.selectedLink = s.selectedLink;
        frames(1);
        EXPECT_EQ(t.deleteButton.label, s.deleteLabel) << s.name;
        EXPECT_EQ(t.ballSizeField.label, s.size) << s.name;
        EXPECT_EQ(t.ballMassField.label, s.mass) << s.name;
        EXPECT_EQ(t.linkWidthField.label, s.width) << s.name;
        EXPECT_EQ(t.angleField.label, s.angle) << s.name;
        const std::vector<std::string> texts = panelTexts(io);
        auto drawn = [&](const std::string& text) {
            return std::find(texts.begin(), texts.end(), text) != texts.end();
        };
        if (s.kind) {
            EXPECT_EQ(t.kindButton.label, s.kind) << s.name;
        }
        EXPECT_EQ(drawn(t.kindButton.label), s.kind != nullptr) << s.name;
        EXPECT_EQ(drawn("Release Ball"), s.selectedBall != nullptr) << s.name;
        EXPECT_EQ(drawn("Make Ball Roll"), s.selectedBall != nullptr) << s.name;
    }
}

TEST_F(panel, buttonsAreDrawnInOrderOverTheGreyPanel) {
    placeMainBall(100, 100);
    placeAt(200, 300);
    frames(1);
    const std::vector<std::string> expected = {
        "Play", "Delete Selected Item", "Kind= normal", "Select All", "Zoom= 1.0000", "+", "-",
        "Resize Everything", "+", "-", "Release Ball", "Make Ball Roll", "Ball Size= 20.000", "+", "-",
        "Ball Mass= 1.0000", "+", "-", "All Links Width", "+", "-", "Angle Str.= 300.00", "+", "-",
        "Gravity= 0.2000", "+", "-", "New Level", "Revert to Saved", "Open", "Add Object", "Save",
        "Save As", "Save Object On Screen", "Quit"};
    EXPECT_EQ(panelTexts(io), expected);
    // The grey fill and its three white edges come first.
    auto fill = std::find_if(io.calls.begin(), io.calls.end(), [](const drawCall& c) {
        return c.kind == drawCall::rectCall && c.red == 222;
    });
    ASSERT_NE(fill, io.calls.end());
    EXPECT_EQ(fill->x1, 780.0);
    EXPECT_EQ(fill->y1, 0.0);
    EXPECT_EQ(fill->x2, 244.0);
    EXPECT_EQ(fill->y2, 700.0);
    const double edges[3][4] = {{780, 0, 780, 700}, {780, 699, 1023, 699}, {1023, 0, 1023, 699}};
    for (int i = 0; i < 3; ++i) {
        const drawCall& e = *(fill + 1 + i);
        EXPECT_EQ(e.kind, drawCall::lineCall);
        EXPECT_EQ(e.x1, edges[i][0]);
        EXPECT_EQ(e.y1, edges[i][1]);
        EXPECT_EQ(e.x2, edges[i][2]);
        EXPECT_EQ(e.y2, edges[i][3]);
        EXPECT_EQ(e.red, 255);
    }
}

TEST_F(panel, modeLabelReadsTheOtherMode) {
    EXPECT_EQ(editor.toolbar->modeButton.label, "Play");
    placeAt(390, 350);
    io.pressKey(80);
    frames(1);
    io.releaseKey(80);
    EXPECT_EQ(editor.toolbar->modeButton.label, "Draw");
}

TEST_F(panel, savedShowsForFiftyNineFrames) {
    toolbarPanel& t = *editor.toolbar;
    EXPECT_EQ(t.saveLabel, "Save");
    // As a save in the command step leaves it, before the panel's update.
    t.saveLabel = "Saved!";
    t.saveMessageTimer = 60;
    for (int frame = 1; frame <= 59; ++frame) {
        frames(1);
        ASSERT_EQ(t.saveButton.label, "Saved!") << frame;
    }
    frames(1);
    EXPECT_EQ(t.saveButton.label, "Save");
    EXPECT_EQ(t.saveMessageTimer, 0);
}
