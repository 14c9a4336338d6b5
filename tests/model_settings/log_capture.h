// Collects the log lines and message boxes of the model's readers and writers
// while it lives (the test's log target and box hook).
#pragma once

#include "app/model/Logging.h"
#include "app/model/Services.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qmx::test {

class LogCapture : public qmx::LogTarget {
public:
  LogCapture() {
    Boxes().clear();
    qmx::SetLogTarget(this);
    qmx::Services().messageBox = &LogCapture::BoxHook;
  }
  ~LogCapture() override {
    qmx::SetLogTarget(nullptr);
    qmx::Services().messageBox = nullptr;
  }

  void Post(qmx::LogRecord* record) override {
    std::lock_guard lock(mutex_);
    records_.push_back(*record);
    delete record;
  }

  std::vector<qmx::LogRecord> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }
  // Lines whose text starts with "[Error Code: <code>]".
  std::vector<qmx::LogRecord> WithCode(int code) const {
    const std::string prefix = "[Error Code: " + std::to_string(code) + "]";
    std::vector<qmx::LogRecord> out;
    for (const qmx::LogRecord& r : records()) {
      if (r.text.rfind(prefix, 0) == 0) out.push_back(r);
    }
    return out;
  }
  bool HasText(const std::string& text) const {
    const auto all = records();
    return std::any_of(all.begin(), all.end(), [&](const qmx::LogRecord& r) { return r.text == text; });
  }

  static std::vector<std::pair<std::string, unsigned>>& Boxes() {
    static std::vector<std::pair<std::string, unsigned>> boxes;
    return boxes;
  }

private:
  static int BoxHook(const std::string& text, unsigned flags) {
    Boxes().emplace_back(text, flags);
    return 1;
  }

  mutable std::mutex mutex_;
  std::vector<qmx::LogRecord> records_;
};

}  // namespace qmx::test
