// Target paths and variables: how a name with a path ("/a/b:v", "_root.a.v",
// "a:b", "../x", "_level0/x") splits into a target and a variable, which
// scope a variable is read from and written to, and the slash-only paths of
// SWF 4 movies.
#include "paths_p.h"

#include <algorithm>
#include <string>

namespace zf::avm1 {

namespace {

constexpr int MaxPathSteps = 256;

// SWF 4 code uses the older, slash-only paths. (Contexts made up by native
// code carry no version and use the current ones.)
bool slashOnly(const Context& context)
{
    return context.version > 0 && context.version <= 4;
}

bool isPathName(std::string_view name)
{
    return name.find_first_of(":/.") != std::string_view::npos;
}

bool sameName(Vm& vm, const Str& a, const Str& b)
{
    return vm.fold() ? a.rep()->folded == b.rep()->folded : a.rep() == b.rep();
}

// The number of a folded "_levelN" (or, with that prefix, "_flashN"); -1
// for other names. The digits are read as far as they go and what follows
// them is ignored ("_level0undefined" is level 0).
int levelNumber(std::string_view lower, std::string_view prefix = "_level")
{
    if (lower.size() <= 6 || lower.compare(0, 6, prefix) != 0 || lower[6] < '0' || lower[6] > '9') {
        return -1;
    }
    size_t end = std::min(lower.find_first_not_of("0123456789", 6), lower.size());
    return end - 6 > 8 ? -1 : std::stoi(std::string(lower.substr(6, end - 6)));
}

Object* levelObject(Vm& vm, int number)
{
    return number == 0 ? vm.root() : vm.binding().level(number);
}

// Names that stand for a clip or the global object (_root, _parent,
// _global, _levelN). A variable of that name hides them, so for these a
// real property wins over what a clip reports for the name.
bool isKeyword(Vm& vm, const Str& name)
{
    std::string_view text = name.view();
    if (text.size() < 5 || text[0] != '_') {
        return false;
    }
    const CommonNames& n = vm.names();
    return sameName(vm, name, n.root) || sameName(vm, name, n.parent) ||
           sameName(vm, name, n.global) || levelNumber(foldCase(text)) >= 0;
}

// The object at scope position `i` as variable lookups see it: frame code
// reads its timeline slot through the current target, and a clip that left
// the stage stands for the clip now at its path, or else the root.
Object* scopeAt(Vm& vm, Context& context, size_t i)
{
    if (i == 1 && context.callee == nullptr) {
        return vm.liveTarget(context);
    }
    Object* scope = context.scopes[i];
    if (scope && scope->kind() == Kind::Clip && vm.binding().isRemoved(scope)) {
        Object* forwarded = vm.binding().forward(scope);
        return forwarded != scope ? forwarded : vm.root();
    }
    return scope;
}

// Reads a name from one scope object; false when the object has no such
// property.
bool readFrom(Vm& vm, Object* scope, const Str& name, bool keyword, Value& out)
{
    if (keyword) {
        if (Property* property = vm.lookup(scope, name)) {
            out = property->isAccessor() ? vm.get(scope, name) : property->value;
            return true;
        }
    }
    if (!vm.has(scope, name)) {
        return false;
    }
    out = vm.get(scope, name);
    return true;
}

// Assigns a name on one scope object. On a clip a keyword name is kept as a
// plain property, since the clip's own _root and _parent cannot be set.
void assignTo(Vm& vm, Object* scope, const Str& name, bool keyword, Value value)
{
    if (!keyword || !scope || scope->kind() != Kind::Clip) {
        vm.set(scope, name, std::move(value));
        return;
    }
    Object* clip = vm.binding().forward(scope);
    if (Property* property = clip->properties().find(name, vm.fold())) {
        if (!property->isAccessor()) {
            property->value = std::move(value);
        }
        return;
    }
    clip->properties().add(name, std::move(value), vm.fold());
}

// A name no scope has: the words for `this`, the root, the levels, the
// global object and the target's parent.
Value keywordValue(Vm& vm, Context& context, const Str& name)
{
    const CommonNames& n = vm.names();
    if (sameName(vm, name, n.thisName)) {
        // A function without a `this` local (preloaded or suppressed)
        // sees the timeline from SWF 6 on, nothing before.
        if (context.callee) {
            return context.version <= 5 ? Value() : Value(context.timeline);
        }
        return Value(context.self);
    }
    if (sameName(vm, name, n.root)) {
        Object* root = vm.binding().rootOf(context.timeline);
        return Value(root ? root : vm.root());
    }
    if (sameName(vm, name, n.global)) {
        return Value(vm.global());
    }
    if (sameName(vm, name, n.parent)) {
        return vm.get(context.target ? context.target : vm.liveTarget(context), n.parent);
    }
    if (std::string_view text = name.view(); text.size() > 6 && text[0] == '_') {
        if (int level = levelNumber(foldCase(text)); level >= 0) {
            Object* object = levelObject(vm, level);
            return object ? Value(object) : Value();
        }
    }
    return {};
}

// Where a variable path splits into target and name: the last colon, or in
// slash syntax the last dot that is not part of ".." ("a/b.v" is v of a/b).
// npos when the whole path names a target.
size_t variableSplit(std::string_view text)
{
    size_t colon = text.rfind(':');
    if (colon != std::string_view::npos || text.find('/') == std::string_view::npos) {
        return colon;
    }
    for (size_t i = text.size(); i-- > 0;) {
        if (text[i] == '.' && (i == 0 || text[i - 1] != '.') &&
            (i + 1 == text.size() || text[i + 1] != '.')) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::vector<std::string_view> dotSegments(std::string_view text)
{
    std::vector<std::string_view> segments;
    for (size_t i = 0; i <= text.size();) {
        size_t next = text.find('.', i);
        if (next == std::string_view::npos) {
            next = text.size();
        }
        segments.push_back(text.substr(i, next - i));
        i = next + 1;
    }
    return segments;
}

// Follows segments[1..count) from `current`, every step on an object.
bool walkMembers(Vm& vm, const std::vector<std::string_view>& segments, size_t count,
                 Value& current)
{
    for (size_t i = 1; i < count; ++i) {
        if (!current.isObject()) {
            return false;
        }
        current = vm.getMember(current, Value(vm.intern(segments[i])));
    }
    return true;
}

// A dot path ("a.b.c") read from the scope chain: each scope in turn tries
// the whole path, and counts only when every step lands on an object and the
// last one has the final name; a broken path hands over to the next scope.
Value readDotPath(Vm& vm, Context& context, std::string_view text, Object** holder)
{
    std::vector<std::string_view> segments = dotSegments(text);
    Str first = vm.intern(segments[0]);
    Str last = vm.intern(segments.back());
    bool keyword = isKeyword(vm, first);
    for (size_t i = context.scopes.size(); i-- > 0;) {
        Value current;
        if (!readFrom(vm, scopeAt(vm, context, i), first, keyword, current) ||
            !walkMembers(vm, segments, segments.size() - 1, current) || !current.isObject() ||
            !vm.has(current.object(), last)) {
            continue;
        }
        if (holder) {
            *holder = current.object();
        }
        return vm.getMember(current, Value(last));
    }
    Value current = vm.getVariable(context, first);
    if (!walkMembers(vm, segments, segments.size(), current)) {
        return {};
    }
    return current;
}

// The object a dot path ("a.b") names for an assignment: from the first
// scope where every step lands on an object.
Object* dotTarget(Vm& vm, Context& context, std::string_view path)
{
    std::vector<std::string_view> segments = dotSegments(path);
    Str first = vm.intern(segments[0]);
    bool keyword = isKeyword(vm, first);
    for (size_t i = context.scopes.size(); i-- > 0;) {
        Value current;
        if (readFrom(vm, scopeAt(vm, context, i), first, keyword, current) &&
            walkMembers(vm, segments, segments.size(), current) && current.isObject()) {
            return current.object();
        }
    }
    Value current = vm.getVariable(context, first);
    return walkMembers(vm, segments, segments.size(), current) ? current.object() : nullptr;
}

// --- SWF 4 ------------------------------------------------------------------

// SWF 4 paths know only slashes: "/a/b", "a/../b", and a leading "_levelN"
// (or "_flashN") whose text up to the next slash is skipped. Every other
// name is a child clip; dots and colons are part of the name, and the words
// of later versions (_root, _parent, this) mean nothing.
Object* resolveSwf4Path(Vm& vm, std::string_view path, Object* base)
{
    Object* current = base;
    size_t i = 0;
    std::string head = foldCase(path.substr(0, 6));
    if (head == "_level" || head == "_flash") {
        size_t digits = path.find_first_not_of("0123456789", 6);
        digits = digits == std::string_view::npos ? path.size() : digits;
        int level = levelNumber(foldCase(path.substr(0, digits)), head);
        if (level >= 0) {
            current = levelObject(vm, level);
            size_t slash = path.find('/', digits);
            if (slash == std::string_view::npos) {
                return current;
            }
            i = slash + 1;
        }
    } else if (!path.empty() && path[0] == '/') {
        current = vm.root();
        i = 1;
    }
    for (int steps = 0; i < path.size() && current; ++steps) {
        if (steps >= MaxPathSteps) {
            return nullptr;
        }
        size_t next = std::min(path.find('/', i), path.size());
        std::string_view segment = path.substr(i, next - i);
        i = next + 1;
        if (segment.empty()) {
            return nullptr; // "a//b"
        }
        if (segment == "..") {
            current = vm.get(current, vm.names().parent).object();
            continue;
        }
        std::string lower = foldCase(segment);
        if (lower == "_root" || lower == "_parent" || lower == "_global" || lower == "this" ||
            levelNumber(lower) >= 0 || levelNumber(lower, "_flash") >= 0) {
            return nullptr;
        }
        Object* child = vm.get(current, vm.intern(segment)).object();
        current = child && child->kind() == Kind::Clip ? child : nullptr;
    }
    return current;
}

// Clips are not values in SWF 4: a variable that finds one reads as
// undefined.
Value swf4Value(Value value)
{
    Object* object = value.object();
    return object && object->kind() == Kind::Clip ? Value() : value;
}

// "path:name" in SWF 4; the part before the colon must name a clip.
Object* swf4VariableTarget(Vm& vm, Context& context, std::string_view text, size_t colon)
{
    return colon == 0 ? nullptr : vm.resolvePath(context, text.substr(0, colon), context.target);
}

Value readSwf4(Vm& vm, Context& context, const Str& name)
{
    std::string_view text = name.view();
    if (size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        Object* target = swf4VariableTarget(vm, context, text, colon);
        return target ? swf4Value(vm.get(target, vm.intern(text.substr(colon + 1)))) : Value();
    }
    for (size_t i = context.scopes.size(); i-- > 0;) {
        Value out;
        if (readFrom(vm, scopeAt(vm, context, i), name, false, out)) {
            return swf4Value(out);
        }
    }
    return {};
}

} // namespace

// --- targets ----------------------------------------------------------------

Object* Vm::liveTarget(Context& context)
{
    Object* target = context.target;
    if (!target) {
        // An invalid tellTarget: timeline actions go to the root.
        Object* root = context.timeline ? m_binding->rootOf(context.timeline) : nullptr;
        return root ? root : m_root;
    }
    if (!m_binding->isRemoved(target)) {
        return target;
    }
    // A clip the timeline removed and placed again is the same clip.
    if (Object* forwarded = m_binding->forward(target); forwarded != target) {
        return forwarded;
    }
    if (context.timeline && context.timeline != target && !m_binding->isRemoved(context.timeline)) {
        return context.timeline;
    }
    return m_root;
}

namespace {

// One name of a target path, from `current`.
Object* pathStep(Vm& vm, Object* current, std::string_view segment)
{
    std::string lower = vm.fold() ? foldCase(segment) : std::string(segment);
    if (lower == "_root") {
        Object* root = vm.context() ? vm.binding().rootOf(vm.context()->timeline) : nullptr;
        return root ? root : vm.root();
    }
    if (lower == "this") {
        return current;
    }
    if (lower == "_global") {
        return vm.global();
    }
    if (lower.size() > 6 && lower.compare(0, 6, "_level") == 0) {
        // _levelN of a movie loaded with loadMovieNum.
        int level = levelNumber(lower);
        return level >= 0 ? levelObject(vm, level) : nullptr;
    }
    return vm.get(current, vm.intern(segment)).object();
}

} // namespace

Object* Vm::resolvePath(Context& context, std::string_view path, Object* base)
{
    if (base && m_binding->isRemoved(base) &&
        (base == context.target || base == context.timeline)) {
        base = liveTarget(context);
    }
    if (slashOnly(context)) {
        return resolveSwf4Path(*this, path, base);
    }
    Object* current = base;
    if (path.empty()) {
        return current;
    }
    size_t i = 0;
    if (path[0] == '/') {
        current = m_root;
        i = 1;
    }
    // Dots separate names only before the first slash: in "a/b.c" the name
    // is "b.c", while "a.b/c" walks a, b, c. ".." is always a parent step.
    bool slashSeen = i > 0;
    int guard = 0;
    while (i < path.size() && current && ++guard < MaxPathSteps) {
        if (path.compare(i, 2, "..") == 0 &&
            (i + 2 == path.size() || path[i + 2] == '/' || path[i + 2] == ':')) {
            current = get(current, m_common.parent).object();
            slashSeen = slashSeen || (i + 2 < path.size() && path[i + 2] == '/');
            i += 3;
            continue;
        }
        size_t next = path.find_first_of(slashSeen ? "/:" : "/:.", i);
        if (next == std::string_view::npos) {
            next = path.size();
        }
        std::string_view segment = path.substr(i, next - i);
        if (next < path.size() && path[next] == '/') {
            slashSeen = true;
        }
        i = next + 1;
        if (segment.empty()) {
            // "a//b" names nothing; a single trailing separator is allowed.
            if (next < path.size()) {
                return nullptr;
            }
            continue;
        }
        current = pathStep(*this, current, segment);
    }
    return guard >= MaxPathSteps ? nullptr : current;
}

Object* targetClip(Vm& vm, Context& context, const Value& operand)
{
    std::string path;
    if (Object* object = operand.object(); object && object->kind() == Kind::Clip) {
        path = vm.binding().targetPath(object);
        if (path.empty()) {
            return vm.binding().isRemoved(object) ? nullptr : object;
        }
    } else {
        path = vm.toString(operand);
    }
    if (path.empty()) {
        return context.timeline;
    }
    return vm.resolvePath(context, path, context.timeline);
}

// --- variables --------------------------------------------------------------

Value Vm::getVariable(Context& context, const Str& name)
{
    return findVariable(*this, context, name, nullptr);
}

Value findVariable(Vm& vm, Context& context, const Str& name, Object** holder)
{
    if (holder) {
        *holder = nullptr;
    }
    if (slashOnly(context)) {
        return readSwf4(vm, context, name);
    }
    std::string_view text = name.view();
    if (isPathName(text)) {
        size_t split = variableSplit(text);
        if (split != std::string_view::npos) {
            Object* target = vm.resolvePath(context, text.substr(0, split), context.target);
            if (!target) {
                return {};
            }
            if (holder) {
                *holder = target;
            }
            return vm.get(target, vm.intern(text.substr(split + 1)));
        }
        if (text.find('/') != std::string_view::npos) {
            Object* target = vm.resolvePath(context, text, context.target);
            return target ? Value(target) : Value();
        }
        return readDotPath(vm, context, text, holder);
    }
    bool keyword = isKeyword(vm, name);
    for (size_t i = context.scopes.size(); i-- > 0;) {
        Object* scope = scopeAt(vm, context, i);
        Value out;
        if (readFrom(vm, scope, name, keyword, out)) {
            // Past the global object and the timeline: with-objects and
            // function locals.
            if (holder && i >= 2) {
                *holder = scope;
            }
            return out;
        }
    }
    return keywordValue(vm, context, name);
}

namespace {

// The object a path name assigns to and the name it assigns; false when the
// name has no target part (a plain name, or a path naming a clip).
bool pathAssignment(Vm& vm, Context& context, std::string_view text, Object*& target, Str& name)
{
    target = nullptr;
    if (slashOnly(context)) {
        size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            return false;
        }
        target = swf4VariableTarget(vm, context, text, colon);
        name = vm.intern(text.substr(colon + 1));
        return true;
    }
    if (!isPathName(text)) {
        return false;
    }
    size_t split = variableSplit(text);
    if (split == std::string_view::npos && text.find('/') == std::string_view::npos) {
        split = text.rfind('.');
    }
    if (split == std::string_view::npos) {
        return false;
    }
    std::string_view path = text.substr(0, split);
    if (text[split] == '.' && path.find('/') == std::string_view::npos) {
        target = dotTarget(vm, context, path);
    } else {
        target = vm.resolvePath(context, path, context.target);
    }
    name = vm.intern(text.substr(split + 1));
    return true;
}

// The object a new variable of frame or function code goes to.
Object* variableHome(Vm& vm, Context& context)
{
    if (context.callee && context.scopes.size() > 1) {
        return scopeAt(vm, context, 1);
    }
    return context.callee ? context.timeline : vm.liveTarget(context);
}

} // namespace

void Vm::setVariable(Context& context, const Str& name, Value value)
{
    Object* target = nullptr;
    Str member;
    if (pathAssignment(*this, context, name.view(), target, member)) {
        if (target) {
            set(target, member, std::move(value));
        }
        return;
    }
    // The global object is not searched: an assignment to an unknown name
    // creates a timeline variable even when _global has one.
    bool keyword = isKeyword(*this, name);
    for (size_t i = context.scopes.size(); i-- > 1;) {
        Object* scope = scopeAt(*this, context, i);
        if (keyword ? lookup(scope, name) != nullptr : has(scope, name)) {
            assignTo(*this, scope, name, keyword, std::move(value));
            return;
        }
    }
    assignTo(*this, variableHome(*this, context), name, keyword, std::move(value));
}

void Vm::defineLocal(Context& context, const Str& name, Value value)
{
    // Outside functions a declaration with a path assigns through the path;
    // inside one the whole text names a local.
    if (!context.activation && isPathName(name.view())) {
        setVariable(context, name, std::move(value));
        return;
    }
    // With-objects that already own the name take the value; otherwise it
    // becomes a local of the function, or a variable of the timeline.
    for (size_t i = context.scopes.size(); i-- > 2;) {
        Object* scope = context.scopes[i];
        if (scope == context.activation) {
            break;
        }
        if (hasOwn(scope, name)) {
            set(scope, name, std::move(value));
            return;
        }
    }
    if (context.activation) {
        Property* existing = context.activation->properties().find(name, m_fold);
        if (existing) {
            existing->value = std::move(value);
        } else {
            context.activation->properties().add(name, std::move(value), m_fold);
        }
        return;
    }
    set(context.target ? context.target : liveTarget(context), name, std::move(value));
}

void declareVariable(Vm& vm, Context& context, const Str& name)
{
    if (Object* activation = context.activation) {
        if (!activation->properties().find(name, vm.fold())) {
            activation->properties().add(name, Value(), vm.fold());
        }
        return;
    }
    Object* target = context.target ? context.target : vm.liveTarget(context);
    Str member = name;
    Object* pathTarget = nullptr;
    if (pathAssignment(vm, context, name.view(), pathTarget, member)) {
        if (!pathTarget) {
            return;
        }
        target = pathTarget;
    }
    if (!vm.has(target, member)) {
        vm.set(target, member, Value());
    }
}

bool Vm::deleteVariable(Context& context, const Str& name)
{
    for (size_t i = context.scopes.size(); i-- > 0;) {
        Object* scope = scopeAt(*this, context, i);
        if (hasOwn(scope, name)) {
            return remove(scope, name);
        }
    }
    return false;
}

} // namespace zf::avm1
