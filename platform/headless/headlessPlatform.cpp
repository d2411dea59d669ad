#include "platform/headless/headlessPlatform.h"

#include <algorithm>

namespace tumbla {

namespace {

bool validButton(int button) { return button == 1 || button == 2; }
bool validKey(int code) { return code >= 0 && code < keyCodeCount; }
int clampChannel(int v) { return std::clamp(v, 0, 255); }

drawCall makeCall(drawCall::kindOf kind, double x1, double y1, double x2, double y2) {
    drawCall call;
    call.kind = kind;
    call.x1 = x1;
    call.y1 = y1;
    call.x2 = x2;
    call.y2 = y2;
    return call;
}

}  // namespace

headlessPlatform::headlessPlatform() { random.seed(1); }

void headlessPlatform::pressKey(int code) {
    if (!validKey(code)) return;
    keys[code] = true;
    ++hits[code];
}

void headlessPlatform::releaseKey(int code) {
    if (validKey(code)) keys[code] = false;
}

void headlessPlatform::pressButton(int button) {
    if (!validButton(button)) return;
    buttons[button] = true;
    ++clicks[button];
}

void headlessPlatform::releaseButton(int button) {
    if (validButton(button)) buttons[button] = false;
}

void headlessPlatform::movePointer(int x, int y) {
    pointerX = x;
    pointerY = y;
}

bool headlessPlatform::openWindow(int, int) { return !windowFails; }
std::string headlessPlatform::windowError() { return "no display"; }
void headlessPlatform::setTitle(const std::string& title) { currentTitle = title; }

void headlessPlatform::clearScreen() { calls.clear(); }
void headlessPlatform::present() { ++presents; }

void headlessPlatform::setColour(int r, int g, int b) {
    red = clampChannel(r);
    green = clampChannel(g);
    blue = clampChannel(b);
}

void headlessPlatform::setAlpha(double a) { alpha = a; }
void headlessPlatform::setRotation(double degrees) { rotation = degrees; }

void headlessPlatform::setScale(double sx, double sy) {
    scaleX = sx;
    scaleY = sy;
}

void headlessPlatform::setLineWidth(double width) { lineWidth = width; }

void headlessPlatform::record(drawCall call) {
    if (!recordCalls) return;
    call.red = red;
    call.green = green;
    call.blue = blue;
    call.alpha = alpha;
    call.rotation = rotation;
    call.scaleX = scaleX;
    call.scaleY = scaleY;
    call.lineWidth = lineWidth;
    calls.push_back(std::move(call));
}

void headlessPlatform::drawLine(double x1, double y1, double x2, double y2) {
    record(makeCall(drawCall::lineCall, x1, y1, x2, y2));
}

void headlessPlatform::fillRect(double x, double y, double width, double height) {
    record(makeCall(drawCall::rectCall, x, y, width, height));
}

void headlessPlatform::drawImage(int image, double x, double y) {
    drawCall call = makeCall(drawCall::imageCall, x, y, 0, 0);
    call.image = image;
    record(std::move(call));
}

void headlessPlatform::drawText(const std::string& text, double x, double y) {
    drawCall call = makeCall(drawCall::textCall, x, y, 0, 0);
    call.text = text;
    record(std::move(call));
}

// A monospace font of 14 x 28 pixels, close to the real 24-pixel font.
int headlessPlatform::textWidth(const std::string& text) { return 14 * static_cast<int>(text.size()); }
int headlessPlatform::textHeight(const std::string&) { return 28; }

int headlessPlatform::loadImage(const std::string& path) {
    if (std::find(missingFiles.begin(), missingFiles.end(), path) != missingFiles.end()) return -1;
    return images++;
}

void headlessPlatform::centreImageHandle(int image) {
    if (image >= 0 && image < 8) centred[image] = true;
}

bool headlessPlatform::loadFont(const std::string& path, int) {
    return std::find(missingFiles.begin(), missingFiles.end(), path) == missingFiles.end();
}

void headlessPlatform::showMessage(const std::string&, const std::string& text) {
    messages.push_back(text);
}

bool headlessPlatform::keyDown(int code) { return validKey(code) && keys[code]; }

int headlessPlatform::keyHits(int code) {
    if (!validKey(code)) return 0;
    int n = hits[code];
    hits[code] = 0;
    return n;
}

void headlessPlatform::flushKeys() {
    std::fill(std::begin(keys), std::end(keys), false);
    std::fill(std::begin(hits), std::end(hits), 0);
}

bool headlessPlatform::mouseDown(int button) { return validButton(button) && buttons[button]; }

int headlessPlatform::mouseHits(int button) {
    if (!validButton(button)) return 0;
    int n = clicks[button];
    clicks[button] = 0;
    return n;
}

int headlessPlatform::mouseX() { return pointerX; }
int headlessPlatform::mouseY() { return pointerY; }

void headlessPlatform::flushMouse() {
    std::fill(std::begin(buttons), std::end(buttons), false);
    std::fill(std::begin(clicks), std::end(clicks), 0);
}

bool headlessPlatform::quitRequested() {
    bool q = quit;
    quit = false;
    return q;
}

std::string headlessPlatform::requestFile(const std::string& prompt, const std::string& filter,
                                          bool save, const std::string& initialPath) {
    dialogs.push_back({prompt, filter, initialPath, save});
    if (dialogAnswers.empty()) return "";
    std::string answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
}

int headlessPlatform::millisecs() { return clock; }
void headlessPlatform::sleepMillisecs(int ms) { clock += std::max(ms, 1); }
void headlessPlatform::seedRandom(int seed) { random.seed(seed); }
double headlessPlatform::randomReal(double low, double high) { return random.real(low, high); }
int headlessPlatform::randomInt(int low, int high) { return random.integer(low, high); }
std::string headlessPlatform::applicationDirectory() { return appDir; }

void headlessPlatform::exitProcess(int status) { throw processExit{status}; }

}  // namespace tumbla
