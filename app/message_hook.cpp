#include "app/app_p.h"
#include "app/main_window.h"
#include "flash/shockwave_flash.h"
#include "playback/playback.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>

#include <array>

namespace zf::app {

namespace {

// Moving the pointer into this many pixels above the screen's bottom edge
// shows the overlay frame bar of a maximised window.
constexpr int kOverlayZone = 45;

QSize screenSize(const QWidget& widget)
{
    const QScreen* screen = widget.screen();
    return screen != nullptr ? screen->geometry().size() : QSize();
}

} // namespace

MessageHook::MessageHook(TFrmMain& window) : m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool MessageHook::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window.Flash1) {
        return false;
    }
    const auto type = event->type();
    if (type == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        return rightButtonDown();
    }
    if (type == QEvent::MouseMove) {
        mouseMove();
    }
    if (type == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        leftDoubleClick();
    }
    return false;
}

// Consumed: the movie never sees the right press.
bool MessageHook::rightButtonDown()
{
    TFrmMain& window = m_window;
    if (window.Flash1->Movie() == QLatin1String(flash::kNoMovie)) {
        window.PopupMenu1->popup(QCursor::pos());
        return true;
    }
    window.N3->setText(window.Flash1->Playing() ? QStringLiteral("&Pause")
                                                : QStringLiteral("playing"));
    const bool walkable = window.m_playList.count() > 1;
    window.N5->setEnabled(walkable);
    window.N6->setEnabled(walkable);
    window.PM->popup(QCursor::pos());
    return true;
}

void MessageHook::mouseMove()
{
    TFrmMain& window = m_window;
    const QSize screen = screenSize(window);
    if (!window.isMaximized() || window.Flash1->height() != screen.height()) {
        return;
    }
    window.overlayFrameBar->setVisible(QCursor::pos().y() >= screen.height() - kOverlayZone);
}

// Not consumed: the movie sees the double click too. The movie control keeps
// filling its panel in both states, so the toggle shows as the window being
// maximised or restored.
void MessageHook::leftDoubleClick()
{
    TFrmMain& window = m_window;
    if (window.windowState() == Qt::WindowNoState) {
        window.showMaximized();
    } else {
        window.showNormal();
        window.overlayFrameBar->hide();
    }
    window.Flash1->setFocus();
}

void SendMouseMessage(QWidget* target, int x, int y, int kind)
{
    struct Message {
        QEvent::Type type;
        Qt::MouseButton button;
    };
    static constexpr std::array<Message, 9> kMessages{{
        {QEvent::MouseButtonPress, Qt::LeftButton},
        {QEvent::MouseButtonPress, Qt::RightButton},
        {QEvent::MouseButtonPress, Qt::MiddleButton},
        {QEvent::MouseButtonRelease, Qt::LeftButton},
        {QEvent::MouseButtonRelease, Qt::RightButton},
        {QEvent::MouseButtonRelease, Qt::MiddleButton},
        {QEvent::MouseButtonDblClick, Qt::LeftButton},
        {QEvent::MouseButtonDblClick, Qt::RightButton},
        {QEvent::MouseButtonDblClick, Qt::MiddleButton},
    }};
    if (target == nullptr || kind < 0 || kind >= int(kMessages.size())) {
        return;
    }
    const Message& message = kMessages[size_t(kind)];
    // Coordinates travel as two 16-bit halves of one parameter.
    const QPointF at(qint16(x & 0xFFFF), qint16(y & 0xFFFF));
    const Qt::MouseButtons held = message.type == QEvent::MouseButtonRelease
                                      ? Qt::NoButton
                                      : Qt::MouseButtons(message.button);
    QMouseEvent event(message.type, at, target->mapToGlobal(at), message.button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace zf::app
