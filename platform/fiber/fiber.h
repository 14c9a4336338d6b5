// Fibers on one shared thread.
//
// A communication loop spends nearly all of its life waiting: for a reply,
// for a socket to take a request, for the next period. With a thread per
// loop, every reply costs a sleep and a wake-up of a thread of its own. Here
// such loops run as fibers of one scheduler thread instead: a fiber runs
// until it waits (PollUntil, SleepUntil), the scheduler then runs another
// fiber that is ready, and sleeps in epoll while none is, so one wake-up
// serves every reply that has come in meanwhile.
//
// The waits work off a fiber too (as plain poll and sleep), so code below the
// loops needs no second version. A fiber must never block in anything but
// these waits for longer than a moment: while it does, no other fiber runs.
// Mutexes held for short stretches are fine.
//
// The scheduler thread is started with the first fiber and ends when the
// last fiber has returned; the next Spawn starts it again. When the statics
// go (the process ends, or the library holding this code is unloaded) a
// thread whose fibers have all returned is joined; one with a fiber still
// running is left to end with the process, and the exit does not wait for it.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace qmx::fiber {

using Clock = std::chrono::steady_clock;

// True while the caller runs on a fiber.
bool OnFiber();

// As ::poll(&p, 1, ...) until `deadline` (none: no end): > 0 with p.revents
// set, 0 when the deadline came first, -1 with errno on failure. On a fiber
// the wait lets the other fibers run.
int PollUntil(pollfd& p, std::optional<Clock::time_point> deadline);
// The same with a time-out in milliseconds; a negative one waits without end.
int PollOne(pollfd& p, int timeoutMs);

// Waits until input may have come to `fd` since the caller last found it
// empty, or it has an error or hang-up; answers as PollUntil with POLLIN.
// From its first such wait `fd` stays registered with the scheduler, which
// keeps what the kernel reports of it (edge-triggered), so the wait itself
// makes no system call. The price is a rule for the caller: wait only after
// a read would have blocked or gave less than asked of a stream (every byte
// that had come was taken), else the wait may miss input that is there
// already. One fiber at a time waits on `fd`; before `fd` is closed, Forget.
// Off a fiber it is a plain poll.
int AwaitInput(int fd, std::optional<Clock::time_point> deadline);

// Takes input in place of the fiber that waits for it. A wait with one
// (AwaitInput with a handler) runs OnInput each time input may have come,
// on the scheduler's own stack when the fiber is suspended: a reply that
// only asks for the next request is answered there, without a switch to
// the fiber and back through its frames.
class InputHandler {
public:
  // `events`: what the descriptor reported (POLLIN, POLLERR, POLLHUP). True
  // ends the wait as input; false goes on waiting, and is only allowed once
  // a read would have blocked or gave less than asked (the rule of
  // AwaitInput). It must not wait itself.
  virtual bool OnInput(uint32_t events) = 0;

protected:
  ~InputHandler() = default;
};
// AwaitInput whose input goes to `handler` first: > 0 once the handler
// ended the wait (or the descriptor cannot be waited for), 0 at the
// deadline, -1 with errno. Off a fiber the handler runs after each plain
// poll.
int AwaitInput(int fd, std::optional<Clock::time_point> deadline, InputHandler& handler);
// Drops what the scheduler keeps of a descriptor AwaitInput registered; call
// it before the descriptor is closed (the number may come back for another).
// Any thread may call it.
void Forget(int fd);

void SleepUntil(Clock::time_point deadline);
void SleepFor(std::chrono::milliseconds duration);

// Runs `work`, which may block (a name lookup): off a fiber at once, on a
// fiber on a thread of its own while the fiber waits for it, so that the
// other fibers go on meanwhile. Returns when `work` has returned.
void RunBlocking(const std::function<void()>& work);

// A started fiber. Copies refer to the same fiber.
class Task {
public:
  struct State;

  Task() = default;
  explicit Task(std::shared_ptr<State> state) : state_(std::move(state)) {}

  bool Valid() const { return state_ != nullptr; }
  // True when the caller runs on this fiber.
  bool IsCurrent() const;
  bool Done() const;
  // Returns once the fiber's body has returned. A fiber joining another one
  // keeps letting the others run meanwhile; a fiber cannot join itself (it
  // returns at once).
  void Join();

private:
  std::shared_ptr<State> state_;
};

// Runs `body` as a fiber of the scheduler thread. An exception leaving the
// body ends the fiber and is not passed on. Throws std::system_error when no
// stack or thread is to be had.
Task Spawn(std::function<void()> body);

}  // namespace qmx::fiber
