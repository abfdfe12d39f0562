// Text fields: styled content edited by scripts, formats read and applied
// over ranges, and the auto-size box.
#include "display/display_p.h"
#include "text/styled.h"

#include <algorithm>
#include <map>

namespace zf::display {
namespace {

class FieldFonts : public text::FontResolver {
public:
    explicit FieldFonts(const movie::MovieDefinition& movie) : m_movie(movie) {}
    const swf::Font* font(uint16_t id) const override { return m_movie.font(id); }
    const swf::Font* fontByName(std::string_view name, bool bold, bool italic) const override
    {
        return m_movie.fontByName(name, bold, italic);
    }

private:
    const movie::MovieDefinition& m_movie;
};

constexpr const char* kDefaultFont = "Times New Roman";
// Longest text a field keeps (characters); scripts cannot grow it further.
constexpr size_t kMaxChars = 1u << 20;

double toTwips(double pixels)
{
    return std::clamp(pixels, -1e6, 1e6) * kTwipsPerPixel;
}

std::u32string normalizedBreaks(std::string_view utf8)
{
    std::u32string in = text::decodeUtf8(utf8.substr(0, std::min(utf8.size(), kMaxChars * 4)));
    std::u32string out;
    out.reserve(in.size());
    // Each of "\r" and "\n" ends a paragraph, so "\r\n" makes two.
    for (size_t i = 0; i < in.size() && out.size() < kMaxChars; ++i)
        out.push_back(in[i] == U'\n' ? U'\r' : in[i]);
    return out;
}

void readChar(const text::CharFormat& c, TextFormat& out)
{
    out.font = c.font;
    out.size = c.size / kTwipsPerPixel;
    out.color = c.color;
    out.bold = c.bold;
    out.italic = c.italic;
    out.underline = c.underline;
    out.url = c.url;
    out.target = c.target;
    out.letterSpacing = c.letterSpacing / kTwipsPerPixel;
    out.kerning = c.kerning;
}

void readParagraph(const text::ParagraphFormat& p, TextFormat& out)
{
    out.align = p.align;
    out.leftMargin = p.leftMargin / kTwipsPerPixel;
    out.rightMargin = p.rightMargin / kTwipsPerPixel;
    out.indent = p.indent / kTwipsPerPixel;
    out.blockIndent = p.blockIndent / kTwipsPerPixel;
    out.leading = p.leading / kTwipsPerPixel;
    out.bullet = p.bullet;
    std::vector<double> stops;
    for (double stop : p.tabStops)
        stops.push_back(stop / kTwipsPerPixel);
    out.tabStops = std::move(stops);
}

void applyChar(const TextFormat& f, text::CharFormat& c)
{
    c.font = f.font.value_or(c.font);
    if (f.size)
        c.size = std::clamp(*f.size, 0.0, 2000.0) * kTwipsPerPixel;
    if (f.color)
        c.color = {f.color->r, f.color->g, f.color->b, 255};
    c.bold = f.bold.value_or(c.bold);
    c.italic = f.italic.value_or(c.italic);
    c.underline = f.underline.value_or(c.underline);
    c.url = f.url.value_or(c.url);
    c.target = f.target.value_or(c.target);
    if (f.letterSpacing)
        c.letterSpacing = toTwips(*f.letterSpacing);
    c.kerning = f.kerning.value_or(c.kerning);
}

void applyParagraph(const TextFormat& f, text::ParagraphFormat& p)
{
    p.align = f.align.value_or(p.align);
    if (f.leftMargin)
        p.leftMargin = toTwips(*f.leftMargin);
    if (f.rightMargin)
        p.rightMargin = toTwips(*f.rightMargin);
    if (f.indent)
        p.indent = toTwips(*f.indent);
    if (f.blockIndent)
        p.blockIndent = toTwips(*f.blockIndent);
    if (f.leading)
        p.leading = toTwips(*f.leading);
    p.bullet = f.bullet.value_or(p.bullet);
    if (f.tabStops) {
        p.tabStops.clear();
        for (double stop : *f.tabStops)
            p.tabStops.push_back(toTwips(stop));
    }
}

template <class T>
void keepIfSame(std::optional<T>& into, const std::optional<T>& other)
{
    if (into && !(other && *other == *into))
        into.reset();
}

// Unsets the character fields of `into` that `other` has different.
void intersectChar(TextFormat& into, const TextFormat& other)
{
    keepIfSame(into.font, other.font);
    keepIfSame(into.url, other.url);
    keepIfSame(into.target, other.target);
    keepIfSame(into.size, other.size);
    keepIfSame(into.letterSpacing, other.letterSpacing);
    keepIfSame(into.color, other.color);
    keepIfSame(into.bold, other.bold);
    keepIfSame(into.italic, other.italic);
    keepIfSame(into.underline, other.underline);
    keepIfSame(into.kerning, other.kerning);
}

// Unsets the paragraph fields of `into` that `other` has different.
void intersectParagraph(TextFormat& into, const TextFormat& other)
{
    keepIfSame(into.bullet, other.bullet);
    keepIfSame(into.align, other.align);
    keepIfSame(into.leftMargin, other.leftMargin);
    keepIfSame(into.rightMargin, other.rightMargin);
    keepIfSame(into.indent, other.indent);
    keepIfSame(into.blockIndent, other.blockIndent);
    keepIfSame(into.leading, other.leading);
    keepIfSame(into.tabStops, other.tabStops);
}

} // namespace

TextField::TextField(Stage& stage, const swf::EditText& definition)
    : DisplayObject(stage, ObjectKind::TextField), m_definition(definition),
      m_content(std::make_unique<text::StyledText>()),
      m_newFormat(std::make_unique<text::CharFormat>()),
      m_newParagraph(std::make_unique<text::ParagraphFormat>()), m_box(definition.bounds)
{
    html = definition.html;
    variableName = definition.variableName;
    multiline = definition.multiline;
    wordWrap = definition.wordWrap;
    password = definition.password;
    selectable = !definition.noSelect;
    editable = !definition.readOnly;
    border = definition.border;
    background = definition.border;
    embedFonts = definition.useOutlines;
    maxChars = definition.maxLength.value_or(0);

    const swf::Font* font = definition.fontId ? stage.movie().font(*definition.fontId) : nullptr;
    text::CharFormat& format = *m_newFormat;
    format.font = font                            ? font->name
                  : !definition.fontClass.empty() ? definition.fontClass
                                                  : kDefaultFont;
    format.bold = font && font->bold;
    format.italic = font && font->italic;
    format.size = definition.fontHeight;
    format.color = definition.textColor;
    text::ParagraphFormat& paragraph = *m_newParagraph;
    paragraph.align = definition.align;
    paragraph.leftMargin = definition.leftMargin;
    paragraph.rightMargin = definition.rightMargin;
    paragraph.indent = definition.indent;
    paragraph.leading = definition.leading;
    if (definition.autoSize)
        m_autoSize = "left";
    if (html)
        setHtmlText(definition.initialText);
    else
        setText(definition.initialText);
}

TextField::~TextField() = default;

std::string TextField::text() const
{
    return text::encodeUtf8(m_content->chars);
}

size_t TextField::length() const
{
    return m_content->chars.size();
}

void TextField::setText(std::string_view text)
{
    text::StyledText content;
    content.formats.push_back(*m_newFormat);
    content.paragraphs.push_back(*m_newParagraph);
    content.replace(0, 0, normalizedBreaks(text), *m_newFormat);
    *m_content = std::move(content);
    changed();
}

void TextField::setHtmlText(std::string_view source)
{
    if (!html) {
        setText(source);
        return;
    }
    source = source.substr(0, std::min(source.size(), kMaxChars * 4));
    // Before version 8 markup starts from left-aligned paragraphs; later
    // movies keep the field's alignment for paragraphs that name none.
    bool modern = stage().swfVersion() >= 8;
    text::ParagraphFormat start = *m_newParagraph;
    if (!modern)
        start.align = swf::TextAlign::Left;
    *m_content = text::styledFromHtml(source, *m_newFormat, start, multiline, modern);
    // Text typed or set later continues the alignment of the last
    // paragraph; with no text at all it starts from the left.
    m_newParagraph->align = m_content->chars.empty() || m_content->paragraphs.empty()
                                ? swf::TextAlign::Left
                                : m_content->paragraphs.back().align;
    if (m_content->chars.size() > kMaxChars)
        m_content->replace(kMaxChars, m_content->chars.size(), {}, *m_newFormat);
    m_content->compact();
    changed();
}

std::string TextField::htmlText() const
{
    return html ? text::toHtml(*m_content) : text();
}

void TextField::replaceText(size_t begin, size_t end, std::string_view text)
{
    std::u32string insert = normalizedBreaks(text);
    if (m_content->chars.size() + insert.size() > kMaxChars)
        return;
    m_content->replace(begin, end, insert, *m_newFormat);
    m_content->compact();
    changed();
}

TextFormat TextField::textFormat(size_t begin, size_t end) const
{
    const text::StyledText& content = *m_content;
    size_t size = content.chars.size();
    if (size == 0)
        return newTextFormat();
    end = std::min(end, size);
    begin = std::min(begin, end);
    if (begin == end) {
        begin = begin > 0 ? begin - 1 : 0;
        end = begin + 1;
    }
    TextFormat result;
    readChar(content.formats[content.formatOf[begin]], result);
    size_t firstParagraph = content.paragraphAt(begin);
    readParagraph(content.paragraphs[firstParagraph], result);
    std::vector<bool> seen(content.formats.size(), false);
    seen[content.formatOf[begin]] = true;
    for (size_t i = begin + 1; i < end; ++i) {
        uint32_t index = content.formatOf[i];
        if (seen[index])
            continue;
        seen[index] = true;
        TextFormat other;
        readChar(content.formats[index], other);
        intersectChar(result, other);
    }
    size_t lastParagraph = content.paragraphAt(end - 1);
    for (size_t p = firstParagraph + 1; p <= lastParagraph; ++p) {
        TextFormat other;
        readParagraph(content.paragraphs[p], other);
        intersectParagraph(result, other);
    }
    return result;
}

void TextField::setTextFormat(size_t begin, size_t end, const TextFormat& format)
{
    text::StyledText& content = *m_content;
    end = std::min(end, content.chars.size());
    if (begin >= end)
        return;
    std::map<uint32_t, uint32_t> changedIndex;
    for (size_t i = begin; i < end; ++i) {
        uint32_t& index = content.formatOf[i];
        auto found = changedIndex.find(index);
        if (found == changedIndex.end()) {
            text::CharFormat updated = content.formats[index];
            applyChar(format, updated);
            content.formats.push_back(updated);
            found = changedIndex.emplace(index, uint32_t(content.formats.size() - 1)).first;
        }
        index = found->second;
    }
    size_t last = content.paragraphAt(end - 1);
    for (size_t p = content.paragraphAt(begin); p <= last; ++p)
        applyParagraph(format, content.paragraphs[p]);
    content.compact();
    changed();
}

TextFormat TextField::newTextFormat() const
{
    TextFormat result;
    readChar(*m_newFormat, result);
    readParagraph(*m_newParagraph, result);
    return result;
}

void TextField::setNewTextFormat(const TextFormat& format)
{
    applyChar(format, *m_newFormat);
    applyParagraph(format, *m_newParagraph);
}

Rgba TextField::textColor() const
{
    return m_newFormat->color;
}

void TextField::setTextColor(Rgba color)
{
    color.a = 255;
    m_newFormat->color = color;
    for (text::CharFormat& format : m_content->formats)
        format.color = color;
    m_content->compact();
}

void TextField::setAutoSize(std::string mode)
{
    m_autoSize = std::move(mode);
    fitToText();
}

void TextField::changed()
{
    fitToText();
}

void TextField::fitToText()
{
    if (m_autoSize == "none")
        return;
    text::TextLayout layout = layoutField(*this);
    // The box keeps a 2-pixel gutter on each side of the text.
    int32_t width = int32_t(std::lround(layout.textWidth * kTwipsPerPixel)) + 80;
    int32_t height = int32_t(std::lround(layout.textHeight * kTwipsPerPixel)) + 80;
    if (!wordWrap) {
        if (m_autoSize == "right") {
            m_box.xMin = m_box.xMax - width;
        } else if (m_autoSize == "center") {
            int32_t center = m_box.xMin + (m_box.xMax - m_box.xMin) / 2;
            m_box.xMin = center - width / 2;
            m_box.xMax = m_box.xMin + width;
        } else {
            m_box.xMax = m_box.xMin + width;
        }
    }
    m_box.yMax = m_box.yMin + height;
}

int TextField::lineCount() const
{
    return std::max(1, layoutField(*this).lineCount);
}

double TextField::textHeight() const
{
    return layoutField(*this).textHeight;
}

double TextField::textWidth() const
{
    return layoutField(*this).textWidth;
}

int TextField::maxScroll() const
{
    return layoutField(*this).maxScroll;
}

int TextField::maxHScroll() const
{
    return int(layoutField(*this).maxHScroll);
}

int TextField::bottomScroll() const
{
    text::TextLayout layout = layoutField(*this);
    // The last line whose bottom still fits in the box.
    double visibleHeight = double(m_box.height());
    int last = scroll;
    double top = scroll >= 1 && size_t(scroll - 1) < layout.lines.size()
                     ? layout.lines[size_t(scroll - 1)].top
                     : 0;
    for (size_t i = size_t(std::max(scroll, 1)); i <= layout.lines.size(); ++i) {
        const auto& line = layout.lines[i - 1];
        if (line.top + line.ascent + line.descent - top > visibleHeight)
            break;
        last = int(i);
    }
    return std::min(last, std::max(1, layout.lineCount));
}

Bounds TextField::localBounds() const
{
    Bounds b;
    b.add(m_box.xMin, m_box.yMin);
    b.add(m_box.xMax, m_box.yMax);
    return b;
}

bool TextField::hitTestLocal(Point local) const
{
    return local.x >= m_box.xMin && local.x <= m_box.xMax && local.y >= m_box.yMin &&
           local.y <= m_box.yMax;
}

text::TextLayout layoutField(const TextField& field)
{
    Stage& stage = field.stage();
    if (!stage.m_impl->deviceFonts)
        stage.m_impl->deviceFonts = std::make_unique<text::DeviceFonts>();
    // A field of a loaded movie uses the fonts of that movie.
    FieldFonts fonts(field.parent() ? field.parent()->definition() : stage.movie());
    swf::EditText definition = field.definition();
    definition.bounds = field.box();
    definition.wordWrap = field.wordWrap;
    definition.multiline = field.multiline;
    definition.password = field.password;
    definition.useOutlines = field.embedFonts;
    if (field.password) {
        text::StyledText hidden = field.content();
        for (char32_t& c : hidden.chars)
            c = c == U'\r' ? c : U'*';
        return text::layoutStyledText(definition, hidden, field.scroll, field.hscroll, fonts,
                                      *stage.m_impl->deviceFonts);
    }
    return text::layoutStyledText(definition, field.content(), field.scroll, field.hscroll, fonts,
                                  *stage.m_impl->deviceFonts);
}

} // namespace zf::display
