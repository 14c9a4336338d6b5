#include "platform/os/os.h"

#include "platform/os/user_folders.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace qmx::os {

// ---- single instance ---------------------------------------------------------------

namespace {

// The folder of the lock files: the runtime folder only when it is the
// user's alone (the cache folder must still be made).
fs::path LockFolder(bool* isCacheFolder) {
  *isCacheFolder = false;
  if (const char* env = std::getenv("QMX_LOCK_DIR"); env && *env) return env;
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && run[0] == '/' && IsPrivateFolder(run)) return run;
  *isCacheFolder = true;
  return UserCacheFolder();
}

std::string LockFileName(const std::string& name) {
  std::string safe;
  for (char c : name) safe += (c == '/' ? '_' : c);
  return safe + ".lock";
}

}  // namespace

fs::path NamedMutex::LockPath(const std::string& name) {
  bool cache = false;
  return LockFolder(&cache) / LockFileName(name);
}

NamedMutex::~NamedMutex() { Release(); }

int NamedMutex::Create(const std::string& name) {
  Release();
  bool cache = false;
  const fs::path folder = LockFolder(&cache);
  if (cache) {
    if (const int made = MakePrivateFolder(folder); made != 0) return made;
  }
  const fs::path path = folder / LockFileName(name);
  // Non-blocking: a planted FIFO or device must not hold the start-up.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return -errno;
  // A file someone else made (or a device) is nobody's lock of ours.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return -EPERM;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? 0 : -error;
  }
  fd_ = fd;
  return 1;
}

void NamedMutex::Release() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
  }
}

// ---- clock -------------------------------------------------------------------------

uint32_t GetTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// ---- program folder and files --------------------------------------------------------

fs::path ExecutablePath() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : p;
}

namespace {
std::mutex g_folder_mutex;
fs::path g_folder_override;
}  // namespace

fs::path ProgramFolder() {
  {
    std::lock_guard lock(g_folder_mutex);
    if (!g_folder_override.empty()) return g_folder_override;
  }
  return ExecutablePath().parent_path();
}

void OverrideProgramFolder(const fs::path& folder) {
  std::lock_guard lock(g_folder_mutex);
  g_folder_override = folder;
}

std::optional<fs::path> FindFileNoCase(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  const fs::path exact = folder / name;
  if (fs::exists(exact, ec)) return exact;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (::strcasecmp(entry.c_str(), name.c_str()) == 0) return it->path();
  }
  return std::nullopt;
}

std::optional<fs::path> ResolvePathNoCase(const fs::path& folder, const fs::path& relative) {
  fs::path current = folder;
  for (const auto& part : relative) {
    const std::string text = part.string();
    if (text.empty() || text == "." || text == "/") continue;
    if (text == "..") {
      current = current.parent_path();
      continue;
    }
    auto found = FindFileNoCase(current, text);
    if (!found) return std::nullopt;
    current = *found;
  }
  return current;
}

// ---- program launch --------------------------------------------------------------------

namespace {

std::mutex g_launcher_mutex;
Launcher g_launcher;

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && ::strcasecmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string all = path;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    const fs::path candidate = fs::path(all.substr(start, end - start)) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

int SpawnProgram(const LaunchRequest& request) {
  std::vector<std::string> argv = MapProgram(request.file);
  if (argv.empty()) return -ENOENT;
  argv.insert(argv.end(), request.args.begin(), request.args.end());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!request.workingDirectory.empty()) {
    // chdir is a glibc extension of posix_spawn (2.29 and later).
    posix_spawn_file_actions_addchdir_np(&actions, request.workingDirectory.c_str());
  }
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -rc;
  // Reap the child in the background so no zombie stays behind; the caller does not wait.
  std::thread([pid, exited = request.exited] {
    int status = 0;
    pid_t reaped = -1;
    while ((reaped = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (!exited || reaped != pid) return;
    exited(WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1);
  }).detach();
  return 1;
}

}  // namespace

std::string MapProgramFileName(const std::string& name) {
  return EndsWithNoCase(name, ".exe") ? name.substr(0, name.size() - 4) : name;
}

std::vector<std::string> MapProgram(const std::string& file) {
  if (file.empty()) return {};
  fs::path path(file);
  const std::string name = path.filename().string();
  if (::strcasecmp(name.c_str(), "notepad.exe") == 0 || ::strcasecmp(name.c_str(), "notepad") == 0) {
    for (const char* viewer : {"xdg-open", "gedit", "mousepad", "xed"}) {
      if (std::string found = FindInPath(viewer); !found.empty()) return {found};
    }
    return {"xdg-open"};
  }
  if (EndsWithNoCase(name, ".exe")) {
    path.replace_filename(name.substr(0, name.size() - 4));
    // A relative program name ("Rendaval.exe", "Tools/Plenvar.exe") names a
    // program of the program folder, not of the working folder.
    if (path.is_relative()) path = ProgramFolder() / path;
    return {path.string()};
  }
  // A document: open it with the desktop's handler.
  std::error_code ec;
  const auto perms = fs::status(path, ec).permissions();
  const bool executable = !ec && fs::is_regular_file(path, ec) &&
                          (perms & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec)) != fs::perms::none;
  if (executable || !path.has_extension()) return {path.string()};
  return {"xdg-open", path.string()};
}

std::string LaunchedProgramName(const std::string& file) {
  const std::vector<std::string> argv = MapProgram(file);
  return argv.empty() ? file : fs::path(argv.front()).filename().string();
}

int LaunchProgram(const LaunchRequest& request) {
  Launcher launcher;
  {
    std::lock_guard lock(g_launcher_mutex);
    launcher = g_launcher;
  }
  if (launcher) return launcher(request);
  return SpawnProgram(request);
}

Launcher SetLauncher(Launcher launcher) {
  std::lock_guard lock(g_launcher_mutex);
  std::swap(launcher, g_launcher);
  return launcher;
}

// ---- shared libraries ---------------------------------------------------------------------

Module::~Module() { Free(); }

Module::Module(Module&& other) noexcept
    : handle_(other.handle_), error_(std::move(other.error_)), path_(std::move(other.path_)) {
  other.handle_ = nullptr;
  other.path_.clear();
}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = other.handle_;
    error_ = std::move(other.error_);
    path_ = std::move(other.path_);
    other.handle_ = nullptr;
    other.path_.clear();
  }
  return *this;
}

fs::path Module::MapLibraryName(const fs::path& path) {
  fs::path mapped = path;
  const std::string ext = path.extension().string();
  if (::strcasecmp(ext.c_str(), ".dll") == 0) mapped.replace_extension(".so");
  return mapped;
}

fs::path Module::ResolvePath(const fs::path& path) {
  fs::path mapped = MapLibraryName(path);
  std::error_code ec;
  if (!fs::exists(mapped, ec) && mapped.has_parent_path()) {
    if (auto found = FindFileNoCase(mapped.parent_path(), mapped.filename().string())) mapped = *found;
  }
  return mapped;
}

bool Module::Load(const fs::path& path) {
  Free();
  const fs::path mapped = ResolvePath(path);
  ::dlerror();
  handle_ = ::dlopen(mapped.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = ::dlerror();
    error_ = why ? why : "cannot load " + mapped.string();
    return false;
  }
  error_.clear();
  path_ = mapped;
  return true;
}

void* Module::GetProc(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return ::dlsym(handle_, name);
}

void Module::Free() {
  if (handle_) {
    ::dlclose(handle_);
    handle_ = nullptr;
  }
  path_.clear();
}

// ---- version block ----------------------------------------------------------------------------

namespace {

// The marker is assembled at run time so this reader's own code does not carry it.
std::string VersionMarker() {
  std::string m = "QMX410";
  m += "-VERBLOCK";
  m.push_back('\0');
  return m;  // 16 bytes
}

uint32_t ReadU32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The first valid block in `data`: marker, recorded size, fixed record with
// its signature, translations, then "LLLLCCCC/Key\0Value\0" pairs up to an
// empty key, all within the recorded size.
std::optional<VersionBlock> FindBlock(const std::string& data) {
  const std::string marker = VersionMarker();
  constexpr size_t kHeader = 16 + 4 + 52 + 4;  // marker, size, fixed record, translation count
  for (size_t pos = data.find(marker); pos != std::string::npos; pos = data.find(marker, pos + 1)) {
    if (pos + kHeader > data.size()) break;
    const char* p = data.data() + pos;
    const uint32_t total = ReadU32(p + 16);
    if (total < kHeader || pos + total > data.size()) continue;
    VersionBlock block;
    for (int i = 0; i < 13; ++i) block.fixed[i] = ReadU32(p + 20 + 4 * i);
    if (block.fixed[0] != kFixedInfoSignature) continue;
    const uint32_t count = ReadU32(p + 72);
    size_t offset = kHeader;
    if (count > 64 || offset + 4ull * count > total) continue;
    for (uint32_t i = 0; i < count; ++i, offset += 4) block.translations.push_back(ReadU32(p + offset));
    bool ok = true;
    while (offset < total && p[offset] != '\0') {
      const char* keyStart = p + offset;
      const size_t keyLen = ::strnlen(keyStart, total - offset);
      if (offset + keyLen + 1 >= total) {
        ok = false;
        break;
      }
      const char* valueStart = keyStart + keyLen + 1;
      const size_t valueLen = ::strnlen(valueStart, total - offset - keyLen - 1);
      if (offset + keyLen + 1 + valueLen >= total) {
        ok = false;
        break;
      }
      std::string key(keyStart, keyLen);
      const size_t slash = key.find('/');
      if (slash != std::string::npos) {
        block.strings["\\StringFileInfo\\" + key.substr(0, slash) + "\\" + key.substr(slash + 1)] =
            std::string(valueStart, valueLen);
      }
      offset += keyLen + 1 + valueLen + 1;
    }
    if (ok) return block;
  }
  return std::nullopt;
}

// `length` bytes at `offset` of the open file, or nullopt when they are not all there.
// Read with the descriptor, not a stream: this runs at every start, and the
// first stream of a process sets up the whole C++ locale.
std::optional<std::string> ReadAt(int fd, uint64_t offset, uint64_t length, uint64_t fileSize) {
  if (offset > fileSize || length > fileSize - offset) return std::nullopt;
  std::string bytes(static_cast<size_t>(length), '\0');
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    done += static_cast<size_t>(n);
  }
  return bytes;
}

uint64_t ReadU64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

uint16_t ReadU16(const char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// The section the build puts the block into (cmake/version_block.c.in).
constexpr const char* kVersionSection = ".qmx_version";
// Bounds on what an ELF file's headers may ask to be read.
constexpr uint64_t kMaxSectionHeaders = 65535;
constexpr uint64_t kMaxNamesSize = 1u << 20;
constexpr uint64_t kMaxBlockSectionSize = 1u << 20;

// The bytes of the version section of a little-endian ELF file (the block
// and what the linker put beside it), read by its offset from the section
// table; nullopt when the file is not such a file or has no such section.
// A program's or library's file is megabytes, its version section a few
// hundred bytes.
std::optional<std::string> ReadElfVersionSection(int fd, uint64_t fileSize) {
  const std::optional<std::string> ident = ReadAt(fd, 0, 64, fileSize);
  if (!ident || ident->compare(0, 4, "\x7F" "ELF") != 0 || (*ident)[5] != 1) return std::nullopt;  // little-endian only
  const char* h = ident->data();
  const bool wide = (*ident)[4] == 2;
  if (!wide && (*ident)[4] != 1) return std::nullopt;
  const uint64_t tableOffset = wide ? ReadU64(h + 0x28) : ReadU32(h + 0x20);
  const uint16_t entrySize = ReadU16(h + (wide ? 0x3A : 0x2E));
  const uint16_t count = ReadU16(h + (wide ? 0x3C : 0x30));
  const uint16_t namesIndex = ReadU16(h + (wide ? 0x3E : 0x32));
  const uint16_t minimumEntry = wide ? 64 : 40;
  if (count == 0 || count > kMaxSectionHeaders || entrySize < minimumEntry || namesIndex >= count) return std::nullopt;
  const std::optional<std::string> table = ReadAt(fd, tableOffset, uint64_t{count} * entrySize, fileSize);
  if (!table) return std::nullopt;
  struct Section {
    uint32_t name, type;
    uint64_t offset, size;
  };
  auto section = [&](uint16_t index) {
    const char* e = table->data() + size_t{index} * entrySize;
    return wide ? Section{ReadU32(e), ReadU32(e + 4), ReadU64(e + 24), ReadU64(e + 32)}
                : Section{ReadU32(e), ReadU32(e + 4), ReadU32(e + 16), ReadU32(e + 20)};
  };
  constexpr uint32_t kNoBits = 8;  // SHT_NOBITS: no bytes in the file
  const Section names = section(namesIndex);
  if (names.type == kNoBits || names.size > kMaxNamesSize) return std::nullopt;
  const std::optional<std::string> nameBytes = ReadAt(fd, names.offset, names.size, fileSize);
  if (!nameBytes) return std::nullopt;
  const std::string wanted(kVersionSection);
  for (uint16_t i = 0; i < count; ++i) {
    const Section s = section(i);
    if (s.type == kNoBits || s.name >= nameBytes->size() || s.size > kMaxBlockSectionSize) continue;
    if (nameBytes->compare(s.name, wanted.size() + 1, wanted.c_str(), wanted.size() + 1) != 0) continue;
    return ReadAt(fd, s.offset, s.size, fileSize);
  }
  return std::nullopt;
}

}  // namespace

std::optional<VersionBlock> ReadVersionBlock(const fs::path& path) {
  // Only regular files: a FIFO would block, a folder reads nothing.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const auto size = static_cast<uint64_t>(info.st_size);
  // A program or library of the suite carries the block in a section of its
  // own: only that section is read.
  if (const std::optional<std::string> section = ReadElfVersionSection(fd, size)) {
    if (std::optional<VersionBlock> block = FindBlock(*section)) return block;
  }
  // Any other file is searched whole, in one bulk read.
  const std::optional<std::string> data = ReadAt(fd, 0, size, size);
  return data ? FindBlock(*data) : std::nullopt;
}

}  // namespace qmx::os
