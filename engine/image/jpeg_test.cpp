#include "image/image_p.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include <jpeglib.h>

namespace zf::image {
namespace {

using Bytes = std::vector<uint8_t>;

struct EncodedJpeg {
    Bytes tables; // empty unless abbreviated
    Bytes image;
};

// Encodes a width x height gradient-free test picture: left half red, right
// half blue (grey levels 60 / 200 for greyscale). With abbreviated, the
// tables go into their own stream, as DefineBits + JPEGTables store them.
EncodedJpeg encodeJpeg(int width, int height, bool grey, bool abbreviated = false)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    EncodedJpeg result;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (abbreviated) {
        jpeg_mem_dest(&info, &buffer, &size);
        jpeg_write_tables(&info);
        result.tables.assign(buffer, buffer + size);
        std::free(buffer);
        buffer = nullptr;
        size = 0;
    }
    jpeg_mem_dest(&info, &buffer, &size);
    jpeg_start_compress(&info, abbreviated ? FALSE : TRUE);
    Bytes row(size_t(width) * size_t(info.input_components));
    for (int x = 0; x < width; ++x) {
        bool left = x < width / 2;
        if (grey)
            row[size_t(x)] = left ? 60 : 200;
        else
            std::copy_n(left ? "\xff\x00\x00" : "\x00\x00\xff", 3, row.begin() + x * 3);
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    result.image.assign(buffer, buffer + size);
    std::free(buffer);
    return result;
}

Bytes concat(std::initializer_list<std::span<const uint8_t>> parts)
{
    Bytes out;
    for (auto part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kEoiSoi = {0xFF, 0xD9, 0xFF, 0xD8};

void expectRedBlue(const Result<Image>& image, int width, int height)
{
    ASSERT_TRUE(image.ok()) << image.message();
    ASSERT_EQ(image->width, width);
    ASSERT_EQ(image->height, height);
    const uint8_t* left = &image->pixels[size_t(height / 2 * width + 1) * 4];
    const uint8_t* right = &image->pixels[size_t(height / 2 * width + width - 2) * 4];
    EXPECT_GT(left[0], 230);
    EXPECT_LT(left[2], 25);
    EXPECT_LT(right[0], 25);
    EXPECT_GT(right[2], 230);
    EXPECT_EQ(left[3], 255);
}

TEST(Jpeg, DecodesTheLayoutsMoviesStore)
{
    EncodedJpeg whole = encodeJpeg(32, 16, false);
    EncodedJpeg split = encodeJpeg(32, 16, false, true);
    Bytes tablesWithoutEoi(split.tables.begin(), split.tables.end() - 2);
    Bytes emptyTables = {0xFF, 0xD8, 0xFF, 0xD9};
    struct Case {
        const char* name;
        Bytes data;
        Bytes tables;
    } cases[] = {
        {"complete stream", whole.image, {}},
        {"complete stream, empty JPEGTables", whole.image, emptyTables},
        {"abbreviated image plus JPEGTables", split.image, split.tables},
        {"tables and image as two streams", concat({split.tables, split.image}), {}},
        {"leading FF D9 FF D8", concat({kEoiSoi, whole.image}), {}},
        {"FF D9 FF D8 between the streams",
         concat({tablesWithoutEoi, kEoiSoi, Bytes(split.image.begin() + 2, split.image.end())}),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRedBlue(decodeJpeg(c.data, c.tables), 32, 16);
        expectRedBlue(decodeImageData(c.data, c.tables), 32, 16);
    }
}

TEST(Jpeg, GreyscaleBecomesOpaqueRgb)
{
    Result<Image> image = decodeJpeg(encodeJpeg(16, 8, true).image);
    ASSERT_TRUE(image.ok()) << image.message();
    const uint8_t* left = &image->pixels[4 * 4];
    EXPECT_NEAR(left[0], 60, 4);
    EXPECT_EQ(left[0], left[1]);
    EXPECT_EQ(left[1], left[2]);
    EXPECT_EQ(left[3], 255);
}

TEST(Jpeg, MarkerScanSkipsSegmentPayloads)
{
    // An APP1 segment whose payload happens to contain FF D9 FF D8 must
    // survive the fix-up untouched.
    Bytes image = encodeJpeg(8, 8, false).image;
    Bytes app1 = {0xFF, 0xE1, 0x00, 0x06, 0xFF, 0xD9, 0xFF, 0xD8};
    image.insert(image.begin() + 2, app1.begin(), app1.end());
    Result<Bytes> merged = mergeJpegStreams(image, {});
    ASSERT_TRUE(merged.ok());
    EXPECT_EQ(*merged, image);
    EXPECT_TRUE(decodeJpeg(image).ok());
}

TEST(Jpeg, HostileDataFailsCleanly)
{
    Bytes valid = encodeJpeg(16, 16, false).image;
    Bytes huge = valid;
    // SOF0 height and width fields follow its length and precision bytes.
    for (size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0x7F, huge[i + 6] = 0xFF, huge[i + 7] = 0x7F, huge[i + 8] = 0xFF;
            break;
        }
    }
    Bytes noImage = encodeJpeg(8, 8, false, true).tables;
    struct Case {
        const char* name;
        Bytes data;
        const char* messagePart;
    } cases[] = {
        {"empty", {}, "empty"},
        {"only SOI", {0xFF, 0xD8}, ""},
        {"truncated header", Bytes(valid.begin(), valid.begin() + 30), ""},
        {"segment length past the end", {0xFF, 0xD8, 0xFF, 0xDB, 0xFF, 0xFF, 0x00}, "past"},
        {"tables only", noImage, ""},
        {"huge dimensions", huge, "limit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Result<Image> image = decodeJpeg(c.data);
        ASSERT_FALSE(image.ok());
        EXPECT_NE(image.message().find(c.messagePart), std::string::npos) << image.message();
    }
}

TEST(Jpeg, DamagedScansAndRandomBytesNeverCrash)
{
    Bytes valid = encodeJpeg(24, 24, false).image;
    // A truncated scan decodes what is there (the rest is filled in).
    Result<Image> truncated = decodeJpeg(std::span(valid).first(valid.size() - 40));
    EXPECT_TRUE(truncated.ok());
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        Bytes damaged = valid;
        for (int flips = 0; flips < 4; ++flips)
            damaged[random() % damaged.size()] = uint8_t(random());
        (void)decodeJpeg(damaged);
        Bytes noise(random() % 300);
        for (uint8_t& byte : noise)
            byte = uint8_t(random());
        noise.insert(noise.begin(), {0xFF, 0xD8});
        (void)decodeJpeg(noise, noise);
    }
}

} // namespace
} // namespace zf::image
