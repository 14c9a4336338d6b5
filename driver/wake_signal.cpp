#include "driver/wake_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/fiber/fiber.h"

namespace tessivar {

WakeSignal::WakeSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "wake signal");
}

WakeSignal::~WakeSignal() {
  if (watched_) qmx::fiber::Forget(fd_);
  ::close(fd_);
}

void WakeSignal::Post() {
  const uint64_t one = 1;
  // Only a counter at its limit refuses, and that one wakes the waiter too.
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

bool WakeSignal::Drain() {
  uint64_t posts = 0;
  return ::read(fd_, &posts, sizeof posts) == static_cast<ssize_t>(sizeof posts);
}

bool WakeSignal::WaitUntil(Clock::time_point deadline) {
  // A read takes the whole count, so a failed Drain has left nothing behind:
  // the wait is for a post that comes after it, and costs no system call of
  // its own on a fiber.
  if (qmx::fiber::OnFiber()) watched_ = true;
  for (;;) {
    if (Drain()) return true;
    const int r = qmx::fiber::AwaitInput(fd_, deadline);
    if (r == 0) return false;  // the deadline
    if (r < 0) {
      // The wait itself failed (no memory, no epoll room): the loop goes on
      // looking for posts in short sleeps rather than spinning.
      const auto now = Clock::now();
      if (now >= deadline) return false;
      qmx::fiber::SleepUntil(std::min(deadline, now + std::chrono::milliseconds(10)));
    }
  }
}

}  // namespace tessivar
