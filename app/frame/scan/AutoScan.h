// The automatic scan without a window: the scan ranges and their rules, the
// scan through a private instance of the project's driver library with the
// rows of its result, the project built from a result, the copy of online
// values into the new adapters, and the tools that load the driver on their
// own (the special commands and the Modbus messenger).
//
// Toolkit-free; the dialog (AutoScanDlg) and the frame's commands
// (ScanCommands.cpp) are thin layers over it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/model/DriverSession.h"
#include "app/model/ProjectTree.h"
#include "platform/os/os.h"

class CNAUsr;
class CProjectUsr;
class IOCatalogue;
class IODef;
class NACatalogue;
class NADef;
class ProjectWorkspace;

namespace qmx::scan {

bool IsTcpCode(int code);     // 0, 1
bool IsSerialCode(int code);  // 2, 3, 4

struct ScanRanges {
  uint32_t portFrom = 1;
  uint32_t portTo = 1;
  uint8_t nodeFrom = 1;
  uint8_t nodeTo = 32;
  std::string serialSettings = "9600, 8, NOPARITY, 1";
};

// Texts of exactly two (ranges) or four (settings) comma-separated fields
// replace the values; other texts leave them.
void SetScanInfo(ScanRanges& ranges, const std::string& portRange, const std::string& nodeRange,
                 const std::string& serialSettings);
std::string PortRangeText(const ScanRanges& ranges);
std::string NodeRangeText(const ScanRanges& ranges);

// The scan's time and parameter text, or the refusal's message.
struct ScanPlan {
  std::string refusal;
  int timeMs = 0;
  std::string param;
  bool ok() const { return refusal.empty(); }
};
// RS422 and RS485 scan one port: their port-to is set to port-from.
ScanPlan PlanScan(int code, ScanRanges& ranges);

// Results of AutoScanSession::Start beside 0 and the driver's failures.
inline constexpr int kScanDone = 1;
inline constexpr int kScanUnknownProduct = 2;
inline constexpr int kScanIncomplete = 3;
// What a scan that met failures says, in its log line and its box.
inline constexpr const char* kIncompleteScan = "Auto scan is completed, but not every network adapter is scanned.";

// One adapter row of a result and its module rows.
struct ScanRow {
  std::string label;               // model name or "Undefined"
  std::vector<std::string> texts;  // TCP: IP, MAC, mask, gateway; serial: COM port, settings, node
  std::vector<std::string> modules;  // "%02d: %s"
};

// The family letters of the catalogue in use: the first characters of its
// adapters' category texts, each once.
std::string ModuleFamilyLetters(const NACatalogue& adapters);

class AutoScanSession {
public:
  AutoScanSession(const NACatalogue& adapters, const IOCatalogue& modules) : adapters_(adapters), modules_(modules) {}
  ~AutoScanSession() { Free(); }
  AutoScanSession(const AutoScanSession&) = delete;
  AutoScanSession& operator=(const AutoScanSession&) = delete;

  // Loads <folder>/<driverFile>, makes an instance and scans: kScanDone,
  // kScanUnknownProduct, kScanIncomplete (the driver logged failures during
  // its scan: not every adapter it found was scanned, or not every answer
  // listed), 0 or the driver's failure value otherwise. Only a scan without
  // such failures ends with the line that it completed.
  int Start(const std::string& folder, const std::string& driverFile, const std::string& busType, int code,
            int timeMs, const std::string& param);
  // Gives the result back and releases the instance and the library.
  void Free();

  const ScanResultList* Result() const { return result_; }
  const std::vector<ScanRow>& Rows() const { return rows_; }
  int FoundCount() const { return found_; }

private:
  const NACatalogue& adapters_;
  const IOCatalogue& modules_;
  DriverSession driver_;
  ScanResultList* result_ = nullptr;
  std::vector<ScanRow> rows_;
  int found_ = 0;
};

// Adds the adapters of a result to the project (after removing its adapters
// when `overwrite` is 1) with their known modules; unknown products and
// adapters of another bus are skipped. Returns the adapters created.
std::vector<CNAUsr*> ApplyScanResult(ProjectWorkspace& workspace, CProjectUsr* project, const NACatalogue& adapters,
                                     const IOCatalogue& modules, const ScanResultList& result, int overwrite);

// Reads parameters and/or output values of each adapter from its device and
// copies what was read into the project; a failed read copies nothing of
// that image. The reads run through `run` (the progress dialog in the
// program). Returns the number of adapters whose reads all succeeded.
int CopyOnlineValToPrj(ProjectWorkspace& workspace, const std::vector<CNAUsr*>& adapters, int copyParameters,
                       int copyOutputs, const std::function<int(const std::string&, int, std::function<int()>)>& run);

// The restart (command 0) and reset-error-counters (command 1) of the
// selected adapter with their log lines; 1 sent.
int DoSpecialCommand(CNAUsr* adapter, const std::string& label, int command);

// Loads <folder>/<file>, shows the library's messenger window on this
// thread and releases instance and library; false when it could not.
bool RunModbusMessenger(const std::string& folder, const std::string& file);

}  // namespace qmx::scan
