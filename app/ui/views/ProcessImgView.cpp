#include "app/ui/views/ProcessImgView.h"

#include "app/commands/CommandIds.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/ui/views/rows/ViewHost.h"
#include "widgets/grid/GridCtrl.h"

#include <QLabel>

namespace {

// The modules below an adapter's item in tree order (every one, or only the
// communicating ones).
std::vector<CIOUsr*> ModulesBelow(const CNAUsr& adapter, int all) {
  std::vector<CIOUsr*> modules;
  if (ProjectWorkspace* ws = qmx::views::Host().workspace) ws->CollectIOUsrs(adapter.treeItem, modules, all);
  return modules;
}

}  // namespace

CProcessImgView::CProcessImgView(QWidget* parent)
    : CGridFormView(parent, "ProcessImg",
                    {{"Channel Name", 244, 1}, {"Type", 70, 1}, {"Project Value", 100, 0}, {"Online Value", 100, 1},
                     {"Unit", 80, 1}, {" ", 1, 1}},
                    true) {
  hintColumn_ = qmx::views::kPiProject;
}

int CProcessImgView::RefreshView(int bForce) {
  static const char* kFunc = "ProcessImgView::RefreshView";
  using namespace qmx::views;
  if (!HasMainFrame(kFunc)) return 0;
  Wrapper* object = SelectedObject("ProcessImgView-RefreshView");
  if (!object) return 2;
  if (object == shown_ && !bForce) {
    if (object->ClearChangedFlag() == 1) ChangeUnit(object);
    return 2;
  }
  if (!BeginRows(object)) return 2;
  CNAUsr* adapter = object->IsType(kTypeNA) ? static_cast<CNAUsr*>(object) : SelectedAdapter("ProcessImgView-RefreshView");
  std::vector<CIOUsr*> modules;
  if (object->IsType(kTypeNA)) modules = ModulesBelow(*adapter, 1);
  ShowRows(BuildProcessImgRows(*object, HostNamingMode(), HostValueMode(), modules, adapter));
  grid()->SetRedraw(true);
  return 1;
}

int CProcessImgView::UpdateOnlineVals(int quiet) {
  static const char* kFunc = "ProcessImgView::UpdateOnlineVals";
  using namespace qmx::views;
  if (!HasMainFrame(kFunc)) return 0;
  Wrapper* object = SelectedObject("ProcessImgView-RefreshView");
  if (!object) return 2;
  if (object != shown_) {
    // The rows belong to the object they were built for.
    RefreshView(1);
  }
  if (!object->IsModule() || (!object->IsType(kTypeIO) && !object->IsType(kTypeNA))) return 2;
  CNAUsr* adapter = object->IsType(kTypeNA) ? static_cast<CNAUsr*>(object)
                                            : SelectedAdapter("CProcessImgView::UpdateOnlineVals");
  if (!adapter) return 0;
  std::vector<CIOUsr*> communicating;
  if (object->IsType(kTypeNA) && quiet == 0) communicating = ModulesBelow(*adapter, 0);
  grid()->SetRedraw(false);
  std::vector<CellChange> changes;
  int result = 1;
  if (ConnectionLost(*adapter)) {
    // No value is shown as live until the station answers again.
    ClearOnlineColumn(rows_, kPiOnline, changes);
  } else {
    result = RefreshProcessImgOnline(rows_, *object, *adapter, quiet, HostValueMode(), communicating, changes);
  }
  ApplyChanges(changes);
  grid()->SetRedraw(true);
  if (result == 1) onlineShown_ = true;
  return result;
}

void CProcessImgView::ChangeUnit(Wrapper* object) {
  using namespace qmx::views;
  if (!object || !object->IsModule()) return;
  CNAUsr* adapter = object->IsType(kTypeNA) ? static_cast<CNAUsr*>(object) : SelectedAdapter("ProcessImgView::ChangeUnit");
  std::vector<CellChange> changes;
  RefreshProcessImgUnits(rows_, *object, adapter, changes);
  ApplyChanges(changes);
}

int CProcessImgView::DoChangeModuleNameIcon(int which) {
  return RelabelRows(which, "ProcessImgView-DoChangeModuleNameIcon");
}

int CProcessImgView::CanHandleCommand(int commandId, int mode) {
  if (commandId != qmx::commands::kIdOnlineDownload && commandId != qmx::commands::kIdOnlineUpload) return 0;
  if (!qmx::views::AnyWindowHasFocus()) return 0;
  return mode ? 1 : 0;
}

int CProcessImgView::ChangeValMode(int reset) {
  using namespace qmx::views;
  if (!HasMainFrame("ProcessImgView::ChangeValMode")) return 0;
  if (reset == 1) {
    onlineShown_ = false;
    return 1;
  }
  const bool wasShown = onlineShown_;
  const bool monitored = Host().workspace->IsSelPrjMonitoring();
  RefreshView(1);
  if (monitored || wasShown) UpdateOnlineVals(1);
  return 1;
}
