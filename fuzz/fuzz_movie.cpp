// Fuzzes the whole engine behind the reader: the movie definition builder,
// the stage (placements, gotos, buttons, input), the interpreter and the
// renderer, for a few frames of each input at a small size.
#include "avm1/avm1.h"
#include "display/display.h"
#include "movie/movie.h"
#include "raster/raster.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr int kFrames = 6;
constexpr int kWidth = 48;
constexpr int kHeight = 36;

void playBriefly(const std::shared_ptr<const zf::movie::MovieDefinition>& definition)
{
    zf::display::Stage stage(definition);
    zf::avm1::Options options;
    options.swfVersion = definition->header().version;
    options.maxActionsPerFrame = 20'000; // keeps runaway scripts cheap
    options.trace = [](const std::string&) {};
    options.fscommand = [](const std::string&, const std::string&) {};
    auto interpreter = zf::avm1::createInterpreter(stage, options);

    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
    zf::raster::Surface surface{pixels.data(), kWidth, kHeight, kWidth * 4};
    zf::raster::Renderer renderer;
    const zf::Matrix toPixels = zf::Matrix::scale(kWidth / 11000.0, kHeight / 8000.0);
    for (int frame = 0; frame < kFrames; ++frame) {
        stage.mouseMove({double(frame * 900), double(frame * 700)});
        if (frame == 2)
            stage.mouseDown({1800, 1400});
        if (frame == 3)
            stage.mouseUp({1800, 1400});
        stage.tick();
        stage.advanceClock(40);
        if (frame % 2 == 1) {
            renderer.begin(surface, {});
            stage.render(renderer, toPixels);
            renderer.finish();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    auto definition = zf::movie::MovieDefinition::fromBytes(std::move(bytes));
    if (definition && !(*definition)->avm2())
        playBriefly(*definition);
    return 0;
}
