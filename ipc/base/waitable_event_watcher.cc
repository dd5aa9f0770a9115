#include "ipc/base/waitable_event_watcher.h"

#include "ipc/base/logging.h"

namespace ipcbase {

WaitableEventWatcher::WaitableEventWatcher() = default;

WaitableEventWatcher::~WaitableEventWatcher() { StopWatching(); }

bool WaitableEventWatcher::StartWatching(WaitableEvent* event, Delegate* delegate) {
  if (!watcher_.StartWatching(event->handle(), this)) return false;
  event_ = event;
  delegate_ = delegate;
  return true;
}

void WaitableEventWatcher::StopWatching() {
  delegate_ = nullptr;
  event_ = nullptr;
  watcher_.StopWatching();
}

void WaitableEventWatcher::OnObjectSignaled(platform::EventHandle) {
  WaitableEvent* event = event_;
  Delegate* delegate = delegate_;
  event_ = nullptr;
  delegate_ = nullptr;
  DCHECK(event);
  if (event && delegate) delegate->OnWaitableEventSignaled(event);
}

}  // namespace ipcbase
