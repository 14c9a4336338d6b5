// What the address dialogs need from the main dialog: the adapter table, the
// interface parameters (which they load by choosing an interface) and the
// setup list.
#pragma once

#include <cstddef>
#include <vector>

#include "bootp/core/bootp_lists.h"
#include "bootp/core/interface_params.h"

namespace qmx::plenvar {

class InterfaceHost {
public:
  virtual ~InterfaceHost() = default;
  virtual const std::vector<Adapter>& adapters() const = 0;
  virtual void LoadInterfaceParams(size_t index) = 0;
  virtual const InterfaceParams& interfaceParams() const = 0;
  virtual const SetupList& setupList() const = 0;
};

}  // namespace qmx::plenvar
