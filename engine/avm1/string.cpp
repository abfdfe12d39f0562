#include "string_p.h"

namespace zf::avm1 {

Str::Str(std::string text)
{
    if (text.empty()) {
        return;
    }
    m_rep = new StrRep;
    m_rep->refs = 1;
    m_rep->text = std::move(text);
}

const std::string& Str::str() const
{
    static const std::string empty;
    return m_rep ? m_rep->text : empty;
}

void Str::release(StrRep* rep)
{
    if (!rep || --rep->refs != 0) {
        return;
    }
    if (rep->owner) {
        rep->owner->forget(rep);
    }
    if (rep->folded && rep->folded != rep) {
        release(rep->folded);
    }
    delete rep;
}

std::string foldCase(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 'A' && c <= 'Z') {
            out.push_back(static_cast<char>(c + 32));
        } else if (c == 0xC3 && i + 1 < text.size()) {
            // U+00C0..U+00DE (except U+00D7) fold to U+00E0..U+00FE.
            auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) {
                next = static_cast<unsigned char>(next + 0x20);
            }
            out.push_back(static_cast<char>(c));
            out.push_back(static_cast<char>(next));
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

Interner::~Interner()
{
    // Strings may outlive the table (values still held elsewhere during
    // teardown); detach them so their release does not touch the table.
    for (auto& [text, rep] : m_table) {
        rep->owner = nullptr;
    }
}

Str Interner::intern(std::string_view text)
{
    if (auto it = m_table.find(text); it != m_table.end()) {
        return Str::adopt(it->second);
    }
    auto* rep = new StrRep;
    rep->text = std::string(text);
    rep->owner = this;
    m_table.emplace(std::string_view(rep->text), rep);
    Str result = Str::adopt(rep);
    std::string folded = foldCase(text);
    if (folded == text) {
        rep->folded = rep;
    } else {
        Str twin = intern(folded);
        rep->folded = twin.rep();
        ++rep->folded->refs;
    }
    return result;
}

} // namespace zf::avm1
