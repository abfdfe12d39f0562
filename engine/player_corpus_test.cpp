// Plays every movie of the shared real-world corpus for a few frames and
// draws it: nothing may crash, hang or trip the sanitizers. Skipped when the
// corpus is not on this machine. ZF_CORPUS overrides its location.
#include "player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace zf {
namespace {

std::filesystem::path corpusFolder()
{
    if (const char* folder = std::getenv("ZF_CORPUS"))
        return folder;
    // The shared folder lies beside the repository.
    return std::filesystem::path(ZF_SOURCE_DIR) / ".." / "shared" / "corpus" / "realworld";
}

TEST(PlayerCorpus, EveryMovieLoadsStepsAndRenders)
{
    std::error_code error;
    auto folder = corpusFolder();
    if (!std::filesystem::is_directory(folder, error))
        GTEST_SKIP() << "no corpus at " << folder;
    std::vector<std::filesystem::path> movies;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".swf")
            movies.push_back(entry.path());
    }
    std::sort(movies.begin(), movies.end());
    size_t loaded = 0;
    for (const auto& path : movies) {
        SCOPED_TRACE(path.string());
        Player player;
        player.onTrace = [](const std::string&) {};
        if (!player.setMovie(path.string()))
            continue;
        loaded += player.load() ? 1 : 0;
        for (int i = 0; i < 50 && player.step(); ++i) {
        }
        // Native size, bounded so a huge declared stage does not cost gigabytes.
        int width = std::clamp(int(player.header().width + 0.5), 1, 2048);
        int height = std::clamp(int(player.header().height + 0.5), 1, 2048);
        std::vector<uint8_t> pixels(size_t(width) * height * 4);
        RenderTarget target{pixels.data(), width, height, width * 4};
        player.render(target);
    }
    EXPECT_GT(loaded, 0u);
}

} // namespace
} // namespace zf
