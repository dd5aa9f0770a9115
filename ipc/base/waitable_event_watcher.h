// Watches a WaitableEvent asynchronously: the delegate is called on the
// thread that started the watch, once, after the event is signalled.
// Start a new watch to keep watching. Use from one thread only.
#ifndef IPC_BASE_WAITABLE_EVENT_WATCHER_H_
#define IPC_BASE_WAITABLE_EVENT_WATCHER_H_

#include "ipc/base/object_watcher.h"
#include "ipc/base/waitable_event.h"

namespace ipcbase {

class WaitableEventWatcher : public ObjectWatcher::Delegate {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void OnWaitableEventSignaled(WaitableEvent* waitable_event) = 0;
  };

  WaitableEventWatcher();
  ~WaitableEventWatcher() override;
  WaitableEventWatcher(const WaitableEventWatcher&) = delete;
  WaitableEventWatcher& operator=(const WaitableEventWatcher&) = delete;

  // False when already watching or when the wait cannot be registered.
  bool StartWatching(WaitableEvent* event, Delegate* delegate);
  // Ends the watch (if any); the delegate is not called for it afterwards.
  void StopWatching();
  // The watched event, or null.
  WaitableEvent* GetWatchedEvent() const { return event_; }

 private:
  void OnObjectSignaled(platform::EventHandle object) override;

  ObjectWatcher watcher_;
  WaitableEvent* event_ = nullptr;
  Delegate* delegate_ = nullptr;
};

}  // namespace ipcbase

#endif  // IPC_BASE_WAITABLE_EVENT_WATCHER_H_
