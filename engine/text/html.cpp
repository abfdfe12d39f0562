// Plain and HTML text into StyledText. The HTML is what the authoring tool
// writes into edit texts and what scripts assign to htmlText: a small tag
// set, often with unclosed or unknown tags, parsed without complaint.
#include "text/html_p.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zf::text {

void StyledText::append(char32_t character, const CharFormat& format)
{
    // Formats alternate between a few values; looking back a little keeps
    // the table small without making long hostile texts quadratic.
    size_t lookBack = std::min<size_t>(formats.size(), 16);
    auto found = std::find(formats.end() - std::ptrdiff_t(lookBack), formats.end(), format);
    if (found == formats.end())
        found = formats.insert(formats.end(), format);
    formatOf.push_back(uint32_t(found - formats.begin()));
    chars.push_back(character);
}

void StyledText::breakParagraph(const CharFormat& format, const ParagraphFormat& next)
{
    append(U'\r', format);
    paragraphs.push_back(next);
}

const CharFormat& StyledText::formatAt(size_t index) const
{
    static const CharFormat kDefault;
    if (formatOf.empty())
        return formats.empty() ? kDefault : formats.front();
    return formats[formatOf[std::min(index, formatOf.size() - 1)]];
}

std::u32string decodeUtf8(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint8_t lead = uint8_t(text[i]);
        int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
        if (lead >= 0xF5)
            extra = 0;
        char32_t value = lead;
        bool valid = lead < 0x80 || extra > 0;
        if (extra > 0) {
            valid = i + size_t(extra) < text.size();
            value = lead & (0x3F >> extra);
            for (int k = 1; valid && k <= extra; ++k) {
                uint8_t next = uint8_t(text[i + size_t(k)]);
                valid = (next & 0xC0) == 0x80;
                value = value << 6 | (next & 0x3F);
            }
            // Overlong forms and surrogates are not characters.
            valid = valid && !(extra == 2 && value < 0x800) && !(extra == 3 && value < 0x10000) &&
                    value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
        }
        if (valid && extra > 0) {
            out.push_back(value);
            i += size_t(extra) + 1;
        } else {
            out.push_back(lead); // Latin-1 reading of a stray byte
            ++i;
        }
    }
    return out;
}

std::string encodeUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | c >> 6));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | c >> 12));
            out.push_back(char(0x80 | (c >> 6 & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | c >> 18));
            out.push_back(char(0x80 | (c >> 12 & 0x3F)));
            out.push_back(char(0x80 | (c >> 6 & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

StyledText styledFromPlain(std::string_view utf8, const CharFormat& base,
                           const ParagraphFormat& paragraph)
{
    StyledText out;
    out.formats.push_back(base);
    out.paragraphs.push_back(paragraph);
    std::u32string chars = decodeUtf8(utf8);
    for (size_t i = 0; i < chars.size(); ++i) {
        if (chars[i] == U'\r' && i + 1 < chars.size() && chars[i + 1] == U'\n')
            ++i;
        if (chars[i] == U'\r' || chars[i] == U'\n')
            out.breakParagraph(base, paragraph);
        else
            out.append(chars[i], base);
    }
    return out;
}

namespace {

// Opening tags nest at most this deep; deeper ones are read and ignored.
constexpr size_t kMaxTagDepth = 256;

std::string lowercase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool parseNumber(std::string_view text, double& value)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && std::isfinite(value);
}

struct Attribute {
    std::string name;
    std::string value;
};

struct Tag {
    std::string name;
    bool closing = false;
    std::vector<Attribute> attributes;

    const std::string* attribute(std::string_view key) const
    {
        for (const Attribute& a : attributes)
            if (a.name == key)
                return &a.value;
        return nullptr;
    }
};

// Reads the tag starting after '<' at text[pos]; pos ends after '>'.
// Returns false when the tag never closes.
bool readTag(std::string_view text, size_t& pos, Tag& tag)
{
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    size_t end = text.find('>', pos);
    if (end == std::string_view::npos)
        return false;
    std::string_view body = text.substr(pos, end - pos);
    pos = end + 1;
    size_t i = 0;
    if (i < body.size() && body[i] == '/')
        tag.closing = true, ++i;
    size_t nameStart = i;
    while (i < body.size() && !isSpace(body[i]) && body[i] != '/')
        ++i;
    tag.name = lowercase(body.substr(nameStart, i - nameStart));
    while (i < body.size()) {
        while (i < body.size() && (isSpace(body[i]) || body[i] == '/'))
            ++i;
        size_t keyStart = i;
        while (i < body.size() && !isSpace(body[i]) && body[i] != '=')
            ++i;
        Attribute attribute{lowercase(body.substr(keyStart, i - keyStart)), {}};
        while (i < body.size() && isSpace(body[i]))
            ++i;
        if (i < body.size() && body[i] == '=') {
            ++i;
            while (i < body.size() && isSpace(body[i]))
                ++i;
            char quote = i < body.size() && (body[i] == '"' || body[i] == '\'') ? body[i] : 0;
            size_t valueStart = quote ? i + 1 : i;
            size_t valueEnd = quote ? body.find(quote, valueStart) : valueStart;
            if (!quote)
                while (valueEnd < body.size() && !isSpace(body[valueEnd]))
                    ++valueEnd;
            valueEnd = std::min(valueEnd, body.size());
            attribute.value = std::string(body.substr(valueStart, valueEnd - valueStart));
            i = quote ? valueEnd + 1 : valueEnd;
        }
        if (!attribute.name.empty())
            tag.attributes.push_back(std::move(attribute));
    }
    return true;
}

// "&amp;" and friends at text[pos] ('&'); pos moves past the entity.
// Unknown entities stay literal text.
char32_t readEntity(std::string_view text, size_t& pos)
{
    size_t end = text.find(';', pos);
    if (end == std::string_view::npos || end - pos > 10) {
        ++pos;
        return U'&';
    }
    std::string name = lowercase(text.substr(pos + 1, end - pos - 1));
    static const std::pair<const char*, char32_t> kNamed[] = {
        {"lt", U'<'}, {"gt", U'>'}, {"amp", U'&'}, {"quot", U'"'}, {"apos", U'\''}, {"nbsp", 0xA0}};
    for (auto [entity, value] : kNamed) {
        if (name == entity) {
            pos = end + 1;
            return value;
        }
    }
    if (name.size() > 1 && name[0] == '#') {
        bool hex = name[1] == 'x';
        uint32_t value = 0;
        const char* first = name.data() + (hex ? 2 : 1);
        auto [stop, error] =
            std::from_chars(first, name.data() + name.size(), value, hex ? 16 : 10);
        if (error == std::errc() && stop == name.data() + name.size() && value > 0 &&
            value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF)) {
            pos = end + 1;
            return char32_t(value);
        }
    }
    ++pos;
    return U'&';
}

class HtmlParser {
public:
    HtmlParser(const CharFormat& base, const ParagraphFormat& paragraph, bool breaks, bool kerning)
        : m_format(base), m_paragraph(paragraph), m_breaks(breaks), m_kerning(kerning)
    {
        m_out.formats.push_back(base);
        m_out.paragraphs.push_back(paragraph);
    }

    StyledText parse(std::string_view html)
    {
        size_t pos = 0;
        while (pos < html.size()) {
            char c = html[pos];
            if (c == '<') {
                if (html.substr(pos, 4) == "<!--") {
                    size_t end = html.find("-->", pos + 4);
                    pos = end == std::string_view::npos ? html.size() : end + 3;
                    continue;
                }
                Tag tag;
                ++pos;
                if (!readTag(html, pos, tag))
                    break; // an unterminated tag ends the text
                handleTag(tag);
            } else {
                // A run of text up to the next tag; runs of nothing but
                // white space (the layout of the markup) are dropped.
                size_t end = std::min(html.find('<', pos), html.size());
                std::string_view run = html.substr(pos, end - pos);
                if (run.find_first_not_of(" \t\r\n") != std::string_view::npos)
                    addRun(run);
                pos = end;
            }
        }
        return std::move(m_out);
    }

private:
    struct Saved {
        std::string tag;
        CharFormat format;
        ParagraphFormat paragraph;
    };

    bool paragraphHasContent() const { return !m_out.chars.empty() && m_out.chars.back() != U'\r'; }

    void addRun(std::string_view run)
    {
        for (size_t i = 0; i < run.size();) {
            if (run[i] == '&') {
                addCharacter(readEntity(run, i));
                continue;
            }
            size_t end = std::min(run.find('&', i), run.size());
            std::u32string chars = decodeUtf8(run.substr(i, end - i));
            for (size_t k = 0; k < chars.size(); ++k) {
                if (chars[k] == U'\r' && k + 1 < chars.size() && chars[k + 1] == U'\n')
                    ++k;
                // Line breaks in the text break even single-line fields.
                addCharacter(chars[k] == U'\n' ? U'\r' : chars[k]);
            }
            i = end;
        }
    }

    void addCharacter(char32_t c)
    {
        if (c == U'\r') {
            m_out.breakParagraph(m_format, m_paragraph);
            return;
        }
        // Formatting opened inside a paragraph before its first character
        // (<p><textformat ...>text) still belongs to that paragraph.
        if (!paragraphHasContent())
            m_out.paragraphs.back() = m_paragraph;
        m_out.append(c, m_format);
    }

    // <p> and <li> start a new line unless at the start of one; their
    // format applies to the paragraph they begin.
    void beginParagraph()
    {
        if (!paragraphHasContent())
            m_out.paragraphs.back() = m_paragraph;
        else if (m_breaks)
            m_out.breakParagraph(m_format, m_paragraph);
    }

    void handleTag(const Tag& tag)
    {
        if (tag.closing) {
            for (size_t i = m_stack.size(); i-- > 0;) {
                if (m_stack[i].tag != tag.name)
                    continue;
                m_format = m_stack[i].format;
                m_paragraph = m_stack[i].paragraph;
                m_stack.resize(i);
                // A closed paragraph ends its line at once.
                if ((tag.name == "p" || tag.name == "li") && m_breaks)
                    m_out.breakParagraph(m_format, m_paragraph);
                break;
            }
            return;
        }
        if (tag.name == "br" || tag.name == "sbr") {
            if (m_breaks)
                addCharacter(U'\r');
            return;
        }
        static const char* const kContainers[] = {"p", "font", "b",  "i",
                                                  "u", "a",    "li", "textformat"};
        if (std::find_if(std::begin(kContainers), std::end(kContainers), [&](const char* name) {
                return tag.name == name;
            }) == std::end(kContainers))
            return; // unknown tags (span, img, ...) change nothing
        if (m_stack.size() >= kMaxTagDepth)
            return;
        m_stack.push_back({tag.name, m_format, m_paragraph});
        applyTag(tag);
    }

    void applyTag(const Tag& tag)
    {
        const std::string& name = tag.name;
        if (name == "b")
            m_format.bold = true;
        else if (name == "i")
            m_format.italic = true;
        else if (name == "u")
            m_format.underline = true;
        else if (name == "a")
            m_format.url = tag.attribute("href") ? *tag.attribute("href") : std::string();
        else if (name == "font")
            applyFont(tag);
        else if (name == "textformat")
            applyTextFormat(tag);
        else if (name == "p" || name == "li") {
            if (const std::string* align = tag.attribute("align"))
                m_paragraph.align = parseAlign(*align, m_paragraph.align);
            m_paragraph.bullet = name == "li";
            beginParagraph();
        }
    }

    static swf::TextAlign parseAlign(const std::string& value, swf::TextAlign fallback)
    {
        std::string lower = lowercase(value);
        if (lower == "left")
            return swf::TextAlign::Left;
        if (lower == "right")
            return swf::TextAlign::Right;
        if (lower == "center")
            return swf::TextAlign::Center;
        if (lower == "justify")
            return swf::TextAlign::Justify;
        return fallback;
    }

    void applyFont(const Tag& tag)
    {
        if (const std::string* face = tag.attribute("face"))
            m_format.font = *face;
        double number = 0;
        if (const std::string* size = tag.attribute("size"); size && parseNumber(*size, number)) {
            bool relative = !size->empty() && (size->front() == '+' || size->front() == '-');
            double pixels = relative ? m_format.size / kTwipsPerPixel + number : number;
            m_format.size = std::clamp(pixels, 0.0, 2000.0) * kTwipsPerPixel;
        }
        if (const std::string* color = tag.attribute("color")) {
            std::string_view digits = *color;
            if (!digits.empty() && digits.front() == '#')
                digits.remove_prefix(1);
            else if (digits.size() > 2 && digits[0] == '0' &&
                     (digits[1] == 'x' || digits[1] == 'X'))
                digits.remove_prefix(2);
            uint32_t rgb = 0;
            auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), rgb, 16);
            if (error == std::errc() && end != digits.data())
                m_format.color = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb),
                                  m_format.color.a};
        }
        if (const std::string* spacing = tag.attribute("letterspacing");
            spacing && parseNumber(*spacing, number))
            m_format.letterSpacing = std::clamp(number, -1000.0, 1000.0) * kTwipsPerPixel;
        if (const std::string* kerning = m_kerning ? tag.attribute("kerning") : nullptr)
            m_format.kerning = *kerning == "1" || lowercase(*kerning) == "true";
    }

    void applyTextFormat(const Tag& tag)
    {
        auto pixels = [&](const char* key, double& field) {
            double number = 0;
            if (const std::string* value = tag.attribute(key); value && parseNumber(*value, number))
                field = std::clamp(number, -10000.0, 10000.0) * kTwipsPerPixel;
        };
        pixels("leftmargin", m_paragraph.leftMargin);
        pixels("rightmargin", m_paragraph.rightMargin);
        pixels("indent", m_paragraph.indent);
        pixels("blockindent", m_paragraph.blockIndent);
        pixels("leading", m_paragraph.leading);
        if (const std::string* stops = tag.attribute("tabstops")) {
            m_paragraph.tabStops.clear();
            std::string_view rest = *stops;
            while (!rest.empty() && m_paragraph.tabStops.size() < 100) {
                size_t comma = rest.find(',');
                double number = 0;
                if (parseNumber(rest.substr(0, comma), number))
                    m_paragraph.tabStops.push_back(number * kTwipsPerPixel);
                rest =
                    comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
        }
    }

    StyledText m_out;
    CharFormat m_format;
    ParagraphFormat m_paragraph;
    std::vector<Saved> m_stack;
    bool m_breaks;
    bool m_kerning;
};

} // namespace

StyledText styledFromHtml(std::string_view html, const CharFormat& base,
                          const ParagraphFormat& paragraph, bool paragraphBreaks, bool kerning)
{
    return HtmlParser(base, paragraph, paragraphBreaks, kerning).parse(html);
}

std::string plainText(std::string_view html)
{
    return encodeUtf8(styledFromHtml(html, CharFormat{}, ParagraphFormat{}).chars);
}

} // namespace zf::text
