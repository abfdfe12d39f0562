// Movies loaded into clips and levels: content replacement, the request
// queue that loadMovie and friends fill, and the levels above _level0.
#include "display/display_p.h"

#include <algorithm>

namespace zf::display {

namespace {

// Levels above _level0 that may exist at once.
constexpr size_t kMaxLevels = 64;
// Movies loaded into clips of movies loaded into clips ... stop here, so a
// movie that loads itself into one of its own clips cannot nest forever.
constexpr int kMaxLoadNesting = 8;
// Distinct movies one stage may load in its lifetime (each stays in memory).
constexpr size_t kMaxLoadedMovies = 256;
// Requests one frame may queue; the rest are dropped.
constexpr size_t kMaxPendingLoads = 1024;
// Removal passes over children that unload handlers keep re-creating.
constexpr int kMaxClearPasses = 64;

const movie::Timeline& unloadedTimeline()
{
    static const movie::Timeline timeline;
    return timeline;
}

bool sameTarget(const LoadRequest& a, const LoadRequest& b)
{
    if (a.level >= 0 || b.level >= 0)
        return a.level == b.level;
    auto clipA = a.target.lock();
    return clipA && clipA == b.target.lock();
}

} // namespace

bool markSpriteInitialized(Stage& stage, const movie::MovieDefinition& movie, uint16_t spriteId)
{
    // Init actions run once per sprite of each movie: loaded movies number
    // their sprites independently of the main one.
    if (&movie == &stage.movie())
        return stage.m_impl->initializedSprites.insert(spriteId).second;
    return stage.m_impl->initializedLoadedSprites.insert({&movie, spriteId}).second;
}

// --- MovieClip ------------------------------------------------------------------

const movie::MovieDefinition& MovieClip::definition() const
{
    int steps = 0;
    for (const DisplayObject* object = this; object && steps < 4096;
         object = object->displayParent(), ++steps) {
        const MovieClip* clip = object->asMovieClip();
        if (clip && clip->m_loadedMovie)
            return *clip->m_loadedMovie;
    }
    return stage().movie();
}

int MovieClip::loadNesting() const
{
    int count = 0, steps = 0;
    for (const DisplayObject* object = this; object && steps < 4096;
         object = object->displayParent(), ++steps) {
        const MovieClip* clip = object->asMovieClip();
        if (clip && clip->m_loadedMovie)
            ++count;
    }
    return count;
}

void MovieClip::replaceContent(std::shared_ptr<const movie::MovieDefinition> movie)
{
    auto keepAlive = shared_from_this();
    // The old children leave as removed ones do: unload events, then off
    // the list. Handlers may add children back; give up on them after a
    // few passes and detach whatever is left without events.
    for (int pass = 0; pass < kMaxClearPasses && !m_children.empty() && !removed(); ++pass) {
        std::vector<int> depths;
        for (const auto& [depth, child] : m_children)
            depths.push_back(depth);
        for (int depth : depths)
            removeAtDepth(depth);
    }
    auto leftovers = std::move(m_children);
    m_children.clear();
    for (auto& [depth, child] : leftovers)
        stage().detach(*child);
    m_drawing.clear();
    m_loadedMovie = std::move(movie);
    m_timeline = m_loadedMovie ? &m_loadedMovie->timeline() : &unloadedTimeline();
    m_frame = 0;
    m_playing = true;
}

void MovieClip::startLoadedContent()
{
    Stage& stage = this->stage();
    // Clip events of the container hear the arrival: data as the file
    // came in, load as its first frame appears.
    stage.queueEvent(*this, ClipEvent::Data);
    stage.queueEvent(*this, ClipEvent::Load);
    if (!removed())
        enterFrame(1, true);
}

// --- Stage ----------------------------------------------------------------------

void Stage::setMovieLoader(MovieLoader loader)
{
    m_impl->movieLoader = std::move(loader);
}

MovieClip* Stage::level(int number) const
{
    if (number == 0)
        return m_root.get();
    auto it = m_impl->levels.find(number);
    return it == m_impl->levels.end() ? nullptr : it->second.get();
}

std::vector<MovieClip*> Stage::levels() const
{
    std::vector<MovieClip*> out{m_root.get()};
    for (const auto& [number, clip] : m_impl->levels)
        out.push_back(clip.get());
    return out;
}

void Stage::requestLoad(LoadRequest request)
{
    auto& pending = m_impl->loadRequests;
    // The last request for a target within one frame wins.
    auto same = std::find_if(pending.begin(), pending.end(),
                             [&](const LoadRequest& other) { return sameTarget(other, request); });
    if (same != pending.end()) {
        *same = std::move(request);
        return;
    }
    if (pending.size() >= kMaxPendingLoads) {
        if (m_runner)
            m_runner->warning("Warning: too many movies are being loaded at once; " + request.url +
                              " is ignored.");
        return;
    }
    pending.push_back(std::move(request));
}

void Stage::processLoads()
{
    if (m_impl->loadRequests.empty())
        return;
    std::vector<LoadRequest> requests = std::move(m_impl->loadRequests);
    m_impl->loadRequests.clear();

    auto warn = [&](const std::string& message) {
        if (m_runner)
            m_runner->warning(message);
    };
    auto fail = [&](LoadRequest& request, const std::string& message) {
        warn(message);
        if (request.onLoaded)
            request.onLoaded(nullptr, message, nullptr);
    };
    auto removeLevel = [&](int number) {
        auto it = m_impl->levels.find(number);
        if (it == m_impl->levels.end())
            return;
        std::shared_ptr<MovieClip> clip = it->second;
        dispatchUnload(*this, *clip);
        m_impl->levels.erase(number);
        detach(*clip);
    };

    for (LoadRequest& request : requests) {
        std::shared_ptr<MovieClip> target;
        if (request.level == 0)
            target = m_root;
        else if (request.level > 0)
            target =
                m_impl->levels.contains(request.level) ? m_impl->levels[request.level] : nullptr;
        else
            target = request.target.lock();
        if (request.level < 0 && (!target || target->removed())) {
            fail(request, "Warning: the target of " + request.url + " no longer exists.");
            continue;
        }

        if (request.path.empty()) {
            // Unloading: a level goes away, a clip (or _level0) is emptied.
            if (request.level > 0) {
                removeLevel(request.level);
            } else if (target) {
                if (request.onReset)
                    request.onReset(*target);
                target->replaceContent(nullptr);
            }
            continue;
        }

        if (!m_impl->movieLoader) {
            fail(request, "Error opening URL '" + request.url + "'");
            continue;
        }
        int parentNesting = target && target->parent() ? target->parent()->loadNesting() : 0;
        if (parentNesting >= kMaxLoadNesting) {
            fail(request, "Warning: movies are loaded " + std::to_string(kMaxLoadNesting) +
                              " deep; " + request.url + " is not loaded.");
            continue;
        }
        if (request.level > 0 && !target && m_impl->levels.size() >= kMaxLevels) {
            fail(request, "Warning: too many levels; " + request.url + " is not loaded.");
            continue;
        }
        auto loaded = m_impl->movieLoader(request.path);
        if (!loaded) {
            fail(request, "Error opening URL '" + request.url + "'");
            continue;
        }
        std::shared_ptr<const movie::MovieDefinition> movie = std::move(loaded).value();
        if (!movie || movie->avm2()) {
            fail(request, "Warning: " + request.url + " is not an ActionScript 1/2 movie.");
            continue;
        }
        auto& kept = m_impl->loadedMovies;
        if (std::find(kept.begin(), kept.end(), movie) == kept.end()) {
            if (kept.size() >= kMaxLoadedMovies) {
                fail(request,
                     "Warning: too many movies loaded; " + request.url + " is not loaded.");
                continue;
            }
            kept.push_back(movie);
        }

        if (request.level > 0 && !target) {
            target = std::make_shared<MovieClip>(*this, nullptr, true);
            target->m_depth = request.level;
            m_impl->levels[request.level] = target;
            registerClip(*this, target);
            target->replaceContent(movie);
            if (m_runner)
                m_runner->objectCreated(*target);
        } else {
            if (request.level == 0) {
                // A new _level0 replaces the whole movie.
                std::vector<int> numbers;
                for (const auto& [number, clip] : m_impl->levels)
                    numbers.push_back(number);
                for (int number : numbers)
                    removeLevel(number);
            }
            if (request.onReset)
                request.onReset(*target);
            target->replaceContent(movie);
        }
        if (request.onLoaded)
            request.onLoaded(target.get(), {}, movie.get());
        if (target->removed())
            continue;
        target->startLoadedContent();
        runActionQueue();
        if (request.onInit && !target->removed())
            request.onInit(*target);
    }
}

} // namespace zf::display
