#include "ipc/base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "ipc/base/lock.h"
#include "ipc/base/platform/platform_thread.h"
#include "ipc/base/waitable_event.h"

namespace ipcbase {
namespace {

constexpr TimeDelta kDeadline = TimeDelta::FromSeconds(30);

TEST(ThreadTest, StartRunsALoopOnANewNamedThreadAndStopJoins) {
  Thread thread("VemoIpc_0");
  EXPECT_EQ(thread.message_loop(), nullptr);
  ASSERT_TRUE(thread.Start());
  ASSERT_NE(thread.message_loop(), nullptr);
  EXPECT_NE(thread.thread_id(), 0u);
  EXPECT_NE(thread.thread_id(), PlatformThread::CurrentId());

  WaitableEvent ran(false, false);
  std::string name_seen;
  MessageLoop* loop_seen = nullptr;
  uint32_t id_seen = 0;
  thread.message_loop()->PostTask(NewFunctionTask([&] {
    name_seen = MessageLoop::current()->thread_name();
    loop_seen = MessageLoop::current();
    id_seen = PlatformThread::CurrentId();
    ran.Signal();
  }));
  ASSERT_TRUE(ran.TimedWait(kDeadline));
  EXPECT_EQ(name_seen, "VemoIpc_0");
  EXPECT_EQ(loop_seen, thread.message_loop());
  EXPECT_EQ(id_seen, thread.thread_id());

  thread.Stop();
  EXPECT_EQ(thread.message_loop(), nullptr);
  EXPECT_EQ(thread.thread_id(), 0u);
}

TEST(ThreadTest, StopLetsTheLoopFinishItsReadyWork) {
  Thread thread("worker");
  ASSERT_TRUE(thread.Start());
  std::atomic<int> ran{0};
  for (int i = 0; i < 1000; ++i) thread.message_loop()->PostTask(NewFunctionTask([&] { ++ran; }));
  thread.Stop();
  EXPECT_EQ(ran.load(), 1000);
}

TEST(ThreadTest, StopWithoutStartAndRepeatedStopsAreHarmless) {
  Thread never("never");
  never.Stop();
  never.StopSoon();
  Thread thread("twice");
  ASSERT_TRUE(thread.Start());
  thread.StopSoon();
  thread.StopSoon();  // one quit task only
  thread.Stop();
  thread.Stop();
  // A stopped thread can be started again.
  ASSERT_TRUE(thread.Start());
  EXPECT_NE(thread.message_loop(), nullptr);
}

// Records the order of the hooks and where they ran.
class HookedThread : public Thread {
 public:
  HookedThread() : Thread("hooked") {}
  ~HookedThread() override { Stop(); }
  std::vector<std::string> events;
  Lock lock;

 protected:
  void Init() override { Record("Init", MessageLoop::current() != nullptr); }
  void CleanUp() override { Record("CleanUp", MessageLoop::current() != nullptr); }
  void CleanUpAfterMessageLoopDestruction() override {
    Record("AfterLoop", MessageLoop::current() != nullptr);
  }

 private:
  void Record(const char* what, bool has_loop) {
    AutoLock hold(lock);
    events.push_back(std::string(what) + (has_loop ? "+loop" : "-loop"));
  }
};

TEST(ThreadTest, HooksRunInOrderAroundTheLoop) {
  HookedThread thread;
  ASSERT_TRUE(thread.Start());
  {
    // Init has run before Start returned.
    AutoLock hold(thread.lock);
    EXPECT_EQ(thread.events, (std::vector<std::string>{"Init+loop"}));
  }
  thread.Stop();
  EXPECT_EQ(thread.events,
            (std::vector<std::string>{"Init+loop", "CleanUp+loop", "AfterLoop-loop"}));
}

TEST(ThreadTest, ProxyOutlivesTheThreadsLoop) {
  Thread thread("proxied");
  ASSERT_TRUE(thread.Start());
  scoped_refptr<MessageLoopProxyImpl> proxy = thread.message_loop_proxy();
  ASSERT_TRUE(proxy);
  WaitableEvent ran(false, false);
  EXPECT_TRUE(proxy->PostTask(NewFunctionTask([&] { ran.Signal(); })));
  ASSERT_TRUE(ran.TimedWait(kDeadline));
  EXPECT_FALSE(proxy->BelongsToCurrentThread());
  thread.Stop();
  EXPECT_FALSE(proxy->PostTask(NewFunctionTask([] {})));
}

TEST(ThreadTest, ManyThreadsPostingToOneThreadLoseNothing) {
  Thread target("target");
  ASSERT_TRUE(target.Start());
  constexpr int kPosters = 4, kTasks = 2000;
  std::atomic<int> ran{0};
  WaitableEvent all_ran(true, false);
  std::vector<std::unique_ptr<Thread>> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.push_back(std::make_unique<Thread>("poster"));
    ASSERT_TRUE(posters.back()->Start());
    posters.back()->message_loop()->PostTask(NewFunctionTask([&] {
      for (int i = 0; i < kTasks; ++i) {
        target.message_loop()->PostTask(NewFunctionTask([&] {
          if (++ran == kPosters * kTasks) all_ran.Signal();
        }));
      }
    }));
  }
  ASSERT_TRUE(all_ran.TimedWait(kDeadline));
  for (auto& p : posters) p->Stop();
  target.Stop();
  EXPECT_EQ(ran.load(), kPosters * kTasks);
}

}  // namespace
}  // namespace ipcbase
