#include "app/main_window.h"

#include "app/app_p.h"
#include "flash/shockwave_flash.h"
#include "playback/playback.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace zf::app {

namespace {

constexpr QSize kInitialSize(764, 551);
constexpr int kSmallestRefusedSize = 300;
const QColor kWindowColour(207, 207, 207);
const QColor kMoviePanelColour(128, 128, 128);
constexpr int kGrey = 0x808080;
constexpr int kSidePanelWidth = 226;
constexpr int kSidePanelCapOnResize = 284;
constexpr int kSidePanelCapOnDrag = 500;
constexpr int kListColumnSlack = 9;
constexpr int kStatusTimerMs = 100;

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

TFrmMain::TFrmMain(const QString& firstArgument, QWidget* parent)
    : QMainWindow(parent), m_firstArgument(firstArgument)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setBackground(this, kWindowColour);
    // The window's own context menu (tool-bar toggles) would compete with
    // the movie menus.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setMinimumSize(kSmallestRefusedSize + 1, kSmallestRefusedSize + 1);
    resize(kInitialSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    createToolBar();
    createMainMenu();
    createPopupMenus();
    createCentralArea();
    createStatusBar();
    createDialogs();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kStatusTimerMs);
    connect(Timer1, &QTimer::timeout, this, &TFrmMain::Timer1Timer);
    connect(Flash1, &flash::TShockwaveFlash::readyStateChange, this,
            &TFrmMain::Flash1ReadyStateChange);

    FormCreate(firstArgument);
}

TFrmMain::~TFrmMain() = default;

bool TFrmMain::FormCanResize(int width, int height)
{
    return width > kSmallestRefusedSize && height > kSmallestRefusedSize;
}

void TFrmMain::createToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    struct Button {
        const char* name;
        const char* hint;
        QStyle::StandardPixmap icon;
    };
    const Button buttons[] = {
        {"ToolButton1", "Exit System", QStyle::SP_DialogCloseButton},
        {nullptr, nullptr, QStyle::SP_CustomBase},
        {"TBIECache", "Open Internet Cache", QStyle::SP_DriveNetIcon},
        {"ToolButton4", "Search in direct", QStyle::SP_FileDialogContentsView},
        {"TBStop", "Stop searching", QStyle::SP_BrowserStop},
        {"ToolButton3", "Set as screen saver", QStyle::SP_ComputerIcon},
        {"ToolButton5", "Save as ...", QStyle::SP_DialogSaveButton},
        {"ToolButton6", "About", QStyle::SP_MessageBoxInformation},
    };
    for (const Button& button : buttons) {
        if (button.name == nullptr) {
            ToolBar1->addSeparator();
            continue;
        }
        QAction* action = ToolBar1->addAction(style()->standardIcon(button.icon),
                                              QString::fromLatin1(button.hint));
        action->setObjectName(QString::fromLatin1(button.name));
        action->setToolTip(QString::fromLatin1(button.hint));
        if (auto* widget = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action))) {
            widget->setFixedSize(45, 41);
            widget->setAutoRaise(true);
        }
        if (qstrcmp(button.name, "ToolButton1") == 0) {
            connect(action, &QAction::triggered, this, &TFrmMain::ToolButton1Click);
        } else if (qstrcmp(button.name, "TBStop") == 0) {
            TBStop = action;
            TBStop->setEnabled(false);
        }
        // FIXME: the searches, Save as, screen saver and About are bound to
        // these buttons when those commands are built.
    }
}

void TFrmMain::createCentralArea()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* panels = new QHBoxLayout;
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(0);
    RzSizePanel1 = new TRzSizePanel(central);
    setBackground(RzSizePanel1, palette().color(QPalette::Base));
    LvSwf = new library::MovieListView(RzSizePanel1);
    RzSizePanel1->setContent(LvSwf);
    RzSizePanel1->setPanelWidth(kSidePanelWidth);
    connect(RzSizePanel1, &TRzSizePanel::resized, this, &TFrmMain::RzSizePanel2Resize);
    connect(LvSwf, &QTableWidget::itemSelectionChanged, this, &TFrmMain::LvSwfSelectItem);

    RzSizePanel2 = new QWidget(central);
    RzSizePanel2->setObjectName(QStringLiteral("RzSizePanel2"));
    setBackground(RzSizePanel2, kMoviePanelColour);
    auto* movieLayout = new QVBoxLayout(RzSizePanel2);
    movieLayout->setContentsMargins(0, 0, 0, 0);
    Flash1 = new flash::TShockwaveFlash(RzSizePanel2);
    Flash1->setObjectName(QStringLiteral("Flash1"));
    setBackground(Flash1, kMoviePanelColour);
    movieLayout->addWidget(Flash1);
    panels->addWidget(RzSizePanel1);
    panels->addWidget(RzSizePanel2, 1);
    column->addLayout(panels, 1);

    PanBar = new QWidget(central);
    PanBar->setObjectName(QStringLiteral("PanBar"));
    PanBar->setFixedHeight(27);
    column->addWidget(PanBar);

    Panel3 = new QWidget(central);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedHeight(28);
    auto* bottom = new QHBoxLayout(Panel3);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(0);
    Label6 = new QLabel(Panel3);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setAlignment(Qt::AlignCenter);
    QFont bold = Label6->font();
    bold.setBold(true);
    Label6->setFont(bold);
    bottom->addWidget(Label6, 1);
    Panel2 = new QWidget(Panel3);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedWidth(204);
    createStripStandIn();
    bottom->addWidget(Panel2);
    column->addWidget(Panel3);

    setCentralWidget(central);
}

// Plain buttons in the strip's place, left to right as the strip orders its
// commands, until the picture-button strip replaces them.
void TFrmMain::createStripStandIn()
{
    auto* row = new QHBoxLayout(Panel2);
    row->setContentsMargins(8, 2, 8, 2);
    row->setSpacing(6);
    struct Button {
        const char* name;
        const char* hint;
        const char* glyph;
        void (TFrmMain::*handler)();
    };
    const Button buttons[] = {
        {"Label9", "Save current frame as bmp file", "\u25a4", nullptr}, // FIXME: save the frame
        {"Label1", "pause/play", "\u25b6", &TFrmMain::Label2Click},
        {"Label2", "Play next flash", "\u25b6|", &TFrmMain::Label6DblClick},
        {"Label3", "stop current flash", "\u25a0", &TFrmMain::Label3Click},
        {"Label4", "Jump to appointed frame", "\u21b0", &TFrmMain::Label4Click},
        {"Label5", "Open flash file", "\u23cf", &TFrmMain::Image16Click},
    };
    for (const Button& button : buttons) {
        auto* widget = new QToolButton(Panel2);
        widget->setObjectName(QString::fromLatin1(button.name));
        widget->setToolTip(QString::fromLatin1(button.hint));
        widget->setText(QString::fromUtf8(button.glyph));
        widget->setAutoRaise(true);
        widget->setFixedSize(25, 18);
        if (button.handler != nullptr) {
            connect(widget, &QToolButton::clicked, this, button.handler);
        }
        row->addWidget(widget);
    }
}

void TFrmMain::createStatusBar()
{
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(true);
    statusPanel0 = new QLabel(StatusBar1);
    statusPanel0->setFixedWidth(150);
    statusPanel1 = new QLabel(StatusBar1);
    statusPanel1->setMinimumWidth(50);
    StatusBar1->addWidget(statusPanel0);
    StatusBar1->addWidget(statusPanel1, 1);
}

void TFrmMain::createDialogs()
{
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    // The toolkit's own dialog: the same on every desktop, and one that a
    // portal cannot replace by paths outside the file system.
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setNameFilters({QStringLiteral("*.swf (*.swf)"), QStringLiteral("*.* (*)")});
    OpenDialog1->setSizeGripEnabled(true);

    C1 = new QColorDialog(Qt::black, this);
    C1->setObjectName(QStringLiteral("C1"));
    C1->setOption(QColorDialog::DontUseNativeDialog);
}

QStringList TFrmMain::runOpenDialog()
{
    OpenDialog1->selectNameFilter(OpenDialog1->nameFilters().constFirst());
    if (OpenDialog1->exec() != QDialog::Accepted) {
        return {};
    }
    return OpenDialog1->selectedFiles();
}

void TFrmMain::createFrameBars()
{
    mainFrameBar = new playback::TMbar(PanBar);
    mainFrameBar->setObjectName(QStringLiteral("mainFrameBar"));
    auto* layout = new QHBoxLayout(PanBar);
    layout->setContentsMargins(2, 3, 2, 3);
    layout->addWidget(mainFrameBar);
    connectFrameBar(mainFrameBar);
    mainFrameBar->show();

    overlayFrameBar = new playback::TMbar(PanBar);
    overlayFrameBar->setObjectName(QStringLiteral("overlayFrameBar"));
    overlayFrameBar->alignToBottomOf(Flash1);
    connectFrameBar(overlayFrameBar);
    overlayFrameBar->hide();
}

void TFrmMain::connectFrameBar(playback::TMbar* bar)
{
    using playback::TMbar;
    connect(bar, &TMbar::valueChanged, this, &TFrmMain::frameBarChange);
    connect(bar, &TMbar::keyDown, this, &TFrmMain::frameBarKeyDown);
    connect(bar, &TMbar::leftButtonDown, this, &TFrmMain::frameBarLeftButtonDown);
    connect(bar, &TMbar::leftButtonUp, this, &TFrmMain::frameBarLeftButtonUp);
    // Entering a bar does nothing.
}

void TFrmMain::FormCreate(const QString& firstArgument)
{
    registerFileAssociation();
    m_hook = std::make_unique<MessageHook>(*this);
    m_playList.clear();
    // The movie control is part of this program, so showing it cannot fail
    // for want of an installed component.
    Flash1->setVisible(true);
    Flash1->setMovie(QString::fromLatin1(flash::kNoMovie));
    Flash1->Stop();
    createFrameBars();
    if (!firstArgument.isEmpty()) {
        m_state.PendingPath = firstArgument;
        Image16Click();
    }
    Flash1->BGColor(QString());
    Flash1->BackgroundColor(kGrey);
    m_state.ListFromCache = false;
}

// FIXME: register the program as the handler of .swf files at every start
// (extension ".swf", type "kwtswffile", description "Zentiq flash player",
// the program's own path as icon source and as the open command) once the
// file-association layer exists. A failure is shown and start-up goes on.
void TFrmMain::registerFileAssociation() {}

void TFrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

// Without a movie argument the side panel gets a synthesized click near its
// left edge, which is not on its size bar and so changes nothing.
void TFrmMain::FormShow()
{
    if (library::fileNamePart(m_firstArgument).isEmpty()) {
        SendMouseMessage(RzSizePanel1, 2, 200, 0);
        SendMouseMessage(RzSizePanel1, 2, 200, 3);
    }
}

void TFrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (isVisible()) {
        FormResize();
    }
}

void TFrmMain::FormResize()
{
    refreshPlay();
    if (RzSizePanel1->width() > kSidePanelCapOnResize) {
        RzSizePanel1->setPanelWidth(kSidePanelCapOnResize);
    }
}

void TFrmMain::RzSizePanel2Resize()
{
    if (RzSizePanel1->width() > kSidePanelCapOnDrag) {
        RzSizePanel1->setPanelWidth(kSidePanelCapOnDrag);
    }
    LvSwf->setColumnWidth(0, RzSizePanel1->width() - LvSwf->columnWidth(1) - kListColumnSlack);
    SendMouseMessage(Flash1, 8, 8, 0);
    SendMouseMessage(Flash1, 8, 8, 3);
}

// Keeps the playing state while making the movie repaint at its new size.
void TFrmMain::refreshPlay()
{
    const bool wasPlaying = Flash1->Playing();
    Flash1->Play();
    Flash1->setFocus();
    Flash1->setPlaying(wasPlaying);
}

void TFrmMain::closeEvent(QCloseEvent* event)
{
    Flash1->Stop();
    Timer1->stop();
    QMainWindow::closeEvent(event);
}

void TFrmMain::ToolButton1Click()
{
    close();
}

} // namespace zf::app
