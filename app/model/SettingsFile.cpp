// Saving the settings file so that a readable copy of it exists at every
// moment, and reading it with the copies that stand in for a broken one.
#include "app/model/AppOptions.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "app/model/ProgramPaths.h"
#include "common/Utility.h"
#include "platform/os/user_folders.h"
#include "platform/xml/xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void ReportOpenFailure(const std::string& path) {
  PostLog(qmx::kLogError, qmx::kLogSource,
          StrFormat("[Error Code: %d] Cannot open the file during saving. Check if the file exists or using. File: %s.",
                    qmx::err::kFileOpenForSave, path.c_str()));
  qmx::ShowBox(StrFormat("Cannot open the file during saving. Check if the file exists or using.\nError Code: %d. "
                         "File: %s.",
                         qmx::err::kFileOpenForSave, path.c_str()),
               qmx::kBoxIconStop);
}

void ReportSaveFailure(const std::string& path, int error) {
  std::string cause = error != 0 ? std::strerror(error) : "";
  if (cause.size() > 255) cause.resize(255);
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Cannot save the file. Cause: %s. Path: %s.", qmx::err::kFileSave, cause.c_str(),
                    path.c_str()));
  qmx::ShowBox(StrFormat("Cannot save the file. Cause: %s.\nError Code: %d. Path: %s.", cause.c_str(),
                         qmx::err::kFileSave, path.c_str()),
               qmx::kBoxIconStop);
}

void ReportSaved(const std::string& path) {
  PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Save configuration is completed. Path: %s", path.c_str()));
}

std::string FolderOf(const std::string& path) {
  std::string folder = fs::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// 0 when the folder's entries reached the disk, else the error. File systems
// that cannot synchronise a folder at all (EINVAL) keep nothing back.
int SyncFolder(const std::string& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  int error = 0;
  if (::fsync(dir) != 0 && errno != EINVAL) error = errno;
  ::close(dir);
  return error;
}

// Whether the file loads as a document; the reason when it does not.
bool Loads(const std::string& path, std::string* cause = nullptr) {
  try {
    (void)qmx::xml::Document::LoadFile(path, qmx::reader::kDefinitionFileLimit);
    return true;
  } catch (const qmx::xml::XmlError& e) {
    if (cause) {
      *cause = e.what();
      while (!cause->empty() && (cause->back() == '\n' || cause->back() == '\r')) cause->pop_back();
    }
    return false;
  }
}

// The whole text in place of the file's content, on disk when it returns 0
// (else the error).
int Rewrite(int fd, const std::string& bytes) {
  if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return errno;
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) return errno;
  return 0;
}

// A name of the settings file's own: a folder refusing new files may be the
// program folder of any number of installations, whose backups share the
// user's cache folder. FNV-1a of the path: the same in every build.
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

// The first backup that can be opened for writing, made when missing (the
// private cache folder too).
OpenFile OpenBackup(const std::string& settingsPath) {
  const std::vector<std::string> candidates = SettingsBackupPaths(settingsPath);
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (i > 0 && qmx::os::MakePrivateFolder(FolderOf(candidates[i])) != 0) continue;
    const int fd = ::open(candidates[i].c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return {candidates[i], fd};
  }
  return {candidates.front(), -1};
}

// The settings file rewritten where it is. The file and its backup are
// written one after the other with the same text, each whole and on disk
// before the other is cut, the broken one of the two first: one of them
// reads at every moment.
int SaveInPlace(const std::string& path, const std::string& bytes) {
  OpenFile file{path, ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666)};
  if (file.fd < 0) {
    ReportOpenFailure(path);
    return 0;
  }
  OpenFile backup = OpenBackup(path);
  if (backup.fd < 0) {
    ::close(file.fd);
    ReportOpenFailure(backup.path);
    return 0;
  }
  const bool fileFirst = !Loads(path) && Loads(backup.path);
  const OpenFile* order[2] = {&backup, &file};
  if (fileFirst) std::swap(order[0], order[1]);
  int error = 0;
  std::string failed;
  for (const OpenFile* target : order) {
    error = Rewrite(target->fd, bytes);
    // A backup made now must be found after a power failure too.
    if (error == 0 && target == &backup) error = SyncFolder(FolderOf(backup.path));
    if (error != 0) {
      failed = target->path;
      break;
    }
  }
  ::close(file.fd);
  ::close(backup.fd);
  if (error != 0) {
    ReportSaveFailure(failed, error);
    return 0;
  }
  ReportSaved(path);
  return 1;
}

void PostRecovery(const std::string& text) { PostLog(qmx::kLogError, qmx::kLogSource, text); }

// The broken per-user file moved aside and the shipped one copied in its
// place; false (nothing changed) when that cannot be done.
bool ReplaceByShipped(const qmx::ProgramPaths& paths, const std::string& cause) {
  const std::string path = paths.SettingsFile();
  const std::string kept = path + ".broken";
  std::error_code ec;
  fs::rename(path, kept, ec);
  if (ec) return false;
  if (qmx::os::SeedFile(paths.ShippedSettingsFile(), path) != 1) {
    fs::rename(kept, path, ec);
    return false;
  }
  PostRecovery(StrFormat("[Warning] The settings file %s cannot be read (%s). It is kept as %s, and the shipped "
                         "settings file %s takes its place.",
                         path.c_str(), cause.c_str(), kept.c_str(), paths.ShippedSettingsFile().c_str()));
  return true;
}

}  // namespace

std::vector<std::string> SettingsBackupPaths(const std::string& settingsPath) {
  std::error_code ec;
  const std::string absolute = fs::absolute(settingsPath, ec).lexically_normal().string();
  return {settingsPath + ".bak",
          (qmx::os::UserCacheFolder() / (std::string(qmx::kConfigFileName) + "." + PathDigest(absolute) + ".bak"))
              .string()};
}

int SaveConfigFile(const std::string& programFolder, const AppOptions& options, const ConfigExtras& extras) {
  const std::string path = (fs::path(programFolder) / qmx::kConfigFileName).string();
  // The new text goes to a file beside the old one; only a complete, flushed
  // file replaces it.
  const std::string temporary = path + ".tmp";
  const std::string bytes = FormatConfigFile(options, extras);

  // A save that was interrupted leaves its temporary behind; nothing else
  // would ever remove it.
  (void)::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  // An installed program's folder may refuse new files while the settings
  // file itself stays writable: then the file is rewritten where it is.
  if (fd < 0) return SaveInPlace(path, bytes);
  // The new file keeps the access rights of the one it replaces.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) (void)::fchmod(fd, old.st_mode & 07777);

  int error = 0;
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    ReportSaveFailure(path, error);
    return 0;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    // A settings file mounted on its own cannot be replaced, only rewritten.
    ::unlink(temporary.c_str());
    return SaveInPlace(path, bytes);
  }
  // The rename is durable only once the folder is; a folder that cannot be
  // synchronised may lose the new file at a power failure.
  const std::string folder = FolderOf(path);
  if (const int syncError = SyncFolder(folder); syncError != 0) {
    ReportSaveFailure(folder, syncError);
    return 0;
  }
  ReportSaved(path);
  return 1;
}

int ReadSettingsFile(const qmx::ProgramPaths& paths, AppOptions& options, ConfigExtras& extras) {
  const std::string path = paths.SettingsFile();
  std::error_code ec;
  std::string cause;
  // A missing file is no broken one: it is reported as it always was.
  if (fs::exists(path, ec) && !Loads(path, &cause)) {
    for (const std::string& backup : SettingsBackupPaths(path)) {
      if (!fs::exists(backup, ec) || !Loads(backup)) continue;
      PostRecovery(StrFormat("[Warning] The settings file %s cannot be read (%s). Its backup %s is read instead.",
                             path.c_str(), cause.c_str(), backup.c_str()));
      return ParseConfigFile(backup, options, extras);
    }
    if (paths.perUser) ReplaceByShipped(paths, cause);
  }
  return ParseConfigFile(path, options, extras);
}
