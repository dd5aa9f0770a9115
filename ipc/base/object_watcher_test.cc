#include "ipc/base/object_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "ipc/base/message_loop.h"
#include "ipc/base/platform/platform_thread.h"
#include "ipc/base/thread.h"
#include "ipc/base/waitable_event.h"
#include "ipc/base/waitable_event_watcher.h"

namespace ipcbase {
namespace {

constexpr TimeDelta kDeadline = TimeDelta::FromSeconds(30);

class QuittingDelegate : public ObjectWatcher::Delegate {
 public:
  void OnObjectSignaled(platform::EventHandle object) override {
    signaled = object;
    thread_id = PlatformThread::CurrentId();
    ++calls;
    if (MessageLoop::current()) MessageLoop::current()->Quit();
  }
  platform::EventHandle signaled = nullptr;
  uint32_t thread_id = 0;
  int calls = 0;
};

TEST(ObjectWatcherTest, ASignalIsDeliveredOnceOnTheOriginThread) {
  MessageLoopForIO loop;
  WaitableEvent event(true, false);
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
  EXPECT_EQ(watcher.GetWatchedObject(), event.handle());
  EXPECT_FALSE(watcher.StartWatching(event.handle(), &delegate));  // already watching

  std::thread signaller([&] { event.Signal(); });
  loop.Run();
  signaller.join();
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_EQ(delegate.signaled, event.handle());
  EXPECT_EQ(delegate.thread_id, PlatformThread::CurrentId());
  EXPECT_EQ(watcher.GetWatchedObject(), nullptr);  // one-shot
  EXPECT_FALSE(watcher.StopWatching());

  // The manual event is still set: a new watch fires again.
  ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
  loop.Run();
  EXPECT_EQ(delegate.calls, 2);
}

TEST(ObjectWatcherTest, StopWatchingBeforeTheSignalMeansNoDelivery) {
  MessageLoopForIO loop;
  WaitableEvent event(true, false);
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
  EXPECT_TRUE(watcher.StopWatching());
  event.Signal();
  // The delegate would have been posted as a task by now if it were still
  // registered; a marker task posted after a second watch proves the order.
  WaitableEvent second(true, true);
  QuittingDelegate second_delegate;
  ASSERT_TRUE(watcher.StartWatching(second.handle(), &second_delegate));
  loop.Run();
  EXPECT_EQ(delegate.calls, 0);
  EXPECT_EQ(second_delegate.calls, 1);
}

TEST(ObjectWatcherTest, StopWatchingRacingTheSignalNeverCallsBackAfterwards) {
  MessageLoopForIO loop;
  int delivered = 0;
  for (int round = 0; round < 300; ++round) {
    WaitableEvent event(false, false);
    QuittingDelegate delegate;
    {
      ObjectWatcher watcher;
      ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
      std::thread signaller([&] { event.Signal(); });
      if (round % 2) loop.RunAllPending();  // sometimes let a posted delivery in
      watcher.StopWatching();
      int calls_at_stop = delegate.calls;
      signaller.join();
      loop.RunAllPending();  // a watch posted before the stop runs as a no-op
      EXPECT_EQ(delegate.calls, calls_at_stop);
      delivered += delegate.calls;
    }
  }
  SUCCEED() << delivered << " rounds delivered before the stop";
}

TEST(ObjectWatcherTest, DestroyingTheOriginLoopFirstStopsTheWatch) {
  WaitableEvent event(true, false);
  QuittingDelegate delegate;
  ObjectWatcher watcher;
  {
    MessageLoopForIO loop;
    ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
  }
  EXPECT_EQ(watcher.GetWatchedObject(), nullptr);
  event.Signal();
  MessageLoopForIO later;
  later.RunAllPending();
  EXPECT_EQ(delegate.calls, 0);
}

class EventDelegate : public WaitableEventWatcher::Delegate {
 public:
  void OnWaitableEventSignaled(WaitableEvent* event) override {
    signaled = event;
    ++calls;
    MessageLoop::current()->Quit();
  }
  WaitableEvent* signaled = nullptr;
  int calls = 0;
};

TEST(WaitableEventWatcherTest, ReportsTheSignalledEventOnceOnTheWatchingThread) {
  MessageLoopForIO loop;
  WaitableEvent event(false, false);
  WaitableEventWatcher watcher;
  EventDelegate delegate;
  ASSERT_TRUE(watcher.StartWatching(&event, &delegate));
  EXPECT_EQ(watcher.GetWatchedEvent(), &event);
  Thread signaller("signaller");
  ASSERT_TRUE(signaller.Start());
  signaller.message_loop()->PostTask(NewFunctionTask([&] { event.Signal(); }));
  loop.Run();
  EXPECT_EQ(delegate.calls, 1);
  EXPECT_EQ(delegate.signaled, &event);
  EXPECT_EQ(watcher.GetWatchedEvent(), nullptr);
  // The watch consumed the auto-reset signal.
  EXPECT_FALSE(event.IsSignaled());
  signaller.Stop();
}

TEST(WaitableEventWatcherTest, StopWatchingSilencesTheDelegate) {
  MessageLoopForIO loop;
  WaitableEvent event(true, false);
  WaitableEventWatcher watcher;
  EventDelegate delegate;
  ASSERT_TRUE(watcher.StartWatching(&event, &delegate));
  watcher.StopWatching();
  event.Signal();
  WaitableEvent marker(true, true);
  WaitableEventWatcher marker_watcher;
  EventDelegate marker_delegate;
  ASSERT_TRUE(marker_watcher.StartWatching(&marker, &marker_delegate));
  loop.Run();
  EXPECT_EQ(delegate.calls, 0);
  EXPECT_EQ(marker_delegate.calls, 1);
}

}  // namespace
}  // namespace ipcbase
