// An adapter's and a project's binding to the fake driver library: what the
// journal shows for binding, shared instance and release, which entry points
// are required, and the warnings and errors of a failed binding.
#include "fixture.h"

#include "app/model/DriverSession.h"

#include <filesystem>

namespace {

class Binding : public ObjectTest {};

// A TCP project with one adapter named "Station 1".
struct TcpSetup {
  explicit TcpSetup(const std::string& variant = "FakeTessivar", const std::string& type = "TCP")
      : def(MakeDefinition(variant)) {
    project.SetName("Line A");
    project.SetCommType(type);
    na = new CNAUsr();
    na->SetName("Station 1");
    na->SetNADef(def.get());
    project.AddAdapter(na);
  }
  ~TcpSetup() { delete na; }
  std::unique_ptr<NADef> def;
  CProjectUsr project;
  CNAUsr* na = nullptr;
};

TEST_F(Binding, OwnDriverJournalOfBindingAndRelease) {
  FakeDriver fake;
  {
    TcpSetup s;
    s.na->SetCommSettings(" 10.0.0.7 ", "", "", "");
    ASSERT_EQ(s.na->GetBinding(), CNAUsr::Binding::kOwn);
    EXPECT_EQ(fake.LiveInstances(), 1);
    const auto journal = fake.Journal();
    ASSERT_EQ(journal.size(), 6u);
    EXPECT_EQ(journal[0], "drvSetFuncPtr callback");
    EXPECT_EQ(journal[1], "drvSetLogOption 1,1,1,1");
    EXPECT_EQ(journal[2].rfind("drvInitialize ", 0), 0u);
    EXPECT_EQ(journal[3], "drvSetChannelProperty Station 1 (10.0.0.7)|TCP\t10.0.0.7,502");
    EXPECT_EQ(journal[4], "drvSetDeviceProperty key|QMX-ETH|500\t0x4101,");
    EXPECT_EQ(journal[5], "drvSetProcessImgMode key,2,1");
    EXPECT_TRUE(log.Has("Device driver for Station 1 (10.0.0.7) is loaded successfully.", qmx::kLogGeneral));
    // The driver's own lines come back through the program's log.
    bool driverLine = false;
    for (const auto& r : log.Records()) driverLine |= r.source == "FakeTessivar.so" && r.text == "fake driver log line";
    EXPECT_TRUE(driverLine);
    EXPECT_EQ(s.na->channelChanged + s.na->deviceChanged + s.na->moduleListChanged, 0);
    fake.Reset();
  }
  EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvStopComm", "drvUninitialize"}));
  EXPECT_EQ(fake.LiveInstances(), 0);
}

TEST_F(Binding, LogSwitchesAreWindowOrFileEnableInGeneralErrorCommDeveloperOrder) {
  FakeDriver fake;
  static AppOptions options;
  for (int i = 0; i < 4; ++i) options.WndEnable[i] = options.FileEnable[i] = 0;
  options.WndEnable[qmx::kSwitchError] = 1;
  options.FileEnable[qmx::kSwitchDeveloper] = 1;
  qmx::Services().options = [] { return &options; };
  TcpSetup s;
  s.na->SetCommSettings("10.0.0.7", "", "", "");
  EXPECT_EQ(fake.Journal().at(1), "drvSetLogOption 0,1,0,1");
}

TEST_F(Binding, MissingRequiredEntryPointFailsWithoutCallingAnything) {
  for (const char* variant : {"FakeNoFuncPtr", "FakeNoLogOption", "FakeNoInitialize", "FakeNoChannelProperty",
                              "FakeNoDeviceProperty", "FakeNoProcessImgMode"}) {
    log.Clear();
    FakeDriver fake(variant);
    {
      TcpSetup s(variant);
      s.na->SetCommSettings("10.0.0.7", "", "", "");
      EXPECT_EQ(s.na->GetBinding(), CNAUsr::Binding::kNone) << variant;
      EXPECT_FALSE(s.na->HasDriver());
      EXPECT_TRUE(log.Has("Cannot find drv", qmx::kLogError)) << variant;
      EXPECT_TRUE(fake.Journal().empty()) << variant;
      EXPECT_EQ(fake.LiveInstances(), 0);
      EXPECT_EQ(s.na->StartMonitoring(0), 0);
      EXPECT_TRUE(log.Has("The network adapter does not support online communication. QMX-ETH."));
    }
  }
}

TEST_F(Binding, OptionalEntryPointsMayBeMissing) {
  FakeDriver fake("FakeNoOptional");
  TcpSetup s("FakeNoOptional");
  s.na->SetCommSettings("10.0.0.7", "", "", "");
  ASSERT_EQ(s.na->GetBinding(), CNAUsr::Binding::kOwn);
  fake.Reset();
  EXPECT_EQ(s.na->SetModuleList(), 0);
  EXPECT_TRUE(log.Has("[Error Code: -1025] Cannot find drvSetModuleList function. Contact the dealer. NA: QMX-ETH."));
  EXPECT_EQ(s.na->SendSpecialCmd(0), 0);
  EXPECT_TRUE(log.Has("[Error Code: -1024] Cannot find drvSendSpecialCmd function."));
  EXPECT_EQ(s.na->ShowAddresMap(0, 0), 0);
  EXPECT_TRUE(log.Has("[Error Code: -1023] The network adapter does not support address map function."));
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back(), "The network adapter does not support address map. NA: QMX-ETH.");
  EXPECT_EQ(s.na->GetAddresMap(0, 1), nullptr);
  EXPECT_TRUE(log.Has("[Error Code: -1024] Cannot find drvGetAddresMap function."));
  EXPECT_EQ(s.na->ClearGettedAddresMap(nullptr), 0);
  EXPECT_TRUE(log.Has("[Error Code: -1029]"));
  EXPECT_EQ(s.na->ClearGettedOnlineConfig(nullptr), 0);
  EXPECT_TRUE(log.Has("[Error Code: -1030]"));
  EXPECT_TRUE(fake.Journal().empty());
}

TEST_F(Binding, AdapterWithoutDriverEntryWarnsAndLoadsNothing) {
  FakeDriver fake;
  for (const char* type : {"RS422", "Offline", "POWERLINK"}) {
    log.Clear();
    TcpSetup s("FakeTessivar", type);
    s.na->SetCommSettings("", "COM1", "9600, 8, NOPARITY, 1", "3");
    EXPECT_TRUE(log.Has("[Warning: -3500] Comm. driver don't be defined. So, some functions don't be supported. "
                        "NA: QMX-ETH. Func: LoadCommunicateDriver",
                        qmx::kLogGeneral))
        << type;
    EXPECT_EQ(s.na->GetBinding(), CNAUsr::Binding::kNone);
    EXPECT_EQ(s.na->IsSupportOnline(), 0);
    EXPECT_TRUE(fake.Journal().empty()) << type;
    EXPECT_EQ(s.na->UnloadCommunicateDriver(), 2) << type;
    EXPECT_EQ(s.na->ReadOnlineData(s.na, 0, 0, 2, "Caller", 0, 1), nullptr);
    EXPECT_TRUE(log.Has("[Bug] Cannot find Communication driver. Func: Caller"));
  }
}

TEST_F(Binding, MissingLibraryAndRefusedInstanceAreLogged) {
  {
    auto def = MakeDefinition("NoSuchDriver");
    CProjectUsr project;
    project.SetCommType("TCP");
    CNAUsr na;
    na.SetNADef(def.get());
    project.AddAdapter(&na);
    na.SetCommSettings("10.0.0.7", "", "", "");
    EXPECT_TRUE(log.Has("[Error Code: -1021] Cannot find Communication driver. File: "));
    EXPECT_TRUE(log.Has("NoSuchDriver.dll. Func: LoadCommunicateDriver"));
    EXPECT_EQ(na.GetBinding(), CNAUsr::Binding::kNone);
    project.RemoveChild(&na, 0);
  }
  FakeDriver fake;
  fake.SetResult("drvInitialize", 0);
  TcpSetup s;
  s.na->SetCommSettings("10.0.0.7", "", "", "");
  EXPECT_TRUE(log.Has("[Error Code: -1022] Cannot create comm. driver instance. May be out of memory. NA: QMX-ETH."));
  EXPECT_FALSE(s.na->HasDriver());
}

TEST_F(Binding, RunningCommunicationIsStoppedBeforeUninitialize) {
  FakeDriver fake;
  {
    TcpSetup s;
    s.na->SetCommSettings("10.0.0.7", "", "", "");
    EXPECT_EQ(s.na->StartMonitoring(0), 1);
    fake.Reset();
  }
  const auto journal = fake.Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0], "drvStopComm -> 1");
  EXPECT_NE(journal[1].find("-> 1"), std::string::npos);
  EXPECT_EQ(fake.LiveInstances(), 0);
}

TEST_F(Binding, LibraryStaysLoadedWhenUninitializeIsRefused) {
  {
    FakeDriver fake;
    TcpSetup s;
    s.na->SetCommSettings("10.0.0.7", "", "", "");
    fake.SetResult("drvUninitialize", DRV_ERR_RUNNING);
    s.na->UnloadCommunicateDriver();
    EXPECT_EQ(s.na->GetBinding(), CNAUsr::Binding::kNone);
    EXPECT_TRUE(log.Has("drvUninitialize is failed", qmx::kLogError));
    EXPECT_EQ(fake.Calls().back(), "drvUninitialize");
  }
  // The test's own handle is gone; the refused instance keeps the library.
  EXPECT_TRUE(IsLibraryLoaded("FakeTessivar"));
}

TEST_F(Binding, WithoutUninitializeTheLibraryIsKeptAndNothingIsCalled) {
  FakeDriver fake("FakeNoUninitialize");
  {
    TcpSetup s("FakeNoUninitialize");
    s.na->SetCommSettings("10.0.0.7", "", "", "");
    ASSERT_EQ(s.na->GetBinding(), CNAUsr::Binding::kOwn);
    fake.Reset();
  }
  EXPECT_TRUE(log.Has("Cannot find drvUninitialize function"));
  EXPECT_EQ(fake.LiveInstances(), 1);
  fake.Close();
  EXPECT_TRUE(IsLibraryLoaded("FakeNoUninitialize"));
}

// ---- the shared instance of an RS485 line -----------------------------------------------

struct SharedSetup {
  SharedSetup() : def(MakeDefinition()) {
    project = new CProjectUsr();
    project->SetName("Line B");
    project->SetCommType("RS485");
    for (int node = 1; node <= 2; ++node) {
      auto* na = new CNAUsr();
      na->SetName("Station " + std::to_string(node));
      na->SetNADef(def.get());
      project->AddAdapter(na);
      adapters.push_back(na);
    }
  }
  void Bind() {
    int node = 1;
    for (CNAUsr* na : adapters) na->SetCommSettings("", "COM1", "9600, 8, NOPARITY, 1", std::to_string(node++));
  }
  std::unique_ptr<NADef> def;
  CProjectUsr* project;
  std::vector<CNAUsr*> adapters;
};

TEST_F(Binding, SharedInstanceIsCreatedOnceAndTheChannelSentOnce) {
  FakeDriver fake;
  SharedSetup s;
  EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvSetFuncPtr", "drvSetLogOption", "drvInitialize"}));
  // Without a version text the line still names the library it loaded.
  EXPECT_TRUE(log.Has("Device driver for Line B is loaded successfully. File: " +
                      (std::filesystem::path(QMX_FAKE_DRIVER_DIR) / "FakeTessivar.so").string() + "."));
  fake.Reset();
  s.Bind();
  const auto journal = fake.Journal();
  ASSERT_EQ(journal.size(), 5u);
  EXPECT_EQ(journal[0], "drvSetChannelProperty Line B|RS485\tCOM1,9600, 8, NOPARITY, 1,1000");
  EXPECT_EQ(journal[1], "drvSetDeviceProperty key|QMX-ETH|500\t0x4101,1");
  EXPECT_EQ(journal[2], "drvSetProcessImgMode key,2,1");
  EXPECT_EQ(journal[3], "drvSetDeviceProperty key|QMX-ETH|500\t0x4101,2");
  EXPECT_EQ(fake.LiveInstances(), 1);
  for (CNAUsr* na : s.adapters) {
    EXPECT_EQ(na->GetBinding(), CNAUsr::Binding::kShared);
    EXPECT_EQ(na->GetDriverHandle(), s.project->SharedHandle());
  }
  EXPECT_TRUE(log.Has("Device driver info is assigned successfully. Station 2 (Port:COM1. Node:2)"));
  // Module list changes go to the shared instance; the channel is the project's.
  fake.Reset();
  s.adapters[0]->ChagnedValueByUsr("Properties", "Com Port", nullptr, nullptr, "COM2");
  EXPECT_EQ(s.adapters[0]->SetModuleList(), 1);
  EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvSetModuleList"}));
  for (CNAUsr* na : s.adapters) delete na;
  delete s.project;
}

TEST_F(Binding, AdaptersLeaveTheSharedInstanceBeforeTheProjectReleasesIt) {
  FakeDriver fake;
  {
    SharedSetup s;
    s.Bind();
    fake.Reset();
    delete s.project;  // the project goes first
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvRemoveDevice", "drvRemoveDevice", "drvStopComm",
                                                      "drvUninitialize"}));
    EXPECT_EQ(fake.LiveInstances(), 0);
    fake.Reset();
    for (CNAUsr* na : s.adapters) {
      EXPECT_EQ(na->GetBinding(), CNAUsr::Binding::kNone);
      delete na;
    }
    EXPECT_TRUE(fake.Journal().empty());
  }
  {
    SharedSetup s;
    s.Bind();
    fake.Reset();
    s.project->RemoveChild(s.adapters[1], 1);  // one adapter is deleted through its project
    delete s.adapters[0];
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvRemoveDevice", "drvRemoveDevice"}));
    fake.Reset();
    delete s.project;
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvStopComm", "drvUninitialize"}));
  }
}

// The interval the project sets reaches the devices that join its line
// afterwards.
TEST_F(Binding, DevicesJoiningTheSharedLineTakeTheProjectsInterval) {
  FakeDriver fake;
  SharedSetup s;
  s.project->ChagnedValueByUsr("Properties", "Communication Interval", nullptr, nullptr, "1000");
  fake.Reset();
  s.Bind();
  const auto journal = fake.Journal();
  ASSERT_EQ(journal.size(), 5u);
  EXPECT_EQ(journal[1], "drvSetDeviceProperty key|QMX-ETH|1000\t0x4101,1");
  EXPECT_EQ(journal[3], "drvSetDeviceProperty key|QMX-ETH|1000\t0x4101,2");
  for (CNAUsr* na : s.adapters) EXPECT_EQ(na->UpdateTime(), 1000);
  for (CNAUsr* na : s.adapters) delete na;
  delete s.project;
}

// The session binds its members' entry points: a shared library without one
// that a device's binding calls at once takes no adapter, the refusal names
// the adapter, and nothing of a device is called, then or when the line goes.
TEST_F(Binding, ASharedLibraryWithoutTheDeviceEntryPointsTakesNoAdapter) {
  struct Case {
    const char* variant;
    const char* missing;
  };
  for (const Case& c : {Case{"FakeNoDeviceProperty", "drvSetDeviceProperty"},
                        Case{"FakeNoProcessImgMode", "drvSetProcessImgMode"}}) {
    log.Clear();
    FakeDriver fake(c.variant);
    sharedDriverFile = std::string(c.variant) + ".dll";
    SharedSetup s;
    ASSERT_TRUE(s.project->HasSharedDriver()) << c.variant;
    fake.Reset();
    s.Bind();
    EXPECT_TRUE(log.Has(std::string("[Error Code: -1027] Cannot find ") + c.missing +
                        " function. Contact the dealer. NA: QMX-ETH. Func: AttachMultiDropDriver",
                        qmx::kLogError))
        << c.variant;
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvSetChannelProperty"})) << c.variant;
    for (CNAUsr* na : s.adapters) EXPECT_EQ(na->GetBinding(), CNAUsr::Binding::kNone) << c.variant;
    fake.Reset();
    for (CNAUsr* na : s.adapters) delete na;
    delete s.project;
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvStopComm", "drvUninitialize"})) << c.variant;
  }
}

TEST_F(Binding, SharedProjectWithoutLibraryAttachesNoAdapter) {
  sharedDriverFile = "NoSuchDriver.dll";
  SharedSetup s;
  EXPECT_TRUE(log.Has("[Error Code: -1021] Cannot find Communication driver."));
  s.Bind();
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back(), "[Bug] MultiDropCommDrvID is NULL");
  EXPECT_EQ(s.project->StartComm(), 0);
  for (CNAUsr* na : s.adapters) delete na;
  delete s.project;
}

// ---- a tool's own session (scan, messenger) ----------------------------------------------

// A library without the tool's entry points is no driver for it; an
// instance that refuses to go keeps its library loaded, and nothing the tool
// did not look up is called.
TEST_F(Binding, AToolsSessionRefusesAForeignLibraryAndKeepsOneWhoseInstanceStays) {
  const std::vector<const char*> entries = {"drvSetFuncPtr", "drvSetLogOption", "drvInitialize", "drvUninitialize"};
  const DriverNeeds tool = {entries, entries, true};
  {
    DriverSession session;
    EXPECT_EQ(session.Open(QMX_FAKE_DRIVER_DIR, "FakeNoUninitialize.dll", tool, {"Tool", ""}),
              DriverSession::Opening::kEntryMissing);
    EXPECT_TRUE(log.Has("[Error Code: -1021] Cannot find Communication driver. File: " +
                        std::string(QMX_FAKE_DRIVER_DIR) + "/FakeNoUninitialize.dll. Func: Tool"));
    EXPECT_FALSE(session.Loaded());
  }
  {
    FakeDriver fake("FakeNoOptional");
    DriverSession session;
    ASSERT_EQ(session.Open(QMX_FAKE_DRIVER_DIR, "FakeNoOptional.dll", tool, {"Tool", ""}),
              DriverSession::Opening::kOpened);
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvSetFuncPtr", "drvSetLogOption", "drvInitialize"}));
    fake.Reset();
    fake.SetResult("drvUninitialize", DRV_ERR_RUNNING);
    EXPECT_EQ(session.Close(), DRV_ERR_RUNNING);
    EXPECT_EQ(fake.Calls(), std::vector<std::string>{"drvUninitialize"});
    EXPECT_FALSE(session.Loaded());
  }
  EXPECT_TRUE(IsLibraryLoaded("FakeNoOptional"));
}

// ---- online calls forward to the driver ----------------------------------------------------

TEST_F(Binding, ChangeFlagsDecideWhatReachesTheDriver) {
  FakeDriver fake;
  TcpSetup s;
  s.na->SetCommSettings("10.0.0.7", "", "", "");
  fake.Reset();
  EXPECT_EQ(s.na->SetModuleList(), 1);
  EXPECT_TRUE(fake.Journal().empty());
  s.na->ChagnedValueByUsr("Properties", "Node Address", nullptr, nullptr, "7");
  EXPECT_EQ(s.na->channelChanged, 1);
  EXPECT_EQ(s.na->deviceChanged, 1);
  EXPECT_EQ(s.na->SetModuleList(), 1);
  const auto journal = fake.Journal();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[0].rfind("drvSetChannelProperty ", 0), 0u);
  EXPECT_EQ(journal[1], "drvSetDeviceProperty key|QMX-ETH|500\t0x4101,7");
  EXPECT_EQ(journal[2], "drvSetModuleList key 1 [16641,NA,Station 1 (10.0.0.7),4,2,2,]");
  EXPECT_EQ(s.na->OnlineLength(kOnlinePara), 4);
  EXPECT_EQ(s.na->OnlineLength(kOnlineMonFreq), 2);
  fake.Reset();
  EXPECT_EQ(s.na->SetModuleList(), 1);
  EXPECT_TRUE(fake.Journal().empty());
  s.na->SetCommInterval(1000);
  s.na->SetModuleList();
  EXPECT_EQ(fake.Journal().at(0), "drvSetDeviceProperty key|QMX-ETH|1000\t0x4101,7");
}

TEST_F(Binding, StatusIsReportedOnlyWhenItChanges) {
  FakeDriver fake;
  TcpSetup s;
  s.na->SetCommSettings("10.0.0.7", "", "", "");
  int16_t status = 0, bus = 0, power = 0;
  EXPECT_EQ(s.na->UpdateCommStatus(status, bus, power), 1);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(bus, 1);
  EXPECT_EQ(power, 1);
  EXPECT_EQ(s.na->UpdateCommStatus(status, bus, power), 0);
  fake.SetResult("status", 0x00820005);
  EXPECT_EQ(s.na->UpdateCommStatus(status, bus, power), 1);
  EXPECT_EQ(status, 5);
  EXPECT_EQ(bus, 2);
  EXPECT_EQ(power, 2);
  fake.SetResult("drvRead", 0);
  EXPECT_EQ(s.na->UpdateCommStatus(status, bus, power), 1);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(s.na->UpdateCommStatus(status, bus, power), 0);
}

TEST_F(Binding, WritesAndReadsGoThroughTheDriver) {
  FakeDriver fake;
  TcpSetup s;
  s.na->SetCommSettings("10.0.0.7", "", "", "");
  s.na->paraImage() = {1, 2, 3, 4};
  fake.Reset();
  EXPECT_EQ(s.na->WriteOutputData(s.na, 2, 0, "Download", 0), 0);
  EXPECT_TRUE(log.Has("[Bug] This function cannot the source type. Src Type: 2. Func: Download"));
  EXPECT_TRUE(fake.Journal().empty());
  s.na->moduleListChanged = 1;
  EXPECT_EQ(s.na->WriteOutputData(s.na, 0, 0, "Download", 0), 1);
  EXPECT_EQ(fake.Journal().back(), "drvWriteByte key,0,0,0,4,01020304");
  EXPECT_EQ(s.na->WriteOutputData(s.na, 0, 1, "Download", 1), 0);  // the definition has no default image
  EXPECT_TRUE(log.Has("[Bug] Tx Length <= 0."));
  const OnlineBytes data = s.na->ReadOnlineData(s.na, 1, kOnlinePara, 2, "Upload", 0, 1);
  ASSERT_TRUE(data);
  EXPECT_EQ(data.data(), s.na->OnlineImage(kOnlinePara));
  EXPECT_EQ(fake.Journal().back(), "drvRead key,-1,0");
  fake.SetResult("drvRead", 0);
  EXPECT_FALSE(s.na->ReadOnlineData(s.na, 0, kOnlinePara, 2, "Upload", 1, 1));
  EXPECT_EQ(Boxes().back(), "drvRead is failed. See below log in detail.");
  OnlineIOConfig* config = s.na->GetOnlineConfig("Compare", 1);
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->productCode, 0x4101);
  EXPECT_EQ(s.na->ClearGettedOnlineConfig(config), 1);
  EXPECT_EQ(s.na->SendSpecialCmd(1), 1);
  EXPECT_EQ(fake.Journal().back(), "drvSendSpecialCmd key,1");
}

// A text the driver refuses is reported, never logged as success, and stays
// marked until the driver takes it; a refused module list leaves the images
// closed to the driver's copies and writes unsent.
TEST_F(Binding, RefusedTextsStayMarkedUntilTheDriverTakesThem) {
  struct Case {
    const char* entry;
    int CNAUsr::*flag;
  };
  for (const Case& c : {Case{"drvSetChannelProperty", &CNAUsr::channelChanged},
                        Case{"drvSetDeviceProperty", &CNAUsr::deviceChanged},
                        Case{"drvSetProcessImgMode", nullptr}}) {
    log.Clear();
    FakeDriver fake;
    fake.SetResult(c.entry, 0);
    TcpSetup s;
    s.na->SetCommSettings("10.0.0.7", "", "", "");
    EXPECT_EQ(s.na->GetBinding(), CNAUsr::Binding::kOwn) << c.entry;
    EXPECT_FALSE(log.Has("is loaded successfully")) << c.entry;
    EXPECT_TRUE(log.Has("[Error Code: -1051] " + std::string(c.entry) +
                        " is failed. Result: 0. NA: Station 1 (10.0.0.7). Func: LoadCommunicateDriver"))
        << c.entry;
    if (!c.flag) continue;
    EXPECT_EQ(s.na->*c.flag, 1) << c.entry;
    // Still refused: the call answers the refusal and sends the module list
    // of nothing that changed.
    fake.Reset();
    fake.SetResult(c.entry, 0);
    EXPECT_EQ(s.na->SetModuleList(), 0) << c.entry;
    EXPECT_EQ(fake.Calls(), std::vector<std::string>{c.entry}) << c.entry;
    EXPECT_EQ(s.na->*c.flag, 1) << c.entry;
    // Taken now: sent once more, then the module list follows.
    fake.Reset();
    EXPECT_EQ(s.na->SetModuleList(), 1) << c.entry;
    EXPECT_EQ(fake.Calls(), (std::vector<std::string>{c.entry, "drvSetModuleList"})) << c.entry;
    EXPECT_EQ(s.na->*c.flag, 0) << c.entry;
  }

  FakeDriver fake;
  TcpSetup s;
  s.na->SetCommSettings("10.0.0.7", "", "", "");
  s.na->moduleListChanged = 1;
  fake.SetResult("drvSetModuleList", DRV_ERR_RUNNING);
  EXPECT_EQ(s.na->SetModuleList(), DRV_ERR_RUNNING);
  EXPECT_EQ(s.na->moduleListChanged, 1);
  EXPECT_FALSE(s.na->DriverHasLayout());
  EXPECT_TRUE(log.Has("[Error Code: -1051] drvSetModuleList is failed. Result: -7007."));
  // Neither a read into the images nor a write by sequence numbers the driver
  // does not share reaches it.
  fake.Reset();
  fake.SetResult("drvSetModuleList", DRV_ERR_RUNNING);
  EXPECT_FALSE(s.na->ReadOnlineData(s.na, 1, kOnlinePara, 2, "Upload", 1, 1));
  EXPECT_EQ(Boxes().back(), "drvRead is failed. See below log in detail.");
  s.na->paraImage() = {1, 2, 3, 4};
  EXPECT_EQ(s.na->WriteOutputData(s.na, 0, 0, "Download", 1), 0);
  EXPECT_EQ(fake.Calls(), (std::vector<std::string>{"drvSetModuleList", "drvSetModuleList"}));
  // Taken: what a read hands out keeps its bytes after the next module list
  // replaced the images.
  fake.SetResult("drvSetModuleList", 1);
  const OnlineBytes before = s.na->ReadOnlineData(s.na, 1, kOnlinePara, 2, "Upload", 1, 1);
  ASSERT_TRUE(before);
  s.na->OnlineImage(kOnlinePara)[0] = 0x5A;
  s.na->moduleListChanged = 1;
  ASSERT_EQ(s.na->SetModuleList(), 1);
  EXPECT_EQ(before.size(), 4);
  EXPECT_EQ(before.data()[0], 0x5A);
  EXPECT_EQ(s.na->OnlineImage(kOnlinePara)[0], 0);
}

// An adapter made where one lived whose device the shared instance could not
// remove gets a key the instance does not know; a removed device frees it.
TEST_F(Binding, KeyOfADeviceTheDriverStillKnowsIsNeverGivenAgain) {
  FakeDriver fake;
  SharedSetup s;
  s.Bind();
  alignas(CNAUsr) unsigned char storage[sizeof(CNAUsr)];
  const auto address = reinterpret_cast<DeviceKey>(storage);
  auto make = [&] {
    auto* na = new (storage) CNAUsr();
    na->SetName("Station 9");
    na->SetNADef(s.def.get());
    s.project->AddAdapter(na);
    na->SetCommSettings("", "COM1", "9600, 8, NOPARITY, 1", "9");
    return na;
  };
  CNAUsr* first = make();
  EXPECT_EQ(first->Key(), address);
  fake.SetResult("drvRemoveDevice", DRV_ERR_RUNNING);
  first->~CNAUsr();
  EXPECT_TRUE(IsDeviceKnown(s.project->SharedHandle(), address));
  CNAUsr* second = make();
  EXPECT_NE(second->Key(), address);
  fake.SetResult("drvRemoveDevice", 1);
  const DeviceKey secondKey = second->Key();
  second->~CNAUsr();
  EXPECT_FALSE(IsDeviceKnown(s.project->SharedHandle(), secondKey));
  // The instance's end forgets every key it knew.
  const DriverHandle handle = s.project->SharedHandle();
  for (CNAUsr* na : s.adapters) delete na;
  delete s.project;
  EXPECT_FALSE(IsDeviceKnown(handle, address));
}

TEST(EntryPointNames, AreTheTwentyFourExportsOfTheHeader) {
  std::set<std::string> names(std::begin(kDriverEntryNames), std::end(kDriverEntryNames));
  EXPECT_EQ(names.size(), 24u);
  EXPECT_TRUE(names.count("drvSetFuncPtr") && names.count("drvUninitialize") && names.count("drvShowIOMonitor"));
}

}  // namespace
