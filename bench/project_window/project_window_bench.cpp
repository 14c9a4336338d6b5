// The project window with a big project: a project of 32 stations x 63
// modules (every shipped module in turn) opened in the running main window on
// the offscreen platform, and the naming mode switched between "User View"
// and "Product View" with it open. Each figure is the time until the window
// has handled every event the step posted. Goals: open under 1000 ms, a
// naming-mode switch under 300 ms.
//
//   bench-bin/bench_project_window [--stations=32] [--modules=63] [--rounds=5]
//
// Anchor: the same file read, and the same labels rewritten, in a workspace
// without a window (the model's share of the step). Each round runs
// window, model, model, window, so a change of the machine's load falls on
// both; the lines give min / median / max of the rounds and of the ratio
// window / model.
#include "app/frame/FerrowynApp.h"
#include "app/frame/MainFrame.h"
#include "app/frame/ProjectFile.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"

#include <QApplication>
#include <QComboBox>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
  int stations = 32;
  int modules = 63;
  int rounds = 5;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name, int& out) {
      const std::string prefix = std::string("--") + name + "=";
      if (arg.rfind(prefix, 0) == 0) out = std::max(1, std::atoi(arg.c_str() + prefix.size()));
    };
    value("stations", o.stations);
    value("modules", o.modules);
    value("rounds", o.rounds);
  }
  return o;
}

// Until the window has handled what the step posted (deferred layout and
// sizing included).
void Settle() {
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
}

double TimedMs(const std::function<void()>& step) {
  const Clock::time_point t0 = Clock::now();
  step();
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// While it lives, the adapters' look-ups answer from a workspace without a
// window instead of the frame's.
class ModelServices {
public:
  explicit ModelServices(ProjectWorkspace& ws) : saved_(qmx::Services()) {
    qmx::ProgramServices& s = qmx::Services();
    s.adapterOf = [&ws](const Wrapper& object) { return ws.AdapterOf(object); };
    s.modulesOf = [&ws](const CNAUsr& adapter) { return ws.ModulesOf(adapter); };
    s.projectModified = nullptr;
  }
  ~ModelServices() {
    qmx::ProgramServices& s = qmx::Services();
    s.adapterOf = saved_.adapterOf;
    s.modulesOf = saved_.modulesOf;
    s.projectModified = saved_.projectModified;
  }
  ModelServices(const ModelServices&) = delete;
  ModelServices& operator=(const ModelServices&) = delete;

private:
  qmx::ProgramServices saved_;
};

// The project file, written by the program's writer from a workspace without
// a window.
void WriteProject(CMainFrame& frame, const Options& o, const fs::path& folder, const std::string& path) {
  ProjectWorkspace ws;
  ws.SetCatalogues(&frame.naCatalogue(), &frame.ioCatalogue());
  ModelServices services(ws);
  ProjectFiles files(ws, frame.ioCatalogue());
  files.appVersion = "1.0.0.7";
  CProjectUsr* project = ws.CreateProject("Large", folder.string());
  project->SetCommType("TCP");
  const auto& definitions = frame.ioCatalogue().definitions();
  size_t next = 0;
  for (int s = 1; s <= o.stations; ++s) {
    TreeItem naItem = kNoTreeItem;
    CNAUsr* na = ws.CreateNA("Station " + std::to_string(s), "QMX-4101", naItem, nullptr);
    if (!na) return;
    na->SetCommSettings("192.168.0." + std::to_string(s), "", "", "1");
    for (int m = 1; m <= o.modules; ++m) {
      const IODef* def = definitions[next++ % definitions.size()].get();
      TreeItem item = kNoTreeItem;
      ws.CreateIO("Module " + std::to_string(m), def->ID, item, def, naItem);
    }
  }
  ws.ReNumberingIOsDispath(kTypeProject, project->treeItem);
  files.SaveProject({}, path, project);
  files.CloseProject(project, project->treeItem, 1, 0);
}

struct Figures {
  std::vector<double> window, model;
};

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

void Report(const char* what, const Figures& f, double goalMs) {
  std::vector<double> ratios;
  for (size_t i = 0; i < f.window.size() && i < f.model.size(); ++i) ratios.push_back(f.window[i] / f.model[i]);
  std::printf("%s\n", what);
  std::printf("  window: min %8.1f  median %8.1f  max %8.1f ms   (goal < %.0f ms: %s)\n", Percentile(f.window, 0),
              Percentile(f.window, 0.5), Percentile(f.window, 1), goalMs,
              Percentile(f.window, 0.5) < goalMs ? "met" : "NOT met");
  std::printf("  model:  min %8.1f  median %8.1f  max %8.1f ms\n", Percentile(f.model, 0), Percentile(f.model, 0.5),
              Percentile(f.model, 1));
  std::printf("  ratio window / model: min %.2f  median %.2f  max %.2f\n", Percentile(ratios, 0),
              Percentile(ratios, 0.5), Percentile(ratios, 1));
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  // The program runs from a copy of the staged folder, with its settings,
  // lock and log inside the copy.
  const fs::path root = fs::temp_directory_path() / ("qmx-bench-window-" + std::to_string(::getpid()));
  const fs::path programDir = root / "dist";
  fs::create_directories(programDir);
  fs::copy(QMX_BENCH_DIST_DIR, programDir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  setenv("QMX_LOCK_DIR", root.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("HOME", root.c_str(), 1);
  qmx::os::OverrideProgramFolder(programDir);

  int status = 1;
  {
    QApplication qapp(argc, argv);
    // No question stops a step: nothing is saved on the way.
    qmx::toolkit::SetMessageBoxScript([](const qmx::toolkit::MessageBoxRequest& r) {
      return (r.flags & 0x0F) == qmx::toolkit::kMbYesNo ? qmx::toolkit::kIdNo : qmx::toolkit::kIdOk;
    });
    CFerrowynApp program;
    if (!program.InitInstance({(programDir / "QMX410Tools").string()})) {
      std::fprintf(stderr, "the main program did not start\n");
      return 1;
    }
    CMainFrame& frame = *program.mainFrame();
    frame.resize(1180, 760);
    frame.show();
    Settle();

    const std::string path = (root / "Large.KPX").string();
    WriteProject(frame, o, root, path);
    std::printf("project: %d stations x %d modules, %ju bytes; %d rounds\n", o.stations, o.modules,
                static_cast<uintmax_t>(fs::file_size(path)), o.rounds);

    ProjectWorkspace modelWs;
    modelWs.SetCatalogues(&frame.naCatalogue(), &frame.ioCatalogue());
    ProjectFiles modelFiles(modelWs, frame.ioCatalogue());

    Figures open, naming;
    bool failed = false;
    auto check = [&](int opened, const ProjectWorkspace& ws) {
      if (opened == 1 && !ws.Projects().empty() &&
          ws.Projects().back()->Adapters().size() == static_cast<size_t>(o.stations))
        return;
      std::fprintf(stderr, "the project did not open whole\n");
      failed = true;
    };
    auto windowRound = [&] {
      int opened = 0;
      open.window.push_back(TimedMs([&] {
        opened = frame.OpenProject(path);
        Settle();
      }));
      check(opened, frame.workspace());
      QComboBox* combo = frame.viewModeCombo();
      for (int mode : {1, 0}) {
        naming.window.push_back(TimedMs([&] {
          combo->setCurrentIndex(mode);
          emit combo->activated(mode);
          Settle();
        }));
      }
      CProjectUsr* project = frame.workspace().Projects().back().get();
      frame.CloseProject(project, project->treeItem, 1, 0);
      Settle();
    };
    auto modelRound = [&] {
      ModelServices services(modelWs);
      int opened = 0;
      open.model.push_back(TimedMs([&] { opened = modelFiles.OpenProject(path); }));
      check(opened, modelWs);
      CProjectUsr* project = modelWs.Projects().back().get();
      for (int mode : {1, 0}) {
        naming.model.push_back(TimedMs([&] {
          modelWs.namingMode = mode;
          modelWs.ReNumberingIOsDispath(kTypeProject, project->treeItem);
        }));
      }
      modelFiles.CloseProject(project, project->treeItem, 1, 0);
    };
    for (int r = 0; r < o.rounds && !failed; ++r) {
      windowRound();
      modelRound();
      modelRound();
      windowRound();
    }
    if (!failed) {
      Report("open project", open, 1000);
      Report("naming-mode switch (User View <-> Product View)", naming, 300);
    }
    program.ExitInstance();
    status = failed ? 1 : 0;
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  return status;
}
