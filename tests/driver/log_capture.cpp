#include "tests/driver/log_capture.h"

namespace qmx::test {

std::mutex LogCapture::lock_;
std::vector<LogLine> LogCapture::lines_;

void LogCapture::Callback(int level, const char* source, const char* text) {
  std::lock_guard<std::mutex> guard(lock_);
  lines_.push_back({level, source ? source : "", text ? text : ""});
}

void LogCapture::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  lines_.clear();
}

std::vector<LogLine> LogCapture::Lines() {
  std::lock_guard<std::mutex> guard(lock_);
  return lines_;
}

std::vector<LogLine> LogCapture::Matching(const std::string& part) {
  std::vector<LogLine> out;
  for (const auto& line : Lines()) {
    if (line.text.find(part) != std::string::npos) out.push_back(line);
  }
  return out;
}

bool LogCapture::Has(const std::string& text) {
  for (const auto& line : Lines()) {
    if (line.text == text) return true;
  }
  return false;
}

std::string LogCapture::Dump() {
  std::string out;
  for (const auto& line : Lines()) out += std::to_string(line.level) + " | " + line.text + "\n";
  return out;
}

}  // namespace qmx::test
