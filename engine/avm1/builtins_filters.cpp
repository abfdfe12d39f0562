// flash.filters: the filter classes as data. Each property is an accessor
// on the class prototype that clamps and converts what scripts assign; the
// constructors assign their arguments through the same setters.
#include "filters_p.h"
#include "geom_p.h"
#include "system_p.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

namespace {

enum class Field : uint8_t {
    Distance,
    Angle,
    Color,
    Alpha,
    HighlightColor,
    HighlightAlpha,
    ShadowColor,
    ShadowAlpha,
    BlurX,
    BlurY,
    Strength,
    Quality,
    Inner,
    Knockout,
    HideObject,
    Type,
    Colors,
    Alphas,
    Ratios,
    MatrixX,
    MatrixY,
    Matrix,
    Divisor,
    Bias,
    PreserveAlpha,
    Clamp,
    MapBitmap,
    MapPoint,
    ComponentX,
    ComponentY,
    ScaleX,
    ScaleY,
    Mode,
};

constexpr const char* FieldNames[] = {
    "distance",      "angle",       "color",      "alpha",    "highlightColor", "highlightAlpha",
    "shadowColor",   "shadowAlpha", "blurX",      "blurY",    "strength",       "quality",
    "inner",         "knockout",    "hideObject", "type",     "colors",         "alphas",
    "ratios",        "matrixX",     "matrixY",    "matrix",   "divisor",        "bias",
    "preserveAlpha", "clamp",       "mapBitmap",  "mapPoint", "componentX",     "componentY",
    "scaleX",        "scaleY",      "mode",
};

struct ClassInfo {
    FilterType type;
    const char* name;
    std::vector<Field> fields; // in constructor order
};

const std::vector<ClassInfo>& classes()
{
    using F = Field;
    static const std::vector<ClassInfo> list = {
        {FilterType::Bevel,
         "BevelFilter",
         {F::Distance, F::Angle, F::HighlightColor, F::HighlightAlpha, F::ShadowColor,
          F::ShadowAlpha, F::BlurX, F::BlurY, F::Strength, F::Quality, F::Type, F::Knockout}},
        {FilterType::Blur, "BlurFilter", {F::BlurX, F::BlurY, F::Quality}},
        {FilterType::ColorMatrix, "ColorMatrixFilter", {F::Matrix}},
        {FilterType::Convolution,
         "ConvolutionFilter",
         {F::MatrixX, F::MatrixY, F::Matrix, F::Divisor, F::Bias, F::PreserveAlpha, F::Clamp,
          F::Color, F::Alpha}},
        {FilterType::DisplacementMap,
         "DisplacementMapFilter",
         {F::MapBitmap, F::MapPoint, F::ComponentX, F::ComponentY, F::ScaleX, F::ScaleY, F::Mode,
          F::Color, F::Alpha}},
        {FilterType::DropShadow,
         "DropShadowFilter",
         {F::Distance, F::Angle, F::Color, F::Alpha, F::BlurX, F::BlurY, F::Strength, F::Quality,
          F::Inner, F::Knockout, F::HideObject}},
        {FilterType::Glow,
         "GlowFilter",
         {F::Color, F::Alpha, F::BlurX, F::BlurY, F::Strength, F::Quality, F::Inner, F::Knockout}},
        {FilterType::GradientBevel,
         "GradientBevelFilter",
         {F::Distance, F::Angle, F::Colors, F::Alphas, F::Ratios, F::BlurX, F::BlurY, F::Strength,
          F::Quality, F::Type, F::Knockout}},
        {FilterType::GradientGlow,
         "GradientGlowFilter",
         {F::Distance, F::Angle, F::Colors, F::Alphas, F::Ratios, F::BlurX, F::BlurY, F::Strength,
          F::Quality, F::Type, F::Knockout}},
    };
    return list;
}

const ClassInfo& classOf(FilterType type)
{
    return classes()[size_t(type)];
}

// The defaults each class starts from before its arguments apply.
FilterData defaultsFor(FilterType type)
{
    FilterData d;
    d.type = type;
    switch (type) {
    case FilterType::Glow:
        d.color = 0xFF0000;
        d.blurX = d.blurY = 6;
        d.strength = 2;
        break;
    case FilterType::ColorMatrix:
        d.matrix.assign(20, 0.0);
        for (int i = 0; i < 4; ++i) {
            d.matrix[size_t(i * 6)] = 1;
        }
        break;
    case FilterType::Convolution:
    case FilterType::DisplacementMap: d.alpha = 0; break;
    default: break;
    }
    return d;
}

double clampNumber(double n, double low, double high)
{
    return std::isnan(n) ? low : std::clamp(n, low, high);
}

double colorOf(Vm& vm, const Value& value)
{
    return double(toUint32(vm.toNumber(value)) & 0xFFFFFF);
}

// Gradient colours, alphas and ratios: at most 16 entries, each clamped.
std::vector<double> numberList(Vm& vm, const Value& value, Field field)
{
    std::vector<double> out;
    Object* array = value.object();
    if (!array) {
        return out;
    }
    double length = vm.toNumber(vm.get(array, vm.names().length));
    size_t limit = field == Field::Matrix ? 400 : 16;
    for (size_t i = 0; i < limit && double(i) < length; ++i) {
        Value item = vm.get(array, vm.intern(std::to_string(i)));
        double n = vm.toNumber(item);
        switch (field) {
        case Field::Colors: n = colorOf(vm, item); break;
        case Field::Alphas: n = clampNumber(n, 0, 1); break;
        case Field::Ratios: n = clampNumber(n, 0, 255); break;
        default: n = std::isnan(n) ? 0 : n; break;
        }
        out.push_back(n);
    }
    return out;
}

// The matrix of a convolution holds matrixX * matrixY values; the rest is
// dropped and missing values are zero.
void fitMatrix(FilterData& d)
{
    if (d.type == FilterType::Convolution) {
        d.matrix.resize(size_t(d.matrixX * d.matrixY), 0.0);
    } else if (d.type == FilterType::ColorMatrix) {
        d.matrix.resize(20, 0.0);
    }
}

void assign(Vm& vm, FilterData& d, Field field, const Value& value)
{
    double n = vm.toNumber(value);
    switch (field) {
    case Field::Distance: d.distance = std::isnan(n) ? 0 : n; break;
    case Field::Angle: d.angle = std::isfinite(n) ? std::fmod(n, 360) : 0; break;
    case Field::Color: d.color = colorOf(vm, value); break;
    case Field::Alpha: d.alpha = clampNumber(n, 0, 1); break;
    case Field::HighlightColor: d.highlightColor = colorOf(vm, value); break;
    case Field::HighlightAlpha: d.highlightAlpha = clampNumber(n, 0, 1); break;
    case Field::ShadowColor: d.shadowColor = colorOf(vm, value); break;
    case Field::ShadowAlpha: d.shadowAlpha = clampNumber(n, 0, 1); break;
    case Field::BlurX: d.blurX = clampNumber(n, 0, 255); break;
    case Field::BlurY: d.blurY = clampNumber(n, 0, 255); break;
    case Field::Strength: d.strength = clampNumber(n, 0, 255); break;
    case Field::Quality: d.quality = int(clampNumber(n, 0, 15)); break;
    case Field::Inner: d.inner = vm.toBoolean(value); break;
    case Field::Knockout: d.knockout = vm.toBoolean(value); break;
    case Field::HideObject: d.hideObject = vm.toBoolean(value); break;
    case Field::Type: {
        std::string text = vm.toString(value);
        if (text == "inner" || text == "outer" || text == "full") {
            d.bevelType = text;
        }
        break;
    }
    case Field::Colors: d.colors = numberList(vm, value, field); break;
    case Field::Alphas: d.alphas = numberList(vm, value, field); break;
    case Field::Ratios: d.ratios = numberList(vm, value, field); break;
    case Field::MatrixX:
    case Field::MatrixY: {
        int size = int(clampNumber(n, 0, 15));
        (field == Field::MatrixX ? d.matrixX : d.matrixY) = size;
        fitMatrix(d);
        break;
    }
    case Field::Matrix:
        d.matrix = numberList(vm, value, field);
        fitMatrix(d);
        break;
    case Field::Divisor: d.divisor = n; break;
    case Field::Bias: d.bias = n; break;
    case Field::PreserveAlpha: d.preserveAlpha = vm.toBoolean(value); break;
    case Field::Clamp: d.clamp = vm.toBoolean(value); break;
    case Field::MapBitmap: d.mapBitmap = value.object(); break;
    case Field::MapPoint:
        if (value.object()) {
            d.mapPointX = geom::number(vm, value, "x");
            d.mapPointY = geom::number(vm, value, "y");
        }
        break;
    case Field::ComponentX: d.componentX = toInt32(n); break;
    case Field::ComponentY: d.componentY = toInt32(n); break;
    case Field::ScaleX: d.scaleX = clampNumber(n, -65535, 65535); break;
    case Field::ScaleY: d.scaleY = clampNumber(n, -65535, 65535); break;
    case Field::Mode: {
        std::string text = vm.toString(value);
        if (text == "wrap" || text == "clamp" || text == "ignore" || text == "color") {
            d.mode = text;
        }
        break;
    }
    }
}

Value listValue(Vm& vm, const std::vector<double>& list)
{
    std::vector<Value> items(list.begin(), list.end());
    return Value(vm.newArray(std::move(items)));
}

Value read(Vm& vm, const FilterData& d, Field field)
{
    switch (field) {
    case Field::Distance: return Value(d.distance);
    case Field::Angle: return Value(d.angle);
    case Field::Color: return Value(d.color);
    case Field::Alpha: return Value(d.alpha);
    case Field::HighlightColor: return Value(d.highlightColor);
    case Field::HighlightAlpha: return Value(d.highlightAlpha);
    case Field::ShadowColor: return Value(d.shadowColor);
    case Field::ShadowAlpha: return Value(d.shadowAlpha);
    case Field::BlurX: return Value(d.blurX);
    case Field::BlurY: return Value(d.blurY);
    case Field::Strength: return Value(d.strength);
    case Field::Quality: return Value(double(d.quality));
    case Field::Inner: return Value(d.inner);
    case Field::Knockout: return Value(d.knockout);
    case Field::HideObject: return Value(d.hideObject);
    case Field::Type: return Value(Str(d.bevelType));
    case Field::Colors: return listValue(vm, d.colors);
    case Field::Alphas: return listValue(vm, d.alphas);
    case Field::Ratios: return listValue(vm, d.ratios);
    case Field::MatrixX: return Value(double(d.matrixX));
    case Field::MatrixY: return Value(double(d.matrixY));
    case Field::Matrix: return listValue(vm, d.matrix);
    case Field::Divisor: return Value(d.divisor);
    case Field::Bias: return Value(d.bias);
    case Field::PreserveAlpha: return Value(d.preserveAlpha);
    case Field::Clamp: return Value(d.clamp);
    case Field::MapBitmap: return d.mapBitmap ? Value(d.mapBitmap) : Value();
    case Field::MapPoint: return geom::makePoint(vm, d.mapPointX, d.mapPointY);
    case Field::ComponentX: return Value(double(d.componentX));
    case Field::ComponentY: return Value(double(d.componentY));
    case Field::ScaleX: return Value(d.scaleX);
    case Field::ScaleY: return Value(d.scaleY);
    case Field::Mode: return Value(Str(d.mode));
    }
    return {};
}

Value getField(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    FilterObject* filter = asFilter(self);
    return filter ? read(vm, filter->data, Field(int(data.number()))) : Value();
}

Value setField(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    if (FilterObject* filter = asFilter(self)) {
        assign(vm, filter->data, Field(int(data.number())), arg(args, 0));
    }
    return {};
}

// data: the class's FilterType.
Value constructFilter(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    auto type = FilterType(int(data.number()));
    const ClassInfo& info = classOf(type);
    FilterObject* filter = makeFilter(vm, defaultsFor(type));
    for (size_t i = 0; i < args.size() && i < info.fields.size(); ++i) {
        assign(vm, filter->data, info.fields[i], args[i]);
    }
    // A convolution given a colour but no alpha shows that colour opaque.
    if (type == FilterType::Convolution && args.size() == 8) {
        filter->data.alpha = 1;
    }
    return Value(filter);
}

// super(...) from a subclass: the instance is a plain object, so its
// filter data lives in a filter object held as its primitive value. A
// second call still converts its arguments but changes nothing.
Value callFilter(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    if (!self || self->kind() != Kind::Plain) {
        return {};
    }
    auto type = FilterType(int(data.number()));
    const ClassInfo& info = classOf(type);
    FilterData fresh = defaultsFor(type);
    for (size_t i = 0; i < args.size() && i < info.fields.size(); ++i) {
        assign(vm, fresh, info.fields[i], args[i]);
    }
    if (!asFilter(self)) {
        self->primitive() = Value(static_cast<Object*>(makeFilter(vm, std::move(fresh))));
    }
    return {};
}

Value cloneFilter(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    FilterObject* filter = asFilter(self);
    if (!filter) {
        return {};
    }
    auto* copy = vm.heap().make<FilterObject>(self->proto(), filter->data);
    return Value(copy);
}

Value constructBase(Vm& vm, Object*, std::span<const Value>, const Value& data)
{
    Object* proto = data.object();
    return Value(vm.newObject(proto ? proto : vm.objectProto()));
}

Value noOp(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

} // namespace

FilterObject* asFilter(Object* object)
{
    if (object && object->kind() == Kind::Plain) {
        object = object->primitive().object();
    }
    return object && object->kind() == Kind::Native ? dynamic_cast<FilterObject*>(object) : nullptr;
}

FilterObject* makeFilter(Vm& vm, FilterData data)
{
    Object* package = geom::package(vm, "filters");
    Value ctor = vm.get(package, classOf(data.type).name);
    Object* proto = ctor.object() ? vm.get(ctor.object(), vm.names().prototype).object() : nullptr;
    return vm.heap().make<FilterObject>(proto ? proto : vm.objectProto(), std::move(data));
}

void installFilterBuiltins(Vm& vm)
{
    Object* package = geom::package(vm, "filters");

    Object* baseProto = vm.newObject();
    FunctionObject* base = vm.newNative(noOp);
    base->constructNative = constructBase;
    base->data = Value(baseProto);
    vm.defineValue(base, "prototype", baseProto, DontEnum | DontDelete);
    vm.defineValue(baseProto, "constructor", base, DontEnum | DontDelete);
    vm.defineMethod(baseProto, "clone", cloneFilter);
    vm.defineValue(package, "BitmapFilter", base);

    for (const ClassInfo& info : classes()) {
        Object* proto = vm.newObject(baseProto);
        FunctionObject* ctor = vm.newNative(callFilter, Value(double(info.type)));
        ctor->constructNative = constructFilter;
        vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
        vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
        vm.defineMethod(proto, "clone", cloneFilter);
        for (Field field : info.fields) {
            Value which{double(int(field))};
            defineAccessor(vm, proto, FieldNames[size_t(field)], getField, setField, which);
        }
        vm.defineValue(package, info.name, ctor);
    }
}

} // namespace zf::avm1
