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
    : QComboBox(grid->viewport()), edit_(grid, row, column), choices_(choices) {
  setObjectName(QStringLiteral("ComboInListView"));
  setProperty("controlId", kInPlaceListId);
  setFont(grid->font());
  setEditable(false);
  setMaxVisibleItems(10);
  for (const std::string& choice : choices_) addItem(QString::fromStdString(choice));
  setCurrentIndex(-1);
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
  if (edit_.HasEnded()) return;
  // After the list has closed the focus goes back to the grid, which ends the edit.
  QTimer::singleShot(0, this, [this] {
    if (!edit_.HasEnded()) FocusGrid();
  });
}

void ComboInListView::FocusGrid() {
  if (SubGridCtrl* grid = edit_.Grid()) grid->setFocus(Qt::OtherFocusReason);
  if (hasFocus()) clearFocus();
  if (!edit_.HasEnded() && !hasFocus()) End();
}

bool ComboInListView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
    edit_.Cancel();
  if (event->type() == QEvent::Hide && watched == view()->parentWidget()) CloseUp();
  return QComboBox::eventFilter(watched, event);
}

void ComboInListView::keyPressEvent(QKeyEvent* event) {
  if (edit_.IsEndKey(*event)) {
    FocusGrid();
    event->accept();
    return;
  }
  QComboBox::keyPressEvent(event);
}

void ComboInListView::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  // Its own list opening moves the focus into the list for a while.
  if (event->reason() == Qt::PopupFocusReason || popupOpen_) return;
  End();
}

void ComboInListView::End() {
  if (!edit_.MarkEnded()) return;
  // Nothing is reported while no entry has been chosen.
  if (const int selection = currentIndex(); selection >= 0)
    edit_.Report(kInPlaceListId, currentText().toStdString(), selection);
  hide();
  deleteLater();
}

}  // namespace qmx::grid
