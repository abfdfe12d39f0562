#include "swf_writer_p.h"

namespace zf::test {

swf::FillStyle solidFill(Rgba color)
{
    swf::FillStyle fill;
    fill.color = color;
    return fill;
}

swf::FillStyle gradientFill(swf::FillType type, const Matrix& matrix,
                            std::vector<swf::GradientStop> stops, swf::SpreadMode spread,
                            swf::InterpolationMode interpolation, double focalPoint)
{
    swf::FillStyle fill;
    fill.type = type;
    fill.matrix = matrix;
    fill.gradient.stops = std::move(stops);
    fill.gradient.spread = spread;
    fill.gradient.interpolation = interpolation;
    fill.gradient.focalPoint = focalPoint;
    return fill;
}

swf::FillStyle bitmapFill(uint16_t bitmapId, const Matrix& matrix, swf::FillType type)
{
    swf::FillStyle fill;
    fill.type = type;
    fill.bitmapId = bitmapId;
    fill.matrix = matrix;
    return fill;
}

swf::LineStyle lineStyle(uint16_t width, Rgba color)
{
    swf::LineStyle line;
    line.width = width;
    line.color = color;
    return line;
}

uint32_t ShapeBuilder::addFill(const swf::FillStyle& fill)
{
    m_groups.back().fills.push_back(fill);
    return uint32_t(m_groups.back().fills.size());
}

uint32_t ShapeBuilder::addLine(const swf::LineStyle& line)
{
    m_groups.back().lines.push_back(line);
    return uint32_t(m_groups.back().lines.size());
}

ShapeBuilder& ShapeBuilder::newStyles()
{
    m_groups.emplace_back();
    Record record;
    record.newGroup = int(m_groups.size() - 1);
    record.fill0 = record.fill1 = record.line = 0;
    m_records.push_back(record);
    return *this;
}

ShapeBuilder& ShapeBuilder::styles(uint32_t fill0, uint32_t fill1, uint32_t line)
{
    // A NewStyles record just written can carry the indices, but they are
    // stored with the previous group's widths; use a record of their own
    // when they do not fit.
    bool merge = false;
    if (!m_records.empty() && !m_records.back().edge && !m_records.back().move) {
        int group = m_records.back().newGroup;
        merge = group < 1;
        if (group >= 1) {
            const Group& previous = m_groups[size_t(group - 1)];
            int fillBits = unsignedBits(uint32_t(previous.fills.size()));
            int lineBits = unsignedBits(uint32_t(previous.lines.size()));
            merge =
                unsignedBits(std::max(fill0, fill1)) <= fillBits && unsignedBits(line) <= lineBits;
        }
    }
    if (!merge)
        m_records.emplace_back();
    Record& record = m_records.back();
    record.fill0 = fill0;
    record.fill1 = fill1;
    record.line = line;
    return *this;
}

ShapeBuilder& ShapeBuilder::moveTo(int32_t x, int32_t y)
{
    Record record;
    record.move = true;
    record.x = x;
    record.y = y;
    m_records.push_back(record);
    m_x = x;
    m_y = y;
    extend(x, y);
    return *this;
}

ShapeBuilder& ShapeBuilder::lineTo(int32_t x, int32_t y)
{
    Record record;
    record.edge = true;
    record.x = x - m_x;
    record.y = y - m_y;
    m_records.push_back(record);
    extend(m_x, m_y);
    m_x = x;
    m_y = y;
    extend(x, y);
    return *this;
}

ShapeBuilder& ShapeBuilder::curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y)
{
    Record record;
    record.edge = true;
    record.curved = true;
    record.cx = cx - m_x;
    record.cy = cy - m_y;
    record.x = x - cx;
    record.y = y - cy;
    m_records.push_back(record);
    extend(m_x, m_y);
    extend(cx, cy);
    m_x = x;
    m_y = y;
    extend(x, y);
    return *this;
}

ShapeBuilder& ShapeBuilder::rectangle(int32_t x, int32_t y, int32_t width, int32_t height,
                                      uint32_t fill, uint32_t line)
{
    moveTo(x, y);
    styles(0, fill, line);
    lineTo(x + width, y);
    lineTo(x + width, y + height);
    lineTo(x, y + height);
    return lineTo(x, y);
}

ShapeBuilder& ShapeBuilder::bounds(const RectTwips& rect)
{
    m_bounds = rect;
    return *this;
}

ShapeBuilder& ShapeBuilder::nonZeroWinding(bool on)
{
    m_nonZero = on;
    return *this;
}

void ShapeBuilder::extend(int32_t x, int32_t y)
{
    m_extent.xMin = std::min(m_extent.xMin, x);
    m_extent.xMax = std::max(m_extent.xMax, x);
    m_extent.yMin = std::min(m_extent.yMin, y);
    m_extent.yMax = std::max(m_extent.yMax, y);
}

RectTwips ShapeBuilder::computedBounds() const
{
    if (m_bounds)
        return *m_bounds;
    if (m_extent.xMin > m_extent.xMax)
        return {};
    return m_extent;
}

Bytes ShapeBuilder::body(bool withStyles, size_t fillCount, size_t lineCount) const
{
    Writer w;
    auto writeArrays = [&](const Group& group) {
        writeStyleCount(w, group.fills.size());
        for (const swf::FillStyle& fill : group.fills)
            writeFillStyle(w, m_version, fill, nullptr);
        writeStyleCount(w, group.lines.size());
        for (const swf::LineStyle& line : group.lines)
            writeLineStyle(w, m_version, line, nullptr);
    };
    auto widths = [](const Group& group) {
        return std::pair{unsignedBits(uint32_t(group.fills.size())),
                         unsignedBits(uint32_t(group.lines.size()))};
    };
    if (withStyles)
        writeArrays(m_groups[0]);
    auto [fillBits, lineBits] = withStyles ? widths(m_groups[0])
                                           : std::pair{unsignedBits(uint32_t(fillCount)),
                                                       unsignedBits(uint32_t(lineCount))};
    auto bits = std::make_unique<BitWriter>(w.out);
    bits->ub(4, fillBits);
    bits->ub(4, lineBits);
    for (const Record& r : m_records) {
        if (r.edge) {
            bits->flag(true);
            bits->flag(!r.curved);
            if (r.curved) {
                int n = std::max(
                    {signedBits(r.cx), signedBits(r.cy), signedBits(r.x), signedBits(r.y), 2});
                bits->ub(4, n - 2);
                bits->sb(n, r.cx);
                bits->sb(n, r.cy);
                bits->sb(n, r.x);
                bits->sb(n, r.y);
            } else {
                int n = std::max({signedBits(r.x), signedBits(r.y), 2});
                bits->ub(4, n - 2);
                bool general = r.x != 0 && r.y != 0;
                bits->flag(general);
                if (general) {
                    bits->sb(n, r.x);
                    bits->sb(n, r.y);
                } else {
                    bits->flag(r.x == 0); // vertical
                    bits->sb(n, r.x == 0 ? r.y : r.x);
                }
            }
            continue;
        }
        bool newStyles = r.newGroup >= 0 && withStyles;
        bits->flag(false);
        bits->flag(newStyles);
        bits->flag(r.line.has_value());
        bits->flag(r.fill1.has_value());
        bits->flag(r.fill0.has_value());
        bits->flag(r.move);
        if (r.move) {
            int n = std::max(signedBits(r.x), signedBits(r.y));
            bits->ub(5, n);
            bits->sb(n, r.x);
            bits->sb(n, r.y);
        }
        // Indices use the widths in effect before a NewStyles record.
        if (r.fill0)
            bits->ub(fillBits, *r.fill0);
        if (r.fill1)
            bits->ub(fillBits, *r.fill1);
        if (r.line)
            bits->ub(lineBits, *r.line);
        if (newStyles) {
            bits.reset();
            writeArrays(m_groups[size_t(r.newGroup)]);
            std::tie(fillBits, lineBits) = widths(m_groups[size_t(r.newGroup)]);
            bits = std::make_unique<BitWriter>(w.out);
            bits->ub(4, fillBits);
            bits->ub(4, lineBits);
        }
    }
    bits->flag(false);
    bits->ub(5, 0);
    bits.reset();
    return w.out;
}

Bytes ShapeBuilder::defineShapeBody(uint16_t id) const
{
    Writer w;
    w.u16(id);
    RectTwips rect = computedBounds();
    writeRect(w.out, rect);
    if (m_version == 4) {
        writeRect(w.out, rect);
        w.u8(m_nonZero ? 0x04 : 0);
    }
    w.bytes(body(true));
    return w.out;
}

} // namespace zf::test
