// The movie list: the play list walked by Prior and Next Movie, the list view
// of movies beside the player, and the path rules both use (the .swf type
// check and the file-name part). The operations that load a row or an entry
// into the player are members of the main window and live in this folder.
#pragma once

#include <QStringList>
#include <QTableWidget>

namespace zf::library {

// Ordered full paths with a current index. Whenever the list is emptied the
// index goes back to 0; while it is not empty the index stays in range.
class PlayList {
public:
    // Empties the list and appends these paths in their order; index 0.
    void replace(const QStringList& paths);
    // Appends the path unless an entry equal to it, ignoring letter case,
    // is already there.
    void addIfAbsent(const QString& path);
    void clear();

    int count() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    int index() const { return m_index; }
    const QString& at(int index) const { return m_entries.at(index); }
    const QString& current() const { return m_entries.at(m_index); }
    const QStringList& entries() const { return m_entries; }

    // Move to the next or previous entry, wrapping around at either end.
    // Both return false and change nothing on an empty list.
    bool next();
    bool prior();

private:
    QStringList m_entries;
    int m_index = 0;
};

// The text after the last folder separator.
QString fileNamePart(const QString& path);
// True when the extension of the file-name part (from its last ".") equals
// ".SWF" once upper-cased in ASCII.
bool passesTypeCheck(const QString& path);

// The list view of movies: report view with grid lines, whole-row single
// selection and an editable caption. Every row carries a caption (column
// "File Name"), sub-item 0 (column "Total Frams", the frame count) and
// sub-item 1 (the full path, shown in no column).
class MovieListView : public QTableWidget {
    Q_OBJECT
public:
    enum class RowShape { Search, Opened };

    explicit MovieListView(QWidget* parent = nullptr);

    void appendRow(const QString& caption, int totalFrames, const QString& path, RowShape shape);
    void removeAllRows();

    QString caption(int row) const;
    QString subItem(int row, int index) const;
    RowShape shape(int row) const;
    int selectedRow() const; // -1 when none
    void selectRow(int row);
};

} // namespace zf::library
