// The network classes as a player without network access shows them:
// NetConnection (local connections only), NetStream, LocalConnection, and
// MovieClipLoader, which loads movies from local files.
#include "builtins_loading_p.h"
#include "geom_p.h"
#include "system_p.h"

#include <algorithm>

namespace zf::avm1 {

namespace {

Value noOp(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

Value returnFalse(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value(false);
}

// --- NetConnection ---------------------------------------------------------------

class ConnectionObject : public Object {
public:
    explicit ConnectionObject(Object* proto) : Object(proto, Kind::Native) {}
    enum class State : uint8_t { Closed, Local, Remote };
    State state = State::Closed;
    std::string uri;
};

ConnectionObject* asConnection(Object* self)
{
    return self && self->kind() == Kind::Native ? dynamic_cast<ConnectionObject*>(self) : nullptr;
}

void sendStatus(Vm& vm, Object* self, const char* code)
{
    Object* event = vm.newObject();
    vm.set(event, vm.intern("code"), Value(Str(code)));
    vm.set(event, vm.intern("level"), Value(Str("status")));
    Value args[] = {Value(event)};
    vm.call(vm.get(self, "onStatus"), self, args);
}

// Closing a local connection reports it closed; a remote one that never
// got through also reports its failed attempt, with no event object.
void closeConnection(Vm& vm, ConnectionObject* connection)
{
    auto previous = connection->state;
    connection->state = ConnectionObject::State::Closed;
    connection->uri.clear();
    if (previous == ConnectionObject::State::Closed) {
        return;
    }
    sendStatus(vm, connection, "NetConnection.Connect.Closed");
    if (previous == ConnectionObject::State::Remote && vm.pending() == Pending::None) {
        vm.call(vm.get(connection, "onStatus"), connection, {});
    }
}

Value connectionConstruct(Vm& vm, Object*, std::span<const Value>, const Value& data)
{
    Object* proto = vm.get(data.object(), vm.names().prototype).object();
    return Value(vm.heap().make<ConnectionObject>(proto ? proto : vm.objectProto()));
}

// connect(null) opens a local connection at once; a server URL cannot be
// reached, so nothing is reported until the connection is closed.
Value connectionConnect(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ConnectionObject* connection = asConnection(self);
    if (!connection || args.empty()) {
        return Value(false);
    }
    closeConnection(vm, connection);
    if (args[0].isNull()) {
        connection->state = ConnectionObject::State::Local;
        connection->uri = "null";
        sendStatus(vm, connection, "NetConnection.Connect.Success");
        return Value(true);
    }
    connection->state = ConnectionObject::State::Remote;
    connection->uri = vm.toString(args[0]);
    return Value(false);
}

Value connectionClose(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (ConnectionObject* connection = asConnection(self)) {
        closeConnection(vm, connection);
    }
    return {};
}

Value connectionIsConnected(Vm&, Object* self, std::span<const Value>, const Value&)
{
    ConnectionObject* connection = asConnection(self);
    return Value(connection && connection->state == ConnectionObject::State::Local);
}

Value connectionUri(Vm&, Object* self, std::span<const Value>, const Value&)
{
    ConnectionObject* connection = asConnection(self);
    return connection && connection->state != ConnectionObject::State::Closed
               ? Value(Str(connection->uri))
               : Value();
}

void installNetConnection(Vm& vm)
{
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.defineClass("NetConnection", noOp, connectionConstruct, proto);
    ctor->data = Value(static_cast<Object*>(ctor));
    vm.defineMethod(proto, "connect", connectionConnect);
    vm.defineMethod(proto, "close", connectionClose);
    vm.defineMethod(proto, "call", noOp);
    vm.defineMethod(proto, "addHeader", noOp);
    defineAccessor(vm, proto, "isConnected", connectionIsConnected, nullptr);
    defineAccessor(vm, proto, "uri", connectionUri, nullptr);
}

// --- NetStream, LocalConnection -------------------------------------------------------

void installStreamShells(Vm& vm)
{
    Object* stream = vm.newObject();
    vm.defineClass("NetStream", noOp, nullptr, stream);
    for (const char* name : {"play", "pause", "seek", "close", "setBufferTime", "attachAudio",
                             "attachVideo", "publish", "send", "receiveAudio", "receiveVideo"}) {
        vm.defineMethod(stream, name, noOp);
    }

    Object* local = vm.newObject();
    vm.defineClass("LocalConnection", noOp, nullptr, local);
    vm.defineMethod(local, "connect", returnFalse);
    vm.defineMethod(local, "send", returnFalse);
    vm.defineMethod(local, "close", noOp);
    vm.defineMethod(local, "domain", noOp);
}

// --- MovieClipLoader -----------------------------------------------------------------

// A loader is its own first listener, like an AsBroadcaster initialised on
// itself.
Value loaderConstruct(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (self) {
        vm.defineValue(self, "_listeners", Value(vm.newArray({Value(self)})));
    }
    return {};
}

// Keeps a loader alive (a garbage-collection root of the stage runner) for
// as long as a load request refers to it.
class PendingLoader {
public:
    PendingLoader(StageRunner& runner, Object* loader) : m_roots(runner.loadRoots), m_loader(loader)
    {
        runner.loadRoots->push_back(loader);
    }
    ~PendingLoader()
    {
        if (auto roots = m_roots.lock()) {
            if (auto it = std::find(roots->begin(), roots->end(), m_loader); it != roots->end()) {
                roots->erase(it);
            }
        }
    }
    PendingLoader(const PendingLoader&) = delete;
    PendingLoader& operator=(const PendingLoader&) = delete;
    Object* loader() const { return m_loader; }

private:
    std::weak_ptr<std::vector<Object*>> m_roots;
    Object* m_loader;
};

void broadcastToLoader(Vm& vm, Object* loader, const char* message, std::vector<Value> args)
{
    args.insert(args.begin(), Value(vm.intern(message)));
    vm.callHandler(vm.get(loader, "broadcastMessage"), loader, args);
}

// A failure reaches the listeners on the next timer pass, as a failed
// download would.
void reportLoadErrorLater(Vm& vm, Object* loader, const Value& target)
{
    Vm::Timer timer{};
    timer.due = vm.now();
    timer.function = Value(loader);
    timer.method = vm.intern("broadcastMessage");
    timer.args = {Value(vm.intern("onLoadError")), target, Value(Str("URLNotFound"))};
    vm.addTimer(std::move(timer));
}

StageRunner* stageRunnerOf(Vm& vm)
{
    return dynamic_cast<StageRunner*>(&vm.binding());
}

// The target of loadClip and friends: a clip, a level number, or a path.
std::optional<LoadTarget> loaderTarget(Vm& vm, StageRunner& runner, const Value& value)
{
    if (value.isNumber()) {
        double level = vm.toNumber(value);
        if (!(level >= 0 && level < 1e8)) {
            return std::nullopt;
        }
        return LoadTarget{nullptr, int(level)};
    }
    Object* object = value.object();
    if (value.isString()) {
        std::string path = vm.toString(value);
        Context* context = vm.context();
        object = context ? vm.resolvePath(*context, path, vm.liveTarget(*context)) : nullptr;
        if (!object) {
            // "_levelN" of a level not loaded yet.
            std::string lower = foldCase(path);
            if (lower.size() > 6 && lower.size() <= 14 && lower.compare(0, 6, "_level") == 0 &&
                lower.find_first_not_of("0123456789", 6) == std::string::npos) {
                return LoadTarget{nullptr, std::stoi(lower.substr(6))};
            }
        }
    }
    display::DisplayObject* display =
        runner.displayOf(object ? vm.binding().forward(object) : nullptr);
    display::MovieClip* clip = display ? display->asMovieClip() : nullptr;
    if (!clip) {
        return std::nullopt;
    }
    return LoadTarget{clip, -1};
}

Value loaderLoadClip(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self || args.size() < 2) {
        return Value(false);
    }
    StageRunner* runner = stageRunnerOf(vm);
    std::optional<LoadTarget> target = runner ? loaderTarget(vm, *runner, args[1]) : std::nullopt;
    if (!runner || !target) {
        return Value(false);
    }
    auto pending = std::make_shared<PendingLoader>(*runner, self);
    LoadCallbacks callbacks;
    Vm* vmPointer = &vm;
    callbacks.onLoaded = [vmPointer, runner, pending,
                          original = args[1]](display::MovieClip* clip, const std::string&,
                                              const movie::MovieDefinition* movie) {
        Vm& vm = *vmPointer;
        Object* loader = pending->loader();
        if (!clip || !movie) {
            broadcastToLoader(vm, loader, "onLoadError", {original, Value(Str("URLNotFound"))});
            return;
        }
        Value target(runner->objectFor(*clip));
        double size = double(movie->header().fileSize);
        broadcastToLoader(vm, loader, "onLoadStart", {target});
        broadcastToLoader(vm, loader, "onLoadProgress", {target, Value(size), Value(size)});
        broadcastToLoader(vm, loader, "onLoadComplete", {target, Value(0.0)});
    };
    callbacks.onInit = [vmPointer, runner, pending](display::MovieClip& clip) {
        broadcastToLoader(*vmPointer, pending->loader(), "onLoadInit",
                          {Value(runner->objectFor(clip))});
    };
    std::string url = arg(args, 0).isUndefined() ? "" : vm.toString(args[0]);
    if (url.empty() || !requestMovieLoad(vm, *target, url, std::move(callbacks))) {
        reportLoadErrorLater(vm, self, args[1]);
    }
    return Value(true);
}

Value loaderUnloadClip(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    StageRunner* runner = stageRunnerOf(vm);
    std::optional<LoadTarget> target =
        runner ? loaderTarget(vm, *runner, arg(args, 0)) : std::nullopt;
    if (!target) {
        return Value(false);
    }
    return Value(requestMovieLoad(vm, *target, {}, {}));
}

// Local files arrive whole: both counts are the file's size.
Value loaderGetProgress(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    double size = 0;
    StageRunner* runner = stageRunnerOf(vm);
    if (std::optional<LoadTarget> target =
            runner ? loaderTarget(vm, *runner, arg(args, 0)) : std::nullopt) {
        display::MovieClip* clip =
            target->clip ? target->clip : runner->stage().level(target->level);
        if (clip) {
            size = double(clip->definition().header().fileSize);
        }
    }
    Object* progress = vm.newObject();
    vm.set(progress, vm.intern("bytesLoaded"), Value(size));
    vm.set(progress, vm.intern("bytesTotal"), Value(size));
    return Value(progress);
}

void installMovieClipLoader(Vm& vm)
{
    Object* proto = vm.newObject();
    vm.defineClass("MovieClipLoader", loaderConstruct, nullptr, proto);
    if (Object* broadcaster = vm.get(vm.global(), "AsBroadcaster").object()) {
        for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
            vm.defineValue(proto, name, vm.get(broadcaster, name));
        }
    }
    vm.defineMethod(proto, "loadClip", loaderLoadClip);
    vm.defineMethod(proto, "unloadClip", loaderUnloadClip);
    vm.defineMethod(proto, "getProgress", loaderGetProgress);
}

// --- flash.net, flash.text shells ----------------------------------------------------

// A class with an empty prototype in a package, unless one is there already.
void defineShellClass(Vm& vm, Object* package, std::string_view name,
                      std::initializer_list<const char*> methods)
{
    if (vm.hasOwn(package, vm.intern(name))) {
        return;
    }
    FunctionObject* ctor = vm.newNative(noOp);
    Object* proto = vm.newObject();
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    for (const char* method : methods) {
        vm.defineMethod(proto, method, returnFalse);
    }
    vm.defineValue(package, name, ctor);
}

void installPackageShells(Vm& vm)
{
    // File dialogs need a user; without one nothing is ever browsed.
    Object* net = geom::package(vm, "net");
    defineShellClass(vm, net, "FileReference",
                     {"browse", "upload", "download", "cancel", "addListener", "removeListener"});
    defineShellClass(vm, net, "FileReferenceList", {"browse", "addListener", "removeListener"});
    defineShellClass(vm, geom::package(vm, "text"), "TextRenderer", {});
}

} // namespace

void installNetBuiltins(Vm& vm)
{
    installPackageShells(vm);
    installNetConnection(vm);
    installStreamShells(vm);
    installMovieClipLoader(vm);
    installSharedObject(vm);
}

} // namespace zf::avm1
