// flash.filters: the filter classes as data.
#include "vm_p.h"

namespace zf::avm1 {

void installFilterBuiltins(Vm& /*vm*/) {}

} // namespace zf::avm1
