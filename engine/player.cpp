// Player: the control's operations on top of the movie definition, the stage,
// the interpreter and the renderer.
#include "player.h"

#include "avm1/avm1.h"
#include "display/display.h"
#include "movie/movie.h"
#include "raster/raster.h"
#include "swf/swf.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>

namespace zf {

namespace {

// tick() catches up at most this many frames after a stall, then drops the
// rest of the backlog rather than running a burst of frames.
constexpr int kMaxCatchUpFrames = 5;
constexpr double kMaxZoom = 1 << 20;
// Movie files scripts may load, and how many parsed ones are kept.
constexpr uintmax_t kMaxLoadedFileBytes = 256u << 20;
constexpr size_t kMaxCachedFiles = 64;

MovieHeader toMovieHeader(const swf::SwfHeader& h)
{
    MovieHeader out;
    out.signature = h.signature;
    out.version = h.version;
    out.fileLength = h.fileLength;
    out.fileSize = h.fileSize;
    out.xMin = h.frameRect.xMin / kTwipsPerPixel;
    out.yMin = h.frameRect.yMin / kTwipsPerPixel;
    out.width = double(h.frameRect.width()) / kTwipsPerPixel;
    out.height = double(h.frameRect.height()) / kTwipsPerPixel;
    out.frameRate = h.frameRate;
    out.frameCount = h.frameCount;
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

struct Player::Impl {
    PlayerOptions options;
    std::string moviePath = kNoMovieSentinel;
    bool hasMovie = false;
    MovieHeader header;
    std::string lastError;

    std::shared_ptr<const movie::MovieDefinition> definition;
    std::unique_ptr<display::Stage> stage;
    // Declared after the stage: it unregisters from the stage when destroyed.
    std::unique_ptr<avm1::Interpreter> interpreter;
    bool loadFailed = false;
    bool quit = false;

    // Playhead wishes made before the movie was loaded.
    bool playing = true;
    int pendingFrame = 0; // 1-based; 0 = none

    double zoom = 1.0;
    std::optional<Rgba> backgroundOverride;
    double pendingMs = 0;

    Matrix lastStageToPixels;
    bool rendered = false;
    raster::Renderer renderer;

    Player* owner = nullptr;

    // How many of each movie's problems were reported through onWarning.
    std::map<const movie::MovieDefinition*, size_t> reportedBitmapProblems;
    bool reportedSkippedShapes = false;
    bool reportedDeepNesting = false;
    void reportRenderProblems();

    // Movies that scripts loaded (loadMovie, loadMovieNum, MovieClipLoader),
    // by path: a file loaded again is parsed once.
    std::map<std::string, std::shared_ptr<const movie::MovieDefinition>> loadedFiles;
    Result<std::shared_ptr<const movie::MovieDefinition>> loadFile(const std::string& path);

    void unload()
    {
        interpreter.reset();
        stage.reset();
        definition.reset();
        hasMovie = false;
        loadFailed = false;
        quit = false;
        header = {};
        playing = true;
        pendingFrame = 0;
        pendingMs = 0;
        rendered = false;
        loadedFiles.clear();
        reportedBitmapProblems.clear();
        reportedSkippedShapes = false;
        reportedDeepNesting = false;
    }

    bool ensureLoaded();
    bool ensureStarted();
    void attachScripts();
    void fsCommand(const std::string& command, const std::string& args);
};

void Player::Impl::fsCommand(const std::string& command, const std::string& args)
{
    if (equalsIgnoreCase(command, "quit"))
        quit = true;
    if (owner->onFSCommand)
        owner->onFSCommand(command, args);
}

void Player::Impl::attachScripts()
{
    avm1::Options scriptOptions;
    scriptOptions.swfVersion = definition->version();
    scriptOptions.maxActionsPerFrame = options.maxActionsPerFrame;
    scriptOptions.baseDirectory = std::filesystem::path(moviePath).parent_path().string();
    if (auto limits = definition->scriptLimits())
        scriptOptions.maxRecursion = std::max<int>(1, limits->maxRecursionDepth);
    scriptOptions.trace = [this](const std::string& line) {
        if (owner->onTrace)
            owner->onTrace(line);
    };
    scriptOptions.fscommand = [this](const std::string& command, const std::string& args) {
        fsCommand(command, args);
    };
    interpreter = avm1::createInterpreter(*stage, scriptOptions);
}

bool Player::Impl::ensureLoaded()
{
    if (!hasMovie)
        return false;
    if (stage)
        return true;
    if (loadFailed)
        return false;
    if (owner->onReadyStateChange)
        owner->onReadyStateChange(ReadyState::Loading);
    auto loaded = movie::MovieDefinition::load(moviePath);
    if (!loaded) {
        lastError = moviePath + ": " + loaded.message();
        loadFailed = true;
        return false;
    }
    definition = std::move(loaded).value();
    header = toMovieHeader(definition->header());
    header.avm = definition->avm2() ? 2 : 1;
    stage = std::make_unique<display::Stage>(definition);
    stage->setMovieLoader([this](const std::string& path) { return loadFile(path); });
    if (definition->avm2()) {
        // The stage exists so the background still shows.
        lastError = "ActionScript 3 movies are not supported";
    } else {
        attachScripts();
    }
    if (!playing)
        stage->root().stop();
    if (owner->onReadyStateChange) {
        owner->onReadyStateChange(ReadyState::Loaded);
        owner->onReadyStateChange(ReadyState::Interactive);
        owner->onReadyStateChange(ReadyState::Complete);
    }
    return true;
}

// Reads a movie for a script's load request: local files only, each path
// parsed once per run.
Result<std::shared_ptr<const movie::MovieDefinition>>
Player::Impl::loadFile(const std::string& path)
{
    if (auto it = loadedFiles.find(path); it != loadedFiles.end())
        return it->second;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return makeError(path + ": no such file");
    auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxLoadedFileBytes)
        return makeError(path + ": unreadable or too large");
    auto loaded = movie::MovieDefinition::load(path);
    if (!loaded)
        return makeError(path + ": " + loaded.message());
    if (loadedFiles.size() < kMaxCachedFiles)
        loadedFiles[path] = loaded.value();
    return loaded;
}

// Enters the first frame (and applies a goto asked for before loading).
bool Player::Impl::ensureStarted()
{
    if (!ensureLoaded())
        return false;
    if (!stage->started()) {
        stage->start();
        if (!playing)
            stage->root().stop();
        if (pendingFrame > 1) {
            stage->root().gotoFrame(pendingFrame, playing);
            stage->runActionQueue();
        }
        pendingFrame = 0;
    }
    return true;
}

Player::Player(PlayerOptions options) : m_impl(std::make_unique<Impl>())
{
    m_impl->options = options;
    m_impl->owner = this;
}

Player::~Player() = default;

bool Player::setMovie(const std::string& path)
{
    Impl& d = *m_impl;
    d.unload();
    d.moviePath = path;
    d.lastError.clear();
    if (path == kNoMovieSentinel)
        return true;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        d.lastError = path + ": no such file";
        return false;
    }
    auto probed = swf::probeFile(path);
    if (!probed) {
        d.lastError = path + ": " + probed.message();
        return false;
    }
    d.header = toMovieHeader(*probed);
    d.hasMovie = true;
    if (onReadyStateChange)
        onReadyStateChange(ReadyState::Loading);
    return true;
}

const std::string& Player::movie() const
{
    return m_impl->moviePath;
}
bool Player::hasMovie() const
{
    return m_impl->hasMovie;
}
const MovieHeader& Player::header() const
{
    return m_impl->header;
}
const std::string& Player::lastError() const
{
    return m_impl->lastError;
}

bool Player::load()
{
    if (!m_impl->ensureLoaded())
        return false;
    return !m_impl->definition->avm2();
}

int Player::totalFrames() const
{
    return m_impl->hasMovie ? m_impl->header.frameCount : 0;
}

int Player::frameNum() const
{
    const Impl& d = *m_impl;
    if (d.stage && d.stage->started())
        return std::max(0, d.stage->root().currentFrame() - 1);
    return std::max(0, d.pendingFrame - 1);
}

void Player::play()
{
    Impl& d = *m_impl;
    d.playing = true;
    if (d.stage)
        d.stage->root().play();
}

void Player::stop()
{
    Impl& d = *m_impl;
    d.playing = false;
    if (d.stage && d.stage->started()) {
        d.stage->root().gotoFrame(1, false);
        d.stage->runActionQueue();
    } else {
        d.pendingFrame = 0;
        if (d.stage)
            d.stage->root().stop();
    }
}

void Player::stopPlay()
{
    Impl& d = *m_impl;
    d.playing = false;
    if (d.stage)
        d.stage->root().stop();
}

bool Player::playing() const
{
    const Impl& d = *m_impl;
    if (!d.hasMovie)
        return false;
    if (d.stage && d.stage->started())
        return d.stage->root().playing();
    return d.playing;
}

void Player::setPlaying(bool playing)
{
    if (playing)
        play();
    else
        stopPlay();
}

Status Player::gotoFrame(int frame)
{
    Impl& d = *m_impl;
    if (!d.hasMovie)
        return makeError("no movie is loaded");
    if (frame < 0 || frame >= totalFrames())
        return makeError("frame " + std::to_string(frame) + " is out of range");
    if (!d.stage || !d.stage->started()) {
        d.pendingFrame = frame + 1;
        return Ok{};
    }
    auto& root = d.stage->root();
    root.gotoFrame(frame + 1, root.playing());
    d.stage->runActionQueue();
    return Ok{};
}

void Player::zoom(int factor)
{
    Impl& d = *m_impl;
    if (factor <= 0) {
        d.zoom = 1.0;
        return;
    }
    // A factor is the percentage of the current view to show: 50 halves it.
    d.zoom = std::clamp(d.zoom * 100.0 / factor, 1.0 / kMaxZoom, kMaxZoom);
}

double Player::zoomScale() const
{
    return m_impl->zoom;
}

void Player::setBackgroundColor(int32_t bbggrr)
{
    if (bbggrr < 0) {
        m_impl->backgroundOverride.reset();
        return;
    }
    m_impl->backgroundOverride = Rgba{uint8_t(bbggrr & 0xFF), uint8_t((bbggrr >> 8) & 0xFF),
                                      uint8_t((bbggrr >> 16) & 0xFF), 255};
}

void Player::setBGColor(const std::string& color)
{
    if (color.size() == 7 && color[0] == '#') {
        char* end = nullptr;
        long value = std::strtol(color.c_str() + 1, &end, 16);
        if (end && *end == '\0') {
            m_impl->backgroundOverride =
                Rgba{uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value), 255};
            return;
        }
    }
    m_impl->backgroundOverride.reset();
}

void Player::tick(double elapsedMs)
{
    Impl& d = *m_impl;
    if (!d.ensureStarted() || d.quit)
        return;
    double interval = frameIntervalMs();
    if (interval <= 0 || !std::isfinite(elapsedMs) || elapsedMs <= 0)
        return;
    d.pendingMs += elapsedMs;
    int frames = 0;
    while (d.pendingMs >= interval && frames < kMaxCatchUpFrames && !d.quit) {
        d.pendingMs -= interval;
        d.stage->advanceClock(interval);
        d.stage->tick();
        ++frames;
    }
    if (d.pendingMs >= interval)
        d.pendingMs = std::fmod(d.pendingMs, interval);
}

bool Player::step()
{
    Impl& d = *m_impl;
    if (d.quit || !d.hasMovie)
        return false;
    if (!d.stage || !d.stage->started()) {
        if (!d.ensureStarted())
            return false;
        return !d.quit;
    }
    double interval = frameIntervalMs();
    d.stage->advanceClock(interval > 0 ? interval : 0);
    d.stage->tick();
    return !d.quit;
}

double Player::frameIntervalMs() const
{
    double rate = m_impl->header.frameRate;
    return rate > 0 ? 1000.0 / rate : 0;
}

bool Player::quitRequested() const
{
    return m_impl->quit;
}

bool Player::render(RenderTarget& target)
{
    Impl& d = *m_impl;
    if (!target.pixels || target.width <= 0 || target.height <= 0 || !d.ensureStarted())
        return false;
    const auto& rect = d.definition->frameRect();
    double stageWidth = double(rect.width()) / kTwipsPerPixel;
    double stageHeight = double(rect.height()) / kTwipsPerPixel;
    double scale = 1.0;
    if (stageWidth > 0 && stageHeight > 0)
        scale = std::min(target.width / stageWidth, target.height / stageHeight);
    double offsetX = (target.width - stageWidth * scale) / 2;
    double offsetY = (target.height - stageHeight * scale) / 2;
    double centreX = target.width / 2.0, centreY = target.height / 2.0;
    // Stage twips -> fitted pixels -> zoomed about the centre of the view.
    Matrix fit = Matrix::translate(offsetX, offsetY) *
                 Matrix::scale(scale / kTwipsPerPixel, scale / kTwipsPerPixel) *
                 Matrix::translate(-rect.xMin, -rect.yMin);
    Matrix zoom = Matrix::translate(centreX, centreY) * Matrix::scale(d.zoom, d.zoom) *
                  Matrix::translate(-centreX, -centreY);
    Matrix stageToPixels = zoom * fit;

    raster::Surface surface{target.pixels, target.width, target.height, target.stride};
    raster::FrameOptions options;
    options.background = d.backgroundOverride.value_or(d.stage->backgroundColor());
    options.background.a = 255;
    options.threads = std::max(1, d.options.renderThreads);
    d.renderer.begin(surface, options);
    d.stage->render(d.renderer, stageToPixels);
    d.renderer.finish();
    d.lastStageToPixels = stageToPixels;
    d.rendered = true;
    d.reportRenderProblems();
    return true;
}

void Player::Impl::reportRenderProblems()
{
    if (!owner->onWarning)
        return;
    auto report = [this](const movie::MovieDefinition& movie, const std::string& prefix) {
        const std::vector<std::string> problems = movie.bitmapProblems();
        size_t& reported = reportedBitmapProblems[&movie];
        for (; reported < problems.size(); ++reported)
            owner->onWarning(prefix + problems[reported]);
    };
    report(*definition, "");
    for (const auto& [path, loaded] : loadedFiles)
        report(*loaded, path + ": ");
    if (stage->refusedDeepNesting() && !reportedDeepNesting) {
        reportedDeepNesting = true;
        owner->onWarning("some objects are not shown: they would nest more than 128 clips deep");
    }
    if (renderer.stats().shapesSkipped > 0 && !reportedSkippedShapes) {
        reportedSkippedShapes = true;
        owner->onWarning("some shapes are not drawn: their coordinates are out of range or they "
                         "exceed the size limits");
    }
}

Player::RenderStats Player::lastRenderStats() const
{
    const raster::FrameStats stats = m_impl->renderer.stats();
    return {int(stats.shapesDrawn), int(stats.shapesCulled)};
}

namespace {
Point toStage(const Matrix& stageToPixels, double x, double y)
{
    return stageToPixels.inverted().apply({x, y});
}
} // namespace

void Player::mouseMove(double x, double y)
{
    Impl& d = *m_impl;
    if (d.stage && d.rendered && d.stage->started())
        d.stage->mouseMove(toStage(d.lastStageToPixels, x, y));
}

void Player::mouseDown(MouseButton button, double x, double y)
{
    Impl& d = *m_impl;
    if (button == MouseButton::Left && d.stage && d.rendered && d.stage->started())
        d.stage->mouseDown(toStage(d.lastStageToPixels, x, y));
}

void Player::mouseUp(MouseButton button, double x, double y)
{
    Impl& d = *m_impl;
    if (button == MouseButton::Left && d.stage && d.rendered && d.stage->started())
        d.stage->mouseUp(toStage(d.lastStageToPixels, x, y));
}

void Player::keyDown(const KeyEvent& key)
{
    Impl& d = *m_impl;
    if (d.stage && d.stage->started())
        d.stage->keyDown({key.keyCode, key.charCode});
}

void Player::keyUp(const KeyEvent& key)
{
    Impl& d = *m_impl;
    if (d.stage && d.stage->started())
        d.stage->keyUp({key.keyCode, key.charCode});
}

Result<MovieHeader> probeMovie(const std::string& path)
{
    auto probed = swf::probeFile(path);
    if (!probed)
        return probed.error();
    return toMovieHeader(*probed);
}

} // namespace zf
