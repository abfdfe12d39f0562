// BitmapData: drawing into a bitmap (draw), bitmaps from the movie's
// library (loadBitmap), hit tests and the filter entry points.
#include "bitmap_p.h"
#include "clip_p.h"
#include "filters_p.h"
#include "geom_p.h"

#include "raster/filters.h"

#include <cmath>

namespace zf::avm1::bitmap {

namespace {

// Source over destination for one premultiplied pixel.
uint32_t over(uint32_t src, uint32_t dst)
{
    uint32_t inverse = 255 - (src >> 24);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t c = (src >> shift & 0xFF) + ((dst >> shift & 0xFF) * inverse + 127) / 255;
        out |= std::min<uint32_t>(c, 255) << shift;
    }
    return out;
}

uint32_t transformColor(uint32_t straight, const ColorTransform& cx)
{
    Rgba c{uint8_t(straight >> 16), uint8_t(straight >> 8), uint8_t(straight),
           uint8_t(straight >> 24)};
    c = cx.apply(c);
    return uint32_t(c.a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

// Composites `source` (premultiplied RGBA rows) into the target through
// `matrix` (source pixels to target pixels), sampling the nearest source
// pixel, inside `clip` (target pixels).
void composite(BitmapDataObject& target, const raster::Bitmap& source, const Matrix& matrix,
               const ColorTransform& cx, IntRect clip)
{
    Bounds box = transformBounds(matrix, Bounds{0, 0, double(source.width), double(source.height)});
    if (box.empty()) {
        return;
    }
    int left = std::max({clip.x, 0, int(std::floor(std::max(box.xMin, -1e9)))});
    int top = std::max({clip.y, 0, int(std::floor(std::max(box.yMin, -1e9)))});
    int right = int(std::min<int64_t>({int64_t(clip.x) + clip.width, target.width(),
                                       int64_t(std::ceil(std::min(box.xMax, 1e9)))}));
    int bottom = int(std::min<int64_t>({int64_t(clip.y) + clip.height, target.height(),
                                        int64_t(std::ceil(std::min(box.yMax, 1e9)))}));
    Matrix inverse = matrix.inverted();
    bool identityColor = cx.isIdentity();
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            Point p = inverse.apply({x + 0.5, y + 0.5});
            int sx = int(std::floor(p.x)), sy = int(std::floor(p.y));
            if (sx < 0 || sy < 0 || sx >= source.width || sy >= source.height) {
                continue;
            }
            const uint8_t* s = &source.pixels[(size_t(sy) * size_t(source.width) + size_t(sx)) * 4];
            uint32_t pixel =
                uint32_t(s[3]) << 24 | uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
            if (!identityColor) {
                pixel = premultiply(transformColor(unpremultiply(pixel), cx));
            }
            uint32_t out = over(pixel, target.premultiplied(x, y));
            if (!target.transparent()) {
                out |= 0xFF000000u;
            }
            target.setPremultiplied(x, y, out);
        }
    }
}

// Renders a display object (and its children) into a premultiplied buffer
// the size of the target, with `matrix` mapping its pixels to the target's.
std::optional<raster::Bitmap> renderClip(Vm& vm, Object* clip, const Matrix& matrix,
                                         const ColorTransform& cx, int width, int height)
{
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    display::DisplayObject* object = runner ? runner->displayOf(clip) : nullptr;
    if (!object) {
        return std::nullopt;
    }
    raster::Bitmap buffer;
    buffer.width = width;
    buffer.height = height;
    buffer.pixels.assign(size_t(width) * size_t(height) * 4, 0);
    raster::Renderer renderer;
    raster::Surface surface{buffer.pixels.data(), width, height, width * 4};
    raster::FrameOptions options;
    options.background = Rgba{0, 0, 0, 0};
    renderer.begin(surface, options);
    // Clip content is in twips; the draw matrix works in pixels.
    Matrix toPixels = matrix * Matrix::scale(1 / kTwipsPerPixel, 1 / kTwipsPerPixel);
    runner->stage().renderObject(*object, renderer, toPixels, cx);
    renderer.finish();
    return buffer;
}

Value draw(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.empty()) {
        return Value(Invalid);
    }
    Matrix matrix;
    if (arg(args, 1).isObject()) {
        matrix = geom::matrixOf(vm, args[1]);
    }
    ColorTransform cx;
    if (arg(args, 2).isObject()) {
        cx = geom::toFixed(geom::colorTransformOf(vm, args[2]));
    }
    IntRect clip{0, 0, data->width(), data->height()};
    if (std::optional<IntRect> rect = rectFrom(vm, arg(args, 4))) {
        clip = *rect;
    }
    for (double v : {matrix.a, matrix.b, matrix.c, matrix.d, matrix.tx, matrix.ty}) {
        if (!std::isfinite(v)) {
            return Value(0);
        }
    }
    if (BitmapDataObject* source = from(args[0])) {
        if (source->disposed()) {
            return Value(Invalid);
        }
        // Copy first: the source may be the target.
        raster::Bitmap pixels = *source->bitmap();
        composite(*data, pixels, matrix, cx, clip);
        return Value(0);
    }
    if (Object* clipObject = args[0].object()) {
        if (auto buffer = renderClip(vm, clipObject, matrix, cx, data->width(), data->height())) {
            composite(*data, *buffer, Matrix{}, ColorTransform{}, clip);
        }
    }
    return Value(0);
}

Value loadBitmap(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    if (!runner || args.empty()) {
        return {};
    }
    const movie::MovieDefinition& movie = runner->stage().movie();
    std::optional<uint16_t> id = movie.exportedCharacter(vm.toString(args[0]));
    const raster::Bitmap* decoded = id ? movie.bitmap(*id) : nullptr;
    if (!decoded || !sizeAllowed(10, decoded->width, decoded->height)) {
        return {};
    }
    auto* result = vm.heap().make<BitmapDataObject>(data.object(), 1, 1, true, 0);
    result->adopt(std::make_shared<raster::Bitmap>(*decoded), true);
    return Value(result);
}

Value hitTest(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 3) {
        return Value(Invalid);
    }
    int ox, oy;
    pointFrom(vm, args[0], ox, oy);
    uint32_t threshold = toColor(vm, args[1]) & 0xFF;
    const Value& second = args[2];
    auto opaqueAt = [&](int x, int y) {
        return data->contains(x, y) && (data->premultiplied(x, y) >> 24) >= threshold;
    };
    if (std::optional<IntRect> rect = rectFrom(vm, second)) {
        // Only the part over the bitmap can hit.
        int left = std::max(rect->x, ox), top = std::max(rect->y, oy);
        int right =
            int(std::min<int64_t>(int64_t(rect->x) + rect->width, int64_t(ox) + data->width()));
        int bottom =
            int(std::min<int64_t>(int64_t(rect->y) + rect->height, int64_t(oy) + data->height()));
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                if (opaqueAt(x - ox, y - oy)) {
                    return Value(true);
                }
            }
        }
        return Value(false);
    }
    int px, py;
    pointFrom(vm, second, px, py);
    return Value(opaqueAt(px - ox, py - oy));
}

// The filtered source rectangle, read with as much of the source around
// it as the filter reaches (capped), so that blurs and shadows near its
// edges see the neighbouring pixels.
raster::Bitmap filteredBlock(const raster::Bitmap& source, const IntRect& rect,
                             const std::optional<swf::Filter>& filter)
{
    constexpr int kMaxReach = 512;
    constexpr int64_t kMaxPixels = int64_t(1) << 25;
    raster::FilterMargin m = filter ? raster::filterMargin(*filter) : raster::FilterMargin{};
    m.left = std::min(m.left, kMaxReach);
    m.top = std::min(m.top, kMaxReach);
    m.right = std::min(m.right, kMaxReach);
    m.bottom = std::min(m.bottom, kMaxReach);
    if (int64_t(rect.width + m.left + m.right) * (rect.height + m.top + m.bottom) > kMaxPixels)
        m = {};
    raster::Bitmap block;
    block.width = rect.width + m.left + m.right;
    block.height = rect.height + m.top + m.bottom;
    block.pixels.assign(size_t(block.width) * size_t(block.height) * 4, 0);
    for (int y = 0; y < block.height; ++y) {
        const int sy = rect.y - m.top + y;
        for (int x = 0; x < block.width; ++x) {
            const int sx = rect.x - m.left + x;
            if (sx < 0 || sy < 0 || sx >= source.width || sy >= source.height)
                continue;
            std::copy_n(&source.pixels[(size_t(sy) * size_t(source.width) + size_t(sx)) * 4], 4,
                        &block.pixels[(size_t(y) * size_t(block.width) + size_t(x)) * 4]);
        }
    }
    if (filter)
        raster::applyFilter(block, *filter);
    // Only the rectangle itself is written back.
    raster::Bitmap out;
    out.width = rect.width;
    out.height = rect.height;
    out.pixels.resize(size_t(rect.width) * size_t(rect.height) * 4);
    for (int y = 0; y < rect.height; ++y)
        std::copy_n(&block.pixels[(size_t(y + m.top) * size_t(block.width) + size_t(m.left)) * 4],
                    size_t(rect.width) * 4, &out.pixels[size_t(y) * size_t(rect.width) * 4]);
    return out;
}

// applyFilter(source, sourceRect, destPoint, filter): the source rectangle
// filtered, written at the destination point. A displacement map (which
// has no bitmap form yet) or a value that is no filter copies the pixels
// unchanged.
Value applyFilter(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data || args.size() < 4) {
        return Value(Invalid);
    }
    BitmapDataObject* source = from(args[0]);
    std::optional<IntRect> rect = rectFrom(vm, args[1]);
    if (!source || source->disposed() || !rect) {
        return Value(Invalid);
    }
    int dx, dy;
    pointFrom(vm, args[2], dx, dy);
    if (clipCopy(*rect, dx, dy, source->width(), source->height(), data->width(), data->height())) {
        std::optional<swf::Filter> filter;
        if (FilterObject* object = asFilter(args[3].object())) {
            filter = filterToDisplay(object->data);
        }
        const raster::Bitmap pixels = filteredBlock(*source->bitmap(), *rect, filter);
        for (int y = 0; y < rect->height; ++y) {
            for (int x = 0; x < rect->width; ++x) {
                const uint8_t* s =
                    &pixels.pixels[(size_t(y) * size_t(pixels.width) + size_t(x)) * 4];
                data->setPremultiplied(dx + x, dy + y,
                                       uint32_t(s[3]) << 24 | uint32_t(s[0]) << 16 |
                                           uint32_t(s[1]) << 8 | s[2]);
            }
        }
    }
    return Value(0);
}

Value generateFilterRect(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!live(self) || args.size() < 2) {
        return Value(Invalid);
    }
    std::optional<IntRect> rect = rectFrom(vm, args[0]);
    if (!rect) {
        return Value(Invalid);
    }
    return geom::makeRectangle(vm, rect->x, rect->y, rect->width, rect->height);
}

// attachBitmap(bitmap, depth, pixelSnapping, smoothing): shows the
// bitmap's live pixels in the clip; later changes to the bitmap show too.
Value attachBitmap(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    display::DisplayObject* object = runner ? runner->displayOf(self) : nullptr;
    display::MovieClip* clip = object ? object->asMovieClip() : nullptr;
    BitmapDataObject* data = from(arg(args, 0));
    if (!clip || !data || data->disposed() || args.size() < 2) {
        return {};
    }
    double depth = vm.toNumber(args[1]);
    if (!std::isfinite(depth) || depth < -16384 || depth > 2130690044) {
        return {};
    }
    clip->attachBitmap(data->bitmap(), int(depth) + display::kScriptDepthOffset,
                       vm.toBoolean(arg(args, 3)));
    return {};
}

} // namespace

void installClipBitmapMethods(Vm& vm, Object* movieClipProto)
{
    vm.defineMethod(movieClipProto, "attachBitmap", attachBitmap);
}

void installDrawOps(Vm& vm, Object* proto, Object* ctor)
{
    vm.defineMethod(proto, "draw", draw);
    vm.defineMethod(proto, "hitTest", hitTest);
    vm.defineMethod(proto, "applyFilter", applyFilter);
    vm.defineMethod(proto, "generateFilterRect", generateFilterRect);
    vm.defineMethod(ctor, "loadBitmap", loadBitmap, Value(proto));
}

} // namespace zf::avm1::bitmap
