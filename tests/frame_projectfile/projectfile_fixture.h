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

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
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
    services.modulesOf = [this](const CNAUsr& adapter) { return ws.ModulesOf(adapter); };
    services.multiDropDriverFile = [this](const std::string& commType, int& code) {
      return qmx::MultiDropDriverFile(adapters, commType, code);
    };
    log.Clear();
    // The backups of files rewritten in place go to the test's own folder.
    if (const char* old = std::getenv("XDG_CACHE_HOME")) savedCache_ = old;
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  }

  // The projects go while the services they unbind through are still there.
  void TearDown() override {
    while (!ws.Projects().empty()) files.CloseProject(ws.Projects().front().get(), kNoTreeItem, 1, 0);
    if (savedCache_) ::setenv("XDG_CACHE_HOME", savedCache_->c_str(), 1);
    else ::unsetenv("XDG_CACHE_HOME");
    ProgramServicesTest::TearDown();
  }

  // Root passes every permission check: a save that must meet a folder that
  // refuses new files runs as this ordinary user in a child process.
  static constexpr uid_t kOrdinaryUser = 65534;

  // Makes `folder` refuse new files to the saving user while `file` in it
  // stays the user's to write, and gives that user the test's cache folder.
  // The user who saves: kOrdinaryUser when the test runs as root, else the
  // test's own.
  std::optional<uid_t> RefuseNewFiles(const fs::path& folder, const fs::path& file) {
    const fs::path cache = dir / "cache" / "qmx410tools";
    fs::create_directories(cache);
    if (::geteuid() != 0) {
      fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
      return std::nullopt;
    }
    EXPECT_EQ(::chown(file.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
    EXPECT_EQ(::chown(cache.c_str(), kOrdinaryUser, kOrdinaryUser), 0);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    return kOrdinaryUser;
  }

  // What `body` answers, run as `user` in a child process when given.
  static int RunAs(std::optional<uid_t> user, const std::function<int()>& body) {
    if (!user) return body();
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(*user) != 0 || ::setuid(*user) != 0) ::_exit(126);
      ::_exit(body());
    }
    int status = -1;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
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

private:
  std::optional<std::string> savedCache_;
};

}  // namespace prjtest
