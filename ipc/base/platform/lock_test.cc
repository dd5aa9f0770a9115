#include "ipc/base/platform/lock.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ipc/base/platform/event.h"
#include "ipc/base/platform/platform_test_util.h"

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::ScopedEvent;

TEST(PlatformLockTest, ExcludesOtherThreads) {
  PlatformLock lock;
  int64_t counter = 0;  // plain: only the lock protects it (TSan checks)
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        lock.Acquire();
        ++counter;
        lock.Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, int64_t{kThreads} * kRounds);
}

TEST(PlatformLockTest, TryFailsWhileAnotherThreadHoldsIt) {
  PlatformLock lock;
  ScopedEvent held(true, false);
  ScopedEvent release(true, false);
  std::thread holder([&] {
    lock.Acquire();
    SetEvent(held.get());
    WaitForEvent(release.get(), kDeadlineMs);
    lock.Release();
  });
  ASSERT_EQ(WaitForEvent(held.get(), kDeadlineMs), 0);
  EXPECT_FALSE(lock.Try());
  SetEvent(release.get());
  holder.join();
  ASSERT_TRUE(lock.Try());
  lock.Release();
}

}  // namespace
}  // namespace ipcbase::platform
