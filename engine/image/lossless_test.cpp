#include "image/image_p.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace zf::image {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes deflateBytes(const Bytes& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    compress(out.data(), &size, raw.data(), uLong(raw.size()));
    out.resize(size);
    return out;
}

Bytes pixelAt(const Image& image, int x, int y)
{
    auto at = image.pixels.begin() + (y * image.width + x) * 4;
    return Bytes(at, at + 4);
}

// Palette data for a width 45 bitmap: each row is padded to 48 bytes and the
// padding holds an index that would show if the stride were wrong.
Bytes paletteBitmap(bool withAlpha)
{
    Bytes raw = withAlpha ? Bytes{255, 0, 0, 255, 0, 64, 0, 128} : Bytes{255, 0, 0, 0, 0, 255};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 48; ++x)
            raw.push_back(x >= 45 ? 7 : uint8_t(x == 44 || y == 1));
    }
    return raw;
}

TEST(Lossless, DecodesEachFormat)
{
    struct Case {
        const char* name;
        int format, width, height, tableSize;
        bool hasAlpha;
        Bytes raw;
        int x, y;
        Bytes expected;
    } cases[] = {
        {"palette RGB, padded rows",
         3,
         45,
         2,
         1,
         false,
         paletteBitmap(false),
         44,
         0,
         {0, 0, 255, 255}},
        {"palette row 2 starts after the padding",
         3,
         45,
         2,
         1,
         false,
         paletteBitmap(false),
         0,
         1,
         {0, 0, 255, 255}},
        {"palette RGBA kept premultiplied",
         3,
         45,
         2,
         1,
         true,
         paletteBitmap(true),
         44,
         0,
         {0, 64, 0, 128}},
        {"straight palette gets premultiplied",
         3,
         1,
         1,
         0,
         true,
         {200, 100, 0, 128, 0, 0, 0, 0},
         0,
         0,
         {100, 50, 0, 128}},
        {"index outside the palette", 3, 1, 1, 0, false, {1, 2, 3, 9, 0, 0, 0}, 0, 0, {0, 0, 0, 0}},
        {"15-bit, padded to 4 bytes",
         4,
         1,
         2,
         0,
         false,
         {0x7C, 0x00, 0xAA, 0xAA, 0x03, 0xE0, 0, 0},
         0,
         1,
         {0, 255, 0, 255}},
        {"XRGB ignores X", 5, 1, 1, 0, false, {0x00, 10, 20, 30}, 0, 0, {10, 20, 30, 255}},
        {"ARGB is not premultiplied again",
         5,
         1,
         1,
         0,
         true,
         {128, 100, 50, 25},
         0,
         0,
         {100, 50, 25, 128}},
        {"ARGB colour clamped to alpha",
         5,
         1,
         1,
         0,
         true,
         {100, 200, 50, 255},
         0,
         0,
         {100, 50, 100, 100}},
        {"short data is transparent", 5, 2, 1, 0, true, {255, 1, 2, 3}, 1, 0, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result<Image> image = decodeLossless(c.format, c.width, c.height, c.tableSize,
                                             deflateBytes(c.raw), c.hasAlpha);
        ASSERT_TRUE(image.ok()) << image.message();
        ASSERT_EQ(image->pixels.size(), size_t(c.width * c.height * 4));
        EXPECT_EQ(pixelAt(*image, c.x, c.y), c.expected);
    }
}

TEST(Lossless, EdgeSizesAndBadInput)
{
    Result<Image> empty = decodeLossless(5, 0, 0, 0, {}, true);
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->pixels.empty());

    Result<Image> huge = decodeLossless(5, 65535, 65535, 0, deflateBytes({1, 2, 3, 4}), true);
    ASSERT_FALSE(huge.ok());
    EXPECT_NE(huge.message().find("limit"), std::string::npos);
    EXPECT_FALSE(decodeLossless(5, 10000, 10000, 0, {}, true).ok()); // 100 M pixels

    EXPECT_FALSE(decodeLossless(6, 1, 1, 0, deflateBytes({1, 2, 3, 4}), true).ok());
    EXPECT_FALSE(decodeLossless(5, 1, 1, 0, Bytes{1, 2, 3, 4, 5}, true).ok());
    EXPECT_FALSE(decodeLossless(5, 1, 1, 0, {}, true).ok());
}

TEST(AlphaPlane, PremultipliesAndLeavesUncoveredPixelsOpaque)
{
    Image image{3, 1, {200, 100, 50, 255, 200, 100, 50, 255, 10, 20, 30, 255}};
    ASSERT_TRUE(applyAlphaPlane(image, deflateBytes({128, 0})).ok());
    EXPECT_EQ(image.pixels, (Bytes{100, 50, 25, 128, 0, 0, 0, 0, 10, 20, 30, 255}));

    Image untouched = image;
    EXPECT_FALSE(applyAlphaPlane(image, Bytes{0xDE, 0xAD}).ok());
    EXPECT_EQ(image.pixels, untouched.pixels);
    EXPECT_TRUE(applyAlphaPlane(image, {}).ok());
    // A plane longer than the image is cut at width * height bytes.
    Image one{1, 1, {9, 9, 9, 255}};
    EXPECT_TRUE(applyAlphaPlane(one, deflateBytes(Bytes(1000, 0))).ok());
    EXPECT_EQ(one.pixels, (Bytes{0, 0, 0, 0}));
}

} // namespace
} // namespace zf::image
