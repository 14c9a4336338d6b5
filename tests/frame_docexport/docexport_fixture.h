// A workspace over the shipped catalogue (read from the staged program
// folder), stations built in code, a scripted message box, captured log
// lines, and golden files whose folders are written as placeholders.
#pragma once

#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

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

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace docexport_test {

inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class CatalogueTest : public ::testing::Test {
protected:
  void SetUp() override {
    qmx::Services().messageBox = [this](const std::string& text, unsigned) {
      boxes.push_back(text);
      return 1;
    };
    qmx::Services().modulesOf = [this](const CNAUsr& adapter) { return ws.ModulesOf(adapter); };
    qmx::Services().adapterOf = [this](const Wrapper& object) { return ws.AdapterOf(object); };
    dist = qmx::test::DistDir().string();
    ASSERT_TRUE(qmx::test::LoadShippedCatalogues(ws, textIds, adapters, modules));
  }
  void TearDown() override { qmx::ResetServices(); }

  CProjectUsr* Project(const std::string& name, const std::string& commType = "TCP") {
    CProjectUsr* project = ws.CreateProject(name, "/tmp/prj");
    project->commType = commType;
    return project;
  }
  // An adapter of the selected project with modules by definition ID; the
  // adapter stays selected.
  CNAUsr* Station(const std::string& name, const std::string& id, const std::vector<std::string>& moduleIds) {
    TreeItem item = kNoTreeItem;
    CNAUsr* adapter = ws.CreateNA(name, id, item, nullptr);
    EXPECT_NE(adapter, nullptr) << id;
    int n = 0;
    for (const std::string& moduleId : moduleIds) {
      TreeItem moduleItem = kNoTreeItem;
      EXPECT_NE(ws.CreateIO(moduleId + " #" + std::to_string(++n), moduleId, moduleItem, nullptr, item), nullptr);
    }
    ws.tree().SelectItem(item);
    return adapter;
  }
  void Select(const Wrapper* object) { ws.tree().SelectItem(ws.tree().FindItem(object)); }

  // Compares a written file with its golden file (folders as @DOC_DIR@ and
  // @IMAGE_DIR@). QMX_UPDATE_GOLDEN=1 rewrites the golden file instead.
  void ExpectGolden(const std::filesystem::path& written, const std::string& goldenName,
                    const std::string& docDir) {
    std::string text = qmx::test::ReadFile(written);
    text = ReplaceAll(text, qmx::Paths().imageDir, "@IMAGE_DIR@");
    text = ReplaceAll(text, docDir, "@DOC_DIR@");
    const auto golden = qmx::test::SourcePath("tests/frame_docexport/golden/" + goldenName);
    if (const char* update = std::getenv("QMX_UPDATE_GOLDEN"); update && std::string(update) == "1") {
      qmx::test::WriteFile(golden, text);
      return;
    }
    EXPECT_EQ(text, qmx::test::ReadFile(golden)) << "golden file " << goldenName;
  }

  std::vector<std::string> ErrorLines() { return log.Lines(qmx::kLogError); }

  ModelLogCapture log;
  std::vector<std::string> boxes;
  std::string dist;
  TextIdMap textIds;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
};

}  // namespace docexport_test
