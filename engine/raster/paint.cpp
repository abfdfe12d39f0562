#include "raster/paint_p.h"

#include <algorithm>
#include <array>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ZF_RASTER_SSE2 1
#endif

namespace zf::raster {
namespace {

constexpr double kGradientHalfSize = 16384.0;
constexpr size_t kMaxGradientStops = 15;

uint32_t transformColor(Rgba color, const ColorTransform& cx)
{
    return premultiply(cx.apply(color));
}

struct LinearTables {
    std::array<double, 256> toLinear{};
    std::array<uint8_t, 4096> toSrgb{};
    LinearTables()
    {
        for (int i = 0; i < 256; ++i) {
            double c = i / 255.0;
            toLinear[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        for (size_t i = 0; i < toSrgb.size(); ++i) {
            double l = double(i) / double(toSrgb.size() - 1);
            double s = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
            toSrgb[i] = uint8_t(std::lround(std::clamp(s, 0.0, 1.0) * 255));
        }
    }
};

const LinearTables& linearTables()
{
    static const LinearTables tables;
    return tables;
}

// The colour `index` takes on the way from stop `a` to stop `b`, placed by
// their ratios: clamped to the pair, and `a` itself when `b` does not lie
// after it.
Rgba colorBetween(const swf::GradientStop& a, const swf::GradientStop& b, int index, bool linear)
{
    const int span = b.ratio - a.ratio;
    if (span <= 0)
        return a.color;
    const int along = std::clamp(index - a.ratio, 0, span);
    auto mix = [&](uint8_t p, uint8_t q) {
        if (!linear)
            return uint8_t((p * (span - along) + q * along + span / 2) / span);
        const LinearTables& t = linearTables();
        double l = t.toLinear[p] + (t.toLinear[q] - t.toLinear[p]) * along / span;
        return t.toSrgb[size_t(l * (t.toSrgb.size() - 1) + 0.5)];
    };
    return {mix(a.color.r, b.color.r), mix(a.color.g, b.color.g), mix(a.color.b, b.color.b),
            uint8_t((a.color.a * (span - along) + b.color.a * along + span / 2) / span)};
}

// Fills 256 premultiplied ramp entries. Stops are taken in the order the
// file gives them, not sorted, and the ramp is written front to back: the
// entries before the first ratio take the first colour, then each pair of
// neighbouring stops writes the entries from where the previous pair stopped
// up to (not including) its second ratio, but always at least one entry; the
// rest takes the last colour. So stops sharing a ratio each show as one
// entry of their own, and a stop whose ratio goes backwards claims a single
// entry. Movies with unsorted or repeated ratios rely on exactly this.
void buildRamp(const swf::Gradient& gradient, const ColorTransform& cx, uint32_t* ramp)
{
    std::array<swf::GradientStop, kMaxGradientStops> stops;
    size_t count = std::min(gradient.stops.size(), kMaxGradientStops);
    if (count == 0) {
        std::fill_n(ramp, 256, 0u);
        return;
    }
    std::copy_n(gradient.stops.begin(), count, stops.begin());
    for (size_t i = 0; i < count; ++i)
        stops[i].color = cx.apply(stops[i].color);
    const bool linear = gradient.interpolation == swf::InterpolationMode::LinearRgb;
    int next = 0;
    for (; next < stops[0].ratio; ++next)
        ramp[next] = premultiply(stops[0].color);
    for (size_t k = 1; k < count && next < 256; ++k) {
        const int end = std::min(std::max<int>(stops[k].ratio, next + 1), 256);
        for (; next < end; ++next)
            ramp[next] = premultiply(colorBetween(stops[k - 1], stops[k], next, linear));
    }
    for (; next < 256; ++next)
        ramp[next] = premultiply(stops[count - 1].color);
}

// Gradient positions are fixed point with 24 fraction bits (kRampOne = the
// end of the ramp), fine enough to step along a span without drift.
constexpr int kRampBits = 24;
constexpr int64_t kRampOne = int64_t(1) << kRampBits;
constexpr double kPositionLimit = 1e9; // keeps fixed-point positions in range

int64_t toRampFixed(double t)
{
    if (!(t == t))
        return 0;
    return int64_t(std::clamp(t, -kPositionLimit, kPositionLimit) * kRampOne);
}

template <swf::SpreadMode spread>
inline int rampIndex(int64_t t)
{
    if constexpr (spread == swf::SpreadMode::Repeat) {
        t &= kRampOne - 1;
    } else if constexpr (spread == swf::SpreadMode::Reflect) {
        t &= 2 * kRampOne - 1;
        if (t > kRampOne)
            t = 2 * kRampOne - t;
    } else {
        t = std::clamp<int64_t>(t, 0, kRampOne);
    }
    return int((t * 255 + kRampOne / 2) >> kRampBits);
}

// Padding commutes with the scaling to ramp indices, so the scaled position
// is stepped directly. It moves monotonically: the span splits exactly (in
// integers) into a run before the ramp, the ramp itself, and a run after it.
void shadeLinearPad(const uint32_t* ramp, int64_t t, int64_t step, int count, uint32_t* out)
{
    constexpr int64_t kEnd = int64_t(256) << kRampBits; // first position past entry 255
    int64_t scaled = t * 255 + kRampOne / 2;
    const int64_t scaledStep = step * 255;
    int i = 0;
    auto fill = [&](int64_t n, uint32_t color) {
        n = std::min<int64_t>(n, count - i);
        std::fill_n(out + i, n, color);
        i += int(n);
        scaled += scaledStep * n;
    };
    auto along = [&](int64_t n) {
        n = std::min<int64_t>(n, count - i);
        for (int64_t k = 0; k < n; ++k, scaled += scaledStep)
            out[i + k] = ramp[scaled >> kRampBits];
        i += int(n);
    };
    if (scaledStep == 0) {
        fill(count, ramp[std::clamp<int64_t>(scaled >> kRampBits, 0, 255)]);
    } else if (scaledStep > 0) {
        if (scaled < 0)
            fill((-scaled + scaledStep - 1) / scaledStep, ramp[0]);
        if (scaled >= 0 && scaled < kEnd)
            along((kEnd - scaled + scaledStep - 1) / scaledStep);
        fill(count, ramp[255]);
    } else {
        if (scaled >= kEnd)
            fill((scaled - kEnd) / -scaledStep + 1, ramp[255]);
        if (scaled >= 0 && scaled < kEnd)
            along(scaled / -scaledStep + 1);
        fill(count, ramp[0]);
    }
}

template <swf::SpreadMode spread>
void shadeLinear(const uint32_t* ramp, double u, double du, int skip, int count, uint32_t* out)
{
    const int64_t step = toRampFixed(du);
    int64_t t = toRampFixed(u) + step * skip;
    constexpr int64_t kExactLimit = int64_t(1) << 50;
    if (spread == swf::SpreadMode::Pad && std::abs(t) < kExactLimit &&
        std::abs(step) < kExactLimit / 4096 && count <= 4096) {
        shadeLinearPad(ramp, t, step, count, out);
        return;
    }
    for (int i = 0; i < count; ++i, t += step)
        out[i] = ramp[rampIndex<spread>(t)];
}

template <swf::SpreadMode spread>
void shadeRadial(const uint32_t* ramp, double u, double v, double du, double dv, int skip,
                 int count, uint32_t* out)
{
    for (int i = 0; i < skip; ++i, u += du, v += dv) {
    }
    if constexpr (spread == swf::SpreadMode::Pad) {
        // The general path below in 32-bit arithmetic: inside the circle the
        // fixed-point position is below kRampOne, outside it clamps to the
        // last entry, and NaN reads the first, as toRampFixed maps it to 0.
        int i = 0;
#if ZF_RASTER_SSE2
        // Positions still step one pixel at a time (the rounding of each
        // step matters); the square roots and ramp indices go four at once.
        // Both square roots are correctly rounded, so results match.
        const __m128 one = _mm_set1_ps(1.0f);
        const __m128 rampScale = _mm_set1_ps(float(kRampOne));
        const __m128i half = _mm_set1_epi32(int(kRampOne / 2));
        const __m128i last = _mm_set1_epi32(255);
        for (; i + 4 <= count; i += 4) {
            alignas(16) float squares[4];
            for (int k = 0; k < 4; ++k, u += du, v += dv)
                squares[k] = float(u * u + v * v);
            const __m128 distance = _mm_sqrt_ps(_mm_load_ps(squares));
            const __m128i inside = _mm_castps_si128(_mm_cmplt_ps(distance, one));
            const __m128i outside = _mm_castps_si128(_mm_cmpge_ps(distance, one));
            const __m128i fixed = _mm_cvttps_epi32(_mm_mul_ps(distance, rampScale));
            // fixed * 255 as (fixed << 8) - fixed: SSE2 has no 32-bit multiply.
            const __m128i times255 = _mm_sub_epi32(_mm_slli_epi32(fixed, 8), fixed);
            const __m128i scaled = _mm_srli_epi32(_mm_add_epi32(times255, half), kRampBits);
            const __m128i index =
                _mm_or_si128(_mm_and_si128(inside, scaled), _mm_and_si128(outside, last));
            alignas(16) uint32_t indices[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(indices), index);
            out[i] = ramp[indices[0]];
            out[i + 1] = ramp[indices[1]];
            out[i + 2] = ramp[indices[2]];
            out[i + 3] = ramp[indices[3]];
        }
#endif
        for (; i < count; ++i, u += du, v += dv) {
            const float distance = std::sqrt(float(u * u + v * v));
            uint32_t index = 0;
            if (distance < 1.0f)
                index = (uint32_t(distance * float(kRampOne)) * 255u + uint32_t(kRampOne / 2)) >>
                        kRampBits;
            else if (distance >= 1.0f)
                index = 255;
            out[i] = ramp[index];
        }
        return;
    }
    for (int i = 0; i < count; ++i, u += du, v += dv) {
        float distance = std::sqrt(float(u * u + v * v));
        out[i] = ramp[rampIndex<spread>(toRampFixed(distance))];
    }
}

template <swf::SpreadMode spread>
void shadeFocal(const uint32_t* ramp, double focal, double u, double v, double du, double dv,
                int skip, int count, uint32_t* out)
{
    for (int i = 0; i < skip; ++i, u += du, v += dv) {
    }
    // t is where the ray from the focal point through the pixel meets the
    // unit circle: |F + s·d| = 1 solved for s, then t = 1 / s.
    const double c = focal * focal - 1;
    for (int i = 0; i < count; ++i, u += du, v += dv) {
        double dx = u - focal, dy = v;
        double dd = dx * dx + dy * dy;
        double fd = focal * dx;
        double denominator = -fd + std::sqrt(std::max(0.0, fd * fd - dd * c));
        double t = denominator > 0 ? dd / denominator : 0;
        out[i] = ramp[rampIndex<spread>(toRampFixed(t))];
    }
}

template <class Shade>
void withSpread(swf::SpreadMode spread, Shade&& shade)
{
    switch (spread) {
    case swf::SpreadMode::Repeat: shade.template operator()<swf::SpreadMode::Repeat>(); break;
    case swf::SpreadMode::Reflect: shade.template operator()<swf::SpreadMode::Reflect>(); break;
    default: shade.template operator()<swf::SpreadMode::Pad>(); break;
    }
}

uint32_t transformPixel(uint32_t p, const Paint& paint)
{
    if (paint.transform == Paint::Transform::AlphaScale)
        return scalePixel(p, uint32_t(paint.cx.aMul * 255 / 256));
    uint32_t a = pixelAlpha(p);
    Rgba straight{0, 0, 0, uint8_t(a)};
    if (a != 0) {
        straight.r = uint8_t(std::min<uint32_t>(255, ((p & 0xFF) * 255 + a / 2) / a));
        straight.g = uint8_t(std::min<uint32_t>(255, (((p >> 8) & 0xFF) * 255 + a / 2) / a));
        straight.b = uint8_t(std::min<uint32_t>(255, (((p >> 16) & 0xFF) * 255 + a / 2) / a));
    }
    return premultiply(paint.cx.apply(straight));
}

// Keeps colour channels at or below alpha so that compositing cannot carry
// into the next channel, whatever a decoder produced.
uint32_t sanitize(uint32_t p)
{
    uint32_t a = pixelAlpha(p);
    uint32_t r = std::min(p & 0xFF, a), g = std::min((p >> 8) & 0xFF, a),
             b = std::min((p >> 16) & 0xFF, a);
    return packPixel(r, g, b, a);
}

int wrapCoordinate(int64_t v, int size, bool repeat)
{
    if (uint64_t(v) < uint64_t(size))
        return int(v);
    if (repeat) {
        int64_t m = v % size;
        return int(m < 0 ? m + size : m);
    }
    return v < 0 ? 0 : size - 1;
}

// Texture positions are 16.16 fixed point; the limit keeps a whole span of
// steps inside int64.
int64_t toTextureFixed(double v)
{
    if (!(v == v))
        return 0;
    return int64_t(std::clamp(v, -1e9, 1e9) * 65536);
}

uint32_t lerpPixel(uint32_t a, uint32_t b, uint32_t w) // w in 0..256
{
    uint32_t rb = ((a & 0x00FF00FFu) * (256 - w) + (b & 0x00FF00FFu) * w) >> 8;
    uint32_t ag = ((a >> 8) & 0x00FF00FFu) * (256 - w) + ((b >> 8) & 0x00FF00FFu) * w;
    return (rb & 0x00FF00FFu) | (ag & 0xFF00FF00u);
}

// Sanitizing costs nothing for opaque texels, the common case.
inline uint32_t sanitizeTexel(uint32_t p)
{
    return pixelAlpha(p) == 255 ? p : sanitize(p);
}

// Texture positions of a span in 16.16 fixed point, kept wrapped into the
// bitmap when it repeats: that spares a division per coordinate and pixel,
// and wrapping by whole bitmap sizes leaves texel indices (and fractions) as
// they were.
struct TexturePosition {
    int64_t u, v, du, dv, wrapU, wrapV;
    bool wrapped;

    void advance()
    {
        u += du;
        v += dv;
        if (wrapped) {
            u += u >= wrapU ? -wrapU : u < 0 ? wrapU : 0;
            v += v >= wrapV ? -wrapV : v < 0 ? wrapV : 0;
        }
    }
};

// One bilinear sample; (u, v) are 16.16 positions already offset by half a
// texel. Inside the bitmap the four texels are read directly; at its border
// they wrap (repeating) or clamp (clipped) independently.
template <bool Repeat>
inline uint32_t sampleBilinear(const uint8_t* pixels, int w, int h, int64_t u, int64_t v)
{
    const int64_t iu = u >> 16, iv = v >> 16;
    int x0, y0, x1, y1;
    if (uint64_t(iu) < uint64_t(w - 1) && uint64_t(iv) < uint64_t(h - 1)) {
        x0 = int(iu), y0 = int(iv), x1 = x0 + 1, y1 = y0 + 1;
    } else {
        x0 = wrapCoordinate(iu, w, Repeat);
        y0 = wrapCoordinate(iv, h, Repeat);
        x1 = Repeat ? (x0 + 1 == w ? 0 : x0 + 1) : wrapCoordinate(iu + 1, w, false);
        y1 = Repeat ? (y0 + 1 == h ? 0 : y0 + 1) : wrapCoordinate(iv + 1, h, false);
    }
    const uint8_t* row0 = pixels + size_t(y0) * size_t(w) * 4;
    const uint8_t* row1 = pixels + size_t(y1) * size_t(w) * 4;
    const uint32_t wu = uint32_t((u >> 8) & 0xFF), wv = uint32_t((v >> 8) & 0xFF);
    uint32_t top = lerpPixel(loadPixel(row0 + x0 * 4), loadPixel(row0 + x1 * 4), wu);
    uint32_t bottom = lerpPixel(loadPixel(row1 + x0 * 4), loadPixel(row1 + x1 * 4), wu);
    return lerpPixel(top, bottom, wv);
}

template <bool Smooth, bool Repeat, Paint::Transform Transform>
void shadeBitmapSpan(const Paint& paint, TexturePosition position, int count, uint32_t* out)
{
    const Bitmap& bitmap = *paint.bitmap;
    const int w = bitmap.width, h = bitmap.height;
    const uint8_t* pixels = bitmap.pixels.data();
    for (int i = 0; i < count; ++i, position.advance()) {
        uint32_t p;
        if constexpr (Smooth) {
            p = sampleBilinear<Repeat>(pixels, w, h, position.u, position.v);
        } else {
            const int tx = wrapCoordinate(position.u >> 16, w, Repeat);
            const int ty = wrapCoordinate(position.v >> 16, h, Repeat);
            p = loadPixel(pixels + (size_t(ty) * size_t(w) + size_t(tx)) * 4);
        }
        p = sanitizeTexel(p);
        if constexpr (Transform == Paint::Transform::Identity)
            out[i] = p;
        else
            out[i] = transformPixel(p, paint);
    }
}

template <bool Smooth, bool Repeat>
void shadeBitmapWithTransform(const Paint& paint, const TexturePosition& position, int count,
                              uint32_t* out)
{
    switch (paint.transform) {
    case Paint::Transform::Identity:
        shadeBitmapSpan<Smooth, Repeat, Paint::Transform::Identity>(paint, position, count, out);
        break;
    case Paint::Transform::AlphaScale:
        shadeBitmapSpan<Smooth, Repeat, Paint::Transform::AlphaScale>(paint, position, count, out);
        break;
    case Paint::Transform::General:
        shadeBitmapSpan<Smooth, Repeat, Paint::Transform::General>(paint, position, count, out);
        break;
    }
}

void shadeBitmap(const Paint& paint, int x, int y, int skip, int count, uint32_t* out)
{
    const Bitmap& bitmap = *paint.bitmap;
    const Matrix& m = paint.inverse;
    const double cx = x + 0.5, cy = y + 0.5;
    // Bilinear samples are centred on texel centres.
    const double offset = paint.smooth ? 0.5 : 0;
    TexturePosition position;
    position.u = toTextureFixed(m.a * cx + m.c * cy + m.tx - offset);
    position.v = toTextureFixed(m.b * cx + m.d * cy + m.ty - offset);
    position.du = toTextureFixed(m.a);
    position.dv = toTextureFixed(m.b);
    position.u += position.du * skip;
    position.v += position.dv * skip;
    position.wrapU = int64_t(bitmap.width) << 16;
    position.wrapV = int64_t(bitmap.height) << 16;
    position.wrapped = paint.repeat && std::abs(position.du) < position.wrapU &&
                       std::abs(position.dv) < position.wrapV;
    if (position.wrapped) {
        position.u %= position.wrapU;
        position.u += position.u < 0 ? position.wrapU : 0;
        position.v %= position.wrapV;
        position.v += position.v < 0 ? position.wrapV : 0;
    }
    if (paint.smooth && paint.repeat)
        shadeBitmapWithTransform<true, true>(paint, position, count, out);
    else if (paint.smooth)
        shadeBitmapWithTransform<true, false>(paint, position, count, out);
    else if (paint.repeat)
        shadeBitmapWithTransform<false, true>(paint, position, count, out);
    else
        shadeBitmapWithTransform<false, false>(paint, position, count, out);
}

} // namespace

double srgbToLinear(uint8_t value)
{
    return linearTables().toLinear[value];
}

uint8_t linearToSrgb(double value)
{
    const auto& table = linearTables().toSrgb;
    double index = std::clamp(value, 0.0, 1.0) * double(table.size() - 1);
    return table[size_t(std::lround(index))];
}

Paint makeSolidPaint(Rgba color, const ColorTransform& cx)
{
    Paint paint;
    paint.kind = Paint::Kind::Solid;
    paint.color = transformColor(color, cx);
    paint.opaque = pixelAlpha(paint.color) == 255;
    if (paint.color == 0)
        paint.kind = Paint::Kind::None;
    return paint;
}

bool RampCache::append(const swf::Gradient& gradient, const ColorTransform& cx,
                       std::vector<uint32_t>& ramps)
{
    constexpr size_t kMaxEntries = 1024;
    // The key: everything buildRamp reads.
    m_key.clear();
    m_key.push_back(char(gradient.interpolation));
    const size_t count = std::min(gradient.stops.size(), kMaxGradientStops);
    for (size_t i = 0; i < count; ++i) {
        const swf::GradientStop& stop = gradient.stops[i];
        m_key.append({char(stop.ratio), char(stop.color.r), char(stop.color.g), char(stop.color.b),
                      char(stop.color.a)});
    }
    m_key.append(reinterpret_cast<const char*>(&cx), sizeof(cx));
    auto found = m_entries.find(m_key);
    if (found == m_entries.end()) {
        if (m_entries.size() >= kMaxEntries)
            m_entries.clear();
        Entry entry;
        buildRamp(gradient, cx, entry.ramp.data());
        entry.opaque = std::all_of(entry.ramp.begin(), entry.ramp.end(),
                                   [](uint32_t p) { return pixelAlpha(p) == 255; });
        found = m_entries.emplace(m_key, entry).first;
    }
    ramps.insert(ramps.end(), found->second.ramp.begin(), found->second.ramp.end());
    return found->second.opaque;
}

Paint makeFillPaint(const swf::FillStyle& fill, const Matrix& toPixels, const ColorTransform& cx,
                    const BitmapSource* bitmaps, bool smoothBitmaps, std::vector<uint32_t>& ramps,
                    RampCache* cache)
{
    if (fill.type == swf::FillType::Solid)
        return makeSolidPaint(fill.color, cx);
    Paint paint;
    const Matrix toDevice = toPixels * fill.matrix;
    if (fill.isGradient()) {
        if (fill.gradient.stops.empty())
            return paint;
        Matrix inverse = toDevice.inverted();
        if (fill.type == swf::FillType::LinearGradient) {
            paint.kind = Paint::Kind::Linear;
            // x in -16384..16384 becomes 0..1 along the ramp.
            Matrix normalise{1 / (2 * kGradientHalfSize), 0, 0, 1, 0.5, 0};
            paint.inverse = normalise * inverse;
        } else {
            paint.kind = fill.type == swf::FillType::FocalGradient ? Paint::Kind::Focal
                                                                   : Paint::Kind::Radial;
            paint.inverse = Matrix::scale(1 / kGradientHalfSize, 1 / kGradientHalfSize) * inverse;
            // A focal point on the circle would make the ray equation degenerate.
            paint.focal = std::clamp(fill.gradient.focalPoint, -0.998, 0.998);
            if (!(paint.focal == paint.focal))
                paint.focal = 0;
        }
        paint.spread = fill.gradient.spread;
        paint.rampOffset = uint32_t(ramps.size());
        if (cache) {
            paint.opaque = cache->append(fill.gradient, cx, ramps);
            return paint;
        }
        ramps.resize(ramps.size() + 256);
        buildRamp(fill.gradient, cx, ramps.data() + paint.rampOffset);
        paint.opaque = std::all_of(ramps.begin() + paint.rampOffset, ramps.end(),
                                   [](uint32_t p) { return pixelAlpha(p) == 255; });
        return paint;
    }
    if (fill.isBitmap() && bitmaps) {
        const Bitmap* bitmap = bitmaps->bitmap(fill.bitmapId);
        if (!bitmap || bitmap->width <= 0 || bitmap->height <= 0 ||
            bitmap->pixels.size() < size_t(bitmap->width) * size_t(bitmap->height) * 4)
            return paint;
        paint.kind = Paint::Kind::Bitmap;
        paint.bitmap = bitmap;
        paint.inverse = toDevice.inverted();
        paint.repeat = fill.type == swf::FillType::RepeatingBitmap ||
                       fill.type == swf::FillType::RepeatingBitmapHard;
        paint.smooth = smoothBitmaps && (fill.type == swf::FillType::RepeatingBitmap ||
                                         fill.type == swf::FillType::ClippedBitmap);
        paint.cx = cx;
        bool onlyAlpha = cx.rMul == 256 && cx.gMul == 256 && cx.bMul == 256 && cx.rAdd == 0 &&
                         cx.gAdd == 0 && cx.bAdd == 0 && cx.aAdd == 0 && cx.aMul >= 0 &&
                         cx.aMul <= 256;
        paint.transform = cx.isIdentity() ? Paint::Transform::Identity
                          : onlyAlpha     ? Paint::Transform::AlphaScale
                                          : Paint::Transform::General;
    }
    return paint;
}

void shadeSpan(const Paint& paint, const uint32_t* ramps, int x, int y, int count, uint32_t* out,
               int skip)
{
    const Matrix& m = paint.inverse;
    const double cx = x + 0.5, cy = y + 0.5;
    double u = m.a * cx + m.c * cy + m.tx;
    double v = m.b * cx + m.d * cy + m.ty;
    const uint32_t* ramp = ramps + paint.rampOffset;
    switch (paint.kind) {
    case Paint::Kind::None: std::fill_n(out, count, 0u); break;
    case Paint::Kind::Solid: std::fill_n(out, count, paint.color); break;
    case Paint::Kind::Linear:
        withSpread(paint.spread, [&]<swf::SpreadMode spread>() {
            shadeLinear<spread>(ramp, u, m.a, skip, count, out);
        });
        break;
    case Paint::Kind::Radial:
        withSpread(paint.spread, [&]<swf::SpreadMode spread>() {
            shadeRadial<spread>(ramp, u, v, m.a, m.b, skip, count, out);
        });
        break;
    case Paint::Kind::Focal:
        withSpread(paint.spread, [&]<swf::SpreadMode spread>() {
            shadeFocal<spread>(ramp, paint.focal, u, v, m.a, m.b, skip, count, out);
        });
        break;
    case Paint::Kind::Bitmap: shadeBitmap(paint, x, y, skip, count, out); break;
    }
}

} // namespace zf::raster
