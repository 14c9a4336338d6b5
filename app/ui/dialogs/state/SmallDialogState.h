// The toolkit-free part of the four small dialogs: the validation result's
// row tree, the inquiry list and its CSV file, the New Project checks and the
// Rename check.
#pragma once

#include "app/model/ConfigValidation.h"
#include "app/model/TextIdList.h"

#include <functional>
#include <string>
#include <vector>

namespace qmx::dialogs {

// ---- "Validation Result" ----------------------------------------------------------

// One row of the result grid and the row it hangs under (-1: top level).
struct ValidationRowPlan {
  int parent = -1;
  std::string text;
  int icon = 0;
  std::string errorNumber;
  std::string measure;
  TreeItem treeItem = kNoTreeItem;
};

// The rows of a result list as a three-level tree: "Loc" rows at the top,
// every other heading below the current location, "Error" rows below the
// current heading (or the current location, or at the top before either).
std::vector<ValidationRowPlan> PlanValidationRows(const ValidationList& items);

// "Project" / "Network Adapter" / "Undefined" for the kind text.
std::string ValidationKindText(const std::string& kind);

// ---- "Inquiry" ----------------------------------------------------------------

// One part of an inquiry list.
struct InquiryItem {
  std::string modelName;
  std::string partNumber;
  int quantity = 0;
  std::string helpPage;
};

// One row as the grid shows it when the list is saved.
struct InquiryRow {
  std::string quantity;
  std::string modelName;
  std::string partNumber;
};

// "%s_Prj_Inquiry" for the scope "PROJECT" (any case), else "%s_NA_Inquiry".
std::string InquiryDefaultFileName(const std::string& name, const std::string& scope);
// A CSV field, quoted (with its quotes doubled) when it holds a comma, a
// quote, a line end or blanks at either end.
std::string CsvField(const std::string& text);
// The file's text: the header line, an empty line, then one line per row
// numbered from 1; one separator, the comma, throughout.
std::string InquiryCsvText(const std::vector<InquiryRow>& rows);
// Writes the file; on failure -1035 is logged and shown. 1 written, 0 not.
int SaveInquiryCsv(const std::string& path, const std::vector<InquiryRow>& rows);
// Opens a saved file in the desktop's text viewer; a failure to start it is
// logged and shown (-1009). 1 started. A viewer that started and ended
// without opening the file is told later by ReportViewerEnd, from the
// thread that waits for it.
int OpenInTextViewer(const std::string& path, const std::string& workingFolder);
// The viewer `program` ("xdg-open") that was given `path` ended with
// `exitCode`. Any code but 0 is logged and shown (-1009) with the file, as a
// viewer that cannot run is: xdg-open's 3 and 4 mean that no program of the
// desktop opens the file's type. 1 told.
int ReportViewerEnd(const std::string& program, int exitCode, const std::string& path);

// ---- "New Project" ---------------------------------------------------------------

class ProjectNewState {
public:
  // Whether a project of that path or name is open (the frame's
  // IsOpenedProject).
  using OpenCheck = std::function<bool(const std::string& path, const std::string& name)>;

  explicit ProjectNewState(OpenCheck isOpen) : isOpen_(std::move(isOpen)) {}

  // The bus type entries: display text (the bus type itself without one).
  static std::vector<std::string> BusTypeTexts(const std::vector<std::string>& busTypes, const TextIdMap& textIds);

  // OK: the checks in order, each refusal shown. `busIndex` is the 0-based
  // entry chosen, -1 none. An existing project file is only asked about:
  // with Yes it is noted to be replaced when the new project is saved, and
  // nothing is deleted here. True accepts.
  bool Complete(const std::string& name, const std::string& folder, int busIndex);

  const std::string& Name() const { return name_; }
  const std::string& Folder() const { return folder_; }
  // The 1-based position of the chosen bus type, -1 before OK.
  int BusType() const { return busType_; }
  // Yes to "overwrite": the existing file gives way when the project is saved.
  bool ReplaceExistingFile() const { return replaceExisting_; }

private:
  OpenCheck isOpen_;
  std::string name_;
  std::string folder_;
  int busType_ = -1;
  bool replaceExisting_ = false;
};

// ---- "Rename" -----------------------------------------------------------------------

// OK of the Rename dialog: the trimmed name into `accepted`, or false after
// "Please, input a new name." for a name of blanks only.
bool AcceptNewName(const std::string& entered, std::string& accepted);

}  // namespace qmx::dialogs
