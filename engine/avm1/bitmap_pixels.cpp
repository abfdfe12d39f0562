// BitmapData: single pixels, filled areas, scrolling, copying and colour
// searches. Methods answer -1 when called with too few arguments or on a
// disposed bitmap, and 0 when they did their work.
#include "bitmap_p.h"
#include "geom_p.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace zf::avm1::bitmap {

namespace {

Value getPixel(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 2) {
        return Value(Invalid);
    }
    int x = toCoord(vm, args[0]);
    int y = toCoord(vm, args[1]);
    if (!data->contains(x, y)) {
        return Value(0);
    }
    return Value(double(data->pixel(x, y) & 0xFFFFFF));
}

Value getPixel32(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 2) {
        return Value(Invalid);
    }
    int x = toCoord(vm, args[0]);
    int y = toCoord(vm, args[1]);
    if (!data->contains(x, y)) {
        return Value(0);
    }
    return Value(double(int32_t(data->pixel(x, y))));
}

Value setPixel(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 3) {
        return Value(Invalid);
    }
    int x = toCoord(vm, args[0]);
    int y = toCoord(vm, args[1]);
    uint32_t color = toColor(vm, args[2]);
    if (data->contains(x, y)) {
        // The pixel keeps its alpha.
        uint32_t alpha = data->pixel(x, y) & 0xFF000000u;
        data->setPixel(x, y, alpha | (color & 0xFFFFFF));
    }
    return Value(0);
}

Value setPixel32(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 3) {
        return Value(Invalid);
    }
    int x = toCoord(vm, args[0]);
    int y = toCoord(vm, args[1]);
    uint32_t color = toColor(vm, args[2]);
    if (data->contains(x, y)) {
        data->setPixel(x, y, color);
    }
    return Value(0);
}

// The part of `rect` inside the bitmap; false when nothing is.
bool clipToBitmap(IntRect& rect, const BitmapDataObject& data)
{
    int dx = rect.x, dy = rect.y;
    IntRect source{0, 0, rect.width, rect.height};
    if (!clipCopy(source, dx, dy, rect.width, rect.height, data.width(), data.height())) {
        return false;
    }
    rect = {dx, dy, source.width, source.height};
    return true;
}

Value fillRect(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 2) {
        return Value(Invalid);
    }
    std::optional<IntRect> rect = rectFrom(vm, args[0]);
    if (!rect) {
        return Value(Invalid);
    }
    uint32_t color = toColor(vm, args[1]);
    if (clipToBitmap(*rect, *data)) {
        for (int y = rect->y; y < rect->y + rect->height; ++y) {
            for (int x = rect->x; x < rect->x + rect->width; ++x) {
                data->setPixel(x, y, color);
            }
        }
    }
    return Value(0);
}

Value floodFill(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 3) {
        return Value(Invalid);
    }
    int x = toCoord(vm, args[0]);
    int y = toCoord(vm, args[1]);
    uint32_t color = toColor(vm, args[2]);
    if (!data->contains(x, y)) {
        return Value(0);
    }
    uint32_t from = data->premultiplied(x, y);
    data->setPixel(x, y, color);
    uint32_t to = data->premultiplied(x, y);
    if (from == to) {
        return Value(0);
    }
    // Four-connected fill with an explicit stack (no recursion).
    std::vector<std::pair<int, int>> pending{{x, y}};
    while (!pending.empty()) {
        auto [px, py] = pending.back();
        pending.pop_back();
        const std::pair<int, int> neighbours[] = {
            {px - 1, py}, {px + 1, py}, {px, py - 1}, {px, py + 1}};
        for (auto [nx, ny] : neighbours) {
            if (data->contains(nx, ny) && data->premultiplied(nx, ny) == from) {
                data->setPremultiplied(nx, ny, to);
                pending.emplace_back(nx, ny);
            }
        }
    }
    return Value(0);
}

Value scroll(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 2) {
        return Value(Invalid);
    }
    int dx = toCoord(vm, args[0]);
    int dy = toCoord(vm, args[1]);
    int width = data->width();
    int height = data->height();
    IntRect rect{0, 0, width, height};
    int tx = dx, ty = dy;
    if (!clipCopy(rect, tx, ty, width, height, width, height)) {
        return Value(0);
    }
    // Uncovered pixels keep their old values; copy in the order that never
    // reads a pixel already overwritten.
    raster::Bitmap& bitmap = *data->bitmap();
    size_t rowBytes = size_t(rect.width) * 4;
    auto copyRow = [&](int row) {
        const uint8_t* from = &bitmap.pixels[(size_t(rect.y + row) * width + rect.x) * 4];
        uint8_t* to = &bitmap.pixels[(size_t(ty + row) * width + tx) * 4];
        std::memmove(to, from, rowBytes);
    };
    if (dy > 0) {
        for (int row = rect.height - 1; row >= 0; --row) {
            copyRow(row);
        }
    } else {
        for (int row = 0; row < rect.height; ++row) {
            copyRow(row);
        }
    }
    return Value(0);
}

Value copyPixels(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 3) {
        return Value(Invalid);
    }
    BitmapDataObject* source = from(args[0]);
    if (!source) {
        return Value(-2);
    }
    if (source->disposed()) {
        return Value(-3);
    }
    std::optional<IntRect> rect = rectFrom(vm, args[1]);
    if (!rect) {
        return Value(-4);
    }
    int dx, dy;
    pointFrom(vm, args[2], dx, dy);
    BitmapDataObject* alphaSource = from(arg(args, 3));
    if (alphaSource && alphaSource->disposed()) {
        alphaSource = nullptr;
    }
    int ax = 0, ay = 0;
    if (alphaSource) {
        pointFrom(vm, arg(args, 4), ax, ay);
    }
    bool mergeAlpha = vm.toBoolean(arg(args, 5));
    int offsetX = rect->x, offsetY = rect->y;
    if (!clipCopy(*rect, dx, dy, source->width(), source->height(), data->width(),
                  data->height())) {
        return Value(0);
    }
    // Read the whole block first: the source may be this bitmap.
    std::vector<uint32_t> block;
    block.reserve(size_t(rect->width) * size_t(rect->height));
    for (int y = 0; y < rect->height; ++y) {
        for (int x = 0; x < rect->width; ++x) {
            uint32_t p = source->premultiplied(rect->x + x, rect->y + y);
            if (alphaSource) {
                int mx = ax + rect->x + x - offsetX, my = ay + rect->y + y - offsetY;
                uint32_t mask =
                    alphaSource->contains(mx, my) ? alphaSource->premultiplied(mx, my) >> 24 : 0;
                uint32_t scaled = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    scaled |= ((p >> shift & 0xFF) * mask + 127) / 255 << shift;
                }
                p = scaled;
            }
            block.push_back(p);
        }
    }
    size_t i = 0;
    for (int y = 0; y < rect->height; ++y) {
        for (int x = 0; x < rect->width; ++x, ++i) {
            uint32_t p = block[i];
            int px = dx + x, py = dy + y;
            // Without mergeAlpha the stored pixel is copied as it is, as
            // the reference does even into opaque bitmaps.
            if (mergeAlpha) {
                // Source over destination, premultiplied.
                uint32_t inverse = 255 - (p >> 24);
                uint32_t d = data->premultiplied(px, py);
                uint32_t out = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    uint32_t c = (p >> shift & 0xFF) + ((d >> shift & 0xFF) * inverse + 127) / 255;
                    out |= std::min<uint32_t>(c, 255) << shift;
                }
                p = data->transparent() ? out : (out | 0xFF000000u);
            }
            data->setPremultiplied(px, py, p);
        }
    }
    return Value(0);
}

Value getColorBoundsRect(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 2) {
        return Value(Invalid);
    }
    uint32_t mask = toColor(vm, args[0]);
    uint32_t color = toColor(vm, args[1]);
    bool findColor = args.size() > 2 ? vm.toBoolean(args[2]) : true;
    // Pixels are matched in their stored (premultiplied) form; opaque
    // bitmaps ignore alpha altogether.
    if (data->transparent()) {
        color = premultiply(color);
    } else {
        mask &= 0xFFFFFF;
        color &= 0xFFFFFF;
    }
    int minX = data->width(), minY = data->height(), maxX = -1, maxY = -1;
    for (int y = 0; y < data->height(); ++y) {
        for (int x = 0; x < data->width(); ++x) {
            bool match = (data->premultiplied(x, y) & mask) == color;
            if (match == findColor) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    // A match in the top-left pixel alone reads as no match, as scripts
    // have always seen it.
    if (maxX <= 0 && maxY <= 0) {
        return geom::makeRectangle(vm, 0, 0, 0, 0);
    }
    return geom::makeRectangle(vm, minX, minY, maxX - minX + 1, maxY - minY + 1);
}

Value colorTransform(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 2) {
        return Value(Invalid);
    }
    std::optional<IntRect> rect = rectFrom(vm, args[0]);
    // Only real ColorTransform objects are applied.
    Object* ctClass = geom::member(vm, Value(geom::package(vm, "geom")), "ColorTransform").object();
    if (!rect || !args[1].isObject() || !vm.instanceOf(args[1].object(), ctClass)) {
        return Value(Invalid);
    }
    geom::ColorTransformValues ct = geom::colorTransformOf(vm, args[1]);
    if (!clipToBitmap(*rect, *data)) {
        return Value(0);
    }
    auto apply = [](uint32_t c, double multiplier, double offset) {
        double v = std::floor(c * multiplier + offset);
        return uint32_t(std::isnan(v) ? 0 : std::clamp(v, 0.0, 255.0));
    };
    for (int y = rect->y; y < rect->y + rect->height; ++y) {
        for (int x = rect->x; x < rect->x + rect->width; ++x) {
            uint32_t p = data->pixel(x, y);
            uint32_t out = apply(p >> 24, ct.alphaMultiplier, ct.alphaOffset) << 24 |
                           apply(p >> 16 & 0xFF, ct.redMultiplier, ct.redOffset) << 16 |
                           apply(p >> 8 & 0xFF, ct.greenMultiplier, ct.greenOffset) << 8 |
                           apply(p & 0xFF, ct.blueMultiplier, ct.blueOffset);
            data->setPixel(x, y, out);
        }
    }
    return Value(0);
}

} // namespace

void installPixelOps(Vm& vm, Object* proto)
{
    struct Method {
        const char* name;
        NativeFn fn;
    };
    for (const Method& m : {Method{"getPixel", getPixel},
                            {"getPixel32", getPixel32},
                            {"setPixel", setPixel},
                            {"setPixel32", setPixel32},
                            {"fillRect", fillRect},
                            {"floodFill", floodFill},
                            {"scroll", scroll},
                            {"copyPixels", copyPixels},
                            {"getColorBoundsRect", getColorBoundsRect},
                            {"colorTransform", colorTransform}}) {
        vm.defineMethod(proto, m.name, m.fn);
    }
}

} // namespace zf::avm1::bitmap
