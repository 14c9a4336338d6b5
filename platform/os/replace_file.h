// Replacing a file so that, wherever the replacement is cut off (a kill, a
// full disk, a power failure), the file is either as it was or wholly new:
// the new content goes to a file beside it (StagedFile) that is flushed to
// the disk and then renamed over it, and the folder is flushed after the
// rename. A symbolic link is followed: the file it names is replaced and the
// link stays.
//
// ReplaceFile is the whole road for a content in memory. Its pieces serve
// the writers that need more: a writer that fills the staged file piece by
// piece (StagedFile::Write), and the writers that rewrite a file in place
// where its folder refuses new files (FollowLinks, WriteAndSync,
// RewriteFile, SyncFolder). Errors are errno values; no function logs.
#pragma once

#include <filesystem>
#include <string_view>

namespace qmx::os {

// The file that `path` names: a symbolic link is followed to the file at
// its end; the path itself when it is no link or its link leads nowhere.
std::filesystem::path FollowLinks(const std::filesystem::path& path);

// Writes every byte at the file position and flushes the file to the disk:
// 0, or the errno of the failure.
int WriteAndSync(int fd, std::string_view bytes);
// The file's whole content replaced by `bytes` where it is (cut, written
// from its start, flushed): 0, or the errno of the failure.
int RewriteFile(int fd, std::string_view bytes);
// Flushes a folder's entries (a rename or a new file in it) to the disk: 0,
// or the errno. A file system that cannot flush a folder at all (EINVAL)
// keeps nothing back, so that counts as done.
int SyncFolder(const std::filesystem::path& folder);
// The folder a file's entry is in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& file);

// How the new file beside its target is named, and what earlier writes that
// were cut off left under such names.
enum class StagedName {
  // "<file>.tmp", for a file that one writer at a time replaces: what an
  // earlier write left under that name is removed first.
  kBesideTarget,
  // ".<file>.<pid>.<n>.tmp", n from 0 to the first free name: what writes
  // of processes that are gone, and of this one, left is removed first (a
  // live process's may be a write in progress).
  kHiddenPerProcess,
  // ".<file>.<pid>.<n>.part", n counting the process's writes (they may
  // overlap): what writes of processes that are gone left in the folder,
  // for whatever file, is removed first; this process's own are writes in
  // progress.
  kHiddenPerWrite,
};

// The step of a replacement that failed, in their order.
enum class ReplaceStep { kNone, kCreate, kWrite, kRename, kSyncFolder };

struct ReplaceResult {
  ReplaceStep failed = ReplaceStep::kNone;
  int error = 0;                  // the errno of the failed step
  std::filesystem::path target;   // the file replaced, or to be replaced (links followed)

  bool ok() const { return failed == ReplaceStep::kNone; }
  // The new file took the target's place; only the folder's flush may have
  // failed, so that the rename may not outlast a power failure.
  bool replaced() const { return failed == ReplaceStep::kNone || failed == ReplaceStep::kSyncFolder; }
};

// The new file of one replacement, made beside its target with the access
// rights of the file it replaces (a new target: the user's defaults), and
// removed again unless it took the target's place.
class StagedFile {
public:
  // A target that is a folder, or names none ("dir/"), is refused (EISDIR);
  // an empty one too (ENOENT).
  StagedFile(const std::filesystem::path& target, StagedName naming);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool ok() const { return !path_.empty(); }
  // Why the file could not be made (an errno), while !ok().
  int error() const { return error_; }
  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& target() const { return target_; }

  // Appends bytes to the file: 0, or the errno.
  int Write(std::string_view bytes);
  // Flushes the file to the disk, renames it over the target and flushes
  // the folder. On a failure before the rename the target is as it was.
  ReplaceResult Commit();

private:
  ReplaceResult Result(ReplaceStep failed, int error) const;

  std::filesystem::path target_;
  std::filesystem::path path_;
  int fd_ = -1;
  int error_ = 0;
  bool committed_ = false;
  int signalSlot_ = -1;  // where the signal handler finds path_, or -1
};

// Has SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a closed terminal)
// remove every staged file that is neither committed nor removed yet before
// the process ends by the signal's default action. A signal that is ignored
// or handled by someone else is left so. The handler only unlinks paths
// written down when each file was made, so it is async-signal-safe.
void RemoveStagedFilesOnSignals();

// The whole road: `bytes` into a StagedFile named by `naming`, which then
// replaces the file `path` names.
ReplaceResult ReplaceFile(const std::filesystem::path& path, std::string_view bytes, StagedName naming);

}  // namespace qmx::os
