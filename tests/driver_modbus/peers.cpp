#include "tests/driver_modbus/peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "driver/driver_utils.h"
#include "platform/serial/serial_device.h"

namespace qmx::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int ListenLoopback(uint16_t* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) == 1;
}

// Reads exactly n bytes (false when the peer closes, fails or stops).
bool ReadExact(int fd, uint8_t* out, size_t n, const std::atomic<bool>& stop) {
  size_t got = 0;
  while (got < n) {
    if (stop.load()) return false;
    if (!Readable(fd, 20)) continue;
    const ssize_t r = ::recv(fd, out + got, n - got, 0);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

void SendAll(int fd, const Bytes& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t r = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (r <= 0) return;
    sent += static_cast<size_t>(r);
  }
}

void WriteAll(int fd, const uint8_t* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::write(fd, data + done, n - done);
    if (r <= 0) return;
    done += static_cast<size_t>(r);
  }
}

modbus_mapping_t* NewMap() { return modbus_mapping_new(0x3000, 0x3000, 0x3000, 0x3000); }

}  // namespace

Bytes MbapFrame(uint16_t transactionId, uint8_t unit, const Bytes& pdu) {
  const size_t length = pdu.size() + 1;
  Bytes out = {static_cast<uint8_t>(transactionId >> 8), static_cast<uint8_t>(transactionId & 0xFF), 0, 0,
               static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF), unit};
  out.insert(out.end(), pdu.begin(), pdu.end());
  return out;
}

uint16_t TransactionIdOf(const Bytes& request) {
  return request.size() >= 2 ? static_cast<uint16_t>(request[0] << 8 | request[1]) : 0;
}

Bytes RtuFrame(const Bytes& body) {
  Bytes out = body;
  const uint16_t crc = tessivar::Crc16(body.data(), static_cast<unsigned>(body.size()));
  out.push_back(static_cast<uint8_t>(crc & 0xFF));
  out.push_back(static_cast<uint8_t>(crc >> 8));
  return out;
}

// ---- LibmodbusTcpServer ----

LibmodbusTcpServer::LibmodbusTcpServer() = default;

LibmodbusTcpServer::~LibmodbusTcpServer() { Stop(); }

bool LibmodbusTcpServer::Start() {
  ctx_ = modbus_new_tcp("127.0.0.1", 0);
  map_ = NewMap();
  if (!ctx_ || !map_) return false;
  listenFd_ = ListenLoopback(&port_);
  if (listenFd_ < 0) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void LibmodbusTcpServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
  if (map_) modbus_mapping_free(map_);
  map_ = nullptr;
  if (ctx_) modbus_free(ctx_);
  ctx_ = nullptr;
}

void LibmodbusTcpServer::WithMap(const std::function<void(modbus_mapping_t&)>& fn) {
  std::lock_guard<std::mutex> guard(lock_);
  fn(*map_);
}

void LibmodbusTcpServer::Run() {
  int client = -1;
  while (!stop_.load()) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {client, POLLIN, 0}};
    if (::poll(fds, client >= 0 ? 2 : 1, 20) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        if (client >= 0) ::close(client);
        client = fd;
      }
      continue;
    }
    if (client < 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    // libmodbus does not frame function 8: such a request is read by its
    // MBAP length here and is its own answer.
    uint8_t peek[8];
    const ssize_t peeked = ::recv(client, peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT);
    if (peeked == static_cast<ssize_t>(sizeof peek) && peek[7] == 8) {
      Bytes request(6 + static_cast<size_t>(peek[4] << 8 | peek[5]));
      if (!ReadExact(client, request.data(), request.size(), stop_)) {
        ::close(client);
        client = -1;
        continue;
      }
      ++requests_;
      SendAll(client, request);
      continue;
    }
    modbus_set_socket(ctx_, client);
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    const int rc = modbus_receive(ctx_, query);
    if (rc <= 0) {
      ::close(client);
      client = -1;
      continue;
    }
    ++requests_;
    std::lock_guard<std::mutex> guard(lock_);
    modbus_reply(ctx_, query, rc, map_);
  }
  if (client >= 0) ::close(client);
}

// ---- RawTcpPeer ----

RawTcpPeer::RawTcpPeer(PeerHandler handler) : handler_(std::move(handler)) {}

RawTcpPeer::~RawTcpPeer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (std::thread& t : servers_) t.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

bool RawTcpPeer::Start() {
  listenFd_ = ListenLoopback(&port_);
  if (listenFd_ < 0) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void RawTcpPeer::SetHandler(PeerHandler handler) {
  std::lock_guard<std::mutex> guard(lock_);
  handler_ = std::move(handler);
}

std::vector<Bytes> RawTcpPeer::Requests() {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void RawTcpPeer::Run() {
  while (!stop_.load()) {
    if (!Readable(listenFd_, 20)) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    // Each connection on a thread of its own, so a connection made while an
    // earlier one still waits is served at once.
    servers_.emplace_back([this, fd] {
      while (Serve(fd)) {
      }
      ::close(fd);
    });
  }
}

bool RawTcpPeer::Serve(int fd) {
  uint8_t header[7];
  if (!ReadExact(fd, header, sizeof header, stop_)) return false;
  const size_t length = static_cast<size_t>(header[4] << 8 | header[5]);
  Bytes request(header, header + sizeof header);
  if (length > 1) {
    request.resize(6 + length);
    if (!ReadExact(fd, request.data() + 7, length - 1, stop_)) return false;
  }
  PeerHandler handler;
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
    handler = handler_;
  }
  for (const PeerAction& action : handler(request)) {
    if (action.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(action.delayMs));
    if (action.close) return false;
    SendAll(fd, action.bytes);
  }
  return true;
}

const std::vector<ModuleListEntry> kPeerStationEntries = {
    {0x4101, "NA", "Station", 0,
     "ExpansionSlotNo,Unsigned16,1\tBusStatus,ByteArea,2\tIOUpdateTime,Unsigned16,1\tInputMode,Unsigned16,1", "", 0, 0,
     ""},
    {0x1808, "IO", "QMX-1808", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,1"},
    {0x1808, "IO", "QMX-1808", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,2"},
    {0x2808, "IO", "QMX-2808", 2, "", "", 0, 1, "NDO,8,0,1,0,8,4,DO,3"}};

tessivar::TcpCommSetting LoopbackSetting(int port, int timeoutMs) {
  tessivar::TcpCommSetting s;
  s.ipAddress = "127.0.0.1";
  s.port = port;
  s.timeoutMs = timeoutMs;
  return s;
}

tessivar::SerialCommSetting PtyLineSetting(int comNumber, int timeoutMs, int baud) {
  tessivar::SerialCommSetting s;
  s.comPort = comNumber;
  s.baudRate = baud;
  s.timeoutMs = timeoutMs;
  s.secondTimeoutMs = 500;
  return s;
}

std::chrono::nanoseconds LineTime(size_t characters, int baud) {
  // Start bit, 8 data bits, stop bit.
  return std::chrono::nanoseconds(static_cast<long long>(characters) * 10 * 1'000'000'000LL / baud);
}

// ---- ComLine ----

ComLine::ComLine(int comNumber)
    : pty_(dir_.path(), "COM" + std::to_string(comNumber), "peer" + std::to_string(comNumber)) {
  ::setenv(qmx::serial::kComDirVariable, dir_.path().c_str(), 1);
}

ComLine::~ComLine() { ::unsetenv(qmx::serial::kComDirVariable); }

// ---- LibmodbusRtuSlave ----

LibmodbusRtuSlave::LibmodbusRtuSlave(std::filesystem::path device, int slave)
    : device_(std::move(device)), slave_(slave) {}

LibmodbusRtuSlave::~LibmodbusRtuSlave() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (ctx_) {
    modbus_close(ctx_);
    modbus_free(ctx_);
  }
  if (map_) modbus_mapping_free(map_);
}

bool LibmodbusRtuSlave::Start() {
  ctx_ = modbus_new_rtu(device_.c_str(), 19200, 'N', 8, 1);
  map_ = NewMap();
  if (!ctx_ || !map_ || modbus_set_slave(ctx_, slave_) != 0 || modbus_connect(ctx_) != 0) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void LibmodbusRtuSlave::WithMap(const std::function<void(modbus_mapping_t&)>& fn) {
  std::lock_guard<std::mutex> guard(lock_);
  fn(*map_);
}

// CRC-16/MODBUS bit by bit, apart from the driver's table.
uint16_t BitwiseCrc(const uint8_t* data, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

void LibmodbusRtuSlave::Run() {
  // libmodbus cannot frame function 8, so requests are cut at the silence
  // after them and checked here; libmodbus builds every other answer.
  const int fd = modbus_get_socket(ctx_);
  while (!stop_.load()) {
    if (!Readable(fd, 20)) continue;
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    size_t n = 0;
    do {
      const ssize_t r = ::read(fd, query + n, sizeof query - n);
      if (r <= 0) break;
      n += static_cast<size_t>(r);
    } while (n < sizeof query && Readable(fd, 5));
    if (n < 4 || query[0] != slave_) continue;
    const uint16_t crc = BitwiseCrc(query, n - 2);
    if (query[n - 2] != (crc & 0xFF) || query[n - 1] != (crc >> 8)) continue;
    ++requests_;
    std::lock_guard<std::mutex> guard(lock_);
    if (query[1] == 8) {
      WriteAll(fd, query, n);  // diagnostics: the request is its own answer
    } else {
      modbus_reply(ctx_, query, static_cast<int>(n), map_);
    }
  }
}

// ---- RawRtuPeer ----

RawRtuPeer::RawRtuPeer(std::filesystem::path device, PeerHandler handler, int baud)
    : device_(std::move(device)), handler_(std::move(handler)), baud_(baud) {}

RawRtuPeer::~RawRtuPeer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

bool RawRtuPeer::Start() {
  fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios t{};
  ::tcgetattr(fd_, &t);
  ::cfmakeraw(&t);
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void RawRtuPeer::SetHandler(PeerHandler handler) {
  std::lock_guard<std::mutex> guard(lock_);
  handler_ = std::move(handler);
}

std::vector<Bytes> RawRtuPeer::Requests() {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void RawRtuPeer::Run() {
  while (!stop_.load()) {
    if (!Readable(fd_, 20)) continue;
    const auto arrived = Clock::now();
    Bytes request;
    uint8_t chunk[512];
    do {
      const ssize_t r = ::read(fd_, chunk, sizeof chunk);
      if (r <= 0) break;
      request.insert(request.end(), chunk, chunk + r);
    } while (Readable(fd_, 5));
    if (request.empty()) continue;
    PeerHandler handler;
    {
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(request);
      handler = handler_;
    }
    // The line is busy with the request, then with each frame in turn.
    auto lineFree = arrived + LineTime(request.size(), baud_);
    for (const PeerAction& action : handler(request)) {
      if (action.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(action.delayMs));
      if (action.bytes.empty()) continue;
      if (!action.early) {
        lineFree = std::max(lineFree, Clock::now()) + LineTime(action.bytes.size(), baud_);
        std::this_thread::sleep_until(lineFree);
      }
      WriteAll(fd_, action.bytes.data(), action.bytes.size());
    }
  }
}

// ---- RecordingOwner ----

void RecordingOwner::MasterLog(int level, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  lines_.emplace_back(level, text);
}

void RecordingOwner::PingReport(const std::string& host, int result) {
  std::lock_guard<std::mutex> guard(lock_);
  pings_.emplace_back(host, result);
}

std::vector<std::pair<int, std::string>> RecordingOwner::Lines() {
  std::lock_guard<std::mutex> guard(lock_);
  return lines_;
}

std::vector<std::pair<std::string, int>> RecordingOwner::Pings() {
  std::lock_guard<std::mutex> guard(lock_);
  return pings_;
}

}  // namespace qmx::test
