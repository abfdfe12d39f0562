// Geometry and colour value types shared by every engine subsystem.
// Coordinates inside the engine are in twips (1/20 pixel) unless a name says
// otherwise; y points down and positive rotation is clockwise on screen.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zf {

constexpr double kTwipsPerPixel = 20.0;

struct Point {
    double x = 0;
    double y = 0;
};

// Integer rectangle in twips, in the order the format stores it.
struct RectTwips {
    int32_t xMin = 0;
    int32_t xMax = 0;
    int32_t yMin = 0;
    int32_t yMax = 0;

    int64_t width() const { return int64_t(xMax) - xMin; }
    int64_t height() const { return int64_t(yMax) - yMin; }
    bool operator==(const RectTwips&) const = default;
};

// Floating-point axis-aligned box; empty() while nothing was added.
struct Bounds {
    double xMin = std::numeric_limits<double>::infinity();
    double yMin = std::numeric_limits<double>::infinity();
    double xMax = -std::numeric_limits<double>::infinity();
    double yMax = -std::numeric_limits<double>::infinity();

    bool empty() const { return !(xMin <= xMax && yMin <= yMax); }
    void add(double x, double y)
    {
        xMin = std::min(xMin, x);
        yMin = std::min(yMin, y);
        xMax = std::max(xMax, x);
        yMax = std::max(yMax, y);
    }
    void add(const Bounds& o)
    {
        if (o.empty())
            return;
        add(o.xMin, o.yMin);
        add(o.xMax, o.yMax);
    }
};

// Straight (not premultiplied) colour as the file stores it.
struct Rgba {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 255;
    bool operator==(const Rgba&) const = default;
};

// Affine matrix with the usual [a c tx; b d ty] layout:
//   x' = a*x + c*y + tx,  y' = b*x + d*y + ty.
// In the file, a = ScaleX, b = RotateSkew0, c = RotateSkew1, d = ScaleY.
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    Point applyVector(Point p) const { return {a * p.x + c * p.y, b * p.x + d * p.y}; }

    // this ∘ inner: apply inner first, then this.
    Matrix operator*(const Matrix& m) const
    {
        return {a * m.a + c * m.b,       b * m.a + d * m.b,       a * m.c + c * m.d,
                b * m.c + d * m.d,       a * m.tx + c * m.ty + tx, b * m.tx + d * m.ty + ty};
    }
    double determinant() const { return a * d - b * c; }
    Matrix inverted() const
    {
        double det = determinant();
        if (det == 0 || !std::isfinite(det))
            return Matrix{0, 0, 0, 0, -tx, -ty};
        double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
        return {ia, ib, ic, id, -(ia * tx + ic * ty), -(ib * tx + id * ty)};
    }
    static Matrix translate(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static Matrix scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    bool operator==(const Matrix&) const = default;
};

Bounds transformBounds(const Matrix& m, const Bounds& b);

// Colour transform: multipliers in 8.8 fixed point (256 = 1.0), add terms in
// colour units; c' = clamp(c * mult / 256 + add, 0, 255) per channel.
struct ColorTransform {
    int32_t rMul = 256, gMul = 256, bMul = 256, aMul = 256;
    int32_t rAdd = 0, gAdd = 0, bAdd = 0, aAdd = 0;

    bool isIdentity() const
    {
        return rMul == 256 && gMul == 256 && bMul == 256 && aMul == 256 && rAdd == 0 &&
               gAdd == 0 && bAdd == 0 && aAdd == 0;
    }
    // this ∘ inner: the inner transform applies first.
    ColorTransform operator*(const ColorTransform& in) const
    {
        return {rMul * in.rMul / 256, gMul * in.gMul / 256, bMul * in.bMul / 256,
                aMul * in.aMul / 256, rAdd + rMul * in.rAdd / 256, gAdd + gMul * in.gAdd / 256,
                bAdd + bMul * in.bAdd / 256, aAdd + aMul * in.aAdd / 256};
    }
    Rgba apply(Rgba c) const
    {
        auto ch = [](int v, int mul, int add) {
            return uint8_t(std::clamp(v * mul / 256 + add, 0, 255));
        };
        return {ch(c.r, rMul, rAdd), ch(c.g, gMul, gAdd), ch(c.b, bMul, bAdd), ch(c.a, aMul, aAdd)};
    }
    bool operator==(const ColorTransform&) const = default;
};

} // namespace zf
