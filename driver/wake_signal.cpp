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
  posted_.store(true, std::memory_order_release);
  const uint64_t one = 1;
  // Only a counter at its limit refuses, and that one wakes the waiter too.
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

bool WakeSignal::Drain() {
  uint64_t posts = 0;
  return ::read(fd_, &posts, sizeof posts) == static_cast<ssize_t>(sizeof posts);
}

bool WakeSignal::WaitUntil(Clock::time_point deadline) {
  // A post sets the flag before it writes, so a clear flag means nothing is
  // left to take: the wait is for a post that comes after it, and costs no
  // system call of its own on a fiber. A post that comes between taking the
  // flag and the read may be read with this one and still wake the next
  // wait once, which only makes the loop look at its schedule again.
  if (qmx::fiber::OnFiber()) watched_ = true;
  for (;;) {
    if (posted_.exchange(false, std::memory_order_acq_rel)) {
      Drain();
      return true;
    }
    const int r = qmx::fiber::AwaitInput(fd_, deadline);
    if (r == 0) return false;  // the deadline
    if (r > 0) {
      // Readable with the flag clear: the count of a post whose flag an
      // earlier wait took before the post had written it (or, on a fiber,
      // the edge of a post an earlier wait took). That post woke that wait;
      // its count goes, or a wait off a fiber would find the counter
      // readable for good.
      if (!posted_.load(std::memory_order_acquire)) Drain();
    } else {
      // The wait itself failed (no memory, no epoll room): the loop goes on
      // looking for posts in short sleeps rather than spinning.
      const auto now = Clock::now();
      if (now >= deadline) return false;
      qmx::fiber::SleepUntil(std::min(deadline, now + std::chrono::milliseconds(10)));
    }
  }
}

}  // namespace tessivar
