#include "app/model/Services.h"

#include "app/model/Logging.h"
#include "common/Utility.h"
#include "platform/os/os.h"

namespace qmx {
namespace {

ProgramServices Defaults() {
  ProgramServices services;
  services.paths.SetAppDir(os::ProgramFolder().string());
  return services;
}

}  // namespace

ProgramServices& Services() {
  static ProgramServices services = Defaults();
  return services;
}

void ResetServices() { Services() = Defaults(); }

void ShowHelp(const std::string& topic) {
  if (const auto& show = Services().showHelp) {
    show(topic);
    return;
  }
  PostLog(kLogGeneral, kLogSource, StrFormat("[Info] Help topic: %s.", topic.c_str()));
}

}  // namespace qmx
