#pragma once

#include <QWidget>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/qt/DialogUnits.h"
#include "res/DialogTemplate.h"

// A template's table (res::ControlKind::kTable) as a QTableWidget: whole rows selected, several
// at once; cells that cannot be edited; the column titles from the template's list. A screen
// reader reads it as a table, cell by cell under their column titles.
namespace vexlo::platform::qt {

QWidget* CreateTable(const res::ControlTemplate& control, BaseUnits units, QWidget* parent);

void SetTableRowCount(QWidget* table, std::size_t rows);
/// The texts (UTF-8) of one row's cells; a cell whose text is cut shows the whole as its tip.
void SetTableRow(QWidget* table, std::size_t row, const std::vector<std::string>& cells);
std::vector<std::size_t> SelectedTableRows(const QWidget* table);
void SelectTableRows(QWidget* table, const std::vector<std::size_t>& rows);

}  // namespace vexlo::platform::qt
