// Collects the lines the driver delivers through its log callback.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "driver/include/tessivar.h"

namespace qmx::test {

struct LogLine {
  int level;
  std::string source;
  std::string text;
};

class LogCapture {
public:
  static void Callback(int level, const char* source, const char* text);
  static void Clear();
  static std::vector<LogLine> Lines();
  // Lines whose text contains `part`.
  static std::vector<LogLine> Matching(const std::string& part);
  static bool Has(const std::string& text);
  static std::string Dump();

private:
  static std::mutex lock_;
  static std::vector<LogLine> lines_;
};

}  // namespace qmx::test
