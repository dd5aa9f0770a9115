// Watches one event asynchronously and reports its signal as a task on the
// loop of the thread that started the watch.
//
// A watch fires at most once; start a new one to keep watching. Once
// StopWatching returns (or the watcher or its loop is destroyed) the
// delegate is never called for that watch. Use from one thread only.
#ifndef IPC_BASE_OBJECT_WATCHER_H_
#define IPC_BASE_OBJECT_WATCHER_H_

#include "ipc/base/message_loop.h"
#include "ipc/base/platform/event.h"

namespace ipcbase {

class ObjectWatcher : public MessageLoop::DestructionObserver {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Called on the origin thread once the object has been signalled.
    virtual void OnObjectSignaled(platform::EventHandle object) = 0;
  };

  ObjectWatcher();
  ~ObjectWatcher() override;
  ObjectWatcher(const ObjectWatcher&) = delete;
  ObjectWatcher& operator=(const ObjectWatcher&) = delete;

  // Starts watching object; false when already watching or when the wait
  // cannot be registered. Needs a message loop on the calling thread.
  bool StartWatching(platform::EventHandle object, Delegate* delegate);

  // Ends the watch; false when not watching. On the origin thread only.
  bool StopWatching();

  // The watched object, or null when not watching.
  platform::EventHandle GetWatchedObject() const;

 private:
  struct Watch;
  static void DoneWaiting(void* param, bool timed_out);
  void WillDestroyCurrentMessageLoop() override;

  Watch* watch_ = nullptr;
};

}  // namespace ipcbase

#endif  // IPC_BASE_OBJECT_WATCHER_H_
