#include "app/model/ProjectUsr.h"

#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/Services.h"
#include "common/Utility.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

int CodeOfName(const std::string& name) {
  if (CompareNoCase(name, "TCP") == 0) return kCommTcp;
  if (CompareNoCase(name, "RS232C") == 0) return kCommRs232c;
  if (CompareNoCase(name, "RS422") == 0) return kCommRs422;
  if (CompareNoCase(name, "RS485") == 0) return kCommRs485;
  return kCommNone;
}

}  // namespace

CProjectUsr::CProjectUsr() : Wrapper(kTypeProject) {}

CProjectUsr::~CProjectUsr() {
  for (CNAUsr* adapter : adapters_) {
    if (adapter->ownerProject == this) adapter->ownerProject = nullptr;
  }
  adapters_.clear();
  UnloadMultiDropDriver();
}

void CProjectUsr::AddAdapter(CNAUsr* adapter) {
  if (!adapter || std::find(adapters_.begin(), adapters_.end(), adapter) != adapters_.end()) return;
  adapters_.push_back(adapter);
  adapter->ownerProject = this;
}

void CProjectUsr::RemoveChild(CNAUsr* adapter, int deleteFlag) {
  const auto it = std::find(adapters_.begin(), adapters_.end(), adapter);
  if (it != adapters_.end()) {
    adapters_.erase(it);
    if (adapter->ownerProject == this) adapter->ownerProject = nullptr;
  }
  if (deleteFlag == 1) delete adapter;  // its destructor leaves the shared instance first
}

void CProjectUsr::SetCommType(const std::string& type) {
  commType = type;
  AssignCommTypeLoadMultiDropDriver();
}

int CProjectUsr::AssignCommTypeLoadMultiDropDriver() {
  static const char* kFunc = "AssignCommTypeLoadMultiDropDriver";
  commTypeCode = kCommNone;
  int code = CodeOfName(commType);
  std::string file;
  if (const auto& lookup = qmx::Services().multiDropDriverFile) {
    code = kCommNone;
    file = lookup(commType, code);
  }
  commTypeCode = code;
  if (code != kCommRs422 && code != kCommRs485) return 2;
  if (library_.loaded()) return HasSharedDriver() ? 1 : 0;  // loaded once per project
  sharedDriverFile = file;
  const std::string path = (std::filesystem::path(qmx::Paths().appDir) / file).string();
  if (IsStrEmpty(file, 1) || !library_.Load(path)) {
    qmx::ReportError(qmx::err::kDriverFileMissing,
                     StrFormat("Cannot find Communication driver. File: %s.", path.c_str()), kFunc,
                     qmx::FuncEnd::kNoStop);
    return 0;
  }
  LookUpSharedEntryPoints(library_, entries_);
  if (const char* missing = MissingSharedBindingEntry(entries_)) {
    qmx::ReportError(qmx::err::kRequiredFunctionMissing,
                     StrFormat("Cannot find %s function. Contact the dealer. Project: %s.", missing, name_.c_str()),
                     kFunc, qmx::FuncEnd::kNoStop);
    library_.Free();
    entries_.Clear();
    return 0;
  }
  InstallDriverLogging(entries_, CurrentOptions());
  handle_ = entries_.drvInitialize();
  if (!handle_) {
    qmx::ReportError(qmx::err::kDriverInstance,
                     StrFormat("Cannot create comm. driver instance. May be out of memory. Project: %s.",
                               name_.c_str()),
                     kFunc, qmx::FuncEnd::kNoStop);
    return 0;
  }
  PostLog(qmx::kLogGeneral, qmx::kLogSource,
          StrFormat("Device driver for %s is loaded successfully. %s", GetLabel(CurrentViewMode()).c_str(),
                    LoadedDriverText(library_.LoadedPath().string()).c_str()));
  return 1;
}

int CProjectUsr::SetChannelProperty(const std::string& channelProperty) {
  if (!HasSharedDriver() || !entries_.drvSetChannelProperty) return 0;
  if (channelSent_ && channelProperty == lastChannelText_) return 1;
  const int result = entries_.drvSetChannelProperty(handle_, name_.c_str(), channelProperty.c_str());
  if (result == 1) {
    lastChannelText_ = channelProperty;
    channelSent_ = true;
  }
  return result;
}

int CProjectUsr::StartComm() {
  if (!HasSharedDriver()) {
    const std::string text =
        StrFormat("The network adapter does not support online communication. %s.", GetModelName().c_str());
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank, text);
    qmx::ShowBox(text, 0);
    return 0;
  }
  const int result = entries_.drvStartComm ? entries_.drvStartComm(handle_) : 0;
  if (result > 0) return result;
  qmx::ShowBox("Start monitoring is failed. See below log in detail.", 0);
  return 0;
}

int CProjectUsr::StopComm() {
  if (!HasSharedDriver()) {
    const std::string text =
        StrFormat("The network adapter does not support online communication. %s.", GetModelName().c_str());
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank, text);
    qmx::ShowBox(text, 0);
    return 0;
  }
  const int result = entries_.drvStopComm ? entries_.drvStopComm(handle_) : 0;
  if (result > 0) return result;
  qmx::ShowBox("drvStopComm is failed. See below log in detail.", 0);
  return 0;
}

int CProjectUsr::UnloadMultiDropDriver() {
  if (!library_.loaded()) return 1;
  // Every adapter leaves the shared instance before it goes away.
  const std::set<CNAUsr*> attached = attached_;
  for (CNAUsr* adapter : attached) adapter->DetachMultiDropDriver();
  attached_.clear();
  if (UninitializeDriverInstance(entries_, handle_, name_, "UnloadMultiDropDriver") == 1) {
    library_.Free();
  } else {
    KeepLibraryLoaded(std::move(library_));
  }
  handle_ = nullptr;
  entries_.Clear();
  channelSent_ = false;
  lastChannelText_.clear();
  return 1;
}

void CProjectUsr::ChagnedValueByUsr(const std::string& grid, const std::string& key, const ParaItem* para,
                                    const IOItem* ioItem, const std::string& value) {
  if (grid != "Properties") {
    Wrapper::ChagnedValueByUsr(grid, key, para, ioItem, value);
    return;
  }
  if (key == "Communication Interval") {
    commInterval = static_cast<int>(DecimalTextToInt64(value));
    commIntervalChanged = 1;
  } else if (key == "View Update Time") {
    viewUpdateTime = static_cast<int>(DecimalTextToInt64(value));
    viewUpdateTimeChanged = 1;
  } else {
    PostLog(qmx::kLogDeveloper, qmx::kLogSource,
            StrFormat("[Bug] Undefined property lable. Key: %s. Func: %s", key.c_str(), "ProjectUsr::ChagnedValueByUsr"));
  }
}
