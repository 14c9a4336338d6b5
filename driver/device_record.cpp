#include "driver/device_record.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "common/Utility.h"
#include "driver/driver_utils.h"

namespace tessivar {
namespace {

// Which models carry a special register.
enum class Models { All, Others, Four, FourExcept4511 };

struct SpecialDef {
  const char* name;
  uint16_t address;
  uint16_t size;
  const char* dataType;
  const char* sizeText;
  int writable;
  int monitored;
  Models models;
};

// In the order a new device gets them; the first entry of a name wins.
constexpr SpecialDef kSpecials[] = {
    {"ExpansionSlotNo", kRegExpansionSlotNo, 2, "Unsigned16", "1", 0, 0, Models::All},
    {"ActiveSlotNo", 0x1111, 2, "Unsigned16", "1", 0, 1, Models::All},
    {"InactiveSlotNo", 0x1112, 2, "Unsigned16", "1", 0, 1, Models::All},
    {"InactiveSlots", 0x1116, 4, "ByteArea", "4", 0, 1, Models::All},
    {"LiveSlots", 0x1117, 4, "ByteArea", "4", 0, 1, Models::All},
    {"AlarmSlots", 0x1118, 4, "ByteArea", "4", 0, 1, Models::All},
    {"BusStatus", 0x1119, 2, "ByteArea", "2", 0, 1, Models::All},
    {"FieldPwrStatus", 0x1119, 2, "ByteArea", "2", 0, 1, Models::All},
    {"WatchdogErr", 0x1119, 2, "ByteArea", "2", 0, 1, Models::All},
    {"InputMode", kRegInputMode, 2, "Unsigned16", "1", 1, 0, Models::All},
    {"OutputMode", kRegOutputMode, 2, "Unsigned16", "1", 1, 0, Models::All},
    {"Firmware", 0x1003, 2, "ByteArea", "2", 0, 0, Models::All},
    {"FirmwareDate", 0x1010, 4, "ByteArea", "4", 0, 0, Models::All},
    {"WatchdogTime", kRegWatchdogTime, 2, "Unsigned16", "1", 1, 0, Models::All},
    {"TCPConnectionTimeOut", 0x1041, 2, "Unsigned16", "1", 1, 0, Models::All},
    {"GatewayAddress", 0x1052, 4, "ByteArea", "4", 0, 0, Models::Others},
    {"SubnetMask", 0x1051, 4, "ByteArea", "4", 0, 0, Models::Others},
    {"MacAddress", 0x1053, 6, "ByteArea", "6", 0, 0, Models::Others},
    {"IPSettingMethod", 0x1045, 2, "Unsigned16", "1", 1, 0, Models::Others},
    {"CCLink_IE_Network_No", 0x1630, 2, "ByteArea", "2", 1, 0, Models::Others},
    {"CCLink_IE_Station", 0x1631, 2, "ByteArea", "2", 1, 0, Models::Others},
    {"IPaddress", 0x1600, 4, "IPAddr", "4", 0, 0, Models::Four},
    {"GatewayAddress", 0x1604, 4, "ByteArea", "4", 0, 0, Models::Four},
    {"SubnetMask", 0x1602, 4, "ByteArea", "4", 0, 0, Models::Four},
    {"RS232C_Baudrate", 0x1606, 2, "Unsigned16", "1", 1, 0, Models::Four},
    {"RS232C_Setting", 0x1607, 2, "ByteArea", "2", 1, 0, Models::Four},
    {"RS485_Baudrate", 0x1608, 2, "Unsigned16", "1", 1, 0, Models::Four},
    {"RS485_Setting", 0x1609, 2, "ByteArea", "2", 1, 0, Models::Four},
    {"ModbusStation", 0x160A, 2, "ByteArea", "2", 1, 0, Models::Four},
    {"IPsettingMethod", 0x160B, 2, "Unsigned16", "1", 1, 0, Models::Four},
    {"MacAddress", 0x1610, 6, "ByteArea", "6", 0, 0, Models::Four},
    {"SerialconnectionMethod", 0x1614, 2, "Unsigned16", "1", 1, 0, Models::FourExcept4511},
    {"RTC", 0x1620, 8, "ByteArea", "8", 1, 0, Models::Four},
    {"DipSwitch", 0x1101, 2, "ByteArea", "2", 0, 0, Models::All},
    {"IOUpdateTime", kRegIoUpdateTime, 2, "Unsigned16", "1", 1, 1, Models::All},
};

// The first 7 characters of a model name, the part its family is told by.
std::string_view Head7(const std::string& model) { return std::string_view(model).substr(0, 7); }

std::string Tail(const std::string& model) { return model.size() > 3 ? model.substr(3) : std::string(); }

bool Carries(Models models, const std::string& model) {
  const bool four = IsFourModel(model);
  switch (models) {
    case Models::All:
      return true;
    case Models::Others:
      return !four;
    case Models::Four:
      return four;
    case Models::FourExcept4511:
      return four && Tail(model) != "4511";
  }
  return false;
}

// A whole decimal number, or hexadecimal after "0x"; false for anything
// else.
bool ParseWhole(const std::string& text, long min, long max, long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const long value = std::strtol(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < min || value > max) return false;
  *out = value;
  return true;
}

std::string WithoutCommas(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != ',') out += c;
  }
  return TrimStr(out);
}

}  // namespace

const ModuleRecord* DeviceRecord::ModuleByCommNumber(int n) const {
  if (n < 1) return nullptr;
  for (const ModuleRecord& m : modules) {
    if (m.commNumber == n) return &m;
  }
  return nullptr;
}

const SpecialRegister* DeviceRecord::Special(const std::string& name) const {
  auto it = specials.find(Upper(name));
  return it == specials.end() ? nullptr : &it->second;
}

bool IsFixedIoModel(const std::string& model) {
  return EqualsNoCase(model, "DM-T640") || EqualsNoCase(model, "DM2-T640");
}

// The model families are asked in every monitoring cycle: the names are
// compared in place, without a copy of their head.
bool IsSplitModel(const std::string& model) {
  const std::string_view head = Head7(model);
  return head == "KA-4470" || head == "KR-4470" || head == "KA-4410" || head == "KX-4410" ||
         EqualsNoCase(head, "KX-4470");
}

bool IsFourModel(const std::string& model) {
  const std::string tail = Tail(model);
  return tail == "4519" || tail == "4511" || tail == "4512" || tail == "4513";
}

bool HasLocalAnswers(const std::string& model) {
  const std::string_view head = Head7(model);
  return head == "KA-4511" || head == "KA-4512" || head == "KA-4513";
}

DeviceRecord NewDeviceRecord(const std::string& model) {
  DeviceRecord d;
  d.model = model;
  d.name = model;
  if (IsFixedIoModel(model)) {
    for (int i = 0; i < 6; ++i) d.ownInputs.push_back({16, i, 0, 16 * i, "RTD"});
    for (int i = 0; i < 2; ++i) d.ownInputs.push_back({16, 6 + i, 0, 96 + 16 * i, "AI"});
    for (int i = 0; i < 8; ++i) d.ownInputs.push_back({1, 8, i, 128 + i, "DI"});
    for (int i = 0; i < 6; ++i) d.ownOutputs.push_back({16, 2048 + i, 0, 4096 + 16 * i, "AO"});
    d.ownInputBits = 144;
    d.ownOutputBits = 96;
    d.inputWordBase = 9;
    d.inputBitBase = 144;
    d.outputWordBase = 2054;
    d.outputBitBase = 4192;
  }
  for (const SpecialDef& def : kSpecials) {
    if (!Carries(def.models, model)) continue;
    SpecialRegister r;
    r.name = def.name;
    r.address = def.address;
    r.size = def.size;
    r.dataType = def.dataType;
    r.sizeText = def.sizeText;
    r.writable = def.writable;
    r.monitored = def.monitored;
    d.specials.emplace(Upper(r.name), r);
  }
  return d;
}

DevicePropertyFields ParseDeviceProperty(const std::string& text, bool tcpChannel) {
  DevicePropertyFields out;
  // GetCharCount counts the fields a separator makes.
  if (TrimStr(text).empty() || GetCharCount(text, ',') < 2) {
    out.refusal = StrFormat("Invalid device parameter. Contact the dealer. Property: %s.", text.c_str());
    return out;
  }
  const std::string code = WithoutCommas(GetToken(text, 1, ',', 1));
  const std::string node = WithoutCommas(GetToken(text, 2, ',', 1));
  if (code.empty()) {
    out.refusal = "device Communication id is empty. Contact the dealer.";
    return out;
  }
  long value = 0;
  if (!ParseWhole(code, 0, 0xFFFF, &value)) {
    out.refusal = StrFormat("Invalid device Communication id. Contact the dealer. Property: %s.", text.c_str());
    return out;
  }
  out.productCode = static_cast<uint16_t>(value);
  // A node that is not a number must not become node 0, the RTU broadcast
  // address: every device on the line would carry out a write sent to it.
  // Over TCP the unit id addresses no line, so "no node" is unit id 0.
  if (tcpChannel && node.empty()) {
    value = 0;
  } else if (!ParseWhole(node, 0, 255, &value)) {
    out.refusal = StrFormat("Invalid node address. Contact the dealer. Property: %s.", text.c_str());
    return out;
  }
  out.node = static_cast<uint16_t>(value);
  out.accepted = true;
  return out;
}

bool ParseInitCommBlock(DeviceRecord& device, const std::string& block) {
  device.commInit.clear();
  device.images[DRV_IMAGE_COMMINIT].clear();
  device.statusOffset = -1;
  device.fieldPowerOffset = -1;
  if (TrimStr(block).empty()) return true;
  uint16_t offset = 0;
  const int entries = GetCharCount(block, '\t');
  for (int i = 1; i <= entries; ++i) {
    const std::string entry = GetToken(block, static_cast<int16_t>(i), '\t', 1);
    if (GetCharCount(entry, ',') != 3) return false;
    const std::string name = GetToken(entry, 1, ',', 1);
    const std::string type = GetToken(entry, 2, ',', 1);
    const std::string size = GetToken(entry, 3, ',', 1);
    const SpecialRegister* special = device.Special(name);
    if (!special || !EqualsNoCase(type, special->dataType) || !EqualsNoCase(size, special->sizeText)) return false;
    SpecialRegister r = *special;
    r.offset = offset;
    if (EqualsNoCase(r.name, "BusStatus")) device.statusOffset = offset;
    if (EqualsNoCase(r.name, "FieldPwrStatus")) device.fieldPowerOffset = offset;
    offset = static_cast<uint16_t>(offset + r.size);
    device.commInit.push_back(r);
  }
  return true;
}

bool ParseModuleLine(const std::string& line, ModuleRecord* m, std::string* reason) {
  if (GetCharCount(line, ',') < 9) {
    *reason = "the module line has fewer than 9 fields";
    return false;
  }
  auto field = [&line](int i) { return GetToken(line, static_cast<int16_t>(i), ',', 1); };
  long v[9] = {};
  for (int i : {3, 4, 5, 6, 7, 9}) {
    if (!ParseWhole(field(i), i == 9 ? -1 : (i == 7 ? -0x7FFFFFFFL : 0), i == 7 ? 0x7FFFFFFFL : 0xFFFF, &v[i - 1])) {
      *reason = StrFormat("field %d of the module line is not a number", i);
      return false;
    }
  }
  m->kind = field(1);
  m->priority = field(2);
  m->bitsPerInputChannel = static_cast<uint16_t>(v[2]);
  m->bitsPerOutputChannel = static_cast<uint16_t>(v[3]);
  m->totalInputBits = static_cast<uint16_t>(v[4]);
  m->totalOutputBits = static_cast<uint16_t>(v[5]);
  m->iconIndex = static_cast<int32_t>(v[6]);
  m->channelType = field(8);
  m->commNumber = static_cast<int32_t>(v[8]);
  // Channels are counted by walking the bits channel by channel: a channel
  // of 0 bits would never end.
  if ((m->totalInputBits > 0 && m->bitsPerInputChannel == 0) ||
      (m->totalOutputBits > 0 && m->bitsPerOutputChannel == 0)) {
    *reason = "a module with bits has channels of 0 bits";
    return false;
  }
  return true;
}

}  // namespace tessivar
