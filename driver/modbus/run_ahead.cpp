#include "driver/modbus/run_ahead.h"

#include <poll.h>

#include <algorithm>
#include <cstring>

#include "common/Utility.h"
#include "driver/modbus/driver_socket.h"
#include "driver/modbus/modbus_master.h"

namespace tessivar {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHeaderLength = kTcpFraming.header;  // the MBAP prefix and the unit

std::atomic<bool> gEnabled{true};
std::atomic<uint64_t> gRepliesServed{0};

}  // namespace

RunAhead::RunAhead(const Modbus& master, TransactionIds& ids, const uint8_t* tx, uint8_t* rx)
    : master_(master), ids_(ids), rx_(rx), tx_(tx) {}

void RunAhead::SetEnabled(bool on) { gEnabled.store(on); }

uint64_t RunAhead::RepliesServed() { return gRepliesServed.load(); }

void RunAhead::Begin(CycleScript& script, std::function<bool()> noWrites) {
  script_ = &script;
  position_ = 0;
  noWrites_ = std::move(noWrites);
  writing_ = false;
  writesIn_ = -1;
  recording_.clear();
  recordClean_ = true;
  reached_ = 0;
  completed_ = 0;
}

bool RunAhead::BeforeWrites() {
  if (!script_) return true;
  writesIn_ = position_;
  // The run went on past this place: there was no write to make.
  if (script_->writesAt_ == position_ && reached_ > position_) return false;
  writing_ = true;
  return true;
}

void RunAhead::End() {
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
  s.writesAt_ = writesIn_;
  size_t at = 0;
  for (CycleScript::Step& step : s.steps_) {
    step.replyAt = static_cast<uint16_t>(at);
    at += step.replyLength;
  }
  s.replies_.resize(at);
}

void RunAhead::Report(int pduLength, int result, int replyLength) {
  if (!script_ || writing_ || !recordClean_) return;
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

bool RunAhead::Matches(int position, int pduLength) const {
  const CycleScript::Step& step = script_->steps_[static_cast<size_t>(position)];
  return pduLength == CycleScript::kRequestLength &&
         std::memcmp(tx_ + kMbapLength, step.request, sizeof step.request) == 0;
}

RunAhead::Turn RunAhead::Ask(int pduLength, const DriverSocket* socket) {
  if (!script_ || writing_) return Turn::kLoop;
  const int position = position_++;
  if (position == 0) {
    reached_ = 0;
    completed_ = 0;
  }
  // A run starts with the part, and again after the cycle's writes when
  // the first one stopped before them.
  if (position == reached_ && position == completed_ && (position == 0 || position == script_->writesAt_)) {
    if (!MayStart(position, pduLength, socket)) return Turn::kLoop;
    serving_ = position;
    return Turn::kStart;
  }
  if (position >= reached_) return Turn::kLoop;
  if (!Matches(position, pduLength)) {
    // Cannot come from a part that repeats itself: the request the run
    // sent is not the loop's. The loop goes its own road with ids past the
    // run's (the allocator gave them), so that a reply to the run still
    // under way is skipped by its id, and the part is recorded afresh.
    // The line names the function it has always named.
    master_.Log(DRV_LOG_DEVELOPER, StrFormat("[Bug] Cycle request %d is not the one sent ahead. Func: %s", position,
                                             "CModbusTCP::FromScript"));
    reached_ = position;
    completed_ = std::min(completed_, position);
    recordClean_ = false;
    return Turn::kLoop;
  }
  serving_ = position;
  // One request is outstanding at a time: the one step not completed
  // below reached_ is the one under way.
  return position < completed_ ? Turn::kServed : Turn::kTakeOver;
}

bool RunAhead::MayStart(int position, int pduLength, const DriverSocket* socket) const {
  // A run needs the scheduler to wait on, a stream (a short read takes all
  // there was), a reply time-out to wait for (none means no reply is ever
  // waited for), a step after this one and this request as recorded.
  return gEnabled.load(std::memory_order_relaxed) && static_cast<size_t>(position) + 1 < script_->steps_.size() &&
         socket && socket->IsStream() && socket->TimeoutMs() > 0 && qmx::fiber::OnFiber() &&
         Matches(position, pduLength);
}

RunAhead::Turn RunAhead::Run(DriverSocket& socket, int sent) {
  socket_ = &socket;
  steps_ = script_->steps_.data();
  count_ = static_cast<int>(script_->steps_.size());
  writesAt_ = script_->writesAt_;
  replies_ = script_->replies_.data();
  id_ = ids_.Last();
  Expect(steps_[serving_]);
  reached_ = serving_ + 1;
  got_ = 0;
  sendResult_ = sent;
  receiveFailed_ = false;
  ended_ = false;
  received_ = false;
  start_ = Clock::now();
  // The loop's own wait for a reply would look at the stop between slices:
  // a reply that does not come within one goes back to the loop.
  const int timeoutMs = socket.TimeoutMs();
  const auto slice = std::chrono::milliseconds(
      socket.Sliced() ? std::min(timeoutMs, static_cast<int>(DriverSocket::kAbortSliceMs)) : timeoutMs);
  // What came since the last read is read first, as the loop's receive does.
  bool ended = !socket.WatchForInput() && OnInput(POLLIN);
  while (!ended) {
    const int w = qmx::fiber::AwaitInput(socket.Descriptor(), start_ + slice, *this);
    if (ended_ || w != 0) break;
    // A newer step went out since the wait began: its own slice counts.
    if (Clock::now() < start_ + slice) continue;
    if (master_.Aborted()) {
      receiveFailed_ = true;
      receiveResult_ = kSockTimeout;
    }
    ended = true;
  }
  if (got_ > 0) partial_.assign(rx_, rx_ + got_);
  return completed_ > serving_ ? Turn::kServed : Turn::kTakeOver;
}

int RunAhead::Serve() {
  const CycleScript::Step& step = script_->steps_[static_cast<size_t>(serving_)];
  std::memcpy(rx_, script_->replies_.data() + step.replyAt, step.replyLength);
  gRepliesServed.fetch_add(1, std::memory_order_relaxed);
  return step.replyLength;
}

RunAhead::UnderWay RunAhead::TakeOver() {
  if (sendResult_ == kStepFrameLength && got_ > 0) std::memcpy(rx_, partial_.data(), static_cast<size_t>(got_));
  return {sendResult_, start_, got_, receiveFailed_, receiveResult_};
}

bool RunAhead::LastReceive(Clock::time_point* at) const {
  if (received_) *at = lastReceive_;
  return received_;
}

void RunAhead::Expect(const CycleScript::Step& step) {
  std::memcpy(head_, step.head, sizeof head_);
  replyLength_ = step.replyLength;
  replyAt_ = step.replyAt;
}

bool RunAhead::Ended() {
  ended_ = true;
  return true;
}

bool RunAhead::SendNext() {
  const CycleScript::Step& step = steps_[reached_];
  id_ = ids_.Next();
  uint8_t frame[kStepFrameLength];
  qmx::modbus::PutMbap(frame, id_, CycleScript::kRequestLength);
  std::memcpy(frame + kMbapLength, step.request, sizeof step.request);
  Expect(step);
  ++reached_;
  sendResult_ = socket_->SendNow(frame, kStepFrameLength);
  start_ = Clock::now();
  return sendResult_ == kStepFrameLength;
}

bool RunAhead::OnInput(uint32_t /*events*/) {
  // What a reply as recorded needs after the receive comes into the cache
  // while the receive runs: the run's flag, the reply's place, the next step.
  master_.PrefetchAbortCheck();
  __builtin_prefetch(replies_ + replyAt_, 1);
  if (reached_ < count_) __builtin_prefetch(steps_ + reached_);
  for (;;) {
    // As the loop reads: into the receive buffer, as much as it holds.
    const int asked = Modbus::kRxBufferSize - got_;
    const int n = socket_->ReceiveNow(rx_ + got_, asked);
    if (n == -qmx::net::kWsaEwouldblock) return false;  // all taken: what comes next is reported
    if (n <= 0) {
      receiveFailed_ = true;
      receiveResult_ = n;
      return Ended();
    }
    received_ = true;
    lastReceive_ = start_;
    got_ += n;
    // Judged where the loop judges the same bytes: its MBAP prefix as soon
    // as it is there, the rest once the frame is whole. Anything but the
    // recorded reply of this step is the loop's to take.
    if (got_ >= kHeaderLength) {
      const int length = replyLength_ - kMbapLength;
      if (rx_[0] != (id_ >> 8) || rx_[1] != (id_ & 0xFF) || rx_[2] != 0 || rx_[3] != 0 || rx_[4] != (length >> 8) ||
          rx_[5] != (length & 0xFF))
        return Ended();
      if (got_ >= replyLength_) {
        if (got_ > replyLength_ || std::memcmp(rx_ + kMbapLength, head_, sizeof head_) != 0) return Ended();
        std::memcpy(replies_ + replyAt_, rx_, replyLength_);
        got_ = 0;
        ++completed_;
        if (completed_ == count_) return Ended();
        // A stop sends nothing more, as the loop would not; nor does a
        // write waiting where the cycle's writes come.
        if (master_.Aborted()) return Ended();
        if (completed_ == writesAt_ && !(noWrites_ && noWrites_())) return Ended();
        if (!SendNext()) return Ended();
      }
    }
    // A short read took all there was.
    if (n < asked) return false;
  }
}

}  // namespace tessivar
