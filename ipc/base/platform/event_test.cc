#include "ipc/base/platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/platform_test_util.h"

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::ScopedEvent;

struct SignalCase {
  const char* name;
  bool manual_reset;
  bool initially_signaled;
  int64_t first_wait;   // result of a zero-time wait
  int64_t second_wait;  // result of the next one
};

class EventStateTest : public testing::TestWithParam<SignalCase> {};

TEST_P(EventStateTest, InitialStateAndConsumption) {
  const SignalCase& c = GetParam();
  ScopedEvent event(c.manual_reset, c.initially_signaled);
  ASSERT_NE(event.get(), nullptr);
  EXPECT_EQ(WaitForEvent(event.get(), 0), c.first_wait);
  EXPECT_EQ(WaitForEvent(event.get(), 0), c.second_wait);
}

TEST_P(EventStateTest, SetThenResetLeavesItUnsignalled) {
  const SignalCase& c = GetParam();
  ScopedEvent event(c.manual_reset, c.initially_signaled);
  ASSERT_TRUE(SetEvent(event.get()));
  ASSERT_TRUE(SetEvent(event.get()));  // a second signal adds nothing
  ASSERT_TRUE(ResetEvent(event.get()));
  EXPECT_EQ(WaitForEvent(event.get(), 0), kWaitTimedOut);
  ASSERT_TRUE(ResetEvent(event.get()));  // resetting a reset event is fine
  EXPECT_EQ(WaitForEvent(event.get(), 10), kWaitTimedOut);
}

TEST_P(EventStateTest, TwoSignalsReleaseAnAutoResetEventOnce) {
  const SignalCase& c = GetParam();
  ScopedEvent event(c.manual_reset, false);
  ASSERT_TRUE(SetEvent(event.get()));
  ASSERT_TRUE(SetEvent(event.get()));
  EXPECT_EQ(WaitForEvent(event.get(), kDeadlineMs), 0);
  EXPECT_EQ(WaitForEvent(event.get(), 0), c.manual_reset ? 0 : kWaitTimedOut);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EventStateTest,
    testing::Values(SignalCase{"ManualSignalled", true, true, 0, 0},
                    SignalCase{"ManualUnsignalled", true, false, kWaitTimedOut, kWaitTimedOut},
                    SignalCase{"AutoSignalled", false, true, 0, kWaitTimedOut},
                    SignalCase{"AutoUnsignalled", false, false, kWaitTimedOut, kWaitTimedOut}),
    [](const testing::TestParamInfo<SignalCase>& param_info) { return param_info.param.name; });

TEST(EventTest, ManualResetReleasesEveryWaiter) {
  ScopedEvent event(true, false);
  constexpr int kWaiters = 5;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      if (WaitForEvent(event.get(), kDeadlineMs) == 0) released.fetch_add(1);
    });
  }
  ASSERT_TRUE(SetEvent(event.get()));
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(released.load(), kWaiters);
}

// Each of kWaiters threads waits once on one auto-reset event; the test
// signals kWaiters times, each time only after the previous signal has
// released someone. If any signal released two waiters, the last signal
// would find nobody left and stay set.
TEST(EventTest, AutoResetSignalReleasesExactlyOneOfRacingWaiters) {
  constexpr int kRounds = 20;
  constexpr int kWaiters = 6;
  for (int round = 0; round < kRounds; ++round) {
    ScopedEvent event(false, false);
    ScopedEvent never(false, false);
    ScopedEvent woke(false, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
      waiters.emplace_back([&, i] {
        // Half wait on the event alone, half on it as the second of two.
        EventHandle pair[2] = {never.get(), event.get()};
        bool got = (i % 2 == 0) ? WaitForEvent(event.get(), kDeadlineMs) == 0
                                : WaitForAnyEvent(pair, 2, kDeadlineMs) == 1;
        if (got) released.fetch_add(1);
        SetEvent(woke.get());
      });
    }
    bool each_signal_released_someone = true;
    for (int signal = 1; signal <= kWaiters && each_signal_released_someone; ++signal) {
      SetEvent(event.get());
      while (released.load() < signal) {
        if (WaitForEvent(woke.get(), kDeadlineMs) != 0) {
          each_signal_released_someone = false;
          break;
        }
      }
    }
    for (std::thread& waiter : waiters) waiter.join();
    ASSERT_TRUE(each_signal_released_someone);
    EXPECT_EQ(released.load(), kWaiters);
    EXPECT_EQ(WaitForEvent(event.get(), 0), kWaitTimedOut) << "a signal released two waiters";
  }
}

TEST(EventTest, WaitManyLowestSignalledIndexWinsAndOnlyItIsConsumed) {
  ScopedEvent auto0(false, false);
  ScopedEvent auto1(false, false);
  ScopedEvent manual2(true, false);
  ScopedEvent auto3(false, false);
  EventHandle events[] = {auto0.get(), auto1.get(), manual2.get(), auto3.get()};
  SetEvent(auto1.get());
  SetEvent(manual2.get());
  SetEvent(auto3.get());
  EXPECT_EQ(WaitForAnyEvent(events, 4, 0), 1);
  EXPECT_EQ(WaitForAnyEvent(events, 4, 0), 2);  // manual: stays signalled
  EXPECT_EQ(WaitForAnyEvent(events, 4, 0), 2);
  ResetEvent(manual2.get());
  EXPECT_EQ(WaitForAnyEvent(events, 4, 0), 3);
  EXPECT_EQ(WaitForAnyEvent(events, 4, 0), kWaitTimedOut);
  SetEvent(auto0.get());
  SetEvent(auto3.get());
  EXPECT_EQ(WaitForAnyEvent(events, 4, kDeadlineMs), 0);
  EXPECT_EQ(WaitForEvent(auto3.get(), 0), 0) << "a losing event's signal was consumed";
}

TEST(EventTest, WaitManyWakesForAnEventSignalledFromAnotherThread) {
  constexpr size_t kCount = 10;
  std::vector<std::unique_ptr<ScopedEvent>> owned;
  std::vector<EventHandle> events;
  for (size_t i = 0; i < kCount; ++i) {
    owned.push_back(std::make_unique<ScopedEvent>(false, false));
    events.push_back(owned.back()->get());
  }
  std::thread signaller([&] { SetEvent(events[7]); });
  EXPECT_EQ(WaitForAnyEvent(events.data(), kCount, kDeadlineMs), 7);
  signaller.join();
}

TEST(EventTest, WaitManyAcceptsOneToSixtyFourEventsAndNothingElse) {
  // Exactly 64 entries: a call that looked at a 65th would read past the
  // end of this allocation (AddressSanitizer builds report that).
  std::vector<std::unique_ptr<ScopedEvent>> owned;
  auto* events = new EventHandle[kMaxWaitEvents];
  for (size_t i = 0; i < kMaxWaitEvents; ++i) {
    owned.push_back(std::make_unique<ScopedEvent>(false, false));
    events[i] = owned.back()->get();
  }
  SetEvent(events[kMaxWaitEvents - 1]);
  for (size_t bad_count : {size_t{0}, kMaxWaitEvents + 1, size_t{1000}}) {
    SetLastError(kErrorSuccess);
    EXPECT_EQ(WaitForAnyEvent(events, bad_count, 0), kWaitFailed) << bad_count;
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter) << bad_count;
  }
  EXPECT_EQ(WaitForAnyEvent(events, kMaxWaitEvents, 0), int64_t{kMaxWaitEvents - 1});
  EXPECT_EQ(WaitForAnyEvent(events, 1, 0), kWaitTimedOut);
  delete[] events;
}

TEST(EventTest, BadHandlesAndTimeoutsFail) {
  EXPECT_FALSE(SetEvent(nullptr));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_FALSE(ResetEvent(nullptr));
  EXPECT_EQ(WaitForEvent(nullptr, 0), kWaitFailed);
  ScopedEvent event(true, true);
  EventHandle with_null[] = {event.get(), nullptr};
  EXPECT_EQ(WaitForAnyEvent(with_null, 2, 0), kWaitFailed);
  EXPECT_EQ(WaitForAnyEvent(nullptr, 1, 0), kWaitFailed);
  CloseEvent(nullptr);  // harmless
}

TEST(EventTest, WaitForeverReturnsWhenSignalled) {
  ScopedEvent event(false, false);
  std::thread signaller([&] { SetEvent(event.get()); });
  EXPECT_EQ(WaitForEvent(event.get(), kWaitForever), 0);
  signaller.join();
}

}  // namespace
}  // namespace ipcbase::platform
