// Text for the window: glyphs rasterised once, on first use, into one
// texture (the atlas) that the quad renderer samples. Glyphs come from a
// TrueType font through FreeType with smoothing, or from the small bitmap
// font built into the program when no font file can be read.
#pragma once

#include <SDL2/SDL_opengl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tumbla {

struct glyphBitmap {
    int width = 0, height = 0;
    int left = 0;     // from the pen to the bitmap's left edge
    int top = 0;      // from the line's top to the bitmap's top edge
    int advance = 0;  // pen movement, whole pixels
    std::vector<std::uint8_t> coverage;  // width * height, 0..255
};

class glyphRasteriser {
public:
    virtual ~glyphRasteriser() = default;
    // False when the font has no glyph for the character.
    virtual bool rasterise(char32_t character, glyphBitmap& out) = 0;
    virtual int lineHeight() const = 0;
};

// A TrueType (or any FreeType-readable) font at a pixel size; nullptr when
// the file cannot be read as a font.
std::unique_ptr<glyphRasteriser> openFreetypeFont(const std::string& path, int pixelSize);
// The built-in 5 x 7 font drawn at twice its size, close to a 24-pixel font.
std::unique_ptr<glyphRasteriser> builtInFont();

// Decodes one UTF-8 character starting at text[at] and moves `at` past it;
// malformed bytes decode as U+FFFD one byte at a time.
char32_t nextCharacter(const std::string& text, std::size_t& at);

struct atlasGlyph {
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
    int width = 0, height = 0, left = 0, top = 0, advance = 0;
};

class glyphAtlas {
public:
    static constexpr int side = 1024;

    explicit glyphAtlas(std::unique_ptr<glyphRasteriser> source);
    ~glyphAtlas();
    glyphAtlas(const glyphAtlas&) = delete;
    glyphAtlas& operator=(const glyphAtlas&) = delete;

    const atlasGlyph& find(char32_t character);
    int textWidth(const std::string& text);  // at scale 1
    int lineHeight() const { return source->lineHeight(); }

    // The texture with every glyph found so far; creates or updates it, so a
    // GL context must be current.
    GLuint texture();
    const std::vector<std::uint8_t>& texels() const { return pixels; }

private:
    bool place(const glyphBitmap& bitmap, atlasGlyph& out);
    std::unique_ptr<glyphRasteriser> source;
    std::vector<std::uint8_t> pixels;  // side * side RGBA, premultiplied white
    std::unordered_map<char32_t, atlasGlyph> glyphs;
    int shelfX = 0, shelfY = 0, shelfHeight = 0;
    int dirtyTop = side, dirtyBottom = 0;  // rows to upload: [dirtyTop, dirtyBottom)
    GLuint textureId = 0;
};

}  // namespace tumbla
