#include "platform/sdl/maskedImage.h"

#include <png.h>

namespace tumbla {

namespace {
constexpr png_uint_32 maxImageSide = 8192;  // beyond any texture the window may use
}  // namespace

bool decodeMaskedPng(const std::string& path, maskedImage& image, std::string& error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = png.message;
        return false;
    }
    if (png.width > maxImageSide || png.height > maxImageSide) {
        error = "image larger than " + std::to_string(maxImageSide) + " pixels a side";
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> texels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, texels.data(), 0, nullptr)) {
        error = png.message;
        png_image_free(&png);
        return false;
    }
    for (std::size_t i = 0; i < texels.size(); i += 4) {
        std::uint8_t* t = &texels[i];
        const bool masked = (t[0] == 0 && t[1] == 0 && t[2] == 0) || t[3] == 0;
        if (masked)
            t[0] = t[1] = t[2] = t[3] = 0;
        else
            t[3] = 255;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgba = std::move(texels);
    return true;
}

}  // namespace tumbla
