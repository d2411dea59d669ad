// Decoding an image file into the texels the window draws: RGBA, with the
// mask applied. Pure black (0, 0, 0), and any texel the file itself marks
// fully transparent, becomes (0, 0, 0, 0); every other texel is opaque.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tumbla {

struct maskedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // row-major from the top row
};

// False with the reason in `error` when the file is missing or not a PNG.
bool decodeMaskedPng(const std::string& path, maskedImage& image, std::string& error);

}  // namespace tumbla
