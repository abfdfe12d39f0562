// flash.display.BitmapData: a script-owned pixel buffer and its operations.
#include "vm_p.h"

namespace zf::avm1 {

void installBitmapBuiltins(Vm& /*vm*/) {}

} // namespace zf::avm1
