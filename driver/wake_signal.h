// WakeSignal: how the communication loop sleeps until its next due time
// unless another thread wakes it first (a stop, a queued write).
//
// An eventfd counter: a post adds to it, a wait takes everything posted.
// Posts made while nobody waits are kept, so a wake is never lost between a
// pass and the next wait. Being a descriptor, it lets a loop that runs as a
// fiber sleep in the fiber scheduler's epoll with the sockets of all the
// other loops, instead of on a thread of its own.
#pragma once

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
};

}  // namespace tessivar
