// Function calls and construction (variables and paths: paths.cpp).
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

} // namespace zf::avm1
