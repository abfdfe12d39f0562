// Bitmap shading against a plain per-pixel sampler: the vectorised
// bilinear blocks, the fixed-row and row-copy paths and the border handling
// must give exactly what sampling each pixel on its own gives.
#include "raster/paint_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace zf::raster {
namespace {

// Texels as decoders may leave them: mostly opaque, some translucent, some
// transparent, and a few with a colour channel above alpha.
Bitmap randomBitmap(std::mt19937& random, int width, int height)
{
    Bitmap bitmap{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        const uint32_t pick = random() % 8;
        const uint32_t a = pick < 5 ? 255 : pick == 5 ? 0 : random() % 256;
        const uint32_t limit = pick == 7 ? 256 : a + 1;
        for (int c = 0; c < 3; ++c)
            bitmap.pixels.push_back(uint8_t(random() % limit));
        bitmap.pixels.push_back(uint8_t(a));
    }
    return bitmap;
}

int64_t toFixed(double v)
{
    return int64_t(std::clamp(v, -1e9, 1e9) * 65536);
}

int texelIndex(int64_t i, int size, bool repeat)
{
    if (repeat)
        return int(((i % size) + size) % size);
    return int(std::clamp<int64_t>(i, 0, size - 1));
}

uint32_t lerp(uint32_t a, uint32_t b, uint32_t w)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t p = (a >> shift) & 0xFF, q = (b >> shift) & 0xFF;
        result |= ((p * (256 - w) + q * w) >> 8) << shift;
    }
    return result;
}

// Pixel `x + k` of a span that starts at pixel x: positions are 16.16 fixed
// point stepped from the span's first pixel centre.
uint32_t referencePixel(const Paint& paint, int x, int y, int k)
{
    const Bitmap& bitmap = *paint.bitmap;
    const Matrix& m = paint.inverse;
    const double offset = paint.smooth ? 0.5 : 0;
    const double cx = x + 0.5, cy = y + 0.5;
    const int64_t u = toFixed(m.a * cx + m.c * cy + m.tx - offset) + k * toFixed(m.a);
    const int64_t v = toFixed(m.b * cx + m.d * cy + m.ty - offset) + k * toFixed(m.b);
    auto texel = [&](int64_t tx, int64_t ty) {
        const size_t at = size_t(texelIndex(ty, bitmap.height, paint.repeat)) * bitmap.width +
                          size_t(texelIndex(tx, bitmap.width, paint.repeat));
        return loadPixel(bitmap.pixels.data() + at * 4);
    };
    uint32_t p;
    if (paint.smooth) {
        const int64_t iu = u >> 16, iv = v >> 16;
        const uint32_t wu = uint32_t(u >> 8) & 0xFF, wv = uint32_t(v >> 8) & 0xFF;
        p = lerp(lerp(texel(iu, iv), texel(iu + 1, iv), wu),
                 lerp(texel(iu, iv + 1), texel(iu + 1, iv + 1), wu), wv);
    } else {
        p = texel(u >> 16, v >> 16);
    }
    const uint32_t a = pixelAlpha(p);
    p = packPixel(std::min(p & 0xFF, a), std::min((p >> 8) & 0xFF, a),
                  std::min((p >> 16) & 0xFF, a), a);
    if (paint.transform == Paint::Transform::AlphaScale)
        return scalePixel(p, uint32_t(paint.cx.aMul * 255 / 256));
    if (paint.transform == Paint::Transform::General) {
        auto straight = [&](uint32_t c) {
            return uint8_t(a == 0 ? 0 : std::min<uint32_t>(255, (c * 255 + a / 2) / a));
        };
        return premultiply(paint.cx.apply({straight(p & 0xFF), straight((p >> 8) & 0xFF),
                                           straight((p >> 16) & 0xFF), uint8_t(a)}));
    }
    return p;
}

struct MatrixCase {
    const char* name;
    Matrix inverse; // device pixels -> texels
};

TEST(PaintBitmapTest, FastPathsMatchPlainSampling)
{
    const MatrixCase matrices[] = {
        // Texel centres on pixel centres: every bilinear weight is zero.
        {"one to one", {1, 0, 0, 1, 0, 0}},
        {"whole texel shift", {1, 0, 0, 1, -3, 5}},
        {"two texels per pixel", {2, 0, 0, 1, 0, 0}},
        {"fractional shift", {1, 0, 0, 1, 0.3, -0.7}},
        {"enlarged", {0.37, 0, 0, 0.41, 1.2, 0.9}},
        {"reduced", {2.7, 0, 0, 3.1, -0.4, 0.2}},
        {"mirrored", {-0.8, 0, 0, 0.6, 9.5, 0.25}},
        {"rotated", {0.7, 0.5, -0.5, 0.7, 2, -1}},
        {"sheared", {0.5, 0.01, 0.3, 0.9, 0, 0}},
        {"steep", {0.02, 0.9, -0.9, 0.02, 3, 0}},
        {"huge steps", {5000, 0, 0, 7000, 0, 0}},
        // One column stretched over the span: the position does not move.
        {"one column", {0, 0, 0.5, 1, 3.2, 1}},
        {"one column outside", {0, 0, 0.5, 1, -40, 1}},
    };
    const ColorTransform halfAlpha{256, 256, 256, 128, 0, 0, 0, 0};
    const ColorTransform tint{200, 256, 100, 256, 30, 0, -20, 0};
    std::mt19937 random(23);
    const Bitmap bitmaps[] = {randomBitmap(random, 13, 9), randomBitmap(random, 1, 6),
                              randomBitmap(random, 7, 1), randomBitmap(random, 2, 2)};
    for (const Bitmap& bitmap : bitmaps) {
        for (const MatrixCase& matrix : matrices) {
            for (int variant = 0; variant < 12; ++variant) {
                Paint paint;
                paint.kind = Paint::Kind::Bitmap;
                paint.bitmap = &bitmap;
                paint.inverse = matrix.inverse;
                paint.smooth = variant % 2 == 0;
                paint.repeat = variant / 2 % 2 == 0;
                const int transform = variant / 4;
                paint.transform = Paint::Transform(transform);
                paint.cx = transform == 1 ? halfAlpha : transform == 2 ? tint : ColorTransform{};
                for (int y = -3; y < bitmap.height + 3; ++y) {
                    const int x = -20 + y % 5, count = bitmap.width + 47;
                    std::vector<uint32_t> out(static_cast<size_t>(count));
                    shadeSpan(paint, nullptr, x, y, count, out.data());
                    for (int k = 0; k < count; ++k)
                        ASSERT_EQ(out[size_t(k)], referencePixel(paint, x, y, k))
                            << matrix.name << " " << bitmap.width << "x" << bitmap.height
                            << " variant " << variant << " row " << y << " pixel " << k;
                }
            }
        }
    }
}

// A stage-sized bitmap under the matrices movies put on photos: the
// vectorised interior and the clamped border, whole rows and pieces.
TEST(PaintBitmapTest, LargeBitmapRowsInPieces)
{
    std::mt19937 random(4);
    const Bitmap bitmap = randomBitmap(random, 160, 40);
    const MatrixCase matrices[] = {
        {"one to one", {1, 0, 0, 1, 0, 0}},
        {"scaled to stage", {0.8, 0, 0, 0.8, 0, 0}},
        {"offset", {1, 0, 0, 1, 0.5, 0.25}},
        {"rotated", {0.99, 0.05, -0.05, 0.99, 0, 0}},
    };
    for (const MatrixCase& matrix : matrices) {
        for (bool smooth : {true, false}) {
            Paint paint;
            paint.kind = Paint::Kind::Bitmap;
            paint.bitmap = &bitmap;
            paint.inverse = matrix.inverse;
            paint.smooth = smooth;
            for (int y : {0, 17, 39}) {
                const int count = 220;
                std::vector<uint32_t> whole(count), pieces(count);
                shadeSpan(paint, nullptr, -10, y, count, whole.data());
                for (int k = 0; k < count; ++k)
                    ASSERT_EQ(whole[size_t(k)], referencePixel(paint, -10, y, k))
                        << matrix.name << " smooth " << smooth << " row " << y << " pixel " << k;
                for (int start = 0; start < count;) {
                    const int length = std::min(count - start, 1 + start % 23);
                    shadeSpan(paint, nullptr, -10, y, length, pieces.data() + start, start);
                    start += length;
                }
                EXPECT_EQ(whole, pieces) << matrix.name << " smooth " << smooth << " row " << y;
            }
        }
    }
}

} // namespace
} // namespace zf::raster
