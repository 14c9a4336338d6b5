#include "platform/os/replace_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

// Removes what cut-off writes of `fileName` left in `folder` under
// ".<file>.<pid>.<n>.tmp": files of processes that are gone, and this
// process's own (its writes of one file run one after the other).
void RemoveLeftovers(const fs::path& folder, const std::string& fileName) {
  const std::string prefix = "." + fileName + ".";
  const std::string suffix = ".tmp";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 || !name.ends_with(suffix)) continue;
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const size_t dot = middle.find('.');
    if (dot == std::string::npos || !AllDigits(middle.substr(0, dot)) || !AllDigits(middle.substr(dot + 1))) continue;
    const long pid = std::strtol(middle.substr(0, dot).c_str(), nullptr, 10);
    if (pid <= 0 || pid > INT_MAX) continue;
    if (pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) continue;
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
  if (naming == StagedName::kHiddenPerProcess) RemoveLeftovers(folder, fileName);
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
  if (exists) (void)::fchmod(fd_, old.st_mode & 07777);
  path_ = candidate;
}

StagedFile::~StagedFile() {
  if (fd_ >= 0) ::close(fd_);
  if (ok() && !committed_) ::unlink(path_.c_str());
}

int StagedFile::Write(std::string_view bytes) { return fd_ < 0 ? EBADF : WriteAll(fd_, bytes); }

void StagedFile::ReleaseHandle() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

ReplaceResult StagedFile::Result(ReplaceStep step, int error) const { return {step, error, target_}; }

ReplaceResult StagedFile::Commit() {
  if (!ok()) return Result(ReplaceStep::kCreate, error_);
  if (committed_) return Result(ReplaceStep::kNone, 0);
  int error = 0;
  if (fd_ < 0) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return Result(ReplaceStep::kWrite, errno);
  }
  if (::fsync(fd_) != 0) error = errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error != 0) return Result(ReplaceStep::kWrite, error);
  if (::rename(path_.c_str(), target_.c_str()) != 0) return Result(ReplaceStep::kRename, errno);
  committed_ = true;
  // The new name is durable only once the folder is.
  if (const int syncError = SyncFolder(FolderOf(target_)); syncError != 0) {
    return Result(ReplaceStep::kSyncFolder, syncError);
  }
  return Result(ReplaceStep::kNone, 0);
}

ReplaceResult ReplaceFile(const fs::path& path, std::string_view bytes, StagedName naming) {
  StagedFile staged(path, naming);
  if (!staged.ok()) return {ReplaceStep::kCreate, staged.error(), staged.target()};
  if (const int error = staged.Write(bytes)) return {ReplaceStep::kWrite, error, staged.target()};
  return staged.Commit();
}

}  // namespace qmx::os
