// The command-line contract: keys of `info`, the meaning of a step in `run`,
// quitting, PNG output of `render`, and clean failures.
#include "cli.h"

#include "image/image.h"
#include "swf_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zf::cli {
namespace {

using swf::ActionCode;
using test::Actions;
using test::Compression;
using test::SwfBuilder;

class CliTest : public ::testing::Test {
protected:
    std::filesystem::path m_dir;

    void SetUp() override
    {
        m_dir =
            std::filesystem::temp_directory_path() /
            ("zf-cli-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::filesystem::path path = m_dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.string();
    }

    struct Outcome {
        int status;
        std::string out;
        std::string err;
    };
    Outcome cli(const std::vector<std::string>& args)
    {
        std::ostringstream out, err;
        int status = runCli(args, out, err);
        return {status, out.str(), err.str()};
    }
};

// A movie of `frames` frames whose frame k traces "k"; extra actions per frame.
SwfBuilder tracingMovie(int frames, const std::map<int, Actions>& extra = {})
{
    SwfBuilder movie(8);
    for (int k = 1; k <= frames; ++k) {
        Actions a;
        a.trace(std::to_string(k));
        if (auto it = extra.find(k); it != extra.end())
            movie.doAction(a).doAction(it->second);
        else
            movie.doAction(a);
        movie.showFrame();
    }
    return movie;
}

TEST_F(CliTest, InfoReportsHeaderFactsForEveryContainer)
{
    for (Compression c : {Compression::None, Compression::Zlib, Compression::Lzma}) {
        SwfBuilder movie(c == Compression::Lzma ? 13 : 9, c);
        movie.frameRate(12.5).stageSize(320, 240).showFrame().showFrame();
        Outcome r = cli({"info", write("m.swf", movie.bytes())});
        ASSERT_EQ(r.status, 0) << r.err;
        const char* signature = c == Compression::None   ? "FWS"
                                : c == Compression::Zlib ? "CWS"
                                                         : "ZWS";
        EXPECT_NE(r.out.find(std::string("signature: ") + signature + "\n"), std::string::npos);
        for (const char* line : {"width: 320\n", "height: 240\n", "frame-rate: 12.5\n",
                                 "frame-count: 2\n", "avm: 1\n"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    }
}

TEST_F(CliTest, InfoReportsActionScript3Movies)
{
    SwfBuilder movie(10);
    movie.fileAttributes(0x08).showFrame();
    Outcome r = cli({"info", write("as3.swf", movie.bytes())});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("avm: 2\n"), std::string::npos) << r.out;
}

TEST_F(CliTest, RunExecutesExactlyTheRequestedSteps)
{
    std::string path = write("five.swf", tracingMovie(5).bytes());
    struct Case {
        int frames;
        const char* expected;
    } cases[] = {{1, "1\n"}, {3, "1\n2\n3\n"}, {7, "1\n2\n3\n4\n5\n1\n2\n"}, {0, ""}};
    for (const Case& c : cases) {
        Outcome r = cli({"run", path, "--frames", std::to_string(c.frames)});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.expected) << "--frames " << c.frames;
    }
}

TEST_F(CliTest, StopHoldsTheFrameAndQuitEndsTheRun)
{
    Actions stop;
    stop.op(ActionCode::Stop);
    Outcome stopped =
        cli({"run", write("stop.swf", tracingMovie(4, {{2, stop}}).bytes()), "--frames", "10"});
    EXPECT_EQ(stopped.out, "1\n2\n");

    Actions quit;
    quit.getUrl("FSCommand:quit", "");
    Outcome quitted =
        cli({"run", write("quit.swf", tracingMovie(4, {{3, quit}}).bytes()), "--frames", "10"});
    EXPECT_EQ(quitted.status, 0);
    EXPECT_EQ(quitted.out, "1\n2\n3\n");
}

TEST_F(CliTest, RenderWritesTheStageAtItsSize)
{
    test::ShapeBuilder square;
    uint32_t red = square.addFill(test::solidFill({255, 0, 0, 255}));
    square.rectangle(0, 0, 20 * 20, 20 * 20, red);
    SwfBuilder movie(8);
    movie.stageSize(64, 48).backgroundColor({0, 0, 255, 255}).defineShape(1, square);
    movie.place(1, 1, Matrix::translate(10 * 20, 10 * 20)).showFrame();
    std::string out = (m_dir / "frame.png").string();
    Outcome r = cli({"render", write("r.swf", movie.bytes()), "--frames", "1", "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    Result<image::Image> png = image::readPng(out);
    ASSERT_TRUE(png.ok()) << png.message();
    ASSERT_EQ(png->width, 64);
    ASSERT_EQ(png->height, 48);
    auto pixel = [&](int x, int y) {
        const uint8_t* p = &png->pixels[(size_t(y) * png->width + x) * 4];
        return Rgba{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(pixel(20, 20), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(2, 2), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(pixel(40, 40), (Rgba{0, 0, 255, 255}));
}

TEST_F(CliTest, BenchCountsFramesAndShapesAndEndsWithFps)
{
    test::ShapeBuilder square;
    square.rectangle(0, 0, 200, 200, square.addFill(test::solidFill({255, 0, 0, 255})));
    SwfBuilder movie(8);
    movie.stageSize(64, 48).defineShape(1, square);
    // Two squares on the stage and one far outside it, which is not drawn.
    movie.place(1, 1).place(1, 2, Matrix::translate(400, 400));
    movie.place(1, 3, Matrix::translate(20000, 0)).showFrame().showFrame().showFrame();
    Outcome r = cli({"bench", write("b.swf", movie.bytes()), "--frames", "3", "--width", "32",
                     "--height", "24"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("size: 32x24\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frames: 3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("shapes-per-frame: 2\n"), std::string::npos) << r.out;
    const size_t fps = r.out.rfind("\nfps: ");
    ASSERT_NE(fps, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\n', fps + 1), r.out.size() - 1) << "fps is the last line";
}

TEST_F(CliTest, DrawingWarnsOnceAboutABitmapItCannotDecode)
{
    test::ShapeBuilder square;
    square.rectangle(0, 0, 400, 400, square.addFill(test::bitmapFill(2, Matrix::scale(20, 20))));
    SwfBuilder movie(8);
    movie.stageSize(32, 32).defineBitsJpeg2(2, {0xFF, 0xD8, 0xFF, 0xD9}).defineShape(1, square);
    movie.place(1, 1).showFrame().showFrame().showFrame();
    const std::string path = write("w.swf", movie.bytes());
    const std::string png = (m_dir / "frame.png").string();
    // bench draws every frame, render only the last one.
    for (const auto& args : {std::vector<std::string>{"render", path, "--frames", "3", "-o", png},
                             std::vector<std::string>{"bench", path, "--frames", "3"}}) {
        Outcome r = cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string warning = "zentiq-cli: warning: bitmap 2 is not drawn: ";
        const size_t at = r.err.find(warning);
        ASSERT_NE(at, std::string::npos) << args[0] << ": " << r.err;
        EXPECT_EQ(r.err.find(warning, at + 1), std::string::npos) << "once: " << r.err;
    }
    EXPECT_TRUE(std::filesystem::exists(png)) << "the frame is still written";
}

TEST_F(CliTest, BadInputFailsWithAMessage)
{
    std::vector<uint8_t> truncated = SwfBuilder(6, Compression::Zlib).showFrame().bytes();
    truncated.resize(12);
    std::vector<uint8_t> hugeClaim = {'C', 'W', 'S', 6, 0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x9C};
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{}, 2},
        {{"play", "x.swf"}, 2},
        {{"run", "x.swf", "--frames", "many"}, 2},
        {{"render", "x.swf", "--frames", "1"}, 2},
        {{"info", (m_dir / "missing.swf").string()}, 1},
        {{"run", (m_dir / "missing.swf").string(), "--frames", "1"}, 1},
        {{"run", write("text.swf", {'h', 'e', 'l', 'l', 'o'}), "--frames", "1"}, 1},
        {{"info", write("empty.swf", {})}, 1},
        {{"run", write("huge.swf", hugeClaim), "--frames", "1"}, 1},
    };
    for (const Case& c : cases) {
        Outcome r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << testing::PrintToString(c.args);
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(r.out.empty());
    }
    // A compressed movie cut inside its header is refused, not misread.
    Outcome cut = cli({"info", write("cut.swf", truncated)});
    EXPECT_EQ(cut.status, 1);
    EXPECT_FALSE(cut.err.empty());
}

} // namespace
} // namespace zf::cli
