#include "ipc/base/waitable_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "ipc/base/logging.h"

namespace ipcbase {
namespace {

TEST(WaitableEventTest, ManualResetStaysSignalledUntilReset) {
  WaitableEvent event(true, false);
  EXPECT_FALSE(event.IsSignaled());
  event.Signal();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.Wait());
  event.Reset();
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitableEventTest, AutoResetReleasesOneWaitAndResets) {
  WaitableEvent event(false, true);
  EXPECT_TRUE(event.IsSignaled());   // consumes the initial signal
  EXPECT_FALSE(event.IsSignaled());
  event.Signal();
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromMilliseconds(0)));
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(0)));
}

TEST(WaitableEventTest, TimedWaitRoundsUpToWholeMilliseconds) {
  WaitableEvent event(true, false);
  // One microsecond must wait a whole millisecond, never less (a lower
  // bound only: a wait can always take longer).
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMicroseconds(1)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(1000));
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMicroseconds(0)));
}

TEST(WaitableEventTest, SignalFromAnotherThreadWakesTheWaiter) {
  WaitableEvent event(false, false);
  int payload = 0;
  std::thread signaller([&] {
    payload = 42;
    event.Signal();
  });
  EXPECT_TRUE(event.TimedWait(TimeDelta::FromSeconds(30)));
  EXPECT_EQ(payload, 42);
  signaller.join();
}

TEST(WaitableEventTest, OneAutoResetSignalReleasesExactlyOneOfManyWaiters) {
  WaitableEvent event(false, false);
  WaitableEvent done(false, false);
  std::atomic<int> released{0};
  constexpr int kWaiters = 4;
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      event.Wait();
      released.fetch_add(1);
      done.Signal();
    });
  }
  for (int i = 1; i <= kWaiters; ++i) {
    event.Signal();
    ASSERT_TRUE(done.TimedWait(TimeDelta::FromSeconds(30)));
    // A second release for the same signal would show up here at the latest
    // by the next round's count.
    EXPECT_LE(released.load(), i);
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), kWaiters);
}

TEST(WaitableEventTest, WaitManyReturnsTheLowestSignalledIndex) {
  std::vector<std::unique_ptr<WaitableEvent>> owned;
  std::vector<WaitableEvent*> events;
  for (int i = 0; i < 64; ++i) {
    owned.push_back(std::make_unique<WaitableEvent>(false, false));
    events.push_back(owned.back().get());
  }
  events[40]->Signal();
  events[7]->Signal();
  events[63]->Signal();
  EXPECT_EQ(WaitableEvent::WaitMany(events.data(), events.size()), 7u);
  EXPECT_EQ(WaitableEvent::WaitMany(events.data(), events.size()), 40u);
  EXPECT_EQ(WaitableEvent::WaitMany(events.data(), events.size()), 63u);
  // Only the winner's auto-reset signal was consumed each time.
  EXPECT_FALSE(events[7]->IsSignaled());
}

TEST(WaitableEventTest, WaitManyWakesOnASignalFromAnotherThread) {
  WaitableEvent a(true, false), b(false, false);
  WaitableEvent* events[] = {&a, &b};
  std::thread signaller([&] { b.Signal(); });
  EXPECT_EQ(WaitableEvent::WaitMany(events, 2), 1u);
  signaller.join();
}

std::string* g_fatal_text = nullptr;
void RecordFatal(int severity, const std::string& line) {
  if (severity == logging::LOG_FATAL && g_fatal_text) *g_fatal_text = line;
}

TEST(WaitableEventTest, WaitManyOverSixtyFourIsAFatalCheckAndReturnsZero) {
  std::vector<std::unique_ptr<WaitableEvent>> owned;
  std::vector<WaitableEvent*> events;
  for (int i = 0; i < 65; ++i) {
    owned.push_back(std::make_unique<WaitableEvent>(true, true));
    events.push_back(owned.back().get());
  }
  std::string fatal;
  g_fatal_text = &fatal;
  logging::SetLogObserverForTesting(&RecordFatal);
  EXPECT_EQ(WaitableEvent::WaitMany(events.data(), events.size()), 0u);
  logging::SetLogObserverForTesting(nullptr);
  g_fatal_text = nullptr;
  EXPECT_NE(fatal.find("Check failed: count <= 64 (65 vs. 64)Can only wait on 64 with WaitMany"),
            std::string::npos)
      << fatal;
}

}  // namespace
}  // namespace ipcbase
