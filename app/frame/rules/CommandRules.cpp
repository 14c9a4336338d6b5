#include "app/frame/rules/CommandRules.h"

#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"
#include "platform/os/os.h"

#include <cstdlib>
#include <set>

namespace qmx::commands {
namespace {

CProjectUsr* SelectedProject(const ProjectWorkspace& ws) { return ws.GetSelectedProject(nullptr, {}, 0); }

Wrapper* SelectedObject(const ProjectWorkspace& ws) {
  Wrapper* object = nullptr;
  std::string text;
  ws.GetSelUsrObj(object, text, {}, 0);
  return object;
}

CNAUsr* SelectedAdapter(const ProjectWorkspace& ws) {
  CNAUsr* adapter = nullptr;
  std::string text;
  ws.GetSelNAUsr(adapter, text, {}, 0);
  return adapter;
}

bool SupportsOnline(const CNAUsr* adapter) { return adapter && adapter->IsSupportOnline() == 1; }

int ViewHandles(const CommandContext& context, int id) { return context.viewHandles ? context.viewHandles(id) : 0; }

// The tree has the keyboard focus and an item is selected.
bool TreeFocusedWithSelection(const ProjectWorkspace& ws, const CommandContext& context) {
  return context.treeHasFocus && ws.tree().GetSelectedItem() != kNoTreeItem;
}

bool StartsWithModel(const std::string& text) {
  static const char* const kModels[] = {"KA-4470", "KX-4470", "KA-4410", "KX-4410"};
  for (const char* model : kModels) {
    if (text.compare(0, 7, model) == 0) return true;
  }
  return false;
}

// The lowest number from `first` to `last` that is not in `used`; empty
// when every one is.
std::string LowestFree(const std::set<long>& used, long first, long last) {
  for (long n = first; n <= last; ++n) {
    if (!used.count(n)) return std::to_string(n);
  }
  return {};
}

}  // namespace

bool IsSelPrjUsable(const ProjectWorkspace& ws, const std::string& text) {
  if (ws.tree().Empty()) return false;
  if (!text.empty()) return true;
  const CProjectUsr* project = SelectedProject(ws);
  return project && !project->Adapters().empty();
}

bool IsCanRename(const ProjectWorkspace& ws) {
  if (ws.tree().Empty() || ws.namingMode != 0) return false;
  const Wrapper* object = SelectedObject(ws);
  return object && !object->IsType(kTypeProject);
}

bool IsSelTypeMatch(const ProjectWorkspace& ws, const std::string& kinds, int flag) {
  if (ws.tree().Empty()) return false;
  const Wrapper* object = SelectedObject(ws);
  if (!object) return false;
  bool listed = false;
  for (int i = 1, n = GetCharCount(kinds, ','); i <= n && !listed; ++i) {
    listed = CompareNoCase(GetToken(kinds, static_cast<int16_t>(i), ',', 1), object->TypeTag()) == 0;
  }
  if (!listed) return false;
  if (flag == 1 && object->IsType(kTypeProject)) {
    return !static_cast<const CProjectUsr*>(object)->Adapters().empty();
  }
  return true;
}

bool IsMonitoringExcludedModel(const NADef* definition) {
  return definition && (StartsWithModel(definition->modelName) || StartsWithModel(definition->ID));
}

bool CanStartMonitoring(const ProjectWorkspace& ws) {
  if (ws.tree().Empty()) return false;
  const CProjectUsr* project = SelectedProject(ws);
  if (!project || project->monitoring == 1 || project->Adapters().empty()) return false;
  bool enable = false;
  for (const CNAUsr* adapter : project->Adapters()) {
    if (SupportsOnline(adapter)) enable = true;
    if (adapter && IsMonitoringExcludedModel(adapter->GetNADef())) enable = false;
  }
  return enable;
}

bool IsRuleMet(CommandRule rule, const CommandContext& context) { return context.workspace && rule(context); }

namespace rules {
namespace {

const ProjectWorkspace& Ws(const CommandContext& context) { return *context.workspace; }
bool TreeEmpty(const CommandContext& context) { return Ws(context).tree().Empty(); }
bool Monitoring(const CommandContext& context) { return Ws(context).IsSelPrjMonitoring(); }
bool OnlineAdapter(const CommandContext& context) { return SupportsOnline(SelectedAdapter(Ws(context))); }

}  // namespace

bool Always(const CommandContext&) { return true; }

bool ProjectOpen(const CommandContext& context) { return !TreeEmpty(context); }

bool ProjectOpenNotMonitoring(const CommandContext& context) { return !Monitoring(context) && !TreeEmpty(context); }

bool ProjectWithAdapters(const CommandContext& context) { return IsSelPrjUsable(Ws(context), {}); }

bool AdapterSelected(const CommandContext& context) { return SelectedAdapter(Ws(context)) != nullptr; }

bool AdapterSelectedNotMonitoring(const CommandContext& context) {
  return !Monitoring(context) && AdapterSelected(context);
}

bool ModuleMovable(const CommandContext& context) {
  const ProjectWorkspace& ws = Ws(context);
  if (Monitoring(context) || !TreeFocusedWithSelection(ws, context)) return false;
  const Wrapper* object = ws.tree().GetItemData(ws.tree().GetSelectedItem());
  return object && !object->IsType(kTypeNA) && !object->IsType(kTypeProject);
}

bool Deletable(const CommandContext& context) {
  return !Monitoring(context) &&
         (TreeFocusedWithSelection(Ws(context), context) || ViewHandles(context, kIdEditDelete) != 0);
}

bool Renamable(const CommandContext& context) { return IsCanRename(Ws(context)); }

bool Scannable(const CommandContext& context) {
  if (TreeEmpty(context)) return false;
  const CProjectUsr* project = SelectedProject(Ws(context));
  return project && project->monitoring != 1 && project->commTypeCode != kCommNone &&
         project->commTypeCode != kCommNoDriver;
}

bool OnlineAdapterIdle(const CommandContext& context) { return OnlineAdapter(context) && !Monitoring(context); }

bool Downloadable(const CommandContext& context) {
  return OnlineAdapter(context) && ViewHandles(context, kIdOnlineDownload) != 0;
}

bool Uploadable(const CommandContext& context) {
  return OnlineAdapter(context) && ViewHandles(context, kIdOnlineUpload) != 0 && !Monitoring(context);
}

bool ParametersResettable(const CommandContext& context) {
  return OnlineAdapter(context) && ViewHandles(context, kIdOnlineResetPara) != 0 && !Monitoring(context);
}

bool MonitoringStartable(const CommandContext& context) { return CanStartMonitoring(Ws(context)); }

bool MonitoringStoppable(const CommandContext& context) {
  const CProjectUsr* project = SelectedProject(Ws(context));
  return IsSelPrjUsable(Ws(context), {}) && project && project->monitoring == 1;
}

bool FactoryDefaultsSettable(const CommandContext& context) {
  return AdapterOrModuleSelected(context) && ViewHandles(context, kIdEditFactoryDefault) != 0;
}

bool AdapterOrModuleSelected(const CommandContext& context) { return IsSelTypeMatch(Ws(context), "NA,IO", 0); }

bool XddExportable(const CommandContext& context) { return context.xddExportable && context.xddExportable(); }

}  // namespace rules

AdapterProposal ProposeAdapterComm(const CProjectUsr& project) {
  AdapterProposal proposal;
  const std::vector<CNAUsr*>& adapters = project.Adapters();
  if (project.commTypeCode == kCommRs232c) {
    std::set<long> used;
    for (const CNAUsr* adapter : adapters) used.insert(std::atol(TrimStr(adapter->comPort).c_str()));
    proposal.comPort = LowestFree(used, 1, static_cast<long>(adapters.size()) + 1);
  } else if (project.commTypeCode == kCommRs422 || project.commTypeCode == kCommRs485) {
    long first = 1;
    long last = 127;
    if (!adapters.empty()) {
      const CNAUsr* lastAdapter = adapters.back();
      proposal.comPort = lastAdapter->comPort;
      proposal.serialSettings = lastAdapter->serialSettings;
      const std::string range = lastAdapter->GetDefSerialCommSet();
      if (!IsStrEmpty(range, 1)) {
        first = std::atol(GetToken(range, 1, ',', 1).c_str());
        last = std::atol(GetToken(range, 2, ',', 1).c_str());
      }
    }
    std::set<long> used;
    for (const CNAUsr* adapter : adapters) used.insert(std::atol(TrimStr(adapter->nodeAddress).c_str()));
    proposal.nodeAddress = LowestFree(used, first, last);
  }
  return proposal;
}

std::string HelpTopic(const std::string& programFolder, const std::string& page) {
  return StrFormat("%s/%s::/%s", programFolder.c_str(), kHelpFileName, page.c_str());
}

std::string HelpPageFile(const std::string& programFolder, const std::string& topic) {
  std::string page = topic;
  if (const size_t at = topic.find("::/"); at != std::string::npos) page = topic.substr(at + 3);
  if (const size_t hash = page.find('#'); hash != std::string::npos) page.erase(hash);
  page = TrimStr(page);
  if (page.empty()) return {};
  const std::filesystem::path relative(page);
  if (relative.is_absolute()) return {};
  for (const auto& part : relative) {
    if (part == "..") return {};
  }
  std::filesystem::path file(page);
  if (!file.has_extension()) file += ".htm";
  const std::filesystem::path folder = std::filesystem::path(programFolder) / kHelpFolder;
  if (auto found = qmx::os::ResolvePathNoCase(folder, file)) return found->string();
  return (folder / file).string();
}

}  // namespace qmx::commands
