// Internal parsers shared by the record readers and the tag checker. Each
// reads one record from a ByteReader positioned at its start; failures are
// recorded in the reader.
#pragma once

#include "swf/reader_p.h"
#include "swf/swf.h"

#include <string>

namespace zf::swf {

// Runs a parser over a tag's body and turns a reader failure into an error
// naming the tag.
template <class T, class Parse>
Result<T> readWith(const Tag& tag, Parse parse)
{
    ByteReader reader(tag.body);
    T value = parse(reader);
    if (!reader.ok())
        return makeError(std::string(tagName(tag.code)) + ": " + reader.error());
    return value;
}

// Upper bound for reserving a counted array whose items take at least
// minBytes each: never more than the remaining bytes can hold.
inline size_t cappedCount(const ByteReader& reader, size_t count, size_t minBytes)
{
    size_t most = reader.remaining() / (minBytes ? minBytes : 1);
    return count < most ? count : most;
}

// Shapes (shape records), also used by fonts and morph shapes.
struct ShapeStyles {
    int shapeVersion = 1;  // 1..4; decides colours, count escapes and LINESTYLE2
    bool hasStyles = true; // false for glyphs and morph edge lists
};
// SHAPE or the records after a DefineShape's style arrays: appends the
// groups it reads to groups (which must hold the first group already).
void parseShapeRecords(ByteReader& reader, const ShapeStyles& styles,
                       std::vector<ShapeGroup>& groups);
// A glyph: a SHAPE with no style arrays; fill style 1 stands for the text colour.
Shape parseGlyph(ByteReader& reader);

ShapeDefinition parseDefineShape(ByteReader& reader, const Tag& tag);
MorphShapeDefinition parseDefineMorphShape(ByteReader& reader, const Tag& tag);

std::vector<Filter> parseFilterList(ByteReader& reader);
PlaceObject parsePlaceObject(ByteReader& reader, const Tag& tag, int swfVersion);
Button parseDefineButton(ByteReader& reader, const Tag& tag);
SoundInfo parseSoundInfo(ByteReader& reader);

Font parseDefineFont(ByteReader& reader, const Tag& tag, int swfVersion);
StaticText parseDefineText(ByteReader& reader, const Tag& tag);
EditText parseDefineEditText(ByteReader& reader, int swfVersion);

} // namespace zf::swf
