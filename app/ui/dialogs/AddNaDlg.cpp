#include "app/ui/dialogs/AddNaDlg.h"

#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "app/model/Services.h"
#include "common/Utility.h"
#include "widgets/grid/GridHooks.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace qmx::dialogs {

namespace {
constexpr const char* kHelpFile = "QMX410Tools.chm";
}

CAddNaDlg::CAddNaDlg(const NACatalogue& catalogue, const TextIdMap& textIds, QWidget* parent)
    : DialogBase(parent, "Add Network Adapter"), state_(catalogue, textIds) {
  list_ = new QListWidget(this);
  list_->setProperty("controlId", 1049);
  title_ = new QLineEdit(this);
  title_->setProperty("controlId", 1073);
  ip_ = new QLineEdit(this);
  ip_->setProperty("controlId", 1064);
  ip_->setPlaceholderText("0.0.0.0");
  serial_ = MakeField("Serial settings");
  serial_->setProperty("controlId", 1090);
  serialButton_ = MakeButton("...", 1089);
  serialButton_->setAccessibleName("Serial settings");
  node_ = new QComboBox(this);
  node_->setProperty("controlId", 1038);
  for (int n = 0; n < kNodeAddressCount; ++n) node_->addItem(QString::number(n));
  com_ = new QLineEdit(this);
  com_->setProperty("controlId", 1074);
  description_ = MakeField("Description");
  description_->setMinimumHeight(48);
  description_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  busType_ = new QLabel(this);
  QPushButton* help = MakeButton("Show Technical Data", 1030);
  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kCancelButtonId);

  auto* layout = new QGridLayout(this);
  layout->addWidget(busType_, 0, 0, 1, 3);
  layout->addWidget(MakeLabel("&Network Adapter:", list_), 1, 0, 1, 3);
  layout->addWidget(list_, 2, 0, 1, 3);
  layout->addWidget(description_, 3, 0, 1, 3);
  layout->addWidget(MakeLabel("&Title:", title_), 4, 0);
  layout->addWidget(title_, 4, 1, 1, 2);
  layout->addWidget(MakeLabel("&IP Address:", ip_), 5, 0);
  layout->addWidget(ip_, 5, 1, 1, 2);
  layout->addWidget(MakeLabel("&COM Port:", com_), 6, 0);
  layout->addWidget(com_, 6, 1, 1, 2);
  layout->addWidget(MakeLabel("Node &Address:", node_), 7, 0);
  layout->addWidget(node_, 7, 1, 1, 2);
  layout->addWidget(new QLabel("Serial Settings:", this), 8, 0);
  layout->addWidget(serial_, 8, 1);
  layout->addWidget(serialButton_, 8, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(help);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 9, 0, 1, 3);
  layout->setColumnStretch(1, 1);
  layout->setColumnMinimumWidth(1, 260);

  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { ShowSelection(row); });
  connect(serialButton_, &QPushButton::clicked, this, [this] { OnSerialSettings(); });
  connect(help, &QPushButton::clicked, this, [this] {
    const NADef* def = state_.Chosen();
    if (!def || list_->currentRow() < 0) {
      qmx::ShowBox("Select a network adapter to display technical data.", 0);
      return;
    }
    qmx::ShowHelp(StrFormat("%s/%s::/%s", qmx::Paths().appDir.c_str(), kHelpFile, def->helpLink.c_str()));
  });
  connect(ok, &QPushButton::clicked, this, [this] { OnComplete(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void CAddNaDlg::SetPrjCommInfo(CProjectUsr* project, int typeCode, const std::string& comPort,
                               const std::string& serialSettings, const std::string& nodeAddress) {
  state_.SetPrjCommInfo(project, typeCode, comPort, serialSettings, nodeAddress);
  list_->clear();
  for (const NADef* def : state_.Offered()) list_->addItem(QString::fromStdString(def->modelName));
  busType_->setText(QString::fromStdString(state_.BusTypeLine()));
  if (list_->count() > 0) list_->setCurrentRow(0);

  const AddNaFields fields = state_.InitialFields();
  ip_->setEnabled(fields.ipEnabled);
  node_->setEnabled(fields.nodeEnabled);
  com_->setEnabled(fields.comEnabled);
  serialButton_->setEnabled(fields.serialButtonEnabled);
  serial_->setEnabled(fields.serialButtonEnabled);
  com_->setText(QString::fromStdString(fields.comPort));
  serial_->setText(QString::fromStdString(fields.serialSettings));
  node_->setCurrentIndex(fields.nodeIndex);
}

void CAddNaDlg::ShowSelection(int row) {
  const auto& offered = state_.Offered();
  if (row < 0 || row >= static_cast<int>(offered.size())) return;
  const NADef* def = offered[static_cast<size_t>(row)];
  description_->setText(QString::fromStdString(StrFormat(" %s", def->infoText.c_str())));
  title_->setText(QString::fromStdString(def->modelName));
  state_.Choose(def);
}

void CAddNaDlg::OnSerialSettings() {
  std::string result;
  if (grid::DefaultGridFrameServices().EditSerialSettings(this, serial_->text().toStdString(), result)) {
    serial_->setText(QString::fromStdString(result));
  }
}

void CAddNaDlg::OnComplete() {
  AddNaInput input;
  input.ip = ip_->text().toStdString();
  input.comPort = com_->text().toStdString();
  input.serialSettings = serial_->text().toStdString();
  input.nodeAddress = node_->currentIndex() >= 0 ? node_->currentText().toStdString() : std::string();
  input.title = title_->text().toStdString();
  if (state_.Complete(input)) done(kIdOk);
}

}  // namespace qmx::dialogs
