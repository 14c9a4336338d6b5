#include "app/model/FileVersionInfo.h"

#include "common/Utility.h"
#include "platform/os/os.h"

#include <cstring>

namespace {

const char* const kKeyNames[] = {"Comments",        "CompanyName",      "FileDescription", "FileVersion",
                                 "InternalName",    "LegalCopyright",   "LegalTrademarks", "OriginalFilename",
                                 "PrivateBuild",    "ProductName",      "ProductVersion",  "SpecialBuild",
                                 "OLESelfRegister"};

}  // namespace

FileVersionInfo::FileVersionInfo() { Clear(); }
FileVersionInfo::~FileVersionInfo() { Clear(); }

void FileVersionInfo::Clear() {
  fixed_ = FixedFileInfo{};
  block_translations_.clear();
  block_strings_.clear();
  hasBlock_ = false;
  currentTranslation_ = 0;
  translationCount_ = 0;
  valid_ = 0;
}

int FileVersionInfo::Load(const std::string& path) {
  Clear();
  if (path.empty()) return 0;
  if (!LoadFixedInfo(path) || !LoadTranslations()) {
    Clear();
    return 0;
  }
  return valid_;
}

int FileVersionInfo::LoadFixedInfo(const std::string& path) {
  auto block = qmx::os::ReadVersionBlock(path);
  if (!block) return 0;
  std::memcpy(&fixed_, block->fixed, sizeof(fixed_));
  block_translations_ = std::move(block->translations);
  block_strings_ = std::move(block->strings);
  hasBlock_ = true;
  valid_ = fixed_.signature == qmx::os::kFixedInfoSignature ? 1 : 0;
  return valid_;
}

int FileVersionInfo::LoadTranslations() {
  if (!hasBlock_ || block_translations_.empty()) return 0;
  translationCount_ = static_cast<int>(block_translations_.size());
  return 1;
}

uint32_t FileVersionInfo::GetTranslation(int index) const {
  // Indexed in the reader's own table (no pointer into it), so copies of a
  // reader stay valid on their own.
  if (!valid_ || index < 0 || index >= translationCount_) return 0;
  return block_translations_[static_cast<size_t>(index)];
}

const std::string* FileVersionInfo::FindStringValue(const char* key) const {
  const uint32_t translation = GetTranslation(currentTranslation_);
  const std::string query = StrFormat("\\StringFileInfo\\%04X%04X\\%s", translation & 0xFFFFu,
                                      (translation >> 16) & 0xFFFFu, key);
  auto it = block_strings_.find(query);
  return it == block_strings_.end() ? nullptr : &it->second;
}

int FileVersionInfo::GetStringValue(const char* key, char* buffer, int size) const {
  if (!valid_ || !key || !buffer || size <= 0) return 0;
  std::memset(buffer, 0, static_cast<size_t>(size));
  const std::string* value = FindStringValue(key);
  if (!value) return 0;
  std::strncpy(buffer, value->c_str(), static_cast<size_t>(size) - 1);
  buffer[size - 1] = '\0';
  return 1;
}

std::string FileVersionInfo::GetStringValue(const std::string& key) const {
  // The whole value, however long (a fixed buffer would cut long comments).
  if (!valid_) return {};
  const std::string* value = FindStringValue(key.c_str());
  return value ? *value : std::string();
}

const char* FileVersionInfo::GetKeyName(int index) {
  if (index < 0 || index >= static_cast<int>(sizeof(kKeyNames) / sizeof(kKeyNames[0]))) return nullptr;
  return kKeyNames[index];
}
