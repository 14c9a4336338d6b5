// Configuration validation: an adapter's modules against the limits its
// description declares (system power budget, communicating modules, input
// and output image sizes, field-power groups), a project's adapters against
// each other (unique and complete addresses, one COM port and one serial
// setting per shared RS422/RS485 line), and the check before a module is
// removed or moved. Every failed rule is a code of the error list's category
// "ID_Ferrow" (-101 to -111, named in app/errors/ErrorCodes.h) whose class and description texts fill the rows
// of the result; the validation never changes the project.
#pragma once

#include "app/errors/ErrorCodes.h"
#include "app/model/ProjectTree.h"
#include "app/model/TextIdList.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CNAUsr;
class CProjectUsr;
class IODef;
class NADef;
class ProjectWorkspace;

// The error-list category of the rules.
inline constexpr const char* kValidationCategory = "ID_Ferrow";

// Serial settings texts, "baud, data, parity, stop" ("9600, 8, NOPARITY, 1";
// the driver's scan gives "9600,8,NOPARITY,1"). Two texts of four fields are
// the same setting when each field has the same value: numbers as numbers,
// the parity name without regard to case; other texts as texts.
bool SameSerialSettings(const std::string& a, const std::string& b);
// The text in the project's form: the four fields trimmed and joined by ", ";
// a text of another field count comes back as it is.
std::string ProjectSerialSettingsText(const std::string& text);

// The system power of a line-up of modules in slot order against the
// adapter's budget (MaxPowerForIOs plus the SystemPwrExpansion of the
// modules so far): the total consumption, and the most by which the
// consumption so far exceeds the power available so far at any slot (0 when
// the budget holds everywhere).
struct PowerBalance {
  long long consumption = 0;
  long long shortfall = 0;
};
PowerBalance BalancePower(const NADef* adapter, const std::vector<const IODef*>& lineUp);
// Whether a change of a line-up is refused for the power budget: a line-up
// within its budget may not go over it; one that is over it already (opened
// so, or after a catalogue change) is refused only a change that draws more
// power and leaves it further over, so removing and moving modules, or adding
// a power supply, always lets the user repair it.
bool PowerChangeRefused(const PowerBalance& before, const PowerBalance& after);

// One row of a validation result.
struct ValidationItem {
  ValidationItem(std::string kind, int icon, std::string text, TreeItem item, int code, std::string detail);

  std::string kind;      // "Loc" adapter heading, "IO" module heading, "Error" failed rule, "PROJECT" heading
  int icon = 0;          // 1 adapter heading / project rule, 12 module rule, module icon, 0 project heading
  std::string text;      // heading label, class text (module rules) or adapter label (project rules)
  TreeItem treeItem = kNoTreeItem;
  int code = 0;          // rule code, 0 for headings
  std::string codeText;  // "%d" of the code
  std::string detail;    // description of the rule, empty for headings
};
using ValidationList = std::vector<std::unique_ptr<ValidationItem>>;

class ConfigValidator {
public:
  ConfigValidator(ProjectWorkspace& workspace, const ErrorMap& errors);

  // One adapter and its modules (rules -101 to -105). 1 valid; 0 invalid,
  // with the adapter heading and the failing modules' rows appended.
  int ValidateNA(CNAUsr* adapter, TreeItem adapterItem, ValidationList& results);
  // Every adapter of the project, then the project rules (-107 to -110,
  // not for projects without communication). The project rows go in front
  // of the results. 1 valid, 0 invalid.
  int ValidatePrj(CProjectUsr* project, ValidationList& results, ValidationList& projectRows);
  // The communication properties of one adapter against the other adapters
  // of its project: 1 valid, a negative rule code, or 0 when neither project
  // nor adapter can be found. With showBox 1 a failed rule's description is
  // shown.
  int IsValidNaPropInPrj(CProjectUsr* project, CNAUsr* adapter, int typeCode, int showBox, const std::string& ip,
                         const std::string& comPort, const std::string& nodeAddress,
                         const std::string& serialSettings);
  // Whether removing ("REMOVE") or moving ("UP", "DOWN") the selected module
  // keeps the power budget (as PowerChangeRefused judges it) and the
  // field-power groups; a refusal is shown.
  bool CheckFieldPowerValid(const std::string& operation);

  // The commands Check Project Validation and Check NA Validation: a valid
  // configuration is logged and shown; an invalid one goes to `showResult`
  // (kind "Project" or "NA", label, tree item, heading, rows).
  using ResultSink = std::function<void(const std::string& kind, const std::string& label, TreeItem item,
                                        const std::string& heading, ValidationList& rows)>;
  void OnEditChkValidPrj(const ResultSink& showResult);
  void OnEditChkValidNa(const ResultSink& showResult);

private:
  void RuleTexts(int code, std::string& errClass, std::string& description) const;

  ProjectWorkspace& workspace_;
  const ErrorMap& errors_;
};
