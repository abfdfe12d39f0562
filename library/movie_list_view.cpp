#include "library/library.h"

#include <QHeaderView>

namespace zf::library {

namespace {
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kShapeRole = Qt::UserRole + 2;
constexpr int kFileNameWidth = 150;
constexpr int kTotalFramesWidth = 80;
} // namespace

MovieListView::MovieListView(QWidget* parent) : QTableWidget(0, 2, parent)
{
    setObjectName(QStringLiteral("LvSwf"));
    setHorizontalHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Total Frams")});
    setColumnWidth(0, kFileNameWidth);
    setColumnWidth(1, kTotalFramesWidth);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setWordWrap(false);
    // In-place editing of the caption: F2, or a click on the selected row.
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
}

void MovieListView::appendRow(const QString& caption, int totalFrames, const QString& path,
                              RowShape shape)
{
    const int row = rowCount();
    insertRow(row);
    auto captionItem = std::make_unique<QTableWidgetItem>(caption);
    captionItem->setData(kShapeRole, int(shape));
    auto framesItem = std::make_unique<QTableWidgetItem>(QString::number(totalFrames));
    framesItem->setFlags(framesItem->flags() & ~Qt::ItemIsEditable);
    framesItem->setData(kPathRole, path);
    setItem(row, 0, captionItem.release()); // the table owns its items
    setItem(row, 1, framesItem.release());
}

void MovieListView::removeAllRows()
{
    setRowCount(0);
}

QString MovieListView::caption(int row) const
{
    const QTableWidgetItem* cell = item(row, 0);
    return cell != nullptr ? cell->text() : QString();
}

QString MovieListView::subItem(int row, int index) const
{
    const QTableWidgetItem* cell = item(row, 1);
    if (cell == nullptr) {
        return {};
    }
    return index == 0 ? cell->text() : cell->data(kPathRole).toString();
}

MovieListView::RowShape MovieListView::shape(int row) const
{
    const QTableWidgetItem* cell = item(row, 0);
    return cell != nullptr && cell->data(kShapeRole).toInt() == int(RowShape::Opened)
               ? RowShape::Opened
               : RowShape::Search;
}

int MovieListView::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MovieListView::selectRow(int row)
{
    setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace zf::library
