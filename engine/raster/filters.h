// Bitmap filters: blur, drop shadow, glow, bevel, gradient glow and bevel,
// colour matrix and convolution, run on a premultiplied RGBA8 image.
//
// The display draws a filtered object alone into an image with room around
// its content (filterMargin()), runs the filters in order over that image
// and composites the result; BitmapData.applyFilter runs them on a copy of
// the source rectangle.
//
// Filter sizes (blur, distance) are in stage pixels; `FilterScale` converts
// them to the image's pixels, so that a zoomed stage shows zoomed shadows.
// Angles are in radians, measured in the image's space (y down).
#pragma once

#include "raster/raster.h"
#include "swf/swf.h"

#include <span>

namespace zf::raster {

struct FilterScale {
    double x = 1, y = 1;
};

// How far, in pixels, a filter's result may reach beyond the source's
// content on each side.
struct FilterMargin {
    int left = 0, top = 0, right = 0, bottom = 0;

    FilterMargin& operator+=(const FilterMargin& o)
    {
        left += o.left;
        top += o.top;
        right += o.right;
        bottom += o.bottom;
        return *this;
    }
};

// Blur sizes are capped at this many stage pixels and passes at this count,
// whatever a file or script asks for.
inline constexpr double kMaxFilterBlur = 255;
inline constexpr int kMaxFilterPasses = 15;
// Convolution matrices larger than this many cells are not run.
inline constexpr int kMaxConvolutionCells = 15 * 15;

FilterMargin filterMargin(const swf::Filter& filter, FilterScale scale = {});
// The margin of a chain of filters (each one grows what the next sees).
FilterMargin filterMargin(std::span<const swf::Filter> filters, FilterScale scale = {});

// Runs one filter over the image in place. Pixels the result would reach
// beyond the image's edges are lost; outside the image counts as
// transparent.
void applyFilter(Bitmap& image, const swf::Filter& filter, FilterScale scale = {});

// The blur every filter uses: a box of `width` pixels (a fractional width
// weighs the two outermost pixels partly; a width of 1 or less leaves the
// image unchanged), horizontally then vertically, repeated `passes` times.
// All four premultiplied channels are blurred.
void boxBlur(Bitmap& image, double widthX, double widthY, int passes);

} // namespace zf::raster
