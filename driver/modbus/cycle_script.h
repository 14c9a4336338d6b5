// The requests a monitoring cycle repeats. A device's cycle that needs no
// initial read sends its echo, its queued writes, then reads the monitored
// CommInit registers and the process images: the same requests every
// time, in the same order, as long as every reply is the success it was
// (nothing in that part depends on the values read, and the image modes
// change only in an initial read, which forgets the script). The writes
// come and go: they are left out, and the place where they come is kept.
//
// A master records that part of each cycle as it goes: each request and
// the framing of its reply. From the next cycle on it may send each
// recorded request as soon as the reply before it has come, framed as
// recorded, ahead of the loop that will ask for it (RunAhead, for the
// Modbus TCP master, on the fiber scheduler's stack while the loop waits): the loop then finds the
// replies waiting. A run goes on past the place of the writes only when no
// write is queued for the device at that moment, and the cycle then makes
// none (one queued later goes in the next cycle); else it stops there and
// starts again after the loop's writes. The first reply that is not as
// recorded ends the run where it is, and the loop takes that exchange over
// on its own road, so every fault is met there. One request is outstanding
// at a time, and what goes on the wire is what the loop itself would have
// sent.
#pragma once

#include <cstdint>
#include <vector>

namespace tessivar {

class CycleScript {
public:
  // Forgets what was recorded: a new run, a new connection, an initial read.
  void Reset() {
    steps_.clear();
    replies_.clear();
    writesAt_ = -1;
  }

  // A step is a read request: unit, function, address and quantity.
  static constexpr int kRequestLength = 6;
  // What of a step's reply is compared: its unit, function and byte count
  // (bytes 6 to 8 of the frame), besides the MBAP prefix.
  static constexpr int kHeadLength = 3;
  // At most so many steps are recorded; a longer part is not run ahead.
  static constexpr size_t kMaxSteps = 256;

private:
  friend class RunAhead;

  struct Step {
    uint8_t request[kRequestLength];
    uint8_t head[kHeadLength];
    uint16_t replyLength = 0;  // the whole frame, MBAP prefix included
    uint16_t replyAt = 0;      // where its reply goes in replies_
  };

  std::vector<Step> steps_;
  // The replies of the steps run ahead in the running cycle.
  std::vector<uint8_t> replies_;
  // The step before which the cycle's writes come (-1: none).
  int writesAt_ = -1;
};

}  // namespace tessivar
