#include "app/ui/dialogs/TargetDlg.h"

#include "app/ui/dialogs/state/CommandDialogState.h"
#include "common/Utility.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qmx::dialogs {

namespace {
constexpr int kAllButtonId = 6;
constexpr int kSelectedButtonId = 5;
}  // namespace

CResetFactoryDlg::CResetFactoryDlg(QWidget* parent)
    : CResetFactoryDlg(parent, "Reset to factory default", "Reset NA && IOs", "Reset Selected Module") {}

CResetFactoryDlg::CResetFactoryDlg(QWidget* parent, const std::string& title, const std::string& allText,
                                   const std::string& selectedText)
    : DialogBase(parent, title) {
  kindText_ = MakeField("Target");
  kindText_->setProperty("controlId", 1082);
  labelText_ = MakeField("Target name");
  labelText_->setProperty("controlId", 1083);
  all_ = MakeButton(allText, kAllButtonId);
  selected_ = MakeButton(selectedText, kSelectedButtonId);
  cancel_ = MakeButton("Cancel", kCancelButtonId);
  SetButtonText(all_, allText);
  SetButtonText(selected_, selectedText);
  all_->hide();

  auto* target = new QGridLayout;
  auto* heading = new QLabel("Target", this);
  heading->setBuddy(kindText_);
  target->addWidget(heading, 0, 0);
  target->addWidget(kindText_, 0, 1);
  target->addWidget(labelText_, 0, 2);
  target->setColumnStretch(2, 1);
  target->setColumnMinimumWidth(2, 220);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(all_);
  buttons->addWidget(selected_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(target);
  layout->addLayout(buttons);

  connect(all_, &QPushButton::clicked, this, [this] { OnBtnAll(); });
  connect(selected_, &QPushButton::clicked, this, [this] { OnBtnSelected(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void CResetFactoryDlg::SetButtonText(QPushButton* button, const std::string& text) {
  // "&&" shows as one ampersand, on the button and to accessibility tools.
  button->setText(QString::fromStdString(text));
  button->setAccessibleName(QString::fromStdString(text).replace("&&", "&"));
}

void CResetFactoryDlg::SetTarget(const std::string& kind, const std::string& label, int mayIncludeModules) {
  kind_ = kind;
  label_ = label;
  mayIncludeModules_ = mayIncludeModules;
}

void CResetFactoryDlg::showEvent(QShowEvent* event) {
  OnInitDialog();
  DialogBase::showEvent(event);
}

void CResetFactoryDlg::OnInitDialog() {
  kindText_->setText(QString::fromStdString(kind_));
  labelText_->setText(QString::fromStdString(StrFormat(" %s", label_.c_str())));
  const TargetButtons plan = PlanTargetButtons(kind_, mayIncludeModules_);
  all_->setVisible(plan.all);
  selected_->setVisible(plan.selected);
  (plan.all ? all_ : selected_)->setFocus();
  adjustSize();
}

void CResetFactoryDlg::OnBtnAll() {
  choice_ = 1;
  done(kIdOk);
}

void CResetFactoryDlg::OnBtnSelected() {
  choice_ = 0;
  done(kIdOk);
}

CDownloadTargetDlg::CDownloadTargetDlg(QWidget* parent)
    : CResetFactoryDlg(parent, "Select a target for download parameters", "Download to NA && IOs",
                       "Downlaod to selected module") {}

void CDownloadTargetDlg::SetActionTexts(const std::string& action, const std::string& verb) {
  action_ = action;
  verb_ = verb;
}

void CDownloadTargetDlg::OnInitDialog() {
  CResetFactoryDlg::OnInitDialog();
  setWindowTitle(QString::fromStdString(StrFormat("Select a target for %s", action_.c_str())));
  SetButtonText(all_, StrFormat("%s NA && IOs", verb_.c_str()));
  SetButtonText(selected_, StrFormat("%s target module", verb_.c_str()));
  adjustSize();
}

}  // namespace qmx::dialogs
