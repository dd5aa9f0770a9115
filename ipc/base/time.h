// Clocks and durations, all in microseconds (signed 64-bit).
//
//   TimeTicks — monotonic; the 32-bit millisecond tick extended across its
//               wrap (read it at least once every 49.7 days).
//   Time      — wall clock, microseconds since 1601-01-01 00:00 UTC, advanced
//               by the tick clock and resynchronised with the system clock
//               when more than 60 s of ticks have passed.
//   TimeDelta — a difference of either.
#ifndef IPC_BASE_TIME_H_
#define IPC_BASE_TIME_H_

#include <compare>
#include <cstdint>

#include "ipc/base/lock.h"

namespace ipcbase {

class TimeDelta {
 public:
  constexpr TimeDelta() = default;

  static constexpr TimeDelta FromMicroseconds(int64_t us) { return TimeDelta(us); }
  static constexpr TimeDelta FromMilliseconds(int64_t ms) { return TimeDelta(ms * 1000); }
  static constexpr TimeDelta FromSeconds(int64_t s) { return TimeDelta(s * 1000000); }

  constexpr int64_t InMicroseconds() const { return delta_; }
  // Whole milliseconds, truncated toward zero.
  constexpr int64_t InMilliseconds() const { return delta_ / 1000; }
  // Milliseconds rounded up to the next whole millisecond (for waits, so
  // that a wait never ends early): 5500 us gives 6, 1 us gives 1.
  int64_t InMillisecondsRoundedUp() const;

  constexpr TimeDelta operator+(TimeDelta other) const { return TimeDelta(delta_ + other.delta_); }
  constexpr TimeDelta operator-(TimeDelta other) const { return TimeDelta(delta_ - other.delta_); }
  constexpr auto operator<=>(const TimeDelta&) const = default;

 private:
  constexpr explicit TimeDelta(int64_t us) : delta_(us) {}
  int64_t delta_ = 0;
};

class TimeTicks {
 public:
  constexpr TimeTicks() = default;
  static TimeTicks Now();

  static constexpr TimeTicks FromInternalValue(int64_t us) { return TimeTicks(us); }
  constexpr int64_t ToInternalValue() const { return ticks_; }
  constexpr bool is_null() const { return ticks_ == 0; }

  constexpr TimeDelta operator-(TimeTicks other) const {
    return TimeDelta::FromMicroseconds(ticks_ - other.ticks_);
  }
  constexpr TimeTicks operator+(TimeDelta d) const { return TimeTicks(ticks_ + d.InMicroseconds()); }
  constexpr auto operator<=>(const TimeTicks&) const = default;

 private:
  constexpr explicit TimeTicks(int64_t us) : ticks_(us) {}
  int64_t ticks_ = 0;
};

class Time {
 public:
  constexpr Time() = default;
  static Time Now();

  static constexpr Time FromInternalValue(int64_t us) { return Time(us); }
  constexpr int64_t ToInternalValue() const { return us_; }
  constexpr bool is_null() const { return us_ == 0; }

  constexpr TimeDelta operator-(Time other) const {
    return TimeDelta::FromMicroseconds(us_ - other.us_);
  }
  constexpr Time operator+(TimeDelta d) const { return Time(us_ + d.InMicroseconds()); }
  constexpr Time operator-(TimeDelta d) const { return Time(us_ - d.InMicroseconds()); }
  constexpr auto operator<=>(const Time&) const = default;

 private:
  constexpr explicit Time(int64_t us) : us_(us) {}
  int64_t us_ = 0;
};

namespace internal {

// Extends a wrapping 32-bit millisecond reading to 64 bits: every reading
// smaller than the one before adds 2^32 ms. Thread-safe.
class TickRollover {
 public:
  // Milliseconds since the clock's start, extended across wraps.
  int64_t Extend(uint32_t reading_ms);

 private:
  Lock lock_;
  uint32_t last_reading_ = 0;
  int64_t rollover_ms_ = 0;
};

// The wall clock as base pair plus elapsed ticks. Thread-safe.
class WallClock {
 public:
  using TicksSource = int64_t (*)();     // TimeTicks, microseconds
  using SystemSource = uint64_t (*)();   // 100 ns since 1601
  WallClock(TicksSource ticks, SystemSource system) : ticks_(ticks), system_(system) {}

  // Microseconds since 1601: base wall time + ticks elapsed since the base
  // was taken; the base is retaken on first use and once more than 60000 ms
  // of ticks have passed since it was.
  int64_t NowMicroseconds();

 private:
  TicksSource ticks_;
  SystemSource system_;
  Lock lock_;
  bool initialized_ = false;
  int64_t base_wall_us_ = 0;
  int64_t base_ticks_us_ = 0;
};

}  // namespace internal
}  // namespace ipcbase

#endif  // IPC_BASE_TIME_H_
