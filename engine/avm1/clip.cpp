// Script objects of display objects and the stage-side script runner.
#include "clip_p.h"
#include "text_p.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zf::avm1 {

ClipObject::ClipObject(Object* proto, StageRunner& runner,
                       const std::shared_ptr<display::DisplayObject>& object)
    : Object(proto, Kind::Clip), m_runner(runner), m_object(object), m_kind(object->kind())
{
    refreshPath();
}

display::DisplayObject* ClipObject::display() const
{
    auto object = m_object.lock();
    return object && !object->removed() ? object.get() : nullptr;
}

display::MovieClip* ClipObject::clip() const
{
    display::DisplayObject* object = display();
    return object ? object->asMovieClip() : nullptr;
}

void ClipObject::refreshPath()
{
    if (display::DisplayObject* object = display()) {
        m_path = object->targetPath();
    }
}

// --- the runner -------------------------------------------------------------

StageRunner::StageRunner(Vm& vm, display::Stage& stage) : m_vm(vm), m_stage(stage) {}

StageRunner::~StageRunner()
{
    // The interpreter goes first: the stage must not call into it afterwards.
    if (m_stage.scriptRunner() == &m_vm) {
        m_stage.setScriptRunner(nullptr);
    }
}

ClipObject* StageRunner::objectFor(display::DisplayObject& object)
{
    if (auto* attachment = dynamic_cast<ClipAttachment*>(object.script.get())) {
        if (attachment->object) {
            return attachment->object;
        }
    }
    Object* proto = m_vm.objectProto();
    switch (object.kind()) {
    case display::ObjectKind::MovieClip: proto = movieClipProto; break;
    case display::ObjectKind::Button: proto = buttonProto; break;
    case display::ObjectKind::TextField: proto = textFieldProto; break;
    case display::ObjectKind::Video: proto = videoPrototype(m_vm); break;
    default: break;
    }
    auto* clip = m_vm.heap().make<ClipObject>(proto, *this, object.shared_from_this());
    auto attachment = std::make_unique<ClipAttachment>();
    attachment->object = clip;
    object.script = std::move(attachment);
    m_live.insert(clip);
    return clip;
}

display::DisplayObject* StageRunner::displayOf(Object* object) const
{
    if (!object || object->kind() != Kind::Clip) {
        return nullptr;
    }
    return static_cast<ClipObject*>(object)->display();
}

display::DisplayObject* StageRunner::findByPath(std::string_view path) const
{
    if (path.substr(0, 7) != "_level0") {
        return nullptr;
    }
    display::DisplayObject* current = &m_stage.root();
    size_t i = 7;
    while (current && i < path.size()) {
        size_t next = path.find('.', i + 1);
        if (next == std::string_view::npos) {
            next = path.size();
        }
        std::string_view name = path.substr(i + 1, next - i - 1);
        display::MovieClip* clip = current->asMovieClip();
        current = clip ? clip->childByName(name) : nullptr;
        i = next;
    }
    return current;
}

std::shared_ptr<const std::vector<uint8_t>> StageRunner::block(std::span<const uint8_t> actions)
{
    auto& cached = m_blocks[actions.data()];
    if (!cached || cached->size() != actions.size()) {
        cached = std::make_shared<const std::vector<uint8_t>>(actions.begin(), actions.end());
    }
    return cached;
}

void StageRunner::runFrameActions(display::MovieClip& clip, std::span<const uint8_t> actions)
{
    if (clip.removed()) {
        return;
    }
    ClipObject* object = objectFor(clip);
    m_vm.runBlock(block(actions), object, object);
}

void StageRunner::runInitActions(display::MovieClip& timeline, uint16_t,
                                 std::span<const uint8_t> actions)
{
    ClipObject* object = objectFor(timeline);
    m_vm.runBlock(block(actions), object, object);
}

namespace {

const char* handlerName(display::ClipEvent event)
{
    using display::ClipEvent;
    switch (event) {
    case ClipEvent::Load: return "onLoad";
    case ClipEvent::EnterFrame: return "onEnterFrame";
    case ClipEvent::Unload: return "onUnload";
    case ClipEvent::MouseMove: return "onMouseMove";
    case ClipEvent::MouseDown: return "onMouseDown";
    case ClipEvent::MouseUp: return "onMouseUp";
    case ClipEvent::KeyDown: return "onKeyDown";
    case ClipEvent::KeyUp: return "onKeyUp";
    case ClipEvent::Data: return "onData";
    case ClipEvent::Press: return "onPress";
    case ClipEvent::Release: return "onRelease";
    case ClipEvent::ReleaseOutside: return "onReleaseOutside";
    case ClipEvent::RollOver: return "onRollOver";
    case ClipEvent::RollOut: return "onRollOut";
    case ClipEvent::DragOver: return "onDragOver";
    case ClipEvent::DragOut: return "onDragOut";
    default: return nullptr;
    }
}

} // namespace

void StageRunner::runHandler(Object* object, std::string_view name)
{
    Value handler = m_vm.get(object, m_vm.intern(name));
    if (handler.object() && handler.object()->kind() == Kind::Function) {
        m_vm.callHandler(handler, object, {});
    }
}

void StageRunner::dispatchClipEvent(display::DisplayObject& object, display::ClipEvent event,
                                    const display::EventKey& key)
{
    ClipObject* clip = objectFor(object);
    auto bit = static_cast<uint32_t>(event);
    if (const swf::ClipActions* actions = object.clipActions();
        actions && (actions->allEvents & bit)) {
        for (const auto& record : actions->records) {
            if (!(record.events & bit)) {
                continue;
            }
            if (event == display::ClipEvent::KeyPress && record.keyCode != key.buttonKeyCode) {
                continue;
            }
            m_vm.runBlock(block(record.actions), clip, clip);
        }
    }
    if (event == display::ClipEvent::Construct && !object.removed()) {
        // The registered class's constructor runs after on(construct).
        if (Value constructor = registeredClass(object); constructor.object()) {
            m_vm.callHandler(constructor, clip, {});
        }
    }
    if (const char* name = handlerName(event); name && !object.removed()) {
        runHandler(clip, name);
    }
    // Input reaches every clip; the global listeners hear it once, with the root.
    if (&object == &m_stage.root()) {
        using display::ClipEvent;
        switch (event) {
        case ClipEvent::MouseMove: m_vm.broadcast("Mouse", "onMouseMove"); break;
        case ClipEvent::MouseDown: m_vm.broadcast("Mouse", "onMouseDown"); break;
        case ClipEvent::MouseUp: m_vm.broadcast("Mouse", "onMouseUp"); break;
        case ClipEvent::KeyDown: m_vm.broadcast("Key", "onKeyDown"); break;
        case ClipEvent::KeyUp: m_vm.broadcast("Key", "onKeyUp"); break;
        default: break;
        }
    }
}

void StageRunner::runButtonActions(display::Button& button, uint16_t,
                                   std::span<const uint8_t> actions)
{
    display::MovieClip* parent = button.parent();
    ClipObject* timeline = parent ? objectFor(*parent) : objectFor(m_stage.root());
    m_vm.runBlock(block(actions), timeline, timeline);
}

void StageRunner::objectCreated(display::DisplayObject& object)
{
    if (object.kind() != display::ObjectKind::MovieClip &&
        object.kind() != display::ObjectKind::Button &&
        object.kind() != display::ObjectKind::TextField) {
        return;
    }
    ClipObject* clip = objectFor(object);
    // A library symbol linked to a class with Object.registerClass gets that
    // class's prototype now; the constructor runs with the construct event.
    if (Value constructor = registeredClass(object); constructor.object()) {
        Value prototype = m_vm.get(constructor.object(), m_vm.names().prototype);
        if (prototype.object()) {
            clip->setProto(prototype.object());
        }
    }
    // attachMovie/duplicateMovieClip's init object comes before any event.
    if (Object* init = m_pendingInit) {
        m_pendingInit = nullptr;
        // Copied oldest property first: enumeration lists the newest first,
        // and setters on the clip see the properties set before them.
        std::vector<Str> names = m_vm.enumerate(init);
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            m_vm.set(clip, *name, m_vm.get(init, *name));
        }
    }
    if (display::TextField* field = object.asTextField()) {
        bindTextField(m_vm, *field);
    }
}

Value StageRunner::registeredClass(const display::DisplayObject& object)
{
    const display::MovieClip* movie = object.asMovieClip();
    if (!movie || movie->isRoot() || object.characterId() == 0) {
        return {};
    }
    Value registry = m_vm.get(m_vm.global(), "__classRegistry");
    if (!registry.isObject()) {
        return {};
    }
    for (const auto& entry : m_stage.movie().exports()) {
        if (entry.id != object.characterId()) {
            continue;
        }
        Value constructor = m_vm.get(registry.object(), m_vm.intern(entry.name));
        if (constructor.object() && constructor.object()->kind() == Kind::Function) {
            return constructor;
        }
    }
    return {};
}

void StageRunner::objectRemoved(display::DisplayObject& object)
{
    if (auto* attachment = dynamic_cast<ClipAttachment*>(object.script.get())) {
        m_live.erase(attachment->object);
        attachment->object = nullptr;
    }
}

bool StageRunner::hasButtonHandlers(const display::DisplayObject& object) const
{
    auto* attachment = dynamic_cast<ClipAttachment*>(object.script.get());
    if (!attachment || !attachment->object) {
        return false;
    }
    for (const char* name : {"onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut",
                             "onDragOver", "onDragOut"}) {
        if (m_vm.has(attachment->object, m_vm.intern(name))) {
            return true;
        }
    }
    return false;
}

// --- timeline control ---------------------------------------------------------

namespace {

// A frame number from a script value: labels (case-insensitive), numeric
// strings and numbers; 0 when the value names no frame. The player counts
// frames from 0 in 32-bit integers: the value wraps to 32 bits and one is
// taken off with wrapping, so -2^31 lands past the end (the last frame)
// while 0 and every other negative number name nothing.
int frameNumber(Vm& vm, display::MovieClip& clip, const Value& frame)
{
    if (frame.isNumber()) {
        double n = frame.number();
        auto index = int32_t(uint32_t(toInt32(std::isnan(n) ? 0 : n)) - 1u);
        return index < 0 ? 0 : (index == INT32_MAX ? INT32_MAX : index + 1);
    }
    std::string text = vm.toString(frame);
    double n = stringToNumber(text, 7);
    if (!text.empty() && n == std::trunc(n)) {
        return frameNumber(vm, clip, Value(n));
    }
    return clip.frameOfLabel(text).value_or(0);
}

} // namespace

void StageRunner::gotoFrame(Object* object, const Value& frame, bool play, int bias)
{
    display::DisplayObject* target = displayOf(forward(object));
    display::MovieClip* clip = target ? target->asMovieClip() : nullptr;
    if (!clip) {
        return;
    }
    int number = frameNumber(m_vm, *clip, frame);
    if (number <= 0) {
        return;
    }
    // The scene bias of GotoFrame2 may carry the frame past the last one;
    // gotoFrame clamps.
    clip->gotoFrame(int(std::min<int64_t>(int64_t(number) + bias, INT32_MAX)), play);
}

void StageRunner::setPlaying(Object* object, bool playing)
{
    display::DisplayObject* target = displayOf(forward(object));
    if (display::MovieClip* clip = target ? target->asMovieClip() : nullptr) {
        playing ? clip->play() : clip->stop();
    }
}

void StageRunner::stepFrame(Object* object, int delta)
{
    display::DisplayObject* target = displayOf(forward(object));
    if (display::MovieClip* clip = target ? target->asMovieClip() : nullptr) {
        delta > 0 ? clip->nextFrame() : clip->prevFrame();
    }
}

void StageRunner::callFrame(Object* object, const Value& frame)
{
    display::DisplayObject* target = displayOf(forward(object));
    display::MovieClip* clip = target ? target->asMovieClip() : nullptr;
    if (!clip) {
        return;
    }
    int number = frameNumber(m_vm, *clip, frame);
    if (number <= 0 || number > clip->timeline().frameCount()) {
        return;
    }
    ClipObject* self = objectFor(*clip);
    for (const auto& tag : clip->timeline().frame(number).tags) {
        if (const auto* action = std::get_if<movie::ActionTag>(&tag)) {
            m_vm.runBlock(block(action->actions), self, self);
        }
    }
}

void StageRunner::cloneClip(Object* object, const Str& name, double depth)
{
    display::DisplayObject* target = displayOf(forward(object));
    // CloneSprite gives a timeline depth (16384 is script depth 0); the
    // topmost depths are reserved.
    constexpr double kMaxCloneDepth = 2130706428;
    if (!target || std::isnan(depth) || depth < -kMaxCloneDepth || depth > kMaxCloneDepth) {
        return;
    }
    if (display::MovieClip* clip = target->asMovieClip()) {
        clip->duplicate(std::string(name.view()), int(depth));
    } else if (display::TextField* field = target->asTextField(); field && field->parent()) {
        field->parent()->duplicateField(*field, std::string(name.view()), int(depth));
    }
}

void StageRunner::removeClip(Object* object)
{
    display::DisplayObject* target = displayOf(forward(object));
    if (target && target->parent()) {
        target->parent()->removeChild(*target);
    }
}

void StageRunner::startDrag(Object* object, bool lockCenter, const double* bounds)
{
    display::DisplayObject* target = displayOf(forward(object));
    display::MovieClip* clip = target ? target->asMovieClip() : nullptr;
    if (!clip) {
        return;
    }
    std::optional<Bounds> constraint;
    if (bounds) {
        Bounds b;
        b.xMin = bounds[0] * 20;
        b.yMin = bounds[1] * 20;
        b.xMax = bounds[2] * 20;
        b.yMax = bounds[3] * 20;
        constraint = b;
    }
    m_stage.startDrag(*clip, lockCenter, constraint);
}

void StageRunner::stopDrag()
{
    m_stage.stopDrag();
}

std::string StageRunner::targetPath(Object* object)
{
    if (!object || object->kind() != Kind::Clip) {
        return {};
    }
    auto* clip = static_cast<ClipObject*>(object);
    if (display::DisplayObject* target = clip->display()) {
        return target->targetPath();
    }
    Object* forwarded = forward(object);
    if (forwarded != object) {
        return targetPath(forwarded);
    }
    return {};
}

void StageRunner::addRoots(std::vector<Object*>& roots)
{
    roots.insert(roots.end(), m_live.begin(), m_live.end());
    roots.insert(roots.end(), loadRoots->begin(), loadRoots->end());
}

Object* StageRunner::forward(Object* object)
{
    auto* clip = static_cast<ClipObject*>(object);
    if (clip->display() || clip->path().empty()) {
        return object;
    }
    display::DisplayObject* found = findByPath(clip->path());
    return found ? objectFor(*found) : object;
}

bool StageRunner::isRemoved(Object* object)
{
    return object && object->kind() == Kind::Clip && !static_cast<ClipObject*>(object)->display();
}

bool StageRunner::isMovieClip(Object* object)
{
    return object && object->kind() == Kind::Clip &&
           static_cast<ClipObject*>(object)->kindOfDisplay() == display::ObjectKind::MovieClip;
}

// --- creation -------------------------------------------------------------------

std::unique_ptr<Interpreter> createInterpreter(display::Stage& stage, const Options& options)
{
    Options adjusted = options;
    if (adjusted.swfVersion <= 0) {
        adjusted.swfVersion = stage.swfVersion();
    }
    auto vm = std::make_unique<Vm>(adjusted);
    auto runner = std::make_unique<StageRunner>(*vm, stage);
    StageRunner& binding = *runner;
    installMovieClipBuiltins(*vm, binding);
    installTextBuiltins(*vm, binding);
    installPlaceholderBuiltins(*vm);
    vm->setRoot(binding.objectFor(stage.root()));
    // The runner is both the stage-event handler and the clip binding; the
    // Vm owns it as its binding.
    vm->setStageRunner(&binding);
    vm->setBinding(std::move(runner));
    stage.setScriptRunner(vm.get());
    return vm;
}

} // namespace zf::avm1
