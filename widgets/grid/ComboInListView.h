// The in-place drop-down list laid over a choice cell (control id 4661). It
// ends itself when it loses the focus and reports the chosen entry (or a
// cancel) to its grid, then deletes itself.
#pragma once

#include "widgets/grid/InPlaceEdit.h"

#include <QComboBox>
#include <QRect>

#include <string>
#include <vector>

namespace qmx::grid {

class SubGridCtrl;

class ComboInListView : public QComboBox {
  Q_OBJECT

public:
  ComboInListView(SubGridCtrl* grid, int row, int column, const std::vector<std::string>& choices);
  ~ComboInListView() override;

  int ControlId() const;
  // The whole drop-down area (the cell and the list below it) and the width
  // the list scrolls over (widest choice + 6 pixels).
  void SetDropDownRect(const QRect& rect) { dropDownRect_ = rect; }
  QRect DropDownRect() const { return dropDownRect_; }
  void SetHorizontalExtent(int extent);
  int HorizontalExtent() const { return horizontalExtent_; }
  void Detach() { edit_.Detach(); }

  void showPopup() override;
  void hidePopup() override;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void FocusGrid();
  void CloseUp();
  void End();

  InPlaceEdit edit_;
  std::vector<std::string> choices_;
  bool popupOpen_ = false;
  QRect dropDownRect_;
  int horizontalExtent_ = 0;
};

}  // namespace qmx::grid
