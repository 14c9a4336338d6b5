// The in-place edit box laid over a text cell. It ends itself when it loses
// the focus and reports the text (or a cancel) to its grid, then deletes
// itself.
#pragma once

#include "widgets/grid/InPlaceEdit.h"

#include <QLineEdit>

#include <string>

namespace qmx::grid {

class SubGridCtrl;

class ListEditCtrl : public QLineEdit {
  Q_OBJECT

public:
  // Control id 4659 on the first column, 4660 on the others.
  ListEditCtrl(SubGridCtrl* grid, int row, int column, const std::string& initialText, int controlId,
               Qt::Alignment alignment);
  ~ListEditCtrl() override;

  int ControlId() const { return controlId_; }
  // Shows the box with the whole text selected and takes the focus.
  void Start();
  // Cuts the tie to the grid (the grid is going away): no report follows.
  void Detach() { edit_.Detach(); }

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  void FocusGrid();
  void WidenToText();
  void End();

  InPlaceEdit edit_;
  std::string initialText_;
  int controlId_;
};

}  // namespace qmx::grid
