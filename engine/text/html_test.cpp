#include "text/html_p.h"

#include <gtest/gtest.h>

namespace zf::text {
namespace {

TEST(Html, PlainTextOfTheSubset)
{
    struct Case {
        const char* html;
        const char* plain;
    } cases[] = {
        {"<p align=\"left\"><font face=\"_sans\" size=\"12\">Hello</font></p>", "Hello"},
        {"<P ALIGN=\"CENTER\">one</P><P>two</P>", "one\rtwo"},
        {"a<br>b<BR/>c", "a\rb\rc"},
        {"<p>a</p><p></p><p>b</p>", "a\r\rb"},
        {"&lt;tag&gt; &amp; &quot;q&quot; &apos;s&apos;", "<tag> & \"q\" 's'"},
        {"&#65;&#x42;&#X43;&nbsp;|", "ABC\xC2\xA0|"},
        {"&bogus; & &#xZZ; &#1114112;", "&bogus; & &#xZZ; &#1114112;"},
        {"<b>bold <i>both</b> plain", "bold both plain"},
        {"<unknown attr=1>kept</unknown><span class='x'>!</span>", "kept!"},
        {"<!-- comment <b> -->after", "after"},
        {"<li>one</li><li>two</li>", "one\rtwo"},
        {"line1\nline2\r\nline3", "line1\rline2\rline3"},
        {"text <unterminated", "text "},
        {"caf\xC3\xA9 \xE9t\xE9", "caf\xC3\xA9 \xC3\xA9t\xC3\xA9"}, // stray Latin-1 bytes kept
    };
    for (const Case& c : cases)
        EXPECT_EQ(plainText(c.html), c.plain) << c.html;
}

TEST(Html, CharacterFormats)
{
    CharFormat base;
    base.font = "Base";
    base.size = 240;
    StyledText text = styledFromHtml(
        "<font face='Arial' size='20' color='#FF8000' letterSpacing='2' kerning='1'>a"
        "<font size='+4'>b</font></font><b><i><u>c</u></i></b><a href='http://x'>d</a>e"
        "<font color='junk' size='x'>f</font>",
        base, ParagraphFormat{});
    ASSERT_EQ(text.chars, U"abcdef");
    const CharFormat& a = text.formatAt(0);
    EXPECT_EQ(a.font, "Arial");
    EXPECT_EQ(a.size, 400);
    EXPECT_EQ(a.color, (Rgba{255, 128, 0, 255}));
    EXPECT_EQ(a.letterSpacing, 40);
    EXPECT_TRUE(a.kerning);
    EXPECT_EQ(text.formatAt(1).size, 480);
    const CharFormat& c = text.formatAt(2);
    EXPECT_TRUE(c.bold && c.italic && c.underline);
    EXPECT_EQ(c.font, "Base");
    EXPECT_EQ(text.formatAt(3).url, "http://x");
    EXPECT_EQ(text.formatAt(4), base);
    EXPECT_EQ(text.formatAt(5), base);
}

TEST(Html, ParagraphFormats)
{
    StyledText text = styledFromHtml(
        "<textformat leftmargin='10' indent='5' leading='-2' blockindent='3' tabstops='10, 20,x'>"
        "<p align='right'>r</p></textformat><p align='justify'>j</p><li>bullet</li>x",
        CharFormat{}, ParagraphFormat{});
    ASSERT_EQ(text.paragraphs.size(), 4u);
    const ParagraphFormat& right = text.paragraphs[0];
    EXPECT_EQ(right.align, swf::TextAlign::Right);
    EXPECT_EQ(right.leftMargin, 200);
    EXPECT_EQ(right.indent, 100);
    EXPECT_EQ(right.leading, -40);
    EXPECT_EQ(right.blockIndent, 60);
    EXPECT_EQ(right.tabStops, (std::vector<double>{200, 400}));
    EXPECT_EQ(text.paragraphs[1].align, swf::TextAlign::Justify);
    EXPECT_EQ(text.paragraphs[1].leftMargin, 0); // the textformat was closed
    EXPECT_TRUE(text.paragraphs[2].bullet);
    EXPECT_FALSE(text.paragraphs[3].bullet);
    EXPECT_EQ(text.chars, U"r\rj\rbullet\rx");
}

TEST(Html, HostileInputStaysBounded)
{
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<font size='+1'><b>";
    deep += "x";
    StyledText text = styledFromHtml(deep, CharFormat{}, ParagraphFormat{});
    EXPECT_EQ(text.chars, U"x");
    EXPECT_LE(text.formatAt(0).size, 2000 * 20);

    std::string noisy;
    for (int i = 0; i < 5000; ++i)
        noisy += "<p align=\"<>\">&#x" + std::to_string(i) + "<font color=#" + std::to_string(i) +
                 ">" + char(i % 256);
    StyledText messy = styledFromHtml(noisy, CharFormat{}, ParagraphFormat{});
    EXPECT_EQ(messy.chars.size(), messy.formatOf.size());
    EXPECT_LE(messy.formats.size(), messy.chars.size() + 1);
}

TEST(Html, Utf8RoundTrip)
{
    std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    std::u32string decoded = decodeUtf8(text);
    EXPECT_EQ(decoded, (std::u32string{U'A', 0xE9, 0x20AC, 0x1F600}));
    EXPECT_EQ(encodeUtf8(decoded), text);
    // Truncated sequences, overlong forms and surrogates read as bytes.
    EXPECT_EQ(decodeUtf8("\xE2\x82"), (std::u32string{0xE2, 0x82}));
    EXPECT_EQ(decodeUtf8("\xC0\xAF"), (std::u32string{0xC0, 0xAF}));
    EXPECT_EQ(decodeUtf8("\xED\xA0\x80").size(), 3u);
}

} // namespace
} // namespace zf::text
