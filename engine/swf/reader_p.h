// Bounded, sticky readers for tag bodies. A read past the end (or any other
// failure reported with fail()) records the first error; every later read
// returns zero, so a parser runs to completion and the caller checks ok()
// once at the end.
#pragma once

#include "common/geom.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zf::swf {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    // Records the first failure; the message gets the current position
    // unless it already carries one (errors passed up from a nested reader).
    void fail(std::string_view what, bool withPosition = true);

    size_t position() const { return m_position; }
    size_t size() const { return m_bytes.size(); }
    size_t remaining() const { return m_bytes.size() - m_position; }
    bool atEnd() const { return m_position >= m_bytes.size(); }
    std::span<const uint8_t> data() const { return m_bytes; }

    uint8_t u8();
    uint16_t u16();
    int16_t s16() { return int16_t(u16()); }
    uint32_t u24();
    uint32_t u32();
    int32_t s32() { return int32_t(u32()); }
    float f32();
    double fixed8() { return s16() / 256.0; }    // signed 8.8
    double fixed16() { return s32() / 65536.0; } // signed 16.16
    uint32_t encodedU32();

    std::span<const uint8_t> bytes(size_t count);
    std::span<const uint8_t> rest() { return bytes(remaining()); }
    void skip(size_t count) { bytes(count); }
    // Moves to an absolute position within the bytes (fails past the end).
    void seek(size_t position);
    // NUL-terminated string, decoded for the movie's version.
    std::string string(int swfVersion);
    // The bytes of a NUL-terminated string, without the terminator.
    std::span<const uint8_t> rawString();

    Rgba rgb();
    Rgba rgba();
    Rgba argb();

private:
    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
    std::string m_error;
};

// Reads bit fields (most significant bit first) from a ByteReader, taking one
// byte at a time. align() drops the rest of the current byte so byte reads
// can continue on the ByteReader.
class BitReader {
public:
    explicit BitReader(ByteReader& reader) : m_reader(reader) {}

    uint32_t ub(int bits);
    int32_t sb(int bits);
    double fb(int bits) { return sb(bits) / 65536.0; }
    bool flag() { return ub(1) != 0; }
    void align() { m_bitsLeft = 0; }

private:
    ByteReader& m_reader;
    uint32_t m_current = 0;
    int m_bitsLeft = 0;
};

// Records shared by many tags; each starts byte-aligned and ends aligned.
RectTwips readRect(ByteReader& reader);
Matrix readMatrix(ByteReader& reader);
ColorTransform readColorTransform(ByteReader& reader, bool withAlpha);

} // namespace zf::swf
