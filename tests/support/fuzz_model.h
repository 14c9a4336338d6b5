// For fuzz entry points over the main program's readers: their message
// boxes are answered at once and never shown or printed (a reader of a
// broken file shows one per input, which would flood standard error).
#pragma once

#include "app/model/ParaItem.h"
#include "app/model/PooledText.h"
#include "app/model/Services.h"

#include <cstddef>
#include <string>

namespace qmx::fuzz {

inline void QuietBoxes() {
  static const bool quiet = [] {
    Services().messageBox = [](const std::string&, unsigned) { return 1; };
    return true;
  }();
  (void)quiet;
}

// Holds an input's run: when it goes, the pools of the definitions' texts
// and value lists lose what the input put in them, so the next input finds
// them as this one did (what a reader does never hangs on earlier inputs).
// Made after the target's own lasting statics (the shipped catalogue), and
// gone after everything the input made.
class FreshPools {
public:
  FreshPools() = default;
  FreshPools(const FreshPools&) = delete;
  FreshPools& operator=(const FreshPools&) = delete;
  ~FreshPools() {
    ValueList::ShrinkPoolTo(lists_);
    PooledText::ShrinkPoolTo(texts_);
  }

private:
  size_t texts_ = PooledText::PoolSize();
  size_t lists_ = ValueList::PoolSize();
};

}  // namespace qmx::fuzz
