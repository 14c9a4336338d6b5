#include "driver/wake_signal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using Clock = WakeSignal::Clock;

// Posts made before a wait, and what the wait and the one after it see.
struct Case {
  const char* what;
  int postsBefore;
  Clock::duration wait;
  bool woken;
};

TEST(WakeSignal, PostsBeforeAWaitEndItAtOnceAndAreConsumedTogether) {
  const Case cases[] = {
      {"no post: the deadline", 0, 30ms, false},
      {"a deadline already past", 0, -5ms, false},
      {"one post kept for the next wait", 1, 10s, true},
      {"several posts wake one wait", 3, 10s, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WakeSignal signal;
    for (int i = 0; i < c.postsBefore; ++i) signal.Post();
    const auto start = Clock::now();
    EXPECT_EQ(signal.WaitUntil(start + c.wait), c.woken);
    const auto took = Clock::now() - start;
    if (c.woken) {
      EXPECT_LT(took, 1s) << "a kept post does not wait";
    } else {
      EXPECT_GE(took, c.wait) << "the deadline is kept";
    }
    // Whatever was posted has been consumed.
    EXPECT_FALSE(signal.WaitUntil(Clock::now() + 20ms));
  }
}

// The read calls the process has made (Linux counts failed ones too).
long ReadCalls() {
  const int fd = ::open("/proc/self/io", O_RDONLY | O_CLOEXEC);
  char text[4096] = {};
  const ssize_t n = fd < 0 ? -1 : ::read(fd, text, sizeof text - 1);
  if (fd >= 0) ::close(fd);
  const char* at = n > 0 ? std::strstr(text, "syscr:") : nullptr;
  return at ? std::strtol(at + 6, nullptr, 10) : -1;
}

TEST(WakeSignal, AWaitReadsItsCounterOnlyAfterAPost) {
  if (ReadCalls() < 0) GTEST_SKIP() << "the kernel keeps no count of read calls here";
  WakeSignal signal;
  // What a look at the count costs itself (two statements: the operands of
  // one expression may be evaluated in either order).
  const long first = ReadCalls();
  const long own = ReadCalls() - first;
  const long before = ReadCalls();
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(signal.WaitUntil(Clock::now()));
  EXPECT_EQ(ReadCalls() - before, own) << "a wait with nothing posted reads nothing";
  signal.Post();
  const long posted = ReadCalls();
  EXPECT_TRUE(signal.WaitUntil(Clock::now() + 10s));
  EXPECT_EQ(ReadCalls() - posted, own + 1) << "a wait that takes a post reads it once";
}

TEST(WakeSignal, APostFromAnotherThreadEndsTheSleep) {
  WakeSignal signal;
  const auto start = Clock::now();
  std::thread poster([&] {
    std::this_thread::sleep_for(50ms);
    signal.Post();
  });
  EXPECT_TRUE(signal.WaitUntil(start + 30s));
  EXPECT_LT(Clock::now() - start, 10s);
  poster.join();
}

}  // namespace
}  // namespace tessivar
