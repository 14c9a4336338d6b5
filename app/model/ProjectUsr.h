// The root object of one open project: its name, file, communication type,
// intervals, serial defaults and scan ranges, its adapters (not owned), and
// for RS422/RS485 projects the one driver instance its adapters share.
#pragma once

#include "app/model/DriverBinding.h"
#include "app/model/Wrapper.h"

#include <functional>
#include <set>
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

  // Adds an adapter to the list (tree order) and makes this its project.
  void AddAdapter(CNAUsr* adapter);
  void RemoveChild(CNAUsr* adapter, int deleteFlag);
  const std::vector<CNAUsr*>& Adapters() const { return adapters_; }

  // The shared instance and its library (RS422/RS485 projects).
  bool HasSharedDriver() const { return library_.loaded() && handle_ != nullptr; }
  const qmx::os::Module& SharedLibrary() const { return library_; }
  DriverHandle SharedHandle() const { return handle_; }
  const DriverEntryPoints& EntryPoints() const { return entries_; }
  // Adapters announce that they use / leave the shared instance.
  void NoteAttached(CNAUsr* adapter) { attached_.insert(adapter); }
  void NoteDetached(CNAUsr* adapter) { attached_.erase(adapter); }

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
  std::vector<CNAUsr*> adapters_;
  std::set<CNAUsr*> attached_;
  qmx::os::Module library_;
  DriverHandle handle_ = nullptr;
  DriverEntryPoints entries_;  // the 7 of the shared instance
  std::string lastChannelText_;
  bool channelSent_ = false;
};
