#include "platform/fiber/fiber.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "driver/wake_signal.h"

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

}  // namespace
}  // namespace qmx::fiber
