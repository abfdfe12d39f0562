#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zf::text {
namespace {

// A font with known metrics: em 1024, ascent 800, descent 224; letters
// advance half an em, space a quarter. At 20 px (400 twips) a letter is
// 200 twips wide, a space 100, and a line 400 twips tall.
swf::Font makeFont(int version = 2)
{
    swf::Font font;
    font.id = 1;
    font.version = version;
    font.name = "Fake";
    font.hasLayout = true;
    double em = font.emSquare();
    font.ascent = int(em * 800 / 1024);
    font.descent = int(em * 224 / 1024);
    for (char16_t code : std::u16string(u" *ab")) {
        swf::Shape glyph;
        if (code != ' ') {
            swf::ShapeGroup group;
            group.fills.push_back({});
            group.edges.push_back({0, -400, 0, 0, 0, 0, false, 1, 0, 0});
            group.edges.push_back({0, 0, 100, 0, 200, 0, false, 1, 0, 0});
            group.edges.push_back({200, 0, 100, -200, 0, -400, false, 1, 0, 0});
            glyph.groups.push_back(group);
        }
        font.glyphs.push_back(glyph);
        font.codes.push_back(uint16_t(code));
        font.advances.push_back(uint16_t(code == ' ' ? em / 4 : em / 2));
    }
    return font;
}

class OneFont : public FontResolver {
public:
    explicit OneFont(swf::Font font) : m_font(std::move(font)) {}
    const swf::Font* font(uint16_t id) const override
    {
        return id == m_font.id ? &m_font : nullptr;
    }
    const swf::Font& get() const { return m_font; }

private:
    swf::Font m_font;
};

// An edit text of the given inner width (the gutters are added) using the
// fake font at 20 px, multiline and wrapping.
swf::EditText makeField(int innerWidth, int innerHeight = 4000)
{
    swf::EditText field;
    field.bounds = {0, innerWidth + 80, 0, innerHeight + 80};
    field.fontId = 1;
    field.fontHeight = 400;
    field.useOutlines = true;
    field.multiline = true;
    field.wordWrap = true;
    return field;
}

struct Placed {
    double x, y;
};

std::vector<Placed> place(const TextLayout& layout)
{
    std::vector<Placed> out;
    for (const PositionedGlyph& glyph : layout.glyphs)
        out.push_back({glyph.matrix.tx, glyph.matrix.ty});
    return out;
}

class EditTextLayoutTest : public ::testing::Test {
protected:
    TextLayout layout(const swf::EditText& field, std::string text, bool html = false,
                      int scroll = 1)
    {
        EditTextState state;
        state.text = std::move(text);
        state.html = html;
        state.scroll = scroll;
        return layoutEditText(field, state, m_fonts, m_deviceFonts);
    }

    OneFont m_fonts{makeFont()};
    DeviceFonts m_deviceFonts;
};

// Ascent (312.5) and descent (87.5) at 20 px count in whole twips.
constexpr double kBaseline1 = 40 + 312; // gutter + ascent at 20 px
constexpr double kLine = 399;

TEST_F(EditTextLayoutTest, WrapsAtSpacesAndInsideLongWords)
{
    struct Case {
        const char* name;
        int width;
        const char* text;
        std::vector<Placed> expected; // first glyph of each line
        int lines;
    } cases[] = {
        {"words", 1000, "aaaa aaaa aaaa", {{40, kBaseline1}, {40, kBaseline1 + kLine}}, 3},
        {"two words fit", 1700, "aaaa aaaa aaaa", {{40, kBaseline1}, {40, kBaseline1 + kLine}}, 2},
        {"long word", 1000, "aaaaaaaaaaaa", {{40, kBaseline1}, {40, kBaseline1 + kLine}}, 3},
        {"spaces hang past the edge",
         800,
         "aaaa      b",
         {{40, kBaseline1}, {40, kBaseline1 + kLine}},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextLayout result = layout(makeField(c.width), c.text);
        EXPECT_EQ(result.lineCount, c.lines);
        ASSERT_EQ(result.lines.size(), size_t(c.lines));
        std::vector<Placed> placed = place(result);
        ASSERT_GE(placed.size(), 2u);
        // The first glyph of the second line sits at the left edge again.
        size_t secondLineStart = 0;
        for (size_t i = 1; i < placed.size(); ++i) {
            if (placed[i].y != placed[0].y) {
                secondLineStart = i;
                break;
            }
        }
        ASSERT_GT(secondLineStart, 0u);
        for (size_t line = 0; line < 2; ++line) {
            const Placed& p = placed[line == 0 ? 0 : secondLineStart];
            EXPECT_DOUBLE_EQ(p.x, c.expected[line].x);
            EXPECT_DOUBLE_EQ(p.y, c.expected[line].y);
        }
    }
    // 5 letters of 200 twips fill the 1000-twip line exactly.
    TextLayout longWord = layout(makeField(1000), "aaaaaaaaaaaa");
    EXPECT_EQ(longWord.glyphs[5].matrix.ty, kBaseline1 + kLine);
    EXPECT_DOUBLE_EQ(longWord.textWidth, 1000 / 20.0);
}

TEST_F(EditTextLayoutTest, AlignmentMarginsAndIndent)
{
    struct Case {
        const char* name;
        swf::TextAlign align;
        uint16_t leftMargin, rightMargin, indent;
        double firstX, secondLineX;
    } cases[] = {
        {"left", swf::TextAlign::Left, 0, 0, 0, 40, 40},
        {"right", swf::TextAlign::Right, 0, 0, 0, 40 + 1000 - 900, 40 + 1000 - 400},
        {"center", swf::TextAlign::Center, 0, 0, 0, 40 + 50, 40 + 300},
        {"margins and indent", swf::TextAlign::Left, 50, 0, 40, 40 + 90, 40 + 50},
        {"right with right margin", swf::TextAlign::Right, 0, 100, 0, 40, 40 + 900 - 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        swf::EditText field = makeField(1000);
        field.align = c.align;
        field.leftMargin = c.leftMargin;
        field.rightMargin = c.rightMargin;
        field.indent = c.indent;
        TextLayout result = layout(field, "aa aa aa");
        ASSERT_EQ(result.lineCount, 2);
        EXPECT_DOUBLE_EQ(result.glyphs.front().matrix.tx, c.firstX);
        EXPECT_DOUBLE_EQ(result.glyphs.back().matrix.tx, c.secondLineX + 200);
    }
}

TEST_F(EditTextLayoutTest, JustifySpreadsAllButTheLastLine)
{
    swf::EditText field = makeField(2000);
    field.align = swf::TextAlign::Justify;
    TextLayout result = layout(field, "aaaa aaaa aaaa");
    ASSERT_EQ(result.glyphs.size(), 12u);
    EXPECT_DOUBLE_EQ(result.glyphs[4].matrix.tx, 40 + 900 + 300); // the space grew by 300
    EXPECT_DOUBLE_EQ(result.glyphs[8].matrix.tx, 40);             // last line stays left
}

TEST_F(EditTextLayoutTest, LineBreaksPasswordAndLeading)
{
    swf::EditText field = makeField(5000);
    EXPECT_EQ(layout(field, "ab\rab\nab\r\nab").lineCount, 4);
    // A single-line field still breaks plain text at newlines but runs HTML
    // paragraphs together.
    field.multiline = false;
    EXPECT_EQ(layout(field, "ab\rab").lineCount, 2);
    TextLayout single = layout(field, "<p>ab</p><p>a<br>b</p>", true);
    EXPECT_EQ(single.lineCount, 1);
    EXPECT_EQ(single.glyphs.size(), 4u);

    field.password = true;
    TextLayout hidden = layout(field, "ab ba");
    ASSERT_EQ(hidden.glyphs.size(), 5u);
    const swf::Font& font = m_fonts.get();
    for (const PositionedGlyph& glyph : hidden.glyphs)
        EXPECT_EQ(glyph.shape, &font.glyphs[size_t(font.glyphIndex('*'))]);

    field = makeField(5000);
    field.leading = 60;
    TextLayout spaced = layout(field, "a\ra");
    ASSERT_EQ(spaced.glyphs.size(), 2u);
    EXPECT_DOUBLE_EQ(spaced.glyphs[1].matrix.ty - spaced.glyphs[0].matrix.ty, kLine + 60);
    // No leading after the last line; scripts read whole pixels.
    EXPECT_DOUBLE_EQ(spaced.textHeight, std::floor((2 * kLine + 60) / 20));
}

TEST_F(EditTextLayoutTest, ScrollAndMaxScroll)
{
    swf::EditText field = makeField(5000, 800); // two lines visible
    TextLayout top = layout(field, "a\rb\ra\rb\ra");
    EXPECT_EQ(top.lineCount, 5);
    EXPECT_EQ(top.maxScroll, 4);
    EXPECT_EQ(top.glyphs.size(), 3u); // lines starting inside the field
    EXPECT_EQ(top.bottomScroll, 2);
    TextLayout scrolled = layout(field, "a\rb\ra\rb\ra", false, 2);
    ASSERT_FALSE(scrolled.glyphs.empty());
    EXPECT_EQ(scrolled.glyphs[0].shape, &m_fonts.get().glyphs[3]); // 'b'
    EXPECT_DOUBLE_EQ(scrolled.glyphs[0].matrix.ty, kBaseline1);
    EXPECT_EQ(scrolled.bottomScroll, 3);
    EXPECT_EQ(layout(field, "a\rb\ra\rb\ra", false, 99).maxScroll, 4);
    EXPECT_EQ(layout(field, "a").maxScroll, 1);
}

TEST_F(EditTextLayoutTest, HtmlFormatsReachTheGlyphs)
{
    swf::EditText field = makeField(1000);
    field.html = true;
    TextLayout result =
        layout(field, "<p align='right'><font color='#00ff00'>aa</font></p><p><u>ab</u></p>", true);
    ASSERT_EQ(result.glyphs.size(), 4u);
    EXPECT_DOUBLE_EQ(result.glyphs[0].matrix.tx, 40 + 600);
    EXPECT_EQ(result.glyphs[0].color, (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(result.glyphs[2].color, (Rgba{0, 0, 0, 255}));
    ASSERT_EQ(result.underlines.size(), 1u);
    EXPECT_DOUBLE_EQ(result.underlines[0].rect.xMin, 40);
    EXPECT_DOUBLE_EQ(result.underlines[0].rect.xMax, 440);
    EXPECT_GT(result.underlines[0].rect.yMin, kBaseline1 + kLine);
    // The definition's initial text is where a field starts.
    field.initialText = "<b>ab</b>";
    EditTextState state = EditTextState::fromDefinition(field);
    EXPECT_TRUE(state.html);
    EXPECT_EQ(state.text, "<b>ab</b>");
}

TEST(EditTextAdvances, UnsignedWidthsAndJustifiedWholeTwips)
{
    // The step from 'b' to the next glyph at 20 px (400 twips, em 1024). A
    // justified paragraph drops each advance's fraction of a twip, even on
    // its last line, which is not spread.
    struct Case {
        const char* name;
        uint16_t advance; // em units
        double leftStep;  // twips
        double justifiedStep;
    } cases[] = {
        {"exact", 512, 200, 200},
        {"small fraction", 530, 207.03125, 207},
        {"large fraction", 550, 214.84375, 214},
        {"above the signed range", 33000, 12890.625, 12890},
        {"largest value", 0xFFFF, 25599.609375, 25599},
    };
    for (const Case& c : cases) {
        for (swf::TextAlign align : {swf::TextAlign::Left, swf::TextAlign::Justify}) {
            bool justified = align == swf::TextAlign::Justify;
            SCOPED_TRACE(std::string(c.name) + (justified ? " justified" : " left"));
            double step = justified ? c.justifiedStep : c.leftStep;
            swf::Font font = makeFont();
            font.advances[size_t(font.glyphIndex('b'))] = c.advance;
            OneFont fonts(font);
            DeviceFonts deviceFonts;
            swf::EditText field = makeField(40000);
            field.wordWrap = false;
            field.align = align;
            EditTextState state;
            state.text = "bab";
            TextLayout result = layoutEditText(field, state, fonts, deviceFonts);
            ASSERT_EQ(result.glyphs.size(), 3u);
            EXPECT_DOUBLE_EQ(result.glyphs[1].matrix.tx - result.glyphs[0].matrix.tx, step);
            EXPECT_DOUBLE_EQ(result.glyphs[2].matrix.tx - result.glyphs[1].matrix.tx, 200);
            EXPECT_DOUBLE_EQ(result.textWidth, std::floor((2 * step + 200) / 20));
        }
    }
}

TEST(StaticTextLayout, RecordsBecomeScaledGlyphs)
{
    for (int version : {2, 3}) {
        SCOPED_TRACE(version);
        OneFont fonts(makeFont(version));
        swf::StaticText text;
        swf::TextRecord record;
        record.fontId = 1;
        record.color = {1, 2, 3, 255};
        record.x = 100;
        record.y = 300;
        record.height = 400;
        record.glyphs = {{2, 210}, {3, 190}, {99, 50}, {1, 0}};
        text.records = {record, record};
        text.records[1].y = 800;
        text.records[1].fontId = 7; // undefined: skipped
        TextLayout layout = layoutStaticText(text, fonts);
        ASSERT_EQ(layout.glyphs.size(), 3u); // index 99 does not exist
        double scale = 400 / fonts.get().emSquare();
        EXPECT_EQ(layout.glyphs[0].matrix, (Matrix{scale, 0, 0, scale, 100, 300}));
        EXPECT_EQ(layout.glyphs[1].matrix, (Matrix{scale, 0, 0, scale, 310, 300}));
        EXPECT_EQ(layout.glyphs[2].matrix.tx, 550);
        EXPECT_EQ(layout.glyphs[0].color, (Rgba{1, 2, 3, 255}));
        EXPECT_FALSE(layout.problem.empty());
    }
}

} // namespace
} // namespace zf::text
