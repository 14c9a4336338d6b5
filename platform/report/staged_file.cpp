#include "platform/report/staged_file.h"

#include "platform/os/replace_file.h"

#include <cstring>
#include <filesystem>

namespace qmx::report {

StagedFile::StagedFile(const std::string& target) {
  if (target.empty() || !std::filesystem::path(target).has_filename()) {
    error_ = "no file name";
    return;
  }
  staged_ = std::make_unique<qmx::os::StagedFile>(target, qmx::os::StagedName::kHiddenPerWrite);
  if (!staged_->ok()) {
    error_ = std::strerror(staged_->error());
    return;
  }
  // The report writers open the file by its name.
  staged_->ReleaseHandle();
  path_ = staged_->path().string();
}

StagedFile::~StagedFile() = default;

bool StagedFile::Commit() {
  if (!ok()) return false;
  const qmx::os::ReplaceResult result = staged_->Commit();
  // A folder that could not be flushed after the rename still holds the new
  // file: the report is written.
  if (result.replaced()) return true;
  error_ = std::strerror(result.error);
  return false;
}

}  // namespace qmx::report
