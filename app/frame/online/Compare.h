// The online/offline comparison of one network adapter: does the station on
// the bus hold the project's configuration (adapter and modules slot by
// slot) and, on request, the project's parameter values? Every difference is
// a CompareResultItem row that the compare dialog shows.
//
// Also the display texts of the adapter's information values and the
// look-ups of a definition by the product code a device reports.
//
// Toolkit-free: device reads go through the adapter object (CNAUsr), the
// module list through the workspace, log lines through PostLog.
#pragma once

#include "app/model/ProjectTree.h"
#include "app/ui/dialogs/state/CompareOfflineState.h"

#include <cstdint>
#include <string>
#include <vector>

class CIOUsr;
class CNAUsr;
class IOCatalogue;
class IODef;
class NACatalogue;
class NADef;
class ParaItem;
class ProjectWorkspace;
class Wrapper;

// Results of CompareOffline.
inline constexpr int kCompareFailedResult = 0;
inline constexpr int kCompareEqual = 1;
inline constexpr int kCompareDifferent = 2;

// Whether a station's adapter serves the project's adapter: the generic
// definition (code 0) takes any station, and a 0x402 adapter of the project
// is served by a 0x401 station (not the reverse).
bool AdapterProductMatches(uint16_t project, uint16_t online);

class CompareEngine {
public:
  CompareEngine(const ProjectWorkspace& workspace, const NACatalogue& adapters, const IOCatalogue& modules)
      : workspace_(workspace), adapters_(adapters), modules_(modules) {}

  // Compares the adapter online with the project. `kind` must be "NA". The
  // configuration is always compared; `parameters` 1 also compares the
  // parameter values when the configuration matches. Rows are appended.
  // 1 equal, 2 different, 0 failed.
  int CompareOffline(CompareResultList& results, const std::string& kind, CNAUsr* adapter, TreeItem adapterItem,
                     int configuration, int parameters) const;
  // Compares one object's parameter image (imageKind 0) or the adapter's
  // communication-init block (imageKind 1) with `online` (the object's part
  // for "IO", the adapter's whole online image for "NA"). 0 invalid target,
  // 1 no difference, 2 rows appended.
  int CompareAssignResult(const std::string& target, int imageKind, Wrapper* object, const uint8_t* online,
                          int onlineLength, CompareResultList& results, int headerGiven) const;
  // Compares one parameter of two images (each `length` bytes from its
  // start). 1 same; 0 different or not comparable (then both texts are set
  // when the values could be read).
  int ComareValue(const ParaItem& para, const uint8_t* offline, int offlineLength, const uint8_t* online,
                  int onlineLength, const Wrapper& object, std::string& offlineText, std::string& onlineText) const;

  // The first module definition of a product code whose category starts with
  // `letter` (case-sensitive); null and -1047 logged.
  const IODef* GetIODefByProductIdCat(uint16_t code, char letter, const std::string& func) const;

private:
  const ProjectWorkspace& workspace_;
  const NACatalogue& adapters_;
  const IOCatalogue& modules_;
};

// The display text of an adapter information value (key, hex text of its
// bytes as the view holds it; adapter for the slot count, may be null).
// `language` is the settings' Language ("Eng" shows dates month first).
std::string GetCommBlockDisplayVal(const std::string& key, const std::string& value, CNAUsr* adapter,
                                   const std::string& language);

// Definition look-ups by the product code a device reports (scan, compare).
// kind "NA" or "IO"; `category` 0 for any category, else the first letter
// the module's category must have. The bus-mismatch flag is only ever set.
// Answers the definition or null (see the logged codes -1044, -1045, -1046);
// the generic adapter template (product code 0) is never answered.
const void* GetDefByProductIdCat(const NACatalogue& adapters, const IOCatalogue& modules, const std::string& kind,
                                 char category, const std::string& busType, uint16_t code, int& iconIndex,
                                 std::string& modelName, int& busMismatch, const std::string& func, int showBox);
inline const void* GetDefByProductId(const NACatalogue& adapters, const IOCatalogue& modules,
                                     const std::string& kind, const std::string& busType, uint16_t code,
                                     int& iconIndex, std::string& modelName, int& busMismatch,
                                     const std::string& func, int showBox) {
  return GetDefByProductIdCat(adapters, modules, kind, 0, busType, code, iconIndex, modelName, busMismatch, func,
                              showBox);
}

// The driver file of a shared serial line by its bus-type text: file name
// "%s.%s" and the communication-type code. true found; else false with an
// empty name and code 5.
bool GetMultiDropDriverFile(const NACatalogue& adapters, const std::string& busType, std::string& fileName,
                            int& typeCode);
