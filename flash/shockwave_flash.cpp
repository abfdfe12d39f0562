#include "flash/shockwave_flash.h"

#include "player.h"

#include <QDebug>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zf::flash {

namespace {

// Frame intervals outside this range come from broken headers (a frame rate
// of 0 or 0.004); the clock stays between 1000 and 1 ticks a second.
constexpr int kShortestIntervalMs = 1;
constexpr int kLongestIntervalMs = 1000;

std::string toPath(const QString& path)
{
    return path.toStdString();
}

MouseButton toMovieButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton: return MouseButton::Right;
    case Qt::MiddleButton: return MouseButton::Middle;
    default: return MouseButton::Left;
    }
}

KeyEvent toMovieKey(const QKeyEvent& event)
{
    KeyEvent key;
    key.keyCode = actionScriptKeyCode(event.key(), event.modifiers());
    const QString text = event.text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        key.charCode = text.toUcs4().value(0);
    } else if (key.keyCode == 8 || key.keyCode == 13 || key.keyCode == 27) {
        key.charCode = uint32_t(key.keyCode); // backspace, enter and escape carry their ASCII code
    }
    return key;
}

} // namespace

TShockwaveFlash::TShockwaveFlash(QWidget* parent)
    : QWidget(parent), m_player(std::make_unique<Player>())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // The movie's own right-click handling is replaced by the main window's
    // menus; no toolkit menu should appear either.
    setContextMenuPolicy(Qt::PreventContextMenu);
    m_movie = QString::fromLatin1(kNoMovie);

    m_clock.setTimerType(Qt::PreciseTimer);
    connect(&m_clock, &QTimer::timeout, this, &TShockwaveFlash::advance);

    m_player->onReadyStateChange = [this](ReadyState state) {
        emit readyStateChange(static_cast<int>(state));
    };
    m_player->onFSCommand = [this](const std::string& command, const std::string& arguments) {
        emit fsCommand(QString::fromStdString(command), QString::fromStdString(arguments));
    };
    // Problems the player worked around (an undecodable bitmap, say) go to
    // the log, where someone investigating a movie can find them.
    m_player->onWarning = [](const std::string& message) { qWarning("%s", message.c_str()); };
}

TShockwaveFlash::~TShockwaveFlash()
{
    m_clock.stop();
    m_player->onReadyStateChange = nullptr;
    m_player->onFSCommand = nullptr;
}

bool TShockwaveFlash::setMovie(const QString& path)
{
    m_movie = path;
    const bool loaded = m_player->setMovie(toPath(path));
    updateClock();
    update();
    return loaded;
}

int TShockwaveFlash::TotalFrames() const
{
    return m_player->totalFrames();
}
int TShockwaveFlash::FrameNum() const
{
    return m_player->frameNum();
}

void TShockwaveFlash::Play()
{
    m_player->play();
    update();
}

void TShockwaveFlash::Stop()
{
    m_player->stop();
    update();
}

void TShockwaveFlash::StopPlay()
{
    m_player->stopPlay();
}
bool TShockwaveFlash::Playing() const
{
    return m_player->playing();
}
void TShockwaveFlash::setPlaying(bool playing)
{
    m_player->setPlaying(playing);
}

Status TShockwaveFlash::GotoFrame(int frame)
{
    Status status = m_player->gotoFrame(frame);
    update();
    return status;
}

void TShockwaveFlash::Zoom(int factor)
{
    m_player->zoom(factor);
    update();
}

double TShockwaveFlash::zoomScale() const
{
    return m_player->zoomScale();
}

void TShockwaveFlash::BackgroundColor(int bbggrr)
{
    m_player->setBackgroundColor(bbggrr);
    update();
}

void TShockwaveFlash::BGColor(const QString& color)
{
    m_player->setBGColor(color.toStdString());
    update();
}

// The clock runs while a movie is loaded and the widget is on screen; the
// player itself decides whether a tick advances the timeline (paused movies
// still run their scripts and sprites).
void TShockwaveFlash::updateClock()
{
    if (!m_player->hasMovie() || !isVisible()) {
        m_clock.stop();
        return;
    }
    const double interval = m_player->frameIntervalMs();
    const int milliseconds = std::isfinite(interval)
                                 ? std::clamp(int(std::lround(std::min(interval, 1e6))),
                                              kShortestIntervalMs, kLongestIntervalMs)
                                 : kLongestIntervalMs;
    m_clock.start(milliseconds);
    m_elapsed.start();
}

void TShockwaveFlash::advance()
{
    const double elapsedMs = double(m_elapsed.nsecsElapsed()) / 1e6;
    m_elapsed.start();
    m_player->tick(elapsedMs);
    update();
}

void TShockwaveFlash::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_player->hasMovie() && !pixels.isEmpty()) {
        if (m_frame.size() != pixels) {
            m_frame = QImage(pixels, QImage::Format_RGBA8888_Premultiplied);
        }
        RenderTarget target{m_frame.bits(), m_frame.width(), m_frame.height(),
                            int(m_frame.bytesPerLine())};
        if (m_player->render(target)) {
            m_frame.setDevicePixelRatio(ratio);
            painter.drawImage(QPointF(0, 0), m_frame);
            return;
        }
    }
    painter.fillRect(rect(), palette().color(QPalette::Window));
    // A movie that cannot be shown says why in the movie area, so a missing
    // or broken file is never just a silent empty panel.
    const QString error = loadError();
    if (!error.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("The movie cannot be shown.\n%1").arg(error));
    }
}

QString TShockwaveFlash::loadError() const
{
    if (m_movie == QLatin1String(kNoMovie))
        return {};
    return QString::fromStdString(m_player->lastError());
}

void TShockwaveFlash::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateClock();
}

void TShockwaveFlash::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_clock.stop();
}

// The player counts mouse positions in the pixels of the last render, which
// are device pixels.
QPointF TShockwaveFlash::toMovie(const QPointF& position) const
{
    return position * devicePixelRatioF();
}

void TShockwaveFlash::mousePressEvent(QMouseEvent* event)
{
    const QPointF at = toMovie(event->position());
    m_player->mouseDown(toMovieButton(event->button()), at.x(), at.y());
    update();
}

void TShockwaveFlash::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF at = toMovie(event->position());
    m_player->mouseUp(toMovieButton(event->button()), at.x(), at.y());
    update();
}

// The second press of a double click reaches the movie as an ordinary press,
// so that buttons react to both clicks.
void TShockwaveFlash::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void TShockwaveFlash::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = toMovie(event->position());
    m_player->mouseMove(at.x(), at.y());
}

void TShockwaveFlash::keyPressEvent(QKeyEvent* event)
{
    m_player->keyDown(toMovieKey(*event));
    update();
}

void TShockwaveFlash::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat()) {
        return;
    }
    m_player->keyUp(toMovieKey(*event));
}

int probeTotalFrames(const QString& path)
{
    TShockwaveFlash probe;
    probe.setMovie(path);
    probe.Stop();
    return probe.TotalFrames();
}

} // namespace zf::flash
