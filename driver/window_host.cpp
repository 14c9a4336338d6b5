#include "driver/window_host.h"

namespace tessivar::windows {
namespace {
// Set once while the library loads, before any export runs.
WindowHost g_host;
}  // namespace

void SetWindowHost(const WindowHost& host) { g_host = host; }
const WindowHost& GetWindowHost() { return g_host; }

}  // namespace tessivar::windows
