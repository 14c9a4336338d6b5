// Open and save of a project of 32 stations with 63 modules each (every
// shipped module in turn, Korean names and comments), against libxml2
// parsing the same file into a tree and freeing it, the floor of any open.
// Both sides run interleaved (A B B A); one run of ours is an open of the
// file followed by a save of the opened project. Each run of a side makes
// five passes and gives both the best pass and the median one.
//
// The files lie in a memory-backed folder (/dev/shm) unless another is
// named: the parse costs processor time alone, and so does an open and save
// there, while on a disk a save also waits for its flushes (the file and
// its folder), which depends on what else the disk is doing at the time.
//
// Run: bench-bin/bench_projectfile [rounds [folder]]   (the staged program folder must exist)
//      bench-bin/bench_projectfile 9 /tmp              the same on the disk, flushes included
//      bench-bin/bench_projectfile --profile N         opens and saves N times and nothing else (for perf)
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
#include "bench/support/side_by_side.h"

#include <libxml/parser.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kStations = 32;
constexpr int kModulesPerStation = 63;

// Drops every log line: the benchmark measures the files, not the log.
class NullLog : public qmx::LogTarget {
public:
  void Post(qmx::LogRecord* record) override { delete record; }
};

fs::path DefaultFolder() {
  std::error_code ec;
  return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

struct Bench {
  explicit Bench(const fs::path& parent) {
    qmx::SetLogTarget(&log);
    const std::string dist = QMX_BENCH_DIST_DIR;
    qmx::Paths().SetAppDir(dist);
    ParseTextIdFile(TextIdListPath(dist, "Eng"), textIds);
    ParseNAFiles(NAListPath(dist), textIds, adapters);
    ParseIOFiles(IOListPath(dist), textIds, modules);
    ws.SetCatalogues(&adapters, &modules);
    qmx::ProgramServices& services = qmx::Services();
    services.adapterOf = [this](const Wrapper& object) { return ws.AdapterOf(object); };
    services.modulesOf = [this](const CNAUsr& adapter) { return ws.ModulesOf(adapter); };
    files.appVersion = "1.0.0.7";
    folder = parent / ("qmx-bench-prj-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    path = (folder / "Large.KPX").string();
    copy = (folder / "Copy.KPX").string();
    Build();
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
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
    files.CloseProject(project, project->treeItem, 1, 0);
  }

  // One open of the file and one save of what was opened; the project is
  // closed after the clock stops. Each save makes a file of its own: a save
  // over the file of the one before would free an inode each time, and a
  // file system that keeps recently freed inodes aside (ext4) would then
  // charge every later save for the pile the benchmark made, which one
  // save of a user never meets.
  double OpenAndSave() {
    const std::string saved = (folder / ("Saved" + std::to_string(++saves) + ".KPX")).string();
    const auto start = std::chrono::steady_clock::now();
    if (files.OpenProject(copy) != 1) Fail("open failed");
    CProjectUsr* opened = ws.Projects().back().get();
    if (files.SaveProject({}, saved, opened) != 1) Fail("save failed");
    const double ms = qmx::bench::MsSince(start);
    files.CloseProject(opened, opened->treeItem, 1, 0);
    return ms;
  }

  double ParseAlone() const {
    const auto start = std::chrono::steady_clock::now();
    xmlDocPtr doc = xmlReadFile(copy.c_str(), nullptr, XML_PARSE_NONET);
    if (!doc) Fail("libxml2 refused the file");
    xmlFreeDoc(doc);
    return qmx::bench::MsSince(start);
  }

  [[noreturn]] static void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
  }

  NullLog log;
  TextIdMap textIds;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
  ProjectFiles files{ws, modules};
  fs::path folder;
  std::string path, copy;
  int saves = 0;
};

// The best and the median of `passes` timings: the least disturbed pass, and
// what a pass takes as a rule (on a disk, with the flushes it waited for).
std::vector<double> BestAndMedianOf(int passes, const std::function<double()>& run) {
  std::vector<double> ms;
  for (int i = 0; i < passes; ++i) ms.push_back(run());
  return {*std::min_element(ms.begin(), ms.end()), qmx::bench::Median(ms)};
}

}  // namespace

int main(int argc, char** argv) {
  const bool profile = argc > 2 && std::string(argv[1]) == "--profile";
  const int rounds = argc > 1 ? std::atoi(argv[profile ? 2 : 1]) : 9;
  const fs::path parent = argc > 2 && !profile ? fs::path(argv[2]) : DefaultFolder();
  xmlInitParser();
  Bench bench(parent);
  if (profile) {
    for (int i = 0; i < rounds; ++i) bench.OpenAndSave();
    return 0;
  }
  std::printf("project of %d stations x %d modules: %ju bytes, in %s\n", kStations, kModulesPerStation,
              static_cast<uintmax_t>(fs::file_size(bench.copy)), parent.c_str());
  qmx::bench::PrintLoad("before");
  constexpr int kPasses = 5;
  const auto s = qmx::bench::RunInterleaved(
      2, rounds, [&] { return BestAndMedianOf(kPasses, [&] { return bench.ParseAlone(); }); },
      [&] { return BestAndMedianOf(kPasses, [&] { return bench.OpenAndSave(); }); });
  const bool met = qmx::bench::Report(
      "32 x 63", {{"open + save, best of 5 passes", "ms", 2.5}, {"open + save, median of 5 passes", "ms", 2.5}}, s);
  qmx::bench::PrintLoad("after");
  return met ? 0 : 2;
}
