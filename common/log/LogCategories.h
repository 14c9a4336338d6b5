// The categories of the main program's log lines, by name. The log window
// sorts its lines into tabs by them, the log options switch them, and the
// driver library's log levels (DRV_LOG_ERROR ... in tessivar.h) use the same
// numbers, so a value never changes once given.
//
// Header only and free of everything else, so the model, the picture
// writers and the grid controls below it name the same categories.
#pragma once

namespace qmx {

enum LogCategory : int {
  kLogError = 0,
  kLogGeneral = 1,
  kLogComm = 2,
  kLogCommError = 3,
  kLogDeveloper = 4,
};

}  // namespace qmx
