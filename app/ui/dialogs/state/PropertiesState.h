// What the "Properties" dialog shows and decides, free of any toolkit: the
// property rows of a project, adapter or module, the communication values
// Cancel puts back, and what OK does with an edited adapter.
#pragma once

#include "app/model/TextIdList.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

class CNAUsr;
class CProjectUsr;
class Wrapper;

namespace qmx::dialogs {

// The node addresses an adapter takes when its definition names no range.
inline constexpr const char* kFullNodeRangeDefinition = "1,0,127";

// One row of the grid: the property name, its value and, for a row the user
// may change, the allowed-value definition and the key the edit is applied
// under (the row name).
struct PropertyRow {
  std::string name;
  std::string value;
  std::string definition;
  bool settable = false;
  bool serialCell = false;  // the value opens the serial settings dialog
};

// The allowed-value definition of an adapter's node address: integers within
// the definition's settable range, or within 0 to 127 when it names none.
std::string NodeAddressDefinition(const std::string& settableRange);

class PropertiesState {
public:
  // What OK asks of the frame: the project of an adapter, the property check
  // of an adapter against its project (messages off), and applying an
  // adapter's serial values to every adapter of its project.
  struct Frame {
    std::function<CProjectUsr*(CNAUsr& adapter)> projectOf;
    std::function<int(CNAUsr& adapter, int typeCode)> checkAdapter;
    std::function<bool(CNAUsr& adapter)> applySerialToAll;
  };

  PropertiesState(const TextIdMap& textIds, const ErrorMap& errors);

  // Keeps the values Cancel restores and builds the rows.
  void SetTarget(Wrapper* object, const std::string& kindText);
  void SetFrame(Frame frame) { frame_ = std::move(frame); }

  Wrapper* Target() const { return target_; }
  const std::vector<PropertyRow>& Rows() const { return rows_; }
  // A module's properties are only shown: no OK.
  bool HasOk() const;

  // OK: 1 close with IDOK, 2 close as Cancel, 0 stay open (what was wrong
  // has been shown).
  int OnOK();
  // Cancel: the saved communication values (and the changed flags their
  // edits set) go back to the object.
  void OnCancel();

private:
  void BuildProjectRows(CProjectUsr& project);
  void BuildAdapterRows(CNAUsr& adapter);
  void BuildSpecRows(Wrapper& object);

  const TextIdMap& textIds_;
  const ErrorMap& errors_;
  Frame frame_;
  Wrapper* target_ = nullptr;
  std::string kindText_;
  std::vector<PropertyRow> rows_;
  int savedInterval_ = 0;
  int savedUpdateTime_ = 0;
  std::string savedIp_, savedCom_, savedSerial_, savedNode_;
  // The changed flags the edits set (project: interval, update time;
  // adapter: channel, device), so a cancelled edit is not acted upon later.
  std::array<int, 2> savedFlags_{};
};

}  // namespace qmx::dialogs
