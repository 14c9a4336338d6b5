#include "app/model/SaveFailures.h"

#include "app/model/Logging.h"
#include "common/Utility.h"

namespace qmx {

namespace {
constexpr size_t kMaxCauseLength = 255;
}  // namespace

void ReportOpenForSaveFailure(const std::string& path) {
  PostLog(kLogError, kLogSource,
          StrFormat("[Error Code: %d] Cannot open the file during saving. Check if the file exists or using. File: %s.",
                    err::kFileOpenForSave, path.c_str()));
  ShowBox(StrFormat("Cannot open the file during saving. Check if the file exists or using.\nError Code: %d. "
                    "File: %s.",
                    err::kFileOpenForSave, path.c_str()),
          kBoxIconStop);
}

void ReportSaveFailure(const std::string& path, std::string cause) {
  if (cause.size() > kMaxCauseLength) cause.resize(kMaxCauseLength);
  PostLog(kLogError, kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Cannot save the file. Cause: %s. Path: %s.", err::kFileSave, cause.c_str(),
                    path.c_str()));
  ShowBox(StrFormat("Cannot save the file. Cause: %s.\nError Code: %d. Path: %s.", cause.c_str(), err::kFileSave,
                    path.c_str()),
          kBoxIconStop);
}

}  // namespace qmx
