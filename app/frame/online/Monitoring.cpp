// Project monitoring: start and stop, the collision check of communication
// addresses, the checks before a start, and the two kinds of window timer
// (status sampling, per-project refresh of the active view).
#include "app/frame/online/OnlineOperations.h"

#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"

#include <map>

bool OnlineOperations::AnyProjectMonitoring() const {
  for (const auto& project : workspace_.Projects()) {
    if (project->monitoring == 1) return true;
  }
  return false;
}

int OnlineOperations::CommState(const CNAUsr& adapter) const {
  const auto it = status_.find(&adapter);
  return it == status_.end() ? kStatusNotRead : it->second.state;
}

int OnlineOperations::IsSameCommPropMonitoring(CProjectUsr* project) const {
  std::map<std::string, const CNAUsr*> addresses;
  for (const auto& other : workspace_.Projects()) {
    if (other->monitoring != 1 || (other->commTypeCode != kCommTcp && other->commTypeCode != kCommUdp)) continue;
    for (const CNAUsr* adapter : other->Adapters()) addresses.emplace(adapter->GetCommAddress(), adapter);
  }
  if (addresses.empty() || !project) return 0;
  int found = 0;
  for (const CNAUsr* adapter : project->Adapters()) {
    const std::string address = adapter->GetCommAddress();
    if (address.empty() || !addresses.count(address)) continue;
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("Network adapter during monitring have same communication properties. NA: %s.",
                      Label(*adapter).c_str()));
    found = 1;
  }
  return found;
}

int OnlineOperations::CheckPrjValidBeforeMonitoring(CProjectUsr* project) {
  ValidationList results, projectRows;
  const int result = validator_.ValidatePrj(project, results, projectRows);
  if (result == 1) return 1;
  qmx::ShowBox("Offline configuration is invalid. Please correct problems according to next dialog.",
               qmx::kBoxIconStop);
  if (ui.validationResult) {
    ui.validationResult("Project", Label(*project), ItemOf(project), " Some errors exist.", results);
  }
  return result;
}

int OnlineOperations::CompareProjectBeforeMonitoring(CProjectUsr* project) {
  CompareResultList all;
  CNAUsr* first = nullptr;
  std::vector<std::pair<CNAUsr*, TreeItem>> adapters;
  for (CNAUsr* adapter : project->Adapters()) adapters.emplace_back(adapter, ItemOf(adapter));
  WithProgress("Checking configuration before project monitoring...", [&] {
    for (const auto& [adapter, item] : adapters) {
      CompareResultList rows;
      const int result = engine_.CompareOffline(rows, "NA", adapter, item, 1, 0);
      if (result == kCompareEqual) continue;
      if (!first) first = adapter;
      all.emplace_back(CompareResultItem::kAdapterSummary, 0, Label(*adapter), "", "",
                       result == kCompareDifferent ? "" : "Communication fail");
      all.insert(all.end(), rows.begin(), rows.end());
      if (result != kCompareDifferent) break;
    }
    return 1;
  });
  if (all.empty()) return 1;
  qmx::ShowBox("Offline and online configuration is different. Please correct problems according to next dialog.",
               qmx::kBoxIconStop);
  if (ui.compareDialog) ui.compareDialog(first->TypeTag(), Label(*first), first, ItemOf(first), all);
  return 0;
}

void OnlineOperations::OnOnlineMonStartPrj() {
  CProjectUsr* project = workspace_.GetSelectedProject(nullptr, {}, 0);
  if (!project) return;
  if (IsSameCommPropMonitoring(project) == 1) {
    qmx::ShowBox("Network adapter having same communication properties is monitoring.\nSee below log in detail.", 0);
    return;
  }
  if (CheckPrjValidBeforeMonitoring(project) != 1) return;
  if (CompareProjectBeforeMonitoring(project) != 1) return;

  const int shared = project->HasSharedDriver() ? 1 : 0;
  bool started = false;
  for (CNAUsr* adapter : project->Adapters()) {
    if (adapter->StartMonitoring(shared) == 1) {
      adapter->monitoring = 1;
      status_.erase(adapter);
      started = true;
    }
  }
  project->monitoring = 1;
  if (shared) started = project->StartComm() == 1;
  if (!started) {
    // Nothing runs in the driver: no adapter may keep its flag, or the
    // transfers would take the monitoring roads.
    project->monitoring = 0;
    for (CNAUsr* adapter : project->Adapters()) adapter->monitoring = 0;
    return;
  }
  if (ui.setTimer) {
    ui.setTimer(project->timerId, project->viewUpdateTime);
    ui.setTimer(kStatusTimerId, kStatusTimerMs);
  }
  SetImage(project, kImageProjectMonitoring);
  if (ui.refreshView) ui.refreshView(1, "ParametersView");
  PostLog(qmx::kLogGeneral, qmx::kLogSource,
          StrFormat("Project monitoring is started. Project: %s.", Label(*project).c_str()));
}

void OnlineOperations::OnOnlineMonStopPrj() {
  CProjectUsr* project = workspace_.GetSelectedProject(nullptr, {}, 0);
  if (!project) return;
  if (qmx::ShowBox(StrFormat("Do you stop '%s' project monitoring?", project->GetName().c_str()), qmx::kBoxYesNo) !=
      qmx::kBoxIdYes) {
    return;
  }
  const int shared = project->HasSharedDriver() ? 1 : 0;
  project->monitoring = 0;
  if (shared) project->StopComm();
  for (CNAUsr* adapter : project->Adapters()) {
    adapter->StopMonitoring(shared);
    adapter->monitoring = 0;
    adapter->ClearCommStatus();
    status_.erase(adapter);
    // Back to the picture the adapter was inserted with: its group's.
    const NADef* def = adapter->GetNADef();
    SetImage(adapter, def ? def->iconIdx : kImageAdapter);
  }
  if (ui.killTimer) ui.killTimer(project->timerId);
  SetImage(project, kProjectTreeImage);
  if (ui.refreshView) ui.refreshView(1, "ParametersView");
  PostLog(qmx::kLogGeneral, qmx::kLogSource,
          StrFormat("Project monitoring is stopped. Project: %s.", Label(*project).c_str()));
  if (!AnyProjectMonitoring() && ui.killTimer) ui.killTimer(kStatusTimerId);
}

int OnlineOperations::IsSelPrjMonTimer(int id) const {
  const CProjectUsr* project = workspace_.GetSelectedProject(nullptr, {}, 0);
  return project && project->monitoring == 1 && project->timerId == id ? 1 : 0;
}

void OnlineOperations::OnTimer(int id) {
  if (id >= kFirstProjectTimerId && id <= kLastProjectTimerId) {
    if (IsSelPrjMonTimer(id) == 1 && ui.updateOnlineVals) ui.updateOnlineVals("", 0);
  } else if (id == kStatusTimerId) {
    UpdateCommStatusAllPrj();
  }
}

void OnlineOperations::UpdateCommStatusAllPrj() {
  for (const auto& project : workspace_.Projects()) {
    if (project->monitoring != 1) continue;
    size_t failed = 0;
    for (CNAUsr* adapter : project->Adapters()) {
      Status now;
      adapter->UpdateCommStatus(now.state, now.busError, now.fieldPower);
      // Changes are judged against what this frame last showed, so a
      // restarted monitoring paints its icons again.
      const auto it = status_.find(adapter);
      const bool changed = it == status_.end() || it->second.state != now.state ||
                           it->second.busError != now.busError || it->second.fieldPower != now.fieldPower;
      if (changed) {
        status_[adapter] = now;
        if (ui.updateOnlineVals) ui.updateOnlineVals("", 1);
        SetImage(adapter, AdapterStatusImage(now.state, now.busError, now.fieldPower));
      }
      if (now.state == kStatusFault) ++failed;
    }
    SetImage(project.get(), project->Adapters().size() > failed ? kImageProjectMonitoring : kImageProjectAllFailed);
  }
}
