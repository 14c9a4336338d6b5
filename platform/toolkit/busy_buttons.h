// Buttons disabled while the task one of them started runs. Disabling the
// button that has the keyboard focus moves the focus on to the next
// control; when the task ends it comes back to that button, so that Space
// runs the task again.
#pragma once

#include <initializer_list>
#include <vector>

#include <QWidget>

namespace qmx::toolkit {

class BusyButtons {
public:
  explicit BusyButtons(std::initializer_list<QWidget*> buttons) : buttons_(buttons) {
    for (QWidget* b : buttons_) {
      if (b->window()->focusWidget() == b) focused_ = b;
      b->setEnabled(false);
    }
  }
  ~BusyButtons() {
    for (QWidget* b : buttons_) b->setEnabled(true);
    if (focused_) focused_->setFocus(Qt::OtherFocusReason);
  }
  BusyButtons(const BusyButtons&) = delete;
  BusyButtons& operator=(const BusyButtons&) = delete;

private:
  std::vector<QWidget*> buttons_;
  QWidget* focused_ = nullptr;
};

}  // namespace qmx::toolkit
