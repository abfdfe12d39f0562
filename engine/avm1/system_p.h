// Helpers shared by the System, Stage and network classes.
#pragma once

#include "vm_p.h"

namespace zf::avm1 {

// Defines (or redefines) a getter/setter pair on an object, hidden from
// enumeration; `data` is passed to both natives.
void defineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn getter, NativeFn setter,
                    Value data = {});

// NetConnection, NetStream, LocalConnection, MovieClipLoader (builtins_net.cpp).
void installNetBuiltins(Vm& vm);
// SharedObject (builtins_shared_object.cpp).
void installSharedObject(Vm& vm);

} // namespace zf::avm1
