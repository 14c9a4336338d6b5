// The definition of one network adapter product, built once at start-up from
// its device description (Products/NA/<file>.xml) and then shared read-only
// by every adapter object of that product.
//
// It holds the product's identity and texts, its specification items, the
// communication types with the driver library that an adapter loads for each,
// the I/O data items, the parameters with their value lists, the two
// monitoring blocks exchanged with the device (MON_INIT, the communication-init
// block the driver reads at start and partly in every cycle, and MON_FREQ, the
// cyclic block), the default images and the byte order of multi-byte values.
// What it shares with a module definition lives in DeviceDef.
#pragma once

#include "app/model/PooledText.h"
#include "app/model/DeviceDef.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One communication type of an adapter and the driver library an adapter of
// the product loads for it.
struct CommDriverEntry {
  PooledText commType;   // bus type as the description writes it ("TCP", "RS485", "Offline", ...)
  PooledText fileName;   // driver file name, e.g. "Tessivar"
  PooledText fileType;   // its extension, e.g. "dll"
  PooledText commParas;  // communication parameters appended to the channel text
};

// Index of a monitoring block.
enum CommBlockIndex : int {
  kMonInit = 0,  // "MON_INIT": the communication-init block
  kMonFreq = 1,  // "MON_FREQ": the cyclic monitoring block
};

// Communication-type codes (the project's type against a definition).
enum CommTypeCode : int {
  kCommTcp = 0,
  kCommUdp = 1,
  kCommRs232c = 2,
  kCommRs422 = 3,
  kCommRs485 = 4,
  kCommNone = 5,      // a type the driver does not serve ("Offline", "POWERLINK", ...)
  kCommNoDriver = 6,  // the definition names no driver file for the type
};

inline constexpr int kMaxCommDrivers = 4;

class NADef : public DeviceDef {
public:
  NADef();
  ~NADef() override;

  // Code of a communication-type name: 0 "TCP", 2 "RS232C", 3 "RS422",
  // 4 "RS485" (any case), 5 any other name; 6 when the name is "NONE_DRIVER",
  // is not one of the definition's types (exact match) or the definition's
  // entry names no driver file name or extension.
  int GetCommTypeCode(const std::string& name) const;
  // 1 when the communication types are acceptable ("TCP", "RS232C", "RS422",
  // "RS485", "Offline" in any case, or empty): with one driver the first
  // entry must be, with any other count one entry suffices; 0 otherwise.
  int CheckCommTypes() const;
  // Communication-type name of a bitmap resource name (any case):
  // "IDB_ModbusTCP" "TCP", "IDB_UDP" "UDP", "IDB_Modbus232" "RS232C",
  // "IDB_Modbus485" "RS485", "IDB_Modbus422" "RS422"; else empty.
  static std::string GetCommTypeBitmapId(const std::string& name);
  // Builds the default PARA image from the description's hex text
  // ("0x12,0x34"); a text that is empty or not exactly twice the parameter
  // length in digits leaves no image.
  void AssignDefaultParaImage(const std::string& text);
  // Builds the default image of the MON_INIT block (index 0) from its items'
  // default values, sized to the block length; index 1 is left without one.
  // An item of a type without a default rule is skipped with -4005, one whose
  // default does not fit its place with -4001.
  void AssignCommBlockInitVal(int index);
  // The first item of a block whose key equals `key` (any case); null and
  // -4007 when there is none.
  const ParaItem* GetMonitoringMapInfo(int index, const std::string& key) const;
  // The MON_INIT item of a text id (any case); null for an empty id, null and
  // a [Bug] line when there is none.
  const ParaItem* FindCommInitParaByID(const std::string& textId) const;

  // The driver entry of a communication type (exact match), or null.
  const CommDriverEntry* FindCommDriver(const std::string& commType) const;

  // The default images; null when the definition has none.
  const std::vector<uint8_t>* DefaultParaImage() const;
  const std::vector<uint8_t>* DefaultMonInitImage() const;

  // Identity and texts beside the shared ones.
  PooledText busType;
  PooledText factoryCommSetting;

  // Communication types.
  std::map<std::string, CommDriverEntry> commTypeMap;   // commType -> entry
  std::array<CommDriverEntry, kMaxCommDrivers> driverEntries;
  int driverEntryCount = 0;                             // entries filled in driverEntries
  PooledText driverCount;                              // "BusNum" as written
  std::vector<std::string> busTypes;                    // "BusType1", "BusType2", ...
  int busNumber = 0;                                    // the driver count as a number

  // Specification beside the shared items.
  SpecItem maxNodes;
  SpecItem inputMaxSize;
  SpecItem outputMaxSize;
  SpecItem maxPowerForIOs;
  SpecItem maxExpansion;
  SpecItem settableNodeAddrRange;  // two comma-separated bounds
  SpecItem ioMaxDataSize;

  // Monitoring blocks, index kMonInit / kMonFreq.
  std::array<int, 2> blockFreq{};
  std::array<int, 2> blockLength{};
  std::array<std::vector<uint8_t>, 2> blockDefaultImage;  // empty: none
  std::array<PooledText, 2> blockLayout;  // "Type,DataType,Length" groups, tab separated
  std::array<std::vector<std::unique_ptr<ParaItem>>, 2> blockItems;

  int byteOrderMode = 0;  // "MemoryOrder": 0 plain, 1 swap 16-bit words, 2 reverse

  std::vector<uint8_t> defaultParaImage;  // empty: none
};
