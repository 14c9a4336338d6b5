// Writing a user's file (the settings, a project) so that a readable copy
// of it is on disk at every moment, wherever the write is cut off.
//
// The usual road replaces the file (qmx::os::ReplaceFile). Where the file
// cannot be replaced but may be written, it is rewritten in place beside a
// backup, and its reader falls back to that backup when it finds the file
// broken. How each failure of the replacement is judged is the writer's
// policy, which every call site states in full.
#pragma once

#include "platform/os/replace_file.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qmx {

struct SavePolicy {
  // The staged file's name beside the file.
  os::StagedName naming;

  // When the file is rewritten in place, beside a backup, instead of
  // replaced.
  enum class InPlace {
    // Whenever the staged file cannot be made or cannot take the file's
    // place (a folder that refuses new files, a file mounted on its own).
    kWhenNotReplaceable,
    // Only when the folder refuses the staged file (EACCES, EPERM) and the
    // file exists; any other failure to make it refuses the save (-1003),
    // and a failed rename fails it (-1006).
    kWhenTheFolderRefusesNewFiles,
  } inPlace;
  // Where the backup of the in-place road may go, in order: the first that
  // can be opened for writing, made when missing (one in the user's cache
  // folder has that folder made the user's alone first).
  std::vector<std::string> backups;
  // A file or backup that does not load as an XML document of at most this
  // many bytes is broken: it is the one of the two written first.
  std::uint64_t loadLimit;

  // What a folder that cannot be flushed after the rename means.
  enum class FolderSync {
    // -1006 naming the folder: the new file may not outlast a power failure.
    kFailsTheSave,
    // Nothing: the new file took the old one's place all the same.
    kIsNoFailure,
  } folderSync;

  // An existing file its user may not write, a folder, or a path that names
  // no file is refused (-1003) before anything is written, as opening it
  // for writing would be; otherwise a file the folder lets be replaced is
  // replaced whatever its own rights.
  bool refuseUnwritableFile;
};

// Why a save failed, in the terms of its report (SaveFailures.h).
struct SaveOutcome {
  enum class Failure {
    kNone,
    kOpen,   // -1003: `path` (the file or its backup) could not be opened or made
    kWrite,  // -1006: writing `path` (the file, its backup or its folder) failed
  } failure = Failure::kNone;
  std::string path;
  int error = 0;  // the errno behind the failure, when there is one

  bool ok() const { return failure == Failure::kNone; }
};

// Writes `bytes` as the file `path` names (a link followed) under
// `policy`, without a line: replaced, or rewritten in place where the
// policy says so. There the file and its backup get `bytes` one after the
// other, each whole and on disk (the backup's folder too) before the other
// is cut, the broken one of the two first, so that one of them reads at
// every moment; without a backup the file is not cut.
SaveOutcome WriteSafely(const std::string& path, std::string_view bytes, const SavePolicy& policy);

// WriteSafely with its failure reported: the -1003 or -1006 line and box
// naming the path of the outcome. 1 saved, 0 not.
int SaveFile(const std::string& path, std::string_view bytes, const SavePolicy& policy);

// Where the backup of `file` lies in the user's private cache folder, for a
// file whose folder refuses new files:
// "<cache>/<file name>.<FNV-1a of the absolute path>.bak", a name of its own
// for every file of that name.
std::string CacheBackupPath(const std::string& file);

// Whether the file loads as an XML document of at most `loadLimit` bytes;
// the parser's reason when it does not.
bool LoadsAsXml(const std::string& path, std::uint64_t loadLimit, std::string* cause = nullptr);

}  // namespace qmx
