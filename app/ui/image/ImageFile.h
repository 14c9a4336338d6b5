// Checked file output of the picture writers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>

namespace qmx {

// Creates (or truncates) the file and writes the parts one after the other.
// True only when every byte was written and the file was closed without an
// error. On failure the partial file is removed and `reason` holds the
// system's text for the error.
bool WritePictureFile(const std::filesystem::path& path,
                      std::initializer_list<std::span<const uint8_t>> parts, std::string& reason);

// Logs a failed save as an error line of the writers.
void LogPictureSaveError(const char* func, const std::filesystem::path& path, const std::string& reason);

}  // namespace qmx
