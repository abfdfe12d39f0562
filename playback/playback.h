// Playback helpers of the main window: the frame bar TMbar and the rule that
// turns the text typed into a "Frame" box into a number. The transport,
// opening and view handlers themselves are members of the main window
// (app/main_window.h) and live in this folder's sources.
#pragma once

#include <QSlider>
#include <QString>

#include <cstdint>
#include <optional>

namespace zf::playback {

// A horizontal frame bar. Besides the slider's own change signal it reports
// a left button going down (before the slider reacts, so a drag can pause the
// movie first) and coming up (after the slider has taken the last position),
// key presses and focus entry.
class TMbar : public QSlider {
    Q_OBJECT
public:
    explicit TMbar(QWidget* parent = nullptr);

    // A maximum below the minimum is ignored; the position is kept in range.
    void setMax(int maximum);

    // Keeps the bar along the bottom edge of this widget (the overlay bar).
    void alignToBottomOf(QWidget* host);

signals:
    void leftButtonDown();
    void leftButtonUp();
    void keyDown(int key);
    void entered();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_host = nullptr;
};

// The frame number rule: leading spaces, an optional sign, then decimal
// digits or hexadecimal digits after "$", "x", "X", "0x" or "0X", and nothing
// after the digits; the value must fit 32 bits signed.
std::optional<int32_t> parseFrameNumber(const QString& text);

} // namespace zf::playback
