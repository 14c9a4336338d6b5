// What the in-place editors of a grid (the edit box and the drop-down list)
// keep of the cell they edit and how an edit ends: the grid (cut when the
// grid goes away), the row record it was opened on, found again by its
// serial when the edit ends, and whether the edit was cancelled or has
// already ended. Each editor holds one; the editors differ only in how they
// show and take their value.
#pragma once

#include <QPointer>

#include <cstdint>
#include <string>

class QKeyEvent;

namespace qmx::grid {

class SubGridCtrl;
struct GridTreeItem;

class InPlaceEdit {
public:
  InPlaceEdit(SubGridCtrl* grid, int row, int column);

  SubGridCtrl* Grid() const { return grid_; }
  bool HasEnded() const { return ended_; }
  void Cancel() { cancelled_ = true; }
  // Cuts the tie to the grid (the grid is going away): no report follows.
  void Detach() { grid_ = nullptr; }

  // Escape (which cancels), Return and Enter end an edit: true for those keys.
  bool IsEndKey(const QKeyEvent& event);
  // Marks the edit ended; false when it had ended before, so it ends once.
  bool MarkEnded();
  // Hands the value to the grid, or the cancel when the edit was cancelled.
  void Report(int controlId, const std::string& value, int itemParam) const;

private:
  QPointer<SubGridCtrl> grid_;
  int row_;
  int column_;
  const GridTreeItem* item_ = nullptr;
  std::uint64_t serial_ = 0;
  bool cancelled_ = false;
  bool ended_ = false;
};

}  // namespace qmx::grid
