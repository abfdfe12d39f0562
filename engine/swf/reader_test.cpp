#include "swf/reader_p.h"
#include "swf/swf.h"

#include <gtest/gtest.h>

#include <vector>

namespace zf::swf {
namespace {

TEST(BitReader, ReadsFieldsAcrossByteBoundaries)
{
    // 101 | 1100 0011 | 0 | 1111 1111 1111 (12-bit -1) | padding
    std::vector<uint8_t> bytes = {0b10111000, 0b01101111, 0b11111111, 0b10000000};
    ByteReader reader(bytes);
    BitReader bits(reader);
    EXPECT_EQ(bits.ub(3), 0b101u);
    EXPECT_EQ(bits.ub(8), 0b11000011u);
    EXPECT_EQ(bits.ub(1), 0u);
    EXPECT_EQ(bits.sb(12), -1);
    EXPECT_EQ(bits.sb(0), 0); // SB[0] reads nothing
    EXPECT_EQ(bits.ub(1), 1u);
    bits.align();
    EXPECT_TRUE(reader.atEnd());
    EXPECT_TRUE(reader.ok());
}

TEST(BitReader, SignedFieldsAtTheirLimits)
{
    struct Case {
        std::vector<uint8_t> bytes;
        int bits;
        int32_t expected;
    };
    const Case cases[] = {
        {{0x80}, 1, -1},
        {{0x40}, 2, 1},
        {{0x80, 0x00}, 16, -32768},
        {{0x7F, 0xFF}, 16, 32767},
        {{0x80, 0x00, 0x00, 0x00}, 32, INT32_MIN},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 40, -1}, // wider than 32: low 32 bits kept
    };
    for (const Case& c : cases) {
        ByteReader reader(c.bytes);
        BitReader bits(reader);
        EXPECT_EQ(bits.sb(c.bits), c.expected) << c.bits << " bits";
        EXPECT_TRUE(reader.ok());
    }
}

TEST(ByteReader, FailureIsStickyAndReadsReturnZero)
{
    std::vector<uint8_t> bytes = {0x34, 0x12, 0xAA};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.u16(), 0x1234);
    EXPECT_EQ(reader.u32(), 0u); // only one byte left
    EXPECT_FALSE(reader.ok());
    EXPECT_NE(reader.error().find("ended early"), std::string::npos);
    EXPECT_EQ(reader.u8(), 0); // the remaining byte is not handed out after a failure
    BitReader bits(reader);
    EXPECT_EQ(bits.ub(8), 0u);
}

TEST(ByteReader, StringsNeedTheirTerminator)
{
    std::vector<uint8_t> bytes = {'h', 'i', 0, 'x', 'y'};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.string(6), "hi");
    EXPECT_EQ(reader.string(6), "");
    EXPECT_FALSE(reader.ok());
}

TEST(ByteReader, EncodedU32StopsAfterFiveBytes)
{
    std::vector<uint8_t> bytes = {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x07};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.encodedU32(), 129u);
    EXPECT_EQ(reader.encodedU32(), 0xFFFFFFFFu);
    EXPECT_EQ(reader.u8(), 0x07);
}

// Packs (value, width) fields most significant bit first, padded to a byte.
std::vector<uint8_t> packBits(std::initializer_list<std::pair<int64_t, int>> fields)
{
    std::vector<uint8_t> out;
    uint32_t current = 0;
    int used = 0;
    for (auto [value, width] : fields) {
        for (int i = width - 1; i >= 0; --i) {
            current = current << 1 | ((uint64_t(value) >> i) & 1);
            if (++used == 8) {
                out.push_back(uint8_t(current));
                current = 0;
                used = 0;
            }
        }
    }
    if (used)
        out.push_back(uint8_t(current << (8 - used)));
    return out;
}

TEST(Records, RectMatrixAndColorTransform)
{
    // The order is x-min, x-max, y-min, y-max.
    auto rect = packBits({{5, 5}, {-1, 5}, {2, 5}, {3, 5}, {-4, 5}});
    ByteReader r1(rect);
    EXPECT_EQ(readRect(r1), (RectTwips{-1, 2, 3, -4}));
    EXPECT_TRUE(r1.atEnd());

    // No scale (so 1.0, not 0); rotate b = RotateSkew0 = 1.0, c = -1.0;
    // translation -20, 7 in 6 bits.
    auto matrix = packBits(
        {{0, 1}, {1, 1}, {18, 5}, {0x10000, 18}, {-0x10000, 18}, {6, 5}, {-20, 6}, {7, 6}});
    ByteReader r2(matrix);
    Matrix m = readMatrix(r2);
    EXPECT_EQ(m, (Matrix{1, 1, -1, 1, -20, 7}));
    EXPECT_TRUE(r2.atEnd());

    // CXFORM: the add flag comes first, the mult terms first in the data.
    auto cx =
        packBits({{1, 1}, {1, 1}, {9, 4}, {128, 9}, {64, 9}, {32, 9}, {-1, 9}, {2, 9}, {3, 9}});
    ByteReader r3(cx);
    EXPECT_EQ(readColorTransform(r3, false), (ColorTransform{128, 64, 32, 256, -1, 2, 3, 0}));
    EXPECT_TRUE(r3.atEnd());
    auto adds = packBits({{1, 1}, {0, 1}, {8, 4}, {-64, 8}, {0, 8}, {0, 8}, {127, 8}});
    ByteReader r4(adds);
    EXPECT_EQ(readColorTransform(r4, true), (ColorTransform{256, 256, 256, 256, -64, 0, 0, 127}));
    EXPECT_TRUE(r4.atEnd());
}

TEST(Strings, OldMoviesDecodeAsWindows1252)
{
    std::vector<uint8_t> bytes = {'t', 0xC5, 0x80};
    EXPECT_EQ(decodeString(bytes, 5), "t\xC3\x85\xE2\x82\xAC");
    EXPECT_EQ(decodeString(bytes, 6), std::string("t\xC5\x80"));
}

} // namespace
} // namespace zf::swf
