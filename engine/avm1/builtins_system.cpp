// System, System.capabilities and System.security, Stage, Mouse, SharedObject and ASnative.
#include "vm_p.h"

namespace zf::avm1 {

void installSystemBuiltins(Vm& /*vm*/) {}

} // namespace zf::avm1
