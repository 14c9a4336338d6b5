#include "driver/wake_signal.h"

#include <cerrno>
#include <ctime>

namespace tessivar {

WakeSignal::WakeSignal() { ::sem_init(&semaphore_, 0, 0); }

WakeSignal::~WakeSignal() { ::sem_destroy(&semaphore_); }

void WakeSignal::Post() { ::sem_post(&semaphore_); }

bool WakeSignal::Drain() {
  bool taken = false;
  while (::sem_trywait(&semaphore_) == 0) taken = true;
  return taken;
}

bool WakeSignal::WaitUntil(Clock::time_point deadline) {
  if (Drain()) return true;
  // The steady clock is CLOCK_MONOTONIC: the deadline goes to the kernel as
  // it is, with no clock read here.
  const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
  timespec at{};
  at.tv_sec = since > 0 ? static_cast<time_t>(since / 1000000000) : 0;
  at.tv_nsec = since > 0 ? static_cast<long>(since % 1000000000) : 0;
  int r;
  do {
    r = ::sem_clockwait(&semaphore_, CLOCK_MONOTONIC, &at);
  } while (r != 0 && errno == EINTR);
  if (r != 0) return false;  // the deadline
  Drain();
  return true;
}

}  // namespace tessivar
