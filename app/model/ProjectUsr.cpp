#include "app/model/ProjectUsr.h"

#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/Services.h"
#include "common/Utility.h"

#include <algorithm>

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
  for (CNAUsr* adapter : adapters_) adapter->ReleaseCommLine(this);
  adapters_.clear();
  UnloadMultiDropDriver();
}

CommLine CProjectUsr::LineFor(CNAUsr* adapter) {
  CommLine line;
  line.project = this;
  line.commTypeCode = commTypeCode;
  line.commInterval = commInterval;
  line.sharedSession = &sharedLine_;
  line.setSharedChannel = [this](const std::string& channelText) { return SetChannelProperty(channelText); };
  line.leave = [this, adapter] { RemoveChild(adapter, 0); };
  return line;
}

void CProjectUsr::HandLines() {
  for (CNAUsr* adapter : adapters_) adapter->SetCommLine(LineFor(adapter));
}

void CProjectUsr::AddAdapter(CNAUsr* adapter) {
  if (!adapter || std::find(adapters_.begin(), adapters_.end(), adapter) != adapters_.end()) return;
  adapters_.push_back(adapter);
  adapter->SetCommLine(LineFor(adapter));
}

void CProjectUsr::RemoveChild(CNAUsr* adapter, int deleteFlag) {
  const auto it = std::find(adapters_.begin(), adapters_.end(), adapter);
  if (it != adapters_.end()) {
    adapters_.erase(it);
    adapter->ReleaseCommLine(this);
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
  HandLines();
  if (code != kCommRs422 && code != kCommRs485) return 2;
  if (sharedLine_.Loaded()) return HasSharedDriver() ? 1 : 0;  // loaded once per project
  sharedDriverFile = file;
  if (sharedLine_.Open(qmx::Paths().appDir, file, kSharedLineDriverNeeds, {kFunc, "Project: " + name_}) !=
      DriverSession::Opening::kOpened) {
    return 0;
  }
  PostLog(qmx::kLogGeneral, qmx::kLogSource,
          StrFormat("Device driver for %s is loaded successfully. %s", GetLabel(CurrentViewMode()).c_str(),
                    sharedLine_.LoadedText().c_str()));
  return 1;
}

int CProjectUsr::SetChannelProperty(const std::string& channelProperty) {
  const DriverEntryPoints& entries = sharedLine_.Entries();
  if (!HasSharedDriver() || !entries.drvSetChannelProperty) return 0;
  if (channelSent_ && channelProperty == lastChannelText_) return 1;
  const int result = entries.drvSetChannelProperty(SharedHandle(), name_.c_str(), channelProperty.c_str());
  if (result == 1) {
    lastChannelText_ = channelProperty;
    channelSent_ = true;
  }
  return result;
}

int CProjectUsr::StartComm() {
  return SharedComm(sharedLine_.Entries().drvStartComm, "Start monitoring is failed. See below log in detail.");
}

int CProjectUsr::StopComm() {
  return SharedComm(sharedLine_.Entries().drvStopComm, "drvStopComm is failed. See below log in detail.");
}

int CProjectUsr::SharedComm(int (*call)(DriverHandle), const char* failedBox) {
  if (!HasSharedDriver()) {
    const std::string text =
        StrFormat("The network adapter does not support online communication. %s.", GetModelName().c_str());
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank, text);
    qmx::ShowBox(text, 0);
    return 0;
  }
  const int result = call ? call(SharedHandle()) : 0;
  if (result > 0) return result;
  qmx::ShowBox(failedBox, 0);
  return 0;
}

int CProjectUsr::UnloadMultiDropDriver() {
  if (!sharedLine_.Loaded()) return 1;
  // Every adapter leaves the shared instance before it goes away.
  sharedLine_.Close("UnloadMultiDropDriver", name_);
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
    HandLines();
  } else if (key == "View Update Time") {
    viewUpdateTime = static_cast<int>(DecimalTextToInt64(value));
    viewUpdateTimeChanged = 1;
  } else {
    PostLog(qmx::kLogDeveloper, qmx::kLogSource,
            StrFormat("[Bug] Undefined property lable. Key: %s. Func: %s", key.c_str(), "ProjectUsr::ChagnedValueByUsr"));
  }
}
