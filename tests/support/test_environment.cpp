// Compiled into every test program: tests never need a display, so Qt runs on
// its offscreen platform unless the caller chose another.
#include <cstdlib>

namespace {

struct TestEnvironment {
  TestEnvironment() { ::setenv("QT_QPA_PLATFORM", "offscreen", 0); }
};

const TestEnvironment kEnvironment;

}  // namespace

// Libraries below Qt keep caches for the life of the process (fontconfig's
// pattern cache); they are not the suite's leaks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libdbus\nleak:libglib\n";
}
