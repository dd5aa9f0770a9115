#include "ipc/base/platform/platform_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <vector>

#include "ipc/base/platform/event.h"
#include "ipc/base/platform/platform_test_util.h"

namespace ipcbase {
namespace {

class RecordingDelegate : public PlatformThread::Delegate {
 public:
  void ThreadMain() override {
    id_ = PlatformThread::CurrentId();
    PlatformThread::SetName("a-name-much-longer-than-any-limit");
    PlatformThread::YieldCurrentThread();
    ran_ = true;
  }
  bool ran() const { return ran_; }
  uint32_t id() const { return id_; }

 private:
  bool ran_ = false;  // read after Join, which orders it
  uint32_t id_ = 0;
};

TEST(PlatformThreadTest, RunsTheDelegateAndJoins) {
  RecordingDelegate delegate;
  PlatformThread::Handle handle = nullptr;
  ASSERT_TRUE(PlatformThread::Create(0, &delegate, &handle));
  ASSERT_NE(handle, nullptr);
  PlatformThread::Join(handle);
  EXPECT_TRUE(delegate.ran());
}

// Records its id, then stays alive until every thread of the group has
// done so, so that all ids are taken while all threads run.
class GroupDelegate : public PlatformThread::Delegate {
 public:
  GroupDelegate(std::atomic<int>* started, int group_size, platform::EventHandle all_started,
                platform::EventHandle release)
      : started_(started), group_size_(group_size), all_started_(all_started), release_(release) {}
  void ThreadMain() override {
    id_ = PlatformThread::CurrentId();
    if (started_->fetch_add(1) + 1 == group_size_) platform::SetEvent(all_started_);
    platform::WaitForEvent(release_, platform::test::kDeadlineMs);
  }
  uint32_t id() const { return id_; }

 private:
  std::atomic<int>* started_;
  int group_size_;
  platform::EventHandle all_started_;
  platform::EventHandle release_;
  uint32_t id_ = 0;
};

TEST(PlatformThreadTest, IdsAreNonZeroAndDistinctAmongRunningThreads) {
  constexpr int kThreads = 6;
  platform::test::ScopedEvent all_started(true, false);
  platform::test::ScopedEvent release(true, false);
  std::atomic<int> started{0};
  std::vector<GroupDelegate> delegates(
      kThreads, GroupDelegate(&started, kThreads, all_started.get(), release.get()));
  std::vector<PlatformThread::Handle> handles(kThreads);
  for (int i = 0; i < kThreads; ++i) {
    // Half of them with a stack size of their own.
    ASSERT_TRUE(PlatformThread::Create(i % 2 == 0 ? 0 : 256 * 1024, &delegates[i], &handles[i]));
  }
  EXPECT_EQ(platform::WaitForEvent(all_started.get(), platform::test::kDeadlineMs), 0);
  platform::SetEvent(release.get());
  for (PlatformThread::Handle handle : handles) PlatformThread::Join(handle);
  std::set<uint32_t> ids{PlatformThread::CurrentId()};
  for (const GroupDelegate& delegate : delegates) {
    EXPECT_NE(delegate.id(), 0u);
    ids.insert(delegate.id());
  }
  EXPECT_EQ(ids.size(), size_t{kThreads + 1});
  EXPECT_NE(PlatformThread::CurrentId(), 0u);
  EXPECT_EQ(PlatformThread::CurrentId(), PlatformThread::CurrentId());
}

TEST(PlatformThreadTest, CreateRefusesMissingArguments) {
  PlatformThread::Handle handle = nullptr;
  EXPECT_FALSE(PlatformThread::Create(0, nullptr, &handle));
  RecordingDelegate delegate;
  EXPECT_FALSE(PlatformThread::Create(0, &delegate, nullptr));
}

}  // namespace
}  // namespace ipcbase
