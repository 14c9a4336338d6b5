#include "app/frame/scan/AutoScan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/errors/ErrorCodes.h"
#include "app/frame/online/Compare.h"
#include "app/model/ConfigValidation.h"
#include "app/model/DataTypes.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IODef.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/ParaItem.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"

namespace qmx::scan {

namespace {

// The scan's and the messenger's entry points, all called: a library
// without one of them is no driver for the tool.
const std::vector<const char*> kScanEntries = {"drvSetFuncPtr",   "drvSetLogOption", "drvStartAutoScan",
                                               "drvFreeAutoScan", "drvInitialize",   "drvUninitialize"};
const std::vector<const char*> kMessengerEntries = {"drvSetFuncPtr", "drvSetLogOption", "drvInitialize",
                                                    "drvShowProtocolComm", "drvUninitialize"};
const DriverNeeds kScanNeeds = {kScanEntries, kScanEntries, true};
const DriverNeeds kMessengerNeeds = {kMessengerEntries, kMessengerEntries, true};

const NADef* AdapterDef(const NACatalogue& adapters, const IOCatalogue& modules, const std::string& busType,
                        uint16_t code, std::string& model, int& mismatch, const char* func) {
  int icon = 0;
  return static_cast<const NADef*>(
      GetDefByProductId(adapters, modules, "NA", busType, code, icon, model, mismatch, func, 0));
}

const IODef* ModuleDef(const NACatalogue& adapters, const IOCatalogue& modules, const std::string& busType,
                       char letter, uint16_t code, std::string& model, const char* func) {
  int icon = 0, mismatch = 0;
  return static_cast<const IODef*>(
      GetDefByProductIdCat(adapters, modules, "IO", letter, busType, code, icon, model, mismatch, func, 0));
}

}  // namespace

bool IsTcpCode(int code) { return code == kCommTcp || code == kCommUdp; }
bool IsSerialCode(int code) { return code == kCommRs232c || code == kCommRs422 || code == kCommRs485; }

void SetScanInfo(ScanRanges& r, const std::string& portRange, const std::string& nodeRange,
                 const std::string& serialSettings) {
  if (const auto f = SplitTrimmed(portRange, ','); f.size() == 2) {
    r.portFrom = static_cast<uint32_t>(std::atoi(f[0].c_str()));
    r.portTo = static_cast<uint32_t>(std::atoi(f[1].c_str()));
  }
  if (const auto f = SplitTrimmed(nodeRange, ','); f.size() == 2) {
    r.nodeFrom = static_cast<uint8_t>(std::atoi(f[0].c_str()));
    r.nodeTo = static_cast<uint8_t>(std::atoi(f[1].c_str()));
  }
  if (SplitTrimmed(serialSettings, ',').size() == 4) r.serialSettings = serialSettings;
}

std::string PortRangeText(const ScanRanges& r) { return StrFormat("%u,%u", r.portFrom, r.portTo); }
std::string NodeRangeText(const ScanRanges& r) { return StrFormat("%d,%d", r.nodeFrom, r.nodeTo); }

ScanPlan PlanScan(int code, ScanRanges& r) {
  ScanPlan plan;
  if (IsTcpCode(code)) {
    plan.timeMs = 5000;
    return plan;
  }
  if (r.nodeFrom > r.nodeTo) {
    plan.refusal = "Min. value of node address must be below than max. value.";
    return plan;
  }
  if (code == kCommRs232c && r.portFrom > r.portTo) {
    plan.refusal = "Min. value of COM port must be below than max. value.";
    return plan;
  }
  if (code != kCommRs232c) r.portTo = r.portFrom;
  const long long ports = code == kCommRs232c ? static_cast<long long>(r.portTo) - r.portFrom + 1 : 1;
  const long long nodes = r.nodeTo - r.nodeFrom + 1;
  const long long time = ports * nodes * 300;
  if (time >= 30000) {
    plan.refusal =
        "Port or node out of range and scan time is limited in 30 seconds.\n"
        "Scan time (milisec.)= Node range * Port range* 300.";
    return plan;
  }
  plan.timeMs = static_cast<int>(time);
  plan.param = StrFormat("%u,%u:%d,%d:%s", r.portFrom, r.portTo, r.nodeFrom, r.nodeTo, r.serialSettings.c_str());
  return plan;
}

std::string ModuleFamilyLetters(const NACatalogue& adapters) {
  std::string letters;
  for (const auto& def : adapters.definitions) {
    if (def && !def->category.empty() && letters.find(def->category[0]) == std::string::npos)
      letters += def->category[0];
  }
  return letters;
}

// ---- the scan -------------------------------------------------------------

int AutoScanSession::Start(const std::string& folder, const std::string& driverFile, const std::string& busType,
                           int code, int timeMs, const std::string& param) {
  static const char* kFunc = "ScanStart";
  Free();
  const std::string path = (std::filesystem::path(folder) / driverFile).string();
  // The line names the file the load opens (a Windows name maps to ours).
  PostLog(kLogGeneral, kLogSource,
          StrFormat("Starting auto scan. Device driver:%s.", qmx::os::Module::ResolvePath(path).string().c_str()));
  if (driver_.Open(folder, driverFile, kScanNeeds, {kFunc, ""}) != DriverSession::Opening::kOpened) {
    Free();
    return 0;
  }
  // The driver's lines carry its file name; its scan logs each failure (an
  // adapter it could not read, answers beyond what it lists) as an error.
  const std::string driverSource = qmx::os::Module::ResolvePath(path).filename().string();
  const uint64_t errorsBefore = ErrorLinesPosted(driverSource);
  const intptr_t r = driver_.Entries().drvStartAutoScan(driver_.Handle(), 0, code, timeMs, param.c_str());
  const bool incomplete = ErrorLinesPosted(driverSource) > errorsBefore;
  if (r <= 0) {
    ReportError(err::kAutoScanFailed, "Auto scan is failed. See below log in detail.", kFunc);
    return static_cast<int>(r);
  }
  result_ = reinterpret_cast<ScanResultList*>(r);

  const std::string letters = ModuleFamilyLetters(adapters_);
  bool unknown = false;
  for (int i = 0; i < result_->count; ++i) {
    const ScannedAdapter* record = result_->adapters ? result_->adapters[i] : nullptr;
    if (!record) continue;
    ++found_;
    std::string model;
    int mismatch = 0;
    ScanRow row;
    if (AdapterDef(adapters_, modules_, busType, record->productCode, model, mismatch, kFunc)) {
      row.label = model;
    } else if (mismatch) {
      --found_;
      PostLog(kLogError, kLogSource,
              StrFormat("Network adapter having mismatch bus type exists same communication bus. Model: %s.",
                        model.c_str()));
      continue;
    } else {
      row.label = "Undefined";
      unknown = true;
    }
    if (IsTcpCode(code))
      row.texts = {record->text2, record->text3, record->text4, record->text5};
    else
      row.texts = {record->text2, record->text3, record->text4};
    const char letter = row.label.empty() ? 0 : row.label[0];
    const char family = letters.find(letter) != std::string::npos ? letter : 0;
    for (int m = 0; m < record->moduleCount; ++m) {
      std::string moduleModel;
      const IODef* def =
          ModuleDef(adapters_, modules_, busType, family, record->modules[m].productCode, moduleModel, kFunc);
      if (!def) unknown = true;
      row.modules.push_back(StrFormat("%02d: %s", m + 1, def ? def->modelName.c_str() : "Undefined"));
    }
    rows_.push_back(std::move(row));
  }
  if (incomplete)
    PostLog(kLogGeneral, kLogSource, StrFormat("[Warning] %s See below log in detail.", kIncompleteScan));
  if (unknown) {
    PostLog(kLogGeneral, kLogSource, "Unknown product detected. XML file does not exist.");
    return kScanUnknownProduct;
  }
  if (incomplete) return kScanIncomplete;
  PostLog(kLogGeneral, kLogSource, "Auto scan is successfully completed!");
  return kScanDone;
}

void AutoScanSession::Free() {
  if (result_ && driver_.HasInstance() && driver_.Entries().drvFreeAutoScan) {
    driver_.Entries().drvFreeAutoScan(driver_.Handle(), result_);
  }
  driver_.Close();
  result_ = nullptr;
  rows_.clear();
  found_ = 0;
}

// ---- the project from a result ----------------------------------------------

std::vector<CNAUsr*> ApplyScanResult(ProjectWorkspace& workspace, CProjectUsr* project, const NACatalogue& adapters,
                                     const IOCatalogue& modules, const ScanResultList& result, int overwrite) {
  static const char* kFunc = "OnOnlineAutoScan";
  std::vector<CNAUsr*> created;
  if (!project) return created;
  if (overwrite == 1) workspace.RemoveAllNAs(project);
  const std::string letters = ModuleFamilyLetters(adapters);
  for (int i = 0; i < result.count; ++i) {
    const ScannedAdapter* record = result.adapters ? result.adapters[i] : nullptr;
    if (!record) continue;
    std::string model;
    int mismatch = 0;
    const NADef* def = AdapterDef(adapters, modules, project->commType, record->productCode, model, mismatch, kFunc);
    if (!def) continue;
    TreeItem adapterItem = kNoTreeItem;
    CNAUsr* adapter = workspace.CreateNA(def->modelName, def->ID, adapterItem, nullptr);
    if (!adapter) continue;
    if (IsTcpCode(project->commTypeCode))
      adapter->SetCommSettings(record->text2, "", "", "");
    else
      // The driver writes "9600,8,NOPARITY,1"; the project keeps its own form.
      adapter->SetCommSettings("", record->text2, ProjectSerialSettingsText(record->text3), record->text4);
    created.push_back(adapter);
    const char letter = def->category.empty() ? 0 : def->category[0];
    if (letter == 0 || letters.find(letter) == std::string::npos) continue;
    for (int m = 0; m < record->moduleCount; ++m) {
      std::string moduleModel;
      const IODef* moduleDef = ModuleDef(adapters, modules, project->commType, letter,
                                         record->modules[m].productCode, moduleModel, kFunc);
      if (!moduleDef) continue;
      TreeItem moduleItem = kNoTreeItem;
      workspace.CreateIO(moduleDef->modelName, moduleDef->ID, moduleItem, moduleDef, adapterItem);
    }
  }
  workspace.SetProjectModified(1, project);
  workspace.ReNumberingIOsDispath("PROJECT", project->treeItem);
  return created;
}

// ---- online values into the project -------------------------------------------

namespace {

// Copies `length` bytes of the adapter's online image `kind` from `offset`
// into `image` (as far as both reach).
void CopyFromOnline(const CNAUsr& adapter, int kind, int offset, std::vector<uint8_t>& image, int imageOffset,
                    int length) {
  const uint8_t* online = adapter.OnlineImage(kind);
  if (!online || offset < 0 || imageOffset < 0) return;
  length = std::min({length, static_cast<int>(image.size()) - imageOffset, adapter.OnlineLength(kind) - offset});
  if (length > 0) std::memcpy(image.data() + imageOffset, online + offset, static_cast<size_t>(length));
}

// Reads the adapter's whole online image `kind` (parameters or output) and
// copies it into the project images of the adapter and its modules; false
// (logged) when the read fails. Nothing to do without an online image.
bool CopyWholeImage(CNAUsr& adapter, const std::vector<CIOUsr*>& modules, const std::string& label, const char* func,
                    int kind) {
  if (adapter.OnlineLength(kind) <= 0) return true;
  const bool para = kind == kOnlinePara;
  if (!adapter.ReadOnlineData(&adapter, 1, kind, 2, func, 0, 1)) {
    PostLog(kLogError, kLogSource, StrFormat("Cannot get NA's %s info from online. NA: %s. Func: %s.",
                                     para ? "parameters" : "output", label.c_str(), func));
    return false;
  }
  CopyFromOnline(adapter, kind, adapter.onlineOffsets[kind], para ? adapter.paraImage() : adapter.outputImage(), 0,
                 para ? adapter.ParaLength() : adapter.OutputLength());
  for (CIOUsr* module : modules) {
    const IODef* moduleDef = module->GetIODef();
    if (!moduleDef || module->onlineOffsets[kind] < 0) continue;
    CopyFromOnline(adapter, kind, module->onlineOffsets[kind], para ? module->paraImage() : module->outputImage(), 0,
                   para ? moduleDef->paraLength : moduleDef->outputLength);
  }
  return true;
}

bool CopyParameters(CNAUsr& adapter, const std::vector<CIOUsr*>& modules, const std::string& label,
                    const char* func) {
  bool ok = true;
  const NADef* def = adapter.GetNADef();
  if (adapter.OnlineLength(kOnlineMonInit) >= 1) {
    if (!adapter.ReadOnlineData(&adapter, 0, kOnlineMonInit, 2, func, 0, 1)) {
      PostLog(kLogError, kLogSource, StrFormat("Cannot get NA's CommInit info from online. NA: %s. Func: %s.", label.c_str(),
                                       func));
      ok = false;
    } else if (def && adapter.onlineOffsets[kOnlineMonInit] >= 0 && adapter.MonInitLength() > 0) {
      for (const auto& item : def->blockItems[kMonInit]) {
        if (!item || item->changeable != 1) continue;
        CopyFromOnline(adapter, kOnlineMonInit, adapter.onlineOffsets[kOnlineMonInit] + item->byteOffset,
                       adapter.monInitImage(), item->byteOffset, GetDataTypeSize(item->dataType, item->length));
      }
    }
  }
  return CopyWholeImage(adapter, modules, label, func, kOnlinePara) && ok;
}

bool CopyOutputs(CNAUsr& adapter, const std::vector<CIOUsr*>& modules, const std::string& label, const char* func) {
  return CopyWholeImage(adapter, modules, label, func, kOnlineOutput);
}

}  // namespace

int CopyOnlineValToPrj(ProjectWorkspace& workspace, const std::vector<CNAUsr*>& adapters, int copyParameters,
                       int copyOutputs,
                       const std::function<int(const std::string&, int, std::function<int()>)>& run) {
  static const char* kFunc = "CopyOnlineValToPrj";
  if (adapters.empty() || (copyParameters != 1 && copyOutputs != 1)) return 0;
  const char* what = copyParameters == 1 && copyOutputs == 1 ? "parameters and output value"
                     : copyParameters == 1                  ? "parameters"
                                                            : "output value";
  int complete = 0;
  auto body = [&]() -> int {
    for (CNAUsr* adapter : adapters) {
      const std::string label = adapter->GetLabel(workspace.namingMode);
      PostLog(kLogGeneral, kLogSource,
              StrFormat("Starting!. Copy online values to project. NA: %s. Func: %s.", label.c_str(), kFunc));
      adapter->moduleListChanged = 1;
      adapter->SetModuleList();
      const std::vector<CIOUsr*> modules = workspace.ModulesOf(*adapter);
      bool ok = true;
      if (copyParameters == 1) ok = CopyParameters(*adapter, modules, label, kFunc) && ok;
      if (copyOutputs == 1) ok = CopyOutputs(*adapter, modules, label, kFunc) && ok;
      if (ok) ++complete;
      PostLog(kLogGeneral, kLogSource,
              StrFormat("Completed!. Copy online values to project. NA: %s. Func: %s.", label.c_str(), kFunc));
    }
    return 1;
  };
  if (run)
    run(StrFormat("Copying %s of online to project...", what), 30000, body);
  else
    body();
  return complete;
}

// ---- tools that load the driver themselves -------------------------------------

int DoSpecialCommand(CNAUsr* adapter, const std::string& label, int command) {
  if (!adapter) return 0;
  const int r = adapter->SendSpecialCmd(command);
  if (r == 1) {
    PostLog(kLogGeneral, kLogSource,
            command == 0 ? StrFormat("%s network adapter is restarted.", label.c_str())
                         : StrFormat("Error counters of %s is reseted..", label.c_str()));
  } else {
    PostLog(kLogError, kLogSourceNoBlank,
            command == 0 ? StrFormat("%s Restart is failed.\nSee below log in detail.", label.c_str())
                         : StrFormat("%s Reset is failed.\nSee below log in detail.", label.c_str()));
  }
  return r == 1 ? 1 : 0;
}

bool RunModbusMessenger(const std::string& folder, const std::string& file) {
  static const char* kFunc = "OnToolsModbusMsger";
  DriverSession driver;
  if (driver.Open(folder, file, kMessengerNeeds, {kFunc, ""}) != DriverSession::Opening::kOpened) return false;
  driver.Entries().drvShowProtocolComm(driver.Handle(), 1);
  driver.Close();
  return true;
}

}  // namespace qmx::scan
