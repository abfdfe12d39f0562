#include "swf/swf.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

namespace zf::swf {
namespace {

using test::Bytes;
using test::Compression;
using test::SwfBuilder;

std::vector<TagCode> tagCodes(const SwfFile& file)
{
    std::vector<TagCode> codes;
    TagStream stream(file.tagBytes());
    while (auto tag = stream.next())
        codes.push_back(tag->type());
    return codes;
}

TEST(Header, FieldsInEveryContainer)
{
    for (Compression c : {Compression::None, Compression::Zlib, Compression::Lzma}) {
        SwfBuilder movie(13, c);
        movie.frameRate(212.25).frameRect({-2000, 8000, -40, 6000}).showFrame().showFrame();
        Bytes bytes = movie.bytes();
        auto header =
            readHeader(std::span(bytes).first(std::min<size_t>(bytes.size(), 200)), bytes.size());
        ASSERT_TRUE(header) << header.message();
        EXPECT_EQ(header->signature, std::string("FWSCWSZWS").substr(3 * int(c), 3));
        EXPECT_EQ(header->version, 13);
        EXPECT_EQ(header->frameRate, 212.25);
        EXPECT_EQ(header->frameRect, (RectTwips{-2000, 8000, -40, 6000}));
        EXPECT_EQ(header->frameCount, 2);
        EXPECT_EQ(header->fileSize, bytes.size());

        auto file = loadBytes(bytes);
        ASSERT_TRUE(file) << file.message();
        EXPECT_EQ(file->header.fileLength, file->data.size() + 8);
        EXPECT_EQ(tagCodes(*file),
                  (std::vector{TagCode::ShowFrame, TagCode::ShowFrame, TagCode::End}));
    }
}

TEST(Header, RawFieldEncodings)
{
    struct Case {
        Bytes body; // after the 8-byte prologue
        double rate;
        RectTwips rect;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x18, 0x01, 0x00}, 24.0, {}},                   // nbits 0, rate 00 18
        {{0x00, 0x80, 0x00, 0x01, 0x00}, 0.5, {}},                    // fraction byte first
        {{0x00, 0x00, 0x00, 0x01, 0x00}, 0.0, {}},                    // rate 0 occurs
        {{0x10, 0x00, 0x40, 0xD4, 0x01, 0x00}, 212.25, {0, 0, 0, 0}}, // nbits 2, all zero
    };
    for (const Case& c : cases) {
        Bytes file = {'F', 'W', 'S', 6, 0, 0, 0, 0};
        file.insert(file.end(), c.body.begin(), c.body.end());
        file[4] = uint8_t(file.size());
        auto header = readHeader(file, file.size());
        ASSERT_TRUE(header) << header.message();
        EXPECT_EQ(header->frameRate, c.rate);
        EXPECT_EQ(header->frameRect, c.rect);
        EXPECT_EQ(header->frameCount, 1);
    }
}

TEST(Header, RejectsWhatIsNotAMovie)
{
    const Bytes cases[] = {{},
                           {'F', 'W', 'S'},
                           {'G', 'W', 'S', 6, 20, 0, 0, 0, 0, 0, 0},
                           {'F', 'W', 'S', 6, 20, 0, 0, 0, 0xF8}, // rect runs past the end
                           {'Z', 'W', 'S', 13, 20, 0, 0, 0, 1, 0}};
    for (const Bytes& bytes : cases) {
        EXPECT_FALSE(readHeader(bytes, bytes.size()));
        EXPECT_FALSE(loadBytes(bytes));
    }
}

TEST(Container, RefusesHugeClaimsWithoutAllocating)
{
    Bytes bytes = SwfBuilder(10, Compression::Zlib).declaredLength(0xFFFFFFFF).bytes();
    auto file = loadBytes(bytes);
    ASSERT_FALSE(file);
    EXPECT_EQ(file.message(), "movie claims 4294967295 bytes uncompressed; the limit is 268435456");
    Limits tight;
    tight.maxUncompressed = 1000;
    SwfBuilder big(10, Compression::Lzma);
    big.tag(99, Bytes(2000, 0x55)).showFrame();
    EXPECT_FALSE(loadBytes(big.bytes(), tight));
}

TEST(Container, DeclaredLengthBoundsTheData)
{
    SwfBuilder movie(10);
    movie.showFrame().doAction(Bytes{0}).showFrame();
    Bytes real = movie.bytes();
    for (Compression c : {Compression::None, Compression::Zlib, Compression::Lzma}) {
        SwfBuilder shorter(10, c);
        shorter.showFrame().doAction(Bytes{0}).showFrame();
        // Data beyond the declared length never plays.
        shorter.declaredLength(uint32_t(real.size() - 6));
        auto file = loadBytes(shorter.bytes());
        ASSERT_TRUE(file) << file.message();
        EXPECT_EQ(file->data.size(), real.size() - 14);
        EXPECT_EQ(tagCodes(*file), (std::vector{TagCode::ShowFrame}));

        SwfBuilder longer(10, c);
        longer.showFrame().declaredLength(100000);
        file = loadBytes(longer.bytes());
        ASSERT_TRUE(file) << file.message();
        EXPECT_EQ(file->header.fileLength, 100000u);
        EXPECT_EQ(tagCodes(*file), (std::vector{TagCode::ShowFrame, TagCode::End}));

        SwfBuilder zero(10, c);
        zero.showFrame().declaredLength(0);
        file = loadBytes(zero.bytes());
        ASSERT_TRUE(file) << file.message();
        EXPECT_TRUE(file->tagBytes().empty());
        EXPECT_EQ(file->header.frameCount, 1);
    }
}

TEST(Container, TruncatedAndPaddedStreams)
{
    for (Compression c : {Compression::Zlib, Compression::Lzma}) {
        SwfBuilder movie(13, c);
        for (int i = 0; i < 200; ++i)
            movie.doAction(Bytes{uint8_t(i), 0}).showFrame();
        Bytes bytes = movie.bytes();
        // A stream cut in half yields the tags decoded before the cut.
        Bytes cut(bytes.begin(), bytes.begin() + bytes.size() / 2);
        auto file = loadBytes(cut);
        ASSERT_TRUE(file) << file.message();
        EXPECT_GT(file->data.size(), 20u);
        EXPECT_LT(file->data.size(), file->header.fileLength - 8u);
        size_t tags = tagCodes(*file).size();
        EXPECT_GT(tags, 10u);
        EXPECT_LT(tags, 401u);
        // Bytes after the end of the compressed stream are ignored.
        Bytes padded = bytes;
        padded.insert(padded.end(), 100, 0xEE);
        file = loadBytes(padded);
        ASSERT_TRUE(file) << file.message();
        EXPECT_EQ(tagCodes(*file).size(), 401u);
    }
}

TEST(Container, DetectsActionScript3)
{
    SwfBuilder as3(10);
    as3.fileAttributes(FileAttribute::ActionScript3).showFrame();
    EXPECT_TRUE(loadBytes(as3.bytes())->avm2);
    SwfBuilder as2(10);
    as2.fileAttributes(FileAttribute::UseNetwork).showFrame();
    EXPECT_FALSE(loadBytes(as2.bytes())->avm2);
    // DoABC without the flag: an ActionScript 1/2 movie that ignores the tag.
    SwfBuilder mixed(10);
    mixed.fileAttributes(0).tag(TagCode::DoAbc, {0, 0, 0, 0, 0}).showFrame();
    auto file = loadBytes(mixed.bytes());
    EXPECT_FALSE(file->avm2);
    EXPECT_TRUE(file->hasDoAbc);
}

TEST(TagStream, HeadersAndTruncation)
{
    SwfBuilder movie(8);
    movie.tag(12, {0}, true).tag(700, Bytes(70, 1)).showFrame().end().showFrame();
    Bytes tags = movie.tagBytes();
    TagStream stream(tags);
    auto first = stream.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->code, 12); // long form for a short tag
    EXPECT_EQ(first->body.size(), 1u);
    auto second = stream.next();
    EXPECT_EQ(second->code, 700); // unknown codes are skipped by length
    EXPECT_EQ(second->body.size(), 70u);
    EXPECT_EQ(second->offset, 7u);
    EXPECT_EQ(stream.next()->type(), TagCode::ShowFrame);
    EXPECT_EQ(stream.next()->type(), TagCode::End);
    EXPECT_FALSE(stream.next()); // nothing after End
    EXPECT_TRUE(stream.sawEnd());

    // A tag whose length runs past the data stops the stream cleanly.
    Bytes broken = {0x40, 0x00, 0x85, 0x00, 1, 2};
    TagStream cut(broken);
    EXPECT_EQ(cut.next()->type(), TagCode::ShowFrame);
    EXPECT_FALSE(cut.next());
    EXPECT_TRUE(cut.truncated());
    Bytes longHeader = {0x3F, 0x03, 0xFF, 0xFF};
    TagStream cutHeader(longHeader);
    EXPECT_FALSE(cutHeader.next());
    EXPECT_TRUE(cutHeader.truncated());
}

} // namespace
} // namespace zf::swf
