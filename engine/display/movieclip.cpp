// Movie clips: the display list of one timeline, frame entry, gotos and the
// children scripts create.
#include "display/display_p.h"

#include <algorithm>

namespace zf::display {

namespace {

// Sprites placed inside sprites deeper than this are not created: a sprite
// that places itself would otherwise recurse without end.
constexpr int kMaxNesting = 128;
// Highest depth at which scripts may remove an object, as a file depth;
// the depths above are reserved.
constexpr int kMaxScriptDepth = 2130706415;

uint64_t placementKey(int frame, size_t tagIndex)
{
    return (uint64_t(uint32_t(frame)) << 32) | uint64_t(tagIndex + 1);
}

int nestingOf(const DisplayObject& object)
{
    int depth = 0;
    for (const DisplayObject* p = object.displayParent(); p && depth <= kMaxNesting;
         p = p->displayParent())
        ++depth;
    return depth;
}

// Whether a child of `parent` would nest too deep; the stage notes it so
// that the player can say why something is missing.
bool tooDeepBelow(MovieClip& parent)
{
    if (nestingOf(parent) < kMaxNesting)
        return false;
    parent.stage().refuseDeepNesting();
    return true;
}

const movie::Timeline& emptyTimeline()
{
    static const movie::Timeline timeline;
    return timeline;
}

// Overlays the fields a Move record gives onto an accumulated placement.
void mergePlacement(swf::PlaceObject& into, const swf::PlaceObject& from)
{
    if (from.matrix)
        into.matrix = from.matrix;
    if (from.colorTransform)
        into.colorTransform = from.colorTransform;
    if (from.ratio)
        into.ratio = from.ratio;
    if (from.name)
        into.name = from.name;
    if (from.clipDepth)
        into.clipDepth = from.clipDepth;
    if (from.filters)
        into.filters = from.filters;
    if (from.blendMode)
        into.blendMode = from.blendMode;
    if (from.visible)
        into.visible = from.visible;
}

} // namespace

void dispatchUnload(Stage& stage, DisplayObject& object, int level)
{
    if (level > kMaxNesting)
        return;
    if (const MovieClip* clip = object.asMovieClip()) {
        // Handlers may change the child list; walk a copy.
        std::vector<std::shared_ptr<DisplayObject>> children;
        for (const auto& [depth, child] : clip->children())
            children.push_back(child);
        for (const auto& child : children)
            dispatchUnload(stage, *child, level + 1);
    }
    stage.dispatchEvent(object, ClipEvent::Unload);
}

MovieClip::MovieClip(Stage& stage, const movie::Timeline* timeline, bool isRoot)
    : DisplayObject(stage, ObjectKind::MovieClip),
      m_timeline(timeline ? timeline : &emptyTimeline()), m_isRoot(isRoot)
{
}

MovieClip::~MovieClip() = default;

int MovieClip::totalFrames() const
{
    return std::max(1, m_timeline->frameCount());
}

std::optional<int> MovieClip::frameOfLabel(std::string_view label) const
{
    return m_timeline->frameOfLabel(label);
}

DisplayObject* MovieClip::childAt(int depth) const
{
    auto it = m_children.find(depth);
    return it == m_children.end() ? nullptr : it->second.get();
}

DisplayObject* MovieClip::childByName(std::string_view name) const
{
    for (const auto& [depth, child] : m_children) {
        if (stage().namesEqual(child->name(), name))
            return child.get();
    }
    return nullptr;
}

// --- Frames ------------------------------------------------------------------

void MovieClip::enterFrame(int frame, bool runActions)
{
    m_frame = frame;
    if (frame >= 1 && frame <= m_timeline->frameCount())
        processTags(m_timeline->frame(frame), frame, runActions);
}

void MovieClip::processTags(const movie::Frame& frame, int frameNumber, bool runActions)
{
    Stage& stage = this->stage();
    // Init actions run before everything else of their frame, once per sprite.
    for (const auto& tag : frame.tags) {
        if (const auto* init = std::get_if<movie::InitActionTag>(&tag)) {
            if (markSpriteInitialized(stage, definition(), init->spriteId) && stage.scriptRunner())
                stage.scriptRunner()->runInitActions(*this, init->spriteId, init->actions);
        }
    }
    for (size_t i = 0; i < frame.tags.size() && !removed(); ++i) {
        const auto& tag = frame.tags[i];
        if (const auto* place = std::get_if<movie::PlaceTag>(&tag)) {
            placeObject(place->place, placementKey(frameNumber, i));
        } else if (const auto* remove = std::get_if<movie::RemoveTag>(&tag)) {
            removeAtDepth(remove->depth);
        } else if (const auto* action = std::get_if<movie::ActionTag>(&tag)) {
            if (runActions)
                stage.queueActions(*this, action->actions);
        } else if (const auto* sound = std::get_if<movie::StartSoundTag>(&tag)) {
            if (runActions && stage.onStartSound)
                stage.onStartSound(sound->sound);
        } else if (const auto* head = std::get_if<movie::StreamHeadTag>(&tag)) {
            if (stage.onStreamHead)
                stage.onStreamHead(*this, head->head);
        } else if (const auto* block = std::get_if<movie::StreamBlockTag>(&tag)) {
            if (runActions && stage.onStreamBlock)
                stage.onStreamBlock(*this, block->data);
        } else if (const auto* background = std::get_if<movie::BackgroundTag>(&tag)) {
            if (m_isRoot)
                stage.setBackgroundColor(background->color);
        }
    }
}

void MovieClip::queueFrameActions(int frame)
{
    if (frame < 1 || frame > m_timeline->frameCount())
        return;
    for (const auto& tag : m_timeline->frame(frame).tags) {
        if (const auto* action = std::get_if<movie::ActionTag>(&tag))
            stage().queueActions(*this, action->actions);
        else if (const auto* sound = std::get_if<movie::StartSoundTag>(&tag);
                 sound && stage().onStartSound)
            stage().onStartSound(sound->sound);
    }
}

void MovieClip::gotoFrame(int frame, bool play)
{
    if (frame < 1)
        return;
    // A goto past the end lands on the last frame without running its
    // actions: the frame asked for was never reached.
    bool pastEnd = frame > totalFrames();
    frame = std::min(frame, totalFrames());
    m_playing = play;
    if (frame == m_frame)
        return;
    if (frame > m_frame) {
        // Skipped frames change the display list but run no actions.
        for (int f = m_frame + 1; f <= frame && !removed(); ++f)
            enterFrame(f, f == frame && !pastEnd);
    } else {
        rewindTo(frame);
        if (!pastEnd)
            queueFrameActions(frame);
    }
}

bool MovieClip::gotoLabel(std::string_view label, bool play)
{
    auto frame = frameOfLabel(label);
    if (!frame)
        return false;
    gotoFrame(*frame, play);
    return true;
}

void MovieClip::nextFrame()
{
    if (m_frame < totalFrames())
        gotoFrame(m_frame + 1, false);
    else
        stop();
}

void MovieClip::prevFrame()
{
    if (m_frame > 1)
        gotoFrame(m_frame - 1, false);
    else
        stop();
}

void MovieClip::advance()
{
    if (m_frame < m_timeline->frameCount()) {
        enterFrame(m_frame + 1, true);
    } else if (m_timeline->loops() && m_frame > 1) {
        rewindTo(1);
        queueFrameActions(1);
    }
}

// Rebuilds the display list for an earlier frame: replays the placements
// of frames 1..frame, keeps children whose placement is still in effect and
// recreates the rest. Script depths (>= 0) are left alone.
void MovieClip::rewindTo(int frame)
{
    struct Slot {
        uint64_t placementId = 0;
        swf::PlaceObject place;
    };
    std::map<int, Slot> target;
    int last = std::min(frame, m_timeline->frameCount());
    for (int f = 1; f <= last; ++f) {
        const auto& tags = m_timeline->frame(f).tags;
        for (size_t i = 0; i < tags.size(); ++i) {
            if (const auto* remove = std::get_if<movie::RemoveTag>(&tags[i])) {
                target.erase(remove->depth);
                continue;
            }
            const auto* placeTag = std::get_if<movie::PlaceTag>(&tags[i]);
            if (!placeTag)
                continue;
            const swf::PlaceObject& place = placeTag->place;
            auto it = target.find(place.depth);
            if (it == target.end()) {
                if (place.characterId)
                    target[place.depth] = Slot{placementKey(f, i), place};
            } else if (place.move) {
                if (place.characterId && place.characterId != it->second.place.characterId) {
                    it->second.placementId = placementKey(f, i);
                    it->second.place.characterId = place.characterId;
                    it->second.place.clipActions = place.clipActions;
                }
                mergePlacement(it->second.place, place);
            }
        }
    }
    m_frame = frame;

    // Remove what the target frame does not hold, keep what it does.
    std::vector<int> doomed;
    for (const auto& [depth, child] : m_children) {
        if (depth >= kScriptDepthOffset)
            continue;
        auto it = target.find(depth);
        if (it != target.end() && it->second.placementId == child->placementId() &&
            child->placementId() != 0) {
            applyPlacement(*child, it->second.place, true);
            target.erase(it);
        } else {
            doomed.push_back(depth);
        }
    }
    for (int depth : doomed)
        removeAtDepth(depth);

    // Create the rest in the order the timeline placed them.
    std::vector<std::pair<uint64_t, int>> order;
    for (const auto& [depth, slot] : target)
        order.emplace_back(slot.placementId, depth);
    std::sort(order.begin(), order.end());
    for (const auto& [id, depth] : order) {
        if (removed())
            return;
        if (!m_children.contains(depth))
            createChild(target[depth].place, id, nullptr);
    }
}

// --- Placement ---------------------------------------------------------------

void MovieClip::placeObject(const swf::PlaceObject& place, uint64_t placementId)
{
    auto it = m_children.find(place.depth);
    if (it == m_children.end()) {
        if (place.characterId)
            createChild(place, placementId, nullptr);
        return;
    }
    if (!place.move) {
        // The depth is taken: the placement fails.
        if (ScriptRunner* runner = stage().scriptRunner())
            runner->warning("Warning: Failed to place object at depth " +
                            std::to_string(place.depth) + ".");
        return;
    }
    std::shared_ptr<DisplayObject> existing = it->second;
    if (place.characterId && *place.characterId != existing->characterId()) {
        createChild(place, placementId, existing.get());
        return;
    }
    applyPlacement(*existing, place, true);
}

std::shared_ptr<DisplayObject> MovieClip::createChild(const swf::PlaceObject& place,
                                                      uint64_t placementId,
                                                      const DisplayObject* replaced)
{
    if (!place.characterId || tooDeepBelow(*this))
        return nullptr;
    auto object = createCharacter(stage(), definition(), *place.characterId);
    if (!object)
        return nullptr;
    object->m_characterId = *place.characterId;
    object->m_placementId = placementId;
    if (replaced) {
        // A replaced character keeps the fields the record does not give.
        object->m_matrix = replaced->m_matrix;
        object->m_cxform = replaced->m_cxform;
        object->m_ratio = replaced->m_ratio;
        object->m_name = replaced->m_name;
        object->m_clipDepth = replaced->m_clipDepth;
    }
    applyPlacement(*object, place, false);
    if (place.clipActions && object->asMovieClip())
        object->m_clipActions = std::make_shared<const swf::ClipActions>(*place.clipActions);
    if (replaced)
        removeAtDepth(place.depth);
    insertChild(object, place.depth);
    initializeChild(*object, true);
    return object;
}

void MovieClip::insertChild(std::shared_ptr<DisplayObject> child, int depth)
{
    child->m_parent = this;
    child->m_depth = depth;
    m_children[depth] = std::move(child);
}

void MovieClip::initializeChild(DisplayObject& object, bool fromTimeline)
{
    Stage& stage = this->stage();
    ScriptRunner* runner = stage.scriptRunner();
    if (auto* button = object.asButton()) {
        // Named before its state is built: clips inside take later names.
        if (button->name().empty())
            button->setName(stage.nextInstanceName());
        button->setState(ButtonVisualState::Up);
    }
    MovieClip* clip = object.asMovieClip();
    if (!clip) {
        if (runner)
            runner->objectCreated(object);
        return;
    }
    // Unnamed timeline instances get "instanceN"; a name a script gave, even
    // an empty one, is kept.
    if (fromTimeline && clip->name().empty())
        clip->setName(stage.nextInstanceName());
    registerClip(stage, std::static_pointer_cast<MovieClip>(clip->shared_from_this()));
    if (runner)
        runner->objectCreated(*clip);
    if (fromTimeline) {
        stage.queueEvent(*clip, ClipEvent::Initialize);
        stage.queueEvent(*clip, ClipEvent::Construct);
    } else {
        // Scripts see a clip they create fully constructed on return.
        stage.dispatchEvent(*clip, ClipEvent::Initialize);
        stage.dispatchEvent(*clip, ClipEvent::Construct);
    }
    stage.queueEvent(*clip, ClipEvent::Load);
    if (!clip->removed())
        clip->enterFrame(1, true);
}

void MovieClip::removeAtDepth(int depth)
{
    auto it = m_children.find(depth);
    if (it == m_children.end())
        return;
    std::shared_ptr<DisplayObject> child = it->second;
    dispatchUnload(stage(), *child);
    // The unload handler may have moved or removed the child already.
    it = m_children.find(depth);
    if (it != m_children.end() && it->second == child)
        m_children.erase(it);
    stage().detach(*child);
}

// --- Children made by scripts --------------------------------------------------

std::shared_ptr<MovieClip> MovieClip::attachMovie(std::string_view exportName, std::string name,
                                                  int depth)
{
    const movie::MovieDefinition& movie = definition();
    auto id = movie.exportedCharacter(exportName);
    if (!id || !movie.sprite(*id) || tooDeepBelow(*this))
        return nullptr;
    auto clip = std::make_shared<MovieClip>(stage(), &movie.sprite(*id)->timeline, false);
    clip->m_characterId = *id;
    clip->setName(std::move(name));
    removeAtDepth(depth);
    insertChild(clip, depth);
    initializeChild(*clip, false);
    return clip;
}

std::shared_ptr<MovieClip> MovieClip::createEmptyMovieClip(std::string name, int depth)
{
    if (tooDeepBelow(*this))
        return nullptr;
    auto clip = std::make_shared<MovieClip>(stage(), nullptr, false);
    clip->setName(std::move(name));
    removeAtDepth(depth);
    insertChild(clip, depth);
    initializeChild(*clip, false);
    return clip;
}

std::shared_ptr<BitmapObject> MovieClip::attachBitmap(std::shared_ptr<const raster::Bitmap> bitmap,
                                                      int depth, bool smoothing)
{
    auto object = std::make_shared<BitmapObject>(stage(), 0, std::move(bitmap));
    object->smoothing = smoothing;
    removeAtDepth(depth);
    insertChild(object, depth);
    initializeChild(*object, false);
    return object;
}

std::shared_ptr<TextField> MovieClip::createTextField(std::string name, int depth,
                                                      const RectTwips& box)
{
    swf::EditText definition;
    definition.bounds = box;
    definition.readOnly = true;
    definition.noSelect = false;
    auto field = std::make_shared<TextField>(stage(), definition);
    field->setName(std::move(name));
    removeAtDepth(depth);
    insertChild(field, depth);
    initializeChild(*field, false);
    return field;
}

std::shared_ptr<MovieClip> MovieClip::duplicate(std::string name, int depth)
{
    MovieClip* parent = this->parent();
    if (!parent || m_parent != parent || removed())
        return nullptr;
    auto clip = std::make_shared<MovieClip>(stage(), m_timeline, false);
    clip->m_characterId = m_characterId;
    clip->m_matrix = m_matrix;
    clip->m_cxform = m_cxform;
    clip->m_visible = m_visible;
    clip->m_clipActions = m_clipActions;
    clip->m_drawing = m_drawing;
    clip->m_transformedByScript = m_transformedByScript;
    clip->setName(std::move(name));
    parent->removeAtDepth(depth);
    parent->insertChild(clip, depth);
    parent->initializeChild(*clip, false);
    return clip;
}

std::shared_ptr<TextField> MovieClip::duplicateField(const TextField& source, std::string name,
                                                     int depth)
{
    if (source.m_parent != this || source.removed())
        return nullptr;
    auto field = std::make_shared<TextField>(stage(), source.definition());
    field->m_characterId = source.m_characterId;
    field->m_matrix = source.m_matrix;
    field->m_cxform = source.m_cxform;
    field->m_visible = source.m_visible;
    field->m_transformedByScript = source.m_transformedByScript;
    field->setName(std::move(name));
    removeAtDepth(depth);
    insertChild(field, depth);
    initializeChild(*field, false);
    return field;
}

bool MovieClip::removeChild(DisplayObject& child, bool force)
{
    if (child.m_parent != this)
        return false;
    if (!force && (child.depth() < kScriptDepthOffset || child.depth() > kMaxScriptDepth))
        return false;
    removeAtDepth(child.depth());
    return true;
}

void MovieClip::swapChildDepth(DisplayObject& child, int depth)
{
    if (child.m_parent != this || child.depth() == depth)
        return;
    int oldDepth = child.depth();
    auto self = m_children[oldDepth];
    m_children.erase(oldDepth);
    auto other = m_children.find(depth);
    if (other != m_children.end()) {
        auto moved = other->second;
        m_children.erase(other);
        moved->m_depth = oldDepth;
        moved->m_transformedByScript = true;
        m_children[oldDepth] = moved;
    }
    // Objects a script moved between depths no longer follow the timeline's
    // Move records.
    self->m_transformedByScript = true;
    self->m_depth = depth;
    m_children[depth] = self;
}

int MovieClip::nextHighestDepth() const
{
    int highest = kScriptDepthOffset - 1;
    if (!m_children.empty())
        highest = std::max(highest, m_children.rbegin()->first);
    return highest + 1;
}

// --- Masks, bounds, hits ----------------------------------------------------------

void MovieClip::setMask(MovieClip* mask)
{
    if (auto old = m_mask.lock())
        old->m_maskedBy = std::max(0, old->m_maskedBy - 1);
    m_mask.reset();
    if (mask && mask != this) {
        m_mask = std::static_pointer_cast<MovieClip>(mask->shared_from_this());
        ++mask->m_maskedBy;
    }
}

void MovieClip::setHitArea(MovieClip* area)
{
    if (area)
        m_hitArea = std::static_pointer_cast<MovieClip>(area->shared_from_this());
    else
        m_hitArea.reset();
}

Bounds MovieClip::localBounds() const
{
    return boundsThrough(*this, Matrix{});
}

bool MovieClip::hitTestLocal(Point local) const
{
    if (shapeContains(m_drawing.shape(), local))
        return true;
    for (const auto& [depth, child] : m_children) {
        if (child->hitTestLocal(child->matrix().inverted().apply(local)))
            return true;
    }
    return false;
}

} // namespace zf::display
