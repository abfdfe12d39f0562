// Movie-level costs: the full parse into a definition and the header-only
// probe that setMovie() does (the frame-count probe of the movie list).
#include "movie/movie.h"
#include "player.h"

#include "swf_builder.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

using zf::test::Actions;
using zf::test::ShapeBuilder;
using zf::test::SwfBuilder;

// About 1 MB: shapes with curved outlines, sprites placing them, frames with
// placements, moves and actions, as an animation export would look.
const std::vector<uint8_t>& typicalMovie()
{
    static const std::vector<uint8_t> bytes = [] {
        SwfBuilder builder;
        std::mt19937 random(7);
        std::uniform_int_distribution<int32_t> coordinate(-4000, 4000);
        for (uint16_t id = 1; id <= 3000; ++id) {
            ShapeBuilder shape;
            uint32_t fill = shape.addFill(zf::test::solidFill({uint8_t(id), 40, 90, 255}));
            uint32_t line = shape.addLine(zf::test::lineStyle(40, {0, 0, 0, 255}));
            shape.styles(0, fill, line).moveTo(coordinate(random), coordinate(random));
            for (int edge = 0; edge < 40; ++edge)
                shape.curveTo(coordinate(random), coordinate(random), coordinate(random),
                              coordinate(random));
            builder.defineShape(id, shape);
        }
        for (uint16_t id = 4000; id < 4100; ++id) {
            SwfBuilder sprite;
            for (int frame = 0; frame < 10; ++frame)
                sprite.place(uint16_t(1 + (id + frame) % 3000), uint16_t(frame + 1)).showFrame();
            builder.defineSprite(id, sprite);
        }
        for (int frame = 0; frame < 600; ++frame) {
            builder.place(uint16_t(4000 + frame % 100), uint16_t(frame + 1),
                          zf::Matrix::translate(frame * 10, frame * 5));
            builder.doAction(
                Actions().push({"counter", frame}).op(zf::swf::ActionCode::SetVariable));
            builder.showFrame();
        }
        return builder.bytes();
    }();
    return bytes;
}

void BM_DefinitionFromBytes(benchmark::State& state)
{
    const auto& bytes = typicalMovie();
    for (auto _ : state) {
        auto movie = zf::movie::MovieDefinition::fromBytes(bytes);
        benchmark::DoNotOptimize(movie);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["movie_bytes"] = double(bytes.size());
}
BENCHMARK(BM_DefinitionFromBytes)->Unit(benchmark::kMillisecond);

// A 5 MB zlib movie (mostly incompressible payload) written to a temporary file.
std::string bigCompressedMovie()
{
    static const std::string path = [] {
        std::mt19937 random(11);
        std::vector<uint8_t> payload(5u << 20);
        for (auto& byte : payload)
            byte = uint8_t(random());
        SwfBuilder builder(10, zf::test::Compression::Zlib);
        builder.frameCount(1200);
        builder.tag(zf::swf::TagCode::DefineBinaryData, payload).showFrame();
        auto file = std::filesystem::temp_directory_path() / "zf-movie-bench-5mb.swf";
        std::ofstream out(file, std::ios::binary);
        auto bytes = builder.bytes();
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return file.string();
    }();
    return path;
}

void BM_SetMovieTotalFrames(benchmark::State& state)
{
    std::string path = bigCompressedMovie();
    for (auto _ : state) {
        zf::Player player;
        player.setMovie(path);
        benchmark::DoNotOptimize(player.totalFrames());
    }
}
BENCHMARK(BM_SetMovieTotalFrames)->Unit(benchmark::kMicrosecond);

} // namespace
