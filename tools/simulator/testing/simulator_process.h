// Test helpers around the device simulator program (qmx-sim):
//
//   qmx::sim::SimulatorProcess sim({"--model", "QMX-4101", "--tcp", "127.0.0.1:0"});
//   ASSERT_TRUE(sim.Start()) << sim.error();
//   int port = sim.port();                        // the port the simulator picked
//   EXPECT_EQ(sim.Command("fault exception=2,once"), "OK exception=2,count=1");
//   ...                                           // Stop() runs in the destructor
//
//   qmx::sim::PtyPair line(dir);                  // socat pty pair: dir/COM7 <-> dir/peer
//   ASSERT_TRUE(line.Start()) << line.error();
//   SimulatorProcess rtu({"--rtu", line.peer().string(), "--nodes", "1,2"});
//
// The simulator takes its control commands on stdin (see
// tools/simulator/simulator.h for the list) and ends when the test process
// closes the pipe, so a crashed test leaves no simulator behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qmx::sim {

class SimulatorProcess {
public:
  explicit SimulatorProcess(std::vector<std::string> args);
  // Another program that follows the same protocol (READY line, commands on
  // stdin, "--stdin commands" among its arguments): a peer of the tests.
  SimulatorProcess(std::filesystem::path program, std::vector<std::string> args);
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  // Starts the program and waits until it reports READY; false with error()
  // when it fails to start, reports an ERROR or does not get ready in time.
  bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Asks the simulator to quit, then terminates it if it lingers; waits for it.
  void Stop();
  bool running();

  // Sends one control command and returns its answer line ("OK ..." or
  // "ERR ..."); empty when no answer came within the time-out.
  std::string Command(const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // True when the command's answer begins with "OK".
  bool Ok(const std::string& line);

  // What the READY line reported.
  int port() const;                 // TCP port, -1 without TCP
  std::string tcpAddress() const;   // e.g. "127.0.0.1", empty without TCP
  int discoveryPort() const;        // -1 without the discovery responder
  int udpPort() const;              // Modbus over UDP, -1 without it
  std::string Value(const std::string& key) const;  // any READY field ("rtu", "nodes", ...)
  const std::string& readyLine() const { return ready_; }

  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }

  // The program: $QMX_SIM_PROGRAM when set, else the one this build made.
  static std::filesystem::path ProgramPath();

private:
  bool ReadLine(std::string* line, std::chrono::steady_clock::time_point deadline);

  std::filesystem::path program_;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string buffer_;
  std::string ready_;
  std::map<std::string, std::string> fields_;
  std::string error_;
};

// A socat pty pair: two linked pseudo-terminals dir/<a> and dir/<b>; what is
// written to one is read from the other. The driver takes one end as its COM
// port, the simulator the other.
class PtyPair {
public:
  explicit PtyPair(const std::filesystem::path& dir, const std::string& a = "COM7", const std::string& b = "peer");
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  void Stop();
  const std::filesystem::path& end() const { return a_; }   // e.g. dir/COM7
  const std::filesystem::path& peer() const { return b_; }  // e.g. dir/peer
  const std::string& error() const { return error_; }

private:
  std::filesystem::path a_, b_;
  pid_t pid_ = -1;
  std::string error_;
};

}  // namespace qmx::sim
