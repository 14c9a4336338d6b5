#include "platform/fiber/fiber.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "driver/wake_signal.h"
#include "platform/net/socket.h"

namespace qmx::fiber {
namespace {

using namespace std::chrono_literals;

struct SocketPair {
  int fd[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd), 0); }
  ~SocketPair() {
    ::close(fd[0]);
    ::close(fd[1]);
  }
  void Send() const { EXPECT_EQ(::write(fd[1], "x", 1), 1); }
};

// One wait of a fiber on a socket, and what it must give.
struct WaitCase {
  const char* what;
  short events;
  bool dataFirst;
  int timeoutMs;
  int result;
  short revents;
};

TEST(Fiber, AWaitOnAFiberAnswersAsPollWould) {
  const WaitCase cases[] = {
      {"nothing to read: the time-out", POLLIN, false, 40, 0, 0},
      {"data there before the wait", POLLIN, true, 5000, 1, POLLIN},
      {"no time: only a look", POLLIN, false, 0, 0, 0},
      {"writable at once", POLLOUT, false, 5000, 1, POLLOUT},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.what);
    SocketPair pair;
    if (c.dataFirst) pair.Send();
    int result = -2;
    short revents = 0;
    std::chrono::steady_clock::duration took{};
    bool onFiber = false;
    Task task = Spawn([&] {
      onFiber = OnFiber();
      pollfd p{pair.fd[0], c.events, 0};
      const auto start = Clock::now();
      result = PollOne(p, c.timeoutMs);
      took = Clock::now() - start;
      revents = p.revents;
    });
    task.Join();
    EXPECT_TRUE(onFiber);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(revents, c.revents);
    if (c.result == 0) {
      EXPECT_GE(took, std::chrono::milliseconds(c.timeoutMs));
    }
    // Off a fiber the same wait is a plain poll.
    pollfd p{pair.fd[0], c.events, 0};
    EXPECT_FALSE(OnFiber());
    EXPECT_EQ(PollOne(p, c.timeoutMs), c.result);
  }
}

TEST(Fiber, ManyLoopsShareOneThreadAndASilentOneDelaysNoOther) {
  constexpr int kLoops = 40;
  constexpr int kRounds = 20;
  std::vector<SocketPair> pairs(kLoops);
  std::mutex lock;
  std::set<std::thread::id> threads;
  std::atomic<int> received{0};
  SocketPair silent;
  int silentResult = -2;
  // Waits far longer than the others need, on a socket nobody writes to.
  Task quiet = Spawn([&] {
    pollfd p{silent.fd[0], POLLIN, 0};
    silentResult = PollOne(p, 3000);
  });
  std::vector<Task> loops;
  for (int i = 0; i < kLoops; ++i) {
    loops.push_back(Spawn([&, i] {
      {
        std::lock_guard<std::mutex> guard(lock);
        threads.insert(std::this_thread::get_id());
      }
      char byte;
      for (int round = 0; round < kRounds; ++round) {
        pollfd p{pairs[i].fd[0], POLLIN, 0};
        if (PollOne(p, 5000) != 1 || ::read(pairs[i].fd[0], &byte, 1) != 1) return;
        received.fetch_add(1);
      }
    }));
  }
  const auto start = Clock::now();
  for (int round = 0; round < kRounds; ++round) {
    for (const SocketPair& pair : pairs) pair.Send();
    std::this_thread::sleep_for(1ms);
  }
  for (Task& task : loops) task.Join();
  EXPECT_LT(Clock::now() - start, 2500ms) << "the silent loop held the others up";
  EXPECT_EQ(received.load(), kLoops * kRounds);
  EXPECT_EQ(threads.size(), 1u);
  EXPECT_FALSE(quiet.Done());
  quiet.Join();
  EXPECT_EQ(silentResult, 0);
}

TEST(Fiber, JoinsEndsAndARestartedThread) {
  // A body that throws ends its fiber only.
  Task thrower = Spawn([] { throw std::runtime_error("lost"); });
  thrower.Join();
  EXPECT_TRUE(thrower.Done());

  // A fiber joining another sleeps meanwhile; a fiber joining itself returns.
  std::atomic<bool> slowEnded{false};
  Task slow = Spawn([&] {
    SleepFor(50ms);
    slowEnded = true;
  });
  bool sawEnd = false;
  Task self;
  std::atomic<bool> selfReady{false};
  Task joiner = Spawn([&] {
    slow.Join();
    sawEnd = slowEnded.load();
    while (!selfReady) SleepFor(1ms);
    self.Join();
  });
  self = joiner;
  selfReady = true;
  joiner.Join();
  EXPECT_TRUE(sawEnd);

  // With no fiber left the thread has ended; the next Spawn starts it again.
  std::this_thread::sleep_for(20ms);
  bool ran = false;
  Spawn([&] { ran = true; }).Join();
  EXPECT_TRUE(ran);
}

TEST(Fiber, ABlockingCallOnAFiberHoldsNoOtherFiber) {
  std::atomic<bool> blocked{false};
  std::atomic<int> ticks{0};
  int ticksWhileBlocked = -1;
  Task blocker = Spawn([&] {
    RunBlocking([&] {
      blocked = true;
      std::this_thread::sleep_for(300ms);  // a slow name lookup
    });
    ticksWhileBlocked = ticks.load();
  });
  Task ticker = Spawn([&] {
    while (!blocked) SleepFor(1ms);
    for (int i = 0; i < 10; ++i) {
      SleepFor(5ms);
      ticks.fetch_add(1);
    }
  });
  blocker.Join();
  ticker.Join();
  EXPECT_EQ(ticksWhileBlocked, 10) << "the other fiber stood still";
}

TEST(Fiber, AWakeSignalPostedFromAThreadWakesAFiber) {
  tessivar::WakeSignal signal;
  bool woken = false;
  std::chrono::steady_clock::duration took{};
  Task task = Spawn([&] {
    const auto start = Clock::now();
    woken = signal.WaitUntil(start + 30s);
    took = Clock::now() - start;
  });
  std::this_thread::sleep_for(50ms);
  signal.Post();
  task.Join();
  EXPECT_TRUE(woken);
  EXPECT_LT(took, 10s);
}

// One AwaitInput on a fiber: what is written, and when, and what it gives.
struct InputCase {
  const char* what;
  bool dataFirst;       // written before the descriptor is first waited on
  bool readFirst;       // that byte read (a short read) before the wait
  int writeAfterMs;     // written from a thread meanwhile (-1: not)
  int result;
};

TEST(Fiber, AwaitInputWaitsOnlyForWhatComesAfterTheLastRead) {
  const InputCase cases[] = {
      {"there before the first wait", true, false, -1, 1},
      {"comes while the fiber waits", false, false, 30, 1},
      {"nothing comes: the deadline", false, false, -1, 0},
      {"what came was read: no report of it", true, true, -1, 0},
      {"read, then more comes", true, true, 30, 1},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.what);
    SocketPair pair;
    if (c.dataFirst) pair.Send();
    int result = -2;
    std::atomic<bool> read{false};
    Task task = Spawn([&] {
      char bytes[2];
      if (c.readFirst) {
        // Registered while the byte is there; the read takes it.
        EXPECT_EQ(AwaitInput(pair.fd[0], Clock::now() + 5s), 1);
        EXPECT_EQ(::read(pair.fd[0], bytes, sizeof bytes), 1);
        read = true;
      }
      result = AwaitInput(pair.fd[0], Clock::now() + (c.writeAfterMs < 0 ? 100ms : 5s));
      Forget(pair.fd[0]);
    });
    if (c.writeAfterMs >= 0) {
      // The later byte must not join the first one's read.
      while (c.readFirst && !read) std::this_thread::sleep_for(1ms);
      std::this_thread::sleep_for(std::chrono::milliseconds(c.writeAfterMs));
      pair.Send();
    }
    task.Join();
    EXPECT_EQ(result, c.result);
  }
}

// Reads what comes and ends the wait once `wanted` bytes have come,
// noting where it ran.
class CountingHandler final : public InputHandler {
public:
  CountingHandler(int fd, int wanted) : fd_(fd), wanted_(wanted) {}
  bool OnInput(uint32_t) override {
    ++calls;
    if (OnFiber()) ++onFiber;
    char bytes[16];
    for (;;) {
      const ssize_t n = ::read(fd_, bytes, sizeof bytes);
      if (n <= 0) return n == 0 || got >= wanted_;  // drained (or closed)
      got += static_cast<int>(n);
    }
  }
  int calls = 0;
  int onFiber = 0;
  int got = 0;

private:
  int fd_;
  int wanted_;
};

// An AwaitInput with a handler: pieces written one by one from a thread
// while a fiber waits; the handler takes each without a wake-up of the
// fiber, which wakes once, when the handler says so, or at its deadline.
struct HandledCase {
  const char* what;
  bool onFiber;
  int firstBefore;  // pieces written before the wait
  int pieces;       // written in all, 20 ms apart
  int wanted;       // the handler ends the wait at so many
  int result;
  int gotAtLeast;
};

TEST(Fiber, AHandlerTakesInputInPlaceOfTheWaitingFiber) {
  const HandledCase cases[] = {
      {"three pieces, the wait ends at the third", true, 0, 3, 3, 1, 3},
      {"the first there before the wait", true, 1, 3, 3, 1, 3},
      {"all there before the wait: one call", true, 2, 2, 2, 1, 2},
      {"fewer than wanted: the deadline", true, 0, 2, 5, 0, 2},
      {"off a fiber, after each poll", false, 0, 3, 3, 1, 3},
  };
  for (const HandledCase& c : cases) {
    SCOPED_TRACE(c.what);
    SocketPair pair;
    for (int i = 0; i < c.firstBefore; ++i) pair.Send();
    CountingHandler handler(pair.fd[0], c.wanted);
    int result = -2;
    std::atomic<bool> waiting{false};
    auto wait = [&] {
      waiting = true;
      result = AwaitInput(pair.fd[0], Clock::now() + (c.result == 0 ? 300ms : 5s), handler);
      Forget(pair.fd[0]);
    };
    Task task;
    std::thread plain;
    if (c.onFiber) {
      task = Spawn(wait);
    } else {
      plain = std::thread(wait);
    }
    while (!waiting) std::this_thread::sleep_for(1ms);
    for (int i = c.firstBefore; i < c.pieces; ++i) {
      std::this_thread::sleep_for(20ms);
      pair.Send();
    }
    if (c.onFiber) task.Join();
    if (plain.joinable()) plain.join();
    EXPECT_EQ(result, c.result);
    EXPECT_GE(handler.got, c.gotAtLeast);
    // On a fiber, only what was there as the wait began is taken on the
    // fiber's own stack; the rest on the scheduler's.
    if (c.onFiber) {
      EXPECT_LE(handler.onFiber, 1);
      if (c.firstBefore < c.pieces) {
        EXPECT_GE(handler.calls - handler.onFiber, 1);
      }
    }
  }
}

// Ends its wait at once, after holding the thread for a while.
class SlowHandler final : public InputHandler {
public:
  bool OnInput(uint32_t) override {
    const auto until = Clock::now() + 60ms;
    while (Clock::now() < until) {
    }
    return true;
  }
};

// Input that came for a wait with a handler, when the wait reached its
// deadline before the handler could run (another handler held the thread),
// is not lost: the next wait on the descriptor finds it.
TEST(Fiber, InputLeftByAHandledWaitThatTimedOutReachesTheNextWait) {
  SocketPair first;
  SocketPair second;
  CountingHandler counting(first.fd[0], 100);
  SlowHandler slow;
  std::atomic<int> waiting{0};
  int timedOut = -2;
  int next = -2;
  Task a = Spawn([&] {
    ++waiting;
    timedOut = AwaitInput(first.fd[0], Clock::now() + 50ms, counting);
    next = AwaitInput(first.fd[0], Clock::now() + 2s);
    Forget(first.fd[0]);
  });
  Task b = Spawn([&] {
    ++waiting;
    AwaitInput(second.fd[0], Clock::now() + 5s, slow);
    Forget(second.fd[0]);
  });
  while (waiting < 2) std::this_thread::sleep_for(1ms);
  // Both inputs come while the thread is held, so that one wait of the
  // scheduler takes both: the slow handler first, past the other's deadline.
  Task hold = Spawn([] {
    const auto until = Clock::now() + 20ms;
    while (Clock::now() < until) {
    }
  });
  std::this_thread::sleep_for(5ms);
  second.Send();
  first.Send();
  hold.Join();
  a.Join();
  b.Join();
  EXPECT_EQ(timedOut, 0);
  EXPECT_EQ(next, 1);
}

TEST(Fiber, AForgottenDescriptorsNumberServesTheNextOne) {
  int firstFd = -1;
  int secondFd = -1;
  int result = -2;
  {
    SocketPair first;
    firstFd = first.fd[0];
    Spawn([&] {
      AwaitInput(first.fd[0], Clock::now() + 10ms);
      Forget(first.fd[0]);
    }).Join();
  }
  // The closed number comes back for the next socket, which must be
  // registered anew: an old registration would never report it.
  SocketPair second;
  secondFd = second.fd[0];
  Task task = Spawn([&] {
    result = AwaitInput(second.fd[0], Clock::now() + 5s);
    // A level wait on a registered descriptor still answers what is there.
    pollfd p{second.fd[0], POLLIN, 0};
    if (result == 1) result += PollOne(p, 0);
    Forget(second.fd[0]);
  });
  std::this_thread::sleep_for(30ms);
  second.Send();
  task.Join();
  EXPECT_EQ(firstFd, secondFd);
  EXPECT_EQ(result, 2);
}

TEST(Fiber, ASocketReadInPiecesOnAFiberWaitsForNoneOfThem) {
  // A listener on loopback and our socket connected to it.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  net::Socket socket;
  ASSERT_EQ(socket.Create(SOCK_STREAM), 0);
  ASSERT_EQ(socket.Connect(address.sin_addr.s_addr, ntohs(address.sin_port), 2000), 0);
  const int peer = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);

  // Ten bytes taken four at a time: the bytes left after a full read are
  // there at once, not after the time-out; then one more message, then the
  // peer's close, which every later read reports at once.
  std::vector<int> counts;
  Clock::duration took{};
  Task task = Spawn([&] {
    const auto begin = Clock::now();
    char buffer[4];
    for (int i = 0; i < 6; ++i) counts.push_back(socket.RecvWithin(buffer, sizeof buffer, 3000));
    took = Clock::now() - begin;
  });
  ASSERT_EQ(::write(peer, "0123456789", 10), 10);
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(::write(peer, "ab", 2), 2);
  std::this_thread::sleep_for(50ms);
  ::close(peer);
  task.Join();
  EXPECT_EQ(counts, (std::vector<int>{4, 4, 2, 2, 0, 0}));
  EXPECT_LT(took, 2s);
  socket.Close();
  ::close(listener);
}

TEST(Fiber, SleepersWakeInTheOrderOfTheirDeadlines) {
  constexpr int kSleepers = 40;
  std::mutex lock;
  std::vector<int> order;
  std::vector<Task> tasks;
  // The deadlines are fixed only once every sleeper is running, so a slow
  // spawn on a loaded machine cannot put some of them in the past.
  std::atomic<bool> go{false};
  std::atomic<Clock::rep> start{0};
  for (int i = 0; i < kSleepers; ++i) {
    // Deadlines 3 ms apart, spawned out of order; every other one also has
    // an event that ends its first wait early, which must leave the heap.
    const int slot = (i * 17) % kSleepers;
    tasks.push_back(Spawn([&, slot] {
      SocketPair pair;
      pair.Send();
      pollfd p{pair.fd[0], POLLIN, 0};
      if (slot % 2 == 0) PollUntil(p, Clock::now() + 10s);
      while (!go) SleepUntil(Clock::now() + 1ms);
      const auto deadline = Clock::time_point(Clock::duration(start.load())) + std::chrono::milliseconds(3 * slot);
      // A sleeper whose deadline had passed before it slept (the thread was
      // held up that long) returns at once; only the others have an order.
      const bool timed = Clock::now() < deadline;
      SleepUntil(deadline);
      const bool late = Clock::now() >= deadline;
      std::lock_guard<std::mutex> guard(lock);
      if (timed) order.push_back(late ? slot : -1);
    }));
  }
  start = (Clock::now() + 100ms).time_since_epoch().count();
  go = true;
  for (Task& task : tasks) task.Join();
  std::vector<int> expected = order;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(order, expected);
  EXPECT_GE(order.size(), kSleepers / 2u);
  EXPECT_EQ(std::count(order.begin(), order.end(), -1), 0);
}

// Each fiber holds a lock of its own across its waits, as a monitoring
// cycle holds its instance's schedule lock across a transaction, while the
// other fiber takes its own. To ThreadSanitizer, one thread taking a lock
// while holding another, in both orders, is a lock-order inversion: it has
// to see each fiber as a thread of its own (scripts/tsan.sh runs this with
// halt_on_error, where an unannotated switch fails it).
TEST(Fiber, LocksHeldAcrossWaitsAreEachFibersOwn) {
  std::mutex locks[2];
  std::mutex journalLock;
  std::vector<std::pair<int, int>> journal;  // (fiber, lock taken while the other fiber held its own)
  std::atomic<int> holding[2] = {0, 0};
  std::atomic<int> started{0};
  std::vector<Task> tasks;
  for (int f = 0; f < 2; ++f) {
    tasks.push_back(Spawn([&, f] {
      // Both run before either takes its lock, however slow the spawn.
      ++started;
      while (started < 2) SleepFor(1ms);
      for (int round = 0; round < 3; ++round) {
        std::lock_guard<std::mutex> held(locks[f]);
        holding[f] = 1;
        {
          std::lock_guard<std::mutex> guard(journalLock);
          journal.emplace_back(f, holding[1 - f].load());
        }
        SleepFor(2ms);
        holding[f] = 0;
      }
    }));
  }
  for (Task& task : tasks) task.Join();
  // Both fibers took their lock while the other held its own: the orders
  // that would read as an inversion did happen.
  bool overlapped[2] = {false, false};
  for (const auto& [fiber, otherHeld] : journal) overlapped[fiber] |= otherHeld != 0;
  EXPECT_EQ(journal.size(), 6u);
  EXPECT_TRUE(overlapped[0]);
  EXPECT_TRUE(overlapped[1]);
}

// The exit of a process with the scheduler in each state (exit_probe.cpp):
// it ends, with status 0; a scheduler thread left unjoined fails it under
// ThreadSanitizer, an exit that waited for a running fiber never ends.
TEST(Fiber, AProcessEndsWithItsFibersDoneRunningOrCallingTheExit) {
  for (const char* mode : {"idle", "running", "fiber"}) {
    SCOPED_TRACE(mode);
    char* const argv[] = {const_cast<char*>(QMX_FIBER_EXIT_PROBE), const_cast<char*>(mode), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, QMX_FIBER_EXIT_PROBE, nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}

}  // namespace
}  // namespace qmx::fiber
