#include "ipc/base/object_watcher.h"

#include <atomic>

#include "ipc/base/logging.h"
#include "ipc/base/platform/async_wait.h"

namespace ipcbase {

// One watch: also the task that delivers its result on the origin thread.
struct ObjectWatcher::Watch : public Task {
  ObjectWatcher* watcher = nullptr;  // null once the watch is abandoned
  platform::EventHandle object = nullptr;
  platform::AsyncWaitHandle wait_object = nullptr;
  MessageLoop* origin_loop = nullptr;
  Delegate* delegate = nullptr;
  // Set on the wait thread before the watch is posted; read on the origin
  // thread only after the wait is unregistered, or inside the posted task.
  std::atomic<bool> did_signal{false};

  void Run() override {
    if (!watcher) return;  // abandoned: a no-op run, then the loop deletes it
    DCHECK(did_signal.load());
    // Copy what the delegate call needs: StopWatching detaches this record.
    Delegate* target = delegate;
    platform::EventHandle signaled = object;
    watcher->StopWatching();
    target->OnObjectSignaled(signaled);
  }
};

ObjectWatcher::ObjectWatcher() = default;

ObjectWatcher::~ObjectWatcher() { StopWatching(); }

bool ObjectWatcher::StartWatching(platform::EventHandle object, Delegate* delegate) {
  if (watch_) {
    NOTREACHED() << "Already watching an object";
    return false;
  }
  MessageLoop* loop = MessageLoop::current();
  if (!loop) return false;

  Watch* watch = new Watch;
  watch->watcher = this;
  watch->object = object;
  watch->origin_loop = loop;
  watch->delegate = delegate;
  watch->wait_object = platform::RegisterAsyncWait(object, &ObjectWatcher::DoneWaiting, watch);
  if (!watch->wait_object) {
    NOTREACHED() << "RegisterWaitForSingleObject failed: " << platform::GetLastError();
    delete watch;
    return false;
  }
  watch_ = watch;
  loop->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!watch_) return false;
  DCHECK(watch_->origin_loop == MessageLoop::current());

  // Blocks while a DoneWaiting call is in progress, so afterwards did_signal
  // is final.
  if (!platform::UnregisterAsyncWait(watch_->wait_object)) {
    NOTREACHED() << "UnregisterWaitEx failed: " << platform::GetLastError();
    return false;
  }
  std::atomic_thread_fence(std::memory_order_seq_cst);

  Watch* watch = watch_;
  MessageLoop* origin_loop = watch->origin_loop;
  watch->watcher = nullptr;
  // A signalled watch is already a task of the loop, which deletes it after
  // its (now no-op) run.
  if (!watch->did_signal.load(std::memory_order_acquire)) delete watch;
  watch_ = nullptr;
  origin_loop->RemoveDestructionObserver(this);
  return true;
}

platform::EventHandle ObjectWatcher::GetWatchedObject() const {
  return watch_ ? watch_->object : nullptr;
}

void ObjectWatcher::DoneWaiting(void* param, bool timed_out) {
  DCHECK(!timed_out);
  Watch* watch = static_cast<Watch*>(param);
  watch->did_signal.store(true, std::memory_order_release);
  watch->origin_loop->PostTask(watch);
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() {
  // No task may be posted to a loop that is going away.
  StopWatching();
}

}  // namespace ipcbase
