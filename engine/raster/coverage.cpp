#include "raster/coverage_p.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace zf::raster {
namespace {

constexpr int64_t kFullArea = int64_t(1) << (2 * kSubpixelBits + 1);

// Nearest integer of a value well inside the int32 range, without a
// library call. Crossing points are computed in floating point because it is
// much faster than 64-bit integer division; each point depends only on the
// segment's canonical end points, so results stay deterministic.
inline int32_t roundToInt(double v)
{
    double shifted = v + 0.5;
    int32_t truncated = int32_t(shifted);
    return truncated - (shifted < truncated);
}

template <FillRule rule>
inline uint8_t foldCoverage(int64_t raw)
{
    uint64_t c = uint64_t(raw < 0 ? -raw : raw);
    if constexpr (rule == FillRule::EvenOdd) {
        c &= uint64_t(2 * kFullArea - 1);
        if (c > uint64_t(kFullArea))
            c = uint64_t(2 * kFullArea) - c;
    } else if (c > uint64_t(kFullArea)) {
        c = uint64_t(kFullArea);
    }
    return uint8_t((c * 255 + uint64_t(kFullArea / 2)) >> (2 * kSubpixelBits + 1));
}

} // namespace

void CellRasterizer::setBand(int top, int rows, int width)
{
    m_top = top;
    m_rows = rows;
    size_t cells = size_t(rows) * size_t(width + 1);
    if (width != m_width || m_cover.size() < cells) {
        m_cover.assign(cells, 0);
        m_area.assign(cells, 0);
    }
    m_width = width;
    m_wordsPerRow = (width + 1 + 63) / 64;
    const size_t words = size_t(rows) * size_t(m_wordsPerRow);
    if (m_touched.size() < words)
        m_touched.resize(words);
    std::fill(m_touched.begin(), m_touched.begin() + words, 0);
    if (m_rowMin.size() < size_t(rows)) {
        m_rowMin.resize(rows);
        m_rowMax.resize(rows);
    }
    std::fill(m_rowMin.begin(), m_rowMin.begin() + rows, INT32_MAX);
    std::fill(m_rowMax.begin(), m_rowMax.begin() + rows, -1);
    m_coverage.resize(size_t(width) + 1);
    m_touchedMin = 1;
    m_touchedMax = 0;
}

// The first touched cell at or after x, or `end` when there is none before it.
inline int CellRasterizer::nextTouched(const uint64_t* words, int x, int end) const
{
    int word = x >> 6;
    uint64_t bits = words[word] & (~uint64_t(0) << (x & 63));
    const int lastWord = (end - 1) >> 6;
    while (bits == 0) {
        if (++word > lastWord)
            return end;
        bits = words[word];
    }
    return std::min(end, word * 64 + std::countr_zero(bits));
}

// The first untouched cell at or after x, or `end` when all are touched.
inline int CellRasterizer::nextUntouched(const uint64_t* words, int x, int end) const
{
    int word = x >> 6;
    uint64_t bits = ~words[word] & (~uint64_t(0) << (x & 63));
    const int lastWord = (end - 1) >> 6;
    while (bits == 0) {
        if (++word > lastWord)
            return end;
        bits = ~words[word];
    }
    return std::min(end, word * 64 + std::countr_zero(bits));
}

// One piece of a segment inside a single pixel row, ya < yb. Walks the cells
// it crosses; crossing points are computed from the piece's own end points so
// that the same segment always splits the same way, whichever direction it
// was given in.
inline void CellRasterizer::addRowPiece(const Rows& rows, int row, int32_t xa, int32_t ya,
                                        int32_t xb, int32_t yb, int direction)
{
    const int32_t lo = std::min(xa, xb);
    const int32_t hi = std::max(xa, xb);
    const int cellLo = lo >> kSubpixelBits;
    const int cellHi = hi == lo ? cellLo : (hi - 1) >> kSubpixelBits;
    rows.rowMin[row] = std::min(rows.rowMin[row], cellLo);
    rows.rowMax[row] = std::max(rows.rowMax[row], cellHi);
    // Unsigned sums wrap instead of overflowing on absurd edge counts.
    const size_t base = size_t(row) * rows.stride;
    uint32_t* const cover = rows.cover + base;
    uint32_t* const area = rows.area + base;
    uint64_t* const touched = rows.touched + size_t(row) * rows.wordStride;
    auto touch = [touched](int cell) { touched[cell >> 6] |= uint64_t(1) << (cell & 63); };
    if (cellLo == cellHi) {
        touch(cellLo);
        int32_t left = cellLo << kSubpixelBits;
        int32_t dy = (yb - ya) * direction;
        cover[cellLo] += uint32_t(dy);
        area[cellLo] += uint32_t(dy * ((xa - left) + (xb - left)));
        return;
    }
    const int64_t spanY = yb - ya;
    const int64_t spanX = hi - lo;
    int32_t px = xa;
    int32_t py = ya;
    const bool rightward = xa < xb;
    // y where the piece crosses each cell border.
    const double slope = double(spanY) / double(spanX);
    const int cells = cellHi - cellLo;
    for (int i = 0; i <= cells; ++i) {
        int cell = rightward ? cellLo + i : cellHi - i;
        int32_t left = cell << kSubpixelBits;
        int32_t nx = rightward ? std::min(left + kSubpixelScale, xb) : std::max(left, xb);
        int32_t ny = nx == xb ? yb : ya + roundToInt(slope * std::abs(nx - xa));
        int32_t dy = (ny - py) * direction;
        cover[cell] += uint32_t(dy);
        area[cell] += uint32_t(dy * ((px - left) + (nx - left)));
        px = nx;
        py = ny;
    }
    // The piece touched every cell from cellLo to cellHi: mark them a word
    // at a time.
    for (int word = cellLo >> 6; word <= cellHi >> 6; ++word) {
        const int first = std::max(cellLo - word * 64, 0);
        const int last = std::min(cellHi - word * 64, 63);
        touched[word] |= (~uint64_t(0) >> (63 - last)) & (~uint64_t(0) << first);
    }
}

void CellRasterizer::addSegment(const FixedSegment& segment)
{
    int32_t x0 = segment.x0, y0 = segment.y0, x1 = segment.x1, y1 = segment.y1;
    if (y0 == y1)
        return;
    int direction = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        direction = -1;
    }
    const int32_t bandTop = m_top << kSubpixelBits;
    const int32_t bandBottom = (m_top + m_rows) << kSubpixelBits;
    if (y1 <= bandTop || y0 >= bandBottom)
        return;
    const double slope = double(int64_t(x1) - x0) / double(int64_t(y1) - y0);
    auto xAt = [&](int32_t y) { return y == y1 ? x1 : x0 + roundToInt(slope * (y - y0)); };
    int32_t ya = std::max(y0, bandTop);
    const int32_t yEnd = std::min(y1, bandBottom);
    const int firstRow = (ya >> kSubpixelBits) - m_top;
    const int lastRow = ((yEnd - 1) >> kSubpixelBits) - m_top;
    if (m_touchedMin > m_touchedMax) {
        m_touchedMin = firstRow;
        m_touchedMax = lastRow;
    } else {
        m_touchedMin = std::min(m_touchedMin, firstRow);
        m_touchedMax = std::max(m_touchedMax, lastRow);
    }
    const Rows rows{m_cover.data(),  m_area.data(),       m_touched.data(),     m_rowMin.data(),
                    m_rowMax.data(), size_t(m_width + 1), size_t(m_wordsPerRow)};
    const int top = m_top;
    int32_t xa = xAt(ya);
    while (ya < yEnd) {
        int32_t rowEnd = std::min(((ya >> kSubpixelBits) + 1) << kSubpixelBits, yEnd);
        int32_t xb = xAt(rowEnd);
        addRowPiece(rows, (ya >> kSubpixelBits) - top, xa, ya, xb, rowEnd, direction);
        ya = rowEnd;
        xa = xb;
    }
}

template <FillRule rule>
void CellRasterizer::sweepRow(int row)
{
    const int minCell = m_rowMin[row];
    const int maxCell = m_rowMax[row];
    uint32_t* cover = m_cover.data() + size_t(row) * size_t(m_width + 1);
    uint32_t* area = m_area.data() + size_t(row) * size_t(m_width + 1);
    uint8_t* out = m_coverage.data(); // out[i] is cell minCell + i
    const int width = m_width;
    m_spans.clear();
    m_rowOrigin = minCell;
    auto addSpan = [&](int x0, int x1, uint8_t* coverage, uint8_t value) {
        // The column right of the surface only carries covers of clipped edges.
        x1 = std::min(x1, width);
        if (x1 > x0)
            m_spans.push_back({x0, x1, coverage, value});
    };
    uint64_t* touched = m_touched.data() + size_t(row) * size_t(m_wordsPerRow);
    auto isTouched = [touched](int x) { return (touched[x >> 6] >> (x & 63)) & 1; };
    uint32_t accumulated = 0;
    uint8_t between = 0; // coverage of pixels no edge touches
    const int end = maxCell + 1;
    for (int x = minCell; x < end;) {
        if (!isTouched(x)) {
            // Interior or exterior run: constant coverage.
            const int runEnd = nextTouched(touched, x, end);
            if (between != 0)
                addSpan(x, runEnd, nullptr, between);
            x = runEnd;
            continue;
        }
        const int start = x;
        const int runEnd = nextUntouched(touched, x, end);
        uint8_t* runOut = out - minCell;
        for (; x < runEnd; ++x) {
            accumulated += cover[x];
            int64_t raw = int64_t(int32_t(accumulated)) * (2 * kSubpixelScale) - int32_t(area[x]);
            runOut[x] = foldCoverage<rule>(raw);
            cover[x] = 0;
            area[x] = 0;
        }
        // Cells without cover leave the running sum alone, so the pixels up
        // to the next touched cell take the sum as it stands now.
        between = foldCoverage<rule>(int64_t(int32_t(accumulated)) * (2 * kSubpixelScale));
        addSpan(start, x, out + (start - minCell), 0);
    }
    std::fill(touched + (minCell >> 6), touched + (maxCell >> 6) + 1, 0);
    m_rowMin[row] = INT32_MAX;
    m_rowMax[row] = -1;
    // Edges right of the surface are dropped when clipping, so a row may end
    // inside a region: its coverage then runs on to the right border.
    uint8_t trailing = foldCoverage<rule>(int64_t(int32_t(accumulated)) * (2 * kSubpixelScale));
    if (trailing != 0)
        addSpan(maxCell + 1, width, nullptr, trailing);
}

template void CellRasterizer::sweepRow<FillRule::EvenOdd>(int);
template void CellRasterizer::sweepRow<FillRule::NonZero>(int);

} // namespace zf::raster
