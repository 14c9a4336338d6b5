// One reset for every process-wide service of the main program, so a test
// starts from the state a program has before its frame fills anything.
#pragma once

#include "app/model/Services.h"
#include "app/model/TextIdList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

class IOCatalogue;
class NACatalogue;
class ProjectWorkspace;

namespace qmx::test {

// Reads the staged program folder's English text IDs and its adapter and
// module catalogues (the program's folders set to it) and hands the
// catalogues to `ws`; a failure names the list that did not load.
::testing::AssertionResult LoadShippedCatalogues(ProjectWorkspace& ws, TextIdMap& textIds, NACatalogue& adapters,
                                                 IOCatalogue& modules);

// Copies the staged program folder to `root`/dist and runs the main program
// from that copy, with its lock folder, user settings (XDG_CONFIG_HOME) and
// home inside `root`, so nothing outside the test's folder is read or
// written. Answers the copy's path. ResetProgramServices forgets the copy.
std::filesystem::path UseProgramCopy(const std::filesystem::path& root);

// Scripts the toolkit's message boxes: the text of every box goes to
// `boxes`; a Yes/No box is answered from the front of `answers` (taken; Yes
// when it is empty or not given), any other box with OK. The references
// must outlive the script (ResetProgramServices removes it).
void RecordMessageBoxes(std::vector<std::string>& boxes, std::vector<bool>* answers = nullptr);

// Empties the model's services object (folders back to the executable's)
// and puts the hooks of the layers below it back to their defaults: the
// grid's log hooks and frame services, the picture writers' sinks, the
// toolkit's message-box script and box title, the launcher, the program-folder override
// and the closing flag. The log target stays: whoever names one (a log
// window, a test's capture) takes it back when it goes.
void ResetProgramServices();

// A test whose services are reset before and after it.
class ProgramServicesTest : public ::testing::Test {
protected:
  void SetUp() override { ResetProgramServices(); }
  void TearDown() override { ResetProgramServices(); }
};

// The same for code that cannot derive from the fixture: resets when made
// and when gone.
class ProgramServicesScope {
public:
  ProgramServicesScope() { ResetProgramServices(); }
  ~ProgramServicesScope() { ResetProgramServices(); }
  ProgramServicesScope(const ProgramServicesScope&) = delete;
  ProgramServicesScope& operator=(const ProgramServicesScope&) = delete;
};

}  // namespace qmx::test
