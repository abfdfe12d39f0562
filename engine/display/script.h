// The seam between the stage and the ActionScript interpreter.
//
// The stage decides *when* scripts run (frame order, clip events, button
// transitions); the interpreter, which implements ScriptRunner, decides
// *what* running them means. With no runner set the timelines still play
// and every script is skipped.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zf::display {

class DisplayObject;
class MovieClip;
class Button;

// Per-object data owned by the interpreter (its script object, handlers,
// variables). The stage only keeps it alive with the display object.
class ScriptAttachment {
public:
    virtual ~ScriptAttachment() = default;
};

// Clip events, with the bit values of the file's CLIPEVENTFLAGS, so that a
// placement's clip actions can be matched by `record.events & event`.
enum class ClipEvent : uint32_t {
    Load = 0x1,
    EnterFrame = 0x2,
    Unload = 0x4,
    MouseMove = 0x8,
    MouseDown = 0x10,
    MouseUp = 0x20,
    KeyDown = 0x40,
    KeyUp = 0x80,
    Data = 0x100,
    Initialize = 0x200,
    Press = 0x400,
    Release = 0x800,
    ReleaseOutside = 0x1000,
    RollOver = 0x2000,
    RollOut = 0x4000,
    DragOver = 0x8000,
    DragOut = 0x10000,
    KeyPress = 0x20000,
    Construct = 0x40000,
};

// Extra facts for key events.
struct EventKey {
    int keyCode = 0;       // Key.getCode() numbering
    uint32_t charCode = 0; // Unicode, 0 when none
    // The button key code of DefineButton2 / clipEvent(keyPress) that this
    // key matches (1 Left ... 18 Tab, 32-126 ASCII), 0 when none.
    uint8_t buttonKeyCode = 0;
};

class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;

    // A tick starts: `clockMs` is the stage clock (timers and intervals
    // fire by it). The operand stack is shared by every block of one tick.
    virtual void beginTick(double clockMs) = 0;
    // The tick's action queue has run; the operand stack is emptied here.
    virtual void endTick() = 0;

    // A DoAction block of `clip`'s timeline (queued, run in queue order).
    virtual void runFrameActions(MovieClip& clip, std::span<const uint8_t> actions) = 0;
    // A DoInitAction block found in `timeline`'s frame for sprite `spriteId`;
    // `this` is the timeline that contains the tag. Runs once per sprite id.
    virtual void runInitActions(MovieClip& timeline, uint16_t spriteId,
                                std::span<const uint8_t> actions) = 0;
    // Runs the object's clip actions for `event` (see
    // DisplayObject::clipActions(); AllEventFlags is a mask) and its
    // script-defined handler (onEnterFrame, onPress, onKeyDown, ...).
    virtual void dispatchClipEvent(DisplayObject& object, ClipEvent event, const EventKey& key) = 0;
    // One BUTTONCONDACTION block of a button whose condition matched a
    // state transition or key press. The Button instance's script handlers
    // (onRelease, ...) come separately through dispatchClipEvent() with the
    // matching ClipEvent (Press, Release, RollOver, ...).
    virtual void runButtonActions(Button& button, uint16_t conditions,
                                  std::span<const uint8_t> actions) = 0;

    // An object entered the display list (placed by the timeline or by a
    // script). Called before its initialize/construct events.
    virtual void objectCreated(DisplayObject& object) = 0;
    // An object left the display list (after its unload event). Script
    // references to it may live on; it will never be drawn again.
    virtual void objectRemoved(DisplayObject& object) = 0;

    // Whether the object has script mouse handlers (onPress, onRelease,
    // onRollOver, ...) that make a movie clip act as a button.
    virtual bool hasButtonHandlers(const DisplayObject& object) const
    {
        (void)object;
        return false;
    }

    // A problem with the movie that the player reports in the script output
    // (a placement on an occupied depth, ...).
    virtual void warning(const std::string& message) { (void)message; }
};

} // namespace zf::display
