// The protocol between the tab host and its six child views, and the form
// that the grid views share (grid, hint of the selected row, its caption).
//
// Every operation answers 0 on failure, 1 when done and 2 when there was
// nothing to do; CanHandleCommand answers nonzero only for a command the
// child carries out itself.
#pragma once

#include "app/ui/views/rows/ViewRows.h"

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class Wrapper;

namespace qmx::grid {
class GridCtrl;
struct GridTreeItem;
}  // namespace qmx::grid

class CTabChildView : public QWidget {
  Q_OBJECT
public:
  explicit CTabChildView(QWidget* parent = nullptr) : QWidget(parent) {}

  // Rebuilds for the project-tree selection when it changed, or always with
  // bForce nonzero.
  virtual int RefreshView(int /*bForce*/) { return 2; }
  // Relabels the shown object (-1) and its modules in the naming mode.
  virtual int DoChangeModuleNameIcon(int /*which*/) { return 2; }
  // Refreshes the online values (0 timer tick, 1 status change or transfer).
  virtual int UpdateOnlineVals(int /*value*/) { return 2; }
  // Empties the view and forgets the shown object.
  virtual int ClearView() { return 2; }
  // mode 1: may the command be carried out now; 0: carry it out.
  virtual int CanHandleCommand(int /*commandId*/, int /*mode*/) { return 0; }
  // Redisplays analog values (0 from the value-mode box, 1 after a tree
  // selection change).
  virtual int ChangeValMode(int /*flag*/) { return 2; }
};

namespace qmx::views {

// The selected object of the project window, or null (the item is returned
// through `item` when asked).
Wrapper* SelectedObject(const std::string& context);
// The adapter of the selection (the object itself or the adapter above it).
CNAUsr* SelectedAdapter(const std::string& context);
// Logs -1015 for an operation that found no main frame.
void ReportNoMainFrame(const char* func);
// Whether the main frame's workspace is there; false after logging -1015
// for `func`.
bool HasMainFrame(const char* func);
// Whether a window of the application has the keyboard focus.
bool AnyWindowHasFocus();
// Whether the adapter monitors and its station has stopped answering (the
// communication state the frame last sampled is 2): the driver's images
// then hold the last values it read, which are no online values any more.
bool ConnectionLost(const CNAUsr& adapter);

// A grid view: the grid (control 4097) above a sunken hint line (1040) with
// its caption (1079 "Allowed value"); the rows built for the shown object and
// one grid row per built row.
class CGridFormView : public CTabChildView {
  Q_OBJECT
public:
  // One column: title, width in pixels, read-only flag.
  struct Column {
    std::string title;
    int width;
    int readOnly;
  };
  // How the grid draws: its sub-item pictures, column alignment (0 left,
  // 1 centred, 2 right) and whether tree lines join the rows.
  struct Look {
    int subItemBitmap;
    int alignment;
    int treeLines;
  };
  static const Look kTreeLook;  // left-aligned with tree lines
  CGridFormView(QWidget* parent, const std::string& gridName, const std::vector<Column>& columns, bool hintLine,
                const Look& look = kTreeLook);
  ~CGridFormView() override;

  int ClearView() override;

  qmx::grid::GridCtrl* grid() const { return grid_; }
  QLabel* hintText() const { return hint_; }
  Wrapper* shownObject() const { return shown_; }
  const std::vector<ViewRow>& rows() const { return rows_; }
  // The grid row of built row `index`, or null.
  qmx::grid::GridTreeItem* RowHandle(int index) const;

protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

  // Replaces the grid's rows by `rows` (redraw is the caller's), expanding
  // every top-level row.
  void ShowRows(std::vector<ViewRow> rows);
  // Writes the changed cells of the built rows into the grid.
  void ApplyChanges(const std::vector<CellChange>& changes);
  // Empties the grid and the hint line.
  void DeleteRows();
  // Starts a rebuild for `object`: the grid emptied (redraw off) and the
  // object remembered as shown. false, with redraw back on, when the object
  // is no module and so shows no rows.
  bool BeginRows(Wrapper* object);
  // DoChangeModuleNameIcon of the grid views, after a naming-mode change
  // (which -1): the object row and every module row take their labels in
  // the frame's current mode. 1 relabelled, 2 nothing shown.
  int RelabelRows(int which, const std::string& context);
  // The value column whose hint the row notification shows.
  int hintColumn_ = 0;
  Wrapper* shown_ = nullptr;
  std::vector<ViewRow> rows_;

  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // Sizes the value columns to their longest text (never below the width
  // they were made with; for a refresh of the rows shown, only wider), then
  // the last column to the grid's right edge.
  void FitColumns(bool newRows);
  void WidenLastColumn();

  std::vector<int> baseWidths_;
  qmx::grid::GridCtrl* grid_ = nullptr;
  QLabel* hintCaption_ = nullptr;
  QLabel* hint_ = nullptr;
  std::vector<qmx::grid::GridTreeItem*> handles_;
};

}  // namespace qmx::views
