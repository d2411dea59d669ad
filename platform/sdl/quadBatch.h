// Everything the window draws is a textured quad: images, glyphs, and lines
// and rectangles over a white texture. A frame is recorded as triangles in
// segments; each segment uses at most texturesPerCall textures and becomes
// one draw call, so a frame of thousands of images costs a handful of calls.
// The recorded frame stays whole after it is shown, so the window can be
// redrawn while a modal dialog runs.
#pragma once

#include <SDL2/SDL_opengl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sdl/glFunctions.h"

namespace tumbla {

constexpr int texturesPerCall = 8;

struct quadVertex {
    float x, y;  // window pixels
    float u, v;
    std::uint8_t red, green, blue, alpha;  // tint, not premultiplied
    float slot;                             // which of the segment's textures
};

struct drawSegment {
    int first = 0;  // first vertex
    int count = 0;  // vertices
    int textureCount = 0;
    GLuint textures[texturesPerCall] = {};
};

struct quadPoint {
    double x, y;
};

struct tint {
    std::uint8_t red = 255, green = 255, blue = 255, alpha = 255;
};

class frameRecord {
public:
    void clear();
    // Corners in drawing order around the quad; uv the matching texture
    // coordinates.
    void addQuad(GLuint texture, const quadPoint (&corners)[4], const quadPoint (&uv)[4], tint colour);
    const std::vector<quadVertex>& vertices() const { return vertexList; }
    const std::vector<drawSegment>& segments() const { return segmentList; }

private:
    int slotFor(GLuint texture);
    std::vector<quadVertex> vertexList;
    std::vector<drawSegment> segmentList;
};

class quadRenderer {
public:
    // Compiles the shader; false with the reason in `error`.
    bool init(const glFunctions& gl, std::string& error);
    // Clears the bound framebuffer to black and draws the frame over it,
    // mapping window pixels (0..viewWidth, 0..viewHeight) to the viewport.
    void draw(const frameRecord& frame, int viewWidth, int viewHeight);

private:
    const glFunctions* gl = nullptr;
    GLuint program = 0;
    GLint viewSizeLocation = -1;
};

}  // namespace tumbla
