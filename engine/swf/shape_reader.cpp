// DefineShape 1-4 and DefineMorphShape 1/2: style arrays and shape records
// turned into absolute edges.
#include "swf/records_p.h"

namespace zf::swf {

namespace {

// Reads styles for a shape (end == nullptr) or for a morph shape, whose
// records interleave start and end values.
struct StyleReader {
    ByteReader& reader;
    int shapeVersion; // 1..4 for shapes; morphs use 3 (RGBA) or 4 (LINESTYLE2)
    bool morph;

    Rgba color() { return shapeVersion >= 3 || morph ? reader.rgba() : reader.rgb(); }

    void gradient(Gradient& start, Gradient* end)
    {
        uint8_t flags = reader.u8();
        start.spread = SpreadMode(flags >> 6 & 3);
        start.interpolation = InterpolationMode(flags >> 4 & 3);
        int count = flags & 0x0F;
        for (int i = 0; i < count && reader.ok(); ++i) {
            GradientStop stop;
            stop.ratio = reader.u8();
            stop.color = color();
            start.stops.push_back(stop);
            if (end) {
                stop.ratio = reader.u8();
                stop.color = color();
                end->stops.push_back(stop);
            }
        }
        if (end) {
            end->spread = start.spread;
            end->interpolation = start.interpolation;
        }
    }

    void fill(FillStyle& start, FillStyle* end)
    {
        start.type = FillType(reader.u8());
        if (end)
            end->type = start.type;
        switch (uint8_t(start.type)) {
        case 0x00:
            start.color = color();
            if (end)
                end->color = color();
            break;
        case 0x10:
        case 0x12:
        case 0x13:
            start.matrix = readMatrix(reader);
            if (end)
                end->matrix = readMatrix(reader);
            gradient(start.gradient, end ? &end->gradient : nullptr);
            if (start.type == FillType::FocalGradient) {
                start.gradient.focalPoint = reader.fixed8();
                if (end)
                    end->gradient.focalPoint = reader.fixed8();
            }
            break;
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            start.bitmapId = reader.u16();
            start.matrix = readMatrix(reader);
            if (end) {
                end->bitmapId = start.bitmapId;
                end->matrix = readMatrix(reader);
            }
            break;
        default: reader.fail("unknown fill style type " + std::to_string(int(start.type)));
        }
    }

    void line(LineStyle& start, LineStyle* end)
    {
        start.width = reader.u16();
        if (end)
            end->width = reader.u16();
        if (shapeVersion < 4) {
            start.color = color();
            if (end)
                end->color = color();
            return;
        }
        // LINESTYLE2: the flags, the miter limit only for miter joins, then a
        // fill style or a colour.
        BitReader bits(reader);
        start.startCap = CapStyle(bits.ub(2));
        start.join = JoinStyle(bits.ub(2));
        start.hasFill = bits.flag();
        start.noHScale = bits.flag();
        start.noVScale = bits.flag();
        start.pixelHinting = bits.flag();
        bits.ub(5);
        start.noClose = bits.flag();
        start.endCap = CapStyle(bits.ub(2));
        if (start.join == JoinStyle::Miter)
            start.miterLimit = reader.u16() / 256.0;
        if (end) {
            uint16_t width = end->width;
            *end = start;
            end->width = width;
        }
        if (start.hasFill) {
            fill(start.fill, end ? &end->fill : nullptr);
        } else {
            start.color = color();
            if (end)
                end->color = color();
        }
    }

    size_t count(bool escapeAllowed)
    {
        size_t n = reader.u8();
        if (n == 0xFF && escapeAllowed)
            n = reader.u16();
        return n;
    }

    void fills(std::vector<FillStyle>& start, std::vector<FillStyle>* end)
    {
        size_t n = count(shapeVersion >= 2 || morph);
        start.reserve(cappedCount(reader, n, 4));
        for (size_t i = 0; i < n && reader.ok(); ++i) {
            start.emplace_back();
            if (end)
                end->emplace_back();
            fill(start.back(), end ? &end->back() : nullptr);
        }
    }

    void lines(std::vector<LineStyle>& start, std::vector<LineStyle>* end)
    {
        size_t n = count(true);
        start.reserve(cappedCount(reader, n, 5));
        for (size_t i = 0; i < n && reader.ok(); ++i) {
            start.emplace_back();
            if (end)
                end->emplace_back();
            line(start.back(), end ? &end->back() : nullptr);
        }
    }
};

int32_t wrapAdd(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

// Edges are ten times larger in memory than in the file; a shape beyond this
// many is refused rather than allowed to take gigabytes.
constexpr size_t kMaxEdges = size_t(1) << 21;

uint32_t validIndex(uint32_t index, size_t count)
{
    return index <= count ? index : 0;
}

} // namespace

void parseShapeRecords(ByteReader& reader, const ShapeStyles& styles,
                       std::vector<ShapeGroup>& groups)
{
    BitReader bits(reader);
    int fillBits = int(bits.ub(4));
    int lineBits = int(bits.ub(4));
    int32_t x = 0, y = 0;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    size_t edges = 0;
    while (reader.ok()) {
        if (!bits.flag()) {
            uint32_t flags = bits.ub(5);
            if (flags == 0)
                break; // EndShapeRecord
            // Flags are NewStyles..MoveTo; fields are stored MoveTo..NewStyles.
            if (flags & 0x01) {
                int n = int(bits.ub(5));
                x = bits.sb(n); // MoveTo is absolute
                y = bits.sb(n);
            }
            // Indices in a NewStyles record use the old widths but select
            // from the new arrays, so they are validated when edges use them.
            if (flags & 0x02)
                fill0 = bits.ub(fillBits);
            if (flags & 0x04)
                fill1 = bits.ub(fillBits);
            if (flags & 0x08)
                line = bits.ub(lineBits);
            if (flags & 0x10) {
                if (!(flags & 0x02))
                    fill0 = 0;
                if (!(flags & 0x04))
                    fill1 = 0;
                if (!(flags & 0x08))
                    line = 0;
                bits.align();
                ShapeGroup group;
                if (styles.hasStyles) {
                    StyleReader styleReader{reader, styles.shapeVersion, false};
                    styleReader.fills(group.fills, nullptr);
                    styleReader.lines(group.lines, nullptr);
                }
                groups.push_back(std::move(group));
                fillBits = int(bits.ub(4));
                lineBits = int(bits.ub(4));
            }
            continue;
        }
        Edge edge;
        edge.x0 = x;
        edge.y0 = y;
        bool straight = bits.flag();
        int n = int(bits.ub(4)) + 2;
        if (straight) {
            int32_t dx = 0, dy = 0;
            if (bits.flag()) {
                dx = bits.sb(n);
                dy = bits.sb(n);
            } else if (bits.flag()) {
                dy = bits.sb(n);
            } else {
                dx = bits.sb(n);
            }
            edge.x1 = wrapAdd(x, dx);
            edge.y1 = wrapAdd(y, dy);
            edge.cx = int32_t((int64_t(edge.x0) + edge.x1) / 2);
            edge.cy = int32_t((int64_t(edge.y0) + edge.y1) / 2);
        } else {
            edge.cx = wrapAdd(x, bits.sb(n));
            edge.cy = wrapAdd(y, bits.sb(n));
            edge.x1 = wrapAdd(edge.cx, bits.sb(n));
            edge.y1 = wrapAdd(edge.cy, bits.sb(n));
            edge.curved = true;
        }
        if (!reader.ok())
            break;
        ShapeGroup& group = groups.back();
        edge.fill0 = validIndex(fill0, group.fills.size());
        edge.fill1 = validIndex(fill1, group.fills.size());
        edge.line = validIndex(line, group.lines.size());
        x = edge.x1;
        y = edge.y1;
        group.edges.push_back(edge);
        if (++edges > kMaxEdges)
            reader.fail("shape has more than " + std::to_string(kMaxEdges) + " edges");
    }
}

Shape parseGlyph(ByteReader& reader)
{
    Shape shape;
    shape.groups.resize(1);
    shape.groups[0].fills.resize(1); // style 1: the text colour
    parseShapeRecords(reader, ShapeStyles{1, false}, shape.groups);
    if (shape.groups.size() > 1) {
        // A glyph has no styles to switch to; keep every edge in one group.
        for (size_t i = 1; i < shape.groups.size(); ++i)
            for (Edge edge : shape.groups[i].edges)
                shape.groups[0].edges.push_back(edge);
        shape.groups.resize(1);
    }
    return shape;
}

ShapeDefinition parseDefineShape(ByteReader& reader, const Tag& tag)
{
    ShapeDefinition def;
    switch (tag.type()) {
    case TagCode::DefineShape2: def.version = 2; break;
    case TagCode::DefineShape3: def.version = 3; break;
    case TagCode::DefineShape4: def.version = 4; break;
    default: def.version = 1; break;
    }
    def.id = reader.u16();
    Shape& shape = def.shape;
    shape.bounds = readRect(reader);
    if (def.version == 4) {
        shape.edgeBounds = readRect(reader);
        uint8_t flags = reader.u8();
        shape.nonZeroWinding = flags & 0x04;
        shape.usesNonScalingStrokes = flags & 0x02;
        shape.usesScalingStrokes = flags & 0x01;
    }
    shape.groups.resize(1);
    StyleReader styles{reader, def.version, false};
    styles.fills(shape.groups[0].fills, nullptr);
    styles.lines(shape.groups[0].lines, nullptr);
    parseShapeRecords(reader, ShapeStyles{def.version, true}, shape.groups);
    return def;
}

MorphShapeDefinition parseDefineMorphShape(ByteReader& reader, const Tag& tag)
{
    MorphShapeDefinition def;
    def.version = tag.type() == TagCode::DefineMorphShape2 ? 2 : 1;
    def.id = reader.u16();
    MorphShape& morph = def.morph;
    morph.startBounds = readRect(reader);
    morph.endBounds = readRect(reader);
    if (def.version == 2) {
        def.startEdgeBounds = readRect(reader);
        def.endEdgeBounds = readRect(reader);
        uint8_t flags = reader.u8();
        def.usesNonScalingStrokes = flags & 0x02;
        def.usesScalingStrokes = flags & 0x01;
    }
    uint32_t offset = reader.u32();
    size_t endEdgesAt = reader.position() + offset;
    StyleReader styles{reader, def.version == 2 ? 4 : 3, true};
    styles.fills(morph.startFills, &morph.endFills);
    styles.lines(morph.startLines, &morph.endLines);

    // Each edge list is parsed with its own pen; the end list holds only
    // MoveTo records besides its edges.
    std::vector<ShapeGroup> start(1), end(1);
    start[0].fills.resize(morph.startFills.size());
    start[0].lines.resize(morph.startLines.size());
    parseShapeRecords(reader, ShapeStyles{3, false}, start);
    if (!reader.ok())
        return def;
    if (offset == 0 || endEdgesAt < reader.position()) {
        reader.fail("morph end edges overlap the start edges");
        return def;
    }
    reader.seek(endEdgesAt);
    end[0].fills.resize(morph.startFills.size());
    end[0].lines.resize(morph.startLines.size());
    parseShapeRecords(reader, ShapeStyles{3, false}, end);
    morph.startEdges = std::move(start[0].edges);
    morph.endEdges = std::move(end[0].edges);
    size_t pairs = std::min(morph.startEdges.size(), morph.endEdges.size());
    morph.startEdges.resize(pairs);
    morph.endEdges.resize(pairs);
    return def;
}

Result<ShapeDefinition> readDefineShape(const Tag& tag)
{
    return readWith<ShapeDefinition>(tag, [&](ByteReader& r) { return parseDefineShape(r, tag); });
}

Result<MorphShapeDefinition> readDefineMorphShape(const Tag& tag)
{
    return readWith<MorphShapeDefinition>(
        tag, [&](ByteReader& r) { return parseDefineMorphShape(r, tag); });
}

} // namespace zf::swf
