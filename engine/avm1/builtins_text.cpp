// TextField methods and properties, TextFormat, TextSnapshot and Selection.
#include "clip_p.h"

namespace zf::avm1 {

void installTextBuiltins(Vm& /*vm*/, StageRunner& /*runner*/) {}

} // namespace zf::avm1
