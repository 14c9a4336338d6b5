// What the "Compare with Offline" dialog shows: the rows of a comparison
// result, how they nest in its grid, and the texts of its verdict.
#pragma once

#include <string>
#include <vector>

// One row of a comparison result.
struct CompareResultItem {
  enum Kind : int { kConfig = 0, kParameter = 1, kAdapterSummary = 2 };
  CompareResultItem() = default;
  CompareResultItem(int kind, int isHeader, std::string item, std::string offline, std::string online,
                    std::string result)
      : kind(kind), isHeader(isHeader), item(std::move(item)), offlineValue(std::move(offline)),
        onlineValue(std::move(online)), result(std::move(result)) {}
  bool operator==(const CompareResultItem&) const = default;

  int kind = kConfig;
  int isHeader = 0;  // 1: heads the parameter rows of one adapter or module
  std::string item;
  std::string offlineValue;
  std::string onlineValue;
  std::string result;
};
// The owner of the list owns its rows.
using CompareResultList = std::vector<CompareResultItem>;

namespace qmx::dialogs {

// One grid row of a result: index of its parent row (-1 top level) and icon.
struct CompareRowPlan {
  int parent = -1;
  int icon = 0;
  const CompareResultItem* row = nullptr;
};

// Configuration and summary rows are top-level; a parameter header is
// top-level and takes the parameter rows after it as children (top-level
// while there is no header yet).
std::vector<CompareRowPlan> PlanCompareRows(const CompareResultList& rows);

// The kind text of the target: "Network Adapter" for "NA", else the kind.
std::string CompareKindText(const std::string& kind);

// The message of a finished comparison (result 1 equal, 2 different, other
// failed) for the scope (parameters compared or not).
std::string CompareOutcomeText(int result, bool parameters);

}  // namespace qmx::dialogs
