// A private scratch folder for the fuzz entry points of the catalogue readers,
// which read files by path: made once per process, removed when it ends. No
// message box is installed, so the readers' box texts go to standard error.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace qmx::fuzz {

inline const std::filesystem::path& ScratchFolder() {
  // Kept on the heap and never destroyed, so the exit handler can still use it.
  static const std::filesystem::path* folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qmx-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return new std::filesystem::path(pattern);
  }();
  static const bool cleanup = [] {
    return std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*folder, ec);
    }) == 0;
  }();
  (void)cleanup;
  return *folder;
}

inline void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

// A reader broke a promise of its interface: libFuzzer keeps the input.
[[noreturn]] inline void Broken() { std::abort(); }

}  // namespace qmx::fuzz
