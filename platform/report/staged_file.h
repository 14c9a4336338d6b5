// A report file written beside its target under a hidden name of its own
// and renamed over the target only once it is complete, so that the target
// is always either as it was or the whole new file: a cancelled or failed
// write leaves nothing behind. The report writers fill the file by its name;
// the replacement itself is qmx::os::StagedFile's.
#pragma once

#include <memory>
#include <string>

namespace qmx::os {
class StagedFile;
}

namespace qmx::report {

class StagedFile {
public:
  // Creates the staged file in the target's folder; see ok() and error().
  explicit StagedFile(const std::string& target);
  // Removes the staged file unless it was committed.
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool ok() const { return !path_.empty(); }
  // Why the staged file could not be made, or why Commit failed.
  const std::string& error() const { return error_; }
  // The file to write.
  const std::string& path() const { return path_; }

  // Makes the written file durable and renames it over the target; false
  // (with error()) when that fails, the target then being as it was.
  bool Commit();

private:
  std::unique_ptr<qmx::os::StagedFile> staged_;
  std::string path_;
  std::string error_;
};

}  // namespace qmx::report
