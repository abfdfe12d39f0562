// Movie clips as scripts see them, on a real stage: event order, target
// paths, references to clips that left the stage, and depth methods.
#include "test_stage_p.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zf::avm1 {
namespace {

using swf::ActionCode;
using zf::test::Actions;
using zf::test::SwfBuilder;

using Player = test::StagePlayer;
using test::placement;

// trace(<text>) as an action block that outlives the builder.
const zf::test::Bytes& traceBlock(std::string text)
{
    static std::map<std::string, zf::test::Bytes> blocks;
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
                    std::initializer_list<zf::test::PushArg> args)
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
    zf::test::ShapeBuilder square;
    square.rectangle(0, 0, 200, 200, square.addFill(zf::test::solidFill({255, 0, 0, 255})));
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
                         .trace(zf::test::Constant{1})
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
    auto swapAndTrace = [&](zf::test::PushArg depth) {
        callMethod(a, "c", "swapDepths", {depth});
        a.push({0, "c"}).op(ActionCode::GetVariable);
        a.push({"getDepth"}).op(ActionCode::CallMethod).op(ActionCode::Trace);
    };
    swapAndTrace(4294967297.5);
    swapAndTrace(2130690045.0);
    swapAndTrace(-16385);
    swapAndTrace("junk");
    swapAndTrace(zf::test::Undefined{});
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "1\n1\n1\n0\n0\n");
}

// A clip "c" at depth 1 of a one-frame root whose script is `script`. The
// clip has three frames tracing c1..c3 (the first stops), labelled by
// `labels` (frame -> label).
Player gotoPlayer(const Actions& script, const std::map<int, std::string>& labels)
{
    SwfBuilder child;
    for (int frame = 1; frame <= 3; ++frame) {
        Actions a;
        a.trace(std::string(1, 'c') + char('0' + frame));
        if (frame == 1) {
            a.op(ActionCode::Stop);
        }
        child.doAction(a);
        if (auto it = labels.find(frame); it != labels.end()) {
            child.frameLabel(it->second);
        }
        child.showFrame();
    }
    SwfBuilder builder(8);
    builder.defineSprite(1, child).placeObject(placement(1, 1, "c"));
    builder.doAction(script).showFrame();
    return Player(builder);
}

void traceCurrentFrame(Actions& a)
{
    a.push({"c"}).op(ActionCode::GetVariable).push({"_currentframe"});
    a.op(ActionCode::GetMember).op(ActionCode::Trace);
}

TEST(ClipTimeline, GotoMethodsWrapFrameNumbersAndSkipActionsPastTheEnd)
{
    struct Step {
        zf::test::PushArg frame;
        int expected;
    };
    const Step steps[] = {
        {999, 3},                   // past the end: the last frame, no actions
        {0, 3},                     // frame 0 names nothing
        {1, 1},                     //
        {2147483648.0, 3},          // wraps to -2^31, which lands past the end
        {1, 1},                     //
        {4294967298.0, 2},          // wraps to 2
        {-2147483647, 2},           // below frame 1: ignored
        {"3.5", 2},                 // not a whole number: a label, and none has that name
        {std::nan(""), 2},          //
        {"THREE", 3},               // labels ignore case
        {zf::test::Undefined{}, 3}, // no such label
    };
    Actions a;
    for (const Step& step : steps) {
        callMethod(a, "c", "gotoAndStop", {step.frame});
        traceCurrentFrame(a);
    }
    Player player = gotoPlayer(a, {{3, "three"}});
    // Frame actions of the gotos run after the script, in order.
    EXPECT_EQ(player.run(1), "c1\n3\n3\n1\n3\n1\n2\n2\n2\n2\n3\n3\nc1\nc1\nc2\nc3\n");
}

TEST(ClipTimeline, GotoFrame2TakesFractionsAndOtherValuesAsLabels)
{
    Actions a;
    auto gotoAndTrace = [&](zf::test::PushArg frame, std::optional<uint16_t> bias) {
        a.setTarget("c").push({frame}).gotoFrame2(false, bias).setTarget("");
        traceCurrentFrame(a);
    };
    gotoAndTrace(2.5, std::nullopt);                   // the label "2.5"
    gotoAndTrace(zf::test::Undefined{}, std::nullopt); // the label "undefined"
    gotoAndTrace(4294967297.0, std::nullopt);          // wraps to 1
    gotoAndTrace(1, 1);                                // scene bias: 1 + 1
    gotoAndTrace(9999, 1);                             // clamped, no actions
    Player player = gotoPlayer(a, {{2, "undefined"}, {3, "2.5"}});
    EXPECT_EQ(player.run(1), "c1\n3\n2\n1\n2\n3\nc3\nc2\nc1\nc2\n");
}

TEST(ClipTimeline, WaitForFrameSkipsOnlyPastThePlayersFrameLimit)
{
    Actions a;
    auto wait2 = [&](zf::test::PushArg frame, const std::string& name) {
        a.push({frame}).waitForFrame2(2).trace(name);
    };
    wait2(0, "0");
    wait2(16001, "16001");
    wait2(16002, "16002 skipped");
    wait2(16002.5, "16002.5");
    wait2(2147483649.0, "2147483649");
    wait2("abc", "abc");
    wait2("16002", "string 16002 skipped");
    a.waitForFrame(16000, 2).trace("16001 (0-based operand)");
    a.waitForFrame(16001, 2).trace("16002 skipped").trace("after the skip");
    a.trace("end");
    Player player = gotoPlayer(a, {});
    EXPECT_EQ(player.run(1), "c1\n0\n16001\n16002.5\n2147483649\nabc\n16001 (0-based operand)\n"
                             "after the skip\nend\n");
}

TEST(ClipTimeline, OnlyTimelinesWithTwoShownFramesAndAnEndLoop)
{
    auto sprite = [](const std::string& name, int shownFrames, bool trailing, bool end) {
        SwfBuilder content;
        for (int frame = 1; frame <= shownFrames; ++frame) {
            content.doAction(Actions().trace(name + std::to_string(frame))).showFrame();
        }
        if (trailing) {
            content.doAction(Actions().trace(name + std::to_string(shownFrames + 1)));
        }
        content.omitEnd(!end);
        return content;
    };
    SwfBuilder builder(8);
    builder.defineSprite(1, sprite("tail", 1, true, true));
    builder.defineSprite(2, sprite("loop", 2, false, true));
    builder.defineSprite(3, sprite("noend", 2, false, false));
    builder.placeObject(placement(1, 1, "a"));
    builder.placeObject(placement(2, 2, "b"));
    builder.placeObject(placement(3, 3, "c"));
    builder.showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "tail1\nloop1\nnoend1\n");
    EXPECT_EQ(player.run(1), "noend2\nloop2\ntail2\n");
    EXPECT_EQ(player.run(1), "loop1\n");
    EXPECT_EQ(player.run(1), "loop2\n");
}

TEST(ClipDuplicates, TextFieldsCloneFromTheirDefinitionWithTheTransform)
{
    swf::EditText edit;
    edit.id = 1;
    edit.bounds = RectTwips{0, 2000, 0, 400};
    edit.initialText = "hello";
    SwfBuilder builder(8);
    builder.defineEditText(edit).placeObject(placement(1, 1, "t"));
    Actions a;
    a.push({"t"}).op(ActionCode::GetVariable).push({"text", "changed"}).op(ActionCode::SetMember);
    a.push({"t"}).op(ActionCode::GetVariable).push({"_x", 30}).op(ActionCode::SetMember);
    a.push({"t", "u", 20}).op(ActionCode::CloneSprite);
    for (const char* property : {"text", "_x", "_name"}) {
        a.push({"u"}).op(ActionCode::GetVariable).push({property});
        a.op(ActionCode::GetMember).op(ActionCode::Trace);
    }
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "hello\n30\nu\n");
}

TEST(ClipDuplicates, NamesAreConvertedToStringsAndAnEmptyNameIsKept)
{
    Actions a;
    a.push({"mc", 1, "source", 2, "this"}).op(ActionCode::GetVariable);
    a.push({"createEmptyMovieClip"}).op(ActionCode::CallMethod).op(ActionCode::DefineLocal);
    const std::pair<zf::test::PushArg, int> names[] = {
        {zf::test::Null{}, 2}, {zf::test::Undefined{}, 3}, {"", 4}, {7, 5}};
    for (const auto& [name, depth] : names) {
        a.push({"copy", depth, name, 2, "mc"}).op(ActionCode::GetVariable);
        a.push({"duplicateMovieClip"}).op(ActionCode::CallMethod).op(ActionCode::DefineLocal);
        a.push({"["}).push({"copy"}).op(ActionCode::GetVariable).push({"_name"});
        a.op(ActionCode::GetMember).op(ActionCode::Add2).push({"]"}).op(ActionCode::Add2);
        a.op(ActionCode::Trace);
    }
    SwfBuilder builder(8);
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "[null]\n[undefined]\n[]\n[7]\n");
}

TEST(ClipDuplicates, EmptyClipsHaveNoBytesAndFarBounds)
{
    Actions a;
    callMethod(a, "this", "createEmptyMovieClip", {"e", 1});
    // e.<method>(<space variable>).<member>, or e.<method>() when no space.
    auto traceCall = [&](const char* method, const char* space, const char* member) {
        if (space) {
            a.push({space}).op(ActionCode::GetVariable).push({1});
        } else {
            a.push({0});
        }
        a.push({"e"}).op(ActionCode::GetVariable).push({method}).op(ActionCode::CallMethod);
        if (member) {
            a.push({member}).op(ActionCode::GetMember);
        }
        a.op(ActionCode::Trace);
    };
    traceCall("getBounds", "e", "xMin");
    traceCall("getBounds", "_root", "yMax");
    traceCall("getBytesTotal", nullptr, nullptr);
    SwfBuilder builder(8);
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(1), "6710886.35\n6710886.4\n0\n");
}

} // namespace
} // namespace zf::avm1
