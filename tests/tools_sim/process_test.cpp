// The simulator process helper: start, READY fields, commands, failures to
// start, and that a simulator never outlives its driver.
#include "tools/simulator/testing/simulator_process.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/support/test_support.h"

extern char** environ;

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;

TEST(SimulatorProcessTest, ReportsThePortItPickedAndAnswersCommands) {
  SimulatorProcess sim({"--model", "QMX-4101", "--tcp", "127.0.0.1:0", "--discovery", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  EXPECT_GT(sim.port(), 0);
  EXPECT_EQ(sim.tcpAddress(), "127.0.0.1");
  EXPECT_GT(sim.discoveryPort(), 0);
  EXPECT_EQ(sim.Value("nodes"), "1");
  EXPECT_EQ(sim.Command("ping"), "OK");
  EXPECT_EQ(sim.Command("bogus"), "ERR unknown command 'bogus'");
  EXPECT_TRUE(sim.Ok("fault delay=10"));
  EXPECT_FALSE(sim.Ok("fault nonsense"));
  EXPECT_TRUE(sim.running());
  sim.Stop();
  EXPECT_FALSE(sim.running());
  EXPECT_EQ(sim.Command("ping"), "");
}

TEST(SimulatorProcessTest, StartFailsWithTheSimulatorsReason) {
  SimulatorProcess badOption({"--tcp", "127.0.0.1:0", "--modules", "XX9"});
  EXPECT_FALSE(badOption.Start());
  EXPECT_NE(badOption.error().find("unknown module 'XX9'"), std::string::npos) << badOption.error();
  EXPECT_FALSE(badOption.running());

  SimulatorProcess nothing({});
  EXPECT_FALSE(nothing.Start());
  EXPECT_NE(nothing.error().find("nothing to serve"), std::string::npos) << nothing.error();

  test::TempDir dir("qmx-sim");
  SimulatorProcess missingLine({"--rtu", (dir / "nope").string()});
  EXPECT_FALSE(missingLine.Start());
  EXPECT_NE(missingLine.error().find("cannot open"), std::string::npos) << missingLine.error();
}

TEST(SimulatorProcessTest, TwoSimulatorsCannotShareAPort) {
  SimulatorProcess first({"--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(first.Start()) << first.error();
  SimulatorProcess second({"--tcp", "127.0.0.1:" + std::to_string(first.port())});
  EXPECT_FALSE(second.Start());
  EXPECT_NE(second.error().find("cannot listen"), std::string::npos) << second.error();
}

TEST(SimulatorProcessTest, EndsWhenItsCommandInputCloses) {
  // A test that dies leaves only a closed pipe behind; that alone must end
  // the simulator, without a "quit".
  int in[2], out[2];
  ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::string program = SimulatorProcess::ProgramPath().string();
  std::string a1 = "--tcp", a2 = "127.0.0.1:0";
  char* argv[] = {program.data(), a1.data(), a2.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  char buf[256];
  ASSERT_GT(::read(out[0], buf, sizeof buf), 5);  // READY ...
  EXPECT_EQ(std::string(buf, 5), "READY");
  ::close(in[1]);
  int status = -1;
  pid_t done = 0;
  for (int i = 0; i < 300 && done == 0; ++i) {
    done = ::waitpid(pid, &status, WNOHANG);
    if (done == 0) std::this_thread::sleep_for(10ms);
  }
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ::close(out[0]);
  EXPECT_EQ(done, pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SimulatorProcessTest, EndsOnSigterm) {
  SimulatorProcess sim({"--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  ASSERT_EQ(::kill(sim.pid(), SIGTERM), 0);
  for (int i = 0; i < 200 && sim.running(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(sim.running());
}


TEST(SimulatorProcessTest, ControlSocketTakesCommands) {
  test::TempDir dir("qmx-sim");
  const std::string path = (dir / "sim.sock").string();
  {
    SimulatorProcess sim({"--tcp", "127.0.0.1:0", "--control", path, "--modules", "DO8"});
    ASSERT_TRUE(sim.Start()) << sim.error();
    EXPECT_EQ(sim.Value("control"), path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const std::string commands = "set output 1 A5\nget output 1\n";
    ASSERT_EQ(::write(fd, commands.data(), commands.size()), static_cast<ssize_t>(commands.size()));
    std::string answers;
    char buf[256];
    for (int i = 0; i < 100 && answers.size() < 9; ++i) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      answers.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    EXPECT_EQ(answers, "OK\nOK A5\n");
    // Both channels reach the same simulator.
    EXPECT_EQ(sim.Command("get output 1"), "OK A5");
  }
  EXPECT_FALSE(std::filesystem::exists(path));  // removed on the way out
}

}  // namespace
}  // namespace qmx::sim
