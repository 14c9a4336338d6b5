#include "tools/docu/docu_writer.h"

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

#include <iostream>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;

namespace qmx::docutool {

namespace {

// Keeps the error lines of one export; the others are dropped.
class ErrorLines : public LogTarget {
public:
  ErrorLines() { SetLogTarget(this); }
  ~ErrorLines() override { SetLogTarget(nullptr); }
  void Post(LogRecord* record) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (record->category == kLogError) lines_.push_back(record->text);
    delete record;
  }
  std::string Joined(const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const std::string& line : lines_) text += line + '\n';
    return text + reason;
  }
  bool Empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.empty();
  }

private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace

struct DocuWriter::Program {
  TextIdMap textIds;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
  ProjectFiles files{ws, modules};

  ~Program() {
    // The projects go while the services they unbind through are still there.
    while (!ws.Projects().empty()) files.CloseProject(ws.Projects().front().get(), kNoTreeItem, 1, 0);
    ResetServices();
  }
};

std::string DocuSet::ReportArgument() const {
  return (wholeProject ? "PROJECT*" : "NA*") + mainFile.string();
}

DocuWriter::DocuWriter() = default;
DocuWriter::~DocuWriter() = default;

bool DocuWriter::Load(const fs::path& programDir, std::string& error) {
  program_ = std::make_unique<Program>();
  Program& p = *program_;
  const std::string dist = programDir.string();
  Paths().SetAppDir(dist);
  ErrorLines log;
  if (ParseTextIdFile(TextIdListPath(dist, "Eng"), p.textIds) != 1 ||
      ParseNAFiles(NAListPath(dist), p.textIds, p.adapters) != 1 ||
      ParseIOFiles(IOListPath(dist), p.textIds, p.modules) != 1) {
    error = log.Joined("the catalogue of " + dist + " did not load");
    return false;
  }
  p.ws.SetCatalogues(&p.adapters, &p.modules);
  ProgramServices& services = Services();
  // Nobody answers a box here: its text goes to standard error, answered Yes.
  services.messageBox = [](const std::string& text, unsigned) {
    std::cerr << "box: " << text << '\n';
    return kBoxIdYes;
  };
  services.adapterOf = [&p](const Wrapper& object) { return p.ws.AdapterOf(object); };
  services.modulesOf = [&p](const CNAUsr& adapter) { return p.ws.ModulesOf(adapter); };
  services.multiDropDriverFile = [&p](const std::string& commType, int& code) {
    return MultiDropDriverFile(p.adapters, commType, code);
  };
  return true;
}

DocuSet DocuWriter::Write(const DocuRequest& request, const fs::path& folder, std::string& error) {
  DocuSet set;
  set.wholeProject = request.station == 0;
  if (!program_) {
    error = "no catalogue is loaded";
    return set;
  }
  Program& p = *program_;
  ErrorLines log;
  if (p.files.OpenProject(request.project.string()) != 1) {
    error = log.Joined("cannot open " + request.project.string());
    return set;
  }
  CProjectUsr* opened = p.ws.Projects().back().get();
  const Wrapper* selected = opened;
  if (!set.wholeProject) {
    const size_t stations = opened->Adapters().size();
    if (request.station < 1 || static_cast<size_t>(request.station) > stations) {
      p.files.CloseProject(opened, opened->treeItem, 1, 0);
      error = request.project.string() + " has " + std::to_string(stations) + " stations, not " +
              std::to_string(request.station);
      return set;
    }
    selected = opened->Adapters()[static_cast<size_t>(request.station) - 1];
  }
  p.ws.tree().SelectItem(p.ws.tree().FindItem(selected));

  std::error_code ec;
  fs::create_directories(folder, ec);
  docu::DocExporter exporter(p.ws, p.textIds);
  exporter.language = request.language;
  exporter.imageDir = Paths().imageDir;
  if (request.clock) exporter.clock = request.clock;
  std::string mainFile;
  const int written = set.wholeProject ? exporter.SavePrjToXmlForDocu(folder.string(), mainFile)
                                       : exporter.SaveSelNaToXmlForDocu(folder.string(), mainFile);
  p.files.CloseProject(opened, opened->treeItem, 1, 0);
  if (written != 1) {
    error = log.Joined("the export gave " + std::to_string(written));
  } else if (!log.Empty()) {
    error = log.Joined("the export logged errors");
  } else {
    set.mainFile = folder / mainFile;
  }
  return set;
}

}  // namespace qmx::docutool
