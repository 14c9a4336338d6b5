#include "app/model/PooledText.h"

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace {

// The interned strings and an open-addressed index over them: a slot is 8
// bytes, the strings stay where the deque put them (it never moves its
// elements when it grows), so a handle stays valid for the process.
class TextPool {
public:
  const std::string* Intern(std::string_view text) {
    const size_t hash = std::hash<std::string_view>{}(text);
    std::lock_guard<std::mutex> lock(mutex_);
    if (slots_.empty()) slots_.assign(kFirstSlots, nullptr);
    size_t at = Probe(text, hash);
    if (slots_[at]) return slots_[at];
    if ((texts_.size() + 1) * 4 > slots_.size() * 3) {
      Grow();
      at = Probe(text, hash);
    }
    const std::string* stored = &texts_.emplace_back(text);
    slots_[at] = stored;
    return stored;
  }

  size_t Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_.size();
  }

private:
  static constexpr size_t kFirstSlots = 1024;  // a power of two

  // The slot of `text`, or the empty slot where it belongs.
  size_t Probe(std::string_view text, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      if (!slots_[at] || *slots_[at] == text) return at;
    }
  }

  void Grow() {
    std::vector<const std::string*> old(slots_.size() * 2, nullptr);
    old.swap(slots_);
    for (const std::string* text : old) {
      if (text) slots_[Probe(*text, std::hash<std::string_view>{}(*text))] = text;
    }
  }

  std::mutex mutex_;
  std::deque<std::string> texts_;
  std::vector<const std::string*> slots_;
};

TextPool& Pool() {
  // Never destroyed: handles held by objects that outlive main (statics of
  // other files) may still be read while they go.
  static TextPool* pool = new TextPool;
  return *pool;
}

}  // namespace

PooledText::PooledText(std::string_view text) : text_(text.empty() ? &Empty() : Pool().Intern(text)) {}

size_t PooledText::PoolSize() {
  return Pool().Size();
}

const std::string& PooledText::Empty() noexcept {
  static const std::string* empty = new std::string;  // never destroyed, as the pool
  return *empty;
}
