#include "widgets/grid/InPlaceEdit.h"

#include "widgets/grid/SubGridCtrl.h"

#include <QKeyEvent>

namespace qmx::grid {

InPlaceEdit::InPlaceEdit(SubGridCtrl* grid, int row, int column) : grid_(grid), row_(row), column_(column) {
  if (const GridTreeItem* item = grid->GetTreeItem(row)) {
    item_ = item;
    serial_ = item->serial;
  }
}

bool InPlaceEdit::IsEndKey(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Escape: cancelled_ = true; return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: return true;
    default: return false;
  }
}

bool InPlaceEdit::MarkEnded() {
  if (ended_) return false;
  ended_ = true;
  return true;
}

void InPlaceEdit::Report(int controlId, const std::string& value, int itemParam) const {
  if (grid_) grid_->OnEndItemEdit(controlId, item_, serial_, column_, cancelled_ ? nullptr : &value, itemParam);
}

}  // namespace qmx::grid
