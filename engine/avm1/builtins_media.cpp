// Color and Sound.
#include "vm_p.h"

namespace zf::avm1 {

void installMediaBuiltins(Vm& /*vm*/) {}

} // namespace zf::avm1
