// System (capabilities, security), the Stage properties, Mouse visibility
// and ASnative, the numbered table of built-in functions.
#include "clip_p.h"
#include "system_p.h"

#include <cmath>

namespace zf::avm1 {

namespace {

StageRunner* stageRunner(Vm& vm)
{
    return dynamic_cast<StageRunner*>(&vm.binding());
}

// Player-wide settings scripts can change; the data of the accessors below.
class PlayerState : public Object {
public:
    explicit PlayerState() : Object(nullptr, Kind::Native) {}
    bool fullScreen = false;
    bool mouseVisible = true;
    std::string scaleMode = "showAll";
    std::string align;
    bool showMenu = true;
};

PlayerState& stateOf(const Value& data)
{
    return *static_cast<PlayerState*>(data.object());
}

Object* objectIn(Vm& vm, Object* on, std::string_view name)
{
    if (Object* existing = vm.get(on, name).object()) {
        return existing;
    }
    Object* object = vm.newObject();
    vm.defineValue(on, name, object);
    return object;
}

Value noOp(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

Value returnData(Vm&, Object*, std::span<const Value>, const Value& data)
{
    return data;
}

// --- System ----------------------------------------------------------------------

// A desktop player on Linux. serverString repeats the values in the short
// form servers receive.
void installCapabilities(Vm& vm, Object* capabilities)
{
    struct Entry {
        const char* name;
        Value value;
    };
    const Entry entries[] = {
        {"avHardwareDisable", Value(false)},
        {"hasAccessibility", Value(false)},
        {"hasAudio", Value(true)},
        {"hasAudioEncoder", Value(true)},
        {"hasEmbeddedVideo", Value(true)},
        {"hasIME", Value(false)},
        {"hasMP3", Value(true)},
        {"hasPrinting", Value(true)},
        {"hasScreenBroadcast", Value(false)},
        {"hasScreenPlayback", Value(false)},
        {"hasStreamingAudio", Value(true)},
        {"hasStreamingVideo", Value(true)},
        {"hasTLS", Value(true)},
        {"hasVideoEncoder", Value(true)},
        {"isDebugger", Value(false)},
        {"language", Value(Str("en"))},
        {"localFileReadDisable", Value(false)},
        {"manufacturer", Value(Str("Zentiq Linux"))},
        {"os", Value(Str("Linux"))},
        {"pixelAspectRatio", Value(1.0)},
        {"playerType", Value(Str("StandAlone"))},
        {"screenColor", Value(Str("color"))},
        {"screenDPI", Value(72.0)},
        {"screenResolutionX", Value(1920.0)},
        {"screenResolutionY", Value(1080.0)},
        {"version", Value(Str("LNX 32,0,0,0"))},
    };
    std::string server;
    for (const auto& entry : entries) {
        vm.defineValue(capabilities, entry.name, entry.value, DontDelete | ReadOnly);
    }
    const char* serverKeys[][2] = {{"A", "t"},
                                   {"SA", "t"},
                                   {"SV", "t"},
                                   {"EV", "t"},
                                   {"MP3", "t"},
                                   {"AE", "t"},
                                   {"VE", "t"},
                                   {"ACC", "f"},
                                   {"PR", "t"},
                                   {"SP", "f"},
                                   {"SB", "f"},
                                   {"DEB", "f"},
                                   {"V", "LNX%2032%2C0%2C0%2C0"},
                                   {"M", "Zentiq%20Linux"},
                                   {"R", "1920x1080"},
                                   {"COL", "color"},
                                   {"AR", "1.0"},
                                   {"OS", "Linux"},
                                   {"L", "en"},
                                   {"IME", "f"},
                                   {"PT", "StandAlone"},
                                   {"AVD", "f"},
                                   {"LFD", "f"},
                                   {"WD", "f"},
                                   {"TLS", "t"},
                                   {"DP", "72"}};
    for (const auto& pair : serverKeys) {
        if (!server.empty())
            server += '&';
        server.append(pair[0]).append("=").append(pair[1]);
    }
    vm.defineValue(capabilities, "serverString", Value(Str(server)), DontDelete | ReadOnly);
}

// A movie run from disk may reach the network only when its file says so.
Value sandboxType(Vm& vm, Object*, std::span<const Value>, const Value&)
{
    StageRunner* runner = stageRunner(vm);
    bool network =
        runner && (runner->stage().movie().fileAttributes() & swf::FileAttribute::UseNetwork);
    return Value(Str(network ? "localWithNetwork" : "localWithFile"));
}

void installSystem(Vm& vm)
{
    Object* system = objectIn(vm, vm.global(), "System");
    installCapabilities(vm, objectIn(vm, system, "capabilities"));

    Object* security = objectIn(vm, system, "security");
    for (const char* name : {"allowDomain", "allowInsecureDomain", "loadPolicyFile"}) {
        vm.defineMethod(security, name, noOp);
    }
    defineAccessor(vm, security, "sandboxType", sandboxType, nullptr);

    Object* ime = objectIn(vm, system, "IME");
    vm.defineMethod(ime, "getEnabled", returnData, Value(false));
    vm.defineMethod(ime, "setEnabled", returnData, Value(false));
    vm.defineMethod(ime, "getConversionMode", returnData, Value(Str("UNKNOWN")));
    vm.defineMethod(ime, "setConversionMode", returnData, Value(false));
    vm.defineMethod(ime, "setCompositionString", returnData, Value(false));
    vm.defineMethod(ime, "doConversion", returnData, Value(false));
    // IME tells listeners about composition like the other broadcasters.
    if (Object* broadcaster = vm.get(vm.global(), "AsBroadcaster").object()) {
        for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
            vm.defineValue(ime, name, vm.get(broadcaster, name));
        }
        vm.defineValue(ime, "_listeners", Value(vm.newArray()));
    }

    vm.defineMethod(system, "setClipboard", noOp);
    vm.defineMethod(system, "showSettings", noOp);
    vm.defineValue(system, "useCodepage", Value(false), 0);
    vm.defineValue(system, "exactSettings", Value(true), 0);
}

// --- Stage -------------------------------------------------------------------------

// data: 0 for width, 1 for height. Without a stage there is no size.
Value stageSize(Vm& vm, Object*, std::span<const Value>, const Value& data)
{
    StageRunner* runner = stageRunner(vm);
    if (!runner) {
        return Value(0.0);
    }
    RectTwips frame = runner->stage().movie().frameRect();
    double twips = data.number() == 0 ? double(frame.width()) : double(frame.height());
    return Value(std::round(twips / 20.0));
}

Value getDisplayState(Vm&, Object*, std::span<const Value>, const Value& data)
{
    return Value(Str(stateOf(data).fullScreen ? "fullScreen" : "normal"));
}

// Only the two state names (in any case) are accepted; a change tells the
// Stage listeners through onFullScreen.
Value setDisplayState(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    std::string wanted = foldCase(vm.toString(arg(args, 0)));
    if (wanted != "normal" && wanted != "fullscreen") {
        return {};
    }
    bool fullScreen = wanted == "fullscreen";
    PlayerState& state = stateOf(data);
    if (state.fullScreen != fullScreen) {
        state.fullScreen = fullScreen;
        if (Object* stage = vm.listenersOf("Stage")) {
            Value message[] = {Value(vm.intern("onFullScreen")), Value(fullScreen)};
            vm.call(vm.get(stage, "broadcastMessage"), stage, message);
        }
    }
    return {};
}

Value getScaleMode(Vm&, Object*, std::span<const Value>, const Value& data)
{
    return Value(Str(stateOf(data).scaleMode));
}

Value setScaleMode(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    std::string wanted = foldCase(vm.toString(arg(args, 0)));
    for (const char* mode : {"showAll", "noBorder", "exactFit", "noScale"}) {
        if (wanted == foldCase(mode)) {
            stateOf(data).scaleMode = mode;
        }
    }
    return {};
}

Value getAlign(Vm&, Object*, std::span<const Value>, const Value& data)
{
    return Value(Str(stateOf(data).align));
}

// The alignment keeps only the letters it knows, in a fixed order.
Value setAlign(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    std::string text = foldCase(vm.toString(arg(args, 0)));
    std::string align;
    for (char letter : {'t', 'b', 'l', 'r'}) {
        if (text.find(letter) != std::string::npos) {
            align += char(letter - 'a' + 'A');
        }
    }
    stateOf(data).align = align;
    return {};
}

Value getShowMenu(Vm&, Object*, std::span<const Value>, const Value& data)
{
    return Value(stateOf(data).showMenu);
}

Value setShowMenu(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    stateOf(data).showMenu = vm.toBoolean(arg(args, 0));
    return {};
}

void installStage(Vm& vm, Value state)
{
    Object* stage = objectIn(vm, vm.global(), "Stage");
    defineAccessor(vm, stage, "width", stageSize, nullptr, Value(0.0));
    defineAccessor(vm, stage, "height", stageSize, nullptr, Value(1.0));
    defineAccessor(vm, stage, "displayState", getDisplayState, setDisplayState, state);
    defineAccessor(vm, stage, "scaleMode", getScaleMode, setScaleMode, state);
    defineAccessor(vm, stage, "align", getAlign, setAlign, state);
    defineAccessor(vm, stage, "showMenu", getShowMenu, setShowMenu, state);
}

// --- Mouse -------------------------------------------------------------------------

// show() and hide() give 1 when the pointer was visible before, else 0.
Value mouseHide(Vm&, Object*, std::span<const Value>, const Value& data)
{
    PlayerState& state = stateOf(data);
    bool wasVisible = state.mouseVisible;
    state.mouseVisible = false;
    return Value(wasVisible ? 1.0 : 0.0);
}

Value mouseShow(Vm&, Object*, std::span<const Value>, const Value& data)
{
    PlayerState& state = stateOf(data);
    bool wasVisible = state.mouseVisible;
    state.mouseVisible = true;
    return Value(wasVisible ? 1.0 : 0.0);
}

void installMouse(Vm& vm, Value state)
{
    Object* mouse = objectIn(vm, vm.global(), "Mouse");
    vm.defineMethod(mouse, "show", mouseShow, state);
    vm.defineMethod(mouse, "hide", mouseHide, state);
}

// --- ASnative ----------------------------------------------------------------------

// The numbered tables scripts reach through ASnative(table, index): each
// entry names a function of a built-in object, looked up when installed.
struct NativeEntry {
    int table;
    int index;
    const char* owner; // global object holding the function, "" for _global
    const char* name;
};
constexpr NativeEntry NativeTable[] = {
    {100, 0, "", "escape"},        {100, 1, "", "unescape"},    {100, 2, "", "parseInt"},
    {100, 3, "", "parseFloat"},    {100, 4, "", "trace"},       {200, 0, "Math", "abs"},
    {200, 1, "Math", "min"},       {200, 2, "Math", "max"},     {200, 3, "Math", "sin"},
    {200, 4, "Math", "cos"},       {200, 5, "Math", "atan2"},   {200, 6, "Math", "tan"},
    {200, 7, "Math", "exp"},       {200, 8, "Math", "log"},     {200, 9, "Math", "sqrt"},
    {200, 10, "Math", "round"},    {200, 11, "Math", "random"}, {200, 12, "Math", "floor"},
    {200, 13, "Math", "ceil"},     {200, 14, "Math", "atan"},   {200, 15, "Math", "asin"},
    {200, 16, "Math", "acos"},     {200, 17, "Math", "pow"},    {200, 18, "Math", "isNaN"},
    {200, 19, "Math", "isFinite"},
};

// trace() as a function, for the table.
Value traceFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    const Value& value = arg(args, 0);
    std::string text = value.isUndefined() ? std::string("undefined") : vm.toString(value);
    for (char& c : text) {
        if (c == '\r') {
            c = '\n';
        }
    }
    vm.trace(text);
    return {};
}

Value mathFallback(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    for (size_t i = 0; i < args.size() && i < 2 && vm.pending() == Pending::None; ++i) {
        vm.toNumber(args[i]);
    }
    return Value(NAN);
}

// data: an array of [table, index, function] triples.
Value asNative(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    auto* entries = static_cast<ArrayObject*>(data.object());
    if (args.size() != 2 || !entries) {
        return {};
    }
    int32_t table = toInt32(vm.toNumber(args[0]));
    int32_t index = toInt32(vm.toNumber(args[1]));
    std::vector<Value> list = entries->values(vm);
    for (size_t i = 0; i + 2 < list.size(); i += 3) {
        if (list[i].number() == table && list[i + 1].number() == index) {
            return list[i + 2];
        }
    }
    // The Math table answers every index: unknown ones still read two
    // numbers and give NaN.
    return table == 200 ? Value(vm.newNative(mathFallback)) : Value();
}

void installAsNative(Vm& vm)
{
    ArrayObject* entries = vm.newArray();
    FunctionObject* trace = vm.newNative(traceFn);
    for (const auto& entry : NativeTable) {
        Object* owner = *entry.owner ? vm.get(vm.global(), entry.owner).object() : vm.global();
        Value function = std::string_view(entry.name) == "trace" ? Value(trace)
                         : owner                                 ? vm.get(owner, entry.name)
                                                                 : Value();
        if (!function.object()) {
            continue;
        }
        entries->push(vm, Value(double(entry.table)));
        entries->push(vm, Value(double(entry.index)));
        entries->push(vm, function);
    }
    // ASnative(2, 0): whether the innermost script function was called by
    // `new`; natives run inside their caller's activation, so a getter or a
    // valueOf reached from a constructor answers true as well.
    FunctionObject* calledByNew =
        vm.newNative([](Vm& vm, Object*, std::span<const Value>, const Value&) -> Value {
            return Value(vm.context() && vm.context()->constructing);
        });
    entries->push(vm, Value(2.0));
    entries->push(vm, Value(0.0));
    entries->push(vm, Value(calledByNew));
    vm.defineMethod(vm.global(), "ASnative", asNative, Value(entries));
}

} // namespace

void defineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn getter, NativeFn setter,
                    Value data)
{
    Property* property = on->properties().find(vm.intern(name), vm.fold());
    if (!property) {
        property = &on->properties().add(vm.intern(name), {}, vm.fold(), DontEnum | DontDelete);
    }
    property->getter = getter ? vm.newNative(getter, data) : nullptr;
    property->setter = setter ? vm.newNative(setter, data) : nullptr;
}

void installSystemBuiltins(Vm& vm)
{
    Value state(static_cast<Object*>(vm.heap().make<PlayerState>()));
    installSystem(vm);
    installStage(vm, state);
    installMouse(vm, state);
    installAsNative(vm);
    installNetBuiltins(vm);
}

} // namespace zf::avm1
