// An event that threads wait on: manual reset (stays signalled until Reset,
// releases every waiter) or auto reset (releases one waiter and resets).
// Every operation may be called from any thread.
#ifndef IPC_BASE_WAITABLE_EVENT_H_
#define IPC_BASE_WAITABLE_EVENT_H_

#include <cstddef>

#include "ipc/base/platform/event.h"
#include "ipc/base/time.h"

namespace ipcbase {

class WaitableEvent {
 public:
  WaitableEvent(bool manual_reset, bool initially_signaled);
  ~WaitableEvent();
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;

  void Reset();
  void Signal();

  // A zero-time wait: true when signalled, consuming an auto-reset signal.
  bool IsSignaled();

  // Waits without limit; true once signalled.
  bool Wait();

  // Waits up to max_time (not negative), rounded up to whole milliseconds, so
  // 1 us waits 1 ms and 0 only polls. True when signalled in time.
  bool TimedWait(const TimeDelta& max_time);

  // Waits for any of count events (at most 64) and returns the index of the
  // one that was signalled, the lowest when several were. A larger count is
  // a fatal check (nothing beyond the 64th entry is read) and returns 0, as
  // does a failed wait.
  static size_t WaitMany(WaitableEvent** events, size_t count);

  // The platform handle, for watchers.
  platform::EventHandle handle() const { return handle_; }

 private:
  platform::EventHandle handle_;
};

}  // namespace ipcbase

#endif  // IPC_BASE_WAITABLE_EVENT_H_
