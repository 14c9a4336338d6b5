// What one press of Make Report decides, and what happens when the reports
// are done, apart from the form: the command line, the options of the run,
// the checks before it starts and the end of the run.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qmx::rendaval {

// ---- command line ----------------------------------------------------------------

// The arguments as one text, joined by blanks (a path with blanks that reached
// the program as several arguments is whole again).
std::string JoinArguments(int argc, const char* const* argv);

// The command line split on "*"; an empty command line has no parts.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

inline const char* const kArgumentCountMessage = "[Bug] Caller's arguments count are not two. Count: ";

// ---- options and checks ------------------------------------------------------------

struct FormState {
  bool pdfCheck = false, pdfView = false, excelCheck = false, excelView = false;
  std::string fileName;
};

struct RunOptions {
  bool makePdf = false, viewPdf = false, makeExcel = false, viewExcel = false;
  std::string pdfFileName, excelFileName;
};

// The options of one press, made afresh from the form each time, so nothing
// from a refused press carries over. Each target takes the extension of its
// output when its name has none (WithExtension).
RunOptions OptionsFromForm(const FormState& form);

// ---- target names ------------------------------------------------------------------

enum class Output { Pdf, Excel };

// The extension each output writes.
inline const char* const kPdfExtension = ".pdf";
inline const char* const kExcelExtension = ".xlsx";

// The name with the output's extension added, unless it ends in it already
// (in any case) or in an extension CheckOptions refuses; "" stays "".
std::string WithExtension(const std::string& name, Output output);

// Why a name cannot be the output's target (it ends in the extension of
// another kind of file), or "" when it can.
std::string ExtensionRefusal(const std::string& name, Output output);

inline const char* const kNoPdfNameMessage = "Not select PDF file name";
inline const char* const kNoExcelNameMessage = "Not select Excel file name";
inline const char* const kFileExistsMessage = "already exist same file name.";

// The messages that refuse the run, in order; empty when it may start: a
// missing name, a name with another output's extension, and an existing
// workbook target is refused unless the user confirmed overwriting
// it in the save dialog (`confirmedOverwrite`); an existing PDF target is a
// question (PdfTargetToConfirm), not a refusal.
std::vector<std::string> CheckOptions(const RunOptions& options,
                                      const std::function<bool(const std::string&)>& fileExists,
                                      const std::string& confirmedOverwrite);

// The PDF target to ask about before the run replaces it: an existing file
// not confirmed in the save dialog; empty when there is nothing to ask.
std::string PdfTargetToConfirm(const RunOptions& options, const std::function<bool(const std::string&)>& fileExists,
                               const std::string& confirmedOverwrite);

// The Yes/No question for that file.
std::string ReplaceQuestion(const std::string& file);

// ---- end of the run -------------------------------------------------------------------

// The line that says where an output was written, for the status line and
// the log: "PDF file written: /home/u/Documents/plant.pdf".
std::string WrittenLine(Output output, const std::string& fullPath);

enum class EndAction { ShowViewer, OpenPdf, OpenExcel, EndProgram };

// Follows the outputs of one run and says what to do as each one finishes.
// The program ends only when every requested output is done: the files
// written, a file to view handed to the viewer, and a shown report viewer
// closed by the user.
class RunController {
public:
  explicit RunController(RunOptions options) : options_(std::move(options)) {}

  const RunOptions& options() const { return options_; }

  std::vector<EndAction> PrintCompleted();
  std::vector<EndAction> ExcelCompleted();
  std::vector<EndAction> ViewerClosed();

private:
  std::vector<EndAction> EndIfDone(std::vector<EndAction> actions);

  RunOptions options_;
  bool printDone_ = false;
  bool excelDone_ = false;
  bool viewerOpen_ = false;
  bool ended_ = false;
};

// The progress bar while the print report runs: +5 per second, full at 100.
int NextProgress(int value);

}  // namespace qmx::rendaval
