// The conventions every dialog of the program keeps: only its visible buttons
// close it. Escape presses the dialog's visible Cancel (or Exit) button, and
// does nothing in a dialog without one; Enter presses a button that has the
// focus, or the button a dialog names for it (SetReturnButton), and else
// nothing. The title bar's close box acts as the dialog's Cancel. DoModal
// returns kIdOk (1) or kIdCancel (2).
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace qmx::dialogs {

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
// Control ids of the visible OK and Cancel buttons.
inline constexpr int kOkButtonId = 4;
inline constexpr int kCancelButtonId = 3;

class DialogBase : public QDialog {
  Q_OBJECT
public:
  explicit DialogBase(QWidget* parent, const std::string& title);

  int DoModal() { return exec(); }

  // A push button with its caption as accessible name and its control id
  // as the property "controlId"; it never becomes the dialog's default. The
  // button of id 3 or 2 is the one Escape presses.
  QPushButton* MakeButton(const std::string& caption, int controlId);
  // The button Enter presses when the focus is not on a button.
  void SetReturnButton(QPushButton* button) { returnButton_ = button; }
  // A label naming `buddy` (its text without '&', ':' and the blanks around
  // becomes the buddy's accessible name).
  QLabel* MakeLabel(const std::string& text, QWidget* buddy);
  // A static text field with a frame, as the dialogs show descriptions.
  QLabel* MakeField(const std::string& accessibleName);

  // Writes a picture of the dialog (for screenshots in tests).
  bool SavePicture(const std::string& path);

protected:
  // The Cancel button's handler; the close box calls it as well.
  virtual void OnCancel() { done(kIdCancel); }

  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  QPushButton* cancelButton_ = nullptr;
  QPushButton* returnButton_ = nullptr;
};

}  // namespace qmx::dialogs
