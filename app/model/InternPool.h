// One stored copy of every distinct value interned: an open-addressed index
// over values kept in a deque (which never moves its elements when it
// grows), so the address handed out stays valid for the pool's life. The
// pools of the definitions' texts and value lists are never destroyed, so
// their addresses stay valid for the process. Thread-safe.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

template <class Value, class Hash>
class InternPool {
public:
  // The stored value equal to `value` (`Key` compares with `Value` by ==),
  // made from `value` when there is none yet.
  template <class Key>
  const Value* Intern(const Key& value) {
    const size_t hash = Hash{}(value);
    std::lock_guard<std::mutex> lock(mutex_);
    if (slots_.empty()) slots_.assign(kFirstSlots, nullptr);
    size_t at = Probe(value, hash);
    if (slots_[at]) return slots_[at];
    if ((values_.size() + 1) * 4 > slots_.size() * 3) {
      Grow();
      at = Probe(value, hash);
    }
    const Value* stored = &values_.emplace_back(value);
    slots_[at] = stored;
    return stored;
  }

  size_t Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.size();
  }

  // Drops the values interned after the first `count`, leaving the pool as
  // it was when it held those alone (its index laid out as their interning
  // laid it out). Only for a caller that knows no handle to a later value is
  // left: a fuzz target between two inputs.
  void DropAllBut(size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count >= values_.size()) return;
    values_.resize(count);
    slots_.clear();
    size_t placed = 0;
    for (const Value& value : values_) {
      if (slots_.empty()) slots_.assign(kFirstSlots, nullptr);
      if ((placed + 1) * 4 > slots_.size() * 3) Grow();
      slots_[Probe(value, Hash{}(value))] = &value;
      ++placed;
    }
  }

private:
  static constexpr size_t kFirstSlots = 1024;  // a power of two

  // The slot of `value`, or the empty slot where it belongs.
  template <class Key>
  size_t Probe(const Key& value, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      if (!slots_[at] || *slots_[at] == value) return at;
    }
  }

  void Grow() {
    std::vector<const Value*> old(slots_.size() * 2, nullptr);
    old.swap(slots_);
    for (const Value* value : old) {
      if (value) slots_[Probe(*value, Hash{}(*value))] = value;
    }
  }

  std::mutex mutex_;
  std::deque<Value> values_;
  std::vector<const Value*> slots_;
};
