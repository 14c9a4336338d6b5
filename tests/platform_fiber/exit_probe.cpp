// Ends its process with the fiber scheduler as its argument says, for the
// exit tests of fiber_test.cpp:
//   idle     the last fiber has returned: the exit joins the scheduler thread
//            (ThreadSanitizer reports one left unjoined as a thread leak and
//            ends the process with its own exit status);
//   running  a fiber still sleeps: the exit must not wait for it;
//   fiber    a fiber itself ends the process: the exit must not wait for
//            the thread it runs on.
// Exit status 0 when the process ended as it should, 2 on a wrong argument.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include "platform/fiber/fiber.h"

using namespace std::chrono_literals;

int main(int argc, char** argv) {
  const std::string mode = argc == 2 ? argv[1] : "";
  if (mode == "idle") {
    qmx::fiber::Spawn([] { qmx::fiber::SleepFor(1ms); }).Join();
    return 0;
  }
  if (mode == "running") {
    std::promise<void> started;
    qmx::fiber::Spawn([&started] {
      started.set_value();
      for (;;) qmx::fiber::SleepFor(1h);
    });
    started.get_future().wait();
    return 0;
  }
  if (mode == "fiber") {
    qmx::fiber::Spawn([] { std::exit(0); });
    for (;;) ::pause();
  }
  return 2;
}
