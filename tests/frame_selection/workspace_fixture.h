// A workspace with a catalogue built in code, a scripted message box and a
// capture of the log lines.
#pragma once

#include "tests/support/model_log_capture.h"

#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct Box {
  std::string text;
  unsigned flags;
};

// Boxes shown while a test runs, answered from a queue (default: Yes).
inline std::vector<Box>& Boxes() {
  static std::vector<Box> boxes;
  return boxes;
}
inline std::vector<int>& BoxAnswers() {
  static std::vector<int> answers;
  return answers;
}
inline int ScriptedBox(const std::string& text, unsigned flags) {
  Boxes().push_back({text, flags});
  if (BoxAnswers().empty()) return qmx::kBoxIdYes;
  const int answer = BoxAnswers().front();
  BoxAnswers().erase(BoxAnswers().begin());
  return answer;
}

class WorkspaceTest : public ::testing::Test {
protected:
  void SetUp() override {
    Boxes().clear();
    BoxAnswers().clear();
    qmx::Services().messageBox = &ScriptedBox;
    ws.SetCatalogues(&adapters, &modules);
  }
  void TearDown() override { qmx::ResetServices(); }

  // Lines of category 0 in order.
  std::vector<std::string> ErrorLines() { return log.Lines(qmx::kLogError); }

  ModelLogCapture log;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
};
