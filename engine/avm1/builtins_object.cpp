// Object, Function, Boolean and Error, and ASSetPropFlags.
#include "vm_p.h"

namespace zf::avm1 {

namespace {

FunctionObject* asFunction(const Value& value)
{
    Object* o = value.object();
    return o && o->kind() == Kind::Function ? static_cast<FunctionObject*>(o) : nullptr;
}

Value objectCall(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    const Value& value = arg(args, 0);
    if (value.isNullish()) {
        return Value(vm.newObject());
    }
    return Value(vm.toObject(value));
}

Value objectToString(Vm&, Object* self, std::span<const Value>, const Value&)
{
    if (self && self->kind() == Kind::Function) {
        return Value(Str("[type Function]"));
    }
    return Value(Str("[object Object]"));
}

Value objectValueOf(Vm&, Object* self, std::span<const Value>, const Value&)
{
    if (self && (self->kind() == Kind::Number || self->kind() == Kind::String ||
                 self->kind() == Kind::Boolean)) {
        return self->primitive();
    }
    return Value(self);
}

Value objectHasOwnProperty(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty() || !self) {
        return Value(false);
    }
    Str key = vm.keyOf(args[0]);
    // Every object with a prototype holds its __proto__ link itself.
    if (self->proto() && vm.intern(key).rep() == vm.names().proto.rep()) {
        return Value(true);
    }
    return Value(vm.hasOwn(self, key));
}

// Array elements kept in an array's dense run become ordinary properties
// before code that works on property entries directly touches them.
void spillArray(Vm& vm, Object* object)
{
    if (object && object->kind() == Kind::Array) {
        static_cast<ArrayObject*>(object)->spill(vm);
    }
}

Value objectIsPropertyEnumerable(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return Value(false);
    }
    spillArray(vm, self);
    const Property* property = self->properties().find(vm.keyOf(arg(args, 0)), vm.fold());
    return Value(property && !(property->flags & DontEnum));
}

Value objectIsPrototypeOf(Vm&, Object* self, std::span<const Value> args, const Value&)
{
    Object* other = arg(args, 0).object();
    int depth = 0;
    for (Object* o = other ? other->proto() : nullptr; o && depth < 256; o = o->proto(), ++depth) {
        if (o == self) {
            return Value(true);
        }
    }
    return Value(false);
}

Value objectAddProperty(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Str name = vm.keyOf(arg(args, 0));
    FunctionObject* getter = asFunction(arg(args, 1));
    const Value& setterValue = arg(args, 2);
    FunctionObject* setter = asFunction(setterValue);
    if (!self || name.empty() || !getter || (!setter && !setterValue.isNull())) {
        return Value(false);
    }
    spillArray(vm, self);
    Property* property = self->properties().find(name, vm.fold());
    if (!property) {
        property = &self->properties().add(name, Value(), vm.fold());
    }
    property->value = Value();
    property->getter = getter;
    property->setter = setter;
    return Value(true);
}

Value objectWatch(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self || !asFunction(arg(args, 1))) {
        return Value(false);
    }
    Str name = vm.keyOf(arg(args, 0));
    auto& watchers = self->watchers();
    for (auto& watcher : watchers) {
        if (watcher.name == name) {
            watcher.callback = arg(args, 1);
            watcher.data = arg(args, 2);
            return Value(true);
        }
    }
    watchers.push_back({name, arg(args, 1), arg(args, 2), false});
    return Value(true);
}

Value objectUnwatch(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return Value(false);
    }
    Str name = vm.keyOf(arg(args, 0));
    auto& watchers = self->watchers();
    for (auto it = watchers.begin(); it != watchers.end(); ++it) {
        if (it->name == name) {
            watchers.erase(it);
            return Value(true);
        }
    }
    return Value(false);
}

Value objectRegisterClass(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    // Symbol-to-class links are kept on a hidden global table the clip
    // binding reads when it attaches library symbols.
    Str name = vm.toStr(arg(args, 0));
    if (name.empty()) {
        return Value(false);
    }
    Value registry = vm.get(vm.global(), "__classRegistry");
    if (!registry.isObject()) {
        registry = Value(vm.newObject());
        vm.defineValue(vm.global(), "__classRegistry", registry);
    }
    vm.set(registry.object(), vm.intern(name.view()), arg(args, 1));
    return Value(true);
}

// The `this` of call/apply: nullish means the global object.
Object* thisArgument(Vm& vm, const Value& value)
{
    return value.isNullish() ? vm.global() : vm.toObject(value);
}

Value functionCall(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Object* thisObject = thisArgument(vm, arg(args, 0));
    return vm.call(Value(self), thisObject, args.size() > 1 ? args.subspan(1) : args.subspan(0, 0));
}

Value functionApply(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Object* thisObject = thisArgument(vm, arg(args, 0));
    std::vector<Value> list;
    if (Object* array = arg(args, 1).object()) {
        double length = vm.toNumber(vm.get(array, vm.names().length));
        size_t n = length > 0 ? static_cast<size_t>(std::min(length, double(MaxArrayLength))) : 0;
        for (size_t i = 0; i < n; ++i) {
            list.push_back(vm.getMember(Value(array), Value(double(i))));
        }
    }
    return vm.call(Value(self), thisObject, list);
}

Value functionCallAsObject(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (arg(args, 0).isObject()) {
        return args[0];
    }
    return Value(vm.newObject());
}

// Function(x) hands back its first argument whatever it is; with none it
// makes an object without a prototype.
Value functionCallAsFunction(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (!args.empty()) {
        return args[0];
    }
    return Value(vm.heap().make<Object>(nullptr));
}

Value booleanCall(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {}; // unlike Number() and String(), no default value
    }
    return Value(args.empty() ? false : vm.toBoolean(args[0]));
}

Value booleanConstruct(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    Object* box = vm.toObject(Value(args.empty() ? false : vm.toBoolean(args[0])));
    return Value(box);
}

Value booleanToString(Vm&, Object* self, std::span<const Value>, const Value&)
{
    if (!self || self->kind() != Kind::Boolean) {
        return {};
    }
    return Value(Str(self->primitive().boolean() ? "true" : "false"));
}

Value errorConstruct(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    Object* error = vm.newObject(vm.errorProto);
    if (!args.empty() && !args[0].isUndefined()) {
        vm.set(error, vm.intern("message"), args[0]);
    }
    return Value(error);
}

Value errorToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return Value(vm.toStr(vm.get(self, "message")));
}

// ASSetPropFlags(object, names, set, clear): names is null (all), an array
// of names, or a comma-separated string.
Value asSetPropFlags(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    Object* object = arg(args, 0).object();
    if (!object) {
        return {};
    }
    uint32_t setFlags = toUint32(vm.toNumber(arg(args, 2)));
    uint32_t clearFlags = toUint32(vm.toNumber(arg(args, 3)));
    std::vector<Str> names;
    const Value& list = arg(args, 1);
    bool all = list.isNull();
    if (Object* array = list.object(); array && array->kind() == Kind::Array) {
        for (const auto& element : static_cast<ArrayObject*>(array)->values(vm, 4096)) {
            names.push_back(vm.keyOf(element));
        }
    } else if (!all) {
        std::string text = vm.toString(list);
        size_t start = 0;
        while (start <= text.size()) {
            size_t comma = text.find(',', start);
            if (comma == std::string::npos) {
                comma = text.size();
            }
            names.push_back(vm.intern(std::string_view(text).substr(start, comma - start)));
            start = comma + 1;
        }
    }
    spillArray(vm, object);
    auto apply = [&](Property& property) {
        uint32_t flags = property.flags | (uint32_t(property.versionBits) & ~7u);
        flags = (flags & ~clearFlags) | setFlags;
        property.flags = static_cast<uint8_t>(flags & 7);
        property.versionBits = static_cast<uint16_t>(flags & 0xfff8);
    };
    if (all) {
        for (auto& property : object->properties().list()) {
            apply(property);
        }
    } else {
        for (const auto& name : names) {
            if (Property* property = object->properties().find(name, vm.fold())) {
                apply(*property);
            }
        }
    }
    return {};
}

} // namespace

void installObjectBuiltins(Vm& vm)
{
    Object* objectProto = vm.objectProto();
    FunctionObject* object = vm.newNative(objectCall);
    object->constructNative = objectCall;
    vm.defineValue(object, "prototype", objectProto, DontEnum | DontDelete | ReadOnly);
    vm.defineValue(objectProto, "constructor", object, DontEnum | DontDelete);
    vm.defineValue(vm.global(), "Object", object);
    vm.defineMethod(objectProto, "toString", objectToString);
    vm.defineMethod(objectProto, "toLocaleString", objectToString);
    vm.defineMethod(objectProto, "valueOf", objectValueOf);
    vm.defineMethod(objectProto, "hasOwnProperty", objectHasOwnProperty);
    vm.defineMethod(objectProto, "isPropertyEnumerable", objectIsPropertyEnumerable);
    vm.defineMethod(objectProto, "isPrototypeOf", objectIsPrototypeOf);
    vm.defineMethod(objectProto, "addProperty", objectAddProperty);
    vm.defineMethod(objectProto, "watch", objectWatch);
    vm.defineMethod(objectProto, "unwatch", objectUnwatch);
    vm.defineMethod(object, "registerClass", objectRegisterClass);

    Object* functionProto = vm.functionProto();
    FunctionObject* function = vm.newNative(functionCallAsObject);
    function->native = functionCallAsFunction;
    function->constructNative = functionCallAsObject;
    vm.defineValue(function, "prototype", functionProto, DontEnum | DontDelete | ReadOnly);
    vm.defineValue(functionProto, "constructor", function, DontEnum | DontDelete);
    vm.defineValue(vm.global(), "Function", function);
    vm.defineMethod(functionProto, "call", functionCall);
    vm.defineMethod(functionProto, "apply", functionApply);

    vm.booleanProto = vm.newObject();
    vm.defineClass("Boolean", booleanCall, booleanConstruct, vm.booleanProto);
    vm.defineMethod(vm.booleanProto, "toString", booleanToString);
    vm.defineMethod(vm.booleanProto, "valueOf", objectValueOf);

    vm.errorProto = vm.newObject();
    vm.defineClass("Error", errorConstruct, errorConstruct, vm.errorProto);
    vm.defineValue(vm.errorProto, "message", Value(Str("Error")));
    vm.defineValue(vm.errorProto, "name", Value(Str("Error")));
    vm.defineMethod(vm.errorProto, "toString", errorToString);

    vm.defineMethod(vm.global(), "ASSetPropFlags", asSetPropFlags);
}

} // namespace zf::avm1
