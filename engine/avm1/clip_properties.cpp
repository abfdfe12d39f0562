// The properties scripts read and write on display objects: the underscore
// properties (_x, _name, _parent, ...), children by instance name, and the
// accessors of MovieClip.prototype (blendMode, cacheAsBitmap, ...).
#include "clip_p.h"
#include "geom_p.h"
#include "text_p.h"

#include <array>
#include <cmath>

namespace zf::avm1 {

namespace {

bool isUnset(double n)
{
    return std::isnan(n) || std::isinf(n);
}

// Objects scripts can hold a reference to. Shapes, static text, bitmaps and
// morph shapes have names but no script object of their own, and neither do
// buttons before version 6.
bool isScriptable(Vm& vm, const display::DisplayObject& object)
{
    switch (object.kind()) {
    case display::ObjectKind::MovieClip:
    case display::ObjectKind::TextField:
    case display::ObjectKind::Video: return true;
    case display::ObjectKind::Button: return vm.swfVersion() >= 6;
    default: return false;
    }
}

// Blend modes by their file numbering (0 and 1 both draw normally).
constexpr std::array<const char*, 15> kBlendModes = {
    "normal", "normal",   "layer",  "multiply", "screen", "lighten", "darken",   "difference",
    "add",    "subtract", "invert", "alpha",    "erase",  "overlay", "hardlight"};

} // namespace

bool ClipObject::getSpecial(Vm& vm, const Str& key, Value& out)
{
    display::DisplayObject* object = display();
    std::string_view name = key.view();
    if (!object || name.empty()) {
        return false;
    }
    if (name[0] == '_' && getUnderscore(vm, *object, foldCase(name), out)) {
        return true;
    }
    // Declared properties hide children of the same name.
    if (properties().find(key, vm.fold())) {
        return false;
    }
    if (display::DisplayObject* child = childNamed(*object, name)) {
        // A named shape resolves to the object that holds it.
        out = Value(isScriptable(vm, *child) ? m_runner.objectFor(*child) : this);
        return true;
    }
    // Text field properties are accessors on TextField.prototype.
    return false;
}

bool ClipObject::getUnderscore(Vm& vm, display::DisplayObject& object, const std::string& lower,
                               Value& out)
{
    display::MovieClip* movie = object.asMovieClip();
    if (lower == "_x") {
        out = Value(object.x());
    } else if (lower == "_y") {
        out = Value(object.y());
    } else if (lower == "_xscale") {
        out = Value(object.xScale());
    } else if (lower == "_yscale") {
        out = Value(object.yScale());
    } else if (lower == "_rotation") {
        out = Value(object.rotation());
    } else if (lower == "_alpha") {
        out = Value(object.alpha());
    } else if (lower == "_visible") {
        out = Value(object.visible());
    } else if (lower == "_width") {
        out = Value(object.width());
    } else if (lower == "_height") {
        out = Value(object.height());
    } else if (lower == "_name") {
        out = Value(Str(object.name()));
    } else if (lower == "_target") {
        out = Value(Str(object.slashPath()));
    } else if (lower == "_currentframe") {
        // A clip without frames never entered one.
        out = Value(double(!movie                                ? 1
                           : movie->timeline().frameCount() == 0 ? 0
                                                                 : movie->currentFrame()));
    } else if (lower == "_totalframes" || lower == "_framesloaded") {
        out = Value(double(movie ? movie->totalFrames() : 1));
    } else if (lower == "_parent") {
        display::DisplayObject* parent = object.displayParent();
        if (parent && !isScriptable(vm, *parent)) {
            parent = parent->parent();
        }
        out = parent ? Value(m_runner.objectFor(*parent)) : Value();
    } else if (lower == "_root" || lower == "_level0") {
        out = Value(m_runner.objectFor(m_runner.stage().root()));
    } else if (lower == "_global") {
        out = Value(vm.global());
    } else if (lower == "_lockroot") {
        if (!movie) {
            return false;
        }
        out = Value(m_lockRoot);
    } else if (lower == "_url") {
        out = Value(Str());
    } else if (lower == "_droptarget") {
        out = Value(Str());
    } else if (lower == "_xmouse" || lower == "_ymouse") {
        Point local = object.globalToLocal(m_runner.stage().mousePosition());
        out = Value(std::round(lower == "_xmouse" ? local.x : local.y) / 20.0);
    } else if (lower == "_highquality") {
        out = Value(1.0);
    } else if (lower == "_quality") {
        out = Value(Str("HIGH"));
    } else if (lower == "_focusrect") {
        out = Value::null();
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
        syncPlainProperty(vm, *object, foldCase(name), value);
        return false;
    }
    return setUnderscore(vm, *object, foldCase(name), value);
}

// Plain properties the stage also needs to know (the value is stored as an
// ordinary property as well, so scripts read back exactly what they set).
void ClipObject::syncPlainProperty(Vm& vm, display::DisplayObject& object, const std::string& lower,
                                   const Value& value)
{
    display::MovieClip* movie = object.asMovieClip();
    display::Button* button = object.asButton();
    if (lower == "enabled") {
        if (movie) {
            movie->enabled = vm.toBoolean(value);
        } else if (button) {
            button->enabled = vm.toBoolean(value);
        }
    } else if (lower == "usehandcursor") {
        if (movie) {
            movie->useHandCursor = vm.toBoolean(value);
        } else if (button) {
            button->useHandCursor = vm.toBoolean(value);
        }
    } else if (lower == "trackasmenu" && button) {
        button->setTrackAsMenu(vm.toBoolean(value));
    }
}

bool ClipObject::setUnderscore(Vm& vm, display::DisplayObject& object, const std::string& lower,
                               const Value& value)
{
    auto number = [&] { return vm.toNumber(value); };
    if (lower == "_x" || lower == "_y" || lower == "_xscale" || lower == "_yscale" ||
        lower == "_rotation") {
        double n = number();
        if (isUnset(n)) {
            return true;
        }
        if (lower == "_x") {
            object.setX(n);
        } else if (lower == "_y") {
            object.setY(n);
        } else if (lower == "_xscale") {
            object.setXScale(n);
        } else if (lower == "_yscale") {
            object.setYScale(n);
        } else {
            object.setRotation(n);
        }
    } else if (lower == "_alpha") {
        if (double n = number(); !std::isnan(n)) {
            object.setAlpha(n);
        }
    } else if (lower == "_visible") {
        object.setVisible(vm.toBoolean(value));
    } else if (lower == "_width" || lower == "_height") {
        if (double n = number(); !isUnset(n) && n >= 0) {
            // A text field resizes its box instead of scaling.
            if (display::TextField* field = object.asTextField()) {
                resizeTextField(*field, lower == "_width", n);
            } else {
                lower == "_width" ? object.setWidth(n) : object.setHeight(n);
            }
        }
    } else if (lower == "_name") {
        object.setName(vm.toString(value));
        refreshPath();
    } else if (lower == "_lockroot") {
        if (!object.asMovieClip()) {
            return false;
        }
        m_lockRoot = vm.toBoolean(value);
    } else if (lower == "_target" || lower == "_currentframe" || lower == "_totalframes" ||
               lower == "_framesloaded" || lower == "_url" || lower == "_droptarget" ||
               lower == "_xmouse" || lower == "_ymouse" || lower == "_parent" || lower == "_root" ||
               lower == "_highquality" || lower == "_quality" || lower == "_focusrect" ||
               lower == "_soundbuftime") {
        // Read-only here: assignments are ignored.
    } else {
        return false;
    }
    return true;
}

display::DisplayObject* ClipObject::childNamed(display::DisplayObject& object,
                                               std::string_view name) const
{
    if (display::MovieClip* movie = object.asMovieClip()) {
        return movie->childByName(name);
    }
    if (display::Button* button = object.asButton()) {
        // The objects of the button's current state.
        for (const auto& [depth, child] : button->children()) {
            if (m_runner.stage().namesEqual(child->name(), name)) {
                return child.get();
            }
        }
    }
    return nullptr;
}

void ClipObject::specialKeys(Vm& vm, std::vector<Str>& keys)
{
    display::DisplayObject* object = display();
    display::MovieClip* movie = object ? object->asMovieClip() : nullptr;
    if (!movie) {
        return;
    }
    // Named children enumerate like properties, the deepest listed first.
    for (const auto& [depth, child] : movie->children()) {
        if (!child->name().empty()) {
            keys.push_back(vm.intern(child->name()));
        }
    }
}

// --- accessors of MovieClip.prototype -----------------------------------------

namespace {

display::DisplayObject* displayOfSelf(Vm& vm, Object* self)
{
    auto& runner = static_cast<StageRunner&>(vm.binding());
    return runner.displayOf(self ? vm.binding().forward(self) : nullptr);
}

Value getBlendMode(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOfSelf(vm, self);
    if (!object) {
        return {};
    }
    uint8_t mode = object->blendMode();
    return Value(Str(mode < kBlendModes.size() ? kBlendModes[mode] : "normal"));
}

// Numbers pick a mode by number (wrapping at 256), strings by exact name;
// null and undefined reset it; anything else is ignored.
Value setBlendMode(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = displayOfSelf(vm, self);
    const Value& value = arg(args, 0);
    if (!object) {
        return {};
    }
    if (value.isUndefined() || value.isNull()) {
        object->setBlendMode(0);
    } else if (value.isNumber()) {
        double n = value.number();
        if (!std::isnan(n)) {
            uint32_t mode = toUint32(n) & 0xFF;
            if (mode >= 1 && mode < kBlendModes.size()) {
                object->setBlendMode(uint8_t(mode));
            }
        }
    } else if (value.isString()) {
        for (size_t i = 1; i < kBlendModes.size(); ++i) {
            if (value.stringView() == kBlendModes[i]) {
                object->setBlendMode(uint8_t(i));
                break;
            }
        }
    }
    return {};
}

Value getCacheAsBitmap(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOfSelf(vm, self);
    return object ? Value(object->cacheAsBitmap()) : Value();
}

Value setCacheAsBitmap(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (display::DisplayObject* object = displayOfSelf(vm, self)) {
        object->setCacheAsBitmap(vm.toBoolean(arg(args, 0)));
    }
    return {};
}

Value getSwfVersion(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    auto& runner = static_cast<StageRunner&>(vm.binding());
    if (!displayOfSelf(vm, self)) {
        return Value(-1.0);
    }
    return Value(double(runner.stage().swfVersion()));
}

} // namespace

void installClipProperties(Vm& vm, Object* movieClipProto, Object* buttonProto)
{
    for (Object* proto : {movieClipProto, buttonProto}) {
        geom::defineAccessor(vm, proto, "blendMode", getBlendMode, setBlendMode);
        geom::defineAccessor(vm, proto, "cacheAsBitmap", getCacheAsBitmap, setCacheAsBitmap);
        vm.defineValue(proto, "enabled", Value(true));
        vm.defineValue(proto, "useHandCursor", Value(true));
    }
    vm.defineMethod(movieClipProto, "getSWFVersion", getSwfVersion);
}

} // namespace zf::avm1
