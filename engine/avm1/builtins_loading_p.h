// Movie load requests shared by MovieClip.loadMovie, the GetURL actions and
// MovieClipLoader.
#pragma once

#include "clip_p.h"

#include <functional>
#include <string>

namespace zf::avm1 {

// A clip, or (clip null, level >= 0) a level.
struct LoadTarget {
    display::MovieClip* clip = nullptr;
    int level = -1;
};

// What the loader wants to hear; see display::LoadRequest.
struct LoadCallbacks {
    std::function<void(display::MovieClip*, const std::string&, const movie::MovieDefinition*)>
        onLoaded;
    std::function<void(display::MovieClip&)> onInit;
};

// Queues a load of `url` (empty: an unload) for the end of the frame. A URL
// that is not a local file is refused with a warning; false then.
bool requestMovieLoad(Vm& vm, LoadTarget target, const std::string& url, LoadCallbacks callbacks);

// Drops a clip's variables, handlers and registered class, as happens when
// another movie is loaded into it.
void resetClipScript(Vm& vm, display::MovieClip& clip);

} // namespace zf::avm1
