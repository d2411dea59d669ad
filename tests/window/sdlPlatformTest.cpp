// The window platform checked without a display: SDL's offscreen driver
// gives a real OpenGL context, and each check draws, reads the back buffer
// and looks at pixels. Input is fed as SDL events.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/sdl/fileDialog.h"
#include "platform/sdl/glyphAtlas.h"
#include "platform/sdl/maskedImage.h"
#include "platform/sdl/sdlPlatform.h"

namespace tumbla {
namespace {

struct rgb {
    int r, g, b;
    bool operator==(const rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

constexpr int windowWidth = 1024;
constexpr int windowHeight = 700;

class windowPlatform : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        io = new sdlPlatform("");
        ASSERT_TRUE(io->openWindow(windowWidth, windowHeight)) << io->windowError();
        ballImage = io->loadImage("images/cerchio200.png");
        linkImage = io->loadImage("images/plat.png");
        logoImage = io->loadImage("images/205275.png");
        ASSERT_GE(ballImage, 0);
        ASSERT_GE(linkImage, 0);
        ASSERT_GE(logoImage, 0);
        io->centreImageHandle(ballImage);
        io->centreImageHandle(linkImage);
    }
    static void TearDownTestSuite() {
        delete io;
        io = nullptr;
    }

    void SetUp() override {
        io->clearScreen();
        io->setColour(255, 255, 255);
        io->setAlpha(1);
        io->setRotation(0);
        io->setScale(1, 1);
        io->setLineWidth(1);
    }

    void capture() { frame = io->captureFrame(); }
    rgb pixel(int x, int y) const {
        const std::size_t at = (static_cast<std::size_t>(y) * windowWidth + x) * 3;
        return {frame[at], frame[at + 1], frame[at + 2]};
    }
    bool lit(int x, int y) const { return pixel(x, y) != rgb{0, 0, 0}; }
    void fillBackground(int r, int g, int b) {
        io->setColour(r, g, b);
        io->fillRect(0, 0, windowWidth, windowHeight);
        io->setColour(255, 255, 255);
    }

    static sdlPlatform* io;
    static int ballImage, linkImage, logoImage;
    std::vector<std::uint8_t> frame;
};

sdlPlatform* windowPlatform::io = nullptr;
int windowPlatform::ballImage = -1;
int windowPlatform::linkImage = -1;
int windowPlatform::logoImage = -1;

// ---- Lines and rectangles -------------------------------------------------

TEST_F(windowPlatform, linesCoverBothEndPixelsAndNothingBeyond) {
    struct lineCase {
        double x1, y1, x2, y2;
        std::vector<std::pair<int, int>> on, off;
    };
    const lineCase cases[] = {
        // A grid line as the background draws it.
        {140, 0, 140, 700, {{140, 0}, {140, 300}, {140, 699}}, {{139, 300}, {141, 300}}},
        {10, 20, 30, 20, {{10, 20}, {30, 20}}, {{9, 20}, {31, 20}, {20, 19}, {20, 21}}},
        {50, 40, 50, 10, {{50, 10}, {50, 40}}, {{50, 9}, {50, 41}, {49, 25}, {51, 25}}},
        {100, 100, 120, 120, {{100, 100}, {110, 110}, {120, 120}}, {{99, 99}, {121, 121}, {120, 100}}},
        {200, 200, 200, 200, {{200, 200}}, {{201, 200}, {200, 201}, {199, 200}}},
    };
    for (const lineCase& c : cases) {
        SetUp();
        io->drawLine(c.x1, c.y1, c.x2, c.y2);
        capture();
        for (auto [x, y] : c.on) EXPECT_TRUE(lit(x, y)) << "line " << c.x1 << "," << c.y1 << " to " << c.x2 << ","
                                                        << c.y2 << ": pixel " << x << "," << y << " should be lit";
        for (auto [x, y] : c.off) EXPECT_FALSE(lit(x, y)) << "line " << c.x1 << "," << c.y1 << " to " << c.x2
                                                          << "," << c.y2 << ": pixel " << x << "," << y
                                                          << " should be dark";
    }
}

TEST_F(windowPlatform, lineWidthThickensAcrossTheLine) {
    io->setColour(255, 0, 0);
    io->setLineWidth(2);
    io->drawLine(0, 350, 1024, 350);
    io->setLineWidth(1);
    io->drawLine(0, 100, 1024, 100);
    capture();
    int thick = 0, thin = 0;
    for (int y = 340; y < 360; ++y) thick += lit(500, y);
    for (int y = 90; y < 110; ++y) thin += lit(500, y);
    EXPECT_EQ(thick, 2);
    EXPECT_EQ(thin, 1);
    EXPECT_EQ(pixel(500, 350), (rgb{255, 0, 0}));
}

TEST_F(windowPlatform, rectanglesFillExactlyTheirArea) {
    io->setColour(10, 200, 30);
    io->fillRect(10, 10, 5, 3);
    capture();
    EXPECT_EQ(pixel(10, 10), (rgb{10, 200, 30}));
    EXPECT_EQ(pixel(14, 12), (rgb{10, 200, 30}));
    for (auto [x, y] : {std::pair{9, 10}, {15, 10}, {10, 9}, {10, 13}}) EXPECT_FALSE(lit(x, y)) << x << "," << y;
}

TEST_F(windowPlatform, coloursAreClampedAndAlphaBlends) {
    struct blendCase {
        int r, g, b;
        double alpha;
        rgb expected;
    };
    const blendCase cases[] = {
        {300, -5, 128, 1.0, {255, 0, 128}},   // clamped channels over white
        {255, 0, 0, 0.5, {255, 128, 128}},    // half red over white
        {0, 0, 0, 0.25, {191, 191, 191}},     // a quarter black over white
        {0, 0, 255, 0.0, {255, 255, 255}},    // invisible
    };
    int x = 0;
    for (const blendCase& c : cases) {
        io->setAlpha(1);
        io->setColour(255, 255, 255);
        io->fillRect(x, 0, 10, 10);
        io->setColour(c.r, c.g, c.b);
        io->setAlpha(c.alpha);
        io->fillRect(x, 0, 10, 10);
        x += 20;
    }
    capture();
    x = 0;
    for (const blendCase& c : cases) {
        const rgb got = pixel(x + 5, 5);
        EXPECT_NEAR(got.r, c.expected.r, 1) << "case at x " << x;
        EXPECT_NEAR(got.g, c.expected.g, 1) << "case at x " << x;
        EXPECT_NEAR(got.b, c.expected.b, 1) << "case at x " << x;
        x += 20;
    }
}

// ---- Images ---------------------------------------------------------------

TEST_F(windowPlatform, maskedImageShowsThroughItsBlackAndTakesTheColour) {
    fillBackground(0, 0, 255);
    io->setColour(255, 0, 0);
    io->drawImage(ballImage, 400, 300);  // handle at the centre
    capture();
    EXPECT_EQ(pixel(400, 300), (rgb{255, 0, 0}));
    EXPECT_EQ(pixel(400 - 140, 300), (rgb{255, 0, 0}));
    EXPECT_EQ(pixel(400 - 147, 300 - 147), (rgb{0, 0, 255})) << "the black corner is transparent";
    EXPECT_EQ(pixel(400 - 160, 300), (rgb{0, 0, 255})) << "nothing drawn past the image";
}

TEST_F(windowPlatform, imagesScaleAndRotateAboutTheirHandle) {
    fillBackground(0, 0, 255);
    io->setScale(0.1, 0.1);
    io->drawImage(ballImage, 100, 100);  // 29.6 pixels wide
    io->setScale(1, 1);
    io->setRotation(90);
    io->drawImage(linkImage, 500, 350);  // 400 x 100 turned upright
    io->setRotation(0);
    capture();
    EXPECT_EQ(pixel(100, 100), (rgb{255, 255, 255}));
    EXPECT_EQ(pixel(100 + 20, 100), (rgb{0, 0, 255}));
    EXPECT_EQ(pixel(500, 350 + 150), (rgb{255, 255, 255}));
    EXPECT_EQ(pixel(500, 350 - 150), (rgb{255, 255, 255}));
    EXPECT_EQ(pixel(500 + 150, 350), (rgb{0, 0, 255}));
}

TEST_F(windowPlatform, imageWithCornerHandleStartsAtThePoint) {
    io->drawImage(logoImage, 409, 162);
    capture();
    EXPECT_EQ(pixel(409 + 102, 162 + 175), (rgb{240, 240, 240})) << "the logo's lower ball";
    EXPECT_FALSE(lit(408, 162 + 175));
    EXPECT_FALSE(lit(409, 161));
}

// Filtering a masked image must not darken its edges: a white disc over
// white stays white at every scale.
TEST_F(windowPlatform, scaledImagesHaveNoDarkFringe) {
    fillBackground(255, 255, 255);
    const double scales[] = {0.05, 0.13, 0.5, 1.7};
    double x = 100;
    for (double s : scales) {
        io->setScale(s, s);
        io->drawImage(ballImage, x, 300);
        x += 250;
    }
    capture();
    int darker = 0;
    for (int y = 0; y < windowHeight; ++y)
        for (int px = 0; px < windowWidth; ++px) darker += pixel(px, y) != rgb{255, 255, 255};
    EXPECT_EQ(darker, 0);
}

TEST_F(windowPlatform, missingImageGivesNoHandle) {
    EXPECT_EQ(io->loadImage("images/none-such.png"), -1);
    EXPECT_EQ(io->loadImage("images"), -1);
}

TEST_F(windowPlatform, thousandsOfImagesTakeAHandfulOfDrawCalls) {
    for (int i = 0; i < 4000; ++i) {
        io->setScale(0.05, 0.05);
        io->drawImage(i % 2 ? ballImage : linkImage, i % 1000, (i / 1000) * 100 + 50);
        if (i % 100 == 0) {
            io->setScale(1, 1);
            io->drawLine(0, i / 10, 700, i / 10);
            io->drawText("x=" + std::to_string(i), 800, i / 10);
        }
    }
    io->present();
    EXPECT_LE(io->lastFrameDrawCalls(), 2);
}

// ---- Text -----------------------------------------------------------------


TEST_F(windowPlatform, textDrawsInsideItsMeasuredBox) {
    const std::string text = "Current File: x=12";
    const int w = io->textWidth(text);
    const int h = io->textHeight(text);
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    EXPECT_EQ(io->textWidth(""), 0);
    EXPECT_EQ(io->textWidth("abcd"), 2 * io->textWidth("ab")) << "a monospace font";
    io->drawText(text, 100, 100);
    capture();
    int inside = 0, outside = 0;
    for (int y = 80; y < 100 + h + 20; ++y)
        for (int x = 80; x < 100 + w + 20; ++x) {
            const bool in = x >= 100 && x < 100 + w && y >= 100 && y < 100 + h;
            (in ? inside : outside) += lit(x, y);
        }
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

TEST_F(windowPlatform, textScalesAndTakesTheColour) {
    const std::string text = "MMMM";
    const int w = io->textWidth(text);
    io->setColour(0, 255, 0);
    io->setScale(0.6000000238418579, 0.6000000238418579);
    io->drawText(text, 20, 10);
    capture();
    int rightmost = 0;
    bool onlyGreen = true;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            if (lit(x, y)) {
                rightmost = std::max(rightmost, x);
                onlyGreen = onlyGreen && pixel(x, y).r == 0 && pixel(x, y).b == 0;
            }
    EXPECT_TRUE(onlyGreen);
    EXPECT_GT(rightmost, 20 + w * 0.4);
    EXPECT_LT(rightmost, 20 + w * 0.6 + 2);
}

TEST_F(windowPlatform, missingFontKeepsTextDrawing) {
    const int before = io->textWidth("abc");
    EXPECT_FALSE(io->loadFont("images/none-such.ttf", 24));
    EXPECT_FALSE(io->loadFont("images/cerchio200.png", 24)) << "not a font";
    EXPECT_EQ(io->textWidth("abc"), before);
    io->drawText("abc", 10, 10);
    capture();
    int count = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) count += lit(x, y);
    EXPECT_GT(count, 20);
}

TEST_F(windowPlatform, builtInFontDrawsEveryPrintableCharacter) {
    io->useBuiltInFont();
    EXPECT_EQ(io->textWidth("ABC"), 36);
    EXPECT_EQ(io->textHeight("ABC"), 24);
    io->drawText("Tumbla 55 - x=-12", 10, 10);
    io->drawText("\xC3\xA9", 10, 50);  // not in the font: shown as a stand-in
    capture();
    int count = 0, standIn = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x) count += lit(x, y);
    for (int y = 50; y < 80; ++y)
        for (int x = 0; x < 30; ++x) standIn += lit(x, y);
    EXPECT_GT(count, 100);
    EXPECT_GT(standIn, 0);
    ASSERT_TRUE(io->loadFont("images/VeraMono.ttf", 24)) << "run scripts/setup.sh to copy the font";
}

// ---- Input ----------------------------------------------------------------

void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

SDL_Event keyEvent(Uint32 type, SDL_Keycode key, int repeat) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = key;
    e.key.repeat = static_cast<Uint8>(repeat);
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    return e;
}

SDL_Event buttonEvent(Uint32 type, int button, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.button = static_cast<Uint8>(button);
    e.button.x = x;
    e.button.y = y;
    return e;
}

TEST_F(windowPlatform, keyPressesCountOnceWhateverTheRepeat) {
    io->flushKeys();
    push(keyEvent(SDL_KEYDOWN, SDLK_q, 0));
    push(keyEvent(SDL_KEYDOWN, SDLK_q, 1));
    push(keyEvent(SDL_KEYDOWN, SDLK_q, 1));
    io->present();
    EXPECT_TRUE(io->keyDown('Q'));
    EXPECT_EQ(io->keyHits('Q'), 1);
    EXPECT_EQ(io->keyHits('Q'), 0) << "asking clears";
    push(keyEvent(SDL_KEYUP, SDLK_q, 0));
    push(keyEvent(SDL_KEYDOWN, SDLK_DELETE, 0));
    io->present();
    EXPECT_FALSE(io->keyDown('Q'));
    EXPECT_TRUE(io->keyDown(keyDelete));
    io->flushKeys();
    EXPECT_FALSE(io->keyDown(keyDelete));
    EXPECT_EQ(io->keyHits(keyDelete), 0);
    EXPECT_FALSE(io->keyDown(-1));
    EXPECT_EQ(io->keyHits(keyCodeCount), 0);
}

TEST_F(windowPlatform, mouseButtonsAndPointer) {
    io->flushMouse();
    push(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 300, 200));
    push(buttonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 300, 200));
    push(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 310, 210));
    push(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 320, 220));
    io->present();
    EXPECT_TRUE(io->mouseDown(2));
    EXPECT_TRUE(io->mouseDown(1));
    EXPECT_EQ(io->mouseHits(2), 2);
    EXPECT_EQ(io->mouseHits(2), 0);
    EXPECT_EQ(io->mouseHits(1), 1);
    EXPECT_EQ(io->mouseX(), 320);
    EXPECT_EQ(io->mouseY(), 220);
    io->flushMouse();
    EXPECT_FALSE(io->mouseDown(1));
    EXPECT_FALSE(io->mouseDown(2));
}

// A tap shorter than a frame (down and up between two frames) still reads
// as held for one frame, so the toolbar, which polls "held", sees it.
TEST_F(windowPlatform, tapWithinOneFrameReadsAsHeldForThatFrame) {
    io->flushKeys();
    io->flushMouse();
    push(keyEvent(SDL_KEYDOWN, SDLK_SPACE, 0));
    push(keyEvent(SDL_KEYUP, SDLK_SPACE, 0));
    push(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 901, 537));
    push(buttonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 901, 537));
    io->present();
    EXPECT_TRUE(io->keyDown(keySpace));
    EXPECT_TRUE(io->mouseDown(1));
    EXPECT_EQ(io->mouseHits(1), 1);
    io->present();
    EXPECT_FALSE(io->keyDown(keySpace));
    EXPECT_FALSE(io->mouseDown(1));
    EXPECT_EQ(io->keyHits(keySpace), 1);
}

TEST_F(windowPlatform, closingTheWindowRequestsQuitOnce) {
    EXPECT_FALSE(io->quitRequested());
    SDL_Event e{};
    e.type = SDL_QUIT;
    push(e);
    io->present();
    EXPECT_TRUE(io->quitRequested());
    EXPECT_FALSE(io->quitRequested()) << "reading clears the request";
}

TEST(inputMap, keysMapToVirtualKeyCodes) {
    const std::pair<SDL_Keycode, int> cases[] = {
        {SDLK_a, 65},         {SDLK_z, 90},         {SDLK_m, 77},      {SDLK_DELETE, 46},   {SDLK_LEFT, 37},
        {SDLK_UP, 38},        {SDLK_RIGHT, 39},     {SDLK_DOWN, 40},   {SDLK_LCTRL, 162},   {SDLK_RCTRL, 163},
        {SDLK_KP_ENTER, 13},  {SDLK_RETURN, 13},    {SDLK_BACKSPACE, 8}, {SDLK_ESCAPE, 27}, {SDLK_SPACE, 32},
        {SDLK_F1, -1},        {SDLK_LSHIFT, 16},    {SDLK_RSHIFT, 16},
    };
    for (auto [key, code] : cases) EXPECT_EQ(virtualKeyCode(key), code) << SDL_GetKeyName(key);
}

TEST(inputMap, buttonsMapLeftAndRight) {
    EXPECT_EQ(editorButton(SDL_BUTTON_LEFT), 1);
    EXPECT_EQ(editorButton(SDL_BUTTON_RIGHT), 2);
    EXPECT_EQ(editorButton(SDL_BUTTON_MIDDLE), 3);
    EXPECT_EQ(editorButton(SDL_BUTTON_X1), -1);
}

// ---- Images on disk -------------------------------------------------------

TEST(maskedImage, pureBlackAloneBecomesTransparent) {
    char folder[] = "/tmp/tumbla-png-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/four.png";
    // Black, nearly black, a colour, and a texel the file marks transparent.
    const std::uint8_t texels[16] = {0, 0, 0, 255, 1, 0, 0, 255, 200, 100, 50, 128, 90, 90, 90, 0};
    png_image out{};
    out.version = PNG_IMAGE_VERSION;
    out.width = 4;
    out.height = 1;
    out.format = PNG_FORMAT_RGBA;
    ASSERT_TRUE(png_image_write_to_file(&out, path.c_str(), 0, texels, 0, nullptr));
    maskedImage image;
    std::string error;
    ASSERT_TRUE(decodeMaskedPng(path, image, error)) << error;
    EXPECT_EQ(image.width, 4);
    EXPECT_EQ(image.height, 1);
    const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 1, 0, 0, 255, 200, 100, 50, 255, 0, 0, 0, 0};
    EXPECT_EQ(image.rgba, expected);
    EXPECT_FALSE(decodeMaskedPng(std::string(folder) + "/none.png", image, error));
    EXPECT_FALSE(error.empty());
    unlink(path.c_str());
    rmdir(folder);
}

// ---- Text decoding ---------------------------------------------------------

TEST(utf8, charactersDecodeAndMalformedBytesStandIn) {
    const std::pair<std::string, std::vector<char32_t>> cases[] = {
        {"ab", {U'a', U'b'}},
        {"\xC3\xA9", {0xE9}},
        {"\xE2\x82\xAC!", {0x20AC, U'!'}},
        {"\xF0\x9F\x99\x82", {0x1F642}},
        {"\xC3", {0xFFFD}},                      // cut short
        {"\xFF" "a", {0xFFFD, U'a'}},            // never a lead byte
        {"\xC0\xAF", {0xFFFD, 0xFFFD}},          // overlong
        {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},  // a surrogate
        {"\xE2\x28\xA1", {0xFFFD, U'(', 0xFFFD}},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<char32_t> got;
        for (std::size_t at = 0; at < text.size();) got.push_back(nextCharacter(text, at));
        EXPECT_EQ(got, expected) << "text of " << text.size() << " bytes";
    }
}

// ---- File dialog ------------------------------------------------------------

TEST(fileDialog, initialPathSplitsAtItsLastSlash) {
    struct splitCase {
        std::string path, folder, name;
        bool hasFolder;
    };
    const splitCase cases[] = {
        {"untitled", "", "untitled", false},
        {"", "", "", false},
        {"/home/ann/figs/bridge.txt", "/home/ann/figs", "bridge.txt", true},
        {"/home/ann/", "/home/ann", "", true},
        {"/top", "/", "top", true},
        {"rel/dir/a b.txt", "rel/dir", "a b.txt", true},
    };
    for (const splitCase& c : cases) {
        const splitPath got = splitInitialPath(c.path);
        EXPECT_EQ(got.folder, c.folder) << c.path;
        EXPECT_EQ(got.name, c.name) << c.path;
        EXPECT_EQ(got.hasFolder, c.hasFolder) << c.path;
    }
}

TEST(fileDialog, argumentsCarryPromptFolderAndNameAsSingleWords) {
    using args = std::vector<std::string>;
    EXPECT_EQ(dialogArguments(dialogProgram::zenity, {"Save as:", "", true, "/tmp/my figs/a;rm -rf x.txt"}),
              (args{"zenity", "--file-selection", "--title=Save as:", "--save",
                    "--filename=/tmp/my figs/a;rm -rf x.txt"}));
    EXPECT_EQ(dialogArguments(dialogProgram::zenity, {"Open file:", "", false, "/work/build/"}),
              (args{"zenity", "--file-selection", "--title=Open file:", "--filename=/work/build/"}));
    EXPECT_EQ(dialogArguments(dialogProgram::zenity, {"Save as:", "", true, "untitled"}),
              (args{"zenity", "--file-selection", "--title=Save as:", "--save", "--filename=untitled"}));
    EXPECT_EQ(dialogArguments(dialogProgram::zenity, {"Open file:", "", false, ""}),
              (args{"zenity", "--file-selection", "--title=Open file:"}));
    EXPECT_EQ(dialogArguments(dialogProgram::kdialog, {"Save as:", "", true, "-x.txt"}),
              (args{"kdialog", "--title", "Save as:", "--getsavefilename", "./-x.txt"}));
    EXPECT_EQ(dialogArguments(dialogProgram::kdialog, {"Open file:", "", false, "/a/b.txt"}),
              (args{"kdialog", "--title", "Open file:", "--getopenfilename", "/a/b.txt"}));
}

TEST(fileDialog, childOutputBecomesTheAnswerOnlyOnSuccess) {
    const std::string printf = findExecutable("printf");
    const std::string env = findExecutable("env");
    const std::string sleep = findExecutable("sleep");
    const std::string fail = findExecutable("false");
    ASSERT_FALSE(printf.empty());
    ASSERT_FALSE(env.empty());
    EXPECT_TRUE(findExecutable("no-such-program-here").empty());

    int calls = 0;
    const auto count = [&] { ++calls; };
    EXPECT_EQ(dialogAnswer(runChild(printf, {"printf", "/tmp/a b;c.txt\n"}, count)), "/tmp/a b;c.txt");
    EXPECT_EQ(dialogAnswer(runChild(fail, {"false"}, count)), "");
    const childResult environment = runChild(env, {"env"}, count);
    EXPECT_EQ(environment.status, 0);
    EXPECT_NE(environment.output.find("GSETTINGS_BACKEND=memory\n"), std::string::npos);
    calls = 0;
    EXPECT_EQ(runChild(sleep, {"sleep", "0.2"}, count).status, 0);
    EXPECT_GT(calls, 3) << "the window is kept alive while the child runs";
    EXPECT_EQ(runChild("/nonexistent/program", {"program"}, count).status, 127);
}

}  // namespace
}  // namespace tumbla
