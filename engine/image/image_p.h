// Helpers shared by the decoders of this folder.
#pragma once

#include "image/image.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zf::image {

// Checks the size limits and allocates a transparent black image.
Result<Image> allocateImage(int64_t width, int64_t height);

// allocateImage for decoders that unwind by longjmp and so must not keep a
// Result alive in their frame.
bool allocateInto(Image& image, std::string& error, int64_t width, int64_t height);

// Inflates a zlib stream into at most maxOutput bytes. A stream that stops
// early (truncated, or corrupt after some output) yields the bytes decoded
// so far; a stream that yields nothing usable is an error.
Result<std::vector<uint8_t>> inflateBounded(std::span<const uint8_t> compressed, size_t maxOutput);

inline uint8_t premultiplyChannel(unsigned value, unsigned alpha)
{
    unsigned product = value * alpha + 128;
    return uint8_t((product + (product >> 8)) >> 8);
}

inline uint8_t unpremultiplyChannel(unsigned value, unsigned alpha)
{
    if (alpha == 0)
        return 0;
    unsigned straight = (value * 255 + alpha / 2) / alpha;
    return uint8_t(straight > 255 ? 255 : straight);
}

// Converts straight RGBA pixels in place.
void premultiplyPixels(std::vector<uint8_t>& pixels);

// Rewrites JPEG tables plus image data into one SOI..EOI stream: the
// segments of every stream in both buffers, FF D9 FF D8 sequences dropped.
Result<std::vector<uint8_t>> mergeJpegStreams(std::span<const uint8_t> data,
                                              std::span<const uint8_t> tables);

} // namespace zf::image
