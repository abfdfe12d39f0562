// flash.display.BitmapData: a script-owned pixel buffer and its operations.
// This file holds the object itself, construction, the properties and the
// helpers the operation files share.
#include "bitmap_p.h"
#include "geom_p.h"

#include <cmath>

namespace zf::avm1 {

BitmapDataObject::BitmapDataObject(Object* proto, int width, int height, bool transparent,
                                   uint32_t fill)
    : Object(proto, Kind::Native), m_bitmap(std::make_shared<raster::Bitmap>()),
      m_transparent(transparent)
{
    m_bitmap->width = width;
    m_bitmap->height = height;
    m_bitmap->pixels.resize(size_t(width) * size_t(height) * 4);
    if (!transparent) {
        fill |= 0xFF000000u;
    }
    uint32_t stored = bitmap::premultiply(fill);
    uint8_t rgba[4] = {uint8_t(stored >> 16), uint8_t(stored >> 8), uint8_t(stored),
                       uint8_t(stored >> 24)};
    for (size_t i = 0; i < m_bitmap->pixels.size(); i += 4) {
        std::copy(rgba, rgba + 4, m_bitmap->pixels.begin() + ptrdiff_t(i));
    }
}

uint32_t BitmapDataObject::premultiplied(int x, int y) const
{
    const uint8_t* p = &m_bitmap->pixels[(size_t(y) * size_t(width()) + size_t(x)) * 4];
    return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

void BitmapDataObject::setPremultiplied(int x, int y, uint32_t argb)
{
    uint8_t* p = &m_bitmap->pixels[(size_t(y) * size_t(width()) + size_t(x)) * 4];
    p[0] = uint8_t(argb >> 16);
    p[1] = uint8_t(argb >> 8);
    p[2] = uint8_t(argb);
    p[3] = uint8_t(argb >> 24);
}

uint32_t BitmapDataObject::pixel(int x, int y) const
{
    // Opaque bitmaps hand back what they store, even the rare pixel with
    // alpha below 0xFF that a raw copy put there.
    return m_transparent ? bitmap::unpremultiply(premultiplied(x, y)) : premultiplied(x, y);
}

void BitmapDataObject::setPixel(int x, int y, uint32_t argb)
{
    if (!m_transparent) {
        argb |= 0xFF000000u;
    }
    setPremultiplied(x, y, bitmap::premultiply(argb));
}

void BitmapDataObject::adopt(std::shared_ptr<raster::Bitmap> bitmap, bool transparent)
{
    m_bitmap = std::move(bitmap);
    m_transparent = transparent;
}

namespace bitmap {

uint32_t premultiply(uint32_t argb)
{
    uint32_t a = argb >> 24;
    if (a == 255) {
        return argb;
    }
    auto channel = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | channel(argb >> 16 & 0xFF) << 16 | channel(argb >> 8 & 0xFF) << 8 |
           channel(argb & 0xFF);
}

uint32_t unpremultiply(uint32_t argb)
{
    uint32_t a = argb >> 24;
    if (a == 255) {
        return argb;
    }
    if (a == 0) {
        return 0;
    }
    // Rounds to nearest with ties going down, which is what the stored
    // values read back as.
    auto channel = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + (a - 1) / 2) / a); };
    return a << 24 | channel(argb >> 16 & 0xFF) << 16 | channel(argb >> 8 & 0xFF) << 8 |
           channel(argb & 0xFF);
}

BitmapDataObject* from(const Value& value)
{
    return dynamic_cast<BitmapDataObject*>(value.object());
}

std::optional<IntRect> rectFrom(Vm& vm, const Value& value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    double fields[4];
    const char* names[] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        Value v = geom::member(vm, value, names[i]);
        if (v.isUndefined()) {
            return std::nullopt;
        }
        fields[i] = vm.toNumber(v);
    }
    auto toInt = [](double d) { return std::isfinite(d) ? int(std::clamp(d, -1e9, 1e9)) : 0; };
    return IntRect{toInt(fields[0]), toInt(fields[1]), toInt(fields[2]), toInt(fields[3])};
}

void pointFrom(Vm& vm, const Value& value, int& x, int& y)
{
    x = toCoord(vm, geom::member(vm, value, "x"));
    y = toCoord(vm, geom::member(vm, value, "y"));
}

bool clipCopy(IntRect& rect, int& dx, int& dy, int srcWidth, int srcHeight, int dstWidth,
              int dstHeight)
{
    // Keep every sum below in range whatever the script passed.
    constexpr int Limit = 1 << 29;
    for (int* v : {&rect.x, &rect.y, &rect.width, &rect.height, &dx, &dy}) {
        *v = std::clamp(*v, -Limit, Limit);
    }
    // Clip against the source...
    if (rect.x < 0) {
        rect.width += rect.x;
        dx -= rect.x;
        rect.x = 0;
    }
    if (rect.y < 0) {
        rect.height += rect.y;
        dy -= rect.y;
        rect.y = 0;
    }
    rect.width = std::min(rect.width, srcWidth - rect.x);
    rect.height = std::min(rect.height, srcHeight - rect.y);
    // ...then against the destination.
    if (dx < 0) {
        rect.width += dx;
        rect.x -= dx;
        dx = 0;
    }
    if (dy < 0) {
        rect.height += dy;
        rect.y -= dy;
        dy = 0;
    }
    rect.width = std::min(rect.width, dstWidth - dx);
    rect.height = std::min(rect.height, dstHeight - dy);
    return rect.width > 0 && rect.height > 0;
}

int toCoord(Vm& vm, const Value& value)
{
    return toInt32(vm.toNumber(value));
}

uint32_t toColor(Vm& vm, const Value& value)
{
    return toUint32(vm.toNumber(value));
}

bool sizeAllowed(int swfVersion, double width, double height)
{
    if (!(width >= 1 && height >= 1)) {
        return false;
    }
    if (swfVersion < 10) {
        return width <= 2880 && height <= 2880;
    }
    return width <= 8191 && height <= 8191 && width * height <= 16777215;
}

} // namespace bitmap

namespace {

using bitmap::Invalid;
using bitmap::live;

Value construct(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    if (args.size() < 2) {
        return {};
    }
    double width = std::trunc(vm.toNumber(args[0]));
    double height = std::trunc(vm.toNumber(args[1]));
    if (!bitmap::sizeAllowed(vm.swfVersion(), width, height)) {
        return {};
    }
    bool transparent = args.size() > 2 ? vm.toBoolean(args[2]) : true;
    uint32_t fill = args.size() > 3 ? bitmap::toColor(vm, args[3]) : 0xFFFFFFFFu;
    return Value(vm.heap().make<BitmapDataObject>(data.object(), int(width), int(height),
                                                  transparent, fill));
}

Value widthOf(Vm&, Object* self, std::span<const Value>, const Value&)
{
    BitmapDataObject* data = live(self);
    return data ? Value(double(data->width())) : Value(Invalid);
}

Value heightOf(Vm&, Object* self, std::span<const Value>, const Value&)
{
    BitmapDataObject* data = live(self);
    return data ? Value(double(data->height())) : Value(Invalid);
}

Value transparentOf(Vm&, Object* self, std::span<const Value>, const Value&)
{
    BitmapDataObject* data = live(self);
    return data ? Value(data->transparent()) : Value(Invalid);
}

Value rectangleOf(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    BitmapDataObject* data = live(self);
    return data ? geom::makeRectangle(vm, 0, 0, data->width(), data->height()) : Value(Invalid);
}

Value dispose(Vm&, Object* self, std::span<const Value>, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data) {
        return Value(Invalid);
    }
    data->dispose();
    return {};
}

Value clone(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    BitmapDataObject* data = live(self);
    if (!data) {
        return Value(Invalid);
    }
    auto* copy = vm.heap().make<BitmapDataObject>(data->proto(), 1, 1, data->transparent(), 0);
    copy->adopt(std::make_shared<raster::Bitmap>(*data->bitmap()), data->transparent());
    return Value(copy);
}

// A property computed by the object, visible to for..in like the
// reference's (they are not hidden).
void defineGetter(Vm& vm, Object* on, std::string_view name, NativeFn getter)
{
    Str key = vm.intern(name);
    Property& property = on->properties().add(key, Value(), vm.fold(), 0);
    property.getter = vm.newNative(getter);
}

} // namespace

void installBitmapBuiltins(Vm& vm)
{
    Object* package = geom::package(vm, "display");
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.newNative(construct, Value(proto));
    ctor->constructNative = construct;
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    defineGetter(vm, proto, "width", widthOf);
    defineGetter(vm, proto, "height", heightOf);
    defineGetter(vm, proto, "transparent", transparentOf);
    defineGetter(vm, proto, "rectangle", rectangleOf);
    vm.defineMethod(proto, "dispose", dispose);
    vm.defineMethod(proto, "clone", clone);
    int channel = 1;
    for (const char* name : {"RED_CHANNEL", "GREEN_CHANNEL", "BLUE_CHANNEL", "ALPHA_CHANNEL"}) {
        vm.defineValue(ctor, name, Value(channel), 0);
        channel <<= 1;
    }
    bitmap::installPixelOps(vm, proto);
    bitmap::installChannelOps(vm, proto);
    bitmap::installRandomOps(vm, proto);
    bitmap::installDrawOps(vm, proto, ctor);
    vm.defineValue(package, "BitmapData", ctor);
}

} // namespace zf::avm1
