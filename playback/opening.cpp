// Opening movies: the open handler (the command-line movie once, the open
// dialog afterwards) and File > Open, which goes through the movie list.
#include "app/main_window.h"
#include "flash/shockwave_flash.h"
#include "playback/playback.h"

#include <QTimer>

namespace zf::app {

// The steps that end every start of a movie: frame bars to the new length,
// the player calls, the total for the status line, the status timer on.
void TFrmMain::startMovie(bool stopFirst)
{
    mainFrameBar->setMax(Flash1->TotalFrames());
    mainFrameBar->setValue(0);
    overlayFrameBar->setMax(Flash1->TotalFrames());
    overlayFrameBar->setValue(0);
    if (stopFirst) {
        Flash1->Stop();
    }
    Flash1->Play();
    m_state.TotalFrameCount = Flash1->TotalFrames();
    Timer1->start();
}

void TFrmMain::Image16Click()
{
    if (m_state.PendingPath != QLatin1String(kNoPendingPath)) {
        // The command-line movie, taken once and without a type check.
        const QString path = m_state.PendingPath;
        m_state.PendingPath = QString::fromLatin1(kNoPendingPath);
        m_playList.addIfAbsent(path);
        Flash1->setMovie(path);
        m_state.CurrentMovieName = library::fileNamePart(path);
        startMovie(false);
        return;
    }
    const QStringList files = runOpenDialog();
    if (files.isEmpty()) {
        return;
    }
    m_playList.replace(files);
    m_state.CurrentMovieName = m_playList.current();
    const QString path = m_playList.current();
    if (!library::passesTypeCheck(path)) {
        messageBox(this, QStringLiteral("Please confire if the file type is *.swf."));
        m_state.CurrentMovieName = QString::fromLatin1(flash::kNoMovie);
        Flash1->Stop();
        return;
    }
    Flash1->setMovie(QString::fromLatin1(flash::kNoMovie));
    Flash1->Stop();
    Flash1->setMovie(path);
    m_state.CurrentMovieName = library::fileNamePart(path);
    startMovie(true);
}

void TFrmMain::Open1Click()
{
    const QStringList files = runOpenDialog();
    if (files.isEmpty()) {
        return;
    }
    FillFromOpenedFiles(files);
}

} // namespace zf::app
