// Operating-system services the suite needs, in place of the original
// platform: single-instance lock, program launch, shared-library loading,
// tick count and sleep, the program folder, case-insensitive file look-up and
// the embedded version block.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qmx::os {

// ---- single instance ---------------------------------------------------------
// A lock named system-wide (per user) by a text such as "Ferrowyn.exe". The
// lock files live in a folder only the user may write to, so no other user
// can take or block the lock: $XDG_RUNTIME_DIR when it is such a folder, else
// the user's private cache folder (made with mode 0700, user_folders.h);
// $QMX_LOCK_DIR names another folder. A lock file is opened without following
// a symbolic link and must be a file of the user's own. The lock is held
// until the object is destroyed or the process ends.
class NamedMutex {
public:
  NamedMutex() = default;
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // 1: created and now held; 0: another process already holds it;
  // negative: -errno when the lock file cannot be made or used (-ELOOP: a
  // symbolic link; -EPERM: another user's file).
  int Create(const std::string& name);
  void Release();
  bool held() const { return fd_ >= 0; }
  static std::filesystem::path LockPath(const std::string& name);

private:
  int fd_ = -1;
};

// ---- clock ---------------------------------------------------------------------
// Milliseconds of a monotonic clock, wrapping like a 32-bit tick counter.
uint32_t GetTickCount();
void SleepMs(unsigned milliseconds);

// ---- program folder and files ----------------------------------------------------
// The full path of the running executable and its folder.
std::filesystem::path ExecutablePath();
std::filesystem::path ProgramFolder();
// Makes ProgramFolder answer another folder (tests run the program's code from
// a copy of the staged folder); an empty path restores the real one.
void OverrideProgramFolder(const std::filesystem::path& folder);
// `folder/name` when it exists; else the first entry of the folder whose name
// equals `name` ignoring case; else nullopt.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path& folder, const std::string& name);
// Resolves every component of a relative path case-insensitively below a folder.
std::optional<std::filesystem::path> ResolvePathNoCase(const std::filesystem::path& folder,
                                                       const std::filesystem::path& relative);

// ---- program launch ------------------------------------------------------------------
// Windows program names that the suite's texts use map to their counterparts:
// "X.exe" -> "X" in the program folder (or its Tools sub-folder as named),
// "notepad.exe" -> the desktop's text viewer.
struct LaunchRequest {
  std::string file;                 // program or document, as the caller names it
  std::vector<std::string> args;    // arguments, passed without a shell
  std::string workingDirectory;     // empty: inherit
  // Told the started program's exit code when it ends (128 + the signal's
  // number when a signal ended it), once, on the thread that waits for it;
  // never told when the program could not be started. Empty: nobody waits
  // to hear.
  std::function<void(int exitCode)> exited = {};
};

// Maps a program text to the program actually started (argv[0] and the
// arguments that go before the caller's).
std::vector<std::string> MapProgram(const std::string& file);

// The file name of a program named by its Windows name ("X.exe" -> "X").
std::string MapProgramFileName(const std::string& name);

// The file name of the program that LaunchProgram starts for `file`
// ("notepad.exe" -> "xdg-open" or the text viewer found), for messages that
// say which program could not be run.
std::string LaunchedProgramName(const std::string& file);

// Starts the program without waiting. 1 on success, -errno on failure.
int LaunchProgram(const LaunchRequest& request);

// Tests replace the launcher to see what would be started; returns the previous one.
using Launcher = std::function<int(const LaunchRequest&)>;
Launcher SetLauncher(Launcher launcher);

// ---- shared libraries -----------------------------------------------------------------
// A library named "X.dll" (any case of the extension) is loaded as "X.so".
class Module {
public:
  Module() = default;
  ~Module();
  Module(Module&& other) noexcept;
  Module& operator=(Module&& other) noexcept;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads the library; false with LastError() set when it cannot.
  bool Load(const std::filesystem::path& path);
  void* GetProc(const char* name) const;
  void Free();
  bool loaded() const { return handle_ != nullptr; }
  const std::string& LastError() const { return error_; }
  // The file the last successful Load opened (empty while nothing is loaded).
  const std::filesystem::path& LoadedPath() const { return path_; }
  static std::filesystem::path MapLibraryName(const std::filesystem::path& path);
  // The file Load opens for `path`: the mapped name, or the entry of its
  // folder that matches it without regard to case when the name itself is
  // missing.
  static std::filesystem::path ResolvePath(const std::filesystem::path& path);

private:
  void* handle_ = nullptr;
  std::string error_;
  std::filesystem::path path_;
};

// ---- version block ----------------------------------------------------------------------
// The version block the build embeds into every program and library.
struct VersionBlock {
  uint32_t fixed[13] = {};                       // the 52-byte fixed record
  std::vector<uint32_t> translations;            // language (low word), code page (high word)
  std::map<std::string, std::string> strings;    // "\StringFileInfo\040904B0\Key" -> value
};
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;

// Reads the block from the file at `path`; nullopt when the file cannot be
// read or holds no valid block.
std::optional<VersionBlock> ReadVersionBlock(const std::filesystem::path& path);

}  // namespace qmx::os
