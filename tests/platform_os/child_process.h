// Starting the helper program from a test: run and wait, or start with pipes
// on its standard input and output.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace qmx::test {

// A child whose standard input and output are pipes of this process.
class ChildProcess {
public:
  explicit ChildProcess(const std::vector<std::string>& argv) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> args = argv;
    std::vector<char*> cargv;
    for (auto& a : args) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    if (::posix_spawn(&pid_, cargv[0], &actions, nullptr, cargv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~ChildProcess() { Wait(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The signal that ended the child, once Wait has returned; 0 when it exited.
  int endSignal() const { return endSignal_; }

  // One line of the child's output, without its line end ("" at its end).
  std::string ReadLine() {
    std::string line;
    char c;
    while (::read(stdout_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  // Ends the child's input and waits for it; its exit status, or -1.
  int Wait() {
    if (stdin_ >= 0) {
      ::close(stdin_);
      stdin_ = -1;
    }
    if (stdout_ >= 0) {
      ::close(stdout_);
      stdout_ = -1;
    }
    if (pid_ <= 0) return status_;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) {
        pid_ = -1;
        return status_;
      }
    }
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    endSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return status_;
  }

private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  int status_ = -1;
  int endSignal_ = 0;
};

// Runs a program to its end; its exit status, or -1.
inline int RunProcess(const std::vector<std::string>& argv) {
  ChildProcess child(argv);
  if (!child.started()) return -1;
  return child.Wait();
}

}  // namespace qmx::test
