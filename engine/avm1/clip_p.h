// The bridge between script objects and the display list: the script object
// of a movie clip, button or text field, and the stage-side runner.
#pragma once

#include "vm_p.h"

#include "display/display.h"

#include <unordered_map>
#include <unordered_set>

namespace zf::avm1 {

class StageRunner;

// The script face of a display object. It holds the object weakly; when the
// object is gone, the reference is looked up again by its target path (a clip
// removed and placed again by the timeline is the "same" clip to scripts).
class ClipObject : public Object {
public:
    ClipObject(Object* proto, StageRunner& runner,
               const std::shared_ptr<display::DisplayObject>& o);

    // The live display object, or nullptr.
    display::DisplayObject* display() const;
    display::MovieClip* clip() const;
    const std::string& path() const { return m_path; }
    // What the object was made for (kept after it left the stage).
    display::ObjectKind kindOfDisplay() const { return m_kind; }
    void refreshPath();

    // Focus settings a script gave this object (tabIndex, _focusrect);
    // unset until one does.
    std::optional<int32_t> tabIndex;
    std::optional<bool> focusRect;

    bool getSpecial(Vm& vm, const Str& key, Value& out) override;
    bool setSpecial(Vm& vm, const Str& key, const Value& value) override;
    void specialKeys(Vm& vm, std::vector<Str>& keys) override;

private:
    bool getUnderscore(Vm& vm, display::DisplayObject& object, const std::string& lower,
                       Value& out);
    bool setUnderscore(Vm& vm, display::DisplayObject& object, const std::string& lower,
                       const Value& value);
    display::DisplayObject* childNamed(display::DisplayObject& object, std::string_view name) const;
    void syncPlainProperty(Vm& vm, display::DisplayObject& object, const std::string& lower,
                           const Value& value);
    bool setPlayerSetting(Vm& vm, const std::string& lower, const Value& value);

    StageRunner& m_runner;
    std::weak_ptr<display::DisplayObject> m_object;
    std::string m_path;
    bool m_lockRoot = false;
    display::ObjectKind m_kind;
};

// Attached to each display object that has a script object.
struct ClipAttachment : display::ScriptAttachment {
    ClipObject* object = nullptr;
};

class StageRunner final : public display::ScriptRunner, public ClipBinding {
public:
    StageRunner(Vm& vm, display::Stage& stage);
    ~StageRunner() override;
    StageRunner(const StageRunner&) = delete;
    StageRunner& operator=(const StageRunner&) = delete;

    Vm& vm() { return m_vm; }
    display::Stage& stage() { return m_stage; }
    // The script object for a display object, created on first use.
    ClipObject* objectFor(display::DisplayObject& object);
    // The display object a script value names (clip object or path string).
    display::DisplayObject* displayOf(Object* object) const;
    display::DisplayObject* findByPath(std::string_view path) const;
    Object* movieClipProto = nullptr;
    Object* buttonProto = nullptr;
    Object* textFieldProto = nullptr;
    // Player-wide settings any clip reads and writes (_quality,
    // _soundbuftime): quality 0 low, 1 medium, 2 high, 3 best.
    int quality = 2;
    int soundBufferTime = 5;

    // display::ScriptRunner
    void beginTick(double) override {}
    void endTick() override {}
    void runFrameActions(display::MovieClip& clip, std::span<const uint8_t> actions) override;
    void runInitActions(display::MovieClip& timeline, uint16_t spriteId,
                        std::span<const uint8_t> actions) override;
    void dispatchClipEvent(display::DisplayObject& object, display::ClipEvent event,
                           const display::EventKey& key) override;
    void runButtonActions(display::Button& button, uint16_t conditions,
                          std::span<const uint8_t> actions) override;
    void objectCreated(display::DisplayObject& object) override;
    void objectRemoved(display::DisplayObject& object) override;
    bool hasButtonHandlers(const display::DisplayObject& object) const override;

    // ClipBinding
    void gotoFrame(Object* clip, const Value& frame, bool play, int bias) override;
    void setPlaying(Object* clip, bool playing) override;
    void stepFrame(Object* clip, int delta) override;
    void callFrame(Object* clip, const Value& frame) override;
    void cloneClip(Object* clip, const Str& name, double depth) override;
    void removeClip(Object* clip) override;
    void startDrag(Object* clip, bool lockCenter, const double* bounds) override;
    void stopDrag() override;
    std::string targetPath(Object* object) override;
    void addRoots(std::vector<Object*>& roots) override;
    Object* forward(Object* object) override;
    bool isRemoved(Object* object) override;
    bool isMovieClip(Object* object) override;
    // Loading (builtins_loading.cpp).
    void getUrl(const std::string& url, const std::string& target, int flags) override;
    Object* rootOf(Object* clip) override;
    Object* level(int number) override;

    // Properties copied onto the next clip created (attachMovie's init object).
    void setPendingInit(Object* init) { m_pendingInit = init; }
    // Objects that movie loads still waiting for the end of the frame refer
    // to (MovieClipLoader listeners); kept alive until the load is done. The
    // stage's requests hold it weakly, which also tells them whether this
    // runner still exists.
    std::shared_ptr<std::vector<Object*>> loadRoots = std::make_shared<std::vector<Object*>>();

private:
    std::shared_ptr<const std::vector<uint8_t>> block(std::span<const uint8_t> actions);
    void runHandler(Object* object, std::string_view name);
    // The constructor Object.registerClass linked to the object's symbol.
    Value registeredClass(const display::DisplayObject& object);

    Vm& m_vm;
    display::Stage& m_stage;
    std::unordered_set<ClipObject*> m_live;
    std::unordered_map<const uint8_t*, std::shared_ptr<const std::vector<uint8_t>>> m_blocks;
    Object* m_pendingInit = nullptr;
};

void installMovieClipBuiltins(Vm& vm, StageRunner& runner);
void installClipProperties(Vm& vm, Object* movieClipProto, Object* buttonProto);
// Video.prototype, for the script objects of placed videos.
Object* videoPrototype(Vm& vm);
void installTextBuiltins(Vm& vm, StageRunner& runner);
// loadMovie, loadVariables and unloadMovie of MovieClip.prototype.
void installLoadingBuiltins(Vm& vm, StageRunner& runner);

} // namespace zf::avm1
