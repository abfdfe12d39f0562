// Sound: the script side of sound control. Volume and the channel mix
// belong to the target clip (or to the whole movie when there is none), so
// two Sound objects on one clip share them. Playback itself is left to the
// mixer; here the state is kept so that scripts read back what they set.
#include "clip_p.h"
#include "media_p.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

namespace {

struct SoundState {
    int volume = 100;
    // Channel mix in percent: left to left, left to right, ...
    int ll = 100, lr = 0, rr = 100, rl = 0;
};

// The sound state of every clip a Sound object has touched, and the
// movie's own. Held as the data of the Sound methods.
class SoundRegistry : public Object {
public:
    explicit SoundRegistry(Object* proto) : Object(proto, Kind::Native) {}

    SoundState& stateOf(display::DisplayObject* clip)
    {
        if (!clip) {
            return m_movie;
        }
        std::erase_if(m_clips, [](const auto& entry) { return entry.first.expired(); });
        for (auto& [object, state] : m_clips) {
            if (object.lock().get() == clip) {
                return state;
            }
        }
        return m_clips.emplace_back(clip->weak_from_this(), SoundState{}).second;
    }

private:
    SoundState m_movie;
    std::vector<std::pair<std::weak_ptr<display::DisplayObject>, SoundState>> m_clips;
};

class SoundObject : public Object {
public:
    SoundObject(Object* proto) : Object(proto, Kind::Native) {}
    bool hasTarget = false;
    // The target's path when the Sound was made. The target is found again
    // through it at each call, so a renamed clip is lost unless a variable
    // of that name still leads to it.
    std::string targetPath;
    std::string linkage; // attachSound's identifier
    bool attached = false;
};

SoundObject* asSound(Object* self)
{
    return self && self->kind() == Kind::Native ? dynamic_cast<SoundObject*>(self) : nullptr;
}

// The state a Sound acts on; null when its target clip cannot be found.
SoundState* stateFor(Vm& vm, Object* self, const Value& data)
{
    auto* registry = static_cast<SoundRegistry*>(data.object());
    SoundObject* sound = asSound(self);
    if (!registry || !sound) {
        return nullptr;
    }
    if (!sound->hasTarget) {
        return &registry->stateOf(nullptr);
    }
    auto* runner = dynamic_cast<StageRunner*>(&vm.binding());
    if (!runner || sound->targetPath.empty()) {
        return nullptr;
    }
    Context scratch;
    Object* found = vm.resolvePath(scratch, sound->targetPath, vm.root());
    display::DisplayObject* clip = found ? runner->displayOf(vm.binding().forward(found)) : nullptr;
    return clip ? &registry->stateOf(clip) : nullptr;
}

Value soundConstruct(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    Object* proto = vm.get(data.object(), vm.names().prototype).object();
    auto* sound = vm.heap().make<SoundObject>(proto ? proto : vm.objectProto());
    const Value& target = arg(args, 0);
    if (!target.isNullish()) {
        sound->hasTarget = true;
        Object* clip = target.object();
        if (!clip && vm.context()) {
            clip = vm.resolvePath(*vm.context(), vm.toString(target), vm.context()->timeline);
        }
        sound->targetPath = clip ? vm.binding().targetPath(clip) : std::string();
    }
    return Value(sound);
}

int percentArg(Vm& vm, const Value& value)
{
    return toInt32(vm.toNumber(value));
}

Value soundGetVolume(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    SoundState* state = stateFor(vm, self, data);
    return state ? Value(double(state->volume)) : Value();
}

Value soundSetVolume(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    if (SoundState* state = stateFor(vm, self, data); state && !args.empty()) {
        state->volume = percentArg(vm, args[0]);
    }
    return {};
}

// Pan is read back from the mix: whichever side is attenuated gives it.
Value soundGetPan(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    SoundState* state = stateFor(vm, self, data);
    if (!state) {
        return {};
    }
    return Value(double(state->ll < state->rr ? 100 - state->ll : state->rr - 100));
}

Value soundSetPan(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    SoundState* state = stateFor(vm, self, data);
    if (!state || args.empty()) {
        return {};
    }
    int pan = percentArg(vm, args[0]);
    state->ll = pan >= 0 ? 100 - pan : 100;
    state->rr = pan <= 0 ? 100 + pan : 100;
    state->lr = state->rl = 0;
    return {};
}

struct MixField {
    const char* name;
    int SoundState::*member;
};
constexpr MixField MixFields[] = {{"ll", &SoundState::ll},
                                  {"lr", &SoundState::lr},
                                  {"rr", &SoundState::rr},
                                  {"rl", &SoundState::rl}};

Value soundGetTransform(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    SoundState* state = stateFor(vm, self, data);
    if (!state) {
        return {};
    }
    Object* result = vm.newObject();
    for (const auto& field : MixFields) {
        vm.set(result, vm.intern(field.name), Value(double(state->*field.member)));
    }
    return Value(result);
}

Value soundSetTransform(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    SoundState* state = stateFor(vm, self, data);
    Object* spec = arg(args, 0).object();
    if (!state || !spec) {
        return {};
    }
    for (const auto& field : MixFields) {
        Str key = vm.intern(field.name);
        if (vm.has(spec, key)) {
            state->*field.member = percentArg(vm, vm.get(spec, key));
        }
    }
    return {};
}

Value soundAttach(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (SoundObject* sound = asSound(self); sound && !args.empty()) {
        sound->linkage = vm.toString(args[0]);
        sound->attached = true;
    }
    return {};
}

// duration, position, getBytesLoaded, getBytesTotal: nothing is loaded or
// playing from the script's point of view until the mixer reports it.
Value soundZeroWhenAttached(Vm&, Object* self, std::span<const Value>, const Value&)
{
    SoundObject* sound = asSound(self);
    return sound && sound->attached ? Value(0.0) : Value();
}

Value noOp(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

void defineGetter(Vm& vm, Object* on, std::string_view name, NativeFn fn)
{
    Str key = vm.intern(name);
    Property& property = on->properties().add(key, {}, vm.fold(), DontEnum | DontDelete);
    property.getter = vm.newNative(fn);
}

} // namespace

void installSound(Vm& vm)
{
    auto* registry = vm.heap().make<SoundRegistry>(nullptr);
    Object* proto = vm.newObject();
    FunctionObject* ctor = vm.defineClass("Sound", noOp, soundConstruct, proto);
    ctor->data = Value(static_cast<Object*>(ctor));
    Value shared(static_cast<Object*>(registry));
    vm.defineMethod(proto, "getVolume", soundGetVolume, shared);
    vm.defineMethod(proto, "setVolume", soundSetVolume, shared);
    vm.defineMethod(proto, "getPan", soundGetPan, shared);
    vm.defineMethod(proto, "setPan", soundSetPan, shared);
    vm.defineMethod(proto, "getTransform", soundGetTransform, shared);
    vm.defineMethod(proto, "setTransform", soundSetTransform, shared);
    vm.defineMethod(proto, "attachSound", soundAttach);
    vm.defineMethod(proto, "start", noOp);
    vm.defineMethod(proto, "stop", noOp);
    vm.defineMethod(proto, "loadSound", noOp);
    vm.defineMethod(proto, "getBytesLoaded", soundZeroWhenAttached);
    vm.defineMethod(proto, "getBytesTotal", soundZeroWhenAttached);
    defineGetter(vm, proto, "duration", soundZeroWhenAttached);
    defineGetter(vm, proto, "position", soundZeroWhenAttached);
}

} // namespace zf::avm1
