// Color (a clip's colour transform seen as RGB offsets and percentages) and
// Sound (volume, pan and the channel mix; playback itself is the mixer's).
#include "clip_p.h"
#include "media_p.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

namespace {

// --- Color ---------------------------------------------------------------------

// The target is kept as given (a clip or a path) and looked up at each
// call, so a Color made before its clip exists works once the clip does.
display::DisplayObject* colorTarget(Vm& vm, Object* self)
{
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    if (!runner || !self) {
        return nullptr;
    }
    Value target = vm.get(self, "target");
    Object* clip = nullptr;
    if (Object* object = target.object()) {
        clip = vm.binding().forward(object);
    } else if (!target.isNullish() && vm.context()) {
        clip = vm.resolvePath(*vm.context(), vm.toString(target), vm.context()->timeline);
    }
    return runner->displayOf(clip);
}

Value colorConstruct(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (self) {
        vm.defineValue(self, "target", arg(args, 0), DontEnum | DontDelete | ReadOnly);
    }
    return {};
}

int32_t offsetArg(Vm& vm, const Value& value)
{
    double n = vm.toNumber(value);
    return std::isfinite(n) ? int32_t(std::clamp(n, -32768.0, 32767.0)) : 0;
}

Value colorSetRgb(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = colorTarget(vm, self);
    if (!object || args.empty()) {
        return {};
    }
    uint32_t rgb = toUint32(vm.toNumber(args[0]));
    ColorTransform cx = object->colorTransform();
    cx.rMul = cx.gMul = cx.bMul = 0;
    cx.rAdd = int32_t((rgb >> 16) & 0xff);
    cx.gAdd = int32_t((rgb >> 8) & 0xff);
    cx.bAdd = int32_t(rgb & 0xff);
    object->setColorTransform(cx);
    object->markTransformedByScript();
    return {};
}

Value colorGetRgb(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = colorTarget(vm, self);
    if (!object) {
        return {};
    }
    const ColorTransform& cx = object->colorTransform();
    return Value(double((cx.rAdd << 16) | (cx.gAdd << 8) | cx.bAdd));
}

// Percentages map onto the 8.8 multipliers the display keeps.
struct TransformField {
    const char* name;
    int32_t ColorTransform::*member;
    bool percent;
};
constexpr TransformField TransformFields[] = {
    {"ra", &ColorTransform::rMul, true}, {"rb", &ColorTransform::rAdd, false},
    {"ga", &ColorTransform::gMul, true}, {"gb", &ColorTransform::gAdd, false},
    {"ba", &ColorTransform::bMul, true}, {"bb", &ColorTransform::bAdd, false},
    {"aa", &ColorTransform::aMul, true}, {"ab", &ColorTransform::aAdd, false},
};

Value colorSetTransform(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = colorTarget(vm, self);
    Object* spec = arg(args, 0).object();
    if (!object || !spec) {
        return {};
    }
    ColorTransform cx = object->colorTransform();
    for (const auto& field : TransformFields) {
        Str key = vm.intern(field.name);
        if (!vm.has(spec, key)) {
            continue;
        }
        double n = vm.toNumber(vm.get(spec, key));
        if (field.percent) {
            n = n * 256 / 100;
        }
        cx.*field.member = offsetArg(vm, Value(n));
    }
    object->setColorTransform(cx);
    object->markTransformedByScript();
    return {};
}

Value colorGetTransform(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = colorTarget(vm, self);
    if (!object) {
        return {};
    }
    const ColorTransform& cx = object->colorTransform();
    Object* result = vm.newObject();
    for (const auto& field : TransformFields) {
        double n = cx.*field.member;
        vm.set(result, vm.intern(field.name), Value(field.percent ? n * 100 / 256 : n));
    }
    return Value(result);
}

void installColor(Vm& vm)
{
    Object* proto = vm.newObject();
    vm.defineClass("Color", colorConstruct, nullptr, proto);
    vm.defineMethod(proto, "setRGB", colorSetRgb);
    vm.defineMethod(proto, "getRGB", colorGetRgb);
    vm.defineMethod(proto, "setTransform", colorSetTransform);
    vm.defineMethod(proto, "getTransform", colorGetTransform);
}

} // namespace

void installMediaBuiltins(Vm& vm)
{
    installColor(vm);
    installSound(vm);
}

} // namespace zf::avm1
