// flash.external.ExternalInterface: there is never a host container, so
// calls fail, but the static helpers that turn script values into the XML
// wire format and back are callable by movies and behave in full.
#include "xml_p.h"

#include <cmath>

namespace zf::avm1 {

namespace {

// Bounds for hostile values: nesting, array lengths and output size.
constexpr int MaxDepth = 64;
constexpr double MaxLength = 100000;
constexpr size_t MaxOutput = 16u << 20;

std::string toXml(Vm& vm, const Value& value, int depth);

// String objects report the length of the string they hold.
Value lengthValue(Vm& vm, const Value& value)
{
    Object* object = value.object();
    if (object && object->kind() == Kind::String && object->primitive().isString()) {
        return vm.getMember(object->primitive(), Value(vm.names().length));
    }
    return vm.getMember(value, Value(vm.names().length));
}

size_t lengthOf(Vm& vm, const Value& value)
{
    double length = vm.toNumber(lengthValue(vm, value));
    if (std::isnan(length) || length <= 0) {
        return 0;
    }
    return size_t(std::min(std::trunc(length), MaxLength));
}

std::string arrayToXml(Vm& vm, const Value& value, int depth)
{
    std::string out = "<array>";
    size_t length = lengthOf(vm, value);
    for (size_t i = 0; i < length && out.size() < MaxOutput; ++i) {
        out += "<property id=\"" + std::to_string(i) + "\">";
        out += toXml(vm, vm.getMember(value, Value(double(i))), depth + 1);
        out += "</property>";
    }
    return out + "</array>";
}

// The arguments form leaves out the first element (the function name of a call).
std::string argumentsToXml(Vm& vm, const Value& value, int depth)
{
    std::string out = "<arguments>";
    size_t length = lengthOf(vm, value);
    for (size_t i = 1; i < length && out.size() < MaxOutput; ++i) {
        out += toXml(vm, vm.getMember(value, Value(double(i))), depth + 1);
    }
    return out + "</arguments>";
}

std::string objectToXml(Vm& vm, const Value& value, int depth)
{
    std::string out = "<object>";
    if (Object* object = value.object()) {
        for (const Str& key : vm.enumerate(object)) {
            if (out.size() >= MaxOutput) {
                break;
            }
            out += "<property id=\"";
            out += key.view();
            out += "\">";
            out += toXml(vm, vm.get(object, key), depth + 1);
            out += "</property>";
        }
    }
    return out + "</object>";
}

std::string toXml(Vm& vm, const Value& value, int depth)
{
    if (depth > MaxDepth) {
        return "<null/>";
    }
    switch (value.type()) {
    case Type::Undefined: return "<undefined/>";
    case Type::Null: return "<null/>";
    case Type::Boolean: return value.boolean() ? "<true/>" : "<false/>";
    case Type::Number: return "<number>" + numberToString(value.number()) + "</number>";
    case Type::String:
        // The wire format cannot tell an empty string from null.
        return "<string>" + (value.stringView().empty() ? "null" : xmlEscape(value.stringView())) +
               "</string>";
    case Type::Object: break;
    }
    Object* object = value.object();
    if (object->kind() == Kind::Function) {
        return "<null/>";
    }
    // Anything with a length travels as an array.
    if (!lengthValue(vm, value).isUndefined()) {
        return arrayToXml(vm, value, depth);
    }
    return objectToXml(vm, value, depth);
}

// --- back to script values ----------------------------------------------------

Value toAs(Vm& vm, const Value& value, int depth);

std::string nodeNameOf(Vm& vm, Object* node)
{
    Value name = vm.get(node, "nodeName");
    if (Object* boxed = name.object(); boxed && boxed->kind() == Kind::String) {
        name = boxed->primitive();
    }
    return name.isString() ? std::string(name.stringView()) : std::string();
}

// Calls `visit(child)` for each child node of a duck-typed XML node.
template <class Visit>
void eachChild(Vm& vm, const Value& value, Visit visit)
{
    Value children = vm.getMember(value, Value(vm.intern("childNodes")));
    size_t length = lengthOf(vm, children);
    for (size_t i = 0; i < length; ++i) {
        visit(vm.getMember(children, Value(double(i))));
    }
}

// <property id="key">value</property> children become members of `into`.
void readProperties(Vm& vm, const Value& value, Object* into, int depth)
{
    eachChild(vm, value, [&](const Value& child) {
        Object* node = child.object();
        if (!node || nodeNameOf(vm, node) != "property") {
            return;
        }
        Value id = vm.getMember(vm.get(node, "attributes"), Value(vm.intern("id")));
        vm.setMember(Value(into), id, toAs(vm, vm.get(node, "firstChild"), depth + 1));
    });
}

Value arrayToAs(Vm& vm, const Value& value, int depth)
{
    ArrayObject* array = vm.newArray();
    if (value.object() && depth <= MaxDepth) {
        readProperties(vm, value, array, depth);
    }
    return Value(array);
}

Value objectToAs(Vm& vm, const Value& value, int depth)
{
    Object* object = vm.newObject();
    if (value.object() && depth <= MaxDepth) {
        readProperties(vm, value, object, depth);
    }
    return Value(object);
}

Value argumentsToAs(Vm& vm, const Value& value, int depth)
{
    ArrayObject* array = vm.newArray();
    if (value.object() && depth <= MaxDepth) {
        eachChild(vm, value, [&](const Value& child) {
            if (array->length() < MaxLength) {
                array->push(vm, toAs(vm, child, depth + 1));
            }
        });
    }
    return Value(array);
}

// The text inside a <string> or <number> element.
Str textOf(Vm& vm, Object* node)
{
    Value child = vm.get(node, "firstChild");
    if (XmlNode* text = asXmlNode(child.object())) {
        return vm.toStr(text->value);
    }
    return vm.toStr(child);
}

Value toAs(Vm& vm, const Value& value, int depth)
{
    Object* node = value.object();
    if (!node || depth > MaxDepth) {
        return {};
    }
    std::string name = nodeNameOf(vm, node);
    if (name == "null") {
        return Value::null();
    }
    if (name == "true" || name == "false") {
        return Value(name == "true");
    }
    if (name == "string") {
        return Value(textOf(vm, node));
    }
    if (name == "number") {
        return Value(vm.toNumber(Value(textOf(vm, node))));
    }
    if (name == "array") {
        return arrayToAs(vm, value, depth);
    }
    if (name == "object") {
        return objectToAs(vm, value, depth);
    }
    return {};
}

// --- natives --------------------------------------------------------------------

template <std::string (*Convert)(Vm&, const Value&, int)>
Value serialiseNative(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return Value(Str(Convert(vm, arg(args, 0), 0)));
}

template <Value (*Convert)(Vm&, const Value&, int)>
Value parseNative(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return Convert(vm, arg(args, 0), 0);
}

// The string helpers give null for a missing or empty argument.
template <std::string (*Transform)(std::string_view)>
Value stringNative(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return Value::null();
    }
    Str text = vm.toStr(args[0]);
    if (text.empty()) {
        return Value::null();
    }
    return Value(Str(Transform(text.view())));
}

std::string quoteForScript(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string unescapeNamed(std::string_view text)
{
    return xmlUnescape(text, false);
}

Value returnNull(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value::null();
}

Value returnFalse(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value(false);
}

Object* packageObject(Vm& vm, Object* in, std::string_view name)
{
    if (Object* existing = vm.get(in, name).object()) {
        return existing;
    }
    Object* object = vm.newObject();
    vm.defineValue(in, name, object);
    return object;
}

} // namespace

void installExternalInterface(Vm& vm)
{
    Object* external = packageObject(vm, packageObject(vm, vm.global(), "flash"), "external");
    FunctionObject* ctor = vm.newNative(returnNull);
    vm.defineValue(ctor, "prototype", vm.newObject(), DontEnum | DontDelete);
    vm.defineValue(external, "ExternalInterface", ctor);
    vm.defineValue(ctor, "available", Value(false), DontEnum | DontDelete | ReadOnly);
    vm.defineMethod(ctor, "addCallback", returnFalse);
    vm.defineMethod(ctor, "call", returnNull);
    vm.defineMethod(ctor, "_toXML", serialiseNative<toXml>);
    vm.defineMethod(ctor, "_arrayToXML", serialiseNative<arrayToXml>);
    vm.defineMethod(ctor, "_argumentsToXML", serialiseNative<argumentsToXml>);
    vm.defineMethod(ctor, "_objectToXML", serialiseNative<objectToXml>);
    vm.defineMethod(ctor, "_toAS", parseNative<toAs>);
    vm.defineMethod(ctor, "_arrayToAS", parseNative<arrayToAs>);
    vm.defineMethod(ctor, "_argumentsToAS", parseNative<argumentsToAs>);
    vm.defineMethod(ctor, "_objectToAS", parseNative<objectToAs>);
    vm.defineMethod(ctor, "_escapeXML", stringNative<xmlEscape>);
    vm.defineMethod(ctor, "_unescapeXML", stringNative<unescapeNamed>);
    vm.defineMethod(ctor, "_jsQuoteString", stringNative<quoteForScript>);
}

} // namespace zf::avm1
