// Speed of the SWF reader: the header probe of a large compressed movie
// (what a frame-count query costs) and a full load and parse of a movie.
#include "swf/swf.h"
#include "swf_builder.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace zf;
using test::Bytes;
using test::ShapeBuilder;
using test::SwfBuilder;

// A movie of shapes, random-pixel bitmaps, texts and scripts until the tag
// stream reaches about targetBytes.
Bytes buildMovie(size_t targetBytes, test::Compression compression)
{
    std::mt19937 random(42);
    SwfBuilder movie(10, compression);
    uint16_t id = 1;
    size_t size = 0;
    while (size < targetBytes) {
        std::vector<Rgba> pixels(64 * 64);
        for (Rgba& p : pixels)
            p = {uint8_t(random()), uint8_t(random()), uint8_t(random()), 255};
        movie.defineBitsLossless(id++, 64, 64, pixels, 5, false);
        for (int s = 0; s < 20; ++s) {
            ShapeBuilder shape(3);
            uint32_t fill = shape.addFill(test::solidFill({uint8_t(random()), 0, 0, 255}));
            uint32_t line = shape.addLine(test::lineStyle(20, {0, 0, 0, 255}));
            shape.moveTo(int32_t(random() % 4000), int32_t(random() % 4000)).styles(0, fill, line);
            for (int e = 0; e < 30; ++e) {
                int32_t x = int32_t(random() % 8000), y = int32_t(random() % 8000);
                if (e % 3)
                    shape.lineTo(x, y);
                else
                    shape.curveTo(x, y, int32_t(random() % 8000), int32_t(random() % 8000));
            }
            movie.defineShape(id++, shape);
            movie.place(uint16_t(id - 1), uint16_t(s + 1), Matrix::translate(s * 20, 0));
        }
        movie.doAction(test::Actions()
                           .push({"counter", 1.5, 3})
                           .op(swf::ActionCode::Add2)
                           .op(swf::ActionCode::SetVariable)
                           .trace("frame"));
        movie.showFrame();
        size = movie.tagBytes().size();
    }
    return movie.bytes();
}

void walk(std::span<const uint8_t> tags, int version, benchmark::State& state)
{
    swf::TagStream stream(tags);
    while (auto tag = stream.next()) {
        swf::TagCheck check = swf::checkTag(*tag, version);
        if (!check.exact())
            state.SkipWithError(check.error.c_str());
        if (tag->type() == swf::TagCode::DefineShape3) {
            auto shape = swf::readDefineShape(*tag);
            benchmark::DoNotOptimize(shape);
        }
    }
}

void headerProbe(benchmark::State& state)
{
    Bytes movie = buildMovie(5 << 20, test::Compression(state.range(0)));
    state.counters["file_bytes"] = double(movie.size());
    for (auto _ : state) {
        auto header = swf::readHeader(std::span(movie).first(4096), movie.size());
        benchmark::DoNotOptimize(header);
    }
}
BENCHMARK(headerProbe)
    ->Arg(int(test::Compression::Zlib))
    ->Arg(int(test::Compression::Lzma))
    ->Unit(benchmark::kMicrosecond);

void loadAndParse(benchmark::State& state)
{
    Bytes movie = buildMovie(1 << 20, test::Compression(state.range(0)));
    state.counters["file_bytes"] = double(movie.size());
    for (auto _ : state) {
        auto file = swf::loadBytes(movie);
        if (!file) {
            state.SkipWithError(file.message().c_str());
            break;
        }
        walk(file->tagBytes(), file->header.version, state);
    }
}
BENCHMARK(loadAndParse)
    ->Arg(int(test::Compression::None))
    ->Arg(int(test::Compression::Zlib))
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
