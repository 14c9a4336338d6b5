#include "widgets/grid/ComboInListView.h"

#include "widgets/grid/GridTypes.h"
#include "widgets/grid/SubGridCtrl.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>

namespace qmx::grid {

ComboInListView::ComboInListView(SubGridCtrl* grid, int row, int column, const std::vector<std::string>& choices)
    : QComboBox(grid->viewport()), grid_(grid), row_(row), column_(column), choices_(choices) {
  setObjectName(QStringLiteral("ComboInListView"));
  setProperty("controlId", kInPlaceListId);
  setFont(grid->font());
  setEditable(false);
  setMaxVisibleItems(10);
  for (const std::string& choice : choices_) addItem(QString::fromStdString(choice));
  setCurrentIndex(-1);
  if (const GridTreeItem* item = grid->GetTreeItem(row)) {
    item_ = item;
    serial_ = item->serial;
  }
  // Escape in the open list cancels; the list closing hands the focus back.
  view()->installEventFilter(this);
  if (QWidget* container = view()->parentWidget()) container->installEventFilter(this);
}

ComboInListView::~ComboInListView() = default;

int ComboInListView::ControlId() const { return kInPlaceListId; }

void ComboInListView::SetHorizontalExtent(int extent) {
  horizontalExtent_ = extent;
  view()->setMinimumWidth(std::max(width(), extent));
}

void ComboInListView::showPopup() {
  popupOpen_ = true;
  QComboBox::showPopup();
  if (dropDownRect_.isValid()) {
    // The list reaches as far down as the drop-down area.
    if (QWidget* container = view()->parentWidget()) {
      const int listHeight = dropDownRect_.height() - height();
      if (listHeight > 0 && container->height() > listHeight) container->resize(container->width(), listHeight);
    }
  }
}

void ComboInListView::hidePopup() {
  QComboBox::hidePopup();
  CloseUp();
}

void ComboInListView::CloseUp() {
  popupOpen_ = false;
  if (ended_) return;
  // After the list has closed the focus goes back to the grid, which ends the edit.
  QTimer::singleShot(0, this, [this] {
    if (!ended_) FocusGrid();
  });
}

void ComboInListView::FocusGrid() {
  if (grid_) grid_->setFocus(Qt::OtherFocusReason);
  if (hasFocus()) clearFocus();
  if (!ended_ && !hasFocus()) End();
}

bool ComboInListView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) cancelled_ = 1;
  if (event->type() == QEvent::Hide && watched == view()->parentWidget()) CloseUp();
  return QComboBox::eventFilter(watched, event);
}

void ComboInListView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      cancelled_ = 1;
      FocusGrid();
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      FocusGrid();
      event->accept();
      return;
    default: QComboBox::keyPressEvent(event);
  }
}

void ComboInListView::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  // Its own list opening moves the focus into the list for a while.
  if (event->reason() == Qt::PopupFocusReason || popupOpen_) return;
  End();
}

void ComboInListView::End() {
  if (ended_) return;
  ended_ = true;
  const int selection = currentIndex();
  const std::string value = currentText().toStdString();
  if (grid_ && selection >= 0)
    grid_->OnEndItemEdit(kInPlaceListId, item_, serial_, column_, cancelled_ ? nullptr : &value, selection);
  hide();
  deleteLater();
}

}  // namespace qmx::grid
