#include "platform/sdl/sdlPlatform.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/sdl/fileDialog.h"
#include "platform/sdl/maskedImage.h"

namespace tumbla {

namespace {

const char* const fallbackFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr int fallbackFontSize = 24;

std::string programFolder(const char* argv0) {
    char buffer[PATH_MAX];
    std::string program;
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) {
        program.assign(buffer, static_cast<std::size_t>(n));
    } else if (argv0 != nullptr && realpath(argv0, buffer) != nullptr) {
        program = buffer;
    }
    const std::size_t slash = program.rfind('/');
    if (slash == std::string::npos) {
        if (getcwd(buffer, sizeof buffer) == nullptr) return "./";
        std::string folder = buffer;
        return folder.back() == '/' ? folder : folder + "/";
    }
    return program.substr(0, slash + 1);
}

std::uint8_t toByte(double unit) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(unit, 0.0, 1.0) * 255.0));
}

const quadPoint wholeTexture[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

}  // namespace

sdlPlatform::sdlPlatform(const char* argv0) : appDir(programFolder(argv0)) {
    if (chdir(appDir.c_str()) != 0) std::perror(appDir.c_str());
    random.seed(1);
}

sdlPlatform::~sdlPlatform() { shutDown(); }

void sdlPlatform::shutDown() {
    fonts.clear();
    currentFont = nullptr;
    if (context != nullptr) {
        for (const image& i : images) glDeleteTextures(1, &i.texture);
        if (white != 0) glDeleteTextures(1, &white);
        SDL_GL_DeleteContext(context);
        context = nullptr;
    }
    images.clear();
    white = 0;
    if (window != nullptr) {
        SDL_DestroyWindow(window);
        window = nullptr;
    }
    SDL_Quit();
}

// ---- Window ---------------------------------------------------------------

namespace {

// Video through a driver that shows a window. Left to itself, SDL falls back
// to its offscreen driver when the display cannot be reached, and the editor
// would run on with no window at all, its figure out of reach. A display
// that is starting or busy may refuse a first connection, so each driver is
// tried a few times. SDL_VIDEODRIVER, when set, is the user's choice.
bool startVideo(std::string& error) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) {
        std::vector<const char*> drivers = {"x11"};
        if (std::getenv("WAYLAND_DISPLAY") != nullptr) drivers.push_back("wayland");
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (attempt > 0) SDL_Delay(200);
            for (const char* driver : drivers) {
                SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
                if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
                if (driver == drivers.front()) error = SDL_GetError();
            }
        }
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    error = SDL_GetError();
    return false;
}

}  // namespace

bool sdlPlatform::openWindow(int w, int h) {
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (!startVideo(openError)) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        openError = SDL_GetError();
        return false;
    }
    context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        openError = std::string("no OpenGL context: ") + SDL_GetError();
        return false;
    }
    std::string missing;
    if (!gl.load(missing)) {
        openError = "the OpenGL driver lacks " + missing;
        return false;
    }
    if (!renderer.init(gl, openError)) return false;
    SDL_GL_SetSwapInterval(1);  // no vsync on some displays: the frame pacing still caps the rate
    int drawableW = w, drawableH = h;
    SDL_GL_GetDrawableSize(window, &drawableW, &drawableH);
    glViewport(0, 0, drawableW, drawableH);
    width = w;
    height = h;
    SDL_ShowCursor(SDL_ENABLE);
    SDL_StopTextInput();
    return true;
}

std::string sdlPlatform::windowError() { return openError; }

void sdlPlatform::setTitle(const std::string& text) {
    title = text;
    if (window != nullptr) SDL_SetWindowTitle(window, title.c_str());
}

void sdlPlatform::clearScreen() { currentFrame.clear(); }

void sdlPlatform::render(const frameRecord& frame) {
    if (currentFont != nullptr) currentFont->texture();  // uploads glyphs first met this frame
    renderer.draw(frame, width, height);
}

void sdlPlatform::present() {
    if (window != nullptr) {
        render(currentFrame);
        SDL_GL_SwapWindow(window);
    }
    std::swap(currentFrame, shownFrame);
    currentFrame.clear();
    pumpEvents();
}

std::vector<std::uint8_t> sdlPlatform::captureFrame() {
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(width) * height * 3);
    if (window == nullptr) return rows;
    render(currentFrame);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<std::uint8_t> bottomUp(rows.size());
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::copy_n(&bottomUp[(height - 1 - y) * stride], stride, &rows[y * stride]);
    return rows;
}

// ---- Drawing state --------------------------------------------------------

void sdlPlatform::setColour(int r, int g, int b) {
    red = std::clamp(r, 0, 255);
    green = std::clamp(g, 0, 255);
    blue = std::clamp(b, 0, 255);
}

void sdlPlatform::setAlpha(double a) { alpha = a; }
void sdlPlatform::setRotation(double degrees) { rotation = degrees; }

void sdlPlatform::setScale(double sx, double sy) {
    scaleX = sx;
    scaleY = sy;
}

void sdlPlatform::setLineWidth(double w) { lineWidth = w; }

tint sdlPlatform::currentTint() const {
    return {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green), static_cast<std::uint8_t>(blue),
            toByte(alpha)};
}

GLuint sdlPlatform::whiteTexture() {
    if (white == 0) {
        const std::uint8_t texels[4 * 4 * 4] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                                255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                                255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                                255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                                255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                                255, 255, 255, 255, 255, 255, 255, 255, 255};
        glGenTextures(1, &white);
        glBindTexture(GL_TEXTURE_2D, white);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    }
    return white;
}

void sdlPlatform::addSolidQuad(const quadPoint (&corners)[4]) {
    if (window == nullptr) return;
    static const quadPoint middle[4] = {{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}};
    currentFrame.addQuad(whiteTexture(), corners, middle, currentTint());
}

// A line is a quad of the line width around the segment between the centres
// of its end pixels, reaching half a pixel past each end, so both end pixels
// are covered: a 1-pixel line from (140, 0) to (140, 700) fills column 140
// from row 0 to row 700.
void sdlPlatform::drawLine(double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1, dy = y2 - y1;
    const double length = std::sqrt(dx * dx + dy * dy);
    double ux = 1, uy = 0;
    if (length > 0) {
        ux = dx / length;
        uy = dy / length;
    }
    const double half = std::max(lineWidth, 1.0) / 2;
    const double nx = -uy * half, ny = ux * half;
    const double ax = x1 + 0.5 - ux * 0.5, ay = y1 + 0.5 - uy * 0.5;
    const double bx = x2 + 0.5 + ux * 0.5, by = y2 + 0.5 + uy * 0.5;
    const quadPoint corners[4] = {{ax + nx, ay + ny}, {bx + nx, by + ny}, {bx - nx, by - ny}, {ax - nx, ay - ny}};
    addSolidQuad(corners);
}

void sdlPlatform::fillRect(double x, double y, double w, double h) {
    if (w == 0 || h == 0) return;
    const quadPoint corners[4] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
    addSolidQuad(corners);
}

void sdlPlatform::drawImage(int index, double x, double y) {
    if (window == nullptr || index < 0 || index >= static_cast<int>(images.size())) return;
    const image& picture = images[index];
    const double radians = rotation * 3.14159265358979323846 / 180.0;
    const double c = std::cos(radians), s = std::sin(radians);
    const double left = -picture.handleX, top = -picture.handleY;
    const double right = picture.width - picture.handleX, bottom = picture.height - picture.handleY;
    const quadPoint local[4] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    quadPoint corners[4];
    for (int i = 0; i < 4; ++i) {
        const double lx = local[i].x * scaleX, ly = local[i].y * scaleY;
        corners[i] = {x + (c * lx - s * ly), y + (s * lx + c * ly)};
    }
    currentFrame.addQuad(picture.texture, corners, wholeTexture, currentTint());
}

void sdlPlatform::drawText(const std::string& text, double x, double y) {
    if (window == nullptr) return;
    glyphAtlas& atlas = font();
    const GLuint texture = atlas.texture();
    // At scale 1 glyphs sit on whole pixels, so their texels map one to one.
    if (scaleX == 1 && scaleY == 1) {
        x = std::floor(x + 0.5);
        y = std::floor(y + 0.5);
    }
    const tint colour = currentTint();
    double penX = x;
    for (std::size_t at = 0; at < text.size();) {
        const atlasGlyph& g = atlas.find(nextCharacter(text, at));
        if (g.width > 0 && g.height > 0) {
            const double left = penX + g.left * scaleX, top = y + g.top * scaleY;
            const double right = left + g.width * scaleX, bottom = top + g.height * scaleY;
            const quadPoint corners[4] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
            const quadPoint uv[4] = {{g.u0, g.v0}, {g.u1, g.v0}, {g.u1, g.v1}, {g.u0, g.v1}};
            currentFrame.addQuad(texture, corners, uv, colour);
        }
        penX += g.advance * scaleX;
    }
}

int sdlPlatform::textWidth(const std::string& text) { return font().textWidth(text); }
int sdlPlatform::textHeight(const std::string&) { return font().lineHeight(); }

// ---- Assets ---------------------------------------------------------------

int sdlPlatform::loadImage(const std::string& path) {
    if (window == nullptr) return -1;
    maskedImage decoded;
    std::string error;
    if (!decodeMaskedPng(path, decoded, error)) return -1;
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (decoded.width > largest || decoded.height > largest) return -1;
    image picture;
    picture.width = decoded.width;
    picture.height = decoded.height;
    glGenTextures(1, &picture.texture);
    glBindTexture(GL_TEXTURE_2D, picture.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, picture.width, picture.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 decoded.rgba.data());
    images.push_back(picture);
    return static_cast<int>(images.size()) - 1;
}

void sdlPlatform::centreImageHandle(int index) {
    if (index < 0 || index >= static_cast<int>(images.size())) return;
    images[index].handleX = images[index].width / 2.0;
    images[index].handleY = images[index].height / 2.0;
}

bool sdlPlatform::loadFont(const std::string& path, int pixelSize) {
    std::unique_ptr<glyphRasteriser> source = openFreetypeFont(path, pixelSize);
    if (source == nullptr) return false;
    fonts.push_back(std::make_unique<glyphAtlas>(std::move(source)));
    currentFont = fonts.back().get();
    return true;
}

void sdlPlatform::useBuiltInFont() {
    fonts.push_back(std::make_unique<glyphAtlas>(builtInFont()));
    currentFont = fonts.back().get();
}

// Until a font is loaded, or when none can be, text uses the system's
// monospace font, and the built-in bitmap font where even that is missing.
glyphAtlas& sdlPlatform::font() {
    if (currentFont == nullptr && !loadFont(fallbackFontPath, fallbackFontSize)) useBuiltInFont();
    return *currentFont;
}

void sdlPlatform::showMessage(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption.c_str(), text.c_str(), window);
}

// ---- Input ----------------------------------------------------------------

void sdlPlatform::pumpEvents() {
    keyboard.beginBatch();
    mouse.beginBatch();
    SDL_Event event;
    while (SDL_PollEvent(&event)) handleEvent(event);
}

void sdlPlatform::handleEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        quit = true;
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) quit = true;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const int code = virtualKeyCode(event.key.keysym.sym);
        if (event.type == SDL_KEYUP)
            keyboard.release(code);
        else if (event.key.repeat == 0)  // auto-repeat is not a press
            keyboard.press(code);
        break;
    }
    case SDL_MOUSEMOTION:
        pointerX = event.motion.x;
        pointerY = event.motion.y;
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        pointerX = event.button.x;
        pointerY = event.button.y;
        const int button = editorButton(event.button.button);
        if (event.type == SDL_MOUSEBUTTONDOWN)
            mouse.press(button);
        else
            mouse.release(button);
        break;
    }
    default:
        break;
    }
}

bool sdlPlatform::keyDown(int code) { return keyboard.isHeld(code); }
int sdlPlatform::keyHits(int code) { return keyboard.takeHits(code); }
void sdlPlatform::flushKeys() { keyboard.flush(); }
bool sdlPlatform::mouseDown(int button) { return button >= 1 && mouse.isHeld(button); }
int sdlPlatform::mouseHits(int button) { return button >= 1 ? mouse.takeHits(button) : 0; }
int sdlPlatform::mouseX() { return pointerX; }
int sdlPlatform::mouseY() { return pointerY; }

void sdlPlatform::flushMouse() { mouse.flush(); }

bool sdlPlatform::quitRequested() { return std::exchange(quit, false); }

// ---- File dialog ----------------------------------------------------------

// While the dialog is open the window keeps answering the desktop and shows
// the last frame again, so it never looks frozen.
void sdlPlatform::keepWindowAlive() {
    pumpEvents();
    if (window == nullptr) return;
    render(shownFrame);
    SDL_GL_SwapWindow(window);
}

std::string sdlPlatform::requestFile(const std::string& prompt, const std::string& filter, bool save,
                                     const std::string& initialPath) {
    dialogProgram program = dialogProgram::zenity;
    std::string path = findExecutable("zenity");
    if (path.empty()) {
        program = dialogProgram::kdialog;
        path = findExecutable("kdialog");
    }
    if (path.empty()) {
        showMessage(title, "No file dialog program is installed. Install zenity (apt-get install zenity) "
                           "to open and save files.");
        return "";
    }
    const dialogRequest request{prompt, filter, save, initialPath};
    return dialogAnswer(runChild(path, dialogArguments(program, request), [this] { keepWindowAlive(); }));
}

// ---- Time, randomness, process --------------------------------------------

int sdlPlatform::millisecs() { return static_cast<int>(SDL_GetTicks()); }
void sdlPlatform::sleepMillisecs(int ms) { SDL_Delay(static_cast<Uint32>(std::max(ms, 0))); }
void sdlPlatform::seedRandom(int seed) { random.seed(seed); }
double sdlPlatform::randomReal(double low, double high) { return random.real(low, high); }
int sdlPlatform::randomInt(int low, int high) { return random.integer(low, high); }
std::string sdlPlatform::applicationDirectory() { return appDir; }

void sdlPlatform::exitProcess(int status) {
    shutDown();
    std::exit(status);
}

}  // namespace tumbla
