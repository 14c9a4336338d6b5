// The project files over a workspace with the shipped catalogue of the staged
// program folder: scripted message boxes, captured log lines, the program
// services the frame would fill, and projects built as the structure commands
// build them.
#pragma once

#include "app/frame/ProgramServices.h"
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
#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace prjtest {

namespace fs = std::filesystem;

// One module of a station: catalogue ID and user name.
struct ModuleSpec {
  std::string id;
  std::string name;
};

class ProjectFileTest : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    ASSERT_TRUE(qmx::test::LoadShippedCatalogues(ws, textIds, adapters, modules));
    files.appVersion = "1.0.0.7";

    qmx::ProgramServices& services = qmx::Services();
    services.messageBox = [this](const std::string& text, unsigned) {
      boxes.push_back(text);
      if (answers.empty()) return qmx::kBoxIdYes;
      const int answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    };
    services.adapterOf = [this](const Wrapper& object) { return ws.AdapterOf(object); };
    services.projectOf = [this](const CNAUsr& adapter) { return ws.ProjectOf(adapter); };
    services.modulesOf = [this](const CNAUsr& adapter) { return ws.ModulesOf(adapter); };
    services.multiDropDriverFile = [this](const std::string& commType, int& code) {
      return qmx::MultiDropDriverFile(adapters, commType, code);
    };
    log.Clear();
  }

  // The projects go while the services they unbind through are still there.
  void TearDown() override {
    while (!ws.Projects().empty()) files.CloseProject(ws.Projects().front().get(), kNoTreeItem, 1, 0);
    ProgramServicesTest::TearDown();
  }

  // A station as the structure commands make it: the adapter with its
  // communication texts and its modules in slot order.
  CNAUsr* AddStation(const std::string& naId, const std::string& name, const std::string& ip,
                     const std::string& comPort, const std::string& node, const std::vector<ModuleSpec>& mods) {
    TreeItem naItem = kNoTreeItem;
    CNAUsr* na = ws.CreateNA(name, naId, naItem, nullptr);
    if (!na) return nullptr;
    na->SetCommSettings(ip, comPort, comPort.empty() ? "" : "9600, 8, NOPARITY, 1", node);
    for (const ModuleSpec& m : mods) {
      TreeItem item = kNoTreeItem;
      ws.CreateIO(m.name, m.id, item, nullptr, naItem);
    }
    return na;
  }
  CProjectUsr* NewProject(const std::string& name, const std::string& busType, const fs::path& folder) {
    CProjectUsr* project = ws.CreateProject(name, folder.string());
    project->SetCommType(busType);
    return project;
  }
  void Number(CProjectUsr* project) { ws.ReNumberingIOsDispath(kTypeProject, project->treeItem); }

  std::vector<std::string> ErrorLines() { return log.Lines(qmx::kLogError); }

  ModelLogCapture log;
  TextIdMap textIds;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
  ProjectFiles files{ws, modules};
  std::vector<std::string> boxes;  // texts of the boxes shown, answered from `answers` (default Yes)
  std::vector<int> answers;
  qmx::test::TempDir dir{"qmx-prj"};
};

}  // namespace prjtest
