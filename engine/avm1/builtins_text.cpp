// TextField properties and methods. The properties are accessors on
// TextField.prototype, so scripts see them as the class's own.
#include "filters_p.h"
#include "text_p.h"

#include <cmath>

namespace zf::avm1 {
namespace {

StageRunner& runnerOf(Vm& vm)
{
    return static_cast<StageRunner&>(vm.binding());
}

display::TextField* fieldOf(Vm& vm, Object* self)
{
    display::DisplayObject* object =
        runnerOf(vm).displayOf(self ? vm.binding().forward(self) : nullptr);
    return object ? object->asTextField() : nullptr;
}

// A field's variable: the object that holds it and the property name.
struct Binding {
    Object* holder = nullptr;
    Str name;
};

// "name", "a.b.name" or "/a/b:name", relative to the field's clip.
std::optional<Binding> bindingOf(Vm& vm, display::TextField& field)
{
    display::MovieClip* parent = field.parent();
    if (field.variableName.empty() || !parent) {
        return std::nullopt;
    }
    Object* holder = runnerOf(vm).objectFor(*parent);
    std::string_view path = field.variableName;
    std::string_view name = path;
    size_t split = path.find_last_of(".:");
    if (split != std::string_view::npos) {
        Context context;
        context.version = vm.swfVersion();
        holder = vm.resolvePath(context, path.substr(0, split), holder);
        name = path.substr(split + 1);
    }
    if (!holder || name.empty()) {
        return std::nullopt;
    }
    return Binding{holder, vm.intern(name)};
}

void showText(display::TextField& field, const std::string& text)
{
    if ((field.html ? field.htmlText() : field.text()) == text) {
        return;
    }
    if (field.html) {
        field.setHtmlText(text);
    } else {
        field.setText(text);
    }
}

// A bound field shows its variable's value whenever the variable is set.
void syncFromVariable(Vm& vm, display::TextField& field)
{
    // Only variables of clips are watched; a field bound into a plain
    // object took its value when it was placed.
    auto binding = bindingOf(vm, field);
    if (binding && binding->holder->kind() == Kind::Clip) {
        Value value = vm.get(binding->holder, binding->name);
        if (!value.isUndefined()) {
            showText(field, vm.toString(value));
        }
    }
}

void storeInVariable(Vm& vm, display::TextField& field)
{
    if (auto binding = bindingOf(vm, field)) {
        vm.set(binding->holder, binding->name,
               Value(Str(field.html ? field.htmlText() : field.text())));
    }
}

enum class Prop : uint8_t {
    Text,
    HtmlText,
    Html,
    Length,
    TextColor,
    Type,
    AutoSize,
    Multiline,
    WordWrap,
    Password,
    Selectable,
    Border,
    Background,
    EmbedFonts,
    CondenseWhite,
    MouseWheelEnabled,
    BorderColor,
    BackgroundColor,
    MaxChars,
    Variable,
    TextWidth,
    TextHeight,
    Scroll,
    MaxScroll,
    HScroll,
    MaxHScroll,
    BottomScroll,
    AntiAliasType,
    GridFitType,
    Sharpness,
    Thickness,
    Restrict,
    TabIndex,
};

struct PropName {
    const char* name;
    Prop prop;
    bool writable;
};

constexpr PropName kProps[] = {
    {"text", Prop::Text, true},
    {"htmlText", Prop::HtmlText, true},
    {"html", Prop::Html, true},
    {"length", Prop::Length, false},
    {"textColor", Prop::TextColor, true},
    {"type", Prop::Type, true},
    {"autoSize", Prop::AutoSize, true},
    {"multiline", Prop::Multiline, true},
    {"wordWrap", Prop::WordWrap, true},
    {"password", Prop::Password, true},
    {"selectable", Prop::Selectable, true},
    {"border", Prop::Border, true},
    {"background", Prop::Background, true},
    {"embedFonts", Prop::EmbedFonts, true},
    {"condenseWhite", Prop::CondenseWhite, true},
    {"mouseWheelEnabled", Prop::MouseWheelEnabled, true},
    {"borderColor", Prop::BorderColor, true},
    {"backgroundColor", Prop::BackgroundColor, true},
    {"maxChars", Prop::MaxChars, true},
    {"variable", Prop::Variable, true},
    {"textWidth", Prop::TextWidth, false},
    {"textHeight", Prop::TextHeight, false},
    {"scroll", Prop::Scroll, true},
    {"maxscroll", Prop::MaxScroll, false},
    {"hscroll", Prop::HScroll, true},
    {"maxhscroll", Prop::MaxHScroll, false},
    {"bottomScroll", Prop::BottomScroll, false},
    {"antiAliasType", Prop::AntiAliasType, true},
    {"gridFitType", Prop::GridFitType, true},
    {"sharpness", Prop::Sharpness, true},
    {"thickness", Prop::Thickness, true},
    {"restrict", Prop::Restrict, true},
    {"tabIndex", Prop::TabIndex, true},
};

double rgbOf(Rgba color)
{
    return double(uint32_t(color.r) << 16 | uint32_t(color.g) << 8 | color.b);
}

// ECMAScript ToUint32.
uint32_t uint32Of(double n)
{
    return std::isfinite(n) ? uint32_t(int64_t(std::fmod(std::trunc(n), 4294967296.0))) : 0;
}

Rgba colorOf(Vm& vm, const Value& value)
{
    uint32_t rgb = uint32Of(vm.toNumber(value));
    return {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255};
}

Value fieldGet(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    display::TextField* field = fieldOf(vm, self);
    if (!field) {
        return {};
    }
    auto prop = Prop(int(data.number()));
    if (prop == Prop::Text || prop == Prop::HtmlText) {
        syncFromVariable(vm, *field);
    }
    switch (prop) {
    case Prop::Text: return Value(Str(field->text()));
    case Prop::HtmlText: return Value(Str(field->htmlText()));
    case Prop::Html: return Value(field->html);
    case Prop::Length: return Value(double(field->length()));
    case Prop::TextColor: return Value(rgbOf(field->textColor()));
    case Prop::Type: return Value(Str(field->editable ? "input" : "dynamic"));
    case Prop::AutoSize: return Value(Str(field->autoSize()));
    case Prop::Multiline: return Value(field->multiline);
    case Prop::WordWrap: return Value(field->wordWrap);
    case Prop::Password: return Value(field->password);
    case Prop::Selectable: return Value(field->selectable);
    case Prop::Border: return Value(field->border);
    case Prop::Background: return Value(field->background);
    case Prop::EmbedFonts: return Value(field->embedFonts);
    case Prop::CondenseWhite: return Value(field->condenseWhite);
    case Prop::MouseWheelEnabled: return Value(field->mouseWheelEnabled);
    case Prop::BorderColor: return Value(rgbOf(field->borderColor));
    case Prop::BackgroundColor: return Value(rgbOf(field->backgroundColor));
    case Prop::MaxChars:
        return field->maxChars > 0 ? Value(double(field->maxChars)) : Value::null();
    case Prop::Variable:
        return field->variableName.empty() ? Value::null() : Value(Str(field->variableName));
    case Prop::TextWidth: return Value(field->textWidth());
    case Prop::TextHeight: return Value(field->textHeight());
    case Prop::Scroll: return Value(double(field->scroll));
    case Prop::MaxScroll: return Value(double(field->maxScroll()));
    case Prop::HScroll: return Value(double(field->hscroll));
    case Prop::MaxHScroll: return Value(double(field->maxHScroll()));
    case Prop::BottomScroll: return Value(double(field->bottomScroll()));
    case Prop::AntiAliasType: return Value(Str(field->antiAliasType));
    case Prop::GridFitType: return Value(Str(field->gridFitType));
    case Prop::Sharpness: return Value(field->sharpness);
    case Prop::Thickness: return Value(field->thickness);
    case Prop::Restrict: return field->restrict ? Value(Str(*field->restrict)) : Value::null();
    case Prop::TabIndex: return field->tabIndex ? Value(double(*field->tabIndex)) : Value();
    }
    return {};
}

// autoSize takes true/false and the mode names in any case; anything else
// turns it off.
std::string autoSizeMode(Vm& vm, const Value& value)
{
    if (value.isBoolean()) {
        return value.boolean() ? "left" : "none";
    }
    if (!value.isString() && !value.isObject()) {
        return "none";
    }
    std::string lower = foldCase(vm.toString(value));
    for (const char* mode : {"left", "center", "right"}) {
        if (lower == mode) {
            return mode;
        }
    }
    return "none";
}

std::optional<int> integerOf(Vm& vm, const Value& value)
{
    double n = vm.toNumber(value);
    if (!std::isfinite(n)) {
        return std::nullopt;
    }
    return int(std::clamp(std::trunc(n), -2147483648.0, 2147483647.0));
}

void setFlag(Vm& vm, display::TextField& field, Prop prop, const Value& value)
{
    bool on = vm.toBoolean(value);
    switch (prop) {
    case Prop::Html: field.html = on; break;
    case Prop::Multiline: field.multiline = on; break;
    case Prop::WordWrap: field.wordWrap = on; break;
    case Prop::Password: field.password = on; break;
    case Prop::Selectable: field.selectable = on; break;
    case Prop::Border: field.border = on; break;
    case Prop::Background: field.background = on; break;
    case Prop::EmbedFonts: field.embedFonts = on; break;
    case Prop::CondenseWhite: field.condenseWhite = on; break;
    case Prop::MouseWheelEnabled: field.mouseWheelEnabled = on; break;
    default: break;
    }
    field.fitToText();
}

Value fieldSet(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    display::TextField* field = fieldOf(vm, self);
    if (!field) {
        return {};
    }
    const Value& value = arg(args, 0);
    auto prop = Prop(int(data.number()));
    switch (prop) {
    case Prop::Text:
        field->setText(vm.toString(value));
        storeInVariable(vm, *field);
        break;
    case Prop::HtmlText:
        field->setHtmlText(vm.toString(value));
        storeInVariable(vm, *field);
        break;
    case Prop::TextColor: field->setTextColor(colorOf(vm, value)); break;
    case Prop::Type: {
        std::string type = foldCase(vm.toString(value));
        if (type == "input" || type == "dynamic") {
            field->editable = type == "input";
        }
        break;
    }
    case Prop::AutoSize: field->setAutoSize(autoSizeMode(vm, value)); break;
    case Prop::BorderColor: field->borderColor = colorOf(vm, value); break;
    case Prop::BackgroundColor: field->backgroundColor = colorOf(vm, value); break;
    case Prop::MaxChars: field->maxChars = std::max(0, integerOf(vm, value).value_or(0)); break;
    case Prop::Variable:
        field->variableName = value.isNullish() ? std::string() : vm.toString(value);
        // Rebinding starts over from the field's original text.
        showText(*field, field->definition().initialText);
        bindTextField(vm, *field);
        break;
    case Prop::Scroll:
        if (auto n = integerOf(vm, value)) {
            field->scroll = std::clamp(*n, 1, field->maxScroll());
        }
        break;
    case Prop::HScroll:
        if (auto n = integerOf(vm, value)) {
            field->hscroll = std::clamp(*n, 0, field->maxHScroll());
        }
        break;
    case Prop::AntiAliasType: {
        std::string type = vm.toString(value);
        if (type == "normal" || type == "advanced") {
            field->antiAliasType = type;
        }
        break;
    }
    case Prop::GridFitType: {
        std::string type = vm.toString(value);
        if (type == "none" || type == "pixel" || type == "subpixel") {
            field->gridFitType = type;
        }
        break;
    }
    case Prop::Sharpness: field->sharpness = vm.toNumber(value); break;
    case Prop::Thickness: field->thickness = vm.toNumber(value); break;
    case Prop::Restrict:
        field->restrict =
            value.isNullish() ? std::nullopt : std::optional<std::string>(vm.toString(value));
        break;
    case Prop::TabIndex:
        if (value.isUndefined()) {
            field->tabIndex.reset();
        } else {
            field->tabIndex = uint32Of(vm.toNumber(value));
        }
        break;
    default: setFlag(vm, *field, prop, value); break;
    }
    return {};
}

// A script position as a character index (negative counts as 0).
size_t positionOf(Vm& vm, const Value& value)
{
    double n = vm.toNumber(value);
    if (std::isnan(n) || n < 0) {
        return 0;
    }
    return size_t(std::min(n, 1e9));
}

Value getTextFormat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::TextField* field = fieldOf(vm, self);
    if (!field) {
        return {};
    }
    size_t begin = 0, end = field->length();
    if (!args.empty() && !args[0].isUndefined()) {
        begin = positionOf(vm, args[0]);
        end = args.size() > 1 && !args[1].isUndefined() ? positionOf(vm, args[1]) : begin + 1;
    }
    return Value(makeTextFormat(vm, field->textFormat(begin, end)));
}

Value setTextFormat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::TextField* field = fieldOf(vm, self);
    if (!field || args.empty()) {
        return {};
    }
    auto* format = dynamic_cast<TextFormatObject*>(args.back().object());
    if (!format) {
        return {};
    }
    size_t begin = 0, end = field->length();
    if (args.size() == 2) {
        begin = positionOf(vm, args[0]);
        end = begin + 1;
    } else if (args.size() >= 3) {
        begin = positionOf(vm, args[0]);
        end = positionOf(vm, args[1]);
    }
    field->setTextFormat(begin, end, readTextFormat(vm, *format));
    return {};
}

Value getNewTextFormat(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::TextField* field = fieldOf(vm, self);
    return field ? Value(makeTextFormat(vm, field->newTextFormat())) : Value();
}

Value setNewTextFormat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::TextField* field = fieldOf(vm, self);
    auto* format = dynamic_cast<TextFormatObject*>(arg(args, 0).object());
    if (field && format) {
        field->setNewTextFormat(readTextFormat(vm, *format));
    }
    return {};
}

Value replaceText(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::TextField* field = fieldOf(vm, self);
    if (!field || args.size() < 3) {
        return {};
    }
    size_t begin = positionOf(vm, args[0]);
    size_t end = positionOf(vm, args[1]);
    if (begin <= end && begin <= field->length()) {
        field->replaceText(begin, end, vm.toString(args[2]));
    }
    return {};
}

Value replaceSel(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::TextField* field = fieldOf(vm, self);
    if (!field || args.empty()) {
        return {};
    }
    size_t before = field->length();
    size_t end =
        std::min(before, size_t(std::max({0, field->selectionBegin, field->selectionEnd})));
    size_t begin =
        std::min(end, size_t(std::max(0, std::min(field->selectionBegin, field->selectionEnd))));
    field->replaceText(begin, end, vm.toString(args[0]));
    size_t inserted = field->length() + (end - begin) - before;
    field->selectionBegin = field->selectionEnd = int(begin + inserted);
    return {};
}

// Each field is a broadcaster whose first listener is itself; the list is
// made on first use.
Value fieldListeners(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (!fieldOf(vm, self)) {
        return {};
    }
    ArrayObject* listeners = vm.newArray({Value(self)});
    vm.defineValue(self, "_listeners", Value(listeners));
    return Value(listeners);
}

Value getFontList(Vm& vm, Object*, std::span<const Value>, const Value&)
{
    std::vector<Value> names;
    for (const char* name : {"_sans", "_serif", "_typewriter"}) {
        names.emplace_back(Str(name));
    }
    return Value(vm.newArray(std::move(names)));
}

} // namespace

void bindTextField(Vm& vm, display::TextField& field)
{
    auto binding = bindingOf(vm, field);
    if (!binding) {
        return;
    }
    Value value = vm.get(binding->holder, binding->name);
    if (!value.isUndefined()) {
        showText(field, vm.toString(value));
    } else if (field.length() > 0) {
        storeInVariable(vm, field);
    }
}

void resizeTextField(display::TextField& field, bool horizontal, double pixels)
{
    // The new size is the box's own, whatever the field's scale.
    auto twips = int32_t(std::lround(std::min(pixels, 1e6) * kTwipsPerPixel));
    RectTwips box = field.box();
    if (horizontal) {
        box.xMax = box.xMin + twips;
    } else {
        box.yMax = box.yMin + twips;
    }
    field.setBox(box);
    field.fitToText();
}

void installTextBuiltins(Vm& vm, StageRunner& runner)
{
    installTextFormatClass(vm);
    Object* proto = runner.textFieldProto;
    if (proto) {
        for (const PropName& p : kProps) {
            // Only tabIndex shows in for..in.
            defineAccessor(vm, proto, p.name, fieldGet, p.writable ? fieldSet : nullptr,
                           Value(double(p.prop)), p.prop == Prop::TabIndex ? 0 : DontEnum);
        }
        installClipFilters(vm, proto);
        vm.defineMethod(proto, "getTextFormat", getTextFormat);
        vm.defineMethod(proto, "setTextFormat", setTextFormat);
        vm.defineMethod(proto, "getNewTextFormat", getNewTextFormat);
        vm.defineMethod(proto, "setNewTextFormat", setNewTextFormat);
        vm.defineMethod(proto, "replaceText", replaceText);
        vm.defineMethod(proto, "replaceSel", replaceSel);
        defineAccessor(vm, proto, "_listeners", fieldListeners, nullptr);
        if (Object* broadcaster = vm.get(vm.global(), vm.intern("AsBroadcaster")).object()) {
            for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
                vm.defineValue(proto, name, vm.get(broadcaster, vm.intern(name)));
            }
        }
        Value ctor = vm.get(vm.global(), vm.intern("TextField"));
        if (Object* constructor = ctor.object()) {
            vm.defineMethod(constructor, "getFontList", getFontList);
        }
    }
    installTextSnapshot(vm, runner);
    installSelection(vm, runner);
}

} // namespace zf::avm1
