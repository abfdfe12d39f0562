// Helpers for the GUI tests: the application object, fixture movies written
// with the SWF builder, and answering the modal boxes the commands open.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace zf::guitest {

// Creates the application once (offscreen under ctest).
void ensureApplication();

// Writes a movie of this many frames (a moving square) into the folder and
// returns its full path.
QString writeMovie(const QString& folder, const QString& name, int frames, double fps = 12);
// Writes a file that is no movie.
QString writeText(const QString& folder, const QString& name);

// Offers each modal dialog that opens to `handler` until it takes one
// (returns true). Call it before the command that opens the dialog.
void answerModal(std::function<bool(QWidget*)> handler);

// Ready-made answers.
void chooseFiles(const QStringList& paths); // the open dialog: choose these files
void cancelDialog();                        // any dialog: cancel / close it
void typeAnswer(const QString& text);       // the "Frame" input box
void acknowledge(QString* text);            // a message box: record its text, press OK

} // namespace zf::guitest
