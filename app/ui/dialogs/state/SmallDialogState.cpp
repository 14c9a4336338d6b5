#include "app/ui/dialogs/state/SmallDialogState.h"

#include "app/errors/ErrorCodes.h"
#include "app/model/Logging.h"
#include "app/model/ProjectWorkspace.h"
#include "app/ui/dialogs/state/AddNaState.h"
#include "common/Utility.h"
#include "platform/os/os.h"

#include <cctype>
#include <filesystem>
#include <fstream>

namespace qmx::dialogs {

namespace fs = std::filesystem;

std::vector<ValidationRowPlan> PlanValidationRows(const ValidationList& items) {
  std::vector<ValidationRowPlan> rows;
  int location = -1;
  int heading = -1;
  for (const auto& item : items) {
    if (!item) continue;
    ValidationRowPlan row;
    row.text = item->text;
    row.icon = item->icon;
    row.treeItem = item->treeItem;
    const int index = static_cast<int>(rows.size());
    if (item->kind == "Loc") {
      location = index;
      heading = -1;
    } else if (item->kind == "Error") {
      row.parent = heading >= 0 ? heading : location;
      row.errorNumber = item->codeText;
      row.measure = item->detail;
    } else {
      row.parent = location;
      heading = index;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string ValidationKindText(const std::string& kind) {
  if (CompareNoCase(kind, "Project") == 0) return "Project";
  if (CompareNoCase(kind, "NA") == 0) return "Network Adapter";
  return "Undefined";
}

std::string InquiryDefaultFileName(const std::string& name, const std::string& scope) {
  return CompareNoCase(scope, "PROJECT") == 0 ? StrFormat("%s_Prj_Inquiry", name.c_str())
                                              : StrFormat("%s_NA_Inquiry", name.c_str());
}

std::string CsvField(const std::string& text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// The header is separated by commas, the data lines by a comma and a blank;
// lines end in CR LF like every text file the program writes.
std::string InquiryCsvText(const std::vector<InquiryRow>& rows) {
  std::string text = "No,Quantity,Model Name,Part No.\r\n\r\n";
  int number = 1;
  for (const InquiryRow& row : rows) {
    text += StrFormat("%d, %s, %s, %s\r\n", number++, CsvField(row.quantity).c_str(), CsvField(row.modelName).c_str(),
                      CsvField(row.partNumber).c_str());
  }
  return text;
}

int SaveInquiryCsv(const std::string& path, const std::vector<InquiryRow>& rows) {
  const std::string text = InquiryCsvText(rows);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) file.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (file) file.close();
  if (!file) {
    const int code = qmx::err::kFileNotSaved;
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Cannot save the file. Check if the file exists or using. File: %s.", code,
                      path.c_str()));
    qmx::ShowBox(StrFormat("Cannot save the file. Check if the file exists or using.\nError Code: %d. File: %s.", code,
                           path.c_str()),
                 qmx::kBoxIconStop);
    return 0;
  }
  return 1;
}

int OpenInTextViewer(const std::string& path, const std::string& workingFolder) {
  const char* viewer = "notepad.exe";
  // Name the program that was tried, and the file, so that it can be opened by hand.
  const std::string tried = qmx::os::LaunchedProgramName(viewer);
  qmx::os::LaunchRequest request{viewer, {path}, workingFolder};
  // xdg-open starts on a desktop that has no program for the file's type,
  // and says so only by how it ends.
  request.exited = [tried, path](int exitCode) { ReportViewerEnd(tried, exitCode, path); };
  const int result = qmx::os::LaunchProgram(request);
  if (result == 1) return 1;
  const int code = qmx::err::kProgramNotStarted;
  PostLog(qmx::kLogError, qmx::kLogSource,
          StrFormat("[Error Code: %d] Cannot run %s. API Code: %d. File: %s.", code, tried.c_str(), result,
                    path.c_str()));
  qmx::ShowBox(StrFormat("Cannot run %s. Error Code: %d. API Code: %d.\nFile: %s.", tried.c_str(), code, result,
                         path.c_str()),
               qmx::kBoxIconStop);
  return 0;
}

int ReportViewerEnd(const std::string& program, int exitCode, const std::string& path) {
  if (exitCode == 0) return 0;
  std::string what;
  if (program == "xdg-open" && (exitCode == 3 || exitCode == 4)) {
    std::string type = fs::path(path).extension().string();
    if (!type.empty()) type.erase(0, 1);
    for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    what = type.empty() ? "No program opens the file." : StrFormat("No program opens %s files.", type.c_str());
  } else {
    what = StrFormat("%s did not open the file.", program.c_str());
  }
  const int code = qmx::err::kProgramNotStarted;
  PostLog(qmx::kLogError, qmx::kLogSource,
          StrFormat("[Error Code: %d] %s %s exit code: %d. File: %s.", code, what.c_str(), program.c_str(), exitCode,
                    path.c_str()));
  qmx::ShowBox(StrFormat("%s Error Code: %d. %s exit code: %d.\nFile: %s.", what.c_str(), code, program.c_str(),
                         exitCode, path.c_str()),
               qmx::kBoxIconStop);
  return 1;
}

std::vector<std::string> ProjectNewState::BusTypeTexts(const std::vector<std::string>& busTypes,
                                                       const TextIdMap& textIds) {
  std::vector<std::string> texts;
  for (const std::string& busType : busTypes) texts.push_back(DisplayTextOf(textIds, busType));
  return texts;
}

bool ProjectNewState::Complete(const std::string& nameEntered, const std::string& folderEntered, int busIndex) {
  const std::string name = TrimStr(nameEntered);
  const std::string folder = folderEntered;
  replaceExisting_ = false;
  if (name.empty()) {
    qmx::ShowBox("Please, input a project name.", 0);
    return false;
  }
  if (busIndex < 0) {
    qmx::ShowBox("Please, select a bus type.", 0);
    return false;
  }
  if (IsStrEmpty(folder, 1)) {
    qmx::ShowBox("Please, select a project directory.", 0);
    return false;
  }
  if (!IsValidFileName(name, 1)) {
    qmx::ShowBox("Project name cannot have / : \" * ? \\ < > |", 0);
    return false;
  }
  if (isOpen_ && isOpen_(StrFormat("%s/%s", folder.c_str(), name.c_str()), name)) {
    qmx::ShowBox("The project name exists in opened project. Please input another name.", 0);
    return false;
  }
  const std::string fileName = StrFormat("%s.%s", name.c_str(), kProjectFileExtension);
  if (IsFileExistInDir(folder, fileName) == 1) {
    if (qmx::ShowBox("Project name already exists. Do you want to overwrite it?",
                     qmx::kBoxYesNo | qmx::kBoxIconQuestion) != qmx::kBoxIdYes) {
      return false;
    }
    // The old file stays until the new project is saved over it, so
    // declining to save later still leaves it.
    replaceExisting_ = true;
  }
  name_ = name;
  folder_ = folder;
  busType_ = busIndex + 1;
  return true;
}

bool AcceptNewName(const std::string& entered, std::string& accepted) {
  const std::string name = TrimStr(entered);
  if (name.empty()) {
    qmx::ShowBox("Please, input a new name.", 0);
    return false;
  }
  accepted = name;
  return true;
}

}  // namespace qmx::dialogs
