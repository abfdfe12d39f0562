// StyledText back to HTML, in the shape scripts read from htmlText.
#include "text/styled.h"

#include <cmath>
#include <cstdio>

namespace zf::text {
namespace {

std::string number(double value)
{
    if (std::isnan(value))
        return "NaN";
    char buffer[32];
    if (value == std::floor(value) && std::abs(value) < 1e15)
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
    else
        std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string pixels(double twips)
{
    return number(twips / kTwipsPerPixel);
}

void escape(std::string& out, std::u32string_view text)
{
    for (char32_t c : text) {
        switch (c) {
        case U'<': out += "&lt;"; break;
        case U'>': out += "&gt;"; break;
        case U'&': out += "&amp;"; break;
        case U'"': out += "&quot;"; break;
        case U'\'': out += "&apos;"; break;
        default: out += encodeUtf8(std::u32string_view(&c, 1));
        }
    }
}

std::string escaped(const std::string& text)
{
    std::string out;
    escape(out, decodeUtf8(text));
    return out;
}

std::string colorText(Rgba color)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", color.r, color.g, color.b);
    return buffer;
}

const char* alignName(swf::TextAlign align)
{
    switch (align) {
    case swf::TextAlign::Right: return "RIGHT";
    case swf::TextAlign::Center: return "CENTER";
    case swf::TextAlign::Justify: return "JUSTIFY";
    default: return "LEFT";
    }
}

bool sameFont(const CharFormat& a, const CharFormat& b)
{
    return a.font == b.font && a.size == b.size && a.color.r == b.color.r &&
           a.color.g == b.color.g && a.color.b == b.color.b && a.letterSpacing == b.letterSpacing &&
           a.kerning == b.kerning;
}

bool sameStyle(const CharFormat& a, const CharFormat& b)
{
    return a.url == b.url && a.target == b.target && a.bold == b.bold && a.italic == b.italic &&
           a.underline == b.underline;
}

// <FONT> tags nest: each names what differs from the one around it.
// `from` null writes every attribute (the outermost tag of a paragraph).
void openFont(std::string& out, const CharFormat* from, const CharFormat& to)
{
    std::string font;
    if (!from || from->font != to.font)
        font += " FACE=\"" + escaped(to.font) + "\"";
    if (!from || from->size != to.size)
        font += " SIZE=\"" + pixels(to.size) + "\"";
    if (!from || from->color.r != to.color.r || from->color.g != to.color.g ||
        from->color.b != to.color.b)
        font += " COLOR=\"" + colorText(to.color) + "\"";
    if (!from || from->letterSpacing != to.letterSpacing)
        font += " LETTERSPACING=\"" + pixels(to.letterSpacing) + "\"";
    if (!from || from->kerning != to.kerning)
        font += std::string(" KERNING=\"") + (to.kerning ? "1" : "0") + "\"";
    out += "<FONT" + font + ">";
}

// Links and bold/italic/underline wrap each run inside the innermost
// <FONT>; they are closed before the font changes. Returns the closing tags.
std::string openStyle(std::string& out, const CharFormat& format)
{
    std::string closing;
    if (!format.url.empty()) {
        out += "<A HREF=\"" + escaped(format.url) + "\" TARGET=\"" + escaped(format.target) + "\">";
        closing = "</A>";
    }
    for (auto [on, tag] : {std::pair{format.bold, "B"}, std::pair{format.italic, "I"},
                           std::pair{format.underline, "U"}}) {
        if (on) {
            out += std::string("<") + tag + ">";
            closing.insert(0, std::string("</") + tag + ">");
        }
    }
    return closing;
}

void writeParagraph(std::string& out, const StyledText& text, size_t begin, size_t end,
                    const ParagraphFormat& paragraph)
{
    std::string attributes;
    auto attribute = [&](const char* name, double twips) {
        if (twips != 0)
            attributes += std::string(" ") + name + "=\"" + pixels(twips) + "\"";
    };
    attribute("LEFTMARGIN", paragraph.leftMargin);
    attribute("RIGHTMARGIN", paragraph.rightMargin);
    attribute("INDENT", paragraph.indent);
    attribute("LEADING", paragraph.leading);
    attribute("BLOCKINDENT", paragraph.blockIndent);
    if (!paragraph.tabStops.empty()) {
        attributes += " TABSTOPS=\"";
        for (size_t i = 0; i < paragraph.tabStops.size(); ++i) {
            if (i)
                attributes += ',';
            attributes += pixels(paragraph.tabStops[i]);
        }
        attributes += "\"";
    }
    if (!attributes.empty())
        out += "<TEXTFORMAT" + attributes + ">";
    out += paragraph.bullet ? std::string("<LI>")
                            : std::string("<P ALIGN=\"") + alignName(paragraph.align) + "\">";

    // Font levels: returning to an enclosing level with exactly the run's
    // font closes the inner ones; otherwise a new level nests inside.
    std::vector<CharFormat> fonts{text.formatAt(begin)};
    openFont(out, nullptr, fonts.back());
    std::string styleClosing = openStyle(out, fonts.back());
    CharFormat style = fonts.back();
    for (size_t i = begin; i < end;) {
        size_t runEnd = i + 1;
        while (runEnd < end && text.formatOf[runEnd] == text.formatOf[i])
            ++runEnd;
        const CharFormat& format = text.formats[text.formatOf[i]];
        bool fontChanges = !sameFont(fonts.back(), format);
        if (fontChanges || !sameStyle(style, format)) {
            out += styleClosing;
            if (fontChanges) {
                size_t depth = fonts.size();
                while (depth > 1 && !sameFont(fonts[depth - 1], format))
                    --depth;
                if (sameFont(fonts[depth - 1], format)) {
                    for (; fonts.size() > depth; fonts.pop_back())
                        out += "</FONT>";
                } else {
                    openFont(out, &fonts.back(), format);
                    fonts.push_back(format);
                }
            }
            styleClosing = openStyle(out, format);
            style = format;
        }
        escape(out, std::u32string_view(text.chars).substr(i, runEnd - i));
        i = runEnd;
    }
    out += styleClosing;
    for (size_t k = 0; k < fonts.size(); ++k)
        out += "</FONT>";
    out += paragraph.bullet ? "</LI>" : "</P>";
    if (!attributes.empty())
        out += "</TEXTFORMAT>";
}

} // namespace

std::string toHtml(const StyledText& text)
{
    std::string out;
    size_t begin = 0;
    for (size_t paragraph = 0; begin <= text.chars.size(); ++paragraph) {
        size_t end = text.chars.find(U'\r', begin);
        bool last = end == std::u32string::npos;
        end = last ? text.chars.size() : end;
        // The empty paragraph after a final line break is not written.
        if (last && begin == end)
            break;
        size_t index =
            std::min(paragraph, text.paragraphs.empty() ? 0 : text.paragraphs.size() - 1);
        static const ParagraphFormat kDefault;
        writeParagraph(out, text, begin, end,
                       text.paragraphs.empty() ? kDefault : text.paragraphs[index]);
        begin = end + 1;
    }
    return out;
}

} // namespace zf::text
