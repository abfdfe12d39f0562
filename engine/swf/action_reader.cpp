// Action records: decoding, Push values and a text disassembler.
#include "swf/records_p.h"

#include <bit>
#include <cstdio>

namespace zf::swf {

Result<ActionRecord> readAction(std::span<const uint8_t> code, size_t offset)
{
    if (offset >= code.size())
        return makeError("action offset " + std::to_string(offset) + " is past the end");
    ActionRecord record;
    record.code = code[offset];
    record.offset = offset;
    record.next = offset + 1;
    if (actionHasPayload(record.code)) {
        if (code.size() - offset < 3)
            return makeError("action at " + std::to_string(offset) + " has no length");
        size_t length = code[offset + 1] | code[offset + 2] << 8;
        if (length > code.size() - offset - 3)
            return makeError("action at " + std::to_string(offset) + " runs past the end");
        record.payload = code.subspan(offset + 3, length);
        record.next = offset + 3 + length;
    }
    return record;
}

Result<std::vector<PushValue>> readPushValues(std::span<const uint8_t> payload)
{
    ByteReader reader(payload);
    std::vector<PushValue> values;
    while (reader.ok() && !reader.atEnd()) {
        PushValue value;
        value.type = PushType(reader.u8());
        switch (value.type) {
        case PushType::String: {
            auto bytes = reader.rawString();
            value.string.assign(bytes.begin(), bytes.end());
            break;
        }
        case PushType::Float: value.number = reader.f32(); break;
        case PushType::Null:
        case PushType::Undefined: break;
        case PushType::Register: value.index = reader.u8(); break;
        case PushType::Boolean: value.boolean = reader.u8() != 0; break;
        case PushType::Double: {
            // Two little-endian 32-bit halves, the high half first.
            uint64_t high = reader.u32();
            uint64_t low = reader.u32();
            value.number = std::bit_cast<double>(high << 32 | low);
            break;
        }
        case PushType::Integer: value.number = reader.s32(); break;
        case PushType::Constant8: value.index = reader.u8(); break;
        case PushType::Constant16: value.index = reader.u16(); break;
        default: reader.fail("unknown push type " + std::to_string(int(value.type)));
        }
        values.push_back(std::move(value));
    }
    if (!reader.ok())
        return makeError("Push: " + reader.error());
    return values;
}

namespace {

std::string number(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string quoted(std::span<const uint8_t> bytes, int swfVersion)
{
    std::string out = "\"";
    for (char c : decodeString(bytes, swfVersion)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

std::string pushOperands(std::span<const uint8_t> payload, int swfVersion)
{
    auto values = readPushValues(payload);
    if (!values)
        return "<" + values.message() + ">";
    std::string out;
    for (const PushValue& v : *values) {
        if (!out.empty())
            out += ", ";
        switch (v.type) {
        case PushType::String:
            out += quoted({reinterpret_cast<const uint8_t*>(v.string.data()), v.string.size()},
                          swfVersion);
            break;
        case PushType::Float:
        case PushType::Double: out += number(v.number); break;
        case PushType::Integer: out.append("int:").append(number(v.number)); break;
        case PushType::Null: out += "null"; break;
        case PushType::Undefined: out += "undefined"; break;
        case PushType::Register: out.append(1, 'r').append(std::to_string(v.index)); break;
        case PushType::Boolean: out += v.boolean ? "true" : "false"; break;
        default: out.append(1, 'c').append(std::to_string(v.index)); break;
        }
    }
    return out;
}

// Operands of one record as text; reads through a bounded reader so a
// malformed payload prints partially rather than failing.
std::string operands(const ActionRecord& action, int swfVersion)
{
    ByteReader r(action.payload);
    auto str = [&] { return quoted(r.rawString(), swfVersion); };
    auto num = [](auto v) { return std::to_string(v); };
    std::string out;
    switch (ActionCode(action.code)) {
    case ActionCode::GotoFrame: out = num(r.u16()); break;
    case ActionCode::GetURL:
        out = str();
        out += ", " + str();
        break;
    case ActionCode::StoreRegister: out = "r" + num(r.u8()); break;
    case ActionCode::ConstantPool: {
        uint16_t count = r.u16();
        for (int i = 0; i < count && r.ok(); ++i)
            out += (i ? ", " : "") + str();
        break;
    }
    case ActionCode::WaitForFrame:
        out = num(r.u16());
        out += ", skip " + num(r.u8());
        break;
    case ActionCode::SetTarget:
    case ActionCode::GotoLabel: out = str(); break;
    case ActionCode::WaitForFrame2: out = "skip " + num(r.u8()); break;
    case ActionCode::DefineFunction2: {
        out = str();
        uint16_t params = r.u16();
        out += ", registers " + num(r.u8());
        out += ", flags " + num(r.u16()) + ", (";
        for (int i = 0; i < params && r.ok(); ++i) {
            uint8_t reg = r.u8();
            if (i)
                out += ", ";
            if (reg)
                out.append(1, 'r').append(num(reg)).append(1, ':');
            out += str();
        }
        out += "), size " + num(r.u16());
        break;
    }
    case ActionCode::Try: {
        uint8_t flags = r.u8();
        out = "flags " + num(flags);
        out += ", try " + num(r.u16());
        out += ", catch " + num(r.u16());
        out += ", finally " + num(r.u16());
        out += (flags & 0x04) ? ", r" + num(r.u8()) : ", " + str();
        break;
    }
    case ActionCode::With: out = "size " + num(r.u16()); break;
    case ActionCode::Push: return pushOperands(action.payload, swfVersion);
    case ActionCode::Jump:
    case ActionCode::If: {
        int16_t offset = r.s16();
        out = "-> " + num(int64_t(action.next) + offset);
        break;
    }
    case ActionCode::GetURL2: out = "flags " + num(r.u8()); break;
    case ActionCode::DefineFunction: {
        out = str() + ", (";
        uint16_t params = r.u16();
        for (int i = 0; i < params && r.ok(); ++i)
            out += (i ? ", " : "") + str();
        out += "), size " + num(r.u16());
        break;
    }
    case ActionCode::GotoFrame2: {
        uint8_t flags = r.u8();
        out = "flags " + num(flags);
        if (flags & 0x02)
            out += ", bias " + num(r.u16());
        break;
    }
    default:
        if (!action.payload.empty())
            out = num(action.payload.size()) + " bytes";
        break;
    }
    if (!r.ok())
        out += " <" + r.error() + ">";
    return out;
}

} // namespace

std::string disassemble(std::span<const uint8_t> code, int swfVersion)
{
    std::string out;
    size_t offset = 0;
    while (offset < code.size()) {
        auto action = readAction(code, offset);
        if (!action) {
            out += "error: " + action.message() + "\n";
            break;
        }
        ActionInfo info = actionInfo(action->code);
        char head[32];
        std::snprintf(head, sizeof head, "%6zu: ", action->offset);
        out += head;
        if (info.name.empty()) {
            char unknown[16];
            std::snprintf(unknown, sizeof unknown, "Unknown0x%02X", action->code);
            out += unknown;
        } else {
            out += info.name;
        }
        std::string args = operands(*action, swfVersion);
        if (!args.empty())
            out += " " + args;
        out += "\n";
        offset = action->next;
    }
    return out;
}

} // namespace zf::swf
