// The player-facing built-ins without a stage: Sound state, flash.filters,
// ASnative, SharedObject storage, NetConnection events and Stage settings.
#include "filters_p.h"
#include "test_runner_p.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Item;
using test::Null;
using test::Runner;
using Code = swf::ActionCode;

// Pushes the arguments (last first) and their count.
Asm& pushArgs(Asm& a, const std::vector<Item>& args)
{
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        a.push({*it});
    }
    return a.push({int(args.size())});
}

// name = new flash.filters.<cls>(args...)
Asm& newFilter(Asm& a, const char* name, const char* cls, const std::vector<Item>& args)
{
    a.push({name});
    pushArgs(a, args).push({"flash"}).op(Code::GetVariable);
    a.push({"filters"}).op(Code::GetMember).push({cls}).op(Code::NewMethod);
    return a.op(Code::SetVariable);
}

// trace(object.member)
Asm& traceMember(Asm& a, const char* object, const char* member)
{
    return a.push({object})
        .op(Code::GetVariable)
        .push({member})
        .op(Code::GetMember)
        .op(Code::Trace);
}

// Pushes object.method(args...), object being a variable.
Asm& callMethod(Asm& a, const char* object, const char* method, const std::vector<Item>& args)
{
    pushArgs(a, args).push({object}).op(Code::GetVariable);
    return a.push({method}).op(Code::CallMethod);
}

TEST(Avm1System, SoundStateIsSharedWithoutTarget)
{
    Asm a;
    a.push({"s1", 0, "Sound"}).op(Code::NewObject).op(Code::SetVariable);
    a.push({"s2", 0, "Sound"}).op(Code::NewObject).op(Code::SetVariable);
    callMethod(a, "s1", "setVolume", {40}).op(Code::Pop);
    callMethod(a, "s2", "getVolume", {}).op(Code::Trace);
    callMethod(a, "s1", "setPan", {-25}).op(Code::Pop);
    callMethod(a, "s2", "getPan", {}).op(Code::Trace);
    // A mix that attenuates the left channel reads back as a pan to the right.
    a.push({"m", "ll", 10, "rr", 30, 2}).op(Code::InitObject).op(Code::SetVariable);
    a.push({"m"}).op(Code::GetVariable).push({1, "s1"}).op(Code::GetVariable);
    a.push({"setTransform"}).op(Code::CallMethod).op(Code::Pop);
    callMethod(a, "s1", "getPan", {}).op(Code::Trace);
    a.push({"t"});
    callMethod(a, "s2", "getTransform", {}).op(Code::SetVariable);
    for (const char* channel : {"ll", "lr", "rr", "rl"}) {
        traceMember(a, "t", channel);
    }
    EXPECT_EQ(test::run(8, std::move(a)), "40\n-25\n90\n10\n0\n30\n0\n");
}

TEST(Avm1System, FilterDefaultsClampingAndClone)
{
    Asm a;
    newFilter(a, "g", "GlowFilter", {});
    for (const char* field : {"color", "alpha", "blurX", "strength", "quality", "inner"}) {
        traceMember(a, "g", field);
    }
    newFilter(a, "b", "BlurFilter", {300, -4, 99});
    for (const char* field : {"blurX", "blurY", "quality"}) {
        traceMember(a, "b", field);
    }
    // A convolution's matrix holds exactly matrixX * matrixY values.
    newFilter(a, "c", "ConvolutionFilter", {2, 2, "x"});
    a.push({"c"}).op(Code::GetVariable).push({"matrix", 5, 4, 3, 2, 1, 5}).op(Code::InitArray);
    a.op(Code::SetMember);
    traceMember(a, "c", "matrix");
    traceMember(a, "c", "alpha");
    // Clones are independent; arrays read back as copies.
    a.push({"d"});
    callMethod(a, "b", "clone", {}).op(Code::SetVariable);
    a.push({"d"}).op(Code::GetVariable).push({"blurX", 1}).op(Code::SetMember);
    traceMember(a, "b", "blurX");
    traceMember(a, "d", "blurX");
    a.push({"b"}).op(Code::GetVariable).push({"blurX", "NaN"}).op(Code::SetMember);
    traceMember(a, "b", "blurX");
    newFilter(a, "v", "BevelFilter", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, "sideways"});
    traceMember(a, "v", "type");
    traceMember(a, "v", "highlightAlpha");
    EXPECT_EQ(test::run(8, std::move(a)), "16711680\n1\n6\n2\n1\nfalse\n"
                                          "255\n0\n15\n"
                                          "1,2,3,4\n0\n"
                                          "255\n1\n0\n"
                                          "inner\n1\n");
}

TEST(Avm1System, AsNativeTables)
{
    Asm a;
    // ASnative(100, 0)("&"): the returned function is called with no name.
    a.push({"&", 1}).push({0, 100, 2, "ASnative"}).op(Code::CallFunction);
    a.push({test::Undefined{}}).op(Code::CallMethod).op(Code::Trace);
    a.push({0, 0, 100, 3, "ASnative"}).op(Code::CallFunction).op(Code::TypeOf).op(Code::Trace);
    a.push({"x", 4.5, 100, 2, "ASnative"}).op(Code::CallFunction).op(Code::TypeOf).op(Code::Trace);
    a.push({99, 200, 2, "ASnative"}).op(Code::CallFunction).op(Code::TypeOf).op(Code::Trace);
    EXPECT_EQ(test::run(8, std::move(a)), "%26\nundefined\nfunction\nfunction\n");
}

TEST(Avm1System, SharedObjectPersistsBetweenRuns)
{
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("zf-so-" + std::to_string(getpid()));
    setenv("XDG_DATA_HOME", folder.c_str(), 1);

    Asm write;
    write.push({"so", "prefs", 1, "SharedObject"}).op(Code::GetVariable);
    write.push({"getLocal"}).op(Code::CallMethod).op(Code::SetVariable);
    write.push({"so"}).op(Code::GetVariable).push({"data"}).op(Code::GetMember);
    write.push({"list", true, 2.5, "a", 3}).op(Code::InitArray).op(Code::SetMember);
    callMethod(write, "so", "getSize", {}).op(Code::Trace);
    callMethod(write, "so", "flush", {}).op(Code::Trace);
    write.push({1, "bad name", 1, "SharedObject"}).op(Code::GetVariable);
    write.push({"getLocal"}).op(Code::CallMethod).op(Code::Trace);
    std::string written = test::run(8, std::move(write));

    Asm read;
    read.push({"so", "prefs", 1, "SharedObject"}).op(Code::GetVariable);
    read.push({"getLocal"}).op(Code::CallMethod).op(Code::SetVariable);
    read.push({"so"}).op(Code::GetVariable).push({"data"}).op(Code::GetMember);
    read.push({"list"}).op(Code::GetMember).op(Code::Trace);
    callMethod(read, "so", "clear", {}).op(Code::Pop);
    callMethod(read, "so", "getSize", {}).op(Code::Trace);
    std::string reread = test::run(8, std::move(read));

    fs::remove_all(folder);
    unsetenv("XDG_DATA_HOME");
    EXPECT_NE(written.substr(0, 2), "0\n");
    EXPECT_EQ(written.substr(written.find('\n') + 1), "true\nnull\n");
    EXPECT_EQ(reread, "a,2.5,true\n0\n");
}

TEST(Avm1System, DamagedSharedObjectFilesReadAsEmpty)
{
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("zf-so-bad-" + std::to_string(getpid()));
    fs::create_directories(folder / "zentiq" / "sharedobjects" / "localhost");
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    const char* damaged[] = {
        "{s3:key",                        // cut short
        "{s99999999999999999999:x}",      // length beyond the file
        "[s1:0d1;]",                      // an array where an object belongs
        "{s1:a{s1:b{s1:c{s1:d{s1:e}}}}}", // nesting, then garbage
    };
    std::string nested(200, '{');
    for (const char* text : damaged) {
        for (const std::string& content : {std::string(text), nested}) {
            std::ofstream(folder / "zentiq" / "sharedobjects" / "localhost" / "x.sol") << content;
            Asm a;
            a.push({"x", 1, "SharedObject"}).op(Code::GetVariable);
            a.push({"getLocal"}).op(Code::CallMethod).push({"data"}).op(Code::GetMember);
            a.op(Code::TypeOf).op(Code::Trace);
            EXPECT_EQ(test::run(8, std::move(a)), "object\n") << content;
        }
    }
    fs::remove_all(folder);
    unsetenv("XDG_DATA_HOME");
}

// Filters placed by the file and filters set by scripts meet in the
// display's form: angles in radians there, degrees for scripts; the bevel
// type is two flags; a hidden object is a filter without the source.
TEST(Avm1System, FilterDisplayConversion)
{
    swf::BevelFilter bevel;
    bevel.angle = 3.14159265358979 / 4;
    bevel.highlightColor = Rgba{0x12, 0x34, 0x56, 51};
    bevel.onTop = true;
    bevel.passes = 3;
    FilterData read = filterFromDisplay(bevel);
    EXPECT_EQ(read.type, FilterType::Bevel);
    EXPECT_NEAR(read.angle, 45, 1e-9);
    EXPECT_EQ(read.highlightColor, 0x123456);
    EXPECT_DOUBLE_EQ(read.highlightAlpha, 0.2);
    EXPECT_EQ(read.bevelType, "full");
    EXPECT_EQ(read.quality, 3);

    FilterData shadow;
    shadow.type = FilterType::DropShadow;
    shadow.hideObject = true;
    shadow.alpha = 0.5;
    shadow.color = 0xFF8000;
    auto written = filterToDisplay(shadow);
    ASSERT_TRUE(written && std::holds_alternative<swf::DropShadowFilter>(*written));
    const auto& drop = std::get<swf::DropShadowFilter>(*written);
    EXPECT_FALSE(drop.compositeSource);
    EXPECT_EQ(drop.color, (Rgba{0xFF, 0x80, 0x00, 128}));
    EXPECT_NEAR(filterFromDisplay(drop).angle, 45, 1e-9);

    FilterData map;
    map.type = FilterType::DisplacementMap;
    EXPECT_FALSE(filterToDisplay(map)); // nothing the display can draw
}

TEST(Avm1System, NetConnectionReportsLocalConnections)
{
    Asm handler;
    handler.push({"event"}).op(Code::GetVariable).push({"code"}).op(Code::GetMember);
    handler.op(Code::Trace);
    Asm a;
    a.push({"nc", 0, "NetConnection"}).op(Code::NewObject).op(Code::SetVariable);
    a.push({"nc"}).op(Code::GetVariable).push({"onStatus"});
    a.function("", {"event"}, std::move(handler)).op(Code::SetMember);
    callMethod(a, "nc", "close", {}).op(Code::Pop); // not connected: silent
    callMethod(a, "nc", "connect", {Null{}}).op(Code::Trace);
    traceMember(a, "nc", "isConnected");
    callMethod(a, "nc", "close", {}).op(Code::Pop);
    traceMember(a, "nc", "isConnected");
    EXPECT_EQ(test::run(8, std::move(a)), "NetConnection.Connect.Success\ntrue\ntrue\n"
                                          "NetConnection.Connect.Closed\nfalse\n");
}

TEST(Avm1System, StageDisplayStateAndScaleMode)
{
    Asm listener;
    listener.push({"full"}).op(Code::GetVariable).op(Code::Trace);
    Asm a;
    a.push({"l", 0}).op(Code::InitObject).op(Code::SetVariable);
    a.push({"l"}).op(Code::GetVariable).push({"onFullScreen"});
    a.function("", {"full"}, std::move(listener)).op(Code::SetMember);
    a.push({"l"}).op(Code::GetVariable).push({1, "Stage"}).op(Code::GetVariable);
    a.push({"addListener"}).op(Code::CallMethod).op(Code::Pop);
    for (const char* state : {"bogus", "FULLSCREEN", "fullScreen", "normal"}) {
        a.push({"Stage"}).op(Code::GetVariable).push({"displayState", state}).op(Code::SetMember);
        traceMember(a, "Stage", "displayState");
    }
    a.push({"Stage"}).op(Code::GetVariable).push({"scaleMode", "NOSCALE"}).op(Code::SetMember);
    traceMember(a, "Stage", "scaleMode");
    a.push({"Stage"}).op(Code::GetVariable).push({"align", "rxt"}).op(Code::SetMember);
    traceMember(a, "Stage", "align");
    EXPECT_EQ(test::run(8, std::move(a)), "normal\ntrue\nfullScreen\nfullScreen\nfalse\nnormal\n"
                                          "noScale\nTR\n");
}

} // namespace
} // namespace zf::avm1
