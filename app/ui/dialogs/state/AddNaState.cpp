#include "app/ui/dialogs/state/AddNaState.h"

#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NADef.h"
#include "app/model/ProjectUsr.h"
#include "common/Utility.h"

#include <cstdlib>
#include <set>

namespace qmx::dialogs {

std::vector<const NADef*> AdaptersForBusType(const NACatalogue& catalogue, const std::string& busType) {
  std::set<const NADef*> hidden;
  for (const NACatalogueGroup& group : catalogue.groups) {
    for (const NACatalogueItem& item : group.items) {
      if (!item.shown && item.definition) hidden.insert(item.definition);
    }
  }
  std::vector<const NADef*> offered;
  for (const auto& def : catalogue.definitions) {
    if (!def || hidden.count(def.get())) continue;
    bool serves = CompareNoCase(def->busType, busType) == 0;
    if (!serves && def->busNumber > 1) {
      for (const std::string& further : def->busTypes) serves = serves || CompareNoCase(further, busType) == 0;
    }
    if (serves) offered.push_back(def.get());
  }
  return offered;
}

std::string DisplayTextOf(const TextIdMap& textIds, const std::string& textId) {
  const auto it = textIds.find(textId);
  return it == textIds.end() || it->second.value.empty() ? textId : it->second.value;
}

AddNaState::AddNaState(const NACatalogue& catalogue, const TextIdMap& textIds)
    : catalogue_(catalogue), textIds_(textIds) {}

void AddNaState::SetPrjCommInfo(CProjectUsr* project, int typeCode, const std::string& comPort,
                                const std::string& serialSettings, const std::string& nodeAddress) {
  project_ = project;
  typeCode_ = typeCode;
  proposedCom_ = comPort;
  proposedSerial_ = serialSettings;
  proposedNode_ = nodeAddress;
  offered_ = AdaptersForBusType(catalogue_, project ? project->commType : std::string());
  chosen_ = offered_.empty() ? nullptr : offered_.front();
}

std::string AddNaState::BusTypeLine() const {
  return StrFormat(" Project Bus Type: %s",
                   DisplayTextOf(textIds_, project_ ? project_->commType : std::string()).c_str());
}

AddNaFields AddNaState::InitialFields() const {
  AddNaFields fields;
  const std::string defaultSerial = chosen_ ? chosen_->factoryCommSetting : std::string();
  const bool serial = typeCode_ == kCommRs232c || typeCode_ == kCommRs422 || typeCode_ == kCommRs485;
  if (serial) {
    const std::string node = IsStrEmpty(proposedNode_, 1) ? "1" : TrimStr(proposedNode_);
    const long long n = IsIntStrInRange(node, 0, kNodeAddressCount - 1) ? std::atoll(node.c_str()) : 1;
    fields.nodeIndex = static_cast<int>(n);
  }
  switch (typeCode_) {
    case kCommTcp:
    case kCommUdp:
      fields.ipEnabled = true;
      fields.nodeIndex = 0;
      break;
    case kCommRs232c:
      fields.comEnabled = fields.nodeEnabled = fields.serialButtonEnabled = true;
      fields.comPort = IsStrEmpty(proposedCom_, 1) ? "1" : proposedCom_;
      fields.serialSettings = IsStrEmpty(proposedSerial_, 1) ? defaultSerial : proposedSerial_;
      break;
    case kCommRs422:
    case kCommRs485:
      fields.nodeEnabled = true;
      if (!IsStrEmpty(proposedCom_, 1)) {
        // The adapter joins the project's shared line as it is.
        fields.comPort = proposedCom_;
        fields.serialSettings = proposedSerial_;
      } else {
        fields.comEnabled = fields.serialButtonEnabled = true;
        fields.comPort = std::string(1, '1');
        fields.serialSettings = defaultSerial;
      }
      break;
    default: break;
  }
  return fields;
}

bool AddNaState::CheckSerial(const AddNaInput& input) {
  const std::string com = TrimStr(input.comPort);
  if (com.empty()) {
    qmx::ShowBox("Fill in a COM port.", 0);
    return false;
  }
  if (!IsIntStrInRange(com, 1, 65535)) {
    qmx::ShowBox("Input a valid COM port (1-65535 integer).", 0);
    return false;
  }
  if (IsStrEmpty(input.serialSettings, 0)) {
    qmx::ShowBox("Make serial communication setting by 'detail' button.", 0);
    return false;
  }
  const std::string node = TrimStr(input.nodeAddress);
  if (node.empty()) {
    qmx::ShowBox("Select a node address.", 0);
    return false;
  }
  const std::string range = chosen_ ? TrimStr(chosen_->settableNodeAddrRange.value) : std::string();
  if (!range.empty()) {
    const int minimum = std::atoi(GetToken(range, 1, ',', 1).c_str()) % 65536;
    const int maximum = std::atoi(GetToken(range, 2, ',', 1).c_str()) % 65536;
    const long long n = std::atoll(node.c_str());
    if (n < minimum || n > maximum) {
      qmx::ShowBox(StrFormat("Node address of selected network adapter can have %d ~ %d.", minimum, maximum), 0);
      return false;
    }
  }
  return true;
}

bool AddNaState::Complete(const AddNaInput& input) {
  result_ = AddNaInput{};
  AddNaInput accepted;
  switch (typeCode_) {
    case kCommTcp:
    case kCommUdp:
      if (!IsValidIpAddr(input.ip)) {
        qmx::ShowBox("Input a IP Address or Check IP Address format.", 0);
        return false;
      }
      accepted.ip = NormalizeIpAddr(input.ip);
      break;
    case kCommRs232c:
    case kCommRs422:
    case kCommRs485:
      if (!CheckSerial(input)) return false;
      accepted.comPort = TrimStr(input.comPort);
      accepted.serialSettings = input.serialSettings;
      accepted.nodeAddress = TrimStr(input.nodeAddress);
      break;
    default: break;
  }
  if (IsStrEmpty(input.title, 1)) {
    qmx::ShowBox("Input a title.", 0);
    return false;
  }
  accepted.title = input.title;
  if (project_ && check_ &&
      check_(project_, typeCode_, accepted.ip, accepted.comPort, accepted.nodeAddress, accepted.serialSettings) != 1) {
    return false;
  }
  if (!chosen_) {
    qmx::ShowBox("[Bug] Cannot find NA definition information.", 0);
    return false;
  }
  result_ = accepted;
  return true;
}

const NADef* AddNaState::GetResult(std::string& ip, std::string& comPort, std::string& serialSettings,
                                   std::string& nodeAddress, std::string& title) const {
  ip = result_.ip;
  comPort = result_.comPort;
  serialSettings = result_.serialSettings;
  nodeAddress = result_.nodeAddress;
  title = result_.title;
  return chosen_;
}

}  // namespace qmx::dialogs
