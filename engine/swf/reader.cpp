#include "swf/reader_p.h"
#include "swf/swf.h"

#include <bit>
#include <cstring>

namespace zf::swf {

void ByteReader::fail(std::string_view what, bool withPosition)
{
    if (m_error.empty()) {
        m_error = what;
        if (withPosition)
            m_error += " at byte " + std::to_string(m_position);
    }
    m_position = m_bytes.size();
}

uint8_t ByteReader::u8()
{
    if (m_position >= m_bytes.size()) {
        fail("tag ended early");
        return 0;
    }
    return m_bytes[m_position++];
}

uint16_t ByteReader::u16()
{
    auto b = bytes(2);
    return b.size() == 2 ? uint16_t(b[0] | b[1] << 8) : 0;
}

uint32_t ByteReader::u24()
{
    auto b = bytes(3);
    return b.size() == 3 ? uint32_t(b[0] | b[1] << 8 | b[2] << 16) : 0;
}

uint32_t ByteReader::u32()
{
    auto b = bytes(4);
    return b.size() == 4
               ? uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24
               : 0;
}

float ByteReader::f32()
{
    return std::bit_cast<float>(u32());
}

uint32_t ByteReader::encodedU32()
{
    uint32_t value = 0;
    for (int i = 0; i < 5; ++i) {
        uint8_t byte = u8();
        value |= uint32_t(byte & 0x7F) << (7 * i);
        if (!(byte & 0x80))
            break;
    }
    return value;
}

std::span<const uint8_t> ByteReader::bytes(size_t count)
{
    if (count > remaining()) {
        fail("tag ended early");
        return {};
    }
    auto out = m_bytes.subspan(m_position, count);
    m_position += count;
    return out;
}

void ByteReader::seek(size_t position)
{
    if (!ok())
        return;
    if (position > m_bytes.size()) {
        fail("offset past the end of the tag");
        return;
    }
    m_position = position;
}

std::span<const uint8_t> ByteReader::rawString()
{
    if (!ok())
        return {};
    const uint8_t* begin = m_bytes.data() + m_position;
    const void* nul = std::memchr(begin, 0, remaining());
    if (!nul) {
        fail("unterminated string");
        return {};
    }
    size_t length = static_cast<const uint8_t*>(nul) - begin;
    m_position += length + 1;
    return {begin, length};
}

std::string ByteReader::string(int swfVersion)
{
    return decodeString(rawString(), swfVersion);
}

Rgba ByteReader::rgb()
{
    auto b = bytes(3);
    return b.size() == 3 ? Rgba{b[0], b[1], b[2], 255} : Rgba{0, 0, 0, 255};
}

Rgba ByteReader::rgba()
{
    auto b = bytes(4);
    return b.size() == 4 ? Rgba{b[0], b[1], b[2], b[3]} : Rgba{0, 0, 0, 255};
}

Rgba ByteReader::argb()
{
    auto b = bytes(4);
    return b.size() == 4 ? Rgba{b[1], b[2], b[3], b[0]} : Rgba{0, 0, 0, 255};
}

uint32_t BitReader::ub(int bits)
{
    uint32_t value = 0;
    while (bits > 0) {
        if (m_bitsLeft == 0) {
            if (!m_reader.ok())
                return 0;
            m_current = m_reader.u8();
            m_bitsLeft = 8;
        }
        int take = bits < m_bitsLeft ? bits : m_bitsLeft;
        uint32_t chunk = (m_current >> (m_bitsLeft - take)) & ((1u << take) - 1);
        value = (value << take) | chunk;
        m_bitsLeft -= take;
        bits -= take;
    }
    return m_reader.ok() ? value : 0;
}

int32_t BitReader::sb(int bits)
{
    if (bits <= 0)
        return 0;
    uint32_t value = ub(bits);
    if (bits < 32 && ((value >> (bits - 1)) & 1))
        value |= ~0u << bits;
    return int32_t(value);
}

RectTwips readRect(ByteReader& reader)
{
    BitReader bits(reader);
    int n = int(bits.ub(5));
    RectTwips rect;
    rect.xMin = bits.sb(n);
    rect.xMax = bits.sb(n);
    rect.yMin = bits.sb(n);
    rect.yMax = bits.sb(n);
    return rect;
}

Matrix readMatrix(ByteReader& reader)
{
    BitReader bits(reader);
    Matrix m;
    if (bits.flag()) {
        int n = int(bits.ub(5));
        m.a = bits.fb(n);
        m.d = bits.fb(n);
    }
    if (bits.flag()) {
        int n = int(bits.ub(5));
        m.b = bits.fb(n); // RotateSkew0
        m.c = bits.fb(n); // RotateSkew1
    }
    int n = int(bits.ub(5));
    m.tx = bits.sb(n);
    m.ty = bits.sb(n);
    return m;
}

ColorTransform readColorTransform(ByteReader& reader, bool withAlpha)
{
    // The add flag comes first, but the multiply terms are stored first.
    BitReader bits(reader);
    bool hasAdd = bits.flag();
    bool hasMult = bits.flag();
    int n = int(bits.ub(4));
    ColorTransform cx;
    if (hasMult) {
        cx.rMul = bits.sb(n);
        cx.gMul = bits.sb(n);
        cx.bMul = bits.sb(n);
        if (withAlpha)
            cx.aMul = bits.sb(n);
    }
    if (hasAdd) {
        cx.rAdd = bits.sb(n);
        cx.gAdd = bits.sb(n);
        cx.bAdd = bits.sb(n);
        if (withAlpha)
            cx.aAdd = bits.sb(n);
    }
    return cx;
}

namespace {

// Windows-1252 code points for bytes 0x80..0x9F (0 = undefined, kept as U+FFFD).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string decodeString(std::span<const uint8_t> bytes, int swfVersion)
{
    if (swfVersion >= 6)
        return std::string(bytes.begin(), bytes.end());
    std::string out;
    out.reserve(bytes.size());
    for (uint8_t byte : bytes) {
        uint32_t cp = byte;
        if (byte >= 0x80 && byte < 0xA0)
            cp = kCp1252High[byte - 0x80] ? kCp1252High[byte - 0x80] : 0xFFFD;
        appendUtf8(out, cp);
    }
    return out;
}

} // namespace zf::swf
