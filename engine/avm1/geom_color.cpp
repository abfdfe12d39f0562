// flash.geom.ColorTransform: multipliers and offsets per channel, kept in
// ordinary properties, and the conversions to the renderer's transform.
#include "geom_p.h"

#include <cmath>

namespace zf::avm1 {

namespace {

using geom::appendField;
using geom::defineAccessor;
using geom::member;
using geom::number;
using geom::setMember;

// --- ColorTransform ------------------------------------------------------

constexpr const char* ColorFields[] = {"redMultiplier",   "greenMultiplier", "blueMultiplier",
                                       "alphaMultiplier", "redOffset",       "greenOffset",
                                       "blueOffset",      "alphaOffset"};

void setColorFields(Vm& vm, Object* self, const geom::ColorTransformValues& ct)
{
    double values[] = {ct.redMultiplier, ct.greenMultiplier, ct.blueMultiplier, ct.alphaMultiplier,
                       ct.redOffset,     ct.greenOffset,     ct.blueOffset,     ct.alphaOffset};
    for (size_t i = 0; i < 8; ++i) {
        setMember(vm, self, ColorFields[i], Value(values[i]));
    }
}

Value colorTransformConstruct(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    geom::ColorTransformValues ct;
    if (!args.empty()) {
        double* fields[] = {&ct.redMultiplier,   &ct.greenMultiplier, &ct.blueMultiplier,
                            &ct.alphaMultiplier, &ct.redOffset,       &ct.greenOffset,
                            &ct.blueOffset,      &ct.alphaOffset};
        for (size_t i = 0; i < 8; ++i) {
            *fields[i] = vm.toNumber(arg(args, i));
        }
    }
    setColorFields(vm, self, ct);
    return {};
}

Value colorTransformToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    std::string out = "(";
    for (const char* name : ColorFields) {
        appendField(vm, out, name, member(vm, self, name));
    }
    out += ')';
    return Value(vm.intern(out));
}

// rgb: the offsets as one colour, with the multipliers zeroed when set.
Value colorTransformRgb(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    auto channel = [&](const char* name) {
        return uint32_t(toInt32(number(vm, self, name))) & 0xFF;
    };
    return Value(
        double(channel("redOffset") << 16 | channel("greenOffset") << 8 | channel("blueOffset")));
}

Value colorTransformSetRgb(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    uint32_t rgb = toUint32(vm.toNumber(arg(args, 0)));
    setMember(vm, self, "redMultiplier", Value(0));
    setMember(vm, self, "greenMultiplier", Value(0));
    setMember(vm, self, "blueMultiplier", Value(0));
    setMember(vm, self, "redOffset", Value(double(rgb >> 16 & 0xFF)));
    setMember(vm, self, "greenOffset", Value(double(rgb >> 8 & 0xFF)));
    setMember(vm, self, "blueOffset", Value(double(rgb & 0xFF)));
    return {};
}

Value colorTransformConcat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    // The argument applies first, then this transform.
    geom::ColorTransformValues outer = geom::colorTransformOf(vm, self);
    geom::ColorTransformValues inner = geom::colorTransformOf(vm, arg(args, 0));
    geom::ColorTransformValues r;
    r.redOffset = outer.redOffset + outer.redMultiplier * inner.redOffset;
    r.greenOffset = outer.greenOffset + outer.greenMultiplier * inner.greenOffset;
    r.blueOffset = outer.blueOffset + outer.blueMultiplier * inner.blueOffset;
    r.alphaOffset = outer.alphaOffset + outer.alphaMultiplier * inner.alphaOffset;
    r.redMultiplier = outer.redMultiplier * inner.redMultiplier;
    r.greenMultiplier = outer.greenMultiplier * inner.greenMultiplier;
    r.blueMultiplier = outer.blueMultiplier * inner.blueMultiplier;
    r.alphaMultiplier = outer.alphaMultiplier * inner.alphaMultiplier;
    setColorFields(vm, self, r);
    return {};
}

} // namespace

namespace geom {

void installColorTransform(Vm& vm, Object* package)
{
    FunctionObject* ctor = vm.newNative(colorTransformConstruct);
    Object* proto = vm.newObject();
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    vm.defineMethod(proto, "toString", colorTransformToString);
    vm.defineMethod(proto, "concat", colorTransformConcat);
    defineAccessor(vm, proto, "rgb", colorTransformRgb, colorTransformSetRgb);
    vm.defineValue(package, "ColorTransform", ctor);
}

} // namespace geom

namespace geom {

ColorTransformValues colorTransformOf(Vm& vm, const Value& object)
{
    ColorTransformValues ct;
    double* fields[] = {&ct.redMultiplier,   &ct.greenMultiplier, &ct.blueMultiplier,
                        &ct.alphaMultiplier, &ct.redOffset,       &ct.greenOffset,
                        &ct.blueOffset,      &ct.alphaOffset};
    for (size_t i = 0; i < 8; ++i) {
        *fields[i] = number(vm, object, ColorFields[i]);
    }
    return ct;
}

Value makeColorTransform(Vm& vm, const ColorTransformValues& ct)
{
    Value args[] = {ct.redMultiplier, ct.greenMultiplier, ct.blueMultiplier, ct.alphaMultiplier,
                    ct.redOffset,     ct.greenOffset,     ct.blueOffset,     ct.alphaOffset};
    return construct(vm, "ColorTransform", args);
}

ColorTransformValues fromFixed(const ColorTransform& cx)
{
    return {cx.rMul / 256.0, cx.gMul / 256.0, cx.bMul / 256.0, cx.aMul / 256.0,
            double(cx.rAdd), double(cx.gAdd), double(cx.bAdd), double(cx.aAdd)};
}

ColorTransform toFixed(const ColorTransformValues& ct)
{
    auto fixed = [](double v, double scale) {
        double scaled = v * scale;
        if (!std::isfinite(scaled)) {
            return int32_t(0);
        }
        return int32_t(std::clamp(scaled, -32768.0, 32767.0));
    };
    return {fixed(ct.redMultiplier, 256),  fixed(ct.greenMultiplier, 256),
            fixed(ct.blueMultiplier, 256), fixed(ct.alphaMultiplier, 256),
            fixed(ct.redOffset, 1),        fixed(ct.greenOffset, 1),
            fixed(ct.blueOffset, 1),       fixed(ct.alphaOffset, 1)};
}

} // namespace geom

} // namespace zf::avm1
