// Function calls, construction and the scope chain (variables and paths).
#include "vm_p.h"

#include <cmath>

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
    defineValue(function, "prototype", prototype, DontEnum);
    return function;
}

Value Vm::call(const Value& functionValue, Object* self, std::span<const Value> args)
{
    FunctionObject* function = asFunction(functionValue);
    if (!function || m_pending != Pending::None) {
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
        // Too deep: the call yields undefined and the caller goes on.
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
    context.target = context.timeline;
    context.callee = function;
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
        if (!superBase) {
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

    size_t jump = 0;
    Flow flow = execute(context, code.start, code.end, jump);
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
    call(constructorValue, object, args);
    return Value(object);
}

// --- variables ------------------------------------------------------------

namespace {

bool isPathName(std::string_view name)
{
    return name.find_first_of(":/.") != std::string_view::npos;
}

} // namespace

Object* Vm::resolvePath(Context& context, std::string_view path, Object* base)
{
    Object* current = base;
    if (path.empty()) {
        return current;
    }
    size_t i = 0;
    if (path[0] == '/') {
        current = m_root;
        i = 1;
    }
    int guard = 0;
    while (i < path.size() && current && ++guard < 256) {
        size_t next = path.find_first_of("/.", i);
        if (next == std::string_view::npos) {
            next = path.size();
        }
        // ".." is a parent step in slash syntax, not two dots.
        if (path.compare(i, 2, "..") == 0 && (i + 2 == path.size() || path[i + 2] == '/')) {
            Value parent = get(current, m_common.parent);
            current = parent.object();
            i += 3;
            continue;
        }
        std::string_view segment = path.substr(i, next - i);
        i = next + 1;
        if (segment.empty()) {
            continue;
        }
        Str name = intern(segment);
        if (name == m_common.root || (m_fold && foldCase(segment) == "_root")) {
            current = m_root;
        } else if (foldCase(segment) == "this") {
            // `this` stays on the current object.
        } else if (foldCase(segment) == "_global") {
            current = m_global;
        } else if (segment.size() > 6 && foldCase(segment.substr(0, 6)) == "_level") {
            current = segment == "_level0" || foldCase(segment) == "_level0" ? m_root : nullptr;
        } else {
            Value child = get(current, name);
            current = child.object();
        }
    }
    (void)context;
    return current;
}

Value Vm::getVariable(Context& context, const Str& name)
{
    std::string_view text = name.view();
    if (isPathName(text)) {
        size_t colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            Object* target = resolvePath(context, text.substr(0, colon), context.target);
            return target ? get(target, intern(text.substr(colon + 1))) : Value();
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
            scope = context.target;
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
        return context.callee ? Value(context.timeline) : Value(context.self);
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
        size_t split = text.rfind(':');
        if (split == std::string_view::npos) {
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
            scope = context.target;
        }
        if (has(scope, name)) {
            set(scope, name, std::move(value));
            return;
        }
    }
    Object* target = context.callee ? context.timeline : context.target;
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
            scope = context.target;
        }
        if (hasOwn(scope, name)) {
            return remove(scope, name);
        }
    }
    return false;
}

} // namespace zf::avm1
