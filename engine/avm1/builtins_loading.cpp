// Loading movies and variables from local files: MovieClip.loadMovie,
// loadVariables and unloadMovie, the load forms of the GetURL actions
// (loadMovieNum, unloadMovieNum, loadVariablesNum), levels as scripts see
// them, and the requests MovieClipLoader makes.
#include "builtins_loading_p.h"
#include "xml_p.h"

#include <charconv>

namespace zf::avm1 {

namespace {

// GetURL2 flag bits as authoring tools write them.
constexpr int kLoadVariablesFlag = 0x80;
constexpr int kLoadTargetFlag = 0x40;

StageRunner& runnerOf(Vm& vm)
{
    return static_cast<StageRunner&>(vm.binding());
}

// The level a "_levelN" target names (any case), or -1.
int levelOf(std::string_view target)
{
    if (target.size() <= 6 || target.size() > 14 || foldCase(target.substr(0, 6)) != "_level") {
        return -1;
    }
    int number = -1;
    auto [end, error] = std::from_chars(target.data() + 6, target.data() + target.size(), number);
    return error == std::errc() && end == target.data() + target.size() ? number : -1;
}

// The variables of a file decoded onto the clip, then its data event. Runs
// from the timer queue after the frame that asked for them.
Value deliverVariables(Vm& vm, Object*, std::span<const Value> args, const Value& target)
{
    auto* clipObject = static_cast<ClipObject*>(target.object());
    display::DisplayObject* object = clipObject ? clipObject->display() : nullptr;
    if (!object) {
        return {};
    }
    if (!arg(args, 0).isUndefined()) {
        // LoadVars.prototype.decode does the URL decoding for any object.
        Object* loadVars = vm.get(vm.global(), "LoadVars").object();
        Object* proto = loadVars ? vm.get(loadVars, vm.names().prototype).object() : nullptr;
        if (Value decode = proto ? vm.get(proto, "decode") : Value(); decode.object()) {
            vm.call(decode, clipObject, args.first(1));
        }
    }
    runnerOf(vm).stage().dispatchEvent(*object, display::ClipEvent::Data);
    return {};
}

void loadVariablesInto(Vm& vm, display::MovieClip& clip, const std::string& url)
{
    std::string text;
    if (!readLocalFile(vm, url, text)) {
        vm.warning("Error opening URL '" + url + "'");
        return;
    }
    ClipObject* object = runnerOf(vm).objectFor(clip);
    Vm::Timer timer{};
    timer.due = vm.now();
    timer.function = Value(vm.newNative(deliverVariables, Value(static_cast<Object*>(object))));
    timer.args.push_back(Value(Str(std::move(text))));
    vm.addTimer(std::move(timer));
}

// The clip or level a loadMovie-style target names, relative to the code
// running now.
display::MovieClip* clipNamed(Vm& vm, const std::string& target)
{
    Context* context = vm.context();
    Object* found = context ? vm.resolvePath(*context, target, vm.liveTarget(*context)) : nullptr;
    display::DisplayObject* object = runnerOf(vm).displayOf(found);
    return object ? object->asMovieClip() : nullptr;
}

Value mcLoadMovie(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object =
        runnerOf(vm).displayOf(self ? vm.binding().forward(self) : nullptr);
    if (display::MovieClip* clip = object ? object->asMovieClip() : nullptr;
        clip && !arg(args, 0).isUndefined()) {
        requestMovieLoad(vm, LoadTarget{clip, -1}, vm.toString(args[0]), {});
    }
    return {};
}

Value mcUnloadMovie(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object =
        runnerOf(vm).displayOf(self ? vm.binding().forward(self) : nullptr);
    if (display::MovieClip* clip = object ? object->asMovieClip() : nullptr) {
        requestMovieLoad(vm, LoadTarget{clip, -1}, {}, {});
    }
    return {};
}

Value mcLoadVariables(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object =
        runnerOf(vm).displayOf(self ? vm.binding().forward(self) : nullptr);
    if (display::MovieClip* clip = object ? object->asMovieClip() : nullptr;
        clip && !arg(args, 0).isUndefined()) {
        loadVariablesInto(vm, *clip, vm.toString(args[0]));
    }
    return {};
}

// getURL on a clip: the same as the action, with a window target.
Value mcGetUrl(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (!arg(args, 0).isUndefined()) {
        std::string target = arg(args, 1).isUndefined() ? "" : vm.toString(args[1]);
        vm.binding().getUrl(vm.toString(args[0]), target, 0);
    }
    return {};
}

} // namespace

void resetClipScript(Vm& vm, display::MovieClip& clip)
{
    StageRunner& runner = runnerOf(vm);
    ClipObject* object = runner.objectFor(clip);
    // The old movie's variables, handlers and class go with it.
    object->properties() = PropertyMap();
    object->watchers().clear();
    object->setProto(runner.movieClipProto);
}

bool requestMovieLoad(Vm& vm, LoadTarget target, const std::string& url, LoadCallbacks callbacks)
{
    display::LoadRequest request;
    request.level = target.level;
    if (target.clip) {
        request.target =
            std::static_pointer_cast<display::MovieClip>(target.clip->shared_from_this());
    }
    request.url = url;
    if (!url.empty()) {
        std::optional<std::string> path = localFilePath(vm, url);
        if (!path) {
            vm.warning("Warning: " + url + " is not a local file; only local files can be loaded.");
            return false;
        }
        request.path = *path;
    }
    // The callbacks run only while the interpreter that asked still exists.
    std::weak_ptr<std::vector<Object*>> alive = runnerOf(vm).loadRoots;
    Vm* vmPointer = &vm;
    request.onReset = [alive, vmPointer](display::MovieClip& clip) {
        if (!alive.expired()) {
            resetClipScript(*vmPointer, clip);
        }
    };
    if (callbacks.onLoaded) {
        request.onLoaded = [alive, onLoaded = std::move(callbacks.onLoaded)](
                               display::MovieClip* clip, const std::string& error,
                               const movie::MovieDefinition* movie) {
            if (!alive.expired()) {
                onLoaded(clip, error, movie);
            }
        };
    }
    if (callbacks.onInit) {
        request.onInit = [alive, onInit = std::move(callbacks.onInit)](display::MovieClip& clip) {
            if (!alive.expired()) {
                onInit(clip);
            }
        };
    }
    runnerOf(vm).stage().requestLoad(std::move(request));
    return true;
}

// --- StageRunner: the load forms of GetURL, levels and _root -------------------------

void StageRunner::getUrl(const std::string& url, const std::string& target, int flags)
{
    bool variables = flags & kLoadVariablesFlag;
    int level = levelOf(target);
    display::MovieClip* clip = nullptr;
    if (level >= 0) {
        clip = m_stage.level(level);
    } else if (flags & kLoadTargetFlag) {
        clip = clipNamed(m_vm, target);
        if (!clip) {
            return;
        }
    } else {
        // A browser window: there is none to open the page in.
        return;
    }
    if (variables) {
        if (clip) {
            loadVariablesInto(m_vm, *clip, url);
        }
        return;
    }
    requestMovieLoad(m_vm, LoadTarget{level >= 0 ? nullptr : clip, level}, url, {});
}

Object* StageRunner::rootOf(Object* clip)
{
    display::DisplayObject* object = displayOf(clip);
    if (!object) {
        return nullptr;
    }
    int steps = 0;
    while (object->displayParent() && steps++ < 4096) {
        object = object->displayParent();
    }
    return objectFor(*object);
}

Object* StageRunner::level(int number)
{
    display::MovieClip* clip = m_stage.level(number);
    return clip ? objectFor(*clip) : nullptr;
}

void installLoadingBuiltins(Vm& vm, StageRunner& runner)
{
    Object* proto = runner.movieClipProto;
    vm.defineMethod(proto, "loadMovie", mcLoadMovie);
    vm.defineMethod(proto, "unloadMovie", mcUnloadMovie);
    vm.defineMethod(proto, "loadVariables", mcLoadVariables);
    vm.defineMethod(proto, "getURL", mcGetUrl);
}

} // namespace zf::avm1
