#include "app/ui/dialogs/state/CompareOfflineState.h"

#include "common/Utility.h"

namespace qmx::dialogs {

std::vector<CompareRowPlan> PlanCompareRows(const CompareResultList& rows) {
  std::vector<CompareRowPlan> plan;
  plan.reserve(rows.size());
  int header = -1;
  for (const CompareResultItem& row : rows) {
    CompareRowPlan p;
    p.row = &row;
    if (row.kind == CompareResultItem::kParameter && row.isHeader == 1) {
      p.icon = 1;
      header = static_cast<int>(plan.size());
    } else if (row.kind == CompareResultItem::kParameter) {
      p.icon = 2;
      p.parent = header;
    } else {
      p.icon = row.kind == CompareResultItem::kAdapterSummary ? 4 : 3;
    }
    plan.push_back(p);
  }
  return plan;
}

std::string CompareKindText(const std::string& kind) {
  return CompareNoCase(kind, "NA") == 0 ? "Network Adapter" : kind;
}

std::string CompareOutcomeText(int result, bool parameters) {
  const char* subject = parameters ? "Configuration and parameters are" : "Configuration is";
  if (result == 1) return StrFormat("Comparison completed.\n%s equal.", subject);
  if (result == 2) return StrFormat("Comparison completed.\n%s different.", subject);
  return "Comparison failed. See below log in detail.";
}

}  // namespace qmx::dialogs
