// The driver's windows as seen from the driver object. The windows are Qt
// code linked only into the shared library (driver/windows/driver_windows.*),
// which installs them when it is loaded; the static core, and every test
// built on it, runs without them: the exports then do their work and show
// nothing.
#pragma once

#include <string>

#include "driver/include/tessivar.h"

namespace tessivar::windows {

struct WindowHost {
  // The Address Map window, modal; the map may be null (the builder logged
  // why), the window then shows the two mode texts over an empty grid.
  void (*showAddressMap)(const AddressMapInfo* map, const std::string& inputModeText,
                         const std::string& outputModeText) = nullptr;
  // The "Modbus communication" window, modal; the built-in messages are
  // looked for below libraryFolder.
  void (*showMessenger)(const std::string& libraryFolder) = nullptr;
};

void SetWindowHost(const WindowHost& host);
const WindowHost& GetWindowHost();

}  // namespace tessivar::windows
