// The commands that change the structure of a project: New project, Add
// Network Adapter, Add Module, Delete, Move Up / Down, Rename and Properties.
// Each works on the selection of the project window and ends with the
// project marked modified, numbers and labels rewritten and the views
// refreshed.
#include "app/frame/FerrowynView.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabTreeCtrl.h"
#include "app/frame/rules/CommandRules.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Services.h"
#include "app/ui/dialogs/AddIoDlg.h"
#include "app/ui/dialogs/AddNaDlg.h"
#include "app/ui/dialogs/ProjectNewDlg.h"
#include "app/ui/dialogs/PropertiesDlg.h"
#include "app/ui/dialogs/RenameDlg.h"
#include "app/ui/views/LabelCtrl.h"
#include "common/Utility.h"

#include <QApplication>

#include <cstdlib>
#include <memory>

namespace {

using qmx::dialogs::kIdOk;

// Copies an item with its text, image and object, and every item below it,
// under `parent` after `after`; the objects' tree items follow the copies.
TreeItem CopySubtree(ProjectTree& tree, TreeItem item, TreeItem parent, TreeItem after) {
  Wrapper* object = tree.GetItemData(item);
  const TreeItem copy = tree.InsertItem(tree.GetItemText(item), tree.GetItemImage(item), object, parent, after);
  if (copy == kNoTreeItem) return copy;
  if (auto* module = dynamic_cast<CIOUsr*>(object)) module->treeItem = copy;
  for (TreeItem child : std::vector<TreeItem>(tree.Children(item))) CopySubtree(tree, child, copy, ProjectTree::kLast);
  if (tree.IsExpanded(item)) tree.Expand(copy, true);
  return copy;
}

}  // namespace

void CMainFrame::OnFileNew() {
  static const char* kFunc = "OnFileNew";
  qmx::dialogs::CProjectNewDlg dialog(
      naCatalogue_.busTypes, textIds_,
      [this](const std::string& path, const std::string& name) { return workspace_.IsOpenedProject(path, name); },
      qmx::Paths().projectsDir, this);
  if (dialog.DoModal() != kIdOk) return;
  // A project file the user agreed to replace gives way when the new
  // project is saved over it; nothing is deleted here.
  const std::string name = TrimStr(dialog.GetName());
  const std::string folder = TrimStr(dialog.GetFolder());
  const std::string busType = GetBusTypeName(dialog.GetBusType());
  CProjectUsr* project = CreateProject(name, folder);
  if (!project) {
    qmx::ReportError(qmx::err::kOutOfMemory, "Out of memory.", kFunc);
    return;
  }
  project->SetCommType(busType);
  project->modified = 1;
  PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("New project is made. Path: %s", project->filePath.c_str()));
}

void CMainFrame::OnEditAddNa() {
  TreeItem projectItem = kNoTreeItem;
  CProjectUsr* project = workspace_.GetSelectedProject(&projectItem, {}, 0);
  if (!project) return;
  const qmx::commands::AdapterProposal proposal = qmx::commands::ProposeAdapterComm(*project);

  qmx::dialogs::CAddNaDlg dialog(naCatalogue_, textIds_, this);
  dialog.SetPrjCommInfo(project, project->commTypeCode, proposal.comPort, proposal.serialSettings,
                        proposal.nodeAddress);
  dialog.SetPropertyCheck([this](CProjectUsr* p, int typeCode, const std::string& ip, const std::string& comPort,
                                 const std::string& nodeAddress, const std::string& serialSettings) {
    return validator_.IsValidNaPropInPrj(p, nullptr, typeCode, 1, ip, comPort, nodeAddress, serialSettings);
  });
  if (dialog.DoModal() != kIdOk) return;
  std::string ip, comPort, serialSettings, nodeAddress, title;
  const NADef* definition = dialog.GetResult(ip, comPort, serialSettings, nodeAddress, title);
  if (!definition) return;

  auto adapter = std::make_unique<CNAUsr>();
  adapter->SetNADef(definition);
  TreeItem item = kNoTreeItem;
  if (!CreateNA(title, definition->ID, item, adapter.get())) return;
  CNAUsr* added = adapter.release();  // the project's adapter list owns it now
  added->SetCommSettings(ip, comPort, serialSettings, nodeAddress);
  ReCalNAPosNo(projectItem, 0);
  UpdateNATreeLabel(added);
  SetProjectModified(1, project);
  RefreshView(1, {});
}

void CMainFrame::OnEditAddModule() {
  static const char* kFunc = "OnEditAddModule";
  CNAUsr* adapter = nullptr;
  std::string label;
  const TreeItem adapterItem = GetSelNAUsr(adapter, label, kFunc, 1);
  if (!adapter) return;

  const NADef* definition = adapter->GetNADef();
  const int maxExpansion = definition ? std::atoi(TrimStr(definition->maxExpansion.value).c_str()) : 0;
  std::vector<CIOUsr*> present;
  CollectIOUsrs(adapterItem, present, 1);
  int communicating = 0;
  int other = 0;
  for (const CIOUsr* module : present) (module->CanCommunication() == 1 ? communicating : other)++;

  std::vector<CIOUsr*> result;
  qmx::dialogs::AddIoDlg dialog(ioCatalogue_, errors_, this);
  dialog.SetNAInfo(label, adapter);
  dialog.SetExpansionInfo(maxExpansion, communicating, other);
  dialog.SetCurIOList(present);
  dialog.SetNewIOList(&result);
  dialog.SetNamingMode(workspace_.namingMode);
  if (dialog.DoModal() != kIdOk) return;

  ProjectTree& tree = workspace_.tree();
  workspace_.treeSelProcessing = 0;
  DeleteModuleItems(adapterItem);
  // The modules go in below the adapter in the dialog's order: each new item
  // follows the one selected before it.
  tree.SelectItem(adapterItem);
  for (CIOUsr* module : result) {
    const IODef* def = module ? module->GetIODef() : nullptr;
    if (!def) {
      delete module;  // its item went with DeleteModuleItems and nothing else holds it
      continue;
    }
    const std::string text = workspace_.namingMode == 0 ? module->GetName() : def->description;
    module->SetByteOrderMode(adapter->GetByteOrderMode());
    module->treeItem = workspace_.InsertIO(text, module, def->iconIdx, adapterItem);
    module->removeMark = 0;
  }
  SetProjectModified(1, GetPrjUsrOfNA(adapterItem));
  ReNumberingIOsDispath(kTypeNA, kNoTreeItem);
  workspace_.treeSelProcessing = 1;
  RefreshView(1, {});
}

void CMainFrame::OnEditDelete() {
  static const char* kFunc = "OnEditDelete";
  ProjectTree& tree = workspace_.tree();
  TabTreeCtrl* treeCtrl = GetPrjTreeCtrl();
  if (!treeCtrl || !treeCtrl->HasFocusFlag() || tree.GetSelectedItem() == kNoTreeItem) {
    // The active view deletes what it has focused.
    CFerrowynView* view = GetTabView(kFunc, 0);
    if (!view || view->CanHandleCommand(qmx::commands::kIdEditDelete, 0)) return;
    // The image view enables Delete for a focused module picture but leaves
    // the deletion to the frame: the picture's module goes as if it were
    // selected in the tree.
    const auto* button = dynamic_cast<const CBtnVexo*>(QApplication::focusWidget());
    const TreeItem pictured = button ? tree.FindItem(button->GetModule()) : kNoTreeItem;
    if (pictured == kNoTreeItem || !treeCtrl) return;
    tree.SelectItem(pictured);
  }

  Wrapper* object = nullptr;
  std::string label;
  const TreeItem item = GetSelUsrObj(object, label, kFunc, 1);
  if (!object) return;
  if (IsSelPrjMonitoring()) {
    qmx::ShowBox("Cannot delete during monitoring!", 0);
    return;
  }
  TreeItem next = tree.GetNextSiblingItem(item);
  if (next == kNoTreeItem) next = tree.GetPrevSiblingItem(item);
  if (next == kNoTreeItem) next = tree.GetParentItem(item);
  TreeItem projectItem = kNoTreeItem;
  workspace_.GetSelectedProject(&projectItem, {}, 0);

  bool adapterDeleted = false;
  TreeItem adapterItem = kNoTreeItem;
  if (object->IsType(kTypeNA)) {
    adapterDeleted = true;
  } else if (object->IsType(kTypeIO) || object->IsType(kTypeFolder)) {
    CNAUsr* adapter = nullptr;
    std::string text;
    adapterItem = GetSelNAUsr(adapter, text, {}, 0);
  } else if (!object->IsType(kTypeProject)) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Undefined wapper object. Type:%s. Func: %s", object->TypeTag().c_str(), kFunc));
    qmx::ShowBox(StrFormat("[Bug] Undefined wapper object. Type:%s.", object->TypeTag().c_str()), qmx::kBoxIconStop);
    return;
  }
  if (object->IsType(kTypeIO) && !CheckFieldPowerValid("REMOVE")) return;

  const bool rebuild = !object->IsType(kTypeProject);
  if (rebuild) workspace_.treeSelProcessing = 0;
  const int result = RemoveUsrObj(item, object, label, 1);
  treeCtrl->setFocus();
  if (result == 2) {
    // Declined: the tree, the selection and the views stay as they were.
    workspace_.treeSelProcessing = 1;
    return;
  }
  if (tree.Contains(next)) tree.SelectItem(next);
  if (adapterItem != kNoTreeItem && tree.Contains(adapterItem)) {
    int counter = 0;
    RenumberSubtree(adapterItem, counter);
  } else if (adapterDeleted && tree.Contains(projectItem)) {
    ReCalNAPosNo(projectItem, 1);
  }
  workspace_.treeSelProcessing = 1;
  RefreshView(1, {});
  if (result == 1) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Deleted successfully. %s.", label.c_str()));
  } else {
    qmx::ReportError(qmx::err::kDeleteFailed,
                     StrFormat("Cannot delete %s. Error code: %d.", label.c_str(), result), kFunc);
    qmx::ShowBox(StrFormat("Cannot delete %s. Error code: %d.", label.c_str(), result), qmx::kBoxIconStop);
  }
}

void CMainFrame::MoveSelectedItem(bool up) {
  const char* kFunc = up ? "OnEditUp" : "OnEditDown";
  if (IsSelPrjMonitoring()) {
    qmx::ShowBox("Cannot move during monitoring!", 0);
    return;
  }
  CNAUsr* adapter = nullptr;
  std::string text;
  const TreeItem adapterItem = GetSelNAUsr(adapter, text, {}, 0);
  if (!adapter) return;
  Wrapper* object = nullptr;
  const TreeItem item = GetSelUsrObj(object, text, kFunc, 1);
  if (!object) return;

  ProjectTree& tree = workspace_.tree();
  const TreeItem neighbour = up ? tree.GetPrevSiblingItem(item) : tree.GetNextSiblingItem(item);
  if (neighbour == kNoTreeItem) return;
  const Wrapper* other = tree.GetItemData(neighbour);
  if (!other) return;
  // Modules (and folders) move, past a sibling of their kind below the same
  // adapter; adapters and projects stay where they are.
  const bool movable = object->IsType(kTypeIO) || object->IsType(kTypeFolder);
  if (!movable || !(other->IsType(kTypeIO) || other->IsType(kTypeFolder))) return;
  if (!CheckFieldPowerValid(up ? "UP" : "DOWN")) return;

  workspace_.treeSelProcessing = 0;
  const TreeItem parent = tree.GetParentItem(item);
  TreeItem after = neighbour;
  if (up) {
    after = tree.GetPrevSiblingItem(neighbour);
    if (after == kNoTreeItem) after = ProjectTree::kFirst;
  }
  const TreeItem moved = CopySubtree(tree, item, parent, after);
  tree.DeleteItem(item);
  tree.SelectItem(moved);
  tree.Expand(parent, true);

  int counter = 0;
  RenumberSubtree(adapterItem, counter);
  workspace_.treeSelProcessing = 1;
  RefreshView(1, {});
  SetProjectModified(1, nullptr);
}

void CMainFrame::EditRename() {
  static const char* kFunc = "EditRename";
  if (!qmx::commands::IsCanRename(workspace_)) return;
  Wrapper* object = nullptr;
  std::string text;
  const TreeItem item = GetSelUsrObj(object, text, kFunc, 1);
  if (!object) return;

  qmx::dialogs::CRenameDlg dialog(this);
  dialog.SetOldName(object->GetName());
  if (dialog.DoModal() != kIdOk) return;
  const std::string newName = dialog.GetNewName();
  if (newName == object->GetName()) return;

  object->SetName(newName);
  SetProjectModified(1, nullptr);
  if (object->IsType(kTypeNA)) {
    UpdateNATreeLabel(object);
  } else if (object->IsType(kTypeIO)) {
    // The module's own label keeps its position prefix, however many digits
    // the position has.
    workspace_.tree().SetItemText(item, object->GetLabel(workspace_.namingMode));
  } else if (object->IsType(kTypeFolder)) {
    workspace_.tree().SetItemText(item, newName);
  }
  ChangeViewModuleNameIcon(-1);
}

int CMainFrame::RunPropertiesDialog(Wrapper* object, const std::string& title) {
  if (!object) return 0;
  qmx::dialogs::PropertiesState::Frame services;
  services.projectOf = [this](CNAUsr& adapter) { return workspace_.ProjectOf(adapter); };
  services.checkAdapter = [this](CNAUsr& adapter, int typeCode) {
    return validator_.IsValidNaPropInPrj(workspace_.ProjectOf(adapter), &adapter, typeCode, 0, adapter.ipAddress,
                                         adapter.comPort, adapter.nodeAddress, adapter.serialSettings);
  };
  services.applySerialToAll = [this](CNAUsr& adapter) { return ChangeCommParasOfAllNA(&adapter); };
  qmx::dialogs::CPropertiesDlg dialog(textIds_, errors_, std::move(services), this);
  dialog.SetTarget(object, title);
  return dialog.DoModal() == kIdOk ? 1 : 0;
}

void CMainFrame::EditProperties() {
  static const char* kFunc = "EditProperties";
  Wrapper* object = nullptr;
  std::string label;
  GetSelUsrObj(object, label, kFunc, 1);
  if (!object) return;

  // What the dialog may change, to tell afterwards what it did change.
  auto* adapter = dynamic_cast<CNAUsr*>(object);
  auto* project = dynamic_cast<CProjectUsr*>(object);
  const std::string comm = adapter ? adapter->ipAddress + '\n' + adapter->comPort + '\n' + adapter->serialSettings +
                                         '\n' + adapter->nodeAddress
                                   : std::string();
  const int adapterInterval = adapter ? adapter->UpdateTime() : 0;
  const int interval = project ? project->commInterval : 0;
  const int updateTime = project ? project->viewUpdateTime : 0;

  if (RunPropertiesDialog(object, label) != 1) return;
  UpdateNATreeLabel(object);
  if (adapter) {
    const bool commChanged = comm != adapter->ipAddress + '\n' + adapter->comPort + '\n' + adapter->serialSettings +
                                         '\n' + adapter->nodeAddress;
    if (commChanged) RefreshView(1, {});
    if (commChanged || adapterInterval != adapter->UpdateTime()) SetProjectModified(1, nullptr);
  } else if (project) {
    if (interval != project->commInterval) {
      project->modified = 1;
      for (CNAUsr* each : project->Adapters()) each->SetCommInterval(project->commInterval & 0xFFFF);
      if (project->monitoring == 1) {
        qmx::ShowBox("Changed commnunication interval will apply when monitoring is restarted.", 0);
      }
    }
    if (updateTime != project->viewUpdateTime) {
      project->modified = 1;
      // A monitoring project's views refresh at the new pace from now on.
      if (project->monitoring == 1) {
        KillFrameTimer(project->timerId);
        SetFrameTimer(project->timerId, project->viewUpdateTime);
      }
    }
  }
}
