// A child process that a test kills at one of its system calls, each round
// at the next, so that every step of what the child does (the cut of a
// file, a write, a sync, a rename) is hit once: the tests of saves that must
// leave a readable file wherever they are cut off.
#pragma once

#include <sys/ptrace.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <optional>

namespace qmx::test {

// The exit status of a child that cannot be traced here.
inline constexpr int kUntraceable = 126;

// Forks a child that drops to `asUser` (its group too) when given, stops
// itself under the tracer and, once let go, exits with what `body` answers.
inline pid_t StartTracedChild(std::optional<uid_t> asUser, const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (asUser && (::setgid(*asUser) != 0 || ::setuid(*asUser) != 0)) ::_exit(127);
  if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(kUntraceable);
  ::raise(SIGSTOP);
  ::_exit(body());
}

// Runs the child to its end, or kills it at its killAt-th system call stop
// (entries and exits count apart; 0: none). The stops counted; -1 when the
// child failed (it ended with another status than 0), -2 when it cannot be
// traced.
inline int RunTracedChild(pid_t pid, int killAt) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  if (WIFEXITED(status) && WEXITSTATUS(status) == kUntraceable) return -2;
  if (!WIFSTOPPED(status)) return -1;
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_EXITKILL | PTRACE_O_TRACESYSGOOD);
  int stops = 0;
  for (;;) {
    if (::ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr) != 0) return -1;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? stops : -1;
    if (WIFSIGNALED(status)) return -1;
    if (WIFSTOPPED(status) && WSTOPSIG(status) == (SIGTRAP | 0x80) && ++stops == killAt) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return stops;
    }
  }
}

}  // namespace qmx::test
