// The interpreter loop's private parts: the operand reader and the
// dispatcher, whose handlers (one per action) are spread over the
// execute_*.cpp files by topic.
#pragma once

#include "vm_p.h"

#include <cstring>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace zf::avm1 {

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

// One run of Vm::execute over a range of actions. Each handler acts on the
// current action (m_code, m_in) and returns false when the range must end,
// leaving in m_flow how it ended.
class Dispatch {
public:
    Dispatch(Vm& vm, Context& context, size_t start, size_t end, size_t& jumpTarget);
    Flow run();

private:
    // --- helpers shared by the handlers (execute.cpp) ---------------------
    Value pop()
    {
        if (m_stack.empty()) {
            return {};
        }
        Value v = std::move(m_stack.back());
        m_stack.pop_back();
        return v;
    }
    void push(Value value) { m_stack.push_back(std::move(value)); }
    // Pops a count, then that many values (capped by what the stack holds).
    void popArgs(std::vector<Value>& args);
    // Whether the count on top of the stack (of InitArray / InitObject) is
    // one the player accepts; an empty stack counts as zero.
    bool validCount();
    // Binary numeric operators convert the left operand first (valueOf
    // calls are observable), though the right one is on top of the stack.
    std::pair<double, double> popNumbers();
    // Where a jump lands: inside this range, or handed to an enclosing range.
    bool jumpTo(size_t target);
    bool stop(Flow flow)
    {
        m_flow = flow;
        return false;
    }
    // A script whose own clip left the stage stops once a call returns (the
    // call may have been what removed it).
    bool timelineRemoved();
    // A clip named by a value: the object itself, or a path from the target.
    Object* clipOf(const Value& value);
    // The clip timeline actions go to: the target, or after an invalid
    // tellTarget (no target) the root.
    Object* frameTarget()
    {
        return m_context.target ? m_context.target : m_vm.liveTarget(m_context);
    }

    // --- stack, registers and constants (execute.cpp) ---------------------
    bool opPush();
    bool opPop();
    bool opPushDuplicate();
    bool opStackSwap();
    bool opStoreRegister();
    bool opConstantPool();

    // --- arithmetic, comparison, conversion, strings (execute_stack.cpp) --
    bool opAdd();
    bool opSubtract();
    bool opMultiply();
    bool opDivide();
    bool opModulo();
    bool opIncrement();
    bool opDecrement();
    bool opAdd2();
    bool opEquals();
    bool opLess();
    bool opLess2();
    bool opEquals2();
    bool opStrictEquals();
    bool opLogic();
    bool opNot();
    bool opBitwise();
    bool opToInteger();
    bool opToNumber();
    bool opToString();
    bool opTypeOf();
    bool opStringCompare();
    bool opStringAdd();
    bool opStringLength();
    bool opStringExtract();
    bool opCharToAscii();
    bool opAsciiToChar();
    bool opTrace();
    bool opGetTime();
    bool opRandomNumber();

    // --- variables, members and objects (execute_members.cpp) -------------
    bool opGetVariable();
    bool opSetVariable();
    bool opDefineLocal();
    bool opDefineLocal2();
    bool opGetMember();
    bool opSetMember();
    bool opDelete();
    bool opDelete2();
    bool opInitArray();
    bool opInitObject();
    bool opEnumerate();
    bool opInstanceOf();
    bool opCastOp();
    bool opImplementsOp();
    bool opExtends();

    // --- calls, functions and control flow (execute_control.cpp) ----------
    bool opCallFunction();
    bool opCallMethod();
    bool opNewObject();
    bool opNewMethod();
    bool opReturn();
    bool opDefineFunction();
    bool opThrow();
    bool opJump();
    bool opWith();
    bool opTry();

    // --- timeline, targets and clip properties (execute_clips.cpp) --------
    bool opNextFrame();
    bool opPrevFrame();
    bool opPlay();
    bool opStop();
    bool opToggleQuality();
    bool opStopSounds();
    bool opGotoFrame();
    bool opGotoLabel();
    bool opGotoFrame2();
    bool opCall();
    bool opWaitForFrame();
    bool opWaitForFrame2();
    bool opSetTarget();
    bool opGetProperty();
    bool opSetProperty();
    bool opCloneSprite();
    bool opRemoveSprite();
    bool opStartDrag();
    bool opEndDrag();
    bool opTargetPath();
    bool opGetURL();
    bool opGetURL2();
    // Sends "fscommand:" URLs to the host; false for other URLs.
    bool fscommand(const std::string& url, const std::string& target);

    Vm& m_vm;
    Context& m_context;
    std::vector<Value>& m_stack;
    const std::vector<uint8_t>& m_bytes;
    size_t m_start;
    size_t m_end;
    size_t m_pc;
    size_t& m_jumpTarget;
    uint8_t m_code = 0;
    std::span<const uint8_t> m_operandBytes;
    Operands m_in{{}};
    Flow m_flow = Flow::Normal;
};

} // namespace zf::avm1
