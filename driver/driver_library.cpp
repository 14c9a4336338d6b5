#include "driver/driver_library.h"

#include <dlfcn.h>


#include "driver/driver_instance.h"

namespace tessivar {
namespace {

std::string OwnPath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&RouteLog), &info) != 0 && info.dli_fname && *info.dli_fname) {
    return info.dli_fname;
  }
  return TESSIVAR_LIBRARY_FILE;
}

}  // namespace

DriverLibrary& DriverLibrary::Get() {
  static DriverLibrary library;
  return library;
}

DriverLibrary::DriverLibrary() {
  path_ = OwnPath();
  const size_t slash = path_.find_last_of('/');
  if (slash == std::string::npos) {
    fileName_ = path_;
  } else {
    directory_ = path_.substr(0, slash);
    fileName_ = path_.substr(slash + 1);
  }
}

DriverLibrary::~DriverLibrary() {
  // The library is being unloaded: nothing may call out into the caller any
  // more, and instances still listed are stopped and released here.
  closing_ = true;
  callback_ = nullptr;
  std::map<DriverHandle, std::shared_ptr<DriverInstance>> left;
  {
    std::lock_guard<std::mutex> lock(listLock_);
    left.swap(instances_);
  }
  left.clear();
  {
    std::lock_guard<std::mutex> lock(postLock_);
    stopDelivery_ = true;
  }
  postWake_.notify_all();
  delivered_.notify_all();
  if (deliverer_.joinable()) deliverer_.join();
}

void DriverLibrary::PostLog(int level, std::string text) {
  if (closing_ || !IsDelivered(level)) return;
  {
    std::lock_guard<std::mutex> lock(postLock_);
    if (stopDelivery_ || posted_.size() >= kMaxPostedLines) return;
    posted_.emplace_back(level, std::move(text));
    if (!deliverer_.joinable()) deliverer_ = std::thread([this] { DeliverPosted(); });
  }
  postWake_.notify_one();
}

size_t DriverLibrary::PostedLines() const {
  std::lock_guard<std::mutex> lock(postLock_);
  return posted_.size() + (delivering_ ? 1 : 0);
}

void DriverLibrary::DeliverPosted() {
  std::unique_lock<std::mutex> lock(postLock_);
  for (;;) {
    postWake_.wait(lock, [this] { return stopDelivery_ || !posted_.empty(); });
    if (stopDelivery_) return;
    std::pair<int, std::string> line = std::move(posted_.front());
    posted_.pop_front();
    delivering_ = true;
    lock.unlock();
    RouteLog(line.first, line.second);
    lock.lock();
    delivering_ = false;
    ++deliveredCount_;
    delivered_.notify_all();
  }
}

bool DriverLibrary::FlushPosted(std::chrono::milliseconds stall) {
  std::unique_lock<std::mutex> lock(postLock_);
  if (deliverer_.get_id() == std::this_thread::get_id()) return posted_.empty();
  while (!stopDelivery_ && (!posted_.empty() || delivering_)) {
    const uint64_t seen = deliveredCount_;
    if (!delivered_.wait_for(lock, stall, [&] { return stopDelivery_ || deliveredCount_ != seen; })) return false;
  }
  return true;
}

void DriverLibrary::SetCallback(DriverLogCallback callback) {
  if (!closing_) callback_ = callback;
}

DriverLogCallback DriverLibrary::Callback() const { return callback_.load(); }

void DriverLibrary::SetSwitches(int general, int error, int communication, int developer) {
  general_ = general != 0;
  error_ = error != 0;
  communication_ = communication != 0;
  developer_ = developer != 0;
}

bool DriverLibrary::IsDelivered(int level) const {
  const unsigned u = static_cast<unsigned>(level);
  if (u >= DRV_LOG_ALWAYS) return true;
  switch (u) {
    case DRV_LOG_ERROR:
      return error_.load() != 0;
    case DRV_LOG_GENERAL:
      return general_.load() != 0;
    case DRV_LOG_COMM:
    case DRV_LOG_COMM2:
      return communication_.load() != 0;
    case DRV_LOG_DEVELOPER:
      return developer_.load() != 0;
    default:
      return false;
  }
}

DriverHandle DriverLibrary::Add(std::shared_ptr<DriverInstance> instance) {
  DriverHandle handle = instance.get();
  std::lock_guard<std::mutex> lock(listLock_);
  instances_[handle] = std::move(instance);
  return handle;
}

std::shared_ptr<DriverInstance> DriverLibrary::Find(DriverHandle handle) const {
  std::lock_guard<std::mutex> lock(listLock_);
  const auto it = instances_.find(handle);
  return it == instances_.end() ? nullptr : it->second;
}

void DriverLibrary::Remove(DriverHandle handle) {
  std::shared_ptr<DriverInstance> keep;
  {
    std::lock_guard<std::mutex> lock(listLock_);
    const auto it = instances_.find(handle);
    if (it == instances_.end()) return;
    keep = std::move(it->second);
    instances_.erase(it);
  }
  // `keep` is released outside the list lock: destroying an instance may log.
}

int RouteLog(int level, const std::string& text) {
  DriverLibrary& library = DriverLibrary::Get();
  if (!library.IsDelivered(level)) return 0;
  const DriverLogCallback callback = library.Callback();
  if (!callback) return 1;
  try {
    callback(level, library.FileName().c_str(), text.c_str());
  } catch (...) {
    return 0;
  }
  return 1;
}

}  // namespace tessivar
