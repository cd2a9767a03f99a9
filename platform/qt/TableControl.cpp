#include "platform/qt/TableControl.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableWidget>
#include <algorithm>

#include "platform/qt/DialogUnits.h"

namespace vexlo::platform::qt {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QTableWidget* AsTable(QWidget* widget) {
  return qobject_cast<QTableWidget*>(widget);
}

}  // namespace

QWidget* CreateTable(const res::ControlTemplate& control, BaseUnits units, QWidget* parent) {
  auto* table = new QTableWidget(0, static_cast<int>(control.list.size()), parent);
  QStringList titles;
  for (std::string_view title : control.list) titles << ToQString(title);
  table->setHorizontalHeaderLabels(titles);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setTabKeyNavigation(false);  // Tab leaves the table for the buttons
  table->setWordWrap(false);
  table->setTextElideMode(Qt::ElideMiddle);  // a path keeps its start and its file name
  table->setShowGrid(false);
  table->verticalHeader()->setVisible(false);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
  // The columns as wide as the template says, the last one taking what is left: a cut cell
  // shows its whole text as its tip.
  for (std::size_t column = 0; column < control.widths.size(); ++column) {
    const int width = ToPixels({0, 0, control.widths[column], 0}, units).width();
    table->setColumnWidth(static_cast<int>(column), width);
  }
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

void SetTableRowCount(QWidget* widget, std::size_t rows) {
  if (QTableWidget* table = AsTable(widget)) table->setRowCount(static_cast<int>(rows));
}

void SetTableRow(QWidget* widget, std::size_t row, const std::vector<std::string>& cells) {
  QTableWidget* table = AsTable(widget);
  if (table == nullptr || row >= static_cast<std::size_t>(table->rowCount())) return;
  const int columns = std::min(table->columnCount(), static_cast<int>(cells.size()));
  for (int column = 0; column < columns; ++column) {
    const QString text = ToQString(cells[static_cast<std::size_t>(column)]);
    QTableWidgetItem* item = table->item(static_cast<int>(row), column);
    if (item == nullptr) {
      item = new QTableWidgetItem;
      table->setItem(static_cast<int>(row), column, item);
    }
    if (item->text() == text) continue;
    item->setText(text);
    item->setToolTip(text);
  }
}

std::vector<std::size_t> SelectedTableRows(const QWidget* widget) {
  std::vector<std::size_t> rows;
  const auto* table = qobject_cast<const QTableWidget*>(widget);
  if (table == nullptr) return rows;
  for (const QModelIndex& index : table->selectionModel()->selectedRows()) {
    rows.push_back(static_cast<std::size_t>(index.row()));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

void SelectTableRows(QWidget* widget, const std::vector<std::size_t>& rows) {
  QTableWidget* table = AsTable(widget);
  if (table == nullptr) return;
  QItemSelection selection;
  for (std::size_t row : rows) {
    if (row >= static_cast<std::size_t>(table->rowCount())) continue;
    const QModelIndex index = table->model()->index(static_cast<int>(row), 0);
    selection.select(index, index);
  }
  table->selectionModel()->select(
      selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace vexlo::platform::qt
