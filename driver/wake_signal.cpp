#include "driver/wake_signal.h"

#include <poll.h>
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

WakeSignal::~WakeSignal() { ::close(fd_); }

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
  for (;;) {
    if (Drain()) return true;
    pollfd p{fd_, POLLIN, 0};
    const int r = qmx::fiber::PollUntil(p, deadline);
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
