#include "app/ui/dialogs/InquiryDlg.h"

#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "common/Utility.h"
#include "platform/toolkit/window_messages.h"
#include "widgets/grid/GridCtrl.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace qmx::dialogs {

namespace {

constexpr const char* kHelpFile = "QMX410Tools.chm";
// Value columns of a row: 0 No, 1 Quantity, 2 Model Name, 3 Part No.; the
// row's first text is its help page.
constexpr int kColQuantity = 1;
constexpr int kColModel = 2;
constexpr int kColPart = 3;

std::string AskSaveFile(QWidget* parent, const std::string& folder, const std::string& defaultName) {
  QFileDialog dialog(parent, QString(), QString::fromStdString(folder), "Text Files (*.csv)");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("csv");
  dialog.selectFile(QString::fromStdString(defaultName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace

InquiryDlg::SaveFileQuestion InquiryDlg::s_saveFileQuestion = AskSaveFile;

InquiryDlg::InquiryDlg(QWidget* parent) : DialogBase(parent, "Inquiry") {
  grid_ = new grid::GridCtrl(this);
  grid_->setProperty("controlId", grid::kGridControlId);
  grid_->SetOwnerInfo("Inquiry", this);
  grid_->InsertColumns(grid::kGridExGridLines,
                       {{"", 0, 1}, {"No", 30, 1}, {"Quantity", 65, 0}, {"Model Name", 100, 1}, {"Part No.", 190, 1}},
                       1, 0, 163, 163, grid::GridRgb(0, 255, 255), grid::kGridAlignLeft, 1);
  grid_->SetEditable(0);
  grid_->deletionEnabled = 0;
  grid_->setAccessibleName("Parts");

  scope_ = MakeField("Scope");
  hint_ = MakeField("Allowed value");
  QPushButton* help = MakeButton("Show Technical Data", 1030);
  QPushButton* save = MakeButton("Save to file", 1033);
  QPushButton* exit = MakeButton("Exit", kCancelButtonId);
  // Kept from the dialog's earlier form, hidden: OK accepts, Delete takes the
  // selected row out of the list, Add does nothing.
  QPushButton* ok = MakeButton("OK", kOkButtonId);
  QPushButton* remove = MakeButton("Delete", 1032);
  QPushButton* add = MakeButton("Add", 1043);
  for (QPushButton* hidden : {ok, remove, add}) hidden->hide();

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("Scope:", this), 0, 0);
  layout->addWidget(scope_, 0, 1);
  layout->addWidget(grid_, 1, 0, 1, 2);
  layout->addWidget(new QLabel("Allowed value:", this), 2, 0);
  layout->addWidget(hint_, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(help);
  buttons->addWidget(save);
  buttons->addStretch();
  buttons->addWidget(exit);
  layout->addLayout(buttons, 3, 0, 1, 2);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(1, 1);
  resize(460, 360);

  connect(help, &QPushButton::clicked, this, [this] { OnShowTechnicalData(); });
  connect(save, &QPushButton::clicked, this, [this] { OnSaveToFile(); });
  connect(exit, &QPushButton::clicked, this, [this] { OnCancel(); });
  connect(ok, &QPushButton::clicked, this, [this] { done(kIdOk); });
  connect(remove, &QPushButton::clicked, this, [this] { grid_->DeleteSelectedItem(); });
}

InquiryDlg::~InquiryDlg() = default;

void InquiryDlg::SetScope(const std::string& name, const std::string& scope, const std::vector<InquiryItem>& items) {
  name_ = name;
  scopeText_ = scope;
  scope_->setText(QString::fromStdString(StrFormat(" %s", name.c_str())));
  grid_->SetRedraw(false);
  grid_->DeleteAllItems();
  int number = 1;
  for (const InquiryItem& item : items) {
    auto* row = new grid::GridRowItem(item.helpPage, 0);
    row->AddColumnText(StrFormat("%d", number++));
    row->AddColumnText(StrFormat("%d", item.quantity), "1,0,");
    row->AddColumnText(item.modelName);
    row->AddColumnText(item.partNumber);
    grid_->InsertRow(row);
  }
  grid_->SetRedraw(true);
  if (grid_->GetItemCount() > 0) grid_->SetSelectedRow(0);
}

std::vector<InquiryRow> InquiryDlg::CurrentRows() const {
  std::vector<InquiryRow> rows;
  for (int i = 0; i < grid_->GetItemCount(); ++i) {
    InquiryRow row;
    grid_->GetRowText(i, kColQuantity, row.quantity);
    grid_->GetRowText(i, kColModel, row.modelName);
    grid_->GetRowText(i, kColPart, row.partNumber);
    rows.push_back(std::move(row));
  }
  return rows;
}

int InquiryDlg::OnSaveToFile() {
  const std::string folder = qmx::Paths().projectsDir;
  const std::string path =
      s_saveFileQuestion ? s_saveFileQuestion(this, folder, InquiryDefaultFileName(name_, scopeText_)) : std::string();
  if (path.empty()) return 0;
  if (!SaveInquiryCsv(path, CurrentRows())) return 0;
  OpenInTextViewer(path, folder);
  return 1;
}

void InquiryDlg::OnShowTechnicalData() {
  std::string page, model;
  grid_->GetSelectedText(-1, page);
  grid_->GetSelectedText(kColModel, model);
  if (TrimStr(page).empty()) {
    const int code = qmx::err::kHelpLinkUndefined;
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Undefined help link path. Model:%s.", code, model.c_str()));
    qmx::ShowBox(StrFormat("Undefined help link path.\nError Code: %d. Model:%s.", code, model.c_str()),
                 qmx::kBoxIconStop);
    return;
  }
  qmx::ShowHelp(StrFormat("%s/%s::/%s", qmx::Paths().appDir.c_str(), kHelpFile, page.c_str()));
}

bool InquiryDlg::event(QEvent* event) {
  if (event->type() == toolkit::EventTypeOf(toolkit::kGridRowMessage)) {
    auto* message = static_cast<toolkit::WindowMessageEvent*>(event);
    const auto* row = reinterpret_cast<const grid::GridRowItem*>(message->lparam());
    if (message->wparam() == 1 && row) hint_->setText(QString::fromStdString(row->GetHintText(kColQuantity)));
    return true;
  }
  return DialogBase::event(event);
}

}  // namespace qmx::dialogs
