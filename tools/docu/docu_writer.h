// Documentation sets written by the main program's own documentation export,
// without its window: the staged program folder's catalogue is loaded, a
// project file is opened (its stations bound to the program folder's driver
// library, as in the program, so the address maps are the driver's) and the
// project, or one of its stations, is written as the report program reads it.
// Used by the qmx-docu tool and by the report program's tests.
#pragma once

#include "app/frame/export/DocExport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace qmx::docutool {

struct DocuRequest {
  std::filesystem::path project;
  // 0: the whole project; n >= 1: the project's n-th station alone.
  int station = 0;
  // The options' Language: the form of the date.
  std::string language = "Eng";
  // The time that names the main file; the system's when empty.
  std::function<docu::LocalTime()> clock;
};

struct DocuSet {
  std::filesystem::path mainFile;  // empty after a failure
  bool wholeProject = true;
  // The report program's one argument: "PROJECT*<path>" or "NA*<path>".
  std::string ReportArgument() const;
};

class DocuWriter {
public:
  DocuWriter();
  ~DocuWriter();
  DocuWriter(const DocuWriter&) = delete;
  DocuWriter& operator=(const DocuWriter&) = delete;

  // Loads the catalogue of the staged program folder. False with `error`.
  bool Load(const std::filesystem::path& programDir, std::string& error);
  // Writes the documentation into `folder` (made when missing). A set
  // written with complaints (a missing picture, a refused value) counts as
  // failed: `error` then holds the error lines and the reason.
  DocuSet Write(const DocuRequest& request, const std::filesystem::path& folder, std::string& error);

private:
  struct Program;
  std::unique_ptr<Program> program_;
};

}  // namespace qmx::docutool
