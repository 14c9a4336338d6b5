#include "app/model/TextIdList.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"
#include "platform/os/os.h"
#include "platform/xml/xml.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>

namespace fs = std::filesystem;

namespace {

std::string ListPath(const std::string& programFolder, const char* stem, const std::string& language) {
  const fs::path products = fs::path(programFolder) / "Products";
  const std::string name = StrFormat("%s%s.xml", stem, language.c_str());
  if (std::optional<fs::path> found = qmx::os::FindFileNoCase(products, name)) return found->string();
  return (products / name).string();
}

}  // namespace

std::string TextIdListPath(const std::string& programFolder, const std::string& language) {
  return ListPath(programFolder, "listTextId", language);
}

std::string ErrorListPath(const std::string& programFolder, const std::string& language) {
  return ListPath(programFolder, "listError", language);
}

TextIdMap::const_iterator TextIdMap::find(std::string_view key) const {
  if (slots_.empty()) return end();
  const uint32_t index = slots_[Slot(key)];
  return index == 0 ? end() : entries_.begin() + (index - 1);
}

TextIdMap::iterator TextIdMap::find(std::string_view key) {
  return entries_.begin() + (std::as_const(*this).find(key) - entries_.cbegin());
}

std::pair<TextIdMap::iterator, bool> TextIdMap::try_emplace(std::string_view key, const TextIdEntry& entry) {
  // At most half the slots in use, so that a look-up probes few of them.
  if (2 * (entries_.size() + 1) > slots_.size()) Rehash(std::max<size_t>(16, 2 * slots_.size()));
  const size_t slot = Slot(key);
  if (slots_[slot] != 0) return {entries_.begin() + (slots_[slot] - 1), false};
  entries_.emplace_back(PooledText(key), entry);
  slots_[slot] = static_cast<uint32_t>(entries_.size());
  return {entries_.end() - 1, true};
}

void TextIdMap::reserve(size_t count) {
  entries_.reserve(count);
  size_t slots = 16;
  while (slots < 2 * count) slots *= 2;
  if (slots > slots_.size()) Rehash(slots);
}

void TextIdMap::clear() {
  entries_.clear();
  slots_.clear();
}

size_t TextIdMap::Slot(std::string_view key) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = std::hash<std::string_view>{}(key) & mask;; slot = (slot + 1) & mask) {
    const uint32_t index = slots_[slot];
    if (index == 0 || entries_[index - 1].first.str() == key) return slot;
  }
}

void TextIdMap::Rehash(size_t slots) {
  // The keys are distinct, so each one's slot is the first free one it meets.
  slots_.assign(slots, 0);
  for (size_t i = 0; i < entries_.size(); ++i) slots_[Slot(entries_[i].first.str())] = static_cast<uint32_t>(i + 1);
}

int ParseTextIdFile(const std::string& path, TextIdMap& map) {
  using namespace qmx::reader;
  std::string location = "/TextList/Text";
  const auto read = [&](const qmx::xml::Document& document) {
    const auto nodes = document.SelectNodes(location);
    map.reserve(map.size() + nodes.size());
    for (const qmx::xml::Node& node : nodes) {
      if (IsCommentOrPi(node)) continue;
      const std::string textId = RequireAttribute(node, "TextId");
      TextIdEntry entry;
      entry.value = RequireAttribute(node, "Value");
      entry.descValue = RequireAttribute(node, "DescValue");
      // The first entry of a text id wins.
      map.try_emplace(textId, entry);
    }
  };
  return ReadListFile(path, qmx::kLogSourceNoBlank, "ParseTextIdFile", location, read, "TextList");
}

int ParseErrorFile(const std::string& path, ErrorMap& map) {
  using namespace qmx::reader;
  std::string location = "/ErrorList/Category";
  const auto read = [&](const qmx::xml::Document& document) {
    for (const qmx::xml::Node& category : document.SelectNodes(location)) {
      if (IsCommentOrPi(category)) continue;
      const std::string generatorId = RequireAttribute(category, "GeneratorID");
      for (const qmx::xml::Node& child : category.Children()) {
        if (IsCommentOrPi(child) || IsBlankText(child)) continue;
        ErrorInfo info;
        const std::string value = RequireAttribute(child, "Value");
        info.errClass = RequireAttribute(child, "Class");
        info.description = RequireAttribute(child, "Description");
        info.action = RequireAttribute(child, "Action");
        info.key = StrFormat("%s_%s", generatorId.c_str(), value.c_str());
        info.code = DecimalTextToInt(value);
        // A later entry of a key replaces the earlier one.
        map[info.key] = std::move(info);
      }
    }
  };
  return ReadListFile(path, qmx::kLogSource, "ParseErrorFile", location, read, "ErrorList");
}

int GetErrInfo(const ErrorMap& map, const std::string& category, int code, std::string& errClass,
               std::string& description, std::string& action) {
  const auto it = map.find(StrFormat("%s_%d", category.c_str(), code));
  if (it == map.end()) {
    errClass.clear();
    description.clear();
    action.clear();
    qmx::ReportError(qmx::err::kErrorKeyUndefined,
                     StrFormat("Error value is undefined in listError.xml. Category: %s, Error Code: %d.",
                               category.c_str(), code),
                     "GetErrInfo");
    return 0;
  }
  errClass = it->second.errClass;
  description = it->second.description;
  action = it->second.action;
  return 1;
}

TextIdEntry GetTextIdTexts(const TextIdMap& map, const std::string& textId) {
  const auto it = map.find(textId);
  if (it == map.end()) {
    qmx::ReportError(qmx::err::kTextIdUndefined,
                     StrFormat("TextID is undefined in listTextId.xml. TextID: %s.", textId.c_str()), "GetTextIdValue",
                     qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
    return {};
  }
  return it->second;
}

std::string GetTextIdValue(const TextIdMap& map, const std::string& textId, std::string& description) {
  const TextIdEntry texts = GetTextIdTexts(map, textId);
  description = texts.descValue;
  return texts.value;
}
