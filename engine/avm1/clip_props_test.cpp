// Display properties as scripts set and read them on a real stage: value
// conversions, positions on the twip grid, focus and tab settings, and
// placed videos.
#include "test_stage_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zf::avm1 {
namespace {

using swf::ActionCode;
using zf::test::Actions;
using zf::test::PushArg;
using zf::test::SwfBuilder;

using Player = test::StagePlayer;

// Runs one frame of `code` (after an empty clip "c" is made at depth 1) in
// a movie of `version`.
std::string runWithClip(int version, const Actions& code)
{
    SwfBuilder builder(version);
    Actions a;
    a.push({1, "c", 2, "_root"}).op(ActionCode::GetVariable);
    a.push({"createEmptyMovieClip"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    builder.doAction(a).doAction(code).showFrame();
    Player player(builder);
    return player.run();
}

Actions& setProperty(Actions& a, int property, PushArg value)
{
    return a.push({"c", property, value}).op(ActionCode::SetProperty);
}

Actions& traceProperty(Actions& a, int property)
{
    return a.push({"c", property}).op(ActionCode::GetProperty).op(ActionCode::Trace);
}

Actions& traceMember(Actions& a, const char* object, const char* member)
{
    a.push({object}).op(ActionCode::GetVariable).push({member}).op(ActionCode::GetMember);
    return a.op(ActionCode::Trace);
}

// Property numbers of GetProperty / SetProperty.
enum Prop { X = 0, XScale = 2, Alpha = 6, Visible = 7, Rotation = 10, HighQuality = 16 };
enum PropMore { FocusRect = 17, SoundBufTime = 18, Quality = 19 };

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ClipPropertyValues, EachPropertyConvertsWhatScriptsAssign)
{
    // Each row sets `start`, then `value`, and reads the property back.
    struct Row {
        int property;
        PushArg start;
        PushArg value;
        const char* expected;
    } rows[] = {
        // Values that are no number leave positions alone, in any version.
        {X, 1, zf::test::Undefined{}, "1"},
        {X, 1, zf::test::Null{}, "1"},
        {X, 1, "10x", "1"},
        {X, 1, true, "1"},
        {X, 1, "7", "7"},
        // Positions are 32-bit twips: infinities wrap to the lowest.
        {X, 1, kInf, "-107374182.4"},
        {X, 1, -kInf, "-107374182.4"},
        {XScale, 100, kInf, "Infinity"},
        {Rotation, 0, kInf, "NaN"},
        {Alpha, 1, kInf, "0"},
        {Alpha, 1, zf::test::Undefined{}, "0.78125"},
        {Visible, 0, "abc", "false"},
        {Visible, 1, "abc", "true"},
        {Visible, 1, 0, "false"},
        {Visible, 0, -kInf, "true"},
        {SoundBufTime, 5, 1.5, "1"},
        {SoundBufTime, 5, kInf, "-2147483648"},
        {SoundBufTime, 5, "x", "5"},
        {HighQuality, 1, -5, "1"},
        {HighQuality, 1, 2, "2"},
        {HighQuality, 1, 0.5, "0"},
    };
    for (const Row& row : rows) {
        Actions a;
        setProperty(a, row.property, row.start);
        setProperty(a, row.property, row.value);
        traceProperty(a, row.property);
        EXPECT_EQ(runWithClip(6, a), std::string(row.expected) + "\n")
            << "property " << row.property << " expected " << row.expected;
    }
}

TEST(ClipPropertyValues, ObjectsGiveTheirValueOfWithoutAStringFallback)
{
    Actions a;
    // o.valueOf returns an object and o.toString a number: _x stays put.
    a.push({"o", 0, "Object"}).op(ActionCode::NewObject).op(ActionCode::SetVariable);
    a.push({"o"}).op(ActionCode::GetVariable).push({"valueOf"});
    a.defineFunction("", {},
                     Actions().push({"o"}).op(ActionCode::GetVariable).op(ActionCode::Return));
    a.op(ActionCode::SetMember);
    a.push({"o"}).op(ActionCode::GetVariable).push({"toString"});
    a.defineFunction("", {}, Actions().push({5}).op(ActionCode::Return));
    a.op(ActionCode::SetMember);
    setProperty(a, X, 3);
    a.push({"c", X, "o"}).op(ActionCode::GetVariable).op(ActionCode::SetProperty);
    traceProperty(a, X);
    // _focusrect takes an object as false and calls nothing.
    setProperty(a, FocusRect, 1);
    a.push({"c", FocusRect, "o"}).op(ActionCode::GetVariable).op(ActionCode::SetProperty);
    traceProperty(a, FocusRect);
    EXPECT_EQ(runWithClip(6, a), "3\nfalse\n");
}

TEST(ClipPropertyValues, FocusRectAndQualityByVersion)
{
    for (int version : {5, 6}) {
        Actions a;
        traceProperty(a, FocusRect);
        setProperty(a, FocusRect, 7);
        traceProperty(a, FocusRect);
        setProperty(a, HighQuality, 9);
        traceProperty(a, Quality);
        // Quality names are matched without regard to case; others are ignored.
        setProperty(a, Quality, "medium");
        traceProperty(a, HighQuality);
        setProperty(a, Quality, "ultra");
        traceProperty(a, Quality);
        EXPECT_EQ(runWithClip(version, a),
                  version >= 6 ? "null\ntrue\nBEST\n1\nMEDIUM\n" : "null\n1\nBEST\n1\nMEDIUM\n");
    }
}

TEST(ClipGeometry, ConvertedPointsAndBoundsLandOnTheTwipGrid)
{
    zf::test::ShapeBuilder square;
    square.rectangle(-1000, -1000, 2000, 2000,
                     square.addFill(zf::test::solidFill({0, 0, 255, 255})));
    SwfBuilder inner;
    inner.place(1, 1).showFrame();
    SwfBuilder builder(8);
    builder.defineShape(1, square).defineSprite(2, inner);
    swf::PlaceObject place;
    place.version = 2;
    place.depth = 1;
    place.characterId = 2;
    place.name = std::string("s");
    // Scaled by a third and rotated: nothing here is a whole twip exactly.
    place.matrix = Matrix{0.2886, 0.1667, -0.1667, 0.2886, 1003, 2007};
    builder.placeObject(place);
    Actions a;
    a.push({"p", "x", 7.3, "y", 2.1, 2}).op(ActionCode::InitObject).op(ActionCode::SetVariable);
    a.push({"p"}).op(ActionCode::GetVariable).push({1, "s"}).op(ActionCode::GetVariable);
    a.push({"localToGlobal"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    traceMember(a, "p", "x");
    traceMember(a, "p", "y");
    a.push({"p"}).op(ActionCode::GetVariable).push({1, "s"}).op(ActionCode::GetVariable);
    a.push({"globalToLocal"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    traceMember(a, "p", "x");
    traceMember(a, "p", "y");
    a.push({"_root"}).op(ActionCode::GetVariable).push({1, "s"}).op(ActionCode::GetVariable);
    a.push({"getBounds"}).op(ActionCode::CallMethod);
    a.push({"b"}).op(ActionCode::StackSwap).op(ActionCode::SetVariable);
    for (const char* edge : {"xMin", "xMax", "yMin", "yMax"}) {
        traceMember(a, "b", edge);
    }
    traceMember(a, "s", "_width");
    builder.doAction(a).showFrame();

    Player player(builder);
    std::string out = player.run();
    // Every number is a whole number of twips (a multiple of 0.05).
    size_t lines = 0;
    for (size_t start = 0; start < out.size();) {
        size_t end = out.find('\n', start);
        double value = std::stod(out.substr(start, end - start));
        EXPECT_NEAR(value * 20, std::round(value * 20), 1e-6) << out;
        start = end + 1;
        ++lines;
    }
    EXPECT_EQ(lines, 9u) << out;
}

TEST(ClipGeometry, ScalesAndRotationsKeepWhatScriptsSetOnAFixedPointMatrix)
{
    Actions a;
    setProperty(a, XScale, 33.3);
    traceProperty(a, XScale);
    setProperty(a, Rotation, 370);
    traceProperty(a, Rotation);
    setProperty(a, X, 12.345);
    traceProperty(a, X);
    EXPECT_EQ(runWithClip(6, a), "33.3\n10\n12.35\n");
}

TEST(ClipGeometry, ATextFieldsPositionIsTheCornerOfItsBox)
{
    // A field whose box starts at (6, 7) px, placed with no offset, and one
    // made by a script at (3, 4) px.
    swf::EditText edit;
    edit.id = 1;
    edit.bounds = {120, 220, 140, 240};
    SwfBuilder builder(8);
    builder.defineEditText(edit);
    swf::PlaceObject place;
    place.version = 2;
    place.depth = 1;
    place.characterId = 1;
    place.name = std::string("t");
    builder.placeObject(place);
    Actions a;
    a.push({10, 10, 4, 3, 2, "made", 6, "_root"}).op(ActionCode::GetVariable);
    a.push({"createTextField"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    for (const char* name : {"t", "made"}) {
        traceMember(a, name, "_x");
        traceMember(a, name, "_y");
    }
    // Setting the position moves the box's corner there.
    a.push({"t"}).op(ActionCode::GetVariable).push({"_x", 20}).op(ActionCode::SetMember);
    a.push({"made", int(X), 9}).op(ActionCode::SetProperty);
    for (const char* name : {"t", "made"})
        traceMember(a, name, "_x");
    builder.doAction(a).showFrame();
    Player player(builder);
    EXPECT_EQ(player.run(), "6\n7\n3\n4\n20\n9\n");
}

TEST(ClipFocus, OnlyFocusableObjectsTakeTheFocusAndListenersHearChanges)
{
    SwfBuilder builder(8);
    Actions a;
    a.push({2, "d", 2, "_root"}).op(ActionCode::GetVariable);
    a.push({"createEmptyMovieClip"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    // A listener that traces onSetFocus(old, new).
    a.push({"l", 0, "Object"}).op(ActionCode::NewObject).op(ActionCode::SetVariable);
    a.push({"l"}).op(ActionCode::GetVariable).push({"onSetFocus"});
    a.defineFunction("", {"o", "n"},
                     Actions()
                         .push({"o"})
                         .op(ActionCode::GetVariable)
                         .op(ActionCode::Trace)
                         .push({"n"})
                         .op(ActionCode::GetVariable)
                         .op(ActionCode::Trace));
    a.op(ActionCode::SetMember);
    a.push({"l"}).op(ActionCode::GetVariable).push({1, "Selection"}).op(ActionCode::GetVariable);
    a.push({"addListener"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    auto setFocus = [&](const char* target) {
        a.push({target}).op(ActionCode::GetVariable).push({1, "Selection"});
        a.op(ActionCode::GetVariable).push({"setFocus"}).op(ActionCode::CallMethod);
        a.op(ActionCode::Trace);
    };
    setFocus("c"); // a plain clip: refused
    a.push({"c"})
        .op(ActionCode::GetVariable)
        .push({"focusEnabled", true})
        .op(ActionCode::SetMember);
    setFocus("c");
    setFocus("c"); // again: no news for listeners
    setFocus("d");
    setFocus("undefined");
    a.push({0, "Selection"}).op(ActionCode::GetVariable).push({"getFocus"});
    a.op(ActionCode::CallMethod).op(ActionCode::Trace);
    EXPECT_EQ(runWithClip(8, a), "false\n"
                                 "null\n_level0.c\ntrue\n"
                                 "true\n"
                                 "false\n"
                                 "_level0.c\nnull\ntrue\n"
                                 "null\n");
}

TEST(ClipFocus, TabIndexIsA32BitIntegerThatClipsDoNotEnumerate)
{
    struct Row {
        PushArg value;
        const char* expected;
    } rows[] = {
        {-4, "-4"}, {2147483648.0, "-2147483648"},        {"x", "-2147483648"},
        {1.9, "1"}, {zf::test::Undefined{}, "undefined"},
    };
    for (const Row& row : rows) {
        Actions a;
        a.push({"c"}).op(ActionCode::GetVariable).push({"tabIndex", row.value});
        a.op(ActionCode::SetMember);
        traceMember(a, "c", "tabIndex");
        // for (k in c) trace(k): nothing to list.
        a.push({"c"}).op(ActionCode::GetVariable).op(ActionCode::Enumerate2);
        a.label("next").op(ActionCode::PushDuplicate).push({zf::test::Null{}});
        a.op(ActionCode::Equals2).ifTrue("done").op(ActionCode::Trace).jump("next");
        a.label("done").op(ActionCode::Pop);
        EXPECT_EQ(runWithClip(8, a), std::string(row.expected) + "\n") << row.expected;
    }
}

TEST(ClipVideo, APlacedVideoIsAScriptObjectWithItsStreamSettings)
{
    SwfBuilder builder(8);
    // DefineVideoStream: id 1, 10 frames, 160 x 120, deblocking 2, smoothing on.
    builder.tag(swf::TagCode::DefineVideoStream, {1, 0, 10, 0, 160, 0, 120, 0, 0x05, 2});
    swf::PlaceObject place;
    place.version = 2;
    place.depth = 1;
    place.characterId = 1;
    place.name = std::string("v");
    builder.placeObject(place);
    Actions a;
    for (const char* member : {"_name", "_width", "width", "height", "smoothing", "deblocking"}) {
        traceMember(a, "v", member);
    }
    a.push({"v"}).op(ActionCode::GetVariable).push({"smoothing", false}).op(ActionCode::SetMember);
    traceMember(a, "v", "smoothing");
    a.push({"v"}).op(ActionCode::GetVariable).push({"_x", 15}).op(ActionCode::SetMember);
    traceMember(a, "v", "_x");
    a.push({0, "v"}).op(ActionCode::GetVariable).push({"clear"}).op(ActionCode::CallMethod);
    a.op(ActionCode::Trace);
    builder.doAction(a).showFrame();

    Player player(builder);
    EXPECT_EQ(player.run(), "v\n160\n160\n120\ntrue\n2\nfalse\n15\nundefined\n");
}

} // namespace
} // namespace zf::avm1
