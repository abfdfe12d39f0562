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
        {"<p align=\"left\"><font face=\"_sans\" size=\"12\">Hello</font></p>", "Hello\r"},
        {"<P ALIGN=\"CENTER\">one</P><P>two</P>", "one\rtwo\r"},
        {"a<br>b<BR/>c", "a\rb\rc"},
        {"<p>a</p><p></p><p>b</p>", "a\r\rb\r"},
        {"<p></p>", "\r"},
        // White space between tags is markup layout, not text.
        {"<p>a</p>\n <br> <p>b</p>", "a\r\rb\r"},
        {" \n ", ""},
        {"\nb\n", "\rb\r"},
        {"&lt;tag&gt; &amp; &quot;q&quot; &apos;s&apos;", "<tag> & \"q\" 's'"},
        {"&#65;&#x42;&#X43;&nbsp;|", "ABC\xC2\xA0|"},
        {"&bogus; & &#xZZ; &#1114112;", "&bogus; & &#xZZ; &#1114112;"},
        {"<b>bold <i>both</b> plain", "bold both plain"},
        {"<unknown attr=1>kept</unknown><span class='x'>!</span>", "kept!"},
        {"<!-- comment <b> -->after", "after"},
        {"<li>one</li><li>two</li>", "one\rtwo\r"},
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

// Styled text given field by field.
StyledText styled(std::u32string chars, std::vector<uint32_t> formatOf,
                  std::vector<CharFormat> formats, std::vector<ParagraphFormat> paragraphs)
{
    StyledText text;
    text.chars = std::move(chars);
    text.formatOf = std::move(formatOf);
    text.formats = std::move(formats);
    text.paragraphs = std::move(paragraphs);
    return text;
}

TEST(HtmlWriter, FontLevelsAndRunStyles)
{
    CharFormat base;
    base.font = "Serif";
    base.size = 240;
    CharFormat face = base;
    face.font = "Sans";
    CharFormat faceBig = face;
    faceBig.size = 280;
    CharFormat big = base;
    big.size = 280;
    CharFormat bold = base;
    bold.bold = true;
    CharFormat link = face;
    link.url = "u";
    link.target = "_t";
    link.italic = true;
    const std::string open = "<P ALIGN=\"LEFT\"><FONT FACE=\"Serif\" SIZE=\"12\" "
                             "COLOR=\"#000000\" LETTERSPACING=\"0\" KERNING=\"0\">";
    struct Case {
        const char* name;
        StyledText text;
        std::string html;
    } cases[] = {
        // A font nests inside the previous one while no enclosing level
        // matches; returning to an enclosing font closes the inner ones.
        {"nesting", styled(U"abcde", {0, 1, 2, 3, 0}, {base, face, faceBig, big}, {{}}),
         open + "a<FONT FACE=\"Sans\">b<FONT SIZE=\"14\">c<FONT FACE=\"Serif\">d</FONT>"
                "</FONT></FONT>e</FONT></P>"},
        // Bold, italic and links wrap each run inside its innermost font.
        {"styles", styled(U"abcd", {1, 1, 2, 3}, {base, bold, face, link}, {{}}),
         open + "<B>ab</B><FONT FACE=\"Sans\">c<A HREF=\"u\" TARGET=\"_t\"><I>d</I></A>"
                "</FONT></FONT></P>"},
        {"escaping", styled(U"<&\">", {0, 0, 0, 0}, {base}, {{}}),
         open + "&lt;&amp;&quot;&gt;</FONT></P>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toHtml(c.text), c.html) << c.name;
}

TEST(HtmlWriter, ParagraphsAndTheirSettings)
{
    CharFormat base;
    base.font = "F";
    ParagraphFormat plain;
    ParagraphFormat indented;
    indented.leftMargin = 100;
    indented.leading = 40;
    indented.tabStops = {20, 40};
    ParagraphFormat bullet;
    bullet.bullet = true;
    bullet.align = swf::TextAlign::Right; // bullets write <LI> instead of an alignment
    StyledText text =
        styled(U"a\rb\rc\r", {0, 0, 0, 0, 0, 0}, {base}, {indented, bullet, plain, plain});
    const std::string font = "<FONT FACE=\"F\" SIZE=\"12\" COLOR=\"#000000\" "
                             "LETTERSPACING=\"0\" KERNING=\"0\">";
    // Only settings that are not zero appear; the empty paragraph after
    // the last line break is not written.
    EXPECT_EQ(toHtml(text), "<TEXTFORMAT LEFTMARGIN=\"5\" LEADING=\"2\" TABSTOPS=\"1,2\">"
                            "<P ALIGN=\"LEFT\">" +
                                font + "a</FONT></P></TEXTFORMAT><LI>" + font +
                                "b</FONT></LI><P ALIGN=\"LEFT\">" + font + "c</FONT></P>");
    EXPECT_EQ(toHtml(styled(U"", {}, {base}, {plain})), "");
}

TEST(StyledText, ReplaceKeepsParagraphsInStep)
{
    CharFormat base;
    CharFormat bold;
    bold.bold = true;
    ParagraphFormat first;
    first.leftMargin = 20;
    ParagraphFormat second;
    second.indent = 40;
    StyledText text = styled(U"ab\rcd", {0, 0, 0, 0, 0}, {base}, {first, second});
    // Joining two paragraphs keeps the first one's format.
    text.replace(1, 4, U"X", bold);
    EXPECT_EQ(text.chars, U"aXd");
    ASSERT_EQ(text.paragraphs.size(), 1u);
    EXPECT_EQ(text.paragraphs[0], first);
    EXPECT_TRUE(text.formatAt(1).bold);
    // Splitting one copies its format to the new paragraph.
    text.replace(3, 3, U"\r\re", base);
    EXPECT_EQ(text.chars, U"aXd\r\re");
    ASSERT_EQ(text.paragraphs.size(), 3u);
    EXPECT_EQ(text.paragraphs[2], first);
    EXPECT_EQ(text.paragraphAt(6), 2u);
    EXPECT_EQ(text.paragraphRange(1), (std::pair<size_t, size_t>{4, 4}));
    // Out-of-range positions are clamped; unused formats are dropped.
    text.replace(1, 99, U"", base);
    text.compact();
    EXPECT_EQ(text.chars, U"a");
    EXPECT_EQ(text.formats.size(), 1u);
    EXPECT_EQ(text.paragraphs.size(), 1u);
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
