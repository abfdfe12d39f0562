// Bitmap filter throughput on an 800x600 image holding a large translucent
// disc: blurs of growing size (the cost should not grow with the size),
// shadows, glows and bevels as movies use them.
#include "raster/filters.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

namespace {

using namespace zf;

raster::Bitmap disc(int width, int height)
{
    raster::Bitmap image{width, height, std::vector<uint8_t>(size_t(width) * height * 4, 0)};
    const double r = std::min(width, height) * 0.4;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (std::hypot(x - width / 2.0, y - height / 2.0) > r)
                continue;
            uint8_t* p = &image.pixels[(size_t(y) * width + x) * 4];
            p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 220;
        }
    }
    return image;
}

void run(benchmark::State& state, const swf::Filter& filter)
{
    const raster::Bitmap source = disc(800, 600);
    for (auto _ : state) {
        raster::Bitmap image = source;
        raster::applyFilter(image, filter);
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * 800 * 600);
}

void BM_Blur(benchmark::State& state)
{
    const double size = double(state.range(0));
    run(state, swf::BlurFilter{size, size, 3});
}

void BM_DropShadow(benchmark::State& state)
{
    swf::DropShadowFilter f;
    f.color = {0, 0, 0, 255};
    f.blurX = f.blurY = 8;
    f.distance = 5;
    f.angle = std::numbers::pi / 4;
    f.strength = 1;
    f.passes = 3;
    f.compositeSource = true;
    run(state, f);
}

void BM_Glow(benchmark::State& state)
{
    swf::GlowFilter f;
    f.color = {255, 153, 51, 255};
    f.blurX = f.blurY = 26;
    f.strength = 3.5;
    f.passes = 1;
    f.compositeSource = true;
    run(state, f);
}

void BM_Bevel(benchmark::State& state)
{
    swf::BevelFilter f;
    f.highlightColor = {255, 255, 255, 255};
    f.shadowColor = {0, 0, 0, 255};
    f.blurX = f.blurY = 4;
    f.distance = 4;
    f.angle = std::numbers::pi / 4;
    f.strength = 1;
    f.inner = true;
    f.passes = 1;
    run(state, f);
}

} // namespace

BENCHMARK(BM_Blur)->Arg(4)->Arg(32)->Arg(255)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropShadow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Glow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bevel)->Unit(benchmark::kMillisecond);
