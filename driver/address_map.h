// Address assignment and the address map: every channel of a station gets
// a register ("word") address, a bit within that word and a bit (coil or
// discrete-input) address, from the module list, the adapter's model and
// the two process-image modes.
//
// Compressed packing counts every bit: the modules of a packing list follow
// each other bit after bit, so no two channels share a bit and the packed
// length is the packed bits rounded up to bytes.
#pragma once

#include <functional>
#include <string>

#include "driver/device_record.h"

namespace tessivar {

// The display texts of the modes (" Unknown." outside the ranges).
const char* InputModeText(int mode);
const char* OutputModeText(int mode);
inline bool IsValidInputMode(int mode) { return mode >= 0 && mode <= 3; }
inline bool IsValidOutputMode(int mode) { return mode == 0 || mode == 1; }

// Receives the level-0 lines of the assignment and the map builder.
using AddressLog = std::function<void(const std::string& line)>;

// Uncompressed and compressed positions of every module, the packing lists
// and the image lengths by mode. `prefix` is the device's log prefix.
void AssignAddresses(DeviceRecord& device, const std::string& prefix, const AddressLog& error);

// Where a module's data of one direction begin, for the device's current
// mode: the register base, the bit base and the module's position. False
// when the module has no bits in that direction, the mode is out of range
// or the module has no position in it (kept out of the packing list). The split layouts take the bases of the
// module's class (by its kind text); the others the device's, behind the
// status word in input modes 0 and 1.
struct ModuleAddress {
  int wordBase = 0;
  int bitBase = 0;
  ImagePosition position;
};
bool InputAddress(const DeviceRecord& device, const ModuleRecord& module, ModuleAddress* out);
bool OutputAddress(const DeviceRecord& device, const ModuleRecord& module, ModuleAddress* out);

// A new map of the whole station (slot < 1: the adapter row first) or of
// the module at the 1-based position `slot`; null, after an error line,
// when a mode that a module needs is out of range. Every row owns its
// channel records (the adapter row gets copies of the device's own ones),
// so the map stays valid whatever happens to the device afterwards.
AddressMapInfo* BuildAddressMap(const DeviceRecord& device, int slot, const std::string& prefix,
                                const AddressLog& error);

}  // namespace tessivar
