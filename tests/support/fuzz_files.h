// The files of a fuzz entry point, held in memory: the readers read them
// through ReadWholeFile (common/WholeFile.h) as if from the disk, so an input
// costs no file written, opened or removed. Paths the entry point put here
// are answered from memory; any other path is read from the disk (the shipped
// catalogue beside a list, say).
#pragma once

#include "common/WholeFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

namespace qmx::fuzz {

// A folder that is nowhere on the disk, for the inputs' paths.
inline constexpr const char* kMemoryFolder = "/qmx-fuzz-memory";

class MemoryFiles {
public:
  // Made once and never destroyed: the readers may ask it until the end.
  static MemoryFiles& Get() {
    static MemoryFiles* files = new MemoryFiles();
    return *files;
  }
  void Put(const std::string& path, const uint8_t* data, size_t size) {
    files_[path].assign(reinterpret_cast<const char*>(data), size);
  }
  void Put(const std::string& path, const std::string& bytes) { files_[path] = bytes; }

private:
  MemoryFiles() {
    SetWholeFileSource([this](const std::string& path) -> const std::string* {
      const auto it = files_.find(path);
      return it == files_.end() ? nullptr : &it->second;
    });
  }
  std::map<std::string, std::string> files_;
};

// A reader broke a promise of its interface: libFuzzer keeps the input.
[[noreturn]] inline void Broken() { std::abort(); }

}  // namespace qmx::fuzz
