#include "ipc/base/time.h"

#include <cmath>

#include "ipc/base/platform/clock.h"

namespace ipcbase {

namespace {
constexpr int64_t kResyncIntervalUs = 60000 * 1000;

int64_t TicksNowMicroseconds() { return TimeTicks::Now().ToInternalValue(); }
}  // namespace

int64_t TimeDelta::InMillisecondsRoundedUp() const {
  return static_cast<int64_t>(std::ceil(static_cast<double>(delta_) / 1000.0));
}

namespace internal {

int64_t TickRollover::Extend(uint32_t reading_ms) {
  AutoLock hold(lock_);
  if (reading_ms < last_reading_) rollover_ms_ += int64_t{1} << 32;
  last_reading_ = reading_ms;
  return rollover_ms_ + reading_ms;
}

int64_t WallClock::NowMicroseconds() {
  AutoLock hold(lock_);
  int64_t ticks = ticks_();
  if (!initialized_ || ticks - base_ticks_us_ > kResyncIntervalUs) {
    base_wall_us_ = static_cast<int64_t>(system_() / 10);
    base_ticks_us_ = ticks;
    initialized_ = true;
  }
  return base_wall_us_ + (ticks - base_ticks_us_);
}

}  // namespace internal

TimeTicks TimeTicks::Now() {
  // Process-wide, never destroyed: clocks are read until the very end.
  static internal::TickRollover* rollover = new internal::TickRollover();
  return TimeTicks(rollover->Extend(platform::TickCountMs()) * 1000);
}

Time Time::Now() {
  static internal::WallClock* clock =
      new internal::WallClock(&TicksNowMicroseconds, &platform::SystemTimeAsFileTime);
  return Time(clock->NowMicroseconds());
}

}  // namespace ipcbase
