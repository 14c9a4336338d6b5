// Compiled into every test program: tests never need a display, so Qt runs on
// its offscreen platform unless the caller chose another.
#include <cstdlib>

namespace {

struct TestEnvironment {
  TestEnvironment() { ::setenv("QT_QPA_PLATFORM", "offscreen", 0); }
};

const TestEnvironment kEnvironment;

}  // namespace
