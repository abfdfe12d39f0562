#include "swf/swf.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace zf::swf {
namespace {

using test::Bytes;
using test::FontSpec;
using test::ShapeBuilder;
using test::SwfBuilder;

std::vector<Tag> tagsOf(const Bytes& bytes)
{
    std::vector<Tag> tags;
    TagStream stream(bytes);
    while (auto tag = stream.next())
        if (tag->type() != TagCode::End)
            tags.push_back(*tag);
    return tags;
}

FontSpec threeGlyphs(int version, bool wideOffsets, bool wideCodes)
{
    FontSpec font;
    font.version = version;
    font.name = "Face";
    font.italic = true;
    font.wideOffsets = wideOffsets;
    font.wideCodes = wideCodes;
    for (int i = 0; i < 3; ++i) {
        ShapeBuilder glyph(1);
        glyph.moveTo(0, 0).styles(1, 0, 0).lineTo(100 * (i + 1), 0).curveTo(0, -50, 0, 0);
        font.glyphs.push_back(glyph);
    }
    font.codes = {32, 65, wideCodes ? uint16_t(0x263A) : uint16_t(200)};
    font.hasLayout = true;
    font.ascent = 800;
    font.descent = 224;
    font.leading = -10;
    font.advances = {250, 600, -3};
    font.kerning = {{65, 32, -40}};
    return font;
}

TEST(Fonts, DefineFont2And3RoundTrip)
{
    for (int version : {2, 3}) {
        for (bool wideOffsets : {false, true}) {
            for (bool wideCodes : {false, true}) {
                FontSpec spec = threeGlyphs(version, wideOffsets, wideCodes);
                SwfBuilder movie(8);
                movie.defineFont(11, spec);
                Bytes bytes = movie.tagBytes();
                Tag tag = tagsOf(bytes)[0];
                EXPECT_TRUE(checkTag(tag, 8).exact()) << checkTag(tag, 8).error;
                auto font = readDefineFont(tag, 8);
                ASSERT_TRUE(font) << font.message();
                EXPECT_EQ(font->id, 11);
                EXPECT_EQ(font->version, version);
                EXPECT_EQ(font->name, "Face"); // the stored NUL is stripped
                EXPECT_TRUE(font->italic);
                EXPECT_FALSE(font->bold);
                ASSERT_EQ(font->glyphs.size(), 3u);
                EXPECT_EQ(font->codes, spec.codes);
                EXPECT_EQ(font->glyphIndex(65), 1);
                EXPECT_EQ(font->glyphIndex(spec.codes[2]), 2);
                EXPECT_EQ(font->glyphIndex(66), -1);
                const ShapeGroup& glyph = font->glyphs[2].groups.at(0);
                ASSERT_EQ(glyph.edges.size(), 2u);
                EXPECT_EQ(glyph.edges[0].x1, 300);
                EXPECT_EQ(glyph.edges[0].fill0, 1u); // the text colour
                EXPECT_TRUE(glyph.edges[1].curved);
                EXPECT_TRUE(font->hasLayout);
                EXPECT_EQ(std::tuple(font->ascent, font->descent, font->leading),
                          std::tuple(800, 224, -10));
                // -3 as written comes back as the unsigned 65533
                EXPECT_EQ(font->advances, (std::vector<uint16_t>{250, 600, 65533}));
                ASSERT_EQ(font->kerning.size(), 1u);
                EXPECT_EQ(font->kerning[0].adjustment, -40);
                EXPECT_EQ(font->emSquare(), version == 3 ? 20480.0 : 1024.0);
            }
        }
    }
}

TEST(Fonts, DeviceFontsAndInfoTags)
{
    // Zero glyphs: the tag ends after the count; bytes some writers add
    // there are ignored.
    FontSpec device;
    device.name = "_sans";
    SwfBuilder movie(6);
    movie.defineFont(3, device);
    Bytes body = {3, 0, 0x05, 1, 6, '_', 's', 'a', 'n', 's', 0, 0, 0, 2, 0, 0x6C, 0x48};
    movie.tag(TagCode::DefineFont3, body);
    // DefineFont (1) + DefineFontInfo: two glyphs, codes from the info tag.
    ShapeBuilder glyph(1);
    glyph.moveTo(0, 0).styles(1, 0, 0).lineTo(10, 0);
    Bytes shape = glyph.body(false);
    Bytes font1 = {4, 0, 4, 0, uint8_t(4 + shape.size()), 0};
    for (int copy = 0; copy < 2; ++copy) {
        std::copy(shape.begin(), shape.end(), std::back_inserter(font1));
    }
    movie.tag(TagCode::DefineFont, font1);
    movie.tag(TagCode::DefineFontInfo, {4, 0, 3, 'A', 'b', 0, 0x06, 'x', 'y'});
    movie.tag(TagCode::DefineFontInfo2, {4, 0, 2, 'Z', 0, 0x01, 7, 0x41, 0, 0x42, 0});
    Bytes bytes = movie.tagBytes();
    auto tags = tagsOf(bytes);
    ASSERT_EQ(tags.size(), 5u);
    for (const Tag& tag : tags)
        EXPECT_TRUE(checkTag(tag, 6).exact()) << tagName(tag.code) << checkTag(tag, 6).error;

    auto sans = readDefineFont(tags[0], 6);
    ASSERT_TRUE(sans);
    EXPECT_EQ(sans->name, "_sans");
    EXPECT_TRUE(sans->glyphs.empty());
    EXPECT_EQ(sans->glyphIndex(65), -1);
    auto sans3 = readDefineFont(tags[1], 6);
    ASSERT_TRUE(sans3) << sans3.message();
    EXPECT_EQ(sans3->version, 3);
    EXPECT_TRUE(sans3->bold);

    auto font = readDefineFont(tags[2], 6);
    ASSERT_TRUE(font) << font.message();
    EXPECT_EQ(font->version, 1);
    ASSERT_EQ(font->glyphs.size(), 2u);
    auto info = readDefineFontInfo(tags[3], 6);
    ASSERT_TRUE(info) << info.message();
    EXPECT_EQ(info->name, "Ab");
    EXPECT_TRUE(info->italic && info->bold);
    EXPECT_EQ(info->codes, (std::vector<uint16_t>{'x', 'y'}));
    applyFontInfo(*font, *info);
    EXPECT_EQ(font->glyphIndex('y'), 1);
    auto info2 = readDefineFontInfo(tags[4], 6);
    ASSERT_TRUE(info2) << info2.message();
    EXPECT_EQ(info2->languageCode, 7);
    EXPECT_EQ(info2->codes, (std::vector<uint16_t>{0x41, 0x42})); // always wide
}

TEST(Fonts, CraftedOffsetsFail)
{
    // Glyph offsets out of order, and a code table offset past the tag.
    const Bytes bad[] = {
        {1, 0, 0x00, 0, 1, 'F', 2, 0, 8, 0, 6, 0, 10, 0, 0, 0, 0, 0},
        {1, 0, 0x00, 0, 1, 'F', 1, 0, 4, 0, 0xFF, 0x7F, 0x10, 0},
    };
    for (const Bytes& body : bad)
        EXPECT_FALSE(readDefineFont(Tag{48, body, 0}, 8));
}

TEST(Text, RecordsCarryStateForward)
{
    TextRecord first{7, {10, 20, 30, 255}, -100, 400, 240, {{0, 120}, {5, 130}}};
    TextRecord second = first;
    second.x = first.x + 250; // continues where the first record ended
    second.glyphs = {{1, -5}};
    TextRecord third{9, {10, 20, 30, 128}, 0, 800, 480, {{2, 1000}}};
    for (int version : {1, 2}) {
        SwfBuilder movie(6);
        Matrix matrix{1, 0, 0, 1, 40, 60};
        movie.defineText(4, version, {0, 2000, 0, 1000}, matrix, {first, second, third});
        Bytes bytes = movie.tagBytes();
        Tag tag = tagsOf(bytes)[0];
        EXPECT_TRUE(checkTag(tag, 6).exact());
        auto text = readDefineText(tag);
        ASSERT_TRUE(text) << text.message();
        EXPECT_EQ(text->id, 4);
        EXPECT_EQ(text->matrix, matrix);
        ASSERT_EQ(text->records.size(), 3u);
        const std::vector<TextRecord> written{first, second, third};
        for (size_t i = 0; i < 3; ++i) {
            const TextRecord& expected = written[i];
            const TextRecord& r = text->records[i];
            EXPECT_EQ(std::tuple(r.fontId, r.x, r.y, r.height),
                      std::tuple(expected.fontId, expected.x, expected.y, expected.height));
            Rgba color = expected.color;
            if (version == 1)
                color.a = 255;
            EXPECT_EQ(r.color, color);
            ASSERT_EQ(r.glyphs.size(), expected.glyphs.size());
            EXPECT_EQ(r.glyphs[0].index, expected.glyphs[0].index);
            EXPECT_EQ(r.glyphs[0].advance, expected.glyphs[0].advance);
        }
    }
}

TEST(Text, HugeAdvancesDoNotOverflow)
{
    // Found by fuzzing: the pen position summed advances as signed integers.
    TextRecord first{1, {}, 0, 0, 240, {{0, INT32_MAX}, {0, INT32_MAX}}};
    TextRecord second = first;
    second.x = -2; // where the pen ends after wrapping
    second.glyphs = {{0, 1}};
    SwfBuilder movie(6);
    movie.defineText(4, 1, {}, Matrix{}, {first, second});
    Bytes bytes = movie.tagBytes();
    auto text = readDefineText(tagsOf(bytes)[0]);
    ASSERT_TRUE(text) << text.message();
    ASSERT_EQ(text->records.size(), 2u);
    EXPECT_EQ(text->records[1].x, -2);
}

TEST(Text, EditTextFieldsRoundTrip)
{
    EditText edit;
    edit.id = 8;
    edit.bounds = {-40, 4000, 0, 600};
    edit.wordWrap = edit.password = edit.readOnly = edit.noSelect = edit.border = true;
    edit.wasStatic = edit.html = edit.useOutlines = edit.autoSize = true;
    edit.fontId = 3;
    edit.fontClass = "Embedded";
    edit.fontHeight = 360;
    edit.textColor = {1, 2, 3, 4};
    edit.maxLength = 12;
    edit.align = TextAlign::Justify;
    edit.leftMargin = 1;
    edit.rightMargin = 2;
    edit.indent = 3;
    edit.leading = -4;
    edit.variableName = "_root.value";
    edit.initialText = "<b>x</b>";
    EditText plain;
    plain.id = 9;
    plain.variableName = "v";
    SwfBuilder movie(8);
    movie.defineEditText(edit).defineEditText(plain);
    Bytes bytes = movie.tagBytes();
    auto tags = tagsOf(bytes);
    for (const Tag& tag : tags)
        EXPECT_TRUE(checkTag(tag, 8).exact());
    auto read = readDefineEditText(tags[0], 8);
    ASSERT_TRUE(read) << read.message();
    EXPECT_EQ(read->bounds, edit.bounds);
    EXPECT_TRUE(read->wordWrap && read->password && read->readOnly && read->noSelect &&
                read->border && read->wasStatic && read->html && read->useOutlines &&
                read->autoSize);
    EXPECT_FALSE(read->multiline);
    EXPECT_EQ(read->fontId, edit.fontId);
    EXPECT_EQ(read->fontClass, edit.fontClass);
    EXPECT_EQ(read->fontHeight, 360);
    EXPECT_EQ(read->textColor, edit.textColor);
    EXPECT_EQ(read->maxLength, edit.maxLength);
    EXPECT_EQ(read->align, TextAlign::Justify);
    EXPECT_EQ(std::tuple(read->leftMargin, read->rightMargin, read->indent, read->leading),
              std::tuple(1, 2, 3, -4));
    EXPECT_EQ(read->variableName, edit.variableName);
    EXPECT_EQ(read->initialText, edit.initialText);
    auto bare = readDefineEditText(tags[1], 8);
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->fontId);
    EXPECT_EQ(bare->initialText, "");
    EXPECT_EQ(bare->variableName, "v");
}

} // namespace
} // namespace zf::swf
