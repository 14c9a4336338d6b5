// The start-up form of the report program: the output options, the target
// file, the progress bar, Make Report and Cancel. Make Report reads the
// command line, checks the options and runs the print report (and the Excel
// report when asked); the status timer watches the print report and, with
// the run controller, decides what happens when the outputs are done.
#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "platform/report/report_render.h"
#include "report/ReportJob.h"
#include "report/core/RunPlan.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace qmx::report {
class ReportViewer;
}

namespace qmx::rendaval {

// Ways out of the form that tests replace.
struct FormServices {
  // The save dialog: the chosen file, or "" when the user cancels.
  std::function<std::string(QWidget* parent, bool excel, const std::string& current)> saveDialog;
  // Ends the program with an exit code.
  std::function<void(int code)> endProgram;
};

class MainForm : public QWidget {
  Q_OBJECT
public:
  enum class ReportStatus { Idle, Running };

  MainForm(std::string commandLine, FormServices services = {}, QWidget* parent = nullptr);
  ~MainForm() override;

  // The event procedures.
  void OnPdfCheckClicked();
  void OnExcelCheckClicked();
  void OnSelFileClicked();
  void OnMakeReportClicked();
  void OnStatusTimer();
  void OnCancelClicked();

  QCheckBox* pdfCheck() const { return pdfCheck_; }
  QCheckBox* pdfView() const { return pdfView_; }
  QCheckBox* excelCheck() const { return excelCheck_; }
  QCheckBox* excelView() const { return excelView_; }
  QLineEdit* fileName() const { return fileName_; }
  QPushButton* selFile() const { return selFile_; }
  QPushButton* makeReport() const { return makeReport_; }
  QPushButton* cancel() const { return cancel_; }
  QProgressBar* progress() const { return progress_; }
  // Where the files of the run go and went, one line each (whole in its tooltip).
  QLabel* status() const { return status_; }
  // A report of the last press is still to be handled.
  bool busy() const { return job_ != nullptr && (printStatus_ == ReportStatus::Running || !excelHandled_); }
  qmx::report::ReportViewer* viewer() const { return viewer_.get(); }

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildControls();
  void PrintDone();
  void ExcelDone();
  // Tells in the status line, the viewer and the log where an output was written.
  void Announce(Output output, const std::string& file);
  void SetStatusLine(const QString& text);
  // Tells why a report was not made and readies the form for another try.
  void Failed(const std::string& why);
  void ResetRun();
  void Perform(const std::vector<EndAction>& actions);
  void OpenResultFile(const std::string& program, const std::string& file);
  int ShowBox(const std::string& text, unsigned flags);
  void EndProgram(int code);

  std::string commandLine_;
  FormServices services_;
  std::string reportKind_, xmlPath_;
  std::string confirmedOverwrite_;
  std::unique_ptr<RunController> run_;
  std::unique_ptr<ReportJob> job_;
  bool excelHandled_ = true;
  std::unique_ptr<qmx::report::ReportViewer> viewer_;
  ReportStatus printStatus_ = ReportStatus::Idle;
  int progressValue_ = 0;
  QString written_;
  bool ending_ = false;

  QCheckBox* pdfCheck_ = nullptr;
  QCheckBox* pdfView_ = nullptr;
  QCheckBox* excelCheck_ = nullptr;
  QCheckBox* excelView_ = nullptr;
  QLineEdit* fileName_ = nullptr;
  QPushButton* selFile_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* makeReport_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer statusTimer_;
};

}  // namespace qmx::rendaval
