#include "widgets/grid/GridAccessible.h"

#include "widgets/grid/GridRowItem.h"
#include "widgets/grid/SubGridCtrl.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <map>
#include <utility>

namespace qmx::grid {
namespace {

// One cell, found by its row and column in the list as it is now: the text
// and states are read from the grid at each call.
class GridCellAccessible : public QAccessibleInterface,
                           public QAccessibleTableCellInterface,
                           public QAccessibleActionInterface {
public:
  GridCellAccessible(SubGridCtrl* grid, int row, int column) : grid_(grid), row_(row), column_(column) {}

  bool isValid() const override {
    return grid_ && row_ >= 0 && row_ < grid_->GetItemCount() && column_ >= 0 && column_ < grid_->GetColumnCount();
  }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return table(); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }

  QString text(QAccessible::Text t) const override {
    const GridRowItem* row = isValid() ? grid_->GetRowItem(grid_->GetTreeItem(row_)) : nullptr;
    if (!row) return {};
    switch (t) {
      case QAccessible::Name:
      case QAccessible::Value:
        return QString::fromStdString(column_ == 0 ? row->firstText : row->GetColumnText(column_ - 1));
      case QAccessible::Description:
        return column_ == 0 ? QString() : QString::fromStdString(row->GetHintText(column_ - 1)).trimmed();
      default: return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!isValid()) return {};
    const QRect cell = grid_->GetCellRect(row_, column_);
    return QRect(grid_->viewport()->mapToGlobal(cell.topLeft()), cell.size());
  }
  QAccessible::Role role() const override { return QAccessible::Cell; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    const GridTreeItem* item = grid_->GetTreeItem(row_);
    s.selectable = true;
    s.focusable = true;
    s.selected = isSelected();
    s.focused = s.selected && grid_->hasFocus() && grid_->GetFocusedColumn() == column_;
    s.readOnly = !grid_->Model().IsColumnEditable(column_) || item->rowItem->readOnly != 0;
    if (column_ == 0 && item->HasChildren()) {
      s.expandable = true;
      s.expanded = item->collapsed == 0;
      s.collapsed = item->collapsed != 0;
    }
    const QRect visible = grid_->viewport()->rect();
    s.offscreen = !visible.intersects(grid_->GetCellRect(row_, column_));
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
    if (t == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
  }

  // Table cell.
  bool isSelected() const override { return isValid() && grid_->GetSelectedRow() == row_; }
  QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
  QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
  int columnIndex() const override { return column_; }
  int rowIndex() const override { return row_; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override {
    return grid_ ? QAccessible::queryAccessibleInterface(grid_.data()) : nullptr;
  }

  // Actions: focus the cell (selects its row), open its editor, open or
  // close its branch.
  QStringList actionNames() const override {
    QStringList names;
    if (!isValid()) return names;
    names << setFocusAction();
    const GridRowItem* row = grid_->GetTreeItem(row_)->rowItem.get();
    if (!state().readOnly || (column_ > 0 && row->GetCellKind(column_ - 1, nullptr))) names << pressAction();
    if (column_ == 0 && grid_->GetTreeItem(row_)->HasChildren()) names << toggleAction();
    return names;
  }
  void doAction(const QString& name) override {
    if (!isValid()) return;
    if (name == setFocusAction() || name == pressAction()) {
      grid_->setFocus(Qt::OtherFocusReason);
      grid_->SetSelectedRow(row_);
      grid_->SetFocusedColumn(column_);
      grid_->EnsureVisible(row_);
      grid_->EnsureColumnVisible(column_);
      if (name == pressAction() && isValid()) grid_->OpenCellEditor(row_, column_);
    } else if (name == toggleAction() && column_ == 0) {
      grid_->ToggleBranch(row_);
    }
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
  QPointer<SubGridCtrl> grid_;
  int row_;
  int column_;
};

// The grid as a table of its shown rows and columns.
class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
  explicit GridAccessible(SubGridCtrl* grid) : QAccessibleWidget(grid, QAccessible::Table) {}
  ~GridAccessible() override { DropCells(); }

  SubGridCtrl* Grid() const { return static_cast<SubGridCtrl*>(widget()); }

  int childCount() const override { return rowCount() * columnCount(); }
  QAccessibleInterface* child(int index) const override {
    const int columns = columnCount();
    if (index < 0 || columns == 0) return nullptr;
    return cellAt(index / columns, index % columns);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (!cell || !child->isValid() || cell->table() != this) return -1;
    return cell->rowIndex() * columnCount() + cell->columnIndex();
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    SubGridCtrl* grid = Grid();
    const QPoint local = grid->viewport()->mapFromGlobal(QPoint(x, y));
    if (!grid->viewport()->rect().contains(local)) return nullptr;
    const GridHitTest hit = grid->HitTest(local);
    return cellAt(hit.row, hit.column);
  }
  QAccessibleInterface* focusChild() const override {
    SubGridCtrl* grid = Grid();
    // An open in-place editor holds the focus inside the grid.
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus != grid && grid->isAncestorOf(focus)) return QAccessible::queryAccessibleInterface(focus);
    if (!grid->hasFocus()) return nullptr;
    return cellAt(grid->GetSelectedRow(), grid->GetFocusedColumn());
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  // Table.
  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
    const auto key = std::make_pair(row, column);
    auto it = cells_.find(key);
    if (it != cells_.end()) return QAccessible::accessibleInterface(it->second);
    auto* cell = new GridCellAccessible(Grid(), row, column);
    cells_[key] = QAccessible::registerAccessibleInterface(cell);
    return cell;
  }
  int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
  QList<QAccessibleInterface*> selectedCells() const override {
    QList<QAccessibleInterface*> cells;
    const int row = Grid()->GetSelectedRow();
    if (row >= 0)
      for (int c = 0; c < columnCount(); ++c) cells << cellAt(row, c);
    return cells;
  }
  QString columnDescription(int column) const override { return QString::fromStdString(Grid()->GetColumnTitle(column)); }
  QString rowDescription(int row) const override {
    const GridRowItem* item = Grid()->GetRowItem(Grid()->GetTreeItem(row));
    return item ? QString::fromStdString(item->firstText) : QString();
  }
  int selectedColumnCount() const override { return 0; }
  int selectedRowCount() const override { return Grid()->GetSelectedRow() >= 0 ? 1 : 0; }
  int columnCount() const override { return Grid()->GetColumnCount(); }
  int rowCount() const override { return Grid()->GetItemCount(); }
  QList<int> selectedColumns() const override { return {}; }
  QList<int> selectedRows() const override {
    const int row = Grid()->GetSelectedRow();
    return row >= 0 ? QList<int>{row} : QList<int>{};
  }
  bool isColumnSelected(int) const override { return false; }
  bool isRowSelected(int row) const override { return row >= 0 && Grid()->GetSelectedRow() == row; }
  bool selectRow(int row) override {
    if (row < 0 || row >= rowCount()) return false;
    Grid()->SetSelectedRow(row);
    Grid()->EnsureVisible(row);
    return true;
  }
  // One row is always the selection: columns are not selected, and a row is
  // unselected only by selecting another.
  bool selectColumn(int) override { return false; }
  bool unselectRow(int) override { return false; }
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent*) override { DropCells(); }

private:
  void DropCells() const {
    for (const auto& [key, id] : cells_) QAccessible::deleteAccessibleInterface(id);
    cells_.clear();
  }

  mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};

QAccessibleInterface* GridFactory(const QString&, QObject* object) {
  if (auto* grid = qobject_cast<SubGridCtrl*>(object)) return new GridAccessible(grid);
  return nullptr;
}

}  // namespace

void InstallGridAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&GridFactory);
    return true;
  }();
  (void)installed;
}

void NotifyGridFocus(SubGridCtrl* grid) {
  if (!QAccessible::isActive() || !grid->hasFocus()) return;
  const int row = grid->GetSelectedRow();
  if (row < 0) return;
  QAccessibleEvent event(grid, QAccessible::Focus);
  event.setChild(row * grid->GetColumnCount() + grid->GetFocusedColumn());
  QAccessible::updateAccessibility(&event);
}

void NotifyGridRowsChanged(SubGridCtrl* grid) {
  if (!QAccessible::isActive() || !grid->isVisible()) return;
  QAccessibleTableModelChangeEvent event(grid, QAccessibleTableModelChangeEvent::ModelReset);
  QAccessible::updateAccessibility(&event);
}

}  // namespace qmx::grid
