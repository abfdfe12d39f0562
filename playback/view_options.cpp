// View options: zoom step and reset, the movie's background colour, and
// showing or hiding the tool bar.
#include "app/main_window.h"
#include "flash/shockwave_flash.h"

#include <QAction>
#include <QColorDialog>
#include <QToolBar>

namespace zf::app {

namespace {
constexpr int kZoomStep = 50;
constexpr int kZoomReset = 0;
} // namespace

void TFrmMain::ggg1Click()
{
    Flash1->Zoom(kZoomStep);
    N1->setEnabled(true);
}

void TFrmMain::N1Click()
{
    Flash1->Zoom(kZoomReset);
    N1->setEnabled(false);
}

// The colour dialog opens on the colour last chosen in it.
void TFrmMain::N17Click()
{
    if (C1->exec() != QDialog::Accepted) {
        return;
    }
    const QColor colour = C1->selectedColor();
    Flash1->BackgroundColor(colour.red() | (colour.green() << 8) | (colour.blue() << 16));
}

void TFrmMain::MnToolClick()
{
    if (MnTool->isChecked()) {
        ToolBar1->hide();
        MnTool->setChecked(false);
    } else {
        MnTool->setChecked(true);
        ToolBar1->show();
    }
    if (isVisible()) {
        refreshPlay();
    }
}

} // namespace zf::app
