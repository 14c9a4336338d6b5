// The one road of every log line and error report of the main program.
//
// PostLog packs a line into a LogRecord and hands it to the log target (the
// "Log Message" window), which shows it, writes it to the log file and frees
// it on the user-interface thread. PostLog may be called from any thread; it
// is also the log callback handed to every driver library instance.
#pragma once

#include "app/errors/ErrorCodes.h"
#include "common/log/LogCategories.h"

#include <cstdint>
#include <string>

namespace qmx {

// Sources of the main program's own lines.
inline constexpr const char* kLogSource = "QMX-410 Tools";
inline constexpr const char* kLogSourceNoBlank = "QMX-410Tools";

struct LogRecord {
  int category = 0;
  std::string source;
  std::string text;
};

// Receiver of posted records. Post takes ownership of the record; it must not
// block (the window posts it to its own event queue).
class LogTarget {
public:
  virtual ~LogTarget() = default;
  virtual void Post(LogRecord* record) = 0;
};

// Names the log target; nullptr removes it (records posted then are freed).
void SetLogTarget(LogTarget* target);
LogTarget* GetLogTarget();

// Closing flag: once set, PostLog drops every line. Written on the
// user-interface thread, read from any thread.
void SetClosingFlag(int value);
int GetClosingFlag();

// Error lines (category 0) posted so far under `source`, from any thread.
// The automatic scan compares the count around its driver call: a driver
// that logged a failure did not scan everything it found.
uint64_t ErrorLinesPosted(const std::string& source);

// Message boxes of the error-reporting functions: shown through
// Services().messageBox (app/model/Services.h; the frame installs the
// toolkit's box, tests script it). Returns the button pressed; without a box
// the text goes to standard error and the answer is 1.
int ShowBox(const std::string& text, unsigned flags);
inline constexpr unsigned kBoxIconStop = 0x10;
inline constexpr unsigned kBoxIconQuestion = 0x20;
inline constexpr unsigned kBoxIconWarning = 0x30;
inline constexpr unsigned kBoxIconInformation = 0x40;
inline constexpr unsigned kBoxYesNo = 0x4;
inline constexpr int kBoxIdYes = 6;

}  // namespace qmx

// Plain functions with the C calling convention, so the address of PostLog
// can be handed to the driver library as its log callback.
extern "C" void PostLog(int category, const char* source, const char* message);

void PostLog(int category, const std::string& source, const std::string& message);

// "Failed to create %s because of resource lack. Error Code: %d" box and/or the
// matching log line; each flag acts only when it equals 1.
void ShowResourceLackError(int code, const std::string& location, const std::string& partName, int showBox,
                           int writeLog);

// "%s. Error Code: %d" box and/or "[Error Code: %d] %s. Loc: %s." line.
void ShowError(int code, const std::string& location, const std::string& message, int showBox, int writeLog);

namespace qmx {

// Whether the function name ends its line with a full stop. Both forms are
// in the program's lines and each line keeps the form it has.
enum class FuncEnd { kStop, kNoStop };

// The "[Error Code: <code>] <text> Func: <func>." line: `text` is what comes
// between the code and the function name, its own full stop included
// ("Cannot find Communication driver. File: /opt/x/Tessivar.so.").
std::string ErrorFuncLine(int code, const std::string& text, const std::string& func,
                          FuncEnd end = FuncEnd::kStop);

// Posts that line on the error category (0) under `source`. The codes are
// named in app/errors/ErrorCodes.h.
void ReportError(int code, const std::string& text, const std::string& func, FuncEnd end = FuncEnd::kStop,
                 const char* source = kLogSource);

}  // namespace qmx
