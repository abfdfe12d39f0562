// What the user sees of the main window: opening movies, the play list and
// the list view, the status line, the frame commands, the movie menus, the
// window's size limits and the frame bars. The real widgets are driven with
// QTest events; modal boxes are answered as they open.
#include "app/app_p.h"
#include "app/main_window.h"
#include "flash/shockwave_flash.h"
#include "playback/playback.h"
#include "tests/gui/gui_test_support.h"

#include <QAction>
#include <QDialog>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zf::app {
namespace {

using namespace zf::guitest;

constexpr int kFrames = 30;

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureApplication(); }

    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_a = writeMovie(m_folder.path(), "a.swf", kFrames);
        m_b = writeMovie(m_folder.path(), "b.swf", kFrames);
        m_c = writeMovie(m_folder.path(), "c.swf", kFrames);
    }

    std::unique_ptr<TFrmMain> open(const QString& argument = {})
    {
        auto window = std::make_unique<TFrmMain>(argument);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    // The open dialog of the open handler, answered with these files.
    void openFiles(TFrmMain& window, const QStringList& files)
    {
        chooseFiles(files);
        window.Image16Click();
    }

    QTemporaryDir m_folder;
    QString m_a, m_b, m_c;
};

TEST_F(MainWindowTest, StartsEmptyWithoutArgument)
{
    auto window = open();
    EXPECT_TRUE(window->PlayList().isEmpty());
    EXPECT_EQ(window->LvSwf->rowCount(), 0);
    EXPECT_EQ(window->Flash1->Movie(), "1.sww");
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_EQ(window->state().CurrentMovieName, "i.sww");
    EXPECT_EQ(window->Label6->text(), "");
}

TEST_F(MainWindowTest, CommandLineMovieIsPlayedOnceWithoutTypeCheck)
{
    auto window = open(m_a);
    EXPECT_EQ(window->PlayList().entries(), QStringList{m_a});
    EXPECT_EQ(window->state().CurrentMovieName, "a.swf");
    EXPECT_EQ(window->state().TotalFrameCount, kFrames);
    EXPECT_EQ(window->mainFrameBar->maximum(), kFrames);
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_TRUE(window->Flash1->Playing());
    EXPECT_EQ(window->state().PendingPath, "1.sss");

    // Later uses of the open handler show the dialog; cancelling changes nothing.
    cancelDialog();
    window->Image16Click();
    EXPECT_EQ(window->Flash1->Movie(), m_a);
    EXPECT_EQ(window->PlayList().count(), 1);

    const QString notes = writeText(m_folder.path(), "notes.txt");
    auto other = open(notes);
    EXPECT_EQ(other->Flash1->Movie(), notes);
    EXPECT_EQ(other->PlayList().entries(), QStringList{notes});
}

TEST_F(MainWindowTest, MissingAndBrokenMoviesSayWhyInTheMovieArea)
{
    const QString broken = writeText(m_folder.path(), "broken.swf");
    const QString missing = m_folder.path() + "/missing.swf";
    for (const QString& path : {broken, missing}) {
        auto window = open(path);
        EXPECT_EQ(window->Flash1->Movie(), path);
        EXPECT_EQ(window->Flash1->TotalFrames(), 0);
        EXPECT_FALSE(window->Flash1->loadError().isEmpty()) << path.toStdString();
        // The reason is painted: the movie area is not one plain colour.
        const QImage shown = window->Flash1->grab().toImage();
        bool painted = false;
        for (int y = 0; y < shown.height() && !painted; ++y)
            for (int x = 0; x < shown.width() && !painted; ++x)
                painted = shown.pixel(x, y) != shown.pixel(0, 0);
        EXPECT_TRUE(painted) << path.toStdString();
    }
    auto window = open(m_a);
    EXPECT_TRUE(window->Flash1->loadError().isEmpty());
}

TEST_F(MainWindowTest, PendingPathSentinelAsArgumentShowsTheDialog)
{
    bool asked = false;
    answerModal([&asked](QWidget* modal) {
        asked = modal->objectName() == "OpenDialog1";
        static_cast<QDialog*>(modal)->reject();
        return true;
    });
    auto window = open("1.sss");
    EXPECT_TRUE(asked);
    EXPECT_EQ(window->Flash1->Movie(), "1.sww");
}

TEST_F(MainWindowTest, OpenDialogPlaysTheFirstAndKeepsTheRestInThePlayList)
{
    auto window = open();
    openFiles(*window, {m_a, m_b, m_c});
    EXPECT_EQ(window->PlayList().entries(), QStringList({m_a, m_b, m_c}));
    EXPECT_EQ(window->PlayIndex(), 0);
    EXPECT_EQ(window->Flash1->Movie(), m_a);
    EXPECT_EQ(window->state().CurrentMovieName, "a.swf");
    EXPECT_EQ(window->LvSwf->rowCount(), 0);
    EXPECT_TRUE(window->Flash1->Playing());

    // A first file of the wrong type: the message, and the old movie stays
    // loaded but stopped.
    const QString notes = writeText(m_folder.path(), "notes.txt");
    QString message;
    chooseFiles({notes});
    acknowledge(&message);
    window->Image16Click();
    EXPECT_EQ(message, "Please confire if the file type is *.swf.");
    EXPECT_EQ(window->state().CurrentMovieName, "1.sww");
    EXPECT_EQ(window->Flash1->Movie(), m_a);
    EXPECT_FALSE(window->Flash1->Playing());
    EXPECT_EQ(window->PlayList().entries(), QStringList{notes});
}

TEST_F(MainWindowTest, UpperCaseExtensionPassesTheTypeCheck)
{
    const QString clip = writeMovie(m_folder.path(), "CLIP.SWF", 5);
    auto window = open();
    openFiles(*window, {clip});
    EXPECT_EQ(window->Flash1->Movie(), clip);
    EXPECT_EQ(window->state().TotalFrameCount, 5);
}

TEST_F(MainWindowTest, PlayListWalksWithWrapAround)
{
    auto window = open();
    openFiles(*window, {m_a, m_b, m_c});
    window->N6Click();
    EXPECT_EQ(window->Flash1->Movie(), m_b);
    window->N6Click();
    window->N6Click();
    EXPECT_EQ(window->PlayIndex(), 0);
    EXPECT_EQ(window->Flash1->Movie(), m_a);
    window->N5Click();
    EXPECT_EQ(window->PlayIndex(), 2);
    EXPECT_EQ(window->Flash1->Movie(), m_c);
    EXPECT_EQ(window->state().CurrentMovieName, "c.swf");

    // A wrong-type entry reached by walking discards the whole play list.
    const QString notes = writeText(m_folder.path(), "notes.txt");
    openFiles(*window, {m_a, notes});
    QString message;
    acknowledge(&message);
    window->N6Click();
    EXPECT_EQ(message, "Please confire if the file type is *.swf");
    EXPECT_TRUE(window->PlayList().isEmpty());
    EXPECT_EQ(window->PlayIndex(), 0);
    EXPECT_EQ(window->state().CurrentMovieName, "1.sww");
    EXPECT_FALSE(window->Flash1->Playing());
}

TEST_F(MainWindowTest, FileOpenListsRowsAndTheSelectionEmptiesThePlayList)
{
    auto window = open();
    chooseFiles({m_a, m_b});
    window->Open1->trigger();
    library::MovieListView& list = *window->LvSwf;
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.caption(0), m_a);
    EXPECT_EQ(list.subItem(1, 0), QString::number(kFrames));
    EXPECT_EQ(list.subItem(1, 1), m_b);
    EXPECT_EQ(list.selectedRow(), 0);
    EXPECT_TRUE(window->PlayList().isEmpty());
    EXPECT_EQ(window->statusPanel1->text(), m_a);
    EXPECT_EQ(window->state().CurrentMovieName, m_a);
    EXPECT_EQ(window->Flash1->Movie(), m_a);

    // Editing a caption does not change what the select operation plays.
    list.item(1, 0)->setText("edited");
    list.selectRow(1);
    EXPECT_EQ(window->Flash1->Movie(), m_b);

    // Losing the selection empties the play list and plays nothing new.
    openFiles(*window, {m_a, m_c});
    ASSERT_EQ(window->PlayList().count(), 2);
    list.clearSelection();
    EXPECT_TRUE(window->PlayList().isEmpty());
    EXPECT_EQ(window->Flash1->Movie(), m_a);
}

TEST_F(MainWindowTest, StatusLineCountsAndMarksAPauseOnlyWhenTheTextChanges)
{
    auto window = open();
    chooseFiles({m_a, m_b});
    window->Open1->trigger();
    window->Flash1->StopPlay();
    ASSERT_TRUE(window->Flash1->GotoFrame(5).ok());
    window->Timer1Timer();
    EXPECT_EQ(window->Label6->text(), "Flash:(1/2)   frame:(30/5)<pause>");
    window->Timer1Timer();
    EXPECT_EQ(window->Label6->text(), "Flash:(1/2)   frame:(30/5)<pause>");
    EXPECT_EQ(window->mainFrameBar->value(), 5);

    // Written while playing, the same text keeps no marker after a pause.
    window->Label6->setText("Flash:(1/2)   frame:(30/5)");
    window->Timer1Timer();
    EXPECT_EQ(window->Label6->text(), "Flash:(1/2)   frame:(30/5)");

    window->Flash1->Play();
    ASSERT_TRUE(window->Flash1->GotoFrame(9).ok());
    window->Timer1Timer();
    EXPECT_FALSE(window->Label6->text().endsWith("<pause>"))
        << window->Label6->text().toStdString();

    window->LvSwf->clearSelection();
    window->Timer1Timer();
    EXPECT_TRUE(window->Label6->text().startsWith("Flash:(1/1)  frame:(30/"));

    window->Label3Click();
    EXPECT_EQ(window->Label6->text(), "Stop playing");
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_EQ(window->LvSwf->rowCount(), 2);
    EXPECT_EQ(window->Flash1->Movie(), "1.sww");
}

TEST_F(MainWindowTest, FrameCommandsFollowTheNumberRule)
{
    auto window = open(m_a);
    window->Flash1->StopPlay();
    struct Step {
        void (TFrmMain::*command)();
        const char* answer;
        int expectedFrame;   // -1: unchanged
        const char* warning; // nullptr: none
    };
    const Step steps[] = {
        {&TFrmMain::Label4Click, "$3", 3, nullptr},
        {&TFrmMain::Label4Click, " 7", 7, nullptr},
        {&TFrmMain::Label4Click, "7 ", -1, "\nPlease input number."},
        {&TFrmMain::Label4Click, "abc", -1, "\nPlease input number."},
        {&TFrmMain::Label4Click, "999", -1, "\nJumping error!"},
        {&TFrmMain::N21Click, "2", 9, nullptr},
        {&TFrmMain::N21Click, "0x1", 10, nullptr},
        {&TFrmMain::N22Click, "4", 6, nullptr},
        {&TFrmMain::N22Click, "x", -1, "\nPlease input number!"},
        {&TFrmMain::N22Click, "100", -1, "\nJumping error!"},
        {&TFrmMain::N21Click, "2147483647", -1, "\nJumping error!"},
    };
    for (const Step& step : steps) {
        const int before = window->Flash1->FrameNum();
        QString warning;
        typeAnswer(QString::fromUtf8(step.answer));
        if (step.warning != nullptr) {
            acknowledge(&warning);
        }
        (window.get()->*step.command)();
        EXPECT_EQ(window->Flash1->FrameNum(), step.expectedFrame < 0 ? before : step.expectedFrame)
            << step.answer;
        EXPECT_FALSE(window->Flash1->Playing()) << step.answer;
        if (step.warning != nullptr) {
            EXPECT_EQ(warning, step.warning) << step.answer;
        }
    }
}

TEST_F(MainWindowTest, FrameCommandsWithoutMovie)
{
    auto window = open();
    // Jump does nothing without a movie; frames forward still asks.
    QString caption, prompt;
    answerModal([&](QWidget* modal) {
        auto* box = qobject_cast<QInputDialog*>(modal);
        if (box == nullptr) {
            return false;
        }
        caption = box->windowTitle();
        prompt = box->labelText();
        box->reject();
        return true;
    });
    window->Label4Click();
    EXPECT_TRUE(prompt.isEmpty());
    window->N21Click();
    EXPECT_EQ(caption, "Frame");
    EXPECT_EQ(prompt, QString::fromUtf8("Please input the number of frame to jump\xEF\xBC\x9A"));
    EXPECT_EQ(window->Flash1->Movie(), "1.sww");
}

TEST_F(MainWindowTest, RightClickOpensTheMenuThatFitsTheState)
{
    auto window = open();
    QTest::mousePress(window->Flash1, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_TRUE(window->PopupMenu1->isVisible());
    EXPECT_FALSE(window->PM->isVisible());
    window->PopupMenu1->hide();
    QTest::mouseRelease(window->Flash1, Qt::RightButton, {}, QPoint(20, 20));

    openFiles(*window, {m_a, m_b});
    QTest::mousePress(window->Flash1, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_TRUE(window->PM->isVisible());
    EXPECT_EQ(window->N3->text(), "&Pause");
    EXPECT_TRUE(window->N5->isEnabled());
    EXPECT_TRUE(window->N6->isEnabled());
    window->PM->hide();
    QTest::mouseRelease(window->Flash1, Qt::RightButton, {}, QPoint(20, 20));

    window->Flash1->StopPlay();
    window->AddFoundMovie(m_c);
    window->LvSwf->selectRow(0); // the select operation empties the play list
    window->Flash1->StopPlay();
    QTest::mousePress(window->Flash1, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_EQ(window->N3->text(), "playing");
    EXPECT_FALSE(window->N5->isEnabled());
    EXPECT_FALSE(window->N6->isEnabled());
    window->PM->hide();
    QTest::mouseRelease(window->Flash1, Qt::RightButton, {}, QPoint(20, 20));
}

TEST_F(MainWindowTest, SizeLimitsOfTheWindowAndTheSidePanel)
{
    EXPECT_FALSE(TFrmMain::FormCanResize(300, 500));
    EXPECT_FALSE(TFrmMain::FormCanResize(500, 300));
    EXPECT_TRUE(TFrmMain::FormCanResize(301, 301));

    auto window = open();
    window->resize(250, 250);
    EXPECT_GE(window->width(), 301);
    EXPECT_GE(window->height(), 301);
    window->resize(900, 600);

    TRzSizePanel& panel = *window->RzSizePanel1;
    EXPECT_EQ(panel.width(), 226);
    // Dragging the size bar, away from the hot spot.
    const QPoint grip(panel.width() - 3, 10);
    QTest::mousePress(&panel, Qt::LeftButton, {}, grip);
    QTest::mouseMove(&panel, grip + QPoint(400, 0));
    QTest::mouseRelease(&panel, Qt::LeftButton, {}, grip + QPoint(400, 0));
    EXPECT_EQ(panel.width(), 500);
    EXPECT_EQ(window->LvSwf->columnWidth(0), 500 - 80 - 9);

    window->resize(901, 600);
    EXPECT_EQ(panel.width(), 284);

    // The hot spot collapses the panel and restores it.
    QTest::mouseClick(&panel, Qt::LeftButton, {}, panel.hotSpotRect().center());
    EXPECT_EQ(panel.width(), TRzSizePanel::kSizeBarWidth);
    QTest::mouseClick(&panel, Qt::LeftButton, {}, panel.hotSpotRect().center());
    EXPECT_EQ(panel.width(), 284);
}

QPoint thumbCentre(playback::TMbar& bar)
{
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = Qt::Horizontal;
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.value();
    option.sliderValue = bar.value();
    return bar.style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &bar)
        .center();
}

TEST_F(MainWindowTest, DraggingAFrameBarPausesSeeksAndResumes)
{
    auto window = open(m_a);
    playback::TMbar& bar = *window->mainFrameBar;
    for (const bool playing : {true, false}) {
        window->Flash1->setPlaying(playing);
        (void)window->Flash1->GotoFrame(0);
        bar.setValue(0);
        const QPoint start = thumbCentre(bar);
        QTest::mousePress(&bar, Qt::LeftButton, {}, start);
        EXPECT_FALSE(window->Flash1->Playing());
        const QPoint end(bar.width() / 2, start.y());
        QTest::mouseMove(&bar, end);
        EXPECT_GT(bar.value(), 0);
        EXPECT_EQ(window->Flash1->FrameNum(), bar.value());
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, end);
        EXPECT_EQ(window->Flash1->Playing(), playing);
    }
}

TEST_F(MainWindowTest, PlayNextFlashWalksDownWithoutWrapping)
{
    auto window = open();
    window->AddFoundMovie(m_a);
    EXPECT_EQ(window->LvSwf->caption(0), "a.swf");
    EXPECT_EQ(window->LvSwf->subItem(0, 0), QString::number(kFrames));
    window->Label6DblClick(); // one row: nothing
    EXPECT_EQ(window->Flash1->Movie(), "1.sww");

    window->AddFoundMovie(m_b);
    window->Label6DblClick(); // nothing selected: the first row
    EXPECT_EQ(window->LvSwf->selectedRow(), 0);
    EXPECT_EQ(window->Flash1->Movie(), m_a);
    // Enter on a frame bar is the same command.
    window->mainFrameBar->setFocus();
    QTest::keyClick(window->mainFrameBar, Qt::Key_Return);
    EXPECT_EQ(window->LvSwf->selectedRow(), 1);
    EXPECT_EQ(window->Flash1->Movie(), m_b);
    EXPECT_EQ(window->state().CurrentMovieName, "b.swf");
    window->Label6DblClick(); // the last row: no wrap-around
    EXPECT_EQ(window->LvSwf->selectedRow(), 1);
}

TEST_F(MainWindowTest, ViewOptionsKeepThePlayingState)
{
    auto window = open(m_a);
    EXPECT_FALSE(window->N1->isEnabled());
    window->ggg1Click();
    window->ggg1Click();
    EXPECT_TRUE(window->N1->isEnabled());
    window->N1Click();
    EXPECT_FALSE(window->N1->isEnabled());
    EXPECT_DOUBLE_EQ(window->Flash1->zoomScale(), 1.0);

    window->Flash1->StopPlay();
    window->MnTool->trigger();
    EXPECT_FALSE(window->ToolBar1->isVisible());
    EXPECT_FALSE(window->MnTool->isChecked());
    EXPECT_FALSE(window->Flash1->Playing());
    window->Flash1->Play();
    window->MnTool->trigger();
    EXPECT_TRUE(window->ToolBar1->isVisible());
    EXPECT_TRUE(window->Flash1->Playing());
}

// Records the mouse events it receives.
class MouseRecorder : public QWidget {
public:
    struct Received {
        QEvent::Type type;
        Qt::MouseButton button;
        QPoint at;
        bool operator==(const Received&) const = default;
    };
    std::vector<Received> received;

protected:
    void mousePressEvent(QMouseEvent* event) override { record(event); }
    void mouseReleaseEvent(QMouseEvent* event) override { record(event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { record(event); }

private:
    void record(QMouseEvent* event)
    {
        received.push_back({event->type(), event->button(), event->position().toPoint()});
    }
};

TEST(SendMouseMessage, EachKindDeliversItsEventAtOnce)
{
    ensureApplication();
    using Received = MouseRecorder::Received;
    const std::pair<int, Received> kinds[] = {
        {0, {QEvent::MouseButtonPress, Qt::LeftButton, {2, 200}}},
        {1, {QEvent::MouseButtonPress, Qt::RightButton, {2, 200}}},
        {2, {QEvent::MouseButtonPress, Qt::MiddleButton, {2, 200}}},
        {3, {QEvent::MouseButtonRelease, Qt::LeftButton, {2, 200}}},
        {4, {QEvent::MouseButtonRelease, Qt::RightButton, {2, 200}}},
        {5, {QEvent::MouseButtonRelease, Qt::MiddleButton, {2, 200}}},
        {6, {QEvent::MouseButtonDblClick, Qt::LeftButton, {2, 200}}},
        {7, {QEvent::MouseButtonDblClick, Qt::RightButton, {2, 200}}},
        {8, {QEvent::MouseButtonDblClick, Qt::MiddleButton, {2, 200}}},
    };
    for (const auto& [kind, expected] : kinds) {
        MouseRecorder target;
        SendMouseMessage(&target, 2, 200, kind);
        ASSERT_EQ(target.received.size(), 1u) << kind;
        EXPECT_EQ(target.received.front(), expected) << kind;
    }
    MouseRecorder target;
    for (const int kind : {-1, 9, 200}) {
        SendMouseMessage(&target, 2, 200, kind);
    }
    SendMouseMessage(nullptr, 2, 200, 0);
    EXPECT_TRUE(target.received.empty());
}

TEST_F(MainWindowTest, DoubleClickOnTheMovieTogglesMaximised)
{
    auto window = open(m_a);
    QTest::mouseDClick(window->Flash1, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_TRUE(window->isMaximized());
    window->overlayFrameBar->show();
    QTest::mouseDClick(window->Flash1, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_FALSE(window->isMaximized());
    EXPECT_FALSE(window->overlayFrameBar->isVisible());
}

} // namespace
} // namespace zf::app
