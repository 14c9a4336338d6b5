// Library-wide state of the driver: the one log callback, the four log
// switches with their level routing, the list of live instances and the
// library's own path.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "driver/include/tessivar.h"

namespace tessivar {

class DriverInstance;

class DriverLibrary {
public:
  static DriverLibrary& Get();

  // drvSetFuncPtr / drvSetLogOption. Safe to call from any thread.
  void SetCallback(DriverLogCallback callback);
  DriverLogCallback Callback() const;
  void SetSwitches(int general, int error, int communication, int developer);

  // Whether a line of this level is delivered under the current switches:
  // 0 error, 1 general, 2 and 3 communication, 4 developer, 5..49 never,
  // 50 and above always (the level is compared unsigned, so a negative
  // level counts as above 50).
  bool IsDelivered(int level) const;

  // The folder and the file name of the library file (the source of every
  // log line).
  const std::string& Directory() const { return directory_; }
  const std::string& FileName() const { return fileName_; }

  // Instance list. Add takes ownership; Find returns a reference that keeps
  // the instance alive for the caller even if another thread removes it.
  DriverHandle Add(std::shared_ptr<DriverInstance> instance);
  std::shared_ptr<DriverInstance> Find(DriverHandle handle) const;
  void Remove(DriverHandle handle);

  // Hands a line to the library's delivery thread, which passes it through
  // RouteLog in the order posted. The communication threads log this way:
  // they only ever hand text over and never wait on the callback, so a
  // callback that blocks (or calls back into the driver) cannot hold up a
  // monitoring cycle or a drvStopComm waiting for its thread. At most
  // kMaxPostedLines wait; lines beyond are dropped.
  void PostLog(int level, std::string text);
  static constexpr size_t kMaxPostedLines = 10000;
  // Lines posted and not yet delivered (tests).
  size_t PostedLines() const;
  // Waits until every line posted so far has reached the callback, so that
  // what a stopped thread logged comes before what its stop logs and is
  // there when drvStopComm returns. Gives up when no line is delivered for
  // `stall` (a callback that blocks, or waits for the caller); returns at
  // once on the delivery thread itself. True when nothing is left to deliver.
  bool FlushPosted(std::chrono::milliseconds stall);

  ~DriverLibrary();

private:
  DriverLibrary();
  void DeliverPosted();

  std::atomic<DriverLogCallback> callback_{nullptr};
  std::atomic<int> general_{0};
  std::atomic<int> error_{0};
  std::atomic<int> communication_{0};
  std::atomic<int> developer_{0};
  std::atomic<bool> closing_{false};

  std::string path_;
  std::string directory_;
  std::string fileName_;

  mutable std::mutex postLock_;
  std::condition_variable postWake_;
  std::condition_variable delivered_;
  uint64_t deliveredCount_ = 0;
  std::deque<std::pair<int, std::string>> posted_;
  bool delivering_ = false;  // a line taken out and not yet delivered
  bool stopDelivery_ = false;
  std::thread deliverer_;

  mutable std::mutex listLock_;
  std::map<DriverHandle, std::shared_ptr<DriverInstance>> instances_;
};

// Delivers one line when its level passes the switches and a callback is set.
// Returns 1 when the level was delivered (also with no callback set), 0 when
// it was not, or when the callback threw.
int RouteLog(int level, const std::string& text);

}  // namespace tessivar
