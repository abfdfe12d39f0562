// The interpreter loop: decodes one action at a time from the block's bytes
// (every read bounds-checked against the running range) and dispatches on
// the opcode table of swf/actions.h to the handlers of the execute_*.cpp
// files. The stack, register and constant pool actions live here.
#include "execute_p.h"

#include "swf/actions.h"
#include "swf/swf.h"

#include <cstring>

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
    return Dispatch(*this, context, start, end, jumpTarget).run();
}

Dispatch::Dispatch(Vm& vm, Context& context, size_t start, size_t end, size_t& jumpTarget)
    : m_vm(vm), m_context(context), m_stack(vm.m_stack), m_bytes(*context.code), m_start(start),
      m_end(std::min(end, m_bytes.size())), m_pc(start), m_jumpTarget(jumpTarget)
{
}

Flow Dispatch::run()
{
    Vm& vm = m_vm;
    while (m_pc < m_end) {
        if (vm.m_pending != Pending::None) {
            return vm.m_pending == Pending::Throw ? Flow::Throw : Flow::Abort;
        }
        if (!vm.countAction()) {
            return Flow::Abort;
        }
        if (vm.m_nativeDepth == 0 && vm.m_heap.allocatedSinceCollect() >= 20000) {
            vm.m_heap.collect(vm.roots());
        }
        m_code = m_bytes[m_pc];
        size_t next = m_pc + 1;
        m_operandBytes = {};
        if (m_code >= 0x80) {
            if (m_pc + 3 > m_end) {
                return Flow::Normal;
            }
            size_t length = m_bytes[m_pc + 1] | (m_bytes[m_pc + 2] << 8);
            if (m_pc + 3 + length > m_end) {
                return Flow::Normal;
            }
            m_operandBytes = std::span<const uint8_t>(m_bytes.data() + m_pc + 3, length);
            next = m_pc + 3 + length;
        }
        m_in = Operands(m_operandBytes);
        m_pc = next;

        bool go = true;
        switch (static_cast<ActionCode>(m_code)) {
        case ActionCode::End: return Flow::Normal;

        // --- stack and registers -------------------------------------------
        case ActionCode::Push: go = opPush(); break;
        case ActionCode::Pop: go = opPop(); break;
        case ActionCode::PushDuplicate: go = opPushDuplicate(); break;
        case ActionCode::StackSwap: go = opStackSwap(); break;
        case ActionCode::StoreRegister: go = opStoreRegister(); break;
        case ActionCode::ConstantPool: go = opConstantPool(); break;

        // --- arithmetic, comparison, conversion ----------------------------
        case ActionCode::Add: go = opAdd(); break;
        case ActionCode::Subtract: go = opSubtract(); break;
        case ActionCode::Multiply: go = opMultiply(); break;
        case ActionCode::Divide: go = opDivide(); break;
        case ActionCode::Modulo: go = opModulo(); break;
        case ActionCode::Increment: go = opIncrement(); break;
        case ActionCode::Decrement: go = opDecrement(); break;
        case ActionCode::Add2: go = opAdd2(); break;
        case ActionCode::Equals: go = opEquals(); break;
        case ActionCode::Less: go = opLess(); break;
        case ActionCode::Less2:
        case ActionCode::Greater: go = opLess2(); break;
        case ActionCode::Equals2: go = opEquals2(); break;
        case ActionCode::StrictEquals: go = opStrictEquals(); break;
        case ActionCode::And:
        case ActionCode::Or: go = opLogic(); break;
        case ActionCode::Not: go = opNot(); break;
        case ActionCode::BitAnd:
        case ActionCode::BitOr:
        case ActionCode::BitXor:
        case ActionCode::BitLShift:
        case ActionCode::BitRShift:
        case ActionCode::BitURShift: go = opBitwise(); break;
        case ActionCode::ToInteger: go = opToInteger(); break;
        case ActionCode::ToNumber: go = opToNumber(); break;
        case ActionCode::ToString: go = opToString(); break;
        case ActionCode::TypeOf: go = opTypeOf(); break;

        // --- strings and utilities -----------------------------------------
        case ActionCode::StringEquals:
        case ActionCode::StringLess:
        case ActionCode::StringGreater: go = opStringCompare(); break;
        case ActionCode::StringAdd: go = opStringAdd(); break;
        case ActionCode::StringLength:
        case ActionCode::MBStringLength: go = opStringLength(); break;
        case ActionCode::StringExtract:
        case ActionCode::MBStringExtract: go = opStringExtract(); break;
        case ActionCode::CharToAscii:
        case ActionCode::MBCharToAscii: go = opCharToAscii(); break;
        case ActionCode::AsciiToChar:
        case ActionCode::MBAsciiToChar: go = opAsciiToChar(); break;
        case ActionCode::Trace: go = opTrace(); break;
        case ActionCode::GetTime: go = opGetTime(); break;
        case ActionCode::RandomNumber: go = opRandomNumber(); break;

        // --- variables, members and objects --------------------------------
        case ActionCode::GetVariable: go = opGetVariable(); break;
        case ActionCode::SetVariable: go = opSetVariable(); break;
        case ActionCode::DefineLocal: go = opDefineLocal(); break;
        case ActionCode::DefineLocal2: go = opDefineLocal2(); break;
        case ActionCode::GetMember: go = opGetMember(); break;
        case ActionCode::SetMember: go = opSetMember(); break;
        case ActionCode::Delete: go = opDelete(); break;
        case ActionCode::Delete2: go = opDelete2(); break;
        case ActionCode::InitArray: go = opInitArray(); break;
        case ActionCode::InitObject: go = opInitObject(); break;
        case ActionCode::Enumerate:
        case ActionCode::Enumerate2: go = opEnumerate(); break;
        case ActionCode::InstanceOf: go = opInstanceOf(); break;
        case ActionCode::CastOp: go = opCastOp(); break;
        case ActionCode::ImplementsOp: go = opImplementsOp(); break;
        case ActionCode::Extends: go = opExtends(); break;

        // --- calls and control flow ----------------------------------------
        case ActionCode::CallFunction: go = opCallFunction(); break;
        case ActionCode::CallMethod: go = opCallMethod(); break;
        case ActionCode::NewObject: go = opNewObject(); break;
        case ActionCode::NewMethod: go = opNewMethod(); break;
        case ActionCode::Return: go = opReturn(); break;
        case ActionCode::DefineFunction:
        case ActionCode::DefineFunction2: go = opDefineFunction(); break;
        case ActionCode::Throw: go = opThrow(); break;
        case ActionCode::Jump:
        case ActionCode::If: go = opJump(); break;
        case ActionCode::With: go = opWith(); break;
        case ActionCode::Try: go = opTry(); break;

        // --- timeline, targets and clips -----------------------------------
        case ActionCode::NextFrame: go = opNextFrame(); break;
        case ActionCode::PrevFrame: go = opPrevFrame(); break;
        case ActionCode::Play: go = opPlay(); break;
        case ActionCode::Stop: go = opStop(); break;
        case ActionCode::ToggleQuality: go = opToggleQuality(); break;
        case ActionCode::StopSounds: go = opStopSounds(); break;
        case ActionCode::GotoFrame: go = opGotoFrame(); break;
        case ActionCode::GotoLabel: go = opGotoLabel(); break;
        case ActionCode::GotoFrame2: go = opGotoFrame2(); break;
        case ActionCode::Call: go = opCall(); break;
        case ActionCode::WaitForFrame: go = opWaitForFrame(); break;
        case ActionCode::WaitForFrame2: go = opWaitForFrame2(); break;
        case ActionCode::SetTarget:
        case ActionCode::SetTarget2: go = opSetTarget(); break;
        case ActionCode::GetProperty: go = opGetProperty(); break;
        case ActionCode::SetProperty: go = opSetProperty(); break;
        case ActionCode::CloneSprite: go = opCloneSprite(); break;
        case ActionCode::RemoveSprite: go = opRemoveSprite(); break;
        case ActionCode::StartDrag: go = opStartDrag(); break;
        case ActionCode::EndDrag: go = opEndDrag(); break;
        case ActionCode::TargetPath: go = opTargetPath(); break;
        case ActionCode::GetURL: go = opGetURL(); break;
        case ActionCode::GetURL2: go = opGetURL2(); break;
        default: break; // unknown and mobile-only actions are skipped
        }
        if (!go) {
            return m_flow;
        }
    }
    return vm.m_pending == Pending::None    ? Flow::Normal
           : vm.m_pending == Pending::Throw ? Flow::Throw
                                            : Flow::Abort;
}

// --- helpers shared by the handlers -----------------------------------------

void Dispatch::popArgs(std::vector<Value>& args)
{
    double count = m_vm.toNumber(pop());
    size_t n = count > 0 && count < 65536 ? static_cast<size_t>(count) : 0;
    n = std::min(n, m_stack.size());
    args.resize(n);
    for (size_t i = 0; i < n; ++i) {
        args[i] = pop();
    }
}

bool Dispatch::validCount()
{
    if (m_stack.empty()) {
        m_stack.emplace_back(0.0);
        return true;
    }
    double n = m_stack.back().isNumber() ? m_stack.back().number() : 0;
    return !(n < -2147483648.0 || n > 2147483647.0);
}

std::pair<double, double> Dispatch::popNumbers()
{
    Value b = pop();
    double a = m_vm.toNumber(pop());
    return {a, m_vm.toNumber(b)};
}

bool Dispatch::jumpTo(size_t target)
{
    if (target >= m_start && target <= m_end) {
        m_pc = target;
        return true;
    }
    m_jumpTarget = target;
    return false;
}

bool Dispatch::timelineRemoved()
{
    return m_context.timeline && m_context.timeline->kind() == Kind::Clip &&
           m_vm.binding().isRemoved(m_context.timeline);
}

// --- stack, registers and constants -----------------------------------------

bool Dispatch::opPush()
{
    Operands& in = m_in;
    while (!in.atEnd() && !in.failed()) {
        auto type = static_cast<swf::PushType>(in.u8());
        switch (type) {
        case swf::PushType::String:
            push(Value(fileString(m_vm, in.string(), m_context.version)));
            break;
        case swf::PushType::Float: push(Value(readFloat(in))); break;
        case swf::PushType::Null: push(Value::null()); break;
        case swf::PushType::Undefined: push(Value()); break;
        case swf::PushType::Register: {
            uint8_t reg = in.u8();
            push(reg < m_context.registerCount ? m_context.registers[reg] : Value());
            break;
        }
        case swf::PushType::Boolean: push(Value(in.u8() != 0)); break;
        case swf::PushType::Double: push(Value(readDouble(in))); break;
        case swf::PushType::Integer: push(Value(double(static_cast<int32_t>(in.u32())))); break;
        case swf::PushType::Constant8:
        case swf::PushType::Constant16: {
            size_t index = type == swf::PushType::Constant8 ? in.u8() : in.u16();
            const auto& constants = *m_vm.m_constants;
            push(index < constants.size() ? Value(constants[index]) : Value());
            break;
        }
        default: in.u8(); break;
        }
    }
    return true;
}

bool Dispatch::opPop()
{
    pop();
    return true;
}

bool Dispatch::opPushDuplicate()
{
    Value top = m_stack.empty() ? Value() : m_stack.back();
    push(std::move(top));
    return true;
}

bool Dispatch::opStackSwap()
{
    Value b = pop();
    Value a = pop();
    push(std::move(b));
    push(std::move(a));
    return true;
}

bool Dispatch::opStoreRegister()
{
    uint8_t reg = m_in.u8();
    if (reg < m_context.registerCount) {
        m_context.registers[reg] = m_stack.empty() ? Value() : m_stack.back();
    }
    return true;
}

bool Dispatch::opConstantPool()
{
    uint16_t count = m_in.u16();
    auto pool = std::make_shared<std::vector<Str>>();
    for (uint16_t i = 0; i < count && !m_in.failed(); ++i) {
        std::string_view text = m_in.string();
        if (!m_in.failed()) {
            pool->push_back(fileString(m_vm, text, m_context.version));
        }
    }
    m_vm.m_constants = std::move(pool);
    return true;
}

} // namespace zf::avm1
