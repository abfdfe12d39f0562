// DefineEditText layout: styled text -> lines -> positioned glyphs.
// Geometry: a 2-pixel gutter inside the field's bounds, margins and indents
// from the paragraph format, lines as tall as their tallest font's ascent +
// descent plus the leading.
#include "text/face_p.h"
#include "text/html_p.h"

#include <algorithm>
#include <cmath>

namespace zf::text {
namespace {

constexpr double kGutter = 2 * kTwipsPerPixel;
constexpr double kDefaultTabStep = 36 * kTwipsPerPixel;
// Texts beyond this many bytes are cut; no field shows more.
constexpr size_t kMaxTextBytes = 256 * 1024;

const char* const kDefaultFont = "Times New Roman";

struct Item {
    char32_t character = 0;
    uint32_t format = 0;
    Face* face = nullptr;
    const swf::Shape* shape = nullptr;
    double scale = 0;   // font units -> twips
    double advance = 0; // twips
};

// A font's ascent or descent at a size, in whole twips (fraction dropped).
double wholeTwips(const Face& face, bool ascent, double scale)
{
    return std::floor((ascent ? face.ascent() : face.descent()) * scale);
}

// Scripts read whole pixels, the fraction dropped; the epsilon keeps sums
// that land on a whole pixel from falling just below it.
double wholePixels(double twips)
{
    return std::floor(twips / kTwipsPerPixel + 1e-9);
}

// In a justified paragraph a glyph's advance counts in whole twips, the
// fraction dropped (the epsilon keeps exact products from falling just
// below); even its last, unjustified line is set that way, so over a long
// line the dropped fractions add up to a visible shift. Other alignments
// keep the fractions.
double glyphAdvance(double twips, const ParagraphFormat& paragraph)
{
    if (paragraph.align != swf::TextAlign::Justify)
        return twips;
    return std::floor(twips + 1e-9);
}

bool isSpace(char32_t c)
{
    return c == U' ' || c == U'\t' || c == 0xA0 || c == 0x3000;
}

// Faces for character formats, shared between formats naming the same font.
class FaceCache {
public:
    FaceCache(const swf::EditText& definition, const swf::Font* definitionFont,
              const FontResolver& fonts, DeviceFonts& deviceFonts)
        : m_definition(definition), m_definitionFont(definitionFont), m_fonts(fonts),
          m_deviceFonts(deviceFonts)
    {
    }

    Face* faceFor(const CharFormat& format)
    {
        if (m_definition.useOutlines) {
            const swf::Font* embedded =
                m_definitionFont && format.font == m_definitionFont->name
                    ? m_definitionFont
                    : m_fonts.fontByName(format.font, format.bold, format.italic);
            if (embedded && !embedded->glyphs.empty())
                return embeddedFace(*embedded);
        }
        return deviceFace(format.font, format.bold, format.italic);
    }

    // Characters a device font lacks come from the generic sans-serif font.
    Face* fallback(const CharFormat& format)
    {
        return deviceFace("_sans", format.bold, format.italic);
    }

    std::string problem;

private:
    Face* embeddedFace(const swf::Font& font)
    {
        auto& face = m_faces[&font];
        if (!face)
            face = std::make_unique<EmbeddedFace>(font);
        return face.get();
    }

    Face* deviceFace(const std::string& name, bool bold, bool italic)
    {
        DeviceFont* font = m_deviceFonts.find(name, bold, italic);
        if (!font) {
            problem = m_deviceFonts.problem();
            return nullptr;
        }
        auto& face = m_faces[font];
        if (!face)
            face = std::make_unique<DeviceFace>(*font);
        return face.get();
    }

    const swf::EditText& m_definition;
    const swf::Font* m_definitionFont;
    const FontResolver& m_fonts;
    DeviceFonts& m_deviceFonts;
    std::map<const void*, std::unique_ptr<Face>> m_faces;
};

struct BuiltLine {
    LineMetrics metrics;
    std::vector<PositionedGlyph> glyphs;
    std::vector<TextRect> underlines;
};

class EditTextLayouter {
public:
    EditTextLayouter(const swf::EditText& definition, const StyledText& text, FaceCache& faces)
        : m_definition(definition), m_text(text), m_faces(faces),
          m_faceOf(text.formats.size(), nullptr), m_faceKnown(text.formats.size(), false)
    {
    }

    TextLayout run(int scroll, double hscroll)
    {
        size_t begin = 0, paragraph = 0;
        for (size_t i = 0; i <= m_text.chars.size(); ++i) {
            if (i < m_text.chars.size() && m_text.chars[i] != U'\r')
                continue;
            size_t index = std::min(paragraph++, m_text.paragraphs.size() - 1);
            layoutParagraph(begin, i, m_text.paragraphs[index]);
            begin = i + 1;
        }
        return finish(scroll, hscroll);
    }

private:
    Face* face(uint32_t format)
    {
        if (!m_faceKnown[format]) {
            m_faceOf[format] = m_faces.faceFor(m_text.formats[format]);
            m_faceKnown[format] = true;
        }
        return m_faceOf[format];
    }

    double fieldWidth() const { return double(m_definition.bounds.width()); }

    std::vector<Item> makeItems(size_t begin, size_t end, const ParagraphFormat& paragraph)
    {
        std::vector<Item> items;
        double x = 0;
        for (size_t i = begin; i < end; ++i) {
            char32_t c = m_text.chars[i];
            if (c < 0x20 && c != U'\t')
                continue; // control characters show nothing
            Item item{c, m_text.formatOf[i]};
            const CharFormat& format = m_text.formats[item.format];
            item.face = face(item.format);
            std::optional<FaceGlyph> glyph;
            if (item.face)
                glyph = item.face->glyph(c == U'\t' ? U' ' : c);
            if (!glyph && dynamic_cast<DeviceFace*>(item.face)) {
                item.face = m_faces.fallback(format);
                glyph = item.face ? item.face->glyph(c) : std::nullopt;
            }
            if (glyph) {
                item.scale = format.size / item.face->emSquare();
                item.shape = glyph->shape;
                item.advance = glyphAdvance(glyph->advance * item.scale, paragraph);
            }
            item.advance += format.letterSpacing;
            if (format.kerning && !items.empty() && items.back().face == item.face && item.face) {
                double kerning = item.face->kerning(items.back().character, c) * item.scale;
                items.back().advance += kerning;
                x += kerning;
            }
            if (c == U'\t')
                item.advance = nextTabStop(x, paragraph) - x;
            x += item.advance;
            items.push_back(item);
        }
        return items;
    }

    // FIXME: tab stops count from the paragraph start, not from the line,
    // so a tab on a wrapped line may pick the wrong stop.
    static double nextTabStop(double x, const ParagraphFormat& paragraph)
    {
        for (double stop : paragraph.tabStops)
            if (stop > x)
                return stop;
        return (std::floor(x / kDefaultTabStep) + 1) * kDefaultTabStep;
    }

    double lineIndent(const ParagraphFormat& p, bool firstLine) const
    {
        double bullet = p.bullet ? bulletIndent(p) : 0;
        return p.leftMargin + p.blockIndent + (firstLine ? p.indent : 0) + bullet;
    }

    double bulletIndent(const ParagraphFormat&) const { return 1.5 * m_text.formatAt(0).size; }

    double lineLimit(const ParagraphFormat& p, bool firstLine) const
    {
        return fieldWidth() - 2 * kGutter - p.rightMargin - lineIndent(p, firstLine);
    }

    void layoutParagraph(size_t begin, size_t end, const ParagraphFormat& paragraph)
    {
        std::vector<Item> items = makeItems(begin, end, paragraph);
        std::vector<double> position(items.size() + 1, 0);
        for (size_t k = 0; k < items.size(); ++k)
            position[k + 1] = position[k] + items[k].advance;
        size_t lineStart = 0, breakAt = 0, k = 0;
        bool firstLine = true;
        // Greedy filling: break after the last space that fits, or inside a
        // word that is wider than the line on its own.
        while (k < items.size()) {
            if (isSpace(items[k].character)) {
                breakAt = ++k;
                continue;
            }
            bool overflows =
                position[k + 1] - position[lineStart] > lineLimit(paragraph, firstLine);
            if (m_definition.wordWrap && k > lineStart && overflows) {
                size_t lineEnd = breakAt > lineStart ? breakAt : k;
                emitLine(items, position, lineStart, lineEnd, paragraph, firstLine, false, begin);
                lineStart = breakAt = lineEnd;
                firstLine = false;
                continue;
            }
            ++k;
        }
        emitLine(items, position, lineStart, items.size(), paragraph, firstLine, true, begin);
    }

    void emitLine(const std::vector<Item>& items, const std::vector<double>& position, size_t first,
                  size_t end, const ParagraphFormat& paragraph, bool firstLine, bool lastLine,
                  size_t firstChar)
    {
        size_t trimmed = end;
        while (trimmed > first && isSpace(items[trimmed - 1].character))
            --trimmed;
        BuiltLine line;
        LineMetrics& metrics = line.metrics;
        metrics.width = position[trimmed] - position[first];
        metrics.firstChar = firstChar;
        for (size_t k = first; k < end; ++k) {
            if (!items[k].face)
                continue;
            metrics.ascent =
                std::max(metrics.ascent, wholeTwips(*items[k].face, true, items[k].scale));
            metrics.descent =
                std::max(metrics.descent, wholeTwips(*items[k].face, false, items[k].scale));
        }
        if (first == end)
            emptyLineMetrics(firstChar, metrics);
        metrics.leading = paragraph.leading;

        double extra = lineLimit(paragraph, firstLine) - metrics.width;
        double offset = 0, perSpace = 0;
        if (paragraph.align == swf::TextAlign::Right)
            offset = std::max(0.0, extra);
        else if (paragraph.align == swf::TextAlign::Center)
            offset = std::max(0.0, extra / 2);
        else if (paragraph.align == swf::TextAlign::Justify && !lastLine && extra > 0) {
            auto spaces = std::count_if(items.begin() + std::ptrdiff_t(first),
                                        items.begin() + std::ptrdiff_t(trimmed),
                                        [](const Item& item) { return isSpace(item.character); });
            perSpace = spaces > 0 ? extra / double(spaces) : 0;
        }
        double left =
            m_definition.bounds.xMin + kGutter + lineIndent(paragraph, firstLine) + offset;
        metrics.x = left;
        metrics.top = m_definition.bounds.yMin + kGutter + m_top;
        double baseline = metrics.top + metrics.ascent;
        if (paragraph.bullet && firstLine)
            addBullet(line, paragraph, baseline);

        double shift = 0;
        for (size_t k = first; k < trimmed; ++k) {
            const Item& item = items[k];
            double x = left + position[k] - position[first] + shift;
            const CharFormat& format = m_text.formats[item.format];
            if (item.shape)
                line.glyphs.push_back(
                    {item.shape, Matrix{item.scale, 0, 0, item.scale, x, baseline}, format.color});
            if (format.underline)
                addUnderline(line, x, x + item.advance, baseline, format);
            if (isSpace(item.character))
                shift += perSpace;
        }
        m_top += metrics.ascent + metrics.descent + metrics.leading;
        m_lines.push_back(std::move(line));
    }

    // An empty line is as tall as the font at its position would make it.
    void emptyLineMetrics(size_t charIndex, LineMetrics& metrics)
    {
        uint32_t format = m_text.formatOf.empty()
                              ? 0
                              : m_text.formatOf[std::min(charIndex, m_text.formatOf.size() - 1)];
        Face* lineFace = m_text.formats.empty() ? nullptr : face(format);
        if (!lineFace)
            return;
        double scale = m_text.formats[format].size / lineFace->emSquare();
        metrics.ascent = wholeTwips(*lineFace, true, scale);
        metrics.descent = wholeTwips(*lineFace, false, scale);
    }

    void addBullet(BuiltLine& line, const ParagraphFormat& paragraph, double baseline)
    {
        const CharFormat& format = m_text.formatAt(line.metrics.firstChar);
        Face* bulletFace = m_faces.faceFor(format);
        std::optional<FaceGlyph> glyph = bulletFace ? bulletFace->glyph(0x2022) : std::nullopt;
        if (!glyph || !glyph->shape)
            return;
        double scale = format.size / bulletFace->emSquare();
        double x =
            m_definition.bounds.xMin + kGutter + paragraph.leftMargin + paragraph.blockIndent;
        line.glyphs.push_back(
            {glyph->shape, Matrix{scale, 0, 0, scale, x, baseline}, format.color});
    }

    void addUnderline(BuiltLine& line, double x0, double x1, double baseline,
                      const CharFormat& format)
    {
        double thickness = std::max(kTwipsPerPixel, format.size / 16);
        double top = baseline + std::max(kTwipsPerPixel, format.size / 12);
        if (!line.underlines.empty()) {
            TextRect& last = line.underlines.back();
            if (last.color == format.color && std::abs(last.rect.xMax - x0) < 1 &&
                last.rect.yMin == top) {
                last.rect.xMax = x1;
                return;
            }
        }
        TextRect rect{{}, format.color};
        rect.rect.add(x0, top);
        rect.rect.add(x1, top + thickness);
        line.underlines.push_back(rect);
    }

    TextLayout finish(int scroll, double hscroll);

    const swf::EditText& m_definition;
    const StyledText& m_text;
    FaceCache& m_faces;
    std::vector<Face*> m_faceOf;
    std::vector<bool> m_faceKnown;
    std::vector<BuiltLine> m_lines;
    double m_top = 0; // of the next line, from the text area's top
};

// Scrolling: `scroll` names the first visible line; lines are kept while
// they start inside the field, the display clips what overhangs.
TextLayout EditTextLayouter::finish(int scroll, double hscroll)
{
    TextLayout layout;
    layout.problem = m_faces.problem;
    layout.lineCount = int(m_lines.size());
    double visible = double(m_definition.bounds.height()) - 2 * kGutter;
    double used = 0;
    int fitting = 0;
    for (size_t i = m_lines.size(); i-- > 0;) {
        const LineMetrics& line = m_lines[i].metrics;
        if (fitting > 0 && used + line.ascent + line.descent > visible)
            break;
        used += line.ascent + line.descent + line.leading;
        ++fitting;
    }
    layout.maxScroll = std::max(1, layout.lineCount - fitting + 1);
    int first = std::clamp(scroll, 1, layout.maxScroll) - 1;
    double width = 0, height = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const LineMetrics& line = m_lines[i].metrics;
        width = std::max(width, line.width);
        // Leading separates lines: a text of several lines has none below
        // the last, a single line keeps its own.
        bool last = i + 1 == m_lines.size() && m_lines.size() > 1;
        height += line.ascent + line.descent + (last ? 0 : line.leading);
        layout.lines.push_back(line);
    }
    // Scripts read whole pixels.
    layout.textWidth = wholePixels(width);
    layout.textHeight = wholePixels(height);
    double innerWidth = double(m_definition.bounds.width()) - 2 * kGutter;
    layout.maxHScroll = std::max(0.0, (width - innerWidth) / kTwipsPerPixel);
    layout.bottomScroll = first + 1;
    if (m_lines.empty())
        return layout;
    double firstTop = m_lines[size_t(first)].metrics.top;
    for (size_t i = size_t(first) + 1; i < m_lines.size(); ++i) {
        const LineMetrics& line = m_lines[i].metrics;
        if (line.top + line.ascent + line.descent - firstTop > visible)
            break;
        layout.bottomScroll = int(i) + 1;
    }
    double dy = m_lines[0].metrics.top - firstTop;
    double dx = -std::clamp(hscroll, 0.0, layout.maxHScroll) * kTwipsPerPixel;
    for (size_t i = size_t(first); i < m_lines.size(); ++i) {
        if (m_lines[i].metrics.top + dy >= m_definition.bounds.yMax)
            break;
        for (PositionedGlyph glyph : m_lines[i].glyphs) {
            glyph.matrix.tx += dx;
            glyph.matrix.ty += dy;
            layout.bounds.add(transformBounds(glyph.matrix, glyph.shape->computeBounds()));
            layout.glyphs.push_back(glyph);
        }
        for (TextRect underline : m_lines[i].underlines) {
            underline.rect = transformBounds(Matrix::translate(dx, dy), underline.rect);
            layout.bounds.add(underline.rect);
            layout.underlines.push_back(underline);
        }
    }
    return layout;
}

void applyOverride(const TextFormatOverride& o, CharFormat& format, ParagraphFormat& paragraph)
{
    auto twips = [](double pixels) {
        return std::clamp(pixels, -10000.0, 10000.0) * kTwipsPerPixel;
    };
    format.font = o.font.value_or(format.font);
    format.size = o.size ? std::clamp(*o.size, 0.0, 2000.0) * kTwipsPerPixel : format.size;
    format.color = o.color.value_or(format.color);
    format.bold = o.bold.value_or(format.bold);
    format.italic = o.italic.value_or(format.italic);
    format.underline = o.underline.value_or(format.underline);
    format.letterSpacing = o.letterSpacing ? twips(*o.letterSpacing) : format.letterSpacing;
    paragraph.align = o.align.value_or(paragraph.align);
    paragraph.leftMargin = o.leftMargin ? twips(*o.leftMargin) : paragraph.leftMargin;
    paragraph.rightMargin = o.rightMargin ? twips(*o.rightMargin) : paragraph.rightMargin;
    paragraph.indent = o.indent ? twips(*o.indent) : paragraph.indent;
    paragraph.leading = o.leading ? twips(*o.leading) : paragraph.leading;
}

} // namespace

EditTextState EditTextState::fromDefinition(const swf::EditText& definition)
{
    EditTextState state;
    state.text = definition.initialText;
    state.html = definition.html;
    return state;
}

TextLayout layoutEditText(const swf::EditText& definition, const EditTextState& state,
                          const FontResolver& fonts, DeviceFonts& deviceFonts)
{
    const swf::Font* definitionFont = definition.fontId ? fonts.font(*definition.fontId) : nullptr;
    CharFormat base;
    base.font = definitionFont                  ? definitionFont->name
                : !definition.fontClass.empty() ? definition.fontClass
                                                : kDefaultFont;
    base.bold = definitionFont && definitionFont->bold;
    base.italic = definitionFont && definitionFont->italic;
    base.size = definition.fontHeight;
    base.color = definition.textColor;
    ParagraphFormat paragraph;
    paragraph.align = definition.align;
    paragraph.leftMargin = definition.leftMargin;
    paragraph.rightMargin = definition.rightMargin;
    paragraph.indent = definition.indent;
    paragraph.leading = definition.leading;
    applyOverride(state.format, base, paragraph);

    std::string_view source = state.text;
    source = source.substr(0, std::min(source.size(), kMaxTextBytes));
    // Line breaks in plain text always count; a single-line field runs the
    // paragraphs of HTML text together.
    StyledText styled = state.html ? styledFromHtml(source, base, paragraph, definition.multiline)
                                   : styledFromPlain(source, base, paragraph);
    if (definition.password)
        for (char32_t& c : styled.chars)
            c = c == U'\r' ? c : U'*';
    return layoutStyledText(definition, styled, state.scroll, state.hscroll, fonts, deviceFonts);
}

TextLayout layoutStyledText(const swf::EditText& definition, const StyledText& text, int scroll,
                            double hscroll, const FontResolver& fonts, DeviceFonts& deviceFonts)
{
    const swf::Font* definitionFont = definition.fontId ? fonts.font(*definition.fontId) : nullptr;
    FaceCache faces(definition, definitionFont, fonts, deviceFonts);
    if (text.paragraphs.empty() || text.formats.empty()) {
        // Nothing to measure: an empty field with no format at all.
        StyledText blank = text;
        if (blank.paragraphs.empty())
            blank.paragraphs.emplace_back();
        if (blank.formats.empty())
            blank.formats.emplace_back();
        return EditTextLayouter(definition, blank, faces).run(scroll, hscroll);
    }
    return EditTextLayouter(definition, text, faces).run(scroll, hscroll);
}

} // namespace zf::text
