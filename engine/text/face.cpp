#include "text/face_p.h"

#include <algorithm>

namespace zf::text {

// Embedded fonts without layout data carry no metrics; these proportions
// are those of common sans-serif fonts.
constexpr double kDefaultAscent = 0.9, kDefaultDescent = 0.22, kDefaultSpace = 0.28;

EmbeddedFace::EmbeddedFace(const swf::Font& font) : m_font(font)
{
    for (const swf::KerningPair& pair : font.kerning)
        m_kerning[{pair.code1, pair.code2}] = pair.adjustment;
}

double EmbeddedFace::ascent() const
{
    return m_font.hasLayout ? m_font.ascent : kDefaultAscent * emSquare();
}

double EmbeddedFace::descent() const
{
    return m_font.hasLayout ? m_font.descent : kDefaultDescent * emSquare();
}

double EmbeddedFace::leading() const
{
    return m_font.hasLayout ? m_font.leading : 0;
}

std::optional<FaceGlyph> EmbeddedFace::glyph(char32_t character)
{
    if (character > 0xFFFF)
        return std::nullopt;
    int index = m_font.glyphIndex(uint16_t(character));
    if (index < 0 || size_t(index) >= m_font.glyphs.size())
        return std::nullopt;
    const swf::Shape& shape = m_font.glyphs[size_t(index)];
    bool blank = std::all_of(shape.groups.begin(), shape.groups.end(),
                             [](const swf::ShapeGroup& group) { return group.edges.empty(); });
    FaceGlyph result{blank ? nullptr : &shape, 0};
    if (m_font.hasLayout && size_t(index) < m_font.advances.size()) {
        result.advance = m_font.advances[size_t(index)];
    } else {
        // Without stored advances the outline's right edge has to do.
        Bounds box = shape.computeBounds();
        result.advance =
            box.empty() ? kDefaultSpace * emSquare() : std::max(0.0, box.xMax) + 0.05 * emSquare();
    }
    return result;
}

double EmbeddedFace::kerning(char32_t left, char32_t right)
{
    if (m_kerning.empty() || left > 0xFFFF || right > 0xFFFF)
        return 0;
    auto it = m_kerning.find({uint16_t(left), uint16_t(right)});
    return it == m_kerning.end() ? 0 : it->second;
}

std::optional<FaceGlyph> DeviceFace::glyph(char32_t character)
{
    const DeviceFont::Glyph* glyph = m_font.glyph(character);
    if (!glyph)
        return std::nullopt;
    return FaceGlyph{glyph->shape.groups.empty() || glyph->shape.groups[0].edges.empty()
                         ? nullptr
                         : &glyph->shape,
                     glyph->advance};
}

} // namespace zf::text
