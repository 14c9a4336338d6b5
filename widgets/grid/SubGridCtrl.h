// The owner-drawn tree grid: a report-style list that shows the rows of a
// GridTreeModel with indentation, tree lines, expand boxes and per-cell
// colours, opens in-place editors on cells and moves branches by drag and
// drop. What the rows mean is decided by the virtual hooks, which GridCtrl
// overrides.
#pragma once

#include "widgets/grid/GridTreeModel.h"
#include "widgets/grid/GridTypes.h"

#include <QAbstractScrollArea>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <string>
#include <vector>

class QHeaderView;
class QStandardItemModel;

namespace qmx::grid {

class ListEditCtrl;

// Where a point of the grid lies.
enum GridHitFlags : unsigned {
  kHitNowhere = 0x01,
  kHitOnIcon = 0x02,
  kHitOnLabel = 0x04,
  kHitOnStateIcon = 0x08,
  kHitOnExpandBox = 0x10,
  kHitOnButton = 0x20,   // the button strip at a cell's right edge
};

struct GridHitTest {
  QPoint point;      // viewport coordinates
  int row = -1;
  int column = -1;   // list column
  unsigned flags = kHitNowhere;
};

// An edited cell as an in-place editor reports it.
struct GridEditedCell {
  int row = -1;
  int column = -1;       // list column
  std::string text;
  int itemParam = -1;    // drop-down list: index of the chosen entry
};

class SubGridCtrl : public QAbstractScrollArea {
  Q_OBJECT

public:
  explicit SubGridCtrl(QWidget* parent = nullptr);
  ~SubGridCtrl() override;

  // Rows. A GridRowItem handed in is owned by the grid from then on.
  GridTreeItem* InsertRootItem(GridRowItem* rowItem);
  GridTreeItem* InsertChildItem(GridTreeItem* parent, GridRowItem* rowItem, int show);
  int Expand(GridTreeItem* item, int row);
  void Collapse(GridTreeItem* item);
  int ExpandBranch(GridTreeItem* item);
  int SelectItem(GridTreeItem* item);
  void DeleteItem(GridTreeItem* item, int row);
  void DeleteAllItems();
  int GetTotalItemCount() const { return model_.GetTotalItemCount(); }
  GridTreeItem* GetTreeItem(int row) const { return model_.GetTreeItem(row); }
  GridRowItem* GetRowItem(const GridTreeItem* item) const { return GridTreeModel::GetRowItem(item); }
  int GetRowIndex(const GridTreeItem* item) const { return model_.GetRowIndex(item); }
  bool ContainsItem(const GridTreeItem* item) const;
  // Opens the in-place edit box (4660) on a cell other than the first.
  ListEditCtrl* EditSubItem(int row, int column);
  void RefreshRowText(GridTreeItem* item);
  void RefreshCellText(GridTreeItem* item, int n);
  // Expands a collapsed branch or collapses an expanded one, through the
  // expand and collapse hooks, as a click on its box does; false when the
  // row has no children or a hook refused.
  bool ToggleBranch(int row);

  // The list.
  int GetItemCount() const { return model_.RowCount(); }
  int GetSelectedRow() const { return model_.SelectedRow(); }
  GridTreeItem* GetSelectedItem() const { return model_.SelectedItem(); }
  // Selects and focuses a row (the owner hears of a newly selected row).
  void SetSelectedRow(int row);
  bool EnsureVisible(int row);
  int GetTopIndex() const;
  int GetCountPerPage() const;
  // Redraw off and on; calls nest, the grid repaints when the last one ends.
  void SetRedraw(bool on);
  bool IsRedrawOn() const { return redrawOff_ == 0; }
  int GetFocusedColumn() const { return model_.FocusedColumn(); }
  void SetFocusedColumn(int column);
  void EnsureColumnVisible(int column);
  int GetColumnCount() const { return model_.ColumnCount(); }
  int GetColumnWidth(int column) const;
  void SetColumnWidth(int column, int width);
  // The width at which the column shows its title and the texts of every
  // shown row whole (with the first column's indentation and icons, and
  // the button strip of a cell that has one).
  int ColumnTextWidth(int column) const;
  int GetColumnAlignment(int column) const;
  // The column's header text ("" beyond the columns).
  std::string GetColumnTitle(int column) const;
  int GetRowHeight() const { return rowHeight_; }
  int GetIconWidth() const { return iconWidth_; }
  int GetIconHeight() const { return iconHeight_; }
  bool IsDragging() const { return dragging_; }
  int GetDropTargetRow() const { return dropTarget_; }
  QHeaderView* Header() const { return header_; }
  GridTreeModel& Model() { return model_; }
  const GridTreeModel& Model() const { return model_; }

  // Geometry in viewport coordinates.
  QRect GetRowRect(int row) const;
  QRect GetCellRect(int row, int column) const;
  QRect GetLabelRect(int row) const;
  QRect GetIconRect(int row) const;
  QRect GetExpandBoxRect(int row) const;
  QRect GetButtonRect(int row, int column) const;
  GridHitTest HitTest(const QPoint& viewportPoint) const;

  // The Delete key deletes only while this is 1 (owners set it directly).
  int deletionEnabled = 1;

  // Hooks.
  virtual int GetItemIconIndex(const GridTreeItem* item);
  // Colour of the focused cell: state 1 read-only cell (or first column), 0 editable.
  virtual GridColor GetStateColor(int state);
  virtual void UpdateListViewItem(GridTreeItem* item, const GridEditedCell& cell);
  virtual void EditCell(Qt::KeyboardModifiers modifiers, int x, int y, const GridHitTest& hit);
  // The picture dragged with a row; a null pixmap means no drag starts.
  virtual QPixmap CreateDragImage(int row);
  virtual bool OnItemExpanding(GridTreeItem* item, int row);
  virtual void OnItemExpanded(GridTreeItem* item, int row);
  virtual bool OnItemCollapsing(GridTreeItem* item);
  virtual void OnItemCollapsed(GridTreeItem* item);
  virtual bool OnDeleteKey(GridTreeItem* item, int row);
  virtual bool OnExpandAllKey(GridTreeItem* item, int row);
  virtual bool OnCollapseKey(GridTreeItem* item, int row);
  virtual bool OnExpandKey(GridTreeItem* item, int row);
  // Return on the focused cell; true = handled, no edit box opens.
  virtual bool OnReturnKey();
  // Opens the editor of a cell from the keyboard (F4 or Alt+Down) or for an
  // accessibility tool: the base opens the edit box on an editable column.
  // True when an editor opened.
  virtual bool OpenCellEditor(int row, int column);
  virtual bool AcceptClick(const GridHitTest& hit);
  virtual void OnRowSelected(int row);

  // The editors end here: the edit goes to the item it was opened on (found
  // again by its serial), wherever its row is now; nothing happens when
  // that item has gone meanwhile.
  void OnEndItemEdit(int controlId, const GridTreeItem* item, std::uint64_t serial, int column,
                     const std::string* text, int itemParam);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;

  // Set-up for the derived grid.
  void AddColumn(const std::string& title, int width, std::uint16_t readOnly, int alignment);
  void SetIconSize(int width, int height);
  void SetTreeLines(int on) { treeLines_ = on; }
  void SetExtendedStyle(unsigned style);
  void SetSmallImages(std::vector<QPixmap> images) { smallImages_ = std::move(images); }
  void SetSubItemImages(std::vector<QPixmap> images) { subItemImages_ = std::move(images); }
  // Opens the edit box (4659) over the first column's label.
  ListEditCtrl* EditLabel(int row);
  // Whether creation failures of editors are logged.
  void SetReportFailures(bool on) { reportFailures_ = on; }
  void RepaintRow(int row);
  void Changed();

private:
  class RedrawGuard;
  void UpdateRowHeight();
  void UpdateScrollBars();
  void LayoutHeader();
  int HeaderHeight() const;
  int FirstColumnWidth() const { return GetColumnWidth(0); }
  int RowLeft() const;
  int MidY(const QRect& rowRect) const;
  int TreeLineX(const QRect& rowRect, int level) const;
  bool HandleCheckAndExpand(const GridHitTest& hit);
  bool ToggleExpansion(GridTreeItem* item, int row, int* lastRow);
  void MoveSelection(int row);
  void DrawRow(QPainter& p, int row, const QRect& paintRect);
  void DrawButton(QPainter& p, const QRect& r, bool dropDown) const;
  void DrawFocusRect(QPainter& p, const QRect& r) const;
  void BeginDrag(int row, const QPoint& pos);
  void EndDrag();
  void OnDragTimer();
  void Drop();

  GridTreeModel model_;
  QHeaderView* header_ = nullptr;
  QStandardItemModel* headerModel_ = nullptr;
  std::vector<int> columnAlignment_;
  int iconWidth_ = 0;
  int iconHeight_ = 0;
  int treeLines_ = 1;
  unsigned extendedStyle_ = 0;
  std::vector<QPixmap> smallImages_;
  std::vector<QPixmap> subItemImages_;
  int rowHeight_ = 16;
  int redrawOff_ = 0;
  bool reportFailures_ = true;
  bool closing_ = false;

  // Drag state.
  bool dragging_ = false;
  GridTreeItem* dragSource_ = nullptr;
  int dropTarget_ = -1;
  QPixmap dragImage_;
  QPoint dragPos_;
  QPoint pressPos_;
  int pressRow_ = -1;
  QTimer dragTimer_;
};

}  // namespace qmx::grid
