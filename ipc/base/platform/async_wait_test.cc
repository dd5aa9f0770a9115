#include "ipc/base/platform/async_wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/event.h"
#include "ipc/base/platform/platform_test_util.h"

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::ScopedEvent;

// What one registration's callback saw.
struct Record {
  Record() : fired(true, false) {}
  std::atomic<int> calls{0};
  std::atomic<int> timed_out_calls{0};
  ScopedEvent fired;  // manual: set by the first call
};

void RecordCallback(void* param, bool timed_out) {
  auto* record = static_cast<Record*>(param);
  record->calls.fetch_add(1);
  if (timed_out) record->timed_out_calls.fetch_add(1);
  SetEvent(record->fired.get());
}

TEST(AsyncWaitTest, FiresOnceWithItsParamAndConsumesAnAutoResetSignal) {
  ScopedEvent event(false, false);
  Record record;
  AsyncWaitHandle wait = RegisterAsyncWait(event.get(), &RecordCallback, &record);
  ASSERT_NE(wait, nullptr);
  ASSERT_TRUE(SetEvent(event.get()));
  ASSERT_EQ(WaitForEvent(record.fired.get(), kDeadlineMs), 0);
  EXPECT_EQ(WaitForEvent(event.get(), 0), kWaitTimedOut) << "the wait did not take the signal";
  // A second signal finds the one-shot wait gone and stays set.
  ASSERT_TRUE(SetEvent(event.get()));
  EXPECT_TRUE(UnregisterAsyncWait(wait));
  EXPECT_EQ(WaitForEvent(event.get(), 0), 0);
  EXPECT_EQ(record.calls.load(), 1);
  EXPECT_EQ(record.timed_out_calls.load(), 0);
}

TEST(AsyncWaitTest, FiresOnceForAManualResetEventThatStaysSignalled) {
  ScopedEvent event(true, false);
  Record first;
  AsyncWaitHandle first_wait = RegisterAsyncWait(event.get(), &RecordCallback, &first);
  ASSERT_NE(first_wait, nullptr);
  ASSERT_TRUE(SetEvent(event.get()));
  ASSERT_EQ(WaitForEvent(first.fired.get(), kDeadlineMs), 0);
  // A later wait on the still-signalled event fires too; the wait thread
  // has gone round again by then, and the first wait must not have fired
  // a second time.
  Record second;
  AsyncWaitHandle second_wait = RegisterAsyncWait(event.get(), &RecordCallback, &second);
  ASSERT_NE(second_wait, nullptr);
  ASSERT_EQ(WaitForEvent(second.fired.get(), kDeadlineMs), 0);
  EXPECT_TRUE(UnregisterAsyncWait(first_wait));
  EXPECT_TRUE(UnregisterAsyncWait(second_wait));
  EXPECT_EQ(first.calls.load(), 1);
  EXPECT_EQ(second.calls.load(), 1);
  EXPECT_EQ(WaitForEvent(event.get(), 0), 0);  // nobody reset it
}

TEST(AsyncWaitTest, ManyWaitsEachFireForTheirOwnEvent) {
  constexpr int kWaits = 20;
  std::vector<std::unique_ptr<ScopedEvent>> events;
  std::vector<std::unique_ptr<Record>> records;
  std::vector<AsyncWaitHandle> waits;
  for (int i = 0; i < kWaits; ++i) {
    events.push_back(std::make_unique<ScopedEvent>(false, false));
    records.push_back(std::make_unique<Record>());
    waits.push_back(RegisterAsyncWait(events[i]->get(), &RecordCallback, records[i].get()));
    ASSERT_NE(waits.back(), nullptr);
  }
  // Signal the odd ones, last first.
  for (int i = kWaits - 1; i >= 0; --i) {
    if (i % 2 == 1) SetEvent(events[i]->get());
  }
  for (int i = 1; i < kWaits; i += 2) {
    EXPECT_EQ(WaitForEvent(records[i]->fired.get(), kDeadlineMs), 0) << i;
  }
  for (int i = 0; i < kWaits; ++i) EXPECT_TRUE(UnregisterAsyncWait(waits[i]));
  for (int i = 0; i < kWaits; ++i) EXPECT_EQ(records[i]->calls.load(), i % 2) << i;
}

TEST(AsyncWaitTest, UnregisteredBeforeTheSignalNeverFiresNorTakesIt) {
  ScopedEvent event(false, false);
  Record record;
  AsyncWaitHandle wait = RegisterAsyncWait(event.get(), &RecordCallback, &record);
  ASSERT_NE(wait, nullptr);
  ASSERT_TRUE(UnregisterAsyncWait(wait));
  ASSERT_TRUE(SetEvent(event.get()));
  // Another wait on another event proves the wait thread has run since.
  ScopedEvent other(false, true);
  Record other_record;
  AsyncWaitHandle other_wait = RegisterAsyncWait(other.get(), &RecordCallback, &other_record);
  ASSERT_EQ(WaitForEvent(other_record.fired.get(), kDeadlineMs), 0);
  EXPECT_TRUE(UnregisterAsyncWait(other_wait));
  EXPECT_EQ(record.calls.load(), 0);
  EXPECT_EQ(WaitForEvent(event.get(), 0), 0) << "an ended wait took the signal";
}

TEST(AsyncWaitTest, BadArgumentsAreRefused) {
  ScopedEvent event(false, false);
  Record record;
  EXPECT_EQ(RegisterAsyncWait(nullptr, &RecordCallback, &record), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(RegisterAsyncWait(event.get(), nullptr, &record), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(UnregisterAsyncWait(nullptr));
  AsyncWaitHandle wait = RegisterAsyncWait(event.get(), &RecordCallback, &record);
  ASSERT_NE(wait, nullptr);
  EXPECT_TRUE(UnregisterAsyncWait(wait));
  EXPECT_FALSE(UnregisterAsyncWait(wait)) << "a handle is good for one unregistration";
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

// The callback signals that it has started and then holds the wait thread
// until the test lets it go.
struct BlockingRecord {
  BlockingRecord() : entered(true, false), gate(true, false) {}
  ScopedEvent entered;
  ScopedEvent gate;
  std::atomic<bool> finished{false};
};

void BlockingCallback(void* param, bool) {
  auto* record = static_cast<BlockingRecord*>(param);
  SetEvent(record->entered.get());
  WaitForEvent(record->gate.get(), kDeadlineMs);
  record->finished.store(true);
}

TEST(AsyncWaitTest, UnregisterWaitsForARunningCallback) {
  ScopedEvent event(false, false);
  BlockingRecord record;
  AsyncWaitHandle wait = RegisterAsyncWait(event.get(), &BlockingCallback, &record);
  ASSERT_NE(wait, nullptr);
  ASSERT_TRUE(SetEvent(event.get()));
  ASSERT_EQ(WaitForEvent(record.entered.get(), kDeadlineMs), 0);
  std::atomic<bool> unregister_returned{false};
  bool finished_when_returned = false;
  std::thread unregisterer([&] {
    EXPECT_TRUE(UnregisterAsyncWait(wait));
    finished_when_returned = record.finished.load();
    unregister_returned.store(true);
  });
  // The callback is held, so Unregister cannot have returned yet.
  EXPECT_FALSE(unregister_returned.load());
  SetEvent(record.gate.get());
  unregisterer.join();
  EXPECT_TRUE(finished_when_returned) << "Unregister returned while the callback ran";
}

// Registration, signal and unregistration race. After Unregister returns the
// callback has either run completely or will never run, and the event's
// signal was taken exactly when it ran.
struct RaceRecord {
  std::atomic<bool> unregistered{false};
  std::atomic<int> calls{0};
  std::atomic<int> late_calls{0};
};

void RaceCallback(void* param, bool) {
  auto* record = static_cast<RaceRecord*>(param);
  if (record->unregistered.load()) record->late_calls.fetch_add(1);
  record->calls.fetch_add(1);
}

TEST(AsyncWaitTest, UnregisterRacingASignalNeverCallsBackAfterReturning) {
  constexpr int kRounds = 300;
  int fired_rounds = 0;
  for (int round = 0; round < kRounds; ++round) {
    ScopedEvent event(false, false);
    RaceRecord record;
    AsyncWaitHandle wait = RegisterAsyncWait(event.get(), &RaceCallback, &record);
    ASSERT_NE(wait, nullptr);
    std::thread signaller([&] { SetEvent(event.get()); });
    ASSERT_TRUE(UnregisterAsyncWait(wait));
    record.unregistered.store(true);
    signaller.join();
    int calls = record.calls.load();
    ASSERT_LE(calls, 1);
    fired_rounds += calls;
    // The signal is still there exactly when the callback did not run.
    EXPECT_EQ(WaitForEvent(event.get(), 0), calls == 1 ? kWaitTimedOut : 0) << round;
    EXPECT_EQ(record.late_calls.load(), 0) << round;
  }
  // Rounds where the callback won and where Unregister won are both
  // possible; neither is required.
  RecordProperty("fired_rounds", fired_rounds);
}

}  // namespace
}  // namespace ipcbase::platform
