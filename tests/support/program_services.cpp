#include "tests/support/program_services.h"

#include "app/model/IOCatalogue.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectWorkspace.h"
#include "app/ui/image/ImageLog.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/test_support.h"
#include "widgets/grid/GridHooks.h"

#include <cstdlib>

namespace qmx::test {

::testing::AssertionResult LoadShippedCatalogues(ProjectWorkspace& ws, TextIdMap& textIds, NACatalogue& adapters,
                                                 IOCatalogue& modules) {
  const std::string dist = DistDir().string();
  Paths().SetAppDir(dist);
  if (ParseTextIdFile(TextIdListPath(dist, "Eng"), textIds) != 1) return ::testing::AssertionFailure() << "text IDs";
  if (ParseNAFiles(NAListPath(dist), textIds, adapters) != 1) return ::testing::AssertionFailure() << "adapters";
  if (ParseIOFiles(IOListPath(dist), textIds, modules) != 1) return ::testing::AssertionFailure() << "modules";
  ws.SetCatalogues(&adapters, &modules);
  return ::testing::AssertionSuccess();
}

std::filesystem::path UseProgramCopy(const std::filesystem::path& root) {
  const std::filesystem::path programDir = root / "dist";
  CopyDist(programDir);
  setenv("QMX_LOCK_DIR", root.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("HOME", root.c_str(), 1);
  os::OverrideProgramFolder(programDir);
  return programDir;
}

void RecordMessageBoxes(std::vector<std::string>& boxes, std::vector<bool>* answers) {
  toolkit::SetMessageBoxScript([&boxes, answers](const toolkit::MessageBoxRequest& r) {
    boxes.push_back(r.text);
    if ((r.flags & 0x0F) != toolkit::kMbYesNo) return toolkit::kIdOk;
    const bool yes = !answers || answers->empty() || answers->front();
    if (answers && !answers->empty()) answers->erase(answers->begin());
    return yes ? toolkit::kIdYes : toolkit::kIdNo;
  });
}

void ResetProgramServices() {
  SetClosingFlag(0);
  // The folder first: the services' default folders are read from it.
  os::OverrideProgramFolder({});
  os::SetLauncher({});
  toolkit::SetMessageBoxScript({});
  toolkit::SetProgramTitle(kLogSource);
  grid::SetGridLogHooks({});
  grid::SetGridFrameServices(nullptr);
  SetImageLogSink({});
  SetImageMessageSink({});
  ResetServices();
}

}  // namespace qmx::test
