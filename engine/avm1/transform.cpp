// flash.geom.Transform: a live view of a display object's matrix and colour
// transform. Reads return fresh Matrix / ColorTransform objects in pixels;
// writes copy the numbers back into the display object.
#include "clip_p.h"
#include "geom_p.h"

#include <cmath>

namespace zf::avm1 {

namespace {

class TransformObject : public Object {
public:
    TransformObject(Object* proto, Object* clip) : Object(proto, Kind::Native), clip(clip) {}
    Object* clip;
    void traceChildren(std::vector<Object*>& work) const override
    {
        Object::traceChildren(work);
        if (clip) {
            work.push_back(clip);
        }
    }
};

display::DisplayObject* displayOf(Vm& vm, Object* self)
{
    auto* transform = dynamic_cast<TransformObject*>(self);
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    if (!transform || !runner) {
        return nullptr;
    }
    return runner->displayOf(vm.binding().forward(transform->clip));
}

Matrix toPixels(Matrix m)
{
    m.tx /= kTwipsPerPixel;
    m.ty /= kTwipsPerPixel;
    return m;
}

Value transformConstruct(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    Object* proto = data.object();
    Object* clip = arg(args, 0).object();
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    if (!runner || !runner->displayOf(clip)) {
        return {};
    }
    return Value(vm.heap().make<TransformObject>(proto, clip));
}

Value transformMatrix(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    return object ? geom::makeMatrix(vm, toPixels(object->matrix())) : Value();
}

Value transformSetMatrix(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    if (!object || !arg(args, 0).isObject()) {
        return {};
    }
    Matrix m = geom::matrixOf(vm, args[0]);
    double values[] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
    for (double v : values) {
        if (!std::isfinite(v)) {
            return {};
        }
    }
    m.tx *= kTwipsPerPixel;
    m.ty *= kTwipsPerPixel;
    object->setMatrix(m);
    return {};
}

Value transformConcatenatedMatrix(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    return object ? geom::makeMatrix(vm, toPixels(object->concatenatedMatrix())) : Value();
}

Value transformColorTransform(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    return object ? geom::makeColorTransform(vm, geom::fromFixed(object->colorTransform()))
                  : Value();
}

Value transformSetColorTransform(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    if (object && arg(args, 0).isObject()) {
        object->setColorTransform(geom::toFixed(geom::colorTransformOf(vm, args[0])));
    }
    return {};
}

Value transformConcatenatedColorTransform(Vm& vm, Object* self, std::span<const Value>,
                                          const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    return object
               ? geom::makeColorTransform(vm, geom::fromFixed(object->concatenatedColorTransform()))
               : Value();
}

Value transformPixelBounds(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    if (!object) {
        return {};
    }
    Bounds b = object->boundsIn(nullptr);
    if (b.empty()) {
        return geom::makeRectangle(vm, 0, 0, 0, 0);
    }
    double left = std::floor(b.xMin / kTwipsPerPixel);
    double top = std::floor(b.yMin / kTwipsPerPixel);
    return geom::makeRectangle(vm, left, top, std::ceil(b.xMax / kTwipsPerPixel) - left,
                               std::ceil(b.yMax / kTwipsPerPixel) - top);
}

// MovieClip.transform: a fresh Transform of the clip on every read.
Value clipTransform(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    Value args[] = {Value(self)};
    return geom::construct(vm, "Transform", args);
}

// Assigning a Transform copies its matrix and colour transform.
Value clipSetTransform(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    display::DisplayObject* target = runner ? runner->displayOf(self) : nullptr;
    display::DisplayObject* source = displayOf(vm, arg(args, 0).object());
    if (target && source && target != source) {
        target->setMatrix(source->matrix());
        target->setColorTransform(source->colorTransform());
    }
    return {};
}

} // namespace

namespace geom {

void installClipTransform(Vm& vm, Object* movieClipProto)
{
    defineAccessor(vm, movieClipProto, "transform", clipTransform, clipSetTransform);
    // The property arrived with SWF 8.
    movieClipProto->properties().find(vm.intern("transform"), vm.fold())->versionBits |= 0x1000;
}

void installTransform(Vm& vm, Object* geomPackage)
{
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.newNative(transformConstruct, Value(proto));
    ctor->constructNative = transformConstruct;
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    geom::defineAccessor(vm, proto, "matrix", transformMatrix, transformSetMatrix);
    geom::defineAccessor(vm, proto, "concatenatedMatrix", transformConcatenatedMatrix, nullptr);
    geom::defineAccessor(vm, proto, "colorTransform", transformColorTransform,
                         transformSetColorTransform);
    geom::defineAccessor(vm, proto, "concatenatedColorTransform",
                         transformConcatenatedColorTransform, nullptr);
    geom::defineAccessor(vm, proto, "pixelBounds", transformPixelBounds, nullptr);
    vm.defineValue(geomPackage, "Transform", ctor);
}

} // namespace geom

} // namespace zf::avm1
