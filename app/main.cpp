// zentiq: the desktop movie player. One optional argument, the movie to play.
#include "app/main_window.h"

#include <QApplication>
#include <QProxyStyle>
#include <QToolTip>

namespace {

// Hints appear a little sooner than the toolkit's default.
class HintStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay) {
            return 668;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(zf::app::kApplicationTitle));
    const QStringList arguments = QApplication::arguments();
    zf::app::TFrmMain window(arguments.value(1));
    QApplication::setStyle(new HintStyle); // the application takes ownership
    QPalette hints = QToolTip::palette();
    hints.setColor(QPalette::ToolTipBase, QColor(12, 252, 172));
    QToolTip::setPalette(hints);
    window.show();
    return QApplication::exec();
}
