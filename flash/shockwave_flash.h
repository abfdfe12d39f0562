// TShockwaveFlash: the widget that hosts one zf::Player and offers the
// operations the main window drives (Movie, TotalFrames, FrameNum, Play,
// Stop, GotoFrame, Zoom, background colours) under the names the rest of the
// program uses. It paints the movie at its own size in device pixels, ticks
// the player in real time while it is shown, and forwards mouse and keys to
// the movie. A TShockwaveFlash that is never shown never ticks: that is the
// frame-count probe, which only reads the header (see probeTotalFrames).
#pragma once

#include "common/result.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace zf {
class Player;
}

namespace zf::flash {

// The Movie value that means "no movie loaded". It names no file.
inline constexpr char kNoMovie[] = "1.sww";

class TShockwaveFlash : public QWidget {
    Q_OBJECT
public:
    explicit TShockwaveFlash(QWidget* parent = nullptr);
    ~TShockwaveFlash() override;

    // --- Movie: set loads the file at this path (header only), get returns
    // the value last set. Returns false when the file is not a movie; the
    // value is kept all the same, as the callers expect.
    QString Movie() const { return m_movie; }
    bool setMovie(const QString& path);

    int TotalFrames() const;
    // Why the movie set last cannot be shown (missing, unreadable, broken);
    // empty while it plays or when no movie is set.
    QString loadError() const;
    int FrameNum() const;
    int CurrentFrame() const { return FrameNum(); }

    void Play();
    void Stop();
    void StopPlay();
    bool Playing() const;
    void setPlaying(bool playing);
    // Frame numbers are the player's own (0-based), passed on unchanged.
    // An out-of-range frame or a missing movie comes back as an error.
    Status GotoFrame(int frame);

    void Zoom(int factor); // 50: one step; 0: back to 100 %
    double zoomScale() const;
    void BackgroundColor(int bbggrr); // $00BBGGRR, -1 removes the override
    void BGColor(const QString& color);

    // The engine behind the widget, for tools that measure it.
    Player& player() { return *m_player; }

signals:
    void readyStateChange(int state);
    void fsCommand(const QString& command, const QString& arguments);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void advance();
    void updateClock();
    QPointF toMovie(const QPointF& position) const;

    std::unique_ptr<Player> m_player;
    QString m_movie;
    QTimer m_clock;
    QElapsedTimer m_elapsed;
    QImage m_frame;
};

// Frame-count probe: a never-shown control given the path as its movie,
// stopped, and asked for its frame count. Only the header is read.
int probeTotalFrames(const QString& path);

// Maps a Qt key (with its modifiers, for the keypad) to the key code that
// ActionScript's Key.getCode() reports; 0 for keys that have none.
int actionScriptKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);

} // namespace zf::flash
