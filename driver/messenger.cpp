#include "driver/messenger.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>
#include <thread>

#include "common/Utility.h"
#include "common/WholeFile.h"
#include "driver/driver_library.h"
#include "driver/driver_utils.h"
#include "driver/modbus/modbus_serial.h"
#include "driver/modbus/modbus_tcp.h"

namespace tessivar::windows {

const MessengerFunction kMessengerFunctions[kMessengerFunctionCount] = {
    {"01, Read Coils (output bit)", kFcReadCoils, kRequestRead, "Bit"},
    {"02, Read Discrete Inputs (input bit)", kFcReadDiscreteInputs, kRequestRead, "Bit"},
    {"03, Read Holding Registers (output word)", kFcReadHoldingRegisters, kRequestRead, "Word"},
    {"04, Read Input Registers (input word)", kFcReadInputRegisters, kRequestRead, "Word"},
    {"05, Write Single Coil (1 bit output)", kFcWriteSingleCoil, kRequestSingleWrite, ""},
    {"06, Write Single Register (1 word output)", kFcWriteSingleRegister, kRequestSingleWrite, ""},
    {"08, Diagnostics ", kFcDiagnostics, kRequestSingleWrite, ""},
    {"15, Write Multiple Coils (output bits)", kFcWriteMultipleCoils, kRequestMultipleWrite, "Bit"},
    {"16, Write Multiple registers (output words)", kFcWriteMultipleRegisters, kRequestMultipleWrite, "Word"},
};

const char* const kReplyFormatNames[7] = {"WordHex", "WordUnsigned", "WordSigned", "Ascii",
                                          "ByteHex", "ByteBit",      "ByteDec"};

namespace {

int BitBytes(int quantity) { return (quantity + 7) / 8; }

bool IsBlank(const std::string& text) { return TrimStr(text).empty(); }

// Decimal digits with an optional leading '-', nothing else.
bool ParseInteger(const std::string& text, long long& value) {
  const std::string t = TrimStr(text);
  if (t.empty() || t == "-" || !IsIntegerText(t, 0) || t.size() > 12) return false;
  value = std::strtoll(t.c_str(), nullptr, 10);
  return true;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(text);
  while (std::getline(in, field, ',')) fields.push_back(TrimStr(field));
  if (!text.empty() && text.back() == ',') fields.emplace_back();
  return fields;
}

MessengerCheck Fail(const char* message, int field) { return {message, field}; }

class LogOwner : public ModbusOwner {
public:
  void MasterLog(int level, const std::string& text) override { RouteLog(level, text); }
  void PingReport(const std::string&, int) override {}
};

}  // namespace

int RequestDataBytes(int index, int quantity) {
  switch (index) {
    case 4:
    case 5: return 2;
    case 6:
    case 8: return 2 * quantity;
    case 7: return BitBytes(quantity);
    default: return 0;
  }
}

int ExpectedReplyBytes(int index, int quantity) {
  switch (index) {
    case 0:
    case 1: return BitBytes(quantity);
    case 2:
    case 3:
    case 6: return 2 * quantity;
    case 4:
    case 5:
    case 7:
    case 8: return 2;
    default: return 0;
  }
}

bool QuantityEnabled(int index) { return index != 4 && index != 5; }

TcpCommSetting MessengerTcpDefaults() {
  TcpCommSetting tcp;
  tcp.port = 502;
  tcp.timeoutMs = 250;
  tcp.localPort = 4322;
  tcp.field5Value = 5;
  tcp.reconnectPeriodS = 10;
  tcp.field7Value = 0;
  return tcp;
}

SerialCommSetting MessengerSerialDefaults() {
  SerialCommSetting serial;
  serial.comPort = 1;
  serial.baudRate = 9600;
  serial.dataBits = 8;
  serial.parityCode = 0;
  serial.stopBitsCode = 0;
  serial.timeoutMs = 500;
  serial.secondTimeoutMs = 500;
  return serial;
}

MessengerCheck BuildMessengerRequest(const MessengerFields& f, MessengerRequest& request, TcpCommSetting& tcp,
                                     SerialCommSetting& serial) {
  const bool rtu = f.protocol == kProtocolRtu;
  long long comPort = 0;
  if (rtu) {
    if (IsBlank(f.comPort)) return Fail("Fill in a COM Port.", kFieldComPort);
    if (!ParseInteger(f.comPort, comPort)) return Fail("COM Port value must be integer.", kFieldComPort);
  } else if (!IsValidIpAddr(TrimStr(f.ipAddress))) {
    return Fail("Input a IP Address or Check IP Address format.", kFieldIp);
  }
  const int index = f.functionIndex >= 0 && f.functionIndex < kMessengerFunctionCount ? f.functionIndex : 2;
  const bool quantityOn = QuantityEnabled(index);
  if (IsBlank(f.slaveId)) return Fail("Fill in a Slave ID.", kFieldSlave);
  if (IsBlank(f.address)) return Fail("Fill in a Address.", kFieldAddress);
  if (quantityOn && IsBlank(f.quantity)) return Fail("Fill in a quantity.", kFieldQuantity);

  long long slave = 0;
  if (!ParseInteger(f.slaveId, slave)) return Fail("Slave ID value must be integer.", kFieldSlave);
  // Unit 0 is accepted: a TCP adapter without a node address answers it (the
  // driver addresses such an adapter so). Over TCP the unit byte takes any
  // value; on a serial line 248..255 are reserved.
  if (slave < 0) return Fail("Slave ID must be greater than 0.", kFieldSlave);
  if (rtu && slave > 247) return Fail("Slave ID must be 247 or less.", kFieldSlave);
  if (slave > 255) return Fail("Slave ID must be 255 or less.", kFieldSlave);

  const std::string address = NormalizeHexText(TrimStr(f.address), 0, 0);
  if (address == "INVALID" || address.empty() || std::strtoul(address.c_str(), nullptr, 16) > 0xFFFF ||
      address.size() > 8)
    return Fail("Check if address is valid hex format.", kFieldAddress);

  long long quantity = 0;
  if (quantityOn) {
    if (!ParseInteger(f.quantity, quantity)) return Fail("Quantity value must be integer.", kFieldQuantity);
    if (quantity < 1) return Fail("Quantity must be greater than 1.", kFieldQuantity);
    if (quantity > 0xFFFF || RequestDataBytes(index, static_cast<int>(quantity)) > kMaxRequestData ||
        ExpectedReplyBytes(index, static_cast<int>(quantity)) > kReplyBufferSize)
      return Fail("Quantity is too large for one request.", kFieldQuantity);
  }

  const MessengerFunction& fn = kMessengerFunctions[index];
  const bool writes = fn.writeKind != kRequestRead;
  std::vector<uint8_t> data;
  if (writes) {
    const std::string digits = NormalizeHexText(TrimStr(f.sendData), 0, 0);
    if (digits == "INVALID") return Fail("Check if send data is valid hex format.", kFieldSendData);
    // The digits are filled with "0" on the right: a lone last digit is the
    // high half of its byte.
    data = HexPairsToBytes(digits, SIZE_MAX, HexOddDigit::kHighHalf);
    data.resize(static_cast<size_t>(RequestDataBytes(index, static_cast<int>(quantity))), 0);
  }
  uint16_t sentQuantity = static_cast<uint16_t>(quantity);
  if (fn.code == kFcWriteSingleCoil) {
    if (!((data[0] == 0xFF || data[0] == 0x00) && data[1] == 0x00))
      return Fail("The send data of 5 function must have 'FF00' or '0000'", kFieldSendData);
    data = {data[0], 0};
    sentQuantity = 0;
  } else if (fn.code == kFcWriteSingleRegister) {
    sentQuantity = 0;
  } else if (fn.code == kFcWriteMultipleCoils) {
    for (size_t i = data.size(); i >= 2; i -= 2) std::swap(data[i - 2], data[i - 1]);
  }

  request.slave = static_cast<uint8_t>(slave);
  request.function = fn.code;
  request.address = static_cast<uint16_t>(std::strtoul(address.c_str(), nullptr, 16));
  request.quantity = sentQuantity;
  request.writeKind = fn.writeKind;
  request.data = std::move(data);
  request.expectedReply = ExpectedReplyBytes(index, static_cast<int>(quantity));

  if (rtu) {
    serial.comPort = static_cast<int>(comPort);
    const std::vector<std::string> parts = SplitCommas(f.serialSettings);
    auto part = [&parts](size_t i) { return i < parts.size() ? parts[i] : std::string(); };
    serial.baudRate = std::atoi(part(0).c_str());
    serial.dataBits = std::atoi(part(1).c_str());
    serial.parityCode = ParityCodeFromName(part(2));
    serial.stopBitsCode = std::atoi(part(3).c_str());
    serial.timeoutMs = 500;
  } else {
    tcp.ipAddress = TrimStr(f.ipAddress);
  }
  return {};
}

std::string FormatReply(const uint8_t* reply, int length, int format, bool swapWords, const std::string& trimText) {
  if (!reply || length <= 0) return {};
  std::vector<uint8_t> bytes(reply, reply + length);
  long long trim = 0;
  if (!IsBlank(trimText) && ParseInteger(trimText, trim) && trim > 0) {
    if (trim >= length) return {};
    bytes.erase(bytes.begin(), bytes.begin() + trim);
  }
  if (swapWords) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  }
  const int n = static_cast<int>(bytes.size());
  std::string text;
  switch (format) {
    case kWordHex: return text.append(" ").append(BytesToHexText(bytes.data(), n, 2));
    case kByteHex: return text.append(" ").append(BytesToHexText(bytes.data(), n, 1));
    case kAscii:
      text = " ";
      for (uint8_t b : bytes) {
        if (b == 0) break;
        text += static_cast<char>(b);
      }
      return text;
    case kByteBit:
      for (uint8_t b : bytes) {
        text += ' ';
        for (int bit = 7; bit >= 0; --bit) text += ((b >> bit) & 1) ? '1' : '0';
      }
      return text;
    case kByteDec:
      for (uint8_t b : bytes) text += StrFormat(" %d", b);
      return text;
    case kWordUnsigned:
    case kWordSigned:
      for (int i = 0; i + 1 < n; i += 2) {
        const uint16_t w = static_cast<uint16_t>((bytes[i] << 8) | bytes[i + 1]);
        text += format == kWordUnsigned ? StrFormat(" %u", static_cast<unsigned>(w))
                                        : StrFormat(" %d", static_cast<int>(static_cast<int16_t>(w)));
      }
      return text;
    default: return {};
  }
}

MessengerOutcome RunMessengerExchange(int protocol, const TcpCommSetting& tcp, const SerialCommSetting& serial,
                                      const MessengerRequest& request, int pauseMs) {
  MessengerOutcome out;
  LogOwner owner;
  std::unique_ptr<Modbus> channel;
  if (protocol == kProtocolRtu)
    channel.reset(new (std::nothrow) ModbusSerial());
  else
    channel.reset(new (std::nothrow) CModbusTCP());
  if (!channel) {
    out.status = " Failed. Out of memory.";
    return out;
  }
  channel->SetOwner(&owner);
  const int opened =
      protocol == kProtocolRtu ? channel->OpenConnection(serial, 0, 0) : channel->OpenConnection(tcp, 0, 0);
  if (opened != 1) {
    out.result = opened;
    out.status = StrFormat(" Open connection is failed. Because %s.", channel->ErrorText(opened).c_str());
    channel->DeleteConnection();
    return out;
  }
  out.opened = true;
  if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  std::vector<uint8_t> buffer(kReplyBufferSize, 0);
  const int expected = request.expectedReply < kReplyBufferSize ? request.expectedReply : kReplyBufferSize;
  out.result = channel->Request(request.slave, request.function, request.address, request.quantity,
                                request.writeKind, buffer.data(), expected, request.data.data(),
                                static_cast<int>(request.data.size()));
  if (out.result == 1) {
    // A single write or a diagnostic echoes its data and no more: only what
    // the reply carried is kept.
    int shown = expected;
    if (request.writeKind == kRequestSingleWrite && static_cast<int>(request.data.size()) < shown)
      shown = static_cast<int>(request.data.size());
    out.reply.assign(buffer.begin(), buffer.begin() + shown);
    out.status = " Success.";
  } else {
    out.status = StrFormat(" Failed. %s", channel->ErrorText(out.result).c_str());
  }
  channel->CloseConnection();
  channel->DeleteConnection();
  return out;
}

std::map<std::string, BuiltInMessage> ParseBuiltInMessages(const std::string& text) {
  std::map<std::string, BuiltInMessage> messages;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (IsBlank(line)) continue;
    std::vector<std::string> f = SplitCommas(line);
    f.resize(8);
    const long index = std::strtol(f[1].c_str(), nullptr, 10);
    const uint16_t functionIndex = static_cast<uint16_t>(index);
    if (f[0].empty() || f[2].empty() || functionIndex > 8) continue;
    BuiltInMessage m{f[0], functionIndex, f[2], f[3], f[4], f[5], f[6], f[7]};
    messages[m.name] = std::move(m);
  }
  return messages;
}

bool LoadBuiltInMessages(const std::string& path, std::map<std::string, BuiltInMessage>& out,
                         std::string* refusal) {
  std::string text, reason;
  const int read = ReadWholeFile(path, kBuiltInMessageFileLimit, text, &reason);
  if (read == 0 && refusal) *refusal = reason;
  if (read != 1) return false;
  out = ParseBuiltInMessages(text);
  return true;
}

std::string BuiltInMessageFolder(const std::string& libraryFolder) { return libraryFolder + "/Tools/BuiltInMsg"; }

const std::vector<std::string> kBaudRates = {"1200",  "2400",  "4800",  "9600",   "14400",  "19200",
                                             "38400", "56000", "57600", "115200", "128000", "256000"};
const std::vector<std::string> kDataBits = {"4", "5", "6", "7", "8"};
const std::vector<std::string> kParities = {"NOPARITY", "ODDPARITY", "EVENPARITY"};
const std::vector<std::string> kStopBits = {"1", "1.5", "2"};

bool SerialSettingValues::SetText(const std::string& text) {
  // GetCharCount counts the fields (commas + 1, none for an empty text).
  if (GetCharCount(text, ',') < 4) return false;
  const std::vector<std::string> f = SplitCommas(text);
  baud = f[0];
  dataBits = f[1];
  parity = f[2];
  stopBits = f[3];
  return true;
}

std::string SerialSettingValues::GetText() const { return baud + ", " + dataBits + ", " + parity + ", " + stopBits; }

int FirstEntryBeginningWith(const std::vector<std::string>& entries, const std::string& value) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].size() >= value.size() && CompareNoCase(entries[i].substr(0, value.size()), value) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

std::vector<AddressMapLine> AddressMapLines(const AddressMapInfo* map) {
  std::vector<AddressMapLine> lines;
  if (!map || !map->rows) return lines;
  auto word = [](const AddressMapChannel* c) {
    return StrFormat("0x%04X/%02X", static_cast<unsigned>(c->wordAddress), static_cast<unsigned>(c->bitInWord));
  };
  auto bit = [](const AddressMapChannel* c) { return StrFormat("0x%04X", static_cast<unsigned>(c->bitAddress)); };
  for (int r = 0; r < map->rowCount; ++r) {
    const AddressMapRow* row = map->rows[r];
    if (!row) continue;
    // A module's label already begins with its slot ("01: Digital In").
    const std::string name = row->name ? row->name : "";
    const std::string slot = StrFormat("%02d: ", row->index);
    const std::string title = name.compare(0, slot.size(), slot) == 0 ? name : slot + name;
    const int inputs = row->inputs ? row->inputCount : 0;
    const int outputs = row->outputs ? row->outputCount : 0;
    AddressMapLine top{{title, "", "", "", "", ""}, row->iconIndex, false};
    if (inputs > 0 || outputs > 0) top.cells[1] = std::string(1, '0');
    if (inputs > 0) {
      top.cells[2] = word(row->inputs[0]);
      top.cells[3] = bit(row->inputs[0]);
    }
    if (outputs > 0) {
      top.cells[4] = word(row->outputs[0]);
      top.cells[5] = bit(row->outputs[0]);
    }
    lines.push_back(top);
    for (int i = 1; i < inputs; ++i)
      lines.push_back({{"", StrFormat("%d", i), word(row->inputs[i]), bit(row->inputs[i]), "", ""},
                       kAddressMapChildIcon, true});
    // With inputs, output channel 0 is in the top line and again first
    // among the child lines; without inputs it is the top line only.
    for (int o = inputs > 0 ? 0 : 1; o < outputs; ++o)
      lines.push_back({{"", StrFormat("%d", o), "", "", word(row->outputs[o]), bit(row->outputs[o])},
                       kAddressMapChildIcon, true});
  }
  return lines;
}

}  // namespace tessivar::windows
