/*
 * Tessivar.so: the Modbus communication driver library.
 *
 * The 24 exported functions, the log callback and every record that crosses
 * the library boundary. Shared by the library and by the main program, which
 * loads the library with dlopen and binds each function by its name.
 *
 * Conventions:
 *  - Plain C, fixed-width fields; texts are NUL-terminated UTF-8.
 *  - A DriverHandle is the opaque, pointer-sized value drvInitialize returns.
 *  - A DeviceKey is chosen by the caller (the main program passes the address
 *    of its adapter object); the driver keys its devices by its decimal text.
 *  - Records the driver returns (ScanResultList, OnlineIOConfig,
 *    AddressMapInfo) are allocated by the driver and must go back to it
 *    through drvFreeAutoScan, drvFreeGetIOConfig and drvFreeGetAddresMap.
 *  - Exports documented as returning "a pointer or a code of 0 or less"
 *    return an intptr_t: a value above 0 is the pointer, anything else a
 *    result code.
 */
#ifndef QMX_DRIVER_TESSIVAR_H
#define QMX_DRIVER_TESSIVAR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TESSIVAR_API __attribute__((visibility("default")))
#else
#define TESSIVAR_API
#endif

/* File name of the library in the program folder. */
#define TESSIVAR_LIBRARY_FILE "Tessivar.so"

/* ---- basic types -------------------------------------------------------- */

typedef void* DriverHandle;
typedef intptr_t DeviceKey;

/* Log callback: (level, source = the library's file name, text). Called from
 * any thread that is inside the library, communication threads included, so
 * it must be thread-safe. Its return is ignored. */
typedef void (*DriverLogCallback)(int level, const char* source, const char* text);

/* Log levels. 0..4 follow the switches of drvSetLogOption; 5..49 are never
 * delivered; 50 and above (and any negative level) are always delivered. */
enum DriverLogLevel {
  DRV_LOG_ERROR = 0,
  DRV_LOG_GENERAL = 1,
  DRV_LOG_COMM = 2,
  DRV_LOG_COMM2 = 3,
  DRV_LOG_DEVELOPER = 4,
  DRV_LOG_ALWAYS = 50
};

/* Source or target of drvRead and drvWriteByte. */
enum DriverImageKind {
  DRV_IMAGE_PARA = 0,
  DRV_IMAGE_COMMINIT = 1,
  DRV_IMAGE_INPUT = 3,
  DRV_IMAGE_OUTPUT = 4,
  DRV_IMAGE_STATUS = 5
};

/* Module selector of drvRead and drvWriteByte: 0 the adapter, -1 the adapter
 * and all modules, n >= 1 the module with communication number n. */
#define DRV_MODULE_ADAPTER 0
#define DRV_MODULE_ALL (-1)

/* Result codes the caller tests for (the full table and its texts live in
 * the library). */
enum DriverResult {
  DRV_OK = 1,
  DRV_FAILED = 0,
  DRV_ERR_NO_RESPONSE = -7004,
  DRV_ERR_NOT_SUPPORTED = -7005,
  DRV_ERR_RUNNING = -7007,
  DRV_ERR_STOPPED = -7008,
  DRV_ERR_DEVICE = -7101,
  DRV_ERR_NO_INSTANCE = -7102,
  DRV_ERR_NO_MEMORY = -7103
};

/* ---- records handed to the driver --------------------------------------- */

/* One entry of the list given to drvSetModuleList: first the adapter's entry
 * (type tag "NA"), then one per module in slot order. Read during the call
 * only; the list and its texts stay the caller's. */
typedef struct ModuleListEntry {
  uint16_t productCode;      /* product code of the adapter's or module's definition */
  const char* typeTag;       /* "NA" for the adapter */
  const char* label;         /* display label */
  uint16_t paraLength;       /* parameter (PARA) length in bytes */
  const char* initCommBlock; /* adapter: tab-separated "name,type,size" entries; modules: "" */
  const char* extraDefText;  /* a further definition text, not read by the driver */
  uint16_t inputSize;        /* bytes */
  uint16_t outputSize;       /* bytes */
  const char* moduleLine;    /* modules: "%s,%s,%d,%d,%d,%d,%d,%s,%d"; adapter: "" */
} ModuleListEntry;

/* ---- records returned by the driver ------------------------------------- */

/* One module slot of an online configuration or a scanned adapter. */
typedef struct ScannedModule {
  uint16_t productCode;
  const char* text; /* left empty */
} ScannedModule;

/* The online I/O configuration of a station (drvGetIOConfig); the same layout
 * describes one adapter found by the automatic scan (ScannedAdapter).
 *   Ethernet scan: text2 IP address, text3 MAC address, text4 subnet mask,
 *                  text5 gateway.
 *   Serial scan:   text2 COM port number, text3 serial settings,
 *                  text4 node address.
 * text1 is empty; all texts are non-null. */
typedef struct OnlineIOConfig {
  uint16_t productCode;
  const char* text1;
  const char* text2;
  const char* text3;
  const char* text4;
  const char* text5;
  int32_t moduleCount;
  ScannedModule* modules; /* moduleCount entries, slot order */
} OnlineIOConfig;

typedef OnlineIOConfig ScannedAdapter;

/* What drvStartAutoScan returns: the adapters in the order found. */
typedef struct ScanResultList {
  int32_t count;
  ScannedAdapter** adapters; /* count pointers */
} ScanResultList;

/* One channel of the address map. */
typedef struct AddressMapChannel {
  uint16_t channelSize;  /* bits: 1 for a digital channel, 16 for an analog word */
  int32_t wordAddress;   /* register holding the channel's first bit */
  int32_t bitInWord;     /* 0..15 */
  int32_t bitAddress;    /* coil or discrete-input address of the first bit */
  const char* channelType; /* "DI", "AI", "RTD", ... */
} AddressMapChannel;

/* One row of the address map: the adapter (type "NA") or a module. */
typedef struct AddressMapRow {
  int32_t index;      /* 0 for the adapter; a module's 1-based position */
  int32_t iconIndex;
  const char* name;
  const char* type;   /* "NA" or the module's kind text */
  int32_t inputCount;
  AddressMapChannel** inputs;
  int32_t outputCount;
  AddressMapChannel** outputs;
} AddressMapRow;

/* The address map of a station or one module (drvGetAddresMap). */
typedef struct AddressMapInfo {
  uint16_t wordAddressing; /* 1: a word is 16 bits */
  uint16_t inputMode;
  uint16_t outputMode;
  const char* inputModeText;
  const char* outputModeText;
  int32_t rowCount;
  AddressMapRow** rows; /* display order */
} AddressMapInfo;

/* ---- the 24 exports ------------------------------------------------------ */

TESSIVAR_API int drvSetFuncPtr(DriverLogCallback callback);
TESSIVAR_API int drvSetLogOption(int general, int error, int communication, int developer);
TESSIVAR_API DriverHandle drvInitialize(void);
TESSIVAR_API int drvUninitialize(DriverHandle h);
TESSIVAR_API intptr_t drvStartAutoScan(DriverHandle h, int ignored, int commKind, int timeValue,
                                       const char* param);
TESSIVAR_API int drvFreeAutoScan(DriverHandle h, ScanResultList* list);
TESSIVAR_API int drvSetChannelProperty(DriverHandle h, const char* name, const char* channelProperty);
TESSIVAR_API int drvSetDeviceProperty(DriverHandle h, DeviceKey key, const char* deviceName,
                                      const char* deviceProperty);
TESSIVAR_API intptr_t drvGetIOConfig(DriverHandle h, DeviceKey key);
TESSIVAR_API int drvFreeGetIOConfig(DriverHandle h, OnlineIOConfig* record);
TESSIVAR_API int drvSetModuleList(DriverHandle h, DeviceKey key, const ModuleListEntry* entries,
                                  int count);
TESSIVAR_API int drvSetProcessImgMode(DriverHandle h, DeviceKey key, int inputMode, int outputMode);
TESSIVAR_API AddressMapInfo* drvGetAddresMap(DriverHandle h, DeviceKey key, int slot);
TESSIVAR_API int drvFreeGetAddresMap(DriverHandle h, AddressMapInfo* record);
TESSIVAR_API int drvShowAddresMap(DriverHandle h, DeviceKey key, int slot, int16_t* inputMode,
                                  int16_t* outputMode, int ignored);
TESSIVAR_API int drvShowProtocolComm(DriverHandle h, int kind);
TESSIVAR_API int drvShowSpecialPara(DriverHandle h, DeviceKey key, const char* text, int value);
TESSIVAR_API int drvStartComm(DriverHandle h);
TESSIVAR_API int drvRead(DriverHandle h, DeviceKey key, int module, int kind, void* destination);
TESSIVAR_API int drvWriteByte(DriverHandle h, DeviceKey key, int module, int kind, const void* source,
                              int flag, int length);
TESSIVAR_API int drvShowIOMonitor(DriverHandle h, DeviceKey key, int value);
TESSIVAR_API int drvSendSpecialCmd(DriverHandle h, DeviceKey key, int command);
TESSIVAR_API int drvStopComm(DriverHandle h);
TESSIVAR_API int drvRemoveDevice(DriverHandle h, DeviceKey key);

/* ---- function-pointer types, for binding the exports by name ------------- */

typedef int (*PFN_drvSetFuncPtr)(DriverLogCallback);
typedef int (*PFN_drvSetLogOption)(int, int, int, int);
typedef DriverHandle (*PFN_drvInitialize)(void);
typedef int (*PFN_drvUninitialize)(DriverHandle);
typedef intptr_t (*PFN_drvStartAutoScan)(DriverHandle, int, int, int, const char*);
typedef int (*PFN_drvFreeAutoScan)(DriverHandle, ScanResultList*);
typedef int (*PFN_drvSetChannelProperty)(DriverHandle, const char*, const char*);
typedef int (*PFN_drvSetDeviceProperty)(DriverHandle, DeviceKey, const char*, const char*);
typedef intptr_t (*PFN_drvGetIOConfig)(DriverHandle, DeviceKey);
typedef int (*PFN_drvFreeGetIOConfig)(DriverHandle, OnlineIOConfig*);
typedef int (*PFN_drvSetModuleList)(DriverHandle, DeviceKey, const ModuleListEntry*, int);
typedef int (*PFN_drvSetProcessImgMode)(DriverHandle, DeviceKey, int, int);
typedef AddressMapInfo* (*PFN_drvGetAddresMap)(DriverHandle, DeviceKey, int);
typedef int (*PFN_drvFreeGetAddresMap)(DriverHandle, AddressMapInfo*);
typedef int (*PFN_drvShowAddresMap)(DriverHandle, DeviceKey, int, int16_t*, int16_t*, int);
typedef int (*PFN_drvShowProtocolComm)(DriverHandle, int);
typedef int (*PFN_drvShowSpecialPara)(DriverHandle, DeviceKey, const char*, int);
typedef int (*PFN_drvStartComm)(DriverHandle);
typedef int (*PFN_drvRead)(DriverHandle, DeviceKey, int, int, void*);
typedef int (*PFN_drvWriteByte)(DriverHandle, DeviceKey, int, int, const void*, int, int);
typedef int (*PFN_drvShowIOMonitor)(DriverHandle, DeviceKey, int);
typedef int (*PFN_drvSendSpecialCmd)(DriverHandle, DeviceKey, int);
typedef int (*PFN_drvStopComm)(DriverHandle);
typedef int (*PFN_drvRemoveDevice)(DriverHandle, DeviceKey);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QMX_DRIVER_TESSIVAR_H */
