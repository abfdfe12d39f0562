// A display stage with an interpreter, for tests of scripts that need real
// clips: movies made with the SwfBuilder play frame by frame and their
// traces are collected.
#pragma once

#include "avm1.h"
#include "display/display.h"
#include "movie/movie.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace zf::avm1::test {

struct StagePlayer {
    // `setup` may adjust the stage and the interpreter's options before the
    // interpreter starts (a movie loader, a base folder, ...).
    using Setup = std::function<void(display::Stage&, Options&)>;

    explicit StagePlayer(const zf::test::SwfBuilder& builder, const Setup& setup = {})
    {
        auto loaded = movie::MovieDefinition::fromBytes(builder.bytes());
        EXPECT_TRUE(loaded.ok());
        stage = std::make_unique<display::Stage>(loaded.value());
        Options options;
        options.swfVersion = stage->swfVersion();
        options.trace = [this](const std::string& line) { lines += line + "\n"; };
        if (setup) {
            setup(*stage, options);
        }
        interpreter = createInterpreter(*stage, options);
    }

    // Plays `frames` frames and returns what they traced.
    std::string run(int frames = 1)
    {
        for (int i = 0; i < frames; ++i) {
            stage->tick();
        }
        return std::exchange(lines, {});
    }

    std::unique_ptr<display::Stage> stage;
    std::unique_ptr<Interpreter> interpreter;
    std::string lines;
};

// A PlaceObject2 of `character` at `depth` named `name`.
inline swf::PlaceObject placement(uint16_t depth, uint16_t character, std::string name)
{
    swf::PlaceObject place;
    place.version = 2;
    place.depth = depth;
    place.characterId = character;
    place.name = std::move(name);
    return place;
}

// trace(name)
inline zf::test::Actions& traceVariable(zf::test::Actions& a, const std::string& name)
{
    return a.push({name}).op(swf::ActionCode::GetVariable).op(swf::ActionCode::Trace);
}

} // namespace zf::avm1::test
