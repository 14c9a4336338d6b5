// The register model of one simulated station: a network adapter of a given
// model with its I/O modules, answering Modbus reads and writes by start
// address and count. Toolkit-free and transport-free, so it is unit-tested
// on its own; the transports (server.h) only frame requests and replies.
//
// Two tables answer requests:
//  - registers (FC 3, 4, 6, 16): the process-image areas, addressed flat
//    (register k of an area = its image bytes 2k and 2k+1, low byte first, as
//    the driver stores its images), and the named objects (special registers,
//    parameter blocks, the command register), addressed by object: a request
//    that starts at an object's register reads or writes that object, even
//    where objects' register ranges overlap (0x1051, 0x1052, 0x1053).
//  - bits (FC 1, 2, 5, 15): the same process-image areas, bit c of an area
//    being bit c % 8 of its image byte c / 8, so coils alias onto the output
//    registers and discrete inputs onto the input registers.
#pragma once

#include <array>
#include <cstdint>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace qmx::sim {

// Modbus exception codes; None is success.
enum class Exception : uint8_t {
  None = 0,
  IllegalFunction = 1,
  IllegalAddress = 2,
  IllegalValue = 3,
  DeviceFailure = 4,
};

// One I/O module as the station carries it.
struct ModuleSpec {
  std::string label;         // preset name or the label given in the configuration
  uint16_t productCode = 0;  // reported in the module list (0x1113)
  std::string kind;          // "DI", "DO", "AI", "AO", "Special", ...
  uint16_t inputBits = 0;
  uint16_t outputBits = 0;
  uint16_t paraLength = 0;   // bytes of its parameter block
  // Whether the module takes a communication number: 1 or 0 as its
  // description says (CanCommunication); -1 decides by its data (a module
  // without I/O and parameters, a power or end module, has none).
  int communicating = -1;
  std::vector<uint8_t> defaultPara{};  // initial parameter bytes in image order; empty: zeros

  uint16_t inputBytes() const { return static_cast<uint16_t>((inputBits + 7) / 8); }
  uint16_t outputBytes() const { return static_cast<uint16_t>((outputBits + 7) / 8); }
  bool communicates() const {
    return communicating >= 0 ? communicating != 0 : (inputBits > 0 || outputBits > 0 || paraLength > 0);
  }
};

// How the process image of a model is laid out.
enum class LayoutFamily {
  Standard,  // modular adapter: inputs from register 0, outputs from 2048 (coil 4096)
  FixedIo,   // adapter with own channels (6 RTD, 2 AI, 8 DI in; 6 AO out) ahead of the modules
  Split,     // separate digital and analog areas (0x8000/0x8800 and 0/2048)
};

LayoutFamily FamilyOf(const std::string& model);
// The models with the serial-line register set (0x1600..): the name from its
// fourth character on is 4519, 4511, 4512 or 4513.
bool IsFourModel(const std::string& model);

struct StationConfig {
  std::string model = "QMX-4101";
  uint16_t productCode = 0x4101;  // the shipped catalogue's code of the default model
  uint8_t node = 1;
  std::vector<ModuleSpec> modules;
  // Sizes of the adapter's own blocks in bytes; -1 = the model's default
  // (fixed-I/O adapters 18 in / 12 out, others 0).
  int adapterPara = 0;
  std::vector<uint8_t> adapterParaDefault;  // initial adapter parameters in image order; empty: zeros
  int adapterInput = -1;
  int adapterOutput = -1;
  int inputMode = 2;   // 0..3
  int outputMode = 0;  // 0..1
  std::array<uint8_t, 4> ip{192, 168, 0, 10};
  std::array<uint8_t, 4> mask{255, 255, 255, 0};
  std::array<uint8_t, 4> gateway{192, 168, 0, 1};
  std::array<uint8_t, 6> mac{0x00, 0x1A, 0x4C, 0x00, 0x00, 0x01};
  uint16_t firmware = 0x0105;
  uint64_t seed = 1;
  uint32_t inputPeriodMs = 500;  // inputs step to their next pattern value this often
  bool frozen = false;           // inputs keep the values of time 0
  bool requireParaSession = false;  // module parameter writes only between 0x111A = 0x0400 and 0x0100
};

// The named registers of the adapter (addresses of the special registers).
namespace reg {
constexpr uint16_t kVendor = 0x1000;
constexpr uint16_t kDeviceType = 0x1001;
constexpr uint16_t kProductCode = 0x1002;
constexpr uint16_t kFirmware = 0x1003;
constexpr uint16_t kFirmwareDate = 0x1010;
constexpr uint16_t kWatchdogTime = 0x1020;
constexpr uint16_t kIoUpdateTime = 0x1028;
constexpr uint16_t kTcpConnectionTimeout = 0x1041;
constexpr uint16_t kIpSettingMethod = 0x1045;
constexpr uint16_t kIpAddress = 0x1050;
constexpr uint16_t kSubnetMask = 0x1051;
constexpr uint16_t kGateway = 0x1052;
constexpr uint16_t kMacAddress = 0x1053;
constexpr uint16_t kDipSwitch = 0x1101;
constexpr uint16_t kExpansionSlotNo = 0x1110;
constexpr uint16_t kActiveSlotNo = 0x1111;
constexpr uint16_t kInactiveSlotNo = 0x1112;
constexpr uint16_t kModuleList = 0x1113;
constexpr uint16_t kInputMode = 0x1114;
constexpr uint16_t kOutputMode = 0x1115;
constexpr uint16_t kInactiveSlots = 0x1116;
constexpr uint16_t kLiveSlots = 0x1117;
constexpr uint16_t kAlarmSlots = 0x1118;
constexpr uint16_t kBusStatus = 0x1119;
constexpr uint16_t kCommand = 0x111A;
constexpr uint16_t kAdapterPara = 0x2811;
constexpr uint16_t kModuleParaBase = 0x1FF1;  // module n: 32 * n + 0x1FF1
// Values of the command register around a parameter write.
constexpr uint16_t kCommandParaBegin = 0x0400;
constexpr uint16_t kCommandParaEnd = 0x0100;
}  // namespace reg

inline uint16_t ModuleParaRegister(int commNo) {
  return static_cast<uint16_t>(32 * commNo + reg::kModuleParaBase);
}

// Diagnostic counters of FC 8.
struct DiagCounters {
  uint16_t busMessages = 0;     // sub-function 0x0B
  uint16_t commErrors = 0;      // 0x0C (bad frames on the line)
  uint16_t exceptions = 0;      // 0x0D
  uint16_t slaveMessages = 0;   // 0x0E
  uint16_t noResponse = 0;      // 0x0F
};

class Station {
public:
  // Throws std::invalid_argument when the configuration cannot be laid out
  // (an image too large for its register range).
  explicit Station(StationConfig config);

  const StationConfig& config() const { return config_; }
  uint8_t node() const { return config_.node; }

  // Elapsed milliseconds since start; drives the inputs unless frozen.
  void SetTime(uint64_t ms);
  void SetFrozen(bool frozen) { config_.frozen = frozen; }

  // --- Modbus operations ---
  // FC 3 and FC 4 read the same register table.
  Exception ReadRegisters(uint16_t address, uint16_t count, std::vector<uint16_t>* out);
  Exception WriteRegisters(uint16_t address, const std::vector<uint16_t>& values);
  // FC 1 and FC 2 read the same bit table; bits as 0/1 values.
  Exception ReadBits(uint16_t address, uint16_t count, std::vector<uint8_t>* out);
  Exception WriteBits(uint16_t address, const std::vector<uint8_t>& bits);
  // FC 8: the reply data that follow the echoed sub-function.
  Exception Diagnostic(uint16_t subFunction, const std::vector<uint8_t>& data,
                       std::vector<uint8_t>* reply);
  DiagCounters& counters() { return counters_; }

  // --- state for the control channel and tests ---
  // slot 0 = the adapter's own block, 1..n the modules in slot order.
  size_t slotCount() const { return slots_.size(); }
  int commNumber(size_t slot) const { return slots_.at(slot).commNo; }
  std::vector<uint8_t> Input(size_t slot) const;
  // Fixes a slot's input bytes (they stop following the pattern).
  bool SetInput(size_t slot, const std::vector<uint8_t>& bytes);
  void ReleaseInputs();
  std::vector<uint8_t> Output(size_t slot) const { return slots_.at(slot).output; }
  bool SetOutput(size_t slot, const std::vector<uint8_t>& bytes);
  // Parameter bytes in wire order (register high byte first), whole
  // registers: an odd block length gets a pad byte, as the driver reads and
  // writes whole registers (image byte j is wire byte j ^ 1).
  std::vector<uint8_t> Para(size_t slot) const;

  // Object bytes in wire order; false for an unknown address.
  bool ObjectBytes(uint16_t address, std::vector<uint8_t>* out) const;
  // Replaces an object's bytes whatever its access (bus status, slot masks).
  bool SetObjectBytes(uint16_t address, const std::vector<uint8_t>& bytes);
  // The register of a named special register as an adapter's communication
  // init block names it (case ignored; "FieldPwrStatus" and "WatchdogErr"
  // are parts of the bus-status register); false when the station has none.
  bool FindNamedObject(const std::string& name, uint16_t* address, size_t* bytes) const;

  int inputMode() const { return config_.inputMode; }
  bool SetModes(int inputMode, int outputMode);
  uint16_t commandRegister() const;
  bool paraSessionOpen() const { return paraSession_; }
  // Restart communications (FC 8 sub-function 1): counters cleared, outputs
  // off, command register and parameter session reset.
  void Restart();

  // The composed image of an area (little-endian bytes, as the driver stores
  // it); by index into areas().
  struct Area {
    std::string name;      // "input", "output", "analog input", ...
    bool output = false;
    uint16_t registerBase = 0;
    uint32_t bitBase = 0;
  };
  const std::vector<Area>& areas() const { return areas_; }
  // Image lengths of the standard and fixed-I/O layouts, as read per mode.
  size_t InputImageLength() const;
  size_t OutputImageLength() const;

  // The pattern value of input byte `index` of a slot at a pattern step:
  // deterministic in the seed, the node, the slot and the step.
  static uint8_t PatternByte(uint64_t seed, uint8_t node, size_t slot, size_t index, uint64_t step);

private:
  struct Slot {
    ModuleSpec spec;
    int commNo = -1;
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    bool inputFixed = false;
  };
  enum class Role { Plain, InputMode, OutputMode, Command, AdapterPara, ModulePara };
  struct Object {
    std::string name;
    std::vector<uint8_t> bytes;  // wire order
    bool writable = false;
    Role role = Role::Plain;
    size_t stored = SIZE_MAX;    // image bytes a write keeps; the pad byte of an odd parameter block stays 0
  };
  struct Piece {
    size_t slot;
    size_t bitOffset;  // where the slot's data start in the area
    size_t bits;       // how many bits of the slot's data
  };
  struct AreaLayout {
    Area area;
    size_t lead = 0;          // bytes of the status word in the area (0 or 2)
    size_t statusOffset = 0;  // where the status word lies: ahead of everything, or behind a fixed-I/O adapter's own bytes
    std::vector<Piece> pieces;
    size_t length = 0;  // bytes
  };

  void BuildObjects();
  void AddObject(uint16_t address, const std::string& name, std::vector<uint8_t> bytes, bool writable,
                 Role role = Role::Plain);
  void RefreshSlotObjects();
  void BuildLayouts();
  void RefreshInputs();
  std::vector<uint8_t> Compose(const AreaLayout& layout) const;
  void Decompose(const AreaLayout& layout, const std::vector<uint8_t>& image);
  const AreaLayout* RegisterArea(uint16_t address, uint16_t count) const;
  const AreaLayout* BitArea(uint16_t address, uint16_t count) const;
  Object* FindObject(uint16_t address, uint16_t count, size_t* offsetBytes);
  Exception WriteObject(Object& object, size_t offset, const std::vector<uint16_t>& values);
  void StoreModes();

  StationConfig config_;
  LayoutFamily family_;
  std::vector<Slot> slots_;
  std::map<uint16_t, Object> objects_;
  std::vector<AreaLayout> layouts_;
  std::vector<Area> areas_;
  uint64_t step_ = 0;
  bool paraSession_ = false;
  DiagCounters counters_;
};

// Split-layout class of a module's kind text: true for the analog (or
// special) class in the given direction.
bool IsAnalogClass(const std::string& kind, bool output);

}  // namespace qmx::sim
