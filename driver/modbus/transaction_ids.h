// The Modbus TCP master's transaction ids: one allocator per master, from
// which its exchanges and its run ahead (RunAhead) take theirs in the order
// their requests go on the wire, so an id is never given twice in a row of
// 0xFFFE and a reply is matched to the request that really carried it.
#pragma once

#include <cstdint>

namespace tessivar {

class TransactionIds {
public:
  // Ids run 1, 2, ..., 0xFFFE, 1, ... (0 and 0xFFFF are never given).
  static constexpr uint16_t kLast = 0xFFFE;

  uint16_t Next() {
    last_ = last_ >= kLast ? 1 : static_cast<uint16_t>(last_ + 1);
    return last_;
  }
  // The id given last: the one of the request under way.
  uint16_t Last() const { return last_; }
  void Set(uint16_t id) { last_ = id; }
  // `id` is one of the `count` ids given before the last one.
  bool GaveBefore(uint16_t id, int count) const {
    uint16_t earlier = last_;
    for (int k = 0; k < count; ++k) {
      earlier = earlier <= 1 ? kLast : static_cast<uint16_t>(earlier - 1);
      if (earlier == id) return true;
    }
    return false;
  }

private:
  uint16_t last_ = 0;
};

}  // namespace tessivar
