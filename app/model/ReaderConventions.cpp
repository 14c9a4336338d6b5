#include "app/model/ReaderConventions.h"

#include <filesystem>

#include "app/model/Logging.h"
#include "common/Utility.h"

#include <climits>

namespace qmx::reader {

bool IsCommentOrPi(const xml::Node& node) {
  const xml::NodeType type = node.Type();
  return type == xml::NodeType::Comment || type == xml::NodeType::ProcessingInstruction;
}

bool IsBlankText(const xml::Node& node) {
  if (node.Type() != xml::NodeType::Text) return false;
  for (char ch : node.Text()) {
    if (ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n') return false;
  }
  return true;
}

std::string RequireAttribute(const xml::Node& node, const std::string& name) {
  if (!node || node.Type() != xml::NodeType::Element) throw xml::XmlError(kMissingNodeText);
  std::optional<std::string> value = node.FindAttribute(name);
  if (!value) throw xml::XmlError(kMissingNodeText);
  return std::move(*value);
}

xml::Node RequireNode(const xml::Document& document, const std::string& path) {
  xml::Node node = document.SelectSingleNode(path);
  if (!node) throw xml::XmlError(kMissingNodeText);
  return node;
}

int DecimalTextToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' ||
                             text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;  // saturate
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

void LogStartParsing(const std::string& path) {
  PostLog(kLogDeveloper, kLogSource, StrFormat("Start parsing definition file. File:%s", path.c_str()));
}

void LogEndParsing(const std::string& path, int result) {
  PostLog(kLogDeveloper, kLogSource,
          StrFormat("End parsing definition file. File:%s. Result: %d", path.c_str(), result));
}

namespace {

std::string WithoutLineBreak(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

void ReportLoadFailure(const std::string& path, const std::string& cause) {
  std::string line = StrFormat("[Error Code: %d] Cannot open the file. Check if the file exists or using. XML File: %s.",
                               err::kFileNotOpened, path.c_str());
  // A file that is there but was refused (broken markup, entity bound) carries the parser's
  // reason, so the engineer knows what to mend; a missing file needs no more than its name.
  std::error_code ec;
  if (!cause.empty() && std::filesystem::exists(path, ec)) line += StrFormat(" Cause: %s.", WithoutLineBreak(cause).c_str());
  PostLog(kLogError, kLogSource, line);
  ShowBox(StrFormat("Cannot open the file. Check if the file exists or using.\nXML File: %s.", path.c_str()),
          kBoxIconStop);
}

void LogXmlException(const std::string& source, const std::string& errorText, const std::string& function,
                     const std::string& location, const std::string& path) {
  const std::string text = WithoutLineBreak(errorText);
  PostLog(kLogError, source,
          StrFormat("[Error Code: %d] Exception is happened. %s. Func:%s. Loc:%s. xml file: %s.", err::kXmlException,
                    text.c_str(),
                    function.c_str(), location.c_str(), path.c_str()));
}

void LogNodeMissing(const char* source, const std::string& location, const std::string& function,
                    const std::string& path, const std::string& cause) {
  std::string line = StrFormat("[Error Code: %d] Node does not defined. Loc:%s. Func: %s. xml file: %s",
                               err::kNodeMissing,
                               location.c_str(), function.c_str(), path.c_str());
  if (!cause.empty()) line += StrFormat(". Cause: %s.", WithoutLineBreak(cause).c_str());
  PostLog(kLogError, source, line);
}

int ReadListFile(const std::string& path, const char* source, const char* function, std::string& location,
                 const std::function<void(const xml::Document&)>& read, const char* root) {
  LogStartParsing(path);
  xml::Document document;
  try {
    document = xml::Document::LoadFile(path, kDefinitionFileLimit);
  } catch (const xml::XmlError& e) {
    ReportLoadFailure(path, e.what());
    return 0;
  }
  if (const std::string held = document.Root() ? document.Root().Name() : std::string(); root && held != root) {
    ReportLoadFailure(path, StrFormat("The file holds a <%s> document, not a <%s> list", held.c_str(), root));
    return 0;
  }
  try {
    read(document);
  } catch (const xml::XmlError& error) {
    LogXmlException(source, error.what(), function, location, path);
  }
  LogEndParsing(path, 1);
  return 1;
}

}  // namespace qmx::reader
