#include "app/model/ConfigValidation.h"

#include "app/errors/ErrorCodes.h"
#include "app/model/DataTypes.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "common/Utility.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

// Two fields of the same meaning: equal numbers ("9600" and "09600", "1"
// and "1.0"), else equal texts without regard to case.
bool SameField(const std::string& a, const std::string& b) {
  if (IsFloatStr(a) && IsFloatStr(b)) return std::strtod(a.c_str(), nullptr) == std::strtod(b.c_str(), nullptr);
  return CompareNoCase(a, b) == 0;
}

constexpr int kIconAdapterRow = 1;
constexpr int kIconModuleRule = 12;
constexpr int kIconProjectHeading = 0;

// Catalogue numbers are decimal texts; an empty text is 0.
long long Number(const std::string& text) { return DecimalTextToInt64(text); }

// The field-power group of a module, -1 when it names none.
long long FieldPowerGroup(const IODef* def) {
  if (!def || TrimStr(def->fieldPower.value).empty()) return -1;
  return Number(def->fieldPower.value);
}

// The running sums of one walk over an adapter's modules in slot order.
struct PowerWalk {
  explicit PowerWalk(const NADef* def) : budget(def ? Number(def->maxPowerForIOs.value) : 0) {}

  // Adds one module. Returns the group rule's verdict for it: true when the
  // module stands in another field-power group than the modules before it
  // without a cut-off in front of it.
  bool Add(const IODef* def) {
    consumption += def ? Number(def->powerDissipation.value) : 0;
    budget += def ? def->systemPwrExpansion : 0;
    const long long group = FieldPowerGroup(def);
    const bool groupBroken = group > 0 && group != lastGroup && lastGroup != -1 && !(def && def->fieldPwrCutoffBefore);
    if (group > 0) lastGroup = group;
    if (def && def->fieldPwrFreeNext) lastGroup = -1;
    return groupBroken;
  }
  bool OverBudget() const { return consumption > budget; }

  long long budget = 0;
  long long consumption = 0;
  long long lastGroup = -1;
};

// The address an adapter is reached by under a project's type code.
std::string AddressByType(int typeCode, const std::string& ip, const std::string& comPort,
                          const std::string& nodeAddress) {
  switch (typeCode) {
    case kCommTcp:
    case kCommUdp: return ip;
    case kCommRs232c: return comPort;
    case kCommRs422:
    case kCommRs485: return nodeAddress;
    default: return {};
  }
}

bool SharedLine(int typeCode) { return typeCode == kCommRs422 || typeCode == kCommRs485; }

}  // namespace

PowerBalance BalancePower(const NADef* adapter, const std::vector<const IODef*>& lineUp) {
  PowerWalk walk(adapter);
  PowerBalance balance;
  for (const IODef* def : lineUp) {
    walk.Add(def);
    balance.shortfall = std::max(balance.shortfall, walk.consumption - walk.budget);
  }
  balance.consumption = walk.consumption;
  return balance;
}

bool PowerChangeRefused(const PowerBalance& before, const PowerBalance& after) {
  if (after.shortfall <= 0) return false;
  if (before.shortfall <= 0) return true;
  return after.consumption > before.consumption && after.shortfall > before.shortfall;
}

bool SameSerialSettings(const std::string& a, const std::string& b) {
  const std::vector<std::string> x = SplitTrimmed(a, ','), y = SplitTrimmed(b, ',');
  if (x.size() != 4 || y.size() != 4) return CompareNoCase(a, b) == 0;
  for (size_t i = 0; i < 4; ++i) {
    if (!SameField(x[i], y[i])) return false;
  }
  return true;
}

std::string ProjectSerialSettingsText(const std::string& text) {
  const std::vector<std::string> f = SplitTrimmed(text, ',');
  if (f.size() != 4) return text;
  return StrFormat("%s, %s, %s, %s", f[0].c_str(), f[1].c_str(), f[2].c_str(), f[3].c_str());
}

ValidationItem::ValidationItem(std::string kindText, int iconIndex, std::string label, TreeItem item, int ruleCode,
                               std::string detailText)
    : kind(std::move(kindText)),
      icon(iconIndex),
      text(std::move(label)),
      treeItem(item),
      code(ruleCode),
      codeText(StrFormat("%d", ruleCode)),
      detail(std::move(detailText)) {}

ConfigValidator::ConfigValidator(ProjectWorkspace& workspace, const ErrorMap& errors)
    : workspace_(workspace), errors_(errors) {}

void ConfigValidator::RuleTexts(int code, std::string& errClass, std::string& description) const {
  std::string action;
  GetErrInfo(errors_, kValidationCategory, code, errClass, description, action);
}

int ConfigValidator::ValidateNA(CNAUsr* adapter, TreeItem adapterItem, ValidationList& results) {
  if (!adapter) return 0;
  const NADef* def = adapter->GetNADef();
  const int mode = workspace_.namingMode;
  std::vector<CIOUsr*> modules;
  workspace_.CollectIOUsrs(adapterItem, modules, 1);

  PowerWalk walk(def);
  const long long maxExpansion = def ? Number(def->maxExpansion.value) : 0;
  const long long inputMax = def ? Number(def->inputMaxSize.value) : 0;
  const long long outputMax = def ? Number(def->outputMaxSize.value) : 0;
  long long communicating = 0;
  long long inputs = def ? def->inputLength : 0;
  long long outputs = def ? def->outputLength : 0;
  bool powerReported = false, expansionReported = false, inputReported = false, outputReported = false;

  ValidationList rows;
  for (CIOUsr* module : modules) {
    const IODef* io = module->GetIODef();
    inputs += io ? io->inputLength : 0;
    outputs += io ? io->outputLength : 0;
    if (module->CanCommunication()) ++communicating;
    const bool groupBroken = walk.Add(io);

    const size_t heading = rows.size();
    rows.push_back(std::make_unique<ValidationItem>(kTypeIO, io ? io->iconIdx : 0, module->GetLabel(mode),
                                                    module->treeItem, 0, std::string()));
    auto fail = [&](int code) {
      std::string errClass, description;
      RuleTexts(code, errClass, description);
      rows.push_back(
          std::make_unique<ValidationItem>("Error", kIconModuleRule, errClass, module->treeItem, code, description));
    };
    if (!powerReported && walk.OverBudget()) {
      powerReported = true;
      fail(qmx::err::kRulePower);
    }
    if (!expansionReported && communicating > maxExpansion) {
      expansionReported = true;
      fail(qmx::err::kRuleExpansion);
    }
    if (!inputReported && inputs > inputMax) {
      inputReported = true;
      fail(qmx::err::kRuleInputSize);
    }
    if (!outputReported && outputs > outputMax) {
      outputReported = true;
      fail(qmx::err::kRuleOutputSize);
    }
    if (groupBroken) fail(qmx::err::kRuleFieldPowerGroup);
    if (rows.size() == heading + 1) rows.pop_back();  // nothing failed at this module
  }
  if (rows.empty()) return 1;
  results.push_back(std::make_unique<ValidationItem>("Loc", kIconAdapterRow, adapter->GetLabel(mode), adapterItem, 0,
                                                     std::string()));
  for (auto& row : rows) results.push_back(std::move(row));
  return 0;
}

int ConfigValidator::ValidatePrj(CProjectUsr* project, ValidationList& results, ValidationList& projectRows) {
  if (!project) return 0;
  const int mode = workspace_.namingMode;
  bool valid = true;
  for (CNAUsr* adapter : project->Adapters()) {
    if (ValidateNA(adapter, adapter->treeItem, results) == 0) valid = false;
  }

  ValidationList rows;
  const int type = project->commTypeCode;
  if (type != kCommNone && type != kCommNoDriver) {
    std::map<std::string, CNAUsr*> seen;
    const CNAUsr* portReference = nullptr;
    const CNAUsr* serialReference = nullptr;
    for (CNAUsr* adapter : project->Adapters()) {
      auto fail = [&](int code) {
        std::string errClass, description;
        RuleTexts(code, errClass, description);
        rows.push_back(std::make_unique<ValidationItem>("Error", kIconAdapterRow, adapter->GetLabel(mode),
                                                        adapter->treeItem, code, description));
      };
      const std::string address = adapter->GetCommAddress();
      if (TrimStr(address).empty()) {
        fail(qmx::err::kRuleAddressEmpty);
      } else if (seen.count(address)) {
        fail(qmx::err::kRuleAddressTwice);
      } else {
        seen.emplace(address, adapter);
      }
      if (!SharedLine(type)) continue;
      if (!portReference && !adapter->comPort.empty()) {
        portReference = adapter;
      } else if (portReference && CompareNoCase(adapter->comPort, portReference->comPort) != 0) {
        fail(qmx::err::kRuleComPort);
      }
      if (!serialReference && !adapter->serialSettings.empty()) {
        serialReference = adapter;
      } else if (serialReference && !SameSerialSettings(adapter->serialSettings, serialReference->serialSettings)) {
        fail(qmx::err::kRuleSerialSetting);
      }
    }
  }
  if (!rows.empty()) {
    projectRows.push_back(std::make_unique<ValidationItem>(
        project->TypeTag(), kIconProjectHeading, StrFormat("Project: %s", project->GetLabel(mode).c_str()),
        project->treeItem, 0, std::string()));
    for (auto& row : rows) projectRows.push_back(std::move(row));
    // The project rows lead the result; `projectRows` keeps no copies.
    ValidationList merged;
    for (auto& row : projectRows) merged.push_back(std::move(row));
    projectRows.clear();
    for (auto& row : results) merged.push_back(std::move(row));
    results = std::move(merged);
    valid = false;
  }
  return valid ? 1 : 0;
}

int ConfigValidator::IsValidNaPropInPrj(CProjectUsr* project, CNAUsr* adapter, int typeCode, int showBox,
                                        const std::string& ip, const std::string& comPort,
                                        const std::string& nodeAddress, const std::string& serialSettings) {
  std::string address, port = comPort, serial = serialSettings;
  if (project) {
    if (typeCode < kCommTcp || typeCode > kCommRs485) return 1;
    address = AddressByType(typeCode, ip, comPort, nodeAddress);
  } else if (adapter) {
    const ProjectTree& tree = workspace_.tree();
    const TreeItem parent = tree.GetParentItem(adapter->treeItem);
    if (parent == kNoTreeItem) {
      qmx::ShowBox("[Bug] Invalid NA's project tree handle.", 0);
      return 0;
    }
    Wrapper* object = tree.GetItemData(parent);
    project = object && object->IsType(kTypeProject) ? dynamic_cast<CProjectUsr*>(object) : nullptr;
    if (!project) {
      qmx::ShowBox("[Bug] Cannot get project tree handle.", 0);
      return 0;
    }
    if (typeCode < kCommTcp || typeCode > kCommRs485) return 1;
    address = AddressByType(typeCode, adapter->ipAddress, adapter->comPort, adapter->nodeAddress);
    port = adapter->comPort;
    serial = adapter->serialSettings;
  } else {
    qmx::ShowBox("[Bug] dwPrjPointer and dwNAPointer is NULL.", 0);
    return 0;
  }

  int result = 1;
  if (TrimStr(address).empty()) {
    result = qmx::err::kRuleAddressEmpty;
  } else {
    bool portDiffers = false, serialDiffers = false;
    for (CNAUsr* other : project->Adapters()) {
      if (other == adapter) continue;
      const std::string otherAddress = AddressByType(typeCode, other->ipAddress, other->comPort, other->nodeAddress);
      if (CompareNoCase(otherAddress, address) == 0) {
        result = qmx::err::kRuleAddressTwice;
        break;
      }
      if (CompareNoCase(other->comPort, port) != 0) portDiffers = true;
      if (!SameSerialSettings(other->serialSettings, serial)) serialDiffers = true;
    }
    if (result == 1 && SharedLine(typeCode)) {
      if (portDiffers) result = qmx::err::kRuleComPort;
      else if (serialDiffers) result = qmx::err::kRuleSerialSetting;
    }
  }
  if (result < 0) {
    std::string errClass, description;
    RuleTexts(result, errClass, description);
    if (showBox == 1) qmx::ShowBox(description, qmx::kBoxIconStop);
  }
  return result;
}

bool ConfigValidator::CheckFieldPowerValid(const std::string& operation) {
  static const char* kFunc = "MainFrame::CheckFieldPowerValid";
  CNAUsr* adapter = nullptr;
  std::string text;
  const TreeItem adapterItem = workspace_.GetSelNAUsr(adapter, text, kFunc, 0);
  if (!adapter) return false;
  Wrapper* selected = nullptr;
  if (workspace_.GetSelUsrObj(selected, text, kFunc, 0) == kNoTreeItem) return false;

  std::vector<CIOUsr*> order;
  workspace_.CollectIOUsrs(adapterItem, order, 1);
  auto definitions = [](const std::vector<CIOUsr*>& modules) {
    std::vector<const IODef*> defs;
    for (CIOUsr* module : modules) defs.push_back(module->GetIODef());
    return defs;
  };
  const PowerBalance before = BalancePower(adapter->GetNADef(), definitions(order));
  const auto at = std::find(order.begin(), order.end(), selected);
  if (operation == "REMOVE") {
    if (at != order.end()) order.erase(at);
  } else if (operation == "UP") {
    if (at == order.end() || at == order.begin()) return true;
    std::iter_swap(at, at - 1);
  } else if (operation == "DOWN") {
    if (at == order.end() || at + 1 == order.end()) return true;
    std::iter_swap(at, at + 1);
  } else {
    qmx::ReportError(qmx::err::kInvalidOperation, "Exception. Invalid operaion name.", kFunc);
    return false;
  }

  const bool budgetBinds = PowerChangeRefused(before, BalancePower(adapter->GetNADef(), definitions(order)));
  PowerWalk walk(adapter->GetNADef());
  for (CIOUsr* module : order) {
    const bool groupBroken = walk.Add(module->GetIODef());
    int refused = 0;
    if (budgetBinds && walk.OverBudget()) refused = qmx::err::kRulePower;
    else if (groupBroken) refused = qmx::err::kRuleFieldPowerChange;
    if (!refused) continue;
    std::string errClass, description;
    RuleTexts(refused, errClass, description);
    const std::string box =
        refused == qmx::err::kRulePower
            ? StrFormat("%s \n\nMax power: %dmA. Power after add: %dmA. ", description.c_str(),
                        static_cast<int>(walk.budget), static_cast<int>(walk.consumption))
            : StrFormat("%s ", description.c_str());
    qmx::ShowBox(box, qmx::kBoxIconStop);
    return false;
  }
  return true;
}

namespace {

// The verdict of a check command that found nothing: a log line and a box.
void ReportValid(const std::string& label, const char* what) {
  const std::string text = StrFormat("%s %s configuration is VALID.  ", label.c_str(), what);
  PostLog(qmx::kLogGeneral, qmx::kLogSource, text);
  qmx::ShowBox(text, qmx::kBoxIconInformation);
}

}  // namespace

void ConfigValidator::OnEditChkValidPrj(const ResultSink& showResult) {
  TreeItem item = kNoTreeItem;
  CProjectUsr* project = workspace_.GetSelectedProject(&item, {}, 0);
  if (!project) return;
  ValidationList results, projectRows;
  const std::string label = project->GetLabel(workspace_.namingMode);
  if (ValidatePrj(project, results, projectRows) == 1) {
    ReportValid(label, "project");
    return;
  }
  if (showResult) showResult("Project", label, item, " Some errors exist.", results);
}

void ConfigValidator::OnEditChkValidNa(const ResultSink& showResult) {
  CNAUsr* adapter = nullptr;
  std::string text;
  const TreeItem item = workspace_.GetSelNAUsr(adapter, text, "OnEditChkValidNa", 1);
  if (!adapter) return;
  ValidationList results;
  const std::string label = adapter->GetLabel(workspace_.namingMode);
  if (ValidateNA(adapter, item, results) == 1) {
    ReportValid(label, "network adapter");
    return;
  }
  if (showResult) showResult("NA", label, item, " Some errors exist.", results);
}
