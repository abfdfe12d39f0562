#include "playback/playback.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace zf::playback {

namespace {
constexpr int kBarHeight = 20;
}

TMbar::TMbar(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setRange(0, 100);
    setSingleStep(1); // arrow keys move one frame
    setPageStep(1);
    setValue(0);
    setTickPosition(QSlider::NoTicks);
    setFixedHeight(kBarHeight);
    setFocusPolicy(Qt::StrongFocus);
}

void TMbar::setMax(int maximum)
{
    if (maximum < minimum()) {
        return;
    }
    setMaximum(maximum);
}

void TMbar::alignToBottomOf(QWidget* host)
{
    if (m_host != nullptr) {
        m_host->removeEventFilter(this);
    }
    m_host = host;
    setParent(host);
    host->installEventFilter(this);
    setGeometry(0, host->height() - kBarHeight, host->width(), kBarHeight);
}

bool TMbar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Resize) {
        setGeometry(0, m_host->height() - kBarHeight, m_host->width(), kBarHeight);
    }
    return QSlider::eventFilter(watched, event);
}

void TMbar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit leftButtonDown();
    }
    QSlider::mousePressEvent(event);
}

void TMbar::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit leftButtonUp();
    }
}

void TMbar::keyPressEvent(QKeyEvent* event)
{
    emit keyDown(event->key());
    QSlider::keyPressEvent(event);
}

void TMbar::focusInEvent(QFocusEvent* event)
{
    QSlider::focusInEvent(event);
    emit entered();
}

} // namespace zf::playback
