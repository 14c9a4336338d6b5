#include "app/model/SaveFile.h"

#include "app/model/SaveFailures.h"
#include "common/Utility.h"
#include "platform/os/replace_file.h"
#include "platform/os/user_folders.h"
#include "platform/xml/xml.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace qmx {

namespace {

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
};

OpenFile OpenBackup(const std::string& file, const std::vector<std::string>& backups) {
  const fs::path cache = os::UserCacheFolder();
  for (const std::string& candidate : backups) {
    if (os::FolderOf(candidate) == cache && os::MakePrivateFolder(cache) != 0) continue;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return {candidate, fd};
  }
  return {backups.empty() ? file : backups.front(), -1};
}

}  // namespace

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

int RewriteInPlaceWithBackup(const std::string& path, std::string_view bytes, const std::vector<std::string>& backups,
                             std::uint64_t loadLimit) {
  const fs::path target = os::FollowLinks(path);
  OpenFile file{path, ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666)};
  if (file.fd < 0) {
    ReportOpenForSaveFailure(path);
    return 0;
  }
  OpenFile backup = OpenBackup(path, backups);
  if (backup.fd < 0) {
    ::close(file.fd);
    ReportOpenForSaveFailure(backup.path);
    return 0;
  }
  const bool fileFirst = !LoadsAsXml(path, loadLimit) && LoadsAsXml(backup.path, loadLimit);
  const OpenFile* order[2] = {&backup, &file};
  if (fileFirst) std::swap(order[0], order[1]);
  int error = 0;
  std::string failed;
  for (const OpenFile* written : order) {
    error = os::RewriteFile(written->fd, bytes);
    // A backup made now must be found after a power failure too.
    if (error == 0 && written == &backup) error = os::SyncFolder(os::FolderOf(backup.path));
    if (error != 0) {
      failed = written->path;
      break;
    }
  }
  ::close(file.fd);
  ::close(backup.fd);
  if (error != 0) {
    ReportSaveFailure(failed, std::strerror(error));
    return 0;
  }
  return 1;
}

}  // namespace qmx
