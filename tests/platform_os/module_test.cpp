// Shared libraries: "X.dll" loads "X.so", found without regard to case.
#include "platform/os/os.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using qmx::os::Module;
using qmx::test::TempDir;

namespace {

using AnswerFn = int32_t (*)();
using AddFn = int32_t (*)(int32_t, int32_t);

class ModuleTest : public ::testing::Test {
protected:
  void SetUp() override { fs::copy_file(QMX_OS_TESTLIB, dir_ / "QmxTestLib.so"); }
  TempDir dir_{"qmx-module"};
};

TEST(ModuleName, DllOfAnyCaseMapsToSo) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"/opt/qmx/Tessivar.dll", "/opt/qmx/Tessivar.so"}, {"Tessivar.DLL", "Tessivar.so"},
      {"Tessivar.Dll", "Tessivar.so"},                   {"Tessivar.so", "Tessivar.so"},
      {"Tessivar", "Tessivar"},                          {"Tessivar.dll.bak", "Tessivar.dll.bak"},
      {"a.dll/Tessivar", "a.dll/Tessivar"},
  };
  for (const auto& c : cases) EXPECT_EQ(Module::MapLibraryName(c.in), fs::path(c.out)) << c.in;
}

TEST_F(ModuleTest, LoadsTheSoByItsDllNameAndFindsSymbols) {
  Module module;
  ASSERT_TRUE(module.Load(dir_ / "QmxTestLib.dll")) << module.LastError();
  EXPECT_TRUE(module.loaded());
  EXPECT_TRUE(module.LastError().empty());
  auto answer = reinterpret_cast<AnswerFn>(module.GetProc("qmx_test_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  auto add = reinterpret_cast<AddFn>(module.GetProc("qmx_test_add"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(40, 2), 42);
  EXPECT_EQ(module.GetProc("qmx_no_such_symbol"), nullptr);
  EXPECT_EQ(module.GetProc(nullptr), nullptr);
}

TEST_F(ModuleTest, FileNameCaseDoesNotMatter) {
  Module module;
  ASSERT_TRUE(module.Load(dir_ / "QMXTESTLIB.DLL")) << module.LastError();
  EXPECT_NE(module.GetProc("qmx_test_answer"), nullptr);
  Module other;
  ASSERT_TRUE(other.Load(dir_ / "qmxtestlib.so")) << other.LastError();
}

TEST_F(ModuleTest, MissingOrBrokenLibraryGivesAnErrorText) {
  Module module;
  EXPECT_FALSE(module.Load(dir_ / "Missing.dll"));
  EXPECT_FALSE(module.loaded());
  EXPECT_NE(module.LastError().find("Missing.so"), std::string::npos) << module.LastError();
  EXPECT_EQ(module.GetProc("qmx_test_answer"), nullptr);

  qmx::test::WriteFile(dir_ / "Broken.so", "not a library");
  EXPECT_FALSE(module.Load(dir_ / "Broken.dll"));
  EXPECT_FALSE(module.LastError().empty());

  // a good load after a failed one clears the error
  ASSERT_TRUE(module.Load(dir_ / "QmxTestLib.dll"));
  EXPECT_TRUE(module.LastError().empty());
}

TEST_F(ModuleTest, FreeAndMove) {
  Module module;
  ASSERT_TRUE(module.Load(dir_ / "QmxTestLib.dll"));
  Module moved(std::move(module));
  EXPECT_FALSE(module.loaded());
  EXPECT_EQ(module.GetProc("qmx_test_answer"), nullptr);
  ASSERT_TRUE(moved.loaded());
  EXPECT_EQ(reinterpret_cast<AnswerFn>(moved.GetProc("qmx_test_answer"))(), 42);

  Module assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved.loaded());
  ASSERT_TRUE(assigned.loaded());
  assigned.Free();
  EXPECT_FALSE(assigned.loaded());
  EXPECT_EQ(assigned.GetProc("qmx_test_answer"), nullptr);
  assigned.Free();  // twice is harmless
}

}  // namespace
