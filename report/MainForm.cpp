#include "report/MainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>

#include <cstdio>
#include <filesystem>

#include "platform/os/os.h"
#include "platform/report/report_viewer.h"
#include "platform/toolkit/message_box.h"

namespace qmx::rendaval {
namespace {

using qmx::toolkit::kMbIconInformation;
using qmx::toolkit::kMbIconQuestion;
using qmx::toolkit::kMbIconStop;
using qmx::toolkit::kMbOk;
using qmx::toolkit::kMbYesNo;

constexpr int kStatusIntervalMs = 1000;

// Where a report named without a folder goes. The main program starts us in
// its work folder, which it empties when it closes, so a report is never put
// there by default: the user's documents folder, else the home folder.
QString ReportFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

std::string ReportPath(const std::string& name) {
  if (name.empty() || std::filesystem::path(name).is_absolute()) return name;
  return QDir(ReportFolder()).filePath(QString::fromStdString(name)).toStdString();
}

std::string FullPath(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(file, ec).lexically_normal();
  return ec ? file : full.string();
}

std::string DefaultSaveDialog(QWidget* parent, bool excel, const std::string& current) {
  // The dialog asks before it lets an existing file be chosen, and a name
  // typed without extension gets the one of the file type.
  const QString start = current.empty() ? ReportFolder() : QString::fromStdString(ReportPath(current));
  QFileDialog dialog(parent, QString(), start,
                     excel ? QStringLiteral("xlsx (*.xlsx)") : QStringLiteral("pdf (*.pdf)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(excel ? QStringLiteral("xlsx") : QStringLiteral("pdf"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

void DefaultEndProgram(int code) { QCoreApplication::exit(code); }

// A status line whose lines, paths mostly, are shortened in the middle with
// "..." when the form is narrower than they are; the whole text is the
// tooltip and what a screen reader reads.
class StatusLine : public QLabel {
public:
  explicit StatusLine(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  void SetFullText(const QString& text) {
    full_ = text;
    setToolTip(text);
    setAccessibleDescription(text);
    Elide();
  }

protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Elide();
  }

private:
  void Elide() {
    QStringList lines = full_.split(QLatin1Char('\n'));
    for (QString& line : lines) line = fontMetrics().elidedText(line, Qt::ElideMiddle, std::max(1, width()));
    setText(lines.join(QLatin1Char('\n')));
  }
  QString full_;
};

}  // namespace

MainForm::MainForm(std::string commandLine, FormServices services, QWidget* parent)
    : QWidget(parent), commandLine_(std::move(commandLine)), services_(std::move(services)) {
  if (!services_.saveDialog) services_.saveDialog = DefaultSaveDialog;
  if (!services_.endProgram) services_.endProgram = DefaultEndProgram;
  BuildControls();
  statusTimer_.setInterval(kStatusIntervalMs);
  connect(&statusTimer_, &QTimer::timeout, this, [this] { OnStatusTimer(); });
}


void MainForm::BuildControls() {
  setWindowTitle(QStringLiteral("QMX-410 Tools Documentation"));
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(9);
  setFont(font);

  pdfCheck_ = new QCheckBox(QStringLiteral("Make PDF file"), this);
  pdfView_ = new QCheckBox(QStringLiteral("View PDF file"), this);
  excelCheck_ = new QCheckBox(QStringLiteral("Make Excel file"), this);
  excelView_ = new QCheckBox(QStringLiteral("View Excel file"), this);
  auto* fileLabel = new QLabel(QStringLiteral("&File name:"), this);
  fileName_ = new QLineEdit(this);
  fileName_->setAccessibleName(QStringLiteral("File name"));
  fileLabel->setBuddy(fileName_);
  selFile_ = new QPushButton(QStringLiteral("..."), this);
  selFile_->setAccessibleName(QStringLiteral("Select file"));
  selFile_->setToolTip(QStringLiteral("Select file"));
  selFile_->setFixedWidth(32);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setAccessibleName(QStringLiteral("Progress"));
  makeReport_ = new QPushButton(QStringLiteral("Make Report"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  status_ = new StatusLine(this);
  status_->setAccessibleName(QStringLiteral("Status"));
  status_->hide();
  for (QPushButton* b : {makeReport_, cancel_}) {
    b->setAccessibleName(b->text());
    b->setMinimumSize(113, 34);
  }
  for (QCheckBox* c : {pdfCheck_, pdfView_, excelCheck_, excelView_}) c->setAccessibleName(c->text());

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(10);
  auto* options = new QHBoxLayout;
  options->setSpacing(12);
  for (QCheckBox* c : {pdfCheck_, pdfView_, excelCheck_, excelView_}) options->addWidget(c);
  options->addStretch(1);
  grid->addLayout(options, 0, 0, 1, 3);
  grid->addWidget(fileLabel, 1, 0);
  grid->addWidget(fileName_, 1, 1);
  grid->addWidget(selFile_, 1, 2);
  grid->addWidget(progress_, 2, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(makeReport_);
  buttons->addSpacing(8);
  buttons->addWidget(cancel_);
  buttons->addStretch(1);
  grid->addLayout(buttons, 3, 0, 1, 3);
  grid->addWidget(status_, 4, 0, 1, 3);
  grid->setColumnStretch(1, 1);

  setTabOrder(pdfCheck_, pdfView_);
  setTabOrder(pdfView_, excelCheck_);
  setTabOrder(excelCheck_, excelView_);
  setTabOrder(excelView_, fileName_);
  setTabOrder(fileName_, selFile_);
  setTabOrder(selFile_, makeReport_);
  setTabOrder(makeReport_, cancel_);

  // Form_Load: the file name and the view boxes follow their Make boxes.
  fileName_->setEnabled(pdfCheck_->isChecked());
  selFile_->setEnabled(pdfCheck_->isChecked());
  pdfView_->setEnabled(pdfCheck_->isChecked());
  excelView_->setEnabled(excelCheck_->isChecked());

  connect(pdfCheck_, &QCheckBox::clicked, this, [this] { OnPdfCheckClicked(); });
  connect(excelCheck_, &QCheckBox::clicked, this, [this] { OnExcelCheckClicked(); });
  connect(selFile_, &QPushButton::clicked, this, [this] { OnSelFileClicked(); });
  connect(makeReport_, &QPushButton::clicked, this, [this] { OnMakeReportClicked(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { OnCancelClicked(); });
  // A typed name was not confirmed in the save dialog.
  connect(fileName_, &QLineEdit::textEdited, this, [this] { confirmedOverwrite_.clear(); });

  const QSize hint = sizeHint();
  resize(std::max(hint.width(), 443), std::max(hint.height(), 147));
}

void MainForm::OnPdfCheckClicked() {
  if (!pdfCheck_->isChecked()) {
    fileName_->setEnabled(false);
    selFile_->setEnabled(false);
    pdfView_->setChecked(false);
    pdfView_->setEnabled(false);
    fileName_->clear();
    confirmedOverwrite_.clear();
  } else {
    fileName_->setEnabled(true);
    selFile_->setEnabled(true);
    pdfView_->setEnabled(true);
    // PDF and Excel exclude each other.
    excelCheck_->setChecked(false);
    excelView_->setChecked(false);
    excelView_->setEnabled(false);
  }
}

void MainForm::OnExcelCheckClicked() {
  if (excelCheck_->isChecked()) {
    pdfCheck_->setChecked(false);
    pdfView_->setChecked(false);
    pdfView_->setEnabled(false);
    selFile_->setEnabled(true);
    fileName_->setEnabled(true);
    excelView_->setEnabled(true);
  } else {
    fileName_->clear();
    confirmedOverwrite_.clear();
    if (!pdfCheck_->isChecked()) {
      selFile_->setEnabled(false);
      fileName_->setEnabled(false);
      excelView_->setChecked(false);
      excelView_->setEnabled(false);
    }
  }
}

void MainForm::OnSelFileClicked() {
  for (const bool excel : {true, false}) {
    if ((excel ? excelCheck_ : pdfCheck_)->isChecked()) {
      const std::string chosen = services_.saveDialog(this, excel, fileName_->text().toStdString());
      if (chosen.empty()) continue;
      fileName_->setText(QString::fromStdString(chosen));
      std::error_code ec;
      confirmedOverwrite_ = std::filesystem::exists(chosen, ec) ? chosen : std::string();
    }
  }
}

void MainForm::OnMakeReportClicked() {
  const FormState form{pdfCheck_->isChecked(), pdfView_->isChecked(), excelCheck_->isChecked(),
                       excelView_->isChecked(), ReportPath(fileName_->text().toStdString())};
  RunOptions options = OptionsFromForm(form);

  const std::vector<std::string> parts = SplitCommandLine(commandLine_);
  if (parts.size() != 2) {
    ShowBox(kArgumentCountMessage + std::to_string(parts.size()), kMbOk);
    EndProgram(0);
    return;
  }
  reportKind_ = parts[0];
  xmlPath_ = parts[1];

  const auto exists = [](const std::string& file) {
    std::error_code ec;
    return std::filesystem::exists(file, ec);
  };
  const std::vector<std::string> refusals = CheckOptions(options, exists, confirmedOverwrite_);
  for (const std::string& message : refusals) ShowBox(message, kMbOk);
  if (!refusals.empty()) return;
  // Yes replaces the file once the new one is complete; No leaves the form as it is.
  if (const std::string file = PdfTargetToConfirm(options, exists, confirmedOverwrite_); !file.empty()) {
    if (ShowBox(ReplaceQuestion(file), kMbYesNo | kMbIconQuestion) != qmx::toolkit::kIdYes) return;
    confirmedOverwrite_ = file;
  }

  // Where the files go is said before they are written.
  written_.clear();
  QStringList targets;
  if (options.makePdf) targets << QStringLiteral("Writing ") + QString::fromStdString(FullPath(options.pdfFileName));
  if (options.makeExcel)
    targets << QStringLiteral("Writing ") + QString::fromStdString(FullPath(options.excelFileName));
  SetStatusLine(targets.join(QLatin1Char('\n')));
  run_ = std::make_unique<RunController>(options);
  makeReport_->setEnabled(false);
  progressValue_ = 0;
  progress_->setValue(0);
  printStatus_ = ReportStatus::Running;
  excelHandled_ = !options.makeExcel;
  job_ = std::make_unique<ReportJob>(reportKind_, xmlPath_, std::move(options));
  statusTimer_.start();
}

void MainForm::OnStatusTimer() {
  if (!job_ || (printStatus_ == ReportStatus::Idle && excelHandled_)) return;
  using State = ReportJob::State;
  const State print = job_->PrintState();
  const State excel = excelHandled_ ? State::NotRequested : job_->ExcelState();
  if (print == State::Failed) {
    // A failed documentation or PDF fails both reports; the reason is told
    // and the form is ready for another try.
    Failed(job_->PrintError());
    return;
  }
  // With a workbook asked for, the print report waits for it: the form stays
  // until every file is written, so that a workbook that cannot be written
  // brings the user back to the form rather than to the report viewer.
  if (print != State::Completed || excel == State::Running) {
    progressValue_ = NextProgress(progressValue_);
    progress_->setValue(progressValue_);
    return;
  }
  if (excel == State::Failed) {
    Failed(job_->ExcelError());
    return;
  }
  statusTimer_.stop();
  PrintDone();
  if (ending_ || !job_ || excelHandled_) return;
  excelHandled_ = true;
  ExcelDone();
}

void MainForm::PrintDone() {
  progress_->setValue(100);
  printStatus_ = ReportStatus::Idle;
  if (run_->options().makePdf) Announce(Output::Pdf, run_->options().pdfFileName);
  hide();
  Perform(run_->PrintCompleted());
}

void MainForm::Announce(Output output, const std::string& file) {
  const std::string line = WrittenLine(output, FullPath(file));
  std::fprintf(stderr, "Rendaval: %s\n", line.c_str());
  written_ += (written_.isEmpty() ? "" : "\n") + QString::fromStdString(line);
  SetStatusLine(written_);
  if (viewer_) viewer_->SetStatus(written_);
}

void MainForm::SetStatusLine(const QString& text) {
  static_cast<StatusLine*>(status_)->SetFullText(text);
  status_->setVisible(!text.isEmpty());
}

void MainForm::ExcelDone() {
  std::vector<EndAction> actions = run_->ExcelCompleted();
  Announce(Output::Excel, run_->options().excelFileName);
  if (job_->ReshapeFailed()) {
    // The workbook stays as exported, one sheet per page, and is not opened.
    ShowBox("Cannot modify excel file because excel component does not exist", kMbOk);
    std::erase(actions, EndAction::OpenExcel);
  }
  Perform(actions);
}

void MainForm::Failed(const std::string& why) {
  // Told where the written lines go, in place of the "Writing" lines.
  std::fprintf(stderr, "Rendaval: %s\n", why.c_str());
  SetStatusLine(QString::fromStdString(why));
  ShowBox(why, kMbOk | kMbIconStop);
  ResetRun();
}

void MainForm::ResetRun() {
  statusTimer_.stop();
  printStatus_ = ReportStatus::Idle;
  excelHandled_ = true;
  progressValue_ = 0;
  progress_->setValue(0);
  makeReport_->setEnabled(true);
  job_.reset();
  run_.reset();
}

void MainForm::Perform(const std::vector<EndAction>& actions) {
  for (EndAction action : actions) {
    switch (action) {
      case EndAction::ShowViewer:
        viewer_ = std::make_unique<qmx::report::ReportViewer>(job_->Printed());
        viewer_->SetStatus(written_);
        connect(viewer_.get(), &qmx::report::ReportViewer::closed, this, [this] {
          if (run_) Perform(run_->ViewerClosed());
        });
        viewer_->show();
        break;
      case EndAction::OpenPdf:
        OpenResultFile("acrord32.exe", run_->options().pdfFileName);
        break;
      case EndAction::OpenExcel:
        OpenResultFile("excel.exe", run_->options().excelFileName);
        break;
      case EndAction::EndProgram:
        EndProgram(0);
        break;
    }
  }
}

void MainForm::OpenResultFile(const std::string& /*program*/, const std::string& file) {
  // The desktop opens the file with the application registered for its type.
  // The opener is named, so a file name without extension is never started
  // as a program.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(file, ec);
  qmx::os::LaunchRequest request;
  request.file = "xdg-open";
  request.args = {ec ? file : full.string()};
  if (qmx::os::LaunchProgram(request) <= 0) ShowBox("Not find Acrobat Reader.", kMbOk | kMbIconInformation);
}

int MainForm::ShowBox(const std::string& text, unsigned flags) {
  return qmx::toolkit::ShowMessageBox(isVisible() ? this : nullptr, text, {}, flags);
}

void MainForm::OnCancelClicked() { EndProgram(0); }

void MainForm::EndProgram(int code) {
  if (ending_) return;
  ending_ = true;
  statusTimer_.stop();
  // A report still being written stops at once; its target stays as it was.
  if (job_) job_->Cancel();
  services_.endProgram(code);
}

MainForm::~MainForm() {
  // A report still running stops at its next step.
  viewer_.reset();
  job_.reset();
}

void MainForm::closeEvent(QCloseEvent* event) {
  // Closing the form is Cancel: it ends the program whatever report is running.
  event->accept();
  EndProgram(0);
}

}  // namespace qmx::rendaval
