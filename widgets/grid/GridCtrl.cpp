#include "widgets/grid/GridCtrl.h"

#include "common/Utility.h"
#include "common/log/LogCategories.h"
#include "platform/toolkit/window_messages.h"
#include "widgets/grid/ComboInListView.h"
#include "widgets/grid/GridImages.h"
#include "widgets/grid/GridTextChecks.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>
#include <new>

namespace qmx::grid {

GridCtrl::GridCtrl(QWidget* parent, const GridPolicy& policy) : SubGridCtrl(parent), policy_(policy) {
  SetReportFailures(policy_.reportFailures);
}

GridCtrl::~GridCtrl() = default;

GridFrameServices& GridCtrl::Services() const { return services_ ? *services_ : DefaultGridFrameServices(); }

void GridCtrl::SetOwnerInfo(const std::string& gridName, QObject* ownerWindow) {
  gridName_ = gridName;
  owner_ = ownerWindow;
}

bool GridCtrl::InsertColumns(unsigned extendedStyles, const std::vector<GridColumnDef>& columns,
                             int imageWidthSelector, int, int smallBitmapId, int subItemBitmapId,
                             GridColor maskColor, int alignment, int treeLines) {
  const int width = imageWidthSelector == 1 ? 1 : 16;
  const bool images = CreateImgList(smallBitmapId, width, maskColor, subItemBitmapId, width);
  SetExtendedStyle(extendedStyles);
  SetTreeLines(treeLines);
  const int align = alignment == kGridAlignCenter || alignment == kGridAlignRight ? alignment : kGridAlignLeft;
  for (const GridColumnDef& def : columns) AddColumn(def.title, def.width, def.readOnly, align);
  return images;
}

bool GridCtrl::CreateImgList(int smallBitmapId, int imageWidth, GridColor maskColor, int subItemBitmapId,
                             int subItemImageWidth) {
  const QImage strip = GridBitmap(smallBitmapId);
  if (strip.isNull()) {
    if (policy_.reportFailures)
      GridShowResourceLackError(kErrImageList, "GridCtrl::CreateImgList", "ImgList", 0, 1);
    return false;
  }
  std::vector<QPixmap> small = GridImages(smallBitmapId, imageWidth, maskColor);
  if (small.empty()) {
    if (policy_.reportFailures) GridShowError(kErrImageListReadBack, "GridCtrl::CreateImgList", "Cannot get imageList", 0, 1);
    return false;
  }
  SetIconSize(small.front().width(), small.front().height());
  SetSmallImages(std::move(small));
  std::vector<QPixmap> sub = GridImages(subItemBitmapId, subItemImageWidth, maskColor);
  if (sub.empty()) {
    if (policy_.reportFailures)
      GridShowResourceLackError(kErrSubItemImageList, "GridCtrl::CreateImgList", "ImageSubItem", 0, 1);
    return false;
  }
  SetSubItemImages(std::move(sub));
  return true;
}

GridTreeItem* GridCtrl::InsertRow(GridRowItem* rowItem, GridTreeItem* parent) {
  if (!parent) return InsertRootItem(rowItem);
  return InsertChildItem(parent, rowItem, 0);
}

void GridCtrl::ExpandAll() {
  if (GetItemCount() == 0) return;
  SetRedraw(false);
  std::vector<GridTreeItem*> roots;
  for (const auto& root : Model().TopLevelItems()) roots.push_back(root.get());
  for (GridTreeItem* root : roots) ExpandBranch(root);
  SetRedraw(true);
}

void GridCtrl::SetFirstRowText(const std::string& text) {
  const auto& roots = Model().TopLevelItems();
  if (roots.empty()) return;
  roots.front()->rowItem->firstText = text;
  RefreshRowText(roots.front().get());
}

void GridCtrl::SetRowText(GridTreeItem* item, const std::string& text) {
  GridRowItem* row = GetRowItem(item);
  if (!row) return;
  row->firstText = text;
  RefreshRowText(item);
}

bool GridCtrl::SetCellText(GridTreeItem* item, int n, const std::string& text) {
  GridRowItem* row = GetRowItem(item);
  if (!row || n < 0) return false;
  row->SetColumnText(n, text);
  RefreshCellText(item, n);
  return true;
}

std::string GridCtrl::GetCellText(const GridTreeItem* item, int n) const {
  const GridRowItem* row = GetRowItem(item);
  return row ? row->GetColumnText(n) : std::string();
}

bool GridCtrl::GetSelectedText(int n, std::string& out) const {
  const int row = GetSelectedRow();
  if (row < 0) return false;
  return GetRowText(row, n, out);
}

bool GridCtrl::GetRowText(int row, int n, std::string& out) const {
  if (row < 0) return false;
  const GridRowItem* ri = GetRowItem(GetTreeItem(row));
  if (!ri) return false;
  out = n == -1 ? ri->firstText : ri->GetColumnText(n);
  return true;
}

bool GridCtrl::DeleteSelectedItem() {
  const int row = GetSelectedRow();
  GridTreeItem* item = GetTreeItem(row);
  if (!item) return false;
  DeleteItem(item, row);
  return true;
}

GridTreeItem* GridCtrl::FindItem(const std::string& firstText, const std::vector<std::string>& furtherTexts) const {
  return Model().FindPreOrder([&](GridTreeItem* item) {
    const GridRowItem* ri = item->rowItem.get();
    if (ri->firstText != firstText) return false;
    for (const std::string& want : furtherTexts) {
      const bool any = std::any_of(ri->columnTexts.begin(), ri->columnTexts.end(),
                                   [&want](const std::string& t) { return text::EqualsNoCase(t, want); });
      if (!any) return false;
    }
    return true;
  });
}

GridTreeItem* GridCtrl::FindItemUnder(GridTreeItem* item, const std::string& wanted) const {
  if (!item) return nullptr;
  if (item->rowItem->firstText == wanted) return item;
  for (auto& child : item->children)
    if (child->rowItem->firstText == wanted) return child.get();
  for (auto& child : item->children)
    if (GridTreeItem* hit = FindItemUnder(child.get(), wanted)) return hit;
  return nullptr;
}

GridTreeItem* GridCtrl::GetCellTextByName(std::string& out, const std::string& firstText, int n,
                                          GridTreeItem* parent) const {
  GridTreeItem* item = parent ? FindItemUnder(parent, firstText) : FindItem(firstText);
  if (!item) {
    out.clear();
    return nullptr;
  }
  out = text::Trim(item->rowItem->GetColumnText(n));
  return item;
}

ComboInListView* GridCtrl::ShowInPlaceList(int row, int column, const std::vector<std::string>& choices) {
  GridTreeItem* item = GetTreeItem(row);
  if (!item || column < 1 || column >= GetColumnCount()) return nullptr;
  const std::string current = item->rowItem->GetColumnText(column - 1);
  if (!EnsureVisible(row)) return nullptr;
  QRect cell = GetCellRect(row, column);
  if (cell.left() < 0 || cell.left() > viewport()->width()) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + cell.left());
    cell = GetCellRect(row, column);
  }
  const int right = std::min(cell.left() + GetColumnWidth(column), viewport()->width());
  const QRect drop(cell.left(), cell.top(), std::max(0, right - cell.left()), cell.height() * 11);
  ComboInListView* combo = nullptr;
  try {
    combo = new ComboInListView(this, row, column, choices);
  } catch (const std::bad_alloc&) {
    if (policy_.reportFailures)
      GridShowResourceLackError(kErrComboCreate, "ComboInListView::OnCreate", "Combobox", 0, 1);
    return nullptr;
  }
  combo->setAccessibleName(QString::fromStdString(GetColumnTitle(column)));
  combo->setGeometry(drop.left(), drop.top(), drop.width(), cell.height());
  combo->SetDropDownRect(drop);
  const QFontMetrics fm(combo->font());
  int widest = 0;
  for (const std::string& c : choices) widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(c)));
  combo->SetHorizontalExtent(widest + 6);
  const QString prefix = QString::fromStdString(current);
  for (int i = 0; i < combo->count(); ++i)
    if (combo->itemText(i).startsWith(prefix)) {
      combo->setCurrentIndex(i);
      break;
    }
  combo->show();
  combo->setFocus(Qt::OtherFocusReason);
  combo->showPopup();
  return combo;
}

int GridCtrl::GetItemIconIndex(const GridTreeItem* item) {
  if (!item) return 0;
  if (item->rowItem->iconIndex != -1) return item->rowItem->iconIndex;
  if (item->HasChildren()) return item->collapsed ? 1 : 0;
  return 2;
}

GridColor GridCtrl::GetStateColor(int state) {
  if (!policy_.colourFocusByState) return SubGridCtrl::GetStateColor(state);
  return state == 1 ? kGridReadOnlyFocus : kGridEditableFocus;
}

void GridCtrl::UpdateListViewItem(GridTreeItem* item, const GridEditedCell& cell) {
  GridRowItem* ri = GetRowItem(item);
  if (!ri) return;
  if (cell.column <= 0) {
    ri->firstText = cell.text;
    RefreshRowText(item);
    return;
  }
  const int n = cell.column - 1;
  const GridValueResult result = policy_.checkValue(ri->GetDefinition(n), cell.text);
  if (!result.accepted) {
    if (policy_.reportFailures) {
      GridPostLog(qmx::kLogError, "QMX-410Tools",
                  "UpdateListViewItem. Invalid item: " + ::RemoveAll(ri->firstText, ".htm") + ". " +
                      ri->GetHintText(n));
    }
    return;
  }
  ri->SetColumnText(n, result.text);
  RefreshRowText(item);
  if (policy_.handOverToOwner && ri->ownerObject) {
    std::string key = ri->itemKey;
    int kind = 0;
    if (ri->GetCellKind(n, &kind) && kind == kCellKindDropDown && cell.itemParam >= 0 && key.empty())
      key = std::to_string(cell.itemParam);
    // The owner may rebuild the grid in this call: nothing of the row is used afterwards.
    Services().ChangedValueByUser(ri->ownerObject, gridName_, key, ri->itemDescriptor, result.text);
  }
}

void GridCtrl::EditCell(Qt::KeyboardModifiers, int, int, const GridHitTest& hit) {
  GridTreeItem* item = GetTreeItem(hit.row);
  if (!item) return;
  GridRowItem* ri = item->rowItem.get();
  const int n = hit.column - 1;
  int kind = 0;
  if (!ri->GetCellKind(n, &kind)) return;
  // A drop-down list opens from anywhere in its cell, the others only from
  // their button.
  if (kind == kCellKindDropDown || GetButtonRect(hit.row, hit.column).contains(hit.point))
    OpenTypedEditor(item, hit.row, hit.column, kind);
}

bool GridCtrl::OpenCellEditor(int row, int column) {
  GridTreeItem* item = GetTreeItem(row);
  if (!item) return false;
  int kind = 0;
  if (item->rowItem->GetCellKind(column - 1, &kind)) return OpenTypedEditor(item, row, column, kind);
  return !item->rowItem->readOnly && SubGridCtrl::OpenCellEditor(row, column);
}

bool GridCtrl::OpenTypedEditor(GridTreeItem* item, int row, int column, int kind) {
  GridRowItem* ri = item->rowItem.get();
  const int n = column - 1;
  switch (kind) {
    case kCellKindDropDown: {
      const std::vector<std::string>* choices = ri->GetChoiceList(n);
      return ShowInPlaceList(row, column, choices ? *choices : std::vector<std::string>{}) != nullptr;
    }
    case kCellKindFolder: {
      if (!policy_.folderAndSerialCells) return false;
      std::string folder;
      const bool chosen = Services().ChooseFolder(this, "Select a folder...", ri->firstText, ri->GetColumnText(n), folder);
      // The chooser is modal: the row may have gone meanwhile.
      if (chosen && ContainsItem(item)) {
        item->rowItem->SetColumnText(n, folder);
        RefreshRowText(item);
      }
      return true;
    }
    case kCellKindSerialSettings: {
      if (!policy_.folderAndSerialCells) return false;
      if (!text::EqualsNoCase(ri->settingKey, "SERIAL_COMM_SETTING")) return false;
      std::string settings;
      const bool confirmed = Services().EditSerialSettings(this, ri->GetColumnText(n), settings);
      if (!confirmed || !ContainsItem(item)) return true;
      ri = item->rowItem.get();
      ri->SetColumnText(n, settings);
      RefreshRowText(item);
      if (policy_.handOverToOwner && ri->ownerObject)
        Services().ChangedValueByUser(ri->ownerObject, gridName_, ri->itemKey, ri->itemDescriptor, settings);
      return true;
    }
    default: return false;
  }
}

QPixmap GridCtrl::CreateDragImage(int row) {
  if (!editable_) return {};
  return SubGridCtrl::CreateDragImage(row);
}

bool GridCtrl::OnReturnKey() {
  GridTreeItem* item = GetSelectedItem();
  const int column = GetFocusedColumn();
  if (!item || column < 0 || column >= GetColumnCount()) return false;
  const GridRowItem* ri = item->rowItem.get();
  if (ri->readOnly) return true;
  int kind = 0;
  if (!ri->GetCellKind(column - 1, &kind)) return false;
  if (kind == kCellKindDropDown) {
    const std::vector<std::string>* choices = ri->GetChoiceList(column - 1);
    ShowInPlaceList(GetSelectedRow(), column, choices ? *choices : std::vector<std::string>{});
    return true;
  }
  // Without a mouse, Return is the folder and serial-settings cells' button.
  OpenTypedEditor(item, GetSelectedRow(), column, kind);
  return true;
}

void GridCtrl::OnRowSelected(int row) {
  if (!owner_) return;
  GridRowItem* ri = GetRowItem(GetTreeItem(row));
  if (!ri) return;
  toolkit::WindowMessageEvent message(toolkit::kGridRowMessage, 1, reinterpret_cast<std::intptr_t>(ri));
  QCoreApplication::sendEvent(owner_, &message);
}

}  // namespace qmx::grid
