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

// The number a display property takes from a script value. Unlike the
// general conversion, undefined and null give NaN (which leaves the
// property alone) in every version, and an object is asked for valueOf
// only: an object result is NaN too, without a string fallback.
double propertyNumber(Vm& vm, const Value& value)
{
    if (value.isNullish()) {
        return NAN;
    }
    if (Object* object = value.object()) {
        Value primitive = vm.callMethod(object, vm.intern("valueOf"), {});
        if (primitive.isObject() || primitive.isNullish()) {
            return NAN;
        }
        return vm.toNumber(primitive);
    }
    return vm.toNumber(value);
}

// A 32-bit integer the way the hardware converts: truncated, and anything
// out of range (infinities included) becomes the most negative value.
int32_t truncateToInt32(double n)
{
    double t = std::trunc(n);
    if (!(t >= -2147483648.0 && t <= 2147483647.0)) {
        return INT32_MIN;
    }
    return int32_t(t);
}

constexpr std::array<const char*, 4> kQualityNames = {"LOW", "MEDIUM", "HIGH", "BEST"};

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

namespace {
// A text field's _x and _y name the top left corner of its box, which its
// definition may place away from the field's origin.
Point fieldOffset(const display::DisplayObject& object)
{
    if (object.kind() != display::ObjectKind::TextField)
        return {0, 0};
    const Bounds box = object.localBounds();
    if (box.empty())
        return {0, 0};
    return {box.xMin / kTwipsPerPixel, box.yMin / kTwipsPerPixel};
}
} // namespace

bool ClipObject::getUnderscore(Vm& vm, display::DisplayObject& object, const std::string& lower,
                               Value& out)
{
    display::MovieClip* movie = object.asMovieClip();
    if (lower == "_x") {
        out = Value(object.x() + fieldOffset(object).x);
    } else if (lower == "_y") {
        out = Value(object.y() + fieldOffset(object).y);
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
    } else if (lower == "_root") {
        // The root of the clip's own level (a movie loaded with loadMovieNum).
        Object* root = m_runner.rootOf(this);
        out = Value(root ? root : m_runner.objectFor(m_runner.stage().root()));
    } else if (lower == "_level0") {
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
        // Best reads 2, low 0, medium and high 1.
        int quality = m_runner.quality;
        out = Value(quality == 3 ? 2.0 : quality == 0 ? 0.0 : 1.0);
    } else if (lower == "_quality") {
        out = Value(Str(kQualityNames[size_t(std::clamp(m_runner.quality, 0, 3))]));
    } else if (lower == "_focusrect") {
        // A number before version 6, a boolean after.
        out = !focusRect             ? Value::null()
              : vm.swfVersion() >= 6 ? Value(*focusRect)
                                     : Value(*focusRect ? 1.0 : 0.0);
    } else if (lower == "_soundbuftime") {
        out = Value(double(m_runner.soundBufferTime));
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
    if (setPlayerSetting(vm, lower, value)) {
        return true;
    }
    auto number = [&] { return propertyNumber(vm, value); };
    if (lower == "_x" || lower == "_y" || lower == "_xscale" || lower == "_yscale" ||
        lower == "_rotation") {
        // NaN leaves the property alone; infinities go through (see the
        // display object for what each makes of them).
        double n = number();
        if (std::isnan(n)) {
            return true;
        }
        if (lower == "_x") {
            object.setX(n - fieldOffset(object).x);
        } else if (lower == "_y") {
            object.setY(n - fieldOffset(object).y);
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
        if (double n = number(); !std::isnan(n)) {
            object.setVisible(n != 0);
        }
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
        // References keep the path the clip had when they were made: once
        // it leaves the stage, they find the clip that took that path.
        object.setName(vm.toString(value));
    } else if (lower == "_lockroot") {
        if (!object.asMovieClip()) {
            return false;
        }
        m_lockRoot = vm.toBoolean(value);
    } else if (lower == "_target" || lower == "_currentframe" || lower == "_totalframes" ||
               lower == "_framesloaded" || lower == "_url" || lower == "_droptarget" ||
               lower == "_xmouse" || lower == "_ymouse" || lower == "_parent" || lower == "_root") {
        // Read-only: assignments are ignored.
    } else {
        return false;
    }
    return true;
}

// _focusrect belongs to the object; the quality and the sound buffer time
// are the player's, whichever clip a script sets them through.
bool ClipObject::setPlayerSetting(Vm& vm, const std::string& lower, const Value& value)
{
    if (lower == "_focusrect") {
        // Objects count as false without being converted.
        if (value.isObject()) {
            focusRect = false;
        } else if (double n = propertyNumber(vm, value); !std::isnan(n)) {
            focusRect = n != 0;
        }
    } else if (lower == "_quality") {
        std::string name = foldCase(vm.toString(value));
        for (size_t i = 0; i < kQualityNames.size(); ++i) {
            if (name == foldCase(kQualityNames[i])) {
                m_runner.quality = int(i);
            }
        }
    } else if (lower == "_highquality") {
        // 0 is low, above 1 best, anything else high.
        if (double n = std::trunc(propertyNumber(vm, value)); !std::isnan(n)) {
            m_runner.quality = n == 0 ? 0 : n > 1 ? 3 : 2;
        }
    } else if (lower == "_soundbuftime") {
        if (double n = propertyNumber(vm, value); !std::isnan(n)) {
            m_runner.soundBufferTime = truncateToInt32(n);
        }
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

Value getScrollRect(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOfSelf(vm, self);
    if (!object || !object->scrollRect()) {
        return {};
    }
    const display::ScrollRect& r = *object->scrollRect();
    return geom::makeRectangle(vm, r.x, r.y, r.width, r.height);
}

// Any object with x, y, width and height sets the rectangle; anything else
// removes it.
Value setScrollRect(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = displayOfSelf(vm, self);
    const Value& value = arg(args, 0);
    if (!object) {
        return {};
    }
    if (!value.isObject()) {
        object->setScrollRect(std::nullopt);
        return {};
    }
    display::ScrollRect r{geom::number(vm, value, "x"), geom::number(vm, value, "y"),
                          geom::number(vm, value, "width"), geom::number(vm, value, "height")};
    object->setScrollRect(r);
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

ClipObject* clipObjectOf(Vm& vm, Object* self)
{
    return dynamic_cast<ClipObject*>(self ? vm.binding().forward(self) : nullptr);
}

Value getTabIndex(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    ClipObject* clip = clipObjectOf(vm, self);
    return clip && clip->tabIndex ? Value(double(*clip->tabIndex)) : Value();
}

// undefined clears the index; anything else becomes a 32-bit integer.
Value setTabIndex(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ClipObject* clip = clipObjectOf(vm, self);
    if (!clip) {
        return {};
    }
    const Value& value = arg(args, 0);
    if (value.isUndefined()) {
        clip->tabIndex.reset();
    } else {
        clip->tabIndex = truncateToInt32(vm.toNumber(value));
    }
    return {};
}

} // namespace

void installClipProperties(Vm& vm, Object* movieClipProto, Object* buttonProto)
{
    // Buttons list tabIndex in for..in, clips do not.
    defineAccessor(vm, movieClipProto, "tabIndex", getTabIndex, setTabIndex, {}, DontEnum);
    defineAccessor(vm, buttonProto, "tabIndex", getTabIndex, setTabIndex, {}, 0);
    for (Object* proto : {movieClipProto, buttonProto}) {
        geom::defineAccessor(vm, proto, "blendMode", getBlendMode, setBlendMode);
        geom::defineAccessor(vm, proto, "cacheAsBitmap", getCacheAsBitmap, setCacheAsBitmap);
        geom::defineAccessor(vm, proto, "scrollRect", getScrollRect, setScrollRect);
        vm.defineValue(proto, "enabled", Value(true));
        vm.defineValue(proto, "useHandCursor", Value(true));
    }
    vm.defineMethod(movieClipProto, "getSWFVersion", getSwfVersion);
}

} // namespace zf::avm1
