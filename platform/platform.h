// The one interface between the editor core and the machine: window and 2-D
// drawing state, polled input, the file dialog, the clock, the random
// generator and the process. The core never includes anything below
// platform/ except this header and random.h.
#pragma once

#include <string>

namespace tumbla {

// Key codes as the editor polls them (virtual-key numbers).
enum keyCode : int {
    keyBackspace = 8,
    keyReturn = 13,
    keyShift = 16,  // either Shift key
    keyEscape = 27,
    keySpace = 32,
    keyLeft = 37,
    keyUp = 38,
    keyRight = 39,
    keyDown = 40,
    keyDelete = 46,
    keyA = 65,
    keyZ = 90,
    keyLeftControl = 162,
    keyRightControl = 163,
};
constexpr int keyCodeCount = 256;

// Thrown by exitProcess on platforms that must not end the process
// (the headless twin used by tests); the real platform exits.
struct processExit {
    int status;
};

class platform {
public:
    virtual ~platform() = default;

    // Window and drawing. Drawing state stays until changed.
    virtual bool openWindow(int width, int height) = 0;  // false: could not open
    virtual std::string windowError() = 0;               // why openWindow failed
    virtual void setTitle(const std::string& title) = 0;
    virtual void clearScreen() = 0;   // back buffer to black
    virtual void present() = 0;       // show the back buffer
    virtual void setColour(int red, int green, int blue) = 0;  // clamped to 0..255
    virtual void setAlpha(double alpha) = 0;
    virtual void setRotation(double degrees) = 0;
    virtual void setScale(double sx, double sy) = 0;
    virtual void setLineWidth(double width) = 0;
    virtual void drawLine(double x1, double y1, double x2, double y2) = 0;  // last pixel included
    virtual void fillRect(double x, double y, double width, double height) = 0;
    virtual void drawImage(int image, double x, double y) = 0;  // through the image's handle
    virtual void drawText(const std::string& text, double x, double y) = 0;  // top-left at (x, y)
    virtual int textWidth(const std::string& text) = 0;   // whole pixels at scale 1
    virtual int textHeight(const std::string& text) = 0;
    // Masked (pure black transparent), filtered, mipmapped. Returns -1 when the
    // file cannot be read.
    virtual int loadImage(const std::string& path) = 0;
    virtual void centreImageHandle(int image) = 0;
    // False when the font cannot be loaded; a fallback font stays in use.
    virtual bool loadFont(const std::string& path, int pixelSize) = 0;
    virtual void showMessage(const std::string& title, const std::string& text) = 0;

    // Keyboard and mouse, polled.
    virtual bool keyDown(int code) = 0;
    virtual int keyHits(int code) = 0;   // presses since last asked; asking clears
    virtual void flushKeys() = 0;
    virtual bool mouseDown(int button) = 0;  // 1 left, 2 right
    virtual int mouseHits(int button) = 0;   // clicks since last asked; asking clears
    virtual int mouseX() = 0;
    virtual int mouseY() = 0;
    virtual void flushMouse() = 0;
    virtual bool quitRequested() = 0;  // cleared by reading

    // Modal file dialog: the chosen path, or "" on cancel.
    virtual std::string requestFile(const std::string& prompt, const std::string& filter,
                                    bool save, const std::string& initialPath) = 0;

    // Time, randomness, process.
    virtual int millisecs() = 0;
    virtual void sleepMillisecs(int ms) = 0;
    virtual void seedRandom(int seed) = 0;
    virtual double randomReal(double low, double high) = 0;  // uniform in [low, high)
    virtual int randomInt(int low, int high) = 0;             // uniform in [low, high]
    virtual std::string applicationDirectory() = 0;
    [[noreturn]] virtual void exitProcess(int status) = 0;
};

}  // namespace tumbla
