#include "app/model/AppOptions.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"
#include "platform/text/charset.h"
#include "platform/xml/xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

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

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void ReportSaveFailure(const std::string& path, int error) {
  std::string cause = error != 0 ? std::strerror(error) : "";
  if (cause.size() > 255) cause.resize(255);
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Error Code: %d] Cannot save the file. Cause: %s. Path: %s.", qmx::err::kFileSave, cause.c_str(),
                    path.c_str()));
  qmx::ShowBox(StrFormat("Cannot save the file. Cause: %s.\nError Code: %d. Path: %s.", cause.c_str(),
                         qmx::err::kFileSave,
                         path.c_str()),
               qmx::kBoxIconStop);
}

void ReportSaved(const std::string& path) {
  PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Save configuration is completed. Path: %s", path.c_str()));
}

// Writes the whole text into the file itself. 1 written; 0 after -1003
// (naming the file, which could not be opened) or -1006.
int SaveInPlace(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Cannot open the file during saving. Check if the file exists or using. "
                      "File: %s.",
                      qmx::err::kFileOpenForSave, path.c_str()));
    qmx::ShowBox(StrFormat("Cannot open the file during saving. Check if the file exists or using.\nError Code: "
                           "%d. File: %s.",
                           qmx::err::kFileOpenForSave, path.c_str()),
                 qmx::kBoxIconStop);
    return 0;
  }
  int error = 0;
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ReportSaveFailure(path, error);
    return 0;
  }
  ReportSaved(path);
  return 1;
}

// 0 when the folder's entries reached the disk, else the error. File systems
// that cannot synchronise a folder at all (EINVAL) keep nothing back.
int SyncFolder(const std::string& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  int error = 0;
  if (::fsync(dir) != 0 && errno != EINVAL) error = errno;
  ::close(dir);
  return error;
}

}  // namespace

int ParseConfigFile(const std::string& path, AppOptions& options, ConfigExtras& extras) {
  using namespace qmx::reader;
  LogStartParsing(path);
  qmx::xml::Document document;
  try {
    document = qmx::xml::Document::LoadFile(path);
  } catch (const qmx::xml::XmlError& e) {
    ReportLoadFailure(path, e.what());
    return 0;
  }

  std::string location;
  try {
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
  } catch (const qmx::xml::XmlError& error) {
    LogXmlException(qmx::kLogSource, error.what(), kFuncParseConfigFile, location, path);
  }
  LogEndParsing(path, 1);
  return 1;
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

int SaveConfigFile(const std::string& programFolder, const AppOptions& options, const ConfigExtras& extras) {
  const std::string path = (fs::path(programFolder) / qmx::kConfigFileName).string();
  // The new text goes to a file beside the old one; only a complete, flushed
  // file replaces it.
  const std::string temporary = path + ".tmp";
  const std::string bytes = FormatConfigFile(options, extras);

  // A save that was interrupted leaves its temporary behind; nothing else
  // would ever remove it.
  (void)::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  // An installed program's folder may refuse new files while the settings
  // file itself stays writable: then the file is rewritten where it is.
  if (fd < 0) return SaveInPlace(path, bytes);
  // The new file keeps the access rights of the one it replaces.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) (void)::fchmod(fd, old.st_mode & 07777);

  int error = 0;
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    ReportSaveFailure(path, error);
    return 0;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    // A settings file mounted on its own cannot be replaced, only rewritten.
    ::unlink(temporary.c_str());
    return SaveInPlace(path, bytes);
  }
  // The rename is durable only once the folder is; a folder that cannot be
  // synchronised may lose the new file at a power failure.
  std::string folder = fs::path(path).parent_path().string();
  if (folder.empty()) folder = std::string(1, '.');
  if (const int syncError = SyncFolder(folder); syncError != 0) {
    ReportSaveFailure(folder, syncError);
    return 0;
  }
  ReportSaved(path);
  return 1;
}
