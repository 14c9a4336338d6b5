// The simulator's EtherNet/IP side: an encapsulation server on TCP (port
// 44818 by default) answering the explicit requests of the BOOTP server's
// setup dialog (RegisterSession, SendRRData with an unconnected message,
// UnRegisterSession) from a small set of CIP attributes, with faults.
//
// Attributes (class/instance/attribute):
//   0x70/1/0xA0  device check, UINT (741 for our adapters)
//   0x01/1/4     revision, major and minor byte
//   0x01/1/0x68  release date, 4 bytes
//   0x01/1/7     product name, SHORT_STRING
//   0xF5/1/3     configuration control, DWORD (0x11 BOOTP on, 0x10 off)
//   0x70/1/13    Run/Idle header of inputs, BYTE
//   0x70/1/14    Run/Idle header of outputs, BYTE
// Get_Attribute_Single (0x0E) reads, Set_Attribute_Single (0x10) writes,
// Reset (0x05) on the identity counts a reboot.
//
// Fault text: KIND[=VALUE][,count=N]
//   status=HEX   the replies carry this general status (e.g. status=6A,count=2)
//   silence      the request gets no reply
//   short        the reply's data item claims one byte more than it carries
//   oversize     the reply carries 600 data bytes
//   drop         the connection is closed instead of replying
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qmx::sim {

struct EipIdentity {
  uint16_t deviceCheck = 741;
  uint8_t revisionMajor = 1;
  uint8_t revisionMinor = 101;
  std::array<uint8_t, 4> releaseDate{0x25, 0x12, 0x08, 0x20};
  std::string productName = "QMX-4101 EtherNet/IP";
  uint8_t bootp = 0x11;
  uint8_t runIdleInput = 1;
  uint8_t runIdleOutput = 0;
};

enum class EipFaultKind { Status, Silence, Short, Oversize, Drop };
struct EipFault {
  EipFaultKind kind = EipFaultKind::Status;
  uint8_t status = 0;
  int remaining = -1;  // -1 = always
};
bool ParseEipFault(const std::string& text, EipFault* out, std::string* error);

// The length of the encapsulation frame at the front of a stream: its
// 24-byte header and the data its length field counts; 0 while the header
// is not whole.
size_t EipFrameLength(const uint8_t* data, size_t size);

// The request handling, without sockets; safe to call from several threads.
class EipDevice {
public:
  explicit EipDevice(EipIdentity identity = {});

  struct Answer {
    std::vector<uint8_t> reply;  // empty: nothing to send
    bool close = false;
  };
  // One whole encapsulation frame.
  Answer HandleFrame(const std::vector<uint8_t>& frame);

  void AddFault(const EipFault& fault);
  EipIdentity identity() const;
  void SetIdentity(const EipIdentity& identity);
  // "SS/CCCC/IIII/AAAA" per CIP request, oldest first.
  std::vector<std::string> history() const;
  int resets() const;

private:
  std::vector<uint8_t> HandleMessage(const uint8_t* mr, size_t size, bool* silent, bool* close, bool* shortItem);

  mutable std::mutex mutex_;
  EipIdentity identity_;
  std::vector<EipFault> faults_;
  std::vector<std::string> history_;
  uint32_t nextSession_ = 0x1001;
  int resets_ = 0;
};

// The transport: a listening socket served on a thread of its own.
class EipServer {
public:
  explicit EipServer(EipDevice& device);
  ~EipServer();
  EipServer(const EipServer&) = delete;
  EipServer& operator=(const EipServer&) = delete;

  // Binds ADDRESS:PORT (port 0 picks one) and starts serving.
  bool Start(const std::string& address, int port, std::string* error);
  void Stop();
  int port() const { return port_; }

private:
  void Run();

  EipDevice& device_;
  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  int port_ = -1;
  std::thread thread_;
};

// The simulator's command-line options for this side, taken out of the
// argument list before the rest is parsed:
//   --eip ADDR:PORT      serve EtherNet/IP there
//   --eip-fault SPEC     a fault rule (repeatable)
//   --eip-check N        the device check value (another product: not 741)
struct EipOptions {
  bool enabled = false;
  std::string address = "127.0.0.1";
  int port = 44818;
  std::vector<EipFault> faults;
  int deviceCheck = 741;
};
bool TakeEipOptions(std::vector<std::string>* args, EipOptions* out, std::string* error);

}  // namespace qmx::sim
