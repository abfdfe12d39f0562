// zf-swf-scan FOLDER...: parses every tag (nested sprite tags and action
// blocks included) of every .swf below the folders and reports each tag that
// fails to parse or does not end exactly at its declared length.
#include "swf/swf.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kMaxSpriteDepth = 8;

struct Totals {
    size_t files = 0, loadErrors = 0, cleanFiles = 0, tags = 0, parsedTags = 0, badTags = 0;
    std::map<std::string, size_t> badByTag;
};

struct FileReport {
    std::vector<std::string> problems;
};

void scanTags(std::span<const uint8_t> bytes, int version, int depth, Totals& totals,
              FileReport& report)
{
    zf::swf::TagStream stream(bytes);
    while (auto tag = stream.next()) {
        ++totals.tags;
        zf::swf::TagCheck check = zf::swf::checkTag(*tag, version);
        if (check.parsed)
            ++totals.parsedTags;
        std::string name(zf::swf::tagName(tag->code));
        if (!check.exact()) {
            ++totals.badTags;
            ++totals.badByTag[name];
            report.problems.push_back(name + " (" + std::to_string(tag->code) + ") at " +
                                      std::to_string(tag->offset) + ", length " +
                                      std::to_string(tag->body.size()) + ": " + check.error);
        }
        if (tag->type() == zf::swf::TagCode::DefineSprite && depth < kMaxSpriteDepth) {
            if (auto sprite = zf::swf::readDefineSprite(*tag))
                scanTags(sprite->tags, version, depth + 1, totals, report);
        }
    }
    if (stream.truncated())
        report.problems.push_back("tag stream ends inside a tag at " +
                                  std::to_string(stream.position()));
}

void scanFile(const std::filesystem::path& path, bool verbose, Totals& totals)
{
    ++totals.files;
    auto file = zf::swf::loadFile(path.string());
    if (!file) {
        ++totals.loadErrors;
        std::printf("%s: load error: %s\n", path.c_str(), file.message().c_str());
        return;
    }
    FileReport report;
    scanTags(file->tagBytes(), file->header.version, 0, totals, report);
    if (report.problems.empty()) {
        ++totals.cleanFiles;
        if (verbose)
            std::printf("%s: ok\n", path.c_str());
        return;
    }
    std::printf("%s: %zu problem(s)\n", path.c_str(), report.problems.size());
    for (const std::string& problem : report.problems)
        std::printf("  %s\n", problem.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    bool verbose = false;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-v" || arg == "--verbose") {
            verbose = true;
            continue;
        }
        std::error_code error;
        if (std::filesystem::is_regular_file(arg, error)) {
            files.emplace_back(arg);
            continue;
        }
        for (auto it = std::filesystem::recursive_directory_iterator(arg, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
            if (it->is_regular_file() && ext == ".swf")
                files.push_back(it->path());
        }
        if (error)
            std::fprintf(stderr, "zf-swf-scan: %s: %s\n", arg.c_str(), error.message().c_str());
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: zf-swf-scan [-v] FOLDER|FILE...\n");
        return 2;
    }
    std::sort(files.begin(), files.end());
    Totals totals;
    for (const auto& path : files)
        scanFile(path, verbose, totals);
    std::printf("\nfiles: %zu, clean: %zu, with problems: %zu, load errors: %zu\n", totals.files,
                totals.cleanFiles, totals.files - totals.cleanFiles - totals.loadErrors,
                totals.loadErrors);
    std::printf("tags: %zu, parsed: %zu, not exact: %zu\n", totals.tags, totals.parsedTags,
                totals.badTags);
    for (const auto& [name, count] : totals.badByTag)
        std::printf("  %s: %zu\n", name.c_str(), count);
    return totals.badTags == 0 && totals.loadErrors == 0 ? 0 : 1;
}
