#include "image/image_p.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include <gif_lib.h>
#include <png.h>
#include <zlib.h>

namespace zf::image {
namespace {

using Bytes = std::vector<uint8_t>;

void appendToBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// Writes a PNG with libpng directly, so that the decoder meets colour
// types, depths and interlacing our own encoder never produces.
Bytes writeTestPng(int width, int height, int colorType, int depth, bool interlaced,
                   const Bytes& packedRows, const std::vector<png_color>& palette = {},
                   const Bytes& transparency = {})
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendToBytes, nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!transparency.empty())
        png_set_tRNS(png, info, transparency.data(), int(transparency.size()), nullptr);
    png_write_info(png, info);
    size_t stride = packedRows.size() / size_t(height);
    std::vector<png_bytep> rows;
    for (int y = 0; y < height; ++y)
        rows.push_back(const_cast<uint8_t*>(packedRows.data()) + size_t(y) * stride);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes pixel(const Image& image, int x, int y)
{
    auto at = image.pixels.begin() + (y * image.width + x) * 4;
    return Bytes(at, at + 4);
}

TEST(Png, DecodesEveryColourTypeToPremultipliedRgba)
{
    struct Case {
        const char* name;
        Bytes png;
        Bytes firstPixel, lastPixel; // of a 2x2 image
    } cases[] = {
        {"palette with tRNS",
         writeTestPng(2, 2, PNG_COLOR_TYPE_PALETTE, 8, false, {0, 1, 0, 1},
                      {{255, 0, 0}, {0, 0, 200}}, {255, 128}),
         {255, 0, 0, 255},
         {0, 0, 100, 128}},
        {"palette, 1 bit",
         writeTestPng(2, 2, PNG_COLOR_TYPE_PALETTE, 1, false, {0x40, 0x80},
                      {{10, 20, 30}, {40, 50, 60}}),
         {10, 20, 30, 255},
         {10, 20, 30, 255}},
        {"grey + alpha",
         writeTestPng(2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {200, 128, 0, 0, 0, 0, 100, 255}),
         {100, 100, 100, 128},
         {100, 100, 100, 255}},
        {"16-bit RGB",
         writeTestPng(2, 2, PNG_COLOR_TYPE_RGB, 16, false,
                      Bytes{0xFF, 0xFF, 0, 0, 0x80, 0x00, 0,    0,    0,    0,    0,    0,
                            0,    0,    0, 0, 0,    0,    0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}),
         {255, 0, 128, 255},
         {0x12, 0x56, 0x9A, 255}},
        {"interlaced RGBA",
         writeTestPng(2, 2, PNG_COLOR_TYPE_RGBA, 8, true,
                      {255, 255, 255, 0, 1, 2, 3, 255, 4, 5, 6, 255, 200, 100, 50, 128}),
         {0, 0, 0, 0},
         {100, 50, 25, 128}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result<Image> image = decodeImageData(c.png);
        ASSERT_TRUE(image.ok()) << image.message();
        ASSERT_EQ(image->width, 2);
        ASSERT_EQ(image->height, 2);
        EXPECT_EQ(pixel(*image, 0, 0), c.firstPixel);
        EXPECT_EQ(pixel(*image, 1, 1), c.lastPixel);
    }
}

TEST(Png, EncodeUndoesPremultiplication)
{
    Image image{2, 1, {100, 50, 0, 128, 10, 20, 30, 255}};
    Result<Bytes> withAlpha = encodePng(image, true);
    ASSERT_TRUE(withAlpha.ok()) << withAlpha.message();
    Result<Image> back = decodePng(*withAlpha);
    ASSERT_TRUE(back.ok());
    for (size_t i = 0; i < image.pixels.size(); ++i)
        EXPECT_NEAR(back->pixels[i], image.pixels[i], 1) << i;

    Result<Bytes> opaque = encodePng(image, false);
    ASSERT_TRUE(opaque.ok());
    Result<Image> flattened = decodePng(*opaque);
    ASSERT_TRUE(flattened.ok());
    EXPECT_EQ(pixel(*flattened, 0, 0), (Bytes{100, 50, 0, 255}));

    EXPECT_FALSE(encodePng(Image{}, true).ok());
    EXPECT_FALSE(encodePng(Image{3, 3, Bytes(8)}, true).ok());
}

TEST(Png, FileRoundTrip)
{
    auto path = (std::filesystem::temp_directory_path() /
                 ("zf_png_test_" + std::to_string(::getpid()) + ".png"))
                    .string();
    Image image{1, 2, {255, 0, 0, 255, 0, 0, 0, 0}};
    ASSERT_TRUE(writePng(path, image, true).ok());
    Result<Image> back = readPng(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(back.ok()) << back.message();
    EXPECT_EQ(back->pixels, image.pixels);
    EXPECT_FALSE(readPng(path).ok());
    EXPECT_FALSE(writePng("/nonexistent-dir/x.png", image, true).ok());
}

// A PNG header chunk with a correct CRC, so that only the size is wrong.
Bytes pngWithHeader(uint32_t width, uint32_t height)
{
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(uint8_t(value >> shift));
    out.insert(out.end(), {8, 6, 0, 0, 0});
    uLong crc = crc32(0, out.data() + 12, 17);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(crc >> shift));
    return out;
}

TEST(Png, HostileDataFailsCleanly)
{
    Bytes valid = *encodePng(Image{4, 4, Bytes(64, 255)}, true);
    Bytes badSignature = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8};
    for (const Bytes& data :
         {badSignature, Bytes(valid.begin(), valid.begin() + 40), pngWithHeader(100000, 10),
          pngWithHeader(16384, 16384), pngWithHeader(10, 10)}) {
        Result<Image> image = decodePng(data);
        EXPECT_FALSE(image.ok());
    }
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        Bytes damaged = valid;
        damaged[8 + random() % (damaged.size() - 8)] = uint8_t(random());
        (void)decodePng(damaged);
    }
}

int appendGifBytes(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// A 4x2 GIF on a 5x3 screen, frame at (1, 1), colour 2 transparent.
Bytes writeTestGif(bool interlaced)
{
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGifBytes, &error);
    GifColorType colors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    ColorMapObject* map = GifMakeMapObject(4, colors);
    EGifPutScreenDesc(gif, 5, 3, 2, 0, map);
    GifByteType control[4] = {1, 0, 0, 2};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
    EGifPutImageDesc(gif, 1, 1, 4, 2, interlaced, nullptr);
    GifPixelType rows[2][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}};
    for (auto& row : rows)
        EGifPutLine(gif, row, 4);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

TEST(Gif, FirstFrameOnTransparentScreen)
{
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced);
        Result<Image> image = decodeImageData(writeTestGif(interlaced));
        ASSERT_TRUE(image.ok()) << image.message();
        ASSERT_EQ(image->width, 5);
        ASSERT_EQ(image->height, 3);
        EXPECT_EQ(pixel(*image, 0, 0), (Bytes{0, 0, 0, 0}));
        EXPECT_EQ(pixel(*image, 1, 1), (Bytes{255, 0, 0, 255}));
        EXPECT_EQ(pixel(*image, 3, 1), (Bytes{0, 0, 0, 0})); // transparent index
        EXPECT_EQ(pixel(*image, 4, 2), (Bytes{255, 0, 0, 255}));
    }
    Bytes gif = writeTestGif(false);
    for (size_t length = 0; length < gif.size(); ++length)
        (void)decodeGif(std::span(gif).first(length));
    EXPECT_FALSE(decodeImageData(Bytes{'G', 'I', 'F', '8', '9', 'a'}).ok());
    EXPECT_FALSE(decodeImageData(Bytes{1, 2, 3}).ok());
}

} // namespace
} // namespace zf::image
