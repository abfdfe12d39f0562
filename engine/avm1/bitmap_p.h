// flash.display.BitmapData: the script object that owns a pixel buffer, and
// the helpers its methods share.
//
// Pixels are stored premultiplied in the renderer's own bitmap format, so a
// bitmap attached to a clip is drawn straight from the buffer that scripts
// change. Scripts see straight (unpremultiplied) ARGB; the round trip loses
// precision at low alpha exactly as scripts observe it.
#pragma once

#include "vm_p.h"

#include "raster/raster.h"

#include <memory>
#include <optional>

namespace zf::avm1 {

class BitmapDataObject : public Object {
public:
    BitmapDataObject(Object* proto, int width, int height, bool transparent, uint32_t fill);

    // Null once disposed.
    const std::shared_ptr<raster::Bitmap>& bitmap() const { return m_bitmap; }
    bool disposed() const { return !m_bitmap; }
    void dispose() { m_bitmap.reset(); }
    int width() const { return m_bitmap ? m_bitmap->width : 0; }
    int height() const { return m_bitmap ? m_bitmap->height : 0; }
    bool transparent() const { return m_transparent; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width() && y < height(); }

    // Premultiplied ARGB, the stored form.
    uint32_t premultiplied(int x, int y) const;
    void setPremultiplied(int x, int y, uint32_t argb);
    // Straight ARGB as scripts see it; opaque bitmaps force alpha to 0xFF.
    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t argb);

    // Replaces the pixels (same size or not), e.g. after loadBitmap.
    void adopt(std::shared_ptr<raster::Bitmap> bitmap, bool transparent);

private:
    std::shared_ptr<raster::Bitmap> m_bitmap;
    bool m_transparent;
};

namespace bitmap {

// What methods and properties of a disposed bitmap (or a call with too few
// arguments) answer.
constexpr double Invalid = -1;

// The bitmap a method was called on, or nullptr when it is not one or was
// disposed.
inline BitmapDataObject* live(Object* self)
{
    auto* data = dynamic_cast<BitmapDataObject*>(self);
    return data && !data->disposed() ? data : nullptr;
}

uint32_t premultiply(uint32_t argb);
uint32_t unpremultiply(uint32_t argb);

// The BitmapData behind a value, or nullptr.
BitmapDataObject* from(const Value& value);

// A pixel rectangle from a Rectangle-like object; nullopt when the value is
// not one (not an object, or a field missing).
struct IntRect {
    int x = 0, y = 0, width = 0, height = 0;
};
std::optional<IntRect> rectFrom(Vm& vm, const Value& value);
// A point from a Point-like object (missing fields read as 0).
void pointFrom(Vm& vm, const Value& value, int& x, int& y);
// Clips a copy of `rect` at (dx, dy) from a source of the given size into
// a destination of the given size; false when nothing is left.
bool clipCopy(IntRect& rect, int& dx, int& dy, int srcWidth, int srcHeight, int dstWidth,
              int dstHeight);

// Script numbers to pixel coordinates and colours.
int toCoord(Vm& vm, const Value& value);
uint32_t toColor(Vm& vm, const Value& value);

// Largest bitmap a movie of this version may create.
bool sizeAllowed(int swfVersion, double width, double height);

// Installers for the operations, split by topic.
void installPixelOps(Vm& vm, Object* proto);
void installChannelOps(Vm& vm, Object* proto);
void installRandomOps(Vm& vm, Object* proto);
void installDrawOps(Vm& vm, Object* proto, Object* ctor);
// MovieClip.prototype.attachBitmap.
void installClipBitmapMethods(Vm& vm, Object* movieClipProto);

} // namespace bitmap

} // namespace zf::avm1
