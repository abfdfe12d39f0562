// Script objects of display objects and the stage-side script runner.
#include "clip_p.h"

#include <cmath>

namespace zf::avm1 {

namespace {

bool isUnset(double n)
{
    return std::isnan(n) || std::isinf(n);
}

} // namespace

ClipObject::ClipObject(Object* proto, StageRunner& runner,
                       const std::shared_ptr<display::DisplayObject>& object)
    : Object(proto, Kind::Clip), m_runner(runner), m_object(object)
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

bool ClipObject::getSpecial(Vm& vm, const Str& key, Value& out)
{
    display::DisplayObject* object = display();
    std::string_view name = key.view();
    if (!object || name.empty()) {
        return false;
    }
    if (name[0] != '_') {
        if (properties().find(key, vm.fold())) {
            return false;
        }
        display::MovieClip* movie = object->asMovieClip();
        if (movie) {
            if (display::DisplayObject* child = movie->childByName(name)) {
                out = Value(m_runner.objectFor(*child));
                return true;
            }
        }
        if (display::TextField* field = object->asTextField()) {
            std::string lower = foldCase(name);
            if (lower == "text") {
                out = Value(Str(field->text()));
                return true;
            }
            if (lower == "htmltext") {
                out = Value(Str(field->htmlText()));
                return true;
            }
        }
        return false;
    }
    std::string lower = foldCase(name);
    display::MovieClip* movie = object->asMovieClip();
    if (lower == "_x") {
        out = Value(object->x());
    } else if (lower == "_y") {
        out = Value(object->y());
    } else if (lower == "_xscale") {
        out = Value(object->xScale());
    } else if (lower == "_yscale") {
        out = Value(object->yScale());
    } else if (lower == "_rotation") {
        out = Value(object->rotation());
    } else if (lower == "_alpha") {
        out = Value(object->alpha());
    } else if (lower == "_visible") {
        out = Value(object->visible());
    } else if (lower == "_width") {
        out = Value(object->width());
    } else if (lower == "_height") {
        out = Value(object->height());
    } else if (lower == "_name") {
        out = Value(Str(object->name()));
    } else if (lower == "_target") {
        out = Value(Str(object->slashPath()));
    } else if (lower == "_currentframe") {
        out = Value(double(movie ? movie->currentFrame() : 1));
    } else if (lower == "_totalframes" || lower == "_framesloaded") {
        out = Value(double(movie ? movie->totalFrames() : 1));
    } else if (lower == "_parent") {
        display::MovieClip* parent = object->parent();
        out = parent ? Value(m_runner.objectFor(*parent)) : Value();
    } else if (lower == "_global") {
        out = Value(vm.global());
    } else if (lower == "_root" || lower == "_level0") {
        out = Value(m_runner.objectFor(m_runner.stage().root()));
    } else if (lower == "_url") {
        out = Value(Str());
    } else if (lower == "_droptarget") {
        out = Value(Str());
    } else if (lower == "_xmouse" || lower == "_ymouse") {
        Point local = object->globalToLocal(m_runner.stage().mousePosition());
        out = Value((lower == "_xmouse" ? local.x : local.y) / 20.0);
    } else if (lower == "_highquality") {
        out = Value(1.0);
    } else if (lower == "_quality") {
        out = Value(Str("HIGH"));
    } else if (lower == "_focusrect") {
        out = Value(true);
    } else if (lower == "_soundbuftime") {
        out = Value(5.0);
    } else {
        return false;
    }
    return true;
}

bool ClipObject::setSpecial(Vm& vm, const Str& key, const Value& value)
{
    display::DisplayObject* object = display();
    std::string_view name = key.view();
    if (!object || name.empty()) {
        return false;
    }
    if (name[0] != '_') {
        if (display::TextField* field = object->asTextField()) {
            std::string lower = foldCase(name);
            if (lower == "text") {
                field->setText(vm.toString(value));
                return true;
            }
            if (lower == "htmltext") {
                field->setHtmlText(vm.toString(value));
                return true;
            }
        }
        return false;
    }
    std::string lower = foldCase(name);
    auto number = [&] { return vm.toNumber(value); };
    if (lower == "_x") {
        if (double n = number(); !isUnset(n)) {
            object->setX(n);
        }
    } else if (lower == "_y") {
        if (double n = number(); !isUnset(n)) {
            object->setY(n);
        }
    } else if (lower == "_xscale") {
        if (double n = number(); !isUnset(n)) {
            object->setXScale(n);
        }
    } else if (lower == "_yscale") {
        if (double n = number(); !isUnset(n)) {
            object->setYScale(n);
        }
    } else if (lower == "_rotation") {
        if (double n = number(); !isUnset(n)) {
            object->setRotation(n);
        }
    } else if (lower == "_alpha") {
        if (double n = number(); !std::isnan(n)) {
            object->setAlpha(n);
        }
    } else if (lower == "_visible") {
        object->setVisible(vm.toBoolean(value));
    } else if (lower == "_width") {
        if (double n = number(); !isUnset(n) && n >= 0) {
            object->setWidth(n);
        }
    } else if (lower == "_height") {
        if (double n = number(); !isUnset(n) && n >= 0) {
            object->setHeight(n);
        }
    } else if (lower == "_name") {
        object->setName(vm.toString(value));
        refreshPath();
    } else if (lower == "_target" || lower == "_currentframe" || lower == "_totalframes" ||
               lower == "_framesloaded" || lower == "_url" || lower == "_droptarget" ||
               lower == "_xmouse" || lower == "_ymouse" || lower == "_parent" || lower == "_root") {
        // Read-only properties ignore assignments.
    } else if (lower == "_highquality" || lower == "_quality" || lower == "_focusrect" ||
               lower == "_soundbuftime") {
    } else {
        return false;
    }
    return true;
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
    // class's prototype and constructor.
    display::MovieClip* movie = object.asMovieClip();
    if (!movie || movie->isRoot()) {
        return;
    }
    Value registry = m_vm.get(m_vm.global(), "__classRegistry");
    if (!registry.isObject()) {
        return;
    }
    for (const auto& entry : m_stage.movie().exports()) {
        if (entry.id != object.characterId()) {
            continue;
        }
        Value constructor = m_vm.get(registry.object(), m_vm.intern(entry.name));
        if (constructor.object() && constructor.object()->kind() == Kind::Function) {
            Value prototype = m_vm.get(constructor.object(), m_vm.names().prototype);
            if (prototype.object()) {
                clip->setProto(prototype.object());
            }
            m_vm.callHandler(constructor, clip, {});
            return;
        }
    }
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
// strings, and numbers truncated and wrapped modulo 2^32; 0 when none.
int frameNumber(Vm& vm, display::MovieClip& clip, const Value& frame)
{
    if (frame.isNumber()) {
        double n = frame.number();
        if (std::isnan(n)) {
            return 0;
        }
        uint32_t wrapped = toUint32(n);
        return wrapped > 0x7FFFFFFF ? 0 : int(wrapped);
    }
    std::string text = vm.toString(frame);
    double n = stringToNumber(text, 7);
    if (!text.empty() && !std::isnan(n)) {
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
    clip->gotoFrame(number + bias, play);
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
    display::MovieClip* clip = target ? target->asMovieClip() : nullptr;
    if (clip && !std::isnan(depth)) {
        clip->duplicate(std::string(name.view()), int(depth) + display::kScriptDepthOffset);
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
