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

// The same for v >= 0, where truncation already rounds down.
inline int32_t roundNonNegative(double v)
{
    return int32_t(v + 0.5);
}

// Twice the signed covered area of a pixel (raw) to 0..255, branch-free.
template <FillRule rule>
inline uint8_t foldCoverage(int64_t raw)
{
    constexpr int kShift = 2 * kSubpixelBits + 1;
    if constexpr (rule == FillRule::EvenOdd) {
        // Coverage repeats every second full winding and is the same for
        // either sign, so the low bits of the raw value decide it.
        uint32_t c = uint32_t(raw) & uint32_t(2 * kFullArea - 1);
        c = std::min(c, uint32_t(2 * kFullArea) - c);
        return uint8_t((c * 255 + uint32_t(kFullArea / 2)) >> kShift);
    } else {
        // Beyond one full winding the scaled value passes 255: clamp it there.
        const uint64_t c = uint64_t(raw < 0 ? -raw : raw);
        return uint8_t(std::min<uint64_t>((c * 255 + uint64_t(kFullArea / 2)) >> kShift, 255));
    }
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
    if (m_rowBounds.size() < size_t(rows))
        m_rowBounds.resize(rows);
    std::fill(m_rowBounds.begin(), m_rowBounds.begin() + rows, RowBounds{INT32_MAX, -1});
    m_coverage.resize(size_t(width) + 1);
    m_spans.resize(size_t(width) + 2);
    m_touchedMin = INT32_MAX;
    m_touchedMax = -1;
}

// One piece of a segment inside a single pixel row: x goes from xa to xb
// while y advances by dy (0 < dy <= one pixel). Most pieces stay inside one
// cell, which is handled here; wider ones walk their cells out of line.
inline void CellRasterizer::addPiece(Cell* cells, uint64_t* touched, RowBounds& bounds, int32_t xa,
                                     int32_t xb, int32_t dy, int direction)
{
    const int32_t lo = std::min(xa, xb);
    const int32_t hi = std::max(xa, xb);
    const int cellLo = lo >> kSubpixelBits;
    // A piece ending exactly on a cell border does not reach the next cell;
    // a vertical one on a border belongs to the cell right of it.
    const int cellHi = std::max(cellLo, (hi - 1) >> kSubpixelBits);
    bounds.min = std::min(bounds.min, cellLo);
    bounds.max = std::max(bounds.max, cellHi);
    // Unsigned sums wrap instead of overflowing on absurd edge counts.
    const uint32_t sign = uint32_t(direction);
    if (cellLo == cellHi) {
        const uint32_t twiceLeft = uint32_t(cellLo) << (kSubpixelBits + 1);
        const uint32_t directed = uint32_t(dy) * sign;
        cells[cellLo].cover += directed;
        cells[cellLo].area += directed * (uint32_t(xa) + uint32_t(xb) - twiceLeft);
        touched[cellLo >> 6] |= uint64_t(1) << (cellLo & 63);
        return;
    }
    if (cellHi != cellLo + 1) {
        addSpanningPiece(cells, touched, xa, xb, dy, direction, cellLo, cellHi);
        return;
    }
    // Two cells, split where the piece crosses the border between them
    // (the same crossing addSpanningPiece computes).
    const int32_t border = cellHi << kSubpixelBits;
    const bool rightward = xa < xb;
    const double slope = double(dy) / double(hi - lo);
    const int32_t first = roundNonNegative(slope * double(rightward ? border - lo : hi - border));
    const uint32_t leftDy = uint32_t(rightward ? first : dy - first) * sign;
    const uint32_t rightDy = uint32_t(dy) * sign - leftDy;
    cells[cellLo].cover += leftDy;
    cells[cellLo].area += leftDy * uint32_t(lo - border + 2 * kSubpixelScale);
    cells[cellHi].cover += rightDy;
    cells[cellHi].area += rightDy * uint32_t(hi - border);
    touched[cellLo >> 6] |= uint64_t(1) << (cellLo & 63);
    touched[cellHi >> 6] |= uint64_t(1) << (cellHi & 63);
}

// A piece crossing cell borders. y where it crosses each border is computed
// from the piece's own end points, so that the same segment always splits
// the same way, whichever direction it was given in. The first cell is
// entered at the piece's start, every cell but the last is left through a
// border, and the cells in between span their whole width.
void CellRasterizer::addSpanningPiece(Cell* cells, uint64_t* touched, int32_t xa, int32_t xb,
                                      int32_t dy, int direction, int cellLo, int cellHi)
{
    const double slope = double(dy) / double(std::max(xa, xb) - std::min(xa, xb));
    auto add = [cells, direction](int cell, int32_t cellDy, int32_t twiceMid) {
        const uint32_t directed = uint32_t(cellDy * direction);
        cells[cell].cover += directed;
        cells[cell].area += directed * uint32_t(twiceMid);
    };
    // Distances from xa to the borders crossed, exact in a double.
    if (xa < xb) {
        const int32_t firstLeft = cellLo << kSubpixelBits;
        double distance = double(firstLeft + kSubpixelScale - xa);
        int32_t py = roundNonNegative(slope * distance);
        add(cellLo, py, (xa - firstLeft) + kSubpixelScale);
        for (int cell = cellLo + 1; cell < cellHi; ++cell) {
            distance += kSubpixelScale;
            const int32_t ny = roundNonNegative(slope * distance);
            add(cell, ny - py, kSubpixelScale);
            py = ny;
        }
        const int32_t left = cellHi << kSubpixelBits;
        add(cellHi, dy - py, xb - left);
    } else {
        const int32_t firstLeft = cellHi << kSubpixelBits;
        double distance = double(xa - firstLeft);
        int32_t py = roundNonNegative(slope * distance);
        add(cellHi, py, xa - firstLeft);
        for (int cell = cellHi - 1; cell > cellLo; --cell) {
            distance += kSubpixelScale;
            const int32_t ny = roundNonNegative(slope * distance);
            add(cell, ny - py, kSubpixelScale);
            py = ny;
        }
        const int32_t left = cellLo << kSubpixelBits;
        add(cellLo, dy - py, kSubpixelScale + (xb - left));
    }
    // Mark the cells a word at a time (nearly always a single word).
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
void CellRasterizer::addVertical(Rows rows, int32_t x, int32_t ya, int32_t yEnd, int direction)
{
    const int cell = x >> kSubpixelBits;
    const uint32_t twiceOffset = 2 * uint32_t(x - (cell << kSubpixelBits));
    const uint64_t bit = uint64_t(1) << (cell & 63);
    const int word = cell >> 6;
    while (ya < yEnd) {
        const int32_t rowEnd = std::min(((ya >> kSubpixelBits) + 1) << kSubpixelBits, yEnd);
        const uint32_t directed = uint32_t((rowEnd - ya) * direction);
        rows.cells[cell].cover += directed;
        rows.cells[cell].area += directed * twiceOffset;
        rows.touched[word] |= bit;
        rows.bounds->min = std::min(rows.bounds->min, cell);
        rows.bounds->max = std::max(rows.bounds->max, cell);
        ya = rowEnd;
        rows.next();
    }
}

void CellRasterizer::addSegmentInBand(const FixedSegment& segment)
{
    // Canonical end points: top to bottom, the direction kept as a sign.
    const bool upward = segment.y0 > segment.y1;
    const int32_t x0 = upward ? segment.x1 : segment.x0;
    const int32_t y0 = upward ? segment.y1 : segment.y0;
    const int32_t x1 = upward ? segment.x0 : segment.x1;
    const int32_t y1 = upward ? segment.y0 : segment.y1;
    const int direction = upward ? -1 : 1;
    const int32_t ya = std::max(y0, m_bandTopFixed);
    const int32_t yEnd = std::min(y1, m_bandBottomFixed);
    const int firstRow = (ya >> kSubpixelBits) - m_top;
    m_touchedMin = std::min(m_touchedMin, firstRow);
    m_touchedMax = std::max(m_touchedMax, ((yEnd - 1) >> kSubpixelBits) - m_top);
    const size_t stride = size_t(m_width) + 1;
    const size_t wordStride = size_t(m_wordsPerRow);
    Rows rows{m_cells.data() + size_t(firstRow) * stride,
              m_touched.data() + size_t(firstRow) * wordStride, m_rowBounds.data() + firstRow,
              stride, wordStride};
    if (x0 == x1) {
        addVertical(rows, x0, ya, yEnd, direction);
        return;
    }
    // x on each row border, from the segment's canonical end points, so
    // that neighbouring bands and both directions agree. Going right, the
    // offsets from x0 are never negative and round more cheaply.
    const double slope = double(int64_t(x1) - x0) / double(int64_t(y1) - y0);
    auto walk = [&](auto round) {
        int32_t xa = ya == y0 ? x0 : x0 + round(slope * (ya - y0));
        const int32_t xEnd = yEnd == y1 ? x1 : x0 + round(slope * (yEnd - y0));
        const int32_t firstBorder = ((ya >> kSubpixelBits) + 1) << kSubpixelBits;
        if (yEnd <= firstBorder) {
            addPiece(rows.cells, rows.touched, *rows.bounds, xa, xEnd, yEnd - ya, direction);
            return;
        }
        double t = double(firstBorder - y0); // exact in a double
        int32_t xb = x0 + round(slope * t);
        addPiece(rows.cells, rows.touched, *rows.bounds, xa, xb, firstBorder - ya, direction);
        xa = xb;
        // Full rows between the first and the last.
        const int32_t lastTop = ((yEnd - 1) >> kSubpixelBits) << kSubpixelBits;
        for (int n = (lastTop - firstBorder) >> kSubpixelBits; n > 0; --n) {
            rows.next();
            t += kSubpixelScale;
            xb = x0 + round(slope * t);
            addPiece(rows.cells, rows.touched, *rows.bounds, xa, xb, kSubpixelScale, direction);
            xa = xb;
        }
        rows.next();
        addPiece(rows.cells, rows.touched, *rows.bounds, xa, xEnd, yEnd - lastTop, direction);
    };
    if (x0 < x1)
        walk([](double v) { return roundNonNegative(v); });
    else
        walk([](double v) { return roundToInt(v); });
}

namespace {

// Walks the borders between touched and untouched cells of one row, left to
// right: the first cell of each touched run and the first cell after it.
// A border is a bit that differs from the one before it. Each word of
// touched bits is cleared as it is read, which leaves the row clean.
class RunBorders {
public:
    RunBorders(uint64_t* words, int firstCell, int lastCell)
        : m_words(words), m_word(firstCell >> 6), m_end(lastCell + 1)
    {
        m_borders = load();
    }

    // The next border; past the last touched cell, the cell after it.
    int next()
    {
        while (m_borders == 0) {
            if (++m_word * 64 >= m_end) // past the last touched cell's word
                return m_end;
            m_borders = load();
        }
        const int cell = m_word * 64 + std::countr_zero(m_borders);
        m_borders &= m_borders - 1;
        return cell;
    }

private:
    uint64_t load()
    {
        const uint64_t bits = m_words[m_word];
        m_words[m_word] = 0;
        const uint64_t borders = bits ^ ((bits << 1) | m_carry);
        m_carry = bits >> 63;
        return borders;
    }

    uint64_t* m_words;
    int m_word;
    int m_end;
    uint64_t m_borders = 0;
    uint64_t m_carry = 0;
};

} // namespace

template <FillRule rule>
int CellRasterizer::sweepRow(int row)
{
    RowBounds& rowBounds = m_rowBounds[row];
    const int minCell = rowBounds.min;
    const int maxCell = rowBounds.max;
    rowBounds = RowBounds{INT32_MAX, -1};
    const int width = m_width;
    Cell* const cells = m_cells.data() + size_t(row) * (size_t(width) + 1);
    uint8_t* const out = m_coverage.data(); // out[x] is pixel x
    CoverageSpan* const spans = m_spans.data();
    CoverageSpan* span = spans;
    RunBorders borders(m_touched.data() + size_t(row) * size_t(m_wordsPerRow), minCell, maxCell);
    const int end = maxCell + 1;
    uint32_t accumulated = 0;
    // Alternates between a run of touched cells (minCell starts one) and the
    // untouched run up to the next, until the last touched cell.
    for (int start = borders.next();;) {
        const int runEnd = borders.next();
        for (int x = start; x < runEnd; ++x) {
            accumulated += cells[x].cover;
            const int64_t raw =
                int64_t(int32_t(accumulated)) * (2 * kSubpixelScale) - int32_t(cells[x].area);
            out[x] = foldCoverage<rule>(raw);
            // One 8-byte store rather than two.
            constexpr uint64_t kZero = 0;
            std::memcpy(&cells[x], &kZero, sizeof(Cell));
        }
        if (runEnd == end) {
            // The column right of the surface only carries covers of
            // clipped edges; only the last run can reach it.
            const int spanEnd = std::min(runEnd, width);
            if (spanEnd > start)
                *span++ = {start, spanEnd, out + start, 0};
            break;
        }
        *span++ = {start, runEnd, out + start, 0};
        // Cells without cover leave the running sum alone, so the pixels up
        // to the next touched cell take the sum as it stands now.
        start = borders.next();
        const uint8_t between =
            foldCoverage<rule>(int64_t(int32_t(accumulated)) * (2 * kSubpixelScale));
        if (between != 0)
            *span++ = {runEnd, start, nullptr, between};
    }
    // Edges right of the surface are dropped when clipping, so a row may end
    // inside a region: its coverage then runs on to the right border. (Rows
    // of closed outlines end with nothing left over.)
    if (accumulated != 0 && width > end) {
        const uint8_t trailing =
            foldCoverage<rule>(int64_t(int32_t(accumulated)) * (2 * kSubpixelScale));
        if (trailing != 0)
            *span++ = {end, width, nullptr, trailing};
    }
    return int(span - spans);
}

template int CellRasterizer::sweepRow<FillRule::EvenOdd>(int);
template int CellRasterizer::sweepRow<FillRule::NonZero>(int);

} // namespace zf::raster
