// WakeSignal: how the communication loop sleeps until its next due time
// unless another thread wakes it first (a stop, a queued write).
//
// An eventfd counter: a post adds to it, a wait takes everything posted.
// Posts made while nobody waits are kept, so a wake is never lost between a
// pass and the next wait. A flag set before each post's write tells a wait
// whether there is anything to take, so a wait with nothing posted reads
// nothing (one system call fewer per cycle of the loop). Being a
// descriptor, it lets a loop that runs as a fiber sleep in the fiber
// scheduler's epoll with the sockets of all the other loops, instead of on a
// thread of its own.
#pragma once

#include <atomic>
#include <chrono>

namespace tessivar {

class WakeSignal {
public:
  using Clock = std::chrono::steady_clock;

  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  // Wakes the waiter, or the next wait when nobody waits (any thread).
  void Post();
  // Sleeps until `deadline` or a post, whichever comes first; true when
  // woken by a post. Every post made until then is consumed: several posts
  // wake one wait.
  bool WaitUntil(Clock::time_point deadline);

private:
  // Takes the posts left without sleeping; true when there was one.
  bool Drain();

  // An eventfd: a waiter on a fiber sleeps on it in the fiber scheduler's
  // epoll like on any socket, a waiter on a thread in poll.
  int fd_ = -1;
  // Registered with the fiber scheduler (waited for on a fiber).
  bool watched_ = false;
  // Set by a post before it writes, cleared by the wait that takes it.
  std::atomic<bool> posted_{false};
};

}  // namespace tessivar
