// A small action assembler for the interpreter's tests: builds action
// records from mnemonics, with labels for branches and nested function bodies.
#pragma once

#include "swf/actions.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace zf::avm1::test {

struct Null {};
struct Undefined {};
struct Reg {
    uint8_t index;
};
struct Pool {
    uint16_t index;
};
using Item = std::variant<std::string, const char*, double, int, bool, Null, Undefined, Reg, Pool>;

class Asm {
public:
    using Code = swf::ActionCode;

    Asm& op(Code code)
    {
        m_bytes.push_back(static_cast<uint8_t>(code));
        return *this;
    }
    Asm& record(Code code, const std::vector<uint8_t>& payload)
    {
        op(code);
        u16(static_cast<uint16_t>(payload.size()));
        m_bytes.insert(m_bytes.end(), payload.begin(), payload.end());
        return *this;
    }
    Asm& push(std::initializer_list<Item> items)
    {
        std::vector<uint8_t> p;
        for (const auto& item : items) {
            encode(p, item);
        }
        return record(Code::Push, p);
    }
    Asm& pool(std::initializer_list<std::string> strings)
    {
        std::vector<uint8_t> p = {uint8_t(strings.size()), uint8_t(strings.size() >> 8)};
        for (const auto& s : strings) {
            p.insert(p.end(), s.begin(), s.end());
            p.push_back(0);
        }
        return record(Code::ConstantPool, p);
    }
    Asm& storeRegister(uint8_t reg) { return record(Code::StoreRegister, {reg}); }
    Asm& label(const std::string& name)
    {
        m_labels[name] = m_bytes.size();
        return *this;
    }
    Asm& jump(const std::string& name) { return branch(Code::Jump, name); }
    // Appends another program (its jumps resolved within itself).
    Asm& append(Asm other)
    {
        auto code = other.bytes();
        m_bytes.insert(m_bytes.end(), code.begin(), code.end());
        return *this;
    }
    Asm& ifTrue(const std::string& name) { return branch(Code::If, name); }
    // trace(<items pushed>): convenience for the common push + Trace pair.
    Asm& trace(Item item) { return push({item}).op(Code::Trace); }
    Asm& setVar(const std::string& name, Item value)
    {
        return push({name, value}).op(Code::SetVariable);
    }
    Asm& function(const std::string& name, std::vector<std::string> params, Asm body)
    {
        std::vector<uint8_t> p = cstring(name);
        appendU16(p, uint16_t(params.size()));
        for (const auto& param : params) {
            auto s = cstring(param);
            p.insert(p.end(), s.begin(), s.end());
        }
        auto code = body.bytes();
        appendU16(p, uint16_t(code.size()));
        record(Code::DefineFunction, p);
        m_bytes.insert(m_bytes.end(), code.begin(), code.end());
        return *this;
    }
    // params: (register, name) pairs.
    Asm& function2(const std::string& name, uint8_t registers, uint16_t flags,
                   std::vector<std::pair<uint8_t, std::string>> params, Asm body)
    {
        std::vector<uint8_t> p = cstring(name);
        appendU16(p, uint16_t(params.size()));
        p.push_back(registers);
        appendU16(p, flags);
        for (const auto& [reg, param] : params) {
            p.push_back(reg);
            auto s = cstring(param);
            p.insert(p.end(), s.begin(), s.end());
        }
        auto code = body.bytes();
        appendU16(p, uint16_t(code.size()));
        record(Code::DefineFunction2, p);
        m_bytes.insert(m_bytes.end(), code.begin(), code.end());
        return *this;
    }
    // try { body } catch (name) { handler } finally { cleanup }; empty Asm = absent.
    Asm& tryCatch(Asm body, const std::string& name, Asm* handler, Asm* cleanup)
    {
        auto b = body.bytes();
        auto h = handler ? handler->bytes() : std::vector<uint8_t>();
        auto c = cleanup ? cleanup->bytes() : std::vector<uint8_t>();
        std::vector<uint8_t> p = {uint8_t((handler ? 1 : 0) | (cleanup ? 2 : 0))};
        appendU16(p, uint16_t(b.size()));
        appendU16(p, uint16_t(h.size()));
        appendU16(p, uint16_t(c.size()));
        auto s = cstring(name);
        p.insert(p.end(), s.begin(), s.end());
        record(Code::Try, p);
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        m_bytes.insert(m_bytes.end(), h.begin(), h.end());
        m_bytes.insert(m_bytes.end(), c.begin(), c.end());
        return *this;
    }
    std::vector<uint8_t> bytes()
    {
        for (auto [at, name] : m_fixups) {
            auto offset = int64_t(m_labels.at(name)) - int64_t(at + 2);
            m_bytes[at] = uint8_t(offset);
            m_bytes[at + 1] = uint8_t(offset >> 8);
        }
        m_fixups.clear();
        return m_bytes;
    }

private:
    Asm& branch(Code code, const std::string& name)
    {
        record(code, {0, 0});
        m_fixups.emplace_back(m_bytes.size() - 2, name);
        return *this;
    }
    void u16(uint16_t v)
    {
        m_bytes.push_back(uint8_t(v));
        m_bytes.push_back(uint8_t(v >> 8));
    }
    static void appendU16(std::vector<uint8_t>& p, uint16_t v)
    {
        p.push_back(uint8_t(v));
        p.push_back(uint8_t(v >> 8));
    }
    static std::vector<uint8_t> cstring(const std::string& s)
    {
        std::vector<uint8_t> out(s.begin(), s.end());
        out.push_back(0);
        return out;
    }
    static void encode(std::vector<uint8_t>& p, const Item& item)
    {
        if (auto* s = std::get_if<std::string>(&item)) {
            p.push_back(0);
            p.insert(p.end(), s->begin(), s->end());
            p.push_back(0);
        } else if (auto* c = std::get_if<const char*>(&item)) {
            encode(p, std::string(*c));
        } else if (auto* d = std::get_if<double>(&item)) {
            uint64_t bits;
            std::memcpy(&bits, d, 8);
            p.push_back(6);
            for (int shift : {32, 40, 48, 56, 0, 8, 16, 24}) {
                p.push_back(uint8_t(bits >> shift));
            }
        } else if (auto* i = std::get_if<int>(&item)) {
            p.push_back(7);
            for (int shift : {0, 8, 16, 24}) {
                p.push_back(uint8_t(uint32_t(*i) >> shift));
            }
        } else if (auto* b = std::get_if<bool>(&item)) {
            p.push_back(5);
            p.push_back(*b ? 1 : 0);
        } else if (std::holds_alternative<Null>(item)) {
            p.push_back(2);
        } else if (std::holds_alternative<Undefined>(item)) {
            p.push_back(3);
        } else if (auto* r = std::get_if<Reg>(&item)) {
            p.push_back(4);
            p.push_back(r->index);
        } else if (auto* k = std::get_if<Pool>(&item)) {
            p.push_back(9);
            appendU16(p, k->index);
        }
    }

    std::vector<uint8_t> m_bytes;
    std::map<std::string, size_t> m_labels;
    std::vector<std::pair<size_t, std::string>> m_fixups;
};

} // namespace zf::avm1::test
