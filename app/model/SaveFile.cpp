#include "app/model/SaveFile.h"

#include "app/model/SaveFailures.h"
#include "common/Utility.h"
#include "platform/os/user_folders.h"
#include "platform/xml/xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace qmx {

namespace {

using Failure = SaveOutcome::Failure;

// The same in every build, so that a backup is found again by a later
// version of the program.
std::string PathDigest(const std::string& path) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : path) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return StrFormat("%016llx", static_cast<unsigned long long>(hash));
}

struct OpenFile {
  std::string path;
  int fd = -1;
  int error = 0;
};

OpenFile OpenBackup(const std::string& file, const std::vector<std::string>& backups) {
  const fs::path cache = os::UserCacheFolder();
  int error = ENOENT;
  for (const std::string& candidate : backups) {
    if (os::FolderOf(candidate) == cache) {
      if (const int made = os::MakePrivateFolder(cache); made != 0) {
        error = -made;
        continue;
      }
    }
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return {candidate, fd, 0};
    error = errno;
  }
  return {backups.empty() ? file : backups.front(), -1, error};
}

SaveOutcome RewriteInPlaceWithBackup(const std::string& path, std::string_view bytes, const SavePolicy& policy) {
  const fs::path target = os::FollowLinks(path);
  OpenFile file{path, ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666), 0};
  if (file.fd < 0) return {Failure::kOpen, path, errno};
  OpenFile backup = OpenBackup(path, policy.backups);
  if (backup.fd < 0) {
    ::close(file.fd);
    return {Failure::kOpen, backup.path, backup.error};
  }
  const bool fileFirst = !LoadsAsXml(path, policy.loadLimit) && LoadsAsXml(backup.path, policy.loadLimit);
  const OpenFile* order[2] = {&backup, &file};
  if (fileFirst) std::swap(order[0], order[1]);
  SaveOutcome outcome;
  for (const OpenFile* written : order) {
    int error = os::RewriteFile(written->fd, bytes);
    // A backup made now must be found after a power failure too.
    if (error == 0 && written == &backup) error = os::SyncFolder(os::FolderOf(backup.path));
    if (error != 0) {
      outcome = {Failure::kWrite, written->path, error};
      break;
    }
  }
  ::close(file.fd);
  ::close(backup.fd);
  return outcome;
}

// Refused where opening the file for writing would be refused.
bool RefusedForWriting(const fs::path& target, bool exists, const struct stat& old) {
  const std::string& name = target.native();
  return (exists && (S_ISDIR(old.st_mode) || ::access(name.c_str(), W_OK) != 0)) || name.empty() ||
         name.back() == '/';
}

}  // namespace

SaveOutcome WriteSafely(const std::string& path, std::string_view bytes, const SavePolicy& policy) {
  const fs::path target = os::FollowLinks(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (policy.refuseUnwritableFile && RefusedForWriting(target, exists, old)) return {Failure::kOpen, path, EACCES};

  const os::ReplaceResult result = os::ReplaceFile(target, bytes, policy.naming);
  const bool anyRefusal = policy.inPlace == SavePolicy::InPlace::kWhenNotReplaceable;
  switch (result.failed) {
    case os::ReplaceStep::kNone:
      return {};
    case os::ReplaceStep::kCreate:
      if (anyRefusal || (exists && (result.error == EACCES || result.error == EPERM))) {
        return RewriteInPlaceWithBackup(path, bytes, policy);
      }
      return {Failure::kOpen, path, result.error};
    case os::ReplaceStep::kRename:
      if (anyRefusal) return RewriteInPlaceWithBackup(path, bytes, policy);
      return {Failure::kWrite, path, result.error};
    case os::ReplaceStep::kWrite:
      return {Failure::kWrite, path, result.error};
    case os::ReplaceStep::kSyncFolder:
      if (policy.folderSync == SavePolicy::FolderSync::kIsNoFailure) return {};
      return {Failure::kWrite, os::FolderOf(result.target).string(), result.error};
  }
  return {Failure::kWrite, path, EIO};
}

int SaveFile(const std::string& path, std::string_view bytes, const SavePolicy& policy) {
  const SaveOutcome outcome = WriteSafely(path, bytes, policy);
  switch (outcome.failure) {
    case Failure::kNone:
      return 1;
    case Failure::kOpen:
      ReportOpenForSaveFailure(outcome.path);
      return 0;
    case Failure::kWrite:
      ReportSaveFailure(outcome.path, outcome.error != 0 ? std::strerror(outcome.error) : "");
      return 0;
  }
  return 0;
}

std::string CacheBackupPath(const std::string& file) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(file, ec).lexically_normal();
  return (os::UserCacheFolder() / (absolute.filename().string() + "." + PathDigest(absolute.string()) + ".bak"))
      .string();
}

bool LoadsAsXml(const std::string& path, std::uint64_t loadLimit, std::string* cause) {
  try {
    (void)xml::Document::LoadFile(path, loadLimit);
    return true;
  } catch (const xml::XmlError& e) {
    if (cause) {
      *cause = e.what();
      while (!cause->empty() && (cause->back() == '\n' || cause->back() == '\r')) cause->pop_back();
    }
    return false;
  }
}

}  // namespace qmx
