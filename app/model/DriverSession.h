// One driver library, the entry points its owner calls and, once opened, one
// instance of it: what an adapter with a driver of its own, a project's
// shared RS422/RS485 line, the automatic scan and the Modbus messenger each
// hold while they talk to a driver.
//
// Opening loads the library, looks up the entry points the owner uses,
// refuses (and frees) a library that lacks one the owner calls at once,
// hands the library the program's log callback and switches, and creates the
// instance; each failure is logged once, here. Closing lets the members go
// first (the adapters on a shared line remove their devices), then stops the
// instance's communication, uninitialises it and frees the library. A
// library whose instance could not be uninitialised stays loaded for the
// rest of the run: its threads may still be inside it.
#pragma once

#include "app/model/DriverBinding.h"
#include "platform/os/os.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// The entry points an owner looks up, those it calls at once, and how a
// library without one of those is told.
struct DriverNeeds {
  std::vector<const char*> lookUp;    // empty: all 24
  std::vector<const char*> required;  // a library without one is refused
  // A library opened for one tool (scan, messenger) without the tool's entry
  // points is no driver for it: told as "Cannot find Communication driver".
  bool missingMeansNoDriver = false;
};

// All 24; the six an adapter's binding calls at once.
extern const DriverNeeds kAdapterDriverNeeds;
// The seven of a project's shared instance; the three it calls at once.
extern const DriverNeeds kSharedLineDriverNeeds;

class DriverSession {
public:
  // What a failed opening names: the operation ("Func: %s") and the owner's
  // words after the sentence ("NA: QMX-ETH", "Project: Line B"; empty for a
  // tool's session).
  struct Names {
    const char* func = "";
    std::string owner;
  };
  enum class Opening { kOpened, kNoLibrary, kEntryMissing, kNoInstance };

  DriverSession() = default;
  ~DriverSession() { Close(); }
  DriverSession(const DriverSession&) = delete;
  DriverSession& operator=(const DriverSession&) = delete;

  // Opens <folder>/<file> (a blank file name loads nothing). A library
  // refused for a missing entry point is freed; one whose drvInitialize
  // gave no instance stays loaded until Close.
  Opening Open(const std::string& folder, const std::string& file, const DriverNeeds& needs, const Names& names);
  // Members leave, then the instance goes and the library is freed or kept
  // (see above). 1 when the instance is gone (or there was none); else the
  // driver's refusal, 0 without drvUninitialize. With `func`, a refusal is
  // logged naming `ownerName` and `func`.
  int Close(const char* func = nullptr, const std::string& ownerName = {});

  bool Loaded() const { return library_.loaded(); }
  bool HasInstance() const { return library_.loaded() && handle_ != nullptr; }
  DriverHandle Handle() const { return handle_; }
  const DriverEntryPoints& Entries() const { return entries_; }
  const qmx::os::Module& Library() const { return library_; }
  // The tail of a "loaded successfully" line: the version text of the
  // library file actually loaded, then that file's name.
  std::string LoadedText() const;

  // A member (an adapter on the shared line) joins the instance: `entries`
  // takes the library's entry points that concern one device
  // (kDeviceEntryNames). A library without one of `required` takes no
  // member: the missing one is logged naming `names`, `entries` stays as it
  // was, false. A member uses the instance until it leaves; Close calls
  // `leave` of every member still there, before the instance goes.
  bool Join(const void* member, const std::vector<const char*>& required, const Names& names,
            std::function<void()> leave, DriverEntryPoints& entries);
  void Leave(const void* member) { members_.erase(member); }

private:
  int Uninitialize(const char* func, const std::string& ownerName);
  // Logs that the library lacks `missing`, which the owner calls at once.
  static void ReportMissingEntry(const char* missing, const Names& names);

  qmx::os::Module library_;
  DriverEntryPoints entries_;
  DriverHandle handle_ = nullptr;
  std::map<const void*, std::function<void()>> members_;
};
