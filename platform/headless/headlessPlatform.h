// The platform without a window: drawing calls are recorded for tests to
// read, input is scripted, the clock moves only when told (or when the
// program sleeps), dialogs answer from a queue, and exitProcess throws.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/random.h"

namespace tumbla {

struct drawCall {
    enum kindOf { lineCall, rectCall, imageCall, textCall } kind = lineCall;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // line ends; rect corner and size; image/text point
    int image = -1;
    std::string text;
    int red = 0, green = 0, blue = 0;
    double alpha = 1, rotation = 0, scaleX = 1, scaleY = 1, lineWidth = 1;
};

class headlessPlatform : public platform {
public:
    headlessPlatform();

    // What tests and the runner set or read.
    std::vector<drawCall> calls;   // drawing since the last clearScreen
    bool recordCalls = true;
    std::string currentTitle;
    int presents = 0;
    int clock = 0;
    bool keys[keyCodeCount] = {};
    int hits[keyCodeCount] = {};
    bool buttons[3] = {};
    int clicks[3] = {};
    int pointerX = 1023, pointerY = 699;
    bool quit = false;
    std::deque<std::string> dialogAnswers;  // next answers; an empty deque answers cancel
    struct dialogRequest {
        std::string prompt, filter, initialPath;
        bool save;
    };
    std::vector<dialogRequest> dialogs;
    std::vector<std::string> messages;
    std::vector<std::string> missingFiles;  // loadImage/loadFont fail for these paths
    bool windowFails = false;
    std::string appDir = ".";

    void pressKey(int code);
    void releaseKey(int code);
    void pressButton(int button);
    void releaseButton(int button);
    void movePointer(int x, int y);

    // platform
    bool openWindow(int width, int height) override;
    std::string windowError() override;
    void setTitle(const std::string& title) override;
    void clearScreen() override;
    void present() override;
    void setColour(int red, int green, int blue) override;
    void setAlpha(double alpha) override;
    void setRotation(double degrees) override;
    void setScale(double sx, double sy) override;
    void setLineWidth(double width) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    void fillRect(double x, double y, double width, double height) override;
    void drawImage(int image, double x, double y) override;
    void drawText(const std::string& text, double x, double y) override;
    int textWidth(const std::string& text) override;
    int textHeight(const std::string& text) override;
    int loadImage(const std::string& path) override;
    void centreImageHandle(int image) override;
    bool loadFont(const std::string& path, int pixelSize) override;
    void showMessage(const std::string& title, const std::string& text) override;
    bool keyDown(int code) override;
    int keyHits(int code) override;
    void flushKeys() override;
    bool mouseDown(int button) override;
    int mouseHits(int button) override;
    int mouseX() override;
    int mouseY() override;
    void flushMouse() override;
    bool quitRequested() override;
    std::string requestFile(const std::string& prompt, const std::string& filter, bool save,
                            const std::string& initialPath) override;
    int millisecs() override;
    void sleepMillisecs(int ms) override;
    void seedRandom(int seed) override;
    double randomReal(double low, double high) override;
    int randomInt(int low, int high) override;
    std::string applicationDirectory() override;
    [[noreturn]] void exitProcess(int status) override;

    // Current drawing state.
    int red = 255, green = 255, blue = 255;
    double alpha = 1, rotation = 0, scaleX = 1, scaleY = 1, lineWidth = 1;
    int images = 0;
    bool centred[8] = {};

private:
    void record(drawCall call);
    randomGenerator random;
};

}  // namespace tumbla
