// The road from the model objects to a communication driver library: the 24
// entry points looked up by name, the log switches handed to the library, and
// the safe release of a driver instance and its library.
//
// A library is released only after its instance was uninitialised: the
// instance's communication is stopped first, and when the driver still
// refuses to uninitialise, the library stays loaded for the rest of the run
// (its threads may still be inside it).
#pragma once

#include "app/model/AppOptions.h"
#include "driver/include/tessivar.h"
#include "platform/os/os.h"

#include <string>

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

// Looks up all 24 by name, in the binding order; answers how many were found.
int LookUpAllEntryPoints(const qmx::os::Module& library, DriverEntryPoints& entries);
// Looks up the 15 device entry points (drvGetIOConfig ... drvRemoveDevice);
// answers how many were found.
int LookUpDeviceEntryPoints(const qmx::os::Module& library, DriverEntryPoints& entries);
// Looks up the 7 a project's shared instance uses (drvSetFuncPtr,
// drvSetLogOption, drvInitialize, drvSetChannelProperty, drvStartComm,
// drvStopComm, drvUninitialize); answers how many were found.
int LookUpSharedEntryPoints(const qmx::os::Module& library, DriverEntryPoints& entries);

// The name of the first of the six entry points an adapter's binding calls at
// once (drvSetFuncPtr, drvSetLogOption, drvInitialize, drvSetChannelProperty,
// drvSetDeviceProperty, drvSetProcessImgMode) that is missing, or null.
const char* MissingAdapterBindingEntry(const DriverEntryPoints& entries);
// The same for the three a project's shared instance needs at once
// (drvSetFuncPtr, drvSetLogOption, drvInitialize).
const char* MissingSharedBindingEntry(const DriverEntryPoints& entries);

// The four log switches for drvSetLogOption, in the order general, error,
// communication, developer: each is the window enable OR the file enable of
// that log group. Without options every switch is on.
void DriverLogSwitches(const AppOptions* options, int switches[4]);

// Hands the library the program's log callback and the switches.
void InstallDriverLogging(const DriverEntryPoints& entries, const AppOptions* options);

// Stops the instance's communication (when the library has drvStopComm) and
// uninitialises it. 1 when the instance is gone; else the driver's refusal,
// logged with `owner` and `func`.
int UninitializeDriverInstance(const DriverEntryPoints& entries, DriverHandle handle, const std::string& owner,
                               const char* func);

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

// Keeps a library loaded for the rest of the run (its instance could not be
// uninitialised, so code of it may still run).
void KeepLibraryLoaded(qmx::os::Module&& library);
