// Fonts (DefineFont 1-3 and their info tags), static text and edit text.
#include "swf/records_p.h"

#include <algorithm>

namespace zf::swf {

namespace {

std::string readFontName(ByteReader& reader, int swfVersion)
{
    auto bytes = reader.bytes(reader.u8());
    // The stored length usually includes a trailing NUL.
    while (!bytes.empty() && bytes.back() == 0)
        bytes = bytes.first(bytes.size() - 1);
    return decodeString(bytes, swfVersion);
}

// Parses the glyph shapes that lie between consecutive offsets of the table.
void readGlyphs(ByteReader& reader, size_t tableStart, const std::vector<uint32_t>& offsets,
                size_t glyphsEnd, Font& font)
{
    font.glyphs.reserve(offsets.size());
    for (size_t i = 0; i < offsets.size() && reader.ok(); ++i) {
        size_t begin = tableStart + offsets[i];
        size_t end = i + 1 < offsets.size() ? tableStart + offsets[i + 1] : glyphsEnd;
        if (begin > end || end > reader.size()) {
            reader.fail("glyph offsets out of order");
            return;
        }
        ByteReader glyph(reader.data().subspan(begin, end - begin));
        font.glyphs.push_back(parseGlyph(glyph));
        if (!glyph.ok())
            reader.fail("glyph " + std::to_string(i) + ": " + glyph.error(), false);
    }
}

void readDefineFont1(ByteReader& reader, Font& font)
{
    size_t tableStart = reader.position();
    if (reader.atEnd())
        return;
    uint16_t first = reader.u16();
    size_t count = first / 2;
    std::vector<uint32_t> offsets{first};
    for (size_t i = 1; i < count && reader.ok(); ++i)
        offsets.push_back(reader.u16());
    if (count == 0)
        return;
    readGlyphs(reader, tableStart, offsets, reader.size(), font);
    reader.seek(reader.size());
}

void readFontLayout(ByteReader& reader, bool wideCodes, Font& font)
{
    font.hasLayout = true;
    font.ascent = reader.u16();
    font.descent = reader.u16();
    font.leading = reader.s16();
    size_t count = font.glyphs.size();
    font.advances.reserve(cappedCount(reader, count, 2));
    for (size_t i = 0; i < count && reader.ok(); ++i)
        font.advances.push_back(reader.u16());
    for (size_t i = 0; i < count && reader.ok(); ++i)
        readRect(reader); // layout bounds are unreliable (often zero)
    uint16_t kerning = reader.u16();
    font.kerning.reserve(cappedCount(reader, kerning, wideCodes ? 6 : 4));
    for (int i = 0; i < kerning && reader.ok(); ++i) {
        KerningPair pair;
        pair.code1 = wideCodes ? reader.u16() : reader.u8();
        pair.code2 = wideCodes ? reader.u16() : reader.u8();
        pair.adjustment = reader.s16();
        font.kerning.push_back(pair);
    }
}

void readDefineFont23(ByteReader& reader, Font& font, int swfVersion)
{
    uint8_t flags = reader.u8();
    bool hasLayout = flags & 0x80;
    font.shiftJis = flags & 0x40;
    font.smallText = flags & 0x20;
    font.ansi = flags & 0x10;
    bool wideOffsets = flags & 0x08;
    bool wideCodes = flags & 0x04;
    font.italic = flags & 0x02;
    font.bold = flags & 0x01;
    font.languageCode = reader.u8();
    font.name = readFontName(reader, swfVersion);
    uint16_t count = reader.u16();
    if (count == 0) {
        // A device font: the tag ends here. Some writers still append an
        // offset, a layout or kerning data; it describes no glyph.
        reader.rest();
        return;
    }
    size_t tableStart = reader.position();
    auto offset = [&] { return wideOffsets ? reader.u32() : uint32_t(reader.u16()); };
    std::vector<uint32_t> offsets;
    offsets.reserve(cappedCount(reader, count, wideOffsets ? 4 : 2));
    for (int i = 0; i < count && reader.ok(); ++i)
        offsets.push_back(offset());
    uint32_t codeTableOffset = offset();
    if (!reader.ok())
        return;
    readGlyphs(reader, tableStart, offsets, tableStart + codeTableOffset, font);
    reader.seek(tableStart + codeTableOffset);
    font.codes.reserve(cappedCount(reader, count, wideCodes ? 2 : 1));
    for (int i = 0; i < count && reader.ok(); ++i)
        font.codes.push_back(wideCodes ? reader.u16() : reader.u8());
    if (hasLayout)
        readFontLayout(reader, wideCodes, font);
}

} // namespace

int Font::glyphIndex(uint16_t code) const
{
    auto it = std::lower_bound(codes.begin(), codes.end(), code);
    if (it == codes.end() || *it != code)
        return -1;
    size_t index = size_t(it - codes.begin());
    return index < glyphs.size() ? int(index) : -1;
}

Font parseDefineFont(ByteReader& reader, const Tag& tag, int swfVersion)
{
    Font font;
    font.id = reader.u16();
    switch (tag.type()) {
    case TagCode::DefineFont: readDefineFont1(reader, font); break;
    case TagCode::DefineFont3:
        font.version = 3;
        readDefineFont23(reader, font, swfVersion);
        break;
    default:
        font.version = 2;
        readDefineFont23(reader, font, swfVersion);
        break;
    }
    return font;
}

StaticText parseDefineText(ByteReader& reader, const Tag& tag)
{
    bool rgba = tag.type() == TagCode::DefineText2;
    StaticText text;
    text.id = reader.u16();
    text.bounds = readRect(reader);
    text.matrix = readMatrix(reader);
    int glyphBits = reader.u8();
    int advanceBits = reader.u8();
    TextRecord state; // font, colour, height and pen carry over between records
    while (reader.ok()) {
        uint8_t flags = reader.u8();
        if (flags == 0)
            break;
        // Stored order: font id, colour, x, y, then the height.
        if (flags & 0x08)
            state.fontId = reader.u16();
        if (flags & 0x04)
            state.color = rgba ? reader.rgba() : reader.rgb();
        if (flags & 0x01)
            state.x = reader.s16();
        if (flags & 0x02)
            state.y = reader.s16();
        if (flags & 0x08)
            state.height = reader.u16();
        TextRecord record = state;
        uint8_t count = reader.u8();
        // Glyph entries of zero bits would let a few bytes describe
        // millions of glyphs.
        if (count > 0 && glyphBits + advanceBits == 0)
            reader.fail("text glyph entries have no bits");
        BitReader bits(reader);
        for (int i = 0; i < count && reader.ok(); ++i) {
            GlyphEntry glyph;
            glyph.index = bits.ub(glyphBits);
            glyph.advance = bits.sb(advanceBits);
            state.x = int32_t(uint32_t(state.x) + uint32_t(glyph.advance)); // wraps, never UB
            record.glyphs.push_back(glyph);
        }
        text.records.push_back(std::move(record));
    }
    return text;
}

EditText parseDefineEditText(ByteReader& reader, int swfVersion)
{
    EditText edit;
    edit.id = reader.u16();
    edit.bounds = readRect(reader);
    uint8_t flags1 = reader.u8();
    uint8_t flags2 = reader.u8();
    edit.wordWrap = flags1 & 0x40;
    edit.multiline = flags1 & 0x20;
    edit.password = flags1 & 0x10;
    edit.readOnly = flags1 & 0x08;
    edit.autoSize = flags2 & 0x40;
    edit.noSelect = flags2 & 0x10;
    edit.border = flags2 & 0x08;
    edit.wasStatic = flags2 & 0x04;
    edit.html = flags2 & 0x02;
    edit.useOutlines = flags2 & 0x01;
    bool hasFont = flags1 & 0x01;
    bool hasFontClass = flags2 & 0x80;
    if (hasFont)
        edit.fontId = reader.u16();
    if (hasFontClass)
        edit.fontClass = reader.string(swfVersion);
    if (hasFont || hasFontClass)
        edit.fontHeight = reader.u16();
    if (flags1 & 0x04)
        edit.textColor = reader.rgba();
    if (flags1 & 0x02)
        edit.maxLength = reader.u16();
    if (flags2 & 0x20) {
        edit.align = TextAlign(std::min<uint8_t>(reader.u8(), 3));
        edit.leftMargin = reader.u16();
        edit.rightMargin = reader.u16();
        edit.indent = reader.u16();
        edit.leading = reader.s16();
    }
    edit.variableName = reader.string(swfVersion);
    if (flags1 & 0x80)
        edit.initialText = reader.string(swfVersion);
    return edit;
}

Result<Font> readDefineFont(const Tag& tag, int swfVersion)
{
    return readWith<Font>(tag, [&](ByteReader& r) { return parseDefineFont(r, tag, swfVersion); });
}

Result<FontInfo> readDefineFontInfo(const Tag& tag, int swfVersion)
{
    return readWith<FontInfo>(tag, [&](ByteReader& r) {
        FontInfo info;
        info.version = tag.type() == TagCode::DefineFontInfo2 ? 2 : 1;
        info.fontId = r.u16();
        info.name = readFontName(r, swfVersion);
        uint8_t flags = r.u8();
        info.smallText = flags & 0x20;
        info.shiftJis = flags & 0x10;
        info.ansi = flags & 0x08;
        info.italic = flags & 0x04;
        info.bold = flags & 0x02;
        bool wideCodes = (flags & 0x01) || info.version == 2;
        if (info.version == 2)
            info.languageCode = r.u8();
        info.codes.reserve(r.remaining() / (wideCodes ? 2 : 1));
        while (r.ok() && r.remaining() >= (wideCodes ? 2u : 1u))
            info.codes.push_back(wideCodes ? r.u16() : r.u8());
        return info;
    });
}

void applyFontInfo(Font& font, const FontInfo& info)
{
    font.name = info.name;
    font.smallText = info.smallText;
    font.shiftJis = info.shiftJis;
    font.ansi = info.ansi;
    font.italic = info.italic;
    font.bold = info.bold;
    font.languageCode = info.languageCode;
    font.codes = info.codes;
}

Result<StaticText> readDefineText(const Tag& tag)
{
    return readWith<StaticText>(tag, [&](ByteReader& r) { return parseDefineText(r, tag); });
}

Result<EditText> readDefineEditText(const Tag& tag, int swfVersion)
{
    return readWith<EditText>(tag,
                              [&](ByteReader& r) { return parseDefineEditText(r, swfVersion); });
}

} // namespace zf::swf
