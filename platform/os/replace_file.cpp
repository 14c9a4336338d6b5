#include "platform/os/replace_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qmx::os {
namespace fs = std::filesystem;

namespace {

// Names tried while they are taken.
constexpr int kNameAttempts = 100;

// Distinct numbers for the overlapping writes of one process.
std::atomic<unsigned> writeCounter{0};

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string HiddenName(const std::string& fileName, unsigned n, const char* suffix) {
  return "." + fileName + "." + std::to_string(::getpid()) + "." + std::to_string(n) + suffix;
}

// The process of a staged name ".<file>.<pid>.<n><suffix>", with <file>
// told in `file`; 0 when the name is no such name.
long StagedNamePid(const std::string& name, const std::string& suffix, std::string* file) {
  if (name.size() <= 1 + suffix.size() || name[0] != '.' || !name.ends_with(suffix)) return 0;
  const std::string stem = name.substr(1, name.size() - 1 - suffix.size());
  const size_t countDot = stem.rfind('.');
  if (countDot == std::string::npos || countDot == 0) return 0;
  const size_t pidDot = stem.rfind('.', countDot - 1);
  if (pidDot == std::string::npos || pidDot == 0) return 0;
  const std::string pid = stem.substr(pidDot + 1, countDot - pidDot - 1);
  if (!AllDigits(pid) || pid.size() > 10 || !AllDigits(stem.substr(countDot + 1))) return 0;
  const long value = std::strtol(pid.c_str(), nullptr, 10);
  if (value <= 0 || value > INT_MAX) return 0;
  *file = stem.substr(0, pidDot);
  return value;
}

// Removes what cut-off writes left in `folder` under staged names with
// `suffix`: for `fileName` only, or for any file when it is empty; those of
// processes that are gone, and this process's own when `removeOwn`. A
// process that is alive, or another user's that this one may not signal,
// may still be writing its file.
void RemoveLeftovers(const fs::path& folder, const std::string& fileName, const std::string& suffix, bool removeOwn) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string file;
    const long pid = StagedNamePid(it->path().filename().string(), suffix, &file);
    if (pid == 0 || (!fileName.empty() && file != fileName)) continue;
    if (pid == ::getpid() ? !removeOwn : ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) continue;
    std::error_code statEc;
    if (!fs::is_regular_file(fs::symlink_status(it->path(), statEc))) continue;
    fs::remove(it->path(), statEc);
  }
}

// The n-th name to try for the new file (n from 0); empty when there is no
// n-th.
fs::path CandidateName(const fs::path& folder, const std::string& fileName, StagedName naming, int n) {
  switch (naming) {
    case StagedName::kBesideTarget:
      return n == 0 ? folder / (fileName + ".tmp") : fs::path();
    case StagedName::kHiddenPerProcess:
      return folder / HiddenName(fileName, static_cast<unsigned>(n), ".tmp");
    case StagedName::kHiddenPerWrite:
      return folder / HiddenName(fileName, writeCounter++, ".part");
  }
  return {};
}

void RemoveEarlierWrites(const fs::path& folder, const std::string& fileName, StagedName naming) {
  if (naming == StagedName::kBesideTarget) (void)::unlink((folder / (fileName + ".tmp")).c_str());
  if (naming == StagedName::kHiddenPerProcess) RemoveLeftovers(folder, fileName, ".tmp", true);
  if (naming == StagedName::kHiddenPerWrite) RemoveLeftovers(folder, std::string(), ".part", false);
}

// The staged files that a signal handler removes: fixed slots read without
// locks. A slot's path is written only while its state is kWriting, which
// only the writer that took the slot from kFree gives it; the handler takes
// a slot from kArmed to kHandled before it reads the path, so no path
// changes under the handler, and a handled slot is never used again (the
// process is ending).
enum SlotState : int { kFree, kWriting, kArmed, kHandled };
struct SignalSlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free slot states");
// A report writes one or two files at once; more files than slots are left
// to the clean-up of the next write in their folder.
constexpr int kSignalSlots = 16;
SignalSlot signalSlots[kSignalSlots];

// The slot that now holds `path`, or -1.
int ArmSignalSlot(const fs::path& path) {
  const std::string& text = path.native();
  if (text.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSignalSlots; ++i) {
    int expected = kFree;
    if (!signalSlots[i].state.compare_exchange_strong(expected, kWriting)) continue;
    std::memcpy(signalSlots[i].path, text.c_str(), text.size() + 1);
    signalSlots[i].state.store(kArmed);
    return i;
  }
  return -1;
}

void DisarmSignalSlot(int slot) {
  if (slot < 0) return;
  int expected = kArmed;
  signalSlots[slot].state.compare_exchange_strong(expected, kFree);
}

// Async-signal-safe: atomics, unlink, sigaction and raise only.
void RemoveStagedAndEnd(int signal) {
  for (SignalSlot& slot : signalSlots) {
    int expected = kArmed;
    if (slot.state.compare_exchange_strong(expected, kHandled)) (void)::unlink(slot.path);
  }
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  (void)::sigaction(signal, &fallback, nullptr);
  // Delivered with the default action once the handler returns and the
  // signal is no longer blocked.
  (void)::raise(signal);
}

int WriteAll(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

fs::path FollowLinks(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  const fs::path resolved = fs::canonical(path, ec);
  return ec ? path : resolved;
}

int WriteAndSync(int fd, std::string_view bytes) {
  if (const int error = WriteAll(fd, bytes)) return error;
  return ::fsync(fd) == 0 ? 0 : errno;
}

int RewriteFile(int fd, std::string_view bytes) {
  if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return errno;
  return WriteAndSync(fd, bytes);
}

int SyncFolder(const fs::path& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  int error = 0;
  if (::fsync(dir) != 0 && errno != EINVAL) error = errno;
  ::close(dir);
  return error;
}

fs::path FolderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

StagedFile::StagedFile(const fs::path& target, StagedName naming) : target_(FollowLinks(target)) {
  if (!target_.has_filename()) {
    error_ = target_.empty() ? ENOENT : EISDIR;
    return;
  }
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    error_ = EISDIR;
    return;
  }
  const fs::path folder = FolderOf(target_);
  const std::string fileName = target_.filename().string();
  RemoveEarlierWrites(folder, fileName, naming);
  fs::path candidate;
  for (int n = 0; n < kNameAttempts && fd_ < 0; ++n) {
    candidate = CandidateName(folder, fileName, naming, n);
    if (candidate.empty()) break;
    fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    error_ = fd_ < 0 ? errno : 0;
    if (fd_ < 0 && error_ != EEXIST) break;
  }
  if (fd_ < 0) return;
  path_ = candidate;
  signalSlot_ = ArmSignalSlot(path_);
  if (exists) (void)::fchmod(fd_, old.st_mode & 07777);
}

StagedFile::~StagedFile() {
  if (fd_ >= 0) ::close(fd_);
  if (ok() && !committed_) ::unlink(path_.c_str());
  DisarmSignalSlot(signalSlot_);
}

int StagedFile::Write(std::string_view bytes) { return fd_ < 0 ? EBADF : WriteAll(fd_, bytes); }

ReplaceResult StagedFile::Result(ReplaceStep step, int error) const { return {step, error, target_}; }

ReplaceResult StagedFile::Commit() {
  if (!ok()) return Result(ReplaceStep::kCreate, error_);
  if (committed_) return Result(ReplaceStep::kNone, 0);
  if (fd_ < 0) return Result(ReplaceStep::kWrite, EBADF);
  int error = 0;
  if (::fsync(fd_) != 0) error = errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error != 0) return Result(ReplaceStep::kWrite, error);
  if (::rename(path_.c_str(), target_.c_str()) != 0) return Result(ReplaceStep::kRename, errno);
  committed_ = true;
  // The staged name went with the rename; nothing is left to remove.
  DisarmSignalSlot(signalSlot_);
  signalSlot_ = -1;
  // The new name is durable only once the folder is.
  if (const int syncError = SyncFolder(FolderOf(target_)); syncError != 0) {
    return Result(ReplaceStep::kSyncFolder, syncError);
  }
  return Result(ReplaceStep::kNone, 0);
}

void RemoveStagedFilesOnSignals() {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
        current.sa_handler != SIG_DFL)
      continue;
    struct sigaction handler {};
    handler.sa_handler = RemoveStagedAndEnd;
    sigemptyset(&handler.sa_mask);
    for (const int other : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&handler.sa_mask, other);
    (void)::sigaction(signal, &handler, nullptr);
  }
}

ReplaceResult ReplaceFile(const fs::path& path, std::string_view bytes, StagedName naming) {
  StagedFile staged(path, naming);
  if (!staged.ok()) return {ReplaceStep::kCreate, staged.error(), staged.target()};
  if (const int error = staged.Write(bytes)) return {ReplaceStep::kWrite, error, staged.target()};
  return staged.Commit();
}

}  // namespace qmx::os
