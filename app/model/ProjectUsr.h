// The root object of one open project: its name, file, communication type,
// intervals, serial defaults and scan ranges, its adapters (not owned), and
// for RS422/RS485 projects the one driver instance its adapters share.
//
// The adapters do not know the project: it hands each its line (CommLine)
// when it takes the adapter, and again when it changes the communication
// type (SetCommType) or interval (ChagnedValueByUsr) itself. A field written
// directly (commTypeCode, commInterval) reaches the adapters added after.
#pragma once

#include "app/model/CommLine.h"
#include "app/model/DriverSession.h"
#include "app/model/Wrapper.h"

#include <string>
#include <vector>

class CNAUsr;

class CProjectUsr : public Wrapper {
public:
  CProjectUsr();
  ~CProjectUsr() override;

  std::string GetModelName() const override { return name_; }
  std::string GetInfoText() const override { return "Project"; }
  std::string GetDescription() const override { return name_; }
  void ChagnedValueByUsr(const std::string& grid, const std::string& key, const ParaItem* para,
                         const IOItem* ioItem, const std::string& value) override;

  void SetCommType(const std::string& commType);
  int AssignCommTypeLoadMultiDropDriver();
  int SetChannelProperty(const std::string& channelProperty);
  int StartComm();
  int StopComm();
  int UnloadMultiDropDriver();
  int IsModified() const { return modified; }

  // Adds an adapter to the list (tree order) and hands it the line.
  void AddAdapter(CNAUsr* adapter);
  // Takes the adapter out of the list and takes the line back; deletes it
  // with `deleteFlag` 1.
  void RemoveChild(CNAUsr* adapter, int deleteFlag);
  const std::vector<CNAUsr*>& Adapters() const { return adapters_; }

  // The shared instance and its library (RS422/RS485 projects); its
  // adapters join the session and leave it before the instance goes.
  bool HasSharedDriver() const { return sharedLine_.HasInstance(); }
  DriverHandle SharedHandle() const { return sharedLine_.Handle(); }

  intptr_t treeItem = 0;
  std::string filePath;
  int modified = 0;
  std::string commType;
  int timerId = 0;
  int viewUpdateTime = 500;
  int commInterval = 500;
  int commIntervalChanged = 0;
  int viewUpdateTimeChanged = 0;
  int commTypeCode = 5;
  std::string sharedDriverFile;
  std::string serialSettings = "9600, 8, NOPARITY, 1";
  std::string comPortRange = "1,1";
  std::string nodeAddressRange = "1,32";

private:
  // Starts or stops the shared instance (`call`): the driver's positive
  // result, else 0 after the no-driver line and box or `failedBox`.
  int SharedComm(int (*call)(DriverHandle), const char* failedBox);
  // The line as an adapter of this project sees it now.
  CommLine LineFor(CNAUsr* adapter);
  // Hands every adapter the line again.
  void HandLines();

  std::vector<CNAUsr*> adapters_;
  DriverSession sharedLine_;
  std::string lastChannelText_;
  bool channelSent_ = false;
};
