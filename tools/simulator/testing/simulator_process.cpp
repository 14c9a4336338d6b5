#include "tools/simulator/testing/simulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace qmx::sim {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// A simulator that has already ended (one that could not listen, say) has
// closed its end of the pipe: the write fails with EPIPE instead of killing
// the test with SIGPIPE, which is held back for this thread meanwhile and
// taken off again if the write raised it.
bool WriteAll(int fd, const std::string& s) {
  sigset_t pipe, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  bool ok = true;
  size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      ok = false;
      break;
    }
  }
  if (!ok && errno == EPIPE && !sigismember(&old, SIGPIPE)) {
    const timespec none{0, 0};
    while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

// Waits up to `wait` for the child to end; pid becomes -1 once it has.
void Reap(pid_t& pid, std::chrono::milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  while (pid > 0) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) {
      pid = -1;
      return;
    }
    if (Clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Asks the child to end, and ends it when it has not done so within `grace`.
void Terminate(pid_t& pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  Reap(pid, grace);
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

}  // namespace

std::filesystem::path SimulatorProcess::ProgramPath() {
  if (const char* env = std::getenv("QMX_SIM_PROGRAM"); env && *env) return env;
  return QMX_SIM_PROGRAM_PATH;
}

SimulatorProcess::SimulatorProcess(std::vector<std::string> args) : program_(ProgramPath()), args_(std::move(args)) {}

SimulatorProcess::SimulatorProcess(std::filesystem::path program, std::vector<std::string> args)
    : program_(std::move(program)), args_(std::move(args)) {}

SimulatorProcess::~SimulatorProcess() { Stop(); }

bool SimulatorProcess::Start(std::chrono::milliseconds timeout) {
  if (pid_ > 0) {
    error_ = "already started";
    return false;
  }
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (::pipe2(out, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    ::close(in[0]);
    ::close(in[1]);
    return false;
  }
  const std::string program = program_.string();
  std::vector<std::string> all{program};
  all.insert(all.end(), args_.begin(), args_.end());
  all.push_back("--stdin");
  all.push_back("commands");
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  toChild_ = in[1];
  fromChild_ = out[0];
  if (rc != 0) {
    pid_ = -1;
    error_ = "cannot start " + program + ": " + std::strerror(rc);
    ::close(toChild_);
    ::close(fromChild_);
    toChild_ = fromChild_ = -1;
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  std::string line;
  while (ReadLine(&line, deadline)) {
    if (line.rfind("READY", 0) == 0) {
      ready_ = line;
      std::istringstream words(line.substr(5));
      std::string w;
      while (words >> w) {
        const size_t eq = w.find('=');
        if (eq != std::string::npos) fields_[w.substr(0, eq)] = w.substr(eq + 1);
      }
      return true;
    }
    if (line.rfind("ERROR", 0) == 0) {
      error_ = "simulator: " + line.substr(line.size() > 6 ? 6 : line.size());
      Stop();
      return false;
    }
  }
  error_ = "simulator did not get ready (" + program + ")";
  Stop();
  return false;
}

bool SimulatorProcess::ReadLine(std::string* line, Clock::time_point deadline) {
  for (;;) {
    const size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      *line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return true;
    }
    if (fromChild_ < 0) return false;
    pollfd p{fromChild_, POLLIN, 0};
    const int r = ::poll(&p, 1, MsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(fromChild_, buf, sizeof buf);
    if (n <= 0) return false;
    buffer_.append(buf, static_cast<size_t>(n));
  }
}

std::string SimulatorProcess::Command(const std::string& line, std::chrono::milliseconds timeout) {
  if (toChild_ < 0 || !WriteAll(toChild_, line + "\n")) return {};
  std::string answer;
  if (!ReadLine(&answer, Clock::now() + timeout)) return {};
  return answer;
}

bool SimulatorProcess::Ok(const std::string& line) { return Command(line).rfind("OK", 0) == 0; }

bool SimulatorProcess::running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}


void SimulatorProcess::Stop() {
  if (pid_ > 0 && toChild_ >= 0) WriteAll(toChild_, "quit\n");
  if (toChild_ >= 0) ::close(toChild_);
  toChild_ = -1;
  Reap(pid_, std::chrono::seconds(3));
  Terminate(pid_, std::chrono::seconds(2));
  if (fromChild_ >= 0) ::close(fromChild_);
  fromChild_ = -1;
  buffer_.clear();
}

std::string SimulatorProcess::Value(const std::string& key) const {
  auto it = fields_.find(key);
  return it == fields_.end() ? std::string() : it->second;
}

std::string SimulatorProcess::tcpAddress() const {
  const std::string v = Value("tcp");
  const size_t colon = v.rfind(':');
  return colon == std::string::npos ? std::string() : v.substr(0, colon);
}

int SimulatorProcess::port() const {
  const std::string v = Value("tcp");
  const size_t colon = v.rfind(':');
  return colon == std::string::npos ? -1 : std::atoi(v.c_str() + colon + 1);
}

int SimulatorProcess::udpPort() const {
  const std::string v = Value("udp");
  const size_t colon = v.rfind(':');
  return colon == std::string::npos ? -1 : std::atoi(v.c_str() + colon + 1);
}

int SimulatorProcess::discoveryPort() const {
  const std::string v = Value("discovery");
  const size_t colon = v.rfind(':');
  return colon == std::string::npos ? -1 : std::atoi(v.c_str() + colon + 1);
}

PtyPair::PtyPair(const std::filesystem::path& dir, const std::string& a, const std::string& b)
    : a_(dir / a), b_(dir / b) {}

PtyPair::~PtyPair() { Stop(); }

bool PtyPair::Start(std::chrono::milliseconds timeout) {
  std::error_code ec;
  std::filesystem::remove(a_, ec);
  std::filesystem::remove(b_, ec);
  std::string ea = "pty,raw,echo=0,link=" + a_.string();
  std::string eb = "pty,raw,echo=0,link=" + b_.string();
  char name[] = "socat";
  char* argv[] = {name, ea.data(), eb.data(), nullptr};
  const int rc = ::posix_spawnp(&pid_, "socat", nullptr, nullptr, argv, environ);
  if (rc != 0) {
    pid_ = -1;
    error_ = std::string("cannot start socat: ") + std::strerror(rc);
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    if (std::filesystem::exists(a_, ec) && std::filesystem::exists(b_, ec)) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "socat ended early";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  error_ = "socat did not make its ptys";
  Stop();
  return false;
}

void PtyPair::Stop() {
  // socat ends on SIGTERM from inside its signal handler, and once in a
  // while that hangs it for good; a pair that has not ended within a second
  // is killed (Start removes the links it then leaves behind).
  Terminate(pid_, std::chrono::seconds(1));
}

}  // namespace qmx::sim
