// Date, in the local time zone.
#include "vm_p.h"

namespace zf::avm1 {

void installDateBuiltins(Vm& /*vm*/) {}

} // namespace zf::avm1
