// From process start to the first editor frame: title, display, assets,
// seed, splash.
#include <cstdlib>
#include <string>

#include "app/editorState.h"

namespace tumbla {

namespace {

const char* const splashText = "Tumbla Editor - soft-body figures";

// A missing image would leave the splash and every ball undrawable: stop with
// a message that names the file rather than run on without it.
int requireImage(editorState& editor, const std::string& path) {
    int image = editor.io.loadImage(path);
    if (image < 0) {
        std::string message = "Cannot load the image \"" + path +
                               "\". It must be in the images folder next to the program.";
        editor.io.showMessage("Tumbla Editor", message);
        editor.io.exitProcess(1);
    }
    return image;
}

}  // namespace

void editorState::run() {
    io.setTitle(title = "Tumbla Editor");
    io.flushKeys();
    toolbar->editor = this;
    openDisplay();
    io.seedRandom(io.millisecs());
    showSplash();
    frameLoop();
}

void editorState::openDisplay() {
    if (!io.openWindow(1024, 700)) {
        io.showMessage("Tumbla Editor", "Cannot open the 1024 x 700 window: " + io.windowError());
        io.exitProcess(1);
    }
    displayWidth = 1024;
    displayHeight = 700;
    ballImage = requireImage(*this, "images/cerchio200.png");
    linkImage = requireImage(*this, "images/plat.png");
    logoImage = requireImage(*this, "images/205275.png");
    io.centreImageHandle(ballImage);
    io.centreImageHandle(linkImage);
    io.loadFont("images/VeraMono.ttf", 24);  // a fallback font stays current when this fails
}

void editorState::showSplash() {
    const int w = displayWidth;
    const int h = displayHeight;
    auto drawSplash = [&] {
        io.setScale(1, 1);
        io.setColour(255, 255, 255);
        io.drawImage(logoImage, (w - 205) / 2, (h - 275) / 2 - 50);
        io.setColour(255, 255, 255);
        io.setScale(1, 1);
        io.drawText(splashText, (w - static_cast<double>(io.textWidth(splashText))) / 2,
                    h / 2 + 120);
    };
    drawSplash();
    io.present();
    const int start = io.millisecs();
    for (;;) {
        io.clearScreen();
        drawSplash();
        const int now = io.millisecs();
        io.present();
        pollQuit();
        if (now - start > 3000 || io.keyDown(keySpace) || io.keyDown(keyReturn) ||
            io.keyDown(keyEscape) || io.mouseDown(1))
            break;
        io.sleepMillisecs(1);
    }
    io.setScale(1, 1);
    io.flushKeys();
    io.flushMouse();
}

void editorState::pollQuit() {
    if (io.quitRequested()) io.exitProcess(0);
}

}  // namespace tumbla
