// When the library's pump points reach the host's message queue.
//
// The engine pumps at every step of its long work: each list line a find
// passes over, each file of a run, each step of the walk. That keeps the
// host responsive and lets a stop arrive, but a real pump is a system call
// (under Wine a round trip to its server, about 35 us) while a step may
// cost a few nanoseconds. So a point goes through only when an interval
// has passed since the last real pump, and always as the first point of a
// command, so that a window a command shows, and a command nested in the
// pump, arrive as early as they would at every point.
#pragma once

#include <cstdint>

namespace quorbel {

class PumpPace {
 public:
  // 10 ms: shorter than a frame of a 60 Hz screen, so a window repainted at
  // this pace looks live and a click is taken before the next frame; and
  // 100 real pumps a second cost under half a percent of a core even at
  // Wine's 35 us each.
  static constexpr int64_t kDefaultIntervalMs = 10;

  // QUORBEL_PUMP_INTERVAL_MS in the environment (0: every point goes
  // through), else the default.
  static int64_t IntervalFromEnvironment();

  // A command begins: its first point goes through.
  void CommandBegins(int64_t interval_ms) {
    interval_ms_ = interval_ms;
    due_ = true;
  }

  // Whether this point goes through. `clock` reads a monotonic clock in
  // milliseconds; it is read at most every `stride_` points. A run of points
  // that come faster than the clock moves doubles the stride (to at most
  // kMostStride); a read that finds a whole interval gone sets it back to 1,
  // so points that turn slow are late by one stride at most, once.
  template <typename Clock>
  bool Due(Clock clock) {
    if (interval_ms_ <= 0) return true;
    if (due_) {
      due_ = false;
      Restart(clock());
      return true;
    }
    if (--countdown_ > 0) return false;
    const int64_t now = clock();
    const int64_t since_read = now - last_read_ms_;
    last_read_ms_ = now;
    if (since_read >= interval_ms_) {
      stride_ = 1;
    } else if (since_read < kFastReadMs && stride_ < kMostStride) {
      stride_ *= 2;
    }
    countdown_ = stride_;
    if (now - last_pump_ms_ < interval_ms_) return false;
    last_pump_ms_ = now;
    return true;
  }

 private:
  static constexpr int32_t kMostStride = 16;
  static constexpr int64_t kFastReadMs = 1;

  void Restart(int64_t now) {
    last_pump_ms_ = last_read_ms_ = now;
    stride_ = countdown_ = 1;
  }

  int64_t interval_ms_ = kDefaultIntervalMs;
  bool due_ = true;
  int64_t last_pump_ms_ = 0;
  int64_t last_read_ms_ = 0;
  int32_t stride_ = 1;
  int32_t countdown_ = 1;
};

// The pace of the host's pump, used by the Env of this system on the
// host's thread (the only thread that pumps).
PumpPace& HostPumpPace();

}  // namespace quorbel
