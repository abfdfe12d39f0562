// The stage: object creation, the frame tick and its action queue.
#include "display/display_p.h"

#include <algorithm>

namespace zf::display {

namespace {
// Queue entries one runActionQueue() call may process: a script that keeps
// queueing gotos between two frames must not hang the player.
constexpr size_t kMaxQueuedPerRun = 200'000;
// Buttons nested in sprites nested in buttons... stop creating past this.
constexpr int kMaxButtonNesting = 64;
} // namespace

std::shared_ptr<DisplayObject> createCharacter(Stage& stage, uint16_t id)
{
    return createCharacter(stage, stage.movie(), id);
}

std::shared_ptr<DisplayObject> createCharacter(Stage& stage, const movie::MovieDefinition& movie,
                                               uint16_t id)
{
    auto kind = movie.kind(id);
    if (!kind)
        return nullptr;
    switch (*kind) {
    case movie::CharacterKind::Shape: return std::make_shared<ShapeObject>(stage, movie.shape(id));
    case movie::CharacterKind::MorphShape:
        return std::make_shared<MorphObject>(stage, movie.morphShape(id));
    case movie::CharacterKind::Bitmap: return std::make_shared<BitmapObject>(stage, id, nullptr);
    case movie::CharacterKind::StaticText:
        return std::make_shared<StaticTextObject>(stage, movie.staticText(id));
    case movie::CharacterKind::EditText:
        return std::make_shared<TextField>(stage, *movie.editText(id));
    case movie::CharacterKind::Sprite:
        return std::make_shared<MovieClip>(stage, &movie.sprite(id)->timeline, false);
    case movie::CharacterKind::Video: return std::make_shared<VideoObject>(stage, movie.video(id));
    case movie::CharacterKind::Button: {
        auto button = std::make_shared<Button>(stage, movie.button(id));
        button->m_characterId = id;
        return button;
    }
    default: return nullptr;
    }
}

void registerClip(Stage& stage, const std::shared_ptr<MovieClip>& clip)
{
    stage.m_impl->clips.push_back(clip);
}

void assignSerial(Stage& stage, DisplayObject& object)
{
    object.m_serial = stage.m_impl->nextSerial++;
}

Stage::Stage(std::shared_ptr<const movie::MovieDefinition> movie)
    : m_impl(std::make_unique<Impl>()), m_movie(std::move(movie))
{
    m_background = m_movie->backgroundColor();
    m_root = std::make_shared<MovieClip>(*this, &m_movie->timeline(), true);
    registerClip(*this, m_root);
}

Stage::~Stage()
{
    // Children hold raw back pointers to the stage; drop them while it lives.
    m_root.reset();
}

int Stage::swfVersion() const
{
    return m_movie->version();
}

void Stage::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_runner) {
        m_runner->beginTick(m_clockMs);
        m_runner->objectCreated(*m_root);
    }
    dispatchEvent(*m_root, ClipEvent::Initialize);
    dispatchEvent(*m_root, ClipEvent::Construct);
    queueEvent(*m_root, ClipEvent::Load);
    m_root->enterFrame(1, true);
    runActionQueue();
    processLoads();
    if (m_runner)
        m_runner->endTick();
}

void Stage::tick()
{
    if (!m_started) {
        start();
        return;
    }
    if (m_runner)
        m_runner->beginTick(m_clockMs);
    auto& clips = m_impl->clips;
    std::erase_if(clips, [](const std::weak_ptr<MovieClip>& weak) {
        auto clip = weak.lock();
        return !clip || clip->removed();
    });
    // Newest first, root last; clips created during this pass wait for the
    // next tick.
    size_t count = clips.size();
    for (size_t i = count; i-- > 0;) {
        auto clip = clips[i].lock();
        if (!clip || clip->removed())
            continue;
        queueEvent(*clip, ClipEvent::EnterFrame);
        if (clip->playing())
            clip->advance();
    }
    runActionQueue();
    processLoads();
    updateDrag();
    if (m_runner)
        m_runner->endTick();
}

void Stage::queueActions(MovieClip& clip, std::span<const uint8_t> actions)
{
    if (!m_runner || actions.empty())
        return;
    Impl::QueuedItem item;
    item.type = Impl::QueuedItem::Type::Actions;
    item.target = clip.shared_from_this();
    item.actions = actions;
    m_impl->queue.push_back(std::move(item));
}

void Stage::queueEvent(DisplayObject& object, ClipEvent event)
{
    if (!m_runner)
        return;
    Impl::QueuedItem item;
    item.type = Impl::QueuedItem::Type::Event;
    item.target = object.shared_from_this();
    item.event = event;
    if (event == ClipEvent::Initialize)
        m_impl->initQueue.push_back(std::move(item));
    else if (event == ClipEvent::Construct)
        m_impl->constructQueue.push_back(std::move(item));
    else
        m_impl->queue.push_back(std::move(item));
}

void Stage::runActionQueue()
{
    // Scripts run from the queue may queue more; the outer loop takes them.
    if (m_impl->runningQueue)
        return;
    m_impl->runningQueue = true;
    size_t processed = 0;
    auto next = [&]() -> std::deque<Impl::QueuedItem>* {
        for (auto* queue : {&m_impl->initQueue, &m_impl->constructQueue, &m_impl->queue}) {
            if (!queue->empty())
                return queue;
        }
        return nullptr;
    };
    while (auto* queue = next()) {
        if (processed++ >= kMaxQueuedPerRun)
            break;
        Impl::QueuedItem item = std::move(queue->front());
        queue->pop_front();
        auto target = item.target.lock();
        // Actions of objects removed in the meantime are skipped.
        if (!target || target->removed() || !m_runner)
            continue;
        if (item.type == Impl::QueuedItem::Type::Actions) {
            if (auto* clip = target->asMovieClip())
                m_runner->runFrameActions(*clip, item.actions);
        } else {
            m_runner->dispatchClipEvent(*target, item.event, {});
        }
    }
    m_impl->initQueue.clear();
    m_impl->constructQueue.clear();
    m_impl->queue.clear();
    m_impl->runningQueue = false;
}

void Stage::dispatchEvent(DisplayObject& object, ClipEvent event, const EventKey& key)
{
    if (m_runner && !object.removed())
        m_runner->dispatchClipEvent(object, event, key);
}

std::string Stage::nextInstanceName()
{
    return "instance" + std::to_string(++m_impl->instanceCounter);
}

bool Stage::namesEqual(std::string_view a, std::string_view b) const
{
    if (a.size() != b.size())
        return false;
    if (swfVersion() >= 7)
        return a == b;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

void Stage::detachTree(DisplayObject& object, ScriptRunner* runner, int level)
{
    if (object.removed() || level > 512)
        return;
    object.m_removed = true;
    if (auto* clip = object.asMovieClip()) {
        for (auto& [depth, child] : clip->children())
            detachTree(*child, runner, level + 1);
    } else if (auto* button = object.asButton()) {
        for (auto& child : button->m_recordObjects) {
            if (child)
                detachTree(*child, runner, level + 1);
        }
    }
    if (runner)
        runner->objectRemoved(object);
}

void Stage::detach(DisplayObject& object)
{
    detachTree(object, m_runner, 0);
}

namespace {
const char* kindName(ObjectKind kind)
{
    switch (kind) {
    case ObjectKind::Shape: return "shape";
    case ObjectKind::MorphShape: return "morph";
    case ObjectKind::Bitmap: return "bitmap";
    case ObjectKind::StaticText: return "text";
    case ObjectKind::TextField: return "field";
    case ObjectKind::Button: return "button";
    case ObjectKind::MovieClip: return "clip";
    case ObjectKind::Video: return "video";
    }
    return "?";
}

void dumpChildren(const MovieClip& clip, std::string& out, int level)
{
    if (level > 64)
        return;
    for (const auto& [depth, child] : clip.children()) {
        out += std::string(size_t(level) * 2, ' ') + std::to_string(depth) + " " +
               kindName(child->kind()) + " " + std::to_string(child->characterId());
        if (!child->name().empty())
            out += " " + child->name();
        if (const auto* sub = child->asMovieClip()) {
            out += " frame " + std::to_string(sub->currentFrame());
            out += "\n";
            dumpChildren(*sub, out, level + 1);
        } else {
            out += "\n";
        }
    }
}
} // namespace

std::string Stage::dumpDisplayList() const
{
    std::string out = "root frame " + std::to_string(m_root->currentFrame()) + "\n";
    dumpChildren(*m_root, out, 1);
    return out;
}

// --- Buttons -----------------------------------------------------------------

Button::Button(Stage& stage, const movie::ButtonDefinition* definition)
    : DisplayObject(stage, ObjectKind::Button), m_definition(definition),
      m_trackAsMenu(definition->button.trackAsMenu)
{
}

void Button::build()
{
    if (m_built)
        return;
    m_built = true;
    int nesting = 0;
    for (const DisplayObject* p = displayParent(); p; p = p->displayParent())
        ++nesting;
    for (const auto& record : m_definition->button.records) {
        std::shared_ptr<DisplayObject> object;
        if (nesting < kMaxButtonNesting && record.characterId != m_characterId)
            object = createCharacter(stage(), parent() ? parent()->definition() : stage().movie(),
                                     record.characterId);
        if (object) {
            object->m_characterId = record.characterId;
            object->m_matrix = record.matrix;
            object->m_cxform =
                m_definition->button.version >= 2 ? record.colorTransform : m_definition->cxform;
            object->m_blendMode = record.blendMode;
            object->m_filters = record.filters;
            object->m_parent = this;
            object->m_depth = record.depth;
            if (auto* clip = object->asMovieClip()) {
                clip->setName(stage().nextInstanceName());
                registerClip(stage(), std::static_pointer_cast<MovieClip>(object));
                if (stage().scriptRunner())
                    stage().scriptRunner()->objectCreated(*clip);
                clip->enterFrame(1, true);
            }
        }
        m_recordObjects.push_back(std::move(object));
    }
}

void Button::setState(ButtonVisualState state)
{
    build();
    m_state = state;
    uint8_t bit = state == ButtonVisualState::Up     ? swf::ButtonState::Up
                  : state == ButtonVisualState::Over ? swf::ButtonState::Over
                                                     : swf::ButtonState::Down;
    m_children.clear();
    const auto& records = m_definition->button.records;
    for (size_t i = 0; i < records.size() && i < m_recordObjects.size(); ++i) {
        if ((records[i].states & bit) && m_recordObjects[i])
            m_children[records[i].depth] = m_recordObjects[i];
    }
}

Bounds Button::localBounds() const
{
    return boundsThrough(*this, Matrix{});
}

bool Button::hitAreaContains(Point local) const
{
    const auto& records = m_definition->button.records;
    for (size_t i = 0; i < records.size() && i < m_recordObjects.size(); ++i) {
        const auto& object = m_recordObjects[i];
        if ((records[i].states & swf::ButtonState::HitTest) && object &&
            object->hitTestLocal(object->matrix().inverted().apply(local)))
            return true;
    }
    return false;
}

bool Button::hitTestLocal(Point local) const
{
    return hitAreaContains(local);
}

bool Stage::refusedDeepNesting() const
{
    return m_impl->refusedDeepNesting;
}

void Stage::refuseDeepNesting()
{
    m_impl->refusedDeepNesting = true;
}

} // namespace zf::display
