#include "ipc/base/platform/event.h"

#include "ipc/base/platform/windows_win.h"

#include "ipc/base/platform/error.h"

namespace ipcbase::platform {
namespace {

static_assert(kMaxWaitEvents == MAXIMUM_WAIT_OBJECTS);

// The longest single wait that is not INFINITE.
constexpr int64_t kLongestFiniteWaitMs = INFINITE - 1;

// Waits the way WaitForSingleObject / WaitForMultipleObjects do, also for a
// timeout beyond the 32-bit range (waited in slices). Returns the raw result.
template <typename WaitOnce>
DWORD WaitWithTimeout(int64_t timeout_ms, WaitOnce wait_once) {
  if (timeout_ms == kWaitForever) return wait_once(INFINITE);
  if (timeout_ms < 0) {  // a caller error, as everywhere in the layer
    SetLastError(kErrorInvalidParameter);
    return WAIT_FAILED;
  }
  for (;;) {
    DWORD slice = static_cast<DWORD>(timeout_ms < kLongestFiniteWaitMs ? timeout_ms
                                                                       : kLongestFiniteWaitMs);
    DWORD result = wait_once(slice);
    timeout_ms -= slice;
    if (result != WAIT_TIMEOUT || timeout_ms <= 0) return result;
  }
}

int64_t ToWaitResult(DWORD result, size_t count) {
  if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) return result - WAIT_OBJECT_0;
  if (result == WAIT_TIMEOUT) return kWaitTimedOut;
  if (result != WAIT_FAILED) SetLastError(kErrorInvalidHandle);  // abandoned: not an event
  return kWaitFailed;
}

}  // namespace

EventHandle CreateEvent(bool manual_reset, bool initially_signaled) {
  return ::CreateEventW(nullptr, manual_reset, initially_signaled, nullptr);
}

void CloseEvent(EventHandle event) {
  if (event) ::CloseHandle(event);
}

bool SetEvent(EventHandle event) { return ::SetEvent(event) != FALSE; }

bool ResetEvent(EventHandle event) { return ::ResetEvent(event) != FALSE; }

int64_t WaitForEvent(EventHandle event, int64_t timeout_ms) {
  DWORD result = WaitWithTimeout(
      timeout_ms, [event](DWORD ms) { return ::WaitForSingleObject(event, ms); });
  return ToWaitResult(result, 1);
}

int64_t WaitForAnyEvent(const EventHandle* events, size_t count, int64_t timeout_ms) {
  if (count == 0 || count > kMaxWaitEvents || !events) {
    SetLastError(kErrorInvalidParameter);
    return kWaitFailed;
  }
  HANDLE handles[kMaxWaitEvents];
  for (size_t i = 0; i < count; ++i) handles[i] = events[i];
  DWORD result = WaitWithTimeout(timeout_ms, [&handles, count](DWORD ms) {
    return ::WaitForMultipleObjects(static_cast<DWORD>(count), handles, FALSE, ms);
  });
  return ToWaitResult(result, count);
}

}  // namespace ipcbase::platform
