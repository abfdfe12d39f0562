// XML and XMLNode: node properties, tree methods, namespaces, and loading.
#include "xml_p.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace zf::avm1 {

namespace {

// Loaded documents and variable files larger than this are refused.
constexpr std::uintmax_t MaxLoadBytes = 64u << 20;

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

Value nodeOrNull(XmlNode* node)
{
    return node ? Value(node) : Value::null();
}

XmlNode* sibling(XmlNode* node, int step)
{
    if (!node || !node->parent) {
        return nullptr;
    }
    auto& siblings = node->parent->children;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] == node) {
            size_t next = i + size_t(step);
            return next < siblings.size() ? siblings[next] : nullptr;
        }
    }
    return nullptr;
}

// --- properties -------------------------------------------------------------

Value getNodeType(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? Value(node->type) : Value();
}

Value getNodeName(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? node->name : Value();
}

Value setNodeName(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    const Value& name = arg(args, 0);
    if (node && !name.isUndefined()) {
        node->name = name.isNull() ? Value::null() : Value(vm.toStr(name));
    }
    return {};
}

Value getNodeValue(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? node->value : Value();
}

Value setNodeValue(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    const Value& value = arg(args, 0);
    if (node && !value.isUndefined()) {
        node->value = value.isNull() ? Value::null() : Value(vm.toStr(value));
    }
    return {};
}

Value getAttributes(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? Value(node->attributes) : Value();
}

Value setAttributes(Vm&, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (node && arg(args, 0).object()) {
        node->attributes = arg(args, 0).object();
    }
    return {};
}

Value getChildNodes(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (!node) {
        return {};
    }
    if (!node->childArray) {
        node->childArray = vm.newArray();
        node->syncChildArray();
    }
    return Value(node->childArray);
}

Value getFirstChild(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (!node) {
        return {};
    }
    return nodeOrNull(node->children.empty() ? nullptr : node->children.front());
}

Value getLastChild(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (!node) {
        return {};
    }
    return nodeOrNull(node->children.empty() ? nullptr : node->children.back());
}

Value getParentNode(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? nodeOrNull(node->parent) : Value();
}

Value getNextSibling(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? nodeOrNull(sibling(node, 1)) : Value();
}

Value getPreviousSibling(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? nodeOrNull(sibling(node, -1)) : Value();
}

// --- namespaces ---------------------------------------------------------------

// Any attribute whose name starts with "xmlns" declares a namespace; the
// prefix is what follows "xmlns:", and empty (the default) otherwise.
bool declaredPrefix(std::string_view attribute, std::string_view& prefix)
{
    if (attribute.substr(0, 5) != "xmlns") {
        return false;
    }
    prefix = attribute.size() > 5 && attribute[5] == ':' ? attribute.substr(6) : "";
    return true;
}

// Searches the node and its ancestors, nearest first, each in attribute order.
template <class Match>
Value findDeclaration(Vm& vm, XmlNode* node, Match match)
{
    for (XmlNode* n = node; n; n = n->parent) {
        for (const auto& [key, value] : xmlAttributes(vm, n)) {
            std::string_view prefix;
            if (declaredPrefix(key.view(), prefix)) {
                if (Value found = match(prefix, value); !found.isUndefined()) {
                    return found;
                }
            }
        }
    }
    return Value::null();
}

Value namespaceForPrefix(Vm& vm, XmlNode* node, const std::string& wanted)
{
    return findDeclaration(vm, node, [&](std::string_view prefix, const Value& value) {
        return prefix == wanted ? Value(vm.toStr(value)) : Value();
    });
}

bool namedElement(XmlNode* node)
{
    return node && node->isElement() && node->name.isString();
}

Value getPrefix(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (!namedElement(node)) {
        return Value::null();
    }
    std::string_view name = node->name.stringView();
    size_t colon = name.find(':');
    return Value(vm.intern(colon == std::string_view::npos ? "" : name.substr(0, colon)));
}

Value getLocalName(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (!namedElement(node)) {
        return Value::null();
    }
    std::string_view name = node->name.stringView();
    size_t colon = name.find(':');
    return Value(vm.intern(colon == std::string_view::npos ? name : name.substr(colon + 1)));
}

Value getNamespaceUri(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    XmlNode* node = asXmlNode(self);
    if (!namedElement(node)) {
        return Value::null();
    }
    Value prefix = getPrefix(vm, self, args, data);
    return namespaceForPrefix(vm, node, vm.toString(prefix));
}

Value nodeGetNamespaceForPrefix(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (!node) {
        return {};
    }
    return namespaceForPrefix(vm, node, vm.toString(arg(args, 0)));
}

Value nodeGetPrefixForNamespace(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    if (!node) {
        return {};
    }
    std::string uri = vm.toString(arg(args, 0));
    return findDeclaration(vm, node, [&](std::string_view prefix, const Value& value) {
        return vm.toString(value) == uri ? Value(vm.intern(prefix)) : Value();
    });
}

// --- tree methods -------------------------------------------------------------

Value nodeAppendChild(Vm&, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    XmlNode* child = asXmlNode(arg(args, 0).object());
    // A node cannot become a child of itself or of its own descendants.
    if (node && child && !node->hasAncestor(child)) {
        xmlInsert(node, child, node->children.size());
    }
    return {};
}

Value nodeInsertBefore(Vm&, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    XmlNode* child = asXmlNode(arg(args, 0).object());
    XmlNode* before = asXmlNode(arg(args, 1).object());
    if (!node || !child || !before || child == before || before->parent != node ||
        node->hasAncestor(child)) {
        return {};
    }
    xmlDetach(child);
    auto& siblings = node->children;
    size_t index = size_t(std::find(siblings.begin(), siblings.end(), before) - siblings.begin());
    xmlInsert(node, child, index);
    return {};
}

Value nodeRemoveNode(Vm&, Object* self, std::span<const Value>, const Value&)
{
    if (XmlNode* node = asXmlNode(self)) {
        xmlDetach(node);
    }
    return {};
}

Value nodeHasChildNodes(Vm&, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? Value(!node->children.empty()) : Value();
}

XmlNode* cloneTree(Vm& vm, XmlNode* node, bool deep, int depth)
{
    auto* copy = vm.heap().make<XmlNode>(node->proto());
    copy->type = node->type;
    copy->name = node->name;
    copy->value = node->value;
    copy->attributes = vm.newObject();
    if (node->attributes) {
        for (const Property& property : node->attributes->properties().list()) {
            if (!property.isAccessor()) {
                copy->attributes->properties().add(property.name, property.value, vm.fold(),
                                                   property.flags);
            }
        }
    }
    if (deep && depth < 256) {
        for (XmlNode* child : node->children) {
            XmlNode* childCopy = cloneTree(vm, child, true, depth + 1);
            childCopy->parent = copy;
            copy->children.push_back(childCopy);
        }
    }
    return copy;
}

Value nodeCloneNode(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? Value(cloneTree(vm, node, vm.toBoolean(arg(args, 0)), 0)) : Value();
}

Value nodeToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    XmlNode* node = asXmlNode(self);
    return node ? Value(Str(xmlToString(vm, node))) : Value(vm.intern(""));
}

// --- constructors -------------------------------------------------------------

Object* prototypeOf(Vm& vm, const Value& ctor)
{
    Object* proto = vm.get(ctor.object(), vm.names().prototype).object();
    return proto ? proto : vm.objectProto();
}

Value constructXmlNode(Vm& vm, Object*, std::span<const Value> args, const Value& ctor)
{
    const Value& text = arg(args, 1);
    Value stored = text.isNullish() ? Value::null() : Value(vm.toStr(text));
    return Value(xmlMakeNode(vm, vm.toNumber(arg(args, 0)), stored, prototypeOf(vm, ctor)));
}

Value constructXml(Vm& vm, Object*, std::span<const Value> args, const Value& ctor)
{
    XmlNode* document = xmlMakeNode(vm, 1, Value::null(), prototypeOf(vm, ctor));
    document->document = true;
    vm.defineValue(document, "idMap", vm.newObject());
    vm.defineValue(document, "status", Value(0.0));
    if (!arg(args, 0).isNullish()) {
        xmlParseInto(vm, document, vm.toStr(args[0]).view());
    }
    return Value(document);
}

Value callNothing(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

// --- XML methods --------------------------------------------------------------

Value xmlCreateElement(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return Value(xmlMakeNode(vm, 1, Value(vm.toStr(arg(args, 0)))));
}

Value xmlCreateTextNode(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return Value(xmlMakeNode(vm, 3, Value(vm.toStr(arg(args, 0)))));
}

Value xmlParseXml(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (XmlNode* document = asXmlNode(self)) {
        xmlParseInto(vm, document, vm.toStr(arg(args, 0)).view());
    }
    return {};
}

// The default onData: parse what arrived and report through onLoad.
Value xmlOnData(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return {};
    }
    bool ok = !arg(args, 0).isUndefined();
    if (ok) {
        Value text = args[0];
        vm.callMethod(self, vm.intern("parseXML"), std::span<const Value>(&text, 1));
    }
    setLoaded(vm, self, ok);
    Value result(ok);
    vm.callMethod(self, vm.intern("onLoad"), std::span<const Value>(&result, 1));
    return {};
}

Value returnFalse(Vm&, Object*, std::span<const Value>, const Value&)
{
    return Value(false);
}

Value deliverNow(Vm& vm, Object*, std::span<const Value> args, const Value& target)
{
    if (Object* object = target.object()) {
        vm.callMethod(object, vm.intern("onData"), args);
    }
    return {};
}

} // namespace

std::optional<std::string> localFilePath(Vm& vm, const std::string& url)
{
    namespace fs = std::filesystem;
    std::string path = url;
    if (path.rfind("file://", 0) == 0) {
        path = path.substr(7);
    }
    if (path.empty() || path.find("://") != std::string::npos) {
        return std::nullopt;
    }
    fs::path full =
        fs::path(path).is_absolute() ? fs::path(path) : fs::path(vm.options().baseDirectory) / path;
    return full.lexically_normal().string();
}

bool readLocalFile(Vm& vm, const std::string& url, std::string& out)
{
    namespace fs = std::filesystem;
    std::optional<std::string> local = localFilePath(vm, url);
    if (!local) {
        return false;
    }
    fs::path full(*local);
    std::error_code error;
    auto size = fs::file_size(full, error);
    if (error || !fs::is_regular_file(full, error) || size > MaxLoadBytes) {
        return false;
    }
    std::ifstream in(full, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bool(in) || in.eof();
}

void setLoaded(Vm& vm, Object* object, bool loaded)
{
    Str key = vm.intern("loaded");
    if (vm.hasOwn(object, key)) {
        vm.set(object, key, Value(loaded));
    } else {
        vm.defineValue(object, "loaded", Value(loaded));
    }
}

void deliverLoad(Vm& vm, Object* self, bool ok, std::string text)
{
    Vm::Timer timer{};
    timer.due = vm.now();
    timer.repeat = false;
    timer.function = Value(vm.newNative(deliverNow, Value(self)));
    if (ok) {
        timer.args.push_back(Value(Str(std::move(text))));
    }
    vm.addTimer(std::move(timer));
}

// load(url) and sendAndLoad(url, target): local files only, delivered
// through onData after the current frame like a network response.
Value loadLocalData(Vm& vm, Object* self, std::span<const Value> args, const Value& sendsFirst)
{
    Object* receiver = vm.toBoolean(sendsFirst) ? arg(args, 1).object() : self;
    if (!receiver || arg(args, 0).isUndefined()) {
        return Value(false);
    }
    setLoaded(vm, receiver, false);
    std::string text;
    bool ok = readLocalFile(vm, vm.toString(args[0]), text);
    deliverLoad(vm, receiver, ok, std::move(text));
    return Value(true);
}

void installXmlBuiltins(Vm& vm)
{
    Object* nodeProto = vm.newObject();
    FunctionObject* nodeCtor = vm.defineClass("XMLNode", callNothing, constructXmlNode, nodeProto);
    nodeCtor->data = Value(nodeCtor);
    struct Accessor {
        const char* name;
        NativeFn get;
        NativeFn set;
    };
    static constexpr Accessor accessors[] = {
        {"nodeType", getNodeType, nullptr},
        {"nodeName", getNodeName, setNodeName},
        {"nodeValue", getNodeValue, setNodeValue},
        {"attributes", getAttributes, setAttributes},
        {"childNodes", getChildNodes, nullptr},
        {"firstChild", getFirstChild, nullptr},
        {"lastChild", getLastChild, nullptr},
        {"parentNode", getParentNode, nullptr},
        {"nextSibling", getNextSibling, nullptr},
        {"previousSibling", getPreviousSibling, nullptr},
        {"prefix", getPrefix, nullptr},
        {"localName", getLocalName, nullptr},
        {"namespaceURI", getNamespaceUri, nullptr},
    };
    for (const auto& accessor : accessors) {
        defineAccessor(vm, nodeProto, accessor.name, accessor.get, accessor.set);
    }
    vm.defineMethod(nodeProto, "appendChild", nodeAppendChild);
    vm.defineMethod(nodeProto, "insertBefore", nodeInsertBefore);
    vm.defineMethod(nodeProto, "removeNode", nodeRemoveNode);
    vm.defineMethod(nodeProto, "cloneNode", nodeCloneNode);
    vm.defineMethod(nodeProto, "hasChildNodes", nodeHasChildNodes);
    vm.defineMethod(nodeProto, "toString", nodeToString);
    vm.defineMethod(nodeProto, "getNamespaceForPrefix", nodeGetNamespaceForPrefix);
    vm.defineMethod(nodeProto, "getPrefixForNamespace", nodeGetPrefixForNamespace);

    Object* xmlProto = vm.newObject(nodeProto);
    FunctionObject* xmlCtor = vm.defineClass("XML", callNothing, constructXml, xmlProto);
    xmlCtor->data = Value(xmlCtor);
    vm.defineMethod(xmlProto, "createElement", xmlCreateElement);
    vm.defineMethod(xmlProto, "createTextNode", xmlCreateTextNode);
    vm.defineMethod(xmlProto, "parseXML", xmlParseXml);
    vm.defineMethod(xmlProto, "onData", xmlOnData);
    vm.defineMethod(xmlProto, "onLoad", callNothing);
    vm.defineMethod(xmlProto, "load", loadLocalData, Value(false));
    vm.defineMethod(xmlProto, "sendAndLoad", loadLocalData, Value(true));
    vm.defineMethod(xmlProto, "send", returnFalse);
    vm.defineMethod(xmlProto, "addRequestHeader", callNothing);
    vm.defineValue(xmlProto, "contentType", Value(vm.intern("application/x-www-form-urlencoded")));
    vm.defineValue(xmlProto, "ignoreWhite", Value(false));

    installExternalInterface(vm);
    installLoadVars(vm);
}

} // namespace zf::avm1
