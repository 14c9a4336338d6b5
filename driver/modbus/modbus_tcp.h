// CModbusTCP: the Modbus TCP master (bus types "TCP" and "UDP") on a
// DriverSocket. Every request carries the MBAP prefix (transaction id,
// protocol 0, length); every reply is read by its MBAP length, however the
// stream splits it, and must carry the request's transaction id, protocol 0,
// unit and function. Its ScanDevice is the adapters' UDP discovery
// broadcast; its reconnection tests the host with an ICMP echo first.
//
// The connection is kept as long as the stream stays in step: a framed
// reply is an answer whatever it says (an exception, another unit), and a
// reply to an earlier request (late, or a second copy) is skipped by its
// transaction id. The connection is closed when a reply cannot be framed,
// carries an id this master never sent lately, or is cut off by the
// time-out; such a glitch of a link that had answered is retried at once
// (DriverSocket::RetryAtOnce). A link on which nothing at all has come for a
// reconnect period is closed as dead.
//
// A monitoring cycle's repeated part may be run ahead of the loop
// (RunAhead, one per master): each exchange asks it first, each
// transaction reports to it, and it takes its ids from the master's one
// allocator.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/modbus/driver_socket.h"
#include "driver/modbus/modbus_master.h"
#include "driver/modbus/run_ahead.h"
#include "driver/modbus/transaction_ids.h"

namespace tessivar {

// The discovery broadcast: from local port 6012 to port 8000 of every
// adapter.
inline constexpr const char* kDiscoveryAddress = "255.255.255.255";
inline constexpr int kDiscoveryPort = 8000;
inline constexpr int kDiscoveryLocalPort = 6012;
// The discovery request as it goes on the wire.
inline constexpr uint8_t kDiscoveryRequest[16] = {0xFF, 0xFF, 0xEE, 0xEE, 0x0E, 0x00, 0x00, 0x06,
                                                  0x78, 0x00, 0x01, 0x00, 0x00, 0x00, 0xCC, 0xCC};
// An answer: EE EE FF FF 0E 80, two more header bytes, then the adapter's
// 256-byte record.
inline constexpr int kDiscoveryHeaderLength = 8;
inline constexpr int kDiscoveryReplyLength = kDiscoveryHeaderLength + 256;
// A scan keeps at most this many adapters, as many as one driver instance
// serves; answers beyond them are not kept.
inline constexpr size_t kMaxDiscoveryRecords = 100;

// One datagram the discovery received: when it is an answer of an adapter
// not kept yet (by MAC address, or IP address without one) and fewer than
// kMaxDiscoveryRecords are kept, its record is appended to the hits (true).
// The answer of a further adapter when the records are full is counted in
// the hits' dropped adapters; anything else is passed over.
bool TakeDiscoveryAnswer(const uint8_t* datagram, int length, ScanHits& hits);

// What an answer's record tells of its adapter: texts 2 to 5 of the scan's
// record (IP address, MAC address, subnet mask, gateway) and the product code.
struct DiscoveredAdapter {
  uint16_t productCode = 0;
  std::array<std::string, 5> texts;
};
DiscoveredAdapter DecodeDiscoveryRecord(const DiscoveryRecord& record);

// The settings of the discovery socket: a datagram socket with broadcasting
// on, bound to local port 6012, sending to `address`:`port`.
TcpCommSetting DiscoverySettings(const std::string& address = kDiscoveryAddress, int port = kDiscoveryPort);

class CModbusTCP : public Modbus {
public:
  // The largest Modbus TCP frame.
  static constexpr int kTxBufferSize = FrameLength(kTcpFraming, kMaxPdu);
  static constexpr int kDiscoveryBufferSize = 266;
  // The reachability test before a reconnection: at most kPingCount echoes,
  // each waiting kPingTimeoutMs.
  static constexpr int kPingTimeoutMs = 500;
  static constexpr int kPingCount = 2;

  using PingFunction = std::function<int(const char* host, int timeoutMs, int count)>;

  CModbusTCP();
  ~CModbusTCP() override;

  int TxGetRxData(const uint8_t* request, int requestLength, uint8_t* dst, int n, int ignored) override;
  int TxCheckResult(const uint8_t* header, int headerLength, const uint8_t* data, int dataLength) override;
  int TxGetRxDataEcho(const uint8_t* request, int requestLength, uint8_t* dst, int n, int logFlag) override;
  int TxRequest(const uint8_t* header, int headerLength, int kind, uint8_t* dst, int n, const uint8_t* data,
                int dataLength) override;
  int CloseConnection() override;
  int DeleteConnection() override;
  int Reconnect() override;
  int IsConnected() override;
  using Modbus::OpenConnection;
  // a = 1 on a datagram socket: with b = 1 waiting datagrams are drained
  // first; without broadcasting a failed open becomes -9115.
  int OpenConnection(const TcpCommSetting& settings, int a, int b) override;
  // Broadcasts the discovery request and collects the answers that arrive
  // within windowMs (unit unused): one record per adapter (answers with the
  // MAC address of one already kept, or without a MAC address the IP
  // address, are the same adapter answering again), at most
  // kMaxDiscoveryRecords.
  int ScanDevice(int unit, ScanHits& hits, int& counter, int windowMs) override;
  void TransportErrorText(int code, std::string& text) const override;
  TransportKind Transport() const override { return TransportKind::kSocket; }
  RunAhead* CycleRunAhead() override { return &runAhead_; }

  // The ids of this master's requests, its run ahead's included.
  uint16_t NextTransactionId() { return ids_.Next(); }
  void SetTransactionId(uint16_t id) { ids_.Set(id); }

  DriverSocket* Socket() const { return socket_.get(); }
  // The reachability test of Reconnect (PingHost unless replaced) and the
  // tick source of the socket's reconnection gate; tests replace them.
  void SetPingFunction(PingFunction ping) { ping_ = std::move(ping); }
  void SetTickSource(TickSource ticks);

protected:
  int BadParameterCode() const override { return kSockBadParameter; }
  void ApplyAbort() override {
    if (socket_) socket_->SetAbort(abort_);
  }

private:
  // Writes the MBAP prefix before the `pduLength` bytes (unit included)
  // already in the transmit buffer, sends the frame and reads the whole
  // reply into the receive buffer; the run ahead is asked first, and may
  // have the reply already, or the exchange under way for it to take over. Returns the reply length (at least 8) or
  // a code.
  int Exchange(int pduLength);
  // Where a reply stands when the loop takes it over from a run ahead.
  struct ReplySoFar {
    std::chrono::steady_clock::time_point start;  // when its request went out
    int got = 0;                                  // its bytes, in rx_
    bool failed = false;                          // the last receive gave `result`
    int result = 0;
  };
  // Reads the reply of `transactionId` by its MBAP length, skipping
  // replies to earlier requests; from where `soFar` left it, when given.
  int ReceiveReply(DriverSocket::Held& held, uint16_t transactionId, const ReplySoFar* soFar = nullptr);
  void WriteMbap(uint16_t id, int pduLength);
  // A reply may come late, or twice, for one of so many requests before
  // the current one.
  static constexpr int kEarlierIds = 16;
  // Closes the connection and asks for a reconnection at once.
  void StreamOutOfStep();
  // One request and its reply, as each Tx operation describes it; the
  // request (unit and PDU) is already in the transmit buffer.
  struct Transaction {
    int pduLength = 0;
    // The reply as the request lays it out: at least that long, or (with
    // exactLength and n > 0) exactly.
    ReplyLayout reply;
    uint8_t* dst = nullptr;
    int n = 0;
    bool exactLength = false;
    bool checkByteCount = false;  // ... and its byte count is n
  };
  // Sends, receives, checks and copies: the one transaction path.
  int Transact(const Transaction& x);
  // replyLength: of the reply the exchange framed (0 when none).
  int TransactOnce(const Transaction& x, int& replyLength);

  // The exchange under way when a run ahead ended: the loop takes it over
  // where it was (the rest of its request, the rest of its reply).
  int TakeOver(DriverSocket::Held& held, const RunAhead::UnderWay& underWay);

  std::unique_ptr<DriverSocket> socket_;
  std::string remoteAddress_;
  TransactionIds ids_;
  PingFunction ping_;
  TickSource ticks_;
  // When the stream last brought anything.
  std::chrono::steady_clock::time_point lastReceive_;
  uint8_t tx_[kTxBufferSize] = {};
  uint8_t rx_[kRxBufferSize] = {};
  RunAhead runAhead_{*this, ids_, tx_, rx_};
};

}  // namespace tessivar
