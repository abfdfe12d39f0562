// Font and text records: embedded fonts (DefineFont/2/3 with their info
// tags), static texts (DefineText/2) and edit texts (DefineEditText).
#pragma once

#include "swf/shape.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zf::swf {

struct KerningPair {
    uint16_t code1 = 0, code2 = 0;
    int16_t adjustment = 0;
};

struct Font {
    uint16_t id = 0;
    int version = 1;  // 1 DefineFont, 2 DefineFont2, 3 DefineFont3
    std::string name; // from the font tag or DefineFontInfo; trailing NUL stripped
    bool bold = false, italic = false, smallText = false, shiftJis = false, ansi = false;
    uint8_t languageCode = 0;
    std::vector<Shape> glyphs;   // one group, fill style 1 = the text colour
    std::vector<uint16_t> codes; // code table, parallel to glyphs (sorted ascending)
    bool hasLayout = false;
    int ascent = 0, descent = 0, leading = 0; // in em units
    // Em units, parallel to glyphs. Stored unsigned: players read the layout's
    // advances as 16-bit unsigned values, so 0x80E8 is a wide glyph, not a negative one.
    std::vector<uint16_t> advances;
    std::vector<KerningPair> kerning;
    double emSquare() const { return version == 3 ? 20480.0 : 1024.0; }
    // Glyph index for a character code, or -1.
    int glyphIndex(uint16_t code) const;
};

struct GlyphEntry {
    uint32_t index = 0;  // into the font's glyphs
    int32_t advance = 0; // twips
};

struct TextRecord {
    // Values already resolved: each record carries the font, colour, height
    // and origin in effect for it (the file only stores changes).
    uint16_t fontId = 0;
    Rgba color;
    int32_t x = 0, y = 0; // origin of the first glyph; y is the baseline
    uint16_t height = 0;  // twips
    std::vector<GlyphEntry> glyphs;
};

struct StaticText {
    uint16_t id = 0;
    RectTwips bounds;
    Matrix matrix;
    std::vector<TextRecord> records;
};

enum class TextAlign : uint8_t { Left = 0, Right = 1, Center = 2, Justify = 3 };

struct EditText {
    uint16_t id = 0;
    RectTwips bounds;
    bool wordWrap = false, multiline = false, password = false, readOnly = false;
    bool autoSize = false, noSelect = false, border = false, wasStatic = false;
    bool html = false, useOutlines = false;
    std::optional<uint16_t> fontId;
    std::string fontClass;
    uint16_t fontHeight = 240; // twips
    Rgba textColor{0, 0, 0, 255};
    std::optional<uint16_t> maxLength;
    TextAlign align = TextAlign::Left;
    uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
    int16_t leading = 0;
    std::string variableName;
    std::string initialText;
};

} // namespace zf::swf
