// The XML tree: edits, serialisation, entity handling and the parser.
#include "xml_p.h"

#include <algorithm>

namespace zf::avm1 {

namespace {

// Deeper documents are cut off rather than risking the native stack in the
// recursive walks (serialisation, deep clones).
constexpr size_t MaxDepth = 256;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool allSpace(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), isSpace);
}

} // namespace

// --- the tree ---------------------------------------------------------------

bool XmlNode::hasAncestor(const XmlNode* node) const
{
    for (const XmlNode* n = this; n; n = n->parent) {
        if (n == node) {
            return true;
        }
    }
    return false;
}

void XmlNode::syncChildArray()
{
    if (childArray) {
        childArray->assign(std::vector<Value>(children.begin(), children.end()));
    }
}

void XmlNode::traceChildren(std::vector<Object*>& work) const
{
    Object::traceChildren(work);
    for (Object* o : {static_cast<Object*>(attributes), static_cast<Object*>(parent),
                      static_cast<Object*>(childArray)}) {
        if (o) {
            work.push_back(o);
        }
    }
    work.insert(work.end(), children.begin(), children.end());
    for (const Value* v : {&name, &value}) {
        if (Object* o = v->object()) {
            work.push_back(o);
        }
    }
}

void xmlDetach(XmlNode* node)
{
    XmlNode* parent = node->parent;
    if (!parent) {
        return;
    }
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
    node->parent = nullptr;
    parent->syncChildArray();
}

void xmlInsert(XmlNode* parent, XmlNode* child, size_t index)
{
    xmlDetach(child);
    index = std::min(index, parent->children.size());
    parent->children.insert(parent->children.begin() + ptrdiff_t(index), child);
    child->parent = parent;
    parent->syncChildArray();
}

XmlNode* xmlMakeNode(Vm& vm, double type, Value nameOrValue, Object* proto)
{
    if (!proto) {
        Value ctor = vm.get(vm.global(), "XMLNode");
        proto = vm.get(ctor.object(), vm.names().prototype).object();
    }
    auto* node = vm.heap().make<XmlNode>(proto ? proto : vm.objectProto());
    node->type = type;
    if (type == 1) {
        node->name = std::move(nameOrValue);
    } else {
        node->value = std::move(nameOrValue);
    }
    node->attributes = vm.newObject();
    return node;
}

std::vector<std::pair<Str, Value>> xmlAttributes(Vm&, XmlNode* node)
{
    std::vector<std::pair<Str, Value>> out;
    if (!node->attributes) {
        return out;
    }
    const auto& list = node->attributes->properties().list();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (!(it->flags & DontEnum) && !it->isAccessor()) {
            out.emplace_back(it->name, it->value);
        }
    }
    return out;
}

// --- text -------------------------------------------------------------------

std::string xmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

namespace {

// The character an entity name (between & and ;) stands for, if known.
bool decodeEntity(std::string_view name, bool numeric, std::string& out)
{
    static constexpr std::pair<std::string_view, char> named[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (auto [entity, c] : named) {
        if (name == entity) {
            out += c;
            return true;
        }
    }
    if (!numeric || name.size() < 2 || name[0] != '#') {
        return false;
    }
    bool hex = name[1] == 'x' || name[1] == 'X';
    std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) {
        return false;
    }
    uint32_t code = 0;
    for (char c : digits) {
        int d = c >= '0' && c <= '9'          ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
        if (d < 0) {
            return false;
        }
        code = code * (hex ? 16 : 10) + uint32_t(d);
    }
    if (code == 0 || code > 0x10FFFF) {
        return false;
    }
    out += utf8Encode(code);
    return true;
}

} // namespace

std::string xmlUnescape(std::string_view text, bool numeric)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '&') {
            // Entity names are short: only a nearby semicolon can end one,
            // which also keeps a run of ampersands from rescanning the text.
            std::string_view window = text.substr(i + 1, 12);
            size_t end = window.find(';');
            if (end != std::string_view::npos &&
                decodeEntity(window.substr(0, end), numeric, out)) {
                i += end + 2;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

// --- serialisation ----------------------------------------------------------

namespace {

void serialise(Vm& vm, XmlNode* node, std::string& out, size_t depth)
{
    if (depth > MaxDepth) {
        return;
    }
    if (!node->isElement()) {
        if (!node->value.isNullish()) {
            out += xmlEscape(vm.toStr(node->value).view());
        }
        return;
    }
    bool named = !node->name.isNullish();
    if (named) {
        out += '<';
        out += vm.toStr(node->name).view();
        for (const auto& [key, value] : xmlAttributes(vm, node)) {
            out += ' ';
            out += key.view();
            out += "=\"";
            out += xmlEscape(vm.toStr(value).view());
            out += '"';
        }
        if (node->children.empty()) {
            out += " />";
            return;
        }
        out += '>';
    }
    for (XmlNode* child : node->children) {
        serialise(vm, child, out, depth + 1);
    }
    if (named) {
        out += "</";
        out += vm.toStr(node->name).view();
        out += '>';
    }
}

} // namespace

std::string xmlToString(Vm& vm, XmlNode* node)
{
    std::string out;
    if (node->document) {
        for (const char* key : {"xmlDecl", "docTypeDecl"}) {
            Value decl = vm.get(node, key);
            if (!decl.isNullish()) {
                out += vm.toStr(decl).view();
            }
        }
    }
    serialise(vm, node, out, 0);
    return out;
}

// --- parsing ----------------------------------------------------------------

namespace {

class Parser {
public:
    Parser(Vm& vm, XmlNode* document, std::string_view text)
        : m_vm(vm), m_document(document), m_text(text)
    {
        m_ignoreWhite = vm.toBoolean(vm.get(document, "ignoreWhite"));
        m_idMap = vm.get(document, "idMap").object();
        if (!m_idMap) {
            m_idMap = vm.newObject();
            vm.defineValue(document, "idMap", m_idMap);
        }
    }

    int run()
    {
        m_open.push_back(m_document);
        while (m_pos < m_text.size() && m_status == XmlOk) {
            if (m_text[m_pos] == '<') {
                markup();
            } else {
                text();
            }
        }
        if (m_status == XmlOk && m_open.size() > 1) {
            m_status = XmlMissingEndTag;
        }
        return m_status;
    }

private:
    XmlNode* current() { return m_open.back(); }

    bool startsWith(std::string_view prefix) const
    {
        return m_text.substr(m_pos, prefix.size()) == prefix;
    }

    void append(XmlNode* node) { xmlInsert(current(), node, current()->children.size()); }

    void addText(std::string_view raw, bool unescape)
    {
        std::string value = unescape ? xmlUnescape(raw) : std::string(raw);
        append(xmlMakeNode(m_vm, 3, Value(Str(std::move(value)))));
    }

    void text()
    {
        size_t end = std::min(m_text.find('<', m_pos), m_text.size());
        std::string_view raw = m_text.substr(m_pos, end - m_pos);
        m_pos = end;
        if (!(m_ignoreWhite && allSpace(raw))) {
            addText(raw, true);
        }
    }

    // Copies raw markup from here through `terminator`, or fails with `status`.
    bool skipTo(std::string_view terminator, int status, std::string_view* raw = nullptr)
    {
        size_t end = m_text.find(terminator, m_pos);
        if (end == std::string_view::npos) {
            m_status = status;
            return false;
        }
        end += terminator.size();
        if (raw) {
            *raw = m_text.substr(m_pos, end - m_pos);
        }
        m_pos = end;
        return true;
    }

    void markup()
    {
        std::string_view raw;
        if (startsWith("<!--")) {
            skipTo("-->", XmlCommentUnterminated);
        } else if (startsWith("<![CDATA[")) {
            m_pos += 9;
            size_t start = m_pos;
            if (skipTo("]]>", XmlCdataUnterminated)) {
                addText(m_text.substr(start, m_pos - 3 - start), false);
            }
        } else if (startsWith("<!")) {
            if (skipTo(">", XmlDoctypeUnterminated, &raw)) {
                m_vm.set(m_document, m_vm.intern("docTypeDecl"), Value(Str(raw)));
            }
        } else if (startsWith("<?")) {
            if (skipTo("?>", XmlDeclUnterminated, &raw)) {
                m_vm.set(m_document, m_vm.intern("xmlDecl"), Value(Str(raw)));
            }
        } else if (startsWith("</")) {
            endTag();
        } else {
            startTag();
        }
    }

    std::string_view name()
    {
        size_t start = m_pos;
        while (m_pos < m_text.size() && !isSpace(m_text[m_pos]) && m_text[m_pos] != '>' &&
               m_text[m_pos] != '/' && m_text[m_pos] != '=') {
            ++m_pos;
        }
        return m_text.substr(start, m_pos - start);
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() && isSpace(m_text[m_pos])) {
            ++m_pos;
        }
    }

    void endTag()
    {
        m_pos += 2;
        std::string_view tag = name();
        skipSpace();
        if (m_pos >= m_text.size() || m_text[m_pos] != '>') {
            m_status = XmlMalformedElement;
            return;
        }
        ++m_pos;
        XmlNode* open = current();
        if (m_open.size() < 2 || m_vm.toStr(open->name).view() != tag) {
            m_status = XmlUnexpectedEndTag;
            return;
        }
        m_open.pop_back();
    }

    void startTag()
    {
        ++m_pos;
        std::string_view tag = name();
        if (tag.empty()) {
            m_status = XmlMalformedElement;
            return;
        }
        XmlNode* element = xmlMakeNode(m_vm, 1, Value(Str(tag)));
        std::vector<std::pair<std::string_view, std::string>> attributes;
        for (;;) {
            skipSpace();
            if (m_pos >= m_text.size()) {
                m_status = XmlMalformedElement;
                return;
            }
            if (m_text[m_pos] == '>' || startsWith("/>")) {
                break;
            }
            std::string_view key = name();
            skipSpace();
            if (key.empty() || m_pos >= m_text.size() || m_text[m_pos] != '=') {
                m_status = XmlMalformedElement;
                return;
            }
            ++m_pos;
            skipSpace();
            char quote = m_pos < m_text.size() ? m_text[m_pos] : 0;
            if (quote != '"' && quote != '\'') {
                m_status = XmlMalformedElement;
                return;
            }
            size_t end = m_text.find(quote, m_pos + 1);
            if (end == std::string_view::npos) {
                m_status = XmlAttributeUnterminated;
                return;
            }
            attributes.emplace_back(key, xmlUnescape(m_text.substr(m_pos + 1, end - m_pos - 1)));
            m_pos = end + 1;
        }
        // Scripts enumerate the newest property first; adding the attributes
        // last to first makes for..in and toString follow the document.
        for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
            m_vm.set(element->attributes, m_vm.intern(it->first), Value(Str(it->second)));
            if (it->first == "id") {
                m_vm.set(m_idMap, m_vm.intern(it->second), Value(element));
            }
        }
        append(element);
        bool empty = m_text[m_pos] == '/';
        m_pos += empty ? 2 : 1;
        if (!empty && m_open.size() < MaxDepth) {
            m_open.push_back(element);
        }
    }

    Vm& m_vm;
    XmlNode* m_document;
    std::string_view m_text;
    size_t m_pos = 0;
    int m_status = XmlOk;
    bool m_ignoreWhite = false;
    Object* m_idMap = nullptr;
    std::vector<XmlNode*> m_open;
};

} // namespace

void xmlParseInto(Vm& vm, XmlNode* document, std::string_view text)
{
    for (XmlNode* child : document->children) {
        child->parent = nullptr;
    }
    document->children.clear();
    document->syncChildArray();
    int status = Parser(vm, document, text).run();
    vm.set(document, vm.intern("status"), Value(double(status)));
}

} // namespace zf::avm1
