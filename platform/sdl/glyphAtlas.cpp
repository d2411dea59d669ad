#include "platform/sdl/glyphAtlas.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace tumbla {

namespace {

constexpr int glyphPadding = 2;  // empty texels around each glyph, so filtering never bleeds
constexpr char32_t replacement = U'?';

FT_Library freetype() {
    static FT_Library library = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return library;
}

class freetypeRasteriser : public glyphRasteriser {
public:
    explicit freetypeRasteriser(FT_Face f) : face(f) {
        ascent = static_cast<int>((face->size->metrics.ascender + 32) >> 6);
        height = static_cast<int>((face->size->metrics.height + 32) >> 6);
    }
    ~freetypeRasteriser() override { FT_Done_Face(face); }

    bool rasterise(char32_t character, glyphBitmap& out) override {
        FT_UInt index = FT_Get_Char_Index(face, character);
        if (index == 0) return false;
        if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) return false;
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.rows > 0) return false;
        out.width = static_cast<int>(bitmap.width);
        out.height = static_cast<int>(bitmap.rows);
        out.left = slot->bitmap_left;
        out.top = ascent - slot->bitmap_top;
        out.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        out.coverage.assign(static_cast<std::size_t>(out.width) * out.height, 0);
        for (int y = 0; y < out.height; ++y)
            std::copy_n(bitmap.buffer + y * bitmap.pitch, out.width, out.coverage.begin() + y * out.width);
        return true;
    }

    int lineHeight() const override { return height; }

private:
    FT_Face face;
    int ascent = 0, height = 0;
};

// Columns of 7 rows each for the printable ASCII characters, bit 0 at the
// top.
const std::uint8_t builtInColumns[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x08, 0x2A, 0x1C, 0x2A, 0x08}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00}, {0x08, 0x14, 0x22, 0x41, 0x00}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x51, 0x09, 0x06}, {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x09, 0x01},
    {0x3E, 0x41, 0x49, 0x49, 0x7A}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x0C, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x3F, 0x40, 0x38, 0x40, 0x3F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x07, 0x08, 0x70, 0x08, 0x07}, {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x00},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40}, {0x00, 0x01, 0x02, 0x04, 0x00}, {0x20, 0x54, 0x54, 0x54, 0x78},
    {0x7F, 0x48, 0x44, 0x44, 0x38}, {0x38, 0x44, 0x44, 0x44, 0x20}, {0x38, 0x44, 0x44, 0x48, 0x7F},
    {0x38, 0x54, 0x54, 0x54, 0x18}, {0x08, 0x7E, 0x09, 0x01, 0x02}, {0x0C, 0x52, 0x52, 0x52, 0x3E},
    {0x7F, 0x08, 0x04, 0x04, 0x78}, {0x00, 0x44, 0x7D, 0x40, 0x00}, {0x20, 0x40, 0x44, 0x3D, 0x00},
    {0x7F, 0x10, 0x28, 0x44, 0x00}, {0x00, 0x41, 0x7F, 0x40, 0x00}, {0x7C, 0x04, 0x18, 0x04, 0x78},
    {0x7C, 0x08, 0x04, 0x04, 0x78}, {0x38, 0x44, 0x44, 0x44, 0x38}, {0x7C, 0x14, 0x14, 0x14, 0x08},
    {0x08, 0x14, 0x14, 0x18, 0x7C}, {0x7C, 0x08, 0x04, 0x04, 0x08}, {0x48, 0x54, 0x54, 0x54, 0x20},
    {0x04, 0x3F, 0x44, 0x40, 0x20}, {0x3C, 0x40, 0x40, 0x20, 0x7C}, {0x1C, 0x20, 0x40, 0x20, 0x1C},
    {0x3C, 0x40, 0x30, 0x40, 0x3C}, {0x44, 0x28, 0x10, 0x28, 0x44}, {0x0C, 0x50, 0x50, 0x50, 0x3C},
    {0x44, 0x64, 0x54, 0x4C, 0x44}, {0x00, 0x08, 0x36, 0x41, 0x00}, {0x00, 0x00, 0x7F, 0x00, 0x00},
    {0x00, 0x41, 0x36, 0x08, 0x00}, {0x10, 0x08, 0x08, 0x10, 0x08},
};

class builtInRasteriser : public glyphRasteriser {
public:
    static constexpr int dot = 2;  // each font dot is 2 x 2 pixels

    bool rasterise(char32_t character, glyphBitmap& out) override {
        if (character < 32 || character > 126) return false;
        const std::uint8_t* columns = builtInColumns[character - 32];
        out.width = 5 * dot;
        out.height = 7 * dot;
        out.left = 1;
        out.top = 4;
        out.advance = 6 * dot;
        out.coverage.assign(static_cast<std::size_t>(out.width) * out.height, 0);
        for (int column = 0; column < 5; ++column)
            for (int row = 0; row < 7; ++row)
                if (columns[column] & (1 << row))
                    for (int dy = 0; dy < dot; ++dy)
                        for (int dx = 0; dx < dot; ++dx)
                            out.coverage[(row * dot + dy) * out.width + column * dot + dx] = 255;
        return true;
    }

    int lineHeight() const override { return 24; }
};

}  // namespace

std::unique_ptr<glyphRasteriser> openFreetypeFont(const std::string& path, int pixelSize) {
    FT_Library library = freetype();
    if (library == nullptr || pixelSize <= 0) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0) return nullptr;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    return std::make_unique<freetypeRasteriser>(face);
}

std::unique_ptr<glyphRasteriser> builtInFont() { return std::make_unique<builtInRasteriser>(); }

char32_t nextCharacter(const std::string& text, std::size_t& at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    ++at;
    if (lead < 0x80) return lead;
    int extra = 0;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        value = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    if (at + extra > text.size()) return 0xFFFD;
    for (int i = 0; i < extra; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0xFFFD;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
    if (value < smallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
    at += extra;
    return value;
}

glyphAtlas::glyphAtlas(std::unique_ptr<glyphRasteriser> s)
    : source(std::move(s)), pixels(static_cast<std::size_t>(side) * side * 4, 0) {}

glyphAtlas::~glyphAtlas() {
    if (textureId != 0) glDeleteTextures(1, &textureId);
}

bool glyphAtlas::place(const glyphBitmap& bitmap, atlasGlyph& out) {
    const int w = bitmap.width + glyphPadding;
    const int h = bitmap.height + glyphPadding;
    if (w > side || h > side) return false;
    if (shelfX + w > side) {
        shelfX = 0;
        shelfY += shelfHeight;
        shelfHeight = 0;
    }
    if (shelfY + h > side) return false;
    const int x0 = shelfX + glyphPadding / 2;
    const int y0 = shelfY + glyphPadding / 2;
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            const std::uint8_t c = bitmap.coverage[y * bitmap.width + x];
            std::uint8_t* texel = &pixels[(static_cast<std::size_t>(y0 + y) * side + x0 + x) * 4];
            texel[0] = texel[1] = texel[2] = texel[3] = c;
        }
    }
    out.u0 = static_cast<float>(x0) / side;
    out.v0 = static_cast<float>(y0) / side;
    out.u1 = static_cast<float>(x0 + bitmap.width) / side;
    out.v1 = static_cast<float>(y0 + bitmap.height) / side;
    out.width = bitmap.width;
    out.height = bitmap.height;
    out.left = bitmap.left;
    out.top = bitmap.top;
    out.advance = bitmap.advance;
    shelfX += w;
    shelfHeight = std::max(shelfHeight, h);
    dirtyTop = std::min(dirtyTop, shelfY);
    dirtyBottom = std::max(dirtyBottom, shelfY + h);
    return true;
}

const atlasGlyph& glyphAtlas::find(char32_t character) {
    auto known = glyphs.find(character);
    if (known != glyphs.end()) return known->second;
    glyphBitmap bitmap;
    atlasGlyph placed;
    if (source->rasterise(character, bitmap) && place(bitmap, placed))
        return glyphs.emplace(character, placed).first->second;
    // Unknown characters (and any that no longer fit) show as the
    // replacement, or take no room when even that is missing.
    if (character != replacement) {
        const atlasGlyph stand = find(replacement);
        return glyphs.emplace(character, stand).first->second;
    }
    return glyphs.emplace(character, atlasGlyph{}).first->second;
}

int glyphAtlas::textWidth(const std::string& text) {
    int width = 0;
    for (std::size_t at = 0; at < text.size();) width += find(nextCharacter(text, at)).advance;
    return width;
}

GLuint glyphAtlas::texture() {
    if (textureId == 0) {
        glGenTextures(1, &textureId);
        glBindTexture(GL_TEXTURE_2D, textureId);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        dirtyTop = side;
        dirtyBottom = 0;
    } else if (dirtyTop < dirtyBottom) {
        glBindTexture(GL_TEXTURE_2D, textureId);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, dirtyTop, side, dirtyBottom - dirtyTop, GL_RGBA, GL_UNSIGNED_BYTE,
                        &pixels[static_cast<std::size_t>(dirtyTop) * side * 4]);
        dirtyTop = side;
        dirtyBottom = 0;
    }
    return textureId;
}

}  // namespace tumbla
