// Movie clips as scripts see them, on a real stage: event order, target
// paths, references to clips that left the stage, and depth methods.
#include "avm1.h"
#include "display/display.h"
#include "movie/movie.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

namespace zf::avm1 {
namespace {

using swf::ActionCode;
using test::Actions;
using test::SwfBuilder;

// A stage with an interpreter whose traces are collected.
struct Player {
    explicit Player(const SwfBuilder& builder)
    {
        auto loaded = movie::MovieDefinition::fromBytes(builder.bytes());
        EXPECT_TRUE(loaded.ok());
        stage = std::make_unique<display::Stage>(loaded.value());
        Options options;
        options.swfVersion = stage->swfVersion();
        options.trace = [this](const std::string& line) { lines += line + "\n"; };
        interpreter = createInterpreter(*stage, options);
    }
    std::string run(int frames)
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

swf::PlaceObject placement(uint16_t depth, uint16_t character, std::string name)
{
    swf::PlaceObject place;
    place.version = 2;
    place.depth = depth;
    place.characterId = character;
    place.name = std::move(name);
    return place;
}

// trace(<text>) as an action block that outlives the builder.
const test::Bytes& traceBlock(std::string text)
{
    static std::map<std::string, test::Bytes> blocks;
    auto& block = blocks[text];
    if (block.empty()) {
        block = Actions().trace(text).bytes();
    }
    return block;
}

void addClipAction(swf::PlaceObject& place, display::ClipEvent event, const std::string& text)
{
    if (!place.clipActions) {
        place.clipActions.emplace();
    }
    auto bit = static_cast<uint32_t>(event);
    place.clipActions->allEvents |= bit;
    place.clipActions->records.push_back({bit, 0, traceBlock(text)});
}

// push args..., count, name; CallFunction or CallMethod on `object`.
Actions& callMethod(Actions& a, const std::string& object, const std::string& method,
                    std::initializer_list<test::PushArg> args)
{
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) {
        a.push({*it});
    }
    a.push({int(args.size()), object}).op(ActionCode::GetVariable);
    return a.push({method}).op(ActionCode::CallMethod).op(ActionCode::Pop);
}

TEST(ClipEvents, InitializeAndConstructRunBeforeFrameActionsUnloadInnermostFirst)
{
    using display::ClipEvent;
    SwfBuilder child;
    child.showFrame();
    SwfBuilder parent;
    auto inner = placement(1, 1, "inner");
    addClipAction(inner, ClipEvent::Initialize, "inner initialize");
    addClipAction(inner, ClipEvent::Construct, "inner construct");
    addClipAction(inner, ClipEvent::Load, "inner load");
    addClipAction(inner, ClipEvent::Unload, "inner unload");
    parent.placeObject(inner).showFrame();

    SwfBuilder builder(8);
    builder.defineSprite(1, child).defineSprite(2, parent);
    builder.doAction(Actions().trace("frame 1"));
    auto outer = placement(1, 2, "outer");
    addClipAction(outer, ClipEvent::Initialize, "outer initialize");
    addClipAction(outer, ClipEvent::Construct, "outer construct");
    addClipAction(outer, ClipEvent::Load, "outer load");
    addClipAction(outer, ClipEvent::Unload, "outer unload");
    builder.placeObject(outer).showFrame();
    builder.removeObject(1).doAction(Actions().trace("frame 2").op(ActionCode::Stop)).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "outer initialize\ninner initialize\nouter construct\n"
                             "inner construct\nframe 1\nouter load\ninner load\n");
    EXPECT_EQ(player.run(1), "inner unload\nouter unload\nframe 2\n");
}

TEST(ClipPaths, SlashDotAndColonPathsNamedShapesAndRemovedClips)
{
    test::ShapeBuilder square;
    square.rectangle(0, 0, 200, 200, square.addFill(test::solidFill({255, 0, 0, 255})));
    SwfBuilder inner;
    inner.placeObject(placement(1, 3, "sq")).showFrame();
    SwfBuilder outer;
    outer.placeObject(placement(1, 4, "b")).showFrame();
    SwfBuilder builder(8);
    builder.defineShape(3, square).defineSprite(4, inner).defineSprite(5, outer);
    builder.placeObject(placement(1, 5, "a")).placeObject(placement(2, 3, "shape"));
    Actions a;
    a.push({"/a/b:v", "set"}).op(ActionCode::SetVariable);
    for (const char* path : {"a/b:v", "a.b.v", "a.b/v", "/a/../a/b:v", "a/b//:v", "a/b/:v"}) {
        a.push({path}).op(ActionCode::GetVariable).op(ActionCode::Trace);
    }
    // Names of shapes lead to the clip that holds them.
    a.push({"shape"}).op(ActionCode::GetVariable).op(ActionCode::Trace);
    a.push({"a/b.sq"}).op(ActionCode::GetVariable).op(ActionCode::Trace);
    // A removed clip converts to the empty string until a clip takes its
    // path again.
    callMethod(a, "_root", "createEmptyMovieClip", {"r", 5});
    a.push({"ref", "r"}).op(ActionCode::GetVariable).op(ActionCode::SetVariable);
    a.push({"r"}).op(ActionCode::RemoveSprite);
    a.push({"ref"}).op(ActionCode::GetVariable).op(ActionCode::Trace);
    callMethod(a, "_root", "createEmptyMovieClip", {"r", 6});
    a.push({"ref"}).op(ActionCode::GetVariable).op(ActionCode::Trace);
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "set\nset\nundefined\nset\nundefined\nset\n"
                             "_level0\n_level0.a.b\n\n_level0.r\n");
}

TEST(ClipPaths, ScriptStopsAfterACallRemovesItsOwnClip)
{
    SwfBuilder self;
    Actions code;
    code.trace("before");
    callMethod(code, "this", "removeMovieClip", {});
    code.trace("after: never");
    self.doAction(code).showFrame();
    SwfBuilder builder(8);
    builder.defineSprite(1, self).exportAssets({{1, "self"}});
    Actions root;
    callMethod(root, "_root", "attachMovie", {"self", "s", 1});
    root.trace("root goes on");
    builder.doAction(root).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(2), "root goes on\nbefore\n");
}

TEST(ClipPaths, InitObjectIsCopiedOldestPropertyFirst)
{
    SwfBuilder self;
    self.showFrame();
    SwfBuilder builder(8);
    builder.defineSprite(1, self).exportAssets({{1, "self"}});
    Actions a;
    // A setter for `p` on every clip traces what `q` holds when it runs.
    a.defineFunction("", {"v"},
                     Actions()
                         .push({"this"})
                         .op(ActionCode::GetVariable)
                         .push({"q"})
                         .op(ActionCode::GetMember)
                         .op(ActionCode::Trace));
    a.defineFunction("", {}, Actions());
    a.push({"p", 3, "MovieClip"}).op(ActionCode::GetVariable);
    a.push({"prototype"}).op(ActionCode::GetMember);
    a.push({"addProperty"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    // init = {q: "q first"} then init.p = 2: q is the older property.
    a.push({"init", 0, "Object"}).op(ActionCode::NewObject).op(ActionCode::SetVariable);
    a.push({"init"}).op(ActionCode::GetVariable).push({"q", "q first"});
    a.op(ActionCode::SetMember);
    a.push({"init"}).op(ActionCode::GetVariable).push({"p", 2}).op(ActionCode::SetMember);
    a.push({"init"}).op(ActionCode::GetVariable).push({1, "s", "self", 4, "_root"});
    a.op(ActionCode::GetVariable).push({"attachMovie"}).op(ActionCode::CallMethod);
    a.op(ActionCode::Pop);
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "q first\n");
}

TEST(ClipPaths, RecolouredClipsIgnoreTimelineMoves)
{
    SwfBuilder empty;
    empty.showFrame();
    SwfBuilder builder(8);
    builder.defineSprite(1, empty).placeObject(placement(1, 1, "c"));
    builder
        .doAction(Actions()
                      .push({0xFF0000, 1, "c"})
                      .op(ActionCode::GetVariable)
                      .push({1, "Color"})
                      .op(ActionCode::NewObject)
                      .push({"setRGB"})
                      .op(ActionCode::CallMethod)
                      .op(ActionCode::Pop))
        .showFrame();
    swf::PlaceObject move;
    move.version = 2;
    move.depth = 1;
    move.move = true;
    move.matrix = Matrix{1, 0, 0, 1, 2000, 0};
    Actions report;
    report.op(ActionCode::Stop).push({"c"}).op(ActionCode::GetVariable).push({"_x"});
    report.op(ActionCode::GetMember).op(ActionCode::Trace);
    builder.placeObject(move).doAction(report).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(3), "0\n");
}

TEST(ClipFunctions, BaseClipOfVersion5FunctionsAndTheirConstantPool)
{
    SwfBuilder empty;
    empty.showFrame();
    SwfBuilder builder(5);
    builder.defineSprite(1, empty).placeObject(placement(1, 1, "c"));
    Actions a;
    // The function body refers to pool entries of the block that defined it.
    a.constantPool({"whoami", "in whoami"});
    a.defineFunction("whoami", {},
                     Actions()
                         .trace(test::Constant{1})
                         .push({"", 11})
                         .op(ActionCode::GetProperty)
                         .op(ActionCode::Trace));
    a.push({"c"}).op(ActionCode::GetVariable);
    a.push({"whoami", "whoami"}).op(ActionCode::GetVariable).op(ActionCode::SetMember);
    a.constantPool({"other", "pool"});
    callMethod(a, "c", "whoami", {});
    a.push({0, "whoami"}).op(ActionCode::CallFunction).op(ActionCode::Pop);
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "in whoami\n/c\nin whoami\n/\n");
}

TEST(ClipDepths, SwapDepthsWrapsNumbersAndIgnoresOutOfRangeDepths)
{
    SwfBuilder empty;
    empty.showFrame();
    SwfBuilder builder(8);
    builder.defineSprite(1, empty).placeObject(placement(1, 1, "c"));
    Actions a;
    auto swapAndTrace = [&](test::PushArg depth) {
        callMethod(a, "c", "swapDepths", {depth});
        a.push({0, "c"}).op(ActionCode::GetVariable);
        a.push({"getDepth"}).op(ActionCode::CallMethod).op(ActionCode::Trace);
    };
    swapAndTrace(4294967297.5);
    swapAndTrace(2130690045.0);
    swapAndTrace(-16385);
    swapAndTrace("junk");
    swapAndTrace(test::Undefined{});
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "1\n1\n1\n0\n0\n");
}

} // namespace
} // namespace zf::avm1
