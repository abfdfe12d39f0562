// DefineBitsLossless / DefineBitsLossless2 pixel data and the alpha planes
// of DefineBitsJPEG3/4.
#include "image/image_p.h"

#include <algorithm>

namespace zf::image {
namespace {

enum LosslessFormat { kPalette = 3, kRgb15 = 4, kRgb32 = 5 };

size_t paddedStride(size_t rowBytes)
{
    return (rowBytes + 3) & ~size_t(3);
}

// Palette entries become premultiplied RGBA. Lossless2 palettes are normally
// premultiplied like its 32-bit pixels; a palette with a colour above its
// alpha cannot be, so such a palette is taken as straight colour instead.
std::vector<uint8_t> readPalette(std::span<const uint8_t> raw, size_t count, bool hasAlpha)
{
    size_t entrySize = hasAlpha ? 4 : 3;
    std::vector<uint8_t> palette(count * 4, 0);
    bool straight = false;
    for (size_t i = 0; i < count && (i + 1) * entrySize <= raw.size(); ++i) {
        const uint8_t* in = raw.data() + i * entrySize;
        uint8_t alpha = hasAlpha ? in[3] : 255;
        std::copy(in, in + 3, palette.begin() + i * 4);
        palette[i * 4 + 3] = alpha;
        straight = straight || std::max({in[0], in[1], in[2]}) > alpha;
    }
    if (straight)
        premultiplyPixels(palette);
    return palette;
}

void decodePalette(std::span<const uint8_t> raw, size_t paletteSize, bool hasAlpha, Image& image)
{
    std::vector<uint8_t> palette = readPalette(raw, paletteSize, hasAlpha);
    size_t paletteBytes = paletteSize * (hasAlpha ? 4 : 3);
    std::span<const uint8_t> indices = raw.subspan(std::min(paletteBytes, raw.size()));
    size_t width = size_t(image.width), stride = paddedStride(width);
    for (size_t y = 0; y < size_t(image.height); ++y) {
        for (size_t x = 0; x < width; ++x) {
            size_t at = y * stride + x;
            if (at >= indices.size())
                return;
            size_t index = indices[at];
            if (index >= paletteSize)
                continue; // outside the palette: transparent
            std::copy_n(palette.begin() + index * 4, 4, image.pixels.begin() + (y * width + x) * 4);
        }
    }
}

void decodeRgb15(std::span<const uint8_t> raw, Image& image)
{
    size_t width = size_t(image.width), stride = paddedStride(width * 2);
    auto expand = [](unsigned five) { return uint8_t(five << 3 | five >> 2); };
    for (size_t y = 0; y < size_t(image.height); ++y) {
        for (size_t x = 0; x < width; ++x) {
            size_t at = y * stride + x * 2;
            if (at + 2 > raw.size())
                return;
            unsigned word = unsigned(raw[at]) << 8 | raw[at + 1];
            uint8_t* out = image.pixels.data() + (y * width + x) * 4;
            out[0] = expand(word >> 10 & 31);
            out[1] = expand(word >> 5 & 31);
            out[2] = expand(word & 31);
            out[3] = 255;
        }
    }
}

// Lossless stores X R G B with X unused; Lossless2 stores premultiplied
// A R G B. Colours above alpha would break later blending, so they are
// clamped rather than trusted.
void decodeRgb32(std::span<const uint8_t> raw, bool hasAlpha, Image& image)
{
    size_t count = std::min(image.pixels.size(), raw.size()) / 4;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* in = raw.data() + i * 4;
        uint8_t* out = image.pixels.data() + i * 4;
        uint8_t alpha = hasAlpha ? in[0] : 255;
        out[0] = std::min(in[1], alpha);
        out[1] = std::min(in[2], alpha);
        out[2] = std::min(in[3], alpha);
        out[3] = alpha;
    }
}

} // namespace

Result<Image> decodeLossless(int format, int width, int height, int colorTableSize,
                             std::span<const uint8_t> zlibData, bool hasAlpha)
{
    if (format != kPalette && format != kRgb15 && format != kRgb32)
        return makeError("unknown lossless bitmap format " + std::to_string(format));
    Result<Image> image = allocateImage(width, height);
    if (!image || image->pixels.empty())
        return image;
    size_t paletteSize = size_t(std::clamp(colorTableSize, 0, 255)) + 1;
    size_t expected = 0;
    if (format == kPalette)
        expected = paletteSize * (hasAlpha ? 4 : 3) + paddedStride(size_t(width)) * size_t(height);
    else if (format == kRgb15)
        expected = paddedStride(size_t(width) * 2) * size_t(height);
    else
        expected = size_t(width) * size_t(height) * 4;
    Result<std::vector<uint8_t>> raw = inflateBounded(zlibData, expected);
    if (!raw)
        return makeError("lossless bitmap: " + raw.message());
    if (format == kPalette)
        decodePalette(*raw, paletteSize, hasAlpha, *image);
    else if (format == kRgb15)
        decodeRgb15(*raw, *image);
    else
        decodeRgb32(*raw, hasAlpha, *image);
    return image;
}

// FIXME: DefineBitsJPEG4's deblocking strength is ignored; the filter only
// softens block edges and movies look right without it.
Status applyAlphaPlane(Image& image, std::span<const uint8_t> zlibAlpha)
{
    size_t pixelCount = image.pixels.size() / 4;
    if (pixelCount == 0 || zlibAlpha.empty())
        return Ok{};
    Result<std::vector<uint8_t>> alpha = inflateBounded(zlibAlpha, pixelCount);
    if (!alpha)
        return makeError("alpha plane: " + alpha.message());
    for (size_t i = 0; i < alpha->size(); ++i) {
        uint8_t* pixel = image.pixels.data() + i * 4;
        unsigned value = (*alpha)[i];
        pixel[0] = premultiplyChannel(pixel[0], value);
        pixel[1] = premultiplyChannel(pixel[1], value);
        pixel[2] = premultiplyChannel(pixel[2], value);
        pixel[3] = uint8_t(value);
    }
    return Ok{};
}

} // namespace zf::image
