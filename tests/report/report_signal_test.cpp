// The report program killed while it writes a PDF: the real program, from a
// copy of the staged folder, on an X server of the test's own and driven from
// the keyboard with xdotool as a user would; the signal of a logout leaves no
// staged file, and what a SIGKILL leaves the next write in the folder removes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/report/report_render.h"
#include "report/core/ReportBuilders.h"
#include "tests/report/big_docu.h"
#include "tests/report/fixtures.h"
#include "tests/report/output_checks.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace qmx::rendaval;
using qmx::rendaval::test::FilesIn;
using qmx::rendaval::test::Quote;
using qmx::rendaval::test::Shell;

namespace {

// Starts `argv` with `environment` added to this process's own (a name given
// there replaces this one's), standard output and error into `log`.
pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment, const fs::path& log,
            int keepFd = -1, int asFd = -1) {
  std::vector<std::string> env = environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& given : environment) replaced = replaced || given.rfind(name + "=", 0) == 0;
    if (!replaced) env.push_back(entry);
  }
  std::vector<char*> cargv, cenv;
  std::vector<std::string> args = argv;
  for (std::string& a : args) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  for (std::string& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, asFd);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// How a child ended: its signal, or -1 when it exited.
int EndSignal(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

// An Xvfb of the test's own on a display it chooses, reached only through
// its local socket; ended with the object.
class XServer {
public:
  explicit XServer(const fs::path& log) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = Start({"Xvfb", "-displayfd", "9", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {}, log, ready[1], 9);
    ::close(ready[1]);
    // The display number and a line end, once the server takes clients.
    char c;
    pollfd wait{ready[0], POLLIN, 0};
    while (pid_ > 0 && ::poll(&wait, 1, 30000) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n') display_ += c;
    ::close(ready[0]);
  }
  ~XServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      EndSignal(pid_);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool ok() const { return pid_ > 0 && !display_.empty(); }
  std::string display() const { return ":" + display_; }

private:
  pid_t pid_ = -1;
  std::string display_;
};

// The staged file of `pid` for `target` once it holds written bytes, or "".
std::string StagedOf(const fs::path& target, pid_t pid) {
  const std::string prefix = "." + target.filename().string() + "." + std::to_string(pid) + ".";
  for (const std::string& name : FilesIn(target.parent_path())) {
    std::error_code ec;
    if (name.rfind(prefix, 0) == 0 && name.ends_with(".part") && fs::file_size(target.parent_path() / name, ec) > 0)
      return name;
  }
  return {};
}

}  // namespace

TEST(ReportSignal, AKilledRendavalLeavesNoStagedFileAndTheNextWriteRemovesWhatASigkillLeft) {
  for (const char* tool : {"Xvfb", "xdotool"})
    if (Shell(std::string("command -v ") + tool).empty()) GTEST_SKIP() << "needs " << tool;
  qmx::test::TempDir dir("rendaval-signal");
  const fs::path dist = dir / "dist";
  qmx::test::CopyDist(dist);
  const fs::path docu = qmx::rendaval::test::WriteBigDocuSet(dir / "docu", 16, 32, dist / "Image");
  XServer x(dir / "xvfb.log");
  ASSERT_TRUE(x.ok()) << qmx::test::ReadFile(dir / "xvfb.log");
  const fs::path out = dir / "out";
  fs::create_directories(out);
  fs::create_directories(dir / "home");
  const fs::path target = out / "big.pdf";

  struct Case {
    const char* name;
    int signal;
    bool leavesStaged;
  };
  std::string leftover;
  for (const Case& c : {Case{"a logout", SIGTERM, false}, Case{"SIGKILL", SIGKILL, true}}) {
    SCOPED_TRACE(c.name);
    const fs::path log = dir / (std::string("rendaval-") + std::to_string(c.signal) + ".log");
    const pid_t rendaval = Start({(dist / "Rendaval").string(), "PROJECT*" + docu.string()},
                                 {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=xcb", "HOME=" + (dir / "home").string()},
                                 log);
    ASSERT_GT(rendaval, 0);
    // Make PDF file, the file name, Make Report: from the keyboard ("type"
    // takes every word after it as text).
    const std::string xdotool = "DISPLAY=" + x.display() + " timeout 60 xdotool ";
    std::string keys = Shell(xdotool + "search --sync --onlyvisible --name 'QMX-410 Tools Documentation' windowfocus" +
                             " --sync key space key alt+f type --delay 5 " + Quote(target) + " 2>&1");
    keys += Shell(xdotool + "key Tab Tab space 2>&1");
    EXPECT_EQ(keys, "");
    std::string staged;
    for (int polls = 0; staged.empty() && polls < 120000; ++polls) {
      staged = StagedOf(target, rendaval);
      if (staged.empty()) ::usleep(1000);
    }
    ASSERT_NE(staged, "") << "no PDF was being written: " << keys << qmx::test::ReadFile(log);
    ASSERT_EQ(::kill(rendaval, c.signal), 0);
    EXPECT_EQ(EndSignal(rendaval), c.signal) << qmx::test::ReadFile(log);
    EXPECT_EQ(FilesIn(out), c.leavesStaged ? std::set<std::string>{staged} : std::set<std::string>{});
    if (c.leavesStaged) leftover = staged;
  }
  ASSERT_NE(leftover, "");

  // The next write in the folder removes what the process that is gone left,
  // not what a live process is writing.
  const pid_t alive = Start({"sleep", "600"}, {}, dir / "sleep.log");
  ASSERT_GT(alive, 0);
  const std::string writing = ".other.pdf." + std::to_string(alive) + ".0.part";
  qmx::test::WriteFile(out / writing, "%PDF-1.4 in progress");
  const auto small = qmx::rendaval::test::InstallSet("na1", dir / "na1");
  std::string why;
  EXPECT_TRUE(qmx::report::WritePdf(qmx::report::LayOut(BuildPrintDocument(LoadDocuSet("NA", small.mainFile))),
                                    (out / "next.pdf").string(), &why))
      << why;
  EXPECT_EQ(FilesIn(out), (std::set<std::string>{"next.pdf", writing}));
  EXPECT_NE(Shell("pdfinfo " + Quote(out / "next.pdf") + " 2>&1").find("Pages:"), std::string::npos);
  ::kill(alive, SIGTERM);
  EndSignal(alive);
}
