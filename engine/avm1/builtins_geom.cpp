// flash.geom: Point, Rectangle, Matrix and ColorTransform.
//
// These classes keep their state in ordinary properties (x, y, width, a, b,
// ...), so scripts may store any value in them; the methods convert to
// numbers only where they compute, and copy the raw values where they only
// move them (clone, the Rectangle corner getters), as scripts observe.
#include "geom_p.h"

#include <cmath>

namespace zf::avm1 {

namespace geom {

Value member(Vm& vm, const Value& object, std::string_view name)
{
    if (!object.isObject()) {
        return {};
    }
    return vm.get(object.object(), vm.intern(name));
}

double number(Vm& vm, const Value& object, std::string_view name)
{
    return vm.toNumber(member(vm, object, name));
}

void setMember(Vm& vm, Object* object, std::string_view name, Value value)
{
    if (object) {
        vm.set(object, vm.intern(name), std::move(value));
    }
}

namespace {

// An own property holding an object, found without the version gates.
Object* ownObject(Vm& vm, Object* on, std::string_view name)
{
    Property* property = on ? on->properties().find(vm.intern(name), vm.fold()) : nullptr;
    return property ? property->value.object() : nullptr;
}

} // namespace

Object* package(Vm& vm, std::string_view name)
{
    Object* flash = ownObject(vm, vm.global(), "flash");
    if (!flash) {
        flash = vm.newObject();
        vm.defineValue(vm.global(), "flash", flash);
        // The packages arrived with SWF 8; older movies do not see them.
        vm.global()->properties().find(vm.intern("flash"), vm.fold())->versionBits |= 0x1000;
    }
    Object* result = ownObject(vm, flash, name);
    if (!result) {
        result = vm.newObject();
        vm.defineValue(flash, name, result);
    }
    return result;
}

Value construct(Vm& vm, std::string_view className, std::span<const Value> args)
{
    Object* geomPackage = ownObject(vm, ownObject(vm, vm.global(), "flash"), "geom");
    if (!geomPackage) {
        return {};
    }
    return vm.construct(vm.get(geomPackage, className), args);
}

Value makePoint(Vm& vm, double x, double y)
{
    Value args[] = {Value(x), Value(y)};
    return construct(vm, "Point", args);
}

Value makeRectangle(Vm& vm, double x, double y, double width, double height)
{
    Value args[] = {Value(x), Value(y), Value(width), Value(height)};
    return construct(vm, "Rectangle", args);
}

void defineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn getter, NativeFn setter)
{
    Str key = vm.intern(name);
    Property* property = on->properties().find(key, vm.fold());
    if (!property) {
        property = &on->properties().add(key, Value(), vm.fold(), DontEnum);
    }
    property->getter = vm.newNative(getter);
    property->setter = setter ? vm.newNative(setter) : nullptr;
}

Matrix matrixOf(Vm& vm, const Value& object)
{
    return {number(vm, object, "a"), number(vm, object, "b"),  number(vm, object, "c"),
            number(vm, object, "d"), number(vm, object, "tx"), number(vm, object, "ty")};
}

Value makeMatrix(Vm& vm, const Matrix& m)
{
    Value args[] = {Value(m.a), Value(m.b), Value(m.c), Value(m.d), Value(m.tx), Value(m.ty)};
    return construct(vm, "Matrix", args);
}

// Appends "name=value" to a toString result being built after its "(".
void appendField(Vm& vm, std::string& out, std::string_view name, const Value& value)
{
    if (out.size() > 1) {
        out += ", ";
    }
    out += name;
    out += '=';
    out += vm.toString(value);
}

} // namespace geom

namespace {

using geom::appendField;
using geom::defineAccessor;
using geom::member;
using geom::number;
using geom::setMember;

// "(x=1, y=2)" from the named fields of an object.
Value describe(Vm& vm, Object* self,
               std::initializer_list<std::pair<const char*, const char*>> fields)
{
    std::string out = "(";
    for (const auto& [label, name] : fields) {
        appendField(vm, out, label, vm.get(self, vm.intern(name)));
    }
    out += ')';
    return Value(vm.intern(out));
}

Object* geomClass(Vm& vm, std::string_view name)
{
    return geom::member(vm, Value(geom::package(vm, "geom")), name).object();
}

bool isInstance(Vm& vm, const Value& value, std::string_view className)
{
    return value.isObject() && vm.instanceOf(value.object(), geomClass(vm, className));
}

// Relational tests the way these classes report them: a comparison with NaN
// on either side is undefined, and a chain of tests stops at the first
// result that is not true.
struct Chain {
    Value result = Value(true);
    void test(double a, double b, bool holds)
    {
        if (!result.isBoolean() || !result.boolean()) {
            return;
        }
        if (std::isnan(a) || std::isnan(b)) {
            result = Value();
        } else if (!holds) {
            result = Value(false);
        }
    }
    void atLeast(double a, double b) { test(a, b, a >= b); }
    void below(double a, double b) { test(a, b, a < b); }
    void atMost(double a, double b) { test(a, b, a <= b); }
};

// --- Point ---------------------------------------------------------------

Value pointConstruct(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        setMember(vm, self, "x", Value(0));
        setMember(vm, self, "y", Value(0));
    } else {
        setMember(vm, self, "x", args[0]);
        setMember(vm, self, "y", arg(args, 1));
    }
    return {};
}

Value pointToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return describe(vm, self, {{"x", "x"}, {"y", "y"}});
}

Value pointLength(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return Value(std::hypot(number(vm, self, "x"), number(vm, self, "y")));
}

Value pointAdd(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& other = arg(args, 0);
    return geom::makePoint(vm, number(vm, self, "x") + number(vm, other, "x"),
                           number(vm, self, "y") + number(vm, other, "y"));
}

Value pointSubtract(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& other = arg(args, 0);
    return geom::makePoint(vm, number(vm, self, "x") - number(vm, other, "x"),
                           number(vm, self, "y") - number(vm, other, "y"));
}

Value pointEquals(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& other = arg(args, 0);
    if (!isInstance(vm, other, "Point")) {
        return Value(false);
    }
    return Value(vm.abstractEquals(member(vm, self, "x"), member(vm, other, "x")) &&
                 vm.abstractEquals(member(vm, self, "y"), member(vm, other, "y")));
}

Value pointClone(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    Value args[] = {member(vm, self, "x"), member(vm, self, "y")};
    return geom::construct(vm, "Point", args);
}

Value pointNormalize(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    double x = number(vm, self, "x");
    double y = number(vm, self, "y");
    double length = std::hypot(x, y);
    // A zero or undefined length leaves the point as it is.
    if (length > 0) {
        double factor = vm.toNumber(arg(args, 0)) / length;
        setMember(vm, self, "x", Value(x * factor));
        setMember(vm, self, "y", Value(y * factor));
    }
    return {};
}

Value pointOffset(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    setMember(vm, self, "x", Value(number(vm, self, "x") + vm.toNumber(arg(args, 0))));
    setMember(vm, self, "y", Value(number(vm, self, "y") + vm.toNumber(arg(args, 1))));
    return {};
}

Value pointDistance(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    const Value& a = arg(args, 0);
    if (!isInstance(vm, a, "Point")) {
        return {};
    }
    const Value& b = arg(args, 1);
    return Value(std::hypot(number(vm, a, "x") - number(vm, b, "x"),
                            number(vm, a, "y") - number(vm, b, "y")));
}

Value pointInterpolate(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    const Value& a = arg(args, 0);
    const Value& b = arg(args, 1);
    double f = vm.toNumber(arg(args, 2));
    double bx = number(vm, b, "x");
    double by = number(vm, b, "y");
    return geom::makePoint(vm, bx + f * (number(vm, a, "x") - bx),
                           by + f * (number(vm, a, "y") - by));
}

Value pointPolar(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    double length = vm.toNumber(arg(args, 0));
    double angle = vm.toNumber(arg(args, 1));
    return geom::makePoint(vm, length * std::cos(angle), length * std::sin(angle));
}

void installPoint(Vm& vm, Object* package)
{
    FunctionObject* ctor = vm.newNative(pointConstruct);
    Object* proto = vm.newObject();
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    vm.defineMethod(proto, "toString", pointToString);
    vm.defineMethod(proto, "add", pointAdd);
    vm.defineMethod(proto, "subtract", pointSubtract);
    vm.defineMethod(proto, "equals", pointEquals);
    vm.defineMethod(proto, "clone", pointClone);
    vm.defineMethod(proto, "normalize", pointNormalize);
    vm.defineMethod(proto, "offset", pointOffset);
    defineAccessor(vm, proto, "length", pointLength, nullptr);
    vm.defineMethod(ctor, "distance", pointDistance);
    vm.defineMethod(ctor, "interpolate", pointInterpolate);
    vm.defineMethod(ctor, "polar", pointPolar);
    vm.defineValue(package, "Point", ctor);
}

// --- Rectangle -----------------------------------------------------------

struct Box {
    double x, y, width, height;
    double right() const { return x + width; }
    double bottom() const { return y + height; }
};

Box boxOf(Vm& vm, const Value& object)
{
    return {number(vm, object, "x"), number(vm, object, "y"), number(vm, object, "width"),
            number(vm, object, "height")};
}

void setBox(Vm& vm, Object* self, const Box& box)
{
    setMember(vm, self, "x", Value(box.x));
    setMember(vm, self, "y", Value(box.y));
    setMember(vm, self, "width", Value(box.width));
    setMember(vm, self, "height", Value(box.height));
}

Value rectangleConstruct(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        setBox(vm, self, {0, 0, 0, 0});
        return {};
    }
    setMember(vm, self, "x", args[0]);
    setMember(vm, self, "y", arg(args, 1));
    setMember(vm, self, "width", arg(args, 2));
    setMember(vm, self, "height", arg(args, 3));
    return {};
}

Value rectangleToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return describe(vm, self, {{"x", "x"}, {"y", "y"}, {"w", "width"}, {"h", "height"}});
}

Value rectangleLeft(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return member(vm, self, "x");
}

// Moves the left or top edge to `edge`, keeping the opposite edge where it
// is: the size grows by as much as the edge moved out.
void moveNearEdge(Vm& vm, Object* self, const char* position, const char* size, const Value& edge)
{
    double moved = number(vm, self, position) - vm.toNumber(edge);
    setMember(vm, self, size, Value(number(vm, self, size) + moved));
    setMember(vm, self, position, edge);
}

Value rectangleSetLeft(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    moveNearEdge(vm, self, "x", "width", arg(args, 0));
    return {};
}

Value rectangleTop(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return member(vm, self, "y");
}

Value rectangleSetTop(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    moveNearEdge(vm, self, "y", "height", arg(args, 0));
    return {};
}

Value rectangleRight(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return Value(boxOf(vm, self).right());
}

Value rectangleSetRight(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    setMember(vm, self, "width", Value(vm.toNumber(arg(args, 0)) - number(vm, self, "x")));
    return {};
}

Value rectangleBottom(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return Value(boxOf(vm, self).bottom());
}

Value rectangleSetBottom(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    setMember(vm, self, "height", Value(vm.toNumber(arg(args, 0)) - number(vm, self, "y")));
    return {};
}

Value rectangleTopLeft(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    Value args[] = {member(vm, self, "x"), member(vm, self, "y")};
    return geom::construct(vm, "Point", args);
}

Value rectangleSetTopLeft(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& point = arg(args, 0);
    Value x = member(vm, point, "x");
    Value y = member(vm, point, "y");
    setMember(vm, self, "width",
              Value(number(vm, self, "width") + (number(vm, self, "x") - vm.toNumber(x))));
    setMember(vm, self, "height",
              Value(number(vm, self, "height") + (number(vm, self, "y") - vm.toNumber(y))));
    setMember(vm, self, "x", x);
    setMember(vm, self, "y", y);
    return {};
}

Value rectangleBottomRight(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    Box box = boxOf(vm, self);
    return geom::makePoint(vm, box.right(), box.bottom());
}

Value rectangleSetBottomRight(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& point = arg(args, 0);
    setMember(vm, self, "width", Value(number(vm, point, "x") - number(vm, self, "x")));
    setMember(vm, self, "height", Value(number(vm, point, "y") - number(vm, self, "y")));
    return {};
}

Value rectangleSize(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    Value args[] = {member(vm, self, "width"), member(vm, self, "height")};
    return geom::construct(vm, "Point", args);
}

Value rectangleSetSize(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& point = arg(args, 0);
    setMember(vm, self, "width", member(vm, point, "x"));
    setMember(vm, self, "height", member(vm, point, "y"));
    return {};
}

Value rectangleClone(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    Value args[] = {member(vm, self, "x"), member(vm, self, "y"), member(vm, self, "width"),
                    member(vm, self, "height")};
    return geom::construct(vm, "Rectangle", args);
}

Value containsPoint(const Box& box, double x, double y)
{
    Chain chain;
    chain.atLeast(x, box.x);
    chain.atLeast(y, box.y);
    chain.below(x, box.right());
    chain.below(y, box.bottom());
    return chain.result;
}

Value rectangleContains(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    return containsPoint(boxOf(vm, self), vm.toNumber(arg(args, 0)), vm.toNumber(arg(args, 1)));
}

Value rectangleContainsPoint(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& point = arg(args, 0);
    return containsPoint(boxOf(vm, self), number(vm, point, "x"), number(vm, point, "y"));
}

Value rectangleContainsRectangle(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Box box = boxOf(vm, self);
    Box other = boxOf(vm, arg(args, 0));
    Chain chain;
    chain.atLeast(other.x, box.x);
    chain.atLeast(other.y, box.y);
    chain.atMost(other.right(), box.right());
    chain.atMost(other.bottom(), box.bottom());
    return chain.result;
}

Value rectangleEquals(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    const Value& other = arg(args, 0);
    if (!isInstance(vm, other, "Rectangle")) {
        return Value(false);
    }
    for (const char* name : {"x", "y", "width", "height"}) {
        if (!vm.abstractEquals(member(vm, self, name), member(vm, other, name))) {
            return Value(false);
        }
    }
    return Value(true);
}

bool isEmpty(const Box& box)
{
    return !(box.width > 0 && box.height > 0);
}

Value rectangleIsEmpty(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return Value(isEmpty(boxOf(vm, self)));
}

Value rectangleSetEmpty(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    setBox(vm, self, {0, 0, 0, 0});
    return {};
}

void inflate(Vm& vm, Object* self, double dx, double dy)
{
    Box box = boxOf(vm, self);
    setBox(vm, self, {box.x - dx, box.y - dy, box.width + 2 * dx, box.height + 2 * dy});
}

Value rectangleInflate(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    inflate(vm, self, vm.toNumber(arg(args, 0)), vm.toNumber(arg(args, 1)));
    return {};
}

Value rectangleInflatePoint(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    inflate(vm, self, number(vm, arg(args, 0), "x"), number(vm, arg(args, 0), "y"));
    return {};
}

void offset(Vm& vm, Object* self, double dx, double dy)
{
    setMember(vm, self, "x", Value(number(vm, self, "x") + dx));
    setMember(vm, self, "y", Value(number(vm, self, "y") + dy));
}

Value rectangleOffset(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    offset(vm, self, vm.toNumber(arg(args, 0)), vm.toNumber(arg(args, 1)));
    return {};
}

Value rectangleOffsetPoint(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    offset(vm, self, number(vm, arg(args, 0), "x"), number(vm, arg(args, 0), "y"));
    return {};
}

// Like Math.min/max: NaN on either side gives NaN.
double minOf(double a, double b)
{
    return std::isnan(a) || std::isnan(b) ? NAN : std::min(a, b);
}

double maxOf(double a, double b)
{
    return std::isnan(a) || std::isnan(b) ? NAN : std::max(a, b);
}

// The overlap of two boxes; an empty overlap (NaN included) is all zeros.
Box intersect(const Box& a, const Box& b)
{
    double left = maxOf(a.x, b.x);
    double top = maxOf(a.y, b.y);
    double right = minOf(a.right(), b.right());
    double bottom = minOf(a.bottom(), b.bottom());
    if (!(right > left && bottom > top)) {
        return {0, 0, 0, 0};
    }
    return {left, top, right - left, bottom - top};
}

Value rectangleIntersection(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Box box = intersect(boxOf(vm, self), boxOf(vm, arg(args, 0)));
    return geom::makeRectangle(vm, box.x, box.y, box.width, box.height);
}

Value rectangleIntersects(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    return Value(!isEmpty(intersect(boxOf(vm, self), boxOf(vm, arg(args, 0)))));
}

Value rectangleUnion(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Box a = boxOf(vm, self);
    Box b = boxOf(vm, arg(args, 0));
    double left = minOf(a.x, b.x);
    double top = minOf(a.y, b.y);
    return geom::makeRectangle(vm, left, top, maxOf(a.right(), b.right()) - left,
                               maxOf(a.bottom(), b.bottom()) - top);
}

void installRectangle(Vm& vm, Object* package)
{
    FunctionObject* ctor = vm.newNative(rectangleConstruct);
    Object* proto = vm.newObject();
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    struct Method {
        const char* name;
        NativeFn fn;
    };
    for (const Method& m : {Method{"toString", rectangleToString},
                            {"clone", rectangleClone},
                            {"contains", rectangleContains},
                            {"containsPoint", rectangleContainsPoint},
                            {"containsRectangle", rectangleContainsRectangle},
                            {"equals", rectangleEquals},
                            {"isEmpty", rectangleIsEmpty},
                            {"setEmpty", rectangleSetEmpty},
                            {"inflate", rectangleInflate},
                            {"inflatePoint", rectangleInflatePoint},
                            {"offset", rectangleOffset},
                            {"offsetPoint", rectangleOffsetPoint},
                            {"intersection", rectangleIntersection},
                            {"intersects", rectangleIntersects},
                            {"union", rectangleUnion}}) {
        vm.defineMethod(proto, m.name, m.fn);
    }
    defineAccessor(vm, proto, "left", rectangleLeft, rectangleSetLeft);
    defineAccessor(vm, proto, "top", rectangleTop, rectangleSetTop);
    defineAccessor(vm, proto, "right", rectangleRight, rectangleSetRight);
    defineAccessor(vm, proto, "bottom", rectangleBottom, rectangleSetBottom);
    defineAccessor(vm, proto, "topLeft", rectangleTopLeft, rectangleSetTopLeft);
    defineAccessor(vm, proto, "bottomRight", rectangleBottomRight, rectangleSetBottomRight);
    defineAccessor(vm, proto, "size", rectangleSize, rectangleSetSize);
    vm.defineValue(package, "Rectangle", ctor);
}

// --- Matrix --------------------------------------------------------------

constexpr const char* MatrixFields[] = {"a", "b", "c", "d", "tx", "ty"};

void setMatrix(Vm& vm, Object* self, const Matrix& m)
{
    double values[] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
    for (size_t i = 0; i < 6; ++i) {
        setMember(vm, self, MatrixFields[i], Value(values[i]));
    }
}

Value matrixConstruct(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        setMatrix(vm, self, Matrix{});
        return {};
    }
    for (size_t i = 0; i < 6; ++i) {
        setMember(vm, self, MatrixFields[i], arg(args, i));
    }
    return {};
}

Value matrixToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return describe(vm, self,
                    {{"a", "a"}, {"b", "b"}, {"c", "c"}, {"d", "d"}, {"tx", "tx"}, {"ty", "ty"}});
}

Value matrixIdentity(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    setMatrix(vm, self, Matrix{});
    return {};
}

Value matrixClone(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    Value args[6];
    for (size_t i = 0; i < 6; ++i) {
        args[i] = member(vm, self, MatrixFields[i]);
    }
    return geom::construct(vm, "Matrix", args);
}

Value matrixConcat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    // The argument applies after this matrix.
    Matrix m = geom::matrixOf(vm, self);
    Matrix after = geom::matrixOf(vm, arg(args, 0));
    setMatrix(vm, self, after * m);
    return {};
}

Value matrixInvert(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    setMatrix(vm, self, geom::matrixOf(vm, self).inverted());
    return {};
}

Value matrixRotate(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    double angle = vm.toNumber(arg(args, 0));
    double cos = std::cos(angle);
    double sin = std::sin(angle);
    setMatrix(vm, self, Matrix{cos, sin, -sin, cos, 0, 0} * geom::matrixOf(vm, self));
    return {};
}

Value matrixScale(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Matrix m = geom::matrixOf(vm, self);
    double sx = vm.toNumber(arg(args, 0));
    double sy = vm.toNumber(arg(args, 1));
    setMatrix(vm, self, {m.a * sx, m.b * sy, m.c * sx, m.d * sy, m.tx * sx, m.ty * sy});
    return {};
}

Value matrixTranslate(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    setMember(vm, self, "tx", Value(number(vm, self, "tx") + vm.toNumber(arg(args, 0))));
    setMember(vm, self, "ty", Value(number(vm, self, "ty") + vm.toNumber(arg(args, 1))));
    return {};
}

// Missing translations default to 0 in the box builders.
double offsetArg(Vm& vm, std::span<const Value> args, size_t i)
{
    return arg(args, i).isUndefined() ? 0.0 : vm.toNumber(args[i]);
}

Value matrixCreateBox(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    double sx = vm.toNumber(arg(args, 0));
    double sy = vm.toNumber(arg(args, 1));
    double angle = vm.toNumber(arg(args, 2));
    double cos = std::cos(angle);
    double sin = std::sin(angle);
    setMatrix(
        vm, self,
        {sx * cos, sy * sin, -sx * sin, sy * cos, offsetArg(vm, args, 3), offsetArg(vm, args, 4)});
    return {};
}

Value matrixCreateGradientBox(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    // A gradient spans -819.2..819.2 in its own space: 1638.4 units.
    double width = vm.toNumber(arg(args, 0));
    double height = vm.toNumber(arg(args, 1));
    double angle = offsetArg(vm, args, 2);
    double sx = width / 1638.4;
    double sy = height / 1638.4;
    double cos = std::cos(angle);
    double sin = std::sin(angle);
    setMatrix(vm, self,
              {sx * cos, sy * sin, -sx * sin, sy * cos, offsetArg(vm, args, 3) + width / 2,
               offsetArg(vm, args, 4) + height / 2});
    return {};
}

Value matrixTransformPoint(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Point p = geom::matrixOf(vm, self).apply(
        {number(vm, arg(args, 0), "x"), number(vm, arg(args, 0), "y")});
    return geom::makePoint(vm, p.x, p.y);
}

Value matrixDeltaTransformPoint(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Point p = geom::matrixOf(vm, self).applyVector(
        {number(vm, arg(args, 0), "x"), number(vm, arg(args, 0), "y")});
    return geom::makePoint(vm, p.x, p.y);
}

void installMatrix(Vm& vm, Object* package)
{
    FunctionObject* ctor = vm.newNative(matrixConstruct);
    Object* proto = vm.newObject();
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    struct Method {
        const char* name;
        NativeFn fn;
    };
    for (const Method& m : {Method{"toString", matrixToString},
                            {"identity", matrixIdentity},
                            {"clone", matrixClone},
                            {"concat", matrixConcat},
                            {"invert", matrixInvert},
                            {"rotate", matrixRotate},
                            {"scale", matrixScale},
                            {"translate", matrixTranslate},
                            {"createBox", matrixCreateBox},
                            {"createGradientBox", matrixCreateGradientBox},
                            {"transformPoint", matrixTransformPoint},
                            {"deltaTransformPoint", matrixDeltaTransformPoint}}) {
        vm.defineMethod(proto, m.name, m.fn);
    }
    vm.defineValue(package, "Matrix", ctor);
}

} // namespace

void installGeomBuiltins(Vm& vm)
{
    Object* package = geom::package(vm, "geom");
    installPoint(vm, package);
    installRectangle(vm, package);
    installMatrix(vm, package);
    geom::installColorTransform(vm, package);
    geom::installTransform(vm, package);
}

} // namespace zf::avm1
