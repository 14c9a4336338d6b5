// The online commands of the main window: download, upload, reset of
// parameters, copy of online values into the project, compare, factory
// defaults, the address map, and the project monitoring with its timers
// (Monitoring.cpp).
//
// Everything runs synchronously on the user-interface thread. The windows
// it needs (tab host, dialogs, progress window, window timers) are hooks in
// OnlineUi that the frame fills, so the whole road runs without a display
// against a simulator; message boxes go through qmx::ShowBox.
#pragma once

#include "app/frame/online/Compare.h"
#include "app/model/ConfigValidation.h"
#include "app/model/ProjectTree.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CIOUsr;
class CNAUsr;
class CProjectUsr;
class ProjectWorkspace;
class Wrapper;

// Window timer identifiers: the status timer, and the range of the
// per-project refresh timers.
inline constexpr int kStatusTimerId = 40;
inline constexpr int kStatusTimerMs = 1000;
inline constexpr int kFirstProjectTimerId = 50;
inline constexpr int kLastProjectTimerId = 549;

// Tree images of the monitoring states.
inline constexpr int kImageProjectMonitoring = 21;
inline constexpr int kImageProjectAllFailed = 22;
inline constexpr int kImageAdapter = 1;
inline constexpr int kImageAdapterFault = 24;            // the status could not be read
inline constexpr int kImageAdapterRunning = 25;
inline constexpr int kImageAdapterBusError = 26;
inline constexpr int kImageAdapterFieldPowerFault = 27;
inline constexpr int kImageAdapterBusErrorAndFieldPower = 28;

// The image of an adapter for its communication state, bus error and field
// power (each kStatusGood or kStatusFault, NAUsr.h).
int AdapterStatusImage(int state, int busError, int fieldPower);

// What a transfer moves: the parameters, or the outputs and/or inputs of the
// process image, as bits (kind & kTransferOutputs, kind & kTransferInputs).
// The parameters and the outputs share their numbers with the online image
// kinds (kOnlinePara, kOnlineOutput).
enum TransferKind : int {
  kTransferParameters = 0,
  kTransferInputs = 3,
  kTransferOutputs = 4,
  kTransferInputsOutputs = kTransferInputs | kTransferOutputs,
};

// Results of a transfer besides a failure: done, or not started because the
// station's configuration differs from the project's (the differences are
// shown).
inline constexpr int kTransferDone = 1;
inline constexpr int kTransferDiffers = 4;

// Download-target dialog results.
inline constexpr int kTargetCancel = 0;
inline constexpr int kTargetWithModules = 1;
inline constexpr int kTargetAdapterOnly = 2;

// The duration the progress window expects of every transfer.
inline constexpr int kTransferProgressMs = 30000;

struct OnlineUi {
  // The active tab of the tab host; -1 without a tab host.
  std::function<int()> activeTab;
  std::function<void(const std::string& viewName, int value)> updateOnlineVals;
  std::function<void(int force, const std::string& viewName)> refreshView;
  // The download-target dialog (title text, action text, adapter label,
  // type tag): kTargetCancel, kTargetWithModules or kTargetAdapterOnly.
  std::function<int(const std::string& title, const std::string& action, const std::string& label,
                    const std::string& tag)>
      downloadTarget;
  // The reset dialog (type tag, label, may-include-modules flag): 1 OK with
  // `choice` (0 the object, 1 with its modules / adapters), else 0.
  std::function<int(const std::string& tag, const std::string& label, int mayIncludeModules, int& choice)>
      resetFactory;
  ConfigValidator::ResultSink validationResult;
  // The compare dialog: target kind, label, adapter and item; `preset` rows
  // (taken, may be empty) are shown as it opens.
  std::function<void(const std::string& kind, const std::string& label, CNAUsr* adapter, TreeItem item,
                     CompareResultList& preset)>
      compareDialog;
  // Runs a device operation under the progress window (text, expected ms)
  // and answers its result. The operation touches no window: views are
  // updated after it. Empty: the operation runs as it is.
  std::function<int(const std::string& text, int ms, const std::function<int()>& operation)> runWithProgress;
  std::function<void(int id, int ms)> setTimer;
  std::function<void(int id)> killTimer;
};

class OnlineOperations {
public:
  OnlineOperations(ProjectWorkspace& workspace, ConfigValidator& validator, const CompareEngine& engine)
      : workspace_(workspace), validator_(validator), engine_(engine) {}

  OnlineUi ui;

  // ---- transfers ----
  void OnOnlineDn();
  void OnOnlineUp();
  void OnOnlineResetPara();
  void OnOnlineCopyToOffline();
  void OnOnlineCompare();
  // kTransferDone, kTransferDiffers, else 0 or the comparison's failure.
  // Download moves kTransferParameters or kTransferOutputs.
  int OnlineDownload(TransferKind kind, CNAUsr* adapter, Wrapper* target, int factory, int includeModules,
                     CompareResultList& list);
  int OnlineUpload(TransferKind kind, CNAUsr* adapter, Wrapper* target, int compareFirst, CompareResultList& list,
                   const std::string& viewName);
  // Copy moves kTransferParameters or kTransferOutputs.
  int OnlineCopyToPrj(TransferKind kind, CNAUsr* adapter, Wrapper* target, int monitoring, int includeModules,
                      CompareResultList& list, const std::string& viewName);
  // The two halves of OnlineCopyToPrj: the device reads (no window touched),
  // then the copy into the project, the view and the modified mark.
  int ReadForCopyToPrj(TransferKind kind, CNAUsr* adapter, Wrapper* target, int monitoring, int includeModules,
                       CompareResultList& list);
  int CopyOnlineToPrj(TransferKind kind, CNAUsr* adapter, Wrapper* target, int includeModules,
                      const std::string& viewName);
  int CheckNAValidBeforeOnline(CNAUsr* adapter);

  // ---- factory defaults and the address map ----
  void OnEditSetFactoryVal();
  // Choice 0 the object; 1 an adapter with its modules, a project with all
  // its adapters and their modules. Marks the project modified. 1.
  int SetParaFactoryVal(TreeItem item, Wrapper* object, int choice);
  void OnViewAddrMap();

  // ---- monitoring (Monitoring.cpp) ----
  void OnOnlineMonStartPrj();
  void OnOnlineMonStopPrj();
  void OnTimer(int id);
  int IsSelPrjMonTimer(int id) const;
  void UpdateCommStatusAllPrj();
  int IsSameCommPropMonitoring(CProjectUsr* project) const;
  int CheckPrjValidBeforeMonitoring(CProjectUsr* project);
  int CompareProjectBeforeMonitoring(CProjectUsr* project);
  // The last sampled communication state of a monitoring adapter
  // (kStatusNotRead, kStatusGood, kStatusFault).
  int CommState(const CNAUsr& adapter) const;
  bool AnyProjectMonitoring() const;

private:
  struct TransferPlan;
  struct TransferCommand;
  // The road of the four transfer commands: the selection (and its tab),
  // what the tab moves, the configuration check, the target dialog, the
  // device part under the progress window, the closing lines; while the
  // adapter monitors, a download or copy goes to the driver at once.
  void RunTransfer(const TransferCommand& command);
  // What the tab moves (the parameters without a tab); false after the
  // refusal of a tab or target that moves nothing.
  bool PlanFromTab(const TransferCommand& command, int tab, const Wrapper& target, CNAUsr& adapter,
                   TransferPlan& plan);
  // The target dialog of download and copy: an adapter whose modules hold
  // what the tab moves is asked whether they go too; false stops.
  bool ChooseModuleTargets(const char* verb, const char* title, const char* parametersAction,
                           const char* outputsAction, const Wrapper& target, CNAUsr& adapter, TransferPlan& plan);

  struct Status {
    int16_t state = 0;
    int16_t busError = 0;
    int16_t fieldPower = 0;
  };
  // The selected object and its adapter (step 1 of the transfers); false
  // when the command stops.
  bool SelectTarget(const char* func, Wrapper*& target, std::string& text, CNAUsr*& adapter);
  // SelectTarget, then the active tab of the tab host; false without one.
  bool SelectTargetOnTab(const char* func, Wrapper*& target, std::string& text, CNAUsr*& adapter, int& tab);
  // The download-target dialog (title, action text): false when the user
  // cancels; with the modules, `include` becomes 1 and `targetText` names them.
  bool AskWithModules(CNAUsr* adapter, const char* title, const char* action, const std::string& text, int& include,
                      std::string& targetText);
  // The closing log line (and message box on failure) of a transfer; 4 shows
  // the differences.
  void ReportTransfer(int result, const char* what, const std::string& source, const std::string& targetText,
                      CompareResultList& list, CNAUsr* adapter, const char* logSource);
  // The adapter compared online with the project before a transfer: 1 the
  // same, 4 different (`list` holds the rows), else the comparison's failure.
  int CompareFirst(CNAUsr* adapter, CompareResultList& list);
  TreeItem ItemOf(const Wrapper* object) const;
  std::vector<CIOUsr*> ModulesOf(CNAUsr* adapter) const;
  void ShowDifferences(CompareResultList& list, CNAUsr* adapter);
  int WithProgress(const std::string& text, const std::function<int()>& operation);
  // The values of a view after a transfer: 0 without a tab host.
  int ShowOnlineValues(const std::string& viewName);
  std::string Label(const Wrapper& object) const;
  void SetImage(const Wrapper* object, int image);

  ProjectWorkspace& workspace_;
  ConfigValidator& validator_;
  const CompareEngine& engine_;
  std::map<const CNAUsr*, Status> status_;
};
