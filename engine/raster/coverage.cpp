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
    m_bandTopFixed = top << kSubpixelBits;
    m_bandBottomFixed = (top + rows) << kSubpixelBits;
    size_t cells = size_t(rows) * size_t(width + 1);
    if (width != m_width || m_cells.size() < cells)
        m_cells.assign(cells, Cell{0, 0});
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
    m_spans.resize(size_t(width) + 2);
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
    int32_t& rowMin = rows.rowMin[row];
    int32_t& rowMax = rows.rowMax[row];
    rowMin = std::min(rowMin, cellLo);
    rowMax = std::max(rowMax, cellHi);
    // Unsigned sums wrap instead of overflowing on absurd edge counts.
    Cell* const cells = rows.cells + size_t(row) * rows.stride;
    uint64_t* const touched = rows.touched + size_t(row) * rows.wordStride;
    if (cellLo == cellHi) {
        touched[cellLo >> 6] |= uint64_t(1) << (cellLo & 63);
        const int32_t left = cellLo << kSubpixelBits;
        const int32_t dy = (yb - ya) * direction;
        cells[cellLo].cover += uint32_t(dy);
        cells[cellLo].area += uint32_t(dy * ((xa - left) + (xb - left)));
        return;
    }
    // y where the piece crosses each cell border. Every cell but the last
    // one is left through a border; the last one ends at the piece's end.
    const double slope = double(yb - ya) / double(hi - lo);
    int32_t py = ya;
    auto add = [cells, direction](int cell, int32_t dy, int32_t twiceMid) {
        dy *= direction;
        cells[cell].cover += uint32_t(dy);
        cells[cell].area += uint32_t(dy * twiceMid);
    };
    if (xa < xb) {
        int32_t px = xa;
        for (int cell = cellLo; cell < cellHi; ++cell) {
            const int32_t left = cell << kSubpixelBits;
            const int32_t nx = left + kSubpixelScale;
            const int32_t ny = ya + roundToInt(slope * (nx - xa));
            add(cell, ny - py, (px - left) + kSubpixelScale);
            px = nx;
            py = ny;
        }
        const int32_t left = cellHi << kSubpixelBits;
        add(cellHi, yb - py, (px - left) + (xb - left));
    } else {
        int32_t px = xa;
        for (int cell = cellHi; cell > cellLo; --cell) {
            const int32_t left = cell << kSubpixelBits;
            const int32_t ny = ya + roundToInt(slope * (xa - left));
            add(cell, ny - py, px - left);
            px = left;
            py = ny;
        }
        const int32_t left = cellLo << kSubpixelBits;
        add(cellLo, yb - py, (px - left) + (xb - left));
    }
    // The piece touched every cell from cellLo to cellHi: mark them a word
    // at a time (nearly always a single word).
    const int wordLo = cellLo >> 6;
    const int wordHi = cellHi >> 6;
    const uint64_t fromLo = ~uint64_t(0) << (cellLo & 63);
    const uint64_t toHi = ~uint64_t(0) >> (63 - (cellHi & 63));
    if (wordLo == wordHi) {
        touched[wordLo] |= fromLo & toHi;
        return;
    }
    touched[wordLo] |= fromLo;
    for (int word = wordLo + 1; word < wordHi; ++word)
        touched[word] = ~uint64_t(0);
    touched[wordHi] |= toHi;
}

// A vertical segment stays in one cell column: every row gets the same
// cell, and full rows the same cover, with no crossing points to compute.
void CellRasterizer::addVertical(const Rows& rows, int32_t x, int32_t ya, int32_t yEnd,
                                 int direction) const
{
    const int cell = x >> kSubpixelBits;
    const int32_t twiceOffset = 2 * (x - (cell << kSubpixelBits));
    const uint64_t bit = uint64_t(1) << (cell & 63);
    const int word = cell >> 6;
    int row = (ya >> kSubpixelBits) - m_top;
    Cell* cellAt = rows.cells + size_t(row) * rows.stride + size_t(cell);
    uint64_t* wordAt = rows.touched + size_t(row) * rows.wordStride + size_t(word);
    while (ya < yEnd) {
        const int32_t rowEnd = std::min(((ya >> kSubpixelBits) + 1) << kSubpixelBits, yEnd);
        const int32_t dy = (rowEnd - ya) * direction;
        cellAt->cover += uint32_t(dy);
        cellAt->area += uint32_t(dy * twiceOffset);
        *wordAt |= bit;
        rows.rowMin[row] = std::min(rows.rowMin[row], cell);
        rows.rowMax[row] = std::max(rows.rowMax[row], cell);
        ya = rowEnd;
        ++row;
        cellAt += rows.stride;
        wordAt += rows.wordStride;
    }
}

void CellRasterizer::addSegmentInBand(const FixedSegment& segment)
{
    int32_t x0 = segment.x0, y0 = segment.y0, x1 = segment.x1, y1 = segment.y1;
    int direction = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        direction = -1;
    }
    const int32_t bandTop = m_bandTopFixed;
    const int32_t bandBottom = m_bandBottomFixed;
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
    const Rows rows{m_cells.data(),  m_touched.data(),    m_rowMin.data(),
                    m_rowMax.data(), size_t(m_width + 1), size_t(m_wordsPerRow)};
    if (x0 == x1) {
        addVertical(rows, x0, ya, yEnd, direction);
        return;
    }
    const double slope = double(int64_t(x1) - x0) / double(int64_t(y1) - y0);
    auto xAt = [&](int32_t y) { return y == y1 ? x1 : x0 + roundToInt(slope * (y - y0)); };
    // Row by row; after the first piece every piece starts on a row border.
    int32_t xa = xAt(ya);
    int row = firstRow;
    int32_t rowEnd = std::min(((ya >> kSubpixelBits) + 1) << kSubpixelBits, yEnd);
    for (;;) {
        const int32_t xb = xAt(rowEnd);
        addRowPiece(rows, row, xa, ya, xb, rowEnd, direction);
        if (rowEnd == yEnd)
            break;
        ya = rowEnd;
        xa = xb;
        ++row;
        rowEnd = std::min(ya + kSubpixelScale, yEnd);
    }
}

template <FillRule rule>
void CellRasterizer::sweepRow(int row)
{
    const int minCell = m_rowMin[row];
    const int maxCell = m_rowMax[row];
    Cell* cells = m_cells.data() + size_t(row) * size_t(m_width + 1);
    uint8_t* out = m_coverage.data(); // out[i] is cell minCell + i
    const int width = m_width;
    CoverageSpan* const spans = m_spans.data();
    int spanCount = 0;
    m_rowOrigin = minCell;
    auto addSpan = [&](int x0, int x1, uint8_t* coverage, uint8_t value) {
        // The column right of the surface only carries covers of clipped edges.
        x1 = std::min(x1, width);
        if (x1 > x0)
            spans[spanCount++] = {x0, x1, coverage, value};
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
            accumulated += cells[x].cover;
            int64_t raw =
                int64_t(int32_t(accumulated)) * (2 * kSubpixelScale) - int32_t(cells[x].area);
            runOut[x] = foldCoverage<rule>(raw);
            cells[x] = Cell{0, 0};
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
    m_spanCount = spanCount;
}

template void CellRasterizer::sweepRow<FillRule::EvenOdd>(int);
template void CellRasterizer::sweepRow<FillRule::NonZero>(int);

} // namespace zf::raster
