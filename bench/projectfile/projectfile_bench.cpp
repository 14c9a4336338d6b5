// Open and save of a project of 32 stations with 63 modules each (every
// shipped module in turn, Korean names and comments), against libxml2
// parsing the same file into a tree and freeing it, which is the floor of
// any open. Run: bench-bin/bench_projectfile (the staged program folder
// must exist; the file goes to the system's temporary folder).
#include "app/frame/ProjectFile.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"
#include "app/model/TextIdList.h"

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kStations = 32;
constexpr int kModulesPerStation = 63;

// Drops every log line: the benchmark measures the files, not the log.
class NullLog : public qmx::LogTarget {
public:
  void Post(qmx::LogRecord* record) override { delete record; }
};

struct Bench {
  Bench() {
    qmx::SetLogTarget(&log);
    const std::string dist = QMX_BENCH_DIST_DIR;
    qmx::Paths().SetAppDir(dist);
    ParseTextIdFile(TextIdListPath(dist, "Eng"), textIds);
    ParseNAFiles(NAListPath(dist), textIds, adapters);
    ParseIOFiles(IOListPath(dist), textIds, modules);
    ws.SetCatalogues(&adapters, &modules);
    qmx::ProgramServices& services = qmx::Services();
    services.adapterOf = [this](const Wrapper& object) { return ws.AdapterOf(object); };
    services.projectOf = [this](const CNAUsr& adapter) { return ws.ProjectOf(adapter); };
    services.modulesOf = [this](const CNAUsr& adapter) { return ws.ModulesOf(adapter); };
    files.appVersion = "1.0.0.7";
    folder = fs::temp_directory_path() / ("qmx-bench-prj-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    path = (folder / "Large.KPX").string();
    Build();
  }
  ~Bench() {
    while (!ws.Projects().empty()) files.CloseProject(ws.Projects().front().get(), kNoTreeItem, 1, 0);
    std::error_code ec;
    fs::remove_all(folder, ec);
    qmx::SetLogTarget(nullptr);
  }

  void Build() {
    CProjectUsr* project = ws.CreateProject("Large", folder.string());
    project->SetCommType("TCP");
    project->SetTitle("\xEB\x8C\x80\xEA\xB7\x9C\xEB\xAA\xA8 \xED\x94\x84\xEB\xA1\x9C\xEC\xA0\x9D\xED\x8A\xB8 & test");
    size_t next = 0;
    for (int s = 1; s <= kStations; ++s) {
      TreeItem naItem = kNoTreeItem;
      CNAUsr* na = ws.CreateNA("\xEC\x8A\xA4\xED\x85\x8C\xEC\x9D\xB4\xEC\x85\x98 " + std::to_string(s), "QMX-4101",
                               naItem, nullptr);
      if (!na) return;
      na->SetCommSettings("192.168.0." + std::to_string(s), "", "", "1");
      na->title = "Station <" + std::to_string(s) + ">";
      for (int m = 1; m <= kModulesPerStation; ++m) {
        const IODef* def = modules.definitions()[next++ % modules.size()].get();
        TreeItem item = kNoTreeItem;
        ws.CreateIO("\xEB\xAA\xA8\xEB\x93\x88 " + std::to_string(m), def->ID, item, def, naItem);
      }
    }
    ws.ReNumberingIOsDispath(kTypeProject, project->treeItem);
    files.SaveProject({}, path, project);
  }

  NullLog log;
  TextIdMap textIds;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
  ProjectFiles files{ws, modules};
  fs::path folder;
  std::string path;
};

Bench& Shared() {
  static Bench bench;
  return bench;
}

void BM_SaveProject(benchmark::State& state) {
  Bench& b = Shared();
  CProjectUsr* project = b.ws.Projects().front().get();
  for (auto _ : state) {
    if (b.files.SaveProject({}, b.path, project) != 1) state.SkipWithError("save failed");
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(b.path));
}

void BM_OpenProject(benchmark::State& state) {
  Bench& b = Shared();
  const std::string copy = (b.folder / "Copy.KPX").string();
  fs::copy_file(b.path, copy, fs::copy_options::overwrite_existing);
  for (auto _ : state) {
    if (b.files.OpenProject(copy) != 1) state.SkipWithError("open failed");
    state.PauseTiming();
    CProjectUsr* opened = b.ws.Projects().back().get();
    b.files.CloseProject(opened, opened->treeItem, 1, 0);
    state.ResumeTiming();
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(copy));
}

void BM_Libxml2ParseAlone(benchmark::State& state) {
  Bench& b = Shared();
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadFile(b.path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
    if (!doc) state.SkipWithError("libxml2 refused the file");
    xmlFreeDoc(doc);
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(b.path));
}

}  // namespace

BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_OpenProject)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Libxml2ParseAlone)->Unit(benchmark::kMillisecond)->Iterations(20);

BENCHMARK_MAIN();
