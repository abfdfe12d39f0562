// The main window's menus: the menu bar and the two movie menus, PM (a movie
// is loaded) and PopupMenu1 (none is). Plain toolkit menus for now.
#include "app/main_window.h"

#include <QMenu>
#include <QMenuBar>

namespace zf::app {

namespace {

QAction* addItem(QMenu* menu, const char* name, const char* caption)
{
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

} // namespace

void TFrmMain::createMainMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    Open1 = addItem(file, "Open1", "&Open");
    connect(Open1, &QAction::triggered, this, &TFrmMain::Open1Click);
    addItem(file, "Save1", "&Save"); // carries no action
    file->addSeparator();
    // An exit item that did nothing would leave the user puzzled; it closes
    // the window like the tool bar's exit button.
    QAction* exit = addItem(file, "Exit1", "&Exit");
    connect(exit, &QAction::triggered, this, &TFrmMain::ToolButton1Click);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    addItem(edit, "Find1", "Find in &director");                // FIXME: folder search
    addItem(edit, "FindInternet1", "&Find in Internet buffer"); // FIXME: cache search
    MnTool = addItem(edit, "MnTool", "&Toolbar");
    MnTool->setCheckable(true);
    MnTool->setChecked(true);
    // The handler flips the check mark itself; undo the toolkit's flip first.
    connect(MnTool, &QAction::triggered, this, [this] {
        MnTool->setChecked(!MnTool->isChecked());
        MnToolClick();
    });

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    addItem(help, "About1", "&About..."); // FIXME: About window
}

void TFrmMain::createPopupMenus()
{
    PM = new QMenu(this);
    PM->setObjectName(QStringLiteral("PM"));
    N3 = addItem(PM, "N3", "&Play");
    connect(N3, &QAction::triggered, this, &TFrmMain::Label2Click);
    N4 = addItem(PM, "N4", "&Stop");
    connect(N4, &QAction::triggered, this, &TFrmMain::Label3Click);
    PM->addSeparator()->setObjectName(QStringLiteral("N20"));
    N19 = addItem(PM, "N19", "&Jump to...");
    connect(N19, &QAction::triggered, this, &TFrmMain::Label4Click);
    N21 = addItem(PM, "N21", "P&rior");
    connect(N21, &QAction::triggered, this, &TFrmMain::N21Click);
    N22 = addItem(PM, "N22", "&Next");
    connect(N22, &QAction::triggered, this, &TFrmMain::N22Click);
    PM->addSeparator()->setObjectName(QStringLiteral("N8"));
    N5 = addItem(PM, "N5", "Prior &Movie");
    connect(N5, &QAction::triggered, this, &TFrmMain::N5Click);
    N6 = addItem(PM, "N6", "Next M&ovie");
    connect(N6, &QAction::triggered, this, &TFrmMain::N6Click);
    PM->addSeparator()->setObjectName(QStringLiteral("N7"));
    ggg1 = addItem(PM, "ggg1", "&Zoom out");
    connect(ggg1, &QAction::triggered, this, &TFrmMain::ggg1Click);
    N1 = addItem(PM, "N1", "100%");
    N1->setEnabled(false);
    connect(N1, &QAction::triggered, this, &TFrmMain::N1Click);
    N17 = addItem(PM, "N17", "&Change backgroud");
    connect(N17, &QAction::triggered, this, &TFrmMain::N17Click);
    PM->addSeparator()->setObjectName(QStringLiteral("N2"));
    N10 = addItem(PM, "N10", "Open &File");
    connect(N10, &QAction::triggered, this, &TFrmMain::Image16Click);
    PM->addSeparator()->setObjectName(QStringLiteral("N11"));
    N15 = addItem(PM, "N15", "Save Current Fram");                 // FIXME: save the frame
    PopSetSave = addItem(PM, "PopSetSave", "Set as screen saver"); // FIXME: screen saver
    PM->addSeparator()->setObjectName(QStringLiteral("N16"));
    N9 = addItem(PM, "N9", "&About copyright"); // FIXME: About window

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N13 = addItem(PopupMenu1, "N13", "&Open File...");
    connect(N13, &QAction::triggered, this, &TFrmMain::Image16Click);
    N18 = addItem(PopupMenu1, "N18", "&Change background");
    connect(N18, &QAction::triggered, this, &TFrmMain::N17Click);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N14"));
    N12 = addItem(PopupMenu1, "N12", "&About  copyright"); // FIXME: About window
}

} // namespace zf::app
