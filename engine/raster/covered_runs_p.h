// Finding the stretches of a coverage row worth painting.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zf::raster {

// Runs of zero coverage shorter than this stay inside a painted stretch
// (painting them changes nothing and costs less than another call).
constexpr int kMinCoverageGap = 16;

// Calls `run(start, length)` for the stretches of `coverage` worth painting:
// each starts and ends with a covered pixel, and stretches are separated by
// at least kMinCoverageGap zeros. The scans look at several bytes at a time:
// masked rows are mostly zero, or covered through and through.
template <class Run>
void forEachCoveredRun(const uint8_t* coverage, int count, Run run)
{
    auto word = [&](int at) {
        uint64_t w;
        std::memcpy(&w, coverage + at, 8);
        return w;
    };
    static_assert(std::endian::native == std::endian::little, "byte order of the word scans");
    int x = 0;
    while (x < count) {
        while (x + 8 <= count && word(x) == 0)
            x += 8;
        while (x < count && coverage[x] == 0)
            ++x;
        if (x == count)
            return;
        int end = x + 1; // one past the last covered pixel
        int i = end;
#if defined(__SSE2__)
        // Shape interiors: sixteen covered pixels at a time while no gap
        // has opened.
        while (i + 16 <= count) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coverage + i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) != 0)
                break;
            i += 16;
            end = i;
        }
#endif
        // A word's first and last covered bytes are its lowest and highest
        // non-zero bytes; the stretch ends where the zeros since `end` would
        // reach the gap before the next covered byte.
        while (i + 8 <= count && i - end < kMinCoverageGap) {
            const uint64_t w = word(i);
            if (w != 0) {
                if (i - end + std::countr_zero(w) / 8 >= kMinCoverageGap)
                    break;
                end = i + 8 - std::countl_zero(w) / 8;
            }
            i += 8;
        }
        for (; i < count && i - end < kMinCoverageGap; ++i) {
            if (coverage[i] != 0)
                end = i + 1;
        }
        run(x, end - x);
        x = end;
    }
}

} // namespace zf::raster
