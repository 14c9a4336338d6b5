// Reads the version block of a program or library file: the fixed record,
// the translation table and the string values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The fixed version record, field by field.
struct FixedFileInfo {
  uint32_t signature = 0;
  uint32_t strucVersion = 0;
  uint32_t fileVersionMS = 0;
  uint32_t fileVersionLS = 0;
  uint32_t productVersionMS = 0;
  uint32_t productVersionLS = 0;
  uint32_t fileFlagsMask = 0;
  uint32_t fileFlags = 0;
  uint32_t fileOS = 0;
  uint32_t fileType = 0;
  uint32_t fileSubtype = 0;
  uint32_t fileDateMS = 0;
  uint32_t fileDateLS = 0;
};
static_assert(sizeof(FixedFileInfo) == 52, "the fixed record is 52 bytes");

class FileVersionInfo {
public:
  FileVersionInfo();
  ~FileVersionInfo();

  int Load(const std::string& path);
  int LoadFixedInfo(const std::string& path);
  int LoadTranslations();
  uint32_t GetTranslation(int index) const;
  int GetTranslationCount() const { return translationCount_; }
  void SetCurrentTranslation(int index) { currentTranslation_ = index; }
  // Copies the value of `key` into buffer (at most size - 1 characters and a terminator).
  int GetStringValue(const char* key, char* buffer, int size) const;
  std::string GetStringValue(const std::string& key) const;
  void Clear();
  int IsValid() const { return valid_; }
  const FixedFileInfo& GetFixedInfo() const { return fixed_; }

  static const char* GetKeyName(int index);

private:
  // The value of `key` in the current translation, or nullptr.
  const std::string* FindStringValue(const char* key) const;

  FixedFileInfo fixed_;
  // The loaded block: translations (counted once the table is loaded) and
  // the string table.
  std::vector<uint32_t> block_translations_;
  std::map<std::string, std::string> block_strings_;
  bool hasBlock_ = false;
  int currentTranslation_ = 0;
  int translationCount_ = 0;
  int valid_ = 0;
};
