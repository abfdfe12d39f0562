// Variable lookups the interpreter loop needs beyond the Vm's own: which
// object held a name that was read, and declarations without a value.
#pragma once

#include "vm_p.h"

namespace zf::avm1 {

// Reads a variable like Vm::getVariable. `holder` receives the object the
// value was found on when that is a with-object, a function's locals or the
// end of a path (a call by name runs with it as `this`), else null.
Value findVariable(Vm& vm, Context& context, const Str& name, Object** holder);

// `var name;`: creates the variable, undefined, unless it exists already.
void declareVariable(Vm& vm, Context& context, const Str& name);

// The clip a SetTarget / SetTarget2 operand names, null when none: clips
// go by their path (a reference to a replaced clip finds the one now at that
// path), other values by their string.
Object* targetClip(Vm& vm, Context& context, const Value& operand);

} // namespace zf::avm1
