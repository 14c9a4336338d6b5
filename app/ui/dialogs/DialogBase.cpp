#include "app/ui/dialogs/DialogBase.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace qmx::dialogs {

DialogBase::DialogBase(QWidget* parent, const std::string& title) : QDialog(parent) {
  setWindowTitle(QString::fromStdString(title));
  setModal(true);
}

QPushButton* DialogBase::MakeButton(const std::string& caption, int controlId) {
  auto* button = new QPushButton(QString::fromStdString(caption), this);
  button->setProperty("controlId", controlId);
  button->setAccessibleName(QString(caption.c_str()).remove('&'));
  button->setDefault(false);
  if (controlId == kCancelButtonId || controlId == kIdCancel) cancelButton_ = button;
  return button;
}

QLabel* DialogBase::MakeLabel(const std::string& text, QWidget* buddy) {
  auto* label = new QLabel(QString::fromStdString(text), this);
  if (buddy) {
    label->setBuddy(buddy);
    // "&Baud Rate :" names its field "Baud Rate".
    buddy->setAccessibleName(QString::fromStdString(text).remove('&').remove(':').trimmed());
  }
  return label;
}

QLabel* DialogBase::MakeField(const std::string& accessibleName) {
  auto* field = new QLabel(this);
  field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  field->setWordWrap(true);
  field->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  field->setFocusPolicy(Qt::NoFocus);
  field->setAccessibleName(QString::fromStdString(accessibleName));
  return field;
}

bool DialogBase::SavePicture(const std::string& path) { return grab().save(QString::fromStdString(path)); }

namespace {

// Presses a button the user could press with the mouse now.
void PressIfOffered(QPushButton* button, QWidget* dialog) {
  if (button && button->isVisibleTo(dialog) && button->isEnabled()) button->click();
}

}  // namespace

void DialogBase::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      PressIfOffered(cancelButton_, this);
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A focused button has taken its own Enter already.
      PressIfOffered(returnButton_, this);
      event->accept();
      return;
    default: QDialog::keyPressEvent(event);
  }
}

void DialogBase::closeEvent(QCloseEvent* event) {
  event->ignore();
  OnCancel();
}

}  // namespace qmx::dialogs
