#include "app/app_p.h"
#include "app/main_window.h"

#include <QInputDialog>
#include <QMessageBox>

namespace zf::app {

QString inputBox(QWidget* parent, const QString& caption, const QString& prompt,
                 const QString& defaultText)
{
    QInputDialog box(parent);
    box.setObjectName(QStringLiteral("InputBox"));
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    box.setInputMode(QInputDialog::TextInput);
    return box.exec() == QDialog::Accepted ? box.textValue() : defaultText;
}

void warningDialog(QWidget* parent, const QString& text)
{
    // The label does not break lines at a carriage return, so it is shown as
    // the line feed it stands for.
    QString shown = text;
    shown.replace(u'\r', u'\n');
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), shown, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("WarningDialog"));
    box.exec();
}

void messageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

} // namespace zf::app
