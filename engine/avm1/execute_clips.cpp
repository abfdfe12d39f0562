// Actions on clips and the timeline: frame control, the action target
// (SetTarget / tellTarget), clip properties by number, duplication and
// removal, dragging, target paths and URL requests.
#include "execute_p.h"
#include "paths_p.h"

#include "swf/actions.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

using swf::ActionCode;

namespace {

const char* const PropertyNames[] = {
    "_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
    "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
    "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
    "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
    "_xmouse",      "_ymouse"};

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

// A frame operand of GotoFrame2 and WaitForFrame2: whole numbers are frame
// numbers, anything else goes by its string (a label, or digits).
Value frameOperand(Vm& vm, Value frame)
{
    if (frame.isNumber() && frame.number() != std::trunc(frame.number())) {
        return Value(vm.toStr(frame));
    }
    return frame;
}

// Frames the player counts as loaded: the whole movie is, and so is every
// frame up to the player's limit of 16000 past its end; a frame number that
// wraps below zero (or a label that names nothing) cannot be waited for and
// counts as loaded too.
bool frameLoaded(Vm& vm, const Value& frame)
{
    double n = frame.isNumber() ? frame.number() : stringToNumber(vm.toString(frame), 7);
    if (n != std::trunc(n) || (frame.isString() && frame.stringView().empty())) {
        return true;
    }
    auto index = int32_t(uint32_t(toInt32(n)) - 1u);
    return index <= 16000;
}

// Where `count` actions after `pc` end (at most `end`).
size_t skipActions(const std::vector<uint8_t>& bytes, size_t pc, size_t end, int count)
{
    for (int i = 0; i < count && pc < end; ++i) {
        if (bytes[pc] < 0x80) {
            ++pc;
        } else if (pc + 3 <= end) {
            pc += 3 + (bytes[pc + 1] | (bytes[pc + 2] << 8));
        } else {
            pc = end;
        }
    }
    return std::min(pc, end);
}

} // namespace

Object* Dispatch::clipOf(const Value& value)
{
    return value.isObject() ? value.object()
                            : m_vm.resolvePath(m_context, m_vm.toString(value), m_context.target);
}

bool Dispatch::opNextFrame()
{
    m_vm.binding().stepFrame(frameTarget(), 1);
    return true;
}

bool Dispatch::opPrevFrame()
{
    m_vm.binding().stepFrame(frameTarget(), -1);
    return true;
}

bool Dispatch::opPlay()
{
    m_vm.binding().setPlaying(frameTarget(), true);
    return true;
}

bool Dispatch::opStop()
{
    m_vm.binding().setPlaying(frameTarget(), false);
    return true;
}

bool Dispatch::opToggleQuality()
{
    m_vm.binding().toggleQuality();
    return true;
}

bool Dispatch::opStopSounds()
{
    m_vm.binding().stopSounds();
    return true;
}

bool Dispatch::opGotoFrame()
{
    m_vm.binding().gotoFrame(frameTarget(), Value(double(m_in.u16()) + 1), false, 0);
    return true;
}

bool Dispatch::opGotoLabel()
{
    m_vm.binding().gotoFrame(frameTarget(), Value(Str(m_in.string())), false, 0);
    return true;
}

// The frame may be a number or a label, either with a "path:" prefix.
bool Dispatch::opGotoFrame2()
{
    uint8_t flags = m_in.u8();
    int bias = (flags & 0x02) ? m_in.u16() : 0;
    Value frame = frameOperand(m_vm, pop());
    Object* clip = frameTarget();
    if (frame.isString()) {
        std::string_view text = frame.stringView();
        size_t colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            clip = m_vm.resolvePath(m_context, text.substr(0, colon), m_context.target);
            frame = Value(Str(text.substr(colon + 1)));
        }
    }
    if (clip) {
        m_vm.binding().gotoFrame(clip, frame, flags & 0x01, bias);
    }
    return true;
}

bool Dispatch::opCall()
{
    Value frame = pop();
    m_vm.binding().callFrame(m_vm.liveTarget(m_context), frame);
    return timelineRemoved() ? stop(Flow::Return) : true;
}

// When the frame is not loaded, the next `skip` actions are passed over.
bool Dispatch::opWaitForFrame()
{
    double frame = double(m_in.u16()) + 1;
    int skip = m_in.u8();
    if (!frameLoaded(m_vm, Value(frame))) {
        m_pc = skipActions(m_bytes, m_pc, m_end, skip);
    }
    return true;
}

bool Dispatch::opWaitForFrame2()
{
    int skip = m_in.u8();
    Value frame = frameOperand(m_vm, pop());
    if (!frameLoaded(m_vm, frame)) {
        m_pc = skipActions(m_bytes, m_pc, m_end, skip);
    }
    return true;
}

// SetTarget (a path operand) and SetTarget2 (a path or clip on the stack).
// An empty path goes back to the code's own timeline; a path that names no
// clip leaves no target at all (see frameTarget).
bool Dispatch::opSetTarget()
{
    Value operand = m_code == uint8_t(ActionCode::SetTarget) ? Value(Str(m_in.string())) : pop();
    m_context.target = targetClip(m_vm, m_context, operand);
    if (!m_context.callee && m_context.scopes.size() > 1) {
        m_context.scopes[1] = m_vm.liveTarget(m_context);
    }
    return true;
}

bool Dispatch::opGetProperty()
{
    size_t i = propertyIndex(m_vm, pop());
    Object* clip = clipOf(pop());
    push(clip && i < 22 ? m_vm.get(clip, m_vm.intern(PropertyNames[i])) : Value());
    return true;
}

bool Dispatch::opSetProperty()
{
    Value value = pop();
    size_t i = propertyIndex(m_vm, pop());
    Object* clip = clipOf(pop());
    if (clip && i < 22) {
        m_vm.set(clip, m_vm.intern(PropertyNames[i]), std::move(value));
    }
    return true;
}

bool Dispatch::opCloneSprite()
{
    double depth = m_vm.toNumber(pop());
    Str name = m_vm.toStr(pop());
    Object* clip = clipOf(pop());
    if (clip) {
        m_vm.binding().cloneClip(clip, name, depth);
    }
    return true;
}

bool Dispatch::opRemoveSprite()
{
    Object* clip = clipOf(pop());
    if (clip) {
        m_vm.binding().removeClip(clip);
    }
    return true;
}

bool Dispatch::opStartDrag()
{
    Value target = pop();
    bool lockCenter = m_vm.toBoolean(pop());
    bool constrain = m_vm.toBoolean(pop());
    double bounds[4] = {};
    if (constrain) {
        for (int i = 3; i >= 0; --i) {
            bounds[i] = m_vm.toNumber(pop());
        }
    }
    Object* clip = clipOf(target);
    if (clip) {
        m_vm.binding().startDrag(clip, lockCenter, constrain ? bounds : nullptr);
    }
    return true;
}

bool Dispatch::opEndDrag()
{
    m_vm.binding().stopDrag();
    return true;
}

bool Dispatch::opTargetPath()
{
    Value value = pop();
    std::string path = value.isObject() ? m_vm.binding().targetPath(value.object()) : "";
    push(path.empty() ? Value() : Value(Str(path)));
    return true;
}

bool Dispatch::fscommand(const std::string& url, const std::string& target)
{
    if (url.size() < 10 || foldCase(url.substr(0, 10)) != "fscommand:") {
        return false;
    }
    if (m_vm.m_options.fscommand) {
        m_vm.m_options.fscommand(url.substr(10), target);
    }
    return true;
}

bool Dispatch::opGetURL()
{
    std::string url(m_in.string());
    std::string target(m_in.string());
    if (!fscommand(url, target)) {
        m_vm.binding().getUrl(url, target, 0);
    }
    return true;
}

bool Dispatch::opGetURL2()
{
    uint8_t flags = m_in.u8();
    std::string target = m_vm.toString(pop());
    std::string url = m_vm.toString(pop());
    if (!fscommand(url, target)) {
        m_vm.binding().getUrl(url, target, flags);
    }
    return true;
}

} // namespace zf::avm1
