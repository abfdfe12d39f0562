#include "raster/paint_p.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

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
    // Every position of the stretch lies in 0 .. kEnd - 1 < 2^32, so 32-bit
    // arithmetic (wrapping in between) reaches the same values.
    auto along = [&](int64_t n) {
        n = std::min<int64_t>(n, count - i);
        uint32_t s = uint32_t(scaled);
        const uint32_t ds = uint32_t(scaledStep);
        uint32_t* o = out + i;
        int64_t k = 0;
        for (; k + 4 <= n; k += 4, s += 4 * ds) {
            o[k] = ramp[s >> kRampBits];
            o[k + 1] = ramp[(s + ds) >> kRampBits];
            o[k + 2] = ramp[(s + 2 * ds) >> kRampBits];
            o[k + 3] = ramp[(s + 3 * ds) >> kRampBits];
        }
        for (; k < n; ++k, s += ds)
            o[k] = ramp[s >> kRampBits];
        scaled += scaledStep * n;
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
void shadeLinearSpan(const uint32_t* ramp, int64_t t, int64_t step, int count, uint32_t* out)
{
    constexpr int64_t kExactLimit = int64_t(1) << 50;
    if (spread == swf::SpreadMode::Pad && std::abs(t) < kExactLimit &&
        std::abs(step) < kExactLimit / 4096 && count <= 4096) {
        shadeLinearPad(ramp, t, step, count, out);
        return;
    }
    for (int i = 0; i < count; ++i, t += step)
        out[i] = ramp[rampIndex<spread>(t)];
}

// A linear gradient whose ramp position does not change down the stage (a
// horizontal gradient, the usual background) shades every row alike. Each
// thread keeps the last span it shaded once its start position, step and
// ramp came up twice in a row, and copies it while they keep coming. The
// ramp's entries are compared, not just its address: ramp pools are rebuilt
// every frame.
class LinearRowCache {
public:
    static constexpr int kMaxPixels = 4096;

    // Copies the span into `out` when it is held; otherwise notes the key.
    bool lookup(const uint32_t* ramp, int64_t t, int64_t step, swf::SpreadMode spread, int count,
                uint32_t* out)
    {
        const bool sameKey = ramp == m_ramp && t == m_t && step == m_step && spread == m_spread;
        if (!sameKey) {
            m_ramp = ramp, m_t = t, m_step = step, m_spread = spread;
            m_count = 0;
            m_repeated = false;
            return false;
        }
        m_repeated = true;
        if (count > m_count || std::memcmp(ramp, m_rampEntries.data(), 256 * 4) != 0)
            return false;
        std::memcpy(out, m_pixels.data(), size_t(count) * 4);
        return true;
    }

    // Keeps a span just shaded after a missed lookup, if its key repeated.
    void keep(const uint32_t* ramp, int count, const uint32_t* pixels)
    {
        if (!m_repeated || count > kMaxPixels)
            return;
        std::memcpy(m_rampEntries.data(), ramp, 256 * 4);
        m_pixels.assign(pixels, pixels + count);
        m_count = count;
    }

private:
    const uint32_t* m_ramp = nullptr;
    int64_t m_t = 0, m_step = 0;
    swf::SpreadMode m_spread = swf::SpreadMode::Pad;
    bool m_repeated = false;
    int m_count = 0; // pixels held
    std::array<uint32_t, 256> m_rampEntries{};
    std::vector<uint32_t> m_pixels;
};

template <swf::SpreadMode spread>
void shadeLinear(const uint32_t* ramp, double u, double du, int skip, int count, uint32_t* out)
{
    const int64_t step = toRampFixed(du);
    const int64_t t = toRampFixed(u) + step * skip;
    thread_local LinearRowCache cache;
    if (cache.lookup(ramp, t, step, spread, count, out))
        return;
    shadeLinearSpan<spread>(ramp, t, step, count, out);
    cache.keep(ramp, count, out);
}

template <swf::SpreadMode spread>
void shadeRadial(const uint32_t* ramp, double u, double v, double du, double dv, int skip,
                 int count, uint32_t* out)
{
    // Skipped pixels advance one step at a time, as drawn ones do, so each
    // pixel's position is the same sum of steps whatever the skip.
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
        // (u, v) steps as one pair of doubles: the same additions, one
        // instruction each.
        __m128d position = _mm_setr_pd(u, v);
        const __m128d step = _mm_setr_pd(du, dv);
        auto squares2 = [&] {
            const __m128d a = position;
            position = _mm_add_pd(position, step);
            const __m128d b = position;
            position = _mm_add_pd(position, step);
            const __m128d aa = _mm_mul_pd(a, a), bb = _mm_mul_pd(b, b);
            return _mm_cvtpd_ps(_mm_add_pd(_mm_unpacklo_pd(aa, bb), _mm_unpackhi_pd(aa, bb)));
        };
        auto block = [&](uint32_t* pixels) {
            const __m128 low = squares2();
            const __m128 distance = _mm_sqrt_ps(_mm_movelh_ps(low, squares2()));
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
            pixels[0] = ramp[indices[0]];
            pixels[1] = ramp[indices[1]];
            pixels[2] = ramp[indices[2]];
            pixels[3] = ramp[indices[3]];
        };
        for (; i + 4 <= count; i += 4)
            block(out + i);
        u = _mm_cvtsd_f64(position);
        v = _mm_cvtsd_f64(_mm_unpackhi_pd(position, position));
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
