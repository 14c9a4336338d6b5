#include "app/frame/ProgramServices.h"

#include "app/frame/online/Compare.h"
#include "app/frame/MainFrame.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/Services.h"
#include "app/ui/dialogs/DialogBase.h"
#include "app/ui/dialogs/SerialCommSetDlg.h"
#include "app/ui/image/ImageLog.h"
#include "app/ui/views/rows/ViewHost.h"
#include "common/Utility.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "widgets/grid/GridHooks.h"

#include <QApplication>
#include <QThread>

namespace qmx {

namespace {

// What the grids, the adapter dialog and the scan dialog open for a serial
// settings cell or button: the program's "Serial Communication Setting"
// dialog. A text of fewer than four fields opens it on its own defaults.
class ProgramGridServices : public grid::GridFrameServices {
public:
  bool EditSerialSettings(QWidget* parent, const std::string& current, std::string& result) override {
    dialogs::CSerialCommSetDlg dialog(parent);
    dialog.SetCommSetString(current);
    if (dialog.DoModal() != dialogs::kIdOk) return false;
    result = dialog.GetCommSetString();
    return true;
  }
};

}  // namespace

void InstallProgramServices() {
  toolkit::SetProgramTitle(kLogSource);
  ProgramServices& services = Services();
  // A box asked for by an operation running under the progress dialog (a
  // worker thread) is shown on the user-interface thread, which waits in the
  // dialog's event loop, and the answer is handed back.
  services.messageBox = [](const std::string& text, unsigned flags) {
    auto show = [&] { return toolkit::ShowMessageBox(QApplication::activeWindow(), text, {}, flags); };
    if (!qApp || QThread::currentThread() == qApp->thread()) return show();
    int answer = toolkit::kIdCancel;
    QMetaObject::invokeMethod(qApp, [&] { answer = show(); }, Qt::BlockingQueuedConnection);
    return answer;
  };
  services.paths.SetAppDir(os::ProgramFolder().string());

  // The shared grid and picture code report through the program's own roads.
  grid::SetGridLogHooks(
      {[](int category, const std::string& source, const std::string& text) { PostLog(category, source, text); },
       &ShowResourceLackError, &ShowError});
  static ProgramGridServices gridServices;
  grid::SetGridFrameServices(&gridServices);
  SetImageLogSink(
      [](int category, const std::string& source, const std::string& text) { PostLog(category, source, text); });
  SetImageMessageSink([](const std::string& title, const std::string& text) {
    toolkit::ShowMessageBox(QApplication::activeWindow(), text, title, toolkit::kMbIconInformation);
  });
}

void ConnectFrameServices(CMainFrame& frame) {
  ProgramServices& services = Services();
  services.options = [&frame]() -> const AppOptions* { return &frame.options(); };
  services.viewMode = [&frame] { return frame.namingMode(); };
  services.fileVersionText = [&frame](const std::string& path) {
    std::string title, version;
    return frame.GetFileVersionText(path, title, version);
  };
  services.multiDropDriverFile = [&frame](const std::string& commType, int& code) {
    return MultiDropDriverFile(frame.naCatalogue(), commType, code);
  };
  // The project tree: a module's adapter is the adapter item above it, an
  // adapter's modules are the module items below it.
  services.adapterOf = [&frame](const Wrapper& object) { return frame.workspace().AdapterOf(object); };
  services.modulesOf = [&frame](const CNAUsr& adapter) { return frame.workspace().ModulesOf(adapter); };
  services.projectModified = [&frame](int modified) { frame.SetProjectModified(modified, nullptr); };

  // The tab views read the tree and ask the frame through their host. The
  // Properties dialog and the adapters' communication state are filled in by
  // the parts of the program that own them.
  views::ViewHost& host = views::Host();
  host.workspace = &frame.workspace();
  host.valueMode = [&frame] { return frame.valueMode(); };
  host.refreshViews = [&frame](int bForce, const std::string& name) { frame.RefreshView(bForce, name); };
  host.runCommand = [&frame](int id) { frame.SendCommand(id); };
  host.openProperties = [&frame](Wrapper* object, const std::string& title) {
    return frame.RunPropertiesDialog(object, title);
  };
  // Help topics open in the program's help window.
  services.showHelp = [&frame](const std::string& topic) { frame.ShowHelpTopic(topic); };
}

void DisconnectFrameServices() {
  ProgramServices& services = Services();
  services.options = nullptr;
  services.viewMode = nullptr;
  services.fileVersionText = nullptr;
  services.multiDropDriverFile = nullptr;
  services.adapterOf = nullptr;
  services.modulesOf = nullptr;
  services.projectModified = nullptr;
  services.showHelp = nullptr;
  views::ResetHost();
}

std::string MultiDropDriverFile(const NACatalogue& catalogue, const std::string& commType, int& code) {
  code = kCommNone;
  for (const auto& definition : catalogue.definitions) {
    const CommDriverEntry* entry = definition ? definition->FindCommDriver(commType) : nullptr;
    if (!entry || IsStrEmpty(entry->fileName, 1) || IsStrEmpty(entry->fileType, 1)) continue;
    code = definition->GetCommTypeCode(commType);
    return StrFormat("%s.%s", TrimStr(entry->fileName).c_str(), TrimStr(entry->fileType).c_str());
  }
  return {};
}

std::string ScanDriverFile(const NACatalogue& catalogue, const std::string& busType) {
  std::string file;
  int code = kCommNone;
  if (GetMultiDropDriverFile(catalogue, busType, file, code)) return file;
  return MultiDropDriverFile(catalogue, busType, code);
}

}  // namespace qmx
