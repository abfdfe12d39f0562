// TextFormat: a record of optional text properties whose setters coerce
// what scripts assign.
#include "text_p.h"

#include <cmath>

namespace zf::avm1 {
namespace {

constexpr const char* kFieldNames[] = {
    "font",     "size",   "color",      "bold",          "italic",  "underline", "url",
    "target",   "align",  "leftMargin", "rightMargin",   "indent",  "leading",   "blockIndent",
    "tabStops", "bullet", "kerning",    "letterSpacing", "display",
};
static_assert(std::size(kFieldNames) == size_t(FormatField::Count));

constexpr double kIntMin = -2147483648.0;

// The processor's float-to-int conversion: anything that does not fit
// becomes the lowest integer.
double toIntOrMin(double n)
{
    if (!std::isfinite(n) || n < kIntMin || n > 2147483647.0) {
        return kIntMin;
    }
    return n;
}

double modulo32(double n, bool isSigned)
{
    if (!std::isfinite(n)) {
        return 0;
    }
    double m = std::fmod(std::trunc(n), 4294967296.0);
    if (m < 0) {
        m += 4294967296.0;
    }
    if (isSigned && m >= 2147483648.0) {
        m -= 4294967296.0;
    }
    return m;
}

bool isPixelInteger(FormatField field)
{
    switch (field) {
    case FormatField::Size:
    case FormatField::LeftMargin:
    case FormatField::RightMargin:
    case FormatField::Indent:
    case FormatField::Leading:
    case FormatField::BlockIndent: return true;
    default: return false;
    }
}

// Integer properties: movies from version 8 on round half to even, older
// ones truncate; margins (and, before 8, indents and leading) are never
// negative.
double coerceInteger(Vm& vm, FormatField field, double n)
{
    bool modern = vm.swfVersion() >= 8;
    bool nonNegative = field == FormatField::LeftMargin || field == FormatField::RightMargin ||
                       (!modern && field != FormatField::Size);
    if (nonNegative) {
        n = n > 0 ? n : 0;
    }
    return toIntOrMin(modern ? std::nearbyint(n) : std::trunc(n));
}

Value tabStopsValue(Vm& vm, const Value& value, bool modern)
{
    Object* source = value.object();
    if (!source) {
        return {};
    }
    double length = vm.toNumber(vm.get(source, vm.names().length));
    size_t count = std::isfinite(length) && length > 0 ? size_t(std::min(length, 1000.0)) : 0;
    std::vector<Value> stops;
    for (size_t i = 0; i < count; ++i) {
        double n = vm.toNumber(vm.get(source, vm.intern(std::to_string(i))));
        stops.emplace_back(toIntOrMin(modern ? std::nearbyint(n) : std::trunc(n)));
    }
    return Value(vm.newArray(std::move(stops)));
}

Value alignValue(Vm& vm, const Value& value, const Value& current)
{
    std::string lower = foldCase(vm.toString(value));
    for (const char* name : {"left", "center", "right", "justify"}) {
        if (lower == name) {
            return Value(vm.intern(name));
        }
    }
    return current;
}

Value formatGet(Vm&, Object* self, std::span<const Value>, const Value& data)
{
    auto* format = dynamic_cast<TextFormatObject*>(self);
    if (!format) {
        return {};
    }
    return format->values[size_t(data.number())];
}

Value formatSet(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    if (auto* format = dynamic_cast<TextFormatObject*>(self)) {
        setFormatField(vm, *format, FormatField(int(data.number())), arg(args, 0));
    }
    return {};
}

// Constructor arguments convert like ECMAScript integers, unclamped.
void applyArguments(Vm& vm, TextFormatObject& format, std::span<const Value> args)
{
    for (size_t i = 0; i < args.size() && i <= size_t(FormatField::Leading); ++i) {
        auto field = FormatField(i);
        const Value& value = args[i];
        if (value.isNullish()) {
            format.at(field) = Value::null();
        } else if (field == FormatField::Color) {
            format.at(field) = Value(modulo32(vm.toNumber(value), false));
        } else if (isPixelInteger(field)) {
            format.at(field) = Value(modulo32(vm.toNumber(value), true));
        } else {
            setFormatField(vm, format, field, value);
        }
    }
}

Object* textFormatProto(Vm& vm)
{
    Value ctor = vm.get(vm.global(), vm.intern("TextFormat"));
    Value proto = ctor.object() ? vm.get(ctor.object(), vm.names().prototype) : Value();
    return proto.object() ? proto.object() : vm.objectProto();
}

Value textFormatConstruct(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    Object* proto = data.object() ? data.object() : textFormatProto(vm);
    auto* format = vm.heap().make<TextFormatObject>(proto);
    applyArguments(vm, *format, args);
    return Value(format);
}

Value textFormatCall(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    // Called through super() from a subclass constructor.
    if (auto* format = dynamic_cast<TextFormatObject*>(self)) {
        applyArguments(vm, *format, args);
    }
    return {};
}

} // namespace

TextFormatObject::TextFormatObject(Object* proto) : Object(proto, Kind::Native)
{
    values.fill(Value::null());
    at(FormatField::Display) = Value(Str("block"));
}

void TextFormatObject::traceChildren(std::vector<Object*>& work) const
{
    Object::traceChildren(work);
    if (Object* stops = values[size_t(FormatField::TabStops)].object()) {
        work.push_back(stops);
    }
}

void setFormatField(Vm& vm, TextFormatObject& format, FormatField field, const Value& value)
{
    Value& slot = format.at(field);
    if (field == FormatField::Display) {
        // Anything but the two other modes means "block".
        std::string text = value.isNullish() ? std::string() : vm.toString(value);
        slot = Value(vm.intern(text == "inline" || text == "none" ? text : "block"));
        return;
    }
    if (value.isNullish()) {
        // An alignment stays as it is unless given a valid name.
        if (field != FormatField::Align) {
            slot = Value::null();
        }
        return;
    }
    switch (field) {
    case FormatField::Font:
    case FormatField::Url:
    case FormatField::Target: slot = Value(vm.toStr(value)); break;
    case FormatField::Bold:
    case FormatField::Italic:
    case FormatField::Underline:
    case FormatField::Bullet:
    case FormatField::Kerning: slot = Value(vm.toBoolean(value)); break;
    case FormatField::Color: slot = Value(modulo32(vm.toNumber(value), false)); break;
    case FormatField::LetterSpacing: slot = Value(vm.toNumber(value)); break;
    case FormatField::Align: slot = alignValue(vm, value, slot); break;
    case FormatField::TabStops:
        if (value.isObject()) {
            slot = tabStopsValue(vm, value, vm.swfVersion() >= 8);
        }
        break;
    default: slot = Value(coerceInteger(vm, field, vm.toNumber(value))); break;
    }
}

TextFormatObject* makeTextFormat(Vm& vm, const display::TextFormat& f)
{
    auto* format = vm.heap().make<TextFormatObject>(textFormatProto(vm));
    auto string = [&](FormatField field, const std::optional<std::string>& v) {
        if (v) {
            format->at(field) = Value(Str(*v));
        }
    };
    // Numbers and flags: set fields only.
    auto put = [&](FormatField field, const auto& v) {
        if (v) {
            format->at(field) = Value(*v);
        }
    };
    string(FormatField::Font, f.font);
    string(FormatField::Url, f.url);
    string(FormatField::Target, f.target);
    put(FormatField::Size, f.size);
    put(FormatField::LetterSpacing, f.letterSpacing);
    if (f.color) {
        format->at(FormatField::Color) =
            Value(double(uint32_t(f.color->r) << 16 | uint32_t(f.color->g) << 8 | f.color->b));
    }
    put(FormatField::Bold, f.bold);
    put(FormatField::Italic, f.italic);
    put(FormatField::Underline, f.underline);
    put(FormatField::Kerning, f.kerning);
    put(FormatField::Bullet, f.bullet);
    if (f.align) {
        static constexpr const char* kAligns[] = {"left", "right", "center", "justify"};
        format->at(FormatField::Align) = Value(vm.intern(kAligns[size_t(*f.align) & 3]));
    }
    put(FormatField::LeftMargin, f.leftMargin);
    put(FormatField::RightMargin, f.rightMargin);
    put(FormatField::Indent, f.indent);
    put(FormatField::BlockIndent, f.blockIndent);
    put(FormatField::Leading, f.leading);
    if (f.tabStops) {
        std::vector<Value> stops(f.tabStops->begin(), f.tabStops->end());
        format->at(FormatField::TabStops) = Value(vm.newArray(std::move(stops)));
    }
    return format;
}

display::TextFormat readTextFormat(Vm& vm, TextFormatObject& format)
{
    display::TextFormat f;
    auto string = [&](FormatField field, std::optional<std::string>& into) {
        if (format.at(field).isString()) {
            into = vm.toString(format.at(field));
        }
    };
    auto number = [&](FormatField field, std::optional<double>& into) {
        if (format.at(field).isNumber()) {
            into = format.at(field).number();
        }
    };
    auto flag = [&](FormatField field, std::optional<bool>& into) {
        if (format.at(field).isBoolean()) {
            into = vm.toBoolean(format.at(field));
        }
    };
    string(FormatField::Font, f.font);
    string(FormatField::Url, f.url);
    string(FormatField::Target, f.target);
    number(FormatField::Size, f.size);
    number(FormatField::LetterSpacing, f.letterSpacing);
    if (format.at(FormatField::Color).isNumber()) {
        auto rgb = uint32_t(modulo32(format.at(FormatField::Color).number(), false));
        f.color = Rgba{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255};
    }
    flag(FormatField::Bold, f.bold);
    flag(FormatField::Italic, f.italic);
    flag(FormatField::Underline, f.underline);
    flag(FormatField::Kerning, f.kerning);
    flag(FormatField::Bullet, f.bullet);
    if (format.at(FormatField::Align).isString()) {
        std::string align = vm.toString(format.at(FormatField::Align));
        f.align = align == "right"     ? swf::TextAlign::Right
                  : align == "center"  ? swf::TextAlign::Center
                  : align == "justify" ? swf::TextAlign::Justify
                                       : swf::TextAlign::Left;
    }
    number(FormatField::LeftMargin, f.leftMargin);
    number(FormatField::RightMargin, f.rightMargin);
    number(FormatField::Indent, f.indent);
    number(FormatField::BlockIndent, f.blockIndent);
    number(FormatField::Leading, f.leading);
    if (auto* stops = dynamic_cast<ArrayObject*>(format.at(FormatField::TabStops).object())) {
        std::vector<double> values;
        for (const Value& stop : stops->values(vm, 1024)) {
            values.push_back(vm.toNumber(stop));
        }
        f.tabStops = std::move(values);
    }
    return f;
}

void defineAccessor(Vm& vm, Object* on, std::string_view name, NativeFn getter, NativeFn setter,
                    Value data, uint8_t flags)
{
    Str key = vm.intern(name);
    Property* property = on->properties().find(key, vm.fold());
    if (!property) {
        property = &on->properties().add(key, Value(), vm.fold(), flags);
    }
    property->getter = vm.newNative(getter, data);
    property->setter = setter ? vm.newNative(setter, data) : nullptr;
    property->flags = flags;
}

void installTextFormatClass(Vm& vm)
{
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.defineClass("TextFormat", textFormatCall, textFormatConstruct, proto);
    ctor->data = Value(proto);
    for (size_t i = 0; i < size_t(FormatField::Count); ++i) {
        defineAccessor(vm, proto, kFieldNames[i], formatGet, formatSet, Value(double(i)));
    }
}

} // namespace zf::avm1
