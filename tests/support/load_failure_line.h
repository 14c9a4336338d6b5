#pragma once

#include <filesystem>
#include <string>

// The -1027 line of a catalogue or settings file that did not load: a file that is
// there but was refused carries the parser's reason (file and line) behind it.
inline bool IsLoadFailureLine(const std::string& text, const std::string& path) {
  const std::string base =
      "[Error Code: -1027] Cannot open the file. Check if the file exists or using. XML File: " + path + ".";
  if (!std::filesystem::exists(path)) return text == base;
  return text.rfind(base + " Cause: " + path + ", line ", 0) == 0;
}
