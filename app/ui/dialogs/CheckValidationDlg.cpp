#include "app/ui/dialogs/CheckValidationDlg.h"

#include "app/model/Services.h"
#include "app/ui/dialogs/state/SmallDialogState.h"
#include "common/Utility.h"
#include "platform/toolkit/window_messages.h"
#include "widgets/grid/GridCtrl.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace qmx::dialogs {

namespace {
constexpr const char* kHelpFile = "QMX410Tools.chm";
}

CheckValidationDlg::CheckValidationDlg(QWidget* parent) : DialogBase(parent, "Validation Result") {
  grid_ = new grid::GridCtrl(this);
  grid_->setProperty("controlId", grid::kGridControlId);
  grid_->SetOwnerInfo("CheckValidation", this);
  grid_->InsertColumns(grid::kGridExGridLines,
                       {{"Module/Error Category", 220, 1}, {"Error#", 50, 1}, {"Error & Measure", 370, 1}}, 0, 0,
                       161, 150, grid::GridRgb(255, 255, 255), grid::kGridAlignLeft, 1);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;
  grid_->setAccessibleName("Validation results");
  grid_->viewport()->installEventFilter(this);

  // The fields are named as the labels beside them read.
  kind_ = MakeField("Type");
  target_ = MakeField("Target");
  result_ = MakeField("Result");
  measure_ = MakeField("Error & Measure");
  measure_->setMinimumHeight(48);
  measure_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  QPushButton* help = MakeButton("Error Message Help", 1044);
  QPushButton* ok = MakeButton("OK", kOkButtonId);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("Type:", this), 0, 0);
  layout->addWidget(kind_, 0, 1);
  layout->addWidget(new QLabel("Target:", this), 1, 0);
  layout->addWidget(target_, 1, 1);
  layout->addWidget(new QLabel("Result:", this), 2, 0);
  layout->addWidget(result_, 2, 1);
  layout->addWidget(grid_, 3, 0, 1, 2);
  layout->addWidget(new QLabel("Error & Measure:", this), 4, 0, Qt::AlignTop);
  layout->addWidget(measure_, 4, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(help);
  buttons->addStretch();
  buttons->addWidget(ok);
  layout->addLayout(buttons, 5, 0, 1, 2);
  layout->setRowStretch(3, 1);
  layout->setColumnStretch(1, 1);
  resize(1040, 460);

  connect(help, &QPushButton::clicked, this, [] {
    qmx::ShowHelp(StrFormat("%s/%s::/%s", qmx::Paths().appDir.c_str(), kHelpFile, "ValidationErrCode.htm"));
  });
  connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
}

CheckValidationDlg::~CheckValidationDlg() = default;

void CheckValidationDlg::SetValidationResult(const std::string& kind, const std::string& target, TreeItem,
                                             const std::string& result, ValidationList& rows) {
  rows_ = std::move(rows);
  rows.clear();
  kind_->setText(QString::fromStdString(ValidationKindText(kind)));
  target_->setText(QString::fromStdString(StrFormat(" %s", target.c_str())));
  result_->setText(QString::fromStdString(result));

  grid_->SetRedraw(false);
  grid_->DeleteAllItems();
  std::vector<grid::GridTreeItem*> inserted;
  for (const ValidationRowPlan& plan : PlanValidationRows(rows_)) {
    auto* row = new grid::GridRowItem(plan.text, plan.icon);
    row->AddColumnText(plan.errorNumber);
    row->AddColumnText(plan.measure);
    row->readOnly = 1;
    grid::GridTreeItem* parent = plan.parent >= 0 ? inserted[static_cast<size_t>(plan.parent)] : nullptr;
    inserted.push_back(grid_->InsertRow(row, parent));
  }
  grid_->ExpandAll();
  grid_->SetRedraw(true);
  if (grid_->GetItemCount() > 0) grid_->SetSelectedRow(0);
}

bool CheckValidationDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_->viewport() && event->type() == QEvent::Resize) FitMeasureColumn();
  return DialogBase::eventFilter(watched, event);
}

void CheckValidationDlg::FitMeasureColumn() {
  // The measure column takes the room the window gives, so long rule texts
  // show whole where they fit.
  constexpr int kMeasureColumn = 2;
  constexpr int kMeasureWidth = 370;
  int others = 0;
  for (int c = 0; c < kMeasureColumn; ++c) others += grid_->GetColumnWidth(c);
  const int room = grid_->viewport()->width() - others;
  grid_->SetColumnWidth(kMeasureColumn, room > kMeasureWidth ? room : kMeasureWidth);
}

bool CheckValidationDlg::event(QEvent* event) {
  if (event->type() == toolkit::EventTypeOf(toolkit::kGridRowMessage)) {
    auto* message = static_cast<toolkit::WindowMessageEvent*>(event);
    const auto* row = reinterpret_cast<const grid::GridRowItem*>(message->lparam());
    if (message->wparam() == 1 && row) {
      measure_->setText(QString::fromStdString(StrFormat(" %s", row->GetColumnText(1).c_str())));
    }
    return true;
  }
  return DialogBase::event(event);
}

void CheckValidationDlg::OnOK() {
  rows_.clear();
  done(kIdOk);
}

}  // namespace qmx::dialogs
