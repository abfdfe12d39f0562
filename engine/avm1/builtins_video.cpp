// Video: the script face of a video object placed by a timeline. Frames
// are not decoded, so attachVideo and clear only keep the script's state;
// the size, smoothing and deblocking settings are real.
#include "clip_p.h"
#include "text_p.h"

#include <cmath>

namespace zf::avm1 {
namespace {

display::VideoObject* videoOf(Vm& vm, Object* self)
{
    auto& runner = static_cast<StageRunner&>(vm.binding());
    display::DisplayObject* object = runner.displayOf(self ? vm.binding().forward(self) : nullptr);
    if (!object || object->kind() != display::ObjectKind::Video) {
        return nullptr;
    }
    return static_cast<display::VideoObject*>(object);
}

// Calling Video as a function, attachVideo and clear do nothing.
Value videoNothing(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

// `new Video()` makes a plain object: only a timeline places real videos.
Value videoConstruct(Vm& vm, Object*, std::span<const Value>, const Value& data)
{
    return Value(vm.newObject(data.object()));
}

// The stream's frame size in pixels (0 for an object that is no video).
Value videoWidth(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::VideoObject* video = videoOf(vm, self);
    return Value(video && video->stream() ? double(video->stream()->width) : 0.0);
}

Value videoHeight(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::VideoObject* video = videoOf(vm, self);
    return Value(video && video->stream() ? double(video->stream()->height) : 0.0);
}

Value getSmoothing(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::VideoObject* video = videoOf(vm, self);
    return video ? Value(video->smoothing) : Value();
}

Value setSmoothing(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (display::VideoObject* video = videoOf(vm, self)) {
        video->smoothing = vm.toBoolean(arg(args, 0));
    }
    return {};
}

Value getDeblocking(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::VideoObject* video = videoOf(vm, self);
    return video ? Value(double(video->deblocking)) : Value();
}

// 0 lets the player choose, 1 turns the filter off, 2..6 pick one; other
// numbers are kept as given.
Value setDeblocking(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (display::VideoObject* video = videoOf(vm, self)) {
        double n = vm.toNumber(arg(args, 0));
        video->deblocking = std::isfinite(n) ? int(std::clamp(n, -2147483648.0, 2147483647.0)) : 0;
    }
    return {};
}

} // namespace

void installVideoBuiltins(Vm& vm)
{
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.defineClass("Video", videoNothing, videoConstruct, proto);
    ctor->data = Value(proto);
    vm.defineMethod(proto, "attachVideo", videoNothing);
    vm.defineMethod(proto, "clear", videoNothing);
    defineAccessor(vm, proto, "width", videoWidth, nullptr);
    defineAccessor(vm, proto, "height", videoHeight, nullptr);
    defineAccessor(vm, proto, "smoothing", getSmoothing, setSmoothing);
    defineAccessor(vm, proto, "deblocking", getDeblocking, setDeblocking);
}

Object* videoPrototype(Vm& vm)
{
    Object* ctor = vm.get(vm.global(), "Video").object();
    Object* proto = ctor ? vm.get(ctor, "prototype").object() : nullptr;
    return proto ? proto : vm.objectProto();
}

} // namespace zf::avm1
