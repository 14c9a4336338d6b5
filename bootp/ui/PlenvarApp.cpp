#include "bootp/ui/PlenvarApp.h"

#include <QApplication>
#include <cstdio>

#include "bootp/ui/PlenvarDlg.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"

namespace qmx::plenvar {

bool OpenServerSocketOrTell(PlenvarDlg& dialog) {
  const int rc = dialog.OpenServerSocket();
  if (rc == 0) return true;
  const std::string text =
      ServerSocketFailureText(rc, dialog.configuredServerPort(), qmx::os::ExecutablePath().string());
  std::fprintf(stderr, "Plenvar: %s\n", text.c_str());
  qmx::toolkit::ShowMessageBox(nullptr, text);
  return false;
}

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
  if (!OpenServerSocketOrTell(dialog)) return 0;
  dialog.exec();
  return 0;
}

}  // namespace qmx::plenvar
