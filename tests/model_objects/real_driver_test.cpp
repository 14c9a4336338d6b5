// The binding against the staged driver library itself.
#include "fixture.h"

#include "app/model/DriverSession.h"
#include "tests/support/test_support.h"

namespace {

TEST(RealDriver, BindsInitializesAndReleases) {
  ModelLogCapture log;
  DriverSession session;
  ASSERT_EQ(session.Open(qmx::test::DistDir().string(), "Tessivar.dll", kAdapterDriverNeeds, {"Test", "NA: QMX-ETH"}),
            DriverSession::Opening::kOpened)
      << session.Library().LastError();
  // All 24 are exported.
  const std::vector<const char*> all(std::begin(kDriverEntryNames), std::end(kDriverEntryNames));
  EXPECT_EQ(FirstMissingEntry(session.Entries(), all), nullptr);
  ASSERT_NE(session.Handle(), nullptr);
  EXPECT_EQ(session.Entries().drvStopComm(session.Handle()), DRV_ERR_STOPPED);
  EXPECT_EQ(session.Close("Test", "QMX-ETH"), 1);
  EXPECT_FALSE(session.Loaded());
}

class RealDriverAdapter : public ObjectTest {};

TEST_F(RealDriverAdapter, AdapterBindsTheStagedLibrary) {
  qmx::Paths().SetAppDir(qmx::test::DistDir().string());
  // The version is read from the file the binding loaded (the definition
  // names "Tessivar.dll"), and the line names that file.
  std::vector<std::string> versionOf;
  qmx::Services().fileVersionText = [&versionOf](const std::string& path) {
    versionOf.push_back(path);
    return std::string("Tessivar is started. ProductVersion: 1.2.");
  };
  const std::string loaded = (qmx::test::DistDir() / "Tessivar.so").string();
  auto def = MakeDefinition("Tessivar");
  def->commTypeMap["TCP"].commParas = "502,250,4322,5,10,0";  // the driver refuses a shorter list
  CProjectUsr project;
  project.SetCommType("TCP");
  auto* na = new CNAUsr();
  na->SetName("Station 1");
  na->SetNADef(def.get());
  project.AddAdapter(na);
  na->SetCommSettings("127.0.0.1", "", "", "1");
  EXPECT_EQ(na->GetBinding(), CNAUsr::Binding::kOwn);
  EXPECT_TRUE(na->HasDriver());
  EXPECT_EQ(versionOf, std::vector<std::string>{loaded});
  EXPECT_TRUE(log.Has("Device driver for Station 1 (127.0.0.1) is loaded successfully. Tessivar is started. "
                      "ProductVersion: 1.2. File: " + loaded + ".", qmx::kLogGeneral));
  // Nothing changed since the binding: nothing goes to the driver.
  EXPECT_EQ(na->SetModuleList(), 1);
  delete na;
  EXPECT_FALSE(log.Has("drvUninitialize is failed"));
}

}  // namespace
