#include "app/model/ProjectWorkspace.h"

#include "app/errors/ErrorCodes.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "common/Utility.h"

#include <algorithm>

namespace {

// Project timers use the window timer identifiers 50 to 549.
constexpr int kFirstProjectTimer = 50;
constexpr int kProjectTimerSpan = 500;

constexpr const char* kInvalidProjectHandle = "[Bug] Invalid NA's project tree handle.";
constexpr const char* kNoProjectOfHandle = "[Bug] Cannot get project tree handle.";

void LogError(const char* source, const std::string& text) { PostLog(qmx::kLogError, source, text); }

CNAUsr* AsAdapter(Wrapper* object) {
  return object && object->IsType(kTypeNA) ? dynamic_cast<CNAUsr*>(object) : nullptr;
}
CIOUsr* AsModule(Wrapper* object) {
  return object && object->IsType(kTypeIO) ? dynamic_cast<CIOUsr*>(object) : nullptr;
}
CProjectUsr* AsProject(Wrapper* object) {
  return object && object->IsType(kTypeProject) ? dynamic_cast<CProjectUsr*>(object) : nullptr;
}

}  // namespace

ProjectWorkspace::ProjectWorkspace() = default;

ProjectWorkspace::~ProjectWorkspace() {
  // Listeners (the window) may already be gone; the objects go without them.
  for (const std::unique_ptr<CProjectUsr>& project : projects_) DeleteTreeObjects(project->treeItem);
  projects_.clear();
}

void ProjectWorkspace::SetCatalogues(const NACatalogue* adapters, const IOCatalogue* modules) {
  adapters_ = adapters;
  modules_ = modules;
}

// ---------------------------------------------------------------------------
// The explorer's own operations

TreeItem ProjectWorkspace::InsertProject(const std::string& name, CProjectUsr* project) {
  const TreeItem item = tree_.InsertItem(name, kProjectTreeImage, project, kNoTreeItem, ProjectTree::kLast);
  tree_.SetBold(item, true);
  tree_.Expand(item, true);
  tree_.SelectItem(item);
  return item;
}

TreeItem ProjectWorkspace::InsertIO(const std::string& label, Wrapper* object, int image, TreeItem parent) {
  const TreeItem selected = tree_.GetSelectedItem();
  const TreeItem item = InsertUnselected(label, object, image, parent, true);
  ShowInserted(selected, item);
  return item;
}

TreeItem ProjectWorkspace::InsertUnselected(const std::string& label, Wrapper* object, int image, TreeItem parent,
                                            bool afterSelected) {
  const TreeItem selected = tree_.GetSelectedItem();
  if (parent == kNoTreeItem) parent = selected;
  const TreeItem after =
      afterSelected && tree_.GetParentItem(selected) == parent ? selected : ProjectTree::kLast;
  return tree_.InsertItem(label, image, object, parent, after);
}

void ProjectWorkspace::ShowInserted(TreeItem selectedBefore, TreeItem item) {
  if (item == kNoTreeItem) return;
  tree_.Expand(selectedBefore, true);
  tree_.Expand(tree_.GetParentItem(item), true);
  tree_.SelectItem(item);
}

CProjectUsr* ProjectWorkspace::GetSelectedProject(TreeItem* item, const std::string& label, int show) const {
  // The raw selection: with nothing selected there is no selected project,
  // although the object services fall back to the first project.
  for (TreeItem at = tree_.GetSelectedItem(); at != kNoTreeItem; at = tree_.GetParentItem(at)) {
    if (CProjectUsr* project = AsProject(tree_.GetItemData(at))) {
      if (item) *item = at;
      return project;
    }
  }
  if (item) *item = kNoTreeItem;
  if (!label.empty()) {
    qmx::ReportError(qmx::err::kNoSelectedProject, "Cannot find a selected project.", label, qmx::FuncEnd::kNoStop);
  }
  if (show == 1) {
    qmx::ShowBox(StrFormat("Cannot find a selected project. Error Code: %d.", qmx::err::kNoSelectedProject),
                 qmx::kBoxIconStop);
  }
  return nullptr;
}

TreeItem ProjectWorkspace::GetSelectedItem() const {
  const TreeItem selected = tree_.GetSelectedItem();
  return selected != kNoTreeItem ? selected : tree_.GetRootItem();
}

TreeItem ProjectWorkspace::GetParentOrRoot(TreeItem item) const {
  if (item == kNoTreeItem) item = GetSelectedItem();
  const TreeItem parent = tree_.GetParentItem(item);
  return parent != kNoTreeItem ? parent : tree_.GetRootItem();
}

TreeItem ProjectWorkspace::GetSelectedObject(Wrapper*& object, std::string& text) const {
  const TreeItem item = GetSelectedItem();
  GetItemObject(item, object, text);
  return item;
}

int ProjectWorkspace::GetItemObject(TreeItem item, Wrapper*& object, std::string& text) const {
  object = nullptr;
  text.clear();
  if (item == kNoTreeItem || !tree_.Contains(item)) return 0;
  object = tree_.GetItemData(item);
  text = tree_.GetItemText(item);
  return 1;
}

// ---------------------------------------------------------------------------
// Selection services

TreeItem ProjectWorkspace::GetSelUsrObj(Wrapper*& object, std::string& text, const std::string& label,
                                        int show) const {
  const TreeItem item = GetSelectedObject(object, text);
  if (item != kNoTreeItem && object) return item;
  object = nullptr;
  text.clear();
  if (!projects_.empty()) {
    if (!label.empty()) {
      qmx::ReportError(qmx::err::kNoSelectedItem, "Cannot find a selected item in project window. May be bug.",
                       label, qmx::FuncEnd::kNoStop);
    }
    if (show == 1) {
      qmx::ShowBox(StrFormat("Select a item in project window. Error Code: %d.", qmx::err::kNoSelectedItem), 0);
    }
  }
  return kNoTreeItem;
}

TreeItem ProjectWorkspace::GetSelNAUsr(CNAUsr*& adapter, std::string& text, const std::string& label, int show,
                                       TreeItem item) const {
  adapter = nullptr;
  text.clear();
  if (item == kNoTreeItem) item = GetSelectedItem();
  for (TreeItem at = item; at != kNoTreeItem; at = tree_.GetParentItem(at)) {
    Wrapper* object = tree_.GetItemData(at);
    if (!object || object->IsType(kTypeProject)) break;
    if (CNAUsr* found = AsAdapter(object)) {
      adapter = found;
      text = tree_.GetItemText(at);
      return at;
    }
  }
  if (!label.empty()) {
    qmx::ReportError(qmx::err::kNoAdapterForSelection, "Cannot find a selected Network Adapter.", label,
                     qmx::FuncEnd::kNoStop);
  }
  if (show == 1) {
    qmx::ShowBox(StrFormat("Cannot find a selected Network Adapter. Error Code: %d", qmx::err::kNoAdapterForSelection),
                 0);
  }
  return kNoTreeItem;
}

CNAUsr* ProjectWorkspace::GetSelNAAndIOPos(int& position, const std::string& label, int show) const {
  position = -1;
  Wrapper* object = nullptr;
  std::string text;
  if (GetSelUsrObj(object, text, label, show) == kNoTreeItem) return nullptr;
  if (CNAUsr* adapter = AsAdapter(object)) return adapter;
  if (object->IsType(kTypeIO)) {
    position = object->GetPosNo();
    CNAUsr* adapter = nullptr;
    GetSelNAUsr(adapter, text, label, 1);
    return adapter;
  }
  if (!label.empty()) {
    qmx::ReportError(qmx::err::kUndefinedObjectKind,
                     StrFormat("Undefined Wrapper type. Type: %s.", object->TypeTag().c_str()), label,
                     qmx::FuncEnd::kNoStop);
  }
  if (show == 1) qmx::ShowBox(StrFormat("Undefined Wrapper type. Error Code: %d.", qmx::err::kUndefinedObjectKind), 0);
  return nullptr;
}

CIOUsr* ProjectWorkspace::GetIOUsrObjByPos(TreeItem adapterItem, int slotNo) const {
  if (slotNo < 1) {
    LogError(qmx::kLogSource,
             StrFormat("[Bug] Cannot find IO Usr Obj by index. iSlotNo:%d. Func: %s.", slotNo, "GetIOUsrObjByPos"));
    return nullptr;
  }
  std::vector<CIOUsr*> modules;
  CollectIOUsrs(adapterItem, modules, 1);
  return static_cast<size_t>(slotNo) <= modules.size() ? modules[static_cast<size_t>(slotNo - 1)] : nullptr;
}

int ProjectWorkspace::CollectIOUsrs(TreeItem item, std::vector<CIOUsr*>& list, int all) const {
  for (TreeItem at : tree_.Subtree(item)) {
    CIOUsr* module = AsModule(tree_.GetItemData(at));
    if (module && (all == 1 || module->CanCommunication())) list.push_back(module);
  }
  return 0;
}

CProjectUsr* ProjectWorkspace::GetPrjUsrOfNA(TreeItem adapterItem) const {
  const TreeItem parent = GetParentOrRoot(adapterItem);
  if (parent == kNoTreeItem) {
    qmx::ShowBox(kInvalidProjectHandle, 0);
    return nullptr;
  }
  return AsProject(tree_.GetItemData(parent));
}

bool ProjectWorkspace::IsOpenedProject(const std::string& path, const std::string& name) const {
  for (const std::unique_ptr<CProjectUsr>& project : projects_) {
    if (CompareNoCase(project->filePath, path) == 0 || CompareNoCase(project->GetName(), name) == 0) return true;
  }
  return false;
}

bool ProjectWorkspace::IsSelPrjMonitoring() const {
  const CProjectUsr* project = GetSelectedProject(nullptr, {}, 0);
  return project && project->monitoring == 1;
}

void ProjectWorkspace::SetProjectModified(int flag, CProjectUsr* project) {
  if (!project) project = GetSelectedProject(nullptr, {}, 0);
  if (project) project->modified = flag;
}

// ---------------------------------------------------------------------------
// Numbering and labels

void ProjectWorkspace::UpdateNATreeLabel(Wrapper* object) {
  CNAUsr* adapter = AsAdapter(object);
  if (!adapter || !tree_.Contains(adapter->treeItem)) return;
  tree_.SetItemText(adapter->treeItem, adapter->GetLabel(namingMode));
}

int ProjectWorkspace::RenumberSubtree(TreeItem item, int& counter) {
  for (TreeItem at : tree_.Subtree(item)) {
    Wrapper* object = tree_.GetItemData(at);
    if (CIOUsr* module = AsModule(object)) {
      module->posNo = ++counter;
      tree_.SetItemText(at, module->GetLabel(namingMode));
    } else if (CNAUsr* adapter = AsAdapter(object)) {
      UpdateNATreeLabel(adapter);
      adapter->moduleListChanged = 1;
    }
  }
  return 0;
}

CProjectUsr* ProjectWorkspace::ProjectAbove(TreeItem item) const {
  for (TreeItem at = item; at != kNoTreeItem; at = tree_.GetParentItem(at)) {
    if (CProjectUsr* project = AsProject(tree_.GetItemData(at))) return project;
  }
  return nullptr;
}

void ProjectWorkspace::ReNumberingIOsDispath(const std::string& kind, TreeItem item) {
  if (CompareNoCase(kind, kTypeProject) == 0) {
    CProjectUsr* project = item != kNoTreeItem ? ProjectAbove(item) : GetSelectedProject(nullptr, {}, 0);
    if (!project) return;
    int position = 0;
    // The renumbering may relabel adapters whose label names their position,
    // so every adapter has its number before the first subtree is walked.
    const std::vector<CNAUsr*> adapters = project->Adapters();
    for (CNAUsr* adapter : adapters) adapter->posNo = ++position;
    for (CNAUsr* adapter : adapters) {
      int counter = 0;
      RenumberSubtree(adapter->treeItem, counter);
      if (item == kNoTreeItem) adapter->moduleListChanged = 1;
    }
    return;
  }
  if (CompareNoCase(kind, kTypeNA) == 0) {
    CNAUsr* adapter = nullptr;
    std::string text;
    const TreeItem adapterItem = GetSelNAUsr(adapter, text, {}, 0, item);
    if (!adapter) return;
    int counter = 0;
    RenumberSubtree(adapterItem, counter);
    if (item == kNoTreeItem) adapter->moduleListChanged = 1;
  }
}

void ProjectWorkspace::ReCalNAPosNo(TreeItem projectItem, int relabel) {
  CProjectUsr* project = projectItem != kNoTreeItem ? ProjectAbove(projectItem) : GetSelectedProject(nullptr, {}, 0);
  if (!project) {
    LogError(qmx::kLogSource, StrFormat("[Bug] Cannot find ProjectUsr. Func: %s.", "ReCalNAPosNo"));
    return;
  }
  int position = 0;
  for (CNAUsr* adapter : project->Adapters()) {
    adapter->posNo = ++position;
    if (relabel == 1 && tree_.Contains(adapter->treeItem)) {
      tree_.SetItemText(adapter->treeItem, adapter->GetLabel(namingMode));
    }
  }
}

// ---------------------------------------------------------------------------
// Structure operations

CProjectUsr* ProjectWorkspace::CreateProject(const std::string& name, const std::string& folder) {
  auto project = std::make_unique<CProjectUsr>();
  project->SetName(name);
  project->filePath = StrFormat("%s/%s.%s", folder.c_str(), name.c_str(), kProjectFileExtension);
  project->timerId = kFirstProjectTimer + projectCounter;
  if (++projectCounter >= kProjectTimerSpan) projectCounter = kFirstProjectTimer;
  CProjectUsr* raw = project.get();
  projects_.push_back(std::move(project));
  raw->treeItem = InsertProject(name, raw);
  return raw;
}

CNAUsr* ProjectWorkspace::CreateNA(const std::string& title, const std::string& definitionId, TreeItem& item,
                                   CNAUsr* given) {
  static const char* kFunc = "MainFrame:CreateNA";
  item = kNoTreeItem;
  CProjectUsr* project = GetSelectedProject(nullptr, {}, 0);
  if (!project) return nullptr;

  std::unique_ptr<CNAUsr> created;
  CNAUsr* adapter = given;
  if (!adapter) {
    created = std::make_unique<CNAUsr>();
    adapter = created.get();
  }
  const NADef* definition = adapter->GetNADef();
  if (!definition && adapters_) {
    for (const std::unique_ptr<NADef>& def : adapters_->definitions) {
      if (CompareNoCase(def->ID, definitionId) == 0) {
        definition = def.get();
        break;
      }
    }
  }
  if (!definition) {
    qmx::ReportError(qmx::err::kAdapterDefinitionMissing,
                     StrFormat("Cannot find NA definition object. NA ID: %s.", definitionId.c_str()), kFunc);
    if (!given) {
      qmx::ShowBox(StrFormat("Cannot find NA definition object. NA ID: %s. Error Code: %d.", definitionId.c_str(),
                             qmx::err::kAdapterDefinitionMissing),
                   qmx::kBoxIconStop);
    }
    return nullptr;  // an adapter made here goes with `created`
  }
  if (adapter->GetNADef() != definition) adapter->SetNADef(definition);
  adapter->SetName(title);

  const std::string label = namingMode == 0 ? title : definition->modelName;
  // The adapter knows its item and its project before the item is selected:
  // the views that the selection refreshes ask for both.
  const TreeItem selected = tree_.GetSelectedItem();
  item = InsertUnselected(label, adapter, definition->iconIdx, project->treeItem, false);
  adapter->treeItem = item;
  project->AddAdapter(adapter);
  created.release();  // the project's adapter list owns it from here
  ShowInserted(selected, item);
  return adapter;
}

CIOUsr* ProjectWorkspace::CreateIO(const std::string& title, const std::string& definitionId, TreeItem& item,
                                   const IODef* definition, TreeItem parent) {
  static const char* kFunc = "CreateIO";
  item = kNoTreeItem;
  auto module = std::make_unique<CIOUsr>();
  if (!definition && modules_) definition = modules_->FindByID(definitionId);
  if (!definition) {
    qmx::ReportError(qmx::err::kModuleDefinitionMissing,
                     StrFormat("Cannot find IO definition object. IO ID: %s.", definitionId.c_str()), kFunc);
    return nullptr;
  }

  // The module stores its values in its adapter's byte order.
  if (parent == kNoTreeItem) {
    LogError(qmx::kLogSourceNoBlank, StrFormat("[Bug] htRoot is NULL. Func: %s.", kFunc));
  } else if (Wrapper* owner = tree_.GetItemData(parent); !owner) {
    LogError(qmx::kLogSourceNoBlank, StrFormat("[Bug] Cannot find NA User object. Func: %s.", kFunc));
  } else {
    CNAUsr* adapter = AsAdapter(owner);
    std::string text;
    if (!adapter) GetSelNAUsr(adapter, text, {}, 0, parent);
    if (adapter) module->SetByteOrderMode(adapter->GetByteOrderMode());
  }
  module->SetIODef(definition);
  module->SetName(title);

  std::string label = title;
  if (namingMode == 1) label = definition->modelName;
  else if (namingMode == 2) label = definition->description;
  CIOUsr* raw = module.release();  // its tree item owns it from here
  const TreeItem selected = tree_.GetSelectedItem();
  item = InsertUnselected(label, raw, definition->iconIdx, parent, true);
  raw->treeItem = item;
  ShowInserted(selected, item);
  return raw;
}

int ProjectWorkspace::DeleteTreeObjects(TreeItem item) {
  // Children before their parents: an adapter leaves its project's list in
  // its destructor, a module is held only by its item.
  std::vector<TreeItem> items = tree_.Subtree(item);
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    Wrapper* object = tree_.GetItemData(*it);
    if (!object || object->IsType(kTypeProject)) continue;
    delete object;
  }
  return 0;
}

int ProjectWorkspace::CloseProject(CProjectUsr* project) {
  const auto it = std::find_if(projects_.begin(), projects_.end(),
                               [project](const std::unique_ptr<CProjectUsr>& p) { return p.get() == project; });
  if (it == projects_.end()) return 1;
  const TreeItem item = project->treeItem;
  DeleteTreeObjects(item);
  std::unique_ptr<CProjectUsr> owned = std::move(*it);
  projects_.erase(it);
  tree_.DeleteItem(item);
  return 1;
}

int ProjectWorkspace::RemoveUsrObj(TreeItem item, Wrapper* object, const std::string& displayName, int ask) {
  static const char* kFunc = "RemoveUsrObj";
  if (ask == 1 && qmx::ShowBox(StrFormat("Do you really want to delete %s?", displayName.c_str()),
                               qmx::kBoxYesNo | qmx::kBoxIconQuestion) != qmx::kBoxIdYes) {
    return 2;
  }
  CProjectUsr* selected = GetSelectedProject(nullptr, kFunc, 0);
  if (!selected) return qmx::err::kNoSelectedProject;

  if (CProjectUsr* project = AsProject(object)) {
    const int rc = closeProject ? closeProject(project) : CloseProject(project);
    if (rc == 1 && projects_.empty() && clearAllViews) clearAllViews();
    return 1;
  }
  if (CNAUsr* adapter = AsAdapter(object)) {
    CProjectUsr* owner = ProjectAbove(item);
    if (!owner) owner = ProjectListing(*adapter);
    if (owner) owner->RemoveChild(adapter, 0);
  }
  DeleteTreeObjects(item);
  tree_.DeleteItem(item);
  selected->modified = 1;
  return 1;
}

int ProjectWorkspace::RemoveAllNAs(CProjectUsr* project) {
  if (!project) return 1;
  const std::vector<CNAUsr*> adapters = project->Adapters();
  for (CNAUsr* adapter : adapters) RemoveUsrObj(adapter->treeItem, adapter, {}, 0);
  return 1;
}

void ProjectWorkspace::DeleteModuleItems(TreeItem adapterItem) {
  const std::vector<TreeItem> children = tree_.Children(adapterItem);
  for (TreeItem child : children) {
    CIOUsr* module = AsModule(tree_.GetItemData(child));
    if (!module) continue;
    if (module->removeMark) delete module;
    tree_.DeleteItem(child);
  }
}

bool ProjectWorkspace::ChangeCommParasOfAllNA(CNAUsr* adapter) {
  if (!adapter) {
    qmx::ShowBox("[Bug] dwNAPointer is NULL.", 0);
    return false;
  }
  if (tree_.GetParentItem(adapter->treeItem) == kNoTreeItem) {
    qmx::ShowBox(kInvalidProjectHandle, 0);
    return false;
  }
  CProjectUsr* project = AsProject(tree_.GetItemData(tree_.GetParentItem(adapter->treeItem)));
  if (!project) {
    qmx::ShowBox(kNoProjectOfHandle, 0);
    return false;
  }
  if (const NADef* def = adapter->GetNADef()) {
    if (const CommDriverEntry* entry = def->FindCommDriver(project->commType)) {
      project->SetChannelProperty(StrFormat("%s\t%s,%s,%s", entry->commType.c_str(), adapter->comPort.c_str(),
                                            adapter->serialSettings.c_str(), entry->commParas.c_str()));
    }
  }
  for (CNAUsr* other : project->Adapters()) {
    if (other->comPort != adapter->comPort || other->serialSettings != adapter->serialSettings) {
      other->comPort = adapter->comPort;
      other->serialSettings = adapter->serialSettings;
      other->channelChanged = 1;
    }
  }
  ReNumberingIOsDispath(kTypeProject, project->treeItem);
  return true;
}

// ---------------------------------------------------------------------------
// For the adapter objects

std::vector<CIOUsr*> ProjectWorkspace::ModulesOf(const CNAUsr& adapter) const {
  std::vector<CIOUsr*> modules;
  if (tree_.Contains(adapter.treeItem)) CollectIOUsrs(adapter.treeItem, modules, 1);
  return modules;
}

CNAUsr* ProjectWorkspace::AdapterOf(const Wrapper& object) const {
  if (object.IsType(kTypeNA)) return const_cast<CNAUsr*>(dynamic_cast<const CNAUsr*>(&object));
  // A module knows its item; anything else is looked for.
  const auto* module = object.IsType(kTypeIO) ? dynamic_cast<const CIOUsr*>(&object) : nullptr;
  TreeItem item = module ? module->treeItem : kNoTreeItem;
  if (tree_.GetItemData(item) != &object) item = tree_.FindItem(&object);
  if (item == kNoTreeItem) return nullptr;
  CNAUsr* adapter = nullptr;
  std::string text;
  GetSelNAUsr(adapter, text, {}, 0, item);
  return adapter;
}

CProjectUsr* ProjectWorkspace::ProjectOf(const CNAUsr& adapter) const {
  if (tree_.Contains(adapter.treeItem)) {
    if (CProjectUsr* project = AsProject(tree_.GetItemData(tree_.GetParentItem(adapter.treeItem)))) return project;
  }
  return ProjectListing(adapter);
}

CProjectUsr* ProjectWorkspace::ProjectListing(const CNAUsr& adapter) const {
  for (const std::unique_ptr<CProjectUsr>& project : projects_) {
    const std::vector<CNAUsr*>& listed = project->Adapters();
    if (std::find(listed.begin(), listed.end(), &adapter) != listed.end()) return project.get();
  }
  return nullptr;
}
