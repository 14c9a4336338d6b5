// RunAhead: the run ahead of a monitoring cycle's repeated part
// (CycleScript) for the Modbus TCP master. It owns the script of the cycle
// under way, its recording and the running ahead; the master reaches it
// through one seam: every exchange asks it first (Ask), and every
// transaction reports to it (Report). It sends on the connection the
// exchange holds and takes its ids from the master's one allocator, so the
// ids, the time-out and the takeover of an exchange under way stay the
// master's: a run only decides which exchanges are already answered.
//
// The cycle brackets the part (Begin, End) and its writes inside it
// (BeforeWrites, AfterWrites); Modbus::CycleRunAhead hands it out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "driver/modbus/cycle_script.h"
#include "driver/modbus/modbus_frames.h"
#include "driver/modbus/transaction_ids.h"
#include "platform/fiber/fiber.h"

namespace tessivar {

class DriverSocket;
class Modbus;

class RunAhead final : qmx::fiber::InputHandler {
public:
  // A script's request as it goes on the wire.
  static constexpr int kStepFrameLength = kMbapLength + CycleScript::kRequestLength;

  // `tx` and `rx` are the master's transmit and receive buffers (the
  // request behind its MBAP prefix, the reply from its first byte).
  RunAhead(const Modbus& master, TransactionIds& ids, const uint8_t* tx, uint8_t* rx);
  RunAhead(const RunAhead&) = delete;
  RunAhead& operator=(const RunAhead&) = delete;

  // Scripts are run ahead unless this is turned off (for every master of
  // the process; the tests compare both roads on the wire).
  static void SetEnabled(bool on);
  // Replies the loops of the process found waiting, run ahead (a count
  // since the start, for tests and benchmarks).
  static uint64_t RepliesServed();

  // ---- the cycle's brackets ----

  // Records the part into `script` and, on a fiber, runs what the last
  // cycle recorded there ahead of the loop. A run goes on past the writes
  // only while `noWrites` answers true.
  void Begin(CycleScript& script, std::function<bool()> noWrites);
  // The cycle runs its writes only when this answers true: false when the
  // run went on past their place (there was none to make).
  bool BeforeWrites();
  void AfterWrites() { writing_ = false; }
  // Keeps the recording in the script when the part met nothing but
  // successes; else forgets the script.
  void End();

  // ---- the seam with the master's exchange ----

  enum class Turn {
    kLoop,      // the loop's own road
    kStart,     // the loop's own road, then Run once the request went out
    kServed,    // the reply came run ahead: Serve
    kTakeOver,  // the step under way when the run ended: TakeOver
  };
  // Asked first by every exchange, with its request (unit and PDU,
  // `pduLength` bytes) behind the MBAP prefix in the transmit buffer, on
  // the master's connection (null: none).
  Turn Ask(int pduLength, const DriverSocket* socket);
  // After kStart, once the exchange sent its request (`sent`: what the send
  // gave, all of it) on `socket`, which it holds: runs the script ahead
  // while the loop waits, and answers kServed or kTakeOver for the same
  // exchange.
  Turn Run(DriverSocket& socket, int sent);
  // The reply, copied into the receive buffer; its length.
  int Serve();
  // Where the step under way stood when the run ended; the bytes of its
  // reply that came are copied into the receive buffer. Its request carries
  // the id given last.
  struct UnderWay {
    int sendResult = 0;  // what the send of its request gave
    std::chrono::steady_clock::time_point start;  // when its request went out
    int got = 0;                                  // its reply's bytes, in the receive buffer
    bool receiveFailed = false;                   // the receive that ended the run gave receiveResult
    int receiveResult = 0;
  };
  UnderWay TakeOver();
  // When the last run received anything as the loop's reads stamp it
  // (false: nothing came).
  bool LastReceive(std::chrono::steady_clock::time_point* at) const;
  // Reported by every transaction of the part: the request's length, the
  // result and the length of the reply the exchange framed (0: none).
  void Report(int pduLength, int result, int replyLength);

private:
  // Runs on the scheduler's stack while the loop waits: each reply as
  // recorded sends the next step at once; anything else ends the run.
  bool OnInput(uint32_t events) override;
  bool Ended();
  // Sends step `reached_`; false when it did not all go.
  bool SendNext();
  // What the reply of `step`, now under way, must be, kept beside the rest
  // (the steps lie apart, and are cold again by the time it comes).
  void Expect(const CycleScript::Step& step);
  // The request in the transmit buffer is the script's step.
  bool Matches(int position, int pduLength) const;
  bool MayStart(int position, int pduLength, const DriverSocket* socket) const;

  // ---- what a reply needs, side by side: the master's pieces, the
  // script's steps and replies, where the run stands ----
  const Modbus& master_;
  TransactionIds& ids_;
  DriverSocket* socket_ = nullptr;  // of the run under way
  uint8_t* const rx_;
  const CycleScript::Step* steps_ = nullptr;
  uint8_t* replies_ = nullptr;
  int count_ = 0;                   // steps
  int writesAt_ = -1;               // the step before which the cycle's writes come
  uint16_t id_ = 0;                 // of the step under way (reached_ - 1)
  uint16_t replyLength_ = 0;
  uint16_t replyAt_ = 0;
  uint8_t head_[CycleScript::kHeadLength] = {};
  int reached_ = 0;                 // steps sent, the last one perhaps in part
  int completed_ = 0;               // steps whose replies wait in the script
  int got_ = 0;                     // bytes of the reply under way, in rx_
  int sendResult_ = 0;              // of the step under way: its length when it all went
  bool receiveFailed_ = false;
  int receiveResult_ = 0;
  bool ended_ = false;
  bool received_ = false;           // lastReceive_: as the loop's reads stamp it
  std::chrono::steady_clock::time_point start_;  // when the step under way went out
  std::chrono::steady_clock::time_point lastReceive_;
  std::function<bool()> noWrites_;

  // ---- the part under way in the loop ----
  const uint8_t* const tx_;
  CycleScript* script_ = nullptr;   // between Begin and End
  int position_ = 0;                // of the next exchange in the part
  int serving_ = 0;                 // of the exchange Serve or Run answers
  bool writing_ = false;            // the cycle's writes, outside the part
  int writesIn_ = -1;               // where they came in this cycle
  std::vector<CycleScript::Step> recording_;
  bool recordClean_ = false;
  // The bytes of the reply under way when a run ended (rx_ serves the
  // steps before it first).
  std::vector<uint8_t> partial_;
};

}  // namespace tessivar
