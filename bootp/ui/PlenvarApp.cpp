#include "bootp/ui/PlenvarApp.h"

#include <QApplication>
#include <cstdio>

#include "bootp/ui/PlenvarDlg.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"

namespace qmx::plenvar {

int RunPlenvar(int argc, char** argv) {
  QApplication app(argc, argv);
  qmx::toolkit::SetProgramTitle("Plenvar");

  qmx::os::NamedMutex instance;
  if (instance.Create("KESTUN BOOTP SERVER") == 0) {
    qmx::toolkit::ShowMessageBox(nullptr, "Double Execution is not allowed.", "Kestun Bootp Server",
                                 qmx::toolkit::kMbIconWarning);
    return 0;
  }

  PlenvarDlg dialog;
  if (const int rc = dialog.OpenServerSocket(); rc != 0) {
    const std::string advice = BindFailureAdvice(rc, kBootpServerPort);
    std::fprintf(stderr, "Plenvar: %s\n", advice.c_str());
    qmx::toolkit::ShowMessageBox(nullptr,
                                 "Unable to create Bootp server socket\r\nBootp server software can not continue.\r\n"
                                 "Check your system or network setting");
    qmx::toolkit::ShowMessageBox(nullptr, advice);
    return 0;
  }
  dialog.exec();
  return 0;
}

}  // namespace qmx::plenvar
