#include "report/core/RunPlan.h"

#include <algorithm>

namespace qmx::rendaval {

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> parts;
  if (commandLine.empty()) return parts;
  size_t start = 0;
  for (;;) {
    const size_t star = commandLine.find('*', start);
    parts.push_back(commandLine.substr(start, star == std::string::npos ? std::string::npos : star - start));
    if (star == std::string::npos) break;
    start = star + 1;
  }
  return parts;
}

RunOptions OptionsFromForm(const FormState& form) {
  RunOptions options;
  if (form.pdfCheck) {
    options.makePdf = true;
    options.pdfFileName = form.fileName;
    options.viewPdf = form.pdfView;
  }
  if (form.excelCheck) {
    options.makeExcel = true;
    options.excelFileName = form.fileName;
    options.viewExcel = form.excelView;
  }
  return options;
}

std::vector<std::string> CheckOptions(const RunOptions& options,
                                      const std::function<bool(const std::string&)>& fileExists,
                                      const std::string& confirmedOverwrite) {
  std::vector<std::string> messages;
  auto exists = [&](const std::string& file) {
    return !file.empty() && file != confirmedOverwrite && fileExists(file);
  };
  if (options.makePdf && options.pdfFileName.empty()) messages.push_back(kNoPdfNameMessage);
  if (options.makeExcel && options.excelFileName.empty()) messages.push_back(kNoExcelNameMessage);
  else if (options.makeExcel && exists(options.excelFileName)) messages.push_back(kFileExistsMessage);
  return messages;
}

std::string PdfTargetToConfirm(const RunOptions& options, const std::function<bool(const std::string&)>& fileExists,
                               const std::string& confirmedOverwrite) {
  const std::string& file = options.pdfFileName;
  if (!options.makePdf || file.empty() || file == confirmedOverwrite || !fileExists(file)) return {};
  return file;
}

std::string ReplaceQuestion(const std::string& file) {
  return "The file " + file + " already exists.\nDo you want to replace it?";
}

std::vector<EndAction> RunController::EndIfDone(std::vector<EndAction> actions) {
  const bool filesDone = printDone_ && (!options_.makeExcel || excelDone_);
  if (!ended_ && filesDone && !viewerOpen_) {
    ended_ = true;
    actions.push_back(EndAction::EndProgram);
  }
  return actions;
}

std::vector<EndAction> RunController::PrintCompleted() {
  if (printDone_) return {};
  printDone_ = true;
  std::vector<EndAction> actions;
  if (options_.makePdf && options_.viewPdf) {
    actions.push_back(EndAction::OpenPdf);
  } else if (!options_.makePdf && options_.makeExcel && options_.viewExcel) {
    // The workbook is the only result wanted; the print report is not shown.
  } else {
    actions.push_back(EndAction::ShowViewer);
    viewerOpen_ = true;
  }
  return EndIfDone(std::move(actions));
}

std::vector<EndAction> RunController::ExcelCompleted() {
  if (excelDone_ || !options_.makeExcel) return {};
  excelDone_ = true;
  std::vector<EndAction> actions;
  if (options_.viewExcel) actions.push_back(EndAction::OpenExcel);
  return EndIfDone(std::move(actions));
}

std::vector<EndAction> RunController::ViewerClosed() {
  viewerOpen_ = false;
  return EndIfDone({});
}

int NextProgress(int value) { return value > 99 ? 100 : std::min(100, value + 5); }

}  // namespace qmx::rendaval
