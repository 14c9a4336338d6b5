#include "app/model/Logging.h"

#include "app/model/Services.h"
#include "common/Utility.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

namespace qmx {
namespace {

// Recursive, so a log target that itself logs while handing a record on
// does not dead-lock the thread.
std::recursive_mutex& LogLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::atomic<LogTarget*> g_target{nullptr};
std::atomic<int> g_closing{0};
// Under LogLock.
std::map<std::string, uint64_t>& ErrorCounts() {
  static std::map<std::string, uint64_t> counts;
  return counts;
}

}  // namespace

void SetLogTarget(LogTarget* target) {
  std::lock_guard lock(LogLock());
  g_target.store(target);
}

LogTarget* GetLogTarget() { return g_target.load(); }

uint64_t ErrorLinesPosted(const std::string& source) {
  std::lock_guard lock(LogLock());
  const auto it = ErrorCounts().find(source);
  return it == ErrorCounts().end() ? 0 : it->second;
}

void SetClosingFlag(int value) { g_closing.store(value); }
int GetClosingFlag() { return g_closing.load(); }

int ShowBox(const std::string& text, unsigned flags) {
  if (const auto& box = Services().messageBox) return box(text, flags);
  std::fprintf(stderr, "%s\n", text.c_str());
  return 1;
}

}  // namespace qmx

extern "C" void PostLog(int category, const char* source, const char* message) {
  if (qmx::g_closing.load()) return;
  std::lock_guard lock(qmx::LogLock());
  auto* record = new qmx::LogRecord{category, source ? source : "", message ? message : ""};
  if (category == qmx::kLogError) ++qmx::ErrorCounts()[record->source];
  if (qmx::LogTarget* target = qmx::g_target.load()) {
    target->Post(record);
  } else {
    // Nobody to show it yet: the line is dropped, not leaked.
    delete record;
  }
}

void PostLog(int category, const std::string& source, const std::string& message) {
  PostLog(category, source.c_str(), message.c_str());
}

void ShowResourceLackError(int code, const std::string& location, const std::string& partName, int showBox,
                           int writeLog) {
  if (showBox == 1) {
    qmx::ShowBox(StrFormat("Failed to create %s because of resource lack. Error Code: %d", partName.c_str(), code),
                 qmx::kBoxIconStop);
  }
  if (writeLog == 1) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Failed to create %s because of resource lack. Loc: %s. ", code,
                      partName.c_str(), location.c_str()));
  }
}

void ShowError(int code, const std::string& location, const std::string& message, int showBox, int writeLog) {
  if (showBox == 1) {
    qmx::ShowBox(StrFormat("%s. Error Code: %d", message.c_str(), code), qmx::kBoxIconStop);
  }
  if (writeLog == 1) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] %s. Loc: %s.", code, message.c_str(), location.c_str()));
  }
}

namespace qmx {

std::string ErrorFuncLine(int code, const std::string& text, const std::string& func, FuncEnd end) {
  std::string line = StrFormat("[Error Code: %d] ", code);
  line += text;
  line += " Func: ";
  line += func;
  if (end == FuncEnd::kStop) line += '.';
  return line;
}

void ReportError(int code, const std::string& text, const std::string& func, FuncEnd end, const char* source) {
  PostLog(kLogError, source, ErrorFuncLine(code, text, func, end).c_str());
}

}  // namespace qmx
