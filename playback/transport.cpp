// Transport and status line: play/pause, stop, the three frame commands, the
// frame bars' handlers, the status tick and the ready-state handler.
#include "app/main_window.h"
#include "flash/shockwave_flash.h"
#include "playback/playback.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <limits>

namespace zf::app {

namespace {

constexpr int kGrey = 0x808080;
constexpr int kEnterKey = Qt::Key_Return;

bool noMovie(const flash::TShockwaveFlash& flash)
{
    return flash.Movie() == QLatin1String(flash::kNoMovie);
}

} // namespace

void TFrmMain::Label2Click()
{
    if (noMovie(*Flash1)) {
        return;
    }
    if (Flash1->Playing()) {
        Flash1->StopPlay();
    } else {
        Flash1->Play();
    }
}

void TFrmMain::Label3Click()
{
    Flash1->setMovie(QString::fromLatin1(flash::kNoMovie));
    Flash1->Play();
    Flash1->Stop();
    // Without a movie there is no frame to go to; the error changes nothing.
    (void)Flash1->GotoFrame(-1);
    Flash1->Stop();
    mainFrameBar->setValue(0);
    overlayFrameBar->setValue(0);
    Timer1->stop();
    Label6->setText(QStringLiteral("Stop playing"));
    m_playList.clear();
    Flash1->BGColor(QString());
    Flash1->BackgroundColor(kGrey);
}

// Asks for a number in the "Frame" box. False when the answer is empty or
// cancelled, or not a number (after the warning).
bool TFrmMain::askFrameNumber(const QString& prompt, const QString& notANumber, int32_t& number)
{
    const QString answer = inputBox(this, QStringLiteral("Frame"), prompt, QString());
    if (answer.isEmpty()) {
        return false;
    }
    const std::optional<int32_t> parsed = playback::parseFrameNumber(answer);
    if (!parsed) {
        warningDialog(this, notANumber);
        return false;
    }
    number = *parsed;
    return true;
}

// Shows the frame and pauses there. A frame the movie does not have (or a
// sum past the integer range) is reported as a failed jump.
void TFrmMain::jumpTo(int64_t frame)
{
    const bool inRange = frame >= std::numeric_limits<int32_t>::min() &&
                         frame <= std::numeric_limits<int32_t>::max();
    if (!inRange || !Flash1->GotoFrame(int(frame)).ok()) {
        warningDialog(this, QStringLiteral("\rJumping error!"));
        return;
    }
    Flash1->StopPlay();
}

void TFrmMain::Label4Click()
{
    if (noMovie(*Flash1)) {
        return;
    }
    int32_t number = 0;
    if (askFrameNumber(QStringLiteral("Please set the number of frame you want to jump：     "),
                       QStringLiteral("\rPlease input number."), number)) {
        jumpTo(number);
    }
}

// "P&rior": moves forward by the number typed (the caption is the menu's).
void TFrmMain::N21Click()
{
    int32_t number = 0;
    if (askFrameNumber(QStringLiteral("Please input the number of frame to jump："),
                       QStringLiteral("\rPlease input number!"), number)) {
        jumpTo(int64_t(Flash1->CurrentFrame()) + number);
    }
}

// "&Next": moves back by the number typed.
void TFrmMain::N22Click()
{
    if (noMovie(*Flash1)) {
        return;
    }
    int32_t number = 0;
    if (askFrameNumber(QStringLiteral("Please input the number of frame jump to:"),
                       QStringLiteral("\rPlease input number!"), number)) {
        jumpTo(int64_t(Flash1->CurrentFrame()) - number);
    }
}

void TFrmMain::Timer1Timer()
{
    QCoreApplication::processEvents();
    if (m_state.CurrentMovieName == QLatin1String(flash::kNoMovie)) {
        QCoreApplication::processEvents();
        Flash1->Stop();
        Label6->setText(QStringLiteral("Stop playing"));
        return;
    }
    m_state.CurrentFrameNumber = Flash1->FrameNum();
    mainFrameBar->setValue(m_state.CurrentFrameNumber);
    overlayFrameBar->setValue(m_state.CurrentFrameNumber);
    const QString counter = QStringLiteral("frame:(%1/%2)")
                                .arg(m_state.TotalFrameCount)
                                .arg(m_state.CurrentFrameNumber);
    const int row = LvSwf->selectedRow();
    if (row < 0) {
        Label6->setText(QStringLiteral("Flash:(1/1)  ") + counter);
        return;
    }
    const QString text =
        QStringLiteral("Flash:(%1/%2)   ").arg(row + 1).arg(LvSwf->rowCount()) + counter;
    // The pause marker is added only when the text changes.
    const QString current = Label6->text();
    if (current != text && current != text + QStringLiteral("<pause>")) {
        Label6->setText(Flash1->Playing() ? text : text + QStringLiteral("<pause>"));
    }
}

// A new movie brings its own background: any colour the user chose goes.
void TFrmMain::Flash1ReadyStateChange(int)
{
    Flash1->BackgroundColor(-1);
    Flash1->BGColor(QString());
}

// While paused, the bar seeks. The status tick moving the bar to the frame
// on show is no seek: the movie is left alone then.
void TFrmMain::frameBarChange(int position)
{
    if (!Flash1->Playing() && position != Flash1->FrameNum()) {
        (void)Flash1->GotoFrame(position);
    }
}

void TFrmMain::frameBarKeyDown(int key)
{
    if (key == kEnterKey || key == Qt::Key_Enter) {
        Label6DblClick();
    }
}

// Dragging a bar pauses the movie until the button comes up again.
void TFrmMain::frameBarLeftButtonDown()
{
    m_state.WasPlaying = Flash1->Playing();
    Flash1->setPlaying(false);
}

void TFrmMain::frameBarLeftButtonUp()
{
    Flash1->setPlaying(m_state.WasPlaying);
}

} // namespace zf::app
