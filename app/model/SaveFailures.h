// The two failures that every writer of a user's file (the settings, a
// project, the documentation files) reports, each with one line and one
// stop box, the same wherever it happens.
#pragma once

#include <string>

namespace qmx {

// -1003, source "QMX-410 Tools": "Cannot open the file during saving. Check
// if the file exists or using." naming the file.
void ReportOpenForSaveFailure(const std::string& path);
// -1006, source "QMX-410Tools": "Cannot save the file." with the cause (at
// most 255 bytes of it) and the path.
void ReportSaveFailure(const std::string& path, std::string cause);

}  // namespace qmx
