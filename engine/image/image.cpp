#include "image/image_p.h"

#include <zlib.h>

#include <algorithm>
#include <string>

namespace zf::image {

Result<Image> allocateImage(int64_t width, int64_t height)
{
    if (width < 0 || height < 0)
        return makeError("image has a negative size");
    if (width > kMaxDimension || height > kMaxDimension || width * height > kMaxPixels) {
        return makeError("image of " + std::to_string(width) + "x" + std::to_string(height) +
                         " pixels exceeds the size limit");
    }
    Image image;
    image.width = int(width);
    image.height = int(height);
    image.pixels.assign(size_t(width * height * 4), 0);
    return image;
}

bool allocateInto(Image& image, std::string& error, int64_t width, int64_t height)
{
    Result<Image> allocated = allocateImage(width, height);
    if (!allocated) {
        error = allocated.message();
        return false;
    }
    image = std::move(allocated).value();
    return true;
}

Result<std::vector<uint8_t>> inflateBounded(std::span<const uint8_t> compressed, size_t maxOutput)
{
    std::vector<uint8_t> output(maxOutput);
    if (maxOutput == 0)
        return output;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return makeError("zlib initialisation failed");
    // zlib's avail_in is 32-bit; hostile lengths beyond that are clamped.
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = uInt(std::min<size_t>(compressed.size(), 0xFFFFFFFFu));
    stream.next_out = output.data();
    stream.avail_out = uInt(std::min<size_t>(maxOutput, 0xFFFFFFFFu));
    int status = inflate(&stream, Z_FINISH);
    size_t produced = stream.total_out;
    std::string reason = stream.msg ? stream.msg : "corrupt data";
    inflateEnd(&stream);
    // An empty result is only valid when the stream really ended there.
    if (produced == 0 && status != Z_STREAM_END)
        return makeError("zlib data could not be inflated: " + reason);
    output.resize(produced);
    return output;
}

void premultiplyPixels(std::vector<uint8_t>& pixels)
{
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
        unsigned alpha = pixels[i + 3];
        if (alpha == 255)
            continue;
        pixels[i] = premultiplyChannel(pixels[i], alpha);
        pixels[i + 1] = premultiplyChannel(pixels[i + 1], alpha);
        pixels[i + 2] = premultiplyChannel(pixels[i + 2], alpha);
    }
}

ImageFormat sniffImageFormat(std::span<const uint8_t> data)
{
    auto startsWith = [&](std::initializer_list<uint8_t> magic) {
        return data.size() >= magic.size() && std::equal(magic.begin(), magic.end(), data.begin());
    };
    if (startsWith({0xFF, 0xD8}) || startsWith({0xFF, 0xD9, 0xFF, 0xD8}))
        return ImageFormat::Jpeg;
    if (startsWith({0x89, 'P', 'N', 'G'}))
        return ImageFormat::Png;
    if (startsWith({'G', 'I', 'F', '8'}))
        return ImageFormat::Gif;
    return ImageFormat::Unknown;
}

Result<Image> decodeImageData(std::span<const uint8_t> data, std::span<const uint8_t> tables)
{
    switch (sniffImageFormat(data)) {
    case ImageFormat::Jpeg: return decodeJpeg(data, tables);
    case ImageFormat::Png: return decodePng(data);
    case ImageFormat::Gif: return decodeGif(data);
    case ImageFormat::Unknown: break;
    }
    if (data.empty())
        return makeError("image data is empty");
    return makeError("image data is neither JPEG, PNG nor GIF");
}

} // namespace zf::image
