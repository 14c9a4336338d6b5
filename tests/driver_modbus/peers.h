// Peers for the Modbus master tests: a libmodbus TCP server and RTU slave
// (framing independent of ours), raw TCP and RTU peers that answer with
// crafted bytes, socat pty pairs, and a recording owner for the masters' log
// lines and ping results.
#pragma once

#include <modbus/modbus.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/modbus/modbus_master.h"
#include "driver/modbus/modbus_settings.h"
#include "driver/modbus/reconnect_gate.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace qmx::test {

using Bytes = std::vector<uint8_t>;

// What a raw peer does in answer to one request: wait, then send bytes, or
// close the connection. On a serial line the bytes are complete no sooner
// than they could have crossed it behind the request (a pty pair carries
// them at once), unless `early` (a frame that comes too soon to be the
// reply).
struct PeerAction {
  int delayMs = 0;
  Bytes bytes;
  bool close = false;
  bool early = false;
};
using PeerHandler = std::function<std::vector<PeerAction>(const Bytes& request)>;

// Builds a Modbus TCP reply: MBAP prefix with `transactionId`, protocol 0,
// the length of unit + pdu.
Bytes MbapFrame(uint16_t transactionId, uint8_t unit, const Bytes& pdu);
uint16_t TransactionIdOf(const Bytes& request);
// An RTU frame: the bytes and their CRC, low byte first.
Bytes RtuFrame(const Bytes& body);
// The register at `p`, high byte first.
inline uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// The station the pymodbus peer (modbus_peer.py) plays, and the raw
// stations that stand in for it: QMX-4101 with two 8-point input modules
// (the input image is one register, as long as any one-register read) and
// one 8-point output module; BusStatus and IOUpdateTime are monitored.
extern const std::vector<ModuleListEntry> kPeerStationEntries;

// A TCP master's settings for a peer on 127.0.0.1.
tessivar::TcpCommSetting LoopbackSetting(int port, int timeoutMs = 1000);
// The line speed of the RTU peers (8N1) unless a test sets another.
inline constexpr int kPtyLineBaud = 19200;
// An RTU master's settings for COM<comNumber> at `baud` (8N1).
tessivar::SerialCommSetting PtyLineSetting(int comNumber, int timeoutMs, int baud = kPtyLineBaud);
// The time `characters` 8N1 characters take to cross a line at `baud`.
std::chrono::nanoseconds LineTime(size_t characters, int baud = kPtyLineBaud);

// A libmodbus TCP server on 127.0.0.1 (ephemeral port) with a register and
// bit map, answering one connection at a time; function 8 is echoed.
class LibmodbusTcpServer {
public:
  LibmodbusTcpServer();
  ~LibmodbusTcpServer();
  bool Start();
  void Stop();
  uint16_t port() const { return port_; }

  // Access to the maps under the server's lock.
  void WithMap(const std::function<void(modbus_mapping_t&)>& fn);
  int requests() const { return requests_.load(); }

private:
  void Run();

  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::mutex lock_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// A TCP peer on 127.0.0.1 that reads whole MBAP requests and answers with
// what its handler says. It accepts again after a connection ends.
class RawTcpPeer {
public:
  explicit RawTcpPeer(PeerHandler handler);
  ~RawTcpPeer();
  bool Start();
  uint16_t port() const { return port_; }
  void SetHandler(PeerHandler handler);
  std::vector<Bytes> Requests();
  int connections() const { return connections_.load(); }

private:
  void Run();
  bool Serve(int fd);

  PeerHandler handler_;
  std::mutex lock_;
  std::vector<Bytes> requests_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
  std::vector<std::thread> servers_;
};

// A pty pair for COM<n> in a folder of its own, which the serial layer is
// pointed at (QMX_COM_DIR) while the line lives.
class ComLine {
public:
  explicit ComLine(int comNumber);
  ~ComLine();
  // False when socat cannot make the pair.
  bool Start() { return pty_.Start(); }
  const std::filesystem::path& PeerPath() const { return pty_.peer(); }
  const std::filesystem::path& folder() const { return dir_.path(); }

private:
  TempDir dir_{"qmx-rtu"};
  qmx::sim::PtyPair pty_;
};

// A libmodbus RTU slave on the peer end of a pty pair, node `slave`;
// function 8 is echoed. It answers as soon as it has the request, as a peer
// that knows no line time does.
class LibmodbusRtuSlave {
public:
  LibmodbusRtuSlave(std::filesystem::path device, int slave);
  ~LibmodbusRtuSlave();
  bool Start();
  void WithMap(const std::function<void(modbus_mapping_t&)>& fn);
  // The requests it has answered or refused.
  int requests() const { return requests_.load(); }

private:
  void Run();

  std::filesystem::path device_;
  int slave_;
  std::atomic<int> requests_{0};
  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  std::mutex lock_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A raw RTU peer on the peer end of a pty pair: a request is what arrives
// before the line falls silent for a few milliseconds.
class RawRtuPeer {
public:
  RawRtuPeer(std::filesystem::path device, PeerHandler handler, int baud = kPtyLineBaud);
  ~RawRtuPeer();
  bool Start();
  void SetHandler(PeerHandler handler);
  std::vector<Bytes> Requests();

private:
  void Run();

  std::filesystem::path device_;
  PeerHandler handler_;
  int baud_;
  std::mutex lock_;
  std::vector<Bytes> requests_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Collects what a master hands its owner.
class RecordingOwner : public tessivar::ModbusOwner {
public:
  void MasterLog(int level, const std::string& text) override;
  void PingReport(const std::string& host, int result) override;
  std::vector<std::pair<int, std::string>> Lines();
  std::vector<std::pair<std::string, int>> Pings();

private:
  std::mutex lock_;
  std::vector<std::pair<int, std::string>> lines_;
  std::vector<std::pair<std::string, int>> pings_;
};

// A tick source the test advances by hand.
class ManualTicks {
public:
  tessivar::TickSource Source() {
    return [this] { return now_.load(); };
  }
  void Advance(uint32_t ms) { now_ += ms; }

private:
  std::atomic<uint32_t> now_{1000};
};

}  // namespace qmx::test
