// MovieClip.prototype (and the Button and TextField classes) over the display API.
#include "bitmap_p.h"
#include "clip_p.h"
#include "filters_p.h"
#include "geom_p.h"

#include <cmath>

namespace zf::avm1 {

namespace {

// The depths scripts may move objects to.
constexpr int64_t kMinScriptDepth = -16384;
constexpr int64_t kMaxScriptDepth = 2130690044;

StageRunner& runnerOf(Vm& vm)
{
    return static_cast<StageRunner&>(vm.binding());
}

display::DisplayObject* displayOf(Vm& vm, Object* self)
{
    return runnerOf(vm).displayOf(self ? vm.binding().forward(self) : nullptr);
}

display::MovieClip* clipOf(Vm& vm, Object* self)
{
    display::DisplayObject* object = displayOf(vm, self);
    return object ? object->asMovieClip() : nullptr;
}

Value objectValue(Vm& vm, display::DisplayObject* object)
{
    return object ? Value(runnerOf(vm).objectFor(*object)) : Value();
}

// A depth argument as a file depth, or nothing when it is not a number.
std::optional<int> depthArg(Vm& vm, const Value& value)
{
    double n = vm.toNumber(value);
    if (std::isnan(n) || std::isinf(n)) {
        return std::nullopt;
    }
    return int(n) + display::kScriptDepthOffset;
}

Value mcPlay(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    vm.binding().setPlaying(self, true);
    return {};
}

Value mcStop(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    vm.binding().setPlaying(self, false);
    return {};
}

Value mcStep(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    vm.binding().stepFrame(self, int(data.number()));
    return {};
}

Value mcGoto(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    vm.binding().gotoFrame(self, arg(args, 0), data.boolean(), 0);
    return {};
}

Value mcGetDepth(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    return object ? Value(double(object->scriptDepth())) : Value();
}

Value mcNextHighestDepth(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    return clip ? Value(double(clip->nextHighestDepth() - display::kScriptDepthOffset)) : Value();
}

Value mcCreateEmpty(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    auto depth = depthArg(vm, arg(args, 1));
    if (!clip || args.size() < 2 || !depth) {
        return {};
    }
    auto created = clip->createEmptyMovieClip(vm.toString(args[0]), *depth);
    return objectValue(vm, created.get());
}

Value mcAttachMovie(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    auto depth = depthArg(vm, arg(args, 2));
    if (!clip || args.size() < 3 || !depth) {
        return {};
    }
    runnerOf(vm).setPendingInit(arg(args, 3).object());
    auto created = clip->attachMovie(vm.toString(args[0]), vm.toString(args[1]), *depth);
    runnerOf(vm).setPendingInit(nullptr);
    return objectValue(vm, created.get());
}

Value mcDuplicate(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    if (!clip || args.size() < 2) {
        return {};
    }
    // The name is converted before the depth (both may call script code).
    std::string name = vm.toString(args[0]);
    auto depth = depthArg(vm, args[1]);
    if (!depth) {
        return {};
    }
    runnerOf(vm).setPendingInit(arg(args, 2).object());
    auto created = clip->duplicate(std::move(name), *depth);
    runnerOf(vm).setPendingInit(nullptr);
    return objectValue(vm, created.get());
}

Value mcRemove(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    if (object && object->parent()) {
        object->parent()->removeChild(*object);
    }
    return {};
}

Value mcSwapDepths(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    display::MovieClip* parent = object ? object->parent() : nullptr;
    if (!parent) {
        return {};
    }
    const Value& target = arg(args, 0);
    if (target.isUndefined()) {
        return {};
    }
    // A sibling by reference or by path swaps places with this clip.
    display::DisplayObject* other = runnerOf(vm).displayOf(target.object());
    if (!other && target.isString() && vm.context()) {
        Object* found = vm.resolvePath(*vm.context(), target.stringView(), self);
        other = found ? runnerOf(vm).displayOf(found) : nullptr;
    }
    if (other || target.isObject()) {
        if (other && other->parent() == parent && other->displayParent() == parent) {
            parent->swapChildDepth(*object, other->depth());
        }
        return {};
    }
    // Otherwise a depth, wrapped to 32 bits; NaN means 0.
    double n = vm.toNumber(target);
    int64_t depth = std::isnan(n) ? 0 : int64_t(int32_t(toUint32(n)));
    if (depth >= kMinScriptDepth && depth <= kMaxScriptDepth) {
        parent->swapChildDepth(*object, int(depth) + display::kScriptDepthOffset);
    }
    return {};
}

Value mcInstanceAtDepth(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    auto depth = depthArg(vm, arg(args, 0));
    if (!clip || !depth) {
        return {};
    }
    return objectValue(vm, clip->childAt(*depth));
}

// A space named by a string: a slash path from the clip itself ("/"
// starts at the root, ".." is the parent, ":" separates like "/"). Dots
// are part of names here.
const display::DisplayObject* spaceByPath(Vm& vm, display::DisplayObject& self,
                                          std::string_view path)
{
    display::DisplayObject* current = &self;
    size_t i = 0;
    if (!path.empty() && path[0] == '/') {
        current = &runnerOf(vm).stage().root();
        i = 1;
    }
    while (current && i < path.size()) {
        size_t next = std::min(path.find_first_of("/:", i), path.size());
        std::string_view name = path.substr(i, next - i);
        i = next + 1;
        if (name == "..") {
            current = current->parent();
        } else if (!name.empty()) {
            display::MovieClip* clip = current->asMovieClip();
            current = clip ? clip->childByName(name) : nullptr;
        }
    }
    return path.empty() ? nullptr : current;
}

Value mcGetBounds(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    if (!object) {
        return {};
    }
    const display::DisplayObject* space = object;
    if (!args.empty()) {
        // A clip, or anything else by its string form as a path.
        Object* target = args[0].object();
        space = target ? runnerOf(vm).displayOf(vm.binding().forward(target)) : nullptr;
        if (!space && (!target || target->kind() != Kind::Clip)) {
            space = spaceByPath(vm, *object, vm.toString(args[0]));
        }
        if (!space) {
            return {};
        }
    }
    Bounds bounds = object->boundsIn(space);
    Object* result = vm.newObject();
    // Empty bounds are the largest twip value; taken into another space they
    // pass through single-precision arithmetic and round up by one twip.
    double none = space == object ? 6710886.35 : 6710886.4;
    auto put = [&](const char* name, double twips) {
        vm.set(result, vm.intern(name), Value(bounds.empty() ? none : twips / 20.0));
    };
    put("xMin", bounds.xMin);
    put("xMax", bounds.xMax);
    put("yMin", bounds.yMin);
    put("yMax", bounds.yMax);
    return Value(result);
}

Value mcHitTest(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::DisplayObject* object = displayOf(vm, self);
    if (!object) {
        return Value(false);
    }
    if (args.size() >= 2) {
        Point point{vm.toNumber(args[0]) * 20, vm.toNumber(args[1]) * 20};
        return Value(object->hitTest(point, args.size() > 2 && vm.toBoolean(args[2])));
    }
    display::DisplayObject* other = runnerOf(vm).displayOf(arg(args, 0).object());
    if (!other) {
        return Value(false);
    }
    Bounds a = object->boundsIn(nullptr);
    Bounds b = other->boundsIn(nullptr);
    bool overlap = !a.empty() && !b.empty() && a.xMin <= b.xMax && b.xMin <= a.xMax &&
                   a.yMin <= b.yMax && b.yMin <= a.yMax;
    return Value(overlap);
}

Value mcConvertPoint(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    display::DisplayObject* object = displayOf(vm, self);
    Object* point = arg(args, 0).object();
    if (!object || !point) {
        return {};
    }
    Str x = vm.intern("x");
    Str y = vm.intern("y");
    // Only a point whose own x and y are numbers is converted.
    const Property* px = point->properties().find(x, vm.fold());
    const Property* py = point->properties().find(y, vm.fold());
    if (!px || !py || px->isAccessor() || py->isAccessor() || !px->value.isNumber() ||
        !py->value.isNumber()) {
        return {};
    }
    // Positions are whole twips on the way in and out.
    Point in{std::round(px->value.number() * 20), std::round(py->value.number() * 20)};
    Point out = data.boolean() ? object->localToGlobal(in) : object->globalToLocal(in);
    vm.set(point, x, Value(std::round(out.x) / 20));
    vm.set(point, y, Value(std::round(out.y) / 20));
    return {};
}

Value mcStartDrag(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    double bounds[4] = {};
    bool constrain = args.size() >= 5;
    for (size_t i = 0; constrain && i < 4; ++i) {
        bounds[i] = vm.toNumber(args[i + 1]);
    }
    vm.binding().startDrag(self, vm.toBoolean(arg(args, 0)), constrain ? bounds : nullptr);
    return {};
}

Value mcStopDrag(Vm& vm, Object*, std::span<const Value>, const Value&)
{
    vm.binding().stopDrag();
    return {};
}

Rgba colorArg(Vm& vm, const Value& rgb, const Value& alpha)
{
    uint32_t value = toUint32(vm.toNumber(rgb));
    double a = alpha.isUndefined() ? 100 : vm.toNumber(alpha);
    a = std::isnan(a) ? 100 : std::clamp(a, 0.0, 100.0);
    return Rgba{uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value), uint8_t(a * 255 / 100)};
}

Value mcLineStyle(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    if (!clip) {
        return {};
    }
    if (args.empty() || args[0].isUndefined()) {
        clip->drawing().lineStyle(std::nullopt);
        return {};
    }
    double width = vm.toNumber(args[0]);
    clip->drawing().lineStyle(std::isnan(width) ? 0 : std::clamp(width, 0.0, 255.0) * 20,
                              colorArg(vm, arg(args, 1), arg(args, 2)));
    return {};
}

Value mcBeginFill(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (display::MovieClip* clip = clipOf(vm, self); clip && !args.empty()) {
        clip->drawing().beginFill(colorArg(vm, args[0], arg(args, 1)));
    }
    return {};
}

Value mcEndFill(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (display::MovieClip* clip = clipOf(vm, self)) {
        clip->drawing().endFill();
    }
    return {};
}

Value mcClear(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (display::MovieClip* clip = clipOf(vm, self)) {
        clip->drawing().clear();
    }
    return {};
}

// data: 0 moveTo, 1 lineTo, 2 curveTo
Value mcPath(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    display::MovieClip* clip = clipOf(vm, self);
    if (!clip) {
        return {};
    }
    double v[4];
    size_t needed = data.number() == 2 ? 4 : 2;
    if (args.size() < needed) {
        return {};
    }
    for (size_t i = 0; i < needed; ++i) {
        v[i] = vm.toNumber(args[i]) * 20;
        if (std::isnan(v[i])) {
            return {};
        }
    }
    if (data.number() == 0) {
        clip->drawing().moveTo(v[0], v[1]);
    } else if (data.number() == 1) {
        clip->drawing().lineTo(v[0], v[1]);
    } else {
        clip->drawing().curveTo(v[0], v[1], v[2], v[3]);
    }
    return {};
}

Value mcSetMask(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (display::MovieClip* clip = clipOf(vm, self)) {
        display::DisplayObject* mask = runnerOf(vm).displayOf(arg(args, 0).object());
        clip->setMask(mask ? mask->asMovieClip() : nullptr);
    }
    return {};
}

Value mcCreateTextField(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    auto depth = depthArg(vm, arg(args, 1));
    if (!clip || args.size() < 6 || !depth) {
        return {};
    }
    auto twips = [&](size_t i) { return int32_t(vm.toNumber(args[i]) * 20); };
    RectTwips box;
    box.xMin = twips(2);
    box.yMin = twips(3);
    box.xMax = box.xMin + twips(4);
    box.yMax = box.yMin + twips(5);
    auto field = clip->createTextField(vm.toString(args[0]), *depth, box);
    return objectValue(vm, field.get());
}

Value mcBytes(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    display::MovieClip* clip = clipOf(vm, self);
    // A clip made by createEmptyMovieClip has no bytes of its own.
    if (clip && !clip->isRoot() && clip->characterId() == 0 && !clip->loadedMovie()) {
        return Value(0.0);
    }
    const movie::MovieDefinition& movie = clip ? clip->definition() : runnerOf(vm).stage().movie();
    return Value(double(movie.header().fileLength));
}

Value constructNothing(Vm& vm, Object*, std::span<const Value>, const Value&)
{
    return Value(vm.newObject());
}

} // namespace

void installMovieClipBuiltins(Vm& vm, StageRunner& runner)
{
    Object* proto = vm.newObject();
    runner.movieClipProto = proto;
    installClipFilters(vm, proto);
    geom::installClipTransform(vm, proto);
    bitmap::installClipBitmapMethods(vm, proto);
    vm.defineClass("MovieClip", constructNothing, constructNothing, proto);
    vm.defineMethod(proto, "play", mcPlay);
    vm.defineMethod(proto, "stop", mcStop);
    vm.defineMethod(proto, "nextFrame", mcStep, Value(1.0));
    vm.defineMethod(proto, "prevFrame", mcStep, Value(-1.0));
    vm.defineMethod(proto, "gotoAndPlay", mcGoto, Value(true));
    vm.defineMethod(proto, "gotoAndStop", mcGoto, Value(false));
    vm.defineMethod(proto, "getDepth", mcGetDepth);
    vm.defineMethod(proto, "getNextHighestDepth", mcNextHighestDepth);
    vm.defineMethod(proto, "createEmptyMovieClip", mcCreateEmpty);
    vm.defineMethod(proto, "attachMovie", mcAttachMovie);
    vm.defineMethod(proto, "duplicateMovieClip", mcDuplicate);
    vm.defineMethod(proto, "removeMovieClip", mcRemove);
    vm.defineMethod(proto, "swapDepths", mcSwapDepths);
    vm.defineMethod(proto, "getInstanceAtDepth", mcInstanceAtDepth);
    vm.defineMethod(proto, "getBounds", mcGetBounds);
    vm.defineMethod(proto, "getRect", mcGetBounds);
    vm.defineMethod(proto, "hitTest", mcHitTest);
    vm.defineMethod(proto, "localToGlobal", mcConvertPoint, Value(true));
    vm.defineMethod(proto, "globalToLocal", mcConvertPoint, Value(false));
    vm.defineMethod(proto, "startDrag", mcStartDrag);
    vm.defineMethod(proto, "stopDrag", mcStopDrag);
    vm.defineMethod(proto, "lineStyle", mcLineStyle);
    vm.defineMethod(proto, "beginFill", mcBeginFill);
    vm.defineMethod(proto, "endFill", mcEndFill);
    vm.defineMethod(proto, "clear", mcClear);
    vm.defineMethod(proto, "moveTo", mcPath, Value(0.0));
    vm.defineMethod(proto, "lineTo", mcPath, Value(1.0));
    vm.defineMethod(proto, "curveTo", mcPath, Value(2.0));
    vm.defineMethod(proto, "setMask", mcSetMask);
    vm.defineMethod(proto, "createTextField", mcCreateTextField);
    vm.defineMethod(proto, "getBytesLoaded", mcBytes);
    vm.defineMethod(proto, "getBytesTotal", mcBytes);
    installLoadingBuiltins(vm, runner);

    runner.buttonProto = vm.newObject();
    vm.defineClass("Button", constructNothing, constructNothing, runner.buttonProto);
    vm.defineMethod(runner.buttonProto, "getDepth", mcGetDepth);
    installClipProperties(vm, proto, runner.buttonProto);

    runner.textFieldProto = vm.newObject();
    vm.defineClass("TextField", constructNothing, constructNothing, runner.textFieldProto);
    vm.defineMethod(runner.textFieldProto, "getDepth", mcGetDepth);
    vm.defineMethod(runner.textFieldProto, "removeTextField", mcRemove);
}

} // namespace zf::avm1
