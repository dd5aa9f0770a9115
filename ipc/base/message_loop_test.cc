#include "ipc/base/message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/message_loop_proxy_impl.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/waitable_event.h"

namespace ipcbase {
namespace {

// A task that appends its name to a log when run and counts destructions.
class RecordingTask : public Task {
 public:
  RecordingTask(std::string name, std::vector<std::string>* log, int* destroyed = nullptr,
                std::function<void()> then = nullptr)
      : name_(std::move(name)), log_(log), destroyed_(destroyed), then_(std::move(then)) {}
  ~RecordingTask() override {
    if (destroyed_) ++*destroyed_;
  }
  void Run() override {
    log_->push_back(name_);
    if (then_) then_();
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
  int* destroyed_;
  std::function<void()> then_;
};

using Log = std::vector<std::string>;

TEST(MessageLoopTest, CurrentIsTheThreadsOwnLoop) {
  EXPECT_EQ(MessageLoop::current(), nullptr);
  {
    MessageLoopForIO loop;
    EXPECT_EQ(MessageLoop::current(), &loop);
    EXPECT_EQ(MessageLoopForIO::current(), &loop);
    MessageLoop* seen_elsewhere = &loop;
    std::thread([&] { seen_elsewhere = MessageLoop::current(); }).join();
    EXPECT_EQ(seen_elsewhere, nullptr);
  }
  EXPECT_EQ(MessageLoop::current(), nullptr);
}

TEST(MessageLoopTest, RunAllPendingRunsTasksInOrderIncludingTasksTheyPost) {
  MessageLoopForIO loop;
  loop.RunAllPending();  // empty queues: returns at once
  Log log;
  loop.PostTask(new RecordingTask("a", &log, nullptr, [&] {
    loop.PostTask(new RecordingTask("c", &log));
  }));
  loop.PostTask(new RecordingTask("b", &log));
  loop.RunAllPending();
  EXPECT_EQ(log, (Log{"a", "b", "c"}));
}

TEST(MessageLoopTest, DelayedTasksRunByDueTimeThenByPostingOrder) {
  MessageLoopForIO loop;
  Log log;
  loop.PostDelayedTask(new RecordingTask("late-1", &log), 30);
  loop.PostDelayedTask(new RecordingTask("late-2", &log), 30);
  loop.PostDelayedTask(new RecordingTask("early", &log), 5);
  loop.PostNonNestableDelayedTask(new RecordingTask("last", &log, nullptr, [&] { loop.Quit(); }), 40);
  loop.PostTask(new RecordingTask("now", &log));
  loop.Run();
  EXPECT_EQ(log, (Log{"now", "early", "late-1", "late-2", "last"}));
}

TEST(MessageLoopTest, DelayedTaskNeverRunsEarly) {
  MessageLoopForIO loop;
  for (int delay_ms : {1, 7, 25}) {
    Time posted = Time::Now();
    Time ran;
    loop.PostDelayedTask(NewFunctionTask([&] {
                           ran = Time::Now();
                           loop.Quit();
                         }),
                         delay_ms);
    loop.Run();
    EXPECT_GE((ran - posted).InMicroseconds(), delay_ms * 1000) << delay_ms;
  }
}

TEST(MessageLoopTest, NegativeDelayCountsAsNone) {
  MessageLoopForIO loop;
  Log log;
  loop.PostDelayedTask(new RecordingTask("negative", &log), -5);
  loop.RunAllPending();
  EXPECT_EQ(log, (Log{"negative"}));
}

TEST(MessageLoopTest, ABacklogOfImmediateTasksDoesNotHoldBackDueDelayedTasks) {
  MessageLoopForIO loop;
  int immediate_runs = 0;
  // A task that always posts itself again: without interleaving the delayed
  // task below would never get its turn and Run would never return.
  std::function<void()> again = [&] {
    ++immediate_runs;
    loop.PostTask(NewFunctionTask(again));
  };
  loop.PostTask(NewFunctionTask(again));
  loop.PostDelayedTask(NewFunctionTask([&] { loop.QuitNow(); }), 5);
  loop.Run();
  EXPECT_GT(immediate_runs, 0);
}

TEST(MessageLoopTest, QuitFinishesReadyWorkQuitNowStopsAfterTheCurrentTask) {
  {
    MessageLoopForIO loop;
    Log log;
    loop.PostTask(new RecordingTask("quit", &log, nullptr, [&] { loop.Quit(); }));
    loop.PostTask(new RecordingTask("still-runs", &log));
    loop.Run();
    EXPECT_EQ(log, (Log{"quit", "still-runs"}));
  }
  {
    MessageLoopForIO loop;
    Log log;
    int destroyed = 0;
    loop.PostTask(new RecordingTask("quit-now", &log, nullptr, [&] { loop.QuitNow(); }));
    loop.PostTask(new RecordingTask("left-queued", &log, &destroyed));
    loop.Run();
    EXPECT_EQ(log, (Log{"quit-now"}));
    loop.RunAllPending();
    EXPECT_EQ(log, (Log{"quit-now", "left-queued"}));
    EXPECT_EQ(destroyed, 1);
  }
}

TEST(MessageLoopTest, QuitOutsideRunChangesNothing) {
  MessageLoopForIO loop;
  loop.Quit();
  loop.QuitNow();
  Log log;
  loop.PostTask(new RecordingTask("a", &log));
  loop.PostTask(new RecordingTask("b", &log, nullptr, [&] { loop.Quit(); }));
  loop.Run();  // the early Quit calls did not end this run before "a"
  EXPECT_EQ(log, (Log{"a", "b"}));
}

TEST(MessageLoopTest, ANestedRunInsideATaskRunsNoTasks) {
  MessageLoopForIO loop;
  Log log;
  loop.PostTask(new RecordingTask("outer", &log, nullptr, [&] {
    loop.PostTask(new RecordingTask("posted-inside", &log));
    loop.RunAllPending();  // nested: tasks never start inside a task
    log.push_back("outer-end");
  }));
  loop.RunAllPending();
  EXPECT_EQ(log, (Log{"outer", "outer-end", "posted-inside"}));
}

TEST(MessageLoopTest, DestructionDestroysQueuedTasksWithoutRunningThem) {
  Log log;
  int destroyed = 0;
  {
    MessageLoopForIO loop;
    loop.PostTask(new RecordingTask("immediate", &log, &destroyed));
    loop.PostNonNestableTask(new RecordingTask("non-nestable", &log, &destroyed));
    loop.PostDelayedTask(new RecordingTask("delayed", &log, &destroyed), 60000);
    loop.PostDelayedTask(new RecordingTask("delayed-2", &log, &destroyed), 30000);
    // Move the delayed ones into the delayed queue, as a running loop does.
    loop.PostTask(new RecordingTask("runs", &log));
    loop.RunAllPending();
    loop.PostTask(new RecordingTask("queued-after", &log, &destroyed));
  }
  EXPECT_EQ(log, (Log{"immediate", "non-nestable", "runs"}));
  EXPECT_EQ(destroyed, 5);  // 2 that ran + 3 destroyed unrun
}

TEST(MessageLoopTest, DestructionObserversAreToldFirstAndDeleteSoonDeletes) {
  struct Observer : MessageLoop::DestructionObserver {
    int calls = 0;
    void WillDestroyCurrentMessageLoop() override { ++calls; }
  } observer, removed;
  struct Tracked {
    explicit Tracked(bool* flag) : deleted(flag) {}
    ~Tracked() { *deleted = true; }
    bool* deleted;
  };
  bool deleted_by_task = false, deleted_at_destruction = false;
  {
    MessageLoopForIO loop;
    loop.AddDestructionObserver(&observer);
    loop.AddDestructionObserver(&removed);
    loop.RemoveDestructionObserver(&removed);
    loop.DeleteSoon(new Tracked(&deleted_by_task));
    loop.RunAllPending();
    EXPECT_TRUE(deleted_by_task);
    loop.DeleteSoon(new Tracked(&deleted_at_destruction));
  }
  EXPECT_EQ(observer.calls, 1);
  EXPECT_EQ(removed.calls, 0);
  EXPECT_TRUE(deleted_at_destruction);  // never leaked
}

TEST(MessageLoopTest, TasksPostedFromManyThreadsAllRunOnceInPerThreadOrder) {
  MessageLoopForIO loop;
  constexpr int kThreads = 4;
  constexpr int kTasks = 5000;
  std::vector<int> next(kThreads, 0);
  std::atomic<int> done_threads{0};
  bool in_order = true;
  int total = 0;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kTasks; ++i) {
        loop.PostTask(NewFunctionTask([&, t, i] {
          in_order &= (next[t] == i);
          next[t] = i + 1;
          if (++total == kThreads * kTasks) loop.Quit();
        }));
      }
      done_threads.fetch_add(1);
    });
  }
  loop.Run();
  for (auto& p : posters) p.join();
  EXPECT_TRUE(in_order);
  EXPECT_EQ(total, kThreads * kTasks);
}

TEST(MessageLoopProxyImplTest, PostsWhileTheLoopLivesAndRefusesAfterwards) {
  scoped_refptr<MessageLoopProxyImpl> proxy;
  Log log;
  int destroyed = 0;
  {
    MessageLoopForIO loop;
    proxy = MessageLoopProxyImpl::CreateForCurrentThread();
    EXPECT_TRUE(proxy->BelongsToCurrentThread());
    bool other_thread_belongs = true;
    std::thread([&] { other_thread_belongs = proxy->BelongsToCurrentThread(); }).join();
    EXPECT_FALSE(other_thread_belongs);
    EXPECT_TRUE(proxy->PostTask(new RecordingTask("posted", &log)));
    loop.RunAllPending();
  }
  EXPECT_FALSE(proxy->PostTask(new RecordingTask("too-late", &log, &destroyed)));
  EXPECT_FALSE(proxy->PostDelayedTask(new RecordingTask("too-late", &log, &destroyed), 5));
  EXPECT_FALSE(proxy->BelongsToCurrentThread());
  EXPECT_EQ(log, (Log{"posted"}));
  EXPECT_EQ(destroyed, 2);
}

TEST(MessageLoopProxyImplTest, LastReferenceDroppedElsewhereDeletesOnTheLoopThread) {
  MessageLoopForIO loop;
  scoped_refptr<MessageLoopProxyImpl> proxy = MessageLoopProxyImpl::CreateForCurrentThread();
  MessageLoopProxyImpl* raw = proxy.get();
  raw->AddRef();  // the other thread's reference
  proxy = nullptr;
  std::thread([raw] { raw->Release(); }).join();
  // The deletion went to this loop as a task and runs here.
  loop.RunAllPending();
  SUCCEED();
}

}  // namespace
}  // namespace ipcbase
