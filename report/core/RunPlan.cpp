#include "report/core/RunPlan.h"

#include <algorithm>

#include "common/Utility.h"

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
    options.pdfFileName = WithExtension(form.fileName, Output::Pdf);
    options.viewPdf = form.pdfView;
  }
  if (form.excelCheck) {
    options.makeExcel = true;
    options.excelFileName = WithExtension(form.fileName, Output::Excel);
    options.viewExcel = form.excelView;
  }
  return options;
}

namespace {

// The file name (after the folder) has a stem and then the extension.
bool EndsWithNoCase(const std::string& path, const std::string& extension) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.size() > extension.size() &&
         CompareNoCase(name.substr(name.size() - extension.size()), extension) == 0;
}

// Extensions a target of the output must not end in, and what they are.
struct ForeignExtension {
  Output output;
  const char* extension;
  const char* what;
};
constexpr ForeignExtension kForeignExtensions[] = {
    {Output::Pdf, ".xlsx", "an Excel file"},
    {Output::Pdf, ".xls", "an Excel file"},
    {Output::Excel, ".pdf", "a PDF file"},
    {Output::Excel, ".xls", "an Excel 97-2003 file"},
};

}  // namespace

std::string WithExtension(const std::string& name, Output output) {
  const std::string extension = output == Output::Pdf ? kPdfExtension : kExcelExtension;
  if (name.empty() || EndsWithNoCase(name, extension) || !ExtensionRefusal(name, output).empty()) return name;
  // "report." is "report" with a dot typed too many.
  return (name.back() == '.' ? name.substr(0, name.size() - 1) : name) + extension;
}

std::string ExtensionRefusal(const std::string& name, Output output) {
  for (const ForeignExtension& foreign : kForeignExtensions) {
    if (foreign.output != output || !EndsWithNoCase(name, foreign.extension)) continue;
    return "The name " + name + " is that of " + foreign.what + "; " +
           (output == Output::Pdf ? "a PDF file ends in " : "an Excel workbook is written as ") +
           (output == Output::Pdf ? kPdfExtension : kExcelExtension) + ".";
  }
  return {};
}

std::vector<std::string> CheckOptions(const RunOptions& options,
                                      const std::function<bool(const std::string&)>& fileExists,
                                      const std::string& confirmedOverwrite) {
  std::vector<std::string> messages;
  auto exists = [&](const std::string& file) {
    return !file.empty() && file != confirmedOverwrite && fileExists(file);
  };
  if (options.makePdf) {
    if (options.pdfFileName.empty()) messages.push_back(kNoPdfNameMessage);
    if (std::string why = ExtensionRefusal(options.pdfFileName, Output::Pdf); !why.empty()) messages.push_back(why);
  }
  if (options.makeExcel) {
    if (std::string why = ExtensionRefusal(options.excelFileName, Output::Excel); !why.empty())
      messages.push_back(why);
    else if (options.excelFileName.empty())
      messages.push_back(kNoExcelNameMessage);
    else if (exists(options.excelFileName))
      messages.push_back(kFileExistsMessage);
  }
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

std::string WrittenLine(Output output, const std::string& fullPath) {
  return (output == Output::Pdf ? "PDF file written: " : "Excel file written: ") + fullPath;
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
