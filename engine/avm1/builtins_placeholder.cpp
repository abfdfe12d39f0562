// Classes and objects whose behaviour is not implemented yet still exist
// with the reference shape (a constructor with a prototype object, or a
// plain object), so feature tests such as `typeof XML` and class
// extension by movies see what they expect.
#include "xml_p.h"

namespace zf::avm1 {

namespace {

// Construction leaves the fresh instance as it is.
Value constructEmpty(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

void defineClassIfMissing(Vm& vm, Object* on, std::string_view name)
{
    if (vm.hasOwn(on, vm.intern(name))) {
        return;
    }
    FunctionObject* ctor = vm.newNative(constructEmpty);
    Object* prototype = vm.newObject();
    vm.defineValue(ctor, "prototype", prototype, DontEnum | DontDelete);
    vm.defineValue(prototype, "constructor", ctor, DontEnum | DontDelete);
    vm.defineValue(on, name, ctor);
}

Object* defineObjectIfMissing(Vm& vm, Object* on, std::string_view name)
{
    Value existing = vm.get(on, name);
    if (Object* object = existing.object()) {
        return object;
    }
    Object* object = vm.newObject();
    vm.defineValue(on, name, object);
    return object;
}

} // namespace

void installPlaceholderBuiltins(Vm& vm)
{
    Object* global = vm.global();
    for (std::string_view name : {"Camera", "ContextMenu", "ContextMenuItem", "Microphone",
                                  "PrintJob", "TextFormat", "TextSnapshot", "Video", "XMLSocket"}) {
        defineClassIfMissing(vm, global, name);
    }
    defineObjectIfMissing(vm, global, "Accessibility");
    if (Object* textField = vm.get(global, "TextField").object()) {
        if (!vm.hasOwn(textField, vm.intern("StyleSheet"))) {
            installStyleSheet(vm, textField);
        }
        // Style sheets arrived with SWF 7.
        if (Property* property = textField->properties().find(vm.intern("StyleSheet"), vm.fold())) {
            property->versionBits |= 0x400;
        }
    }
}

} // namespace zf::avm1
