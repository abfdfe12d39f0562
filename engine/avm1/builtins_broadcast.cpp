// AsBroadcaster and the listener objects built on it (Key, Mouse, Stage).
#include "vm_p.h"

#include <algorithm>

namespace zf::avm1 {

namespace {

ArrayObject* listenersOf(Vm& vm, Object* self)
{
    Value list = vm.get(self, "_listeners");
    Object* o = list.object();
    return o && o->kind() == Kind::Array ? static_cast<ArrayObject*>(o) : nullptr;
}

Value addListener(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* list = listenersOf(vm, self);
    if (!list) {
        return Value(false);
    }
    const Value& listener = arg(args, 0);
    std::vector<Value> listeners = list->values(vm);
    bool present = std::any_of(listeners.begin(), listeners.end(),
                               [&](const Value& v) { return vm.strictEquals(v, listener); });
    if (!present && listeners.size() < MaxArrayLength) {
        list->push(vm, listener);
    }
    return Value(true);
}

Value removeListener(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* list = listenersOf(vm, self);
    if (!list) {
        return Value(false);
    }
    const Value& listener = arg(args, 0);
    std::vector<Value> listeners = list->values(vm);
    auto it = std::find_if(listeners.begin(), listeners.end(),
                           [&](const Value& v) { return vm.strictEquals(v, listener); });
    if (it == listeners.end()) {
        return Value(false);
    }
    listeners.erase(it);
    list->assign(std::move(listeners));
    return Value(true);
}

Value broadcastMessage(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* list = listenersOf(vm, self);
    if (!list || args.empty()) {
        return {};
    }
    Str name = vm.keyOf(args[0]);
    // Listeners may add or remove listeners while the message goes round.
    std::vector<Value> listeners = list->values(vm);
    for (const auto& listener : listeners) {
        if (Object* o = listener.object()) {
            vm.call(vm.get(o, name), o, args.subspan(1));
            if (vm.pending() != Pending::None) {
                break;
            }
        }
    }
    return Value(!listeners.empty());
}

void makeBroadcaster(Vm& vm, Object* target, Object* source)
{
    for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
        vm.defineValue(target, name, vm.get(source, name));
    }
    vm.defineValue(target, "_listeners", Value(vm.newArray()));
}

Value initialize(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (Object* target = arg(args, 0).object()) {
        makeBroadcaster(vm, target, self);
    }
    return {};
}

Value constructPlain(Vm& vm, Object*, std::span<const Value>, const Value&)
{
    return Value(vm.newObject());
}

} // namespace

void installBroadcasterBuiltins(Vm& vm)
{
    FunctionObject* broadcaster = vm.defineClass("AsBroadcaster", constructPlain, nullptr, nullptr);
    vm.defineMethod(broadcaster, "initialize", initialize);
    vm.defineMethod(broadcaster, "addListener", addListener);
    vm.defineMethod(broadcaster, "removeListener", removeListener);
    vm.defineMethod(broadcaster, "broadcastMessage", broadcastMessage);
    for (const char* name : {"Key", "Mouse", "Stage", "Selection"}) {
        Object* object = vm.newObject();
        makeBroadcaster(vm, object, broadcaster);
        vm.defineValue(vm.global(), name, object);
    }
}

Object* Vm::listenersOf(std::string_view broadcaster)
{
    return get(m_global, intern(broadcaster)).object();
}

} // namespace zf::avm1
