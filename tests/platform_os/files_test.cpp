// Program folder, case-insensitive look-up of files, tick count and sleep.
#include "platform/os/os.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  const fs::path exe = qmx::os::ExecutablePath();
  EXPECT_TRUE(exe.is_absolute());
  EXPECT_EQ(exe.filename(), "platform_os_tests");
  EXPECT_EQ(qmx::os::ProgramFolder(), exe.parent_path());
  EXPECT_TRUE(fs::exists(qmx::os::ProgramFolder() / fs::path(QMX_OS_HELPER).filename()));
}

class NoCaseTest : public ::testing::Test {
protected:
  void SetUp() override {
    WriteFile(dir_ / "Products/NA/QMX-410NA.xml", "na");
    WriteFile(dir_ / "Products/listIO.xml", "io");
    WriteFile(dir_ / "Products/listio.XML.bak", "old");
  }
  TempDir dir_{"qmx-nocase"};
};

TEST_F(NoCaseTest, FindFileNoCase) {
  const fs::path products = dir_ / "Products";
  EXPECT_EQ(qmx::os::FindFileNoCase(products, "listIO.xml"), products / "listIO.xml");
  EXPECT_EQ(qmx::os::FindFileNoCase(products, "LISTIO.XML"), products / "listIO.xml");
  EXPECT_EQ(qmx::os::FindFileNoCase(products, "na"), products / "NA");
  EXPECT_EQ(qmx::os::FindFileNoCase(products, "listIO"), std::nullopt);
  EXPECT_EQ(qmx::os::FindFileNoCase(products, "missing.xml"), std::nullopt);
  EXPECT_EQ(qmx::os::FindFileNoCase(dir_ / "nowhere", "listIO.xml"), std::nullopt);
}

TEST_F(NoCaseTest, ExactNameIsPreferred) {
  WriteFile(dir_ / "Products/LISTIO.xml", "upper");
  EXPECT_EQ(qmx::os::FindFileNoCase(dir_ / "Products", "LISTIO.xml"), dir_ / "Products/LISTIO.xml");
  EXPECT_EQ(qmx::os::FindFileNoCase(dir_ / "Products", "listIO.xml"), dir_ / "Products/listIO.xml");
}

TEST_F(NoCaseTest, ResolvePathNoCase) {
  EXPECT_EQ(qmx::os::ResolvePathNoCase(dir_.path(), "products/na/qmx-410na.XML"),
            dir_ / "Products/NA/QMX-410NA.xml");
  EXPECT_EQ(qmx::os::ResolvePathNoCase(dir_.path(), "PRODUCTS/./NA/../listio.xml"), dir_ / "Products/listIO.xml");
  EXPECT_EQ(qmx::os::ResolvePathNoCase(dir_.path(), "products/io/x.xml"), std::nullopt);
  EXPECT_EQ(qmx::os::ResolvePathNoCase(dir_.path(), ""), dir_.path());
}

TEST(Clock, TickCountAdvancesAtLeastBySleep) {
  const uint32_t before = qmx::os::GetTickCount();
  qmx::os::SleepMs(30);
  const uint32_t elapsed = qmx::os::GetTickCount() - before;  // unsigned: wrap-safe
  EXPECT_GE(elapsed, 30u);
}

}  // namespace
