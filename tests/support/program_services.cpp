#include "tests/support/program_services.h"

#include "app/model/Logging.h"
#include "app/ui/grid/GridHooks.h"
#include "app/ui/image/ImageLog.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"

namespace qmx::test {

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
