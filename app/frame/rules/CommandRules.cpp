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

bool IsCommandEnabled(int id, const CommandContext& context) {
  if (!context.workspace) return false;
  const ProjectWorkspace& ws = *context.workspace;
  const bool empty = ws.tree().Empty();
  const bool monitoring = ws.IsSelPrjMonitoring();
  switch (id) {
    case kIdFileNew:
    case kIdFileOpen:
      return true;
    case kIdFileClose:
    case kIdFileSaveAs:
    case kIdEditAddNa:
      return !monitoring && !empty;
    case kIdFileSave:
    case kIdEditProperties:
      return !empty;
    case kIdFileDocuPrj:
    case kIdFileInquiryPrj:
    case kIdChkValidPrj:
      return IsSelPrjUsable(ws, {});
    case kIdFileDocuNa:
    case kIdFileInquiryNa:
    case kIdChkValidNa:
      return SelectedAdapter(ws) != nullptr;
    case kIdEditAddModule:
      return !monitoring && SelectedAdapter(ws) != nullptr;
    case kIdEditUp:
    case kIdEditDown: {
      if (monitoring || !TreeFocusedWithSelection(ws, context)) return false;
      const Wrapper* object = ws.tree().GetItemData(ws.tree().GetSelectedItem());
      return object && !object->IsType(kTypeNA) && !object->IsType(kTypeProject);
    }
    case kIdEditDelete:
      return !monitoring && (TreeFocusedWithSelection(ws, context) || ViewHandles(context, kIdEditDelete) != 0);
    case kIdEditRename:
      return IsCanRename(ws);
    case kIdOnlineScan: {
      if (empty) return false;
      const CProjectUsr* project = SelectedProject(ws);
      return project && project->monitoring != 1 && project->commTypeCode != kCommNone &&
             project->commTypeCode != kCommNoDriver;
    }
    case kIdOnlineCompare:
    case kIdOnlineSpecialCmds:
      return SupportsOnline(SelectedAdapter(ws)) && !monitoring;
    case kIdOnlineDownload:
      return SupportsOnline(SelectedAdapter(ws)) && ViewHandles(context, kIdOnlineDownload) != 0;
    case kIdOnlineUpload:
    case kIdOnlineResetPara:
      return SupportsOnline(SelectedAdapter(ws)) && ViewHandles(context, id) != 0 && !monitoring;
    case kIdOnlineCopyToPrj:
      return SupportsOnline(SelectedAdapter(ws)) && ViewHandles(context, kIdOnlineDownload) != 0;
    case kIdStartMonitoring:
      return CanStartMonitoring(ws);
    case kIdStopMonitoring: {
      const CProjectUsr* project = SelectedProject(ws);
      return IsSelPrjUsable(ws, {}) && project && project->monitoring == 1;
    }
    case kIdEditFactoryDefault:
      return IsSelTypeMatch(ws, "NA,IO", 0) && ViewHandles(context, kIdEditFactoryDefault) != 0;
    case kIdViewAddrMap:
      return IsSelTypeMatch(ws, "NA,IO", 0);
    case kIdEditGenerateXdd:
      return context.xddExportable && context.xddExportable();
    default:
      return true;
  }
}

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
