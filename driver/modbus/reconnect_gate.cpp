#include "driver/modbus/reconnect_gate.h"

#include <chrono>

namespace tessivar {

uint32_t SystemTickMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

ReconnectGate::ReconnectGate(TickSource ticks) : ticks_(std::move(ticks)) {}

void ReconnectGate::SetTickSource(TickSource ticks) { ticks_ = std::move(ticks); }

int ReconnectGate::Test(bool connected, int periodSeconds) {
  if (connected) {
    Disarm();
    return kNotNeeded;
  }
  const uint32_t now = Now();
  if (retryAtOnce_) {
    retryAtOnce_ = false;
    armed_ = true;
    elapsedMs_ = 0;
    lastTick_ = now;
    return kTryNow;
  }
  if (!armed_) {
    armed_ = true;
    elapsedMs_ = 0;
    lastTick_ = now;
    return kWait;
  }
  const uint64_t periodMs = static_cast<uint64_t>(periodSeconds < 0 ? 0 : periodSeconds) * 1000;
  if (elapsedMs_ >= periodMs) {
    elapsedMs_ = 0;
    lastTick_ = now;
    return kTryNow;
  }
  if (now > lastTick_) elapsedMs_ += now - lastTick_;
  lastTick_ = now;
  return kWait;
}

}  // namespace tessivar
