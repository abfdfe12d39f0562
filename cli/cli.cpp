#include "cli.h"

#include "image/image.h"
#include "player.h"
#include "swf/swf.h"

#include <chrono>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>

namespace zf::cli {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: zentiq-cli info   MOVIE.swf\n"
    "       zentiq-cli run    MOVIE.swf --frames N\n"
    "       zentiq-cli render MOVIE.swf --frames N -o OUT.png [--width W --height H]\n"
    "       zentiq-cli bench  MOVIE.swf --frames N [--width W --height H] [--threads T]\n";

struct Options {
    std::string command;
    std::string movie;
    int frames = 1;
    std::string output;
    std::optional<int> width;
    std::optional<int> height;
    int threads = 1;
};

std::optional<int> parseCount(const std::string& text, int min, int max)
{
    try {
        size_t used = 0;
        long long value = std::stoll(text, &used, 10);
        if (used != text.size() || value < min || value > max)
            return std::nullopt;
        return int(value);
    } catch (...) {
        return std::nullopt;
    }
}

// Parses the arguments; on failure returns the message to print.
Result<Options> parseOptions(const std::vector<std::string>& args)
{
    Options o;
    if (args.empty())
        return Error{"missing command"};
    o.command = args[0];
    if (o.command != "info" && o.command != "run" && o.command != "render" && o.command != "bench")
        return Error{"unknown command '" + o.command + "'"};
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* what) -> Result<std::string> {
            if (i + 1 >= args.size())
                return Error{std::string(what) + " needs a value"};
            return args[++i];
        };
        auto number = [&](const char* what, int min, int max) -> Result<int> {
            Result<std::string> v = value(what);
            if (!v)
                return v.error();
            std::optional<int> n = parseCount(*v, min, max);
            if (!n)
                return Error{std::string(what) + ": '" + *v + "' is not a number from " +
                             std::to_string(min) + " to " + std::to_string(max)};
            return *n;
        };
        if (a == "--frames") {
            Result<int> n = number("--frames", 0, 100'000'000);
            if (!n)
                return n.error();
            o.frames = *n;
        } else if (a == "--width" || a == "--height") {
            Result<int> n = number(a.c_str(), 1, 16384);
            if (!n)
                return n.error();
            (a == "--width" ? o.width : o.height) = *n;
        } else if (a == "--threads") {
            Result<int> n = number("--threads", 1, 64);
            if (!n)
                return n.error();
            o.threads = *n;
        } else if (a == "-o" || a == "--output") {
            Result<std::string> v = value("-o");
            if (!v)
                return v.error();
            o.output = *v;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Error{"unknown option '" + a + "'"};
        } else if (o.movie.empty()) {
            o.movie = a;
        } else {
            return Error{"unexpected argument '" + a + "'"};
        }
    }
    if (o.movie.empty())
        return Error{"missing movie file"};
    if (o.command == "render" && o.output.empty())
        return Error{"render needs -o OUT.png"};
    return o;
}

struct TagSummary {
    size_t tagCount = 0;
    size_t showFrames = 0;
    bool truncated = false;
};

// Counts the root timeline's tags and frames; nested sprite tags are not counted.
TagSummary summarizeTags(const swf::SwfFile& file)
{
    TagSummary summary;
    swf::TagStream stream(file.tagBytes());
    while (std::optional<swf::Tag> tag = stream.next()) {
        ++summary.tagCount;
        if (tag->type() == swf::TagCode::ShowFrame)
            ++summary.showFrames;
    }
    summary.truncated = stream.truncated();
    return summary;
}

std::string formatNumber(double v)
{
    std::ostringstream s;
    s << std::setprecision(10) << v;
    return s.str();
}

int commandInfo(const Options& o, std::ostream& out, std::ostream& err)
{
    Result<MovieHeader> header = probeMovie(o.movie);
    if (!header) {
        err << "zentiq-cli: " << o.movie << ": " << header.message() << "\n";
        return kExitError;
    }
    const MovieHeader& h = *header;
    out << "signature: " << h.signature << "\n"
        << "version: " << h.version << "\n"
        << "file-length: " << h.fileLength << "\n"
        << "width: " << formatNumber(h.width) << "\n"
        << "height: " << formatNumber(h.height) << "\n"
        << "frame-rate: " << formatNumber(h.frameRate) << "\n"
        << "frame-count: " << h.frameCount << "\n";

    // The rest needs the whole file; a damaged body still leaves the header facts.
    swf::Limits limits;
    Result<swf::SwfFile> file = swf::loadFile(o.movie, limits);
    int avm = h.avm;
    if (file) {
        TagSummary summary = summarizeTags(*file);
        if (file->avm2 || file->hasDoAbc)
            avm = 2;
        out << "avm: " << avm << "\n"
            << "compressed-size: " << h.fileSize << "\n"
            << "tags: " << summary.tagCount << "\n"
            << "real-frame-count: " << summary.showFrames << "\n";
        if (summary.truncated)
            out << "warning: the tag stream is cut short\n";
    } else {
        out << "avm: " << avm << "\n"
            << "compressed-size: " << h.fileSize << "\n"
            << "warning: " << file.message() << "\n";
    }
    return 0;
}

// Loads the movie into a Player with trace lines going to `out` and the
// player's warnings to `err`.
bool openPlayer(Player& player, const Options& o, std::ostream& out, std::ostream& err)
{
    player.onTrace = [&out](const std::string& line) { out << line << '\n'; };
    player.onWarning = [&err](const std::string& message) {
        err << "zentiq-cli: warning: " << message << "\n";
    };
    if (!player.setMovie(o.movie) || !player.load()) {
        err << "zentiq-cli: " << o.movie << ": " << player.lastError() << "\n";
        return false;
    }
    return true;
}

void runSteps(Player& player, int frames)
{
    for (int i = 0; i < frames; ++i) {
        if (!player.step())
            break;
        if (player.quitRequested())
            break;
    }
}

struct Size {
    int width;
    int height;
};

Size outputSize(const Options& o, const MovieHeader& h)
{
    auto stageSide = [](double pixels) { return std::clamp(int(std::lround(pixels)), 1, 16384); };
    return {o.width.value_or(stageSide(h.width)), o.height.value_or(stageSide(h.height))};
}

int commandRun(const Options& o, std::ostream& out, std::ostream& err)
{
    PlayerOptions options;
    options.renderThreads = 1;
    Player player(options);
    if (!openPlayer(player, o, out, err))
        return kExitError;
    runSteps(player, o.frames);
    return 0;
}

int commandRender(const Options& o, std::ostream& err)
{
    PlayerOptions options;
    options.renderThreads = o.threads;
    Player player(options);
    std::ostringstream traces; // render prints no trace lines
    if (!openPlayer(player, o, traces, err))
        return kExitError;
    runSteps(player, o.frames);

    Size size = outputSize(o, player.header());
    image::Image frame;
    frame.width = size.width;
    frame.height = size.height;
    frame.pixels.assign(size_t(size.width) * size.height * 4, 0);
    RenderTarget target{frame.pixels.data(), size.width, size.height, size.width * 4};
    if (!player.render(target)) {
        err << "zentiq-cli: " << o.movie << ": cannot render: " << player.lastError() << "\n";
        return kExitError;
    }
    Status written = image::writePng(o.output, frame, true);
    if (!written) {
        err << "zentiq-cli: " << o.output << ": " << written.message() << "\n";
        return kExitError;
    }
    return 0;
}

int commandBench(const Options& o, std::ostream& out, std::ostream& err)
{
    PlayerOptions options;
    options.renderThreads = o.threads;
    Player player(options);
    std::ostringstream traces;
    if (!openPlayer(player, o, traces, err))
        return kExitError;
    Size size = outputSize(o, player.header());
    std::vector<uint8_t> pixels(size_t(size.width) * size.height * 4);
    RenderTarget target{pixels.data(), size.width, size.height, size.width * 4};

    using Clock = std::chrono::steady_clock;
    Clock::duration stepping{}, rendering{};
    int rendered = 0;
    int64_t shapesDrawn = 0;
    for (int i = 0; i < o.frames; ++i) {
        auto t0 = Clock::now();
        if (!player.step() || player.quitRequested())
            break;
        auto t1 = Clock::now();
        player.render(target);
        auto t2 = Clock::now();
        stepping += t1 - t0;
        rendering += t2 - t1;
        shapesDrawn += player.lastRenderStats().shapesDrawn;
        ++rendered;
    }
    double total = std::chrono::duration<double>(stepping + rendering).count();
    double renderOnly = std::chrono::duration<double>(rendering).count();
    out << "size: " << size.width << "x" << size.height << "\n"
        << "threads: " << o.threads << "\n"
        << "frames: " << rendered << "\n"
        << "render-ms-per-frame: " << formatNumber(rendered ? renderOnly * 1000 / rendered : 0)
        << "\n"
        << "step-ms-per-frame: "
        << formatNumber(rendered ? std::chrono::duration<double>(stepping).count() * 1000 / rendered
                                 : 0)
        << "\n"
        << "shapes-per-frame: " << formatNumber(rendered ? double(shapesDrawn) / rendered : 0)
        << "\n"
        << "fps: " << formatNumber(total > 0 ? rendered / total : 0) << "\n";
    return 0;
}

} // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Result<Options> options = parseOptions(args);
    if (!options) {
        err << "zentiq-cli: " << options.message() << "\n" << kUsage;
        return kExitUsage;
    }
    const Options& o = *options;
    if (o.command == "info")
        return commandInfo(o, out, err);
    if (o.command == "run")
        return commandRun(o, out, err);
    if (o.command == "render")
        return commandRender(o, err);
    return commandBench(o, out, err);
}

} // namespace zf::cli
