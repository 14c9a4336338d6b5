#include "app/ui/dialogs/state/AddIoState.h"

#include "app/errors/ErrorCodes.h"
#include "app/model/ConfigValidation.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NAUsr.h"
#include "common/Utility.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qmx::dialogs {

// A series code is an adapter category: the POWERLINK line ("KR", a category
// project files know for adapters) takes the "R..." module groups.
const SeriesGroupRule kSeriesGroupRules[3] = {{"NA", 'N'}, {"KR", 'R'}, {"GA", 'G'}};

std::vector<const IOGroup*> OfferedGroups(const IOCatalogue& catalogue, const std::string& seriesCode) {
  std::vector<const IOGroup*> groups;
  for (const SeriesGroupRule& rule : kSeriesGroupRules) {
    if (seriesCode != rule.seriesCode) continue;
    for (const IOGroup& group : catalogue.groups) {
      if (!group.Category.empty() && group.Category[0] == rule.groupInitial) groups.push_back(&group);
    }
    break;
  }
  return groups;
}

std::string StripPositionPrefix(const std::string& label) {
  size_t i = 0;
  if (i < label.size() && label[i] == '-') ++i;
  const size_t digits = i;
  while (i < label.size() && std::isdigit(static_cast<unsigned char>(label[i]))) ++i;
  if (i == digits || label.compare(i, 2, ": ") != 0) return label;
  return label.substr(i + 2);
}

namespace {

constexpr const char* kFuncCheck = "AddIoDlg::CheckFieldPowerValid";

// Catalogue values read as the C library reads them (leading digits; 0 for
// anything else).
long long CatalogueNumber(const std::string& text) { return std::atoi(text.c_str()); }

}  // namespace

AddIoState::AddIoState(const ErrorMap& errors) : errors_(errors) {}

AddIoState::~AddIoState() {
  // New modules not handed over are still the dialog's.
  if (handedOver_) return;
  for (Entry& entry : entries_) {
    if (entry.created) delete entry.module;
  }
}

void AddIoState::SetNAInfo(const std::string& displayName, CNAUsr* adapter) {
  adapterName_ = displayName;
  adapter_ = adapter;
}

void AddIoState::SetExpansionInfo(int maxExpansion, int presentCommunicating, int presentOther) {
  maxExpansion_ = maxExpansion;
  presentComm_ = presentCommunicating;
  presentOther_ = presentOther;
  total_ = presentCommunicating + presentOther;
}

void AddIoState::Init() {
  entries_.clear();
  for (CIOUsr* module : present_) {
    if (!module) continue;
    Entry entry;
    entry.module = module;
    entry.definition = module->GetIODef();
    entry.text = StripPositionPrefix(module->GetLabel(namingMode_));
    // In the product views the label shows the model; the user's own name
    // stays the module's name unless it is renamed here.
    entry.name = namingMode_ == 0 ? entry.text : module->GetName();
    entries_.push_back(std::move(entry));
  }
  selected_ = entries_.empty() ? -1 : static_cast<int>(entries_.size()) - 1;
}

std::string AddIoState::Label(size_t index) const {
  return index < entries_.size() ? StrFormat("%02d: %s", static_cast<int>(index + 1), entries_[index].text.c_str())
                                 : std::string();
}

bool AddIoState::Add(const IODef* definition, const std::string& userTitle) {
  if (!definition) {
    qmx::ShowBox("Select IO module to add up.", 0);
    return false;
  }
  if (definition->canCommunication == 1 &&
      static_cast<unsigned>(maxExpansion_) < static_cast<unsigned>(presentComm_ + addedComm_ + 1)) {
    qmx::ShowBox(StrFormat("Exceeded in expansion. Allowed max. expansion: %d", maxExpansion_), qmx::kBoxIconStop);
    return false;
  }
  if (total_ + 1 > kMaxModulesPerAdapter) {
    qmx::ShowBox(StrFormat("Exceeded in expansion. \n\nAllowed max. expansion including non-communicatable IO: %d",
                           total_),
                 qmx::kBoxIconStop);
    return false;
  }
  if (!CheckFieldPowerValid("ADD", definition)) return false;

  const std::string title = TrimStr(userTitle);
  Entry entry;
  entry.definition = definition;
  entry.created = true;
  entry.text = title.empty() ? definition->description : title;
  entry.name = entry.text;
  auto module = std::make_unique<CIOUsr>();
  if (adapter_) module->SetByteOrderMode(adapter_->GetByteOrderMode());
  module->SetIODef(definition);
  entry.module = module.release();

  const size_t at = selected_ < 0 ? entries_.size() : static_cast<size_t>(selected_) + 1;
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
  selected_ = static_cast<int>(at);
  ++total_;
  if (definition->canCommunication == 1) ++addedComm_;
  else ++addedOther_;
  modified_ = true;
  return true;
}

bool AddIoState::Remove() {
  if (selected_ < 0) return false;
  if (!CheckFieldPowerValid("REMOVE", nullptr)) return false;
  Entry entry = entries_[static_cast<size_t>(selected_)];
  entries_.erase(entries_.begin() + selected_);
  const bool communicating = entry.definition && entry.definition->canCommunication == 1;
  if (communicating) --addedComm_;
  else --addedOther_;
  if (entry.created) delete entry.module;
  else takenOut_.push_back(entry.module);
  --total_;
  modified_ = true;
  if (selected_ >= static_cast<int>(entries_.size())) selected_ = static_cast<int>(entries_.size()) - 1;
  return true;
}

bool AddIoState::MoveUp() {
  if (selected_ < 0) return false;
  if (!CheckFieldPowerValid("UP", nullptr)) return false;
  if (selected_ == 0) return false;  // the adapter is above the first module
  std::swap(entries_[static_cast<size_t>(selected_)], entries_[static_cast<size_t>(selected_ - 1)]);
  --selected_;
  modified_ = true;
  return true;
}

bool AddIoState::MoveDown() {
  if (selected_ < 0) return false;
  if (!CheckFieldPowerValid("DOWN", nullptr)) return false;
  if (selected_ + 1 >= static_cast<int>(entries_.size())) return false;
  std::swap(entries_[static_cast<size_t>(selected_)], entries_[static_cast<size_t>(selected_ + 1)]);
  ++selected_;
  modified_ = true;
  return true;
}

bool AddIoState::Rename(const std::string& newName) {
  const std::string name = TrimStr(newName);
  if (selected_ < 0 || name.empty()) return false;
  Entry& entry = entries_[static_cast<size_t>(selected_)];
  entry.text = name;
  entry.name = name;
  modified_ = true;
  return true;
}

void AddIoState::Refuse(int code, long long available, long long consumed) const {
  std::string errClass, description, action;
  GetErrInfo(errors_, kValidationCategory, code, errClass, description, action);
  const std::string text =
      code == qmx::err::kRulePower
          ? StrFormat("%s \n\nMax power: %dmA. Power after add: %dmA. ", description.c_str(),
                      static_cast<int>(available), static_cast<int>(consumed))
          : StrFormat("%s ", description.c_str());
  qmx::ShowBox(text, qmx::kBoxIconStop);
}

bool AddIoState::CheckFieldPowerValid(const std::string& operation, const IODef* source) {
  const bool add = CompareNoCase(operation, "ADD") == 0;
  if (add && !source) {
    qmx::ReportError(qmx::err::kInvalidOperation, "Exception. SrcIoDef is null in ADD operation.", kFuncCheck,
                     qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
    return false;
  }
  std::vector<const IODef*> lineUp;
  for (const Entry& entry : entries_) lineUp.push_back(entry.definition);
  const NADef* adapterDef = adapter_ ? adapter_->GetNADef() : nullptr;
  const PowerBalance before = BalancePower(adapterDef, lineUp);
  const int at = selected_;
  if (add) {
    lineUp.insert(at < 0 ? lineUp.end() : lineUp.begin() + at + 1, source);
  } else if (CompareNoCase(operation, "REMOVE") == 0) {
    if (at >= 0) lineUp.erase(lineUp.begin() + at);
  } else if (CompareNoCase(operation, "DOWN") == 0) {
    if (at < 0 || at + 1 >= static_cast<int>(lineUp.size())) return true;
    std::swap(lineUp[static_cast<size_t>(at)], lineUp[static_cast<size_t>(at + 1)]);
  } else if (CompareNoCase(operation, "UP") == 0) {
    if (at <= 0) return true;
    std::swap(lineUp[static_cast<size_t>(at)], lineUp[static_cast<size_t>(at - 1)]);
  } else {
    qmx::ReportError(qmx::err::kInvalidOperation, "Exception. Invalid operaion name.", kFuncCheck,
                     qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
    return false;
  }

  const bool budgetBinds = PowerChangeRefused(before, BalancePower(adapterDef, lineUp));
  long long available = adapterDef ? CatalogueNumber(adapterDef->maxPowerForIOs.value) : 0;
  long long consumed = 0;
  long long group = -1;
  int index = 0;
  for (const IODef* def : lineUp) {
    if (def) {
      consumed += CatalogueNumber(def->powerDissipation.value);
      available += def->systemPwrExpansion;
    }
    const long long fieldPower =
        !def || TrimStr(def->fieldPower.value).empty() ? -1 : CatalogueNumber(def->fieldPower.value);
    const bool cutoff = def && def->fieldPwrCutoffBefore;
    if (requireCutoffFirst && index == 0 && !cutoff) {
      Refuse(qmx::err::kRuleFirstModuleCutoff, available, consumed);
      return false;
    }
    if (budgetBinds && consumed > available) {
      Refuse(qmx::err::kRulePower, available, consumed);
      return false;
    }
    if (fieldPower > 0) {
      if (fieldPower == group || group == -1 || cutoff) {
        group = fieldPower;
      } else {
        Refuse(qmx::err::kRuleFieldPowerChange, available, consumed);
        return false;
      }
    }
    if (def && def->fieldPwrFreeNext == 1) group = -1;
    ++index;
  }
  return true;
}

int AddIoState::Complete() {
  if (!modified_) return 2;
  for (Entry& entry : entries_) {
    if (!entry.module) {
      qmx::ReportError(qmx::err::kModuleObjectMissing, "Cannot find IOUsr object.", "AddIoDlg::OnComplete",
                       qmx::FuncEnd::kStop, qmx::kLogSourceNoBlank);
      continue;
    }
    entry.module->SetName(entry.name);
    if (output_) output_->push_back(entry.module);
  }
  for (CIOUsr* module : takenOut_) module->removeMark = 1;
  // Without a list to receive them the new modules stay the state's.
  handedOver_ = output_ != nullptr;
  return 1;
}

}  // namespace qmx::dialogs
