// Start-up of the main program beside a bare Qt Widgets main window with a
// menu bar and a status bar (bench_bare_window), both started as processes
// on the X display this probe watches:
//
// - first whole frame: from the start of the process to the moment the X
//   server has drawn every pixel of its main window once (the DAMAGE
//   extension reports what the program puts into its window);
// - resident memory at settle: the process's resident set once its window
//   has had no new drawing for a second.
//
// The main program runs from a private copy of the staged program folder
// with the shipped catalogue and with one 20 times larger; the anchor and
// ours alternate A B B A. Needs an X server without a window manager:
//
//   xvfb-run -a -s "-screen 0 1600x1000x24" bench-bin/bench_startup [rounds]
#include "bench/support/catalogue_copy.h"
#include "bench/support/side_by_side.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kQuietMs = 1000;     // no drawing for this long: settled
constexpr double kGiveUpMs = 20000;   // a program that shows nothing by then has failed
constexpr int kMinimumSide = 300;     // smaller windows (menus, tips, helpers) are not the main window

struct Watched {
  XserverRegion drawn = 0;
  int width = 0, height = 0;
  bool mapped = false;
};

struct Result {
  double firstFrameMs = 0;
  double settledRssMb = 0;
};

class Probe {
public:
  Probe() {
    display_ = XOpenDisplay(nullptr);
    if (!display_) Fail("no X display (run under xvfb-run)");
    int error = 0, major = 0, minor = 0;
    if (!XDamageQueryExtension(display_, &damageEvent_, &error) || !XFixesQueryExtension(display_, &major, &minor)) {
      Fail("the X server has no DAMAGE or XFIXES extension");
    }
    XFixesQueryVersion(display_, &major, &minor);
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XSync(display_, False);
  }
  ~Probe() { XCloseDisplay(display_); }

  // Starts `argv` in `folder` with `home` as its home and measures it.
  Result Run(const std::vector<std::string>& argv, const fs::path& home) {
    Drain();
    windows_.clear();
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) Fail("fork failed");
    if (pid == 0) {
      ::setenv("HOME", home.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
      ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
      ::setenv("QMX_LOCK_DIR", home.c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "xcb", 1);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      std::_Exit(127);
    }
    Result result;
    double lastDrawing = 0;
    while (true) {
      const double now = qmx::bench::MsSince(start);
      if (result.firstFrameMs > 0 && now - lastDrawing >= kQuietMs) break;
      if (now > kGiveUpMs) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        Fail(("no whole frame from " + argv[0]).c_str());
      }
      if (!XPending(display_)) {
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        ::poll(&fd, 1, 20);
        if (!XPending(display_)) continue;
      }
      XEvent event;
      XNextEvent(display_, &event);
      if (Handle(event) && result.firstFrameMs == 0 && WholeFrame()) result.firstFrameMs = qmx::bench::MsSince(start);
      if (event.type == damageEvent_ + XDamageNotify) lastDrawing = qmx::bench::MsSince(start);
    }
    result.settledRssMb = ResidentMb(pid);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    for (auto& [window, watched] : windows_) {
      if (watched.drawn) XFixesDestroyRegion(display_, watched.drawn);
    }
    windows_.clear();
    XSync(display_, False);
    return result;
  }

  [[noreturn]] static void Fail(const char* what) {
    std::fprintf(stderr, "bench_startup: %s\n", what);
    std::exit(1);
  }

private:
  void Drain() {
    XSync(display_, False);
    while (XPending(display_)) {
      XEvent event;
      XNextEvent(display_, &event);
    }
  }

  // True when the event drew into a watched window.
  bool Handle(const XEvent& event) {
    switch (event.type) {
      case CreateNotify: {
        const XCreateWindowEvent& e = event.xcreatewindow;
        if (e.override_redirect) return false;
        // Watched from its creation on, so no drawing escapes.
        XDamageCreate(display_, e.window, XDamageReportRawRectangles);
        Watched& w = windows_[e.window];
        w.drawn = XFixesCreateRegion(display_, nullptr, 0);
        w.width = e.width;
        w.height = e.height;
        return false;
      }
      case ConfigureNotify: {
        auto it = windows_.find(event.xconfigure.window);
        if (it != windows_.end()) {
          it->second.width = event.xconfigure.width;
          it->second.height = event.xconfigure.height;
        }
        return false;
      }
      case MapNotify: {
        auto it = windows_.find(event.xmap.window);
        if (it != windows_.end()) it->second.mapped = true;
        return false;
      }
      default:
        break;
    }
    if (event.type != damageEvent_ + XDamageNotify) return false;
    const auto& e = reinterpret_cast<const XDamageNotifyEvent&>(event);
    auto it = windows_.find(e.drawable);
    if (it == windows_.end()) return false;
    XRectangle area{e.area.x, e.area.y, e.area.width, e.area.height};
    XserverRegion piece = XFixesCreateRegion(display_, &area, 1);
    XFixesUnionRegion(display_, it->second.drawn, it->second.drawn, piece);
    XFixesDestroyRegion(display_, piece);
    return true;
  }

  // Whether a mapped main-window-sized window has been drawn all over.
  bool WholeFrame() {
    for (auto& [window, w] : windows_) {
      if (!w.mapped || w.width < kMinimumSide || w.height < kMinimumSide) continue;
      int count = 0;
      XRectangle bounds;
      XRectangle* rects = XFixesFetchRegionAndBounds(display_, w.drawn, &count, &bounds);
      long long area = 0;
      for (int i = 0; i < count; ++i) {
        const int x0 = std::max(0, static_cast<int>(rects[i].x)), y0 = std::max(0, static_cast<int>(rects[i].y));
        const int x1 = std::min(w.width, rects[i].x + rects[i].width);
        const int y1 = std::min(w.height, rects[i].y + rects[i].height);
        if (x1 > x0 && y1 > y0) area += static_cast<long long>(x1 - x0) * (y1 - y0);
      }
      if (rects) XFree(rects);
      if (area >= static_cast<long long>(w.width) * w.height) return true;
    }
    return false;
  }

  static double ResidentMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
  }

  Display* display_ = nullptr;
  int damageEvent_ = 0;
  std::map<Window, Watched> windows_;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
  const fs::path work = fs::temp_directory_path() / ("qmx-bench-startup-" + std::to_string(::getpid()));
  Probe probe;
  const std::vector<qmx::bench::Metric> metrics = {{"first whole frame", "ms", 1.5},
                                                  {"resident memory at settle", "MB", 1.3}};
  bool met = true;
  qmx::bench::PrintLoad("before");
  for (const int factor : {1, 20}) {
    const fs::path folder = work / std::to_string(factor);
    qmx::bench::CopyProgramFolder(QMX_BENCH_DIST_DIR, folder, factor);
    int run = 0;
    // Each run starts with a home of its own: no window layout or settings from an earlier run.
    auto measure = [&](const std::vector<std::string>& command) {
      const fs::path home = work / ("home" + std::to_string(run++));
      fs::create_directories(home);
      fs::permissions(home, fs::perms::owner_all);  // as a runtime folder must be
      const Result r = probe.Run(command, home);
      fs::remove_all(home);
      return std::vector<double>{r.firstFrameMs, r.settledRssMb};
    };
    const auto s = qmx::bench::RunInterleaved(
        metrics.size(), rounds, [&] { return measure({QMX_BENCH_BARE_WINDOW}); },
        [&] { return measure({(folder / "QMX410Tools").string()}); });
    met = qmx::bench::Report(factor == 1 ? "shipped catalogue" : "20x catalogue", metrics, s) && met;
  }
  qmx::bench::PrintLoad("after");
  std::error_code ec;
  fs::remove_all(work, ec);
  return met ? 0 : 2;
}
