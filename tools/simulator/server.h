// The simulator's transports in one poll loop on one thread: the Modbus TCP
// server (several clients at once), Modbus over UDP, the Modbus RTU slave on a serial device
// (libmodbus opens and sets up the line), the UDP discovery responder and the
// control channel (stdin and an optional UNIX socket). Delayed and segmented
// replies wait in per-connection queues, so a slow reply never holds up the
// other connections. On the serial line a reply is complete no earlier than
// a real line would allow: the request and the reply crossing it at the
// character time of the line's settings (a pty pair carries bytes at once).
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tools/simulator/config.h"
#include "tools/simulator/simulator.h"

typedef struct _modbus modbus_t;

namespace qmx::sim {

class Server {
public:
  explicit Server(const SimConfig& config);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and opens every configured endpoint.
  bool Open(std::string* error);
  // "READY tcp=ADDR:PORT rtu=DEVICE discovery=ADDR:PORT control=PATH nodes=N,..."
  std::string ReadyLine() const;
  // Serves until "quit", SIGINT/SIGTERM or the end of command input; 0.
  int Run();

private:
  struct Pending {
    uint64_t due = 0;
    Bytes bytes;
    bool close = false;
    sockaddr_in to{};  // the datagram's destination (Modbus over UDP)
    // Not written before (the serial line's crossing time).
    std::chrono::steady_clock::time_point notBefore{};
  };
  struct Queue {
    std::deque<Pending> items;
    size_t sent = 0;  // bytes of the front item already written
  };
  struct Client {
    int fd = -1;
    Bytes in;
    Queue out;
    uint64_t lastActivity = 0;
  };
  struct LineClient {
    int fd = -1;
    std::string in;
  };

  uint64_t Now() const;
  void Enqueue(Queue& q, const ReplyPlan& plan, uint64_t now);
  // Writes what is due; false when the queue asks to close or the peer is gone.
  bool Flush(Queue& q, int fd, uint64_t now);
  int NextWakeMs(uint64_t now) const;
  // The poll's time-out: NextWakeMs, or sooner when a serial reply may
  // leave within it.
  std::chrono::nanoseconds NextWake(uint64_t now) const;
  // Holds the reply frames just queued for an RTU request of `requestLength`
  // bytes until request and reply could have crossed the line.
  void HoldForTheLine(size_t firstNew, size_t requestLength);
  void AcceptTcp();
  bool ReadTcp(Client& c, uint64_t now);
  void ReadRtu(uint64_t now);
  void ServeRtuFrames(uint64_t now);
  bool ReopenRtu();
  void CloseRtu();
  void ReadDiscovery();
  void ReadModbusUdp(uint64_t now);
  void FlushUdp(uint64_t now);
  int BindUdp(const Endpoint& at, int* port, std::string* error, const char* what);
  void AcceptControl();
  // 1 open, 0 end of input, -1 read error.
  int ReadLines(int fd, std::string& buffer, int replyFd);
  void CloseAllClients();
  void Log(const std::string& line) const;
  uint16_t IdleTimeoutSeconds();

  SimConfig config_;
  Simulator sim_;
  uint64_t start_ = 0;
  modbus_t* tcpCtx_ = nullptr;
  int listenFd_ = -1;
  int tcpPort_ = -1;
  std::vector<Client> clients_;
  modbus_t* rtuCtx_ = nullptr;
  int rtuFd_ = -1;
  uint64_t rtuRetryAt_ = 0;
  RtuReceiver rtu_;
  size_t seenBad_ = 0;
  Queue rtuOut_;
  std::chrono::nanoseconds rtuCharacter_{0};
  int udpFd_ = -1;  // discovery
  int udpPort_ = -1;
  int modbusUdpFd_ = -1;
  int modbusUdpPort_ = -1;
  Queue udpOut_;
  int controlFd_ = -1;
  std::vector<LineClient> controlClients_;
  bool stdinCommands_ = false;
  std::string stdinBuffer_;
  bool stop_ = false;
};

}  // namespace qmx::sim
