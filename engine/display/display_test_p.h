// Shared by the display tests: a stage fixture whose script runner records
// what the stage asks of it, movie-building shortcuts, and small renders.
#pragma once

#include "display/display.h"

#include "raster/raster.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zf::display {
namespace {

using test::Actions;
using test::SwfBuilder;

// The string a test action block pushes first ("trace('x')" -> "x").
inline std::string blockName(std::span<const uint8_t> code)
{
    auto record = swf::readAction(code, 0);
    if (!record.ok() || record->code != uint8_t(swf::ActionCode::Push))
        return "?";
    auto values = swf::readPushValues(record->payload);
    return values.ok() && !values->empty() ? values->front().string : "?";
}

inline const char* eventName(ClipEvent event)
{
    switch (event) {
    case ClipEvent::Load: return "load";
    case ClipEvent::EnterFrame: return "enterFrame";
    case ClipEvent::Unload: return "unload";
    case ClipEvent::Press: return "press";
    case ClipEvent::Release: return "release";
    case ClipEvent::RollOver: return "rollOver";
    case ClipEvent::RollOut: return "rollOut";
    case ClipEvent::ReleaseOutside: return "releaseOutside";
    case ClipEvent::DragOut: return "dragOut";
    case ClipEvent::DragOver: return "dragOver";
    default: return nullptr; // not recorded
    }
}

// Records what the stage asks scripts to do, as "who:what" strings.
class RecordingRunner : public ScriptRunner {
public:
    std::vector<std::string> calls;
    bool recordEnterFrame = true;

    void beginTick(double) override {}
    void endTick() override {}
    void runFrameActions(MovieClip& clip, std::span<const uint8_t> actions) override
    {
        calls.push_back(name(clip) + ":" + blockName(actions));
    }
    void runInitActions(MovieClip&, uint16_t spriteId, std::span<const uint8_t> actions) override
    {
        calls.push_back("init" + std::to_string(spriteId) + ":" + blockName(actions));
    }
    void dispatchClipEvent(DisplayObject& object, ClipEvent event, const EventKey&) override
    {
        const char* event_ = eventName(event);
        if (event_ && (recordEnterFrame || event != ClipEvent::EnterFrame))
            calls.push_back(name(object) + ":" + event_);
    }
    void runButtonActions(Button& button, uint16_t conditions,
                          std::span<const uint8_t> actions) override
    {
        calls.push_back(name(button) + ":" + std::to_string(conditions) + ":" + blockName(actions));
    }
    void objectCreated(DisplayObject&) override {}
    void objectRemoved(DisplayObject&) override {}

    std::string take()
    {
        std::string out;
        for (const auto& call : calls)
            out += (out.empty() ? "" : " ") + call;
        calls.clear();
        return out;
    }

private:
    static std::string name(DisplayObject& object)
    {
        return object.parent() ? object.name() : "root";
    }
};

inline test::ShapeBuilder box(int32_t x, int32_t y, int32_t size, Rgba color)
{
    test::ShapeBuilder shape;
    shape.rectangle(x, y, size, size, shape.addFill(test::solidFill(color)));
    return shape;
}

inline swf::PlaceObject placement(uint16_t depth, std::optional<uint16_t> character, bool move,
                                  std::optional<std::string> name = std::nullopt)
{
    swf::PlaceObject place;
    place.version = 2;
    place.depth = depth;
    place.characterId = character;
    place.move = move;
    place.name = std::move(name);
    return place;
}

struct Fixture {
    std::shared_ptr<const movie::MovieDefinition> movie;
    std::unique_ptr<Stage> stage;
    RecordingRunner runner;

    explicit Fixture(const SwfBuilder& builder)
    {
        auto loaded = movie::MovieDefinition::fromBytes(builder.bytes());
        EXPECT_TRUE(loaded.ok());
        movie = loaded.value();
        stage = std::make_unique<Stage>(movie);
        stage->setScriptRunner(&runner);
    }
    MovieClip& root() { return stage->root(); }
};

// Renders a stage into a small RGBA buffer at 1 pixel = 20 twips.
inline std::vector<uint8_t> renderStage(const Stage& stage, int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    raster::Renderer renderer;
    raster::FrameOptions options;
    options.background = {255, 255, 255, 255};
    renderer.begin({pixels.data(), width, height, width * 4}, options);
    stage.render(renderer, Matrix::scale(1 / kTwipsPerPixel, 1 / kTwipsPerPixel));
    renderer.finish();
    return pixels;
}

inline Rgba pixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y)
{
    const uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

} // namespace
} // namespace zf::display
