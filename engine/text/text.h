// Text: turns static texts and edit texts into positioned glyph outlines
// that the display draws as solid-filled shapes. Glyphs come from the
// movie's embedded fonts or from system ("device") fonts found through
// fontconfig and converted from FreeType outlines. Edit texts accept the
// authoring tool's HTML subset, wrap and align it, and report the metrics
// scripts read (textWidth, textHeight, maxscroll).
#pragma once

#include "common/geom.h"
#include "common/result.h"
#include "swf/text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zf::text {

// One glyph to draw: its outline (one group, fill style 1 = the colour;
// fill the shape with `color`) and the matrix from glyph units to the
// text's own twips.
struct PositionedGlyph {
    const swf::Shape* shape = nullptr;
    Matrix matrix;
    Rgba color;
};

// A filled rectangle in the text's twips (underlines).
struct TextRect {
    Bounds rect;
    Rgba color;
};

struct LineMetrics {
    double x = 0;         // twips, left edge of the first glyph
    double top = 0;       // twips, before scrolling
    double width = 0;     // twips, trailing spaces excluded
    double ascent = 0;    // twips
    double descent = 0;   // twips
    double leading = 0;   // twips, added below the line
    size_t firstChar = 0; // index into the laid-out text
};

struct TextLayout {
    std::vector<PositionedGlyph> glyphs;
    std::vector<TextRect> underlines;
    Bounds bounds;         // of everything laid out, twips
    double textWidth = 0;  // pixels: widest line, as scripts read it
    double textHeight = 0; // pixels: all lines with their leading
    int lineCount = 0;
    int maxScroll = 1;     // highest useful `scroll` value (1-based line)
    int bottomScroll = 1;  // last line wholly visible at the current scroll
    double maxHScroll = 0; // pixels
    std::vector<LineMetrics> lines;
    std::string problem; // why glyphs are missing, empty when all is well
};

// The movie's embedded fonts.
class FontResolver {
public:
    virtual ~FontResolver() = default;
    virtual const swf::Font* font(uint16_t id) const = 0;
    // An embedded font by name, for HTML <font face>; nullptr by default.
    virtual const swf::Font* fontByName(std::string_view name, bool bold, bool italic) const;
};

// A system font loaded through FreeType; glyphs are converted once and
// cached. Outline units are 1024 per em, y down, baseline at 0.
class DeviceFont {
public:
    struct Glyph {
        swf::Shape shape;
        double advance = 0; // em units (1024 per em)
    };
    virtual ~DeviceFont() = default;
    virtual const std::string& family() const = 0;
    virtual const std::string& path() const = 0;
    virtual double ascent() const = 0;  // em units, positive
    virtual double descent() const = 0; // em units, positive
    virtual double leading() const = 0; // em units
    // nullptr when the font has no glyph for the character.
    virtual const Glyph* glyph(char32_t character) = 0;
    virtual double kerning(char32_t left, char32_t right) = 0; // em units
};

// Finds system fonts through fontconfig. _sans, _serif, _typewriter (and
// their Japanese names) map to the generic families; any other name is a
// family name with sans-serif as the fallback. When fontconfig finds
// nothing loadable, the font file shipped with the program is used.
class DeviceFonts {
public:
    DeviceFonts();
    ~DeviceFonts();
    DeviceFonts(const DeviceFonts&) = delete;
    DeviceFonts& operator=(const DeviceFonts&) = delete;

    // nullptr only when no font at all can be loaded; problem() says why.
    DeviceFont* find(std::string_view name, bool bold, bool italic);
    // Loads one font file directly (the fallback path; also for tests).
    DeviceFont* loadFile(const std::string& path);
    const std::string& problem() const;

private:
    struct Private;
    std::unique_ptr<Private> m_private;
};

// The generic fontconfig family a device font name maps to ("sans-serif",
// "serif", "monospace"), or the name itself.
std::string deviceFamilyFor(std::string_view name);

// Glyphs of a DefineText/DefineText2, in the text's coordinates (before the
// text's own matrix).
TextLayout layoutStaticText(const swf::StaticText& text, const FontResolver& fonts);

// Formatting a script applied to the whole field (TextFormat); unset fields
// keep the definition's values.
struct TextFormatOverride {
    std::optional<std::string> font;
    std::optional<double> size; // pixels
    std::optional<Rgba> color;
    std::optional<bool> bold, italic, underline;
    std::optional<swf::TextAlign> align;
    std::optional<double> leftMargin, rightMargin, indent, leading, letterSpacing; // pixels
};

// What a running movie may have changed in an edit text.
struct EditTextState {
    std::string text; // UTF-8; HTML when html is set
    bool html = false;
    int scroll = 1;     // first visible line, 1-based
    double hscroll = 0; // pixels
    TextFormatOverride format;

    // The state a field starts in: its initial text.
    static EditTextState fromDefinition(const swf::EditText& definition);
};

TextLayout layoutEditText(const swf::EditText& definition, const EditTextState& state,
                          const FontResolver& fonts, DeviceFonts& deviceFonts);

struct StyledText;
// Lays out a field's styled content in the field's box (definition.bounds).
TextLayout layoutStyledText(const swf::EditText& definition, const StyledText& text, int scroll,
                            double hscroll, const FontResolver& fonts, DeviceFonts& deviceFonts);

// The text of an HTML string without tags, entities resolved; paragraphs
// and <br> become "\r", as scripts see them.
std::string plainText(std::string_view html);

} // namespace zf::text
