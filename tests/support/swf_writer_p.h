// Byte and bit writers behind the SWF builder.
#pragma once

#include "swf_builder.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <tuple>

namespace zf::test {

class Writer {
public:
    Bytes out;

    void u8(uint32_t v) { out.push_back(uint8_t(v)); }
    void u16(uint32_t v)
    {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v)
    {
        u16(v);
        u16(v >> 16);
    }
    void f32(float v);
    void fixed16(double v) { u32(uint32_t(int32_t(std::lround(v * 65536)))); }
    void fixed8(double v) { u16(uint16_t(int16_t(std::lround(v * 256)))); }
    void bytes(const Bytes& b) { std::copy(b.begin(), b.end(), std::back_inserter(out)); }
    void string(const std::string& s)
    {
        out.insert(out.end(), s.begin(), s.end());
        u8(0);
    }
    void rgb(Rgba c)
    {
        u8(c.r);
        u8(c.g);
        u8(c.b);
    }
    void rgba(Rgba c)
    {
        rgb(c);
        u8(c.a);
    }
};

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : m_out(out) {}
    ~BitWriter() { flush(); }
    void ub(int bits, uint32_t value);
    void sb(int bits, int32_t value) { ub(bits, uint32_t(value)); }
    void flag(bool on) { ub(1, on ? 1 : 0); }
    void flush();

private:
    Bytes& m_out;
    uint32_t m_current = 0;
    int m_used = 0;
};

// Bits needed to store a value as SB / UB.
int signedBits(int64_t value);
int unsignedBits(uint32_t value);

void writeRect(Bytes& out, const RectTwips& rect);
void writeMatrix(Bytes& out, const Matrix& matrix);
void writeColorTransform(Bytes& out, const ColorTransform& cx, bool withAlpha);
void writeFilters(Writer& w, const std::vector<swf::Filter>& filters);
// shapeVersion decides RGB/RGBA and LINESTYLE2; end != null writes morph pairs.
void writeFillStyle(Writer& w, int shapeVersion, const swf::FillStyle& fill,
                    const swf::FillStyle* end);
void writeLineStyle(Writer& w, int shapeVersion, const swf::LineStyle& line,
                    const swf::LineStyle* end);
void writeStyleCount(Writer& w, size_t count);

} // namespace zf::test
