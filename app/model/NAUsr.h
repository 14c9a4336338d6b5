// A network adapter of a project: one station with its communication
// settings, labels, diagnosis history, byte images, five online images and
// its binding to a communication driver library (its own instance for TCP
// and RS232C, the project's shared instance on an RS422/RS485 line).
//
// The adapter knows its project only by the line the project hands it
// (CommLine: the communication type and interval, the shared session). It
// reaches the frame (the naming mode of the project window, the modules
// under it, the version text of a library, the options) only through
// qmx::Services(), so it is tested without a frame.
#pragma once

#include "app/model/AdapterLink.h"
#include "app/model/AppOptions.h"
#include "app/model/CommLine.h"
#include "app/model/DriverSession.h"
#include "app/model/NADef.h"
#include "app/model/OnlineBytes.h"
#include "app/model/Wrapper.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CIOUsr;
class CNAUsr;

// The naming mode of the project window, read from qmx::Services()
// (app/model/Services.h); 0 without a frame.
int CurrentViewMode();

// One record of the module list handed to drvSetModuleList, with its texts.
struct ModuleListRecord {
  uint16_t productCode = 0;
  std::string typeTag;
  std::string label;
  uint16_t paraLength = 0;
  std::string initLayout;
  std::string freqLayout;
  uint16_t inputSize = 0;
  uint16_t outputSize = 0;
  std::string moduleLine;
};

// The three values of a sampled status (communication state, bus error,
// field power): 0 not read yet, 1 good, 2 fault (every value of a failed
// read as well).
inline constexpr int16_t kStatusNotRead = 0;
inline constexpr int16_t kStatusGood = 1;
inline constexpr int16_t kStatusFault = 2;

// Builds the adapter's module list: its own record, then one per module in
// tree order; assigns sequence numbers and online offsets and reallocates the
// five online images. 1.
int MakeModuleList(CNAUsr& adapter, std::vector<ModuleListRecord>& list);

class CNAUsr : public Wrapper, public AdapterLink {
public:
  // How the adapter is bound to a driver.
  enum class Binding { kNone, kOwn, kShared };

  CNAUsr();
  ~CNAUsr() override;

  // ---- the line ----
  // The project hands its line when it takes the adapter and whenever it
  // changes the line's settings; the adapter keeps the last one handed.
  void SetCommLine(CommLine line) { line_ = std::move(line); }
  // The project takes its line back (a line another project handed stays).
  void ReleaseCommLine(const void* project) {
    if (line_.project == project) line_ = CommLine{};
  }
  bool OnProject() const { return line_.project != nullptr; }

  // ---- definition and settings ----
  void SetNADef(const NADef* definition);
  const NADef* GetNADef() const { return definition_; }
  // Stores the four texts trimmed and binds the driver.
  void SetCommSettings(const std::string& ip, const std::string& port, const std::string& serial,
                       const std::string& node);
  std::string GetDefSerialCommSet() const;
  void AddDiagHistory(const std::string& line);
  const std::vector<std::string>& DiagHistory() const { return diagHistory_; }
  void SetCommInterval(int ms);
  uint16_t UpdateTime() const { return updateTime_; }

  // ---- texts ----
  std::string GetModelName() const override;
  std::string GetOrderNumber() const override;
  std::string GetInfoText() const override;
  std::string GetHelpLink() const override;
  std::string GetGraphicFile() const override;
  std::string GetLabel(int viewMode) const override { return GetTreeUniqueName(viewMode); }
  std::string GetValueText(const std::string& key, const std::string& index) const override;
  int GetByteOrderMode() const override;
  int GetSize() const override;
  std::string GetDescription() const override;
  const std::vector<uint8_t>* GetDefaultParaImage() const override;
  const std::vector<uint8_t>* GetDefaultMonInitImage() const override;
  int IsConvByParaUsed() const override;
  void ChagnedValueByUsr(const std::string& grid, const std::string& key, const ParaItem* para,
                         const IOItem* ioItem, const std::string& value) override;

  std::string GetTreeUniqueName(int viewMode) const;
  std::string GetCommAddress() const;
  std::string GetCommDescForDocu() const;
  std::string GetCommDescShort() const;
  int IsSupportOnline() const;
  static std::string GetCommTypeStr(int code);
  uint16_t GetProductCode() const;
  int GetInputImgMode(std::string& text) const;
  int GetOutputImgMode(std::string& text) const;
  std::string GetParaValForUsr(std::string& out, const std::string& source, const ParaItem& item,
                               const std::string& value) const;

  // ---- driver binding ----
  int LoadCommunicateDriver();
  int AttachMultiDropDriver();
  int UnloadCommunicateDriver();
  int DetachMultiDropDriver();
  Binding GetBinding() const {
    return ownSession_ ? Binding::kOwn : session_ ? Binding::kShared : Binding::kNone;
  }
  DriverHandle GetDriverHandle() const { return Handle(); }
  bool HasDriver() const { return Handle() != nullptr; }
  // The device key the driver knows the adapter by: its address, unless the
  // instance it binds to still knows that number from an adapter that was
  // deleted while the driver kept its device; then a number never used.
  DeviceKey Key() const { return key_ ? key_ : reinterpret_cast<DeviceKey>(this); }
  // True while the driver holds the layout of the present online images (its
  // last accepted module list was built with them), so it may copy into them.
  bool DriverHasLayout() const { return driverLayout_; }

  // ---- online calls ----
  int SetModuleList();
  int StartMonitoring(int prepareOnly);
  int StopMonitoring(int prepareOnly);
  int UpdateCommStatus(int16_t& status, int16_t& busError, int16_t& fieldPower);
  // Forgets the last reported status (0, 0, 0: not read), as monitoring stops.
  void ClearCommStatus() { lastStatus_ = lastBusError_ = lastFieldPower_ = kStatusNotRead; }
  OnlineIOConfig* GetOnlineConfig(const std::string& caller, int showBox);
  int ClearGettedOnlineConfig(OnlineIOConfig* record);
  OnlineBytes ReadOnlineData(const Wrapper* object, int allModules, int kind, int readMode,
                             const std::string& caller, int showBox, int logErrors);
  int WriteOutputData(Wrapper* object, int kind, int useDefault, const std::string& caller, int showBox);
  int SendSpecialCmd(int command);
  int ShowAddresMap(int slot, int extra);
  AddressMapInfo* GetAddresMap(int slot, int logIfMissing);
  int ClearGettedAddresMap(AddressMapInfo* record);

  // ---- online images ----
  int AllocOnlineImages();
  uint8_t* OnlineImage(int kind);
  const uint8_t* OnlineImage(int kind) const;
  int OnlineLength(int kind) const;
  void SetOnlineLength(int kind, int length) { onlineLengths_.at(static_cast<size_t>(kind)) = length; }
  void FreeOnlineImages();

  // The communication-type code of the adapter's line under the definition;
  // kCommNone without a line or a definition.
  int CommCode() const;

  // ---- what the modules read (AdapterLink) ----
  bool HasOnlinePara() const override { return OnlineImage(kOnlinePara) != nullptr; }
  OnlineBytes OnlineParaOf(const Wrapper& object, const char* caller) override {
    return ReadOnlineData(&object, 0, kOnlinePara, 0, caller, 0, 0);
  }

  std::string ipAddress;
  std::string comPort;
  std::string serialSettings;
  std::string nodeAddress;
  intptr_t treeItem = 0;

  int imageModeChanged = 0;
  int channelChanged = 0;
  int deviceChanged = 0;
  int moduleListChanged = 0;

private:
  std::string ChannelText(int code) const;
  std::string DeviceText() const;
  // Sends the device-property text and notes the key as known to the
  // instance; the driver's result.
  int SendDeviceProperty();
  // Image modes to the driver; the driver's result.
  int SendProcessImgMode();
  // The two steps of binding after the channel: the device text (left marked
  // changed when refused) and the image modes, refusals reported; the module
  // list counts as sent. true when the driver took both.
  bool SendDeviceAndModes(const char* func);
  // Logs that the driver refused a text during binding or an update.
  void ReportRefused(const char* entry, int result, const char* func) const;
  // Takes a key the instance does not know yet (see Key()).
  void ChooseKey();
  // The definition's driver entry for the line's communication type.
  const CommDriverEntry* DriverEntryOfLine() const;
  void ReportNoDriver(const char* source, int showBox) const;
  void ReleaseOwnDriver();
  DriverHandle Handle() const { return session_ ? session_->Handle() : nullptr; }

  const NADef* definition_ = nullptr;
  CommLine line_;
  std::vector<std::string> diagHistory_;
  // The session the adapter talks through: its own, or its project's shared
  // line, which it has joined.
  std::unique_ptr<DriverSession> ownSession_;
  DriverSession* session_ = nullptr;
  uint16_t updateTime_ = 500;
  std::array<std::shared_ptr<std::vector<uint8_t>>, 5> onlineImages_;
  std::array<int, 5> onlineLengths_{};
  int16_t lastStatus_ = kStatusNotRead;
  int16_t lastBusError_ = kStatusNotRead;
  int16_t lastFieldPower_ = kStatusNotRead;
  DriverEntryPoints entries_;  // what the adapter may call: all of its own, the device ones of a shared line
  DeviceKey key_ = 0;                       // 0: the address
  bool driverLayout_ = false;
};
