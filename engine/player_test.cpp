#include "player.h"

#include "swf_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zf {
namespace {

using test::Actions;
using test::SwfBuilder;

// Writes movies into a folder of its own that is removed afterwards.
class MovieFiles {
public:
    MovieFiles()
    {
        m_folder = std::filesystem::temp_directory_path() /
                   ("zf-player-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
    }
    ~MovieFiles() { std::filesystem::remove_all(m_folder); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        auto path = m_folder / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.string();
    }

private:
    std::filesystem::path m_folder;
};

SwfBuilder framesMovie(int frames)
{
    SwfBuilder builder;
    for (int i = 0; i < frames; ++i)
        builder.showFrame();
    return builder;
}

// 100x50 stage, blue background, a red square from (10,10) to (30,30).
SwfBuilder redSquareMovie()
{
    SwfBuilder builder;
    builder.stageSize(100, 50);
    builder.backgroundColor({0, 0, 255, 255});
    test::ShapeBuilder shape;
    shape.rectangle(200, 200, 400, 400, shape.addFill(test::solidFill({255, 0, 0, 255})));
    builder.defineShape(1, shape);
    builder.place(1, 1).showFrame();
    return builder;
}

struct Image {
    int width, height;
    std::vector<uint8_t> pixels;
    Rgba at(int x, int y) const
    {
        const uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

Image render(Player& player, int width, int height)
{
    Image image{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
    RenderTarget target{image.pixels.data(), width, height, width * 4};
    EXPECT_TRUE(player.render(target));
    return image;
}

constexpr Rgba kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kGreen{0, 255, 0, 255};

TEST(Player, SetMovieReadsTheHeaderOnly)
{
    MovieFiles files;
    SwfBuilder builder = framesMovie(3);
    builder.frameCount(7); // the header's count is what the control reports
    std::string path = files.write("a.swf", builder.bytes());
    Player player;
    EXPECT_TRUE(player.setMovie(path));
    EXPECT_TRUE(player.hasMovie());
    EXPECT_EQ(player.movie(), path);
    EXPECT_EQ(player.totalFrames(), 7);
    EXPECT_EQ(player.frameNum(), 0);
    EXPECT_EQ(player.header().signature, "FWS");
    EXPECT_DOUBLE_EQ(player.header().width, 550);
}

TEST(Player, SentinelMissingAndBrokenFiles)
{
    MovieFiles files;
    std::string garbage = files.write("garbage.swf", {'n', 'o', 't', ' ', 'a', ' ', 's', 'w', 'f'});
    auto good = SwfBuilder().showFrame().bytes();
    good.resize(good.size() - 3); // cut inside the last tag
    std::string truncated = files.write("truncated.swf", good);
    struct Case {
        std::string path;
        bool accepted;
        bool hasMovie;
    };
    const Case cases[] = {
        {kNoMovieSentinel, true, false},
        {"/nonexistent/folder/movie.swf", false, false},
        {garbage, false, false},
        {truncated, true, true},
    };
    for (const auto& c : cases) {
        Player player;
        EXPECT_EQ(player.setMovie(c.path), c.accepted) << c.path;
        EXPECT_EQ(player.hasMovie(), c.hasMovie) << c.path;
        EXPECT_EQ(player.movie(), c.path);
        EXPECT_EQ(player.lastError().empty(), c.accepted) << c.path;
        if (!c.hasMovie) {
            EXPECT_EQ(player.totalFrames(), 0);
            EXPECT_FALSE(player.step());
            EXPECT_FALSE(player.gotoFrame(0).ok());
        } else {
            for (int i = 0; i < 5; ++i)
                player.step();
        }
    }
}

TEST(Player, PlayheadOperationsCountFromZero)
{
    MovieFiles files;
    Player player;
    ASSERT_TRUE(player.setMovie(files.write("five.swf", framesMovie(5).bytes())));
    EXPECT_TRUE(player.playing());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(player.step());
    EXPECT_EQ(player.frameNum(), 2);
    player.stopPlay();
    EXPECT_FALSE(player.playing());
    player.step();
    EXPECT_EQ(player.frameNum(), 2) << "paused";
    EXPECT_TRUE(player.gotoFrame(4).ok());
    EXPECT_EQ(player.currentFrame(), 4);
    EXPECT_FALSE(player.gotoFrame(5).ok());
    EXPECT_FALSE(player.gotoFrame(-1).ok());
    player.stop();
    EXPECT_EQ(player.frameNum(), 0);
    EXPECT_FALSE(player.playing());
    player.setPlaying(true);
    player.step();
    EXPECT_EQ(player.frameNum(), 1);
}

TEST(Player, StopBeforeLoadingKeepsTheProbeCheap)
{
    MovieFiles files;
    Player player;
    ASSERT_TRUE(player.setMovie(files.write("probe.swf", framesMovie(4).bytes())));
    player.stop();
    EXPECT_EQ(player.totalFrames(), 4);
    EXPECT_FALSE(player.playing());
    EXPECT_TRUE(player.gotoFrame(2).ok());
    player.step();
    EXPECT_EQ(player.frameNum(), 2) << "a goto before loading applies on the first step";
}

TEST(Player, TickAdvancesByTheFrameRate)
{
    MovieFiles files;
    Player player;
    SwfBuilder builder = framesMovie(10);
    builder.frameRate(10);
    ASSERT_TRUE(player.setMovie(files.write("ten.swf", builder.bytes())));
    player.tick(0); // enters frame 1
    player.tick(250);
    EXPECT_EQ(player.frameNum(), 2);
    player.tick(10'000); // a stall does not run the whole backlog
    EXPECT_LT(player.frameNum(), 9);
}

TEST(Player, ZoomSteps)
{
    Player player;
    player.zoom(50);
    EXPECT_DOUBLE_EQ(player.zoomScale(), 2);
    player.zoom(50);
    EXPECT_DOUBLE_EQ(player.zoomScale(), 4);
    player.zoom(0);
    EXPECT_DOUBLE_EQ(player.zoomScale(), 1);
}

TEST(Player, RenderShowsTheWholeStage)
{
    MovieFiles files;
    Player player;
    ASSERT_TRUE(player.setMovie(files.write("red.swf", redSquareMovie().bytes())));

    Image native = render(player, 100, 50);
    EXPECT_EQ(native.at(20, 20), kRed);
    EXPECT_EQ(native.at(50, 40), kBlue);
    EXPECT_EQ(native.at(9, 20), kBlue);

    Image wide = render(player, 200, 50); // letterboxed left and right
    EXPECT_EQ(wide.at(70, 20), kRed);
    EXPECT_EQ(wide.at(20, 20), kBlue);

    Image doubled = render(player, 200, 100);
    EXPECT_EQ(doubled.at(40, 40), kRed);
    EXPECT_EQ(doubled.at(62, 40), kBlue);

    player.setBackgroundColor(0x00FF00); // $00BBGGRR: green
    EXPECT_EQ(render(player, 100, 50).at(50, 40), kGreen);
    player.setBackgroundColor(-1);
    EXPECT_EQ(render(player, 100, 50).at(50, 40), kBlue);

    player.zoom(50); // 2x about the centre (50, 25)
    Image zoomed = render(player, 100, 50);
    EXPECT_EQ(zoomed.at(5, 5), kRed);    // stage (27.5, 15)
    EXPECT_EQ(zoomed.at(30, 30), kBlue); // stage (40, 27.5)
}

TEST(Player, ScriptsReachTraceAndFsCommand)
{
    MovieFiles files;
    SwfBuilder builder;
    builder.doAction(Actions().trace("hello").getUrl("FSCommand:quit", "now")).showFrame();
    builder.showFrame();
    Player player;
    std::vector<std::string> lines, commands;
    player.onTrace = [&](const std::string& line) { lines.push_back(line); };
    player.onFSCommand = [&](const std::string& command, const std::string& args) {
        commands.push_back(command + "|" + args);
    };
    ASSERT_TRUE(player.setMovie(files.write("quit.swf", builder.bytes())));
    EXPECT_FALSE(player.step());
    EXPECT_TRUE(player.quitRequested());
    EXPECT_EQ(lines, std::vector<std::string>{"hello"});
    EXPECT_EQ(commands, std::vector<std::string>{"quit|now"});
}

TEST(Player, ReadyStatesAndActionScript3Refusal)
{
    MovieFiles files;
    SwfBuilder builder;
    builder.fileAttributes(swf::FileAttribute::ActionScript3).showFrame();
    Player player;
    std::vector<ReadyState> states;
    player.onReadyStateChange = [&](ReadyState state) { states.push_back(state); };
    ASSERT_TRUE(player.setMovie(files.write("as3.swf", builder.bytes())));
    EXPECT_FALSE(player.load());
    EXPECT_EQ(player.lastError(), "ActionScript 3 movies are not supported");
    EXPECT_EQ(player.header().avm, 2);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), ReadyState::Loading);
    EXPECT_EQ(states.back(), ReadyState::Complete);
}

} // namespace
} // namespace zf

namespace zf {
namespace {

// A movie that loads level.swf into _level1 (by a relative path) and a clip
// full of garbage bytes, by an absolute file:// URL, into _level2.
TEST(PlayerLoading, LevelsComeFromFilesNextToTheMovieAndBadFilesOnlyWarn)
{
    MovieFiles files;
    SwfBuilder level;
    level.stageSize(100, 50);
    test::ShapeBuilder square; // id 1 again: the level has its own dictionary
    square.rectangle(200, 200, 400, 400, square.addFill(test::solidFill(kGreen)));
    level.defineShape(1, square).place(1, 1);
    level.doAction(
        Actions().push({"_root"}).op(swf::ActionCode::GetVariable).op(swf::ActionCode::Trace));
    level.showFrame();
    files.write("level.swf", level.bytes());
    std::string garbage = files.write("garbage.swf", {'F', 'W', 'S', 1, 2, 3});

    SwfBuilder main = redSquareMovie();
    main.doAction(Actions().getUrl("level.swf", "_level1").getUrl("file://" + garbage, "_level2"));
    main.showFrame();
    std::string path = files.write("main.swf", main.bytes());

    Player player;
    std::string traced;
    player.onTrace = [&](const std::string& line) { traced += line + "\n"; };
    ASSERT_TRUE(player.setMovie(path));
    ASSERT_TRUE(player.step());
    ASSERT_TRUE(player.step());
    EXPECT_NE(traced.find("_level1\n"), std::string::npos) << traced;
    EXPECT_NE(traced.find("Error opening URL 'file://" + garbage + "'"), std::string::npos)
        << traced;
    Image image = render(player, 100, 50);
    EXPECT_EQ(image.at(20, 20), kGreen);
    EXPECT_EQ(image.at(50, 40), kBlue);
}

} // namespace
} // namespace zf
