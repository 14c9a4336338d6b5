// What the "Modbus communication" window decides, without a window: the
// function table, the checks and the request built from the fields, the
// reply texts of the seven formats, the built-in message files, the serial
// settings text of the "Serial Communication Setting" window, the lines of
// the Address Map window, and the one exchange of a Send.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "driver/include/tessivar.h"
#include "driver/modbus/modbus_master.h"
#include "driver/modbus/modbus_settings.h"

namespace tessivar::windows {

// ---- the function list ----

struct MessengerFunction {
  const char* text;
  uint8_t code;   // ModbusFunction
  int writeKind;  // ModbusRequestKind
  const char* unit;
};
constexpr int kMessengerFunctionCount = 9;
extern const MessengerFunction kMessengerFunctions[kMessengerFunctionCount];

// Request data bytes and expected reply bytes of function index `index` for
// a quantity (0 for an unknown index).
int RequestDataBytes(int index, int quantity);
int ExpectedReplyBytes(int index, int quantity);
// The quantity field is disabled for the single writes (indexes 4 and 5).
bool QuantityEnabled(int index);

// The request data of the messenger's buffer; longer send data is refused.
constexpr int kMaxRequestData = 128;
// The reply buffer.
constexpr int kReplyBufferSize = 1448;

// ---- Send: the fields, their checks and the request ----

// Field ids of the window, named by the checks that fail on them.
enum MessengerField : int {
  kFieldComPort = 1074,
  kFieldIp = 1064,
  kFieldSlave = 4003,
  kFieldAddress = 4005,
  kFieldSendData = 4006,
  kFieldQuantity = 4018,
};

// The protocols of the window, in the order of its list.
enum MessengerProtocol : int { kProtocolRtu = 0, kProtocolTcp = 1 };

struct MessengerFields {
  int protocol = kProtocolRtu;
  std::string comPort = "1";
  std::string ipAddress;
  std::string serialSettings = "9600, 8, NOPARITY, 1";
  std::string slaveId = "1";
  int functionIndex = 2;
  std::string address = "0000";
  std::string quantity = "1";
  std::string sendData;
};

struct MessengerRequest {
  uint8_t slave = 1;
  uint8_t function = kFcReadHoldingRegisters;
  uint16_t address = 0;
  uint16_t quantity = 0;
  int writeKind = 0;
  std::vector<uint8_t> data;  // request data as they go on the wire
  int expectedReply = 0;      // reply data bytes
};

// The outcome of the checks: empty message when the request was built;
// otherwise the message box text and the field that takes the focus.
struct MessengerCheck {
  std::string message;
  int field = 0;
  bool ok() const { return message.empty(); }
};

// Checks the fields in the window's order and builds the request and the
// channel records (TCP: the address; RTU: port and line settings).
MessengerCheck BuildMessengerRequest(const MessengerFields& fields, MessengerRequest& request, TcpCommSetting& tcp,
                                     SerialCommSetting& serial);

// The channel records the window starts with.
TcpCommSetting MessengerTcpDefaults();
SerialCommSetting MessengerSerialDefaults();

// ---- the reply ----

enum ReplyFormat : int {
  kWordHex = 0,
  kWordUnsigned = 1,
  kWordSigned = 2,
  kAscii = 3,
  kByteHex = 4,
  kByteBit = 5,
  kByteDec = 6,
};
extern const char* const kReplyFormatNames[7];

// The text of the reply field for `length` reply bytes; trimText is the
// "Trim Length" field (skipped bytes when it holds an integer above 0; a
// trim at or beyond the reply's length leaves nothing to show).
std::string FormatReply(const uint8_t* reply, int length, int format, bool swapWords, const std::string& trimText);

// ---- the one exchange of a Send ----

struct MessengerOutcome {
  int result = 0;              // 1, or the failure code
  bool opened = false;
  std::string status;          // the status line
  std::vector<uint8_t> reply;  // the reply data received (only on success)
};

// Opens a new channel of the protocol, waits pauseMs, sends the request and
// closes the channel. Lines of the master go to the library's log.
MessengerOutcome RunMessengerExchange(int protocol, const TcpCommSetting& tcp, const SerialCommSetting& serial,
                                      const MessengerRequest& request, int pauseMs = 500);

// ---- built-in messages ----

struct BuiltInMessage {
  std::string name;
  uint16_t functionIndex = 0;
  std::string address;
  std::string quantity;
  std::string sendData;
  std::string format;
  std::string swap;
  std::string trimLength;
};

// One record per accepted line, by name (a later line of a name replaces
// the earlier one).
std::map<std::string, BuiltInMessage> ParseBuiltInMessages(const std::string& text);
// The largest built-in message file read (a preset is one short line).
inline constexpr std::uint64_t kBuiltInMessageFileLimit = 4ull * 1024 * 1024;
// Reads a file; false when it cannot be opened or is larger than
// kBuiltInMessageFileLimit, which `refusal` (when given) then names with the
// file and its size.
bool LoadBuiltInMessages(const std::string& path, std::map<std::string, BuiltInMessage>& out,
                         std::string* refusal = nullptr);
// The folder of the files beside the library: <folder>/Tools/BuiltInMsg.
std::string BuiltInMessageFolder(const std::string& libraryFolder);

// ---- the serial settings text ----

struct SerialSettingValues {
  std::string baud = "115200";
  std::string dataBits = "8";
  std::string parity = "None";
  std::string stopBits = "1";

  // Fewer than four comma-separated fields change nothing (false).
  bool SetText(const std::string& text);
  std::string GetText() const;
};
extern const std::vector<std::string> kBaudRates;
extern const std::vector<std::string> kDataBits;
extern const std::vector<std::string> kParities;
extern const std::vector<std::string> kStopBits;
// The first entry that begins with `value` (case-insensitive), or -1.
int FirstEntryBeginningWith(const std::vector<std::string>& entries, const std::string& value);

// ---- the Address Map window's lines ----

struct AddressMapLine {
  std::vector<std::string> cells;  // 6 columns
  int iconIndex = 0;
  bool child = false;  // under the last top-level line
};
constexpr int kAddressMapChildIcon = 14;
std::vector<AddressMapLine> AddressMapLines(const AddressMapInfo* map);

}  // namespace tessivar::windows
