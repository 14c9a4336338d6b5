// Our EtherNet/IP explicit-message client: CIP requests sent unconnected
// (SendRRData with a null address item and an unconnected data item) over an
// encapsulation session on TCP port 44818.
//
// The contract has four entries, as the setup dialogs use it:
//   OpenBatch()           before a group of requests (one user action)
//   Submit(target, req)   sends a request, returns a handle for it
//   Collect(handle, resp) waits for its reply; 0 when the response is filled
//   CloseBatch()          after the group, also after a failure
// Sessions are registered on first use within a batch and unregistered when
// the batch closes; a request outside a batch gets a session of its own.
//
// Every length of a reply is checked against the bytes that carry it, and
// the response data are bounded (kMaxResponseData); a reply that breaks
// either is refused (kMalformedReply), never copied in part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qmx::cip {

constexpr uint16_t kEncapsulationPort = 44818;
constexpr size_t kEncapsulationHeader = 24;
constexpr size_t kMaxRequestData = 2000;
constexpr size_t kMaxResponseData = 2000;
// No reply frame of ours comes near this; larger length fields are refused.
constexpr size_t kMaxEncapsulationData = 4096;

namespace command {
constexpr uint16_t kRegisterSession = 0x0065;
constexpr uint16_t kUnRegisterSession = 0x0066;
constexpr uint16_t kSendRRData = 0x006F;
}  // namespace command

namespace service {
constexpr uint8_t kReset = 0x05;
constexpr uint8_t kGetAttributeSingle = 0x0E;
constexpr uint8_t kSetAttributeSingle = 0x10;
}  // namespace service

constexpr uint16_t kItemNullAddress = 0x0000;
constexpr uint16_t kItemUnconnectedData = 0x00B2;

struct Request {
  uint8_t service = 0;
  uint16_t classId = 0;
  uint16_t instance = 0;
  uint16_t attribute = 0;  // 0: the path names no attribute
  std::vector<uint8_t> data;
  uint32_t interfaceAddress = 0;  // the local interface, network order (not used for routing)
};

struct Response {
  uint8_t status = 0;  // CIP general status; 0 success
  std::vector<uint8_t> extendedStatus;
  std::vector<uint8_t> data;  // at most kMaxResponseData bytes
  std::string text;
};

// Results of Collect.
enum Result : int {
  kOk = 0,
  kUnknownHandle = 1,
  kConnectFailed = 2,
  kSessionRefused = 3,
  kSendFailed = 4,
  kTimeout = 5,
  kMalformedReply = 6,
  kRequestTooLong = 7,
};

// --- frames (pure) ---------------------------------------------------------------
struct EncapsulationHeader {
  uint16_t command = 0;
  uint16_t length = 0;
  uint32_t session = 0;
  uint32_t status = 0;
  uint64_t context = 0;
  uint32_t options = 0;
};

std::vector<uint8_t> BuildEncapsulation(uint16_t command, uint32_t session, uint64_t context,
                                        const std::vector<uint8_t>& data);
std::vector<uint8_t> BuildRegisterSession();
// Service, request path (8- or 16-bit logical segments), data.
std::vector<uint8_t> BuildMessageRouterRequest(const Request& request);
std::vector<uint8_t> BuildSendRRData(uint32_t session, uint64_t context, const Request& request);

bool ParseEncapsulationHeader(const uint8_t* data, size_t size, EncapsulationHeader* out);
// The size of the first whole frame at the front; 0 while incomplete; -1 when
// its length field is beyond kMaxEncapsulationData.
long EncapsulationFrameLength(const uint8_t* data, size_t size);

enum class ReplyError { None, Truncated, NotSendRRData, EncapsulationStatus, BadItems, OtherService, TooLong };
// One whole SendRRData reply frame to the response of a request with
// service `requestService`.
ReplyError ParseSendRRDataReply(const uint8_t* frame, size_t size, uint8_t requestService, Response* out);

// --- the client -----------------------------------------------------------------
class Client {
public:
  struct Options {
    uint16_t port = kEncapsulationPort;
    int connectTimeoutMs = 1000;
    int replyTimeoutMs = 1000;
  };
  Client();
  explicit Client(Options options);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  void OpenBatch();
  void CloseBatch();
  // Never 0. A request that could not be sent still gets a handle; its
  // Collect reports why.
  uint32_t Submit(const std::string& target, const Request& request);
  int Collect(uint32_t handle, Response* response);

private:
  struct Session;
  struct Pending {
    std::string target;
    uint8_t service = 0;
    int failure = kOk;
  };
  Session* SessionFor(const std::string& target, int* failure);
  void DropSession(const std::string& target);

  Options options_;
  bool batchOpen_ = false;
  uint32_t nextHandle_ = 1;
  std::map<std::string, std::unique_ptr<Session>> sessions_;
  std::map<uint32_t, Pending> pending_;
};

}  // namespace qmx::cip
