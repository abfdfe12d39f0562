// Bitmap filters on premultiplied RGBA8 images. Shadows, glows and bevels
// work on float planes of the image's alpha: blurred with running-sum box
// blurs (linear in the pixel count whatever the blur size), turned into a
// coloured layer, and composited with the source the way each filter's
// inner / knockout / hide-object / bevel-type options ask.
#include "raster/filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>
#include <variant>

namespace zf::raster {

namespace {

// One value per pixel, row by row.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<float> v;

    Plane(int w, int h, float fill = 0) : width(w), height(h), v(size_t(w) * size_t(h), fill) {}
    float at(int x, int y, float outside) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return outside;
        return v[size_t(y) * size_t(width) + size_t(x)];
    }
};

// A box of `width` pixels centred on each pixel: `radius` whole neighbours
// on either side, and the next ones weighted by `edge` (the fractional
// rest of the width, split between both sides).
struct Box {
    int radius = 0;
    double edge = 0;
    double scale = 1;

    bool identity() const { return radius == 0 && edge == 0; }
    // Pixels the box reaches on each side.
    int reach() const { return radius + (edge > 0 ? 1 : 0); }
};

Box makeBox(double width)
{
    if (!(width > 1))
        return {};
    width = std::min(width, kMaxFilterBlur * 16); // already scaled; bounds the padding
    Box box;
    box.radius = int((width - 1) / 2);
    box.edge = (width - 1 - 2.0 * box.radius) / 2;
    if (box.edge < 1e-6)
        box.edge = 0;
    box.scale = 1 / width;
    return box;
}

int clampPasses(int passes)
{
    return std::clamp(passes, 0, kMaxFilterPasses);
}

double blurWidth(double blur, double scale)
{
    if (!std::isfinite(blur) || !std::isfinite(scale))
        return 0;
    return std::clamp(blur, 0.0, kMaxFilterBlur) * std::abs(scale);
}

// Blurs `count` values spaced `stride` apart, in place; values beyond both
// ends count as `outside`. `line` is scratch space. The sum runs over the
// box's whole pixels and slides by one pixel per step.
void blurLine(float* data, int count, size_t stride, const Box& box, float outside,
              std::vector<double>& line)
{
    const int pad = box.radius + 1;
    line.assign(size_t(count) + 2 * size_t(pad), outside);
    for (int i = 0; i < count; ++i)
        line[size_t(i + pad)] = data[size_t(i) * stride];
    double sum = 0;
    for (int i = 1; i <= 2 * box.radius + 1; ++i)
        sum += line[size_t(i)];
    for (int i = 0; i < count; ++i) {
        const size_t c = size_t(i + pad);
        const double edges = line[c - size_t(box.radius) - 1] + line[c + size_t(box.radius) + 1];
        data[size_t(i) * stride] = float((sum + box.edge * edges) * box.scale);
        sum += line[c + size_t(box.radius) + 1] - line[c - size_t(box.radius)];
    }
}

// Scratch space for blurs, reused across passes.
struct BlurScratch {
    std::vector<double> line;
    std::vector<float> copy;
    std::vector<float> outsideRow;
    std::vector<double> sums;
};

// Blurs every column at once, a row at a time, with one running sum per
// column: the rows stay in cache order, unlike a walk down each column.
void blurColumns(Plane& plane, const Box& box, float outside, BlurScratch& scratch)
{
    const int w = plane.width, h = plane.height;
    scratch.copy = plane.v;
    scratch.outsideRow.assign(size_t(w), outside);
    auto row = [&](int y) {
        return y < 0 || y >= h ? scratch.outsideRow.data() : &scratch.copy[size_t(y) * size_t(w)];
    };
    std::vector<double>& sums = scratch.sums;
    sums.assign(size_t(w), 0);
    for (int y = -box.radius; y <= box.radius; ++y) {
        const float* r = row(y);
        for (size_t x = 0; x < size_t(w); ++x)
            sums[x] += r[x];
    }
    for (int y = 0; y < h; ++y) {
        const float* before = row(y - box.radius - 1);
        const float* after = row(y + box.radius + 1);
        const float* leaving = row(y - box.radius);
        float* out = &plane.v[size_t(y) * size_t(w)];
        for (size_t x = 0; x < size_t(w); ++x) {
            out[x] = float((sums[x] + box.edge * (double(before[x]) + after[x])) * box.scale);
            sums[x] += double(after[x]) - leaving[x];
        }
    }
}

void blurPlane(Plane& plane, double widthX, double widthY, int passes, float outside)
{
    const Box bx = makeBox(widthX), by = makeBox(widthY);
    BlurScratch scratch;
    for (int pass = 0; pass < clampPasses(passes); ++pass) {
        if (!bx.identity()) {
            for (int y = 0; y < plane.height; ++y)
                blurLine(&plane.v[size_t(y) * size_t(plane.width)], plane.width, 1, bx, outside,
                         scratch.line);
        }
        if (!by.identity())
            blurColumns(plane, by, outside, scratch);
    }
}

Plane alphaPlane(const Bitmap& image, bool inverted)
{
    Plane plane(image.width, image.height);
    for (size_t i = 0; i < plane.v.size(); ++i) {
        float a = image.pixels[i * 4 + 3] / 255.0f;
        plane.v[i] = inverted ? 1 - a : a;
    }
    return plane;
}

// The plane moved by (dx, dy) whole pixels; uncovered pixels get `outside`.
Plane shifted(const Plane& plane, int dx, int dy, float outside)
{
    if (dx == 0 && dy == 0)
        return plane;
    Plane out(plane.width, plane.height);
    for (int y = 0; y < plane.height; ++y) {
        for (int x = 0; x < plane.width; ++x)
            out.v[size_t(y) * size_t(plane.width) + size_t(x)] = plane.at(x - dx, y - dy, outside);
    }
    return out;
}

struct Offset {
    int x = 0, y = 0;
};

Offset offsetOf(double angle, double distance, FilterScale scale)
{
    // Offsets are capped in stage pixels and again in image pixels.
    constexpr double kMaxOffset = kMaxFilterBlur * 16;
    if (!std::isfinite(angle) || !std::isfinite(distance))
        return {};
    distance = std::clamp(distance, -kMaxOffset, kMaxOffset);
    auto pixels = [&](double v) {
        return std::isfinite(v) ? int(std::lround(std::clamp(v, -kMaxOffset, kMaxOffset))) : 0;
    };
    return {pixels(std::cos(angle) * distance * scale.x),
            pixels(std::sin(angle) * distance * scale.y)};
}

// A premultiplied colour with float channels in 0..1.
struct Colour {
    float r = 0, g = 0, b = 0, a = 0;
};

Colour premultiplied(Rgba c)
{
    float a = c.a / 255.0f;
    return {c.r / 255.0f * a, c.g / 255.0f * a, c.b / 255.0f * a, a};
}

// How a filter's layer meets the source.
enum class Placement : uint8_t {
    Outer, // outside the source's shape, behind it
    Inner, // inside the source's shape, over it
    Full,  // everywhere, over the source
};

uint8_t toByte(float v)
{
    return uint8_t(std::clamp(v * 255.0f + 0.5f, 0.0f, 255.0f));
}

// Composites the layer (one colour per pixel, from `layerAt`) with the image.
// `knockout` drops the source, keeping the layer where the placement puts
// it; `hideSource` drops the source and keeps the whole layer.
template <class LayerAt>
void composite(Bitmap& image, Placement placement, bool knockout, bool hideSource,
               LayerAt&& layerAt)
{
    const size_t count = size_t(image.width) * size_t(image.height);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = &image.pixels[i * 4];
        const Colour l = layerAt(i);
        const float sa = p[3] / 255.0f;
        float k = 1, keep = 1; // layer weight, source weight
        switch (placement) {
        case Placement::Outer:
            k = hideSource ? 1 : 1 - sa;
            keep = knockout || hideSource ? 0 : 1;
            break;
        case Placement::Inner:
            k = sa;
            keep = knockout || hideSource ? 0 : 1 - l.a;
            break;
        case Placement::Full: keep = knockout || hideSource ? 0 : 1 - l.a; break;
        }
        if (keep == 1 && (l.a == 0 || k == 0))
            continue; // nothing of the layer here, the source stays
        p[0] = toByte(l.r * k + p[0] / 255.0f * keep);
        p[1] = toByte(l.g * k + p[1] / 255.0f * keep);
        p[2] = toByte(l.b * k + p[2] / 255.0f * keep);
        p[3] = toByte(l.a * k + sa * keep);
    }
}

// The strength-scaled, blurred alpha of the source moved by `offset`; for
// inner filters the alpha of what lies outside the source.
Plane shadowPlane(const Bitmap& image, bool inner, Offset offset, double blurX, double blurY,
                  int passes, double strength, FilterScale scale)
{
    const float outside = inner ? 1.0f : 0.0f;
    Plane plane = shifted(alphaPlane(image, inner), offset.x, offset.y, outside);
    blurPlane(plane, blurWidth(blurX, scale.x), blurWidth(blurY, scale.y), passes, outside);
    const float s = std::isfinite(strength) ? float(std::clamp(strength, 0.0, 255.0)) : 0;
    for (float& v : plane.v)
        v = std::min(1.0f, v * s);
    return plane;
}

void dropShadow(Bitmap& image, const swf::DropShadowFilter& f, Offset offset, FilterScale scale)
{
    const Plane plane =
        shadowPlane(image, f.inner, offset, f.blurX, f.blurY, f.passes, f.strength, scale);
    const Colour c = premultiplied(f.color);
    composite(image, f.inner ? Placement::Inner : Placement::Outer, f.knockout, !f.compositeSource,
              [&](size_t i) {
                  float v = plane.v[i];
                  return Colour{c.r * v, c.g * v, c.b * v, c.a * v};
              });
}

// 256 premultiplied colours along the gradient's stops.
std::array<Colour, 256> gradientTable(const swf::GradientGlowFilter& f)
{
    std::array<Colour, 256> table{};
    const size_t count = std::min(f.colors.size(), f.ratios.size());
    if (count == 0)
        return table;
    for (int i = 0; i < 256; ++i) {
        size_t next = 0;
        while (next < count && f.ratios[next] < i)
            ++next;
        Rgba c;
        if (next == 0 || next == count) {
            c = f.colors[next == 0 ? 0 : count - 1];
        } else {
            const int r0 = f.ratios[next - 1], r1 = f.ratios[next];
            const float t = r1 > r0 ? float(i - r0) / float(r1 - r0) : 1;
            const Rgba a = f.colors[next - 1], b = f.colors[next];
            auto mix = [t](uint8_t x, uint8_t y) { return uint8_t(std::lround(x + (y - x) * t)); };
            c = Rgba{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
        }
        table[size_t(i)] = premultiplied(c);
    }
    return table;
}

Placement bevelPlacement(bool inner, bool onTop)
{
    return onTop ? Placement::Full : inner ? Placement::Inner : Placement::Outer;
}

void gradientGlow(Bitmap& image, const swf::GradientGlowFilter& f, Offset offset, FilterScale scale)
{
    const Plane plane =
        shadowPlane(image, f.inner, offset, f.blurX, f.blurY, f.passes, f.strength, scale);
    const std::array<Colour, 256> table = gradientTable(f);
    composite(image, bevelPlacement(f.inner, f.onTop), f.knockout, false,
              [&](size_t i) { return table[size_t(plane.v[i] * 255 + 0.5f)]; });
}

// A bevel's light: the blurred alpha seen from one side minus from the
// other; positive where light falls (the highlight), negative in shade.
Plane bevelPlane(const Bitmap& image, Offset offset, double blurX, double blurY, int passes,
                 double strength, FilterScale scale)
{
    Plane blurred = alphaPlane(image, false);
    blurPlane(blurred, blurWidth(blurX, scale.x), blurWidth(blurY, scale.y), passes, 0);
    const float s = std::isfinite(strength) ? float(std::clamp(strength, 0.0, 255.0)) : 0;
    Plane light(image.width, image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            float d = blurred.at(x + offset.x, y + offset.y, 0) -
                      blurred.at(x - offset.x, y - offset.y, 0);
            light.v[size_t(y) * size_t(image.width) + size_t(x)] = std::clamp(d * s, -1.0f, 1.0f);
        }
    }
    return light;
}

void bevel(Bitmap& image, const swf::BevelFilter& f, Offset offset, FilterScale scale)
{
    const Plane light = bevelPlane(image, offset, f.blurX, f.blurY, f.passes, f.strength, scale);
    const Colour hi = premultiplied(f.highlightColor), lo = premultiplied(f.shadowColor);
    composite(image, bevelPlacement(f.inner, f.onTop), f.knockout, false, [&](size_t i) {
        const float v = light.v[i];
        const Colour& c = v >= 0 ? hi : lo;
        const float w = std::abs(v);
        return Colour{c.r * w, c.g * w, c.b * w, c.a * w};
    });
}

void gradientBevel(Bitmap& image, const swf::GradientBevelFilter& f, Offset offset,
                   FilterScale scale)
{
    const Plane light = bevelPlane(image, offset, f.blurX, f.blurY, f.passes, f.strength, scale);
    const std::array<Colour, 256> table = gradientTable(f);
    // The highlight takes the low end of the gradient, the shade the high end.
    composite(image, bevelPlacement(f.inner, f.onTop), f.knockout, false, [&](size_t i) {
        return table[size_t(std::clamp(128.0f - light.v[i] * 128.0f, 0.0f, 255.0f))];
    });
}

std::array<float, 4> unpremultiply(const uint8_t* p)
{
    if (p[3] == 0)
        return {0, 0, 0, 0};
    const float k = 255.0f / p[3];
    return {p[0] * k, p[1] * k, p[2] * k, float(p[3])};
}

void storePremultiplied(uint8_t* p, const std::array<float, 4>& c)
{
    const float a = std::clamp(c[3], 0.0f, 255.0f);
    for (int k = 0; k < 3; ++k)
        p[k] = uint8_t(std::clamp(c[size_t(k)], 0.0f, 255.0f) * a / 255.0f + 0.5f);
    p[3] = uint8_t(a + 0.5f);
}

void colorMatrix(Bitmap& image, const swf::ColorMatrixFilter& f)
{
    const auto& m = f.matrix;
    for (size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        const std::array<float, 4> c = unpremultiply(&image.pixels[i]);
        std::array<float, 4> out{};
        for (size_t row = 0; row < 4; ++row) {
            const float* r = &m[row * 5];
            out[row] = r[0] * c[0] + r[1] * c[1] + r[2] * c[2] + r[3] * c[3] + r[4];
            if (!std::isfinite(out[row]))
                out[row] = 0;
        }
        storePremultiplied(&image.pixels[i], out);
    }
}

void convolution(Bitmap& image, const swf::ConvolutionFilter& f)
{
    const int mx = f.matrixX, my = f.matrixY;
    if (mx == 0 || my == 0 || mx * my > kMaxConvolutionCells ||
        f.matrix.size() < size_t(mx) * size_t(my))
        return;
    const int w = image.width, h = image.height;
    std::vector<std::array<float, 4>> source(size_t(w) * size_t(h));
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = unpremultiply(&image.pixels[i * 4]);
    const std::array<float, 4> fallback{float(f.defaultColor.r), float(f.defaultColor.g),
                                        float(f.defaultColor.b), float(f.defaultColor.a)};
    const float divisor = f.divisor != 0 && std::isfinite(f.divisor) ? f.divisor : 1;
    const float bias = std::isfinite(f.bias) ? f.bias : 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::array<float, 4> sum{};
            for (int j = 0; j < my; ++j) {
                for (int i = 0; i < mx; ++i) {
                    int sx = x + i - mx / 2, sy = y + j - my / 2;
                    const bool inside = sx >= 0 && sy >= 0 && sx < w && sy < h;
                    if (!inside && f.clamp) {
                        sx = std::clamp(sx, 0, w - 1);
                        sy = std::clamp(sy, 0, h - 1);
                    }
                    const auto& s =
                        inside || f.clamp ? source[size_t(sy) * size_t(w) + size_t(sx)] : fallback;
                    const float k = f.matrix[size_t(j) * size_t(mx) + size_t(i)];
                    for (size_t c = 0; c < 4; ++c)
                        sum[c] += k * s[c];
                }
            }
            const size_t at = size_t(y) * size_t(w) + size_t(x);
            std::array<float, 4> out;
            for (size_t c = 0; c < 4; ++c)
                out[c] = std::isfinite(sum[c]) ? sum[c] / divisor + bias : 0;
            if (f.preserveAlpha)
                out[3] = source[at][3];
            storePremultiplied(&image.pixels[at * 4], out);
        }
    }
}

FilterMargin blurMargin(double blurX, double blurY, int passes, FilterScale scale)
{
    const int x = makeBox(blurWidth(blurX, scale.x)).reach() * clampPasses(passes);
    const int y = makeBox(blurWidth(blurY, scale.y)).reach() * clampPasses(passes);
    return {x, y, x, y};
}

FilterMargin offsetMargin(Offset o)
{
    return {std::max(0, -o.x), std::max(0, -o.y), std::max(0, o.x), std::max(0, o.y)};
}

} // namespace

FilterMargin filterMargin(const swf::Filter& filter, FilterScale scale)
{
    return std::visit(
        [&](const auto& f) -> FilterMargin {
            using T = std::decay_t<decltype(f)>;
            if constexpr (std::is_same_v<T, swf::ColorMatrixFilter>) {
                return {};
            } else if constexpr (std::is_same_v<T, swf::ConvolutionFilter>) {
                const int x = std::min<int>(f.matrixX, 15) / 2,
                          y = std::min<int>(f.matrixY, 15) / 2;
                return {x, y, x, y};
            } else if constexpr (std::is_same_v<T, swf::BlurFilter> ||
                                 std::is_same_v<T, swf::GlowFilter>) {
                return blurMargin(f.blurX, f.blurY, f.passes, scale);
            } else {
                FilterMargin m = blurMargin(f.blurX, f.blurY, f.passes, scale);
                const Offset o = offsetOf(f.angle, f.distance, scale);
                m += offsetMargin(o);
                // Bevels light both sides.
                if constexpr (!std::is_same_v<T, swf::DropShadowFilter>)
                    m += offsetMargin({-o.x, -o.y});
                return m;
            }
        },
        filter);
}

FilterMargin filterMargin(std::span<const swf::Filter> filters, FilterScale scale)
{
    FilterMargin total;
    for (const swf::Filter& filter : filters)
        total += filterMargin(filter, scale);
    return total;
}

void boxBlur(Bitmap& image, double widthX, double widthY, int passes)
{
    if (makeBox(widthX).identity() && makeBox(widthY).identity())
        return;
    Plane plane(image.width, image.height);
    for (size_t channel = 0; channel < 4; ++channel) {
        for (size_t i = 0; i < plane.v.size(); ++i)
            plane.v[i] = image.pixels[i * 4 + channel];
        blurPlane(plane, widthX, widthY, passes, 0);
        for (size_t i = 0; i < plane.v.size(); ++i)
            image.pixels[i * 4 + channel] = uint8_t(std::clamp(plane.v[i] + 0.5f, 0.0f, 255.0f));
    }
    // Rounding each channel alone may leave a colour above its alpha.
    for (size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        for (size_t k = 0; k < 3; ++k)
            image.pixels[i + k] = std::min(image.pixels[i + k], image.pixels[i + 3]);
    }
}

void applyFilter(Bitmap& image, const swf::Filter& filter, FilterScale scale)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < size_t(image.width) * size_t(image.height) * 4)
        return;
    std::visit(
        [&](const auto& f) {
            using T = std::decay_t<decltype(f)>;
            if constexpr (std::is_same_v<T, swf::BlurFilter>) {
                boxBlur(image, blurWidth(f.blurX, scale.x), blurWidth(f.blurY, scale.y), f.passes);
            } else if constexpr (std::is_same_v<T, swf::DropShadowFilter>) {
                dropShadow(image, f, offsetOf(f.angle, f.distance, scale), scale);
            } else if constexpr (std::is_same_v<T, swf::GlowFilter>) {
                swf::DropShadowFilter shadow;
                shadow.color = f.color;
                shadow.blurX = f.blurX;
                shadow.blurY = f.blurY;
                shadow.strength = f.strength;
                shadow.inner = f.inner;
                shadow.knockout = f.knockout;
                shadow.compositeSource = f.compositeSource;
                shadow.passes = f.passes;
                dropShadow(image, shadow, {}, scale);
            } else if constexpr (std::is_same_v<T, swf::BevelFilter>) {
                bevel(image, f, offsetOf(f.angle, f.distance, scale), scale);
            } else if constexpr (std::is_same_v<T, swf::GradientBevelFilter>) {
                gradientBevel(image, f, offsetOf(f.angle, f.distance, scale), scale);
            } else if constexpr (std::is_same_v<T, swf::GradientGlowFilter>) {
                gradientGlow(image, f, offsetOf(f.angle, f.distance, scale), scale);
            } else if constexpr (std::is_same_v<T, swf::ColorMatrixFilter>) {
                colorMatrix(image, f);
            } else if constexpr (std::is_same_v<T, swf::ConvolutionFilter>) {
                convolution(image, f);
            }
        },
        filter);
}

} // namespace zf::raster
