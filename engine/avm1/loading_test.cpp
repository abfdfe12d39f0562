// Movies and variables loaded from files: content replacement of clips,
// levels, MovieClipLoader events, failures and self-loading movies.
#include "test_stage_p.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

namespace zf::avm1 {
namespace {

using swf::ActionCode;
using zf::test::Actions;
using zf::test::SwfBuilder;

// Loaded movies come from memory: the stage's loader serves these paths
// (relative to kFolder) and fails for any other.
constexpr const char* kFolder = "/movies";

struct LoadingPlayer : test::StagePlayer {
    LoadingPlayer(const SwfBuilder& main, std::map<std::string, const SwfBuilder*> files,
                  std::string folder = kFolder)
        : StagePlayer(main, [this, folder](display::Stage& stage, Options& options) {
              stage.setMovieLoader([this](const std::string& path)
                                       -> Result<std::shared_ptr<const movie::MovieDefinition>> {
                  ++loads;
                  auto it = movies.find(path);
                  if (it == movies.end())
                      return makeError(path + ": no such file");
                  return it->second;
              });
              options.baseDirectory = folder;
          })
    {
        for (const auto& [name, builder] : files) {
            auto loaded = movie::MovieDefinition::fromBytes(builder->bytes());
            EXPECT_TRUE(loaded.ok());
            movies[folder + "/" + name] = loaded.value();
        }
    }
    std::map<std::string, std::shared_ptr<const movie::MovieDefinition>> movies;
    int loads = 0;
};

// push args..., count, object; CallMethod, result dropped.
Actions& callMethod(Actions& a, const std::string& object, const std::string& method,
                    std::initializer_list<zf::test::PushArg> args)
{
    for (auto it = std::rbegin(args); it != std::rend(args); ++it)
        a.push({*it});
    a.push({int(args.size()), object}).op(ActionCode::GetVariable);
    return a.push({method}).op(ActionCode::CallMethod).op(ActionCode::Pop);
}

Actions& setVariable(Actions& a, const std::string& name, zf::test::PushArg value)
{
    return a.push({name, value}).op(ActionCode::SetVariable);
}

using test::placement;
using test::traceVariable;

// A movie whose frame 1 traces `this`, a variable and `_root`, sets `mark`,
// and whose sprite 1 (an id the main movie also uses) is placed as "inner".
SwfBuilder childMovie()
{
    SwfBuilder inner;
    inner.showFrame();
    SwfBuilder child(8);
    child.defineSprite(1, inner).placeObject(placement(1, 1, "inner"));
    Actions a;
    a.push({"child"}).push({"this"}).op(ActionCode::GetVariable).op(ActionCode::Add2);
    a.op(ActionCode::Trace);
    traceVariable(a, "old");
    traceVariable(a, "_root");
    setVariable(a, "mark", "set by child");
    child.doAction(a).showFrame().showFrame();
    return child;
}

TEST(LoadMovie, ReplacesTheClipsContentAfterTheFrameKeepingItsPlace)
{
    SwfBuilder other; // main's sprite 1: a clip named "mainInner"
    other.showFrame();
    SwfBuilder main(8);
    main.defineSprite(1, other);
    Actions a;
    callMethod(a, "_root", "createEmptyMovieClip", {"holder", 5});
    setVariable(a, "holder.old", "kept until the load");
    setVariable(a, "holder._x", 40);
    callMethod(a, "holder", "loadMovie", {"child.swf"});
    traceVariable(a, "holder.old");
    main.doAction(a).showFrame();
    Actions b;
    traceVariable(b, "holder.old");
    traceVariable(b, "holder.mark");
    traceVariable(b, "holder._x");
    traceVariable(b, "holder._name");
    traceVariable(b, "holder.inner");
    main.doAction(b).showFrame();
    main.doAction(Actions().op(ActionCode::Stop)).showFrame();
    SwfBuilder child = childMovie();

    LoadingPlayer player(main, {{"child.swf", &child}});
    EXPECT_EQ(player.run(1), "kept until the load\n"
                             "child_level0.holder\nundefined\n_level0\n");
    EXPECT_EQ(player.run(1), "undefined\nset by child\n40\nholder\n_level0.holder.inner\n");
    EXPECT_EQ(
        player.stage->root().childAt(5 + display::kScriptDepthOffset)->asMovieClip()->totalFrames(),
        2);
}

TEST(LoadMovie, LevelsGetURLTargetsAndUnloading)
{
    SwfBuilder main(8);
    Actions a;
    a.getUrl("child.swf", "_level3"); // loadMovieNum
    main.doAction(a).showFrame();
    Actions b;
    traceVariable(b, "_level3.mark");
    traceVariable(b, "_level3");
    b.getUrl("", "_level3"); // unloadMovieNum
    main.doAction(b).showFrame();
    Actions c;
    traceVariable(c, "_level3");
    c.op(ActionCode::Stop);
    main.doAction(c).showFrame();
    SwfBuilder child = childMovie();

    LoadingPlayer player(main, {{"child.swf", &child}});
    // Inside the level, `_root` is the level's root.
    EXPECT_EQ(player.run(1), "child_level3\nundefined\n_level3\n");
    EXPECT_EQ(player.run(1), "set by child\n_level3\n");
    EXPECT_EQ(player.run(1), "undefined\n");
    EXPECT_EQ(player.stage->levels().size(), 1u);
}

TEST(LoadMovie, GetURL2FlagsLoadIntoClipsAndLevelZeroReplacesTheMovie)
{
    SwfBuilder main(8);
    Actions a;
    callMethod(a, "_root", "createEmptyMovieClip", {"holder", 5});
    a.push({"child.swf", "holder"}).getUrl2(0x40); // loadMovie(url, target)
    main.doAction(a).showFrame();
    Actions b;
    traceVariable(b, "holder.mark");
    b.push({"", "holder"}).getUrl2(0x40); // unloadMovie(target)
    main.doAction(b).showFrame();
    Actions c;
    traceVariable(c, "holder.inner");
    traceVariable(c, "holder._name");
    c.getUrl("child.swf", "_level0");
    main.doAction(c).showFrame().showFrame();
    SwfBuilder child = childMovie();

    LoadingPlayer player(main, {{"child.swf", &child}});
    EXPECT_EQ(player.run(2), "child_level0.holder\nundefined\n_level0\nset by child\n");
    EXPECT_EQ(player.run(1), "undefined\nholder\nchild_level0\nundefined\n_level0\n");
    EXPECT_EQ(player.stage->root().totalFrames(), 2);
    EXPECT_EQ(player.stage->root().childAt(5 + display::kScriptDepthOffset), nullptr);
}

TEST(LoadMovie, MissingFilesAndOtherSchemesLeaveTheClipAlone)
{
    SwfBuilder main(8);
    Actions a;
    callMethod(a, "_root", "createEmptyMovieClip", {"holder", 5});
    setVariable(a, "holder.old", "still here");
    callMethod(a, "holder", "loadMovie", {"missing.swf"});
    a.push({"http://example.com/x.swf", "_level1"}).getUrl2(0);
    main.doAction(a).showFrame();
    Actions b;
    traceVariable(b, "holder.old");
    traceVariable(b, "_level1");
    b.op(ActionCode::Stop);
    main.doAction(b).showFrame();

    LoadingPlayer player(main, {});
    std::string out = player.run(2);
    EXPECT_NE(out.find("http://example.com/x.swf is not a local file"), std::string::npos) << out;
    EXPECT_NE(out.find("Error opening URL 'missing.swf'"), std::string::npos) << out;
    EXPECT_NE(out.find("still here\nundefined\n"), std::string::npos) << out;
}

TEST(LoadMovie, SelfLoadingMoviesStopAtTheNestingLimit)
{
    // Every frame 1 makes a clip and loads the movie itself into it, again
    // each frame: the loads nest only so deep and happen once per frame.
    SwfBuilder self(8);
    Actions a;
    callMethod(a, "this", "createEmptyMovieClip", {"again", 1});
    callMethod(a, "again", "loadMovie", {"self.swf"});
    callMethod(a, "again", "loadMovie", {"self.swf"});
    a.push({"n", "n"}).op(ActionCode::GetVariable).op(ActionCode::Increment);
    a.op(ActionCode::SetVariable);
    self.doAction(a).showFrame();

    LoadingPlayer player(self, {{"self.swf", &self}});
    std::string out = player.run(30);
    EXPECT_NE(out.find("movies are loaded 8 deep"), std::string::npos) << out;
    int deepest = 0;
    for (const display::DisplayObject* clip = &player.stage->root(); clip;) {
        const auto* movieClip = clip->asMovieClip();
        clip = movieClip ? movieClip->childAt(1 + display::kScriptDepthOffset) : nullptr;
        deepest += clip ? 1 : 0;
    }
    EXPECT_LE(deepest, 9);
    EXPECT_LE(player.loads, 30 * 9);
}

TEST(MovieClipLoader, ListenersHearTheLoadInOrderAndErrorsForMissingFiles)
{
    SwfBuilder main(8);
    Actions a;
    callMethod(a, "_root", "createEmptyMovieClip", {"holder", 5});
    a.push({"loader", 0, "MovieClipLoader"}).op(ActionCode::NewObject).op(ActionCode::SetVariable);
    // A listener whose handlers trace their name and arguments.
    a.push({"listener"}).push({0}).op(ActionCode::InitObject).op(ActionCode::SetVariable);
    for (const char* name :
         {"onLoadStart", "onLoadProgress", "onLoadComplete", "onLoadInit", "onLoadError"}) {
        Actions body;
        body.push({name}).push({" "}).op(ActionCode::Add2);
        body.push({"arguments"}).op(ActionCode::GetVariable).op(ActionCode::Add2);
        body.op(ActionCode::Trace);
        a.push({"listener"}).op(ActionCode::GetVariable).push({name});
        a.defineFunction("", {}, body).op(ActionCode::SetMember);
    }
    a.push({"listener"}).op(ActionCode::GetVariable).push({1, "loader"});
    a.op(ActionCode::GetVariable).push({"addListener"}).op(ActionCode::CallMethod);
    a.op(ActionCode::Pop);
    a.push({"holder"}).op(ActionCode::GetVariable).push({"child.swf", 2, "loader"});
    a.op(ActionCode::GetVariable)
        .push({"loadClip"})
        .op(ActionCode::CallMethod)
        .op(ActionCode::Trace);
    a.push({5, "nothing.swf", 2, "loader"}).op(ActionCode::GetVariable);
    a.push({"loadClip"}).op(ActionCode::CallMethod).op(ActionCode::Pop);
    main.doAction(a).showFrame();
    main.doAction(Actions().op(ActionCode::Stop)).showFrame();
    SwfBuilder child = childMovie();

    LoadingPlayer player(main, {{"child.swf", &child}});
    std::string out = player.run(2);
    EXPECT_NE(out.find("true\n"
                       "onLoadStart _level0.holder\n"
                       "onLoadProgress _level0.holder," +
                       std::to_string(child.bytes().size()) + "," +
                       std::to_string(child.bytes().size()) +
                       "\n"
                       "onLoadComplete _level0.holder,0\n"
                       "child_level0.holder\nundefined\n_level0\n"
                       "onLoadInit _level0.holder\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("onLoadError 5,URLNotFound\n"), std::string::npos) << out;
}

TEST(LoadVariables, FileVariablesArriveAfterTheFrameThenTheDataEvent)
{
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("zf_loading_test_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "vars.txt") << "a=1&b=two%20words&c";

    SwfBuilder holder;
    holder.showFrame();
    SwfBuilder main(8);
    main.defineSprite(2, holder);
    swf::PlaceObject place = placement(1, 2, "holder");
    place.clipActions.emplace();
    place.clipActions->allEvents = uint32_t(display::ClipEvent::Data);
    static const zf::test::Bytes dataHandler = Actions().trace("data event").bytes();
    place.clipActions->records.push_back({uint32_t(display::ClipEvent::Data), 0, dataHandler});
    main.placeObject(place);
    Actions a;
    callMethod(a, "holder", "loadVariables", {"vars.txt"});
    a.push({"vars.txt", "_level0"}).getUrl2(0x80); // loadVariablesNum
    traceVariable(a, "holder.a");
    main.doAction(a).showFrame();
    Actions b;
    traceVariable(b, "holder.a");
    traceVariable(b, "holder.b");
    traceVariable(b, "_root.b");
    b.op(ActionCode::Stop);
    main.doAction(b).showFrame();

    LoadingPlayer player(main, {}, folder.string());
    EXPECT_EQ(player.run(2), "undefined\ndata event\n1\ntwo words\ntwo words\n");
    fs::remove_all(folder);
}

} // namespace
} // namespace zf::avm1
