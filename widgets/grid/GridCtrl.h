// The grid of every list-like view and dialog: named columns, typed cells
// (plain text, drop-down list, folder, serial settings), allowed-value checks
// of edited values, the hand-over of accepted values to the row's owner
// object, and the row notification to the owner window.
//
// Set-up by an owner, in this order: create the grid (control id 4097), build
// the column list, SetOwnerInfo, InsertColumns, SetEditable, then optionally
// deletionEnabled = 0. Rows are added with InsertRow and shown with ExpandAll;
// DeleteAllItems empties the grid before a rebuild.
//
// Row notification: when a row becomes selected the owner receives, sent
// synchronously, a qmx::toolkit::WindowMessageEvent with message
// kGridRowMessage (0x402), wparam 1 and lparam the row's GridRowItem pointer
// (valid during the call, still owned by the grid).
#pragma once

#include "widgets/grid/GridHooks.h"
#include "widgets/grid/GridPolicy.h"
#include "widgets/grid/GridRowItem.h"
#include "widgets/grid/SubGridCtrl.h"

#include <QPointer>

#include <memory>
#include <string>
#include <vector>

namespace qmx::grid {

class ComboInListView;

class GridCtrl : public SubGridCtrl {
  Q_OBJECT

public:
  explicit GridCtrl(QWidget* parent = nullptr, const GridPolicy& policy = MainProgramGridPolicy());
  ~GridCtrl() override;

  void SetOwnerInfo(const std::string& gridName, QObject* ownerWindow);
  // Services for folder, serial-settings and owner-object hand-over; null
  // means the program-wide services.
  void SetFrameServices(GridFrameServices* services) { services_ = services; }
  GridFrameServices& Services() const;

  // Image lists (selector 1: one-pixel images, a flat list; otherwise 16),
  // extended list styles, column formats from the alignment (1 centred,
  // 2 right, else left), tree lines, then the columns in order.
  bool InsertColumns(unsigned extendedStyles, const std::vector<GridColumnDef>& columns, int imageWidthSelector,
                     int unused, int smallBitmapId, int subItemBitmapId, GridColor maskColor, int alignment,
                     int treeLines);
  bool CreateImgList(int smallBitmapId, int imageWidth, GridColor maskColor, int subItemBitmapId,
                     int subItemImageWidth);
  // Only dragging depends on the editable flag.
  void SetEditable(int flag) { editable_ = flag; }

  // Adds a row; with a parent it stays hidden and the parent is collapsed.
  GridTreeItem* InsertRow(GridRowItem* rowItem, GridTreeItem* parent = nullptr);
  void ExpandAll();
  void SetFirstRowText(const std::string& text);
  // The first-column text of one row.
  void SetRowText(GridTreeItem* item, const std::string& text);
  bool SetCellText(GridTreeItem* item, int n, const std::string& text);
  std::string GetCellText(const GridTreeItem* item, int n) const;
  // n = -1: the first text.
  bool GetSelectedText(int n, std::string& out) const;
  bool GetRowText(int row, int n, std::string& out) const;
  bool DeleteSelectedItem();
  // Pre-order: the first item whose first text equals `firstText` and for which
  // every further text equals (ignoring case) one of its column texts.
  GridTreeItem* FindItem(const std::string& firstText, const std::vector<std::string>& furtherTexts = {}) const;
  // The item itself, else its direct children, else each child's subtree.
  GridTreeItem* FindItemUnder(GridTreeItem* item, const std::string& text) const;
  // out := column text n (trimmed) of the row found by first text.
  GridTreeItem* GetCellTextByName(std::string& out, const std::string& firstText, int n,
                                  GridTreeItem* parent = nullptr) const;
  // Opens the drop-down list on a cell.
  ComboInListView* ShowInPlaceList(int row, int column, const std::vector<std::string>& choices);

  // A deep copy of a row record.
  static std::unique_ptr<GridRowItem> CopyItemData(const GridRowItem& row) { return row.Clone(); }

  // Hooks.
  int GetItemIconIndex(const GridTreeItem* item) override;
  GridColor GetStateColor(int state) override;
  void UpdateListViewItem(GridTreeItem* item, const GridEditedCell& cell) override;
  void EditCell(Qt::KeyboardModifiers modifiers, int x, int y, const GridHitTest& hit) override;
  QPixmap CreateDragImage(int row) override;
  bool OnReturnKey() override;
  // A typed cell opens the editor its button opens (drop-down list, folder
  // chooser, serial settings); a plain cell the edit box unless the row is
  // read-only.
  bool OpenCellEditor(int row, int column) override;
  void OnRowSelected(int row) override;

private:
  bool OpenTypedEditor(GridTreeItem* item, int row, int column, int kind);

  const GridPolicy policy_;  // a copy: callers may pass a temporary
  std::string gridName_;
  int editable_ = 1;
  QPointer<QObject> owner_;
  GridFrameServices* services_ = nullptr;
};

}  // namespace qmx::grid
