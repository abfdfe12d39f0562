// DefineText / DefineText2: the records already say which glyph goes where.
#include "text/text.h"

#include <set>

namespace zf::text {

TextLayout layoutStaticText(const swf::StaticText& text, const FontResolver& fonts)
{
    TextLayout layout;
    std::set<int32_t> baselines;
    for (const swf::TextRecord& record : text.records) {
        const swf::Font* font = fonts.font(record.fontId);
        if (!font) {
            layout.problem = "font " + std::to_string(record.fontId) + " is not defined";
            continue;
        }
        double scale = record.height / font->emSquare();
        double x = record.x;
        baselines.insert(record.y);
        for (const swf::GlyphEntry& entry : record.glyphs) {
            if (entry.index < font->glyphs.size()) {
                const swf::Shape* shape = &font->glyphs[entry.index];
                Matrix matrix{scale, 0, 0, scale, x, double(record.y)};
                layout.glyphs.push_back({shape, matrix, record.color});
                layout.bounds.add(transformBounds(matrix, shape->computeBounds()));
            }
            x += entry.advance;
        }
    }
    layout.lineCount = int(baselines.size());
    if (!layout.bounds.empty()) {
        layout.textWidth = (layout.bounds.xMax - layout.bounds.xMin) / kTwipsPerPixel;
        layout.textHeight = (layout.bounds.yMax - layout.bounds.yMin) / kTwipsPerPixel;
    }
    return layout;
}

} // namespace zf::text
