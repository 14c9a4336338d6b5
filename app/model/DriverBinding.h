// The entry points of a communication driver library, looked up by name,
// and the device keys each driver instance knows. DriverSession
// (app/model/DriverSession.h) is the one owner of a library, its entry
// points and its instance.
#pragma once

#include "driver/include/tessivar.h"
#include "platform/os/os.h"

#include <vector>

// The entry points of a driver library, in the adapter's member order; a
// name the library does not export stays null.
struct DriverEntryPoints {
  PFN_drvSetModuleList drvSetModuleList = nullptr;
  PFN_drvFreeGetAddresMap drvFreeGetAddresMap = nullptr;
  PFN_drvGetAddresMap drvGetAddresMap = nullptr;
  PFN_drvSetFuncPtr drvSetFuncPtr = nullptr;
  PFN_drvSetLogOption drvSetLogOption = nullptr;
  PFN_drvStartAutoScan drvStartAutoScan = nullptr;
  PFN_drvFreeAutoScan drvFreeAutoScan = nullptr;
  PFN_drvGetIOConfig drvGetIOConfig = nullptr;
  PFN_drvFreeGetIOConfig drvFreeGetIOConfig = nullptr;
  PFN_drvInitialize drvInitialize = nullptr;
  PFN_drvSetChannelProperty drvSetChannelProperty = nullptr;
  PFN_drvSetDeviceProperty drvSetDeviceProperty = nullptr;
  PFN_drvSetProcessImgMode drvSetProcessImgMode = nullptr;
  PFN_drvShowAddresMap drvShowAddresMap = nullptr;
  PFN_drvShowProtocolComm drvShowProtocolComm = nullptr;
  PFN_drvShowSpecialPara drvShowSpecialPara = nullptr;
  PFN_drvStartComm drvStartComm = nullptr;
  PFN_drvRead drvRead = nullptr;
  PFN_drvWriteByte drvWriteByte = nullptr;
  PFN_drvShowIOMonitor drvShowIOMonitor = nullptr;
  PFN_drvSendSpecialCmd drvSendSpecialCmd = nullptr;
  PFN_drvStopComm drvStopComm = nullptr;
  PFN_drvRemoveDevice drvRemoveDevice = nullptr;
  PFN_drvUninitialize drvUninitialize = nullptr;

  // Clears all 24.
  void Clear() { *this = DriverEntryPoints{}; }
  // Clears the 15 that concern one device.
  void ClearDeviceEntries();
};

// Names of the 24 entry points in the order the binding looks them up.
extern const char* const kDriverEntryNames[24];
// The 15 that concern one device (drvGetIOConfig ... drvRemoveDevice): what
// an adapter on a project's shared line may call.
extern const std::vector<const char*> kDeviceEntryNames;

// Looks up the named entry points (all 24 when `names` is empty), in the
// given order; answers how many were found.
int LookUpEntryPoints(const qmx::os::Module& library, const std::vector<const char*>& names,
                      DriverEntryPoints& entries);
// The first of `names` that is missing from `entries`, or null.
const char* FirstMissingEntry(const DriverEntryPoints& entries, const std::vector<const char*>& names);

// The device keys each driver instance knows. A key stays known from the
// first drvSetDeviceProperty until drvRemoveDevice succeeded or the instance
// was uninitialised, so an adapter made at the address of one whose device
// the driver could not remove never takes over that device.
void NoteDeviceKnown(DriverHandle handle, DeviceKey key);
void NoteDeviceRemoved(DriverHandle handle, DeviceKey key);
void NoteInstanceGone(DriverHandle handle);
bool IsDeviceKnown(DriverHandle handle, DeviceKey key);
// `preferred` when the instance does not know it; else a key no instance
// knows and none was given before.
DeviceKey UnusedDeviceKey(DriverHandle handle, DeviceKey preferred);
