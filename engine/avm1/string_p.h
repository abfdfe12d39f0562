// Script strings: immutable, reference-counted, optionally interned so that
// property names compare by pointer. Every interned string knows its
// case-folded twin, which is what names match on in case-insensitive movies.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zf::avm1 {

class Interner;

struct StrRep {
    uint32_t refs = 0;
    Interner* owner = nullptr; // set while the string is in an intern table
    StrRep* folded = nullptr;  // interned lower-case twin (a counted reference unless itself)
    std::string text;
};

// A counted reference to a string; a null reference is the empty string.
class Str {
public:
    Str() = default;
    explicit Str(std::string text);
    explicit Str(std::string_view text) : Str(std::string(text)) {}
    explicit Str(const char* text) : Str(std::string(text)) {}
    static Str adopt(StrRep* rep)
    {
        Str s;
        s.m_rep = rep;
        if (rep) {
            ++rep->refs;
        }
        return s;
    }
    Str(const Str& other) : m_rep(other.m_rep)
    {
        if (m_rep) {
            ++m_rep->refs;
        }
    }
    Str(Str&& other) noexcept : m_rep(other.m_rep) { other.m_rep = nullptr; }
    Str& operator=(const Str& other)
    {
        Str copy(other);
        std::swap(m_rep, copy.m_rep);
        return *this;
    }
    Str& operator=(Str&& other) noexcept
    {
        std::swap(m_rep, other.m_rep);
        return *this;
    }
    ~Str() { release(m_rep); }

    std::string_view view() const
    {
        return m_rep ? std::string_view(m_rep->text) : std::string_view();
    }
    const std::string& str() const;
    bool empty() const { return !m_rep || m_rep->text.empty(); }
    size_t size() const { return m_rep ? m_rep->text.size() : 0; }
    StrRep* rep() const { return m_rep; }
    bool interned() const { return m_rep && m_rep->owner; }

    static void release(StrRep* rep);

private:
    StrRep* m_rep = nullptr;
};

inline bool operator==(const Str& a, const Str& b)
{
    return a.rep() == b.rep() || a.view() == b.view();
}

// Lower-cases ASCII and Latin-1 letters in UTF-8 text (the folding that
// case-insensitive identifiers use).
std::string foldCase(std::string_view text);

// The table of interned strings. Entries leave the table when their last
// reference goes away.
class Interner {
public:
    Interner() = default;
    Interner(const Interner&) = delete;
    Interner& operator=(const Interner&) = delete;
    ~Interner();

    Str intern(std::string_view text);
    Str intern(const Str& s) { return s.interned() ? s : intern(s.view()); }
    void forget(StrRep* rep) { m_table.erase(std::string_view(rep->text)); }
    size_t size() const { return m_table.size(); }

private:
    std::unordered_map<std::string_view, StrRep*> m_table;
};

} // namespace zf::avm1
