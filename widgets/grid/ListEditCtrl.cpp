#include "widgets/grid/ListEditCtrl.h"

#include "widgets/grid/SubGridCtrl.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QStyle>

#include <algorithm>

namespace qmx::grid {

ListEditCtrl::ListEditCtrl(SubGridCtrl* grid, int row, int column, const std::string& initialText, int controlId,
                           Qt::Alignment alignment)
    : QLineEdit(grid->viewport()), edit_(grid, row, column), initialText_(initialText), controlId_(controlId) {
  setObjectName(QStringLiteral("ListEditCtrl"));
  setProperty("controlId", controlId);
  setFont(grid->font());
  setFrame(true);
  setAlignment(alignment | Qt::AlignVCenter);
  setText(QString::fromStdString(initialText));
  setCursorPosition(0);
}

ListEditCtrl::~ListEditCtrl() = default;

void ListEditCtrl::Start() {
  show();
  raise();
  setFocus(Qt::OtherFocusReason);
  selectAll();
}

void ListEditCtrl::FocusGrid() {
  if (SubGridCtrl* grid = edit_.Grid()) grid->setFocus(Qt::OtherFocusReason);
  else clearFocus();
  // A window that is not active gets no focus-out: the edit ends here then.
  if (!edit_.HasEnded() && !hasFocus()) End();
}

void ListEditCtrl::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
      // The grid moves its selection; leaving the box commits the edit.
      if (SubGridCtrl* grid = edit_.Grid()) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
        QCoreApplication::sendEvent(grid, &copy);
      }
      FocusGrid();
      event->accept();
      return;
    default: break;
  }
  if (edit_.IsEndKey(*event)) {
    FocusGrid();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
  event->accept();  // nothing typed into the box reaches a dialog
  if (!event->text().isEmpty()) WidenToText();
}

void ListEditCtrl::WidenToText() {
  SubGridCtrl* grid = edit_.Grid();
  if (!grid) return;
  const int textWidth = QFontMetrics(grid->font()).horizontalAdvance(text());
  const int frame = hasFrame() ? 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
  const int clientWidth = width() - frame;
  if (clientWidth >= textWidth + 5) return;
  const int limit = grid->viewport()->width() - x();
  const int wanted = std::min(textWidth + 5 + frame, limit);
  if (wanted > width()) resize(wanted, height());
}

void ListEditCtrl::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() == Qt::PopupFocusReason) return;  // a context menu keeps the edit open
  End();
}

void ListEditCtrl::End() {
  if (!edit_.MarkEnded()) return;
  edit_.Report(controlId_, text().toStdString(), -1);
  hide();
  deleteLater();
}

}  // namespace qmx::grid
