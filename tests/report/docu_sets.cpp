// Writes the documentation sets the report program's tests read, with the
// main program's own documentation export over the staged program folder,
// from the project files in tests/report/projects: what the report reads is
// what the main program writes.
//
//   report_docu_sets <set> <folder>   one set into <folder> (new or empty);
//                                     prints the command line that starts
//                                     the report program on it
//   report_docu_sets --all <folder>   every set into <folder>/<set>, made
//                                     afresh
//
// The stations are bound to the staged driver library when their project is
// opened, as in the program, so the address maps are the driver's.
#include "app/frame/ProgramServices.h"
#include "app/frame/ProjectFile.h"
#include "app/frame/export/DocExport.h"
#include "app/model/IOCatalogue.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"
#include "app/model/TextIdList.h"
#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

struct DocuSetSpec {
  const char* name;
  const char* projectFile;  // in tests/report/projects
  bool wholeProject;        // false: its first station alone
  const char* language;     // the options' Language: the form of the date
  qmx::docu::LocalTime clock;
};

// The clocks give the file names the tests know the sets by.
const DocuSetSpec kSets[] = {
    {"project3", "Bottling Plant.KPX", true, "Eng", {2026, 12, 9, 14, 30, 5, 42}},
    {"na1", "Cell 7.KPX", false, "Eng", {2026, 12, 9, 9, 15, 0, 7}},
    {"korean", "\xED\x8F\xAC\xEC\x9E\xA5 \xEB\x9D\xBC\xEC\x9D\xB8.KPX", true, "Kor", {2026, 12, 9, 10, 10, 10, 100}},
};

// The catalogue and the services the main frame would hand the model.
class MainProgram {
public:
  bool Load() {
    qmx::test::ResetProgramServices();
    if (!qmx::test::LoadShippedCatalogues(ws_, textIds_, adapters_, modules_)) return false;
    qmx::ProgramServices& services = qmx::Services();
    services.messageBox = [](const std::string& text, unsigned) {
      std::cerr << "box: " << text << '\n';
      return qmx::kBoxIdYes;
    };
    services.adapterOf = [this](const Wrapper& object) { return ws_.AdapterOf(object); };
    services.projectOf = [this](const CNAUsr& adapter) { return ws_.ProjectOf(adapter); };
    services.modulesOf = [this](const CNAUsr& adapter) { return ws_.ModulesOf(adapter); };
    services.multiDropDriverFile = [this](const std::string& commType, int& code) {
      return qmx::MultiDropDriverFile(adapters_, commType, code);
    };
    return true;
  }
  ~MainProgram() {
    // The projects go while the services they unbind through are still there.
    while (!ws_.Projects().empty()) files_.CloseProject(ws_.Projects().front().get(), kNoTreeItem, 1, 0);
    qmx::test::ResetProgramServices();
  }

  // The set's documentation into `folder`; its main file, or an empty path
  // after a failure, which the log lines on standard error tell.
  fs::path Write(const DocuSetSpec& spec, const fs::path& folder) {
    ModelLogCapture log;
    const fs::path project = qmx::test::SourcePath(std::string("tests/report/projects/") + spec.projectFile);
    if (files_.OpenProject(project.string()) != 1) return Failed(log, "cannot open " + project.string());
    CProjectUsr* opened = ws_.Projects().back().get();
    const Wrapper* selected = spec.wholeProject ? static_cast<const Wrapper*>(opened) : opened->Adapters().front();
    ws_.tree().SelectItem(ws_.tree().FindItem(selected));

    fs::create_directories(folder);
    qmx::docu::DocExporter exporter(ws_, textIds_);
    exporter.language = spec.language;
    exporter.imageDir = qmx::Paths().imageDir;
    exporter.clock = [&spec] { return spec.clock; };
    std::string mainFile;
    const int written = spec.wholeProject ? exporter.SavePrjToXmlForDocu(folder.string(), mainFile)
                                          : exporter.SaveSelNaToXmlForDocu(folder.string(), mainFile);
    files_.CloseProject(opened, opened->treeItem, 1, 0);
    if (written != 1) return Failed(log, "the export gave " + std::to_string(written));
    // A set written with complaints (a missing picture, a refused value) is
    // not the set the tests expect.
    if (!log.Lines(qmx::kLogError).empty()) return Failed(log, "the export logged errors");
    return folder / mainFile;
  }

private:
  static fs::path Failed(ModelLogCapture& log, const std::string& why) {
    for (const std::string& line : log.Lines(qmx::kLogError)) std::cerr << line << '\n';
    std::cerr << why << '\n';
    return {};
  }

  TextIdMap textIds_;
  NACatalogue adapters_;
  IOCatalogue modules_;
  ProjectWorkspace ws_;
  ProjectFiles files_{ws_, modules_};
};

int Usage() {
  std::cerr << "usage: report_docu_sets (--all | project3 | na1 | korean) <folder>\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string_view which = argv[1];
  const fs::path folder = fs::absolute(argv[2]).lexically_normal();
  MainProgram program;
  if (!program.Load()) {
    std::cerr << "the staged catalogue did not load\n";
    return 1;
  }
  for (const DocuSetSpec& spec : kSets) {
    if (which == "--all") {
      fs::remove_all(folder / spec.name);
      if (program.Write(spec, folder / spec.name).empty()) return 1;
    } else if (which == spec.name) {
      if (fs::exists(folder) && !fs::is_empty(folder)) {
        std::cerr << folder.string() << " is not empty\n";
        return 1;
      }
      const fs::path mainFile = program.Write(spec, folder);
      if (mainFile.empty()) return 1;
      std::cout << (qmx::test::DistDir() / "Rendaval").string() << " \""
                << (spec.wholeProject ? "PROJECT*" : "NA*") << mainFile.string() << "\"\n";
      return 0;
    }
  }
  return which == "--all" ? 0 : Usage();
}
