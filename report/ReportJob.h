// The reports of one Make Report press, run on a worker thread so the form
// keeps painting and its status timer sees them running: the documentation
// is read once, the print report is laid out (and written to PDF when
// asked), then the Excel report is built, reshaped and written. The form
// polls the states; nothing here talks to the user.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/report/report_render.h"
#include "report/core/RunPlan.h"

namespace qmx::rendaval {

struct DocuSet;

class ReportJob {
public:
  enum class State { NotRequested, Running, Completed, Failed };

  ReportJob(std::string kind, std::string xmlPath, RunOptions options);
  // Asks the worker to stop at its next step and waits for it.
  ~ReportJob();
  // Asks the worker to stop at its next step; a file being written is dropped
  // and its target left as it was.
  void Cancel();
  ReportJob(const ReportJob&) = delete;
  ReportJob& operator=(const ReportJob&) = delete;

  State PrintState() const;
  State ExcelState() const;
  // Why a report failed, as the user is told.
  std::string PrintError() const;
  std::string ExcelError() const;
  // The workbook was written as exported, without its chapters gathered.
  bool ReshapeFailed() const;
  // The laid-out print report; valid once the print state is Completed.
  std::shared_ptr<const qmx::report::LaidOutDocument> Printed() const { return printed_; }

private:
  void Run();
  void RunSteps();
  void RunExcel(const DocuSet& docu);
  void Set(State& which, State value, std::string* errorSlot = nullptr, std::string error = {});

  const std::string kind_, xmlPath_;
  const RunOptions options_;
  mutable std::mutex mutex_;
  State print_ = State::Running;
  State excel_;
  std::string printError_, excelError_;
  bool reshapeFailed_ = false;
  std::shared_ptr<const qmx::report::LaidOutDocument> printed_;  // set by the worker before print_ becomes Completed
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

}  // namespace qmx::rendaval
