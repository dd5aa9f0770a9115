#include "ipc/base/thread_local.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace ipcbase {
namespace {

TEST(ThreadLocalPointerTest, EachThreadSeesItsOwnValue) {
  ThreadLocalPointer<int> slot;
  int main_value = 1;
  slot.Set(&main_value);
  int other_seen_before = -1;
  int other_value = 2;
  std::thread other([&] {
    other_seen_before = slot.Get() ? *slot.Get() : 0;
    slot.Set(&other_value);
    EXPECT_EQ(slot.Get(), &other_value);
  });
  other.join();
  EXPECT_EQ(other_seen_before, 0);
  EXPECT_EQ(slot.Get(), &main_value);
}

TEST(LazyTlsSlotTest, RacingThreadsCreateExactlyOneSlot) {
  for (int round = 0; round < 50; ++round) {
    LazyTlsSlot lazy;
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<platform::TlsSlot> seen(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        ready.fetch_add(1);
        while (!go.load()) std::this_thread::yield();
        seen[i] = lazy.slot();
        int value = i;
        lazy.Set(&value);
        EXPECT_EQ(lazy.Get(), &value);
        lazy.Set(nullptr);
      });
    }
    while (ready.load() != kThreads) std::this_thread::yield();
    go.store(true);
    for (auto& t : threads) t.join();
    for (int i = 1; i < kThreads; ++i) ASSERT_EQ(seen[i], seen[0]);
    EXPECT_NE(seen[0], platform::kTlsOutOfIndexes);
    ThreadLocalPlatform::FreeSlot(seen[0]);  // no at-exit manager in tests
  }
}

}  // namespace
}  // namespace ipcbase
