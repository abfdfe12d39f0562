// Selection (keyboard focus and the selected range of text fields) and
// TextSnapshot (the static text of a clip).
#include "text_p.h"

#include "text/styled.h"

#include <cmath>

namespace zf::avm1 {
namespace {

StageRunner& runnerOf(Vm& vm)
{
    return static_cast<StageRunner&>(vm.binding());
}

// --- Selection ---------------------------------------------------------------

// Which object has the focus; shared by the Selection methods as their data.
class FocusState : public Object {
public:
    explicit FocusState(Object* proto) : Object(proto, Kind::Native) {}
    std::weak_ptr<display::DisplayObject> focus;
    // The focused field's selection is reported only once it was set (a
    // script focusing a field selects its text after telling listeners).
    bool selectionSet = false;
    // setSelection puts the caret at its second position, which may be
    // the start of the selected range.
    bool caretAtBegin = false;

    display::DisplayObject* current() const
    {
        auto object = focus.lock();
        return object && !object->removed() ? object.get() : nullptr;
    }
};

FocusState* stateOf(const Value& data)
{
    return dynamic_cast<FocusState*>(data.object());
}

display::TextField* focusedField(const Value& data)
{
    FocusState* state = stateOf(data);
    display::DisplayObject* object = state && state->selectionSet ? state->current() : nullptr;
    return object ? object->asTextField() : nullptr;
}

Value objectValue(Vm& vm, display::DisplayObject* object)
{
    return object ? Value(runnerOf(vm).objectFor(*object)) : Value::null();
}

Value getFocus(Vm&, Object*, std::span<const Value>, const Value& data)
{
    FocusState* state = stateOf(data);
    display::DisplayObject* object = state ? state->current() : nullptr;
    return object ? Value(Str(object->targetPath())) : Value::null();
}

// Buttons and text fields take the focus; a clip does when it acts as a
// button or its focusEnabled is true.
bool canTakeFocus(Vm& vm, display::DisplayObject& object)
{
    switch (object.kind()) {
    case display::ObjectKind::Button:
    case display::ObjectKind::TextField: return true;
    case display::ObjectKind::MovieClip: {
        StageRunner& runner = runnerOf(vm);
        if (runner.hasButtonHandlers(object)) {
            return true;
        }
        return vm.toBoolean(vm.get(runner.objectFor(object), vm.intern("focusEnabled")));
    }
    default: return false;
    }
}

void callFocusHandler(Vm& vm, display::DisplayObject* object, const char* name,
                      display::DisplayObject* other)
{
    if (!object) {
        return;
    }
    Object* self = runnerOf(vm).objectFor(*object);
    Value handler = vm.get(self, vm.intern(name));
    if (handler.isObject()) {
        Value args[] = {objectValue(vm, other)};
        vm.callHandler(handler, self, args);
    }
}

// The object losing the focus hears onKillFocus, the one gaining it
// onSetFocus, then the Selection listeners onSetFocus(old, new).
void changeFocus(Vm& vm, Object* selection, FocusState& state, display::DisplayObject* next)
{
    display::DisplayObject* previous = state.current();
    display::TextField* field = next ? next->asTextField() : nullptr;
    if (previous == next) {
        // Focusing the focused field again selects all of it again.
        if (field) {
            field->selectionBegin = 0;
            field->selectionEnd = int(field->length());
            state.selectionSet = true;
            state.caretAtBegin = false;
        }
        return;
    }
    auto keepPrevious = previous ? previous->shared_from_this() : nullptr;
    auto keepNext = next ? next->shared_from_this() : nullptr;
    state.focus = keepNext;
    state.selectionSet = false;
    state.caretAtBegin = false;
    callFocusHandler(vm, previous, "onKillFocus", next);
    callFocusHandler(vm, next, "onSetFocus", previous);
    if (selection) {
        Value args[] = {Value(vm.intern("onSetFocus")), objectValue(vm, previous),
                        objectValue(vm, next)};
        vm.callMethod(selection, vm.intern("broadcastMessage"), args);
    }
    if (field && state.current() == next) {
        // A field a script focuses has all its text selected.
        field->selectionBegin = 0;
        field->selectionEnd = int(field->length());
        state.selectionSet = true;
    }
}

Value setFocus(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    FocusState* state = stateOf(data);
    if (!state) {
        return Value(false);
    }
    const Value& target = arg(args, 0);
    if (target.isNullish()) {
        changeFocus(vm, self, *state, nullptr);
        return Value(true);
    }
    display::DisplayObject* object = nullptr;
    if (target.isString()) {
        object = runnerOf(vm).findByPath(vm.toString(target));
    } else if (Object* o = target.object()) {
        object = runnerOf(vm).displayOf(vm.binding().forward(o));
    }
    if (!object || !canTakeFocus(vm, *object)) {
        return Value(false);
    }
    changeFocus(vm, self, *state, object);
    return Value(true);
}

Value selectionIndex(Vm&, Object*, std::span<const Value>, const Value& data)
{
    display::TextField* field = focusedField(data);
    return Value(field ? double(field->selectionBegin) : -1.0);
}

Value selectionEnd(Vm&, Object*, std::span<const Value>, const Value& data)
{
    display::TextField* field = focusedField(data);
    return Value(field ? double(field->selectionEnd) : -1.0);
}

Value caretIndex(Vm&, Object*, std::span<const Value>, const Value& data)
{
    display::TextField* field = focusedField(data);
    if (!field) {
        return Value(-1.0);
    }
    return Value(double(stateOf(data)->caretAtBegin ? field->selectionBegin : field->selectionEnd));
}

// Positions are clamped to the text; a missing or non-numeric end keeps
// the current one, and without a start nothing changes.
Value setSelection(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    FocusState* state = stateOf(data);
    display::DisplayObject* object = state ? state->current() : nullptr;
    display::TextField* field = object ? object->asTextField() : nullptr;
    if (!field || args.empty()) {
        return {};
    }
    auto position = [&](const Value& value, int fallback) {
        double n = vm.toNumber(value);
        if (std::isnan(n)) {
            return fallback;
        }
        return int(std::clamp(n, 0.0, double(field->length())));
    };
    int current = state->caretAtBegin ? field->selectionBegin : field->selectionEnd;
    int begin = position(args[0], field->selectionBegin);
    int end = args.size() > 1 ? position(args[1], current) : current;
    end = std::clamp(end, 0, int(field->length()));
    field->selectionBegin = std::min(begin, end);
    field->selectionEnd = std::max(begin, end);
    state->caretAtBegin = end < begin;
    state->selectionSet = true;
    return {};
}

// --- TextSnapshot ------------------------------------------------------------

// The text is taken when the snapshot is made; later changes to the clip
// do not show.
class SnapshotObject : public Object {
public:
    explicit SnapshotObject(Object* proto) : Object(proto, Kind::Native) {}
    std::optional<std::u32string> text;
};

// The characters of the static texts directly inside the clip, in depth
// order.
std::u32string clipStaticText(Vm& vm, const display::MovieClip& clip)
{
    const movie::MovieDefinition& movie = runnerOf(vm).stage().movie();
    std::u32string text;
    for (const auto& [depth, child] : clip.children()) {
        if (child->kind() != display::ObjectKind::StaticText) {
            continue;
        }
        const swf::StaticText* staticText = static_cast<display::StaticTextObject&>(*child).text();
        if (!staticText) {
            continue;
        }
        for (const swf::TextRecord& record : staticText->records) {
            const swf::Font* font = movie.font(record.fontId);
            for (const swf::GlyphEntry& glyph : record.glyphs) {
                if (font && glyph.index < font->codes.size() && text.size() < (1u << 20)) {
                    text.push_back(font->codes[glyph.index]);
                }
            }
        }
    }
    return text;
}

std::optional<std::u32string> snapshotText(Vm&, Object* self)
{
    auto* snapshot = dynamic_cast<SnapshotObject*>(self);
    return snapshot ? snapshot->text : std::nullopt;
}

Value snapshotCount(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    auto text = snapshotText(vm, self);
    return text ? Value(double(text->size())) : Value();
}

Value snapshotGetText(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    auto text = snapshotText(vm, self);
    if (!text) {
        return {};
    }
    auto position = [&](const Value& value) {
        double n = vm.toNumber(value);
        return std::isnan(n) ? size_t(0) : size_t(std::clamp(n, 0.0, double(text->size())));
    };
    size_t begin = position(arg(args, 0));
    size_t end = args.size() > 1 ? position(args[1]) : text->size();
    // An end before the start still returns one character.
    end = std::max(end, std::min(begin + 1, text->size()));
    return Value(Str(text::encodeUtf8(text->substr(begin, end - begin))));
}

Value snapshotFindText(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    auto text = snapshotText(vm, self);
    if (!text || args.size() < 3) {
        return text ? Value(-1.0) : Value();
    }
    double from = vm.toNumber(args[0]);
    std::u32string needle = text::decodeUtf8(vm.toString(args[1]));
    std::u32string haystack = *text;
    if (!vm.toBoolean(args[2])) {
        auto lower = [](std::u32string s) {
            for (char32_t& c : s) {
                if (c < 128) {
                    c = char32_t(std::tolower(int(c)));
                }
            }
            return s;
        };
        needle = lower(needle);
        haystack = lower(haystack);
    }
    size_t start = std::isnan(from) || from < 0 ? 0 : size_t(std::min(from, 1e9));
    size_t found = haystack.find(needle, start);
    return Value(found == std::u32string::npos ? -1.0 : double(found));
}

Value snapshotFalse(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value(false);
}

Value snapshotEmpty(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value(Str(""));
}

Value snapshotMinusOne(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value(-1.0);
}

Value snapshotNothing(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

Value snapshotRuns(Vm& vm, Object*, std::span<const Value>, const Value&)
{
    return Value(vm.newArray());
}

Value makeSnapshot(Vm& vm, Object* proto, const Value& target)
{
    auto* snapshot = vm.heap().make<SnapshotObject>(proto);
    Object* object = target.object();
    display::DisplayObject* display =
        object ? runnerOf(vm).displayOf(vm.binding().forward(object)) : nullptr;
    if (display::MovieClip* clip = display ? display->asMovieClip() : nullptr) {
        snapshot->text = clipStaticText(vm, *clip);
    }
    return Value(snapshot);
}

Value snapshotConstruct(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    return makeSnapshot(vm, data.object(), arg(args, 0));
}

Value clipTextSnapshot(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    return makeSnapshot(vm, data.object(), Value(self));
}

} // namespace

void installSelection(Vm& vm, StageRunner&)
{
    Object* selection = vm.listenersOf("Selection");
    if (!selection) {
        return;
    }
    Value state(vm.heap().make<FocusState>(vm.objectProto()));
    vm.defineMethod(selection, "getFocus", getFocus, state);
    vm.defineMethod(selection, "setFocus", setFocus, state);
    vm.defineMethod(selection, "getBeginIndex", selectionIndex, state);
    vm.defineMethod(selection, "getEndIndex", selectionEnd, state);
    vm.defineMethod(selection, "getCaretIndex", caretIndex, state);
    vm.defineMethod(selection, "setSelection", setSelection, state);
}

void installTextSnapshot(Vm& vm, StageRunner& runner)
{
    Object* proto = vm.newObject();
    FunctionObject* ctor =
        vm.defineClass("TextSnapshot", snapshotNothing, snapshotConstruct, proto);
    ctor->data = Value(proto);
    // Defined oldest first: enumeration lists the newest first.
    struct Method {
        const char* name;
        NativeFn fn;
    } methods[] = {
        {"getCount", snapshotCount},        {"setSelected", snapshotNothing},
        {"getSelected", snapshotFalse},     {"getText", snapshotGetText},
        {"getSelectedText", snapshotEmpty}, {"hitTestTextNearPos", snapshotMinusOne},
        {"findText", snapshotFindText},     {"setSelectColor", snapshotNothing},
        {"getTextRunInfo", snapshotRuns},
    };
    for (const Method& method : methods) {
        vm.defineValue(proto, method.name, vm.newNative(method.fn), 0);
        // Present from version 6 on.
        if (Property* property = proto->properties().find(vm.intern(method.name), vm.fold())) {
            property->versionBits = 0x80;
        }
    }
    if (runner.movieClipProto) {
        vm.defineMethod(runner.movieClipProto, "getTextSnapshot", clipTextSnapshot, Value(proto));
    }
}

} // namespace zf::avm1
