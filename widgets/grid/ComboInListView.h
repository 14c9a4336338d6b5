// The in-place drop-down list laid over a choice cell (control id 4661). It
// ends itself when it loses the focus and reports the chosen entry (or a
// cancel) to its grid, then deletes itself.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <QRect>

#include <cstdint>
#include <string>
#include <vector>

namespace qmx::grid {

class SubGridCtrl;
struct GridTreeItem;

class ComboInListView : public QComboBox {
  Q_OBJECT

public:
  ComboInListView(SubGridCtrl* grid, int row, int column, const std::vector<std::string>& choices);
  ~ComboInListView() override;

  int Row() const { return row_; }
  int Column() const { return column_; }
  int ControlId() const;
  bool IsCancelled() const { return cancelled_ != 0; }
  const std::vector<std::string>& Choices() const { return choices_; }
  // The whole drop-down area (the cell and the list below it) and the width
  // the list scrolls over (widest choice + 6 pixels).
  void SetDropDownRect(const QRect& rect) { dropDownRect_ = rect; }
  QRect DropDownRect() const { return dropDownRect_; }
  void SetHorizontalExtent(int extent);
  int HorizontalExtent() const { return horizontalExtent_; }
  void Detach() { grid_ = nullptr; }

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

  QPointer<SubGridCtrl> grid_;
  int row_;
  const GridTreeItem* item_ = nullptr;
  std::uint64_t serial_ = 0;
  int column_;
  std::vector<std::string> choices_;
  int cancelled_ = 0;
  bool ended_ = false;
  bool popupOpen_ = false;
  QRect dropDownRect_;
  int horizontalExtent_ = 0;
};

}  // namespace qmx::grid
