// LoadVars: URL-encoded variables to and from an object, loaded from files
// next to the movie.
#include "xml_p.h"

namespace zf::avm1 {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string urlDecode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string urlEncode(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

void decodeInto(Vm& vm, Object* target, std::string_view text)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = std::min(text.find('&', start), text.size());
        std::string_view pair = text.substr(start, end - start);
        size_t equals = pair.find('=');
        if (!pair.empty() && equals != 0) {
            std::string key = urlDecode(pair.substr(0, equals));
            std::string value =
                equals == std::string_view::npos ? "" : urlDecode(pair.substr(equals + 1));
            vm.set(target, vm.intern(key), Value(Str(std::move(value))));
        }
        start = end + 1;
    }
}

Value loadVarsConstruct(Vm& vm, Object*, std::span<const Value>, const Value& ctor)
{
    Object* proto = vm.get(ctor.object(), vm.names().prototype).object();
    return Value(vm.newObject(proto));
}

Value loadVarsDecode(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (self && !arg(args, 0).isUndefined()) {
        decodeInto(vm, self, vm.toStr(args[0]).view());
    }
    return {};
}

Value loadVarsToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    std::string out;
    if (self) {
        for (const Str& key : vm.enumerate(self)) {
            if (!out.empty()) {
                out += '&';
            }
            out += urlEncode(key.view()) + "=" + urlEncode(vm.toStr(vm.get(self, key)).view());
        }
    }
    return Value(Str(std::move(out)));
}

// The default onData: decode what arrived and report through onLoad.
Value loadVarsOnData(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return {};
    }
    bool ok = !arg(args, 0).isUndefined();
    if (ok) {
        decodeInto(vm, self, vm.toStr(args[0]).view());
    }
    setLoaded(vm, self, ok);
    Value result(ok);
    vm.callMethod(self, vm.intern("onLoad"), std::span<const Value>(&result, 1));
    return {};
}

Value returnNothing(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

Value returnFalse(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value(false);
}

} // namespace

void installLoadVars(Vm& vm)
{
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.defineClass("LoadVars", returnNothing, loadVarsConstruct, proto);
    ctor->data = Value(ctor);
    vm.defineMethod(proto, "decode", loadVarsDecode);
    vm.defineMethod(proto, "toString", loadVarsToString);
    vm.defineMethod(proto, "onData", loadVarsOnData);
    vm.defineMethod(proto, "onLoad", returnNothing);
    vm.defineMethod(proto, "load", loadLocalData, Value(false));
    vm.defineMethod(proto, "sendAndLoad", loadLocalData, Value(true));
    vm.defineMethod(proto, "send", returnFalse);
    vm.defineMethod(proto, "addRequestHeader", returnNothing);
    vm.defineValue(proto, "contentType", Value(vm.intern("application/x-www-form-urlencoded")));
}

} // namespace zf::avm1
