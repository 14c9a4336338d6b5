#include "app/frame/AutoScanDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "common/Utility.h"
#include "platform/toolkit/busy_buttons.h"
#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/GridHooks.h"
#include "widgets/grid/GridImages.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

QPushButton* Button(const char* caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setAutoDefault(false);
  return b;
}

QSpinBox* Range(int max, QWidget* parent, const char* name) {
  auto* s = new QSpinBox(parent);
  s->setRange(1, max);
  s->setAccessibleName(name);
  return s;
}

}  // namespace

// ---- Automatic Scan -----------------------------------------------------------

AutoScanDlg::AutoScanDlg(const NACatalogue& adapters, const IOCatalogue& modules, const std::string& folder,
                         QWidget* parent)
    : QDialog(parent), session_(adapters, modules), folder_(folder) {
  setWindowTitle("Automatic Scan");

  auto* step1 = new QGroupBox("Step1. Select Option", this);
  tcp_ = new QRadioButton("TCP/IP", step1);
  serial_ = new QRadioButton("Serial (RTU/ASCII)", step1);
  portFrom_ = Range(65535, step1, "Port from");
  portTo_ = Range(65535, step1, "Port to");
  nodeFrom_ = Range(255, step1, "Node from");
  nodeTo_ = Range(255, step1, "Node to");
  portTilde_ = new QLabel("~", step1);
  serialText_ = new QLineEdit(step1);
  serialText_->setReadOnly(true);
  serialText_->setAccessibleName("Serial settings");
  serialButton_ = Button("...", step1);
  serialButton_->setAccessibleName("Serial settings ...");
  auto* portLabel = new QLabel("Port:", step1);
  portLabel->setBuddy(portFrom_);
  auto* nodeLabel = new QLabel("Node:", step1);
  nodeLabel->setBuddy(nodeFrom_);
  auto* g1 = new QGridLayout(step1);
  g1->addWidget(tcp_, 0, 0, 1, 2);
  g1->addWidget(serial_, 0, 2, 1, 3);
  g1->addWidget(portLabel, 1, 0);
  g1->addWidget(portFrom_, 1, 1);
  g1->addWidget(portTilde_, 1, 2);
  g1->addWidget(portTo_, 1, 3);
  g1->addWidget(nodeLabel, 2, 0);
  g1->addWidget(nodeFrom_, 2, 1);
  g1->addWidget(new QLabel("~", step1), 2, 2);
  g1->addWidget(nodeTo_, 2, 3);
  g1->addWidget(serialText_, 3, 0, 1, 4);
  g1->addWidget(serialButton_, 3, 4);

  auto* step2 = new QGroupBox("Step2. Scan", this);
  scan_ = Button("Scan", step2);
  (new QVBoxLayout(step2))->addWidget(scan_);

  auto* step3 = new QGroupBox("Step3. Apply", this);
  overwriteRadio_ = new QRadioButton("Overwrite the project", step3);
  addRadio_ = new QRadioButton("Add to selected project", step3);
  copyParaCheck_ = new QCheckBox("Copy parameters", step3);
  copyOutCheck_ = new QCheckBox("Copy output values", step3);
  auto* g3 = new QGridLayout(step3);
  g3->addWidget(overwriteRadio_, 0, 0);
  g3->addWidget(addRadio_, 1, 0);
  g3->addWidget(copyParaCheck_, 0, 1);
  g3->addWidget(copyOutCheck_, 1, 1);

  grid_ = new qmx::grid::GridCtrl(this);
  grid_->setObjectName(QString("Grid%1").arg(qmx::grid::kGridControlId));
  grid_->setFocusPolicy(Qt::StrongFocus);
  grid_->setAccessibleName("AutoScan");

  auto* ok = Button("OK", this);
  auto* exit = Button("Exit", this);
  auto* layout = new QGridLayout(this);
  auto* left = new QVBoxLayout;
  left->addWidget(step1);
  left->addWidget(step2);
  left->addWidget(step3);
  left->addStretch();
  layout->addLayout(left, 0, 0);
  layout->addWidget(grid_, 0, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(exit);
  layout->addLayout(buttons, 1, 0, 1, 2);
  layout->setColumnStretch(1, 1);
  resize(1000, 440);

  connect(serialButton_, &QPushButton::clicked, this, [this] { OnBtnSerialSettings(); });
  connect(scan_, &QPushButton::clicked, this, [this] { OnBtnDoScan(); });
  connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(exit, &QPushButton::clicked, this, [this] { OnExit(); });
  connect(tcp_, &QRadioButton::clicked, this, [this] { serialButton_->setEnabled(false); });
  connect(serial_, &QRadioButton::clicked, this, [this] { serialButton_->setEnabled(true); });
}

AutoScanDlg::~AutoScanDlg() = default;

void AutoScanDlg::SetCommInfo(const std::string& busType, const std::string& driverFile, int code) {
  busType_ = busType;
  driverFile_ = driverFile;
  code_ = code;
}

void AutoScanDlg::SetScanInfo(const std::string& portRange, const std::string& nodeRange,
                              const std::string& serialSettings) {
  qmx::scan::SetScanInfo(ranges_, portRange, nodeRange, serialSettings);
}

int AutoScanDlg::exec() {
  OnInitDialog();
  return QDialog::exec();
}

void AutoScanDlg::OnInitDialog() {
  const bool tcp = qmx::scan::IsTcpCode(code_);
  std::vector<qmx::grid::GridColumnDef> columns;
  if (tcp)
    columns = {{"Name", 145, 1},        {"IP Address", 100, 1}, {"MAC Address", 140, 1},
               {"Subnet Mask", 100, 1}, {"Gateway", 100, 1},    {"IO No.", 50, 1}};
  else
    columns = {{"Name", 145, 1}, {"COM Port", 90, 1}, {"Comm. Parameter", 150, 1}, {"Node Addr.", 80, 1},
               {"IO No.", 50, 1}};
  grid_->SetOwnerInfo("AutoScan", this);
  grid_->InsertColumns(qmx::grid::kGridExGridLines, columns, 0, 0, qmx::grid::kBitmapTreeIcons,
                       qmx::grid::kBitmapSubItems, qmx::grid::GridRgb(255, 255, 255), qmx::grid::kGridAlignLeft, 1);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;

  tcp_->setChecked(true);
  overwriteRadio_->setChecked(true);
  scan_->setEnabled(true);
  portFrom_->setValue(static_cast<int>(ranges_.portFrom));
  portTo_->setValue(static_cast<int>(ranges_.portTo));
  nodeFrom_->setValue(ranges_.nodeFrom);
  nodeTo_->setValue(ranges_.nodeTo);
  if (qmx::scan::IsSerialCode(code_)) {
    tcp_->setEnabled(false);
    serial_->setChecked(true);
    serialText_->setText(Q(ranges_.serialSettings));
    const bool onePort = code_ == kCommRs422 || code_ == kCommRs485;
    portTilde_->setVisible(!onePort);
    portTo_->setVisible(!onePort);
  } else {
    serial_->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{portFrom_, portTo_, nodeFrom_, nodeTo_, serialButton_})
      w->setEnabled(false);
    serialText_->clear();
  }
}

void AutoScanDlg::Box(const std::string& text) {
  if (showBox)
    showBox(text);
  else
    qmx::ShowBox(text, qmx::kBoxIconInformation);
}

bool AutoScanDlg::TakeFields() {
  // The spin boxes hold values inside their ranges only.
  ranges_.portFrom = static_cast<uint32_t>(portFrom_->value());
  ranges_.portTo = static_cast<uint32_t>(portTo_->value());
  ranges_.nodeFrom = static_cast<uint8_t>(nodeFrom_->value());
  ranges_.nodeTo = static_cast<uint8_t>(nodeTo_->value());
  return true;
}

void AutoScanDlg::OnBtnSerialSettings() {
  std::string result;
  if (qmx::grid::DefaultGridFrameServices().EditSerialSettings(this, S(serialText_->text()), result)) {
    ranges_.serialSettings = result;
    serialText_->setText(Q(result));
  }
}

void AutoScanDlg::OnBtnDoScan() {
  const bool serial = qmx::scan::IsSerialCode(code_);
  if (serial && !TakeFields()) return;
  if (driverFile_.empty() || code_ == kCommNoDriver) {
    PostLog(qmx::kLogError, qmx::kLogSource, StrFormat("[Bug] Communication driver name is empty. Func: %s", "OnBtnDoScan"));
    return;
  }
  if (code_ == kCommNone) {
    PostLog(qmx::kLogError, qmx::kLogSource, StrFormat("[Bug] Communication type is offline. %s", "OnBtnDoScan"));
    return;
  }
  const qmx::scan::ScanPlan plan = qmx::scan::PlanScan(code_, ranges_);
  if (!plan.ok()) {
    Box(plan.refusal);
    return;
  }
  if (serial) portTo_->setValue(static_cast<int>(ranges_.portTo));

  grid_->DeleteAllItems();
  session_.Free();
  int r = 0;
  {
    const qmx::toolkit::BusyButtons busy{scan_};
    auto scan = [&] { return session_.Start(folder_, driverFile_, busType_, code_, plan.timeMs, plan.param); };
    r = runWithProgress ? runWithProgress("Automatic Scanning...", plan.timeMs, scan) : scan();
  }
  for (const qmx::scan::ScanRow& row : session_.Rows()) {
    auto* item = new qmx::grid::GridRowItem(row.label, -1, 0);
    for (const std::string& text : row.texts) item->AddColumnText(text);
    item->AddColumnText(StrFormat("%d", static_cast<int>(row.modules.size())));
    qmx::grid::GridTreeItem* top = grid_->InsertRow(item);
    for (const std::string& module : row.modules) grid_->InsertRow(new qmx::grid::GridRowItem(module, -1, 0), top);
  }
  grid_->ExpandAll();
  if (!session_.Rows().empty()) grid_->SelectItem(grid_->FindItem(session_.Rows().front().label));

  if (r == qmx::scan::kScanDone && session_.FoundCount() > 0)
    Box("Auto scan is successfully completed.");
  else if (r == qmx::scan::kScanDone)
    Box("Scanned NA does not exist.");
  else if (r == qmx::scan::kScanUnknownProduct)
    Box("Unknown product detected. XML file does not exist.");
  else if (r == qmx::scan::kScanIncomplete)
    Box(StrFormat("%s Please see the below log in detail.", qmx::scan::kIncompleteScan));
  else
    Box("Auto scan is failed. Please see the below log in detail.");
}

void AutoScanDlg::OnOK() {
  const ScanResultList* result = session_.Result();
  if (result && result->count > 0 && session_.FoundCount() > 0) {
    overwrite_ = overwriteRadio_->isChecked() ? 1 : 0;
    copyParameters_ = copyParaCheck_->isChecked() ? 1 : 0;
    copyOutputs_ = copyOutCheck_->isChecked() ? 1 : 0;
    accept();
    return;
  }
  Box("Empty list. Please go to exit.");
}

void AutoScanDlg::OnExit() {
  if (qmx::scan::IsSerialCode(code_)) TakeFields();
  session_.Free();
  reject();
}

// ---- Send special command ---------------------------------------------------------

CSpecialCmdDlg::CSpecialCmdDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Send special command");
  auto* target = new QGroupBox("Target", this);
  labelText_ = new QLabel(target);
  typeText_ = new QLabel(target);
  auto* tl = new QVBoxLayout(target);
  tl->addWidget(labelText_);
  tl->addWidget(typeText_);
  restart_ = Button("Restart", this);
  reset_ = Button("Reset error counters", this);
  auto* cancel = Button("Cancel", this);
  auto* restartText = new QLabel("  Network adapter will be initialized \n  and restarted, and all of its communications\n"
                                 "  event counters are cleared.",
                                 this);
  auto* resetText = new QLabel("  This command will clear all counters\n  and the diagnostic register.\n"
                               "  (Especially, error counter)",
                               this);
  // A screen reader tells with each button what the text beside it says.
  restart_->setAccessibleDescription(restartText->text().simplified());
  reset_->setAccessibleDescription(resetText->text().simplified());
  auto* layout = new QGridLayout(this);
  layout->addWidget(target, 0, 0, 1, 2);
  layout->addWidget(restart_, 1, 0);
  layout->addWidget(restartText, 1, 1);
  layout->addWidget(reset_, 2, 0);
  layout->addWidget(resetText, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 3, 0, 1, 2);
  connect(restart_, &QPushButton::clicked, this, [this] { OnBtnRestart(); });
  connect(reset_, &QPushButton::clicked, this, [this] { OnBtnResetErrCounter(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSpecialCmdDlg::SetTarget(const std::string& label, const std::string& type) {
  label_ = label;
  type_ = type;
}

int CSpecialCmdDlg::exec() {
  labelText_->setText(Q(" " + label_));
  typeText_->setText(Q(" " + type_));
  return QDialog::exec();
}

int CSpecialCmdDlg::Run(const std::string& text, const std::function<int()>& op) {
  const qmx::toolkit::BusyButtons busy{restart_, reset_};
  return !op ? 0 : runWithProgress ? runWithProgress(text, 30000, op) : op();
}

void CSpecialCmdDlg::OnBtnRestart() {
  const std::string question = "Do you restart the selected network adapter?";
  const bool yes = ask ? ask(question)
                       : qmx::ShowBox(question, qmx::kBoxYesNo | qmx::kBoxIconQuestion) == qmx::kBoxIdYes;
  if (!yes) return;
  const int r = Run("Network adapter restarting ...", doRestart);
  const std::string text = r == 1 ? "Network adapter is restarted. " : "Restart is failed.\nSee below log in detail. ";
  if (showBox)
    showBox(text);
  else
    qmx::ShowBox(text, r == 1 ? qmx::kBoxIconInformation : qmx::kBoxIconStop);
}

void CSpecialCmdDlg::OnBtnResetErrCounter() {
  const int r = Run("Error counters of network adapter is resetting...", doResetErrCounter);
  const std::string text =
      r == 1 ? "Error counters of network adapter is reseted. " : "Reset is failed.\nSee below log in detail. ";
  if (showBox)
    showBox(text);
  else
    qmx::ShowBox(text, r == 1 ? qmx::kBoxIconInformation : qmx::kBoxIconStop);
}
