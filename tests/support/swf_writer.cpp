#include "swf_writer_p.h"

#include <bit>
#include <cmath>

namespace zf::test {

void Writer::f32(float v)
{
    u32(std::bit_cast<uint32_t>(v));
}

void BitWriter::ub(int bits, uint32_t value)
{
    for (int i = bits - 1; i >= 0; --i) {
        m_current = m_current << 1 | ((value >> i) & 1);
        if (++m_used == 8) {
            m_out.push_back(uint8_t(m_current));
            m_current = 0;
            m_used = 0;
        }
    }
}

void BitWriter::flush()
{
    if (m_used > 0) {
        m_out.push_back(uint8_t(m_current << (8 - m_used)));
        m_current = 0;
        m_used = 0;
    }
}

int signedBits(int64_t value)
{
    int bits = 1;
    while (bits < 32 && (value < -(int64_t(1) << (bits - 1)) || value >= int64_t(1) << (bits - 1)))
        ++bits;
    return bits;
}

int unsignedBits(uint32_t value)
{
    int bits = 0;
    while (bits < 32 && (value >> bits) != 0)
        ++bits;
    return bits;
}

void writeRect(Bytes& out, const RectTwips& rect)
{
    int n = 0;
    for (int32_t v : {rect.xMin, rect.xMax, rect.yMin, rect.yMax})
        n = std::max(n, v == 0 ? 0 : signedBits(v));
    BitWriter bits(out);
    bits.ub(5, n);
    bits.sb(n, rect.xMin);
    bits.sb(n, rect.xMax);
    bits.sb(n, rect.yMin);
    bits.sb(n, rect.yMax);
}

void writeMatrix(Bytes& out, const Matrix& m)
{
    auto fixed = [](double v) { return int32_t(std::lround(v * 65536)); };
    BitWriter bits(out);
    bool hasScale = m.a != 1 || m.d != 1;
    bits.flag(hasScale);
    if (hasScale) {
        int n = std::max(signedBits(fixed(m.a)), signedBits(fixed(m.d)));
        bits.ub(5, n);
        bits.sb(n, fixed(m.a));
        bits.sb(n, fixed(m.d));
    }
    bool hasRotate = m.b != 0 || m.c != 0;
    bits.flag(hasRotate);
    if (hasRotate) {
        int n = std::max(signedBits(fixed(m.b)), signedBits(fixed(m.c)));
        bits.ub(5, n);
        bits.sb(n, fixed(m.b));
        bits.sb(n, fixed(m.c));
    }
    int32_t tx = int32_t(std::lround(m.tx)), ty = int32_t(std::lround(m.ty));
    int n = (tx == 0 && ty == 0) ? 0 : std::max(signedBits(tx), signedBits(ty));
    bits.ub(5, n);
    bits.sb(n, tx);
    bits.sb(n, ty);
}

void writeColorTransform(Bytes& out, const ColorTransform& cx, bool withAlpha)
{
    bool hasMult =
        cx.rMul != 256 || cx.gMul != 256 || cx.bMul != 256 || (withAlpha && cx.aMul != 256);
    bool hasAdd = cx.rAdd != 0 || cx.gAdd != 0 || cx.bAdd != 0 || (withAlpha && cx.aAdd != 0);
    int n = 1;
    for (int32_t v : {cx.rMul, cx.gMul, cx.bMul, cx.aMul, cx.rAdd, cx.gAdd, cx.bAdd, cx.aAdd})
        n = std::max(n, signedBits(v));
    BitWriter bits(out);
    bits.flag(hasAdd);
    bits.flag(hasMult);
    bits.ub(4, n);
    if (hasMult) {
        bits.sb(n, cx.rMul);
        bits.sb(n, cx.gMul);
        bits.sb(n, cx.bMul);
        if (withAlpha)
            bits.sb(n, cx.aMul);
    }
    if (hasAdd) {
        bits.sb(n, cx.rAdd);
        bits.sb(n, cx.gAdd);
        bits.sb(n, cx.bAdd);
        if (withAlpha)
            bits.sb(n, cx.aAdd);
    }
}

namespace {

void filterFlags(Writer& w, bool inner, bool knockout, bool composite, bool onTop, int passes,
                 bool hasOnTop)
{
    uint8_t byte = uint8_t(inner << 7 | knockout << 6 | composite << 5);
    byte |= hasOnTop ? uint8_t(onTop << 4 | (passes & 0x0F)) : uint8_t(passes & 0x1F);
    w.u8(byte);
}

void gradientFilter(Writer& w, const swf::GradientGlowFilter& f)
{
    w.u8(uint8_t(f.colors.size()));
    for (Rgba c : f.colors)
        w.rgba(c);
    for (size_t i = 0; i < f.colors.size(); ++i)
        w.u8(i < f.ratios.size() ? f.ratios[i] : 0);
    w.fixed16(f.blurX);
    w.fixed16(f.blurY);
    w.fixed16(f.angle);
    w.fixed16(f.distance);
    w.fixed8(f.strength);
    filterFlags(w, f.inner, f.knockout, f.compositeSource, f.onTop, f.passes, true);
}

struct FilterWriter {
    Writer& w;
    void operator()(const swf::DropShadowFilter& f)
    {
        w.rgba(f.color);
        w.fixed16(f.blurX);
        w.fixed16(f.blurY);
        w.fixed16(f.angle);
        w.fixed16(f.distance);
        w.fixed8(f.strength);
        filterFlags(w, f.inner, f.knockout, f.compositeSource, false, f.passes, false);
    }
    void operator()(const swf::BlurFilter& f)
    {
        w.fixed16(f.blurX);
        w.fixed16(f.blurY);
        w.u8(uint8_t(f.passes << 3));
    }
    void operator()(const swf::GlowFilter& f)
    {
        w.rgba(f.color);
        w.fixed16(f.blurX);
        w.fixed16(f.blurY);
        w.fixed8(f.strength);
        filterFlags(w, f.inner, f.knockout, f.compositeSource, false, f.passes, false);
    }
    void operator()(const swf::BevelFilter& f)
    {
        w.rgba(f.shadowColor);
        w.rgba(f.highlightColor);
        w.fixed16(f.blurX);
        w.fixed16(f.blurY);
        w.fixed16(f.angle);
        w.fixed16(f.distance);
        w.fixed8(f.strength);
        filterFlags(w, f.inner, f.knockout, f.compositeSource, f.onTop, f.passes, true);
    }
    void operator()(const swf::GradientGlowFilter& f) { gradientFilter(w, f); }
    void operator()(const swf::ConvolutionFilter& f)
    {
        w.u8(f.matrixX);
        w.u8(f.matrixY);
        w.f32(f.divisor);
        w.f32(f.bias);
        for (float v : f.matrix)
            w.f32(v);
        w.rgba(f.defaultColor);
        w.u8(uint8_t(f.clamp << 1 | f.preserveAlpha));
    }
    void operator()(const swf::ColorMatrixFilter& f)
    {
        for (float v : f.matrix)
            w.f32(v);
    }
    void operator()(const swf::GradientBevelFilter& f) { gradientFilter(w, f); }
};

void writeColor(Writer& w, int shapeVersion, Rgba c)
{
    if (shapeVersion >= 3)
        w.rgba(c);
    else
        w.rgb(c);
}

void writeGradient(Writer& w, int shapeVersion, const swf::Gradient& g, const swf::Gradient* end)
{
    w.u8(uint8_t(uint8_t(g.spread) << 6 | uint8_t(g.interpolation) << 4 | (g.stops.size() & 15)));
    for (size_t i = 0; i < g.stops.size(); ++i) {
        w.u8(g.stops[i].ratio);
        writeColor(w, shapeVersion, g.stops[i].color);
        if (end) {
            w.u8(end->stops[i].ratio);
            writeColor(w, shapeVersion, end->stops[i].color);
        }
    }
}

} // namespace

void writeFilters(Writer& w, const std::vector<swf::Filter>& filters)
{
    w.u8(uint8_t(filters.size()));
    for (const swf::Filter& filter : filters) {
        w.u8(uint8_t(filter.index()));
        std::visit(FilterWriter{w}, filter);
    }
}

void writeFillStyle(Writer& w, int shapeVersion, const swf::FillStyle& fill,
                    const swf::FillStyle* end)
{
    w.u8(uint8_t(fill.type));
    if (fill.type == swf::FillType::Solid) {
        writeColor(w, shapeVersion, fill.color);
        if (end)
            writeColor(w, shapeVersion, end->color);
    } else if (fill.isGradient()) {
        writeMatrix(w.out, fill.matrix);
        if (end)
            writeMatrix(w.out, end->matrix);
        writeGradient(w, shapeVersion, fill.gradient, end ? &end->gradient : nullptr);
        if (fill.type == swf::FillType::FocalGradient) {
            w.fixed8(fill.gradient.focalPoint);
            if (end)
                w.fixed8(end->gradient.focalPoint);
        }
    } else {
        w.u16(fill.bitmapId);
        writeMatrix(w.out, fill.matrix);
        if (end)
            writeMatrix(w.out, end->matrix);
    }
}

void writeLineStyle(Writer& w, int shapeVersion, const swf::LineStyle& line,
                    const swf::LineStyle* end)
{
    w.u16(line.width);
    if (end)
        w.u16(end->width);
    if (shapeVersion < 4) {
        writeColor(w, shapeVersion, line.color);
        if (end)
            writeColor(w, shapeVersion, end->color);
        return;
    }
    {
        BitWriter bits(w.out);
        bits.ub(2, uint32_t(line.startCap));
        bits.ub(2, uint32_t(line.join));
        bits.flag(line.hasFill);
        bits.flag(line.noHScale);
        bits.flag(line.noVScale);
        bits.flag(line.pixelHinting);
        bits.ub(5, 0);
        bits.flag(line.noClose);
        bits.ub(2, uint32_t(line.endCap));
    }
    if (line.join == swf::JoinStyle::Miter)
        w.u16(uint16_t(std::lround(line.miterLimit * 256)));
    if (line.hasFill) {
        writeFillStyle(w, shapeVersion, line.fill, end ? &end->fill : nullptr);
    } else {
        w.rgba(line.color);
        if (end)
            w.rgba(end->color);
    }
}

void writeStyleCount(Writer& w, size_t count)
{
    if (count < 0xFF) {
        w.u8(uint8_t(count));
    } else {
        w.u8(0xFF);
        w.u16(uint16_t(count));
    }
}

} // namespace zf::test
