// Function calls, construction and the scope chain (variables and paths).
#include "vm_p.h"

#include <cmath>
#include <utility>

namespace zf::avm1 {

namespace {

FunctionObject* asFunction(const Value& value)
{
    Object* o = value.object();
    return o && o->kind() == Kind::Function ? static_cast<FunctionObject*>(o) : nullptr;
}

// DefineFunction2 flag bits.
enum : uint16_t {
    PreloadThis = 0x0001,
    SuppressThis = 0x0002,
    PreloadArguments = 0x0004,
    SuppressArguments = 0x0008,
    PreloadSuper = 0x0010,
    SuppressSuper = 0x0020,
    PreloadRoot = 0x0040,
    PreloadParent = 0x0080,
    PreloadGlobal = 0x0100,
};

} // namespace

// Keeps the collector away while native code holds raw object pointers.
struct NativeScope {
    explicit NativeScope(Vm& vm) : vm(vm) { ++vm.m_nativeDepth; }
    ~NativeScope() { --vm.m_nativeDepth; }
    Vm& vm;
};

FunctionObject* Vm::makeFunction(std::shared_ptr<const FunctionCode> code, Context& definer)
{
    auto* function = m_heap.make<FunctionObject>(m_functionProto);
    function->code = std::move(code);
    function->scopes = definer.scopes;
    function->target = definer.target;
    Object* prototype = newObject();
    defineValue(prototype, "constructor", function, DontEnum);
    defineValue(function, "prototype", prototype, DontEnum | DontDelete);
    return function;
}

Value Vm::call(const Value& functionValue, Object* self, std::span<const Value> args)
{
    FunctionObject* function = asFunction(functionValue);
    const bool constructing = std::exchange(m_constructNext, false);
    if (!function || m_pending != Pending::None || m_actionsDisabled) {
        return {};
    }
    Object* superBase = nullptr;
    if (self && self->kind() == Kind::Plain && dynamic_cast<SuperObject*>(self)) {
        auto* super = static_cast<SuperObject*>(self);
        superBase = super->base ? super->base->proto() : nullptr;
        self = super->self;
    } else if (self && self->proto()) {
        superBase = self->proto()->proto();
    }
    if (m_depth >= m_options.maxRecursion) {
        // Too deep: taken for an endless loop, which stops the movie's
        // scripts for good.
        disableActions();
        return {};
    }
    if (function->native) {
        NativeScope guard(*this);
        ++m_depth;
        Value result = function->native(*this, self, args, function->data);
        --m_depth;
        return result;
    }
    if (!function->code) {
        return {};
    }
    const FunctionCode& code = *function->code;
    Context context;
    context.parent = m_context;
    context.code = code.bytes;
    context.scopes = function->scopes;
    context.self = self;
    context.timeline = function->target ? function->target : m_root;
    if (code.version < 6) {
        // Version 5 functions act on the clip they are called on, or else
        // on the caller's clip, not on the clip that defined them.
        if (self && self->kind() == Kind::Clip) {
            context.timeline = self;
        } else if (m_context && m_context->timeline) {
            context.timeline = m_context->timeline;
        }
    }
    if (m_binding->isRemoved(context.timeline)) {
        // The defining clip is gone: a clip `this` becomes the base, else the root.
        Object* forwarded = m_binding->forward(context.timeline);
        if (forwarded != context.timeline) {
            context.timeline = forwarded;
        } else {
            bool clipSelf = self && self->kind() == Kind::Clip && !m_binding->isRemoved(self);
            context.timeline = clipSelf ? self : m_root;
        }
    }
    context.target = context.timeline;
    context.callee = function;
    context.constructing = constructing;
    context.version = code.version;
    Object* activation = m_heap.make<Object>(nullptr, Kind::Activation);
    context.activation = activation;
    context.scopes.push_back(activation);
    context.ownRegisters.resize(code.isFunction2 ? std::max<size_t>(code.registerCount, 1) : 4);
    context.registers = context.ownRegisters.data();
    context.registerCount = context.ownRegisters.size();
    m_context = &context;
    ++m_depth;

    auto makeArguments = [&]() {
        ArrayObject* arguments = newArray(std::vector<Value>(args.begin(), args.end()));
        defineValue(arguments, "callee", function);
        defineValue(arguments, "caller",
                    context.parent && context.parent->callee ? Value(context.parent->callee)
                                                             : Value::null());
        return arguments;
    };
    auto makeSuper = [&]() -> Value {
        // With nothing above the object's class, super is still an
        // object; it just finds no methods.
        if (!self) {
            return {};
        }
        return Value(m_heap.make<SuperObject>(self, superBase));
    };
    auto local = [&](const Str& name, Value value) {
        activation->properties().add(name, std::move(value), m_fold);
    };

    if (code.isFunction2) {
        uint16_t flags = code.flags;
        size_t reg = 1;
        auto preload = [&](Value value) {
            if (reg < context.registerCount) {
                context.registers[reg] = std::move(value);
            }
            ++reg;
        };
        if (flags & PreloadThis) {
            preload((flags & SuppressThis) || !self ? Value() : Value(self));
        } else if (!(flags & SuppressThis)) {
            local(m_common.thisName, self ? Value(self) : Value());
        }
        if (flags & PreloadArguments) {
            preload(Value(makeArguments()));
        } else if (!(flags & SuppressArguments)) {
            local(m_common.arguments, Value(makeArguments()));
        }
        if (flags & PreloadSuper) {
            preload((flags & SuppressSuper) ? Value() : makeSuper());
        } else if (!(flags & SuppressSuper)) {
            local(m_common.super, makeSuper());
        }
        if (flags & PreloadRoot) {
            preload(Value(m_root));
        }
        if (flags & PreloadParent) {
            Value parent = get(context.timeline, m_common.parent);
            if (parent.isObject()) {
                preload(parent);
            }
        }
        if (flags & PreloadGlobal) {
            preload(Value(m_global));
        }
        for (size_t i = 0; i < code.params.size(); ++i) {
            const auto& param = code.params[i];
            Value value = i < args.size() ? args[i] : Value();
            if (param.reg != 0 && param.reg < context.registerCount) {
                context.registers[param.reg] = std::move(value);
            } else if (param.reg == 0) {
                local(param.name, std::move(value));
            }
        }
    } else {
        local(m_common.thisName, self ? Value(self) : Value());
        local(m_common.arguments, Value(makeArguments()));
        if (code.version >= 6) {
            local(m_common.super, makeSuper());
        }
        for (size_t i = 0; i < code.params.size(); ++i) {
            Str name = code.params[i].name;
            Value value = i < args.size() ? args[i] : Value();
            if (Property* existing = activation->properties().find(name, m_fold)) {
                existing->value = std::move(value);
            } else {
                local(name, std::move(value));
            }
        }
    }

    std::shared_ptr<const std::vector<Str>> callerConstants = m_constants;
    if (code.constants) {
        m_constants = code.constants;
    }
    size_t jump = 0;
    Flow flow = execute(context, code.start, code.end, jump);
    m_constants = std::move(callerConstants);
    --m_depth;
    m_context = context.parent;
    if (flow == Flow::Return) {
        return context.returnValue;
    }
    return {};
}

Value Vm::callMethod(Object* self, const Str& name, std::span<const Value> args)
{
    Value method = get(self, name);
    return call(method, self, args);
}

Value Vm::construct(const Value& constructorValue, std::span<const Value> args)
{
    FunctionObject* constructor = asFunction(constructorValue);
    if (!constructor) {
        return {};
    }
    if (constructor->constructNative) {
        NativeScope guard(*this);
        return constructor->constructNative(*this, nullptr, args, constructor->data);
    }
    Value prototype = get(constructor, m_common.prototype);
    Object* object = newObject(prototype.object() ? prototype.object() : m_objectProto);
    if (!prototype.object()) {
        object->setProto(m_objectProto);
    }
    defineValue(object, "__constructor__", constructor, DontEnum);
    defineValue(object, "constructor", constructor, DontEnum);
    m_constructNext = true;
    call(constructorValue, object, args);
    return Value(object);
}

// --- variables ------------------------------------------------------------

namespace {

bool isPathName(std::string_view name)
{
    return name.find_first_of(":/.") != std::string_view::npos;
}

// One name of a target path, from `current`.
Object* pathStep(Vm& vm, Object* current, std::string_view segment)
{
    std::string lower = vm.fold() ? foldCase(segment) : std::string(segment);
    if (lower == "_root") {
        return vm.root();
    }
    if (lower == "this") {
        return current;
    }
    if (lower == "_global") {
        return vm.global();
    }
    if (lower.size() > 6 && lower.compare(0, 6, "_level") == 0) {
        return lower == "_level0" ? vm.root() : nullptr;
    }
    return vm.get(current, vm.intern(segment)).object();
}

} // namespace

Object* Vm::liveTarget(Context& context)
{
    Object* target = context.target;
    if (!target || !m_binding->isRemoved(target)) {
        return target;
    }
    // A clip the timeline removed and placed again is the same clip.
    if (Object* forwarded = m_binding->forward(target); forwarded != target) {
        return forwarded;
    }
    if (context.timeline && context.timeline != target && !m_binding->isRemoved(context.timeline)) {
        return context.timeline;
    }
    return m_root;
}

Object* Vm::resolvePath(Context& context, std::string_view path, Object* base)
{
    if (base && m_binding->isRemoved(base) &&
        (base == context.target || base == context.timeline)) {
        base = liveTarget(context);
    }
    Object* current = base;
    if (path.empty()) {
        return current;
    }
    size_t i = 0;
    if (path[0] == '/') {
        current = m_root;
        i = 1;
    }
    // Dots separate names only before the first slash: in "a/b.c" the name
    // is "b.c", while "a.b/c" walks a, b, c. ".." is always a parent step.
    bool slashSeen = i > 0;
    int guard = 0;
    while (i < path.size() && current && ++guard < 256) {
        if (path.compare(i, 2, "..") == 0 &&
            (i + 2 == path.size() || path[i + 2] == '/' || path[i + 2] == ':')) {
            current = get(current, m_common.parent).object();
            slashSeen = slashSeen || (i + 2 < path.size() && path[i + 2] == '/');
            i += 3;
            continue;
        }
        size_t next = path.find_first_of(slashSeen ? "/:" : "/:.", i);
        if (next == std::string_view::npos) {
            next = path.size();
        }
        std::string_view segment = path.substr(i, next - i);
        if (next < path.size() && path[next] == '/') {
            slashSeen = true;
        }
        i = next + 1;
        if (segment.empty()) {
            // "a//b" names nothing; a single trailing separator is allowed.
            if (next < path.size()) {
                return nullptr;
            }
            continue;
        }
        current = pathStep(*this, current, segment);
    }
    return guard >= 256 ? nullptr : current;
}

namespace {

// Where a variable path splits into target and name: the last colon, or in
// slash syntax the last dot that is not part of ".." ("a/b.v" is v of a/b).
// npos when the whole path names a target.
size_t variableSplit(std::string_view text)
{
    size_t colon = text.rfind(':');
    if (colon != std::string_view::npos || text.find('/') == std::string_view::npos) {
        return colon;
    }
    for (size_t i = text.size(); i-- > 0;) {
        if (text[i] == '.' && (i == 0 || text[i - 1] != '.') &&
            (i + 1 == text.size() || text[i + 1] != '.')) {
            return i;
        }
    }
    return std::string_view::npos;
}

} // namespace

Value Vm::getVariable(Context& context, const Str& name)
{
    std::string_view text = name.view();
    if (isPathName(text)) {
        size_t split = variableSplit(text);
        if (split != std::string_view::npos) {
            Object* target = resolvePath(context, text.substr(0, split), context.target);
            return target ? get(target, intern(text.substr(split + 1))) : Value();
        }
        if (text.find('/') != std::string_view::npos) {
            Object* target = resolvePath(context, text, context.target);
            return target ? Value(target) : Value();
        }
        // Dot syntax: each scope in turn tries the whole path; a scope whose
        // path breaks on a non-object hands over to the next one.
        std::vector<std::string_view> segments;
        for (size_t i = 0; i <= text.size();) {
            size_t next = text.find('.', i);
            if (next == std::string_view::npos) {
                next = text.size();
            }
            segments.push_back(text.substr(i, next - i));
            i = next + 1;
        }
        auto walk = [&](Value current, Value& out) {
            for (size_t i = 1; i < segments.size(); ++i) {
                if (!current.isObject()) {
                    return false;
                }
                current = getMember(current, Value(intern(segments[i])));
            }
            out = std::move(current);
            return true;
        };
        Str first = intern(segments[0]);
        Value out;
        for (size_t i = context.scopes.size(); i-- > 0;) {
            Object* scope = context.scopes[i];
            if (i == 1 && context.callee == nullptr) {
                scope = context.target;
            }
            if (has(scope, first) && walk(get(scope, first), out)) {
                return out;
            }
        }
        walk(getVariable(context, first), out);
        return out;
    }
    for (size_t i = context.scopes.size(); i-- > 0;) {
        Object* scope = context.scopes[i];
        if (i == 1 && context.callee == nullptr) {
            scope = liveTarget(context);
        }
        if (has(scope, name)) {
            return get(scope, name);
        }
    }
    StrRep* key = m_fold ? name.rep()->folded : name.rep();
    auto is = [&](const Str& common) {
        return key == (m_fold ? common.rep()->folded : common.rep());
    };
    if (is(m_common.thisName)) {
        // A function without a `this` local (preloaded or suppressed)
        // sees the timeline from SWF 6 on, nothing before.
        if (context.callee) {
            return context.version <= 5 ? Value() : Value(context.timeline);
        }
        return Value(context.self);
    }
    if (is(m_common.root) || is(m_common.level0)) {
        return Value(m_root);
    }
    if (is(m_common.global)) {
        return Value(m_global);
    }
    if (is(m_common.parent)) {
        return get(context.target, m_common.parent);
    }
    return {};
}

void Vm::setVariable(Context& context, const Str& name, Value value)
{
    std::string_view text = name.view();
    if (isPathName(text)) {
        size_t split = variableSplit(text);
        if (split == std::string_view::npos && text.find('/') == std::string_view::npos) {
            split = text.rfind('.');
        }
        if (split != std::string_view::npos) {
            std::string_view path = text.substr(0, split);
            Object* target = nullptr;
            if (text[split] == '.' && path.find('/') == std::string_view::npos) {
                target = getVariable(context, intern(path)).object();
            } else {
                target = resolvePath(context, path, context.target);
            }
            if (target) {
                set(target, intern(text.substr(split + 1)), std::move(value));
            }
            return;
        }
    }
    // The global object is not searched: an assignment to an unknown name
    // creates a timeline variable even when _global has one.
    for (size_t i = context.scopes.size(); i-- > 1;) {
        Object* scope = context.scopes[i];
        if (i == 1 && context.callee == nullptr) {
            scope = liveTarget(context);
        }
        if (has(scope, name)) {
            set(scope, name, std::move(value));
            return;
        }
    }
    Object* target = context.callee ? context.timeline : liveTarget(context);
    if (context.callee && context.scopes.size() > 1) {
        target = context.scopes[1];
    }
    set(target, name, std::move(value));
}

void Vm::defineLocal(Context& context, const Str& name, Value value)
{
    // With-objects that already own the name take the value; otherwise it
    // becomes a local of the function, or a variable of the timeline.
    for (size_t i = context.scopes.size(); i-- > 2;) {
        Object* scope = context.scopes[i];
        if (scope == context.activation) {
            break;
        }
        if (hasOwn(scope, name)) {
            set(scope, name, std::move(value));
            return;
        }
    }
    if (context.activation) {
        Property* existing = context.activation->properties().find(name, m_fold);
        if (existing) {
            existing->value = std::move(value);
        } else {
            context.activation->properties().add(name, std::move(value), m_fold);
        }
        return;
    }
    set(context.target, name, std::move(value));
}

bool Vm::deleteVariable(Context& context, const Str& name)
{
    for (size_t i = context.scopes.size(); i-- > 0;) {
        Object* scope = context.scopes[i];
        if (i == 1 && context.callee == nullptr) {
            scope = liveTarget(context);
        }
        if (hasOwn(scope, name)) {
            return remove(scope, name);
        }
    }
    return false;
}

} // namespace zf::avm1
