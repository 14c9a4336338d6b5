#include "platform/fiber/fiber.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#if !defined(__x86_64__)
#include <ucontext.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define QMX_FIBER_ASAN 1
#endif
// ThreadSanitizer keeps a context (held locks, call stack, clock) per
// thread; each fiber gets one of its own, or it would take the fibers of
// the one thread for one thread holding all their locks at once.
#if defined(__SANITIZE_THREAD__)
#define QMX_FIBER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QMX_FIBER_TSAN 1
#endif
#endif
#ifdef QMX_FIBER_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace qmx::fiber {

struct Task::State {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  const void* fiber = nullptr;  // while it runs; compared, never followed
};

namespace {

// Generous: the stack is reserved, and only the pages a fiber touches are
// ever resident. The page below it stays inaccessible, so an overflow faults
// instead of writing into a neighbour.
constexpr size_t kStackBytes = 1 << 20;
constexpr size_t kGuardBytes = 1 << 12;
constexpr int kEventsPerWait = 64;
// The epoll tag of the scheduler's own wake-up (a fiber's tag never has all
// bits set: its id is below 2^32 - 1).
constexpr uint64_t kWakeTag = ~uint64_t{0};
// The tag of a descriptor registered for good: this bit, the descriptor and
// the registration's generation.
constexpr uint64_t kWatchBit = uint64_t{1} << 63;

uint64_t WatchTag(int fd, uint32_t generation) {
  return kWatchBit | (static_cast<uint64_t>(fd) << 32) | generation;
}

struct Fiber;

constexpr size_t kNotTimed = ~size_t{0};

// Where a suspended fiber, or the scheduler, goes on when switched to.
#if defined(__x86_64__)
// The saved stack pointer; the callee-saved registers and the floating-point
// control words lie on that stack. A switch is a call: no system call, which
// ucontext would make for the signal mask every time.
struct Context {
  void* sp = nullptr;
};
#else
struct Context {
  ucontext_t uc{};
};
#endif

// Makes `context` start qmx_fiber_entry(fiber) on the given stack.
void Prepare(Context& context, void* stack, size_t size, Fiber* fiber);
// Saves the running context in `from` and continues `to`.
void Jump(Context& from, Context& to);

struct Fiber {
  uint32_t id = 0;
  Context context;
  void* mapping = nullptr;  // guard page and stack
  std::function<void()> body;
  std::shared_ptr<Task::State> task;
  // Each wait has a token of its own, counted over all fibers: an event
  // left from an earlier wait (also of an earlier fiber with the same id) is
  // recognised by its token and ignored.
  uint32_t token = 0;
  bool waiting = false;
  bool finished = false;
  uint32_t revents = 0;
  bool timedOut = false;
  // The descriptor of a wait with an input handler, while it runs.
  int handledFd = -1;
#ifdef QMX_FIBER_ASAN
  void* fakeStack = nullptr;
#endif
#ifdef QMX_FIBER_TSAN
  void* tsanContext = __tsan_create_fiber(0);
#endif

  Fiber() = default;
  Fiber(const Fiber&) = delete;
  Fiber& operator=(const Fiber&) = delete;
  // Never on the fiber itself: the scheduler frees it once it has switched
  // away from it for good.
  ~Fiber() {
#ifdef QMX_FIBER_TSAN
    __tsan_destroy_fiber(tsanContext);
#endif
    if (mapping) ::munmap(mapping, kGuardBytes + kStackBytes);
  }

  void* StackBottom() const { return static_cast<char*>(mapping) + kGuardBytes; }
};

// The waiting fibers with a deadline, the earliest first. A wait that ends
// otherwise leaves at once, so it holds one entry per timed wait running,
// never more than there are fibers. Deadlines and places are kept in the
// heap's own arrays (places by fiber id), so ordering it never touches the
// fibers themselves: with a hundred fibers waiting, each one visited on the
// way up or down was a cache miss, twice a transaction.
class TimerHeap {
public:
  bool Empty() const { return heap_.empty(); }
  Clock::time_point TopDeadline() const { return heap_.front().deadline; }
  uint32_t TopId() const { return heap_.front().id; }
  bool Holds(uint32_t id) const { return id < slotOf_.size() && slotOf_[id] != kNotTimed; }
  void Push(uint32_t id, Clock::time_point deadline) {
    if (slotOf_.size() <= id) slotOf_.resize(id + 1, kNotTimed);
    heap_.push_back({deadline, id});
    Up(heap_.size() - 1);
  }
  void Remove(uint32_t id) {
    const size_t slot = slotOf_[id];
    slotOf_[id] = kNotTimed;
    const Entry last = heap_.back();
    heap_.pop_back();
    if (slot == heap_.size()) return;  // it was the last
    Place(last, slot);
    Up(slot);
    Down(slotOf_[last.id]);
  }

private:
  struct Entry {
    Clock::time_point deadline;
    uint32_t id;
  };

  void Place(const Entry& entry, size_t slot) {
    heap_[slot] = entry;
    slotOf_[entry.id] = slot;
  }
  void Up(size_t slot) {
    const Entry entry = heap_[slot];
    while (slot > 0) {
      const size_t parent = (slot - 1) / 2;
      if (!(entry.deadline < heap_[parent].deadline)) break;
      Place(heap_[parent], slot);
      slot = parent;
    }
    Place(entry, slot);
  }
  void Down(size_t slot) {
    const Entry entry = heap_[slot];
    for (;;) {
      size_t child = 2 * slot + 1;
      if (child >= heap_.size()) break;
      if (child + 1 < heap_.size() && heap_[child + 1].deadline < heap_[child].deadline) ++child;
      if (!(heap_[child].deadline < entry.deadline)) break;
      Place(heap_[child], slot);
      slot = child;
    }
    Place(entry, slot);
  }

  std::vector<Entry> heap_;
  std::vector<size_t> slotOf_;  // by fiber id
};

thread_local Fiber* tlCurrent = nullptr;

// A suspended fiber's frames lie from its saved stack pointer up to the top
// of its stack: a monitoring loop waiting for a reply keeps about 2 kB
// there.
constexpr size_t kPrefetchBytes = 2048;

void PrefetchStack(const Fiber& fiber) {
#if defined(__x86_64__)
  const auto* sp = static_cast<const char*>(fiber.context.sp);
  const char* top = static_cast<const char*>(fiber.StackBottom()) + kStackBytes;
  const size_t live = std::min<size_t>(static_cast<size_t>(top - sp), kPrefetchBytes);
  for (size_t at = 0; at < live; at += 64) __builtin_prefetch(sp + at, 1, 3);
#else
  (void)fiber;
#endif
}

// What is left until `deadline`, none when it has passed.
timespec Left(Clock::time_point deadline) {
  const long long ns =
      std::max<long long>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count());
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

class Scheduler {
public:
  static Scheduler& Get() {
    // Never destroyed: its thread may still serve fibers while the process
    // ends.
    static Scheduler* scheduler = [] {
      auto* made = new Scheduler;
      made_.store(made, std::memory_order_release);
      return made;
    }();
    return *scheduler;
  }
  // The scheduler once a fiber has been spawned, else null.
  static Scheduler* IfMade() { return made_.load(std::memory_order_acquire); }

  // Joins the scheduler thread once the last fiber has returned, so that
  // no thread of this code runs on when its statics go (at exit, or when
  // the library holding it is unloaded). A fiber still running then (a
  // loop nobody stopped) keeps the thread: it is left to end with the
  // process, and detaches itself should it go idle first.
  void JoinAtExit();

  // A wait as poll() answers it (what is there now), or for what comes
  // after the caller last found none (AwaitInput).
  enum class Mode { kLevel, kEdge };

  Task Spawn(std::function<void()> body);
  // On a fiber: waits for `events` of `fd` (none when fd < 0) until the
  // deadline. The events that came, 0 at the deadline, or -errno.
  // With a handler (kEdge), input goes to it first; the wait ends when it
  // says so.
  int Wait(int fd, uint32_t events, std::optional<Clock::time_point> deadline, Mode mode,
           InputHandler* handler = nullptr);
  void Forget(int fd);

private:
  Scheduler();
  void Run();
  void TakeIncoming();
  void Resume(Fiber* fiber);
  void Finish(Fiber* fiber);
  void SwitchOut(Fiber* fiber);
  void Poll();
  // Makes the fibers whose deadline has passed ready.
  void TakeExpired(Clock::time_point now);
  void WakeIfWaiting(uint32_t id, uint32_t token, uint32_t revents, bool timedOut);
  // A wait with an input handler that ends by its deadline: its
  // descriptor's entry no longer reports to it.
  void DropHandler(Fiber& fiber);
  // Runs the input handler of the first descriptor in handled_.
  void RunHandler();
  // Makes the scheduler report `events` of `fd` to the fiber's wait: 0 when
  // it will, the events when they are there already, or -errno.
  int Arm(int fd, uint32_t events, Mode mode, const Fiber& fiber, InputHandler* handler);
  // Registers `fd` for `events` with `tag`, or changes its registration to
  // that: 0 or -errno.
  int SetInterest(int fd, uint32_t events, uint64_t tag);
  // What epoll reported of a descriptor registered for good (under
  // watchLock_).
  void TakeWatched(int fd, uint32_t generation, uint32_t events);

public:
  // The first thing a fiber runs; it never returns.
  static void Entry(Fiber* fiber);

private:

  static std::atomic<Scheduler*> made_;

  // Shared with the threads that start fibers.
  std::mutex lock_;
  std::vector<Fiber*> incoming_;
  bool running_ = false;
  std::thread thread_;
  size_t unfinished_ = 0;  // spawned and not yet returned
  bool abandoned_ = false;  // nobody will join the thread: it detaches itself
  std::condition_variable idle_;  // running_ has gone false, or a fiber came
  int wakeFd_ = -1;
  int epoll_ = -1;

  // A descriptor registered for good (edge-triggered): what the kernel has
  // reported and no wait has taken yet, and the wait it is reported to.
  struct Watched {
    bool active = false;
    uint32_t generation = 0;  // events of an earlier registration are ignored
    uint32_t pending = 0;
    bool waited = false;
    uint32_t waiterId = 0;
    uint32_t waiterToken = 0;
    uint32_t wanted = 0;
    InputHandler* handler = nullptr;  // of the wait it is reported to
    bool queued = false;              // in handled_, with these events
    uint32_t handlerEvents = 0;
  };
  // Forget comes from any thread; the rest from the scheduler thread.
  std::mutex watchLock_;
  std::vector<Watched> watched_;  // by descriptor

  // The scheduler thread's own.
  Context main_;
  std::vector<Fiber*> fibers_;  // by id; null where free
  std::vector<uint32_t> freeIds_;
  size_t live_ = 0;
  uint32_t waits_ = 0;  // the last wait's token
  std::deque<Fiber*> ready_;  // woken by their descriptor
  std::deque<Fiber*> due_;    // woken by their deadline: run first
  std::deque<int> handled_;   // descriptors whose input handler is to run
  TimerHeap timers_;
#ifdef QMX_FIBER_ASAN
  const void* mainBottom_ = nullptr;
  size_t mainSize_ = 0;
#endif
#ifdef QMX_FIBER_TSAN
  void* tsanMain_ = nullptr;  // the scheduler thread's own context
#endif
};

std::atomic<Scheduler*> Scheduler::made_{nullptr};

// Destroyed after the statics made on first use (the driver library's
// instance list among them, whose destruction stops the loops that still
// run), since it is made when this file is loaded, before any of them.
struct JoinSchedulerAtExit {
  JoinSchedulerAtExit() = default;
  JoinSchedulerAtExit(const JoinSchedulerAtExit&) = delete;
  JoinSchedulerAtExit& operator=(const JoinSchedulerAtExit&) = delete;
  ~JoinSchedulerAtExit() {
    if (Scheduler* scheduler = Scheduler::IfMade()) scheduler->JoinAtExit();
  }
} joinSchedulerAtExit;

Scheduler::Scheduler() {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (epoll_ < 0 || wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "fiber scheduler");
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeTag;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd_, &event) != 0) {
    throw std::system_error(errno, std::generic_category(), "fiber scheduler");
  }
}

Task Scheduler::Spawn(std::function<void()> body) {
  auto fiber = std::make_unique<Fiber>();
  fiber->mapping = ::mmap(nullptr, kGuardBytes + kStackBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (fiber->mapping == MAP_FAILED) {
    fiber->mapping = nullptr;
    throw std::system_error(errno, std::generic_category(), "fiber stack");
  }
  ::mprotect(fiber->mapping, kGuardBytes, PROT_NONE);
  Prepare(fiber->context, fiber->StackBottom(), kStackBytes, fiber.get());
  fiber->body = std::move(body);
  fiber->task = std::make_shared<Task::State>();
  fiber->task->fiber = fiber.get();
  Task task(fiber->task);

  std::lock_guard<std::mutex> guard(lock_);
  incoming_.push_back(fiber.get());
  if (running_) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
  } else {
    // The earlier thread has given up (it takes the lock no more); it may
    // still be on its way out.
    if (thread_.joinable()) thread_.join();
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (...) {
      incoming_.pop_back();
      throw;
    }
    running_ = true;
  }
  ++unfinished_;
  idle_.notify_all();  // an exit waiting for the thread to go idle waits no more
  fiber.release();  // the scheduler owns it now
  return task;
}

void Scheduler::Run() {
#ifdef QMX_FIBER_TSAN
  tsanMain_ = __tsan_get_current_fiber();
#endif
  for (;;) {
    TakeIncoming();
    while (!due_.empty() || !handled_.empty() || !ready_.empty()) {
      // Input handlers run one at a time between the loops whose time has
      // come: a burst of replies, each asking for a send, does not hold up
      // a loop's period.
      if (due_.empty() && !handled_.empty()) {
        RunHandler();
        if (!timers_.Empty()) TakeExpired(Clock::now());
        continue;
      }
      std::deque<Fiber*>& from = due_.empty() ? ready_ : due_;
      Fiber* fiber = from.front();
      from.pop_front();
      // While this fiber runs, the live frames of the one after it come
      // into the cache, instead of one miss after another as it returns
      // through them.
      if (!due_.empty()) {
        PrefetchStack(*due_.front());
      } else if (!ready_.empty()) {
        PrefetchStack(*ready_.front());
      }
      Resume(fiber);
      // A loop whose time has come goes before the replies still waiting
      // to be handled, so that a burst of replies does not shift its period.
      if (!timers_.Empty()) TakeExpired(Clock::now());
    }
    if (live_ == 0) {
      std::lock_guard<std::mutex> guard(lock_);
      if (incoming_.empty()) {
        running_ = false;
        if (abandoned_) thread_.detach();
        idle_.notify_all();
        return;
      }
      continue;
    }
    Poll();
  }
}

void Scheduler::JoinAtExit() {
  std::unique_lock<std::mutex> guard(lock_);
  // With nothing left to run the thread is idle, or about to be.
  idle_.wait(guard, [this] { return !running_ || unfinished_ > 0; });
  if (unfinished_ > 0) {
    abandoned_ = true;
    return;
  }
  std::thread ended = std::move(thread_);
  guard.unlock();
  if (ended.joinable()) ended.join();
}

void Scheduler::TakeIncoming() {
  std::vector<Fiber*> taken;
  {
    std::lock_guard<std::mutex> guard(lock_);
    taken.swap(incoming_);
  }
  for (Fiber* fiber : taken) {
    if (freeIds_.empty()) {
      fiber->id = static_cast<uint32_t>(fibers_.size());
      fibers_.push_back(fiber);
    } else {
      fiber->id = freeIds_.back();
      freeIds_.pop_back();
      fibers_[fiber->id] = fiber;
    }
    ++live_;
    ready_.push_back(fiber);
  }
}

void Scheduler::Poll() {
  int timeoutMs = -1;
  timespec timeout{};
  bool bounded = false;
  if (!timers_.Empty()) {
    timeout = Left(timers_.TopDeadline());
    timeoutMs = static_cast<int>(timeout.tv_sec * 1000 + (timeout.tv_nsec + 999999) / 1000000);
    bounded = true;
  }
  epoll_event events[kEventsPerWait];
  int n = ::epoll_pwait2(epoll_, events, kEventsPerWait, bounded ? &timeout : nullptr, nullptr);
  if (n < 0 && errno == ENOSYS) n = ::epoll_wait(epoll_, events, kEventsPerWait, timeoutMs);
  // The watched descriptors' entries are looked at under one lock for the
  // whole batch, not one for each reply.
  std::unique_lock<std::mutex> watching(watchLock_, std::defer_lock);
  for (int i = 0; i < n; ++i) {
    const uint64_t tag = events[i].data.u64;
    if (tag == kWakeTag) {
      uint64_t count = 0;
      [[maybe_unused]] ssize_t r = ::read(wakeFd_, &count, sizeof count);
      continue;
    }
    if (tag & kWatchBit) {
      if (!watching.owns_lock()) watching.lock();
      TakeWatched(static_cast<int>((tag >> 32) & 0x7FFFFFFF), static_cast<uint32_t>(tag), events[i].events);
      continue;
    }
    WakeIfWaiting(static_cast<uint32_t>(tag >> 32), static_cast<uint32_t>(tag), events[i].events, false);
  }
  if (watching.owns_lock()) watching.unlock();
  TakeExpired(Clock::now());
}

void Scheduler::TakeExpired(Clock::time_point now) {
  while (!timers_.Empty() && timers_.TopDeadline() <= now) {
    const uint32_t id = timers_.TopId();
    timers_.Remove(id);
    Fiber* fiber = fibers_[id];
    if (fiber->handledFd >= 0) DropHandler(*fiber);
    WakeIfWaiting(id, fiber->token, 0, true);
  }
}

void Scheduler::WakeIfWaiting(uint32_t id, uint32_t token, uint32_t revents, bool timedOut) {
  if (id >= fibers_.size()) return;
  Fiber* fiber = fibers_[id];
  if (!fiber || !fiber->waiting || fiber->token != token) return;
  fiber->waiting = false;
  if (timers_.Holds(id)) timers_.Remove(id);
  fiber->revents = revents;
  fiber->timedOut = timedOut;
  (timedOut ? due_ : ready_).push_back(fiber);
}

void Scheduler::Resume(Fiber* fiber) {
  tlCurrent = fiber;
#ifdef QMX_FIBER_ASAN
  void* fake = nullptr;
  __sanitizer_start_switch_fiber(&fake, fiber->StackBottom(), kStackBytes);
#endif
#ifdef QMX_FIBER_TSAN
  // With the switch synchronising, as the one thread's sequence did: the
  // fibers hand the scheduler's state to each other.
  __tsan_switch_to_fiber(fiber->tsanContext, 0);
#endif
  Jump(main_, fiber->context);
#ifdef QMX_FIBER_ASAN
  __sanitizer_finish_switch_fiber(fake, nullptr, nullptr);
#endif
  tlCurrent = nullptr;
  if (fiber->finished) Finish(fiber);
}

void Scheduler::Finish(Fiber* fiber) {
  fibers_[fiber->id] = nullptr;
  freeIds_.push_back(fiber->id);
  --live_;
  std::shared_ptr<Task::State> task = std::move(fiber->task);
  delete fiber;
  {
    std::lock_guard<std::mutex> guard(lock_);
    --unfinished_;
  }
  {
    std::lock_guard<std::mutex> guard(task->lock);
    task->done = true;
    task->fiber = nullptr;
  }
  task->ended.notify_all();
}

void Scheduler::SwitchOut(Fiber* fiber) {
#ifdef QMX_FIBER_ASAN
  __sanitizer_start_switch_fiber(fiber->finished ? nullptr : &fiber->fakeStack, mainBottom_, mainSize_);
#endif
#ifdef QMX_FIBER_TSAN
  __tsan_switch_to_fiber(tsanMain_, 0);
#endif
  Jump(fiber->context, main_);
#ifdef QMX_FIBER_ASAN
  __sanitizer_finish_switch_fiber(fiber->fakeStack, &mainBottom_, &mainSize_);
#endif
}

void Scheduler::Entry(Fiber* fiber) {
  Scheduler& self = Get();
#ifdef QMX_FIBER_ASAN
  __sanitizer_finish_switch_fiber(nullptr, &self.mainBottom_, &self.mainSize_);
#endif
  try {
    fiber->body();
  } catch (...) {
    // Ends the fiber; the body is expected to catch what it can report.
  }
  fiber->body = nullptr;
  fiber->finished = true;
  self.SwitchOut(fiber);  // never comes back: the scheduler frees the fiber
}

void Scheduler::TakeWatched(int fd, uint32_t generation, uint32_t events) {
  if (static_cast<size_t>(fd) >= watched_.size()) return;
  Watched& w = watched_[static_cast<size_t>(fd)];
  if (!w.active || w.generation != generation) return;
  w.pending |= events;
  if (!w.waited) return;
  const uint32_t ready = w.pending & (w.wanted | EPOLLERR | EPOLLHUP);
  if (!ready) return;
  if (w.handler) {
    // A wait with a handler stays marked exactly as long as it runs (its
    // deadline unmarks it), so the fiber is not looked at: while the
    // handler takes what comes and the wait goes on, nothing of the
    // fiber, its object or its frames, is touched. The handler runs from
    // the run loop.
    w.pending &= ~w.wanted;
    w.handlerEvents |= ready;
    if (!w.queued) {
      w.queued = true;
      handled_.push_back(fd);
    }
    return;
  }
  w.waited = false;
  const Fiber* fiber = w.waiterId < fibers_.size() ? fibers_[w.waiterId] : nullptr;
  // A wait that has ended otherwise (its deadline) leaves what came pending.
  if (!fiber || !fiber->waiting || fiber->token != w.waiterToken) return;
  w.pending &= ~w.wanted;
  WakeIfWaiting(w.waiterId, w.waiterToken, ready, false);
}

void Scheduler::RunHandler() {
  const int fd = handled_.front();
  handled_.pop_front();
  std::lock_guard<std::mutex> guard(watchLock_);
  // The next handler's object comes into the cache while this one waits
  // in its system calls.
  if (!handled_.empty()) {
    if (const InputHandler* next = watched_[static_cast<size_t>(handled_.front())].handler) {
      __builtin_prefetch(next);
      __builtin_prefetch(reinterpret_cast<const char*>(next) + 64);
    }
  }
  Watched& w = watched_[static_cast<size_t>(fd)];
  w.queued = false;
  const uint32_t events = w.handlerEvents;
  w.handlerEvents = 0;
  // Its wait may have ended meanwhile (its deadline): what came is left
  // pending for the next wait, as for any wait that has ended.
  if (!w.active || !w.waited || !w.handler) {
    if (w.active) w.pending |= events;
    return;
  }
  if (!w.handler->OnInput(events)) return;
  w.waited = false;
  w.handler = nullptr;
  WakeIfWaiting(w.waiterId, w.waiterToken, events, false);
}

void Scheduler::DropHandler(Fiber& fiber) {
  std::lock_guard<std::mutex> guard(watchLock_);
  const auto slot = static_cast<size_t>(fiber.handledFd);
  fiber.handledFd = -1;
  if (slot >= watched_.size()) return;
  Watched& w = watched_[slot];
  if (w.waited && w.waiterId == fiber.id && w.waiterToken == fiber.token) {
    w.waited = false;
    w.handler = nullptr;
    // Input its handler has not run for yet stays for the next wait.
    w.pending |= w.handlerEvents;
    w.handlerEvents = 0;
  }
}

int Scheduler::SetInterest(int fd, uint32_t events, uint64_t tag) {
  epoll_event event{};
  event.events = events;
  event.data.u64 = tag;
  // Changing a registration, as making one, reports at once what is there
  // already.
  if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event) == 0) return 0;
  if (errno == ENOENT && ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0) return 0;
  return -errno;
}

int Scheduler::Arm(int fd, uint32_t events, Mode mode, const Fiber& fiber, InputHandler* handler) {
  std::lock_guard<std::mutex> guard(watchLock_);
  const auto slot = static_cast<size_t>(fd);
  const bool watched = slot < watched_.size() && watched_[slot].active;
  if (!watched && mode == Mode::kLevel) {
    return SetInterest(fd, events | EPOLLONESHOT, (static_cast<uint64_t>(fiber.id) << 32) | fiber.token);
  }
  if (!watched) {
    if (watched_.size() <= slot) watched_.resize(slot + 1);
    Watched& w = watched_[slot];
    // A one-shot registration left from an earlier wait becomes this one.
    if (const int r = SetInterest(fd, EPOLLIN | EPOLLOUT | EPOLLET, WatchTag(fd, ++w.generation)); r != 0) return r;
    w.active = true;
    w.pending = 0;
  }
  Watched& w = watched_[slot];
  if (mode == Mode::kEdge) {
    if (const uint32_t ready = w.pending & (events | EPOLLERR | EPOLLHUP)) {
      w.pending &= ~events;
      if (!handler || handler->OnInput(ready)) return static_cast<int>(ready);
    }
  } else {
    // What was reported says nothing of what is there now: a look does.
    // When it finds nothing, only what is reported from now on counts.
    pollfd p{fd, static_cast<short>(events), 0};
    if (::poll(&p, 1, 0) > 0) return p.revents;
    w.pending &= ~events;
  }
  w.waited = true;
  w.waiterId = fiber.id;
  w.waiterToken = fiber.token;
  w.wanted = events;
  w.handler = handler;
  return 0;
}

void Scheduler::Forget(int fd) {
  std::lock_guard<std::mutex> guard(watchLock_);
  const auto slot = static_cast<size_t>(fd);
  if (fd < 0 || slot >= watched_.size() || !watched_[slot].active) return;
  Watched& w = watched_[slot];
  w.active = false;
  w.pending = 0;
  w.waited = false;
  w.handler = nullptr;
  w.handlerEvents = 0;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
}

int Scheduler::Wait(int fd, uint32_t events, std::optional<Clock::time_point> deadline, Mode mode,
                    InputHandler* handler) {
  Fiber* fiber = tlCurrent;
  fiber->token = ++waits_;
  if (fd >= 0) {
    if (const int r = Arm(fd, events, mode, *fiber, handler); r != 0) return r;
  }
  if (deadline) {
    timers_.Push(fiber->id, *deadline);
  }
  fiber->handledFd = handler && fd >= 0 ? fd : -1;
  fiber->waiting = true;
  SwitchOut(fiber);
  fiber->handledFd = -1;
  return fiber->timedOut ? 0 : static_cast<int>(fiber->revents);
}

#if defined(__x86_64__)

extern "C" {
// Both in the assembly below.
void qmx_fiber_switch(void** save, void* next);
void qmx_fiber_start();
__attribute__((used, visibility("hidden"))) void qmx_fiber_entry(Fiber* fiber) { Scheduler::Entry(fiber); }
}

// qmx_fiber_switch pushes the callee-saved registers and the MXCSR and x87
// control words, stores the stack pointer, takes the other one and pops the
// same from it. The control words are loaded only where they differ from
// the ones in force: loading them is slow, and they nearly never differ. A new stack is laid out as if suspended there, its return
// address qmx_fiber_start, which hands r12 (the fiber) to qmx_fiber_entry.
asm(R"(
  .text
  .p2align 4
  .globl qmx_fiber_switch
  .hidden qmx_fiber_switch
  .type qmx_fiber_switch, @function
qmx_fiber_switch:
  pushq %rbp
  pushq %rbx
  pushq %r12
  pushq %r13
  pushq %r14
  pushq %r15
  subq $8, %rsp
  stmxcsr (%rsp)
  fnstcw 4(%rsp)
  movl (%rsp), %eax
  movzwl 4(%rsp), %edx
  movq %rsp, (%rdi)
  movq %rsi, %rsp
  cmpl (%rsp), %eax
  je 1f
  ldmxcsr (%rsp)
1:
  cmpw 4(%rsp), %dx
  je 2f
  fldcw 4(%rsp)
2:
  addq $8, %rsp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rbx
  popq %rbp
  ret
  .size qmx_fiber_switch, .-qmx_fiber_switch

  .p2align 4
  .globl qmx_fiber_start
  .hidden qmx_fiber_start
  .type qmx_fiber_start, @function
qmx_fiber_start:
  movq %r12, %rdi
  call qmx_fiber_entry@PLT
  ud2
  .size qmx_fiber_start, .-qmx_fiber_start
)");

void Prepare(Context& context, void* stack, size_t size, Fiber* fiber) {
  // The return address sits 8 below a 16-byte boundary, so that the entry
  // is called with the stack aligned as the ABI wants.
  auto top = (reinterpret_cast<uintptr_t>(stack) + size) & ~uintptr_t{15};
  auto* slot = reinterpret_cast<uint64_t*>(top - 8);
  slot[0] = reinterpret_cast<uint64_t>(&qmx_fiber_start);
  slot[-1] = 0;                                      // rbp: the end of the frame chain
  slot[-2] = 0;                                      // rbx
  slot[-3] = reinterpret_cast<uint64_t>(fiber);      // r12
  slot[-4] = slot[-5] = slot[-6] = 0;                // r13, r14, r15
  slot[-7] = 0x1F80 | (uint64_t{0x037F} << 32);      // MXCSR and x87 control word as at start
  context.sp = &slot[-7];
}

void Jump(Context& from, Context& to) { qmx_fiber_switch(&from.sp, to.sp); }

#else

void Start(unsigned high, unsigned low) {
  Scheduler::Entry(reinterpret_cast<Fiber*>((static_cast<uintptr_t>(high) << 32) | low));
}

void Prepare(Context& context, void* stack, size_t size, Fiber* fiber) {
  ::getcontext(&context.uc);
  context.uc.uc_stack.ss_sp = stack;
  context.uc.uc_stack.ss_size = size;
  context.uc.uc_link = nullptr;
  const auto address = reinterpret_cast<uintptr_t>(fiber);
  ::makecontext(&context.uc, reinterpret_cast<void (*)()>(&Start), 2, static_cast<unsigned>(address >> 32),
                static_cast<unsigned>(address & 0xFFFFFFFFu));
}

void Jump(Context& from, Context& to) { ::swapcontext(&from.uc, &to.uc); }

#endif

int PlainPoll(pollfd& p, std::optional<Clock::time_point> deadline) {
  for (;;) {
    const timespec left = deadline ? Left(*deadline) : timespec{};
    const int r = ::ppoll(&p, 1, deadline ? &left : nullptr, nullptr);
    if (r >= 0 || errno != EINTR) return r;
  }
}

}  // namespace

bool OnFiber() { return tlCurrent != nullptr; }

int PollUntil(pollfd& p, std::optional<Clock::time_point> deadline) {
  if (!tlCurrent) return PlainPoll(p, deadline);
  p.revents = 0;
  const bool expired = deadline && *deadline <= Clock::now();
  // A socket is nearly always writable, and a wait that may not wait only
  // looks: both are answered without a trip through the scheduler.
  if (expired || !(p.events & POLLIN)) {
    const int r = ::poll(&p, 1, 0);
    if (r != 0 || expired) return r;
  }
  if (p.fd < 0) {
    Scheduler::Get().Wait(-1, 0, deadline, Scheduler::Mode::kLevel);
    return 0;
  }
  const int r = Scheduler::Get().Wait(p.fd, static_cast<uint32_t>(p.events), deadline, Scheduler::Mode::kLevel);
  if (r == -EBADF) {
    p.revents = POLLNVAL;
    return 1;
  }
  if (r == -EPERM) return ::poll(&p, 1, 0);  // not pollable by epoll: always ready
  if (r < 0) {
    errno = -r;
    return -1;
  }
  p.revents = static_cast<short>(r & (p.events | POLLERR | POLLHUP | POLLNVAL));
  return r == 0 ? 0 : 1;
}

namespace {

// AwaitInput, with or without a handler.
int AwaitInputFor(int fd, std::optional<Clock::time_point> deadline, InputHandler* handler) {
  if (!tlCurrent) {
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      const int r = PlainPoll(p, deadline);
      if (r <= 0 || !handler || handler->OnInput(static_cast<uint32_t>(p.revents))) return r;
    }
  }
  const int r = Scheduler::Get().Wait(fd, EPOLLIN, deadline, Scheduler::Mode::kEdge, handler);
  if (r == -EPERM) {
    // Not pollable by epoll: always ready, and no wait to go on with.
    if (handler) handler->OnInput(POLLIN);
    return 1;
  }
  if (r < 0) {
    errno = -r;
    return -1;
  }
  return r == 0 ? 0 : 1;
}

}  // namespace

int AwaitInput(int fd, std::optional<Clock::time_point> deadline) { return AwaitInputFor(fd, deadline, nullptr); }

int AwaitInput(int fd, std::optional<Clock::time_point> deadline, InputHandler& handler) {
  return AwaitInputFor(fd, deadline, &handler);
}

void Forget(int fd) { Scheduler::Get().Forget(fd); }

int PollOne(pollfd& p, int timeoutMs) {
  if (timeoutMs < 0) return PollUntil(p, std::nullopt);
  return PollUntil(p, Clock::now() + std::chrono::milliseconds(timeoutMs));
}

void SleepUntil(Clock::time_point deadline) {
  if (!tlCurrent) {
    std::this_thread::sleep_until(deadline);
    return;
  }
  if (deadline <= Clock::now()) return;
  Scheduler::Get().Wait(-1, 0, deadline, Scheduler::Mode::kLevel);
}

void SleepFor(std::chrono::milliseconds duration) { SleepUntil(Clock::now() + duration); }

void RunBlocking(const std::function<void()>& work) {
  if (!tlCurrent) {
    work();
    return;
  }
  const int done = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (done < 0) {
    work();  // no way to wait for a helper: the lookup holds the thread
    return;
  }
  std::atomic<bool> finished{false};
  std::thread helper;
  try {
    helper = std::thread([&] {
      work();
      finished = true;
      const uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(done, &one, sizeof one);
    });
  } catch (const std::system_error&) {
    ::close(done);
    work();
    return;
  }
  while (!finished) {
    pollfd p{done, POLLIN, 0};
    if (PollUntil(p, Clock::now() + std::chrono::milliseconds(100)) < 0) SleepFor(std::chrono::milliseconds(5));
  }
  helper.join();
  ::close(done);
}

bool Task::IsCurrent() const { return state_ && tlCurrent && state_->fiber == tlCurrent; }

bool Task::Done() const {
  if (!state_) return true;
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->done;
}

void Task::Join() {
  if (!state_ || IsCurrent()) return;
  if (tlCurrent) {
    while (!Done()) SleepFor(std::chrono::milliseconds(1));
    return;
  }
  std::unique_lock<std::mutex> guard(state_->lock);
  state_->ended.wait(guard, [this] { return state_->done; });
}

Task Spawn(std::function<void()> body) { return Scheduler::Get().Spawn(std::move(body)); }

}  // namespace qmx::fiber
