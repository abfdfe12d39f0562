// Actions that change the flow of a script: calls and construction,
// function definitions, return and throw, jumps, with and try blocks.
#include "execute_p.h"
#include "paths_p.h"

#include "swf/actions.h"

namespace zf::avm1 {

using swf::ActionCode;

namespace {

// super(...): the constructor recorded on the prototype that sits just
// below the super object's base in the instance's chain. It runs with the
// super object as `this`, so its own super goes one level further up.
Value callSuperConstructor(Vm& vm, SuperObject* super, std::span<const Value> args)
{
    Object* home = super->self ? super->self->proto() : nullptr;
    for (int depth = 0; home && home->proto() != super->base && depth < 256; ++depth) {
        home = home->proto();
    }
    if (!home || home->proto() != super->base) {
        return {};
    }
    Value constructor = vm.get(home, "__constructor__");
    return vm.call(constructor, super, args);
}

SuperObject* asSuper(Object* object)
{
    return object && object->kind() == Kind::Plain ? dynamic_cast<SuperObject*>(object) : nullptr;
}

bool isNoName(const Value& name)
{
    return name.isUndefined() || (name.isString() && name.stringView().empty());
}

} // namespace

bool Dispatch::opCallFunction()
{
    Str name = m_vm.keyOf(pop());
    std::vector<Value> args;
    popArgs(args);
    // A function found on a with-object, among a function's locals or at
    // the end of a path runs with that object as `this`.
    Object* holder = nullptr;
    Value function = findVariable(m_vm, m_context, name, &holder);
    SuperObject* super = asSuper(function.object());
    push(super ? callSuperConstructor(m_vm, super, args)
               : m_vm.call(function, holder ? holder : frameTarget(), args));
    return timelineRemoved() ? stop(Flow::Return) : true;
}

// A method call; with no name the object itself is called (or, for a super
// object, the superclass constructor).
bool Dispatch::opCallMethod()
{
    Value name = pop();
    Value object = pop();
    std::vector<Value> args;
    popArgs(args);
    Object* self = object.isObject() ? object.object() : m_vm.toObject(object);
    if (isNoName(name)) {
        SuperObject* super = asSuper(self);
        push(super ? callSuperConstructor(m_vm, super, args) : m_vm.call(object, nullptr, args));
    } else {
        Value method = m_vm.getMember(object, name);
        push(m_vm.call(method, self, args));
    }
    return object.isObject() && timelineRemoved() ? stop(Flow::Return) : true;
}

bool Dispatch::opNewObject()
{
    Str name = m_vm.keyOf(pop());
    std::vector<Value> args;
    popArgs(args);
    push(m_vm.construct(m_vm.getVariable(m_context, name), args));
    return timelineRemoved() ? stop(Flow::Return) : true;
}

bool Dispatch::opNewMethod()
{
    Value name = pop();
    Value object = pop();
    std::vector<Value> args;
    popArgs(args);
    push(m_vm.construct(isNoName(name) ? object : m_vm.getMember(object, name), args));
    return object.isObject() && timelineRemoved() ? stop(Flow::Return) : true;
}

bool Dispatch::opReturn()
{
    m_context.returnValue = pop();
    return stop(Flow::Return);
}

// DefineFunction and DefineFunction2: the body follows the action and is
// skipped here; a named function becomes a local, an anonymous one is pushed.
bool Dispatch::opDefineFunction()
{
    auto function = std::make_shared<FunctionCode>();
    function->bytes = m_context.code;
    function->name = m_vm.intern(m_in.string());
    uint16_t paramCount = m_in.u16();
    function->isFunction2 = m_code == uint8_t(ActionCode::DefineFunction2);
    if (function->isFunction2) {
        function->registerCount = m_in.u8();
        function->flags = m_in.u16();
    }
    for (uint16_t i = 0; i < paramCount && !m_in.failed(); ++i) {
        FunctionCode::Param param;
        if (function->isFunction2) {
            param.reg = m_in.u8();
        }
        param.name = m_vm.intern(m_in.string());
        function->params.push_back(std::move(param));
    }
    size_t size = m_in.u16();
    function->start = m_pc;
    function->end = std::min(m_pc + size, m_end);
    function->version = std::max(m_context.version, 5);
    function->constants = m_vm.m_constants;
    m_pc = function->end;
    FunctionObject* object = m_vm.makeFunction(std::move(function), m_context);
    Str name = object->code->name;
    if (name.empty()) {
        push(Value(object));
    } else {
        m_vm.defineLocal(m_context, name, Value(object));
    }
    return true;
}

bool Dispatch::opThrow()
{
    m_vm.throwValue(pop());
    return stop(Flow::Throw);
}

// Jump and If: a signed offset from the next action.
bool Dispatch::opJump()
{
    auto offset = static_cast<int16_t>(m_in.u16());
    if (m_code == uint8_t(ActionCode::If) && !m_vm.toBoolean(pop())) {
        return true;
    }
    auto target = static_cast<int64_t>(m_pc) + offset;
    if (target < 0 || target > static_cast<int64_t>(m_bytes.size())) {
        return stop(Flow::Normal);
    }
    return jumpTo(static_cast<size_t>(target)) ? true : stop(Flow::Jump);
}

// The body runs as a nested range with the object as the innermost scope.
bool Dispatch::opWith()
{
    size_t size = m_in.u16();
    Value object = pop();
    size_t bodyEnd = std::min(m_pc + size, m_end);
    Object* scope = object.isObject() ? object.object() : m_vm.toObject(object);
    if (!scope) {
        return true;
    }
    size_t depth = m_context.scopes.size();
    m_context.scopes.push_back(scope);
    size_t target = 0;
    Flow flow = m_vm.execute(m_context, m_pc, bodyEnd, target);
    m_context.scopes.resize(depth);
    if (flow == Flow::Normal) {
        m_pc = bodyEnd;
        return true;
    }
    if (flow == Flow::Jump) {
        return jumpTo(target) ? true : stop(Flow::Jump);
    }
    return stop(flow);
}

bool Dispatch::opTry()
{
    Flow flow = m_vm.runTry(m_context, m_pc, m_start, m_end, m_pc, m_operandBytes, m_jumpTarget);
    return flow == Flow::Normal ? true : stop(flow);
}

Flow Vm::runTry(Context& context, size_t next, size_t start, size_t end, size_t& pc,
                std::span<const uint8_t> operandBytes, size_t& jumpTarget)
{
    Operands in(operandBytes);
    uint8_t flags = in.u8();
    size_t trySize = in.u16();
    size_t catchSize = in.u16();
    size_t finallySize = in.u16();
    bool catchInRegister = flags & 0x04;
    uint8_t catchRegister = 0;
    Str catchName;
    if (catchInRegister) {
        catchRegister = in.u8();
    } else {
        catchName = intern(in.string());
    }
    size_t tryEnd = std::min(next + trySize, end);
    size_t catchEnd = std::min(tryEnd + catchSize, end);
    size_t finallyEnd = std::min(catchEnd + finallySize, end);

    size_t target = 0;
    Flow flow = execute(context, next, tryEnd, target);
    if (flow == Flow::Throw && (flags & 0x01)) {
        Value thrown = takeThrown();
        if (catchInRegister) {
            if (catchRegister < context.registerCount) {
                context.registers[catchRegister] = std::move(thrown);
            }
        } else {
            defineLocal(context, catchName, std::move(thrown));
        }
        flow = execute(context, tryEnd, catchEnd, target);
    }
    if ((flags & 0x02) && flow != Flow::Abort) {
        // The finally block runs with any pending exception set aside.
        bool throwing = m_pending == Pending::Throw;
        Value thrown = throwing ? takeThrown() : Value();
        Value returnValue = context.returnValue;
        size_t finallyTarget = 0;
        Flow finallyFlow = execute(context, catchEnd, finallyEnd, finallyTarget);
        if (finallyFlow == Flow::Normal) {
            if (throwing) {
                throwValue(std::move(thrown));
            }
            context.returnValue = std::move(returnValue);
        } else {
            flow = finallyFlow;
            target = finallyTarget;
        }
    }
    switch (flow) {
    case Flow::Normal: pc = finallyEnd; return Flow::Normal;
    case Flow::Jump:
        if (target >= start && target <= end) {
            pc = target;
            return Flow::Normal;
        }
        jumpTarget = target;
        return Flow::Jump;
    default: return flow;
    }
}

} // namespace zf::avm1
