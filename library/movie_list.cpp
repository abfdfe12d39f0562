// The movie list's commands: filling the list view from the open dialog or a
// search, the select operation, Prior/Next Movie over the play list, and
// "Play next flash" down the list view.
#include "app/main_window.h"
#include "flash/shockwave_flash.h"

#include <QLabel>

namespace zf::app {

void TFrmMain::showWrongTypeMessage(const QString& text)
{
    messageBox(this, text);
}

void TFrmMain::AddFoundMovie(const QString& path)
{
    const int totalFrames = flash::probeTotalFrames(path);
    LvSwf->appendRow(library::fileNamePart(path), totalFrames, path,
                     library::MovieListView::RowShape::Search);
}

void TFrmMain::FillFromOpenedFiles(const QStringList& files)
{
    m_playList.replace(files);
    {
        // Rebuilding the rows is no selection by the user.
        const QSignalBlocker quiet(LvSwf);
        LvSwf->removeAllRows();
    }
    // One probe counts the frames of every file.
    flash::TShockwaveFlash probe;
    for (const QString& entry : m_playList.entries()) {
        probe.setMovie(entry);
        probe.Stop();
        LvSwf->appendRow(entry, probe.TotalFrames(), entry,
                         library::MovieListView::RowShape::Opened);
    }
    if (LvSwf->rowCount() == 0) {
        return;
    }
    LvSwf->selectRow(0);
    LvSwfSelectItem();
}

void TFrmMain::LvSwfSelectItem()
{
    m_playList.clear();
    const int row = LvSwf->selectedRow();
    if (row < 0) {
        return;
    }
    const QString path = LvSwf->subItem(row, 1);
    statusPanel1->setText(path);
    m_state.CurrentMovieName = path;
    if (!library::passesTypeCheck(path)) {
        showWrongTypeMessage(QStringLiteral("Please confire if the file type is *.swf"));
        m_state.CurrentMovieName = QString::fromLatin1(flash::kNoMovie);
        Flash1->Stop();
        return;
    }
    Flash1->setMovie(QString::fromLatin1(flash::kNoMovie));
    Flash1->Stop();
    Flash1->setMovie(path);
    startMovie(true);
}

void TFrmMain::walkPlayList(bool forward)
{
    if (!(forward ? m_playList.next() : m_playList.prior())) {
        return;
    }
    const QString path = m_playList.current();
    m_state.CurrentMovieName = path;
    if (!library::passesTypeCheck(path)) {
        showWrongTypeMessage(QStringLiteral("Please confire if the file type is *.swf"));
        m_state.CurrentMovieName = QString::fromLatin1(flash::kNoMovie);
        Flash1->Stop();
        m_playList.clear();
        return;
    }
    Flash1->setMovie(path);
    m_state.CurrentMovieName = library::fileNamePart(path);
    startMovie(false);
}

void TFrmMain::N6Click()
{
    walkPlayList(true);
}
void TFrmMain::N5Click()
{
    walkPlayList(false);
}

// Opened rows name their file in the editable caption (or the cache search's
// path); search rows keep the full path beside their short caption.
QString TFrmMain::rowPath(int row) const
{
    if (m_state.ListFromCache || LvSwf->shape(row) == library::MovieListView::RowShape::Search) {
        return LvSwf->subItem(row, 1);
    }
    return LvSwf->caption(row);
}

// Moves the selection one row down and plays that row; with no row selected
// it starts at the first row. The last row does not wrap around.
void TFrmMain::Label6DblClick()
{
    const int rows = LvSwf->rowCount();
    if (rows < 2) {
        return;
    }
    const int selected = LvSwf->selectedRow();
    if (selected >= rows - 1) {
        return;
    }
    const int next = selected + 1;
    LvSwf->selectRow(next);
    const QString path = rowPath(next);
    Flash1->setMovie(QString::fromLatin1(flash::kNoMovie));
    Flash1->Stop();
    Flash1->setMovie(path);
    m_state.CurrentMovieName = library::fileNamePart(path);
    startMovie(false);
}

} // namespace zf::app
