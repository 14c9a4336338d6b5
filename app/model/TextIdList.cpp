#include "app/model/TextIdList.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"
#include "platform/os/os.h"
#include "platform/xml/xml.h"

#include <filesystem>

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

int ParseTextIdFile(const std::string& path, TextIdMap& map) {
  using namespace qmx::reader;
  std::string location = "/TextList/Text";
  const auto read = [&](const qmx::xml::Document& document) {
    for (const qmx::xml::Node& node : document.SelectNodes(location)) {
      if (IsCommentOrPi(node)) continue;
      std::string textId = RequireAttribute(node, "TextId");
      TextIdEntry entry;
      entry.value = RequireAttribute(node, "Value");
      entry.descValue = RequireAttribute(node, "DescValue");
      // The first entry of a text id wins.
      map.try_emplace(std::move(textId), entry);
    }
  };
  return ReadListFile(path, qmx::kLogSourceNoBlank, "ParseTextIdFile", location, read);
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
  return ReadListFile(path, qmx::kLogSource, "ParseErrorFile", location, read);
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
