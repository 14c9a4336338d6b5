#include "app/model/DriverSession.h"

#include "app/model/AppOptions.h"
#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "common/Utility.h"

#include <filesystem>
#include <mutex>
#include <utility>

const DriverNeeds kAdapterDriverNeeds = {
    {},
    {"drvSetFuncPtr", "drvSetLogOption", "drvInitialize", "drvSetChannelProperty", "drvSetDeviceProperty",
     "drvSetProcessImgMode"},
    false};

const DriverNeeds kSharedLineDriverNeeds = {
    {"drvSetFuncPtr", "drvSetLogOption", "drvInitialize", "drvSetChannelProperty", "drvStartComm", "drvStopComm",
     "drvUninitialize"},
    {"drvSetFuncPtr", "drvSetLogOption", "drvInitialize"},
    false};

namespace {

// Hands the library the program's log callback and the four switches, in
// the order general, error, communication, developer: each is the window
// enable OR the file enable of that log group. Without options every switch
// is on. Both are held once for the whole library; the last call wins.
void InstallDriverLogging(const DriverEntryPoints& entries) {
  const auto& optionsOf = qmx::Services().options;
  const AppOptions* options = optionsOf ? optionsOf() : nullptr;
  int s[4];
  for (int i = 0; i < 4; ++i) {
    s[i] = options ? ((options->WndEnable[i] || options->FileEnable[i]) ? 1 : 0) : 1;
  }
  if (entries.drvSetFuncPtr) entries.drvSetFuncPtr(&PostLog);
  if (entries.drvSetLogOption) {
    entries.drvSetLogOption(s[qmx::kSwitchGeneral], s[qmx::kSwitchError], s[qmx::kSwitchComm],
                            s[qmx::kSwitchDeveloper]);
  }
}

// Keeps a library loaded for the rest of the run (its instance could not be
// uninitialised, so code of it may still run).
void KeepLibraryLoaded(qmx::os::Module&& library) {
  static std::mutex guard;
  static auto* kept = new std::vector<qmx::os::Module>();  // never freed: the code stays mapped
  std::lock_guard<std::mutex> lock(guard);
  kept->push_back(std::move(library));
}

std::string OwnerTail(const std::string& owner) { return owner.empty() ? std::string() : " " + owner + "."; }

}  // namespace

DriverSession::Opening DriverSession::Open(const std::string& folder, const std::string& file,
                                           const DriverNeeds& needs, const Names& names) {
  Close();
  const std::string path = (std::filesystem::path(folder) / file).string();
  const std::string noDriver = StrFormat("Cannot find Communication driver. File: %s.", path.c_str());
  if (IsStrEmpty(file, 1) || !library_.Load(path)) {
    qmx::ReportError(qmx::err::kDriverFileMissing, noDriver, names.func, qmx::FuncEnd::kNoStop);
    return Opening::kNoLibrary;
  }
  LookUpEntryPoints(library_, needs.lookUp, entries_);
  if (const char* missing = FirstMissingEntry(entries_, needs.required)) {
    if (needs.missingMeansNoDriver) {
      qmx::ReportError(qmx::err::kDriverFileMissing, noDriver, names.func, qmx::FuncEnd::kNoStop);
    } else {
      ReportMissingEntry(missing, names);
    }
    library_.Free();
    entries_.Clear();
    return Opening::kEntryMissing;
  }
  InstallDriverLogging(entries_);
  handle_ = entries_.drvInitialize();
  if (!handle_) {
    qmx::ReportError(qmx::err::kDriverInstance,
                     "Cannot create comm. driver instance. May be out of memory." + OwnerTail(names.owner),
                     names.func, qmx::FuncEnd::kNoStop);
    return Opening::kNoInstance;
  }
  return Opening::kOpened;
}

void DriverSession::ReportMissingEntry(const char* missing, const Names& names) {
  qmx::ReportError(qmx::err::kRequiredFunctionMissing,
                   StrFormat("Cannot find %s function. Contact the dealer.%s", missing, OwnerTail(names.owner).c_str()),
                   names.func, qmx::FuncEnd::kNoStop);
}

bool DriverSession::Join(const void* member, const std::vector<const char*>& required, const Names& names,
                         std::function<void()> leave, DriverEntryPoints& entries) {
  DriverEntryPoints device;
  LookUpEntryPoints(library_, kDeviceEntryNames, device);
  if (const char* missing = FirstMissingEntry(device, required)) {
    ReportMissingEntry(missing, names);
    return false;
  }
  entries = device;
  members_[member] = std::move(leave);
  return true;
}

std::string DriverSession::LoadedText() const {
  const std::string file = library_.LoadedPath().string();
  const auto& versionText = qmx::Services().fileVersionText;
  const std::string version = versionText ? versionText(file) : std::string();
  return version.empty() ? StrFormat("File: %s.", file.c_str())
                         : StrFormat("%s File: %s.", version.c_str(), file.c_str());
}

int DriverSession::Close(const char* func, const std::string& ownerName) {
  // Each member's leave takes it out of the map.
  const auto members = members_;
  for (const auto& [member, leave] : members) {
    if (leave) leave();
  }
  members_.clear();
  if (!library_.loaded()) return 1;
  const int result = Uninitialize(func, ownerName);
  if (result == 1) {
    library_.Free();
  } else {
    KeepLibraryLoaded(std::move(library_));
  }
  handle_ = nullptr;
  entries_.Clear();
  return result;
}

int DriverSession::Uninitialize(const char* func, const std::string& ownerName) {
  if (!handle_) return 1;
  if (!entries_.drvUninitialize) {
    if (func) {
      qmx::ReportError(qmx::err::kUninitializeMissing,
                       StrFormat("Cannot find drvUninitialize function. Contact the dealer. NA: %s.",
                                 ownerName.c_str()),
                       func, qmx::FuncEnd::kNoStop);
    }
    return 0;
  }
  // A running instance refuses to go; stop its communication first.
  if (entries_.drvStopComm) entries_.drvStopComm(handle_);
  const int result = entries_.drvUninitialize(handle_);
  if (result == 1) {
    NoteInstanceGone(handle_);
    return 1;
  }
  if (func) {
    qmx::ReportError(result,
                     StrFormat("drvUninitialize is failed. The driver stays loaded. NA: %s.", ownerName.c_str()),
                     func, qmx::FuncEnd::kNoStop);
  }
  return result;
}
