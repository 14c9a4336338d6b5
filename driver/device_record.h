// The device records of a driver object: one DeviceRecord per network
// adapter bound to the instance, with its named special registers, its
// communication-init block (CommInit), one ModuleRecord per configured
// module and the five process images.
//
// Model branches (fixed-I/O adapters, split layouts, the serial-line
// register set, local answers) are decided by the model name that
// drvSetDeviceProperty gives (the adapter definition's), never by the label
// of the module list's adapter entry, which the user may have replaced.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/include/tessivar.h"
#include "driver/modbus/cycle_script.h"

namespace tessivar {

// Special registers the driver addresses by number besides the table of
// every model's named registers (device_record.cpp).
enum SpecialRegisterAddress : uint16_t {
  kRegWatchdogTime = 0x1020,
  kRegIoUpdateTime = 0x1028,
  kRegExpansionSlotNo = 0x1110,  // the slot count of an online configuration
  kRegSlotList = 0x1113,         // the adapter's product code, then one per slot
  kRegInputMode = 0x1114,
  kRegOutputMode = 0x1115,
};

struct SpecialRegister {
  std::string name;
  uint16_t address = 0;
  uint16_t size = 0;  // bytes
  std::string dataType;  // "Unsigned16", "ByteArea" or "IPAddr"
  std::string sizeText;  // what the Init-CommBlock must name
  int writable = 0;      // written by a CommInit write
  int monitored = 0;     // read in every monitoring cycle
  uint16_t offset = 0;   // in the CommInit image, once the block is parsed
};

// One adapter-owned channel of a fixed-I/O adapter.
struct OwnChannel {
  uint16_t size = 0;
  int32_t wordAddress = 0;
  int32_t bitInWord = 0;
  int32_t bitAddress = 0;
  std::string type;
};

// A module's place in one direction of the process image: byte and bit.
struct ImagePosition {
  uint16_t byte = 0;
  uint16_t bit = 0;
};

struct ModuleRecord {
  uint16_t productCode = 0;
  std::string label;
  std::string kind;      // field 1 of the module line
  std::string priority;  // field 2: address-map priority character
  uint16_t bitsPerInputChannel = 0;
  uint16_t bitsPerOutputChannel = 0;
  uint16_t totalInputBits = 0;
  uint16_t totalOutputBits = 0;
  int32_t iconIndex = 0;
  std::string channelType;  // field 8
  uint16_t paraLength = 0;
  uint16_t inputSize = 0;
  uint16_t outputSize = 0;
  int32_t commNumber = -1;  // field 9; -1: not addressed by module number
  ImagePosition inUncompressed, inCompressed, outUncompressed, outCompressed;
  // Kept out of a packing list by an invalid priority character: no
  // compressed position in that direction.
  bool inPacked = false;
  bool outPacked = false;
  int32_t paraOffset = 0;
};

// Where a class of modules lies in the image (split layouts).
struct ClassBases {
  uint16_t digitalInput = 0x8000;
  uint16_t digitalOutput = 0x8800;
  uint16_t analogInput = 0;
  uint16_t analogOutput = 2048;
  uint16_t specialInput = 0;
  uint16_t specialOutput = 2048;
};

enum DeviceState : int { kDeviceOpened = 0, kDeviceRunning = 1, kDeviceLost = 2, kDeviceStopped = 3 };

// The process images of a device, by DriverImageKind 0..4; kind 2 names no
// image (it stays empty: while running drvRead answers it with 1 and copies
// nothing).
inline constexpr size_t kImageKinds = 5;
inline constexpr int kImageNone = 2;

struct DeviceRecord {
  uint16_t productCode = 0;
  std::string model;  // decides the model branches
  std::string name;   // the adapter's label from the module list (address-map row)
  uint16_t node = 1;
  uint16_t inputMode = 2;
  uint16_t outputMode = 0;
  uint16_t wordAddressing = 1;
  uint16_t ownInputBits = 0;
  uint16_t ownOutputBits = 0;
  uint16_t inputWordBase = 0;
  uint16_t inputBitBase = 0;
  uint16_t outputWordBase = 2048;
  uint16_t outputBitBase = 4096;
  ClassBases classBases;
  std::vector<OwnChannel> ownInputs, ownOutputs;
  std::vector<ModuleRecord> modules;
  // Keyed by upper-case name; the first entry of a name wins.
  std::map<std::string, SpecialRegister> specials;
  std::vector<SpecialRegister> commInit;
  uint16_t adapterPara = 0;
  uint16_t adapterInput = 0;
  uint16_t adapterOutput = 0;
  int state = kDeviceStopped;
  std::array<std::vector<uint8_t>, kImageKinds> images;  // by DriverImageKind
  int initialRead = 0;
  std::array<uint16_t, 4> inputLengths{};   // by input mode
  std::array<uint16_t, 2> outputLengths{};  // by output mode
  int lost = 0;
  // Bit k set: image kind k has been read from the device in this run
  // (drvRead answers a running device only from images it has read).
  unsigned validImages = 0;
  // Queued writes were dropped since the status was last read: the next
  // status read reports the connection as lost once, whatever came after.
  bool writesPurged = false;
  // Writes dropped since communication with the device last ran (queued
  // ones purged when it stopped answering, and ones refused while it did
  // not run): counted, and logged in one line when it runs again or the
  // instance stops.
  size_t writesDropped = 0;
  // Bit k set: the last monitoring read of image kind k failed. While any is
  // set the status reports the connection as lost.
  unsigned failedReads = 0;
  // Queued writes the device refused, as kind * 0x10000 + module; each
  // stands until a later write of that kind to that module succeeds, and
  // the status reports the connection as lost meanwhile.
  std::set<int> refusedWrites;
  // What the monitoring cycle has logged of the failures of its repeated
  // reads (what failed -> code), so that each is logged once until the read
  // succeeds again or the connection is new. Used by the cycle only.
  std::map<uint32_t, int> failuresLogged;
  // The requests the cycle repeats after its echo and writes, as the last
  // cycle made them (the channel may run them ahead). Used by the cycle only.
  CycleScript script;
  int statusOffset = -1;
  int fieldPowerOffset = -1;

  const ModuleRecord* ModuleByCommNumber(int n) const;
  const SpecialRegister* Special(const std::string& name) const;
};

// ---- model families -------------------------------------------------------
// Fixed-I/O adapters (own channels ahead of the modules): DM-T640, DM2-T640.
bool IsFixedIoModel(const std::string& model);
// Split layouts (digital and analog areas apart): KA-4470, KR-4470,
// KA-4410, KX-4410 (exact case) and KX-4470 (any case), by the first 7
// characters.
bool IsSplitModel(const std::string& model);
// The serial-line register set: the name from its 4th character on is 4519,
// 4511, 4512 or 4513.
bool IsFourModel(const std::string& model);
// Adapters that answer watchdog, update time and mode registers themselves
// (KA-4511, KA-4512, KA-4513 by the first 7 characters).
bool HasLocalAnswers(const std::string& model);

// A new record for `model` as drvSetDeviceProperty creates it: bases and own
// channels by family, then the special registers of the model.
DeviceRecord NewDeviceRecord(const std::string& model);

// The device property behind the tab: "<product code>,<node address>".
// The product code is decimal or "0x" hexadecimal (the definition writes
// it so); the node address must be a number from 0 to 255. On a TCP
// channel an empty node address is unit id 0: an adapter added to a TCP
// project has no node address of its own.
struct DevicePropertyFields {
  bool accepted = false;
  std::string refusal;  // the level-0 line of a refusal
  uint16_t productCode = 0;
  uint16_t node = 0;
};
DevicePropertyFields ParseDeviceProperty(const std::string& text, bool tcpChannel);

// The Init-CommBlock of the adapter entry, parsed into the device's CommInit
// list (offsets, image length, status and field-power offsets). False at the
// first bad entry; the entries before it stay.
bool ParseInitCommBlock(DeviceRecord& device, const std::string& block);

// A module line "%s,%s,%d,%d,%d,%d,%d,%s,%d" into the record's fields; false
// (with the reason) when it has fewer than 9 fields, a number field that is
// not a number, or channels of 0 bits while the module has bits.
bool ParseModuleLine(const std::string& line, ModuleRecord* module, std::string* reason);

}  // namespace tessivar
