// What the "Configuration" dialog shows and applies, free of any toolkit: the
// option rows with their choices and allowed values, and OK, which checks
// every entry before it changes anything, then copies the changed values into
// the options record and saves the settings once.
//
// The grid's ranges lie within OK's, so a value the grid accepts is never
// refused by OK.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

class AppOptions;

namespace qmx::dialogs {

// One row of the options grid.
struct ConfigRow {
  std::string name;
  std::string parent;  // empty: a top-level row
  int icon = -1;
  bool hasValue = true;  // false: a heading row without value
  std::string value;
  std::string definition;
  int cellKind = 0;  // 1 drop-down, 2 folder chooser
  std::vector<std::string> choices;
};

// The allowed values the grid takes for the numeric options. OK holds the
// entries to wider limits (1-65535, 1-100, 1-100), so a value the grid
// accepts, or one the settings file already holds, is never refused by OK.
inline constexpr const char* kMaxLogDisplayDefinition = "1,100,10000";
inline constexpr const char* kMaxFileSizeDefinition = "1,1,10";
inline constexpr const char* kEraseDaysDefinition = "1,1,100";

class ConfigState {
public:
  // `save` writes the settings file (1 saved).
  ConfigState(AppOptions& options, std::function<int()> save);

  // The rows in order, with the values of the options record (the project
  // folder shows `projectsFolder` while the options name none).
  std::vector<ConfigRow> Rows(const std::string& projectsFolder);

  // The entered values by row: EntryKey of the row -> its text.
  using Entries = std::map<std::string, std::string>;
  // "parent/name" for the log switches (their names repeat under both
  // groups), the row name for every other row.
  static std::string EntryKey(const ConfigRow& row);
  // OK: false keeps the dialog open after the refusal was shown and leaves
  // the options untouched; true after the changes (if any) were applied and
  // saved. Rows missing from `entries` are skipped.
  bool Complete(const Entries& entries);

private:
  AppOptions& options_;
  std::function<int()> save_;
  Entries shown_;  // the values the rows were built with
  bool changed_ = false;
};

}  // namespace qmx::dialogs
