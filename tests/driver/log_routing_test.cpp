#include <gtest/gtest.h>

#include <stdexcept>

#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/result_codes.h"
#include "tests/driver/log_capture.h"

namespace tessivar {
namespace {

using qmx::test::LogCapture;

class LogRouting : public ::testing::Test {
protected:
  void SetUp() override {
    LogCapture::Clear();
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
  }
  void TearDown() override {
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }
};

struct Switches {
  int general, error, communication, developer;
};

TEST_F(LogRouting, LevelsFollowTheirSwitch) {
  const int levels[] = {0, 1, 2, 3, 4, 5, 7, 49, 50, 51, 1000, -1, -50};
  // Expected delivery per level under: all off, error only, general only,
  // communication only, developer only, all on.
  const Switches settings[] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {5, -1, 2, 9}};
  const bool expected[][13] = {
      //  0  1  2  3  4  5  7 49 50 51 1000 -1 -50
      {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1},
      {1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1},
      {0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1},
      {0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1},
      {0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1},
  };
  for (size_t s = 0; s < std::size(settings); ++s) {
    const auto& sw = settings[s];
    DriverLibrary::Get().SetSwitches(sw.general, sw.error, sw.communication, sw.developer);
    for (size_t l = 0; l < std::size(levels); ++l) {
      LogCapture::Clear();
      const int r = RouteLog(levels[l], "line");
      const bool delivered = LogCapture::Lines().size() == 1;
      EXPECT_EQ(delivered, expected[s][l]) << "setting " << s << " level " << levels[l];
      EXPECT_EQ(r, expected[s][l] ? 1 : 0);
    }
  }
}

TEST_F(LogRouting, SourceIsTheLibraryFileNameAndTextIsKept) {
  DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
  RouteLog(1, "[T] \u2605 text");
  ASSERT_EQ(LogCapture::Lines().size(), 1u);
  const auto line = LogCapture::Lines()[0];
  EXPECT_EQ(line.source, DriverLibrary::Get().FileName());
  EXPECT_FALSE(line.source.empty());
  EXPECT_EQ(line.source.find('/'), std::string::npos);
  EXPECT_EQ(line.text, "[T] \xE2\x98\x85 text");
}

TEST_F(LogRouting, DeliveredWithoutCallbackAndLostWhenTheCallbackThrows) {
  DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
  DriverLibrary::Get().SetCallback(nullptr);
  EXPECT_EQ(RouteLog(0, "nobody listens"), 1);
  DriverLibrary::Get().SetCallback([](int, const char*, const char*) { throw std::runtime_error("caller failed"); });
  EXPECT_EQ(RouteLog(0, "lost"), 0);
  // The last callback set wins.
  DriverLibrary::Get().SetCallback(&LogCapture::Callback);
  EXPECT_EQ(RouteLog(0, "kept"), 1);
  EXPECT_TRUE(LogCapture::Has("kept"));
}

TEST_F(LogRouting, InstanceLinesCarryTheInstanceName) {
  DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
  DriverInstance instance;
  instance.Log(1, "Communication channel instance is removed.");
  EXPECT_TRUE(LogCapture::Has("Communication channel instance is removed.")) << LogCapture::Dump();
  LogCapture::Clear();
  EXPECT_EQ(instance.SetChannelProperty("NA-1", "Offline\t"), 1);
  instance.Log(2, " frame");
  EXPECT_TRUE(LogCapture::Has("[NA-1] frame")) << LogCapture::Dump();
}

}  // namespace
}  // namespace tessivar
