/* Compiled as C: the shared header must be plain C. The layout figures are
 * compared with the C++ view of the same header by the dlopen tests. */
#include <stddef.h>

#include "driver/include/tessivar.h"

struct TessivarLayoutC {
  size_t sizes[8];
  size_t offsets[8];
};

/* Every export has the type its function-pointer type names (checked at
 * compile time; _Generic does not evaluate, so nothing is linked). */
_Static_assert(_Generic(&drvSetFuncPtr, PFN_drvSetFuncPtr: 1, default: 0), "drvSetFuncPtr");
_Static_assert(_Generic(&drvSetLogOption, PFN_drvSetLogOption: 1, default: 0), "drvSetLogOption");
_Static_assert(_Generic(&drvInitialize, PFN_drvInitialize: 1, default: 0), "drvInitialize");
_Static_assert(_Generic(&drvUninitialize, PFN_drvUninitialize: 1, default: 0), "drvUninitialize");
_Static_assert(_Generic(&drvStartAutoScan, PFN_drvStartAutoScan: 1, default: 0), "drvStartAutoScan");
_Static_assert(_Generic(&drvFreeAutoScan, PFN_drvFreeAutoScan: 1, default: 0), "drvFreeAutoScan");
_Static_assert(_Generic(&drvSetChannelProperty, PFN_drvSetChannelProperty: 1, default: 0), "drvSetChannelProperty");
_Static_assert(_Generic(&drvSetDeviceProperty, PFN_drvSetDeviceProperty: 1, default: 0), "drvSetDeviceProperty");
_Static_assert(_Generic(&drvGetIOConfig, PFN_drvGetIOConfig: 1, default: 0), "drvGetIOConfig");
_Static_assert(_Generic(&drvFreeGetIOConfig, PFN_drvFreeGetIOConfig: 1, default: 0), "drvFreeGetIOConfig");
_Static_assert(_Generic(&drvSetModuleList, PFN_drvSetModuleList: 1, default: 0), "drvSetModuleList");
_Static_assert(_Generic(&drvSetProcessImgMode, PFN_drvSetProcessImgMode: 1, default: 0), "drvSetProcessImgMode");
_Static_assert(_Generic(&drvGetAddresMap, PFN_drvGetAddresMap: 1, default: 0), "drvGetAddresMap");
_Static_assert(_Generic(&drvFreeGetAddresMap, PFN_drvFreeGetAddresMap: 1, default: 0), "drvFreeGetAddresMap");
_Static_assert(_Generic(&drvShowAddresMap, PFN_drvShowAddresMap: 1, default: 0), "drvShowAddresMap");
_Static_assert(_Generic(&drvShowProtocolComm, PFN_drvShowProtocolComm: 1, default: 0), "drvShowProtocolComm");
_Static_assert(_Generic(&drvShowSpecialPara, PFN_drvShowSpecialPara: 1, default: 0), "drvShowSpecialPara");
_Static_assert(_Generic(&drvStartComm, PFN_drvStartComm: 1, default: 0), "drvStartComm");
_Static_assert(_Generic(&drvRead, PFN_drvRead: 1, default: 0), "drvRead");
_Static_assert(_Generic(&drvWriteByte, PFN_drvWriteByte: 1, default: 0), "drvWriteByte");
_Static_assert(_Generic(&drvShowIOMonitor, PFN_drvShowIOMonitor: 1, default: 0), "drvShowIOMonitor");
_Static_assert(_Generic(&drvSendSpecialCmd, PFN_drvSendSpecialCmd: 1, default: 0), "drvSendSpecialCmd");
_Static_assert(_Generic(&drvStopComm, PFN_drvStopComm: 1, default: 0), "drvStopComm");
_Static_assert(_Generic(&drvRemoveDevice, PFN_drvRemoveDevice: 1, default: 0), "drvRemoveDevice");

void TessivarLayoutFromC(struct TessivarLayoutC* out) {
  out->sizes[0] = sizeof(ModuleListEntry);
  out->sizes[1] = sizeof(ScannedModule);
  out->sizes[2] = sizeof(OnlineIOConfig);
  out->sizes[3] = sizeof(ScanResultList);
  out->sizes[4] = sizeof(AddressMapChannel);
  out->sizes[5] = sizeof(AddressMapRow);
  out->sizes[6] = sizeof(AddressMapInfo);
  out->sizes[7] = sizeof(DeviceKey);
  out->offsets[0] = offsetof(ModuleListEntry, moduleLine);
  out->offsets[1] = offsetof(OnlineIOConfig, modules);
  out->offsets[2] = offsetof(ScanResultList, adapters);
  out->offsets[3] = offsetof(AddressMapChannel, channelType);
  out->offsets[4] = offsetof(AddressMapRow, outputs);
  out->offsets[5] = offsetof(AddressMapInfo, rows);
  out->offsets[6] = offsetof(ModuleListEntry, outputSize);
  out->offsets[7] = sizeof(DriverHandle);
}
