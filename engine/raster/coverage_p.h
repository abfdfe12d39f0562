// Exact-area coverage rasterizer for one horizontal band.
//
// Segments arrive in 24.8 fixed point surface coordinates, already clipped
// to the surface (x in [0, width], y in [0, height]). Each segment adds, per
// pixel cell it crosses, the signed height it covers ("cover") and twice the
// signed area it leaves to its left ("area"). Sweeping a row left to right,
// the running sum of covers minus the cell's area is the winding-weighted
// coverage of each pixel, which the fill rule folds into 0..255.
//
// Cells live in dense per-row arrays; a sweep reads and zeroes only the
// touched range of each row, so the arrays are clean for the next layer
// without a separate clear.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zf::raster {

constexpr int kSubpixelBits = 8;
constexpr int kSubpixelScale = 1 << kSubpixelBits;

struct FixedSegment {
    int32_t x0, y0, x1, y1;
};

enum class FillRule : uint8_t { EvenOdd, NonZero };

// A stretch of one row's coverage: either per pixel (`coverage[i]` for pixel
// x0 + i) or, where no edge touches the row, one `value` for all its pixels.
struct CoverageSpan {
    int32_t x0;
    int32_t x1;        // exclusive
    uint8_t* coverage; // nullptr: constant `value`
    uint8_t value;
};

class CellRasterizer {
public:
    // Prepares for a band of `rows` rows starting at surface row `top`, on a
    // surface `width` pixels wide. Keeps the allocation across calls.
    void setBand(int top, int rows, int width);

    void addSegment(const FixedSegment& segment)
    {
        // A band is offered every segment of the buckets that may reach it;
        // many end above it or start below it, and are dropped here cheaply.
        const int32_t yLo = std::min(segment.y0, segment.y1);
        const int32_t yHi = std::max(segment.y0, segment.y1);
        if (yHi > m_bandTopFixed && yLo < m_bandBottomFixed && yLo != yHi)
            addSegmentInBand(segment);
    }

    // Calls emit(row, spans, count, origin) for each row with something
    // covered: the row's non-empty spans, left to right, in surface
    // coordinates; `origin` is the row's first touched pixel.
    // Constant runs (shape interiors) stay runs so that callers can fill
    // them without looking at every pixel. Resets the touched cells.
    template <class Emit>
    void sweepSpans(FillRule rule, Emit&& emit);

    // The same as one array per row: emit(row, x0, x1, coverage), with
    // coverage[i] belonging to pixel x0 + i (x1 exclusive).
    template <class Emit>
    void sweep(FillRule rule, Emit&& emit);

    bool empty() const { return m_touchedMin > m_touchedMax; }

private:
    // A cell's cover and area sit side by side: a segment updates both, and
    // so does the sweep, so one cache line serves both.
    struct Cell {
        uint32_t cover;
        uint32_t area;
    };
    // The first and last touched cell of a row (min > max: none). Kept
    // together so that a row piece updates both through one pointer.
    struct RowBounds {
        int32_t min;
        int32_t max;
    };
    // A segment's first row in the band's arrays, in locals: stores through
    // the cell arrays could otherwise alias the members and force reloads.
    struct Rows {
        Cell* cells;
        uint64_t* touched;
        RowBounds* bounds;
        size_t stride;
        size_t wordStride;
        void next()
        {
            cells += stride;
            touched += wordStride;
            ++bounds;
        }
    };
    void addSegmentInBand(const FixedSegment& segment);
    static void addPiece(Cell* cells, uint64_t* touched, RowBounds& bounds, int32_t xa, int32_t xb,
                         int32_t dy, int direction);
    static void addSpanningPiece(Cell* cells, uint64_t* touched, int32_t xa, int32_t xb, int32_t dy,
                                 int direction, int cellLo, int cellHi);
    static void addVertical(Rows rows, int32_t x, int32_t ya, int32_t yEnd, int direction);
    // Sweeps one row into m_spans and returns how many there are.
    template <FillRule rule>
    int sweepRow(int row);

    int m_top = 0;
    int m_rows = 0;
    int m_width = 0;
    int32_t m_bandTopFixed = 0; // the band's top and bottom in fixed point
    int32_t m_bandBottomFixed = 0;
    int m_touchedMin = INT32_MAX; // first and last touched row (band-relative)
    int m_touchedMax = -1;
    std::vector<Cell> m_cells; // (width + 1) per row; modular arithmetic
    // One bit per cell that received something, so that sweeps jump over
    // the untouched interior of a row a word at a time.
    std::vector<uint64_t> m_touched;
    int m_wordsPerRow = 0;
    std::vector<RowBounds> m_rowBounds;
    std::vector<uint8_t> m_coverage;
    // Sized for the most spans a row can have (runs alternate between
    // touched and untouched cells), so that adding one needs no check.
    std::vector<CoverageSpan> m_spans;
};

template <class Emit>
void CellRasterizer::sweepSpans(FillRule rule, Emit&& emit)
{
    for (int row = m_touchedMin; row <= m_touchedMax; ++row) {
        const int origin = m_rowBounds[row].min;
        if (origin > m_rowBounds[row].max)
            continue;
        const int count = rule == FillRule::EvenOdd ? sweepRow<FillRule::EvenOdd>(row)
                                                    : sweepRow<FillRule::NonZero>(row);
        if (count > 0)
            emit(m_top + row, m_spans.data(), count, origin);
    }
    m_touchedMin = INT32_MAX;
    m_touchedMax = -1;
}

template <class Emit>
void CellRasterizer::sweep(FillRule rule, Emit&& emit)
{
    sweepSpans(rule, [&](int row, const CoverageSpan* spans, int count, int) {
        // Per-pixel spans already sit in m_coverage at their pixels' places;
        // runs and the gaps between spans are written around them.
        uint8_t* out = m_coverage.data();
        int x = spans[0].x0;
        for (int i = 0; i < count; ++i) {
            std::fill(out + x, out + spans[i].x0, uint8_t(0));
            if (!spans[i].coverage)
                std::fill(out + spans[i].x0, out + spans[i].x1, spans[i].value);
            else if (spans[i].coverage != out + spans[i].x0)
                std::copy(spans[i].coverage, spans[i].coverage + (spans[i].x1 - spans[i].x0),
                          out + spans[i].x0);
            x = spans[i].x1;
        }
        emit(row, spans[0].x0, x, const_cast<const uint8_t*>(out + spans[0].x0));
    });
}

} // namespace zf::raster
