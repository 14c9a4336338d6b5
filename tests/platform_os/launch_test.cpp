// Program launch: the Windows program names map to their counterparts, the
// program really starts in the working folder, tests can intercept it.
#include "platform/os/os.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using qmx::os::LaunchProgram;
using qmx::os::LaunchRequest;
using qmx::os::MapProgram;
using qmx::test::TempDir;

namespace {

// Waits (bounded) until a file appears; the started program does not report back.
bool WaitForFile(const fs::path& path) {
  for (int i = 0; i < 1000; ++i) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TEST(MapProgram, WindowsProgramNamesMapToTheProgramFolder) {
  const fs::path folder = qmx::os::ProgramFolder();
  EXPECT_EQ(MapProgram("Rendaval.exe"), std::vector<std::string>{(folder / "Rendaval").string()});
  EXPECT_EQ(MapProgram("RENDAVAL.EXE"), std::vector<std::string>{(folder / "RENDAVAL").string()});
  EXPECT_EQ(MapProgram("/opt/qmx/Tools/Plenvar.exe"), std::vector<std::string>{"/opt/qmx/Tools/Plenvar"});
  EXPECT_EQ(MapProgram("/opt/qmx/QMX410Tools.Exe"), std::vector<std::string>{"/opt/qmx/QMX410Tools"});
  // a relative folder is a folder of the program folder
  EXPECT_EQ(MapProgram("Tools/Plenvar.exe"), std::vector<std::string>{(folder / "Tools/Plenvar").string()});
}

TEST(MapProgram, NotepadBecomesATextViewer) {
  for (const char* name : {"notepad.exe", "NOTEPAD.EXE", "notepad", "/c/windows/Notepad.exe"}) {
    const auto mapped = MapProgram(name);
    ASSERT_EQ(mapped.size(), 1u) << name;
    const std::string viewer = fs::path(mapped[0]).filename().string();
    EXPECT_TRUE(viewer == "xdg-open" || viewer == "gedit" || viewer == "mousepad" || viewer == "xed")
        << name << " -> " << mapped[0];
  }
}

TEST(MapProgram, ProgramsRunThemselvesDocumentsOpenWithTheDesktop) {
  TempDir dir("qmx-launch");
  qmx::test::WriteFile(dir / "parts.csv", "a;b\r\n");
  EXPECT_EQ(MapProgram(""), std::vector<std::string>{});
  EXPECT_EQ(MapProgram("/bin/sh"), std::vector<std::string>{"/bin/sh"});
  EXPECT_EQ(MapProgram("sh"), std::vector<std::string>{"sh"});
  EXPECT_EQ(MapProgram((dir / "parts.csv").string()),
            (std::vector<std::string>{"xdg-open", (dir / "parts.csv").string()}));
  EXPECT_EQ(MapProgram("/no/such/report.pdf"), (std::vector<std::string>{"xdg-open", "/no/such/report.pdf"}));
}

TEST(LaunchProgram, StartsTheProgramInTheWorkingFolder) {
  TempDir dir("qmx-launch");
  LaunchRequest request;
  request.file = "/bin/sh";
  request.args = {"-c", "pwd > out.part && echo \"$0 $1\" >> out.part && mv out.part out.txt", "first", "se cond"};
  request.workingDirectory = dir.path().string();
  ASSERT_EQ(LaunchProgram(request), 1);
  ASSERT_TRUE(WaitForFile(dir / "out.txt"));
  const auto lines = Lines(qmx::test::ReadFile(dir / "out.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(fs::canonical(lines[0]), fs::canonical(dir.path()));
  // arguments pass unchanged, without a shell of ours in between
  EXPECT_EQ(lines[1], "first se cond");
}

TEST(LaunchProgram, ExeNameStartsTheProgramOfTheProgramFolder) {
  // the helper lies next to this test program, which is its program folder
  ASSERT_EQ(fs::canonical(fs::path(QMX_OS_HELPER).parent_path()), fs::canonical(qmx::os::ProgramFolder()));
  TempDir dir("qmx-launch");
  LaunchRequest request;
  request.file = fs::path(QMX_OS_HELPER).filename().string() + ".exe";
  request.args = {"cwd", "report.txt", "PROJECT*/tmp/doc/Project.xml"};
  request.workingDirectory = dir.path().string();
  ASSERT_EQ(LaunchProgram(request), 1);
  ASSERT_TRUE(WaitForFile(dir / "report.txt"));
  const auto lines = Lines(qmx::test::ReadFile(dir / "report.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(fs::canonical(lines[0]), fs::canonical(dir.path()));
  EXPECT_EQ(lines[1], "PROJECT*/tmp/doc/Project.xml");
}

TEST(LaunchProgram, FailuresGiveMinusErrno) {
  TempDir dir("qmx-launch");
  LaunchRequest missing;
  missing.file = (dir / "no-such-program").string();
  EXPECT_EQ(LaunchProgram(missing), -ENOENT);

  LaunchRequest badFolder;
  badFolder.file = "/bin/sh";
  badFolder.args = {"-c", "true"};
  badFolder.workingDirectory = (dir / "no-such-folder").string();
  EXPECT_EQ(LaunchProgram(badFolder), -ENOENT);

  LaunchRequest notExecutable;
  qmx::test::WriteFile(dir / "plain", "#!/bin/sh\n");
  notExecutable.file = (dir / "plain").string();
  EXPECT_LT(LaunchProgram(notExecutable), 0);

  LaunchRequest empty;
  EXPECT_EQ(LaunchProgram(empty), -ENOENT);
}

TEST(LaunchProgram, LauncherInterceptsAndIsRestored) {
  std::vector<LaunchRequest> seen;
  auto previous = qmx::os::SetLauncher([&seen](const LaunchRequest& request) {
    seen.push_back(request);
    return static_cast<int>(seen.size() == 1 ? 1 : -5);
  });
  EXPECT_FALSE(previous);

  TempDir dir("qmx-launch");
  LaunchRequest request;
  request.file = "/bin/sh";
  request.args = {"-c", "touch intercepted"};
  request.workingDirectory = dir.path().string();
  EXPECT_EQ(LaunchProgram(request), 1);
  EXPECT_EQ(LaunchProgram(request), -5);  // the launcher's result passes through
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].file, "/bin/sh");
  EXPECT_EQ(seen[0].args, request.args);
  EXPECT_EQ(seen[0].workingDirectory, dir.path().string());

  auto mine = qmx::os::SetLauncher(std::move(previous));
  EXPECT_TRUE(mine);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(dir / "intercepted"));  // nothing was started
}

// The started program's end reaches whoever asked, with its exit code or
// 128 + the signal that ended it; a program that never started ends nothing.
TEST(LaunchProgram, TheEndOfTheProgramIsToldWithItsExitCode) {
  for (const auto& [script, code] : std::vector<std::pair<std::string, int>>{{"exit 3", 3}, {"kill -TERM $$", 143}}) {
    std::mutex mutex;
    std::condition_variable told;
    std::vector<int> codes;
    LaunchRequest request{"/bin/sh", {"-c", script}, {}, [&](int exitCode) {
                            std::lock_guard lock(mutex);
                            codes.push_back(exitCode);
                            told.notify_all();
                          }};
    ASSERT_EQ(LaunchProgram(request), 1) << script;
    std::unique_lock lock(mutex);
    ASSERT_TRUE(told.wait_for(lock, std::chrono::seconds(30), [&] { return !codes.empty(); })) << script;
    EXPECT_EQ(codes, std::vector<int>{code}) << script;
  }
  bool called = false;
  EXPECT_EQ(LaunchProgram({"/no/such/program", {}, {}, [&](int) { called = true; }}), -ENOENT);
  EXPECT_FALSE(called);
}

}  // namespace
