// The interpreter loop: decodes one action at a time from the block's bytes
// (every read bounds-checked against the running range) and dispatches on
// the opcode table of swf/actions.h.
#include "vm_p.h"

#include "swf/actions.h"
#include "swf/swf.h"

#include <cmath>
#include <cstring>
#include <random>

namespace zf::avm1 {

using swf::ActionCode;

namespace {

bool isValidUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t extra = lead < 0x80             ? 0
                             : (lead & 0xE0) == 0xC0 ? 1
                             : (lead & 0xF0) == 0xE0 ? 2
                             : (lead & 0xF8) == 0xF0 ? 3
                                                     : 4;
        if (extra == 4 || i + extra >= text.size() + (extra == 0)) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// Strings in the actions of SWF 5 and older movies were written in the
// author's 8-bit code page; text that is not valid UTF-8 is read that way.
Str fileString(Vm& vm, std::string_view text, int version)
{
    if (version > 5 || isValidUtf8(text)) {
        return vm.intern(text);
    }
    auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return vm.intern(swf::decodeString(bytes, version));
}

// Bounds-checked reading of one action's operand bytes.
class Operands {
public:
    explicit Operands(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    bool failed() const { return m_failed; }
    uint8_t u8()
    {
        if (m_pos + 1 > m_bytes.size()) {
            m_failed = true;
            return 0;
        }
        return m_bytes[m_pos++];
    }
    uint16_t u16()
    {
        uint16_t lo = u8();
        return static_cast<uint16_t>(lo | (u8() << 8));
    }
    uint32_t u32()
    {
        uint32_t lo = u16();
        return lo | (uint32_t(u16()) << 16);
    }
    std::string_view string()
    {
        size_t start = m_pos;
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != 0) {
            ++m_pos;
        }
        if (m_pos >= m_bytes.size()) {
            m_failed = true;
            return {};
        }
        auto text =
            std::string_view(reinterpret_cast<const char*>(m_bytes.data()) + start, m_pos - start);
        ++m_pos;
        return text;
    }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_failed = false;
};

double readFloat(Operands& in)
{
    uint32_t bits = in.u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double readDouble(Operands& in)
{
    // Stored as two little-endian 32-bit halves, high half first.
    uint64_t high = in.u32();
    uint64_t low = in.u32();
    uint64_t bits = (high << 32) | low;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

const char* const PropertyNames[] = {
    "_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
    "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
    "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
    "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
    "_xmouse",      "_ymouse"};

std::mt19937& randomEngine()
{
    static thread_local std::mt19937 engine(std::random_device{}());
    return engine;
}

// The property number of GetProperty/SetProperty, truncated toward zero;
// 99 when it names none (hexadecimal strings do not count as numbers here).
size_t propertyIndex(Vm& vm, const Value& value)
{
    if (value.isString()) {
        std::string_view text = value.stringView();
        if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            return 99;
        }
    }
    double index = std::trunc(vm.toNumber(value));
    return index >= 0 && index < 22 ? static_cast<size_t>(index) : 99;
}

// A script whose own clip left the stage stops once a call returns (the
// call may have been what removed it).
bool timelineRemoved(Vm& vm, const Context& context)
{
    return context.timeline && context.timeline->kind() == Kind::Clip &&
           vm.binding().isRemoved(context.timeline);
}

// super(...): the constructor recorded on the prototype that sits just
// below the super object's base in the instance's chain. It runs with the
// super object as `this`, so its own super goes one level further up.
Value callSuperConstructor(Vm& vm, SuperObject* super, std::span<const Value> args)
{
    Object* home = super->self ? super->self->proto() : nullptr;
    for (int depth = 0; home && home->proto() != super->base && depth < 256; ++depth) {
        home = home->proto();
    }
    if (!home || home->proto() != super->base) {
        return {};
    }
    Value constructor = vm.get(home, "__constructor__");
    return vm.call(constructor, super, args);
}

} // namespace

bool Vm::countAction()
{
    if (++m_actions <= m_options.maxActionsPerFrame) {
        return true;
    }
    abortScripts("Warning: A script ran too long; the scripts of this frame were stopped.");
    return false;
}

Flow Vm::execute(Context& context, size_t start, size_t end, size_t& jumpTarget)
{
    // Calls, With and Try bodies nest here; hostile code could nest them far
    // beyond the call limit, so the native stack is bounded separately.
    struct NestingGuard {
        int& depth;
        explicit NestingGuard(int& d) : depth(++d) {}
        ~NestingGuard() { --depth; }
    } nesting(m_nesting);
    if (m_nesting > MaxNesting) {
        abortScripts("Warning: Scripts nested too deeply; the scripts of this frame were stopped.");
        return Flow::Abort;
    }
    const std::vector<uint8_t>& bytes = *context.code;
    end = std::min(end, bytes.size());
    auto& stack = m_stack;
    auto pop = [&stack]() -> Value {
        if (stack.empty()) {
            return {};
        }
        Value v = std::move(stack.back());
        stack.pop_back();
        return v;
    };
    auto popArgs = [&](std::vector<Value>& args) {
        double count = toNumber(pop());
        size_t n = count > 0 && count < 65536 ? static_cast<size_t>(count) : 0;
        n = std::min(n, stack.size());
        args.resize(n);
        for (size_t i = 0; i < n; ++i) {
            args[i] = pop();
        }
    };
    // Whether the count on top of the stack (of InitArray / InitObject) is
    // one the player accepts; an empty stack counts as zero.
    auto validCount = [&]() {
        if (stack.empty()) {
            stack.emplace_back(0.0);
            return true;
        }
        double n = stack.back().isNumber() ? stack.back().number() : 0;
        return !(n < -2147483648.0 || n > 2147483647.0);
    };
    // Binary numeric operators convert the left operand first (valueOf
    // calls are observable), though the right one is on top of the stack.
    auto popNumbers = [&]() -> std::pair<double, double> {
        Value b = pop();
        double a = toNumber(pop());
        return {a, toNumber(b)};
    };
    // Where a jump lands: inside this range, or handed to an enclosing range.
    auto jumpTo = [&](size_t target, size_t& pc) -> bool {
        if (target >= start && target <= end) {
            pc = target;
            return true;
        }
        jumpTarget = target;
        return false;
    };

    size_t pc = start;
    while (pc < end) {
        if (m_pending != Pending::None) {
            return m_pending == Pending::Throw ? Flow::Throw : Flow::Abort;
        }
        if (!countAction()) {
            return Flow::Abort;
        }
        if (m_nativeDepth == 0 && m_heap.allocatedSinceCollect() >= 20000) {
            m_heap.collect(roots());
        }
        uint8_t code = bytes[pc];
        size_t next = pc + 1;
        std::span<const uint8_t> operandBytes;
        if (code >= 0x80) {
            if (pc + 3 > end) {
                return Flow::Normal;
            }
            size_t length = bytes[pc + 1] | (bytes[pc + 2] << 8);
            if (pc + 3 + length > end) {
                return Flow::Normal;
            }
            operandBytes = std::span<const uint8_t>(bytes.data() + pc + 3, length);
            next = pc + 3 + length;
        }
        Operands in(operandBytes);
        size_t thisPc = pc;
        pc = next;
        (void)thisPc;

        switch (static_cast<ActionCode>(code)) {
        case ActionCode::End: return Flow::Normal;

        // --- timeline ------------------------------------------------------
        case ActionCode::NextFrame: binding().stepFrame(context.target, 1); break;
        case ActionCode::PrevFrame: binding().stepFrame(context.target, -1); break;
        case ActionCode::Play: binding().setPlaying(context.target, true); break;
        case ActionCode::Stop: binding().setPlaying(context.target, false); break;
        case ActionCode::ToggleQuality: binding().toggleQuality(); break;
        case ActionCode::StopSounds: binding().stopSounds(); break;
        case ActionCode::GotoFrame:
            binding().gotoFrame(context.target, Value(double(in.u16()) + 1), false, 0);
            break;
        case ActionCode::GotoLabel:
            binding().gotoFrame(context.target, Value(Str(in.string())), false, 0);
            break;
        case ActionCode::GotoFrame2: {
            uint8_t flags = in.u8();
            int bias = (flags & 0x02) ? in.u16() : 0;
            Value frame = pop();
            Object* clip = context.target;
            if (frame.isString()) {
                std::string_view text = frame.stringView();
                size_t colon = text.rfind(':');
                if (colon != std::string_view::npos) {
                    clip = resolvePath(context, text.substr(0, colon), context.target);
                    frame = Value(Str(text.substr(colon + 1)));
                }
            }
            if (clip) {
                binding().gotoFrame(clip, frame, flags & 0x01, bias);
            }
            break;
        }
        case ActionCode::Call: {
            Value frame = pop();
            binding().callFrame(liveTarget(context), frame);
            if (timelineRemoved(*this, context)) {
                return Flow::Return;
            }
            break;
        }
        case ActionCode::WaitForFrame: break; // every frame is loaded
        case ActionCode::WaitForFrame2: pop(); break;
        case ActionCode::SetTarget:
        case ActionCode::SetTarget2: {
            Value target = code == 0x8B ? Value(Str(in.string())) : pop();
            Object* clip = nullptr;
            if (target.isObject()) {
                clip = target.object();
            } else {
                std::string path = toString(target);
                clip =
                    path.empty() ? context.timeline : resolvePath(context, path, context.timeline);
            }
            context.target = clip ? clip : context.timeline;
            if (!context.callee && context.scopes.size() > 1) {
                context.scopes[1] = context.target;
            }
            break;
        }
        case ActionCode::GetProperty: {
            size_t i = propertyIndex(*this, pop());
            Value target = pop();
            Object* clip = target.isObject()
                               ? target.object()
                               : resolvePath(context, toString(target), context.target);
            stack.push_back(clip && i < 22 ? get(clip, intern(PropertyNames[i])) : Value());
            break;
        }
        case ActionCode::SetProperty: {
            Value value = pop();
            size_t i = propertyIndex(*this, pop());
            Value target = pop();
            Object* clip = target.isObject()
                               ? target.object()
                               : resolvePath(context, toString(target), context.target);
            if (clip && i < 22) {
                set(clip, intern(PropertyNames[i]), std::move(value));
            }
            break;
        }
        case ActionCode::CloneSprite: {
            double depth = toNumber(pop());
            Str name = toStr(pop());
            Value source = pop();
            Object* clip = source.isObject()
                               ? source.object()
                               : resolvePath(context, toString(source), context.target);
            if (clip) {
                binding().cloneClip(clip, name, depth);
            }
            break;
        }
        case ActionCode::RemoveSprite: {
            Value source = pop();
            Object* clip = source.isObject()
                               ? source.object()
                               : resolvePath(context, toString(source), context.target);
            if (clip) {
                binding().removeClip(clip);
            }
            break;
        }
        case ActionCode::StartDrag: {
            Value target = pop();
            bool lockCenter = toBoolean(pop());
            bool constrain = toBoolean(pop());
            double bounds[4] = {};
            if (constrain) {
                for (int i = 3; i >= 0; --i) {
                    bounds[i] = toNumber(pop());
                }
            }
            Object* clip = target.isObject()
                               ? target.object()
                               : resolvePath(context, toString(target), context.target);
            if (clip) {
                binding().startDrag(clip, lockCenter, constrain ? bounds : nullptr);
            }
            break;
        }
        case ActionCode::EndDrag: binding().stopDrag(); break;
        case ActionCode::TargetPath: {
            Value value = pop();
            std::string path = value.isObject() ? binding().targetPath(value.object()) : "";
            stack.push_back(path.empty() ? Value() : Value(Str(path)));
            break;
        }
        case ActionCode::GetURL: {
            std::string url(in.string());
            std::string target(in.string());
            if (url.size() >= 10 && foldCase(url.substr(0, 10)) == "fscommand:") {
                if (m_options.fscommand) {
                    m_options.fscommand(url.substr(10), target);
                }
            } else {
                binding().getUrl(url, target, 0);
            }
            break;
        }
        case ActionCode::GetURL2: {
            uint8_t flags = in.u8();
            std::string target = toString(pop());
            std::string url = toString(pop());
            if (url.size() >= 10 && foldCase(url.substr(0, 10)) == "fscommand:") {
                if (m_options.fscommand) {
                    m_options.fscommand(url.substr(10), target);
                }
            } else {
                binding().getUrl(url, target, flags);
            }
            break;
        }

        // --- stack and registers -------------------------------------------
        case ActionCode::Push:
            while (!in.atEnd() && !in.failed()) {
                auto type = static_cast<swf::PushType>(in.u8());
                switch (type) {
                case swf::PushType::String:
                    stack.push_back(Value(fileString(*this, in.string(), context.version)));
                    break;
                case swf::PushType::Float: stack.push_back(Value(readFloat(in))); break;
                case swf::PushType::Null: stack.push_back(Value::null()); break;
                case swf::PushType::Undefined: stack.push_back(Value()); break;
                case swf::PushType::Register: {
                    uint8_t reg = in.u8();
                    stack.push_back(reg < context.registerCount ? context.registers[reg] : Value());
                    break;
                }
                case swf::PushType::Boolean: stack.push_back(Value(in.u8() != 0)); break;
                case swf::PushType::Double: stack.push_back(Value(readDouble(in))); break;
                case swf::PushType::Integer:
                    stack.push_back(Value(double(static_cast<int32_t>(in.u32()))));
                    break;
                case swf::PushType::Constant8:
                case swf::PushType::Constant16: {
                    size_t index = type == swf::PushType::Constant8 ? in.u8() : in.u16();
                    stack.push_back(index < m_constants->size() ? Value((*m_constants)[index])
                                                                : Value());
                    break;
                }
                default: in.u8(); break;
                }
            }
            break;
        case ActionCode::Pop: pop(); break;
        case ActionCode::PushDuplicate: {
            Value top = stack.empty() ? Value() : stack.back();
            stack.push_back(std::move(top));
            break;
        }
        case ActionCode::StackSwap: {
            Value b = pop();
            Value a = pop();
            stack.push_back(std::move(b));
            stack.push_back(std::move(a));
            break;
        }
        case ActionCode::StoreRegister: {
            uint8_t reg = in.u8();
            if (reg < context.registerCount) {
                context.registers[reg] = stack.empty() ? Value() : stack.back();
            }
            break;
        }
        case ActionCode::ConstantPool: {
            uint16_t count = in.u16();
            auto pool = std::make_shared<std::vector<Str>>();
            for (uint16_t i = 0; i < count && !in.failed(); ++i) {
                std::string_view text = in.string();
                if (!in.failed()) {
                    pool->push_back(fileString(*this, text, context.version));
                }
            }
            m_constants = std::move(pool);
            break;
        }

        // --- arithmetic ----------------------------------------------------
        case ActionCode::Add: {
            auto [a, b] = popNumbers();
            stack.push_back(Value(a + b));
            break;
        }
        case ActionCode::Subtract: {
            auto [a, b] = popNumbers();
            stack.push_back(Value(a - b));
            break;
        }
        case ActionCode::Multiply: {
            auto [a, b] = popNumbers();
            stack.push_back(Value(a * b));
            break;
        }
        case ActionCode::Divide: {
            auto [a, b] = popNumbers();
            if (b == 0 && context.version <= 4) {
                stack.push_back(Value(Str("#ERROR#")));
            } else {
                stack.push_back(Value(a / b));
            }
            break;
        }
        case ActionCode::Modulo: {
            auto [a, b] = popNumbers();
            stack.push_back(Value(std::fmod(a, b)));
            break;
        }
        case ActionCode::Increment: stack.push_back(Value(toNumber(pop()) + 1)); break;
        case ActionCode::Decrement: stack.push_back(Value(toNumber(pop()) - 1)); break;
        case ActionCode::Add2: {
            Value right = pop();
            Value left = pop();
            Value a = toPrimitive(left);
            Value b = toPrimitive(right);
            if (a.isNumber() && b.isNumber()) {
                stack.push_back(Value(a.number() + b.number()));
            } else if (a.isString() || b.isString()) {
                // An operand whose valueOf gave an object is converted
                // again, with toString.
                std::string text = toString(a.isObject() ? left : a);
                text += toStr(b.isObject() ? right : b).view();
                stack.push_back(Value(Str(std::move(text))));
            } else {
                // An object valueOf left as it is counts as NaN.
                double x = a.isObject() ? NAN : toNumber(a);
                double y = b.isObject() ? NAN : toNumber(b);
                stack.push_back(Value(x + y));
            }
            break;
        }
        case ActionCode::Equals: {
            // Unlike the arithmetic operators, the right operand converts first.
            double b = toNumber(pop());
            double a = toNumber(pop());
            stack.push_back(boolResult(a == b));
            break;
        }
        case ActionCode::Less: {
            auto [a, b] = popNumbers();
            stack.push_back(boolResult(a < b));
            break;
        }
        case ActionCode::Less2:
        case ActionCode::Greater: {
            // A clip compares as NaN. Other objects give their valueOf
            // result (none: undefined). One whose valueOf gives an object
            // makes the comparison false at once; the deeper operand
            // converts first, so the other is then never converted.
            bool opaque = false;
            auto operand = [&](Value v) {
                Object* o = v.object();
                if (!o) {
                    return v;
                }
                if (o->kind() == Kind::Clip) {
                    return Value(NAN);
                }
                Value primitive = callMethod(o, m_common.valueOf, {});
                opaque = primitive.isObject();
                return primitive;
            };
            Value b = pop();
            Value a = operand(pop());
            if (!opaque) {
                b = operand(b);
            }
            if (opaque) {
                stack.push_back(boolResult(false));
                break;
            }
            if (code == 0x67) {
                std::swap(a, b);
            }
            if (a.isString() && b.isString()) {
                stack.push_back(boolResult(a.stringView() < b.stringView()));
                break;
            }
            double x = toNumber(a);
            double y = toNumber(b);
            if (std::isnan(x) || std::isnan(y)) {
                stack.push_back(context.version <= 4 ? Value(0.0) : Value());
            } else {
                stack.push_back(boolResult(x < y));
            }
            break;
        }
        case ActionCode::Equals2: {
            Value b = pop();
            Value a = pop();
            stack.push_back(boolResult(abstractEquals(a, b)));
            break;
        }
        case ActionCode::StrictEquals: {
            Value b = pop();
            Value a = pop();
            stack.push_back(boolResult(strictEquals(a, b)));
            break;
        }
        case ActionCode::And:
        case ActionCode::Or: {
            bool b = toBoolean(pop());
            bool a = toBoolean(pop());
            stack.push_back(boolResult(code == 0x10 ? (a && b) : (a || b)));
            break;
        }
        case ActionCode::Not: stack.push_back(boolResult(!toBoolean(pop()))); break;
        case ActionCode::BitAnd:
        case ActionCode::BitOr:
        case ActionCode::BitXor:
        case ActionCode::BitLShift:
        case ActionCode::BitRShift:
        case ActionCode::BitURShift: {
            auto [x, y] = popNumbers();
            int32_t a = toInt32(x);
            int32_t b = toInt32(y);
            double result = 0;
            switch (code) {
            case 0x60: result = a & b; break;
            case 0x61: result = a | b; break;
            case 0x62: result = a ^ b; break;
            case 0x63: result = static_cast<int32_t>(uint32_t(a) << (b & 31)); break;
            case 0x64: result = a >> (b & 31); break;
            default: result = uint32_t(a) >> (b & 31); break;
            }
            stack.push_back(Value(result));
            break;
        }
        case ActionCode::ToInteger: {
            double n = toNumber(pop());
            stack.push_back(Value(double(toInt32(n))));
            break;
        }
        case ActionCode::ToNumber: stack.push_back(Value(toNumber(pop()))); break;
        case ActionCode::ToString: stack.push_back(Value(toStr(pop()))); break;
        case ActionCode::TypeOf: stack.push_back(Value(typeOf(pop()))); break;

        // --- strings -------------------------------------------------------
        case ActionCode::StringEquals:
        case ActionCode::StringLess:
        case ActionCode::StringGreater: {
            Str b = toStr(pop());
            Str a = toStr(pop());
            bool result = code == 0x13   ? a.view() == b.view()
                          : code == 0x29 ? a.view() < b.view()
                                         : a.view() > b.view();
            stack.push_back(boolResult(result));
            break;
        }
        case ActionCode::StringAdd: {
            Str b = toStr(pop());
            std::string text = toString(pop());
            text += b.view();
            stack.push_back(Value(Str(std::move(text))));
            break;
        }
        case ActionCode::StringLength:
        case ActionCode::MBStringLength: {
            Str s = toStr(pop());
            stack.push_back(Value(
                double(code == 0x14 && context.version < 6 ? s.size() : utf8Length(s.view()))));
            break;
        }
        case ActionCode::StringExtract:
        case ActionCode::MBStringExtract: {
            double count = toNumber(pop());
            double index = toNumber(pop());
            Str s = toStr(pop());
            std::string_view text = s.view();
            size_t length = utf8Length(text);
            double first = std::isnan(index) ? 0 : std::max(0.0, std::trunc(index) - 1);
            double n = std::isnan(count) || count < 0 ? double(length) : std::trunc(count);
            size_t from = first >= double(length) ? length : static_cast<size_t>(first);
            size_t take = static_cast<size_t>(std::min(n, double(length - from)));
            size_t a = utf8Offset(text, from);
            size_t b = a + utf8Offset(text.substr(a), take);
            stack.push_back(Value(Str(text.substr(a, b - a))));
            break;
        }
        case ActionCode::CharToAscii:
        case ActionCode::MBCharToAscii: {
            Str s = toStr(pop());
            size_t offset = 0;
            stack.push_back(s.empty() ? Value(0.0) : Value(double(utf8Decode(s.view(), offset))));
            break;
        }
        case ActionCode::AsciiToChar:
        case ActionCode::MBAsciiToChar: {
            uint32_t c = toUint32(toNumber(pop())) & 0xFFFF;
            stack.push_back(c ? Value(Str(utf8Encode(c))) : Value(Str()));
            break;
        }

        // --- variables and members -----------------------------------------
        case ActionCode::GetVariable: {
            Str name = keyOf(pop());
            stack.push_back(getVariable(context, name));
            break;
        }
        case ActionCode::SetVariable: {
            Value value = pop();
            Str name = keyOf(pop());
            setVariable(context, name, std::move(value));
            break;
        }
        case ActionCode::DefineLocal: {
            Value value = pop();
            Str name = keyOf(pop());
            defineLocal(context, name, std::move(value));
            break;
        }
        case ActionCode::DefineLocal2: {
            Str name = keyOf(pop());
            if (context.activation) {
                if (!context.activation->properties().find(name, m_fold)) {
                    context.activation->properties().add(name, Value(), m_fold);
                }
            } else if (!has(context.target, name)) {
                set(context.target, name, Value());
            }
            break;
        }
        case ActionCode::GetMember: {
            Value key = pop();
            Value object = pop();
            stack.push_back(getMember(object, key));
            break;
        }
        case ActionCode::SetMember: {
            Value value = pop();
            Value key = pop();
            Value object = pop();
            setMember(object, key, std::move(value));
            break;
        }
        case ActionCode::Delete: {
            Str name = keyOf(pop());
            Value object = pop();
            stack.push_back(Value(remove(object.object(), name)));
            break;
        }
        case ActionCode::Delete2: {
            Str name = keyOf(pop());
            stack.push_back(Value(deleteVariable(context, name)));
            break;
        }
        case ActionCode::Trace: {
            Value value = pop();
            std::string text = value.isUndefined() ? std::string("undefined") : toString(value);
            // The log is line-based: a carriage return ends a line too.
            for (char& c : text) {
                if (c == '\r') {
                    c = '\n';
                }
            }
            trace(text);
            break;
        }
        case ActionCode::GetTime: stack.push_back(Value(std::floor(now()))); break;
        case ActionCode::RandomNumber: {
            double max = toNumber(pop());
            int32_t limit = toInt32(max);
            double result = limit > 0 ? double(randomEngine()() % uint32_t(limit)) : 0;
            stack.push_back(Value(result));
            break;
        }

        // --- objects and functions -----------------------------------------
        case ActionCode::InitArray: {
            // A count outside the 32-bit range makes nothing, popping nothing.
            if (!validCount()) {
                stack.back() = Value();
                break;
            }
            std::vector<Value> elements;
            popArgs(elements);
            stack.push_back(Value(newArray(std::move(elements))));
            break;
        }
        case ActionCode::InitObject: {
            if (!validCount()) {
                stack.back() = Value();
                break;
            }
            double count = toNumber(pop());
            size_t n = count > 0 && count < 65536 ? static_cast<size_t>(count) : 0;
            Object* object = newObject();
            for (size_t i = 0; i < n && !stack.empty(); ++i) {
                Value value = pop();
                Str name = keyOf(pop());
                set(object, name, std::move(value));
            }
            stack.push_back(Value(object));
            break;
        }
        case ActionCode::Enumerate:
        case ActionCode::Enumerate2: {
            Value target = pop();
            if (code == 0x46) {
                target = getVariable(context, keyOf(target));
            }
            stack.push_back(Value::null());
            if (Object* object = target.object()) {
                std::vector<Str> names = enumerate(object);
                for (auto it = names.rbegin(); it != names.rend(); ++it) {
                    stack.push_back(Value(*it));
                }
            }
            break;
        }
        case ActionCode::CallFunction: {
            Str name = keyOf(pop());
            std::vector<Value> args;
            popArgs(args);
            Value function = getVariable(context, name);
            Object* callee = function.object();
            auto* super = callee && callee->kind() == Kind::Plain
                              ? dynamic_cast<SuperObject*>(callee)
                              : nullptr;
            stack.push_back(super ? callSuperConstructor(*this, super, args)
                                  : call(function, context.target, args));
            if (timelineRemoved(*this, context)) {
                return Flow::Return;
            }
            break;
        }
        case ActionCode::CallMethod: {
            Value name = pop();
            Value object = pop();
            std::vector<Value> args;
            popArgs(args);
            Object* self = object.isObject() ? object.object() : toObject(object);
            if (name.isUndefined() || (name.isString() && name.stringView().empty())) {
                auto* super = self && self->kind() == Kind::Plain ? dynamic_cast<SuperObject*>(self)
                                                                  : nullptr;
                stack.push_back(super ? callSuperConstructor(*this, super, args)
                                      : call(object, nullptr, args));
            } else {
                Value method = getMember(object, name);
                stack.push_back(call(method, self, args));
            }
            if (object.isObject() && timelineRemoved(*this, context)) {
                return Flow::Return;
            }
            break;
        }
        case ActionCode::NewObject: {
            Str name = keyOf(pop());
            std::vector<Value> args;
            popArgs(args);
            stack.push_back(construct(getVariable(context, name), args));
            if (timelineRemoved(*this, context)) {
                return Flow::Return;
            }
            break;
        }
        case ActionCode::NewMethod: {
            Value name = pop();
            Value object = pop();
            std::vector<Value> args;
            popArgs(args);
            bool noName = name.isUndefined() || (name.isString() && name.stringView().empty());
            stack.push_back(construct(noName ? object : getMember(object, name), args));
            if (object.isObject() && timelineRemoved(*this, context)) {
                return Flow::Return;
            }
            break;
        }
        case ActionCode::Return: context.returnValue = pop(); return Flow::Return;
        case ActionCode::DefineFunction:
        case ActionCode::DefineFunction2: {
            auto function = std::make_shared<FunctionCode>();
            function->bytes = context.code;
            function->name = intern(in.string());
            uint16_t paramCount = in.u16();
            function->isFunction2 = code == 0x8E;
            if (function->isFunction2) {
                function->registerCount = in.u8();
                function->flags = in.u16();
            }
            for (uint16_t i = 0; i < paramCount && !in.failed(); ++i) {
                FunctionCode::Param param;
                if (function->isFunction2) {
                    param.reg = in.u8();
                }
                param.name = intern(in.string());
                function->params.push_back(std::move(param));
            }
            size_t size = in.u16();
            function->start = pc;
            function->end = std::min(pc + size, end);
            function->version = std::max(context.version, 5);
            function->constants = m_constants;
            pc = function->end;
            FunctionObject* object = makeFunction(std::move(function), context);
            Str name = object->code->name;
            if (name.empty()) {
                stack.push_back(Value(object));
            } else {
                defineLocal(context, name, Value(object));
            }
            break;
        }
        case ActionCode::InstanceOf: {
            Value constructor = pop();
            Value object = pop();
            stack.push_back(Value(instanceOf(object.object(), constructor.object())));
            break;
        }
        case ActionCode::CastOp: {
            Value object = pop();
            Value constructor = pop();
            bool is = instanceOf(object.object(), constructor.object());
            stack.push_back(is ? object : Value::null());
            break;
        }
        case ActionCode::ImplementsOp: {
            Value constructor = pop();
            std::vector<Value> interfaces;
            popArgs(interfaces);
            Object* prototype = get(constructor.object(), m_common.prototype).object();
            if (prototype) {
                for (const auto& iface : interfaces) {
                    if (Object* o = iface.object()) {
                        prototype->interfaces().push_back(o);
                    }
                }
            }
            break;
        }
        case ActionCode::Extends: {
            Value superclass = pop();
            Value subclass = pop();
            Object* sub = subclass.object();
            Object* base = get(superclass.object(), m_common.prototype).object();
            if (sub && superclass.object()) {
                Object* prototype = newObject(base ? base : m_objectProto);
                defineValue(prototype, "__constructor__", superclass, DontEnum);
                defineValue(prototype, "constructor", superclass, DontEnum);
                set(sub, m_common.prototype, Value(prototype));
            }
            break;
        }
        case ActionCode::Throw: throwValue(pop()); return Flow::Throw;

        // --- control flow --------------------------------------------------
        case ActionCode::Jump:
        case ActionCode::If: {
            auto offset = static_cast<int16_t>(in.u16());
            if (code == 0x9D && !toBoolean(pop())) {
                break;
            }
            auto target = static_cast<int64_t>(pc) + offset;
            if (target < 0 || target > static_cast<int64_t>(bytes.size())) {
                return Flow::Normal;
            }
            if (!jumpTo(static_cast<size_t>(target), pc)) {
                return Flow::Jump;
            }
            break;
        }
        case ActionCode::With: {
            size_t size = in.u16();
            Value object = pop();
            size_t bodyEnd = std::min(pc + size, end);
            Object* scope = object.isObject() ? object.object() : toObject(object);
            if (!scope) {
                break;
            }
            size_t depth = context.scopes.size();
            context.scopes.push_back(scope);
            size_t target = 0;
            Flow flow = execute(context, pc, bodyEnd, target);
            context.scopes.resize(depth);
            if (flow == Flow::Normal) {
                pc = bodyEnd;
            } else if (flow == Flow::Jump) {
                if (!jumpTo(target, pc)) {
                    return Flow::Jump;
                }
            } else {
                return flow;
            }
            break;
        }
        case ActionCode::Try: {
            Flow flow = runTry(context, pc, start, end, pc, operandBytes, jumpTarget);
            if (flow != Flow::Normal) {
                return flow;
            }
            break;
        }
        default: break; // unknown and mobile-only actions are skipped
        }
    }
    return m_pending == Pending::None    ? Flow::Normal
           : m_pending == Pending::Throw ? Flow::Throw
                                         : Flow::Abort;
}

Flow Vm::runTry(Context& context, size_t next, size_t start, size_t end, size_t& pc,
                std::span<const uint8_t> operandBytes, size_t& jumpTarget)
{
    Operands in(operandBytes);
    uint8_t flags = in.u8();
    size_t trySize = in.u16();
    size_t catchSize = in.u16();
    size_t finallySize = in.u16();
    bool catchInRegister = flags & 0x04;
    uint8_t catchRegister = 0;
    Str catchName;
    if (catchInRegister) {
        catchRegister = in.u8();
    } else {
        catchName = intern(in.string());
    }
    size_t tryEnd = std::min(next + trySize, end);
    size_t catchEnd = std::min(tryEnd + catchSize, end);
    size_t finallyEnd = std::min(catchEnd + finallySize, end);

    size_t target = 0;
    Flow flow = execute(context, next, tryEnd, target);
    if (flow == Flow::Throw && (flags & 0x01)) {
        Value thrown = takeThrown();
        if (catchInRegister) {
            if (catchRegister < context.registerCount) {
                context.registers[catchRegister] = std::move(thrown);
            }
        } else {
            defineLocal(context, catchName, std::move(thrown));
        }
        flow = execute(context, tryEnd, catchEnd, target);
    }
    if ((flags & 0x02) && flow != Flow::Abort) {
        // The finally block runs with any pending exception set aside.
        bool throwing = m_pending == Pending::Throw;
        Value thrown = throwing ? takeThrown() : Value();
        Value returnValue = context.returnValue;
        size_t finallyTarget = 0;
        Flow finallyFlow = execute(context, catchEnd, finallyEnd, finallyTarget);
        if (finallyFlow == Flow::Normal) {
            if (throwing) {
                throwValue(std::move(thrown));
            }
            context.returnValue = std::move(returnValue);
        } else {
            flow = finallyFlow;
            target = finallyTarget;
        }
    }
    switch (flow) {
    case Flow::Normal: pc = finallyEnd; return Flow::Normal;
    case Flow::Jump:
        if (target >= start && target <= end) {
            pc = target;
            return Flow::Normal;
        }
        jumpTarget = target;
        return Flow::Jump;
    default: return flow;
    }
}

} // namespace zf::avm1
