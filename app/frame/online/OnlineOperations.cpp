#include "app/frame/online/OnlineOperations.h"

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
// The failure line of a transfer: what, source, target.
constexpr const char* kTransferFailed = "%s is failed. See below log in detail. Source: %s. Target. %s.";

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
  if (result == kTransferDone) {
    LogGeneral(StrFormat("%s is completed. Source: %s. Target. %s", what, source.c_str(), targetText.c_str()));
  } else if (result == kTransferDiffers) {
    ShowDifferences(list, adapter);
  } else {
    const std::string line = StrFormat(kTransferFailed, what, source.c_str(), targetText.c_str());
    LogError(logSource, line);
    qmx::ShowBox(line, qmx::kBoxIconStop);
  }
}

// ---------------------------------------------------------------------------
// Workers

int OnlineOperations::CompareFirst(CNAUsr* adapter, CompareResultList& list) {
  const int compared = engine_.CompareOffline(list, "NA", adapter, ItemOf(adapter), 1, 0);
  if (compared == kCompareDifferent) return kTransferDiffers;
  return compared == kCompareEqual ? kTransferDone : compared;
}

int OnlineOperations::OnlineDownload(TransferKind kind, CNAUsr* adapter, Wrapper* target, int factory, int includeModules,
                                     CompareResultList& list) {
  static const char* kFunc = "OnlineDownload";
  if (!adapter || !target) return 0;
  const bool isNA = target->IsType(kTypeNA);
  if (adapter->monitoring != 1) {
    adapter->SetModuleList();
    if (const int compared = CompareFirst(adapter, list); compared != kTransferDone) return compared;
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
      if (const int compared = CompareFirst(adapter, list); compared != kTransferDone) return compared;
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
    if (const int compared = CompareFirst(adapter, list); compared != kTransferDone) return compared;
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
// Commands: download, upload, reset and copy on one road (RunTransfer)

// What a transfer moves, decided by its tab and its target dialog.
struct OnlineOperations::TransferPlan {
  TransferKind kind = kTransferParameters;
  std::string source;                // "Parameter", "Output", "Input/Output", ...
  std::string viewName;              // the view that shows the values afterwards
  std::string selection;             // the selected object's text
  std::string targetText;            // the selection, "... and IO modules" with them
  int include = 0;                   // 1: the adapter's modules too
  std::vector<CIOUsr*> modules;      // the adapter's communicating modules when it is the target
};

// What one command puts on the road; the steps it leaves empty it skips.
struct OnlineOperations::TransferCommand {
  using Step = std::function<bool(Wrapper& target, CNAUsr& adapter, TransferPlan& plan)>;
  using Device = std::function<int(Wrapper& target, CNAUsr& adapter, const TransferPlan& plan, CompareResultList&)>;

  const char* func;
  const char* what;             // the closing lines: "<what> is completed. ..."
  const char* verb;             // the refusals: "Cannot <verb> because target ... size is zero."
  const char* tabVerb;          // a tab that moves nothing; null: no tab, the parameters
  const char* logSource;        // of the closing failure line
  const char* parameterSource;  // the source text of the parameters
  // The process-image tab: refuses the adapters that cannot exchange it,
  // moves the outputs (or, with inputsToo, whatever the target holds), and
  // refuses with `emptyImageBox` a target that has nothing to move.
  bool refusesModels = false;
  bool inputsToo = false;
  const char* emptyImageBox = nullptr;
  // After the configuration check: the target dialog; false stops.
  Step chooseTargets = {};
  // While the adapter monitors, a command with `queued` skips the check and
  // the progress window (the driver queues what it sends) and logs its end
  // with `queuedDone` (what, source, target); `idleWhileMonitoring` stops it
  // (after its line) when it would move nothing.
  Device queued = {};
  const char* queuedDone = nullptr;
  Step idleWhileMonitoring = {};
  // The device part under the progress window (no window touched), then,
  // when it succeeded, what follows on this thread: the command's result.
  std::function<std::string(const TransferPlan&)> progressText = {};
  Device device = {};
  std::function<int(Wrapper& target, CNAUsr& adapter, const TransferPlan& plan)> finish = {};
};

bool OnlineOperations::PlanFromTab(const TransferCommand& command, int tab, const Wrapper& target, CNAUsr& adapter,
                                   TransferPlan& plan) {
  const bool isNA = target.IsType(kTypeNA);
  if (tab == kTabProcessImage && command.tabVerb) {
    if (command.refusesModels && RefusesProcessImage(adapter)) return false;
    plan.viewName = kProcessImgView;
    int kind = kTransferOutputs;
    plan.source = "Output";
    if (command.inputsToo) {
      // Whatever the target and its modules hold.
      const bool out = target.OutputLength() > 0 || AnyOf(plan.modules, HasOutput);
      const bool in = target.GetSize() > 0 || AnyOf(plan.modules, HasInput);
      kind = (out ? kTransferOutputs : 0) | (in ? kTransferInputs : 0);
      plan.source = out && in ? "Input/Output" : in ? "Input" : "Output";
      if (kind == kTransferParameters) {
        qmx::ShowBox(command.emptyImageBox, 0);
        return false;
      }
    } else if (!isNA && target.OutputLength() <= 0) {
      qmx::ShowBox(command.emptyImageBox, 0);
      return false;
    }
    plan.kind = static_cast<TransferKind>(kind);
    return true;
  }
  if (tab == kTabParameters) {
    plan.kind = kTransferParameters;
    plan.source = command.parameterSource;
    plan.viewName = kParametersView;
    return !RefuseNoParameters(target, command.verb);
  }
  ReportUnhandledView(command.tabVerb, tab, command.func);
  return false;
}

bool OnlineOperations::ChooseModuleTargets(const char* verb, const char* title, const char* parametersAction,
                                           const char* outputsAction, const Wrapper& target, CNAUsr& adapter,
                                           TransferPlan& plan) {
  if (!target.IsType(kTypeNA)) return true;
  const bool outputs = plan.kind == kTransferOutputs;
  const bool modulesHave = outputs ? AnyOf(plan.modules, HasOutput) : AnyOf(plan.modules, HasPara);
  if (outputs && !modulesHave && adapter.OutputLength() <= 0) {
    qmx::ShowBox(StrFormat("Cannot %s because target output size is zero.", verb), 0);
    return false;
  }
  if (!modulesHave) return true;
  // An adapter without outputs of its own takes its modules without asking.
  if (outputs && adapter.OutputLength() <= 0) {
    plan.include = 1;
    return true;
  }
  return AskWithModules(&adapter, title, outputs ? outputsAction : parametersAction, plan.selection, plan.include,
                        plan.targetText);
}

void OnlineOperations::RunTransfer(const TransferCommand& command) {
  Wrapper* target = nullptr;
  CNAUsr* adapter = nullptr;
  TransferPlan plan;
  int tab = kTabParameters;
  if (command.tabVerb ? !SelectTargetOnTab(command.func, target, plan.selection, adapter, tab)
                      : !SelectTarget(command.func, target, plan.selection, adapter)) {
    return;
  }
  plan.targetText = plan.selection;
  if (target->IsType(kTypeNA)) plan.modules = ModulesOf(adapter);
  if (!PlanFromTab(command, tab, *target, *adapter, plan)) return;
  if (adapter->monitoring == 1 && command.queued) {
    if (command.chooseTargets && !command.chooseTargets(*target, *adapter, plan)) return;
    if (command.idleWhileMonitoring && command.idleWhileMonitoring(*target, *adapter, plan)) return;
    CompareResultList list;
    if (command.queued(*target, *adapter, plan, list) == 1) {
      LogGeneral(StrFormat(command.queuedDone, command.what, plan.source.c_str(), plan.targetText.c_str()));
    } else {
      LogError(qmx::kLogSourceNoBlank,
               StrFormat(kTransferFailed, command.what, plan.source.c_str(), plan.targetText.c_str()));
    }
    return;
  }
  if (CheckNAValidBeforeOnline(adapter) != 1) return;
  if (command.chooseTargets && !command.chooseTargets(*target, *adapter, plan)) return;
  CompareResultList list;
  int result = WithProgress(command.progressText(plan), [&] { return command.device(*target, *adapter, plan, list); });
  if (result == 1 && command.finish) result = command.finish(*target, *adapter, plan);
  ReportTransfer(result, command.what, plan.source, plan.targetText, list, adapter, command.logSource);
}

void OnlineOperations::OnOnlineDn() {
  // What was written is read back: the outputs with the inputs beside them.
  int readBack = 0;
  RunTransfer({
      .func = "OnOnlineDn",
      .what = "Download",
      .verb = "download",
      .tabVerb = "download",
      .logSource = qmx::kLogSource,
      .parameterSource = "Parameter",
      .refusesModels = true,
      .emptyImageBox = "Cannot download because target IO size is zero.",
      .chooseTargets =
          [this](Wrapper& target, CNAUsr& adapter, TransferPlan& plan) {
            return ChooseModuleTargets("download", "Download to", "download parameters", "download output", target,
                                       adapter, plan);
          },
      .queued = [this](Wrapper& target, CNAUsr& adapter, const TransferPlan& plan,
                       CompareResultList& list) { return OnlineDownload(plan.kind, &adapter, &target, 0, plan.include, list); },
      .queuedDone = "%s is completed. Source: %s. Target. %s.",
      // The communication-init block is not sent while the adapter
      // monitors: an adapter without parameters of its own (and without its
      // modules) sends nothing.
      .idleWhileMonitoring =
          [](Wrapper& target, CNAUsr& adapter, TransferPlan& plan) {
            if (!target.IsType(kTypeNA) || plan.kind != kTransferParameters || adapter.ParaLength() > 0 ||
                plan.include != 0) {
              return false;
            }
            LogGeneral(StrFormat(AnyOf(plan.modules, HasPara)
                                     ? "Ignore download during monitoring. Parameter size is zero. Target: %s."
                                     : "Ignore download. Parameter size is zero. Target: %s.",
                                 plan.targetText.c_str()));
            return true;
          },
      .progressText =
          [](const TransferPlan& plan) {
            return StrFormat("Downloading %s. Target: %s.", plan.source.c_str(), plan.targetText.c_str());
          },
      .device =
          [this, &readBack](Wrapper& target, CNAUsr& adapter, const TransferPlan& plan, CompareResultList& list) {
            const int downloaded = OnlineDownload(plan.kind, &adapter, &target, 0, plan.include, list);
            if (downloaded == 1) {
              const bool inputs = target.IsType(kTypeNA) && (AnyOf(plan.modules, HasInput) || adapter.GetSize() > 0);
              readBack = OnlineUpload(plan.kind == kTransferOutputs && inputs ? kTransferInputsOutputs : plan.kind,
                                      &adapter, &target, 0, list, {});
            }
            return downloaded;
          },
      .finish =
          [this, &readBack](Wrapper&, CNAUsr&, const TransferPlan& plan) {
            if (readBack != 1 || ShowOnlineValues(plan.viewName) != 1) {
              LogError(qmx::kLogSourceNoBlank,
                       StrFormat("Download is completed. But upload is fail. See below log in detail. Source: %s. "
                                 "Target. %s",
                                 plan.source.c_str(), plan.targetText.c_str()));
            }
            return 1;
          },
  });
}

void OnlineOperations::OnOnlineUp() {
  RunTransfer({
      .func = "OnOnlineUp",
      .what = "Upload",
      .verb = "upload",
      .tabVerb = "upload",
      .logSource = qmx::kLogSourceNoBlank,
      .parameterSource = "Parameter",
      .refusesModels = true,
      .inputsToo = true,
      .emptyImageBox = "Cannot upload because target IO size is zero.",
      .progressText =
          [](const TransferPlan& plan) {
            return StrFormat("Uploading %s of selected %s.", plan.source.c_str(), plan.targetText.c_str());
          },
      .device = [this](Wrapper& target, CNAUsr& adapter, const TransferPlan& plan,
                       CompareResultList& list) { return OnlineUpload(plan.kind, &adapter, &target, 1, list, {}); },
      .finish = [this](Wrapper&, CNAUsr&, const TransferPlan& plan) { return ShowOnlineValues(plan.viewName); },
  });
}

void OnlineOperations::OnOnlineResetPara() {
  RunTransfer({
      .func = "OnOnlineResetPara",
      .what = "Reset",
      .verb = "reset",
      .tabVerb = nullptr,
      .logSource = qmx::kLogSource,
      .parameterSource = "Parameters",
      .chooseTargets =
          [this](Wrapper& target, CNAUsr& adapter, TransferPlan& plan) {
            if (target.IsType(kTypeNA) && AnyOf(plan.modules, HasPara)) {
              return AskWithModules(&adapter, "Reset", "reset parameters", plan.selection, plan.include,
                                    plan.targetText);
            }
            return qmx::ShowBox(
                       StrFormat("Do you reset selected %s parameters to factory default?", plan.targetText.c_str()),
                       qmx::kBoxYesNo) == qmx::kBoxIdYes;
          },
      .progressText =
          [](const TransferPlan& plan) {
            return StrFormat("Reset parameters to factory default. Target: %s.", plan.targetText.c_str());
          },
      .device =
          [this](Wrapper& target, CNAUsr& adapter, const TransferPlan& plan, CompareResultList& list) {
            const int done = OnlineDownload(kTransferParameters, &adapter, &target, 1, plan.include, list);
            if (done == 1) OnlineUpload(kTransferParameters, &adapter, &target, 0, list, {});
            return done;
          },
      .finish =
          [this](Wrapper&, CNAUsr&, const TransferPlan& plan) {
            ShowOnlineValues(plan.viewName);
            return 1;
          },
  });
}

void OnlineOperations::OnOnlineCopyToOffline() {
  RunTransfer({
      .func = "OnOnlineCopyToOffline",
      .what = "Copy (Online => Project)",
      .verb = "copy (Online => Project)",
      .tabVerb = "copy",
      .logSource = qmx::kLogSource,
      .parameterSource = "Parameter",
      .emptyImageBox = "Cannot copy (Online => Project) because target IO output size is zero.",
      .chooseTargets =
          [this](Wrapper& target, CNAUsr& adapter, TransferPlan& plan) {
            return ChooseModuleTargets("copy (Online => Project)", "Copy to", "Copy (Online => Project) parameters",
                                       "Copy (Online => Project) output", target, adapter, plan);
          },
      .queued =
          [this](Wrapper& target, CNAUsr& adapter, const TransferPlan& plan, CompareResultList& list) {
            return OnlineCopyToPrj(plan.kind, &adapter, &target, 1, plan.include, list, plan.viewName);
          },
      .queuedDone = "%s is completed. Source: %s. Target. %s",
      .progressText =
          [](const TransferPlan& plan) {
            return StrFormat("Copy (Online => Project) %s of selected %s.", plan.source.c_str(),
                             plan.targetText.c_str());
          },
      .device =
          [this](Wrapper& target, CNAUsr& adapter, const TransferPlan& plan, CompareResultList& list) {
            return ReadForCopyToPrj(plan.kind, &adapter, &target, 0, plan.include, list);
          },
      .finish =
          [this](Wrapper& target, CNAUsr& adapter, const TransferPlan& plan) {
            return CopyOnlineToPrj(plan.kind, &adapter, &target, plan.include, plan.viewName);
          },
  });
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
    CNAUsr* adapter = workspace_.AdapterOf(*object);
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
