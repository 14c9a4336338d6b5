#include "app/ui/dialogs/RenameDlg.h"

#include "app/ui/dialogs/state/SmallDialogState.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qmx::dialogs {

CRenameDlg::CRenameDlg(QWidget* parent) : DialogBase(parent, "Rename") {
  oldName_ = MakeField("Old name");
  edit_ = new QLineEdit(this);
  edit_->setProperty("controlId", 1078);
  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kCancelButtonId);

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("Old name:", this), 0, 0);
  grid->addWidget(oldName_, 0, 1);
  grid->addWidget(MakeLabel("&New name:", edit_), 1, 0);
  grid->addWidget(edit_, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 2, 0, 1, 2);
  grid->setColumnMinimumWidth(1, 260);

  SetReturnButton(ok);
  connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void CRenameDlg::SetOldName(const std::string& name) {
  oldName_->setText(QString::fromStdString(name));
  edit_->setText(QString::fromStdString(name));
  edit_->selectAll();
  edit_->setFocus();
}

void CRenameDlg::OnOK() {
  if (!AcceptNewName(edit_->text().toStdString(), newName_)) return;
  done(kIdOk);
}

}  // namespace qmx::dialogs
