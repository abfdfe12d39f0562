// PNG reading and writing for the renderer's golden-image tests (libpng).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zf::raster::testing {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba; // straight or premultiplied, as the caller decides
};

bool readPng(const std::string& path, Image& image);
bool writePng(const std::string& path, const Image& image);

} // namespace zf::raster::testing
