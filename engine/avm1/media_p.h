// Installers of the media classes, split by topic.
#pragma once

namespace zf::avm1 {

class Vm;

// Sound: volume, pan and channel mix per target clip (builtins_sound.cpp).
void installSound(Vm& vm);

} // namespace zf::avm1
