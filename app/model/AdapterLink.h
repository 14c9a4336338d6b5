// What a tree object reads from the adapter it sits under: the adapter's
// online parameters, its own part of them (by-parameter conversion rules and
// units select their ranges by such a value). Wrapper reaches its adapter
// through this alone; CNAUsr is the one implementation.
#pragma once

#include "app/model/OnlineBytes.h"

class Wrapper;

class AdapterLink {
public:
  // Whether the adapter holds an online parameter image.
  virtual bool HasOnlinePara() const = 0;
  // The object's part of the adapter's online parameters as they were last
  // read; an empty view when the adapter cannot give it (logged).
  virtual OnlineBytes OnlineParaOf(const Wrapper& object, const char* caller) = 0;

protected:
  ~AdapterLink() = default;
};
