// The setup dialog's Modbus TCP client: one request at a time on a fresh
// connection per user action, each reply awaited for a short time. Replies
// are framed by their MBAP length (a reply may arrive in pieces) and
// accepted only when transaction id, unit, function, length and count match
// the request; a late reply to an earlier request is skipped. Frames,
// checks and reply sizes are the framing library's (modbus/framing.h),
// which the driver's masters use too.
//
// Waiting goes through a Waiter, so the dialog can keep its event loop
// running while a request is out (other requests of the server are answered
// meanwhile), and tests wait with poll.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/net/socket.h"

namespace qmx::plenvar {

constexpr uint16_t kModbusTcpPort = 502;

namespace setupreg {
constexpr uint16_t kFirmware = 0x1003;
constexpr uint16_t kReleaseDate = 0x1010;
constexpr uint16_t kDeviceName = 0x1005;
constexpr uint16_t kDeviceNameCount = 17;
constexpr uint16_t kBootp = 0x1045;
constexpr uint16_t kArp = 0x1046;
}  // namespace setupreg

// --- frames (pure) -----------------------------------------------------------
std::vector<uint8_t> BuildReadInputRegisters(uint16_t tid, uint16_t first, uint16_t count);
std::vector<uint8_t> BuildWriteMultipleRegisters(uint16_t tid, uint16_t first, const std::vector<uint16_t>& values);
std::vector<uint8_t> BuildDiagnostics(uint16_t tid, uint16_t subFunction, uint16_t data);

// The length of the first whole MBAP frame at the front of `data`; 0 while it
// is incomplete; -1 when the header cannot start a reply (protocol id not 0,
// length field 0 or beyond a Modbus PDU).
long MbapFrameLength(const uint8_t* data, size_t size);

enum class ReplyCheck { Ok, OtherTransaction, Exception, WrongUnit, WrongFunction, BadLength };
// Checks one whole frame against the request `request` (a frame built above).
// For a read, the register values are stored in *registers.
ReplyCheck CheckModbusReply(const std::vector<uint8_t>& request, const uint8_t* reply, size_t size,
                            std::vector<uint16_t>* registers);

// --- the client -----------------------------------------------------------------
// 1 ready, 0 time-out, negative: an error. `forWrite` waits for a connect to end.
using Waiter = std::function<int(int fd, bool forWrite, int timeoutMs)>;
Waiter PollWaiter();

struct ModbusTimeouts {
  int connectMs = 20;  // what a fresh connection gets before its first request
  int replyMs = 50;
};

class ModbusSetupClient {
public:
  explicit ModbusSetupClient(Waiter waiter = PollWaiter());

  void SetPort(uint16_t port) { port_ = port; }
  void SetTimeouts(ModbusTimeouts t) { timeouts_ = t; }

  // Connects and reads the firmware register as the probe; true when both
  // worked (on failure nothing stays connected).
  bool ConnectDevice(const std::string& ip);
  void Disconnect();
  bool connected() const { return connected_; }

  bool ReadInputRegisters(uint16_t first, uint16_t count, std::vector<uint16_t>* out);
  bool WriteRegisters(uint16_t first, const std::vector<uint16_t>& values);
  bool Diagnostics(uint16_t subFunction, uint16_t data);


private:
  bool Transact(std::vector<uint8_t> request, std::vector<uint16_t>* registers);
  bool SendAll(const std::vector<uint8_t>& frame);

  Waiter waiter_;
  uint16_t port_ = kModbusTcpPort;
  ModbusTimeouts timeouts_;
  qmx::net::Socket socket_;
  bool connected_ = false;
  uint16_t tid_ = 0;
  std::string address_;
  std::vector<uint8_t> pending_;  // bytes read but not yet framed
};

struct ModbusDeviceInfo {
  std::string firmware = "00.000";
  std::string releaseDate = "(00/00/0000)";
  std::string name = "Network Adatper Name";
  uint16_t bootp = 0;
  uint16_t arp = 0;
};

// Reads on a connected client, in the order firmware, date, name, BOOTP, ARP;
// the first failure fails all.
bool ReadModbusDeviceInfo(ModbusSetupClient& client, ModbusDeviceInfo* info);
// The device name of the name registers: register 0 = length, then the text.
std::string DecodeDeviceName(const std::vector<uint16_t>& registers);
std::string FormatFirmware(uint16_t value);                  // "%d.%03d"
std::string FormatReleaseDate(uint16_t first, uint16_t second);  // "(%02X/%02X/%04X)"

// One user action each: connect, do it, disconnect.
// A refused write turns the check box back; a failed connection does not.
enum class SettingWrite { NoConnection, Refused, Written };
SettingWrite WriteModbusSetting(ModbusSetupClient& client, const std::string& ip, uint16_t reg, bool on);
bool RebootModbusDevice(ModbusSetupClient& client, const std::string& ip);
bool ProbeModbus(ModbusSetupClient& client, const std::string& ip);

}  // namespace qmx::plenvar
