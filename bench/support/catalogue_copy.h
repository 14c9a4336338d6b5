// A private copy of the staged program folder, optionally with its
// catalogue multiplied: every available product of the adapter and module
// lists is offered `factor` times, each copy with its own description file
// and ID, and the text-id list holds every entry `factor` times (the copies
// under new ids), as a catalogue that many times larger would.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qmx::bench {

namespace catalogue_copy_detail {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The text between `key="` and the next quote on `line`, and where it starts.
inline bool AttributeAt(const std::string& line, const std::string& key, size_t& start, size_t& length) {
  const size_t at = line.find(key + "=\"");
  if (at == std::string::npos) return false;
  start = at + key.size() + 2;
  const size_t end = line.find('"', start);
  if (end == std::string::npos) return false;
  length = end - start;
  return true;
}

// "~k", the mark of copy k.
inline std::string Suffix(int k) {
  std::string suffix = "~";
  suffix += std::to_string(k);
  return suffix;
}

// Copy `k` of a description file name: "QMX-1808.xml" -> "QMX-1808~k.xml".
inline std::string CopyName(const std::string& file, int k) {
  const size_t dot = file.rfind('.');
  return file.substr(0, dot) + Suffix(k) + (dot == std::string::npos ? "" : file.substr(dot));
}

// Multiplies the item lines of a list and writes the description copies.
inline void MultiplyList(const std::filesystem::path& list, const std::filesystem::path& descriptions, int factor) {
  std::istringstream in(ReadAll(list));
  std::string out;
  for (std::string line; std::getline(in, line);) {
    out += line + "\n";
    size_t start = 0, length = 0;
    if (line.find("Available=\"true\"") == std::string::npos || !AttributeAt(line, "DefineFileName", start, length)) {
      continue;
    }
    const std::string file = line.substr(start, length);
    const std::filesystem::path source = descriptions / file;
    if (!std::filesystem::exists(source)) continue;
    const std::string text = ReadAll(source);
    size_t idStart = 0, idLength = 0;
    const size_t info = text.find("<DeviceInfo ");
    if (info == std::string::npos || !AttributeAt(text.substr(info), "ID", idStart, idLength)) continue;
    idStart += info;
    for (int k = 2; k <= factor; ++k) {
      std::string copy = text;
      copy.insert(idStart + idLength, Suffix(k));
      WriteAll(descriptions / CopyName(file, k), copy);
      std::string item = line;
      item.replace(start, length, CopyName(file, k));
      out += item + "\n";
    }
  }
  WriteAll(list, out);
}

inline void MultiplyTextIds(const std::filesystem::path& list, int factor) {
  std::istringstream in(ReadAll(list));
  std::string out;
  for (std::string line; std::getline(in, line);) {
    out += line + "\n";
    size_t start = 0, length = 0;
    if (line.find("<Text ") == std::string::npos || !AttributeAt(line, "TextId", start, length)) continue;
    for (int k = 2; k <= factor; ++k) {
      std::string copy = line;
      copy.insert(start + length, Suffix(k));
      out += copy + "\n";
    }
  }
  WriteAll(list, out);
}

}  // namespace catalogue_copy_detail

// Copies `dist` to `to` (replacing it) with the catalogue multiplied by `factor` (1: as shipped).
inline void CopyProgramFolder(const std::filesystem::path& dist, const std::filesystem::path& to, int factor) {
  namespace d = catalogue_copy_detail;
  std::filesystem::remove_all(to);
  std::filesystem::create_directories(to);
  std::filesystem::copy(dist, to, std::filesystem::copy_options::recursive);
  if (factor <= 1) return;
  const std::filesystem::path products = to / "Products";
  d::MultiplyList(products / "listNA.xml", products / "NA", factor);
  d::MultiplyList(products / "listIO.xml", products / "IO", factor);
  d::MultiplyTextIds(products / "listTextIdEng.xml", factor);
}

}  // namespace qmx::bench
