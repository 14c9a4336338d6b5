#include "report/ReportJob.h"

#include "report/core/DocuSet.h"
#include "report/core/ReportBuilders.h"

namespace qmx::rendaval {

ReportJob::ReportJob(std::string kind, std::string xmlPath, RunOptions options)
    : kind_(std::move(kind)),
      xmlPath_(std::move(xmlPath)),
      options_(std::move(options)),
      excel_(options_.makeExcel ? State::Running : State::NotRequested) {
  worker_ = std::thread([this] { Run(); });
}

ReportJob::~ReportJob() {
  Cancel();
  if (worker_.joinable()) worker_.join();
}

void ReportJob::Cancel() { cancel_ = true; }

void ReportJob::Set(State& which, State value, std::string* errorSlot, std::string error) {
  std::lock_guard lock(mutex_);
  which = value;
  if (errorSlot) *errorSlot = std::move(error);
}

ReportJob::State ReportJob::PrintState() const {
  std::lock_guard lock(mutex_);
  return print_;
}

ReportJob::State ReportJob::ExcelState() const {
  std::lock_guard lock(mutex_);
  return excel_;
}

std::string ReportJob::PrintError() const {
  std::lock_guard lock(mutex_);
  return printError_;
}

std::string ReportJob::ExcelError() const {
  std::lock_guard lock(mutex_);
  return excelError_;
}

bool ReportJob::ReshapeFailed() const {
  std::lock_guard lock(mutex_);
  return reshapeFailed_;
}

void ReportJob::Run() {
  try {
    RunSteps();
  } catch (const std::exception& e) {
    // Nothing may escape the worker; the user is told what stopped the report.
    std::lock_guard lock(mutex_);
    if (print_ == State::Running) {
      print_ = State::Failed;
      printError_ = e.what();
    }
    if (excel_ == State::Running) {
      excel_ = State::Failed;
      excelError_ = e.what();
    }
  }
}

void ReportJob::RunSteps() {
  DocuSet docu;
  try {
    docu = LoadDocuSet(kind_, xmlPath_);
  } catch (const DocuError& e) {
    // Nothing can be reported; the Excel report is not made either.
    if (options_.makeExcel) Set(excel_, State::Failed);
    Set(print_, State::Failed, &printError_, e.what());
    return;
  }
  if (cancel_) return;
  const auto cancelled = [this] { return cancel_.load(); };
  {
    // The printable document lives only while it is laid out, and the
    // documentation only as long as the workbook needs it.
    const qmx::report::Document document = BuildPrintDocument(docu);
    if (!options_.makeExcel) docu = DocuSet();
    printed_ = std::make_shared<const qmx::report::LaidOutDocument>(
        qmx::report::LayOut(document, qmx::report::PageGeometry(), cancelled));
  }
  if (cancel_) return;
  if (options_.makePdf) {
    std::string why;
    if (!qmx::report::WritePdf(*printed_, options_.pdfFileName, &why, cancelled)) {
      if (options_.makeExcel) Set(excel_, State::Failed);
      Set(print_, State::Failed, &printError_, "Cannot write the PDF file " + options_.pdfFileName + ": " + why);
      return;
    }
  }
  Set(print_, State::Completed);
  if (options_.makeExcel && !cancel_) RunExcel(docu);
}

void ReportJob::RunExcel(const DocuSet& docu) {
  ReshapeResult reshaped = ReshapeWorkbook(BuildExcelPages(docu));
  if (reshaped.ok) DropContinuationSpacers(reshaped.workbook);
  if (cancel_) return;
  std::string why;
  if (!qmx::report::WriteXlsx(reshaped.workbook, options_.excelFileName, &why, [this] { return cancel_.load(); })) {
    Set(excel_, State::Failed, &excelError_, "Cannot write the Excel file " + options_.excelFileName + ": " + why);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    reshapeFailed_ = !reshaped.ok;
  }
  Set(excel_, State::Completed);
}

}  // namespace qmx::rendaval
