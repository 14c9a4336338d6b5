// Compiled into every test program: tests never need a display, so Qt runs on
// its offscreen platform unless the caller chose another; and the leak
// checker's suppressions. The programs that make windows also get the one main
// that makes their QApplication (qt_test_main.cpp), those that bind the driver
// library its leak-check setting (driver_tls.cpp).
#include <cstdlib>
#include <string>

namespace {

struct TestEnvironment {
  TestEnvironment() { ::setenv("QT_QPA_PLATFORM", "offscreen", 0); }
};

const TestEnvironment kEnvironment;

}  // namespace

// Suppressions a program adds to the common ones (driver_tls.cpp); none
// when it does not link one.
extern "C" __attribute__((weak)) const char* qmx_extra_leak_suppressions();

// Libraries below Qt keep caches for the life of the process (fontconfig's
// pattern cache, the print system's per-thread state); they are not the
// suite's leaks.
extern "C" const char* __lsan_default_suppressions() {
  static const std::string all = std::string("leak:libfontconfig\nleak:libdbus\nleak:libglib\nleak:libcups\n") +
                                 (qmx_extra_leak_suppressions ? qmx_extra_leak_suppressions() : "");
  return all.c_str();
}
