// What the "Add Network Adapter" dialog decides, free of any toolkit: which
// adapter definitions a project's bus type can take, which communication
// fields are open and what they are preset to, and the checks of OK.
#pragma once

#include "app/model/TextIdList.h"

#include <functional>
#include <string>
#include <vector>

class CProjectUsr;
class NACatalogue;
class NADef;

namespace qmx::dialogs {

// The node addresses the dialog offers, "0" to "127".
inline constexpr int kNodeAddressCount = 128;

// Definitions of the catalogue that serve the bus type (their own bus type
// or, for a definition of several buses, a further one; any letter case), in
// catalogue order. Products the catalogue keeps hidden (the template adapter
// that only enters a bus type into the list) are not offered.
std::vector<const NADef*> AdaptersForBusType(const NACatalogue& catalogue, const std::string& busType);

// The display text of a text id, the id itself when the list has none.
std::string DisplayTextOf(const TextIdMap& textIds, const std::string& textId);

// The entries a user types or picks.
struct AddNaInput {
  std::string ip;
  std::string comPort;
  std::string serialSettings;
  std::string nodeAddress;
  std::string title;
};

// Which fields are open and what they hold, for one communication type.
struct AddNaFields {
  bool ipEnabled = false;
  bool nodeEnabled = false;
  bool comEnabled = false;
  bool serialButtonEnabled = false;
  std::string comPort;
  std::string serialSettings;
  int nodeIndex = -1;  // entry of the node list to select, -1 none
};

class AddNaState {
public:
  // IsValidNaPropInPrj of the frame: (project, type code, ip, COM port,
  // node address, serial settings) -> 1 valid, else a rule code or 0. It
  // shows its own message.
  using PropertyCheck = std::function<int(CProjectUsr* project, int typeCode, const std::string& ip,
                                          const std::string& comPort, const std::string& nodeAddress,
                                          const std::string& serialSettings)>;

  AddNaState(const NACatalogue& catalogue, const TextIdMap& textIds);

  void SetPrjCommInfo(CProjectUsr* project, int typeCode, const std::string& comPort,
                      const std::string& serialSettings, const std::string& nodeAddress);
  void SetPropertyCheck(PropertyCheck check) { check_ = std::move(check); }

  const std::vector<const NADef*>& Offered() const { return offered_; }
  // " Project Bus Type: %s".
  std::string BusTypeLine() const;
  // The fields for the communication type with the chosen definition.
  AddNaFields InitialFields() const;

  // Selecting a list entry makes its definition the chosen one.
  void Choose(const NADef* definition) { chosen_ = definition; }
  const NADef* Chosen() const { return chosen_; }

  // OK: checks the entries (each refusal shown; false keeps the dialog open)
  // and keeps the result.
  bool Complete(const AddNaInput& input);
  // The chosen definition and the entries OK accepted; texts the
  // communication type does not use are empty.
  const NADef* GetResult(std::string& ip, std::string& comPort, std::string& serialSettings,
                         std::string& nodeAddress, std::string& title) const;

private:
  bool CheckSerial(const AddNaInput& input);

  const NACatalogue& catalogue_;
  const TextIdMap& textIds_;
  CProjectUsr* project_ = nullptr;
  int typeCode_ = 5;
  std::string proposedCom_;
  std::string proposedSerial_;
  std::string proposedNode_;
  std::vector<const NADef*> offered_;
  const NADef* chosen_ = nullptr;
  PropertyCheck check_;
  AddNaInput result_;
};

}  // namespace qmx::dialogs
