#include "app/frame/export/InquiryList.h"

#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"

#include <algorithm>

void InquiryCounter::Count(const Wrapper& object) {
  const std::string model = object.GetModelName();
  auto it = std::find_if(items_.begin(), items_.end(), [&](const InquiryItem& i) { return i.modelName == model; });
  if (it == items_.end()) {
    items_.push_back(InquiryItem{model, object.GetOrderNumber(), 0, object.GetHelpLink()});
    it = items_.end() - 1;
  }
  ++it->count;
}

InquiryList InquiryCounter::Sorted() const {
  InquiryList sorted = items_;
  // A stable sort: names equal without regard to case keep their order.
  std::stable_sort(sorted.begin(), sorted.end(), [](const InquiryItem& a, const InquiryItem& b) {
    return CompareNoCase(a.modelName, b.modelName) < 0;
  });
  return sorted;
}

int GetInquiryList(const ProjectWorkspace& workspace, const std::string& scope, InquiryList& out, int report,
                   TreeItem item) {
  static const char* kFunc = "GetInquiryList";
  out.clear();
  std::vector<CNAUsr*> adapters;
  if (CompareNoCase(scope, "PROJECT") == 0) {
    CProjectUsr* project = nullptr;
    if (item != kNoTreeItem) {
      Wrapper* object = nullptr;
      std::string text;
      if (workspace.GetItemObject(item, object, text) == 1 && object && object->IsType(kTypeProject))
        project = static_cast<CProjectUsr*>(object);
    } else {
      project = workspace.GetSelectedProject(nullptr, kFunc, report);
    }
    if (!project) return 0;
    adapters = project->Adapters();
  } else if (CompareNoCase(scope, "NA") == 0) {
    CNAUsr* adapter = nullptr;
    std::string text;
    workspace.GetSelNAUsr(adapter, text, kFunc, report, item);
    if (!adapter) return 0;
    adapters.push_back(adapter);
  } else {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Undefined scope type. May be bug. Type: %s. Func: %s", scope.c_str(), kFunc));
    return 0;
  }

  InquiryCounter counter;
  for (CNAUsr* adapter : adapters) {
    counter.Count(*adapter);
    std::vector<CIOUsr*> modules;
    const TreeItem adapterItem = workspace.tree().FindItem(adapter);
    if (adapterItem != kNoTreeItem) workspace.CollectIOUsrs(adapterItem, modules, 1);
    for (const CIOUsr* module : modules) counter.Count(*module);
  }
  out = counter.Sorted();
  return 1;
}
