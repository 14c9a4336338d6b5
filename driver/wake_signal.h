// WakeSignal: how the communication thread sleeps until its next due time
// unless another thread wakes it first (a stop, a queued write).
//
// A condition variable costs the sleeper two system calls per wait, the
// timed wait and a wake of its own mutex when it takes that mutex back
// (the mutex is marked contended whenever a condition wait returns). A
// counting semaphore needs one: the timed wait; a post costs a system call
// only while someone is asleep on it. Posts made while nobody waits are
// kept, so a wake is never lost between a pass and the next wait.
#pragma once

#include <semaphore.h>

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

  sem_t semaphore_;
};

}  // namespace tessivar
