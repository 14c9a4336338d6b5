// Rendaval: the documentation report program. The main program starts it
// with one argument, "PROJECT*" or "NA*" followed by the path of the main
// documentation file; the argument is examined when the user asks for the
// report.
#include <QApplication>

#include <string>

#include "platform/os/replace_file.h"
#include "platform/toolkit/message_box.h"
#include "report/MainForm.h"
#include "report/core/RunPlan.h"

int main(int argc, char** argv) {
  // QApplication may take arguments of its own out of argv; the command line is kept first.
  const std::string commandLine = qmx::rendaval::JoinArguments(argc, argv);
  // A logout or a closed terminal while a report is being written leaves no
  // hidden staged file behind.
  qmx::os::RemoveStagedFilesOnSignals();
  QApplication app(argc, argv);
  // The program ends when its outputs are done, not when a window closes.
  QApplication::setQuitOnLastWindowClosed(false);
  qmx::toolkit::SetProgramTitle("Rendaval");
  qmx::rendaval::MainForm form(commandLine);
  form.show();
  return QApplication::exec();
}
