// A report file written beside its target under a hidden name of its own
// and renamed over the target only once it is complete, so that the target
// is always either as it was or the whole new file: a cancelled or failed
// write leaves nothing behind. The report writers append their bytes through
// it; the replacement itself is qmx::os::StagedFile's.
#pragma once

#include <memory>
#include <string>
#include <string_view>

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
  // Why the staged file could not be made, why a write failed, or why
  // Commit failed, in the system's words ("No space left on device").
  const std::string& error() const { return error_; }

  // Appends bytes. Once a write has failed every later one fails too, so a
  // writer may look at failed() only now and then.
  bool Write(std::string_view bytes);
  bool failed() const { return !ok() || failed_; }

  // Makes the written file durable and renames it over the target; false
  // (with error()) when a write or that fails, the target then being as it
  // was.
  bool Commit();

private:
  void Fail(int error);

  std::unique_ptr<qmx::os::StagedFile> staged_;
  std::string path_;
  std::string error_;
  bool failed_ = false;
};

}  // namespace qmx::report
