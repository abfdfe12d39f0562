// Interpreter state, property access, running blocks, collection and timers.
#include "vm_p.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

namespace {
constexpr size_t CollectThreshold = 20000;
constexpr int MaxProtoDepth = 256;
} // namespace

Vm::Vm(const Options& options) : m_options(options), m_fold(options.swfVersion <= 6)
{
    auto& n = m_common;
    n.prototype = intern("prototype");
    n.proto = intern("__proto__");
    n.constructor = intern("constructor");
    n.length = intern("length");
    n.toString = intern("toString");
    n.valueOf = intern("valueOf");
    n.thisName = intern("this");
    n.arguments = intern("arguments");
    n.super = intern("super");
    n.callee = intern("callee");
    n.caller = intern("caller");
    n.root = intern("_root");
    n.global = intern("_global");
    n.parent = intern("_parent");
    n.empty = intern("");
    n.object = intern("object");
    n.function = intern("function");
    n.undefined = intern("undefined");
    n.nullName = intern("null");
    n.boolean = intern("boolean");
    n.number = intern("number");
    n.string = intern("string");
    n.movieclip = intern("movieclip");
    n.level0 = intern("_level0");
    n.resolve = intern("__resolve");
    installBuiltins();
}

Vm::~Vm() = default;

// --- stage events ---------------------------------------------------------

void Vm::beginTick(double clockMs)
{
    m_stageClock = clockMs;
    m_actions = 0;
    m_abortedThisFrame = false;
    if (m_stageRunner) {
        m_stageRunner->beginTick(clockMs);
    }
}

void Vm::runFrameActions(display::MovieClip& clip, std::span<const uint8_t> actions)
{
    if (m_stageRunner) {
        m_stageRunner->runFrameActions(clip, actions);
    }
}

void Vm::runInitActions(display::MovieClip& timeline, uint16_t spriteId,
                        std::span<const uint8_t> actions)
{
    if (m_stageRunner) {
        m_stageRunner->runInitActions(timeline, spriteId, actions);
    }
}

void Vm::dispatchClipEvent(display::DisplayObject& object, display::ClipEvent event,
                           const display::EventKey& key)
{
    if (m_stageRunner) {
        m_stageRunner->dispatchClipEvent(object, event, key);
    }
}

void Vm::runButtonActions(display::Button& button, uint16_t conditions,
                          std::span<const uint8_t> actions)
{
    if (m_stageRunner) {
        m_stageRunner->runButtonActions(button, conditions, actions);
    }
}

void Vm::objectCreated(display::DisplayObject& object)
{
    if (m_stageRunner) {
        m_stageRunner->objectCreated(object);
    }
}

void Vm::objectRemoved(display::DisplayObject& object)
{
    if (m_stageRunner) {
        m_stageRunner->objectRemoved(object);
    }
}

bool Vm::hasButtonHandlers(const display::DisplayObject& object) const
{
    return m_stageRunner && m_stageRunner->hasButtonHandlers(object);
}

void installVideoBuiltins(Vm& vm); // builtins_video.cpp

void Vm::installBuiltins()
{
    m_objectProto = m_heap.make<Object>(nullptr);
    // Function.prototype is a plain object (typeof gives "object").
    m_functionProto = m_heap.make<Object>(m_objectProto);
    m_global = m_heap.make<Object>(nullptr);
    m_root = newObject();
    m_arrayProto = m_heap.make<ArrayObject>(m_objectProto);
    installObjectBuiltins(*this);
    installArrayBuiltins(*this);
    installStringBuiltins(*this);
    installMathBuiltins(*this);
    installGlobalFunctions(*this);
    installBroadcasterBuiltins(*this);
    installDateBuiltins(*this);
    installGeomBuiltins(*this);
    installBitmapBuiltins(*this);
    installFilterBuiltins(*this);
    installMediaBuiltins(*this);
    installSystemBuiltins(*this);
    installXmlBuiltins(*this);
    installVideoBuiltins(*this);
    installPlaceholderBuiltins(*this);
}

void Vm::broadcast(std::string_view broadcaster, std::string_view message)
{
    Object* object = listenersOf(broadcaster);
    if (!object) {
        return;
    }
    Value args[] = {Value(intern(message))};
    callHandler(get(object, "broadcastMessage"), object, args);
}

// --- objects --------------------------------------------------------------

Object* Vm::newObject(Object* proto)
{
    return m_heap.make<Object>(proto ? proto : m_objectProto);
}

ArrayObject* Vm::newArray(std::vector<Value> elements)
{
    auto* array = m_heap.make<ArrayObject>(m_arrayProto);
    array->assign(std::move(elements));
    return array;
}

FunctionObject* Vm::newNative(NativeFn fn, Value data)
{
    auto* function = m_heap.make<FunctionObject>(m_functionProto);
    function->native = fn;
    function->data = std::move(data);
    return function;
}

FunctionObject* Vm::defineMethod(Object* on, std::string_view name, NativeFn fn, Value data)
{
    FunctionObject* function = newNative(fn, std::move(data));
    defineValue(on, name, function);
    return function;
}

void Vm::defineValue(Object* on, std::string_view name, Value value, uint8_t flags)
{
    Str key = intern(name);
    if (Property* existing = on->properties().find(key, m_fold)) {
        existing->value = std::move(value);
        existing->flags = flags;
        return;
    }
    on->properties().add(key, std::move(value), m_fold, flags);
}

FunctionObject* Vm::defineClass(std::string_view name, NativeFn call, NativeFn construct,
                                Object* prototype)
{
    FunctionObject* ctor = newNative(call);
    ctor->constructNative = construct;
    if (!prototype) {
        prototype = newObject();
    }
    defineValue(ctor, "prototype", prototype, DontEnum | DontDelete);
    defineValue(prototype, "constructor", ctor, DontEnum | DontDelete);
    defineValue(m_global, name, ctor);
    return ctor;
}

// --- properties -----------------------------------------------------------

Property* Vm::lookup(Object* object, const Str& key, Object** holder)
{
    int depth = 0;
    for (Object* o = object; o && depth < MaxProtoDepth; o = o->proto(), ++depth) {
        Property* property = o->properties().find(key, m_fold);
        if (property && property->visibleIn(swfVersion())) {
            if (holder) {
                *holder = o;
            }
            return property;
        }
    }
    return nullptr;
}

Value Vm::get(Object* object, const Str& key)
{
    if (!object) {
        return {};
    }
    if (object->kind() == Kind::Clip) {
        object = m_binding->forward(object);
    }
    Str name = key.interned() ? key : intern(key);
    if (name.rep() == m_common.proto.rep() ||
        (m_fold && name.rep()->folded == m_common.proto.rep())) {
        if (object->kind() == Kind::Plain) {
            // super looks like the prototype above the one it reads from.
            if (auto* super = dynamic_cast<SuperObject*>(object)) {
                Object* above = super->base ? super->base->proto() : nullptr;
                return above ? Value(above) : Value();
            }
        }
        if (!object->proto()) {
            // A primitive assigned as the prototype is kept as a value.
            if (const Property* stored = object->properties().find(m_common.proto, m_fold)) {
                return stored->value;
            }
            return {};
        }
        return Value(object->proto());
    }
    int depth = 0;
    for (Object* o = object; o && depth < MaxProtoDepth; o = o->proto(), ++depth) {
        Value special;
        if (o->getSpecial(*this, name, special)) {
            return special;
        }
        Property* property = o->properties().find(name, m_fold);
        if (property && property->visibleIn(swfVersion())) {
            if (property->isAccessor()) {
                if (!property->getter || m_callbackDepth >= MaxCallbackDepth) {
                    return {};
                }
                Object* getter = property->getter;
                ++m_callbackDepth;
                Value result = call(Value(getter), object, {});
                --m_callbackDepth;
                return result;
            }
            return property->value;
        }
    }
    if (depth >= MaxProtoDepth) {
        // A prototype chain that loops counts as runaway recursion.
        disableActions();
    }
    return {};
}

void Vm::set(Object* object, const Str& key, Value value)
{
    if (!object) {
        return;
    }
    if (object->kind() == Kind::Clip) {
        object = m_binding->forward(object);
    }
    Str name = key.interned() ? key : intern(key);
    if (!object->watchers().empty()) {
        for (size_t i = 0; i < object->watchers().size(); ++i) {
            auto& watcher = object->watchers()[i];
            bool same = m_fold ? watcher.name.rep()->folded == name.rep()->folded
                               : watcher.name.rep() == name.rep();
            // Up to SWF 6 a watcher does not see the assignments it makes
            // itself; later ones recurse until the callback limit.
            if (!same || (watcher.active && swfVersion() <= 6) ||
                m_callbackDepth >= MaxCallbackDepth) {
                continue;
            }
            // The callback may change the watch list; copy what the call needs.
            Value callback = watcher.callback;
            // The old value of a getter/setter property is not read (that
            // would run the getter): the watcher sees undefined.
            Property* current = lookup(object, name);
            Value old = current && current->isAccessor() ? Value() : get(object, name);
            Value args[] = {Value(name), std::move(old), value, watcher.data};
            watcher.active = true;
            ++m_callbackDepth;
            value = call(callback, object, args);
            --m_callbackDepth;
            if (i < object->watchers().size()) {
                object->watchers()[i].active = false;
            }
            break;
        }
    }
    // Watchers see __proto__ assignments too.
    if (name.rep() == m_common.proto.rep() ||
        (m_fold && name.rep()->folded == m_common.proto.rep())) {
        // A primitive prototype ends the chain but reads back as itself.
        object->properties().remove(m_common.proto, m_fold);
        object->setProto(value.object());
        if (!value.isObject()) {
            object->properties().add(m_common.proto, std::move(value), m_fold);
            if (Property* stored = object->properties().find(m_common.proto, m_fold)) {
                stored->flags = DontEnum;
            }
        }
        return;
    }
    if (object->setSpecial(*this, name, value)) {
        return;
    }
    Property* own = object->properties().find(name, m_fold);
    Property* inherited = own ? own : lookup(object->proto(), name);
    if (inherited && inherited->isAccessor()) {
        if (Object* setter = inherited->setter; setter && m_callbackDepth < MaxCallbackDepth) {
            Value args[] = {std::move(value)};
            ++m_callbackDepth;
            call(Value(setter), object, args);
            --m_callbackDepth;
        }
        return;
    }
    if (own) {
        if (!(own->flags & ReadOnly)) {
            own->value = std::move(value);
            // Assigning makes a version-hidden property visible again.
            own->versionBits = 0;
        }
        return;
    }
    object->properties().add(name, std::move(value), m_fold);
}

bool Vm::has(Object* object, const Str& key)
{
    if (!object) {
        return false;
    }
    Str name = intern(key);
    int depth = 0;
    for (Object* o = object; o && depth < MaxProtoDepth; o = o->proto(), ++depth) {
        Value ignored;
        if (o->getSpecial(*this, name, ignored)) {
            return true;
        }
        const Property* property = o->properties().find(name, m_fold);
        if (property && property->visibleIn(swfVersion())) {
            return true;
        }
    }
    return false;
}

bool Vm::hasOwn(Object* object, const Str& key)
{
    if (!object) {
        return false;
    }
    Str name = intern(key);
    Value ignored;
    if (object->getSpecial(*this, name, ignored)) {
        return true;
    }
    // A version-hidden property still counts as the object's own.
    return object->properties().find(name, m_fold) != nullptr;
}

bool Vm::remove(Object* object, const Str& key)
{
    if (!object) {
        return false;
    }
    Str name = intern(key);
    if (name.rep() == m_common.proto.rep() ||
        (m_fold && name.rep()->folded == m_common.proto.rep())) {
        // Deleting the prototype link leaves it undefined.
        set(object, m_common.proto, Value());
        return true;
    }
    if (bool removed = false; object->removeSpecial(*this, name, removed)) {
        return removed;
    }
    Property* property = object->properties().find(name, m_fold);
    if (!property || (property->flags & DontDelete)) {
        return false;
    }
    return object->properties().remove(name, m_fold);
}

Str Vm::keyOf(const Value& key)
{
    if (key.isString()) {
        Str s = key.string();
        return s.interned() ? s : intern(s.view());
    }
    return intern(toStr(key).view());
}

Value Vm::getMember(const Value& target, const Value& key)
{
    Object* object = target.object();
    if (object && object->kind() == Kind::Array && key.isNumber()) {
        if (const Value* element = static_cast<ArrayObject*>(object)->denseAt(key.number())) {
            return *element;
        }
    }
    if (target.isString()) {
        Str name = keyOf(key);
        if (name.rep() == m_common.length.rep()) {
            auto text = target.stringView();
            return Value(double(utf8Length(text)));
        }
        return get(stringProto, name);
    }
    if (!object) {
        if (target.isNumber()) {
            return get(numberProto, keyOf(key));
        }
        if (target.isBoolean()) {
            return get(booleanProto, keyOf(key));
        }
        return {};
    }
    Str name = keyOf(key);
    Value value = get(object, name);
    if (!value.isUndefined() || name.rep() == m_common.resolve.rep() || has(object, name)) {
        return value;
    }
    // A member the object lacks is asked of its __resolve function, if any.
    // Only member reads do this: conversions and event lookups do not.
    Value resolver = get(object, m_common.resolve);
    if (resolver.object() && resolver.object()->kind() == Kind::Function) {
        Value args[] = {Value(name)};
        return call(resolver, object, args);
    }
    return value;
}

void Vm::setMember(const Value& target, const Value& key, Value value)
{
    Object* object = target.object();
    // The empty name is not a property a script can create.
    if (!object || (key.isString() && key.stringView().empty())) {
        return;
    }
    // Watchers see every assignment, so only unwatched arrays skip set().
    if (object->kind() == Kind::Array && key.isNumber() && object->watchers().empty() &&
        static_cast<ArrayObject*>(object)->trySetDense(key.number(), value)) {
        return;
    }
    set(object, keyOf(key), std::move(value));
}

std::vector<Str> Vm::enumerate(Object* object)
{
    std::vector<Str> names;
    std::vector<StrRep*> seen;
    int depth = 0;
    for (Object* o = object; o && depth < MaxProtoDepth; o = o->proto(), ++depth) {
        std::vector<Str> own;
        o->specialKeys(*this, own);
        for (const auto& property : o->properties().list()) {
            if (!(property.flags & DontEnum)) {
                own.push_back(property.name);
            }
        }
        for (auto it = own.rbegin(); it != own.rend(); ++it) {
            StrRep* key = m_fold ? intern(*it).rep()->folded : intern(*it).rep();
            if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
                seen.push_back(key);
                names.push_back(*it);
            }
        }
    }
    return names;
}

// --- errors ---------------------------------------------------------------

void Vm::throwValue(Value value)
{
    if (m_pending == Pending::Abort) {
        return;
    }
    m_thrown = std::move(value);
    m_pending = Pending::Throw;
}

Value Vm::takeThrown()
{
    m_pending = Pending::None;
    return std::move(m_thrown);
}

void Vm::abortScripts(const std::string& reason)
{
    if (!m_abortedThisFrame) {
        trace(reason);
    }
    m_abortedThisFrame = true;
    m_pending = Pending::Abort;
}

// --- running blocks -------------------------------------------------------

void Vm::runBlock(std::shared_ptr<const std::vector<uint8_t>> code, Object* timeline, Object* self)
{
    if (m_abortedThisFrame || m_actionsDisabled) {
        return;
    }
    if (m_depth >= m_options.maxRecursion) {
        return;
    }
    Context context;
    context.parent = m_context;
    context.code = std::move(code);
    context.scopes = {m_global, timeline};
    context.timeline = timeline;
    context.target = timeline;
    context.self = self ? self : timeline;
    context.registers = m_globalRegisters.data();
    context.registerCount = m_globalRegisters.size();
    context.version = swfVersion();
    size_t jump = 0;
    m_context = &context;
    ++m_depth;
    // A block run from inside another (a frame called with Call, an event
    // a script triggered) must not leave its constant pool to the caller;
    // between top-level blocks the pool carries over.
    std::shared_ptr<const std::vector<Str>> outerConstants = m_constants;
    Flow flow = execute(context, 0, context.code->size(), jump);
    if (context.parent) {
        m_constants = std::move(outerConstants);
    }
    --m_depth;
    m_context = context.parent;
    if (flow == Flow::Throw || m_pending == Pending::Throw) {
        Value thrown = takeThrown();
        trace("Warning: Uncaught exception, " + toString(thrown));
    }
    if (m_pending == Pending::Abort && m_depth == 0) {
        // The abort ends this frame's scripts; later frames run again.
        m_pending = Pending::None;
    }
}

void Vm::callHandler(const Value& function, Object* self, std::span<const Value> args)
{
    if (m_abortedThisFrame || m_actionsDisabled) {
        return;
    }
    call(function, self, args);
    if (m_pending == Pending::Throw) {
        trace("Warning: Uncaught exception, " + toString(takeThrown()));
    }
    if (m_pending == Pending::Abort && m_depth == 0) {
        m_pending = Pending::None;
    }
}

Status Vm::runActions(std::span<const uint8_t> code)
{
    auto bytes = std::make_shared<const std::vector<uint8_t>>(code.begin(), code.end());
    runBlock(std::move(bytes), m_root, m_root);
    maybeCollect();
    return Ok{};
}

void Vm::endTick()
{
    m_stack.clear();
    m_actions = 0;
    m_abortedThisFrame = false;
    m_pending = Pending::None;
    runTimers();
    m_stack.clear();
    maybeCollect();
}

// --- collection -----------------------------------------------------------

std::vector<Object*> Vm::roots() const
{
    std::vector<Object*> roots = {m_global,     m_root,      m_objectProto, m_functionProto,
                                  m_arrayProto, stringProto, numberProto,   booleanProto,
                                  dateProto,    errorProto};
    auto addValue = [&](const Value& v) {
        if (Object* o = v.object()) {
            roots.push_back(o);
        }
    };
    for (const auto& v : m_stack) {
        addValue(v);
    }
    for (const auto& v : m_globalRegisters) {
        addValue(v);
    }
    addValue(m_thrown);
    for (const auto& timer : m_timers) {
        addValue(timer.function);
        for (const auto& v : timer.args) {
            addValue(v);
        }
    }
    m_binding->addRoots(roots);
    for (Context* c = m_context; c; c = c->parent) {
        roots.insert(roots.end(), c->scopes.begin(), c->scopes.end());
        roots.insert(roots.end(), {c->self, c->timeline, c->target, c->callee, c->activation});
        for (size_t i = 0; i < c->registerCount; ++i) {
            addValue(c->registers[i]);
        }
        addValue(c->returnValue);
    }
    return roots;
}

void Vm::maybeCollect()
{
    if (m_nativeDepth == 0 && m_heap.allocatedSinceCollect() >= CollectThreshold) {
        m_heap.collect(roots());
    }
}

size_t Vm::collectGarbage()
{
    if (m_nativeDepth == 0) {
        m_heap.collect(roots());
    }
    return m_heap.size();
}

// --- timers ---------------------------------------------------------------

int Vm::addTimer(Timer timer)
{
    timer.id = m_nextTimerId++;
    m_timers.push_back(std::move(timer));
    return m_timers.back().id;
}

bool Vm::removeTimer(int id)
{
    auto it = std::find_if(m_timers.begin(), m_timers.end(), [&](auto& t) { return t.id == id; });
    if (it == m_timers.end()) {
        return false;
    }
    m_timers.erase(it);
    return true;
}

void Vm::runTimers()
{
    double time = now();
    // Collect the due ids first: handlers may add or clear timers.
    std::vector<int> due;
    for (const auto& timer : m_timers) {
        if (timer.due <= time) {
            due.push_back(timer.id);
        }
    }
    for (int id : due) {
        auto it =
            std::find_if(m_timers.begin(), m_timers.end(), [&](auto& t) { return t.id == id; });
        if (it == m_timers.end()) {
            continue;
        }
        Timer timer = *it;
        if (timer.repeat) {
            it->due = time + std::max(timer.interval, 1.0);
        } else {
            m_timers.erase(it);
        }
        Value function = timer.function;
        Object* self = nullptr;
        if (!timer.method.empty()) {
            self = timer.function.object();
            function = get(self, timer.method);
        }
        call(function, self, timer.args);
        if (m_pending == Pending::Throw) {
            trace("Warning: Uncaught exception, " + toString(takeThrown()));
        }
        m_pending = Pending::None;
    }
}

} // namespace zf::avm1
