#include "app/model/AppOptions.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"
#include "platform/text/charset.h"
#include "platform/xml/xml.h"

AppOptions::AppOptions()
    : Language("Eng"),
      StartUpTitle("Kestun Main"),
      StartUpPath(qmx::kDefaultStartUpPath),
      ViewMode("User View"),
      WndEnable{1, 1, 0, 0},
      FileEnable{1, 1, 0, 0},
      MaxWndDisplay(1000),
      MaxLogFileSize(5),
      EraseOldLogFileDays(14) {}

void AppOptions::SetLogEnable(const std::string& section, int index, int value) {
  if (index < 0 || index > 3) return;
  if (CompareNoCase(section, "WND") == 0) {
    WndEnable[index] = value;
  } else if (CompareNoCase(section, "FILE") == 0) {
    FileEnable[index] = value;
  }
}

namespace {

constexpr const char* kFuncParseConfigFile = "ParseConfigFile";

// The view-mode number a file's ViewMode text selects.
int ViewModeNumber(const std::string& text) {
  if (CompareNoCase(text, "Application View") == 0) return 1;
  if (CompareNoCase(text, "Product View") == 0) return 1;
  if (CompareNoCase(text, "Product, Desc View") == 0) return 2;
  return 0;
}

// Reads the Value of every child of a switch list into the section's switches.
void ReadSwitches(const qmx::xml::Node& list, const char* section, AppOptions& options) {
  int position = 0;
  for (const qmx::xml::Node& child : list.Children()) {
    // Blank text between the elements is no node of the list.
    if (qmx::reader::IsBlankText(child)) continue;
    // Comments and processing instructions take a position but are not read.
    if (!qmx::reader::IsCommentOrPi(child)) {
      const std::string value = qmx::reader::RequireAttribute(child, "Value");
      options.SetLogEnable(section, position, qmx::reader::DecimalTextToInt(value));
    }
    ++position;
  }
}

std::string Esc(const std::string& value) { return qmx::xml::EscapeAttribute(value); }

}  // namespace

int ParseConfigFile(const std::string& path, AppOptions& options, ConfigExtras& extras) {
  using namespace qmx::reader;
  std::string location;
  const auto read = [&](const qmx::xml::Document& document) {
    location = "/Ferrowyn";
    qmx::xml::Node node = RequireNode(document, location);
    std::string copyright = RequireAttribute(node, "Copyright");
    if (!IsStrEmpty(copyright, 1)) extras.copyright = copyright;

    location = "/Ferrowyn/Options";
    node = RequireNode(document, location);
    options.Language = RequireAttribute(node, "Language");

    location = "/Ferrowyn/StartUp";
    node = RequireNode(document, location);
    options.StartUpTitle = RequireAttribute(node, "Title");
    options.StartUpPath = RequireAttribute(node, "Path");

    location = "/Ferrowyn/Default";
    node = RequireNode(document, location);
    options.ViewMode = RequireAttribute(node, "ViewMode");
    options.PrjUsrFolder = RequireAttribute(node, "PrjUsrFolder");
    if (!IsStrEmpty(options.PrjUsrFolder, 1)) extras.projectsFolder = options.PrjUsrFolder;
    if (!IsStrEmpty(options.ViewMode, 1)) {
      extras.viewMode = ViewModeNumber(options.ViewMode);
      extras.viewModeRead = true;
    }

    location = "/Ferrowyn/LogOption";
    node = RequireNode(document, location);
    options.MaxWndDisplay = DecimalTextToInt(RequireAttribute(node, "MaxWndDisplay"));
    options.MaxLogFileSize = DecimalTextToInt(RequireAttribute(node, "MaxLogFileSize"));
    options.EraseOldLogFileDays = DecimalTextToInt(RequireAttribute(node, "EraseOldLogFileDays"));

    location = "/Ferrowyn/LogOption/WndEnable";
    ReadSwitches(RequireNode(document, location), "WND", options);

    location = "/Ferrowyn/LogOption/FileEnable";
    ReadSwitches(RequireNode(document, location), "FILE", options);
  };
  return ReadListFile(path, qmx::kLogSource, kFuncParseConfigFile, location, read);
}

std::string FormatConfigFile(const AppOptions& options, const ConfigExtras& extras) {
  const char* const eol = "\r\n";
  std::string text;
  auto line = [&](const std::string& content) {
    text += content;
    text += eol;
  };
  line("<?xml version=\"1.0\" encoding=\"euc-kr\"?>");
  line(StrFormat("<Ferrowyn Copyright=\"%s\">", Esc(extras.copyright).c_str()));
  line(StrFormat("<Options Language=\"%s\"/>", Esc(options.Language).c_str()));
  line(StrFormat("<StartUp Title=\"%s\" Path=\"%s\"/>", Esc(options.StartUpTitle).c_str(),
                 Esc(options.StartUpPath).c_str()));
  line(StrFormat("<Default ViewMode=\"%s\" PrjUsrFolder=\"%s\"/>", Esc(options.ViewMode).c_str(),
                 Esc(options.PrjUsrFolder).c_str()));
  line(StrFormat("<LogOption MaxWndDisplay=\"%d\" MaxLogFileSize=\"%d\" EraseOldLogFileDays=\"%d\">",
                 options.MaxWndDisplay, options.MaxLogFileSize, options.EraseOldLogFileDays));
  static const char* const kWndDesc[4] = {"Wnd General Information", "Wnd Error Information",
                                          "Wnd Communication Information", "Wnd Developer Information"};
  static const char* const kFileDesc[4] = {"File General Information", "File Error Information",
                                           "File Communication Information", "File Developer Information"};
  line("<WndEnable>");
  for (int i = 0; i < 4; ++i) line(StrFormat("<Assign Value=\"%d\" Desc=\"%s\"/>", options.WndEnable[i], kWndDesc[i]));
  line("</WndEnable>");
  line("<FileEnable>");
  for (int i = 0; i < 4; ++i) {
    line(StrFormat("<Assign Value=\"%d\" Desc=\"%s\"/>", options.FileEnable[i], kFileDesc[i]));
  }
  line("</FileEnable>");
  line("</LogOption>");
  line("</Ferrowyn>");
  // Values were escaped above, so characters outside EUC-KR become character
  // references that any XML reader turns back into the same text.
  return qmx::text::Utf8ToEucKr(text);
}
