// The time gate of reconnection attempts shared by the socket and the serial
// port: after a loss, the first attempt comes one full period after the
// first test, later ones one period apart. A link that broke on a glitch of
// the stream (RetryAtOnce) is tried again at the first test; only when that
// attempt fails does the period apply.
#pragma once

#include <cstdint>
#include <functional>

namespace tessivar {

// Millisecond tick count (wraps after about 49 days, like a system tick).
using TickSource = std::function<uint32_t()>;
uint32_t SystemTickMs();

class ReconnectGate {
public:
  // Results of Test.
  static constexpr int kTryNow = 1;
  static constexpr int kWait = 2;
  static constexpr int kNotNeeded = 3;

  explicit ReconnectGate(TickSource ticks = {});

  // connected: disarm, 3. A retry at once asked for: arm, 1. Not armed: arm
  // and start counting, 2. Armed and a full period elapsed: restart
  // counting, 1 (stays armed). Otherwise add the time since the last test, 2.
  int Test(bool connected, int periodSeconds);
  void Disarm() {
    armed_ = false;
    retryAtOnce_ = false;
  }
  // The next test of a lost link answers 1 at once (once).
  void RetryAtOnce() { retryAtOnce_ = true; }
  void SetTickSource(TickSource ticks);

private:
  uint32_t Now() const { return ticks_ ? ticks_() : SystemTickMs(); }

  TickSource ticks_;
  bool armed_ = false;
  bool retryAtOnce_ = false;
  uint32_t elapsedMs_ = 0;
  uint32_t lastTick_ = 0;
};

}  // namespace tessivar
