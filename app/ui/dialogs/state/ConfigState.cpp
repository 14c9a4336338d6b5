#include "app/ui/dialogs/state/ConfigState.h"

#include "app/model/AppOptions.h"
#include "app/model/Logging.h"
#include "common/Utility.h"

#include <cstdlib>

namespace qmx::dialogs {

namespace {

constexpr int kIconRestart = 3;  // takes effect after a restart
constexpr int kIconHeading = 1;
constexpr int kIconLogValue = 2;

const char* const kSwitchNames[4] = {"General Info", "Error Info", "Communication Info", "Developer Info"};
constexpr const char* kWindowSwitches = "Log Window Enable";
constexpr const char* kFileSwitches = "Log File Enable";

std::string Key(const std::string& parent, const std::string& name) {
  return parent == kWindowSwitches || parent == kFileSwitches ? parent + "/" + name : name;
}

// A numeric option: the entry must lie within the definition's limits.
struct NumberRule {
  const char* name;
  long long minimum;
  long long maximum;
  const char* refusal;
  int AppOptions::*field;
};
const NumberRule kNumberRules[] = {
    {"Max Log Display", 1, 65535, "Input a integer value in max. log display (1-65535).", &AppOptions::MaxWndDisplay},
    {"Max File Size (MB)", 1, 100, "Input a integer value in max. file size (MB) (1-100).",
     &AppOptions::MaxLogFileSize},
    {"Erase Old Log File (Days)", 1, 100, "Input a integer value in Erase Old Log File (1-100).",
     &AppOptions::EraseOldLogFileDays},
};

}  // namespace

std::string ConfigState::EntryKey(const ConfigRow& row) { return Key(row.parent, row.name); }

ConfigState::ConfigState(AppOptions& options, std::function<int()> save)
    : options_(options), save_(std::move(save)) {}

std::vector<ConfigRow> ConfigState::Rows(const std::string& projectsFolder) {
  const AppOptions& o = options_;
  std::vector<ConfigRow> rows;
  rows.push_back({"Language", "", kIconRestart, true, o.Language, "", 1, {"Eng"}});
  rows.push_back(
      {"View Mode", "", kIconRestart, true, o.ViewMode, "", 1, {"User View", "Product View", "Product, Desc View"}});
  rows.push_back({"Project Default Folder", "", kIconRestart, true,
                  o.PrjUsrFolder.empty() ? projectsFolder : o.PrjUsrFolder, "", 2, {}});
  rows.push_back({"Log Option", "", kIconHeading, false, "", "", 0, {}});
  rows.push_back({"Max Log Display", "Log Option", kIconLogValue, true, StrFormat("%d", o.MaxWndDisplay),
                  kMaxLogDisplayDefinition, 0, {}});
  rows.push_back({"Max File Size (MB)", "Log Option", kIconLogValue, true, StrFormat("%d", o.MaxLogFileSize),
                  kMaxFileSizeDefinition, 0, {}});
  rows.push_back({"Erase Old Log File (Days)", "Log Option", kIconLogValue, true,
                  StrFormat("%d", o.EraseOldLogFileDays), kEraseDaysDefinition, 0, {}});
  for (const char* group : {kWindowSwitches, kFileSwitches}) {
    const int* values = group == kWindowSwitches ? o.WndEnable : o.FileEnable;
    rows.push_back({group, "Log Option", kIconHeading, false, "", "", 0, {}});
    for (int i = 0; i < 4; ++i) {
      rows.push_back({kSwitchNames[i], group, -1, true, BoolToStr(values[i]), "", 1, {"True", "False"}});
    }
  }
  shown_.clear();
  for (const ConfigRow& row : rows) {
    if (row.hasValue) shown_[Key(row.parent, row.name)] = row.value;
  }
  return rows;
}

bool ConfigState::Complete(const Entries& entries) {
  auto entry = [&](const std::string& key) -> const std::string* {
    const auto it = entries.find(key);
    return it == entries.end() ? nullptr : &it->second;
  };
  auto differs = [&](const std::string& key, const std::string& value) {
    const auto it = shown_.find(key);
    return it == shown_.end() || it->second != value;
  };

  // Every entry is checked before anything is applied, so a refusal leaves
  // the options as they were.
  const std::string* folder = entry("Project Default Folder");
  if (folder && TrimStr(*folder).empty()) {
    qmx::ShowBox("Choose a Project Default folder.", 0);
    return false;
  }
  for (const NumberRule& rule : kNumberRules) {
    const std::string* value = entry(rule.name);
    if (value && !IsIntStrInRange(TrimStr(*value), rule.minimum, rule.maximum)) {
      qmx::ShowBox(rule.refusal, 0);
      return false;
    }
  }

  bool changed = false;
  for (const char* name : {"Language", "View Mode"}) {
    const std::string* value = entry(name);
    std::string& field = std::string(name) == "Language" ? options_.Language : options_.ViewMode;
    if (value && CompareNoCase(TrimStr(*value), field) != 0) {
      field = TrimStr(*value);
      changed = true;
    }
  }
  if (folder && differs("Project Default Folder", *folder)) {
    options_.PrjUsrFolder = TrimStr(*folder);
    changed = true;
  }
  for (const NumberRule& rule : kNumberRules) {
    const std::string* value = entry(rule.name);
    if (!value) continue;
    const int number = std::atoi(TrimStr(*value).c_str());
    if (options_.*rule.field != number) {
      options_.*rule.field = number;
      changed = true;
    }
  }
  for (const char* group : {kWindowSwitches, kFileSwitches}) {
    for (int i = 0; i < 4; ++i) {
      const std::string* value = entry(Key(group, kSwitchNames[i]));
      if (!value) continue;
      int& field = group == kWindowSwitches ? options_.WndEnable[i] : options_.FileEnable[i];
      const int on = StrToBool(*value);
      if (field != on) {
        field = on;
        changed = true;
      }
    }
  }
  changed_ = changed;
  if (changed && save_) save_();
  return true;
}

}  // namespace qmx::dialogs
