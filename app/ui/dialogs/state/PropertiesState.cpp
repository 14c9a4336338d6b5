#include "app/ui/dialogs/state/PropertiesState.h"

#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/ui/dialogs/state/AddNaState.h"
#include "common/Utility.h"

#include <cstdint>

namespace qmx::dialogs {

std::string NodeAddressDefinition(const std::string& settableRange) {
  const std::string range = TrimStr(settableRange);
  return range.empty() ? std::string(kFullNodeRangeDefinition) : StrFormat("1,%s", range.c_str());
}

namespace {

PropertyRow Fixed(const std::string& name, const std::string& value) { return {name, value, {}, false, false}; }

// A specification item as a row: "name" or "name (unit)"; none when hidden
// or when the description does not name it (an item it does not have).
void AddSpec(std::vector<PropertyRow>& rows, const SpecItem& item, const std::string& value) {
  if (!item.visible || item.displayText.empty()) return;
  const std::string name =
      item.unit.empty() ? item.displayText : StrFormat("%s (%s)", item.displayText.c_str(), item.unit.c_str());
  rows.push_back(Fixed(name, value));
}

std::string DimensionText(const std::string& width, const std::string& height, const SpecItem& length) {
  return StrFormat("%s X %s X %s (WxHxL)", width.c_str(), height.c_str(), length.value.c_str());
}

}  // namespace

PropertiesState::PropertiesState(const TextIdMap& textIds, const ErrorMap& errors)
    : textIds_(textIds), errors_(errors) {}

bool PropertiesState::HasOk() const { return !(target_ && target_->IsType(kTypeIO)); }

void PropertiesState::SetTarget(Wrapper* object, const std::string& kindText) {
  target_ = object;
  kindText_ = kindText;
  rows_.clear();
  if (!object) return;
  if (object->IsType(kTypeProject)) {
    if (auto* project = dynamic_cast<CProjectUsr*>(object)) BuildProjectRows(*project);
  } else if (object->IsType(kTypeNA)) {
    if (auto* adapter = dynamic_cast<CNAUsr*>(object)) BuildAdapterRows(*adapter);
  } else if (object->IsType(kTypeIO)) {
    BuildSpecRows(*object);
  }
}

void PropertiesState::BuildProjectRows(CProjectUsr& project) {
  // The interval travels to the adapters as 16 bits.
  savedInterval_ = static_cast<uint16_t>(project.commInterval);
  savedUpdateTime_ = project.viewUpdateTime;
  savedFlags_ = {project.commIntervalChanged, project.viewUpdateTimeChanged};
  rows_.push_back(Fixed("Project File Path", project.filePath));
  rows_.push_back(Fixed("Bus Type", DisplayTextOf(textIds_, project.commType)));
  rows_.push_back(Fixed("# of Network Adapter", StrFormat("%d", static_cast<int>(project.Adapters().size()))));
  if (project.commTypeCode == kCommNone || project.commTypeCode == kCommNoDriver) return;
  const bool monitoring = project.monitoring != 0;
  rows_.push_back({"Communication Interval", StrFormat("%d", savedInterval_), monitoring ? "" : "1,50,10000",
                   !monitoring, false});
  rows_.push_back({"View Update Time", StrFormat("%d", project.viewUpdateTime), "1,100,10000", true, false});
}

void PropertiesState::BuildAdapterRows(CNAUsr& adapter) {
  savedIp_ = adapter.ipAddress;
  savedCom_ = adapter.comPort;
  savedSerial_ = adapter.serialSettings;
  savedNode_ = adapter.nodeAddress;
  savedFlags_ = {adapter.channelChanged, adapter.deviceChanged};
  const bool editable = adapter.monitoring == 0;
  auto comm = [&](const char* name, const std::string& value, const std::string& definition, bool serial) {
    if (value.empty()) return;
    rows_.push_back({name, value, editable ? definition : std::string(), editable, serial && editable});
  };
  const NADef* def = adapter.GetNADef();
  comm("IP Address", adapter.ipAddress, "3", false);
  // The range Add Network Adapter takes.
  comm("Com Port", adapter.comPort, "1,1,65535", false);
  comm("Serial Comm. Set", adapter.serialSettings, "", true);
  comm("Node Address", adapter.nodeAddress, NodeAddressDefinition(def ? def->settableNodeAddrRange.value.str() : ""),
       false);
  BuildSpecRows(adapter);
}

void PropertiesState::BuildSpecRows(Wrapper& object) {
  if (auto* adapter = dynamic_cast<CNAUsr*>(&object)) {
    const NADef* def = adapter->GetNADef();
    if (!def) return;
    rows_.push_back(Fixed("Model Name", adapter->GetModelName()));
    AddSpec(rows_, def->inputMaxSize, def->inputMaxSize.value);
    AddSpec(rows_, def->outputMaxSize, def->outputMaxSize.value);
    if (def->ioMaxDataSize.textId == "T_IOMaxDataSize") AddSpec(rows_, def->ioMaxDataSize, def->ioMaxDataSize.value);
    AddSpec(rows_, def->dimension, DimensionText(def->dimensionWidth, def->dimensionHeight, def->dimension));
    AddSpec(rows_, def->powerDissipation, def->powerDissipation.value);
    AddSpec(rows_, def->maxPowerForIOs, def->maxPowerForIOs.value);
    AddSpec(rows_, def->maxExpansion, def->maxExpansion.value);
    for (const SpecItem& item : def->moreSpecItems) AddSpec(rows_, item, item.value);
  } else if (auto* module = dynamic_cast<CIOUsr*>(&object)) {
    const IODef* def = module->GetIODef();
    if (!def) return;
    rows_.push_back(Fixed("Model Name", module->GetModelName()));
    AddSpec(rows_, def->dimension, DimensionText(def->dimensionWidth, def->dimensionHeight, def->dimension));
    AddSpec(rows_, def->powerDissipation, def->powerDissipation.value);
    AddSpec(rows_, def->allowedInSlots, def->allowedInSlots.value);
    for (const SpecItem& item : def->moreSpecItems) AddSpec(rows_, item, item.value);
  }
}

int PropertiesState::OnOK() {
  if (!target_) return 2;
  if (target_->IsType(kTypeProject)) return 1;
  auto* adapter = target_->IsType(kTypeNA) ? dynamic_cast<CNAUsr*>(target_) : nullptr;
  if (!adapter) return 2;
  if (!adapter->GetNADef()) {
    qmx::ShowBox("[Bug] NAUsr does not have NA definition obj. CPropertiesDlg", 0);
    return 0;
  }
  CProjectUsr* project = frame_.projectOf ? frame_.projectOf(*adapter) : nullptr;
  if (!project) {
    qmx::ShowBox("[Bug] Invalid NA's project tree handle.", 0);
    return 0;
  }
  const int code = adapter->GetNADef()->GetCommTypeCode(CNAUsr::GetCommTypeStr(project->commTypeCode));
  const int result = frame_.checkAdapter ? frame_.checkAdapter(*adapter, code) : 1;
  if (result == 1) return 1;
  if (result == 0) return 0;
  if ((code == kCommRs422 || code == kCommRs485) &&
      (result == qmx::err::kRuleComPort || result == qmx::err::kRuleSerialSetting)) {
    if (qmx::ShowBox("Do you want to apply new parameters of serial communication to all network adapter?",
                     qmx::kBoxYesNo | qmx::kBoxIconQuestion) != qmx::kBoxIdYes) {
      return 0;
    }
    if (frame_.applySerialToAll) frame_.applySerialToAll(*adapter);
    return 1;
  }
  std::string errClass, description, action;
  GetErrInfo(errors_, "ID_Ferrow", result, errClass, description, action);
  qmx::ShowBox(description, 0);
  return 0;
}

void PropertiesState::OnCancel() {
  if (!target_) return;
  if (auto* adapter = target_->IsType(kTypeNA) ? dynamic_cast<CNAUsr*>(target_) : nullptr) {
    adapter->ipAddress = savedIp_;
    adapter->comPort = savedCom_;
    adapter->serialSettings = savedSerial_;
    adapter->nodeAddress = savedNode_;
    adapter->channelChanged = savedFlags_[0];
    adapter->deviceChanged = savedFlags_[1];
  } else if (auto* project = target_->IsType(kTypeProject) ? dynamic_cast<CProjectUsr*>(target_) : nullptr) {
    project->commInterval = savedInterval_;
    project->viewUpdateTime = savedUpdateTime_;
    project->commIntervalChanged = savedFlags_[0];
    project->viewUpdateTimeChanged = savedFlags_[1];
  }
}

}  // namespace qmx::dialogs
