#include "tools/simulator/station.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <utility>

#include "common/Utility.h"
#include "tools/simulator/setup_registers.h"

namespace qmx::sim {
namespace {

std::vector<uint8_t> U16(uint16_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)}; }

// A 32-bit slot mask as two registers, bits 0-15 in the first.
std::vector<uint8_t> Mask32(uint32_t m) {
  return {static_cast<uint8_t>((m >> 8) & 0xFF), static_cast<uint8_t>(m & 0xFF),
          static_cast<uint8_t>((m >> 24) & 0xFF), static_cast<uint8_t>((m >> 16) & 0xFF)};
}

bool GetBit(const std::vector<uint8_t>& bytes, size_t bit) {
  return bit / 8 < bytes.size() && ((bytes[bit / 8] >> (bit % 8)) & 1) != 0;
}

void SetBit(std::vector<uint8_t>& bytes, size_t bit, bool value) {
  if (bit / 8 >= bytes.size()) return;
  const auto mask = static_cast<uint8_t>(1u << (bit % 8));
  if (value)
    bytes[bit / 8] = static_cast<uint8_t>(bytes[bit / 8] | mask);
  else
    bytes[bit / 8] = static_cast<uint8_t>(bytes[bit / 8] & ~mask);
}

// Clears the bits of the last byte that lie beyond `bits`.
void MaskTail(std::vector<uint8_t>& bytes, size_t bits) {
  if (bits % 8 != 0 && !bytes.empty() && bytes.size() == (bits + 7) / 8)
    bytes.back() = static_cast<uint8_t>(bytes.back() & ((1u << (bits % 8)) - 1));
}

size_t Registers(size_t bytes) { return (bytes + 1) / 2; }

// A parameter block in wire order from its image: whole registers, image
// byte j at wire byte j ^ 1; bytes the default does not give are 0.
std::vector<uint8_t> ParaBlock(size_t length, const std::vector<uint8_t>& image) {
  std::vector<uint8_t> wire(2 * Registers(length), 0);
  for (size_t j = 0; j < length && j < image.size(); ++j) wire[j ^ 1] = image[j];
  return wire;
}

uint64_t SplitMix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace

LayoutFamily FamilyOf(const std::string& model) {
  const std::string up = Upper(model);
  if (up == "DM-T640" || up == "DM2-T640") return LayoutFamily::FixedIo;
  const std::string head = model.substr(0, 7);
  if (head == "KA-4470" || head == "KR-4470" || head == "KA-4410" || head == "KX-4410" ||
      Upper(head) == "KX-4470")
    return LayoutFamily::Split;
  return LayoutFamily::Standard;
}

bool IsFourModel(const std::string& model) {
  if (model.size() < 4) return false;
  const std::string tail = Upper(model.substr(3));
  return tail == "4519" || tail == "4511" || tail == "4512" || tail == "4513";
}

bool IsAnalogClass(const std::string& kind, bool output) {
  const std::string k = kind.size() > 2 ? kind.substr(1) : kind;
  if (k == (output ? "DO" : "DI")) return false;
  return k == (output ? "AO" : "AI") || kind == "Special";
}

uint8_t Station::PatternByte(uint64_t seed, uint8_t node, size_t slot, size_t index, uint64_t step) {
  uint64_t x = SplitMix(seed);
  x = SplitMix(x ^ (static_cast<uint64_t>(node) << 56) ^ (static_cast<uint64_t>(slot) << 40) ^
               (static_cast<uint64_t>(index) << 24));
  return static_cast<uint8_t>(SplitMix(x ^ step) & 0xFF);
}

Station::Station(StationConfig config) : config_(std::move(config)), family_(FamilyOf(config_.model)) {
  if (config_.inputMode < 0 || config_.inputMode > 3)
    throw std::invalid_argument("input mode must be 0 to 3");
  if (config_.outputMode < 0 || config_.outputMode > 1)
    throw std::invalid_argument("output mode must be 0 or 1");
  if (config_.modules.size() > 32) throw std::invalid_argument("at most 32 modules");
  const bool fixed = family_ == LayoutFamily::FixedIo;
  const int ain = config_.adapterInput >= 0 ? config_.adapterInput : (fixed ? 18 : 0);
  const int aout = config_.adapterOutput >= 0 ? config_.adapterOutput : (fixed ? 12 : 0);
  if (ain > 1024 || aout > 1024 || config_.adapterPara < 0 || config_.adapterPara > 1024)
    throw std::invalid_argument("adapter block sizes must be 0 to 1024 bytes");

  Slot adapter;
  adapter.spec.label = config_.model;
  adapter.spec.productCode = config_.productCode;
  adapter.spec.kind = "NA";
  adapter.spec.inputBits = static_cast<uint16_t>(ain * 8);
  adapter.spec.outputBits = static_cast<uint16_t>(aout * 8);
  adapter.spec.paraLength = static_cast<uint16_t>(config_.adapterPara);
  adapter.commNo = 0;
  slots_.push_back(adapter);
  int commNo = 0;
  for (const ModuleSpec& m : config_.modules) {
    Slot s;
    s.spec = m;
    s.commNo = m.communicates() ? ++commNo : -1;
    slots_.push_back(s);
  }
  for (Slot& s : slots_) {
    s.input.assign(s.spec.inputBytes(), 0);
    s.output.assign(s.spec.outputBytes(), 0);
  }
  BuildObjects();
  BuildLayouts();
  RefreshInputs();
}

void Station::AddObject(uint16_t address, const std::string& name, std::vector<uint8_t> bytes,
                        bool writable, Role role) {
  if (objects_.count(address)) return;  // the first object of an address wins
  objects_[address] = Object{name, std::move(bytes), writable, role, SIZE_MAX};
}

void Station::BuildObjects() {
  const StationConfig& c = config_;
  // An adapter keeps its addresses in memory order and serves that memory as
  // little-endian registers: 192.168.0.10 reads as 0xA8C0, 0x0A00.
  auto asWords = [](auto first, auto last) {
    std::vector<uint8_t> bytes(first, last);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
  };
  const std::vector<uint8_t> ip = asWords(c.ip.begin(), c.ip.end());
  const std::vector<uint8_t> mask = asWords(c.mask.begin(), c.mask.end());
  const std::vector<uint8_t> gw = asWords(c.gateway.begin(), c.gateway.end());
  const std::vector<uint8_t> mac = asWords(c.mac.begin(), c.mac.end());

  AddObject(reg::kVendor, "VendorCode", U16(0x0A51), false);
  AddObject(reg::kDeviceType, "DeviceType", U16(0x000C), false);
  AddObject(reg::kProductCode, "ProductCode", U16(c.productCode), false);
  AddObject(reg::kFirmware, "Firmware", U16(c.firmware), false);
  // Month and day, then the year: 0x0315, 0x2024 for 15 March 2024.
  AddObject(reg::kFirmwareDate, "FirmwareDate", {0x03, 0x15, 0x20, 0x24}, false);
  AddObject(reg::kWatchdogTime, "WatchdogTime", U16(0), true);
  AddObject(reg::kIoUpdateTime, "IOUpdateTime", U16(0), true);
  AddObject(reg::kTcpConnectionTimeout, "TCPConnectionTimeOut", U16(0), true);
  AddObject(reg::kDipSwitch, "DipSwitch", U16(c.node), false);
  AddObject(reg::kInputMode, "InputMode", U16(static_cast<uint16_t>(c.inputMode)), true, Role::InputMode);
  AddObject(reg::kOutputMode, "OutputMode", U16(static_cast<uint16_t>(c.outputMode)), true, Role::OutputMode);
  // Bus status: low byte = bus state (0 normal, 1 standby, 2 communication
  // fault, 3 configuration failed, 4 no expansion slot) with bit 7 set while
  // field power is missing; high byte bit 7 = watchdog error.
  AddObject(reg::kBusStatus, "BusStatus", U16(0x0000), false);
  AddObject(reg::kCommand, "Command", U16(0), true, Role::Command);
  if (IsFourModel(c.model)) {
    const bool is4511 = Upper(c.model.substr(3)) == "4511";
    AddObject(0x1600, "IPaddress", ip, false);
    AddObject(0x1602, "SubnetMask", mask, false);
    AddObject(0x1604, "GatewayAddress", gw, false);
    AddObject(0x1606, "RS232C_Baudrate", U16(3), true);  // code 3 = 9600 baud
    AddObject(0x1607, "RS232C_Setting", {0x08, 0x00}, true);
    AddObject(0x1608, "RS485_Baudrate", U16(3), true);
    AddObject(0x1609, "RS485_Setting", {0x08, 0x00}, true);
    AddObject(0x160A, "ModbusStation", U16(c.node), true);
    AddObject(0x160B, "IPsettingMethod", U16(0), true);
    AddObject(0x1610, "MacAddress", mac, false);
    if (!is4511) AddObject(0x1614, "SerialconnectionMethod", U16(0), true);
    AddObject(0x1620, "RTC", {0x20, 0x24, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}, true);
  } else {
    AddObject(reg::kIpSettingMethod, "IPSettingMethod", U16(0), true);
    AddObject(reg::kDeviceName, "DeviceName", DeviceNameBytes(c.model), false);
    AddObject(reg::kArpSetting, "ArpSetting", U16(1), true);
    AddObject(reg::kIpAddress, "IPAddress", ip, false);
    AddObject(reg::kSubnetMask, "SubnetMask", mask, false);
    AddObject(reg::kGateway, "GatewayAddress", gw, false);
    AddObject(reg::kMacAddress, "MacAddress", mac, false);
    AddObject(0x1630, "CCLink_IE_Network_No", {0x00, 0x01}, true);
    AddObject(0x1631, "CCLink_IE_Station", {0x00, 0x01}, true);
  }
  RefreshSlotObjects();
  if (c.adapterPara > 0) {
    AddObject(reg::kAdapterPara, "AdapterPara", ParaBlock(static_cast<size_t>(c.adapterPara), c.adapterParaDefault),
              true, Role::AdapterPara);
    objects_.at(reg::kAdapterPara).stored = static_cast<size_t>(c.adapterPara);
  }
  for (const Slot& s : slots_) {
    if (s.commNo >= 1 && s.spec.paraLength > 0) {
      const uint16_t address = ModuleParaRegister(s.commNo);
      AddObject(address, "Para" + std::to_string(s.commNo), ParaBlock(s.spec.paraLength, s.spec.defaultPara), true,
                Role::ModulePara);
      objects_.at(address).stored = s.spec.paraLength;
    }
  }
}

void Station::RefreshSlotObjects() {
  const size_t n = slots_.size() - 1;
  std::vector<uint8_t> list = U16(config_.productCode);
  uint32_t live = 0;
  for (size_t i = 1; i < slots_.size(); ++i) {
    const auto code = U16(slots_[i].spec.productCode);
    list.insert(list.end(), code.begin(), code.end());
    live |= 1u << (i - 1);
  }
  objects_.erase(reg::kModuleList);
  AddObject(reg::kExpansionSlotNo, "ExpansionSlotNo", U16(static_cast<uint16_t>(n)), false);
  AddObject(reg::kActiveSlotNo, "ActiveSlotNo", U16(static_cast<uint16_t>(n)), false);
  AddObject(reg::kInactiveSlotNo, "InactiveSlotNo", U16(0), false);
  AddObject(reg::kModuleList, "ModuleList", list, false);
  AddObject(reg::kInactiveSlots, "InactiveSlots", Mask32(0), false);
  AddObject(reg::kLiveSlots, "LiveSlots", Mask32(live), false);
  AddObject(reg::kAlarmSlots, "AlarmSlots", Mask32(0), false);
}

void Station::BuildLayouts() {
  layouts_.clear();
  // Modules follow whatever the area already holds (status word, the
  // adapter's own bytes).
  auto placeModules = [&](AreaLayout& l, bool output, bool compressed, auto&& include) {
    size_t bit = 8 * l.length;
    for (size_t i = 1; i < slots_.size(); ++i) {
      const ModuleSpec& m = slots_[i].spec;
      const size_t bits = output ? m.outputBits : m.inputBits;
      if (bits == 0 || !include(m)) continue;
      l.pieces.push_back({i, bit, bits});
      bit += compressed ? bits : 8 * ((bits + 7) / 8);
    }
    l.length = (bit + 7) / 8;
  };
  // The status word leads the area, except on the fixed-I/O adapters,
  // whose own channels keep registers 0-8 in every mode and the status
  // word follows them.
  auto adapterPiece = [&](AreaLayout& l, bool output) {
    const size_t bits = output ? slots_[0].spec.outputBits : slots_[0].spec.inputBits;
    const bool statusFirst = family_ != LayoutFamily::FixedIo;
    if (bits > 0) l.pieces.push_back({0, statusFirst ? 8 * l.lead : 0, bits});
    l.statusOffset = statusFirst ? 0 : (bits + 7) / 8;
    l.length = l.lead + (bits + 7) / 8;
  };
  auto all = [](const ModuleSpec&) { return true; };

  if (family_ == LayoutFamily::Split) {
    AreaLayout ai{{"analog input", false, 0, 0}, 0, 0, {}, 0};
    adapterPiece(ai, false);
    placeModules(ai, false, false, [](const ModuleSpec& m) { return IsAnalogClass(m.kind, false); });
    AreaLayout di{{"digital input", false, 0x8000, 0x8000}, 0, 0, {}, 0};
    placeModules(di, false, false, [](const ModuleSpec& m) { return !IsAnalogClass(m.kind, false); });
    AreaLayout ao{{"analog output", true, 2048, 2048}, 0, 0, {}, 0};
    adapterPiece(ao, true);
    placeModules(ao, true, false, [](const ModuleSpec& m) { return IsAnalogClass(m.kind, true); });
    AreaLayout dout{{"digital output", true, 0x8800, 0x8800}, 0, 0, {}, 0};
    placeModules(dout, true, false, [](const ModuleSpec& m) { return !IsAnalogClass(m.kind, true); });
    layouts_ = {ai, di, ao, dout};
  } else {
    AreaLayout in{{"input", false, 0, 0}, 0, 0, {}, 0};
    in.lead = (config_.inputMode == 0 || config_.inputMode == 1) ? 2 : 0;
    adapterPiece(in, false);
    placeModules(in, false, config_.inputMode == 1 || config_.inputMode == 3, all);
    AreaLayout out{{"output", true, 2048, 4096}, 0, 0, {}, 0};
    adapterPiece(out, true);
    placeModules(out, true, config_.outputMode == 1, all);
    layouts_ = {in, out};
  }
  // Each area must stay inside its register range and below the next table.
  for (const AreaLayout& l : layouts_) {
    const size_t limit = l.area.registerBase < 2048 ? 2048 : (l.area.registerBase < 0x1000 ? 0x1000 : 0x10000);
    if (l.area.registerBase + Registers(l.length) > limit || l.area.bitBase + 8 * l.length > 0x10000)
      throw std::invalid_argument("the " + l.area.name + " image does not fit its register range");
  }
  areas_.clear();
  for (const AreaLayout& l : layouts_) areas_.push_back(l.area);
}

void Station::SetTime(uint64_t ms) {
  if (config_.frozen) return;
  const uint64_t step = config_.inputPeriodMs ? ms / config_.inputPeriodMs : 0;
  if (step != step_) {
    step_ = step;
    RefreshInputs();
  }
}

void Station::RefreshInputs() {
  for (size_t i = 0; i < slots_.size(); ++i) {
    Slot& s = slots_[i];
    if (s.inputFixed) continue;
    for (size_t k = 0; k < s.input.size(); ++k) s.input[k] = PatternByte(config_.seed, config_.node, i, k, step_);
    MaskTail(s.input, s.spec.inputBits);
  }
}

std::vector<uint8_t> Station::Input(size_t slot) const { return slots_.at(slot).input; }

bool Station::SetInput(size_t slot, const std::vector<uint8_t>& bytes) {
  if (slot >= slots_.size() || bytes.size() != slots_[slot].input.size()) return false;
  slots_[slot].input = bytes;
  MaskTail(slots_[slot].input, slots_[slot].spec.inputBits);
  slots_[slot].inputFixed = true;
  return true;
}

void Station::ReleaseInputs() {
  for (Slot& s : slots_) s.inputFixed = false;
  RefreshInputs();
}

bool Station::SetOutput(size_t slot, const std::vector<uint8_t>& bytes) {
  if (slot >= slots_.size() || bytes.size() != slots_[slot].output.size()) return false;
  slots_[slot].output = bytes;
  MaskTail(slots_[slot].output, slots_[slot].spec.outputBits);
  return true;
}

std::vector<uint8_t> Station::Para(size_t slot) const {
  const Slot& s = slots_.at(slot);
  const uint16_t address = slot == 0 ? reg::kAdapterPara : ModuleParaRegister(s.commNo);
  if (slot != 0 && s.commNo < 1) return {};
  auto it = objects_.find(address);
  return it == objects_.end() ? std::vector<uint8_t>{} : it->second.bytes;
}

std::vector<uint8_t> Station::Compose(const AreaLayout& l) const {
  std::vector<uint8_t> image(l.length, 0);
  if (l.lead >= 2) {
    // The status word leads the input data: the bus status register,
    // stored low byte first like every register of the image.
    const std::vector<uint8_t>& status = objects_.at(reg::kBusStatus).bytes;
    image[l.statusOffset] = status[1];
    image[l.statusOffset + 1] = status[0];
  }
  for (const Piece& p : l.pieces) {
    const Slot& s = slots_[p.slot];
    const std::vector<uint8_t>& data = l.area.output ? s.output : s.input;
    if (p.bitOffset % 8 == 0) {
      // Byte-aligned (every uncompressed piece): whole bytes, then the tail bits.
      const size_t whole = p.bits / 8;
      std::copy(data.begin(), data.begin() + static_cast<long>(whole), image.begin() + static_cast<long>(p.bitOffset / 8));
      for (size_t b = 8 * whole; b < p.bits; ++b) SetBit(image, p.bitOffset + b, GetBit(data, b));
      continue;
    }
    for (size_t b = 0; b < p.bits; ++b) SetBit(image, p.bitOffset + b, GetBit(data, b));
  }
  return image;
}

void Station::Decompose(const AreaLayout& l, const std::vector<uint8_t>& image) {
  if (!l.area.output) return;
  for (const Piece& p : l.pieces) {
    Slot& s = slots_[p.slot];
    for (size_t b = 0; b < p.bits; ++b) SetBit(s.output, b, GetBit(image, p.bitOffset + b));
  }
}

size_t Station::InputImageLength() const {
  size_t n = 0;
  for (const AreaLayout& l : layouts_)
    if (!l.area.output) n += l.length;
  return n;
}

size_t Station::OutputImageLength() const {
  size_t n = 0;
  for (const AreaLayout& l : layouts_)
    if (l.area.output) n += l.length;
  return n;
}

const Station::AreaLayout* Station::RegisterArea(uint16_t address, uint16_t count) const {
  for (const AreaLayout& l : layouts_) {
    const size_t regs = Registers(l.length);
    if (regs == 0) continue;
    if (address >= l.area.registerBase && size_t{address} + count <= l.area.registerBase + regs) return &l;
  }
  return nullptr;
}

const Station::AreaLayout* Station::BitArea(uint16_t address, uint16_t count) const {
  for (const AreaLayout& l : layouts_) {
    const size_t bits = 8 * l.length;
    if (bits == 0) continue;
    if (address >= l.area.bitBase && size_t{address} + count <= l.area.bitBase + bits) return &l;
  }
  return nullptr;
}

Station::Object* Station::FindObject(uint16_t address, uint16_t count, size_t* offsetBytes) {
  auto it = objects_.find(address);
  if (it != objects_.end()) {
    if (count <= Registers(it->second.bytes.size())) {
      *offsetBytes = 0;
      return &it->second;
    }
    return nullptr;
  }
  // A start inside an object addresses its later registers.
  for (auto& [start, object] : objects_) {
    const size_t regs = Registers(object.bytes.size());
    if (start < address && address < start + regs && size_t{address} + count <= start + regs) {
      *offsetBytes = 2 * static_cast<size_t>(address - start);
      return &object;
    }
  }
  return nullptr;
}

Exception Station::ReadRegisters(uint16_t address, uint16_t count, std::vector<uint16_t>* out) {
  out->clear();
  if (count == 0) return Exception::IllegalValue;
  if (const AreaLayout* l = RegisterArea(address, count)) {
    const std::vector<uint8_t> image = Compose(*l);
    const size_t first = 2 * static_cast<size_t>(address - l->area.registerBase);
    for (size_t k = 0; k < count; ++k) {
      const size_t lo = first + 2 * k;
      const uint16_t low = lo < image.size() ? image[lo] : 0;
      const uint16_t high = lo + 1 < image.size() ? image[lo + 1] : 0;
      out->push_back(static_cast<uint16_t>(low | (high << 8)));
    }
    return Exception::None;
  }
  size_t offset = 0;
  if (Object* o = FindObject(address, count, &offset)) {
    for (size_t k = 0; k < count; ++k) {
      const size_t i = offset + 2 * k;
      const uint16_t high = i < o->bytes.size() ? o->bytes[i] : 0;
      const uint16_t low = i + 1 < o->bytes.size() ? o->bytes[i + 1] : 0;
      out->push_back(static_cast<uint16_t>((high << 8) | low));
    }
    return Exception::None;
  }
  return Exception::IllegalAddress;
}

Exception Station::WriteRegisters(uint16_t address, const std::vector<uint16_t>& values) {
  if (values.empty()) return Exception::IllegalValue;
  const auto count = static_cast<uint16_t>(values.size());
  if (const AreaLayout* l = RegisterArea(address, count)) {
    if (!l->area.output) return Exception::IllegalAddress;
    std::vector<uint8_t> image = Compose(*l);
    const size_t first = 2 * static_cast<size_t>(address - l->area.registerBase);
    for (size_t k = 0; k < values.size(); ++k) {
      const size_t lo = first + 2 * k;
      if (lo < image.size()) image[lo] = static_cast<uint8_t>(values[k] & 0xFF);
      if (lo + 1 < image.size()) image[lo + 1] = static_cast<uint8_t>(values[k] >> 8);
    }
    Decompose(*l, image);
    return Exception::None;
  }
  size_t offset = 0;
  if (Object* o = FindObject(address, count, &offset)) {
    if (!o->writable) return Exception::IllegalAddress;
    return WriteObject(*o, offset, values);
  }
  return Exception::IllegalAddress;
}

Exception Station::WriteObject(Object& o, size_t offset, const std::vector<uint16_t>& values) {
  switch (o.role) {
    case Role::InputMode:
      if (values[0] > 3) return Exception::IllegalValue;
      config_.inputMode = values[0];
      StoreModes();
      BuildLayouts();
      return Exception::None;
    case Role::OutputMode:
      if (values[0] > 1) return Exception::IllegalValue;
      config_.outputMode = values[0];
      StoreModes();
      BuildLayouts();
      return Exception::None;
    case Role::Command:
      if (values[0] == reg::kCommandParaBegin) paraSession_ = true;
      if (values[0] == reg::kCommandParaEnd) paraSession_ = false;
      break;
    case Role::ModulePara:
      if (config_.requireParaSession && !paraSession_) return Exception::DeviceFailure;
      break;
    default:
      break;
  }
  for (size_t k = 0; k < values.size(); ++k) {
    const size_t i = offset + 2 * k;
    if (i < o.bytes.size()) o.bytes[i] = static_cast<uint8_t>(values[k] >> 8);
    if (i + 1 < o.bytes.size()) o.bytes[i + 1] = static_cast<uint8_t>(values[k] & 0xFF);
  }
  for (size_t j = o.stored; j < o.bytes.size(); ++j) o.bytes[j ^ 1] = 0;
  return Exception::None;
}

void Station::StoreModes() {
  objects_.at(reg::kInputMode).bytes = U16(static_cast<uint16_t>(config_.inputMode));
  objects_.at(reg::kOutputMode).bytes = U16(static_cast<uint16_t>(config_.outputMode));
}

bool Station::SetModes(int inputMode, int outputMode) {
  if (inputMode < 0 || inputMode > 3 || outputMode < 0 || outputMode > 1) return false;
  config_.inputMode = inputMode;
  config_.outputMode = outputMode;
  StoreModes();
  BuildLayouts();
  return true;
}

Exception Station::ReadBits(uint16_t address, uint16_t count, std::vector<uint8_t>* out) {
  out->clear();
  if (count == 0) return Exception::IllegalValue;
  const AreaLayout* l = BitArea(address, count);
  if (!l) return Exception::IllegalAddress;
  const std::vector<uint8_t> image = Compose(*l);
  const size_t first = address - l->area.bitBase;
  for (size_t k = 0; k < count; ++k) out->push_back(GetBit(image, first + k) ? 1 : 0);
  return Exception::None;
}

Exception Station::WriteBits(uint16_t address, const std::vector<uint8_t>& bits) {
  if (bits.empty()) return Exception::IllegalValue;
  const AreaLayout* l = BitArea(address, static_cast<uint16_t>(bits.size()));
  if (!l) return Exception::IllegalAddress;
  if (!l->area.output) return Exception::IllegalAddress;
  std::vector<uint8_t> image = Compose(*l);
  const size_t first = address - l->area.bitBase;
  for (size_t k = 0; k < bits.size(); ++k) SetBit(image, first + k, bits[k] != 0);
  Decompose(*l, image);
  return Exception::None;
}

void Station::Restart() {
  counters_ = DiagCounters{};
  for (Slot& s : slots_) std::fill(s.output.begin(), s.output.end(), 0);
  objects_.at(reg::kCommand).bytes = U16(0);
  paraSession_ = false;
}

Exception Station::Diagnostic(uint16_t sub, const std::vector<uint8_t>& data, std::vector<uint8_t>* reply) {
  reply->clear();
  auto counter = [&](uint16_t v) {
    *reply = U16(v);
    return Exception::None;
  };
  if (sub != 0x0000 && data.size() != 2) return Exception::IllegalValue;
  switch (sub) {
    case 0x0000:  // return query data
      *reply = data;
      return Exception::None;
    case 0x0001: {  // restart communications
      const uint16_t v = static_cast<uint16_t>((data[0] << 8) | data[1]);
      if (v != 0x0000 && v != 0xFF00) return Exception::IllegalValue;
      Restart();
      *reply = data;
      return Exception::None;
    }
    case 0x000A:  // clear counters
      counters_ = DiagCounters{};
      *reply = data;
      return Exception::None;
    case 0x000B: return counter(counters_.busMessages);
    case 0x000C: return counter(counters_.commErrors);
    case 0x000D: return counter(counters_.exceptions);
    case 0x000E: return counter(counters_.slaveMessages);
    case 0x000F: return counter(counters_.noResponse);
    default: return Exception::IllegalFunction;
  }
}

uint16_t Station::commandRegister() const {
  const std::vector<uint8_t>& b = objects_.at(reg::kCommand).bytes;
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

bool Station::ObjectBytes(uint16_t address, std::vector<uint8_t>* out) const {
  auto it = objects_.find(address);
  if (it == objects_.end()) return false;
  *out = it->second.bytes;
  return true;
}

bool Station::SetObjectBytes(uint16_t address, const std::vector<uint8_t>& bytes) {
  auto it = objects_.find(address);
  if (it == objects_.end() || bytes.size() != it->second.bytes.size()) return false;
  if (it->second.role == Role::InputMode || it->second.role == Role::OutputMode) {
    const int v = (bytes[0] << 8) | bytes[1];
    const bool input = it->second.role == Role::InputMode;
    return SetModes(input ? v : config_.inputMode, input ? config_.outputMode : v);
  }
  it->second.bytes = bytes;
  return true;
}

bool Station::FindNamedObject(const std::string& name, uint16_t* address, size_t* bytes) const {
  std::string wanted = Upper(name);
  if (wanted == "FIELDPWRSTATUS" || wanted == "WATCHDOGERR") wanted = "BUSSTATUS";
  for (const auto& [start, object] : objects_) {
    if (Upper(object.name) != wanted) continue;
    *address = start;
    *bytes = object.bytes.size();
    return true;
  }
  return false;
}

}  // namespace qmx::sim
