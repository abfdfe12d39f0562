// Mouse and keyboard input: button state transitions, clip mouse and key
// events, dragging.
#include "display/display_p.h"

namespace zf::display {

namespace {

// The topmost object under a stage point that reacts to the mouse: enabled
// buttons by their hit area, clips with button handlers by their shapes.
DisplayObject* findTarget(DisplayObject& object, Point point, const ScriptRunner* runner, int level)
{
    if (!object.visible() || level > 256)
        return nullptr;
    if (auto* button = object.asButton()) {
        if (button->enabled && button->hitAreaContains(button->globalToLocal(point)))
            return button;
        return nullptr;
    }
    auto* clip = object.asMovieClip();
    if (!clip)
        return nullptr;
    // A clip with handlers takes the mouse for everything inside it.
    if (!clip->isRoot() && clip->enabled && runner && runner->hasButtonHandlers(*clip)) {
        const MovieClip* area = clip->hitArea() ? clip->hitArea() : clip;
        if (area->hitTest(point, true))
            return clip;
    }
    const auto& children = clip->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const auto& child = it->second;
        if (child->clipDepth() > child->depth())
            continue; // masks are not targets
        if (auto* hit = findTarget(*child, point, runner, level + 1))
            return hit;
    }
    return nullptr;
}

// Every clip, topmost first: children (highest depth first) before their parent.
void collectClips(MovieClip& clip, std::vector<std::shared_ptr<DisplayObject>>& out, int level)
{
    if (level > 256)
        return;
    const auto& children = clip.children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (auto* child = it->second->asMovieClip())
            collectClips(*child, out, level + 1);
    }
    out.push_back(clip.shared_from_this());
}

void collectButtons(DisplayObject& object, std::vector<std::shared_ptr<Button>>& out, int level)
{
    if (level > 256)
        return;
    if (auto* button = object.asButton()) {
        out.push_back(std::static_pointer_cast<Button>(button->shared_from_this()));
        return;
    }
    if (auto* clip = object.asMovieClip()) {
        for (const auto& [depth, child] : clip->children())
            collectButtons(*child, out, level + 1);
    }
}

} // namespace

uint8_t buttonKeyCode(int keyCode, uint32_t charCode)
{
    switch (keyCode) {
    case 37: return 1;  // left
    case 39: return 2;  // right
    case 36: return 3;  // home
    case 35: return 4;  // end
    case 45: return 5;  // insert
    case 46: return 6;  // delete
    case 8: return 8;   // backspace
    case 13: return 13; // enter
    case 38: return 14; // up
    case 40: return 15; // down
    case 33: return 16; // page up
    case 34: return 17; // page down
    case 9: return 18;  // tab
    case 27: return 19; // escape
    default: break;
    }
    return charCode >= 32 && charCode <= 126 ? uint8_t(charCode) : 0;
}

DisplayObject* Stage::mouseTarget() const
{
    // The highest level under the pointer takes the mouse.
    for (auto it = m_impl->levels.rbegin(); it != m_impl->levels.rend(); ++it) {
        if (DisplayObject* target = findTarget(*it->second, m_mouse, m_runner, 0))
            return target;
    }
    return findTarget(*m_root, m_mouse, m_runner, 0);
}

void Stage::broadcast(ClipEvent event, const EventKey& key)
{
    if (!m_runner)
        return;
    std::vector<std::shared_ptr<DisplayObject>> clips;
    collectClips(*m_root, clips, 0);
    for (const auto& [number, level] : m_impl->levels)
        collectClips(*level, clips, 0);
    for (const auto& clip : clips)
        dispatchEvent(*clip, event, key);
}

void Stage::buttonTransition(DisplayObject& target, uint16_t condition, ClipEvent event)
{
    auto keepAlive = target.shared_from_this();
    if (auto* button = target.asButton()) {
        switch (condition) {
        case swf::ButtonCondition::IdleToOverUp:
        case swf::ButtonCondition::OverDownToOverUp:
            button->setState(ButtonVisualState::Over);
            break;
        case swf::ButtonCondition::OverUpToOverDown:
        case swf::ButtonCondition::OutDownToOverDown:
            button->setState(ButtonVisualState::Down);
            break;
        default: button->setState(ButtonVisualState::Up); break;
        }
        if (m_runner) {
            for (const auto& action : button->definition().button.actions) {
                if ((action.conditions & 0x1FF & condition) && !button->removed())
                    m_runner->runButtonActions(*button, condition, action.actions);
            }
        }
    }
    dispatchEvent(target, event);
}

void Stage::mouseMove(Point stage)
{
    m_mouse = stage;
    updateDrag();
    Impl& impl = *m_impl;
    DisplayObject* target = mouseTarget();
    if (auto pressed = impl.pressed.lock(); pressed && m_mouseDown) {
        bool inside = target == pressed.get();
        if (impl.pressedInside && !inside)
            buttonTransition(*pressed, swf::ButtonCondition::OverDownToOutDown, ClipEvent::DragOut);
        else if (!impl.pressedInside && inside)
            buttonTransition(*pressed, swf::ButtonCondition::OutDownToOverDown,
                             ClipEvent::DragOver);
        impl.pressedInside = inside;
    } else {
        auto hovered = impl.hovered.lock();
        if (hovered.get() != target) {
            if (hovered && !hovered->removed())
                buttonTransition(*hovered, swf::ButtonCondition::OverUpToIdle, ClipEvent::RollOut);
            impl.hovered.reset();
            if (target && !target->removed()) {
                impl.hovered = target->shared_from_this();
                buttonTransition(*target, swf::ButtonCondition::IdleToOverUp, ClipEvent::RollOver);
            }
        }
    }
    broadcast(ClipEvent::MouseMove, {});
    runActionQueue();
}

void Stage::mouseDown(Point stage)
{
    m_mouse = stage;
    m_mouseDown = true;
    Impl& impl = *m_impl;
    broadcast(ClipEvent::MouseDown, {});
    if (DisplayObject* target = mouseTarget()) {
        impl.hovered = target->shared_from_this();
        impl.pressed = target->shared_from_this();
        impl.pressedInside = true;
        buttonTransition(*target, swf::ButtonCondition::OverUpToOverDown, ClipEvent::Press);
    }
    runActionQueue();
}

void Stage::mouseUp(Point stage)
{
    m_mouse = stage;
    m_mouseDown = false;
    Impl& impl = *m_impl;
    broadcast(ClipEvent::MouseUp, {});
    if (auto pressed = impl.pressed.lock(); pressed && !pressed->removed()) {
        impl.pressed.reset();
        if (mouseTarget() == pressed.get()) {
            buttonTransition(*pressed, swf::ButtonCondition::OverDownToOverUp, ClipEvent::Release);
        } else {
            buttonTransition(*pressed, swf::ButtonCondition::OutDownToIdle,
                             ClipEvent::ReleaseOutside);
            impl.hovered.reset();
        }
    }
    impl.pressed.reset();
    runActionQueue();
}

void Stage::keyDown(const KeyInput& key)
{
    m_impl->keysDown.insert(key.keyCode);
    m_lastKey = key;
    EventKey eventKey{key.keyCode, key.charCode, buttonKeyCode(key.keyCode, key.charCode)};
    broadcast(ClipEvent::KeyDown, eventKey);
    if (eventKey.buttonKeyCode != 0) {
        broadcast(ClipEvent::KeyPress, eventKey);
        std::vector<std::shared_ptr<Button>> buttons;
        collectButtons(*m_root, buttons, 0);
        for (const auto& button : buttons) {
            for (const auto& action : button->definition().button.actions) {
                if (action.keyCode() == eventKey.buttonKeyCode && m_runner && !button->removed())
                    m_runner->runButtonActions(*button, uint16_t(eventKey.buttonKeyCode << 9),
                                               action.actions);
            }
        }
    }
    runActionQueue();
}

void Stage::keyUp(const KeyInput& key)
{
    m_impl->keysDown.erase(key.keyCode);
    m_lastKey = key;
    broadcast(ClipEvent::KeyUp, EventKey{key.keyCode, key.charCode, 0});
    runActionQueue();
}

bool Stage::isKeyDown(int keyCode) const
{
    return m_impl->keysDown.contains(keyCode);
}

// --- Dragging -------------------------------------------------------------------

void Stage::startDrag(MovieClip& clip, bool lockCenter, std::optional<Bounds> constraintTwips)
{
    Impl& impl = *m_impl;
    impl.dragClip = std::static_pointer_cast<MovieClip>(clip.shared_from_this());
    impl.dragConstraint = constraintTwips;
    impl.dragOffset = {};
    if (!lockCenter) {
        Point mouse = m_mouse;
        if (const DisplayObject* parent = clip.displayParent())
            mouse = parent->globalToLocal(mouse);
        impl.dragOffset = {clip.matrix().tx - mouse.x, clip.matrix().ty - mouse.y};
    }
    updateDrag();
}

void Stage::stopDrag()
{
    m_impl->dragClip.reset();
}

MovieClip* Stage::dragTarget() const
{
    return m_impl->dragClip.lock().get();
}

void Stage::updateDrag()
{
    auto clip = m_impl->dragClip.lock();
    if (!clip || clip->removed())
        return;
    Point mouse = m_mouse;
    if (const DisplayObject* parent = clip->displayParent())
        mouse = parent->globalToLocal(mouse);
    double x = mouse.x + m_impl->dragOffset.x, y = mouse.y + m_impl->dragOffset.y;
    if (const auto& c = m_impl->dragConstraint) {
        x = std::clamp(x, std::min(c->xMin, c->xMax), std::max(c->xMin, c->xMax));
        y = std::clamp(y, std::min(c->yMin, c->yMax), std::max(c->yMin, c->yMax));
    }
    clip->setX(x / kTwipsPerPixel);
    clip->setY(y / kTwipsPerPixel);
}

} // namespace zf::display
