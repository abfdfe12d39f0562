// XML documents as scripts see them: a tree of nodes with a script-visible
// attribute object and a childNodes array that mirrors the children, plus
// the text helpers (entity escaping, parsing) that XML, ExternalInterface
// and LoadVars share.
#pragma once

#include "vm_p.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zf::avm1 {

class XmlNode : public Object {
public:
    explicit XmlNode(Object* proto) : Object(proto, Kind::Native) {}

    double type = 1;
    Value name = Value::null();  // elements: the tag name; null for text and documents
    Value value = Value::null(); // text nodes: the unescaped text
    Object* attributes = nullptr;
    XmlNode* parent = nullptr;
    std::vector<XmlNode*> children;
    // The array returned by childNodes: made on first use and refilled after
    // every change of the children, so scripts holding it see the changes.
    ArrayObject* childArray = nullptr;
    bool document = false;

    bool isElement() const { return type == 1; }
    // Whether `node` is this node or one of its ancestors.
    bool hasAncestor(const XmlNode* node) const;
    void syncChildArray();
    void traceChildren(std::vector<Object*>& work) const override;
};

inline XmlNode* asXmlNode(Object* object)
{
    return object && object->kind() == Kind::Native ? dynamic_cast<XmlNode*>(object) : nullptr;
}

// Tree edits keep parent links and the childNodes arrays in step.
void xmlDetach(XmlNode* node);
void xmlInsert(XmlNode* parent, XmlNode* child, size_t index);

// Escapes & < > " ' as entities.
std::string xmlEscape(std::string_view text);
// Replaces the five named entities and numeric references; anything else
// (unknown names, a lone ampersand) stays as written.
std::string xmlUnescape(std::string_view text, bool numeric = true);

// Status codes parseXML leaves in `status`.
enum XmlStatus : int {
    XmlOk = 0,
    XmlCdataUnterminated = -2,
    XmlDeclUnterminated = -3,
    XmlDoctypeUnterminated = -4,
    XmlCommentUnterminated = -5,
    XmlMalformedElement = -6,
    XmlAttributeUnterminated = -8,
    XmlMissingEndTag = -9,
    XmlUnexpectedEndTag = -10,
};

// Parses `text` into `document`'s children (the old ones are dropped) and
// sets status, xmlDecl, docTypeDecl and the idMap entries.
void xmlParseInto(Vm& vm, XmlNode* document, std::string_view text);

// A new node with the XMLNode prototype (or the given one).
XmlNode* xmlMakeNode(Vm& vm, double type, Value nameOrValue, Object* proto = nullptr);
// The node serialised the way toString shows it.
std::string xmlToString(Vm& vm, XmlNode* node);
// Attribute names and values in enumeration order (document order for parsed ones).
std::vector<std::pair<Str, Value>> xmlAttributes(Vm& vm, XmlNode* node);

// The file a URL names: a path relative to the movie's folder, an absolute
// path or a file:// URL; nothing for other schemes (the player reads no
// network resources).
std::optional<std::string> localFilePath(Vm& vm, const std::string& url);
// Reads a file next to the movie; false when there is none or it is too big.
bool readLocalFile(Vm& vm, const std::string& url, std::string& out);
// Sets the `loaded` flag the player keeps on XML and LoadVars objects
// (hidden from enumeration, so it never ends up in sent variables).
void setLoaded(Vm& vm, Object* object, bool loaded);
// Calls `self.onData(text)` after the current frame (undefined when failed).
void deliverLoad(Vm& vm, Object* self, bool ok, std::string text);
// load(url) and sendAndLoad(url, target) of XML and LoadVars; `sendsFirst`
// tells the second form, whose target receives the data.
Value loadLocalData(Vm& vm, Object* self, std::span<const Value> args, const Value& sendsFirst);

void installExternalInterface(Vm& vm);
void installLoadVars(Vm& vm);
// Adds StyleSheet to the TextField class (which exists only with a stage).
void installStyleSheet(Vm& vm, Object* textField);

} // namespace zf::avm1
