// The row logic of the tree grid, free of any toolkit: the tree of items, the
// flattened list of shown rows, the selection, the focused column, the moves
// of branches and the decisions of the editing keys. The tree-grid widget
// paints this model and feeds it mouse and key input.
#pragma once

#include "widgets/grid/GridRowItem.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qmx::grid {

// One item of the hierarchy, shown as a row or not. Created and owned by the
// model; the pointer identifies the item for as long as it exists.
struct GridTreeItem {
  std::vector<std::unique_ptr<GridTreeItem>> children;  // in display order
  GridTreeItem* parent = nullptr;                       // null for a top-level item
  std::unique_ptr<GridRowItem> rowItem;
  int collapsed = 0;   // 1: the children are not shown
  int rowIndex = -1;   // last row that showed the item, -1 while never shown
  int level = 1;       // 1 for a top-level item
  std::uint64_t serial = 0;  // unique over the model's life: tells a live item from a reused address

  bool HasChildren() const { return !children.empty(); }
};

class GridTreeModel {
public:
  // Called whenever a row becomes selected that was not selected before.
  using SelectionListener = std::function<void(int row)>;

  GridTreeModel();
  ~GridTreeModel();
  GridTreeModel(const GridTreeModel&) = delete;
  GridTreeModel& operator=(const GridTreeModel&) = delete;

  void SetSelectionListener(SelectionListener listener) { listener_ = std::move(listener); }

  // A top-level item with a row appended at the end (null: an empty row item).
  GridTreeItem* InsertRootItem(std::unique_ptr<GridRowItem> rowItem);
  // A child appended to `parent`. show 0: no row, the parent is collapsed.
  // show 1: the row is shown at once when the parent is shown and expanded.
  GridTreeItem* InsertChildItem(GridTreeItem* parent, std::unique_ptr<GridRowItem> rowItem, int show);

  // Expands a collapsed item with children: its children's rows appear
  // directly below it. Returns the last row used (the item's row when nothing
  // was inserted, -1 for an item that is not shown).
  int Expand(GridTreeItem* item);
  // Collapses an expanded item: every expanded descendant is marked
  // collapsed and the rows below the item go.
  void Collapse(GridTreeItem* item);
  // Expands the item and every descendant with children; the last row used.
  int ExpandBranch(GridTreeItem* item);
  // Shows the item (expanding its ancestors from the top down) and selects
  // its row; returns the row or -1.
  int SelectItem(GridTreeItem* item);
  // Removes the item with its branch and their rows. When the item's row was
  // not row 0, the row now at that index (or the one above) becomes selected.
  void DeleteItem(GridTreeItem* item);
  void DeleteAllItems();

  // Moves a dragged branch below a target (see CanDrop). The branch becomes
  // the target's last child, its sub-branches collapsed; it is shown at once
  // when the target is expanded; the target row is then selected.
  bool MoveBranch(GridTreeItem* source, GridTreeItem* target);
  // False when there is no source or target, the target is the source or one
  // of its descendants, the source is a top-level item or the target is the
  // source's parent.
  bool CanDrop(const GridTreeItem* source, const GridTreeItem* target) const;

  int GetTotalItemCount() const;
  int RowCount() const { return static_cast<int>(rows_.size()); }
  GridTreeItem* GetTreeItem(int row) const;
  static GridRowItem* GetRowItem(const GridTreeItem* item) { return item ? item->rowItem.get() : nullptr; }
  int GetRowIndex(const GridTreeItem* item) const;
  bool IsRootItem(const GridTreeItem* item) const;
  const std::vector<std::unique_ptr<GridTreeItem>>& TopLevelItems() const { return roots_; }
  // Visits every item in pre-order (each top-level item, then its
  // descendants); stops when the visitor returns true and gives that item.
  GridTreeItem* FindPreOrder(const std::function<bool(GridTreeItem*)>& visitor) const;
  // True when `item` is an item of this model (it is then safe to read) and,
  // with a serial other than 0, still the item that had that serial.
  bool Contains(const GridTreeItem* item, std::uint64_t serial = 0) const;
  // True when `item` is `ancestor` or lies below it.
  static bool IsInBranch(const GridTreeItem* item, const GridTreeItem* ancestor);

  // Selection (single row). Selecting the selected row again tells nobody.
  int SelectedRow() const;
  GridTreeItem* SelectedItem() const;
  void SelectRow(int row);  // out of range: nothing selected

  // Columns: one read-only flag per column (0 editable); a column beyond the
  // list counts as read-only.
  void AppendColumn(std::uint16_t readOnly) { columnReadOnly_.push_back(readOnly); }
  int ColumnCount() const { return static_cast<int>(columnReadOnly_.size()); }
  bool IsColumnEditable(int column) const;

  // The focused column (display position; the grid's columns do not move).
  int FocusedColumn() const { return focusedColumn_; }
  void SetFocusedColumn(int column);
  // Left (-1) or right (+1): false when the focus already is at that limit.
  bool MoveFocusedColumn(int delta);

  // A typed character on the focused cell.
  enum class CharAction { kNotHandled, kSwallow, kOpenEditor };
  CharAction DecideTypedChar(char32_t ch) const;
  // Return on the focused cell after the owner's hook declined it.
  enum class ReturnAction { kNone, kEditFirstColumn, kEditSubItem };
  ReturnAction DecideReturn() const;

private:
  GridTreeItem* NewItem(std::unique_ptr<GridRowItem> rowItem, GridTreeItem* parent);
  static void CollectShown(GridTreeItem* item, std::vector<GridTreeItem*>& out);
  int InsertShown(GridTreeItem* item, int at);
  static int ShownDescendantCount(const GridTreeItem* item);
  static void MarkBranchCollapsed(GridTreeItem* item);
  static void SetBranchLevel(GridTreeItem* item, int level);
  void EraseRows(int first, int count);
  void RefreshRowIndices();
  std::unique_ptr<GridTreeItem> Detach(GridTreeItem* item);

  std::vector<std::unique_ptr<GridTreeItem>> roots_;
  std::vector<GridTreeItem*> rows_;
  GridTreeItem* selected_ = nullptr;
  std::vector<std::uint16_t> columnReadOnly_;
  int focusedColumn_ = 0;
  std::uint64_t nextSerial_ = 1;
  SelectionListener listener_;
};

// Fits a text into `width` pixels with `margin`: unchanged when it fits, else
// shortened from the end (whole characters) with "..." appended.
std::string FitText(const std::string& text, int width, int margin,
                    const std::function<int(std::string_view)>& measure);

}  // namespace qmx::grid
