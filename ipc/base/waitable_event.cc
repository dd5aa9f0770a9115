#include "ipc/base/waitable_event.h"

#include "ipc/base/logging.h"

namespace ipcbase {

WaitableEvent::WaitableEvent(bool manual_reset, bool initially_signaled)
    : handle_(platform::CreateEvent(manual_reset, initially_signaled)) {
  CHECK(handle_);
}

WaitableEvent::~WaitableEvent() {
  if (handle_) platform::CloseEvent(handle_);
}

void WaitableEvent::Reset() { platform::ResetEvent(handle_); }

void WaitableEvent::Signal() { platform::SetEvent(handle_); }

bool WaitableEvent::IsSignaled() { return TimedWait(TimeDelta::FromMilliseconds(0)); }

bool WaitableEvent::Wait() {
  int64_t result = platform::WaitForEvent(handle_, platform::kWaitForever);
  DCHECK(result == 0) << "WaitForSingleObject failed";
  return result == 0;
}

bool WaitableEvent::TimedWait(const TimeDelta& max_time) {
  DCHECK(max_time >= TimeDelta::FromMicroseconds(0));
  int64_t timeout_ms = max_time.InMillisecondsRoundedUp();
  if (timeout_ms < 0) timeout_ms = 0;
  int64_t result = platform::WaitForEvent(handle_, timeout_ms);
  if (result == 0) return true;
  if (result == platform::kWaitTimedOut) return false;
  NOTREACHED() << "WaitForSingleObject failed";
  return false;
}

size_t WaitableEvent::WaitMany(WaitableEvent** events, size_t count) {
  platform::EventHandle handles[platform::kMaxWaitEvents];
  static_assert(platform::kMaxWaitEvents == 64);
  CHECK_LE(count, 64) << "Can only wait on " << 64 << " with WaitMany";
  if (count == 0 || count > platform::kMaxWaitEvents) return 0;
  for (size_t i = 0; i < count; ++i) handles[i] = events[i]->handle();
  int64_t result = platform::WaitForAnyEvent(handles, count, platform::kWaitForever);
  if (result < 0 || static_cast<size_t>(result) >= count) {
    NOTREACHED() << "WaitForMultipleObjects failed: " << platform::GetLastError();
    return 0;
  }
  return static_cast<size_t>(result);
}

}  // namespace ipcbase
