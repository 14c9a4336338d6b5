#include "platform/cip/cip.h"

#include <sys/socket.h>

#include <chrono>

#include "platform/net/socket.h"

namespace qmx::cip {
namespace {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// One logical segment: 8-bit form when the value fits, else 16-bit form.
void PutSegment(std::vector<uint8_t>& path, uint8_t type, uint16_t value) {
  if (value <= 0xFF) {
    path.push_back(type);
    path.push_back(static_cast<uint8_t>(value));
  } else {
    path.push_back(static_cast<uint8_t>(type | 1));
    path.push_back(0);
    PutU16(path, value);
  }
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::vector<uint8_t> BuildEncapsulation(uint16_t cmd, uint32_t session, uint64_t context,
                                        const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  out.reserve(kEncapsulationHeader + data.size());
  PutU16(out, cmd);
  PutU16(out, static_cast<uint16_t>(data.size()));
  PutU32(out, session);
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>(context));
  PutU32(out, static_cast<uint32_t>(context >> 32));
  PutU32(out, 0);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> BuildRegisterSession() {
  return BuildEncapsulation(command::kRegisterSession, 0, 0, {1, 0, 0, 0});  // protocol version 1, no options
}

std::vector<uint8_t> BuildMessageRouterRequest(const Request& request) {
  std::vector<uint8_t> path;
  PutSegment(path, 0x20, request.classId);
  PutSegment(path, 0x24, request.instance);
  if (request.attribute != 0) PutSegment(path, 0x30, request.attribute);
  std::vector<uint8_t> out;
  out.reserve(2 + path.size() + request.data.size());
  out.assign({request.service, static_cast<uint8_t>(path.size() / 2)});
  out.insert(out.end(), path.begin(), path.end());
  out.insert(out.end(), request.data.begin(), request.data.end());
  return out;
}

std::vector<uint8_t> BuildSendRRData(uint32_t session, uint64_t context, const Request& request) {
  const std::vector<uint8_t> mr = BuildMessageRouterRequest(request);
  std::vector<uint8_t> data;
  PutU32(data, 0);  // interface handle: CIP
  PutU16(data, 0);  // time-out: the encapsulation layer's own
  PutU16(data, 2);  // items
  PutU16(data, kItemNullAddress);
  PutU16(data, 0);
  PutU16(data, kItemUnconnectedData);
  PutU16(data, static_cast<uint16_t>(mr.size()));
  data.insert(data.end(), mr.begin(), mr.end());
  return BuildEncapsulation(command::kSendRRData, session, context, data);
}

bool ParseEncapsulationHeader(const uint8_t* data, size_t size, EncapsulationHeader* out) {
  if (size < kEncapsulationHeader) return false;
  out->command = GetU16(data);
  out->length = GetU16(data + 2);
  out->session = GetU32(data + 4);
  out->status = GetU32(data + 8);
  out->context = static_cast<uint64_t>(GetU32(data + 12)) | static_cast<uint64_t>(GetU32(data + 16)) << 32;
  out->options = GetU32(data + 20);
  return true;
}

long EncapsulationFrameLength(const uint8_t* data, size_t size) {
  if (size < kEncapsulationHeader) return 0;
  const size_t length = GetU16(data + 2);
  if (length > kMaxEncapsulationData) return -1;
  const size_t total = kEncapsulationHeader + length;
  return size >= total ? static_cast<long>(total) : 0;
}

ReplyError ParseSendRRDataReply(const uint8_t* frame, size_t size, uint8_t requestService, Response* out) {
  EncapsulationHeader h;
  if (!ParseEncapsulationHeader(frame, size, &h) || kEncapsulationHeader + h.length != size) {
    return ReplyError::Truncated;
  }
  if (h.command != command::kSendRRData) return ReplyError::NotSendRRData;
  if (h.status != 0) return ReplyError::EncapsulationStatus;
  const uint8_t* p = frame + kEncapsulationHeader;
  const size_t n = h.length;
  if (n < 8) return ReplyError::Truncated;
  const size_t items = GetU16(p + 6);
  size_t at = 8;
  const uint8_t* message = nullptr;
  size_t messageSize = 0;
  bool nullAddress = false;
  for (size_t i = 0; i < items; ++i) {
    if (n - at < 4) return ReplyError::BadItems;
    const uint16_t type = GetU16(p + at);
    const size_t length = GetU16(p + at + 2);
    at += 4;
    if (n - at < length) return ReplyError::BadItems;
    if (type == kItemNullAddress) {
      if (length != 0) return ReplyError::BadItems;
      nullAddress = true;
    } else if (type == kItemUnconnectedData) {
      if (message != nullptr) return ReplyError::BadItems;
      message = p + at;
      messageSize = length;
    }
    at += length;
  }
  if (at != n || !nullAddress || message == nullptr) return ReplyError::BadItems;
  // Message router reply: service | 0x80, reserved, general status,
  // extended status size in words, extended status, data.
  if (messageSize < 4) return ReplyError::Truncated;
  if (message[0] != (requestService | 0x80)) return ReplyError::OtherService;
  const size_t extended = 2u * message[3];
  if (messageSize - 4 < extended) return ReplyError::Truncated;
  const size_t dataSize = messageSize - 4 - extended;
  if (dataSize > kMaxResponseData) return ReplyError::TooLong;
  out->status = message[2];
  out->extendedStatus.assign(message + 4, message + 4 + extended);
  out->data.assign(message + 4 + extended, message + messageSize);
  out->text.clear();
  return ReplyError::None;
}

// --- client ---------------------------------------------------------------------

struct Client::Session {
  qmx::net::Socket socket;
  uint32_t handle = 0;
  std::vector<uint8_t> in;
  // Replies that arrived while another request was collected, by handle.
  std::map<uint64_t, std::vector<uint8_t>> early;
};

Client::Client() : Client(Options{}) {}
Client::Client(Options options) : options_(options) {}
Client::~Client() { CloseBatch(); }

void Client::OpenBatch() { batchOpen_ = true; }

void Client::CloseBatch() {
  batchOpen_ = false;
  for (auto& [target, session] : sessions_) {
    const auto bye = BuildEncapsulation(command::kUnRegisterSession, session->handle, 0, {});
    session->socket.SendSome(bye.data(), bye.size());  // no reply comes; failure changes nothing
    session->socket.Close();
  }
  sessions_.clear();
  pending_.clear();
}

namespace {

bool SendFrame(qmx::net::Socket& socket, const std::vector<uint8_t>& frame, int timeoutMs) {
  const int64_t deadline = NowMs() + timeoutMs;
  size_t sent = 0;
  while (sent < frame.size()) {
    const int n = socket.SendSome(frame.data() + sent, frame.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n != -qmx::net::kWsaEwouldblock) return false;
    const int64_t left = deadline - NowMs();
    if (left <= 0 || socket.WaitWritable(static_cast<int>(left)) != 1) return false;
  }
  return true;
}

// The next whole frame from the socket into *frame. kOk, kTimeout or kMalformedReply.
int ReadFrame(qmx::net::Socket& socket, std::vector<uint8_t>& in, std::vector<uint8_t>* frame, int64_t deadline) {
  uint8_t chunk[1024];
  for (;;) {
    const long length = EncapsulationFrameLength(in.data(), in.size());
    if (length < 0) return kMalformedReply;
    if (length > 0) {
      frame->assign(in.begin(), in.begin() + length);
      in.erase(in.begin(), in.begin() + length);
      return kOk;
    }
    const int64_t left = deadline - NowMs();
    if (left <= 0) return kTimeout;
    const int ready = socket.WaitReadable(static_cast<int>(left));
    if (ready < 0) return kMalformedReply;
    if (ready == 0) return kTimeout;
    const int n = socket.Recv(chunk, sizeof chunk);
    if (n == -qmx::net::kWsaEwouldblock) continue;
    if (n <= 0) return kMalformedReply;  // closed or failed in the middle of a reply
    in.insert(in.end(), chunk, chunk + n);
  }
}

}  // namespace

Client::Session* Client::SessionFor(const std::string& target, int* failure) {
  if (auto it = sessions_.find(target); it != sessions_.end()) return it->second.get();
  uint32_t address = 0;
  if (qmx::net::ResolveIPv4(target, &address) != 0) {
    *failure = kConnectFailed;
    return nullptr;
  }
  auto session = std::make_unique<Session>();
  if (session->socket.Create(SOCK_STREAM) != 0 ||
      session->socket.Connect(address, options_.port, options_.connectTimeoutMs) != 0) {
    *failure = kConnectFailed;
    return nullptr;
  }
  if (!SendFrame(session->socket, BuildRegisterSession(), options_.replyTimeoutMs)) {
    *failure = kSendFailed;
    return nullptr;
  }
  std::vector<uint8_t> frame;
  const int rc = ReadFrame(session->socket, session->in, &frame, NowMs() + options_.replyTimeoutMs);
  EncapsulationHeader h;
  if (rc != kOk || !ParseEncapsulationHeader(frame.data(), frame.size(), &h) ||
      h.command != command::kRegisterSession || h.status != 0 || h.session == 0) {
    *failure = rc == kTimeout ? kTimeout : kSessionRefused;
    return nullptr;
  }
  session->handle = h.session;
  Session* raw = session.get();
  sessions_[target] = std::move(session);
  return raw;
}

void Client::DropSession(const std::string& target) {
  auto it = sessions_.find(target);
  if (it == sessions_.end()) return;
  it->second->socket.Close();
  sessions_.erase(it);
}

uint32_t Client::Submit(const std::string& target, const Request& request) {
  uint32_t handle = nextHandle_++;
  if (handle == 0) handle = nextHandle_++;
  Pending& p = pending_[handle];
  p.target = target;
  p.service = request.service;
  if (request.data.size() > kMaxRequestData) {
    p.failure = kRequestTooLong;
    return handle;
  }
  Session* session = SessionFor(target, &p.failure);
  if (session == nullptr) return handle;
  if (!SendFrame(session->socket, BuildSendRRData(session->handle, handle, request), options_.replyTimeoutMs)) {
    p.failure = kSendFailed;
    DropSession(target);
  }
  return handle;
}

int Client::Collect(uint32_t handle, Response* response) {
  auto it = pending_.find(handle);
  if (it == pending_.end()) return kUnknownHandle;
  const Pending p = it->second;
  pending_.erase(it);
  int result = p.failure;
  if (result == kOk) {
    auto sit = sessions_.find(p.target);
    if (sit == sessions_.end()) return kSendFailed;
    Session& s = *sit->second;
    const int64_t deadline = NowMs() + options_.replyTimeoutMs;
    for (;;) {
      std::vector<uint8_t> frame;
      if (auto early = s.early.find(handle); early != s.early.end()) {
        frame = std::move(early->second);
        s.early.erase(early);
      } else {
        result = ReadFrame(s.socket, s.in, &frame, deadline);
        if (result != kOk) break;
      }
      EncapsulationHeader h;
      ParseEncapsulationHeader(frame.data(), frame.size(), &h);
      if (h.command != command::kSendRRData) continue;
      if (h.context != handle) {
        // Another request's reply is kept for its Collect; a reply that no
        // request waits for (a late one) is dropped.
        if (pending_.count(static_cast<uint32_t>(h.context)) != 0 && h.context <= UINT32_MAX) {
          s.early[h.context] = std::move(frame);
        }
        continue;
      }
      Response parsed;
      if (ParseSendRRDataReply(frame.data(), frame.size(), p.service, &parsed) != ReplyError::None) {
        result = kMalformedReply;
        break;
      }
      *response = std::move(parsed);
      break;
    }
    // After a time-out or a broken reply the stream may be out of step.
    if (result != kOk) DropSession(p.target);
  }
  if (!batchOpen_) DropSession(p.target);
  return result;
}

}  // namespace qmx::cip
