// The main window's side of the online commands: the windows behind the
// hooks of OnlineOperations (tab host, target and reset dialogs, validation
// and compare dialogs, the progress window, the window timers) and what the
// views ask about monitoring adapters. The commands themselves are in the
// frame's command table (MainFrame.cpp).
#include "app/frame/CommProgress.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/MainFrame.h"
#include "app/model/NAUsr.h"
#include "app/ui/dialogs/CompareOfflineDlg.h"
#include "app/ui/dialogs/TargetDlg.h"
#include "app/ui/views/rows/ViewHost.h"

#include <QTimer>

namespace {

int RunCompareDialogModal(qmx::dialogs::CompareOfflineDlg& dialog) { return dialog.DoModal(); }

}  // namespace

std::function<int(qmx::dialogs::CompareOfflineDlg&)> CMainFrame::s_runCompareDialog = RunCompareDialogModal;

void CMainFrame::OnTimer(int id) {
  if (qmx::frame::CommProgressRunning()) return;
  onlineOps_.OnTimer(id);
}

void CMainFrame::SetFrameTimer(int id, int ms) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
  }
  timer->start(ms > 0 ? ms : 1);
}

void CMainFrame::KillFrameTimer(int id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  delete it->second;
  timers_.erase(it);
}

bool CMainFrame::IsFrameTimerRunning(int id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

void CMainFrame::RunCompareDialog(const std::string& kind, const std::string& label, CNAUsr* adapter, TreeItem item,
                                  CompareResultList& preset) {
  qmx::dialogs::CompareOfflineDlg dialog(this);
  dialog.SetCompareTarget(kind, label, adapter, item);
  dialog.SetPresetResults(preset);
  dialog.SetCompareFunction([this, kind, adapter, item](CompareResultList& rows, int configuration, int parameters) {
    return qmx::frame::RunWithCommProgress(this, "Comparing ...", kTransferProgressMs, [&] {
      return compareEngine_.CompareOffline(rows, kind, adapter, item, configuration, parameters);
    });
  });
  if (s_runCompareDialog) s_runCompareDialog(dialog);
}

void CMainFrame::InitOnlineOperations() {
  OnlineUi& ui = onlineOps_.ui;
  ui.activeTab = [this] {
    CFerrowynView* view = GetTabView("OnlineOperations", 0);
    return view ? view->GetActiveViewType() : -1;
  };
  ui.updateOnlineVals = [this](const std::string& viewName, int value) {
    if (CFerrowynView* view = GetTabView("UpdateOnlineVals", 0)) view->UpdateOnlineVals(viewName, value);
  };
  ui.refreshView = [this](int force, const std::string& viewName) { RefreshView(force, viewName); };
  ui.downloadTarget = [this](const std::string& title, const std::string& action, const std::string& label,
                             const std::string& tag) {
    qmx::dialogs::CDownloadTargetDlg dialog(this);
    dialog.SetActionTexts(action, title);
    dialog.SetTarget(tag, label, 1);
    if (dialog.DoModal() != qmx::dialogs::kIdOk) return kTargetCancel;
    return dialog.GetResult() == 1 ? kTargetWithModules : kTargetAdapterOnly;
  };
  ui.resetFactory = [this](const std::string& tag, const std::string& label, int mayInclude, int& choice) {
    qmx::dialogs::CResetFactoryDlg dialog(this);
    dialog.SetTarget(tag, label, mayInclude);
    if (dialog.DoModal() != qmx::dialogs::kIdOk) return 0;
    choice = dialog.GetResult();
    return 1;
  };
  ui.validationResult = [](const std::string& kind, const std::string& label, TreeItem item,
                           const std::string& heading, ValidationList& rows) {
    if (s_validationResult) s_validationResult(kind, label, item, heading, rows);
  };
  ui.compareDialog = [this](const std::string& kind, const std::string& label, CNAUsr* adapter, TreeItem item,
                            CompareResultList& preset) { RunCompareDialog(kind, label, adapter, item, preset); };
  ui.runWithProgress = [this](const std::string& text, int ms, const std::function<int()>& operation) {
    return qmx::frame::RunWithCommProgress(this, text, ms, operation);
  };
  ui.setTimer = [this](int id, int ms) { SetFrameTimer(id, ms); };
  ui.killTimer = [this](int id) { KillFrameTimer(id); };

  // The views show a fault picture for an adapter whose communication
  // failed, and the information values in their display form.
  qmx::views::ViewHost& host = qmx::views::Host();
  host.commState = [this](const CNAUsr& adapter) { return onlineOps_.CommState(adapter); };
  host.commBlockDisplayVal = [this](const std::string& key, const std::string& value, CNAUsr* adapter) {
    return GetCommBlockDisplayVal(key, value, adapter, options_.Language);
  };
}
