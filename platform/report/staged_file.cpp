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
  path_ = staged_->path().string();
}

StagedFile::~StagedFile() = default;

void StagedFile::Fail(int error) {
  failed_ = true;
  error_ = std::strerror(error);
}

bool StagedFile::Write(std::string_view bytes) {
  if (failed()) return false;
  if (const int error = staged_->Write(bytes)) Fail(error);
  return !failed_;
}

bool StagedFile::Commit() {
  if (failed()) return false;
  const qmx::os::ReplaceResult result = staged_->Commit();
  // A folder that could not be flushed after the rename still holds the new
  // file: the report is written.
  if (result.replaced()) return true;
  Fail(result.error);
  return false;
}

}  // namespace qmx::report
