// The in-place edit box laid over a text cell. It ends itself when it loses
// the focus and reports the text (or a cancel) to its grid, then deletes
// itself.
#pragma once

#include <QLineEdit>
#include <QPointer>

#include <cstdint>
#include <string>

namespace qmx::grid {

class SubGridCtrl;
struct GridTreeItem;

class ListEditCtrl : public QLineEdit {
  Q_OBJECT

public:
  // Control id 4659 on the first column, 4660 on the others.
  ListEditCtrl(SubGridCtrl* grid, int row, int column, const std::string& initialText, int controlId,
               Qt::Alignment alignment);
  ~ListEditCtrl() override;

  int Row() const { return row_; }
  int Column() const { return column_; }
  int ControlId() const { return controlId_; }
  bool IsCancelled() const { return cancelled_ != 0; }
  // Shows the box with the whole text selected and takes the focus.
  void Start();
  // Cuts the tie to the grid (the grid is going away): no report follows.
  void Detach() { grid_ = nullptr; }

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  void FocusGrid();
  void WidenToText();
  void End();

  QPointer<SubGridCtrl> grid_;
  int row_;
  const GridTreeItem* item_ = nullptr;
  std::uint64_t serial_ = 0;
  int column_;
  std::string initialText_;
  int controlId_;
  int cancelled_ = 0;
  bool ended_ = false;
};

}  // namespace qmx::grid
