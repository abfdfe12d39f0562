// XML and XMLNode, their parser and serialiser, and the XML helpers of ExternalInterface.
#include "vm_p.h"

namespace zf::avm1 {

void installXmlBuiltins(Vm& /*vm*/) {}

} // namespace zf::avm1
