#include "app/ui/dialogs/CompareOfflineDlg.h"

#include "app/model/Logging.h"
#include "common/Utility.h"
#include "platform/toolkit/busy_buttons.h"
#include "widgets/grid/GridCtrl.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qmx::dialogs {

namespace {

QLabel* LegendSwatch(QWidget* parent, const QColor& colour, const char* name) {
  auto* swatch = new QLabel(parent);
  swatch->setFixedSize(28, 14);
  swatch->setAutoFillBackground(true);
  QPalette palette = swatch->palette();
  palette.setColor(QPalette::Window, colour);
  swatch->setPalette(palette);
  swatch->setFrameShape(QFrame::Box);
  swatch->setAccessibleName(name);
  return swatch;
}

}  // namespace

CompareOfflineDlg::CompareOfflineDlg(QWidget* parent) : DialogBase(parent, "Compare with Offline") {
  // Step 1: the target.
  auto* step1 = new QGroupBox("Step1. Confirm Target", this);
  kindText_ = MakeField("Target kind");
  kindText_->setProperty("controlId", 1094);
  labelText_ = MakeField("Target");
  labelText_->setProperty("controlId", 1095);
  auto* step1Layout = new QHBoxLayout(step1);
  step1Layout->addWidget(kindText_);
  step1Layout->addWidget(labelText_, 1);

  // Step 2: the scope.
  auto* step2 = new QGroupBox("Step2. Select scope", this);
  configuration_ = new QCheckBox("Configuration", step2);
  configuration_->setProperty("controlId", 1067);
  configuration_->setAccessibleName("Configuration");
  configuration_->setChecked(true);
  configuration_->setEnabled(false);
  parameters_ = new QCheckBox("Parameters", step2);
  parameters_->setProperty("controlId", 1068);
  parameters_->setAccessibleName("Parameters");
  auto* step2Layout = new QHBoxLayout(step2);
  step2Layout->addWidget(configuration_);
  step2Layout->addWidget(parameters_);
  step2Layout->addStretch();

  // Step 3: apply.
  auto* step3 = new QGroupBox("Step3. Apply", this);
  compareButton_ = MakeButton("Start comparing", 1069);
  auto* step3Layout = new QHBoxLayout(step3);
  step3Layout->addWidget(compareButton_);
  step3Layout->addStretch();

  grid_ = new grid::GridCtrl(this);
  grid_->setProperty("controlId", 4097);
  grid_->SetOwnerInfo("CompareOffline", this);
  grid_->InsertColumns(grid::kGridExGridLines,
                       {{"Item", 225, 1}, {"Offline Value", 105, 1}, {"Online Value", 105, 1}, {"Result", 130, 1}}, 0,
                       0, 161, 150, grid::GridRgb(255, 255, 255), grid::kGridAlignLeft, 1);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;
  grid_->setFrameShadow(QFrame::Sunken);
  grid_->setAccessibleName("Comparison results");
  grid_->viewport()->installEventFilter(this);

  // Legend.
  QLabel* configSwatch = LegendSwatch(this, QColor(255, 255, 0), "Configuration colour");
  configSwatch->setProperty("controlId", 1106);
  QLabel* paraSwatch = LegendSwatch(this, QColor(127, 255, 212), "Parameters colour");
  paraSwatch->setProperty("controlId", 1107);
  auto* legend = new QHBoxLayout;
  legend->addWidget(configSwatch);
  legend->addWidget(new QLabel("Configuration", this));
  legend->addSpacing(12);
  legend->addWidget(paraSwatch);
  legend->addWidget(new QLabel("Parameters", this));
  legend->addStretch();

  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* cancel = MakeButton("Cancel", kCancelButtonId);
  legend->addWidget(ok);
  legend->addWidget(cancel);

  auto* steps = new QHBoxLayout;
  steps->addWidget(step1, 2);
  steps->addWidget(step2, 1);
  steps->addWidget(step3, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(steps);
  layout->addWidget(grid_, 1);
  layout->addLayout(legend);
  resize(760, 420);

  connect(compareButton_, &QPushButton::clicked, this, [this] { OnBtnDoCompare(); });
  connect(ok, &QPushButton::clicked, this, [this] { done(kIdOk); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

CompareOfflineDlg::~CompareOfflineDlg() = default;

bool CompareOfflineDlg::eventFilter(QObject* watched, QEvent* event) {
  // The result column takes the room the window gives.
  if (watched == grid_->viewport() && event->type() == QEvent::Resize) {
    constexpr int kResultColumn = 3;
    constexpr int kResultWidth = 130;
    int others = 0;
    for (int c = 0; c < kResultColumn; ++c) others += grid_->GetColumnWidth(c);
    const int room = grid_->viewport()->width() - others;
    grid_->SetColumnWidth(kResultColumn, room > kResultWidth ? room : kResultWidth);
  }
  return DialogBase::eventFilter(watched, event);
}

void CompareOfflineDlg::SetCompareTarget(const std::string& kind, const std::string& label, CNAUsr* adapter,
                                         TreeItem item) {
  kind_ = kind;
  label_ = label;
  adapter_ = adapter;
  item_ = item;
  kindText_->setText(QString::fromStdString(CompareKindText(kind)));
  labelText_->setText(QString::fromStdString(StrFormat(" %s", label.c_str())));
}

void CompareOfflineDlg::SetPresetResults(CompareResultList& rows) {
  preset_ = std::move(rows);
  rows.clear();
  presetShown_ = false;
}

void CompareOfflineDlg::showEvent(QShowEvent* event) {
  DialogBase::showEvent(event);
  if (!presetShown_) {
    presetShown_ = true;
    ShowRows(preset_);
  }
}

void CompareOfflineDlg::ShowRows(CompareResultList& rows) {
  grid_->SetRedraw(false);
  std::vector<grid::GridTreeItem*> inserted;
  for (const CompareRowPlan& plan : PlanCompareRows(rows)) {
    auto* row = new grid::GridRowItem(plan.row->item, plan.icon);
    row->AddColumnText(plan.row->offlineValue);
    row->AddColumnText(plan.row->onlineValue);
    row->AddColumnText(plan.row->result);
    row->readOnly = 1;
    grid::GridTreeItem* parent = plan.parent >= 0 ? inserted[static_cast<size_t>(plan.parent)] : nullptr;
    inserted.push_back(grid_->InsertRow(row, parent));
  }
  rows.clear();
  grid_->ExpandAll();
  grid_->SetRedraw(true);
  if (grid_->GetItemCount() > 0) grid_->SetSelectedRow(0);
}

int CompareOfflineDlg::OnBtnDoCompare() {
  if (!configuration_->isChecked() && !parameters_->isChecked()) {
    qmx::ShowBox("Select a scope to compare.", 0);
    return -1;
  }
  grid_->DeleteAllItems();
  const bool withParameters = parameters_->isChecked();
  int result = 0;
  {
    const qmx::toolkit::BusyButtons busy{compareButton_};
    CompareResultList rows;
    result = compare_ ? compare_(rows, configuration_->isChecked() ? 1 : 0, withParameters ? 1 : 0) : 0;
    if (result == 2) ShowRows(rows);
  }
  const std::string text = CompareOutcomeText(result, withParameters);
  qmx::ShowBox(text, 0);
  std::string line = text;
  const size_t newline = line.find('\n');
  if (newline != std::string::npos) line.erase(newline, 1);
  if (result == 1 || result == 2) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource, line);
  } else {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] %s. Func: %s.", qmx::err::kCompareFailed, line.c_str(), "OnBtnDoCompare"));
  }
  return result;
}

}  // namespace qmx::dialogs
