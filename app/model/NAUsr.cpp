#include "app/model/NAUsr.h"

#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "common/Utility.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// Hands a record that the driver gave out back to it: 0 when the driver has
// no such entry point (logged with `code`, naming it and the adapter) or
// there is no record, else the driver's answer (0 for a failure).
template <class FreeEntry, class Record>
int FreeDriverRecord(FreeEntry freeEntry, DriverHandle handle, Record* record, int code, const char* entryName,
                     const std::string& modelName, const char* func) {
  if (!freeEntry) {
    qmx::ReportError(code,
                     StrFormat("Cannot find %s function. Contact the dealer. NA: %s.", entryName, modelName.c_str()),
                     func, qmx::FuncEnd::kNoStop);
    return 0;
  }
  if (!record) return 0;
  const int result = freeEntry(handle, record);
  return result > 0 ? result : 0;
}

constexpr const char* kInvalidProjectBox = "[Bug] Invalid NA's project tree handle.";

void LogErr(const char* source, const std::string& text) { PostLog(qmx::kLogError, source, text); }

}  // namespace

int CurrentViewMode() {
  const auto& viewMode = qmx::Services().viewMode;
  return viewMode ? viewMode() : 0;
}

// ---------------------------------------------------------------------------
// Construction, definition, settings

CNAUsr::CNAUsr() : Wrapper(kTypeNA) {}

CNAUsr::~CNAUsr() {
  UnloadCommunicateDriver();
  // The project's list never keeps a deleted adapter. The line is let go
  // first: taking the adapter out of the list takes the line back.
  const std::function<void()> leave = std::move(line_.leave);
  line_ = CommLine{};
  if (leave) leave();
  diagHistory_.clear();
  FreeOnlineImages();
}

void CNAUsr::SetNADef(const NADef* definition) {
  definition_ = definition;
  if (!definition) return;
  const std::vector<uint8_t>* defaults = definition->DefaultParaImage();
  std::vector<uint8_t> para(static_cast<size_t>(std::max(definition->paraLength, 0)), 0);
  if (defaults) std::copy_n(defaults->begin(), std::min(defaults->size(), para.size()), para.begin());
  CreateImages(definition->paraLength, definition->outputLength, para.empty() ? nullptr : para.data());
  const int monInitLength = definition->blockLength[kMonInit];
  const std::vector<uint8_t>* monDefaults = definition->DefaultMonInitImage();
  std::vector<uint8_t> monInit(static_cast<size_t>(std::max(monInitLength, 0)), 0);
  if (monDefaults) std::copy_n(monDefaults->begin(), std::min(monDefaults->size(), monInit.size()), monInit.begin());
  SetMonInitImage(monInitLength, monInit.empty() ? nullptr : monInit.data());
}

void CNAUsr::SetCommSettings(const std::string& ip, const std::string& port, const std::string& serial,
                             const std::string& node) {
  ipAddress = TrimStr(ip);
  comPort = TrimStr(port);
  serialSettings = TrimStr(serial);
  nodeAddress = TrimStr(node);
  LoadCommunicateDriver();
}

std::string CNAUsr::GetDefSerialCommSet() const {
  return definition_ ? definition_->settableNodeAddrRange.value : std::string();
}

void CNAUsr::AddDiagHistory(const std::string& line) { diagHistory_.push_back(TrimStr(line)); }

void CNAUsr::SetCommInterval(int ms) {
  updateTime_ = static_cast<uint16_t>(ms);
  deviceChanged = 1;
}

// ---------------------------------------------------------------------------
// Texts

std::string CNAUsr::GetModelName() const { return definition_ ? definition_->modelName : std::string(); }
std::string CNAUsr::GetOrderNumber() const { return definition_ ? definition_->orderNumber : std::string(); }
std::string CNAUsr::GetInfoText() const { return definition_ ? definition_->infoText : std::string(); }
std::string CNAUsr::GetHelpLink() const { return definition_ ? definition_->helpLink : std::string(); }
std::string CNAUsr::GetGraphicFile() const { return definition_ ? definition_->graphicFile : std::string(); }
int CNAUsr::GetByteOrderMode() const { return definition_ ? definition_->byteOrderMode : 0; }
int CNAUsr::GetSize() const { return definition_ ? definition_->inputLength : 0; }
std::string CNAUsr::GetDescription() const { return definition_ ? definition_->description : std::string(); }
const std::vector<uint8_t>* CNAUsr::GetDefaultParaImage() const {
  return definition_ ? definition_->DefaultParaImage() : nullptr;
}
const std::vector<uint8_t>* CNAUsr::GetDefaultMonInitImage() const {
  return definition_ ? definition_->DefaultMonInitImage() : nullptr;
}
int CNAUsr::IsConvByParaUsed() const { return definition_ ? definition_->convByPara : 0; }
uint16_t CNAUsr::GetProductCode() const { return definition_ ? definition_->GetProductCode() : 0; }

int CNAUsr::CommCode() const {
  if (!OnProject() || !definition_) return kCommNone;
  return definition_->GetCommTypeCode(GetCommTypeStr(line_.commTypeCode));
}

std::string CNAUsr::GetCommTypeStr(int code) {
  switch (code) {
    case kCommTcp:
      return "TCP";
    case kCommRs232c:
      return "RS232C";
    case kCommRs422:
      return "RS422";
    case kCommRs485:
      return "RS485";
    default:
      return "NONE_DRIVER";
  }
}

std::string CNAUsr::GetTreeUniqueName(int viewMode) const {
  if (!definition_) {
    LogErr(qmx::kLogSourceNoBlank, "[Bug] NaDef pointer is NULL. Func: GetTreeUniqueName");
    return "Unknown-Bug";
  }
  if (!OnProject()) {
    qmx::ShowBox(kInvalidProjectBox, 0);
    return {};
  }
  const int code = CommCode();
  std::string suffix;
  if (code == kCommTcp || code == kCommUdp) {
    suffix = StrFormat(" (%s)", ipAddress.c_str());
  } else if (code == kCommRs232c || code == kCommRs422 || code == kCommRs485) {
    suffix = StrFormat(" (Port:%s. Node:%s)", comPort.c_str(), nodeAddress.c_str());
  } else {
    suffix = StrFormat(" (Pos: %d)", posNo);
  }
  const std::string base = viewMode == 1 || viewMode == 2 ? GetModelName() : GetName();
  return base + suffix;
}

std::string CNAUsr::GetCommAddress() const {
  if (!definition_) return {};
  if (!OnProject()) {
    qmx::ShowBox(kInvalidProjectBox, 0);
    return {};
  }
  switch (CommCode()) {
    case kCommTcp:
    case kCommUdp:
      return ipAddress;
    case kCommRs232c:
      return comPort;
    case kCommRs422:
    case kCommRs485:
      return nodeAddress;
    default:
      return {};
  }
}

namespace {

std::string CommDesc(const CNAUsr& na, const char* portPattern, const char* nodeText) {
  std::string text;
  if (!na.ipAddress.empty()) text += ", IP Address: " + na.ipAddress;
  if (!na.comPort.empty()) text = StrFormat(portPattern, text.c_str(), na.comPort.c_str(), na.serialSettings.c_str());
  if (!na.nodeAddress.empty()) text += nodeText + na.nodeAddress;
  return text.size() >= 2 ? text.substr(2) : std::string();
}

}  // namespace

std::string CNAUsr::GetCommDescForDocu() const { return CommDesc(*this, "%s, COM Port: %s. %s", ". Node Address: "); }
std::string CNAUsr::GetCommDescShort() const { return CommDesc(*this, "%s, Port: %s. %s", ". Node: "); }

int CNAUsr::IsSupportOnline() const {
  if (!definition_) return 0;
  const int code = CommCode();
  return code != kCommNone && code != kCommNoDriver ? 1 : 0;
}

std::string CNAUsr::GetValueText(const std::string& key, const std::string& index) const {
  if (IsStrEmpty(key, 1) || IsStrEmpty(index, 1) || !definition_) return "INVALID";
  const std::string trimmed = TrimStr(index);
  if (!IsNumberStr(trimmed, 0, 0)) return "INVALID";
  const long long i = DecimalTextToInt64(trimmed);
  const auto it = definition_->valueLists.find(TrimStr(key));
  if (it == definition_->valueLists.end() || i < 0 || static_cast<size_t>(i) >= it->second.size()) return "INVALID";
  return it->second[static_cast<size_t>(i)].content;
}

namespace {

int ImgMode(const CNAUsr& na, const NADef* def, const char* key, int fallback, const char* func, std::string& text) {
  const ParaItem* item = def ? def->GetMonitoringMapInfo(kMonInit, key) : nullptr;
  if (!item) {
    text = StrFormat("%d", fallback);
    return fallback;
  }
  const std::string label = StrFormat("%s:%s", na.GetModelName().c_str(), item->textId.c_str());
  std::string value;
  if (na.GetUsrValFromPrjMemory(value, "MON_INIT", label, "", item->dataType, item->length, item->byteOffset,
                                item->bitOffset, nullptr) == 1) {
    na.GetParaValForUsr(text, "GetListDataIfCan", *item, value);
    return static_cast<int>(DecimalTextToInt64(value));
  }
  qmx::ReportError(qmx::err::kSettingValueUnreadable, "Cannot get setting value. See below log in detail.", func,
                   qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
  return static_cast<int>(DecimalTextToInt64(item->defaultValue));
}

}  // namespace

int CNAUsr::GetInputImgMode(std::string& text) const {
  return ImgMode(*this, definition_, "InputMode", 2, "GetInputImgMode", text);
}

int CNAUsr::GetOutputImgMode(std::string& text) const {
  return ImgMode(*this, definition_, "OutputMode", 1, "GetOutputImgMode", text);
}

std::string CNAUsr::GetParaValForUsr(std::string& out, const std::string& source, const ParaItem& item,
                                     const std::string& value) const {
  const std::string label = StrFormat("%s:%s", GetModelName().c_str(), item.textId.c_str());
  out = value;
  if (CompareNoCase(source, "GetListDataIfCan") != 0) {
    if (GetUsrValFromPrjMemory(out, source, label, "", item.dataType, item.length, item.byteOffset, item.bitOffset,
                               nullptr) != 1) {
      qmx::ReportError(qmx::err::kSettingValueUnreadable, "Cannot get setting value. See below log in detail.",
                       "GetParaValForUsr", qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
      out = item.defaultValue;
    }
  }
  if (!item.valueItemTarget.empty() && definition_) {
    const auto it = definition_->valueLists.find(item.valueItemTarget);
    if (it != definition_->valueLists.end()) {
      for (const ValueRecord& record : it->second) {
        if (CompareNoCase(record.content, out) == 0) {
          out = record.displayText;
          return out;
        }
      }
      LogErr(qmx::kLogSource,
             StrFormat("[Bug] NA Parameter value does not exist in value list. Target: %s, Value: %s. Caller: %s. "
                       "Func: %s.",
                       item.valueItemTarget.c_str(), out.c_str(), label.c_str(), "GetParaValForUsr"));
    }
  }
  return out;
}

void CNAUsr::ChagnedValueByUsr(const std::string& grid, const std::string& key, const ParaItem* para,
                               const IOItem* ioItem, const std::string& value) {
  if (CompareNoCase(grid, "Properties") == 0) {
    std::string* target = nullptr;
    if (CompareNoCase(key, "IP Address") == 0) {
      target = &ipAddress;
    } else if (CompareNoCase(key, "Com Port") == 0) {
      target = &comPort;
    } else if (CompareNoCase(key, "Serial Comm. Set") == 0) {
      target = &serialSettings;
    } else if (CompareNoCase(key, "Node Address") == 0) {
      target = &nodeAddress;
      deviceChanged = 1;
    }
    if (!target) {
      PostLog(qmx::kLogDeveloper, qmx::kLogSource,
              StrFormat("[Bug] Undefined property lable. Key: %s. Func: %s", key.c_str(), "NAUsr::ChagnedValueByUsr"));
      return;
    }
    *target = value;
    channelChanged = 1;
    return;
  }
  if (grid == "Parameters" && para &&
      (CompareNoCase(para->key, "InputMode") == 0 || CompareNoCase(para->key, "OutputMode") == 0)) {
    imageModeChanged = 1;
  }
  Wrapper::ChagnedValueByUsr(grid, key, para, ioItem, value);
}

// ---------------------------------------------------------------------------
// Online images

int CNAUsr::AllocOnlineImages() {
  // New images each time: views handed out keep the ones they were made from.
  for (size_t k = 0; k < onlineImages_.size(); ++k) {
    onlineImages_[k] = onlineLengths_[k] > 0
                           ? std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(onlineLengths_[k]), 0)
                           : nullptr;
  }
  driverLayout_ = false;
  return 1;
}

uint8_t* CNAUsr::OnlineImage(int kind) {
  if (kind < 0 || kind > 4 || !onlineImages_[static_cast<size_t>(kind)]) return nullptr;
  std::vector<uint8_t>& image = *onlineImages_[static_cast<size_t>(kind)];
  return image.empty() ? nullptr : image.data();
}

const uint8_t* CNAUsr::OnlineImage(int kind) const { return const_cast<CNAUsr*>(this)->OnlineImage(kind); }

int CNAUsr::OnlineLength(int kind) const {
  return kind < 0 || kind > 4 ? 0 : onlineLengths_[static_cast<size_t>(kind)];
}

void CNAUsr::FreeOnlineImages() {
  for (auto& image : onlineImages_) image.reset();
  onlineLengths_.fill(0);
  driverLayout_ = false;
}

// ---------------------------------------------------------------------------
// Driver binding

const CommDriverEntry* CNAUsr::DriverEntryOfLine() const {
  if (!OnProject() || !definition_) return nullptr;
  return definition_->FindCommDriver(GetCommTypeStr(line_.commTypeCode));
}

std::string CNAUsr::ChannelText(int code) const {
  const CommDriverEntry* entry = DriverEntryOfLine();
  const std::string bus = entry ? entry->commType : std::string();
  const std::string paras = entry ? entry->commParas : std::string();
  if (code == kCommTcp || code == kCommUdp) {
    return StrFormat("%s\t%s,%s", bus.c_str(), ipAddress.c_str(), paras.c_str());
  }
  if (code == kCommRs232c || code == kCommRs422 || code == kCommRs485) {
    return StrFormat("%s\t%s,%s,%s", bus.c_str(), comPort.c_str(), serialSettings.c_str(), paras.c_str());
  }
  return bus;
}

std::string CNAUsr::DeviceText() const {
  return StrFormat("%u\t%s,%s", static_cast<unsigned>(updateTime_),
                   definition_ ? definition_->productCodeText.c_str() : "", nodeAddress.c_str());
}

int CNAUsr::LoadCommunicateDriver() {
  static const char* kFunc = "LoadCommunicateDriver";
  if (!OnProject()) {
    qmx::ShowBox(kInvalidProjectBox, 0);
    return 0;
  }
  if (GetBinding() != Binding::kNone) UnloadCommunicateDriver();
  const std::string name = GetCommTypeStr(line_.commTypeCode);
  std::string fileName;
  std::string fileType;
  if (name != "NONE_DRIVER" && definition_) {
    if (const CommDriverEntry* entry = definition_->FindCommDriver(name)) {
      fileName = entry->fileName;
      fileType = entry->fileType;
    }
  }
  const std::string model = GetModelName();
  if (IsStrEmpty(fileName, 1) || IsStrEmpty(fileType, 1)) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource,
            StrFormat("[Warning: %d] Comm. driver don't be defined. So, some functions don't be supported. NA: %s. "
                      "Func: %s",
                      qmx::err::kDriverNotDefined, model.c_str(), kFunc));
    return 0;
  }
  const int code = definition_->GetCommTypeCode(name);
  if (code == kCommNone || code == kCommNoDriver) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource,
            StrFormat("Communication does not support online functions. NA: %s. Func: %s", model.c_str(), kFunc));
    return 0;
  }
  if (code == kCommRs422 || code == kCommRs485) return AttachMultiDropDriver();

  auto own = std::make_unique<DriverSession>();
  if (own->Open(qmx::Paths().appDir, StrFormat("%s.%s", TrimStr(fileName).c_str(), TrimStr(fileType).c_str()),
                kAdapterDriverNeeds, {kFunc, "NA: " + model}) != DriverSession::Opening::kOpened) {
    return 0;  // the library is released with `own`
  }
  ownSession_ = std::move(own);
  session_ = ownSession_.get();
  entries_ = session_->Entries();
  ChooseKey();

  // A text the driver refuses stays marked as changed, so the next online
  // call offers it again (the user may have corrected it by then); the
  // adapter stays bound and the refusal is reported instead of success.
  const std::string label = GetTreeUniqueName(CurrentViewMode());
  const int channel = entries_.drvSetChannelProperty(Handle(), label.c_str(), ChannelText(code).c_str());
  channelChanged = channel == 1 ? 0 : 1;
  if (channel != 1) ReportRefused("drvSetChannelProperty", channel, kFunc);
  const bool sent = SendDeviceAndModes(kFunc);
  if (channel == 1 && sent) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource,
            StrFormat("Device driver for %s is loaded successfully. %s", label.c_str(),
                      session_->LoadedText().c_str()));
  }
  return 1;
}

void CNAUsr::ChooseKey() {
  key_ = 0;
  const DeviceKey address = reinterpret_cast<DeviceKey>(this);
  const DeviceKey key = UnusedDeviceKey(Handle(), address);
  if (key != address) key_ = key;
}

bool CNAUsr::SendDeviceAndModes(const char* func) {
  const int device = SendDeviceProperty();
  deviceChanged = device == 1 ? 0 : 1;
  if (device != 1) ReportRefused("drvSetDeviceProperty", device, func);
  const int modes = SendProcessImgMode();
  if (modes != 1) ReportRefused("drvSetProcessImgMode", modes, func);
  moduleListChanged = 0;
  return device == 1 && modes == 1;
}

int CNAUsr::SendDeviceProperty() {
  NoteDeviceKnown(Handle(), Key());
  return entries_.drvSetDeviceProperty(Handle(), Key(), GetModelName().c_str(), DeviceText().c_str());
}

int CNAUsr::SendProcessImgMode() {
  std::string modeText;
  const int inputMode = GetInputImgMode(modeText);
  const int outputMode = GetOutputImgMode(modeText);
  return entries_.drvSetProcessImgMode(Handle(), Key(), inputMode, outputMode);
}

void CNAUsr::ReportRefused(const char* entry, int result, const char* func) const {
  qmx::ReportError(qmx::err::kDriverRefused,
                   StrFormat("%s is failed. Result: %d. NA: %s.", entry, result,
                             GetTreeUniqueName(CurrentViewMode()).c_str()),
                   func, qmx::FuncEnd::kNoStop);
}

int CNAUsr::AttachMultiDropDriver() {
  static const char* kFunc = "AttachMultiDropDriver";
  if (!OnProject()) {
    qmx::ShowBox(kInvalidProjectBox, 0);
    return 0;
  }
  DriverSession* shared = line_.sharedSession;
  if (!shared || !shared->HasInstance()) {
    qmx::ShowBox("[Bug] MultiDropCommDrvID is NULL", 0);
    return 0;
  }
  const CommDriverEntry* entry = DriverEntryOfLine();
  const std::string text =
      StrFormat("%s\t%s,%s,%s", entry ? entry->commType.c_str() : "", comPort.c_str(), serialSettings.c_str(),
                entry ? entry->commParas.c_str() : "");
  if (!line_.setSharedChannel || line_.setSharedChannel(text) != 1) {
    qmx::ShowBox("[Bug] SetDriverChannel is failed", 0);
    return 0;
  }
  if (!shared->Join(this, {"drvSetDeviceProperty", "drvSetProcessImgMode"}, {kFunc, "NA: " + GetModelName()},
                    [this] { DetachMultiDropDriver(); }, entries_)) {
    return 0;
  }
  session_ = shared;
  updateTime_ = static_cast<uint16_t>(line_.commInterval);
  ChooseKey();

  const bool sent = SendDeviceAndModes(kFunc);
  channelChanged = 0;
  if (sent) {
    PostLog(qmx::kLogGeneral, qmx::kLogSource,
            StrFormat("Device driver info is assigned successfully. %s",
                      GetTreeUniqueName(CurrentViewMode()).c_str()));
  }
  return 1;
}

int CNAUsr::DetachMultiDropDriver() {
  if (GetBinding() != Binding::kShared) return 1;
  // A device the driver could not remove (its line still runs, or it has no
  // drvRemoveDevice) keeps its key: no later adapter is given it.
  if (entries_.drvRemoveDevice && entries_.drvRemoveDevice(Handle(), Key()) == 1) NoteDeviceRemoved(Handle(), Key());
  session_->Leave(this);
  session_ = nullptr;
  entries_.ClearDeviceEntries();
  driverLayout_ = false;
  return 1;
}

void CNAUsr::ReleaseOwnDriver() {
  driverLayout_ = false;
  ownSession_->Close("UnloadCommunicateDriver", GetModelName());
  ownSession_.reset();
  session_ = nullptr;
  entries_.Clear();
}

int CNAUsr::UnloadCommunicateDriver() {
  // Released by what the adapter holds, not by the project's present type,
  // so an instance is never left behind (the project may be gone already).
  const Binding binding = GetBinding();
  if (binding == Binding::kShared) return DetachMultiDropDriver();
  if (binding == Binding::kOwn) {
    ReleaseOwnDriver();
    return 1;
  }
  if (!OnProject()) return 2;
  const int code = CommCode();
  return code == kCommNone || code == kCommNoDriver ? 2 : 1;
}

// ---------------------------------------------------------------------------
// Module list

int MakeModuleList(CNAUsr& adapter, std::vector<ModuleListRecord>& list) {
  adapter.FreeOnlineImages();
  adapter.commSeqNo = 0;
  const NADef* def = adapter.GetNADef();
  const int viewMode = CurrentViewMode();
  ModuleListRecord own;
  own.productCode = adapter.GetProductCode();
  own.typeTag = adapter.TypeTag();
  own.label = adapter.GetTreeUniqueName(viewMode);
  own.paraLength = static_cast<uint16_t>(def ? def->paraLength : 0);
  own.initLayout = def ? def->blockLayout[kMonInit] : std::string();
  own.freqLayout = def ? def->blockLayout[kMonFreq] : std::string();
  own.inputSize = static_cast<uint16_t>(def ? def->inputLength : 0);
  own.outputSize = static_cast<uint16_t>(def ? def->outputLength : 0);
  list.push_back(own);
  int para = 0, init = 0, freq = 0, input = 0, output = 0;
  adapter.SetHandles(para, init, freq, input, output);
  para += own.paraLength;
  init += def ? def->blockLength[kMonInit] : 0;
  freq += def ? def->blockLength[kMonFreq] : 0;
  input += own.inputSize;
  output += own.outputSize;

  std::vector<CIOUsr*> modules;
  if (const auto& modulesOf = qmx::Services().modulesOf) modules = modulesOf(adapter);
  int next = 1;
  for (CIOUsr* module : modules) {
    if (!module) continue;
    const IODef* io = module->GetIODef();
    module->commSeqNo = module->CanCommunication() ? next++ : -1;
    auto bits = [](const std::vector<std::unique_ptr<IOItem>>& items, const char* digital) {
      unsigned total = 0;
      for (const auto& item : items) {
        total += CompareNoCase(item->channelType, digital) == 0
                     ? item->length
                     : 8u * static_cast<unsigned>(GetDataTypeSize(item->dataType, item->length));
      }
      return static_cast<int>(total % 65536u);
    };
    std::string lastType;
    if (io && !io->outputItems.empty()) {
      lastType = io->outputItems.back()->channelType;
    } else if (io && !io->inputItems.empty()) {
      lastType = io->inputItems.back()->channelType;
    }
    ModuleListRecord record;
    record.productCode = static_cast<uint16_t>(module->GetProductCode());
    record.typeTag = module->TypeTag();
    record.label = module->GetLabel(viewMode);
    record.paraLength = static_cast<uint16_t>(io ? io->paraLength : 0);
    record.inputSize = static_cast<uint16_t>(io ? io->inputLength : 0);
    record.outputSize = static_cast<uint16_t>(io ? io->outputLength : 0);
    record.moduleLine =
        StrFormat("%s,%s,%d,%d,%d,%d,%d,%s,%d", io ? io->category.c_str() : "", io ? io->addrMapPriority.c_str() : "",
                  io ? io->inputChannelSize : 0, io ? io->outputChannelSize : 0, io ? bits(io->inputItems, "DI") : 0,
                  io ? bits(io->outputItems, "DO") : 0, io ? io->iconIdx : 0, lastType.c_str(), module->commSeqNo);
    list.push_back(record);
    module->SetHandles(para, init, freq, input, output);
    para += record.paraLength;
    input += record.inputSize;
    output += record.outputSize;
  }
  adapter.SetOnlineLength(kOnlinePara, para);
  adapter.SetOnlineLength(kOnlineMonInit, init);
  adapter.SetOnlineLength(kOnlineMonFreq, freq);
  adapter.SetOnlineLength(kOnlineInput, input);
  adapter.SetOnlineLength(kOnlineOutput, output);
  adapter.AllocOnlineImages();
  return 1;
}

// ---------------------------------------------------------------------------
// Online calls

int CNAUsr::SetModuleList() {
  static const char* kFunc = "SetModuleList";
  if (!OnProject()) {
    qmx::ShowBox(kInvalidProjectBox, 0);
    return 0;
  }
  if (!entries_.drvSetModuleList) {
    qmx::ReportError(qmx::err::kSetModuleListMissing,
                     StrFormat("Cannot find drvSetModuleList function. Contact the dealer. NA: %s.",
                               GetModelName().c_str()),
                     kFunc, qmx::FuncEnd::kNoStop);
    return 0;
  }
  // Each flag is cleared only once the driver took what it stands for; the
  // first refusal is the answer, the rest is still offered.
  int refused = 1;
  bool sent = false;
  const int code = CommCode();
  if (channelChanged) {
    int result = 1;
    if (code != kCommNone && code != kCommNoDriver && Handle() && code != kCommRs422 && code != kCommRs485 &&
        entries_.drvSetChannelProperty) {
      result = entries_.drvSetChannelProperty(Handle(), GetTreeUniqueName(CurrentViewMode()).c_str(),
                                              ChannelText(code).c_str());
    }
    if (result == 1) {
      channelChanged = 0;
      sent = true;
    } else {
      ReportRefused("drvSetChannelProperty", result, kFunc);
      refused = result;
    }
  }
  if (deviceChanged && Handle() && entries_.drvSetDeviceProperty) {
    const int result = SendDeviceProperty();
    if (result == 1) {
      deviceChanged = 0;
      sent = true;
    } else {
      ReportRefused("drvSetDeviceProperty", result, kFunc);
      if (refused == 1) refused = result;
    }
  }
  if (!moduleListChanged && !sent) return refused;
  std::vector<ModuleListRecord> records;
  MakeModuleList(*this, records);
  std::vector<ModuleListEntry> entries;
  entries.reserve(records.size());
  for (const ModuleListRecord& r : records) {
    entries.push_back(ModuleListEntry{r.productCode, r.typeTag.c_str(), r.label.c_str(), r.paraLength,
                                      r.initLayout.c_str(), r.freqLayout.c_str(), r.inputSize, r.outputSize,
                                      r.moduleLine.c_str()});
  }
  const int result = entries_.drvSetModuleList(Handle(), Key(), entries.data(), static_cast<int>(entries.size()));
  if (result == 1) {
    moduleListChanged = 0;
    driverLayout_ = true;
  } else {
    // The images were rebuilt for a layout the driver does not have: they
    // take no device bytes until a list is accepted.
    moduleListChanged = 1;
    ReportRefused("drvSetModuleList", result, kFunc);
  }
  return refused == 1 ? result : refused;
}

void CNAUsr::ReportNoDriver(const char* source, int showBox) const {
  const std::string text =
      StrFormat("The network adapter does not support online communication. %s.", GetModelName().c_str());
  LogErr(source, text);
  if (showBox) qmx::ShowBox(text, 0);
}

int CNAUsr::StartMonitoring(int prepareOnly) {
  if (!HasDriver()) {
    ReportNoDriver(qmx::kLogSourceNoBlank, 1);
    return 0;
  }
  SetModuleList();
  if (prepareOnly) return 1;
  const int result = entries_.drvStartComm ? entries_.drvStartComm(Handle()) : 0;
  if (result > 0) return result;
  qmx::ShowBox(StrFormat("[%s] Start monitoring is failed. See below log in detail.",
                         GetTreeUniqueName(CurrentViewMode()).c_str()),
               0);
  return 0;
}

int CNAUsr::StopMonitoring(int prepareOnly) {
  if (!HasDriver()) {
    ReportNoDriver(qmx::kLogSourceNoBlank, 1);
    return 0;
  }
  SetModuleList();
  if (prepareOnly) return 1;
  const int result = entries_.drvStopComm ? entries_.drvStopComm(Handle()) : 0;
  if (result > 0) return result;
  qmx::ShowBox("drvStopComm is failed. See below log in detail.", 0);
  return 0;
}

int CNAUsr::UpdateCommStatus(int16_t& status, int16_t& busError, int16_t& fieldPower) {
  status = kStatusFault;
  busError = kStatusFault;
  fieldPower = kStatusFault;
  uint8_t bytes[4] = {};
  if (HasDriver() && entries_.drvRead && entries_.drvRead(Handle(), Key(), 0, DRV_IMAGE_STATUS, bytes) > 0) {
    status = static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
    fieldPower = (bytes[2] & 0x80) ? kStatusFault : kStatusGood;
    const int bus = bytes[2] & 0x7F;
    busError = bus == 2 || bus == 3 ? kStatusFault : kStatusGood;
  }
  if (status == lastStatus_ && busError == lastBusError_ && fieldPower == lastFieldPower_) return 0;
  lastStatus_ = status;
  lastBusError_ = busError;
  lastFieldPower_ = fieldPower;
  return 1;
}

OnlineIOConfig* CNAUsr::GetOnlineConfig(const std::string& /*caller*/, int showBox) {
  if (!HasDriver()) {
    ReportNoDriver(qmx::kLogSource, showBox == 1);
    return nullptr;
  }
  SetModuleList();
  const intptr_t result = entries_.drvGetIOConfig ? entries_.drvGetIOConfig(Handle(), Key()) : 0;
  if (result > 0) return reinterpret_cast<OnlineIOConfig*>(result);
  if (showBox) qmx::ShowBox("drvGetIOConfig is failed. See below log in detail.", 0);
  return nullptr;
}

int CNAUsr::ClearGettedOnlineConfig(OnlineIOConfig* record) {
  return FreeDriverRecord(entries_.drvFreeGetIOConfig, Handle(), record, qmx::err::kFreeIOConfigMissing, "drvFreeGetIOConfig", GetModelName(),
                          "ClearGettedOnlineConfig");
}

OnlineBytes CNAUsr::ReadOnlineData(const Wrapper* object, int allModules, int kind, int readMode,
                                   const std::string& caller, int showBox, int logErrors) {
  auto report = [&](const char* source, const std::string& text, bool box) {
    if (logErrors == 1) LogErr(source, text);
    if (box && showBox == 1) qmx::ShowBox(text, 0);
  };
  const std::string& func = caller;
  if (!HasDriver()) {
    report(qmx::kLogSource, StrFormat("[Bug] Cannot find Communication driver. Func: %s", func.c_str()), true);
    return {};
  }
  if (kind < 0 || kind > 4) return {};
  if (readMode == 2) SetModuleList();
  int module = 0;
  int offset = 0;
  if (object && object->IsType(kTypeNA)) {
    module = allModules == 1 ? -1 : 0;
  } else if (object && object->IsType(kTypeIO)) {
    offset = object->onlineOffsets[static_cast<size_t>(kind)];
    if (offset < 0) {
      report(qmx::kLogSourceNoBlank,
             qmx::ErrorFuncLine(qmx::err::kNoCommOffset, "Cannot get online data because CommOffset <= 0.", func,
                                qmx::FuncEnd::kNoStop),
             false);
      return {};
    }
    module = object->commSeqNo;
    if (module < 0) {
      report(qmx::kLogSourceNoBlank,
             StrFormat("[Bug] Cannot get online data because iCommSeqNo < 0. Func: %s", func.c_str()), true);
      return {};
    }
  } else {
    report(qmx::kLogSourceNoBlank,
           StrFormat("[Bug] Cannot get online data because iCommRxOffset < 0. Func: %s", func.c_str()), true);
    return {};
  }
  const std::shared_ptr<std::vector<uint8_t>> image = onlineImages_[static_cast<size_t>(kind)];
  if (!image || image->empty() || static_cast<size_t>(offset) > image->size()) {
    report(qmx::kLogSourceNoBlank,
           qmx::ErrorFuncLine(qmx::err::kNoOnlineImage, "Cannot get online data because m_pOnlinValTotal is null.",
                              func, qmx::FuncEnd::kNoStop),
           true);
    return {};
  }
  // The driver copies as many bytes as its own layout says; it may write
  // into the images only while that layout is theirs.
  const bool mayRead = driverLayout_;
  if (readMode == 2) {
    if (!mayRead || !entries_.drvRead || entries_.drvRead(Handle(), Key(), module, kind, image->data() + offset) <= 0) {
      if (showBox) qmx::ShowBox("drvRead is failed. See below log in detail.", 0);
      return {};
    }
  }
  if (monitoring == 1) {
    if (!mayRead || !entries_.drvRead || entries_.drvRead(Handle(), Key(), -1, kind, image->data()) <= 0) {
      if (showBox) qmx::ShowBox("drvRead is failed during monitoring. See below log in detail.", 0);
      return {};
    }
  }
  return OnlineBytes(image, static_cast<size_t>(offset));
}

int CNAUsr::WriteOutputData(Wrapper* object, int kind, int useDefault, const std::string& caller, int showBox) {
  auto fail = [&](const std::string& text) {
    LogErr(qmx::kLogSource, text);
    if (showBox) qmx::ShowBox(text, 0);
    return 0;
  };
  if (!HasDriver()) return fail(StrFormat("[Bug] Cannot find Communication driver. Func: %s", caller.c_str()));
  if (kind == 2 || kind == 3) {
    return fail(StrFormat("[Bug] This function cannot the source type. Src Type: %d. Func: %s", kind, caller.c_str()));
  }
  // Sequence numbers the driver does not share would write into another
  // module: after a module list the driver refused, nothing is written.
  if (monitoring != 1 && SetModuleList() <= 0 && entries_.drvSetModuleList) {
    if (showBox) qmx::ShowBox("drvWriteByte is failed. See below log in detail.", 0);
    return 0;
  }
  const uint8_t* source = nullptr;
  int length = 0;
  if (object && kind == 0) {
    const std::vector<uint8_t>* defaults = object->GetDefaultParaImage();
    source = useDefault == 1 ? (defaults && !defaults->empty() ? defaults->data() : nullptr)
                             : (object->ParaLength() > 0 ? object->paraImage().data() : nullptr);
    length = object->ParaLength();
    if (useDefault == 1 && defaults && static_cast<int>(defaults->size()) < length) source = nullptr;
  } else if (object && kind == 4) {
    source = object->OutputLength() > 0 ? object->outputImage().data() : nullptr;
    length = object->OutputLength();
  } else if (object && kind == 1) {
    const std::vector<uint8_t>* defaults = object->GetDefaultMonInitImage();
    source = useDefault == 1 ? (defaults && !defaults->empty() ? defaults->data() : nullptr)
                             : (object->MonInitLength() > 0 ? object->monInitImage().data() : nullptr);
    length = object->MonInitLength();
    if (useDefault == 1 && defaults && static_cast<int>(defaults->size()) < length) source = nullptr;
  }
  if (length <= 0 || !source) {
    return fail(StrFormat("[Bug] Tx Length <= 0. Must be check before call this function. Func: %s", caller.c_str()));
  }
  if (entries_.drvWriteByte && entries_.drvWriteByte(Handle(), Key(), object->commSeqNo, kind, source, 0, length) > 0) {
    return 1;
  }
  if (showBox) qmx::ShowBox("drvWriteByte is failed. See below log in detail.", 0);
  return 0;
}

int CNAUsr::SendSpecialCmd(int command) {
  if (!entries_.drvSendSpecialCmd || !Handle()) {
    qmx::ReportError(qmx::err::kDriverFunctionMissing,
                     StrFormat("Cannot find drvSendSpecialCmd function. Contact the dealer. NA: %s.",
                               GetModelName().c_str()),
                     "SendSpecialCmd", qmx::FuncEnd::kNoStop);
    return 0;
  }
  const int result = entries_.drvSendSpecialCmd(Handle(), Key(), command);
  return result > 0 ? result : 0;
}

int CNAUsr::ShowAddresMap(int slot, int extra) {
  if (!entries_.drvShowAddresMap || !Handle()) {
    qmx::ReportError(qmx::err::kAddressMapUnsupported,
                     StrFormat("The network adapter does not support address map function. NA: %s.",
                               GetModelName().c_str()),
                     "ShowAddresMap", qmx::FuncEnd::kNoStop);
    qmx::ShowBox(StrFormat("The network adapter does not support address map. NA: %s.", GetModelName().c_str()),
                 qmx::kBoxIconStop);
    return 0;
  }
  std::string text;
  int16_t inputMode = static_cast<int16_t>(GetInputImgMode(text));
  int16_t outputMode = static_cast<int16_t>(GetOutputImgMode(text));
  SetModuleList();
  return entries_.drvShowAddresMap(Handle(), Key(), slot, &inputMode, &outputMode, extra);
}

AddressMapInfo* CNAUsr::GetAddresMap(int slot, int logIfMissing) {
  if (!entries_.drvGetAddresMap || !Handle()) {
    if (logIfMissing == 1) {
      qmx::ReportError(qmx::err::kDriverFunctionMissing,
                       StrFormat("Cannot find drvGetAddresMap function. Contact the dealer. NA: %s.",
                                 GetModelName().c_str()),
                       "GetAddresMap", qmx::FuncEnd::kNoStop);
    }
    return nullptr;
  }
  SetModuleList();
  if (entries_.drvSetProcessImgMode) {
    std::string text;
    const int inputMode = GetInputImgMode(text);
    const int outputMode = GetOutputImgMode(text);
    entries_.drvSetProcessImgMode(Handle(), Key(), inputMode, outputMode);
  }
  return entries_.drvGetAddresMap(Handle(), Key(), slot);
}

int CNAUsr::ClearGettedAddresMap(AddressMapInfo* record) {
  return FreeDriverRecord(entries_.drvFreeGetAddresMap, Handle(), record, qmx::err::kFreeAddressMapMissing, "drvFreeGetAddresMap", GetModelName(),
                          "ClearGettedAddresMap");
}
