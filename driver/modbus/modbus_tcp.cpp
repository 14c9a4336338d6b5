#include "driver/modbus/modbus_tcp.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
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
// A script's request as it goes on the wire.
constexpr int kStepFrameLength = kMbapLength + CycleScript::kRequestLength;

std::atomic<bool> gRunAhead{true};
std::atomic<uint64_t> gRepliesRunAhead{0};

uint16_t IdAfter(uint16_t id) { return id >= 0xFFFE ? 1 : static_cast<uint16_t>(id + 1); }

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

uint16_t CModbusTCP::NextTransactionId() {
  transactionId_ = IdAfter(transactionId_);
  return transactionId_;
}

void CModbusTCP::WriteMbap(uint16_t id, int pduLength) { qmx::modbus::PutMbap(tx_, id, pduLength); }

void CModbusTCP::SetTickSource(TickSource ticks) {
  ticks_ = std::move(ticks);
  if (socket_) socket_->SetTickSource(ticks_);
}

int CModbusTCP::Exchange(int pduLength) {
  if (script_ && !writing_) {
    const int r = FromScript(position_++, pduLength);
    if (r != kNotAhead) return r;
  }
  // A stop asked for: no new request goes out.
  if (Aborted()) return kSockTimeout;
  DriverSocket::Held held = socket_->HoldForExchange();
  WriteMbap(NextTransactionId(), pduLength);
  const uint16_t id = transactionId_;
  const int sent = held.Send(tx_, kMbapLength + pduLength);
  if (sent <= 0) return sent;
  const int r = ReceiveReply(held, id);
  // Framed and this request's: the link works.
  if (r > 0) socket_->NoteAnswered();
  return r;
}

bool CModbusTCP::IsEarlierId(uint16_t id) const {
  uint16_t earlier = transactionId_;
  for (int k = 0; k < kEarlierIds; ++k) {
    earlier = earlier <= 1 ? 0xFFFE : static_cast<uint16_t>(earlier - 1);
    if (earlier == id) return true;
  }
  return false;
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
        if (!IsEarlierId(id)) {
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
  if (script_ && !writing_) Record(x.pduLength, result, replyLength);
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

// ---- the run ahead of a cycle's repeated part ----

void CModbusTCP::SetRunAhead(bool on) { gRunAhead.store(on); }

uint64_t CModbusTCP::RepliesRunAhead() { return gRepliesRunAhead.load(); }

void CModbusTCP::BeginScript(CycleScript& script, std::function<bool()> noWrites) {
  script_ = &script;
  position_ = 0;
  noWrites_ = std::move(noWrites);
  writing_ = false;
  writesAt_ = -1;
  recording_.clear();
  recordClean_ = true;
  ahead_.reached = 0;
  ahead_.completed = 0;
}

bool CModbusTCP::BeforeWrites() {
  if (!script_) return true;
  writesAt_ = position_;
  // The run went on past this place: there was no write to make.
  if (script_->writesAt_ == position_ && ahead_.reached > position_) return false;
  writing_ = true;
  return true;
}

void CModbusTCP::AfterWrites() { writing_ = false; }

void CModbusTCP::EndScript() {
  if (!script_) return;
  CycleScript& s = *script_;
  script_ = nullptr;
  noWrites_ = nullptr;
  // Only a part that met nothing but successes is run ahead next time; the
  // replies of this one are of no further use.
  if (!recordClean_ || recording_.size() < 2) {
    s.Reset();
    return;
  }
  s.steps_.swap(recording_);
  s.writesAt_ = writesAt_;
  size_t at = 0;
  for (CycleScript::Step& step : s.steps_) {
    step.replyAt = static_cast<uint16_t>(at);
    at += step.replyLength;
  }
  s.replies_.resize(at);
}

void CModbusTCP::Record(int pduLength, int result, int replyLength) {
  if (!recordClean_) return;
  if (result != 1 || pduLength != CycleScript::kRequestLength || recording_.size() >= CycleScript::kMaxSteps) {
    recordClean_ = false;
    return;
  }
  // A success leaves its whole reply in the receive buffer.
  CycleScript::Step step;
  std::memcpy(step.request, tx_ + kMbapLength, sizeof step.request);
  std::memcpy(step.head, rx_ + kMbapLength, sizeof step.head);
  step.replyLength = static_cast<uint16_t>(replyLength);
  recording_.push_back(step);
}

bool CModbusTCP::Matches(int position, int pduLength) const {
  const CycleScript::Step& step = script_->steps_[static_cast<size_t>(position)];
  return pduLength == CycleScript::kRequestLength &&
         std::memcmp(tx_ + kMbapLength, step.request, sizeof step.request) == 0;
}

int CModbusTCP::FromScript(int position, int pduLength) {
  if (position == 0) {
    ahead_.reached = 0;
    ahead_.completed = 0;
  }
  // A run starts with the part, and again after the cycle's writes when
  // the first one stopped before them.
  if (position == ahead_.reached && position == ahead_.completed &&
      (position == 0 || position == script_->writesAt_)) {
    return MayRunAhead(position, pduLength) ? StartAhead(position, pduLength) : kNotAhead;
  }
  if (position >= ahead_.reached) return kNotAhead;
  if (!Matches(position, pduLength)) {
    // Cannot come from a part that repeats itself: the request the run
    // sent is not the loop's. The loop goes its own road with ids past the
    // run's, so that a reply to the run still under way is skipped by its
    // id, and the part is recorded afresh.
    Log(DRV_LOG_DEVELOPER, StrFormat("[Bug] Cycle request %d is not the one sent ahead. Func: %s", position,
                                     "CModbusTCP::FromScript"));
    transactionId_ = ahead_.id;
    ahead_.reached = position;
    ahead_.completed = std::min(ahead_.completed, position);
    recordClean_ = false;
    return kNotAhead;
  }
  // The ids the run gave its requests, in the order the loop makes them.
  WriteMbap(NextTransactionId(), pduLength);
  if (position < ahead_.completed) return Served(position);
  DriverSocket::Held held = socket_->HoldForExchange();
  return TakeOver(held);
}

bool CModbusTCP::MayRunAhead(int position, int pduLength) const {
  // A run needs the scheduler to wait on, a stream (a short read takes all
  // there was), a reply time-out to wait for (none means no reply is ever
  // waited for), a step after this one and this request as recorded.
  return gRunAhead.load(std::memory_order_relaxed) && static_cast<size_t>(position) + 1 < script_->steps_.size() &&
         socket_ && socket_->IsStream() && socket_->TimeoutMs() > 0 && qmx::fiber::OnFiber() &&
         Matches(position, pduLength);
}

int CModbusTCP::StartAhead(int position, int pduLength) {
  if (Aborted()) return kSockTimeout;
  DriverSocket::Held held = socket_->HoldForExchange();
  WriteMbap(NextTransactionId(), pduLength);
  const int sent = held.Send(tx_, kMbapLength + pduLength);
  if (sent <= 0) return sent;
  ahead_.master = this;
  ahead_.socket = socket_.get();
  ahead_.rx = rx_;
  ahead_.steps = script_->steps_.data();
  ahead_.count = static_cast<int>(script_->steps_.size());
  ahead_.writesAt = script_->writesAt_;
  ahead_.replies = script_->replies_.data();
  ahead_.id = transactionId_;
  ahead_.Expect(ahead_.steps[position]);
  ahead_.reached = position + 1;
  ahead_.got = 0;
  ahead_.sendResult = sent;
  ahead_.receiveFailed = false;
  ahead_.ended = false;
  ahead_.received = false;
  ahead_.start = Clock::now();
  RunAhead();
  if (ahead_.received) lastReceive_ = ahead_.lastReceive;
  return ahead_.completed > position ? Served(position) : TakeOver(held);
}

void CModbusTCP::RunAhead() {
  // The loop's own wait for a reply would look at the stop between slices:
  // a reply that does not come within one goes back to the loop.
  const int timeoutMs = socket_->TimeoutMs();
  const auto slice = std::chrono::milliseconds(
      socket_->Sliced() ? std::min(timeoutMs, static_cast<int>(DriverSocket::kAbortSliceMs)) : timeoutMs);
  // What came since the last read is read first, as the loop's receive does.
  bool ended = !socket_->WatchForInput() && ahead_.OnInput(POLLIN);
  while (!ended) {
    const int w = qmx::fiber::AwaitInput(socket_->Descriptor(), ahead_.start + slice, ahead_);
    if (ahead_.ended || w != 0) break;
    // A newer step went out since the wait began: its own slice counts.
    if (Clock::now() < ahead_.start + slice) continue;
    if (Aborted()) {
      ahead_.receiveFailed = true;
      ahead_.receiveResult = kSockTimeout;
    }
    ended = true;
  }
  if (ahead_.got > 0) partial_.assign(rx_, rx_ + ahead_.got);
}

int CModbusTCP::Served(int position) {
  const CycleScript::Step& step = script_->steps_[static_cast<size_t>(position)];
  std::memcpy(rx_, script_->replies_.data() + step.replyAt, step.replyLength);
  socket_->NoteAnswered();
  gRepliesRunAhead.fetch_add(1, std::memory_order_relaxed);
  return step.replyLength;
}

int CModbusTCP::TakeOver(DriverSocket::Held& held) {
  int r = 0;
  if (ahead_.sendResult != kStepFrameLength) {
    const int n = ahead_.sendResult;
    if (n < 0 && n != -qmx::net::kWsaEwouldblock) return socket_->Sent(n);
    const int done = std::max(n, 0);
    const int sent = held.Send(tx_ + done, kStepFrameLength - done);
    if (sent <= 0) return sent;
    r = ReceiveReply(held, transactionId_);
  } else {
    if (ahead_.got > 0) std::memcpy(rx_, partial_.data(), static_cast<size_t>(ahead_.got));
    const ReplySoFar soFar{ahead_.start, ahead_.got, ahead_.receiveFailed, ahead_.receiveResult};
    r = ReceiveReply(held, transactionId_, &soFar);
  }
  if (r > 0) socket_->NoteAnswered();
  return r;
}

void CModbusTCP::Ahead::Expect(const CycleScript::Step& step) {
  std::memcpy(head, step.head, sizeof head);
  replyLength = step.replyLength;
  replyAt = step.replyAt;
}

bool CModbusTCP::Ahead::End() {
  ended = true;
  return true;
}

bool CModbusTCP::Ahead::SendNext() {
  const CycleScript::Step& step = steps[reached];
  id = IdAfter(id);
  uint8_t frame[kStepFrameLength];
  qmx::modbus::PutMbap(frame, id, CycleScript::kRequestLength);
  std::memcpy(frame + kMbapLength, step.request, sizeof step.request);
  Expect(step);
  ++reached;
  sendResult = socket->SendNow(frame, kStepFrameLength);
  start = Clock::now();
  return sendResult == kStepFrameLength;
}

bool CModbusTCP::Ahead::OnInput(uint32_t /*events*/) {
  // What a reply as recorded needs after the receive comes into the cache
  // while the receive runs: the run's flag, the reply's place, the next step.
  __builtin_prefetch(&master->running_);
  __builtin_prefetch(replies + replyAt, 1);
  if (reached < count) __builtin_prefetch(steps + reached);
  for (;;) {
    // As the loop reads: into the receive buffer, as much as it holds.
    const int asked = kRxBufferSize - got;
    const int n = socket->ReceiveNow(rx + got, asked);
    if (n == -qmx::net::kWsaEwouldblock) return false;  // all taken: what comes next is reported
    if (n <= 0) {
      receiveFailed = true;
      receiveResult = n;
      return End();
    }
    received = true;
    lastReceive = start;
    got += n;
    // Judged where the loop judges the same bytes: its MBAP prefix as soon
    // as it is there, the rest once the frame is whole. Anything but the
    // recorded reply of this step is the loop's to take.
    if (got >= kHeaderLength) {
      const int length = replyLength - kMbapLength;
      if (rx[0] != (id >> 8) || rx[1] != (id & 0xFF) || rx[2] != 0 || rx[3] != 0 || rx[4] != (length >> 8) ||
          rx[5] != (length & 0xFF))
        return End();
      if (got >= replyLength) {
        if (got > replyLength || std::memcmp(rx + kMbapLength, head, sizeof head) != 0) return End();
        std::memcpy(replies + replyAt, rx, replyLength);
        got = 0;
        ++completed;
        if (completed == count) return End();
        // A stop sends nothing more, as the loop would not; nor does a
        // write waiting where the cycle's writes come.
        if (master->Aborted()) return End();
        if (completed == writesAt && !(master->noWrites_ && master->noWrites_())) return End();
        if (!SendNext()) return End();
      }
    }
    // A short read took all there was.
    if (n < asked) return false;
  }
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
