// Helpers shared by the flash.geom classes and the built-ins that take or
// return their objects (BitmapData, Transform).
#pragma once

#include "vm_p.h"

#include "common/geom.h"

#include <string_view>

namespace zf::avm1::geom {

// `object.name` as a script would read it (undefined on non-objects).
Value member(Vm& vm, const Value& object, std::string_view name);
// The same, converted to a number.
double number(Vm& vm, const Value& object, std::string_view name);
void setMember(Vm& vm, Object* object, std::string_view name, Value value);
// Appends "name=value" (comma separated after the first) to a toString result.
void appendField(Vm& vm, std::string& out, std::string_view name, const Value& value);

// A getter (and setter, when given) property, hidden from enumeration.
void defineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn getter, NativeFn setter);

// _global.flash.<name>, created on first use so that every installer can
// add its classes to the same package object.
Object* package(Vm& vm, std::string_view name);

// `new flash.geom.<className>(args...)` through the class scripts see, so
// instances made by built-ins look exactly like those made by scripts.
Value construct(Vm& vm, std::string_view className, std::span<const Value> args);
Value makePoint(Vm& vm, double x, double y);
Value makeRectangle(Vm& vm, double x, double y, double width, double height);

// A Matrix-like object's six numbers (missing fields read as NaN).
Matrix matrixOf(Vm& vm, const Value& object);
Value makeMatrix(Vm& vm, const Matrix& m);

// Colour transform with float multipliers (1 = unchanged) and offsets in
// colour units, as scripts see it.
struct ColorTransformValues {
    double redMultiplier = 1, greenMultiplier = 1, blueMultiplier = 1, alphaMultiplier = 1;
    double redOffset = 0, greenOffset = 0, blueOffset = 0, alphaOffset = 0;
};
ColorTransformValues colorTransformOf(Vm& vm, const Value& object);
Value makeColorTransform(Vm& vm, const ColorTransformValues& ct);
// Conversions to and from the renderer's fixed-point transform.
ColorTransformValues fromFixed(const ColorTransform& cx);
ColorTransform toFixed(const ColorTransformValues& ct);

// Installs the ColorTransform class.
void installColorTransform(Vm& vm, Object* geomPackage);
// Installs the Transform class (needs the display binding for clips).
void installTransform(Vm& vm, Object* geomPackage);
// MovieClip.prototype.transform.
void installClipTransform(Vm& vm, Object* movieClipProto);

} // namespace zf::avm1::geom
