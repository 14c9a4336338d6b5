// The line an adapter communicates on, as its project hands it over. The
// adapter knows its project by this value alone: the project hands it when
// it takes the adapter and again whenever it changes its communication type
// or interval itself, and takes it back when the adapter leaves its list.
#pragma once

#include "app/model/NADef.h"

#include <functional>
#include <string>

class DriverSession;

struct CommLine {
  // The project that handed the line, only ever compared; null while the
  // adapter is on no project.
  const void* project = nullptr;
  // The project's communication type (CommTypeCode).
  int commTypeCode = kCommNone;
  // The project's communication interval: the update time of an adapter's
  // device when it joins the shared line.
  int commInterval = 500;
  // The project's shared session; it holds an instance only on an RS422 or
  // RS485 line whose driver loaded.
  DriverSession* sharedSession = nullptr;
  // Gives the shared instance the line's channel text, which the project
  // sends once per text: the driver's answer, 1 when it took it.
  std::function<int(const std::string& channelText)> setSharedChannel;
  // Takes the adapter out of the project's list, as the adapter goes.
  std::function<void()> leave;
};
