// flash.geom: Point, Rectangle, Matrix, ColorTransform and Transform.
#include "vm_p.h"

namespace zf::avm1 {

void installGeomBuiltins(Vm& /*vm*/) {}

} // namespace zf::avm1
