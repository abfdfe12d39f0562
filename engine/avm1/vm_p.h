// The interpreter's state and the operations every part of it shares:
// property access, conversions, calls, and the roots of the collector.
#pragma once

#include "avm1.h"
#include "object_p.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace zf::avm1 {

// One running action range: frame code, a function body, or an event handler.
struct Context {
    Context* parent = nullptr;
    std::shared_ptr<const std::vector<uint8_t>> code;
    std::vector<Object*> scopes; // outermost first; the last is searched first
    Object* self = nullptr;      // `this`
    Object* timeline = nullptr;  // the clip the code belongs to
    Object* target = nullptr;    // changed by SetTarget / tellTarget
    FunctionObject* callee = nullptr;
    Object* activation = nullptr; // locals of a function call
    Value* registers = nullptr;
    size_t registerCount = 0;
    std::vector<Value> ownRegisters;
    int version = 0;
    bool constructing = false; // the function was called by `new`
    Value returnValue;
};

// What the interpreter asks of the display: timeline control and the clip
// actions that have their own opcodes. The stage-less interpreter uses the
// default, which does nothing.
class ClipBinding {
public:
    virtual ~ClipBinding() = default;
    // frame: a 1-based number or a label ("path:frame" already split off).
    virtual void gotoFrame(Object* /*clip*/, const Value& /*frame*/, bool /*play*/, int /*bias*/) {}
    virtual void setPlaying(Object* /*clip*/, bool /*playing*/) {}
    virtual void stepFrame(Object* /*clip*/, int /*delta*/) {}
    virtual void callFrame(Object* /*clip*/, const Value& /*frame*/) {}
    virtual void cloneClip(Object* /*clip*/, const Str& /*name*/, double /*depth*/) {}
    virtual void removeClip(Object* /*clip*/) {}
    virtual void startDrag(Object* /*clip*/, bool /*lockCenter*/, const double* /*bounds*/) {}
    virtual void stopDrag() {}
    virtual void stopSounds() {}
    virtual void toggleQuality() {}
    // Dot-syntax path of a clip ("_level0.a.b"), empty for non-clips.
    virtual std::string targetPath(Object* /*object*/) { return {}; }
    virtual void getUrl(const std::string& /*url*/, const std::string& /*target*/, int /*flags*/) {}
    // Script objects the display keeps alive (clips on the display list).
    virtual void addRoots(std::vector<Object*>& /*roots*/) {}
    // A clip reference whose clip was removed and recreated: the new clip's object.
    virtual Object* forward(Object* object) { return object; }
    // Whether a clip's display object has left the stage (scripts whose
    // timeline it is stop at their next call).
    virtual bool isRemoved(Object* /*clip*/) { return false; }
    // Whether a display object's script object is a movie clip (typeof
    // tells movie clips from buttons and text fields).
    virtual bool isMovieClip(Object* /*object*/) { return true; }
    // The root of the level a clip belongs to: `_root` for scripts on its
    // timeline. nullptr means the main movie's root.
    virtual Object* rootOf(Object* /*clip*/) { return nullptr; }
    // The root clip of _levelN, nullptr when nothing is loaded there.
    virtual Object* level(int /*number*/) { return nullptr; }
};

enum class Flow : uint8_t { Normal, Return, Throw, Abort, Jump };

enum class Pending : uint8_t { None, Throw, Abort };

// Names used all over the interpreter, interned once.
struct CommonNames {
    Str prototype, proto, constructor, length, toString, valueOf, thisName, arguments, super,
        callee, caller, root, global, parent, empty, object, function, undefined, nullName, boolean,
        number, string, movieclip, level0, resolve;
};

class Vm final : public Interpreter {
public:
    explicit Vm(const Options& options);
    ~Vm() override;

    Status runActions(std::span<const uint8_t> code) override;
    void endTick() override;
    size_t collectGarbage() override;

    // display::ScriptRunner: forwarded to the stage binding when there is one.
    void beginTick(double clockMs) override;
    void runFrameActions(display::MovieClip& clip, std::span<const uint8_t> actions) override;
    void runInitActions(display::MovieClip& timeline, uint16_t spriteId,
                        std::span<const uint8_t> actions) override;
    void dispatchClipEvent(display::DisplayObject& object, display::ClipEvent event,
                           const display::EventKey& key) override;
    void runButtonActions(display::Button& button, uint16_t conditions,
                          std::span<const uint8_t> actions) override;
    void objectCreated(display::DisplayObject& object) override;
    void objectRemoved(display::DisplayObject& object) override;
    bool hasButtonHandlers(const display::DisplayObject& object) const override;
    void warning(const std::string& message) override { trace(message); }
    // The binding's stage side (owned with the binding).
    void setStageRunner(display::ScriptRunner* runner) { m_stageRunner = runner; }
    // Calls an event handler from outside any script; reports an uncaught
    // exception and ends an abort at this point.
    void callHandler(const Value& function, Object* self, std::span<const Value> args);
    void setRoot(Object* root) { m_root = root; }
    void setStageClock(double ms) { m_stageClock = ms; }

    // --- state ---------------------------------------------------------
    const Options& options() const { return m_options; }
    int swfVersion() const { return m_options.swfVersion; }
    bool fold() const { return m_fold; }
    const CommonNames& names() const { return m_common; }
    Str intern(std::string_view text) { return m_interner.intern(text); }
    Str intern(const Str& s) { return m_interner.intern(s); }
    Object* global() const { return m_global; }
    Object* root() const { return m_root; }
    Context* context() const { return m_context; }
    int version() const { return m_context ? m_context->version : m_options.swfVersion; }
    double now() const { return m_options.clock ? m_options.clock() : m_stageClock; }
    void trace(const std::string& line)
    {
        if (m_options.trace) {
            m_options.trace(line);
        }
    }

    // --- objects -------------------------------------------------------
    Heap& heap() { return m_heap; }
    Object* newObject(Object* proto = nullptr);
    ArrayObject* newArray(std::vector<Value> elements = {});
    FunctionObject* newNative(NativeFn fn, Value data = {});
    // Defines a native method on an object (hidden from enumeration).
    FunctionObject* defineMethod(Object* on, std::string_view name, NativeFn fn, Value data = {});
    void defineValue(Object* on, std::string_view name, Value value, uint8_t flags = DontEnum);
    // Makes a constructor with a fresh prototype object and installs it in _global.
    FunctionObject* defineClass(std::string_view name, NativeFn call, NativeFn construct,
                                Object* prototype);

    Object* objectProto() const { return m_objectProto; }
    Object* functionProto() const { return m_functionProto; }
    Object* arrayProto() const { return m_arrayProto; }
    Object* stringProto = nullptr;
    Object* numberProto = nullptr;
    Object* booleanProto = nullptr;
    Object* dateProto = nullptr;
    Object* errorProto = nullptr;

    // --- properties ----------------------------------------------------
    // Finds a property on the object or its prototypes (honouring version gates).
    Property* lookup(Object* object, const Str& key, Object** holder = nullptr);
    Value get(Object* object, const Str& key);
    Value get(Object* object, std::string_view key) { return get(object, intern(key)); }
    void set(Object* object, const Str& key, Value value);
    bool has(Object* object, const Str& key);
    bool hasOwn(Object* object, const Str& key);
    bool remove(Object* object, const Str& key);
    // Member access on any value (strings and numbers use their prototypes).
    Value getMember(const Value& target, const Value& key);
    void setMember(const Value& target, const Value& key, Value value);
    // Own enumerable names in enumeration order (newest first), then the prototypes'.
    std::vector<Str> enumerate(Object* object);
    // Values added by the display binding decide these for clips.
    Str keyOf(const Value& key);

    // --- conversions ---------------------------------------------------
    double toNumber(const Value& value);
    Str toStr(const Value& value);
    std::string toString(const Value& value) { return toStr(value).str(); }
    bool toBoolean(const Value& value);
    Value toPrimitive(const Value& value, bool preferString = false);
    Object* toObject(const Value& value);
    Str typeOf(const Value& value);
    // Comparisons and logic give booleans in every version; SWF 4 movies
    // only print them differently ("1" and "0").
    Value boolResult(bool b) const { return Value(b); }
    Value numberOrError(double n);
    bool strictEquals(const Value& a, const Value& b);
    bool abstractEquals(const Value& a, const Value& b);
    bool instanceOf(Object* object, Object* constructor);

    // --- calls ---------------------------------------------------------
    Value call(const Value& function, Object* self, std::span<const Value> args);
    Value callMethod(Object* self, const Str& name, std::span<const Value> args);
    Value construct(const Value& constructor, std::span<const Value> args);
    Pending pending() const { return m_pending; }
    void throwValue(Value value);
    Value takeThrown();
    void abortScripts(const std::string& reason);
    // Stops the running scripts and every later one (runaway recursion).
    void disableActions()
    {
        m_actionsDisabled = true;
        m_pending = Pending::Abort;
    }
    FunctionObject* makeFunction(std::shared_ptr<const FunctionCode> code, Context& definer);

    // --- execution -----------------------------------------------------
    Flow execute(Context& context, size_t start, size_t end, size_t& jumpTarget);
    std::vector<Value>& stack() { return m_stack; }
    // The constant pool in effect; functions keep the one they were defined with.
    const std::shared_ptr<const std::vector<Str>>& constants() const { return m_constants; }
    std::array<Value, 4>& globalRegisters() { return m_globalRegisters; }

    // Runs a whole block on a timeline (frame actions, events); reports
    // uncaught exceptions as a warning line.
    void runBlock(std::shared_ptr<const std::vector<uint8_t>> code, Object* timeline, Object* self);

    // --- scope ---------------------------------------------------------
    Value getVariable(Context& context, const Str& name);
    void setVariable(Context& context, const Str& name, Value value);
    void defineLocal(Context& context, const Str& name, Value value);
    bool deleteVariable(Context& context, const Str& name);
    // The clip frame code acts on: the current target, or when that clip
    // left the stage the code's own clip, or when that left too the root.
    Object* liveTarget(Context& context);
    // Resolves a target path ("/a/b", "_root.a", "..") from a base object; null if not found.
    Object* resolvePath(Context& context, std::string_view path, Object* base);

    ClipBinding& binding() { return *m_binding; }
    void setBinding(std::unique_ptr<ClipBinding> binding) { m_binding = std::move(binding); }

    // Timers (setInterval / setTimeout).
    struct Timer {
        int id;
        double due;
        double interval;
        bool repeat;
        Value function; // or the object for the method form
        Str method;
        std::vector<Value> args;
    };
    int addTimer(Timer timer);
    bool removeTimer(int id);

    // A global broadcaster object (Key, Mouse, Stage) by name.
    Object* listenersOf(std::string_view broadcaster);
    // Sends a message to a global broadcaster's listeners.
    void broadcast(std::string_view broadcaster, std::string_view message);

private:
    void installBuiltins();

public:
    void maybeCollect();

private:
    std::vector<Object*> roots() const;
    Flow runTry(Context& context, size_t next, size_t start, size_t end, size_t& pc,
                std::span<const uint8_t> operands, size_t& jumpTarget);
    bool countAction();
    void runTimers();

    Options m_options;
    bool m_fold;
    Interner m_interner;
    CommonNames m_common;
    Heap m_heap;
    Object* m_global = nullptr;
    Object* m_root = nullptr;
    Object* m_objectProto = nullptr;
    Object* m_functionProto = nullptr;
    Object* m_arrayProto = nullptr;
    std::vector<Value> m_stack;
    std::array<Value, 4> m_globalRegisters;
    std::shared_ptr<const std::vector<Str>> m_constants = std::make_shared<std::vector<Str>>();
    Context* m_context = nullptr;
    int m_depth = 0;
    uint64_t m_actions = 0;
    bool m_abortedThisFrame = false;
    Pending m_pending = Pending::None;
    bool m_constructNext = false; // the next call() runs a constructor
    Value m_thrown;
    std::vector<Timer> m_timers;
    int m_nextTimerId = 1;
    int m_nativeDepth = 0;
    int m_nesting = 0;
    // Script callbacks run from inside a property access (getters, setters,
    // watchers) that are active now; past MaxCallbackDepth they are skipped.
    int m_callbackDepth = 0;
    static constexpr int MaxCallbackDepth = 65;
    // Set when a script overran the recursion limit: no more actions run.
    bool m_actionsDisabled = false;
    // Bound on nested bytecode bodies (with, try, function calls) run on the
    // native stack. Sanitizer builds use far larger frames, so the limit is
    // chosen to fit them in a default 8 MB stack too; real movies nest a
    // few levels deep, and script recursion is capped separately at 256.
    static constexpr int MaxNesting = 400;
    std::unique_ptr<ClipBinding> m_binding = std::make_unique<ClipBinding>();
    display::ScriptRunner* m_stageRunner = nullptr;
    double m_stageClock = 0;

    friend struct NativeScope;
    friend class Dispatch;
};

// Built-in installers, one per group of classes.
void installObjectBuiltins(Vm& vm);
void installArrayBuiltins(Vm& vm);
void installStringBuiltins(Vm& vm);
void installMathBuiltins(Vm& vm);
void installGlobalFunctions(Vm& vm);
void installBroadcasterBuiltins(Vm& vm);
void installDateBuiltins(Vm& vm);
void installGeomBuiltins(Vm& vm);
void installBitmapBuiltins(Vm& vm);
void installFilterBuiltins(Vm& vm);
void installMediaBuiltins(Vm& vm);
void installSystemBuiltins(Vm& vm);
void installXmlBuiltins(Vm& vm);
// Runs last: fills in the classes nothing else defined.
void installPlaceholderBuiltins(Vm& vm);

// Argument helper: the i-th argument or undefined.
inline const Value& arg(std::span<const Value> args, size_t i)
{
    static const Value undefined;
    return i < args.size() ? args[i] : undefined;
}

} // namespace zf::avm1
