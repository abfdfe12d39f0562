// Actions on variables, members and objects: reading and writing names in
// scope, member access, deletion, object and array literals, enumeration,
// and the class operators (instanceof, cast, implements, extends).
#include "execute_p.h"
#include "paths_p.h"

#include "swf/actions.h"

namespace zf::avm1 {

using swf::ActionCode;

bool Dispatch::opGetVariable()
{
    Str name = m_vm.keyOf(pop());
    push(m_vm.getVariable(m_context, name));
    return true;
}

bool Dispatch::opSetVariable()
{
    Value value = pop();
    Str name = m_vm.keyOf(pop());
    m_vm.setVariable(m_context, name, std::move(value));
    return true;
}

bool Dispatch::opDefineLocal()
{
    Value value = pop();
    Str name = m_vm.keyOf(pop());
    m_vm.defineLocal(m_context, name, std::move(value));
    return true;
}

// `var x;` without a value: declares the name unless it already exists.
bool Dispatch::opDefineLocal2()
{
    declareVariable(m_vm, m_context, m_vm.keyOf(pop()));
    return true;
}

bool Dispatch::opGetMember()
{
    Value key = pop();
    Value object = pop();
    push(m_vm.getMember(object, key));
    return true;
}

bool Dispatch::opSetMember()
{
    Value value = pop();
    Value key = pop();
    Value object = pop();
    m_vm.setMember(object, key, std::move(value));
    return true;
}

bool Dispatch::opDelete()
{
    Str name = m_vm.keyOf(pop());
    Value object = pop();
    push(Value(m_vm.remove(object.object(), name)));
    return true;
}

bool Dispatch::opDelete2()
{
    Str name = m_vm.keyOf(pop());
    push(Value(m_vm.deleteVariable(m_context, name)));
    return true;
}

bool Dispatch::opInitArray()
{
    // A count outside the 32-bit range makes nothing, popping nothing.
    if (!validCount()) {
        m_stack.back() = Value();
        return true;
    }
    std::vector<Value> elements;
    popArgs(elements);
    push(Value(m_vm.newArray(std::move(elements))));
    return true;
}

bool Dispatch::opInitObject()
{
    if (!validCount()) {
        m_stack.back() = Value();
        return true;
    }
    double count = m_vm.toNumber(pop());
    size_t n = count > 0 && count < 65536 ? static_cast<size_t>(count) : 0;
    Object* object = m_vm.newObject();
    for (size_t i = 0; i < n && !m_stack.empty(); ++i) {
        Value value = pop();
        Str name = m_vm.keyOf(pop());
        m_vm.set(object, name, std::move(value));
    }
    push(Value(object));
    return true;
}

// Enumerate names a variable, Enumerate2 gives the object itself. Pushes
// null, then the names, so the loop ends when it pops the null.
bool Dispatch::opEnumerate()
{
    Value target = pop();
    if (m_code == uint8_t(ActionCode::Enumerate)) {
        target = m_vm.getVariable(m_context, m_vm.keyOf(target));
    }
    push(Value::null());
    if (Object* object = target.object()) {
        std::vector<Str> names = m_vm.enumerate(object);
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            push(Value(*it));
        }
    }
    return true;
}

bool Dispatch::opInstanceOf()
{
    Value constructor = pop();
    Value object = pop();
    push(Value(m_vm.instanceOf(object.object(), constructor.object())));
    return true;
}

bool Dispatch::opCastOp()
{
    Value object = pop();
    Value constructor = pop();
    bool is = m_vm.instanceOf(object.object(), constructor.object());
    push(is ? object : Value::null());
    return true;
}

bool Dispatch::opImplementsOp()
{
    Value constructor = pop();
    std::vector<Value> interfaces;
    popArgs(interfaces);
    Object* prototype = m_vm.get(constructor.object(), m_vm.m_common.prototype).object();
    if (prototype) {
        for (const auto& iface : interfaces) {
            if (Object* o = iface.object()) {
                prototype->interfaces().push_back(o);
            }
        }
    }
    return true;
}

bool Dispatch::opExtends()
{
    Value superclass = pop();
    Value subclass = pop();
    Object* sub = subclass.object();
    Object* base = m_vm.get(superclass.object(), m_vm.m_common.prototype).object();
    if (sub && superclass.object()) {
        Object* prototype = m_vm.newObject(base ? base : m_vm.m_objectProto);
        m_vm.defineValue(prototype, "__constructor__", superclass, DontEnum);
        m_vm.defineValue(prototype, "constructor", superclass, DontEnum);
        m_vm.set(sub, m_vm.m_common.prototype, Value(prototype));
    }
    return true;
}

} // namespace zf::avm1
