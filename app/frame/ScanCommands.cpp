// The frame's automatic scan, special commands and Modbus messenger: the
// commands of the Online and Tools menus that load a driver on their own or
// go through the selected adapter's.
#include "app/errors/ErrorCodes.h"
#include "app/frame/AutoScanDlg.h"
#include "app/frame/CommProgress.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/MainFrame.h"
#include "app/frame/ProgramServices.h"
#include "app/frame/online/Compare.h"
#include "app/frame/scan/AutoScan.h"
#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "common/Utility.h"
#include "driver/include/tessivar.h"

std::function<int(AutoScanDlg&)> CMainFrame::s_autoScanDialog;
std::function<int(CSpecialCmdDlg&)> CMainFrame::s_specialCmdDialog;

namespace {

// A special command to the adapter selected in the project window; 0 when
// none is selected.
int SpecialCommandToSelection(ProjectWorkspace& workspace, const char* caller, int command) {
  CNAUsr* adapter = nullptr;
  std::string text;
  workspace.GetSelNAUsr(adapter, text, caller, 0);
  if (!adapter) return 0;
  return qmx::scan::DoSpecialCommand(adapter, adapter->GetLabel(workspace.namingMode), command);
}

auto ProgressRunner(QWidget* owner) {
  return [owner](const std::string& text, int ms, const std::function<int()>& op) {
    return qmx::frame::RunWithCommProgress(owner, text, ms, op);
  };
}

}  // namespace

void CMainFrame::OnOnlineAutoScan() {
  static const char* kFunc = "OnOnlineAutoScan";
  CProjectUsr* project = workspace_.GetSelectedProject(nullptr, kFunc, 0);
  if (!project) return;
  const int code = project->commTypeCode;
  if (code == kCommNone || code == kCommNoDriver) {
    std::string description;
    const std::string busType = GetTextIdValue(project->commType, description);
    qmx::ReportError(qmx::err::kBusTypeOffline,
                     StrFormat("Bus type does not support online. Bus type: %s.", busType.c_str()), kFunc,
                     qmx::FuncEnd::kNoStop);
    qmx::ShowBox(StrFormat("The bus type does not support online. Bus type: %s.", busType.c_str()),
                 qmx::kBoxIconStop);
    return;
  }
  const std::string driverFile = qmx::ScanDriverFile(naCatalogue_, project->commType);

  AutoScanDlg dialog(naCatalogue_, ioCatalogue_, qmx::Paths().appDir, this);
  dialog.runWithProgress = ProgressRunner(this);
  dialog.SetCommInfo(project->commType, driverFile, code);
  dialog.SetScanInfo(project->comPortRange, project->nodeAddressRange, project->serialSettings);
  const int answer = s_autoScanDialog ? s_autoScanDialog(dialog) : dialog.exec();
  if (qmx::scan::IsSerialCode(code)) {
    project->comPortRange = dialog.GetPortRange();
    project->nodeAddressRange = dialog.GetNodeRange();
    project->serialSettings = dialog.GetSerialSettings();
  }
  if (answer != QDialog::Accepted) return;
  const ScanResultList* result = dialog.GetResultList();
  if (!result) {
    PostLog(qmx::kLogError, qmx::kLogSource, StrFormat("[Bug] Auto scan result pointer is null. %s", kFunc));
    return;
  }
  if (view_) view_->ShowChildView(0);
  const std::vector<CNAUsr*> created = qmx::scan::ApplyScanResult(workspace_, project, naCatalogue_, ioCatalogue_,
                                                                   *result, dialog.IsOverwrite());
  if (dialog.IsCopyParameters() == 1 || dialog.IsCopyOutputs() == 1)
    qmx::scan::CopyOnlineValToPrj(workspace_, created, dialog.IsCopyParameters(), dialog.IsCopyOutputs(),
                                  ProgressRunner(this));
  workspace_.SetProjectModified(1, project);
  workspace_.ReNumberingIOsDispath("PROJECT", project->treeItem);
  dialog.FreeScanResult();
}

void CMainFrame::OnOnlineSpecialCmds() {
  CNAUsr* adapter = nullptr;
  std::string text;
  workspace_.GetSelNAUsr(adapter, text, "OnOnlineSpecialCmds", 1);
  if (!adapter) return;
  CSpecialCmdDlg dialog(this);
  dialog.SetTarget(adapter->GetLabel(workspace_.namingMode), adapter->TypeTag());
  dialog.runWithProgress = ProgressRunner(this);
  dialog.doRestart = [this] { return DoRestart(); };
  dialog.doResetErrCounter = [this] { return DoResetErrCounter(); };
  if (s_specialCmdDialog)
    s_specialCmdDialog(dialog);
  else
    dialog.exec();
}

int CMainFrame::DoRestart() { return SpecialCommandToSelection(workspace_, "DoRestart", 0); }

int CMainFrame::DoResetErrCounter() { return SpecialCommandToSelection(workspace_, "DoResetErrCounter", 1); }

void CMainFrame::OnToolsModbusMsger() { qmx::scan::RunModbusMessenger(qmx::Paths().appDir, TESSIVAR_LIBRARY_FILE); }
