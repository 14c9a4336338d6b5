// What the "Add IO Modules" dialog edits, free of any toolkit: the module
// groups the adapter admits, the adapter's line-up (present modules and the
// ones added in this run), the expansion counts and the field-power check
// that every change of the line-up passes first.
//
// Nothing reaches the project before Complete(): a present module taken out
// is only noted, and gets its removal mark when OK hands the result over, so
// Cancel leaves the adapter exactly as it was. Modules made by ">>" belong to
// the state until Complete() hands them to the caller's list; a new module
// taken out again, or left when the dialog is cancelled, is destroyed here.
//
// Labels are "%02d: %s" of the slot (from 1) and the module's text; the text
// is kept apart from the number, so numbers of three digits and more never
// eat into the name.
#pragma once

#include "app/model/TextIdList.h"

#include <memory>
#include <string>
#include <vector>

class CIOUsr;
class CNAUsr;
class IOCatalogue;
class IODef;
struct IOGroup;

namespace qmx::dialogs {

// The most modules of every kind one adapter takes in the dialog.
inline constexpr int kMaxModulesPerAdapter = 1000;
// Image of the adapter root of a series that has no picture of its own.
inline constexpr int kOtherSeriesRootImage = 8;

// The module groups an adapter series admits: the groups whose category
// begins with the letter. The first entry's adapters show their own picture.
struct SeriesGroupRule {
  const char* seriesCode;
  char groupInitial;
};
extern const SeriesGroupRule kSeriesGroupRules[3];

// The groups of the catalogue the adapter definition's series admits, in
// catalogue order (none for another series).
std::vector<const IOGroup*> OfferedGroups(const IOCatalogue& catalogue, const std::string& seriesCode);

// The text of a label without its position prefix (digits, optionally after
// a minus, then ": "); a label without such a prefix is given back whole.
std::string StripPositionPrefix(const std::string& label);

class AddIoState {
public:
  // One module of the line-up.
  struct Entry {
    CIOUsr* module = nullptr;
    const IODef* definition = nullptr;
    bool created = false;  // made by ">>" in this run
    std::string text;      // what follows the position prefix in the label
    std::string name;      // the name OK gives the module
  };

  explicit AddIoState(const ErrorMap& errors);
  ~AddIoState();
  AddIoState(const AddIoState&) = delete;
  AddIoState& operator=(const AddIoState&) = delete;

  // ---- set-up, before Init ----
  void SetNAInfo(const std::string& displayName, CNAUsr* adapter);
  void SetExpansionInfo(int maxExpansion, int presentCommunicating, int presentOther);
  void SetCurIOList(const std::vector<CIOUsr*>& modules) { present_ = modules; }
  void SetNewIOList(std::vector<CIOUsr*>* output) { output_ = output; }
  void SetNamingMode(int mode) { namingMode_ = mode; }
  // Whether the adapter demands a module that cuts the field power as its
  // first module (-106). The descriptions carry no such flag yet, so it is
  // off unless a caller knows better.
  bool requireCutoffFirst = false;

  // Builds the line-up from the present modules; the last one is selected.
  void Init();

  // ---- the line-up ----
  const std::vector<Entry>& Entries() const { return entries_; }
  std::string Label(size_t index) const;
  const std::string& AdapterName() const { return adapterName_; }
  CNAUsr* Adapter() const { return adapter_; }
  // The selected module, -1 for the adapter (or nothing).
  int Selected() const { return selected_; }
  void Select(int index) { selected_ = index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1; }

  // ">>": adds a module of the definition after the selected one (at the
  // end when the adapter is selected), named by the user title when it is
  // not blank, else by the description. Refusals are shown. True when added.
  bool Add(const IODef* definition, const std::string& userTitle);
  // "<<", "Up", "Down": on the selected module; a refused check moves or
  // removes nothing. True when the line-up changed.
  bool Remove();
  bool MoveUp();
  bool MoveDown();
  // Gives the selected module a new name (trimmed; an empty name changes
  // nothing). True when renamed.
  bool Rename(const std::string& newName);

  // Simulates an operation ("ADD", "REMOVE", "UP", "DOWN", any case) on the
  // line-up and holds the result against the power budget, the first-module
  // rule and the field-power groups; a refusal is shown. The budget refuses
  // only what PowerChangeRefused refuses, so a station already over it can
  // be repaired. `source` is the definition to add ("ADD" only).
  bool CheckFieldPowerValid(const std::string& operation, const IODef* source);

  // OK: 2 (close as Cancel) when nothing changed; else every module of the
  // line-up, named, goes to the output list in order, the present modules
  // taken out get their removal mark, and the result is 1.
  int Complete();
  bool Modified() const { return modified_; }

  int addedCommunicating() const { return addedComm_; }
  int addedOther() const { return addedOther_; }
  int total() const { return total_; }

private:
  void Refuse(int code, long long available, long long consumed) const;

  const ErrorMap& errors_;
  std::string adapterName_;
  CNAUsr* adapter_ = nullptr;
  int namingMode_ = 0;
  bool modified_ = false;
  std::vector<CIOUsr*> present_;
  std::vector<CIOUsr*>* output_ = nullptr;
  int maxExpansion_ = 0;
  int presentComm_ = 0;
  int presentOther_ = 0;
  int addedComm_ = 0;
  int addedOther_ = 0;
  int total_ = 0;
  std::vector<Entry> entries_;
  std::vector<CIOUsr*> takenOut_;  // present modules removed in this run
  int selected_ = -1;
  bool handedOver_ = false;
};

}  // namespace qmx::dialogs
