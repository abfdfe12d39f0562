// SharedObject: local data a movie keeps between runs, one file per name
// under $XDG_DATA_HOME/zentiq/sharedobjects. The files hold a small tagged
// text encoding of the `data` object (numbers, strings, booleans, null,
// undefined, arrays and plain objects); anything else is not stored.
#include "system_p.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_set>

namespace zf::avm1 {

namespace {

namespace fs = std::filesystem;

constexpr int MaxDepth = 64;
constexpr size_t MaxFileBytes = 16u << 20;

// --- encoding ------------------------------------------------------------------

class Writer {
public:
    explicit Writer(Vm& vm) : m_vm(vm) {}
    std::string take() { return std::move(m_out); }

    void value(const Value& value, int depth)
    {
        switch (value.type()) {
        case Type::Undefined: m_out += 'u'; return;
        case Type::Null: m_out += 'n'; return;
        case Type::Boolean: m_out += value.boolean() ? 't' : 'f'; return;
        case Type::Number: {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "d%.17g;", value.number());
            m_out += buffer;
            return;
        }
        case Type::String: string(value.stringView()); return;
        case Type::Object: object(value.object(), depth); return;
        }
    }

private:
    void string(std::string_view text)
    {
        m_out += 's' + std::to_string(text.size()) + ':';
        m_out += text;
    }

    // Cycles and functions are written as undefined.
    void object(Object* object, int depth)
    {
        if (depth >= MaxDepth || object->kind() == Kind::Function || object->kind() == Kind::Clip ||
            !m_open.insert(object).second) {
            m_out += 'u';
            return;
        }
        bool array = object->kind() == Kind::Array;
        m_out += array ? '[' : '{';
        std::vector<Str> keys = m_vm.enumerate(object);
        for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
            if (!m_vm.hasOwn(object, *it)) {
                continue;
            }
            string(it->view());
            value(m_vm.get(object, *it), depth + 1);
        }
        m_out += array ? ']' : '}';
        m_open.erase(object);
    }

    Vm& m_vm;
    std::string m_out;
    std::unordered_set<Object*> m_open;
};

class Reader {
public:
    Reader(Vm& vm, std::string_view text) : m_vm(vm), m_text(text) {}

    // False when the text is damaged; what was read so far is kept.
    bool value(Value& out, int depth)
    {
        if (m_at >= m_text.size() || depth > MaxDepth) {
            return false;
        }
        char tag = m_text[m_at++];
        switch (tag) {
        case 'u': out = Value(); return true;
        case 'n': out = Value::null(); return true;
        case 't': out = Value(true); return true;
        case 'f': out = Value(false); return true;
        case 'd': return number(out);
        case 's': {
            std::string_view text;
            if (!string(text)) {
                return false;
            }
            out = Value(Str(std::string(text)));
            return true;
        }
        case '[':
        case '{': return object(out, tag == '[', depth);
        default: return false;
        }
    }

private:
    bool number(Value& out)
    {
        size_t end = m_text.find(';', m_at);
        if (end == std::string_view::npos) {
            return false;
        }
        out = Value(std::strtod(std::string(m_text.substr(m_at, end - m_at)).c_str(), nullptr));
        m_at = end + 1;
        return true;
    }

    bool string(std::string_view& out)
    {
        size_t colon = m_text.find(':', m_at);
        if (colon == std::string_view::npos || colon == m_at) {
            return false;
        }
        size_t length = 0;
        for (size_t i = m_at; i < colon; ++i) {
            char c = m_text[i];
            if (c < '0' || c > '9' || length > m_text.size()) {
                return false;
            }
            length = length * 10 + size_t(c - '0');
        }
        if (length > m_text.size() - colon - 1) {
            return false;
        }
        out = m_text.substr(colon + 1, length);
        m_at = colon + 1 + length;
        return true;
    }

    bool object(Value& out, bool array, int depth)
    {
        Object* object = array ? m_vm.newArray() : m_vm.newObject();
        out = Value(object);
        char close = array ? ']' : '}';
        while (m_at < m_text.size() && m_text[m_at] != close) {
            std::string_view key;
            Value value;
            if (m_text[m_at++] != 's' || !string(key) || !this->value(value, depth + 1)) {
                return false;
            }
            m_vm.set(object, m_vm.intern(key), value);
        }
        if (m_at >= m_text.size()) {
            return false;
        }
        ++m_at;
        return true;
    }

    Vm& m_vm;
    std::string_view m_text;
    size_t m_at = 0;
};

// --- storage -----------------------------------------------------------------------

fs::path storageRoot()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        return fs::path(data) / "zentiq" / "sharedobjects";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : ".") / ".local" / "share" / "zentiq" / "sharedobjects";
}

// Names are paths of plain segments; the characters the player refuses,
// empty segments and ".." make getLocal fail.
bool validName(std::string_view name)
{
    if (name.empty() || name.size() > 512 ||
        name.find_first_of("~%&\\;:\"',<>?# ") != std::string_view::npos) {
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = std::min(name.find('/', start), name.size());
        std::string_view segment = name.substr(start, end - start);
        if (segment.empty() || segment == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

class SharedObject : public Object {
public:
    SharedObject(Object* proto, std::string name)
        : Object(proto, Kind::Native), name(std::move(name))
    {
    }
    std::string name;
    fs::path file() const { return storageRoot() / "localhost" / (name + ".sol"); }
};

// One object per name for the whole run.
class SharedObjectCache : public Object {
public:
    SharedObjectCache() : Object(nullptr, Kind::Native) {}
    std::map<std::string, SharedObject*> objects;
    Object* proto = nullptr;
    void traceChildren(std::vector<Object*>& work) const override
    {
        Object::traceChildren(work);
        for (const auto& entry : objects) {
            work.push_back(entry.second);
        }
        if (proto) {
            work.push_back(proto);
        }
    }
};

SharedObject* asShared(Object* self)
{
    return self && self->kind() == Kind::Native ? dynamic_cast<SharedObject*>(self) : nullptr;
}

Object* loadData(Vm& vm, const fs::path& file)
{
    std::error_code error;
    auto size = fs::file_size(file, error);
    if (!error && size <= MaxFileBytes) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string content = text.str();
        Value data;
        Reader(vm, content).value(data, 0);
        if (Object* object = data.object(); object && object->kind() != Kind::Array) {
            return object;
        }
    }
    return vm.newObject();
}

std::string encodeData(Vm& vm, Object* self)
{
    Writer writer(vm);
    writer.value(vm.get(self, "data"), 0);
    return writer.take();
}

Value soGetLocal(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    auto* cache = static_cast<SharedObjectCache*>(data.object());
    std::string name = vm.toString(arg(args, 0));
    if (args.empty() || !validName(name)) {
        return Value::null();
    }
    if (auto found = cache->objects.find(name); found != cache->objects.end()) {
        return Value(found->second);
    }
    auto* object = vm.heap().make<SharedObject>(cache->proto, name);
    vm.defineValue(object, "data", Value(loadData(vm, object->file())), DontDelete);
    cache->objects.emplace(name, object);
    return Value(object);
}

Value soFlush(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    SharedObject* shared = asShared(self);
    if (!shared) {
        return {};
    }
    std::string text = encodeData(vm, shared);
    std::error_code error;
    fs::create_directories(shared->file().parent_path(), error);
    std::ofstream out(shared->file(), std::ios::binary | std::ios::trunc);
    out << text;
    return Value(bool(out));
}

Value soClear(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (SharedObject* shared = asShared(self)) {
        vm.defineValue(shared, "data", Value(vm.newObject()), DontDelete);
        std::error_code error;
        fs::remove(shared->file(), error);
    }
    return {};
}

Value soGetSize(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    SharedObject* shared = asShared(self);
    if (!shared) {
        return {};
    }
    Object* data = vm.get(shared, "data").object();
    bool empty = !data || vm.enumerate(data).empty();
    return Value(empty ? 0.0 : double(encodeData(vm, shared).size()));
}

Value noOp(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

} // namespace

void installSharedObject(Vm& vm)
{
    auto* cache = vm.heap().make<SharedObjectCache>();
    Object* proto = vm.newObject();
    cache->proto = proto;
    FunctionObject* ctor = vm.defineClass("SharedObject", noOp, nullptr, proto);
    vm.defineMethod(ctor, "getLocal", soGetLocal, Value(static_cast<Object*>(cache)));
    vm.defineMethod(proto, "flush", soFlush);
    vm.defineMethod(proto, "clear", soClear);
    vm.defineMethod(proto, "getSize", soGetSize);
    vm.defineMethod(proto, "close", noOp);
    vm.defineMethod(proto, "connect", noOp);
    vm.defineMethod(proto, "send", noOp);
    vm.defineMethod(proto, "setFps", noOp);
}

} // namespace zf::avm1
