#include "tests/gui/gui_test_support.h"

#include "swf_builder.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <memory>

namespace zf::guitest {

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: the process ends with it, after the last test.
    static const QApplication* application = new QApplication(argc, argv);
    (void)application;
}

QString writeMovie(const QString& folder, const QString& name, int frames, double fps)
{
    test::SwfBuilder movie(8);
    movie.frameRate(fps).stageSize(160, 120).backgroundColor(Rgba{240, 240, 255, 255});
    test::ShapeBuilder square;
    const uint32_t fill = square.addFill(test::solidFill(Rgba{200, 40, 40, 255}));
    square.rectangle(0, 0, 400, 400, fill);
    movie.defineShape(1, square);
    for (int frame = 0; frame < frames; ++frame) {
        swf::PlaceObject place;
        place.version = 2;
        place.depth = 1;
        place.move = frame > 0;
        if (frame == 0) {
            place.characterId = 1;
        }
        place.matrix = Matrix{1, 0, 0, 1, double(frame % 100) * 20, 600};
        movie.placeObject(place).showFrame();
    }
    const test::Bytes bytes = movie.bytes();
    const QString path = folder + u'/' + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    return path;
}

QString writeText(const QString& folder, const QString& name)
{
    const QString path = folder + u'/' + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("not a movie\n");
    }
    return path;
}

void answerModal(std::function<bool(QWidget*)> handler)
{
    // Polls until a dialog that the handler takes is open, then answers once.
    auto poll = std::make_shared<std::function<void(int)>>();
    *poll = [handler, poll](int triesLeft) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && handler(modal)) {
            return;
        }
        if (triesLeft > 0) {
            QTimer::singleShot(10, [poll, triesLeft] { (*poll)(triesLeft - 1); });
        }
    };
    QTimer::singleShot(0, [poll] { (*poll)(500); });
}

void chooseFiles(const QStringList& paths)
{
    answerModal([paths](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        QStringList quoted;
        for (const QString& path : paths) {
            quoted << u'"' + path.section(u'/', -1) + u'"';
        }
        dialog->setDirectory(paths.first().section(u'/', 0, -2));
        // The typed names decide, in the order typed: no selection left in
        // the views, and no completion selecting files there.
        for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
            view->clearSelection();
        }
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            const QSignalBlocker quiet(edit);
            edit->setText(paths.size() == 1 ? paths.first().section(u'/', -1) : quoted.join(u' '));
        }
        static_cast<QDialog*>(dialog)->accept(); // accept() is public on QDialog
        return true;
    });
}

void cancelDialog()
{
    answerModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (dialog != nullptr) {
            dialog->reject();
        }
        return dialog != nullptr;
    });
}

void typeAnswer(const QString& text)
{
    answerModal([text](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        if (dialog != nullptr) {
            dialog->setTextValue(text);
            dialog->accept();
        }
        return dialog != nullptr;
    });
}

void acknowledge(QString* text)
{
    answerModal([text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box != nullptr) {
            *text = box->text();
            box->accept();
        }
        return box != nullptr;
    });
}

} // namespace zf::guitest
