#include "app/ui/views/ParametersView.h"

#include "app/commands/CommandIds.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/ui/views/rows/ViewHost.h"
#include "widgets/grid/GridCtrl.h"

namespace {

std::string CommDisplay(void* context, const std::string& key, const std::string& value) {
  auto* adapter = static_cast<CNAUsr*>(context);
  const auto& hook = qmx::views::Host().commBlockDisplayVal;
  return hook ? hook(key, value, adapter) : value;
}

}  // namespace

CParametersView::CParametersView(QWidget* parent)
    : CGridFormView(parent, "Parameters", {{"Parameter Name", 274, 1}, {"Project Value", 175, 0}, {"Online Value", 175, 1}, {" ", 1, 1}},
                    true) {
  hintColumn_ = qmx::views::kParaProject;
}

int CParametersView::RefreshView(int bForce) {
  static const char* kFunc = "ParametersView::RefreshView";
  using namespace qmx::views;
  if (!HasMainFrame(kFunc)) return 0;
  Wrapper* object = SelectedObject("ParametersView-RefreshView");
  if (!object) return 2;
  // The rows are read-only and carry online values only while the station
  // monitors: rows built under the other state are stale (monitoring started
  // or stopped while another tab was shown).
  const int monitoring = StationMonitoring(*object);
  if (object == shown_ && !bForce && monitoring == builtMonitoring_) return 2;
  if (!BeginRows(object)) return 2;
  builtMonitoring_ = monitoring;
  ShowRows(BuildParameterRows(*object, HostNamingMode()));
  grid()->SetRedraw(true);
  return 1;
}

int CParametersView::StationMonitoring(Wrapper& object) {
  using namespace qmx::views;
  if (object.IsType(kTypeNA)) return static_cast<CNAUsr&>(object).monitoring;
  if (!object.IsType(kTypeIO)) return 0;
  const CNAUsr* adapter = SelectedAdapter("ParametersView-RefreshView");
  return adapter ? adapter->monitoring : 0;
}

int CParametersView::UpdateOnlineVals(int) {
  static const char* kFunc = "ParametersView::UpdateOnlineVals";
  using namespace qmx::views;
  if (!HasMainFrame(kFunc)) return 0;
  Wrapper* object = SelectedObject("ParametersView-RefreshView");
  if (!object || !object->IsModule()) return 2;
  if (object != shown_) RefreshView(1);
  const bool isAdapter = object->IsType(kTypeNA);
  CNAUsr* adapter = isAdapter ? static_cast<CNAUsr*>(object) : SelectedAdapter("CParametersView::UpdateOnlineVals");
  if (!adapter) return 0;
  // One group: read its image, then fill its rows. false: the read failed.
  auto group = [&](RowKind kind, int image, std::vector<CellChange>& changes) {
    return WithOnlineImage(*adapter, *object, image, 1, kFunc, [&](const uint8_t* bytes, int length) {
      RefreshParameterOnline(rows_, *object, kind, bytes, length, &CommDisplay, adapter, changes);
    });
  };
  std::vector<CellChange> changes;
  if (ConnectionLost(*adapter)) {
    // No value is shown as live until the station answers again.
    grid()->SetRedraw(false);
    ClearOnlineColumn(rows_, kParaOnline, changes);
    ApplyChanges(changes);
    grid()->SetRedraw(true);
    return 1;
  }
  if (!isAdapter) {
    if (!HasParameters(*object, RowKind::kParameter)) return 2;
    grid()->SetRedraw(false);
    if (!group(RowKind::kParameter, kOnlinePara, changes)) {
      grid()->SetRedraw(true);
      return 0;
    }
  } else {
    grid()->SetRedraw(false);
    if (HasParameters(*object, RowKind::kCommInit)) group(RowKind::kCommInit, kOnlineMonInit, changes);
    if (HasParameters(*object, RowKind::kParameter)) group(RowKind::kParameter, kOnlinePara, changes);
  }
  ApplyChanges(changes);
  grid()->SetRedraw(true);
  return 1;
}

int CParametersView::DoChangeModuleNameIcon(int which) {
  return RelabelRows(which, "ParametersView-DoChangeModuleNameIcon");
}

int CParametersView::CanHandleCommand(int commandId, int mode) {
  using namespace qmx::commands;
  if (commandId != kIdOnlineDownload && commandId != kIdOnlineUpload && commandId != kIdOnlineResetPara &&
      commandId != kIdEditFactoryDefault) {
    return 0;
  }
  if (!qmx::views::AnyWindowHasFocus()) return 0;
  return mode ? 1 : 0;
}
