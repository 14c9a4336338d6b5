// Adapters and projects bound to the fake driver library: an adapter
// definition whose TCP, RS232C, RS485 and RS422 entries name a fake variant,
// a journal reader and a scripted message box.
#pragma once

#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"

#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

inline std::string FakeLibraryPath(const std::string& variant) {
  return std::string(QMX_FAKE_DRIVER_DIR) + "/" + variant + ".so";
}

inline bool IsLibraryLoaded(const std::string& variant) {
  void* handle = dlopen(FakeLibraryPath(variant).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);
  return true;
}

// The test's own handle on a fake variant: it keeps the library (and its
// journal) alive while objects load and free it.
class FakeDriver {
public:
  explicit FakeDriver(const std::string& variant = "FakeTessivar") {
    handle_ = dlopen(FakeLibraryPath(variant).c_str(), RTLD_NOW);
    EXPECT_NE(handle_, nullptr) << dlerror();
    journal_ = reinterpret_cast<const char* (*)()>(dlsym(handle_, "fakeJournal"));
    reset_ = reinterpret_cast<void (*)()>(dlsym(handle_, "fakeReset"));
    setResult_ = reinterpret_cast<void (*)(const char*, long long)>(dlsym(handle_, "fakeSetResult"));
    live_ = reinterpret_cast<int (*)()>(dlsym(handle_, "fakeLiveInstances"));
    reset_();
    base_ = live_();
  }
  ~FakeDriver() { Close(); }
  void Close() {
    if (handle_) {
      reset_();
      dlclose(handle_);
      handle_ = nullptr;
    }
  }
  std::vector<std::string> Journal() const {
    std::vector<std::string> lines;
    std::istringstream in(journal_());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The names of the calls, in order.
  std::vector<std::string> Calls() const {
    std::vector<std::string> names;
    for (const std::string& line : Journal()) names.push_back(line.substr(0, line.find(' ')));
    return names;
  }
  void Reset() { reset_(); }
  void SetResult(const char* name, long long value) { setResult_(name, value); }
  // Instances made since this handle was opened and not yet uninitialised.
  int LiveInstances() const { return live_() - base_; }

private:
  void* handle_ = nullptr;
  const char* (*journal_)() = nullptr;
  void (*reset_)() = nullptr;
  void (*setResult_)(const char*, long long) = nullptr;
  int (*live_)() = nullptr;
  int base_ = 0;
};

// Message boxes the objects show, recorded instead of shown.
inline std::vector<std::string>& Boxes() {
  static std::vector<std::string> boxes;
  return boxes;
}

inline std::unique_ptr<NADef> MakeDefinition(const std::string& variant = "FakeTessivar") {
  auto def = std::make_unique<NADef>();
  def->ID = "NA_ETH";
  def->modelName = "QMX-ETH";
  def->productCodeText = "0x4101";
  def->paraLength = 4;
  def->inputLength = 2;
  def->outputLength = 2;
  def->blockLength = {4, 2};
  def->blockLayout = {"InputMode,Unsigned8,1", "Status,Unsigned16,1"};
  def->commTypeMap["TCP"] = CommDriverEntry{"TCP", PooledText(variant), "dll", "502"};
  def->commTypeMap["RS232C"] = CommDriverEntry{"RS232C", PooledText(variant), "DLL", "1000"};
  def->commTypeMap["RS485"] = CommDriverEntry{"RS485", PooledText(variant), "dll", "1000"};
  def->commTypeMap["RS422"] = CommDriverEntry{"RS422", "", "", ""};
  def->commTypeMap["Offline"] = CommDriverEntry{"Offline", "", "", ""};
  return def;
}

class ObjectTest : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    qmx::ProgramServices& services = qmx::Services();
    services.paths.SetAppDir(QMX_FAKE_DRIVER_DIR);
    Boxes().clear();
    services.messageBox = [](const std::string& text, unsigned) {
      Boxes().push_back(text);
      return 1;
    };
    services.multiDropDriverFile = [this](const std::string& type, int& code) -> std::string {
      code = type == "TCP" ? 0 : type == "RS232C" ? 2 : type == "RS422" ? 3 : type == "RS485" ? 4 : 5;
      return type == "RS485" ? sharedDriverFile : std::string();
    };
  }

  std::string sharedDriverFile = "FakeTessivar.dll";
  ModelLogCapture log;
};
