// A station of the shipped catalogue in a workspace, for the row building
// and the views: project "Plant" (TCP) with adapter QMX-4101 "Station" and
// the modules named by the test, numbered; the model's services answer from
// the workspace and the views' host points at it.
#pragma once

#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/NACatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"
#include "app/model/TextIdList.h"
#include "app/ui/views/rows/ViewHost.h"

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <vector>

class StationTest : public qmx::test::ProgramServicesTest {
protected:
  static std::string Products(const std::string& name) {
    return qmx::test::SourcePath("resources/QMX410Tools/Products/" + name).string();
  }

  void SetUp() override {
    ProgramServicesTest::SetUp();
    qmx::views::ResetHost();
    ParseTextIdFile(Products("listTextIdEng.xml"), texts);
    ParseNAFiles(Products("listNA.xml"), texts, adapters);
    ParseIOFiles(Products("listIO.xml"), texts, modules);
    ws.SetCatalogues(&adapters, &modules);
    qmx::ProgramServices& services = qmx::Services();
    services.messageBox = [this](const std::string& text, unsigned) {
      boxes.push_back(text);
      return 1;
    };
    services.adapterOf = [this](const Wrapper& object) { return ws.AdapterOf(object); };
    services.modulesOf = [this](const CNAUsr& na) { return ws.ModulesOf(na); };
    services.projectModified = [this](int modified) { ws.SetProjectModified(modified, nullptr); };
    services.viewMode = [this] { return ws.namingMode; };
    services.paths.SetAppDir(qmx::test::SourcePath("resources/QMX410Tools").string());
    qmx::views::Host().workspace = &ws;
  }

  void TearDown() override {
    qmx::views::ResetHost();
    ProgramServicesTest::TearDown();
  }

  // The station with the modules of `ids` in slot order (named by `names`);
  // the adapter selected.
  void BuildStation(const std::vector<std::string>& ids, const std::vector<std::string>& names = {}) {
    project = ws.CreateProject("Plant", "/tmp");
    project->commType = "TCP";
    project->commTypeCode = 0;
    TreeItem item = kNoTreeItem;
    na = ws.CreateNA("Station", "QMX-4101", item, nullptr);
    ASSERT_NE(na, nullptr);
    na->ipAddress = "192.168.0.10";
    for (size_t i = 0; i < ids.size(); ++i) {
      const std::string& id = ids[i];
      CIOUsr* module = ws.CreateIO(i < names.size() ? names[i] : "", id, item, nullptr, na->treeItem);
      ASSERT_NE(module, nullptr) << id;
      io.push_back(module);
    }
    ws.ReNumberingIOsDispath("PROJECT", project->treeItem);
    Select(na);
  }

  void Select(Wrapper* object) {
    TreeItem item = kNoTreeItem;
    if (auto* a = dynamic_cast<CNAUsr*>(object)) item = a->treeItem;
    if (auto* m = dynamic_cast<CIOUsr*>(object)) item = m->treeItem;
    if (object == project) item = project->treeItem;
    ws.tree().SelectItem(item);
  }

  ModelLogCapture log;
  std::vector<std::string> boxes;
  TextIdMap texts;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
  CProjectUsr* project = nullptr;
  CNAUsr* na = nullptr;
  std::vector<CIOUsr*> io;
};

// The fake driver library copied under the name the catalogue's adapters
// load ("Tessivar" "dll" -> Tessivar.so) into a folder of its own, with its
// answer setter.
class FakeDriverFolder {
public:
  FakeDriverFolder() {
    std::filesystem::copy_file(std::string(QMX_FAKE_DRIVER_DIR) + "/FakeTessivar.so", dir_ / "Tessivar.so");
    handle_ = dlopen((dir_ / "Tessivar.so").c_str(), RTLD_NOW);
    if (handle_) setResult_ = reinterpret_cast<void (*)(const char*, long long)>(dlsym(handle_, "fakeSetResult"));
  }
  ~FakeDriverFolder() {
    if (handle_) dlclose(handle_);
  }
  std::string path() const { return dir_.path().string(); }
  void SetResult(const char* name, long long value) {
    if (setResult_) setResult_(name, value);
  }

private:
  qmx::test::TempDir dir_{"qmx-views-driver"};
  void* handle_ = nullptr;
  void (*setResult_)(const char*, long long) = nullptr;
};
