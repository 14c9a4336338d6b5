// A project file from arbitrary bytes, read over the shipped catalogue: the
// reader ends with one of its results and leaves at most the one project
// open (after a failure only one read in part); a project it read whole is
// written again, and that file reads back into the same bytes (a save of a
// project read whole loses nothing).
#include "app/frame/ProgramServices.h"
#include "app/frame/ProjectFile.h"
#include "app/model/IOCatalogue.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"
#include "app/model/TextIdList.h"
#include "tests/support/fuzz_files.h"
#include "tests/support/fuzz_model.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace {

// The shipped catalogue, read once: every input reads its project over the
// same definitions, which nothing of a project changes.
struct Catalogue {
  qmx::ProgramPaths paths;
  TextIdMap texts;
  NACatalogue adapters;
  IOCatalogue modules;

  // No driver library beside it, so opening a project binds none (its
  // failure is logged and the project stays open offline).
  Catalogue() {
    const std::string folder = QMX_FUZZ_PROGRAM_DIR;
    paths.SetAppDir(folder);
    qmx::Paths() = paths;
    ParseTextIdFile(TextIdListPath(folder, "Eng"), texts);
    ParseNAFiles(NAListPath(folder), texts, adapters);
    ParseIOFiles(IOListPath(folder), texts, modules);
  }
};

const Catalogue& Shipped() {
  // Never destroyed: definitions outlive every project read from them.
  static const Catalogue* catalogue = new Catalogue();
  return *catalogue;
}

// The workspace and project files of one input, made anew for each, and
// the hooks the readers reach them by.
struct Program {
  ProjectWorkspace workspace;
  ProjectFiles files{workspace, Shipped().modules};

  Program() {
    workspace.SetCatalogues(&Shipped().adapters, &Shipped().modules);
    files.appVersion = "1.0.0.1";
    // Services of this input alone: nothing an earlier one set stays.
    qmx::ProgramServices services;
    services.paths = Shipped().paths;
    services.messageBox = [](const std::string&, unsigned) { return qmx::kBoxIdYes; };
    services.adapterOf = [this](const Wrapper& object) { return workspace.AdapterOf(object); };
    services.modulesOf = [this](const CNAUsr& adapter) { return workspace.ModulesOf(adapter); };
    services.multiDropDriverFile = [](const std::string& commType, int& code) {
      return qmx::MultiDropDriverFile(Shipped().adapters, commType, code);
    };
    qmx::Services() = std::move(services);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() {
    CloseAll();
    // The hooks name this program: none may outlive it.
    qmx::Services() = qmx::ProgramServices();
  }

  void CloseAll() {
    while (!workspace.Projects().empty()) {
      CProjectUsr* project = workspace.Projects().front().get();
      files.CloseProject(project, project->treeItem, 1, 0);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Shipped();
  const qmx::fuzz::FreshPools fresh;
  Program program;
  static const std::string path = std::string(qmx::fuzz::kMemoryFolder) + "/Fuzz.KPX";
  qmx::fuzz::MemoryFiles& files = qmx::fuzz::MemoryFiles::Get();
  files.Put(path, data, size);

  const int rc = program.files.OpenProject(path);
  if (rc != 1 && rc != 0 && rc != kOpenVersionRefused && rc != kOpenNoProjectElement) qmx::fuzz::Broken();
  // A failure part-way through the nodes keeps what was read, marked as read
  // in part; any other failure leaves nothing open.
  const size_t open = program.workspace.Projects().size();
  if (open > 1) qmx::fuzz::Broken();
  if (rc != 1 && open == 1 && !program.files.IsOpenedInPart(program.workspace.Projects().front().get())) {
    qmx::fuzz::Broken();
  }
  if (rc == 1 && open == 1) {
    CProjectUsr* project = program.workspace.Projects().front().get();
    if (!program.files.IsOpenedInPart(project)) {
      const std::string saved = program.files.ProjectFileBytes(*project);
      program.CloseAll();
      files.Put(path, saved);
      if (program.files.OpenProject(path) != 1 || program.workspace.Projects().size() != 1) {
        qmx::fuzz::Broken();
      }
      if (program.files.ProjectFileBytes(*program.workspace.Projects().front()) != saved) qmx::fuzz::Broken();
    }
  }
  return 0;
}
