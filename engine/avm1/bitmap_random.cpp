// BitmapData: seeded random pixels (noise, pixelDissolve, perlinNoise).
//
// Scripts compare the exact pixels these produce for a seed, so the
// generator is the classic multiplicative congruential one
// (state * 16807 mod 2^31 - 1), drawn once per channel in pixel order.
#include "bitmap_p.h"

#include <cmath>
#include <numeric>
#include <vector>

namespace zf::avm1::bitmap {

namespace {

class Random {
public:
    explicit Random(int32_t seed)
    {
        // Zero and negative seeds fold onto the positive range.
        int64_t s = seed <= 0 ? 1 - int64_t(seed) : int64_t(seed);
        m_state = uint64_t(s % Modulus);
        if (m_state == 0) {
            m_state = 1;
        }
    }
    uint32_t next()
    {
        m_state = m_state * 16807 % Modulus;
        return uint32_t(m_state);
    }
    // A value in low..high (low when the range is empty).
    uint32_t between(int low, int high)
    {
        uint32_t r = next();
        if (high < low) {
            return uint32_t(low);
        }
        return uint32_t(low + int64_t(r % uint32_t(high - low + 1)));
    }

private:
    static constexpr uint64_t Modulus = 2147483647;
    uint64_t m_state;
};

Value noise(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.empty()) {
        return Value(Invalid);
    }
    Random random(toInt32(vm.toNumber(args[0])));
    int low = args.size() > 1 ? std::clamp(toCoord(vm, args[1]), 0, 255) : 0;
    int high = args.size() > 2 ? std::clamp(toCoord(vm, args[2]), 0, 255) : 255;
    uint32_t channels = args.size() > 3 ? toColor(vm, args[3]) : 7;
    bool gray = vm.toBoolean(arg(args, 4));
    for (int y = 0; y < data->height(); ++y) {
        for (int x = 0; x < data->width(); ++x) {
            uint32_t r = 0, g = 0, b = 0, a = 255;
            if (gray) {
                r = g = b = random.between(low, high);
            } else {
                if (channels & 1) {
                    r = random.between(low, high);
                }
                if (channels & 2) {
                    g = random.between(low, high);
                }
                if (channels & 4) {
                    b = random.between(low, high);
                }
            }
            if (channels & 8) {
                a = random.between(low, high);
            }
            data->setPixel(x, y, a << 24 | r << 16 | g << 8 | b);
        }
    }
    return Value(0);
}

// Replaces a seeded choice of pixels with the source's (or with a colour
// when the source is this bitmap); returns the seed to continue with.
Value pixelDissolve(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 3) {
        return Value(Invalid);
    }
    BitmapDataObject* source = from(args[0]);
    if (!source || source->disposed()) {
        return Value(-2);
    }
    std::optional<IntRect> rect = rectFrom(vm, args[1]);
    if (!rect) {
        return Value(-4);
    }
    int dx, dy;
    pointFrom(vm, args[2], dx, dy);
    int32_t seed = toInt32(vm.toNumber(arg(args, 3)));
    double count = args.size() > 4 ? vm.toNumber(args[4]) : 0;
    uint32_t fill = toColor(vm, arg(args, 5));
    if (!clipCopy(*rect, dx, dy, source->width(), source->height(), data->width(),
                  data->height())) {
        return Value(double(seed));
    }
    size_t total = size_t(rect->width) * size_t(rect->height);
    size_t wanted = std::isfinite(count) && count > 0 ? std::min(total, size_t(count)) : 0;
    // A seeded shuffle picks distinct pixels.
    std::vector<uint32_t> order(total);
    std::iota(order.begin(), order.end(), 0);
    Random random(seed);
    for (size_t i = 0; i < wanted; ++i) {
        size_t j = i + random.next() % (total - i);
        std::swap(order[i], order[j]);
        int x = int(order[i] % uint32_t(rect->width));
        int y = int(order[i] / uint32_t(rect->width));
        uint32_t p = source == data ? fill : source->pixel(rect->x + x, rect->y + y);
        data->setPixel(dx + x, dy + y, p);
    }
    return Value(double(int32_t(random.next())));
}

// Smooth value noise: octaves of bilinear-interpolated lattice values.
// FIXME: the lattice and its interpolation are ours, so seeded results do
// not match the reference pixel for pixel.
Value perlinNoise(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 6) {
        return Value(Invalid);
    }
    double baseX = std::max(1.0, std::fabs(vm.toNumber(args[0])));
    double baseY = std::max(1.0, std::fabs(vm.toNumber(args[1])));
    // Octaves beyond a budget per pixel would stall the frame without
    // changing the picture visibly.
    int octaves = std::clamp(toCoord(vm, args[2]), 0, 16);
    size_t pixels = size_t(data->width()) * size_t(data->height());
    while (octaves > 1 && pixels * size_t(octaves) > (size_t(1) << 26)) {
        --octaves;
    }
    Random random(toInt32(vm.toNumber(args[3])));
    uint32_t channels = args.size() > 6 ? toColor(vm, args[6]) : 7;
    bool gray = vm.toBoolean(arg(args, 7));
    constexpr int Lattice = 64;
    std::vector<double> lattice(size_t(Lattice) * Lattice * 4);
    for (double& v : lattice) {
        v = random.next() / 2147483647.0;
    }
    auto sample = [&](int channel, double x, double y) {
        int x0 = int(std::floor(x)), y0 = int(std::floor(y));
        double fx = x - x0, fy = y - y0;
        auto at = [&](int ix, int iy) {
            ix = ((ix % Lattice) + Lattice) % Lattice;
            iy = ((iy % Lattice) + Lattice) % Lattice;
            return lattice[(size_t(iy) * Lattice + size_t(ix)) * 4 + size_t(channel)];
        };
        double top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
        double bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
        return top + (bottom - top) * fy;
    };
    for (int y = 0; y < data->height(); ++y) {
        for (int x = 0; x < data->width(); ++x) {
            uint32_t values[4];
            for (int c = 0; c < 4; ++c) {
                double sum = 0, weight = 0, amplitude = 1, fx = x / baseX, fy = y / baseY;
                for (int o = 0; o < octaves; ++o) {
                    sum += sample(c, fx, fy) * amplitude;
                    weight += amplitude;
                    amplitude /= 2;
                    fx *= 2;
                    fy *= 2;
                }
                values[c] = weight > 0 ? uint32_t(std::clamp(sum / weight * 255, 0.0, 255.0)) : 0;
            }
            uint32_t r = channels & 1 ? values[0] : 0, g = channels & 2 ? values[1] : 0,
                     b = channels & 4 ? values[2] : 0, a = channels & 8 ? values[3] : 255;
            if (gray) {
                r = g = b = values[0];
            }
            data->setPixel(x, y, a << 24 | r << 16 | g << 8 | b);
        }
    }
    return Value(0);
}

} // namespace

void installRandomOps(Vm& vm, Object* proto)
{
    vm.defineMethod(proto, "noise", noise);
    vm.defineMethod(proto, "pixelDissolve", pixelDissolve);
    vm.defineMethod(proto, "perlinNoise", perlinNoise);
}

} // namespace zf::avm1::bitmap
