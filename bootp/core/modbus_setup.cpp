#include "bootp/core/modbus_setup.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "common/Utility.h"
#include "modbus/framing.h"
#include "platform/text/charset.h"

namespace qmx::plenvar {
namespace {

using modbus::kMbapLength;
using modbus::kTcpFraming;

constexpr uint8_t kUnit = 1;
// A setup reply is at most the largest Modbus TCP frame.
constexpr int kMaxFrame = modbus::FrameLength(kTcpFraming, modbus::kMaxPdu);

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// The request with its MBAP prefix: the head, and `extra` bytes after it.
std::vector<uint8_t> Request(uint16_t tid, uint8_t function, uint16_t first, uint16_t second, size_t extra = 0) {
  std::vector<uint8_t> f(static_cast<size_t>(kMbapLength + modbus::kRequestHeadLength) + extra);
  modbus::PutMbap(f.data(), tid, modbus::kRequestHeadLength + static_cast<int>(extra));
  modbus::PutRequestHead(f.data() + kMbapLength, kUnit, function, first, second);
  return f;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::vector<uint8_t> BuildReadInputRegisters(uint16_t tid, uint16_t first, uint16_t count) {
  return Request(tid, modbus::kFcReadInputRegisters, first, count);
}

std::vector<uint8_t> BuildWriteMultipleRegisters(uint16_t tid, uint16_t first, const std::vector<uint16_t>& values) {
  const size_t bytes = 2 * values.size();
  std::vector<uint8_t> f =
      Request(tid, modbus::kFcWriteMultipleRegisters, first, static_cast<uint16_t>(values.size()), 1 + bytes);
  uint8_t* body = f.data() + kMbapLength + modbus::kRequestHeadLength;
  *body++ = static_cast<uint8_t>(bytes);
  for (uint16_t v : values) {
    *body++ = static_cast<uint8_t>(v >> 8);
    *body++ = static_cast<uint8_t>(v & 0xFF);
  }
  return f;
}

std::vector<uint8_t> BuildDiagnostics(uint16_t tid, uint16_t subFunction, uint16_t data) {
  return Request(tid, modbus::kFcDiagnostics, subFunction, data);
}

long MbapFrameLength(const uint8_t* data, size_t size) {
  if (size < static_cast<size_t>(kMbapLength)) return 0;
  const int total = modbus::MbapLength(data, kMaxFrame);
  if (total < 0) return -1;
  return size >= static_cast<size_t>(total) ? total : 0;
}

ReplyCheck CheckModbusReply(const std::vector<uint8_t>& request, const uint8_t* reply, size_t size,
                            std::vector<uint16_t>* registers) {
  const size_t header = static_cast<size_t>(kTcpFraming.header);
  if (size < header + 1 || request.size() < static_cast<size_t>(kMbapLength + modbus::kRequestHeadLength))
    return ReplyCheck::BadLength;
  if (modbus::MbapTransactionId(reply) != modbus::MbapTransactionId(request.data())) return ReplyCheck::OtherTransaction;
  switch (modbus::CheckReplyHead(request.data() + kMbapLength, reply + kMbapLength,
                                 static_cast<int>(size) - kMbapLength)) {
    case modbus::HeadCheck::kMatches:
      break;
    case modbus::HeadCheck::kOtherUnit:
      return ReplyCheck::WrongUnit;
    case modbus::HeadCheck::kException:
    case modbus::HeadCheck::kExceptionWithoutCode:
      return ReplyCheck::Exception;
    case modbus::HeadCheck::kOtherFunction:
      return ReplyCheck::WrongFunction;
  }
  const uint8_t* pdu = request.data() + header;
  const int dataBytes = modbus::ReplyDataBytes(pdu, static_cast<int>(request.size() - header));
  modbus::ReplyForm form{};
  if (!modbus::ReplyFormOf(pdu[0], &form) || dataBytes < 0) return ReplyCheck::BadLength;
  const modbus::ReplyLayout layout = modbus::ReplyOf(kTcpFraming, form, dataBytes);
  if (size != static_cast<size_t>(layout.length)) return ReplyCheck::BadLength;
  if (form == modbus::ReplyForm::kCounted) {
    if (reply[layout.dataOffset - 1] != dataBytes) return ReplyCheck::BadLength;
    if (registers) {
      registers->clear();
      for (int k = 0; k + 1 < dataBytes; k += 2) registers->push_back(U16(reply + layout.dataOffset + k));
    }
    return ReplyCheck::Ok;
  }
  // Writes and diagnostics echo the four bytes after the function code.
  for (size_t i = header + 1; i < header + 5; ++i) {
    if (reply[i] != request[i]) return ReplyCheck::BadLength;
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
