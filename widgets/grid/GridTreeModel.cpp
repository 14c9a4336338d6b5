#include "widgets/grid/GridTreeModel.h"

#include "common/Utility.h"

#include <algorithm>

namespace qmx::grid {

GridTreeModel::GridTreeModel() = default;
GridTreeModel::~GridTreeModel() = default;

GridTreeItem* GridTreeModel::NewItem(std::unique_ptr<GridRowItem> rowItem, GridTreeItem* parent) {
  auto item = std::make_unique<GridTreeItem>();
  item->rowItem = rowItem ? std::move(rowItem) : std::make_unique<GridRowItem>();
  item->parent = parent;
  item->level = parent ? parent->level + 1 : 1;
  item->serial = nextSerial_++;
  GridTreeItem* raw = item.get();
  if (parent) parent->children.push_back(std::move(item));
  else roots_.push_back(std::move(item));
  return raw;
}

GridTreeItem* GridTreeModel::InsertRootItem(std::unique_ptr<GridRowItem> rowItem) {
  GridTreeItem* item = NewItem(std::move(rowItem), nullptr);
  item->rowIndex = static_cast<int>(rows_.size());
  rows_.push_back(item);
  return item;
}

GridTreeItem* GridTreeModel::InsertChildItem(GridTreeItem* parent, std::unique_ptr<GridRowItem> rowItem, int show) {
  if (!parent) return nullptr;
  if (show == 0) {
    // A hidden child under an expanded parent: the parent is collapsed as a
    // whole, so no row of its other children stays behind under it.
    Collapse(parent);
    GridTreeItem* item = NewItem(std::move(rowItem), parent);
    parent->collapsed = 1;
    return item;
  }
  // Where the new row goes: after the parent's shown branch.
  int parentRow = GetRowIndex(parent);
  int at = parentRow >= 0 && !parent->collapsed ? parentRow + 1 + ShownDescendantCount(parent) : -1;
  GridTreeItem* item = NewItem(std::move(rowItem), parent);
  if (at >= 0) {
    InsertShown(item, at);
    RefreshRowIndices();
  }
  return item;
}

void GridTreeModel::CollectShown(GridTreeItem* item, std::vector<GridTreeItem*>& out) {
  out.push_back(item);
  if (!item->collapsed)
    for (auto& child : item->children) CollectShown(child.get(), out);
}

int GridTreeModel::InsertShown(GridTreeItem* item, int at) {
  std::vector<GridTreeItem*> rows;
  CollectShown(item, rows);
  rows_.insert(rows_.begin() + at, rows.begin(), rows.end());
  for (size_t i = 0; i < rows.size(); ++i) rows[i]->rowIndex = at + static_cast<int>(i);
  return at + static_cast<int>(rows.size());
}

int GridTreeModel::ShownDescendantCount(const GridTreeItem* item) {
  if (item->collapsed) return 0;
  int n = 0;
  for (const auto& child : item->children) n += 1 + ShownDescendantCount(child.get());
  return n;
}

void GridTreeModel::MarkBranchCollapsed(GridTreeItem* item) {
  if (item->HasChildren()) item->collapsed = 1;
  for (auto& child : item->children) MarkBranchCollapsed(child.get());
}

void GridTreeModel::SetBranchLevel(GridTreeItem* item, int level) {
  item->level = level;
  for (auto& child : item->children) SetBranchLevel(child.get(), level + 1);
}

void GridTreeModel::EraseRows(int first, int count) {
  if (count <= 0) return;
  int sel = SelectedRow();
  if (sel >= first && sel < first + count) selected_ = nullptr;
  rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
}

void GridTreeModel::RefreshRowIndices() {
  for (size_t i = 0; i < rows_.size(); ++i) rows_[i]->rowIndex = static_cast<int>(i);
}

int GridTreeModel::Expand(GridTreeItem* item) {
  if (!item) return -1;
  int row = GetRowIndex(item);
  if (!item->HasChildren() || !item->collapsed) return row;
  item->collapsed = 0;
  if (row < 0) return -1;  // not shown: its children appear with it
  std::vector<GridTreeItem*> rows;
  for (auto& child : item->children) CollectShown(child.get(), rows);
  rows_.insert(rows_.begin() + row + 1, rows.begin(), rows.end());
  RefreshRowIndices();
  return row + static_cast<int>(rows.size());
}

void GridTreeModel::Collapse(GridTreeItem* item) {
  if (!item || !item->HasChildren() || item->collapsed) return;
  int row = GetRowIndex(item);
  if (row >= 0) EraseRows(row + 1, ShownDescendantCount(item));
  MarkBranchCollapsed(item);
  RefreshRowIndices();
}

int GridTreeModel::ExpandBranch(GridTreeItem* item) {
  if (!item) return -1;
  if (item->HasChildren()) {
    Expand(item);
    for (auto& child : item->children)
      if (child->HasChildren()) ExpandBranch(child.get());
  }
  int row = GetRowIndex(item);
  return row < 0 ? -1 : row + ShownDescendantCount(item);
}

int GridTreeModel::SelectItem(GridTreeItem* item) {
  if (!item) return -1;
  std::vector<GridTreeItem*> ancestors;
  for (GridTreeItem* p = item->parent; p; p = p->parent) ancestors.push_back(p);
  for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) Expand(*it);
  int row = GetRowIndex(item);
  if (row >= 0) SelectRow(row);
  return row;
}

std::unique_ptr<GridTreeItem> GridTreeModel::Detach(GridTreeItem* item) {
  auto& list = item->parent ? item->parent->children : roots_;
  auto it = std::find_if(list.begin(), list.end(), [item](const auto& p) { return p.get() == item; });
  if (it == list.end()) return nullptr;
  std::unique_ptr<GridTreeItem> owned = std::move(*it);
  list.erase(it);
  return owned;
}

void GridTreeModel::DeleteItem(GridTreeItem* item) {
  if (!item) return;
  int row = GetRowIndex(item);
  if (row >= 0) EraseRows(row, 1 + ShownDescendantCount(item));
  if (selected_ && IsInBranch(selected_, item)) selected_ = nullptr;
  std::unique_ptr<GridTreeItem> owned = Detach(item);
  owned.reset();
  RefreshRowIndices();
  if (row > 0 && !rows_.empty()) SelectRow(std::min(row, RowCount() - 1));
}

void GridTreeModel::DeleteAllItems() {
  rows_.clear();
  selected_ = nullptr;
  roots_.clear();
}

bool GridTreeModel::Contains(const GridTreeItem* item, std::uint64_t serial) const {
  if (!item) return false;
  if (!FindPreOrder([item](GridTreeItem* i) { return i == item; })) return false;
  return serial == 0 || item->serial == serial;
}

bool GridTreeModel::IsInBranch(const GridTreeItem* item, const GridTreeItem* ancestor) {
  for (const GridTreeItem* p = item; p; p = p->parent)
    if (p == ancestor) return true;
  return false;
}

bool GridTreeModel::CanDrop(const GridTreeItem* source, const GridTreeItem* target) const {
  if (!source || !target || source == target) return false;
  if (!source->parent) return false;
  if (target == source->parent) return false;
  if (IsInBranch(target, source)) return false;
  return true;
}

bool GridTreeModel::MoveBranch(GridTreeItem* source, GridTreeItem* target) {
  if (!CanDrop(source, target)) return false;
  int srow = GetRowIndex(source);
  if (srow >= 0) EraseRows(srow, 1 + ShownDescendantCount(source));
  RefreshRowIndices();
  std::unique_ptr<GridTreeItem> owned = Detach(source);
  if (!owned) return false;
  MarkBranchCollapsed(source);
  SetBranchLevel(source, target->level + 1);
  source->parent = target;
  int trow = GetRowIndex(target);
  int at = trow >= 0 && !target->collapsed ? trow + 1 + ShownDescendantCount(target) : -1;
  target->children.push_back(std::move(owned));
  if (at >= 0) InsertShown(source, at);
  RefreshRowIndices();
  SelectRow(GetRowIndex(target));
  return true;
}

int GridTreeModel::GetTotalItemCount() const {
  int n = 0;
  FindPreOrder([&n](GridTreeItem*) {
    ++n;
    return false;
  });
  return n;
}

GridTreeItem* GridTreeModel::GetTreeItem(int row) const {
  if (row < 0 || row >= RowCount()) return nullptr;
  return rows_[static_cast<size_t>(row)];
}

int GridTreeModel::GetRowIndex(const GridTreeItem* item) const {
  if (!item) return -1;
  int r = item->rowIndex;
  if (r >= 0 && r < RowCount() && rows_[static_cast<size_t>(r)] == item) return r;
  return -1;
}

bool GridTreeModel::IsRootItem(const GridTreeItem* item) const {
  return item && std::any_of(roots_.begin(), roots_.end(), [item](const auto& p) { return p.get() == item; });
}

namespace {
GridTreeItem* VisitBranch(GridTreeItem* item, const std::function<bool(GridTreeItem*)>& visitor) {
  if (visitor(item)) return item;
  for (auto& child : item->children)
    if (GridTreeItem* hit = VisitBranch(child.get(), visitor)) return hit;
  return nullptr;
}
}  // namespace

GridTreeItem* GridTreeModel::FindPreOrder(const std::function<bool(GridTreeItem*)>& visitor) const {
  for (const auto& root : roots_)
    if (GridTreeItem* hit = VisitBranch(root.get(), visitor)) return hit;
  return nullptr;
}

int GridTreeModel::SelectedRow() const { return GetRowIndex(selected_); }

GridTreeItem* GridTreeModel::SelectedItem() const { return SelectedRow() >= 0 ? selected_ : nullptr; }

void GridTreeModel::SelectRow(int row) {
  GridTreeItem* item = GetTreeItem(row);
  if (!item) {
    selected_ = nullptr;
    return;
  }
  if (item == SelectedItem()) return;
  selected_ = item;
  if (listener_) listener_(row);
}

bool GridTreeModel::IsColumnEditable(int column) const {
  if (column < 0 || column >= ColumnCount()) return false;
  return columnReadOnly_[static_cast<size_t>(column)] == 0;
}

void GridTreeModel::SetFocusedColumn(int column) {
  focusedColumn_ = std::clamp(column, 0, std::max(0, ColumnCount() - 1));
}

bool GridTreeModel::MoveFocusedColumn(int delta) {
  int next = focusedColumn_ + delta;
  if (next < 0 || next > ColumnCount() - 1) return false;
  focusedColumn_ = next;
  return true;
}

GridTreeModel::CharAction GridTreeModel::DecideTypedChar(char32_t ch) const {
  if (!((ch >= U'0' && ch <= U'z') || ch == U'-')) return CharAction::kNotHandled;
  GridTreeItem* item = SelectedItem();
  if (!item || !IsColumnEditable(focusedColumn_)) return CharAction::kNotHandled;
  const GridRowItem* row = item->rowItem.get();
  if (row->readOnly) return CharAction::kNotHandled;
  if (focusedColumn_ == 0) return CharAction::kSwallow;
  if (row->GetCellKind(focusedColumn_ - 1, nullptr)) return CharAction::kNotHandled;
  return CharAction::kOpenEditor;
}

GridTreeModel::ReturnAction GridTreeModel::DecideReturn() const {
  if (!SelectedItem() || !IsColumnEditable(focusedColumn_)) return ReturnAction::kNone;
  return focusedColumn_ == 0 ? ReturnAction::kEditFirstColumn : ReturnAction::kEditSubItem;
}

std::string FitText(const std::string& text, int width, int margin,
                    const std::function<int(std::string_view)>& measure) {
  if (measure(text) + margin < width + 1) return text;
  const int ellipsis = measure("...");
  std::string_view s(text);
  // One character less each time, never half a character.
  while (Utf8Length(s) > 1 && !(ellipsis + margin + measure(s) < width)) s = CutUtf8(s, s.size() - 1);
  return std::string(s) + "...";
}

}  // namespace qmx::grid
