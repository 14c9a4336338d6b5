#include "bootp/core/modbus_setup.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "common/Utility.h"
#include "platform/text/charset.h"

namespace qmx::plenvar {
namespace {

constexpr uint8_t kUnit = 1;
constexpr uint8_t kFcReadInput = 4;
constexpr uint8_t kFcDiagnostics = 8;
constexpr uint8_t kFcWriteMultiple = 16;
constexpr size_t kMbapHeader = 7;
constexpr size_t kMaxPdu = 253;

void PutU16(std::vector<uint8_t>& f, uint16_t v) {
  f.push_back(static_cast<uint8_t>(v >> 8));
  f.push_back(static_cast<uint8_t>(v & 0xFF));
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

std::vector<uint8_t> Frame(uint16_t tid, const std::vector<uint8_t>& pdu) {
  std::vector<uint8_t> f;
  PutU16(f, tid);
  PutU16(f, 0);
  PutU16(f, static_cast<uint16_t>(pdu.size() + 1));
  f.push_back(kUnit);
  f.insert(f.end(), pdu.begin(), pdu.end());
  return f;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::vector<uint8_t> BuildReadInputRegisters(uint16_t tid, uint16_t first, uint16_t count) {
  std::vector<uint8_t> pdu{kFcReadInput};
  PutU16(pdu, first);
  PutU16(pdu, count);
  return Frame(tid, pdu);
}

std::vector<uint8_t> BuildWriteMultipleRegisters(uint16_t tid, uint16_t first, const std::vector<uint16_t>& values) {
  std::vector<uint8_t> pdu{kFcWriteMultiple};
  PutU16(pdu, first);
  PutU16(pdu, static_cast<uint16_t>(values.size()));
  pdu.push_back(static_cast<uint8_t>(2 * values.size()));
  for (uint16_t v : values) PutU16(pdu, v);
  return Frame(tid, pdu);
}

std::vector<uint8_t> BuildDiagnostics(uint16_t tid, uint16_t subFunction, uint16_t data) {
  std::vector<uint8_t> pdu{kFcDiagnostics};
  PutU16(pdu, subFunction);
  PutU16(pdu, data);
  return Frame(tid, pdu);
}

long MbapFrameLength(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  if (U16(data + 2) != 0) return -1;
  const size_t length = U16(data + 4);  // unit id + PDU
  if (length < 2 || length > kMaxPdu + 1) return -1;
  const size_t total = 6 + length;
  return size >= total ? static_cast<long>(total) : 0;
}

ReplyCheck CheckModbusReply(const std::vector<uint8_t>& request, const uint8_t* reply, size_t size,
                            std::vector<uint16_t>* registers) {
  if (size < kMbapHeader + 1 || request.size() < kMbapHeader + 5) return ReplyCheck::BadLength;
  if (U16(reply) != U16(request.data())) return ReplyCheck::OtherTransaction;
  const uint8_t function = request[7];
  if (reply[7] == (function | 0x80)) return ReplyCheck::Exception;
  if (reply[7] != function) return ReplyCheck::WrongFunction;
  const uint8_t* pdu = reply + kMbapHeader;
  const size_t pduSize = size - kMbapHeader;
  if (function == kFcReadInput) {
    const uint16_t count = U16(request.data() + 10);
    if (pduSize < 2 || pdu[1] != 2 * count || pduSize != 2 + 2u * count) return ReplyCheck::BadLength;
    if (registers) {
      registers->clear();
      for (uint16_t k = 0; k < count; ++k) registers->push_back(U16(pdu + 2 + 2 * k));
    }
    return ReplyCheck::Ok;
  }
  // Writes and diagnostics echo the four bytes after the function code.
  if (pduSize != 5) return ReplyCheck::BadLength;
  for (size_t i = 1; i < 5; ++i) {
    if (pdu[i] != request[kMbapHeader + i]) return ReplyCheck::BadLength;
  }
  return ReplyCheck::Ok;
}

Waiter PollWaiter() {
  return [](int fd, bool forWrite, int timeoutMs) {
    pollfd p{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const int rc = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (rc < 0) return errno == EINTR ? 0 : -1;
    return rc > 0 ? 1 : 0;
  };
}

ModbusSetupClient::ModbusSetupClient(Waiter waiter) : waiter_(std::move(waiter)) {}

bool ModbusSetupClient::ConnectDevice(const std::string& ip) {
  Disconnect();
  address_ = ip;
  pending_.clear();
  uint32_t address = 0;
  if (!qmx::net::ParseDottedIPv4(ip, &address)) return false;
  if (socket_.Create(SOCK_STREAM) != 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port_);
  if (::connect(socket_.fd(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
    socket_.Close();
    return false;
  }
  connected_ = true;
  // A connection still on its way after this gets the rest of the reply
  // time-out through the send of the probe.
  if (waiter_(socket_.fd(), true, timeouts_.connectMs) > 0) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket_.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      Disconnect();
      return false;
    }
  }
  std::vector<uint16_t> firmware;
  if (!ReadInputRegisters(setupreg::kFirmware, 1, &firmware)) Disconnect();
  return connected_;
}

void ModbusSetupClient::Disconnect() {
  if (socket_.IsValid()) {
    ::shutdown(socket_.fd(), SHUT_WR);
    socket_.Close();
  }
  connected_ = false;
  pending_.clear();
}

bool ModbusSetupClient::ReadInputRegisters(uint16_t first, uint16_t count, std::vector<uint16_t>* out) {
  if (!connected_) return false;
  return Transact(BuildReadInputRegisters(++tid_, first, count), out);
}

bool ModbusSetupClient::WriteRegisters(uint16_t first, const std::vector<uint16_t>& values) {
  if (!connected_) return false;
  return Transact(BuildWriteMultipleRegisters(++tid_, first, values), nullptr);
}

bool ModbusSetupClient::Diagnostics(uint16_t subFunction, uint16_t data) {
  if (!connected_) return false;
  return Transact(BuildDiagnostics(++tid_, subFunction, data), nullptr);
}

bool ModbusSetupClient::SendAll(const std::vector<uint8_t>& frame) {
  const int64_t deadline = NowMs() + timeouts_.replyMs;
  size_t sent = 0;
  while (sent < frame.size()) {
    const int n = socket_.SendSome(frame.data() + sent, frame.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n != -qmx::net::kWsaEwouldblock && n != -qmx::net::kWsaEnotconn) return false;
    const int64_t left = deadline - NowMs();
    if (left <= 0 || waiter_(socket_.fd(), true, static_cast<int>(left)) < 0) return false;
  }
  return true;
}

bool ModbusSetupClient::Transact(std::vector<uint8_t> request, std::vector<uint16_t>* registers) {
  const int64_t deadline = NowMs() + timeouts_.replyMs;
  if (!SendAll(request)) return false;
  uint8_t chunk[260];
  for (;;) {
    const long length = MbapFrameLength(pending_.data(), pending_.size());
    if (length < 0) {
      pending_.clear();  // out of step: nothing after this can be framed
      return false;
    }
    if (length > 0) {
      const ReplyCheck check = CheckModbusReply(request, pending_.data(), static_cast<size_t>(length), registers);
      pending_.erase(pending_.begin(), pending_.begin() + length);
      if (check != ReplyCheck::OtherTransaction) return check == ReplyCheck::Ok;
      continue;  // a late reply to an earlier request
    }
    const int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    const int ready = waiter_(socket_.fd(), false, static_cast<int>(left));
    if (ready < 0) return false;
    if (ready == 0) continue;
    if (!connected_ || !socket_.IsValid()) return false;
    const int n = socket_.Recv(chunk, sizeof chunk);
    if (n == 0) {
      Disconnect();  // the device closed its side
      return false;
    }
    if (n < 0) {
      if (n == -qmx::net::kWsaEwouldblock) continue;
      Disconnect();
      return false;
    }
    pending_.insert(pending_.end(), chunk, chunk + n);
  }
}

std::string FormatFirmware(uint16_t value) { return StrFormat("%d.%03d", value >> 8, value & 0xFF); }

std::string FormatReleaseDate(uint16_t first, uint16_t second) {
  return StrFormat("(%02X/%02X/%04X)", first >> 8, first & 0xFF, second);
}

std::string DecodeDeviceName(const std::vector<uint16_t>& registers) {
  if (registers.empty()) return {};
  const size_t limit = registers[0];
  std::string raw;
  for (size_t r = 1; r < registers.size() && raw.size() < 32; ++r) {
    raw.push_back(static_cast<char>(registers[r] >> 8));
    raw.push_back(static_cast<char>(registers[r] & 0xFF));
  }
  size_t end = 0;
  while (end < raw.size() && end < limit && raw[end] != '\0') ++end;
  return qmx::text::EucKrToUtf8(raw.substr(0, end));
}

bool ReadModbusDeviceInfo(ModbusSetupClient& client, ModbusDeviceInfo* info) {
  std::vector<uint16_t> r;
  if (!client.ReadInputRegisters(setupreg::kFirmware, 1, &r)) return false;
  info->firmware = FormatFirmware(r[0]);
  if (!client.ReadInputRegisters(setupreg::kReleaseDate, 2, &r)) return false;
  info->releaseDate = FormatReleaseDate(r[0], r[1]);
  if (!client.ReadInputRegisters(setupreg::kDeviceName, setupreg::kDeviceNameCount, &r)) return false;
  info->name = DecodeDeviceName(r);
  if (!client.ReadInputRegisters(setupreg::kBootp, 1, &r)) return false;
  info->bootp = r[0];
  if (!client.ReadInputRegisters(setupreg::kArp, 1, &r)) return false;
  info->arp = r[0];
  return true;
}

SettingWrite WriteModbusSetting(ModbusSetupClient& client, const std::string& ip, uint16_t reg, bool on) {
  if (!client.ConnectDevice(ip)) return SettingWrite::NoConnection;
  const bool ok = client.WriteRegisters(reg, {static_cast<uint16_t>(on ? 1 : 0)});
  client.Disconnect();
  return ok ? SettingWrite::Written : SettingWrite::Refused;
}

bool RebootModbusDevice(ModbusSetupClient& client, const std::string& ip) {
  if (!client.ConnectDevice(ip)) return false;
  const bool ok = client.Diagnostics(0x0001, 0x0000);
  client.Disconnect();
  return ok;
}

bool ProbeModbus(ModbusSetupClient& client, const std::string& ip) {
  const bool ok = client.ConnectDevice(ip);
  client.Disconnect();
  return ok;
}

}  // namespace qmx::plenvar
