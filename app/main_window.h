// TFrmMain: the main window. It hosts the movie control Flash1 beside the
// movie list LvSwf, carries every command of the program as a handler named
// after the component it is bound to, and keeps the little state those
// handlers share (play list, pending command-line path, frame counters).
//
// The handlers are grouped by subsystem: layout, start-up, sizing and the
// application message hook in app/; opening movies, transport, status line
// and view options in playback/; the movie list in library/; the menus in
// chrome/.
#pragma once

#include "library/library.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>

class QAction;
class QColorDialog;
class QFileDialog;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace zf::flash {
class TShockwaveFlash;
}
namespace zf::playback {
class TMbar;
}

namespace zf::app {

class TRzSizePanel;
class MessageHook;

// The caption of the main window and of every plain message box.
inline constexpr char kApplicationTitle[] = "Zentiq Flash Player";
// PendingPath's value when the program was started without a movie.
inline constexpr char kNoPendingPath[] = "1.sss";
// CurrentMovieName before anything has been loaded (a letter i, not a one).
inline constexpr char kInitialMovieName[] = "i.sww";

// State the handlers share; the names are those the commands speak of.
struct PlaybackState {
    QString PendingPath = QString::fromLatin1(kNoPendingPath);
    QString CurrentMovieName = QString::fromLatin1(kInitialMovieName);
    int TotalFrameCount = 0;
    int CurrentFrameNumber = 0;
    bool WasPlaying = false;
    bool ListFromCache = false;
};

class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Runs the creation steps; with a first argument the movie is opened
    // before the window is first shown.
    explicit TFrmMain(const QString& firstArgument, QWidget* parent = nullptr);
    ~TFrmMain() override;

    const PlaybackState& state() const { return m_state; }
    const library::PlayList& PlayList() const { return m_playList; }
    int PlayIndex() const { return m_playList.index(); }

    // The smallest accepted window is 301 x 301.
    static bool FormCanResize(int width, int height);

    // Components, by their names.
    flash::TShockwaveFlash* Flash1 = nullptr;
    library::MovieListView* LvSwf = nullptr;
    TRzSizePanel* RzSizePanel1 = nullptr;
    QWidget* RzSizePanel2 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusPanel0 = nullptr;
    QLabel* statusPanel1 = nullptr;
    QWidget* Panel3 = nullptr;
    QLabel* Label6 = nullptr;
    QWidget* Panel2 = nullptr;
    QWidget* PanBar = nullptr;
    playback::TMbar* mainFrameBar = nullptr;
    playback::TMbar* overlayFrameBar = nullptr;
    QTimer* Timer1 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QColorDialog* C1 = nullptr;
    QAction* TBStop = nullptr;
    QAction* MnTool = nullptr;
    QAction* Open1 = nullptr;
    QMenu* PM = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction *N3 = nullptr, *N4 = nullptr, *N19 = nullptr, *N21 = nullptr, *N22 = nullptr;
    QAction *N5 = nullptr, *N6 = nullptr, *ggg1 = nullptr, *N1 = nullptr, *N17 = nullptr;
    QAction *N10 = nullptr, *N15 = nullptr, *PopSetSave = nullptr, *N9 = nullptr;
    QAction *N13 = nullptr, *N18 = nullptr, *N12 = nullptr;

public slots:
    // Window.
    void ToolButton1Click();
    void RzSizePanel2Resize();
    // Opening movies.
    void Image16Click();
    void Open1Click();
    // Transport and status line.
    void Label2Click();
    void Label3Click();
    void Label4Click();
    void N21Click();
    void N22Click();
    void Timer1Timer();
    void Flash1ReadyStateChange(int state);
    // View options.
    void ggg1Click();
    void N1Click();
    void N17Click();
    void MnToolClick();
    // Movie list.
    void FillFromOpenedFiles(const QStringList& files);
    void AddFoundMovie(const QString& path);
    void LvSwfSelectItem();
    void N5Click();
    void N6Click();
    void Label6DblClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class MessageHook;

    void FormCreate(const QString& firstArgument);
    void FormShow();
    void FormResize();
    void registerFileAssociation();
    // Building the window, in named steps.
    void createToolBar();
    void createMainMenu();
    void createPopupMenus();
    void createCentralArea();
    void createStatusBar();
    void createStripStandIn();
    void createDialogs();
    void createFrameBars();
    void connectFrameBar(playback::TMbar* bar);
    // Shared steps.
    void refreshPlay();
    void startMovie(bool stopFirst);
    void loadPathIntoPlayer(const QString& path, bool unloadFirst);
    void walkPlayList(bool forward);
    void showWrongTypeMessage(const QString& text);
    void frameBarChange(int position);
    void frameBarKeyDown(int key);
    void frameBarLeftButtonDown();
    void frameBarLeftButtonUp();
    bool askFrameNumber(const QString& prompt, const QString& notANumber, int32_t& number);
    void jumpTo(int64_t frame);
    QString rowPath(int row) const;
    QStringList runOpenDialog();

    PlaybackState m_state;
    library::PlayList m_playList;
    std::unique_ptr<MessageHook> m_hook;
    QString m_firstArgument;
};

// Sends one synthesized mouse-button event to the widget and returns once it
// has been handled. Kinds: 0 left down, 1 right down, 2 middle down, 3 left
// up, 4 right up, 5 middle up, 6 left double click, 7 right double click,
// 8 middle double click; any other kind sends nothing.
void SendMouseMessage(QWidget* target, int x, int y, int kind);

// Modal boxes. Each is a real dialog shown with exec(), so that a test can
// find it as the active modal widget and answer it.
//
// The "Frame" input box: returns the edited text, or the default when the
// user cancels.
QString inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                 const QString& defaultText);
// A warning with one OK button. A leading carriage return in the text starts
// the message with an empty line.
void warningDialog(QWidget* parent, const QString& text);
// A plain notice with one OK button, captioned with the application title.
void messageBox(QWidget* parent, const QString& text);

} // namespace zf::app
