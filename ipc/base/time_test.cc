#include "ipc/base/time.h"

#include <gtest/gtest.h>

#include "ipc/base/platform/clock.h"

namespace ipcbase {
namespace {

TEST(TimeDeltaTest, MillisecondsRoundUpForWaits) {
  const std::pair<int64_t, int64_t> table[] = {
      {0, 0}, {1, 1}, {999, 1}, {1000, 1}, {1001, 2}, {5500, 6}, {6000, 6}, {-1, 0}, {-1500, -1}};
  for (const auto& [us, ms] : table) {
    EXPECT_EQ(TimeDelta::FromMicroseconds(us).InMillisecondsRoundedUp(), ms) << us;
  }
  EXPECT_EQ(TimeDelta::FromMicroseconds(5500).InMilliseconds(), 5);
  EXPECT_EQ(TimeDelta::FromSeconds(2).InMicroseconds(), 2000000);
}

TEST(TickRolloverTest, KeepsIncreasingAcrossThe32BitWrap) {
  internal::TickRollover rollover;
  const int64_t k2to32 = int64_t{1} << 32;
  struct Step {
    uint32_t reading;
    int64_t extended;
  } steps[] = {
      {100, 100},
      {0xFFFFFF00u, 0xFFFFFF00ll},
      {0xFFFFFFFFu, 0xFFFFFFFFll},
      {5, k2to32 + 5},  // wrapped once
      {5, k2to32 + 5},  // the same reading is no wrap
      {0x80000000u, k2to32 + 0x80000000ll},
      {1, 2 * k2to32 + 1},  // and again
  };
  int64_t previous = -1;
  for (const Step& step : steps) {
    int64_t value = rollover.Extend(step.reading);
    EXPECT_EQ(value, step.extended) << step.reading;
    EXPECT_GE(value, previous);
    previous = value;
  }
}

int64_t g_fake_ticks_us = 0;
uint64_t g_fake_system_100ns = 0;
int64_t FakeTicks() { return g_fake_ticks_us; }
uint64_t FakeSystem() { return g_fake_system_100ns; }

TEST(WallClockTest, AdvancesWithTicksAndResyncsAfterSixtySeconds) {
  g_fake_ticks_us = 1000000;
  g_fake_system_100ns = 130000000000000000ull;  // some day in 2012, in 100 ns
  const int64_t base_us = 13000000000000000ll;
  internal::WallClock clock(&FakeTicks, &FakeSystem);

  EXPECT_EQ(clock.NowMicroseconds(), base_us);

  // The system clock jumps, but within 60 s only the ticks count.
  g_fake_system_100ns += 10000000ull * 3600;  // +1 h
  g_fake_ticks_us += 60000 * 1000;            // exactly 60 s: not yet more than 60 s
  EXPECT_EQ(clock.NowMicroseconds(), base_us + 60000000);

  // Past 60 s the base is retaken from the system clock.
  g_fake_ticks_us += 1;
  EXPECT_EQ(clock.NowMicroseconds(), base_us + 3600ll * 1000000);
  g_fake_ticks_us += 250;
  EXPECT_EQ(clock.NowMicroseconds(), base_us + 3600ll * 1000000 + 250);
}

TEST(TimeTest, NowIsMicrosecondsSince1601NearTheSystemClock) {
  int64_t system_us = static_cast<int64_t>(platform::SystemTimeAsFileTime() / 10);
  int64_t now = Time::Now().ToInternalValue();
  // Years since 1601 put it far above 1970 in microseconds (11644473600 s).
  EXPECT_GT(now, 11644473600ll * 1000000);
  EXPECT_LT(std::abs(now - system_us), 60ll * 1000000);
}

TEST(TimeTicksTest, NowNeverGoesBackwards) {
  TimeTicks previous = TimeTicks::Now();
  for (int i = 0; i < 10000; ++i) {
    TimeTicks now = TimeTicks::Now();
    ASSERT_GE(now, previous);
    previous = now;
  }
}

}  // namespace
}  // namespace ipcbase
