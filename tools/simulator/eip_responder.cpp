#include "tools/simulator/eip_responder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace qmx::sim {
namespace {

constexpr size_t kHeader = 24;
constexpr uint16_t kRegisterSession = 0x65;
constexpr uint16_t kUnRegisterSession = 0x66;
constexpr uint16_t kSendRRData = 0x6F;
constexpr uint8_t kStatusPathUnknown = 0x05;
constexpr uint8_t kStatusServiceUnsupported = 0x08;
constexpr uint8_t kStatusNotEnoughData = 0x13;
constexpr uint8_t kStatusAttributeUnsupported = 0x14;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

// The reply header: the request's, with the length of the new data.
std::vector<uint8_t> ReplyFrame(const std::vector<uint8_t>& request, uint32_t session,
                                const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  out.reserve(kHeader + data.size());
  out.assign(request.begin(), request.begin() + kHeader);
  out[2] = static_cast<uint8_t>(data.size());
  out[3] = static_cast<uint8_t>(data.size() >> 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(session >> (8 * i));
  for (int i = 0; i < 4; ++i) out[8 + i] = 0;
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

bool ReadSegment(const uint8_t* path, size_t size, size_t* at, uint8_t type, uint16_t* value) {
  if (*at + 2 > size) return false;
  if (path[*at] == type) {
    *value = path[*at + 1];
    *at += 2;
    return true;
  }
  if (path[*at] == (type | 1) && *at + 4 <= size) {
    *value = U16(path + *at + 2);
    *at += 4;
    return true;
  }
  return false;
}

}  // namespace

bool ParseEipFault(const std::string& text, EipFault* out, std::string* error) {
  EipFault f;
  size_t start = 0;
  bool first = true;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const size_t eq = item.find('=');
    const std::string key = item.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
    try {
      if (first && key == "status") {
        f.kind = EipFaultKind::Status;
        f.status = static_cast<uint8_t>(std::stoul(value, nullptr, 16));
      } else if (first && key == "silence") {
        f.kind = EipFaultKind::Silence;
      } else if (first && key == "short") {
        f.kind = EipFaultKind::Short;
      } else if (first && key == "oversize") {
        f.kind = EipFaultKind::Oversize;
      } else if (first && key == "drop") {
        f.kind = EipFaultKind::Drop;
      } else if (!first && key == "count") {
        f.remaining = std::stoi(value);
      } else if (!first && key == "once") {
        f.remaining = 1;
      } else {
        *error = "unknown EtherNet/IP fault: " + item;
        return false;
      }
    } catch (...) {
      *error = "bad value in EtherNet/IP fault: " + item;
      return false;
    }
    first = false;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  *out = f;
  return true;
}

EipDevice::EipDevice(EipIdentity identity) : identity_(std::move(identity)) {}

void EipDevice::AddFault(const EipFault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(fault);
}
EipIdentity EipDevice::identity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return identity_;
}
void EipDevice::SetIdentity(const EipIdentity& identity) {
  std::lock_guard<std::mutex> lock(mutex_);
  identity_ = identity;
}
std::vector<std::string> EipDevice::history() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_;
}
int EipDevice::resets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resets_;
}

size_t EipFrameLength(const uint8_t* data, size_t size) { return size < kHeader ? 0 : kHeader + U16(data + 2); }

EipDevice::Answer EipDevice::HandleFrame(const std::vector<uint8_t>& frame) {
  Answer answer;
  if (frame.size() < kHeader) return answer;
  std::lock_guard<std::mutex> lock(mutex_);
  const uint16_t command = U16(frame.data());
  const uint32_t session = static_cast<uint32_t>(U16(frame.data() + 4)) | static_cast<uint32_t>(U16(frame.data() + 6)) << 16;
  if (command == kRegisterSession) {
    answer.reply = ReplyFrame(frame, nextSession_++, {1, 0, 0, 0});
    return answer;
  }
  if (command == kUnRegisterSession) {
    answer.close = true;
    return answer;
  }
  if (command != kSendRRData) return answer;
  // interface handle, time-out, item count, then the items.
  const uint8_t* p = frame.data() + kHeader;
  const size_t n = frame.size() - kHeader;
  if (n < 8) return answer;
  size_t at = 8;
  const uint8_t* message = nullptr;
  size_t messageSize = 0;
  for (uint16_t i = 0, items = U16(p + 6); i < items && at + 4 <= n; ++i) {
    const uint16_t type = U16(p + at);
    const uint16_t length = U16(p + at + 2);
    if (at + 4 + length > n) return answer;
    if (type == 0x00B2) {
      message = p + at + 4;
      messageSize = length;
    }
    at += 4 + length;
  }
  if (message == nullptr) return answer;
  bool silent = false;
  bool shortItem = false;
  std::vector<uint8_t> reply = HandleMessage(message, messageSize, &silent, &answer.close, &shortItem);
  if (silent || answer.close) return answer;
  std::vector<uint8_t> data{0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0xB2, 0};
  // A short reply: the item claims a byte more than the frame carries.
  Put16(data, static_cast<uint16_t>(reply.size() + (shortItem ? 1 : 0)));
  data.insert(data.end(), reply.begin(), reply.end());
  answer.reply = ReplyFrame(frame, session, data);
  return answer;
}

std::vector<uint8_t> EipDevice::HandleMessage(const uint8_t* mr, size_t size, bool* silent, bool* close,
                                              bool* shortItem) {
  // The first rule applies; a refusing rule (an error status, silence, a
  // dropped connection) keeps the request from being carried out.
  std::optional<EipFault> fault;
  if (!faults_.empty()) {
    fault = faults_.front();
    if (faults_.front().remaining > 0 && --faults_.front().remaining == 0) faults_.erase(faults_.begin());
  }
  const bool refused = fault && ((fault->kind == EipFaultKind::Status && fault->status != 0) ||
                                 fault->kind == EipFaultKind::Silence || fault->kind == EipFaultKind::Drop);
  uint8_t status = 0;
  std::vector<uint8_t> data;
  const uint8_t service = size > 0 ? mr[0] : 0;
  uint16_t cls = 0, inst = 0, attr = 0;
  size_t at = 2;
  const size_t pathEnd = size >= 2 ? 2 + 2u * mr[1] : 0;
  if (size < 2 || pathEnd > size || !ReadSegment(mr, pathEnd, &at, 0x20, &cls) ||
      !ReadSegment(mr, pathEnd, &at, 0x24, &inst)) {
    status = kStatusPathUnknown;
  } else {
    if (at < pathEnd) ReadSegment(mr, pathEnd, &at, 0x30, &attr);
    const std::vector<uint8_t> payload(mr + pathEnd, mr + size);
    char line[40];
    std::snprintf(line, sizeof line, "%02X/%04X/%04X/%04X", service, cls, inst, attr);
    history_.push_back(line);
    EipIdentity scratch = identity_;
    EipIdentity& id = refused ? scratch : identity_;
    uint8_t* byteAttr = nullptr;
    if (cls == 0x70 && inst == 1 && attr == 13) byteAttr = &id.runIdleInput;
    if (cls == 0x70 && inst == 1 && attr == 14) byteAttr = &id.runIdleOutput;
    if (cls == 0xF5 && inst == 1 && attr == 3) byteAttr = &id.bootp;
    if (service == 0x0E) {
      if (cls == 0x70 && inst == 1 && attr == 0xA0) {
        data = {static_cast<uint8_t>(id.deviceCheck), static_cast<uint8_t>(id.deviceCheck >> 8)};
      } else if (cls == 0x01 && inst == 1 && attr == 4) {
        data = {id.revisionMajor, id.revisionMinor};
      } else if (cls == 0x01 && inst == 1 && attr == 0x68) {
        data.assign(id.releaseDate.begin(), id.releaseDate.end());
      } else if (cls == 0x01 && inst == 1 && attr == 7) {
        data.push_back(static_cast<uint8_t>(id.productName.size()));
        data.insert(data.end(), id.productName.begin(), id.productName.end());
      } else if (byteAttr != nullptr) {
        data = {*byteAttr};
        if (cls == 0xF5) data.insert(data.end(), {0, 0, 0});
      } else {
        status = kStatusAttributeUnsupported;
      }
    } else if (service == 0x10) {
      if (byteAttr == nullptr) {
        status = kStatusAttributeUnsupported;
      } else if (payload.size() < (cls == 0xF5 ? 4u : 1u)) {
        status = kStatusNotEnoughData;
      } else {
        *byteAttr = payload[0];
      }
    } else if (service == 0x05 && cls == 0x01 && inst == 1) {
      if (!refused) ++resets_;
    } else {
      status = kStatusServiceUnsupported;
    }
  }
  if (fault) {
    switch (fault->kind) {
      case EipFaultKind::Status: status = fault->status; break;
      case EipFaultKind::Silence: *silent = true; break;
      case EipFaultKind::Drop: *close = true; break;
      case EipFaultKind::Short: *shortItem = true; break;
      case EipFaultKind::Oversize: data.assign(600, 0x55); break;
    }
  }
  std::vector<uint8_t> reply;
  reply.reserve(4 + data.size());
  reply.assign({static_cast<uint8_t>(service | 0x80), 0, status, 0});
  if (status == 0 || !data.empty()) reply.insert(reply.end(), data.begin(), data.end());
  return reply;
}

// --- server -----------------------------------------------------------------------

EipServer::EipServer(EipDevice& device) : device_(device) {}
EipServer::~EipServer() { Stop(); }

bool EipServer::Start(const std::string& address, int port, std::string* error) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) {
    *error = std::strerror(errno);
    return false;
  }
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
    *error = "bad EtherNet/IP address " + address;
    return false;
  }
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 8) != 0) {
    *error = "cannot listen on EtherNet/IP " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  socklen_t len = sizeof a;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void EipServer::Stop() {
  if (thread_.joinable()) {
    const char c = 1;
    (void)!::write(wakePipe_[1], &c, 1);
    thread_.join();
  }
  for (int* fd : {&listenFd_, &wakePipe_[0], &wakePipe_[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void EipServer::Run() {
  struct Client {
    int fd;
    std::vector<uint8_t> in;
  };
  std::vector<Client> clients;
  for (;;) {
    std::vector<pollfd> fds{{wakePipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
    for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) break;
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) clients.push_back({fd, {}});
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      Client& c = clients[i - 2];
      uint8_t chunk[2048];
      const ssize_t n = ::recv(c.fd, chunk, sizeof chunk, 0);
      bool close = n <= 0;
      if (n > 0) c.in.insert(c.in.end(), chunk, chunk + n);
      while (!close) {
        const size_t total = EipFrameLength(c.in.data(), c.in.size());
        if (total == 0 || c.in.size() < total) break;
        const std::vector<uint8_t> frame(c.in.begin(), c.in.begin() + static_cast<long>(total));
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(total));
        EipDevice::Answer answer = device_.HandleFrame(frame);
        if (!answer.reply.empty()) (void)!::send(c.fd, answer.reply.data(), answer.reply.size(), MSG_NOSIGNAL);
        close = answer.close;
      }
      if (close) {
        ::close(c.fd);
        c.fd = -1;
      }
    }
    std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
  }
  for (const Client& c : clients) ::close(c.fd);
}

bool TakeEipOptions(std::vector<std::string>* args, EipOptions* out, std::string* error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string& a = (*args)[i];
    if (a != "--eip" && a != "--eip-fault" && a != "--eip-check") {
      rest.push_back(a);
      continue;
    }
    if (i + 1 >= args->size()) {
      *error = a + " needs a value";
      return false;
    }
    const std::string& v = (*args)[++i];
    if (a == "--eip") {
      const size_t colon = v.rfind(':');
      out->enabled = true;
      try {
        if (colon == std::string::npos) throw std::invalid_argument(v);
        out->address = v.substr(0, colon);
        out->port = std::stoi(v.substr(colon + 1));
      } catch (...) {
        *error = "bad --eip endpoint " + v;
        return false;
      }
    } else if (a == "--eip-check") {
      try {
        out->deviceCheck = std::stoi(v);
      } catch (...) {
        *error = "bad --eip-check value " + v;
        return false;
      }
    } else {
      EipFault f;
      if (!ParseEipFault(v, &f, error)) return false;
      out->faults.push_back(f);
    }
  }
  *args = rest;
  return true;
}

}  // namespace qmx::sim
