// TextField.StyleSheet: CSS text parsed into style objects, and the
// conversion of a style into a TextFormat.
#include "xml_p.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace zf::avm1 {

namespace {

bool isCssSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isCssSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isCssSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Style sheets keep their styles in a hidden object, one member per selector.
Object* stylesOf(Vm& vm, Object* self, bool create)
{
    if (!self) {
        return nullptr;
    }
    Str key = vm.intern("_styles");
    Object* styles = vm.get(self, key).object();
    if (!styles && create) {
        styles = vm.newObject();
        vm.defineValue(self, "_styles", styles);
    }
    return styles;
}

Object* copyStyle(Vm& vm, Object* style)
{
    Object* copy = vm.newObject();
    std::vector<Str> keys = vm.enumerate(style);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        vm.set(copy, *it, vm.get(style, *it));
    }
    return copy;
}

Value sheetConstruct(Vm& vm, Object*, std::span<const Value>, const Value& ctor)
{
    Object* proto = vm.get(ctor.object(), vm.names().prototype).object();
    Object* sheet = vm.newObject(proto);
    stylesOf(vm, sheet, true);
    return Value(sheet);
}

Value sheetGetStyle(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Object* styles = stylesOf(vm, self, false);
    Object* style = styles ? vm.get(styles, vm.keyOf(arg(args, 0))).object() : nullptr;
    return style ? Value(copyStyle(vm, style)) : Value::null();
}

Value sheetSetStyle(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Object* styles = stylesOf(vm, self, true);
    if (!styles) {
        return {};
    }
    Str name = vm.keyOf(arg(args, 0));
    if (Object* style = arg(args, 1).object()) {
        vm.set(styles, name, Value(copyStyle(vm, style)));
    } else {
        vm.remove(styles, name);
    }
    return {};
}

Value sheetGetStyleNames(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    ArrayObject* names = vm.newArray();
    if (Object* styles = stylesOf(vm, self, false)) {
        for (const Str& name : vm.enumerate(styles)) {
            names->push(vm, Value(name));
        }
    }
    return Value(names);
}

Value sheetClear(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (self) {
        vm.defineValue(self, "_styles", vm.newObject());
    }
    return {};
}

// "font-family" becomes "fontFamily".
std::string camelCase(std::string_view name)
{
    std::string out;
    bool upper = false;
    for (char c : name) {
        if (c == '-') {
            upper = true;
        } else {
            out += upper && c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
            upper = false;
        }
    }
    return out;
}

void parseDeclarations(Vm& vm, Object* style, std::string_view body)
{
    size_t start = 0;
    while (start < body.size()) {
        size_t end = std::min(body.find(';', start), body.size());
        std::string_view declaration = body.substr(start, end - start);
        size_t colon = declaration.find(':');
        if (colon != std::string_view::npos) {
            std::string name = camelCase(trim(declaration.substr(0, colon)));
            if (!name.empty()) {
                vm.set(style, vm.intern(name), Value(Str(trim(declaration.substr(colon + 1)))));
            }
        }
        start = end + 1;
    }
}

std::string withoutComments(std::string_view text)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text.substr(i, 2) == "/*") {
            size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 2;
        } else {
            out += text[i++];
        }
    }
    return out;
}

Value sheetParseCss(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    Object* styles = stylesOf(vm, self, true);
    if (!styles) {
        return Value(false);
    }
    std::string css = withoutComments(vm.toStr(arg(args, 0)).view());
    std::string_view text = css;
    size_t pos = 0;
    while (!trim(text.substr(pos)).empty()) {
        size_t open = text.find('{', pos);
        size_t close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) {
            return Value(false);
        }
        std::string_view selectors = text.substr(pos, open - pos);
        std::string_view body = text.substr(open + 1, close - open - 1);
        size_t start = 0;
        while (start <= selectors.size()) {
            size_t end = std::min(selectors.find(',', start), selectors.size());
            std::string_view selector = trim(selectors.substr(start, end - start));
            if (!selector.empty()) {
                Str key = vm.intern(selector);
                Object* style = vm.get(styles, key).object();
                if (!style) {
                    style = vm.newObject();
                    vm.set(styles, key, Value(style));
                }
                parseDeclarations(vm, style, body);
            }
            start = end + 1;
        }
        pos = close + 1;
    }
    return Value(true);
}

// --- transform ----------------------------------------------------------------

// The integer at the start of the text after white space, as parseInt reads
// it ("10px" is 10); NaN when there is none.
double leadingInteger(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isCssSpace(text[i])) {
        ++i;
    }
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    double value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + (text[i] - '0');
    }
    if (digits == 0) {
        return NAN;
    }
    return negative ? -value : value;
}

// Font names: each comma-separated entry loses its leading white space and
// empty entries go.
std::string fontList(std::string_view text)
{
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = std::min(text.find(',', start), text.size());
        std::string_view entry = text.substr(start, end - start);
        while (!entry.empty() && isCssSpace(entry.front())) {
            entry.remove_prefix(1);
        }
        if (!entry.empty()) {
            if (!out.empty()) {
                out += ',';
            }
            out += entry;
        }
        start = end + 1;
    }
    return out;
}

bool isHexColor(std::string_view text)
{
    if (text.size() != 7 || text[0] != '#') {
        return false;
    }
    return std::all_of(text.begin() + 1, text.end(),
                       [](char c) { return std::isxdigit(uint8_t(c)); });
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = char(std::tolower(uint8_t(c)));
    }
    return out;
}

struct StyleReader {
    Vm& vm;
    Object* style;
    Object* format;

    // A style value that is missing, null, false, 0 or empty sets nothing.
    bool read(std::string_view name, std::string& text)
    {
        Value value = vm.get(style, name);
        if (!vm.toBoolean(value)) {
            return false;
        }
        text = vm.toString(value);
        return true;
    }
    void set(std::string_view name, Value value)
    {
        vm.set(format, vm.intern(name), std::move(value));
    }

    void integer(std::string_view from, std::string_view to, double minimum)
    {
        std::string text;
        if (read(from, text)) {
            double n = leadingInteger(text);
            set(to, Value(std::isnan(n) ? std::max(0.0, minimum) : std::max(n, minimum)));
        }
    }
    void flag(std::string_view from, std::string_view to, std::string_view yes, std::string_view no)
    {
        std::string text;
        if (read(from, text) && (text == yes || text == no)) {
            set(to, Value(text == yes));
        }
    }
};

Value sheetTransform(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    const Value& style = arg(args, 0);
    if (style.isNullish()) {
        return Value::null();
    }
    Value ctor = vm.get(vm.global(), "TextFormat");
    Object* format = vm.construct(ctor, {}).object();
    if (!format) {
        return Value::null();
    }
    vm.set(format, vm.intern("display"), Value(vm.intern("block")));
    vm.set(format, vm.intern("kerning"), Value(false));
    Object* source = style.object();
    if (!source) {
        return Value(format);
    }
    StyleReader r{vm, source, format};
    std::string text;
    if (r.read("color", text) && isHexColor(text)) {
        r.set("color", Value(double(std::stoul(text.substr(1), nullptr, 16))));
    }
    if (r.read("display", text) && (text == "inline" || text == "none")) {
        r.set("display", Value(Str(text)));
    }
    if (r.read("fontFamily", text)) {
        r.set("font", Value(Str(fontList(text))));
    }
    if (r.read("fontSize", text) && leadingInteger(text) > 0) {
        r.set("size", Value(leadingInteger(text)));
    }
    r.flag("fontStyle", "italic", "italic", "normal");
    r.flag("fontWeight", "bold", "bold", "normal");
    r.flag("textDecoration", "underline", "underline", "none");
    if (r.read("kerning", text)) {
        double n = leadingInteger(text);
        // Only the word itself counts, not a boolean that prints as it.
        bool word = vm.get(source, "kerning").isString() && text == "true";
        if (word || (!std::isnan(n) && n != 0)) {
            r.set("kerning", Value(true));
        }
    }
    r.integer("leading", "leading", -INFINITY);
    r.integer("marginLeft", "leftMargin", 0);
    r.integer("marginRight", "rightMargin", 0);
    r.integer("textIndent", "indent", -INFINITY);
    if (r.read("letterSpacing", text)) {
        r.set("letterSpacing", Value(leadingInteger(text)));
    }
    if (r.read("textAlign", text)) {
        std::string align = lowerAscii(text);
        if (align == "left" || align == "center" || align == "right" || align == "justify") {
            r.set("align", Value(Str(align)));
        }
    }
    return Value(format);
}

Value returnNothing(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

} // namespace

void installStyleSheet(Vm& vm, Object* textField)
{
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.newNative(returnNothing);
    ctor->constructNative = sheetConstruct;
    ctor->data = Value(ctor);
    vm.defineValue(ctor, "prototype", proto, DontEnum | DontDelete);
    vm.defineValue(proto, "constructor", ctor, DontEnum | DontDelete);
    vm.defineValue(textField, "StyleSheet", ctor);
    vm.defineMethod(proto, "getStyle", sheetGetStyle);
    vm.defineMethod(proto, "setStyle", sheetSetStyle);
    vm.defineMethod(proto, "getStyleNames", sheetGetStyleNames);
    vm.defineMethod(proto, "clear", sheetClear);
    vm.defineMethod(proto, "parseCSS", sheetParseCss);
    vm.defineMethod(proto, "transform", sheetTransform);
    vm.defineMethod(proto, "onLoad", returnNothing);
}

} // namespace zf::avm1
