#include "driver/modbus/modbus_tcp.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "common/Utility.h"
#include "driver/driver_utils.h"
#include "driver/modbus/modbus_frames.h"

namespace tessivar {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHeaderLength = kTcpFraming.header;  // the MBAP prefix and the unit

AdapterIdentity IdentityOf(const DiscoveryRecord& record) {
  AdapterIdentity id;
  std::copy_n(record.bytes.begin(), id.ip.size(), id.ip.begin());
  std::copy_n(record.bytes.begin() + 12, id.mac.size(), id.mac.begin());
  return id;
}

// `known` answered already as the adapter `id` names: the same MAC address,
// or, when `id` carries none, the same IP address.
bool SameAdapter(const AdapterIdentity& known, const AdapterIdentity& id) {
  static constexpr std::array<uint8_t, 6> kNoMac{};
  return id.mac != kNoMac ? known.mac == id.mac : known.ip == id.ip;
}

}  // namespace

TcpCommSetting DiscoverySettings(const std::string& address, int port) {
  TcpCommSetting s;
  s.unitId = 1;
  s.localName = "127.0.0.1";
  s.ipAddress = address;
  s.port = port;
  s.timeoutMs = 500;
  s.socketType = DriverSocket::kDatagram;
  s.localPort = kDiscoveryLocalPort;
  s.broadcast = 1;
  return s;
}

CModbusTCP::CModbusTCP() : Modbus("ModbusTCP"), ping_(PingHost) {}

CModbusTCP::~CModbusTCP() = default;

void CModbusTCP::WriteMbap(uint16_t id, int pduLength) { qmx::modbus::PutMbap(tx_, id, pduLength); }

void CModbusTCP::SetTickSource(TickSource ticks) {
  ticks_ = std::move(ticks);
  if (socket_) socket_->SetTickSource(ticks_);
}

int CModbusTCP::Exchange(int pduLength) {
  RunAhead::Turn turn = runAhead_.Ask(pduLength, socket_.get());
  if (turn == RunAhead::Turn::kLoop || turn == RunAhead::Turn::kStart) {
    // A stop asked for: no new request goes out.
    if (Aborted()) return kSockTimeout;
    DriverSocket::Held held = socket_->HoldForExchange();
    const uint16_t id = ids_.Next();
    WriteMbap(id, pduLength);
    const int sent = held.Send(tx_, kMbapLength + pduLength);
    if (sent <= 0) return sent;
    if (turn == RunAhead::Turn::kLoop) {
      const int r = ReceiveReply(held, id);
      // Framed and this request's: the link works.
      if (r > 0) socket_->NoteAnswered();
      return r;
    }
    // The loop waits while the scheduler runs the script ahead.
    turn = runAhead_.Run(*socket_, sent);
    runAhead_.LastReceive(&lastReceive_);
    if (turn == RunAhead::Turn::kTakeOver) return TakeOver(held, runAhead_.TakeOver());
  } else if (turn == RunAhead::Turn::kTakeOver) {
    DriverSocket::Held held = socket_->HoldForExchange();
    // The run sent this request with the id it took last.
    WriteMbap(ids_.Last(), pduLength);
    return TakeOver(held, runAhead_.TakeOver());
  }
  // Run ahead: the reply waits.
  const int r = runAhead_.Serve();
  socket_->NoteAnswered();
  return r;
}

int CModbusTCP::TakeOver(DriverSocket::Held& held, const RunAhead::UnderWay& underWay) {
  const uint16_t id = ids_.Last();
  int r = 0;
  if (underWay.sendResult != RunAhead::kStepFrameLength) {
    const int n = underWay.sendResult;
    if (n < 0 && n != -qmx::net::kWsaEwouldblock) return socket_->Sent(n);
    const int done = std::max(n, 0);
    const int sent = held.Send(tx_ + done, RunAhead::kStepFrameLength - done);
    if (sent <= 0) return sent;
    r = ReceiveReply(held, id);
  } else {
    const ReplySoFar soFar{underWay.start, underWay.got, underWay.receiveFailed, underWay.receiveResult};
    r = ReceiveReply(held, id, &soFar);
  }
  if (r > 0) socket_->NoteAnswered();
  return r;
}

void CModbusTCP::StreamOutOfStep() {
  socket_->Close();
  socket_->RetryAtOnce();
}

int CModbusTCP::ReceiveReply(DriverSocket::Held& held, uint16_t transactionId, const ReplySoFar* soFar) {
  // The whole reply, however the stream splits it, within one time-out. One
  // clock read for a reply that comes in one piece: the start of the wait,
  // which also stamps what came in (within one time-out of it).
  const int timeoutMs = socket_->TimeoutMs();
  const auto start = soFar ? soFar->start : Clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeoutMs);
  int got = soFar ? soFar->got : 0;
  bool first = !soFar;
  // The receive that ended a run ahead is taken as this one's own.
  bool failed = soFar && soFar->failed;
  for (;;) {
    if (got >= kHeaderLength) {
      const uint16_t id = qmx::modbus::MbapTransactionId(rx_);
      const int length = MbapReplyLength(rx_, kRxBufferSize);
      if (length < 0) {
        // Not a Modbus TCP frame: nothing that follows can be framed.
        StreamOutOfStep();
        return length;
      }
      if (got >= length) {
        // Bytes beyond the announced length belong to no request of ours.
        if (id == transactionId) return length;
        // A reply that came after its request had timed out, or a second
        // copy of an answered one: framed, so skipped.
        if (!ids_.GaveBefore(id, kEarlierIds)) {
          StreamOutOfStep();
          return kMbException;
        }
        std::memmove(rx_, rx_ + length, static_cast<size_t>(got - length));
        got -= length;
        continue;
      }
    }
    int r = 0;
    if (failed) {
      failed = false;
      r = socket_->Received(soFar->result);
    } else {
      const auto left =
          first ? timeoutMs : std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      first = false;
      r = left > 0 ? held.Receive(rx_ + got, kRxBufferSize - got, static_cast<int>(left))
                   : static_cast<int>(kSockTimeout);
    }
    if (r == kSockTimeout) {
      if (got > 0) {
        // A reply cut off: the stream is out of step.
        StreamOutOfStep();
      } else if (Clock::now() - lastReceive_ >= std::chrono::seconds(socket_->ReconnectPeriod())) {
        // Nothing at all for a whole reconnect period: a dead link.
        socket_->Close();
      }
      return kSockTimeout;
    }
    // The peer closed the connection (the socket reads 0 bytes): what the
    // caller meets is a connection that is no longer there.
    if (r == 0) return kSockNotConnected;
    if (r < 0) return r;
    lastReceive_ = start;
    got += r;
  }
}

int CModbusTCP::Transact(const Transaction& x) {
  int replyLength = 0;
  const int result = TransactOnce(x, replyLength);
  runAhead_.Report(x.pduLength, result, replyLength);
  return result;
}

int CModbusTCP::TransactOnce(const Transaction& x, int& replyLength) {
  const int r = Exchange(x.pduLength);
  if (r <= 0) return r;
  replyLength = r;
  if (r < 8) return 0;
  int mismatch = kReplyMatches;
  // A framed reply of this transaction keeps the stream in step whatever it
  // says: an exception, another unit or function is this request's answer.
  const int check = CheckTcpReply(tx_, rx_, r, &mismatch);
  if (check != 1) {
    if (check == kMbOtherException) NoteException(rx_[8]);
    return check;
  }
  if (!x.exactLength && r < x.reply.length) return static_cast<int>(kMbShortReply);
  if (x.n != 0 && x.exactLength &&
      (r != x.reply.length || (x.checkByteCount && rx_[x.reply.dataOffset - 1] != x.n)))
    return static_cast<int>(kMbShortReply);
  // Never copy more than the reply carries.
  if (x.reply.dataOffset + x.n > r) return static_cast<int>(kMbShortReply);
  if (x.n > 0) std::memcpy(x.dst, rx_ + x.reply.dataOffset, static_cast<size_t>(x.n));
  return 1;
}

int CModbusTCP::TxGetRxData(const uint8_t* request, int requestLength, uint8_t* dst, int n, int /*ignored*/) {
  return Guard("ModbusTCP::TxGetRxData", [&] {
    if (!socket_) return static_cast<int>(kDrvNoInstance);
    Transaction x;
    x.pduLength = PutRequest({.head = request, .headLength = requestLength, .dst = dst, .n = n}, kTcpFraming,
                             ReplyForm::kCounted, n, tx_ + kMbapLength, &x.reply);
    if (x.pduLength == 0) return static_cast<int>(kSockBadParameter);
    x.dst = dst;
    x.n = n;
    x.exactLength = true;
    x.checkByteCount = true;
    return Transact(x);
  });
}

int CModbusTCP::TxGetRxDataEcho(const uint8_t* request, int requestLength, uint8_t* dst, int n, int /*logFlag*/) {
  return Guard("ModbusTCP::TxGetRxDataEcho", [&] {
    if (!socket_) return static_cast<int>(kDrvNoInstance);
    Transaction x;
    x.pduLength = PutRequest({.head = request, .headLength = requestLength, .dst = dst, .n = n}, kTcpFraming,
                             ReplyForm::kEchoed, n, tx_ + kMbapLength, &x.reply);
    if (x.pduLength == 0) return static_cast<int>(kSockBadParameter);
    x.dst = dst;
    x.n = n;
    x.exactLength = true;
    return Transact(x);
  });
}

int CModbusTCP::TxCheckResult(const uint8_t* header, int headerLength, const uint8_t* data, int dataLength) {
  return Guard("ModbusTCP::TxCheckResult", [&] {
    if (!socket_) return static_cast<int>(kDrvNoInstance);
    Transaction x;
    // Unit, function, address and quantity at least.
    x.pduLength = PutRequest({.head = header,
                              .headLength = headerLength,
                              .body = TxArguments::kCounted,
                              .data = data,
                              .dataLength = dataLength},
                             kTcpFraming, ReplyForm::kEchoed, kEchoedValueLength, tx_ + kMbapLength, &x.reply);
    if (x.pduLength == 0) return static_cast<int>(kSockBadParameter);
    return Transact(x);
  });
}

int CModbusTCP::TxRequest(const uint8_t* header, int headerLength, int kind, uint8_t* dst, int n,
                          const uint8_t* data, int dataLength) {
  return Guard("ModbusTCP::TxRequest", [&] {
    if (!socket_) return static_cast<int>(kDrvNoInstance);
    const TxArguments::Body body = kind == kRequestRead          ? TxArguments::kNone
                                   : kind == kRequestSingleWrite ? TxArguments::kRaw
                                                                 : TxArguments::kCounted;
    // The reply needs to carry no more than the n bytes the caller takes.
    Transaction x;
    x.pduLength = PutRequest({header, headerLength, body, data, dataLength, dst, n}, kTcpFraming,
                             kind == kRequestRead ? ReplyForm::kCounted : ReplyForm::kEchoed, n, tx_ + kMbapLength,
                             &x.reply);
    if (x.pduLength == 0) return static_cast<int>(kSockBadParameter);
    std::memset(rx_, 0, sizeof rx_);
    x.dst = dst;
    x.n = n;
    return Transact(x);
  });
}

bool TakeDiscoveryAnswer(const uint8_t* datagram, int length, ScanHits& hits) {
  if (!IsDiscoveryAnswer(datagram, length)) return false;
  DiscoveryRecord record;
  std::memcpy(record.bytes.data(), datagram + kDiscoveryHeaderLength, record.bytes.size());
  const AdapterIdentity id = IdentityOf(record);
  auto same = [&id](const AdapterIdentity& known) { return SameAdapter(known, id); };
  if (std::any_of(hits.discovery.begin(), hits.discovery.end(),
                  [&](const DiscoveryRecord& kept) { return same(IdentityOf(kept)); }))
    return false;
  if (hits.discovery.size() < kMaxDiscoveryRecords) {
    hits.discovery.push_back(record);
    return true;
  }
  if (std::none_of(hits.discoveryDropped.begin(), hits.discoveryDropped.end(), same)) {
    if (hits.discoveryDropped.size() < kMaxDiscoveryRecords) {
      hits.discoveryDropped.push_back(id);
    } else {
      ++hits.discoveryDroppedMore;
    }
  }
  return false;
}

DiscoveredAdapter DecodeDiscoveryRecord(const DiscoveryRecord& record) {
  const uint8_t* b = record.bytes.data();
  auto dotted = [](const uint8_t* p) { return StrFormat("%d.%d.%d.%d", p[0], p[1], p[2], p[3]); };
  DiscoveredAdapter adapter;
  adapter.texts[1] = dotted(b);
  adapter.texts[2] = StrFormat("%02X:%02X:%02X:%02X:%02X:%02X", b[12], b[13], b[14], b[15], b[16], b[17]);
  adapter.texts[3] = dotted(b + 4);
  adapter.texts[4] = dotted(b + 8);
  adapter.productCode = static_cast<uint16_t>(b[23] << 8 | b[22]);
  return adapter;
}

int CModbusTCP::ScanDevice(int /*unit*/, ScanHits& hits, int& counter, int windowMs) {
  return Guard("ModbusTCP::ScanDevice", [&] {
    if (!socket_) return static_cast<int>(kDrvNoInstance);
    const int sent = socket_->SendTo(kDiscoveryRequest, sizeof kDiscoveryRequest);
    if (sent <= 0) {
      Log(DRV_LOG_ERROR, StrFormat("WriteBroadCast is failed. Func: %s", "ModbusTCP::ScanDevice"));
      return sent;
    }
    const auto start = Clock::now();
    const int timeoutMs = socket_->TimeoutMs();
    const int periodS = socket_->ReconnectPeriod();
    auto elapsedMs = [&start] {
      return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    uint8_t buffer[kDiscoveryBufferSize];
    int result = 1;
    while (elapsedMs() < windowMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      // No wait outlasts the window.
      const int left = windowMs - elapsedMs();
      socket_->SetTimeouts(std::clamp(left, 0, timeoutMs), 0, periodS);
      const int r = socket_->ReceiveFrom(buffer, sizeof buffer);
      if (r == kSockTimeout || r == 0) continue;
      if (r < 0) {
        Log(DRV_LOG_ERROR, StrFormat("ReadBroadCast is failed. Func: %s", "ModbusTCP::ScanDevice"));
        result = r;
        break;
      }
      if (TakeDiscoveryAnswer(buffer, r, hits)) ++counter;
    }
    socket_->SetTimeouts(timeoutMs, 0, periodS);
    return result;
  });
}

int CModbusTCP::CloseConnection() { return socket_ ? socket_->Close() : static_cast<int>(kDrvNoInstance); }

int CModbusTCP::DeleteConnection() {
  socket_.reset();
  return 1;
}

int CModbusTCP::IsConnected() { return socket_ ? socket_->IsConnected() : 0; }

int CModbusTCP::OpenConnection(const TcpCommSetting& settings, int a, int b) {
  if (settings.ipAddress.empty()) {
    Log(DRV_LOG_DEVELOPER, StrFormat("[Bug] Invalid Address. Func: %s", "CModbusTCP::OpenConnection"));
    return 0;
  }
  CloseConnection();
  socket_.reset(new (std::nothrow) DriverSocket(settings.localName.c_str(), settings.ipAddress.c_str(), settings.port,
                                                settings.socketType, settings.localPort));
  if (!socket_) return kDrvOutOfMemory;
  if (ticks_) socket_->SetTickSource(ticks_);
  ApplyAbort();
  remoteAddress_ = settings.ipAddress;
  if (socket_->Status() != 1) {
    const int status = socket_->Status();
    DeleteConnection();
    return status;
  }
  socket_->SetTimeouts(settings.timeoutMs, settings.field5Value, settings.reconnectPeriodS);
  socket_->SetBroadcast(settings.broadcast);
  // Replies are matched by transaction id: one that comes too late is
  // skipped when it comes, so a time-out does not cost the connection.
  if (settings.socketType != DriverSocket::kDatagram) socket_->SetCloseOnTimeout(false);
  lastReceive_ = Clock::now();
  int r = socket_->Open();
  if (a == 1 && settings.socketType == DriverSocket::kDatagram) {
    if (b == 1) {
      uint8_t drain[2048];
      while (socket_->ReceiveRaw(drain, sizeof drain) > 0) {
      }
    }
    if (settings.broadcast == 0 && r != 1) {
      socket_->Close();
      r = kSockCommTestFailed;
    }
  }
  return r;
}

int CModbusTCP::Reconnect() {
  if (!socket_) return kDrvNoInstance;
  const int due = socket_->ReconnectDue();
  if (due != ReconnectGate::kTryNow) return due;
  Log(DRV_LOG_GENERAL, "Channel. Try reconnecting...");
  const int ping = ping_ ? ping_(remoteAddress_.c_str(), kPingTimeoutMs, kPingCount) : kPingAnswered;
  if (Owner()) Owner()->PingReport(remoteAddress_, ping);
  // Where no echo can be sent at all, the connection attempt itself is the
  // test.
  if (ping == kPingAnswered || ping == kPingUnavailable) return socket_->Reopen();
  socket_->Close();
  return kDrvPingFailed;
}

void CModbusTCP::TransportErrorText(int code, std::string& text) const { DriverSocket::ErrorText(code, text); }

}  // namespace tessivar
