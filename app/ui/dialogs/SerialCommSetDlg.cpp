#include "app/ui/dialogs/SerialCommSetDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qmx::dialogs {

namespace {

QComboBox* MakeList(QWidget* parent, int controlId, const std::vector<std::string>& choices) {
  auto* list = new QComboBox(parent);
  list->setEditable(false);
  list->setProperty("controlId", controlId);
  for (const std::string& choice : choices) list->addItem(QString::fromStdString(choice));
  return list;
}

void Select(QComboBox* list, const std::vector<std::string>& choices, const std::string& value) {
  list->setCurrentIndex(FindChoiceByPrefix(choices, value));
}

}  // namespace

CSerialCommSetDlg::CSerialCommSetDlg(QWidget* parent) : DialogBase(parent, "Serial Communication Setting") {
  baud_ = MakeList(this, 1101, BaudRateChoices());
  data_ = MakeList(this, 1102, DataBitsChoices());
  parity_ = MakeList(this, 1104, ParityChoices());
  stop_ = MakeList(this, 1105, StopBitsChoices());
  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kIdCancel);

  auto* group = new QGroupBox(this);
  auto* grid = new QGridLayout(group);
  grid->addWidget(MakeLabel("&Baud Rate :", baud_), 0, 0);
  grid->addWidget(baud_, 0, 1);
  grid->addWidget(MakeLabel("&Data Bits :", data_), 1, 0);
  grid->addWidget(data_, 1, 1);
  grid->addWidget(MakeLabel("&Parity :", parity_), 2, 0);
  grid->addWidget(parity_, 2, 1);
  grid->addWidget(MakeLabel("&Stop Bits :", stop_), 3, 0);
  grid->addWidget(stop_, 3, 1);
  grid->setColumnMinimumWidth(1, 150);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

bool CSerialCommSetDlg::SetCommSetString(const std::string& text) { return setting_.Set(text); }

void CSerialCommSetDlg::showEvent(QShowEvent* event) {
  OnInitDialog();
  DialogBase::showEvent(event);
}

void CSerialCommSetDlg::OnInitDialog() {
  Select(baud_, BaudRateChoices(), setting_.baudRate);
  Select(data_, DataBitsChoices(), setting_.dataBits);
  Select(parity_, ParityChoices(), setting_.parity);
  Select(stop_, StopBitsChoices(), setting_.stopBits);
  baud_->setFocus();
}

void CSerialCommSetDlg::OnOK() {
  setting_.baudRate = baud_->currentText().toStdString();
  setting_.dataBits = data_->currentText().toStdString();
  setting_.parity = parity_->currentText().toStdString();
  setting_.stopBits = stop_->currentText().toStdString();
  done(kIdOk);
}

}  // namespace qmx::dialogs
