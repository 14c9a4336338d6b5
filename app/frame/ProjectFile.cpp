#include "app/frame/ProjectFile.h"

#include "app/errors/ErrorCodes.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/SaveFile.h"
#include "common/Utility.h"
#include "platform/os/replace_file.h"
#include "platform/text/charset.h"
#include "platform/xml/xml.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using qmx::xml::Node;
using qmx::xml::NodeType;

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kReaderFunc = "OpenRecursiveNodeInfo";

// A value as it goes into an attribute or element text. XML 1.0 cannot
// carry the other control characters at all, not even as references, so a
// file holding one could never be opened again: they become U+FFFD.
std::string XmlValue(const std::string& value) {
  std::string clean;
  clean.reserve(value.size());
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') clean += "\xEF\xBF\xBD";
    else clean += c;
  }
  return qmx::xml::EscapeAttribute(clean);
}

void Line(std::string& out, const std::string& text) {
  out += text;
  out += kLineEnd;
}

// Appends a value as XmlValue writes it; a value that needs no reference
// (nearly every one) goes in as it is.
void AppendValue(std::string& out, const std::string& value) {
  for (char c : value) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '&' || c == '<' || c == '>' || c == '"') {
      out += XmlValue(value);
      return;
    }
  }
  out += value;
}

// "<Node Category="%s" ID="%s" UserName="%s">", once per object.
void NodeLine(std::string& out, const std::string& category, const std::string& id, const std::string& name) {
  out += "<Node Category=\"";
  AppendValue(out, category);
  out += "\" ID=\"";
  AppendValue(out, id);
  out += "\" UserName=\"";
  AppendValue(out, name);
  out += "\">";
  out += kLineEnd;
}

void OpenTag(std::string& out, const char* tag) {
  out += '<';
  out += tag;
  out += '>';
}

// "</tag>" and the end of the line.
void CloseTagLine(std::string& out, const char* tag) {
  out += "</";
  out += tag;
  out += '>';
  out += kLineEnd;
}

// "<tag>text</tag>", the text given as it goes into the file.
void ElementLine(std::string& out, const char* tag, const std::string& text) {
  OpenTag(out, tag);
  out += text;
  CloseTagLine(out, tag);
}

// "<tag>value</tag>" of a value.
void ValueLine(std::string& out, const char* tag, const std::string& value) {
  OpenTag(out, tag);
  AppendValue(out, value);
  CloseTagLine(out, tag);
}

// Leading decimal digits as the program has always read numbers from its
// files: an optional sign, digits up to the first other character, 0 when
// there are none; clamped to the int range.
long long LeadingNumber(const std::string& text) {
  const std::string t = TrimStr(text);
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(t.c_str(), &end, 10);
  if (end == t.c_str()) return 0;
  return v;
}
int ToInt(const std::string& text) {
  const long long v = LeadingNumber(text);
  return static_cast<int>(v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : v);
}

void LogError(const char* source, const std::string& text) { PostLog(qmx::kLogError, source, text); }

std::string NormalPath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec);
  if (ec) p = fs::path(path);
  return p.lexically_normal().string();
}

bool IsAdapterCategory(const std::string& category) {
  for (const char* c : {"NA", "SNA", "KX", "KR"}) {
    if (CompareNoCase(category, c) == 0) return true;
  }
  return false;
}

// Why a path that is there is no project file, by what it names.
std::string NotAFileCause(mode_t mode) {
  const char* kind = S_ISDIR(mode)                    ? "a folder"
                     : S_ISFIFO(mode)                 ? "a pipe"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                     : S_ISSOCK(mode)                 ? "a socket"
                                                      : "a special file";
  return StrFormat("The path names %s, not a regular file", kind);
}

CNAUsr* AsAdapter(Wrapper* object) {
  return object && object->IsType(kTypeNA) ? dynamic_cast<CNAUsr*>(object) : nullptr;
}

}  // namespace

std::string ProjectBackupPath(const std::string& path) {
  return qmx::CacheBackupPath(qmx::os::FollowLinks(NormalPath(path)).string());
}

namespace {

// A save in place that was cut off leaves the project file broken (`cause`
// says how) and its backup whole: the backup's document, with one line,
// when it loads.
bool LoadBackupInstead(const std::string& path, const std::string& cause, qmx::xml::Document& doc) {
  const std::string backup = ProjectBackupPath(path);
  std::error_code ec;
  if (!fs::is_regular_file(backup, ec)) return false;
  try {
    doc = qmx::xml::Document::LoadFile(backup, kProjectFileLimit);
  } catch (const qmx::xml::XmlError&) {
    return false;
  }
  PostLog(qmx::kLogError, qmx::kLogSource,
          StrFormat("[Warning] The project file %s cannot be read (%s). Its backup %s is read instead.", path.c_str(),
                    cause.c_str(), backup.c_str()));
  return true;
}

}  // namespace

ProjectPathParts SplitProjectPath(const std::string& path) {
  ProjectPathParts parts;
  const size_t slash = path.find_last_of('/');
  parts.folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
  parts.fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = parts.fileName.find_last_of('.');
  parts.title = dot == std::string::npos ? parts.fileName : parts.fileName.substr(0, dot);
  return parts;
}

ProjectFiles::ProjectFiles(ProjectWorkspace& workspace, const IOCatalogue& modules)
    : workspace_(workspace), modules_(modules) {}

// ---------------------------------------------------------------------------
// Writing

void ProjectFiles::WriteProjectLines(const CProjectUsr& project, std::string& out) const {
  Line(out, "<?xml version=\"1.0\" encoding=\"euc-kr\"?>");
  Line(out, StrFormat("<ProjectDef AppVersion=\"%s\">", XmlValue(appVersion).c_str()));
  Line(out, StrFormat("<Project BusType=\"%s\">", XmlValue(project.commType).c_str()));
  Line(out, StrFormat("<Monitoring CommInterval=\"%u\" MonUpdateTime=\"%d\" />",
                      static_cast<unsigned>(static_cast<uint16_t>(project.commInterval)), project.viewUpdateTime));
  Line(out, StrFormat("<ScanInfo ComPortRange=\"%s\" NodeAddrRange=\"%s\" SerialCommSet=\"%s\" />",
                      XmlValue(project.comPortRange).c_str(), XmlValue(project.nodeAddressRange).c_str(),
                      XmlValue(project.serialSettings).c_str()));
  Line(out, "\t<Comment>");
  Line(out, XmlValue(project.title));
  Line(out, "\t</Comment>");
}

void ProjectFiles::WriteNodeLines(const Wrapper* object, std::string& out) const {
  static const std::string kNone;
  if (object && object->IsType(kTypeNA)) {
    const auto* adapter = dynamic_cast<const CNAUsr*>(object);
    const NADef* def = adapter ? adapter->GetNADef() : nullptr;
    NodeLine(out, def ? def->category : kNone, def ? def->ID : kNone, object->GetName());
    if (adapter) {
      out += "<Communication IpAddress=\"";
      AppendValue(out, adapter->ipAddress);
      out += "\" ComPort=\"";
      AppendValue(out, adapter->comPort);
      out += "\" SerialCommSet=\"";
      AppendValue(out, adapter->serialSettings);
      out += "\" NodeAddr=\"";
      AppendValue(out, adapter->nodeAddress);
      out += "\"></Communication>";
      out += kLineEnd;
    }
    ElementLine(out, "MonInit", object->GetImageHexStr("MON_INIT"));
    ElementLine(out, "Parameter", object->GetImageHexStr("PARA"));
    ElementLine(out, "OutputSet", object->GetImageHexStr("OUTPUT"));
    Line(out, "<DiagHistory>");
    if (adapter) {
      for (const std::string& entry : adapter->DiagHistory()) ValueLine(out, "Ref", entry);
    }
    Line(out, "</DiagHistory>");
    ValueLine(out, "Comment", object->title);
  } else if (object && object->IsType(kTypeIO)) {
    const auto* module = dynamic_cast<const CIOUsr*>(object);
    const IODef* def = module ? module->GetIODef() : nullptr;
    NodeLine(out, def ? def->category : kNone, def ? def->ID : kNone, object->GetName());
    ElementLine(out, "Parameter", object->GetImageHexStr("PARA"));
    ElementLine(out, "OutputSet", object->GetImageHexStr("OUTPUT"));
    ValueLine(out, "Comment", object->title);
  } else if (object && object->IsType(kTypeFolder)) {
    NodeLine(out, "Folder", kNone, object->GetName());
    ValueLine(out, "Comment", object->title);
  } else {
    qmx::ReportError(qmx::err::kUndefinedObjectKind,
                     StrFormat("Undefined Wrapper type. Type: %s.", object ? object->TypeTag().c_str() : ""),
                     "SaveNodeToXmlForPrj", qmx::FuncEnd::kNoStop);
  }
}

int ProjectFiles::SaveNodeToXmlForPrj(TreeItem item, std::string& out) const {
  const ProjectTree& tree = workspace_.tree();
  if (item == kNoTreeItem || !tree.Contains(item)) return 0;
  const Wrapper* object = tree.GetItemData(item);
  const bool isProject = object && object->IsType(kTypeProject);
  if (isProject) WriteProjectLines(*dynamic_cast<const CProjectUsr*>(object), out);
  else WriteNodeLines(object, out);
  for (TreeItem child = tree.GetChildItem(item); child != kNoTreeItem; child = tree.GetNextSiblingItem(child)) {
    SaveNodeToXmlForPrj(child, out);
  }
  if (isProject) {
    Line(out, "</Project>");
    Line(out, "</ProjectDef>");
  } else {
    Line(out, "</Node>");
  }
  return 0;
}

std::string ProjectFiles::ProjectFileBytes(const CProjectUsr& project) const {
  // Room up front for what a station or module takes in the file (about
  // 150 bytes): growing a text of a plant-sized project step by step costs
  // more than writing it.
  constexpr size_t kBytesPerNode = 256;
  std::string text;
  text.reserve(kBytesPerNode * workspace_.tree().SubtreeSize(project.treeItem));
  SaveNodeToXmlForPrj(project.treeItem, text);
  return qmx::text::Utf8ToEucKr(text);
}

int ProjectFiles::WriteFileReplacing(const std::string& path, const std::string& bytes) {
  // The new file is ".<file>.<pid>.<n>.tmp" beside it; what interrupted
  // saves of the same file left goes first. A folder that refuses new files
  // may still hold a file the user may write: it is rewritten where it is,
  // as the settings file is, beside its backup in the user's cache folder;
  // any other failure to make the new file (a full disk) would fail in place
  // too, after emptying it. A folder that could not be flushed after the
  // rename holds the new file all the same: the save is not refused for it.
  const qmx::SavePolicy policy{.naming = qmx::os::StagedName::kHiddenPerProcess,
                               .inPlace = qmx::SavePolicy::InPlace::kWhenTheFolderRefusesNewFiles,
                               .backups = {ProjectBackupPath(path)},
                               .loadLimit = kProjectFileLimit,
                               .folderSync = qmx::SavePolicy::FolderSync::kIsNoFailure,
                               .refuseUnwritableFile = true};
  return qmx::SaveFile(path, bytes, policy);
}

bool ProjectFiles::ConfirmSaveOverPartialFile(const CProjectUsr& project, const std::string& path) const {
  const auto it = partial_.find(&project);
  if (it == partial_.end() || it->second != NormalPath(path)) return true;
  return qmx::ShowBox(StrFormat("%s project was read from its file only in part; what could not be read is not in "
                                "the project.\nSaving replaces %s without that part. Do you want to save?",
                                project.GetName().c_str(), path.c_str()),
                      qmx::kBoxYesNo | qmx::kBoxIconWarning) == qmx::kBoxIdYes;
}

int ProjectFiles::SaveProject(const std::string& newName, const std::string& path, CProjectUsr* project) {
  if (!project) project = workspace_.GetSelectedProject(nullptr, {}, 0);
  if (!project) return 0;
  if (!ConfirmSaveOverPartialFile(*project, path)) return 0;

  if (WriteFileReplacing(path, ProjectFileBytes(*project)) != 1) return 0;

  if (!newName.empty()) {
    project->SetName(newName);
    if (workspace_.tree().Contains(project->treeItem)) workspace_.tree().SetItemText(project->treeItem, newName);
  }
  project->modified = 0;
  project->filePath = path;
  const auto partial = partial_.find(project);
  if (partial != partial_.end() && partial->second == NormalPath(path)) partial_.erase(partial);
  if (addRecentFile) addRecentFile(path);
  PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Save project is completed. Path: %s", path.c_str()));
  return 1;
}

// ---------------------------------------------------------------------------
// Reading

int ProjectFiles::IsSupportedAppVersion(const std::string& version) const {
  if (IsStrEmpty(version, 1)) return 0;
  std::string digits;
  for (char c : TrimStr(version)) {
    if (c != '.') digits += c;
  }
  return LeadingNumber(digits) >= minimumFileVersion ? 1 : 0;
}

bool ProjectFiles::IsModuleCategory(const std::string& category) const {
  for (const IOGroup& group : modules_.groups) {
    if (CompareNoCase(group.Category, category) == 0) return true;
  }
  return false;
}

void ProjectFiles::ReadProjectSettings(const qmx::xml::Document& doc, CProjectUsr& project, std::string& location) {
  location = "/ProjectDef/Project/Monitoring";
  if (Node monitoring = doc.SelectSingleNode(location)) {
    if (auto v = monitoring.FindAttribute("CommInterval"); v && !v->empty()) {
      project.commInterval = static_cast<uint16_t>(ToInt(*v));
    }
    if (auto v = monitoring.FindAttribute("MonUpdateTime"); v && !v->empty()) project.viewUpdateTime = ToInt(*v);
  }
  location = "/ProjectDef/Project/Comment";
  if (Node comment = doc.SelectSingleNode(location)) project.SetTitle(comment.Text());
  location = "/ProjectDef/Project/ScanInfo";
  if (Node scan = doc.SelectSingleNode(location)) {
    if (auto v = scan.FindAttribute("ComPortRange"); v && !v->empty()) project.comPortRange = *v;
    if (auto v = scan.FindAttribute("NodeAddrRange"); v && !v->empty()) project.nodeAddressRange = *v;
    if (auto v = scan.FindAttribute("SerialCommSet"); v && !v->empty()) project.serialSettings = *v;
  }
}

int ProjectFiles::OpenProject(const std::string& givenPath) {
  static const char* kFunc = "OpenProject";
  const std::string path = NormalPath(givenPath);
  const ProjectPathParts parts = SplitProjectPath(path);

  // Like with like: the path with the paths, the title (the project name a
  // file gives) with the names.
  if (workspace_.IsOpenedProject(path, parts.title)) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Warning] Open project already exists. Project: %s.", path.c_str()));
    qmx::ShowBox(StrFormat("Open project already exists.\nProject: %s.", path.c_str()), 0);
    return 0;
  }
  if (showStartView) showStartView();
  if (!xmlParserAvailable) {
    ShowError(qmx::err::kXmlParser, kFunc, "Cannot create XML Parser. Please install xml parser", 1, 1);
    return 0;
  }

  // A file that is there but was refused (too large, broken) says why.
  auto refuseOpen = [&path](const std::string& cause) {
    std::string line = StrFormat("[Error Code: %d] Cannot open the file. Check if the file exists or using. XML File: %s.",
                                 qmx::err::kFileNotOpened, path.c_str());
    if (!cause.empty()) line += StrFormat(" Cause: %s.", cause.c_str());
    PostLog(qmx::kLogError, qmx::kLogSource, line);
    qmx::ShowBox(StrFormat("Cannot open the file. Check if the file exists or using.\nXML File: %s.", path.c_str()),
                 qmx::kBoxIconStop);
    return 0;
  };
  // A pipe or a device would be read for as long as it gives bytes, or
  // wait for a writer for good.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return refuseOpen(NotAFileCause(info.st_mode));
  qmx::xml::Document doc;
  bool fromBackup = false;
  try {
    doc = qmx::xml::Document::LoadFile(path, kProjectFileLimit);
  } catch (const qmx::xml::XmlError& e) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return refuseOpen("");
    std::string cause = e.what();
    while (!cause.empty() && (cause.back() == '\n' || cause.back() == '\r')) cause.pop_back();
    if (!LoadBackupInstead(path, cause, doc)) return refuseOpen(cause);
    fromBackup = true;
  }

  std::string location;
  CProjectUsr* project = nullptr;
  readInPart_ = false;
  bool failed = false;
  try {
    location = "/ProjectDef";
    if (Node def = doc.SelectSingleNode(location)) {
      const std::string version = def.GetAttributeText("AppVersion");
      if (IsSupportedAppVersion(version) == 0) {
        PostLog(qmx::kLogError, qmx::kLogSource,
                StrFormat("[Error Code: %d] This version does not support the project that was created by version "
                          "%s. Project file: %s",
                          qmx::err::kVersionNotSupported, version.c_str(), path.c_str()));
        qmx::ShowBox(
            StrFormat("This version does not support the project that was created by version %s.", version.c_str()),
            0);
        return kOpenVersionRefused;
      }
    }
    location = "/ProjectDef/Project";
    const Node projectNode = doc.SelectSingleNode(location);
    if (!projectNode) {
      PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
              StrFormat("[Error Code: %d] Node does not defined. Loc:%s. Func: %s. xml file: %s",
                        qmx::err::kNodeMissing, location.c_str(), kFunc, path.c_str()));
      return kOpenNoProjectElement;
    }
    const std::string busType = projectNode.GetAttributeText("BusType");

    project = workspace_.CreateProject(parts.title, parts.folder);
    if (!project) {
      qmx::ReportError(qmx::err::kOutOfMemory, "Out of memory.", kFunc);
      return 0;
    }
    // The project is saved where it was read from, in the file name's own
    // case (a file system that tells cases apart has another file under the
    // upper-case extension).
    project->filePath = path;
    project->SetCommType(busType);

    ReadProjectSettings(doc, *project, location);
    location = "/ProjectDef/Project/Node";
    OpenRecursiveNodeInfo(doc.SelectNodes(location), project->treeItem, nullptr);
  } catch (const std::exception& e) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Error Code: %d] Exception is happened. %s. Func:%s. Loc:%s. xml file: %s.",
                      qmx::err::kXmlException, e.what(), kFunc, location.c_str(), path.c_str()));
    if (!project) return 0;
    failed = true;
    readInPart_ = true;
  }

  // A project read in part keeps its numbers and labels like any other, but
  // stays modified and asks before it is saved over the file it came from.
  // One read from its backup stays modified too: its own file is broken.
  workspace_.ReNumberingIOsDispath(kTypeProject, project->treeItem);
  workspace_.tree().SelectItem(project->treeItem);
  project->modified = readInPart_ || fromBackup ? 1 : 0;
  if (readInPart_) partial_[project] = path;
  if (failed) return 0;
  PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Open project is completed. Path: %s", path.c_str()));
  return 1;
}

void ProjectFiles::OpenNodeElement(const Node& node, TreeItem item, Wrapper* current) {
  const std::string category = node.GetAttributeText("Category");
  const std::string id = node.GetAttributeText("ID");
  const std::string userName = node.GetAttributeText("UserName");

  TreeItem newItem = kNoTreeItem;
  Wrapper* created = nullptr;
  if (IsAdapterCategory(category)) {
    created = workspace_.CreateNA(userName, id, newItem, nullptr);
    if (!created) NoteReadInPart();
  } else if (CompareNoCase(category, "Folder") == 0) {
    // Folders are not part of this program's trees: their content joins the
    // object around them, and the folder itself is not saved back.
    NoteReadInPart();
    OpenRecursiveNodeInfo(node.Children(), item, current);
    return;
  } else if (!IsModuleCategory(category)) {
    LogError(qmx::kLogSource, StrFormat("[Error Code: %d] Not allowed value in xml file. Value: %s. Loc: %s. Func: %s.",
                                        qmx::err::kValueNotAllowed, category.c_str(), "Node", kReaderFunc));
    NoteReadInPart();
    return;
  } else if (!AsAdapter(current)) {
    // A module belongs to an adapter; without one it would land wherever
    // the selection happens to be.
    if (!current) {
      LogError(qmx::kLogSource,
               StrFormat("[Error Code: %d] Wrapper object is null. NA node is not defined. Loc: %s. Func: %s.",
                         qmx::err::kNoCurrentObject, "Node", kReaderFunc));
    } else {
      LogError(qmx::kLogSource, StrFormat("[Error Code: %d] Wrapper object is not NAUsr. Loc: %s. Func: %s.",
                                          qmx::err::kNotAdapter, "Node", kReaderFunc));
    }
    NoteReadInPart();
    return;
  } else {
    created = workspace_.CreateIO(userName, id, newItem, nullptr, item);
    if (!created) {
      NoteReadInPart();
      return;  // its images and comment have no object to go to
    }
  }
  OpenRecursiveNodeInfo(node.Children(), newItem, created);
}

int ProjectFiles::OpenRecursiveNodeInfo(const std::vector<Node>& nodes, TreeItem item, Wrapper* current) {
  auto refuse = [this](const std::string& text) {
    LogError(qmx::kLogSource, text);
    NoteReadInPart();
  };
  auto fill = [this, current](const Node& node, const char* kind, int length,
                              const std::vector<uint8_t>* defaults) {
    const std::string text = node.Text();
    const int rc = current->GetParaIOSetValFromProject(text, kind, length, defaults);
    // A saved image the object has no room for is dropped as well.
    if (rc == 0 || (rc == 2 && length <= 0 && !IsStrEmpty(text, 1))) NoteReadInPart();
  };

  for (size_t i = 0; i < nodes.size(); ++i) {
    const Node& node = nodes[i];
    const NodeType type = node.Type();
    if (type == NodeType::Comment || type == NodeType::ProcessingInstruction) continue;
    const std::string name = node.Name();

    if (CompareNoCase(name, "Node") == 0) {
      OpenNodeElement(node, item, current);
      continue;
    }
    if (!current) {
      refuse(StrFormat("[Error Code: %d] Wrapper object is null. NA node is not defined. Loc: %s. Func: %s.",
                       qmx::err::kNoCurrentObject, name.c_str(), kReaderFunc));
      continue;
    }
    CNAUsr* adapter = AsAdapter(current);
    const bool adapterOrModule = adapter || current->IsType(kTypeIO);
    if (CompareNoCase(name, "Communication") == 0) {
      if (!adapter) {
        refuse(StrFormat("[Error Code: %d] Wrapper object is not NAUsr. Loc: %s. Func: %s.", qmx::err::kNotAdapter,
                         name.c_str(), kReaderFunc));
        continue;
      }
      adapter->SetCommSettings(node.GetAttributeText("IpAddress"), node.GetAttributeText("ComPort"),
                               node.GetAttributeText("SerialCommSet"), node.GetAttributeText("NodeAddr"));
    } else if (CompareNoCase(name, "MonInit") == 0) {
      if (!adapter) {
        refuse(StrFormat("[Error Code: %d] Wrapper object is not NAUsr and IOUsr. Loc: %s. Func: %s.",
                         qmx::err::kMonInitOwner, name.c_str(), kReaderFunc));
        continue;
      }
      fill(node, "MON_INIT", current->MonInitLength(), current->GetDefaultMonInitImage());
    } else if (CompareNoCase(name, "Parameter") == 0 || CompareNoCase(name, "OutputSet") == 0) {
      if (!adapterOrModule) {
        refuse(StrFormat("[Error Code: %d] Wrapper object is not NAUsr and IOUsr. Loc: %s. Func: %s.",
                         qmx::err::kNotAdapterOrModule, name.c_str(), kReaderFunc));
        continue;
      }
      if (CompareNoCase(name, "Parameter") == 0) fill(node, "PARA", current->ParaLength(), current->GetDefaultParaImage());
      else fill(node, "OUTPUT", current->OutputLength(), nullptr);
    } else if (CompareNoCase(name, "DiagHistory") == 0) {
      if (!adapter) {
        refuse(StrFormat("[Error Code: %d] Wrapper object is not NAUsr. Loc: %s. Func: %s.", qmx::err::kNotAdapter,
                         name.c_str(), kReaderFunc));
        continue;
      }
      // One line per child element: the line breaks the writer puts between
      // the elements (and around none, for an empty history) are no lines.
      for (const Node& entry : node.Children()) {
        if (entry.Type() == NodeType::Element) adapter->AddDiagHistory(entry.Text());
      }
    } else if (CompareNoCase(name, "Comment") == 0) {
      current->SetTitle(node.Text());
    } else {
      refuse(StrFormat("[Error Code: %d] Node does not defined. Loc:%s. Func: %s.", qmx::err::kNodeMissing,
                       name.c_str(), kReaderFunc));
    }
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Closing

int ProjectFiles::DeleteTreeObjects(TreeItem item) { return workspace_.DeleteTreeObjects(item); }

int ProjectFiles::CloseProject(CProjectUsr* project, TreeItem item, int remove, int ask) {
  if (!project) return 1;
  if (item == kNoTreeItem) item = project->treeItem;
  if (project->modified && ask == 1) {
    const std::string name = project->GetName();
    if (qmx::ShowBox(StrFormat("%s project is modified. Do you want to save?", name.c_str()),
                     qmx::kBoxYesNo | qmx::kBoxIconQuestion) == qmx::kBoxIdYes) {
      if (SaveProject({}, project->filePath, project) != 1 &&
          qmx::ShowBox(StrFormat("%s project is modified. Do you want to close it?", name.c_str()),
                       qmx::kBoxYesNo | qmx::kBoxIconQuestion) != qmx::kBoxIdYes) {
        return kCloseCancelled;
      }
    }
  }
  partial_.erase(project);
  const std::string name = project->GetName();
  if (remove == 1 && item == project->treeItem) {
    // Objects, the project and its item go together.
    workspace_.CloseProject(project);
  } else {
    DeleteTreeObjects(item);
    workspace_.DeleteItem(item);
    if (remove == 1) workspace_.CloseProject(project);
  }
  if (remove == 1 && ask == 1) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Project is closed. Project: %s", name.c_str()));
  }
  return 1;
}
