// Collects the log lines the model posts while a test runs.
#pragma once

#include "app/model/Logging.h"

#include <mutex>
#include <string>
#include <vector>

class ModelLogCapture : public qmx::LogTarget {
public:
  ModelLogCapture() { qmx::SetLogTarget(this); }
  ~ModelLogCapture() override { qmx::SetLogTarget(nullptr); }

  void Post(qmx::LogRecord* record) override {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(*record);
    delete record;
  }
  std::vector<qmx::LogRecord> Records() {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }
  // Whether a line holds `part`, optionally of one category.
  bool Has(const std::string& part, int category = -1) {
    for (const auto& r : Records()) {
      if (r.text.find(part) != std::string::npos && (category < 0 || r.category == category)) return true;
    }
    return false;
  }
  // The texts of the lines of one category, in order.
  std::vector<std::string> Lines(int category) {
    std::vector<std::string> lines;
    for (const auto& r : Records())
      if (r.category == category) lines.push_back(r.text);
    return lines;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
  }

private:
  std::mutex mutex_;
  std::vector<qmx::LogRecord> records_;
};
