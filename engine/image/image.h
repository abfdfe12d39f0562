// Bitmap decoding: the JPEG, PNG, GIF and zlib-compressed lossless payloads
// of the bitmap tags, turned into premultiplied RGBA8 images. Every decoder
// accepts arbitrary bytes and answers with an error rather than crashing;
// dimensions are checked against fixed limits before any pixel memory is
// allocated. Also PNG encoding for writing frames to disk.
#pragma once

#include "common/result.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zf::image {

// Premultiplied RGBA8, memory order R, G, B, A; rows of width * 4 bytes.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Images larger than this in either direction, or in total, are refused.
constexpr int kMaxDimension = 16384;
constexpr int64_t kMaxPixels = int64_t(64) * 1024 * 1024;

enum class ImageFormat { Unknown, Jpeg, Png, Gif };

// Recognises the payload of DefineBitsJPEG2/3/4 by its first bytes. Data that
// starts with the erroneous FF D9 FF D8 header counts as JPEG.
ImageFormat sniffImageFormat(std::span<const uint8_t> data);

// JPEG data of DefineBits (with the movie's JPEGTables, which may be empty)
// or DefineBitsJPEG2/3/4. Handles table and image halves stored as separate
// streams in one buffer and the FF D9 FF D8 sequences older encoders wrote.
Result<Image> decodeJpeg(std::span<const uint8_t> data, std::span<const uint8_t> tables = {});

// JPEG, PNG or GIF (first frame) chosen by sniffing the data.
Result<Image> decodeImageData(std::span<const uint8_t> data, std::span<const uint8_t> tables = {});

Result<Image> decodePng(std::span<const uint8_t> data);
Result<Image> decodeGif(std::span<const uint8_t> data);

// The zlib-compressed alpha plane of DefineBitsJPEG3/4: one byte per pixel,
// row-major. Pixels the plane does not cover stay opaque. Premultiplies the
// image's colours, which must be straight (as JPEG colours are). Only a
// corrupt zlib stream is an error; the image is then left unchanged.
Status applyAlphaPlane(Image& image, std::span<const uint8_t> zlibAlpha);

// DefineBitsLossless (hasAlpha false) and DefineBitsLossless2 (hasAlpha
// true): format 3 (palette), 4 (15-bit RGB), 5 (32-bit XRGB / premultiplied
// ARGB). Missing trailing data decodes as transparent black.
Result<Image> decodeLossless(int format, int width, int height, int colorTableSize,
                             std::span<const uint8_t> zlibData, bool hasAlpha);

// PNG output, un-premultiplied; keepAlpha false writes opaque RGB.
Result<std::vector<uint8_t>> encodePng(const Image& image, bool keepAlpha);
Status writePng(const std::string& path, const Image& image, bool keepAlpha);
Result<Image> readPng(const std::string& path);

} // namespace zf::image
