#include "app/frame/OnlineOperations.h"

#include "app/model/IODef.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kTabProcessImage = 2;
constexpr int kTabParameters = 3;
constexpr const char* kProcessImgView = "ProcessImgView";
constexpr const char* kParametersView = "ParametersView";
constexpr const char* kDifferent =
    "Offline and online configuration is different. Please correct problems according to next dialog.";
constexpr const char* kInvalid = "Offline configuration is invalid. Please correct problems according to next dialog.";

// Adapters that cannot take part in the process-image exchange of tab 2.
constexpr const char* kNoProcessImageModels[] = {"KA-4470", "KX-4470", "KA-4410", "KX-4410"};

void LogGeneral(const std::string& text) { PostLog(qmx::kLogGeneral, qmx::kLogSource, text); }
void LogError(const char* source, const std::string& text) { PostLog(qmx::kLogError, source, text); }

bool AnyOf(const std::vector<CIOUsr*>& modules, bool (*test)(const CIOUsr*)) {
  return std::any_of(modules.begin(), modules.end(), test);
}
bool HasPara(const CIOUsr* m) { return m->ParaLength() > 0; }
bool HasOutput(const CIOUsr* m) { return m->OutputLength() > 0; }
bool HasInput(const CIOUsr* m) { return m->GetSize() > 0; }

// True (after the message) when the adapter's model cannot take part in the
// process-image exchange. Decided by the adapter's definition: the tree text
// is the user's.
bool RefusesProcessImage(CNAUsr& adapter) {
  const std::string model = adapter.GetModelName().substr(0, 7);
  for (const char* refused : kNoProcessImageModels) {
    if (model == refused) {
      qmx::ShowBox("This " + model + " can not Comunicate at the selected NA in the left pane! ", 0);
      return true;
    }
  }
  return false;
}

// True (after the message) when the target has no parameters to `action`
// (an adapter neither parameters nor monitoring-init values).
bool RefuseNoParameters(const Wrapper& target, const char* action) {
  const bool none =
      target.IsType(kTypeNA) ? (target.ParaLength() < 1 && target.MonInitLength() < 1) : target.ParaLength() < 1;
  if (none) qmx::ShowBox(StrFormat("Cannot %s because target parameter size is zero.", action), 0);
  return none;
}

// A command reached from a tab that moves nothing: the fault is logged and
// shown.
void ReportUnhandledView(const char* action, int tab, const char* func) {
  const std::string line =
      StrFormat("[Bug] Selected view cannot handle %s. Selected View: %d. Func: %s.", action, tab, func);
  LogError(qmx::kLogSource, line);
  qmx::ShowBox(line, 0);
}

// Copies `length` bytes of an online image from `offset` into a project
// image, within both.
void CopyOnline(const CNAUsr& adapter, int kind, int offset, std::vector<uint8_t>& image, int length) {
  const uint8_t* online = adapter.OnlineImage(kind);
  if (!online || offset < 0) return;
  length = std::min({length, static_cast<int>(image.size()), adapter.OnlineLength(kind) - offset});
  if (length > 0) std::memcpy(image.data(), online + offset, static_cast<size_t>(length));
}

}  // namespace

int AdapterStatusImage(int state, int busError, int fieldPower) {
  if (state == kStatusFault) return kImageAdapterFault;
  // A state the device reports that is neither: the first picture of the list.
  if (state != kStatusGood) return kProjectTreeImage;
  if (busError == kStatusFault && fieldPower == kStatusGood) return kImageAdapterBusError;
  if (busError == kStatusGood && fieldPower == kStatusFault) return kImageAdapterFieldPowerFault;
  if (busError == kStatusFault && fieldPower == kStatusFault) return kImageAdapterBusErrorAndFieldPower;
  return kImageAdapterRunning;
}

std::string OnlineOperations::Label(const Wrapper& object) const { return object.GetLabel(workspace_.namingMode); }

TreeItem OnlineOperations::ItemOf(const Wrapper* object) const { return workspace_.tree().FindItem(object); }

std::vector<CIOUsr*> OnlineOperations::ModulesOf(CNAUsr* adapter) const {
  std::vector<CIOUsr*> modules;
  const TreeItem item = ItemOf(adapter);
  if (item != kNoTreeItem) workspace_.CollectIOUsrs(item, modules, 0);
  return modules;
}

void OnlineOperations::SetImage(const Wrapper* object, int image) {
  const TreeItem item = ItemOf(object);
  if (item != kNoTreeItem) workspace_.tree().SetItemImage(item, image);
}

void OnlineOperations::ShowDifferences(CompareResultList& list, CNAUsr* adapter) {
  qmx::ShowBox(kDifferent, qmx::kBoxIconStop);
  if (ui.compareDialog) ui.compareDialog(adapter->TypeTag(), Label(*adapter), adapter, ItemOf(adapter), list);
  list.clear();
}

int OnlineOperations::WithProgress(const std::string& text, const std::function<int()>& operation) {
  return ui.runWithProgress ? ui.runWithProgress(text, kTransferProgressMs, operation) : operation();
}

int OnlineOperations::ShowOnlineValues(const std::string& viewName) {
  if (viewName.empty()) return 1;
  if (!ui.activeTab || ui.activeTab() < 0) return 0;
  if (ui.updateOnlineVals) ui.updateOnlineVals(viewName, 0);
  return 1;
}

int OnlineOperations::CheckNAValidBeforeOnline(CNAUsr* adapter) {
  ValidationList rows;
  const TreeItem item = ItemOf(adapter);
  const int result = validator_.ValidateNA(adapter, item, rows);
  if (result == 1) return 1;
  qmx::ShowBox(kInvalid, qmx::kBoxIconStop);
  if (ui.validationResult) ui.validationResult("NA", Label(*adapter), item, " Some errors exist.", rows);
  return result;
}

bool OnlineOperations::SelectTarget(const char* func, Wrapper*& target, std::string& text, CNAUsr*& adapter) {
  target = nullptr;
  adapter = nullptr;
  const TreeItem item = workspace_.GetSelUsrObj(target, text, func, 1);
  if (item == kNoTreeItem || !target) return false;
  if (target->IsType(kTypeNA)) {
    adapter = static_cast<CNAUsr*>(target);
    return true;
  }
  std::string adapterText;
  workspace_.GetSelNAUsr(adapter, adapterText, func, 1, item);
  return adapter != nullptr;
}

bool OnlineOperations::SelectTargetOnTab(const char* func, Wrapper*& target, std::string& text, CNAUsr*& adapter,
                                         int& tab) {
  if (!SelectTarget(func, target, text, adapter)) return false;
  tab = ui.activeTab ? ui.activeTab() : -1;
  return tab >= 0;
}

bool OnlineOperations::AskWithModules(CNAUsr* adapter, const char* title, const char* action,
                                      const std::string& text, int& include, std::string& targetText) {
  const int r = ui.downloadTarget ? ui.downloadTarget(title, action, Label(*adapter), adapter->TypeTag())
                                  : kTargetAdapterOnly;
  if (r == kTargetCancel) return false;
  if (r == kTargetWithModules) {
    include = 1;
    targetText = StrFormat("%s and IO modules", text.c_str());
  }
  return true;
}

void OnlineOperations::ReportTransfer(int result, const char* what, const std::string& source,
                                      const std::string& targetText, CompareResultList& list, CNAUsr* adapter,
                                      const char* logSource) {
  if (result == 1) {
    LogGeneral(StrFormat("%s is completed. Source: %s. Target. %s", what, source.c_str(), targetText.c_str()));
  } else if (result == 4) {
    ShowDifferences(list, adapter);
  } else {
    const std::string line = StrFormat("%s is failed. See below log in detail. Source: %s. Target. %s.", what,
                                       source.c_str(), targetText.c_str());
    LogError(logSource, line);
    qmx::ShowBox(line, qmx::kBoxIconStop);
  }
}

// ---------------------------------------------------------------------------
// Workers

int OnlineOperations::OnlineDownload(TransferKind kind, CNAUsr* adapter, Wrapper* target, int factory, int includeModules,
                                     CompareResultList& list) {
  static const char* kFunc = "OnlineDownload";
  if (!adapter || !target) return 0;
  const bool isNA = target->IsType(kTypeNA);
  if (adapter->monitoring != 1) {
    adapter->SetModuleList();
    const int compared = engine_.CompareOffline(list, "NA", adapter, ItemOf(adapter), 1, 0);
    if (compared == kCompareDifferent) return 4;
    if (compared != kCompareEqual) return compared;
  }
  const std::vector<CIOUsr*> modules = includeModules == 1 ? ModulesOf(adapter) : std::vector<CIOUsr*>{};
  if (kind == kTransferParameters) {
    if (isNA && target->MonInitLength() >= 1 && adapter->monitoring != 1) {
      if (!adapter->WriteOutputData(target, kOnlineMonInit, factory, kFunc, 0)) return 0;
    }
    if (target->ParaLength() > 0 && !adapter->WriteOutputData(target, kOnlinePara, factory, kFunc, 0)) return 0;
    for (CIOUsr* module : modules) {
      if (module->ParaLength() >= 1 && !adapter->WriteOutputData(module, kOnlinePara, factory, kFunc, 0)) return 0;
    }
  } else if (kind == kTransferOutputs) {
    if (target->OutputLength() >= 1 && !adapter->WriteOutputData(target, kOnlineOutput, 0, kFunc, 0)) return 0;
    for (CIOUsr* module : modules) {
      if (module->OutputLength() >= 1 && !adapter->WriteOutputData(module, kOnlineOutput, 0, kFunc, 0)) return 0;
    }
  }
  return 1;
}

int OnlineOperations::OnlineUpload(TransferKind kind, CNAUsr* adapter, Wrapper* target, int compareFirst,
                                   CompareResultList& list, const std::string& viewName) {
  static const char* kFunc = "OnlineUpload";
  if (!adapter || !target) return 0;
  const bool monitoring = adapter->monitoring == 1;
  if (!monitoring) {
    adapter->SetModuleList();
    if (compareFirst == 1) {
      const int compared = engine_.CompareOffline(list, "NA", adapter, ItemOf(adapter), 1, 0);
      if (compared == kCompareDifferent) return 4;
      if (compared != kCompareEqual) return compared;
    }
  }
  const int mode = monitoring ? 1 : 2;
  const int isNA = target->IsType(kTypeNA) ? 1 : 0;
  auto read = [&](int all, int image) {
    return static_cast<bool>(adapter->ReadOnlineData(target, all, image, mode, kFunc, 0, 1));
  };
  if (kind == kTransferParameters) {
    if (isNA && target->MonInitLength() > 0 && !read(0, kOnlineMonInit)) return 0;
    if (target->ParaLength() > 0 && !read(0, kOnlinePara)) return 0;
  }
  if ((kind & kTransferOutputs) && !read(isNA, kOnlineOutput)) return 0;
  if (kind & kTransferInputs) {
    if (!read(isNA, kOnlineInput)) return 0;
    if (target->IsConvByParaUsed() && target->ParaLength() > 0 && !read(0, kOnlinePara)) return 0;
  }
  return ShowOnlineValues(viewName);
}

int OnlineOperations::OnlineCopyToPrj(TransferKind kind, CNAUsr* adapter, Wrapper* target, int monitoring,
                                      int includeModules, CompareResultList& list, const std::string& viewName) {
  const int result = ReadForCopyToPrj(kind, adapter, target, monitoring, includeModules, list);
  return result == 1 ? CopyOnlineToPrj(kind, adapter, target, includeModules, viewName) : result;
}

int OnlineOperations::ReadForCopyToPrj(TransferKind kind, CNAUsr* adapter, Wrapper* target, int monitoring,
                                       int includeModules, CompareResultList& list) {
  static const char* kFunc = "OnlineCopyToPrj";
  if (!adapter || !target) return 0;
  const std::vector<CIOUsr*> modules = includeModules == 1 ? ModulesOf(adapter) : std::vector<CIOUsr*>{};
  const int mode = monitoring == 1 ? 1 : 2;
  if (monitoring != 1) {
    adapter->SetModuleList();
    const int compared = engine_.CompareOffline(list, "NA", adapter, ItemOf(adapter), 1, 0);
    if (compared == kCompareDifferent) return 4;
    if (compared != kCompareEqual) return compared;
  }
  const bool isNA = target->IsType(kTypeNA);
  auto read = [&](int all, int image, int readMode) {
    return static_cast<bool>(adapter->ReadOnlineData(target, all, image, readMode, kFunc, 0, 1));
  };
  if (kind == kTransferParameters) {
    if (isNA && target->MonInitLength() > 0 && !read(0, kOnlineMonInit, mode)) return 0;
    if ((target->ParaLength() > 0 || includeModules == 1) && !read(includeModules, kOnlinePara, mode)) return 0;
  } else if (kind & kTransferOutputs) {
    if (!read(includeModules, kOnlineOutput, mode)) return 0;
    if (isNA && monitoring != 1) {
      const bool modulesIn = includeModules == 1 && AnyOf(modules, HasInput);
      if (target->GetSize() > 0 || modulesIn) read(modulesIn ? 1 : 0, kOnlineInput, 2);
      if (target->IsConvByParaUsed() && target->ParaLength() > 0) read(0, kOnlinePara, 2);
    }
  }
  return 1;
}

int OnlineOperations::CopyOnlineToPrj(TransferKind kind, CNAUsr* adapter, Wrapper* target, int includeModules,
                                      const std::string& viewName) {
  static const char* kFunc = "OnlineCopyToPrj";
  if (!adapter || !target) return 0;
  const bool isNA = target->IsType(kTypeNA);
  const std::vector<CIOUsr*> modules = includeModules == 1 ? ModulesOf(adapter) : std::vector<CIOUsr*>{};
  if (kind == kTransferParameters) {
    if (target->ParaLength() <= 0 && target->MonInitLength() <= 0) {
      LogError(qmx::kLogSourceNoBlank,
               StrFormat("[Bug] Copy Length <= 0. Must be check before call this function. Func: %s", kFunc));
      return 0;
    }
    if (isNA && target->MonInitLength() > 0) {
      CopyOnline(*adapter, kOnlineMonInit, target->onlineOffsets[kOnlineMonInit], target->monInitImage(),
                 target->MonInitLength());
    }
    if (target->ParaLength() > 0) {
      CopyOnline(*adapter, kOnlinePara, target->onlineOffsets[kOnlinePara], target->paraImage(), target->ParaLength());
    }
  } else {
    if (target->OutputLength() <= 0 && includeModules != 1) {
      LogError(qmx::kLogSourceNoBlank,
               StrFormat("[Bug] Copy Length <= 0. Must be check before call this function. Func: %s", kFunc));
      return 0;
    }
    if (target->OutputLength() > 0) {
      CopyOnline(*adapter, kOnlineOutput, target->onlineOffsets[kOnlineOutput], target->outputImage(),
                 target->OutputLength());
    }
  }
  for (CIOUsr* module : modules) {
    const IODef* def = module->GetIODef();
    if (!def) continue;
    if (kind == kTransferParameters && module->onlineOffsets[kOnlinePara] >= 0) {
      CopyOnline(*adapter, kOnlinePara, module->onlineOffsets[kOnlinePara], module->paraImage(), def->paraLength);
    } else if (kind != kTransferParameters && module->onlineOffsets[kOnlineOutput] >= 0) {
      CopyOnline(*adapter, kOnlineOutput, module->onlineOffsets[kOnlineOutput], module->outputImage(),
                 def->outputLength);
    }
  }
  if (!viewName.empty()) {
    if (!ui.activeTab || ui.activeTab() < 0) return 0;
    if (ui.refreshView) ui.refreshView(1, viewName);
    if (ui.updateOnlineVals) ui.updateOnlineVals(viewName, 0);
  }
  workspace_.SetProjectModified(1, workspace_.ProjectOf(*adapter));
  return 1;
}

// ---------------------------------------------------------------------------
// Commands

namespace {

// What the active tab moves: source text, view name and kind; false (after
// the message) when the tab moves nothing.
struct TabChoice {
  std::string source;
  std::string viewName;
  TransferKind kind = kTransferParameters;
};

}  // namespace

void OnlineOperations::OnOnlineDn() {
  static const char* kFunc = "OnOnlineDn";
  Wrapper* target = nullptr;
  CNAUsr* adapter = nullptr;
  std::string text;
  int tab = -1;
  if (!SelectTargetOnTab(kFunc, target, text, adapter, tab)) return;
  const bool isNA = target->IsType(kTypeNA);
  TabChoice choice;
  if (tab == kTabProcessImage) {
    if (RefusesProcessImage(*adapter)) return;
    choice = {"Output", kProcessImgView, kTransferOutputs};
    if (!isNA && target->OutputLength() <= 0) {
      qmx::ShowBox("Cannot download because target IO size is zero.", 0);
      return;
    }
  } else if (tab == kTabParameters) {
    choice = {"Parameter", kParametersView, kTransferParameters};
    if (RefuseNoParameters(*target, "download")) return;
  } else {
    ReportUnhandledView("download", tab, kFunc);
    return;
  }
  const TransferKind kind = choice.kind;
  std::string targetText = text;
  int include = 0;
  const std::vector<CIOUsr*> modules = isNA ? ModulesOf(adapter) : std::vector<CIOUsr*>{};
  const bool modPara = AnyOf(modules, HasPara);
  const bool modOut = AnyOf(modules, HasOutput);
  const bool modIn = AnyOf(modules, HasInput);
  // The target dialog; false when the command stops.
  auto chooseTarget = [&]() {
    if (!isNA) return true;
    if (kind == kTransferOutputs && !modOut && adapter->OutputLength() <= 0) {
      qmx::ShowBox("Cannot download because target output size is zero.", 0);
      return false;
    }
    if (!(kind == kTransferParameters ? modPara : modOut)) return true;
    if (kind == kTransferOutputs && adapter->OutputLength() <= 0) {
      include = 1;
      return true;
    }
    return AskWithModules(adapter, "Download to", kind == kTransferParameters ? "download parameters" : "download output", text,
                          include, targetText);
  };
  CompareResultList list;
  if (adapter->monitoring == 1) {
    if (isNA && kind == kTransferParameters && adapter->ParaLength() <= 0 && !modPara) {
      LogGeneral(StrFormat("Ignore download. Parameter size is zero. Target: %s.", targetText.c_str()));
      return;
    }
    if (!chooseTarget()) return;
    if (isNA && kind == kTransferParameters && adapter->ParaLength() <= 0 && include == 0) {
      LogGeneral(StrFormat("Ignore download during monitoring. Parameter size is zero. Target: %s.", targetText.c_str()));
      return;
    }
    if (isNA && kind == kTransferOutputs && adapter->OutputLength() <= 0 && include == 0) {
      LogGeneral(StrFormat("Ignore download. Output size is zero. Target: %s.", targetText.c_str()));
      return;
    }
    if (OnlineDownload(kind, adapter, target, 0, include, list) == 1) {
      LogGeneral(StrFormat("Download is completed. Source: %s. Target. %s.", choice.source.c_str(), targetText.c_str()));
    } else {
      LogError(qmx::kLogSourceNoBlank, StrFormat("Download is failed. See below log in detail. Source: %s. Target. %s.",
                                                 choice.source.c_str(), targetText.c_str()));
    }
    return;
  }
  if (CheckNAValidBeforeOnline(adapter) != 1) return;
  if (!chooseTarget()) return;
  if (isNA && kind == kTransferOutputs && adapter->OutputLength() <= 0 && include == 0) {
    LogGeneral(StrFormat("Ignore download. Output size is zero. Target: %s.", targetText.c_str()));
    return;
  }
  int readBack = 0;
  const int result =
      WithProgress(StrFormat("Downloading %s. Target: %s.", choice.source.c_str(), targetText.c_str()), [&] {
        const int downloaded = OnlineDownload(kind, adapter, target, 0, include, list);
        if (downloaded == 1) {
          const TransferKind readKind =
              isNA && kind == kTransferOutputs && (modIn || adapter->GetSize() > 0) ? kTransferInputsOutputs : kind;
          readBack = OnlineUpload(readKind, adapter, target, 0, list, {});
        }
        return downloaded;
      });
  if (result == 1 && (readBack != 1 || ShowOnlineValues(choice.viewName) != 1)) {
    LogError(qmx::kLogSourceNoBlank,
             StrFormat("Download is completed. But upload is fail. See below log in detail. Source: %s. Target. %s",
                       choice.source.c_str(), targetText.c_str()));
  }
  ReportTransfer(result, "Download", choice.source, targetText, list, adapter, qmx::kLogSource);
}

void OnlineOperations::OnOnlineUp() {
  static const char* kFunc = "OnOnlineUp";
  Wrapper* target = nullptr;
  CNAUsr* adapter = nullptr;
  std::string text;
  int tab = -1;
  if (!SelectTargetOnTab(kFunc, target, text, adapter, tab)) return;
  const bool isNA = target->IsType(kTypeNA);
  std::string source, viewName;
  int kind = kTransferParameters;
  if (tab == kTabProcessImage) {
    if (RefusesProcessImage(*adapter)) return;
    viewName = kProcessImgView;
    const std::vector<CIOUsr*> modules = isNA ? ModulesOf(adapter) : std::vector<CIOUsr*>{};
    const bool out = target->OutputLength() > 0 || AnyOf(modules, HasOutput);
    const bool in = target->GetSize() > 0 || AnyOf(modules, HasInput);
    if (out) {
      kind |= kTransferOutputs;
      source = "Output";
    }
    if (in) {
      kind |= kTransferInputs;
      source = out ? "Input/Output" : "Input";
    }
    if (kind == kTransferParameters) {
      qmx::ShowBox("Cannot upload because target IO size is zero.", 0);
      return;
    }
  } else if (tab == kTabParameters) {
    source = "Parameter";
    viewName = kParametersView;
    if (RefuseNoParameters(*target, "upload")) return;
  } else {
    ReportUnhandledView("upload", tab, kFunc);
    return;
  }
  if (CheckNAValidBeforeOnline(adapter) != 1) return;
  CompareResultList list;
  int result = WithProgress(StrFormat("Uploading %s of selected %s.", source.c_str(), text.c_str()),
                            [&] { return OnlineUpload(static_cast<TransferKind>(kind), adapter, target, 1, list, {}); });
  if (result == 1) result = ShowOnlineValues(viewName);
  ReportTransfer(result, "Upload", source, text, list, adapter, qmx::kLogSourceNoBlank);
}

void OnlineOperations::OnOnlineResetPara() {
  static const char* kFunc = "OnOnlineResetPara";
  Wrapper* target = nullptr;
  CNAUsr* adapter = nullptr;
  std::string text;
  if (!SelectTarget(kFunc, target, text, adapter)) return;
  const bool isNA = target->IsType(kTypeNA);
  if (RefuseNoParameters(*target, "reset")) return;
  if (CheckNAValidBeforeOnline(adapter) != 1) return;
  int include = 0;
  std::string targetText = text;
  if (isNA && AnyOf(ModulesOf(adapter), HasPara)) {
    if (!AskWithModules(adapter, "Reset", "reset parameters", text, include, targetText)) return;
  } else if (qmx::ShowBox(StrFormat("Do you reset selected %s parameters to factory default?", targetText.c_str()),
                          qmx::kBoxYesNo) != qmx::kBoxIdYes) {
    return;
  }
  CompareResultList list;
  const int result =
      WithProgress(StrFormat("Reset parameters to factory default. Target: %s.", targetText.c_str()), [&] {
        const int reset = OnlineDownload(kTransferParameters, adapter, target, 1, include, list);
        if (reset == 1) OnlineUpload(kTransferParameters, adapter, target, 0, list, {});
        return reset;
      });
  if (result == 1) ShowOnlineValues(kParametersView);
  ReportTransfer(result, "Reset", "Parameters", targetText, list, adapter, qmx::kLogSource);
}

void OnlineOperations::OnOnlineCopyToOffline() {
  static const char* kFunc = "OnOnlineCopyToOffline";
  Wrapper* target = nullptr;
  CNAUsr* adapter = nullptr;
  std::string text;
  int tab = -1;
  if (!SelectTargetOnTab(kFunc, target, text, adapter, tab)) return;
  const bool isNA = target->IsType(kTypeNA);
  std::string source, viewName;
  TransferKind kind = kTransferParameters;
  if (tab == kTabProcessImage) {
    source = "Output";
    viewName = kProcessImgView;
    kind = kTransferOutputs;
    if (!isNA && target->OutputLength() <= 0) {
      qmx::ShowBox("Cannot copy (Online => Project) because target IO output size is zero.", 0);
      return;
    }
  } else if (tab == kTabParameters) {
    source = "Parameter";
    viewName = kParametersView;
    if (RefuseNoParameters(*target, "copy (Online => Project)")) return;
  } else {
    ReportUnhandledView("copy", tab, kFunc);
    return;
  }
  int include = 0;
  std::string targetText = text;
  const std::vector<CIOUsr*> modules = isNA ? ModulesOf(adapter) : std::vector<CIOUsr*>{};
  auto chooseTarget = [&]() {
    if (!isNA) return true;
    const bool modHas = kind == kTransferParameters ? AnyOf(modules, HasPara) : AnyOf(modules, HasOutput);
    if (kind == kTransferOutputs && !modHas && adapter->OutputLength() <= 0) {
      qmx::ShowBox("Cannot copy (Online => Project) because target output size is zero.", 0);
      return false;
    }
    if (!modHas) return true;
    if (kind == kTransferOutputs && adapter->OutputLength() <= 0) {
      include = 1;
      return true;
    }
    return AskWithModules(adapter, "Copy to",
                          kind == kTransferParameters ? "Copy (Online => Project) parameters"
                                                      : "Copy (Online => Project) output",
                          text,
                          include, targetText);
  };
  auto ignored = [&]() {
    if (isNA && kind == kTransferOutputs && adapter->OutputLength() <= 0 && include == 0) {
      LogGeneral(StrFormat("Ignore copy (Online => Project). Output size is zero. Target: %s.", targetText.c_str()));
      return true;
    }
    return false;
  };
  CompareResultList list;
  if (adapter->monitoring == 1) {
    if (!chooseTarget() || ignored()) return;
    if (OnlineCopyToPrj(kind, adapter, target, 1, include, list, viewName) == 1) {
      LogGeneral(StrFormat("Copy (Online => Project) is completed. Source: %s. Target. %s", source.c_str(),
                           targetText.c_str()));
    } else {
      LogError(qmx::kLogSourceNoBlank,
               StrFormat("Copy (Online => Project) is failed. See below log in detail. Source: %s. Target. %s.",
                         source.c_str(), targetText.c_str()));
    }
    return;
  }
  if (CheckNAValidBeforeOnline(adapter) != 1) return;
  if (!chooseTarget() || ignored()) return;
  int result =
      WithProgress(StrFormat("Copy (Online => Project) %s of selected %s.", source.c_str(), targetText.c_str()),
                   [&] { return ReadForCopyToPrj(kind, adapter, target, 0, include, list); });
  if (result == 1) result = CopyOnlineToPrj(kind, adapter, target, include, viewName);
  ReportTransfer(result, "Copy (Online => Project)", source, targetText, list, adapter, qmx::kLogSource);
}

void OnlineOperations::OnOnlineCompare() {
  CNAUsr* adapter = nullptr;
  std::string text;
  const TreeItem item = workspace_.GetSelNAUsr(adapter, text, "OnOnlineCompare", 1);
  if (!adapter) return;
  if (adapter->IsSupportOnline() != 1) {
    qmx::ShowBox("The network adapter does not support online communication.", qmx::kBoxIconStop);
    return;
  }
  ValidationList rows;
  if (validator_.ValidateNA(adapter, item, rows) != 1) {
    qmx::ShowBox(kInvalid, qmx::kBoxIconStop);
    if (ui.validationResult) ui.validationResult("NA", Label(*adapter), item, " Some errors exist.", rows);
    return;
  }
  CompareResultList none;
  if (ui.compareDialog) ui.compareDialog(adapter->TypeTag(), Label(*adapter), adapter, item, none);
}

// ---------------------------------------------------------------------------
// Factory defaults and the address map

int OnlineOperations::SetParaFactoryVal(TreeItem item, Wrapper* object, int choice) {
  if (!object) return 1;
  auto resetAdapter = [&](CNAUsr* adapter) {
    adapter->ResetImagesToDefault();
    for (CIOUsr* module : workspace_.ModulesOf(*adapter)) module->ResetImagesToDefault();
  };
  CProjectUsr* project = nullptr;
  if (choice == 0) {
    object->ResetImagesToDefault();
  } else if (object->IsType(kTypeNA)) {
    resetAdapter(static_cast<CNAUsr*>(object));
  } else if (object->IsType(kTypeProject)) {
    project = static_cast<CProjectUsr*>(object);
    for (CNAUsr* adapter : project->Adapters()) resetAdapter(adapter);
  } else {
    return 1;  // a module with its modules: nothing more than itself
  }
  // The project's values changed: it must be saved again.
  if (!project) {
    CNAUsr* adapter = AdapterOfObject(*object);
    if (object->IsType(kTypeNA)) adapter = static_cast<CNAUsr*>(object);
    project = adapter ? workspace_.ProjectOf(*adapter) : nullptr;
  }
  (void)item;
  workspace_.SetProjectModified(1, project);
  return 1;
}

void OnlineOperations::OnEditSetFactoryVal() {
  static const char* kFunc = "OnEditSetFactoryVal";
  Wrapper* object = nullptr;
  std::string text;
  const TreeItem item = workspace_.GetSelUsrObj(object, text, kFunc, 1);
  if (item == kNoTreeItem || !object) return;
  int mayInclude = 0;
  if (object->IsType(kTypeProject)) {
    mayInclude = static_cast<CProjectUsr*>(object)->Adapters().empty() ? 0 : 1;
  } else if (object->IsType(kTypeNA)) {
    std::vector<CIOUsr*> modules;
    workspace_.CollectIOUsrs(item, modules, 1);
    mayInclude = modules.empty() ? 0 : 1;
  } else if (object->IsType(kTypeIO)) {
    if (object->ParaLength() < 1) {
      qmx::ShowBox("Selected module has no parameters.", 0);
      return;
    }
  } else {
    LogError(qmx::kLogSourceNoBlank, StrFormat("[Bug] Canot be called. Invalid object type. Obj:%s. Func: %s.",
                                               object->TypeTag().c_str(), kFunc));
    return;
  }
  int choice = 0;
  if (!ui.resetFactory || ui.resetFactory(object->TypeTag(), Label(*object), mayInclude, choice) != 1) return;
  SetParaFactoryVal(item, object, choice);
  if (ui.refreshView) ui.refreshView(1, kParametersView);
  qmx::ShowBox("Completed! Restore parameter values to factory default.", 0);
}

void OnlineOperations::OnViewAddrMap() {
  int position = -1;
  CNAUsr* adapter = workspace_.GetSelNAAndIOPos(position, "OnViewAddrMap", 1);
  if (!adapter) return;
  adapter->ShowAddresMap(position, 1);
}
