#include "swf_writer_p.h"

#include <bit>

namespace zf::test {

using swf::ActionCode;

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

void record(Bytes& out, ActionCode code, const Bytes& payload)
{
    out.push_back(uint8_t(code));
    out.push_back(uint8_t(payload.size()));
    out.push_back(uint8_t(payload.size() >> 8));
    out.insert(out.end(), payload.begin(), payload.end());
}

} // namespace

void PushArg::write(Bytes& out) const
{
    Writer w;
    std::visit(Overloaded{
                   [&](const std::string& s) {
                       w.u8(0);
                       w.string(s);
                   },
                   [&](double d) {
                       // High 32-bit half first.
                       uint64_t bits = std::bit_cast<uint64_t>(d);
                       w.u8(6);
                       w.u32(uint32_t(bits >> 32));
                       w.u32(uint32_t(bits));
                   },
                   [&](int32_t i) {
                       w.u8(7);
                       w.u32(uint32_t(i));
                   },
                   [&](bool b) {
                       w.u8(5);
                       w.u8(b);
                   },
                   [&](Null) { w.u8(2); },
                   [&](Undefined) { w.u8(3); },
                   [&](Register r) {
                       w.u8(4);
                       w.u8(r.index);
                   },
                   [&](Constant c) {
                       if (c.index < 256) {
                           w.u8(8);
                           w.u8(c.index);
                       } else {
                           w.u8(9);
                           w.u16(c.index);
                       }
                   },
                   [&](Float f) {
                       w.u8(1);
                       w.f32(f.value);
                   },
               },
               m_value);
    out.insert(out.end(), w.out.begin(), w.out.end());
}

Actions& Actions::op(ActionCode code)
{
    m_code.push_back(uint8_t(code));
    return *this;
}

Actions& Actions::raw(uint8_t code, const Bytes& payload)
{
    m_code.push_back(code);
    if (code >= 0x80) {
        m_code.push_back(uint8_t(payload.size()));
        m_code.push_back(uint8_t(payload.size() >> 8));
    }
    m_code.insert(m_code.end(), payload.begin(), payload.end());
    return *this;
}

Actions& Actions::push(std::initializer_list<PushArg> values)
{
    Bytes payload;
    for (const PushArg& value : values)
        value.write(payload);
    record(m_code, ActionCode::Push, payload);
    return *this;
}

Actions& Actions::constantPool(const std::vector<std::string>& strings)
{
    Writer w;
    w.u16(uint16_t(strings.size()));
    for (const std::string& s : strings)
        w.string(s);
    record(m_code, ActionCode::ConstantPool, w.out);
    return *this;
}

Actions& Actions::label(const std::string& name)
{
    m_labels[name] = m_code.size();
    return *this;
}

Actions& Actions::jump(const std::string& label)
{
    record(m_code, ActionCode::Jump, {0, 0});
    m_fixups.push_back({m_code.size() - 2, m_code.size(), label});
    return *this;
}

Actions& Actions::ifTrue(const std::string& label)
{
    record(m_code, ActionCode::If, {0, 0});
    m_fixups.push_back({m_code.size() - 2, m_code.size(), label});
    return *this;
}

Actions& Actions::gotoFrame(uint16_t frame)
{
    record(m_code, ActionCode::GotoFrame, {uint8_t(frame), uint8_t(frame >> 8)});
    return *this;
}

Actions& Actions::gotoLabel(const std::string& label)
{
    Writer w;
    w.string(label);
    record(m_code, ActionCode::GotoLabel, w.out);
    return *this;
}

Actions& Actions::gotoFrame2(bool play, std::optional<uint16_t> sceneBias)
{
    Writer w;
    w.u8((sceneBias ? 0x02 : 0) | (play ? 0x01 : 0));
    if (sceneBias)
        w.u16(*sceneBias);
    record(m_code, ActionCode::GotoFrame2, w.out);
    return *this;
}

Actions& Actions::getUrl(const std::string& url, const std::string& target)
{
    Writer w;
    w.string(url);
    w.string(target);
    record(m_code, ActionCode::GetURL, w.out);
    return *this;
}

Actions& Actions::getUrl2(uint8_t flags)
{
    record(m_code, ActionCode::GetURL2, {flags});
    return *this;
}

Actions& Actions::setTarget(const std::string& target)
{
    Writer w;
    w.string(target);
    record(m_code, ActionCode::SetTarget, w.out);
    return *this;
}

Actions& Actions::storeRegister(uint8_t reg)
{
    record(m_code, ActionCode::StoreRegister, {reg});
    return *this;
}

Actions& Actions::waitForFrame(uint16_t frame, uint8_t skipCount)
{
    record(m_code, ActionCode::WaitForFrame, {uint8_t(frame), uint8_t(frame >> 8), skipCount});
    return *this;
}

Actions& Actions::waitForFrame2(uint8_t skipCount)
{
    record(m_code, ActionCode::WaitForFrame2, {skipCount});
    return *this;
}

Actions& Actions::with(const Actions& body)
{
    Bytes code = body.code();
    record(m_code, ActionCode::With, {uint8_t(code.size()), uint8_t(code.size() >> 8)});
    m_code.insert(m_code.end(), code.begin(), code.end());
    return *this;
}

Actions& Actions::defineFunction(const std::string& name, const std::vector<std::string>& params,
                                 const Actions& body)
{
    Bytes code = body.code();
    Writer w;
    w.string(name);
    w.u16(uint16_t(params.size()));
    for (const std::string& p : params)
        w.string(p);
    w.u16(uint16_t(code.size()));
    record(m_code, ActionCode::DefineFunction, w.out);
    m_code.insert(m_code.end(), code.begin(), code.end());
    return *this;
}

Actions& Actions::defineFunction2(const std::string& name, uint8_t registerCount, uint16_t flags,
                                  const std::vector<Function2Param>& params, const Actions& body)
{
    Bytes code = body.code();
    Writer w;
    w.string(name);
    w.u16(uint16_t(params.size()));
    w.u8(registerCount);
    w.u16(flags);
    for (const Function2Param& p : params) {
        w.u8(p.reg);
        w.string(p.name);
    }
    w.u16(uint16_t(code.size()));
    record(m_code, ActionCode::DefineFunction2, w.out);
    m_code.insert(m_code.end(), code.begin(), code.end());
    return *this;
}

Actions& Actions::tryBlock(const Actions& body, const Actions* catchBody,
                           const Actions* finallyBody, const std::string& catchName,
                           int catchRegister)
{
    Bytes tryCode = body.code();
    Bytes catchCode = catchBody ? catchBody->code() : Bytes{};
    Bytes finallyCode = finallyBody ? finallyBody->code() : Bytes{};
    Writer w;
    uint8_t flags =
        (catchRegister >= 0 ? 0x04 : 0) | (finallyBody ? 0x02 : 0) | (catchBody ? 0x01 : 0);
    w.u8(flags);
    w.u16(uint16_t(tryCode.size()));
    w.u16(uint16_t(catchCode.size()));
    w.u16(uint16_t(finallyCode.size()));
    if (catchRegister >= 0)
        w.u8(uint8_t(catchRegister));
    else
        w.string(catchName);
    record(m_code, ActionCode::Try, w.out);
    for (const Bytes* block : {&tryCode, &catchCode, &finallyCode})
        m_code.insert(m_code.end(), block->begin(), block->end());
    return *this;
}

Bytes Actions::code() const
{
    Bytes out = m_code;
    for (const Fixup& fixup : m_fixups) {
        auto it = m_labels.find(fixup.label);
        int64_t target = it == m_labels.end() ? int64_t(fixup.next) : int64_t(it->second);
        int16_t offset = int16_t(target - int64_t(fixup.next));
        out[fixup.operand] = uint8_t(offset);
        out[fixup.operand + 1] = uint8_t(uint16_t(offset) >> 8);
    }
    return out;
}

Bytes Actions::bytes() const
{
    Bytes out = code();
    out.push_back(0);
    return out;
}

} // namespace zf::test
