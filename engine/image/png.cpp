// PNG reading and writing through libpng, from and to memory.
#include "image/image_p.h"

#include <csetjmp>
#include <cstring>
#include <fstream>

#include <png.h>

namespace zf::image {
namespace {

// Larger files are not images a movie or a test would write.
constexpr std::streamoff kMaxPngFileSize = std::streamoff(1) << 30;

struct ReadSource {
    std::span<const uint8_t> data;
    size_t position = 0;
};

struct ReadState {
    ReadSource source;
    Image image;
    std::vector<png_bytep> rows;
    std::string error;
};

void onPngError(png_structp png, png_const_charp message)
{
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error)
        *error = message ? message : "unknown error";
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (length > source->data.size() - source->position)
        png_error(png, "PNG data is truncated");
    std::memcpy(out, source->data.data() + source->position, length);
    source->position += length;
}

// Sets up libpng to hand out 8-bit RGBA whatever the stored colour type.
void requestRgba(png_structp png, png_infop info)
{
    int colorType = png_get_color_type(png, info);
    png_set_expand(png); // palette -> RGB, low-bit grey -> 8 bits, tRNS -> alpha
    png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// libpng reports errors by longjmp; only trivially destructible objects
// live in this frame, the rest is reached through `state`.
bool runPngDecoder(ReadState& state)
{
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &state.error, onPngError, onPngWarning);
    if (!png) {
        state.error = "libpng initialisation failed";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (state.error.empty())
            state.error = "libpng initialisation failed";
        state.error = "PNG data is invalid: " + state.error;
        return false;
    }
    png_set_user_limits(png, kMaxDimension, kMaxDimension);
    png_set_chunk_malloc_max(png, 64 * 1024 * 1024);
    png_set_read_fn(png, &state.source, readFromMemory);
    png_read_info(png, info);
    if (!allocateInto(state.image, state.error, png_get_image_width(png, info),
                      png_get_image_height(png, info))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    requestRgba(png, info);
    if (png_get_rowbytes(png, info) != size_t(state.image.width) * 4)
        png_error(png, "unexpected row layout");
    state.rows.resize(size_t(state.image.height));
    for (size_t y = 0; y < state.rows.size(); ++y)
        state.rows[y] = state.image.pixels.data() + y * size_t(state.image.width) * 4;
    png_read_image(png, state.rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

struct WriteState {
    std::vector<uint8_t> output;
    std::vector<uint8_t> pixels; // un-premultiplied copy
    std::vector<png_bytep> rows;
    std::string error;
};

void writeToMemory(png_structp png, png_bytep data, png_size_t length)
{
    auto* output = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    output->insert(output->end(), data, data + length);
}

void flushMemory(png_structp) {}

bool runPngEncoder(int width, int height, bool keepAlpha, WriteState& state)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &state.error, onPngError, onPngWarning);
    if (!png) {
        state.error = "libpng initialisation failed";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        state.error = "PNG encoding failed: " + state.error;
        return false;
    }
    png_set_write_fn(png, &state.output, writeToMemory, flushMemory);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 keepAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, state.rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

Result<Image> decodePng(std::span<const uint8_t> data)
{
    ReadState state;
    state.source.data = data;
    if (!runPngDecoder(state))
        return makeError(state.error);
    premultiplyPixels(state.image.pixels);
    return std::move(state.image);
}

Result<std::vector<uint8_t>> encodePng(const Image& image, bool keepAlpha)
{
    if (image.width <= 0 || image.height <= 0)
        return makeError("cannot write an empty image as PNG");
    if (image.width > kMaxDimension || image.height > kMaxDimension ||
        image.pixels.size() != size_t(image.width) * size_t(image.height) * 4)
        return makeError("image size and pixel buffer disagree");
    WriteState state;
    size_t channels = keepAlpha ? 4 : 3;
    state.pixels.resize(size_t(image.width) * size_t(image.height) * channels);
    uint8_t* out = state.pixels.data();
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        unsigned alpha = image.pixels[i + 3];
        for (size_t c = 0; c < 3; ++c) {
            uint8_t value = image.pixels[i + c];
            *out++ = keepAlpha ? unpremultiplyChannel(value, alpha) : value;
        }
        if (keepAlpha)
            *out++ = uint8_t(alpha);
    }
    state.rows.resize(size_t(image.height));
    for (size_t y = 0; y < state.rows.size(); ++y)
        state.rows[y] = state.pixels.data() + y * size_t(image.width) * channels;
    if (!runPngEncoder(image.width, image.height, keepAlpha, state))
        return makeError(state.error);
    return std::move(state.output);
}

Status writePng(const std::string& path, const Image& image, bool keepAlpha)
{
    Result<std::vector<uint8_t>> encoded = encodePng(image, keepAlpha);
    if (!encoded)
        return encoded.error();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(encoded->data()), std::streamsize(encoded->size()));
    file.close();
    if (!file)
        return makeError("cannot write " + path);
    return Ok{};
}

Result<Image> readPng(const std::string& path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return makeError("cannot open " + path);
    std::streamoff size = file.tellg();
    if (size < 0 || size > kMaxPngFileSize)
        return makeError(path + " is too large to be read as PNG");
    std::vector<uint8_t> data(static_cast<size_t>(size));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
    if (!file)
        return makeError("cannot read " + path);
    Result<Image> image = decodePng(data);
    if (!image)
        return makeError(path + ": " + image.message());
    return image;
}

} // namespace zf::image
