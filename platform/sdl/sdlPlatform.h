// The platform on a real window: SDL2 for the window, input and clock,
// OpenGL for drawing (through the batched quad renderer), libpng for images,
// FreeType for text, and the desktop's dialog program for file choice.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/random.h"
#include "platform/sdl/glFunctions.h"
#include "platform/sdl/glyphAtlas.h"
#include "platform/sdl/pressState.h"
#include "platform/sdl/quadBatch.h"

namespace tumbla {

class sdlPlatform : public platform {
public:
    // Makes the folder that holds the program the working directory, so the
    // relative asset paths resolve next to it.
    explicit sdlPlatform(const char* argv0);
    ~sdlPlatform() override;
    sdlPlatform(const sdlPlatform&) = delete;
    sdlPlatform& operator=(const sdlPlatform&) = delete;

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

    // For rendering checks: draws the frame recorded since the last
    // clearScreen into the back buffer and returns it as RGB rows from the
    // top, without showing it.
    std::vector<std::uint8_t> captureFrame();
    // Draw calls the last shown frame took.
    int lastFrameDrawCalls() const { return static_cast<int>(shownFrame.segments().size()); }
    // Makes the built-in bitmap font current, as when no font file exists.
    void useBuiltInFont();

private:
    struct image {
        GLuint texture = 0;
        int width = 0, height = 0;
        double handleX = 0, handleY = 0;
    };

    void pumpEvents();
    void handleEvent(const SDL_Event& event);
    void render(const frameRecord& frame);
    void keepWindowAlive();
    glyphAtlas& font();
    tint currentTint() const;
    GLuint whiteTexture();
    void addSolidQuad(const quadPoint (&corners)[4]);
    void shutDown();

    std::string appDir;
    std::string title = "Tumbla Editor";
    std::string openError;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    int width = 0, height = 0;
    glFunctions gl;
    quadRenderer renderer;
    frameRecord currentFrame;
    frameRecord shownFrame;
    std::vector<image> images;
    std::vector<std::unique_ptr<glyphAtlas>> fonts;  // kept while frames may use them
    glyphAtlas* currentFont = nullptr;
    GLuint white = 0;

    int red = 255, green = 255, blue = 255;
    double alpha = 1, rotation = 0, scaleX = 1, scaleY = 1, lineWidth = 1;

    pressState<keyCodeCount> keyboard;
    pressState<4> mouse;  // buttons 1 left, 2 right, 3 middle
    int pointerX = 0, pointerY = 0;
    bool quit = false;
    randomGenerator random;
};

// The virtual-key code of an SDL key, or -1 for keys the editor ignores.
int virtualKeyCode(SDL_Keycode key);
// The editor's button number (1 left, 2 right, 3 middle) of an SDL button,
// or -1.
int editorButton(int sdlButton);

}  // namespace tumbla
