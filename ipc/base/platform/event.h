// Kernel event objects: manual- and auto-reset events, waits on one and on
// many (CreateEventW, SetEvent, ResetEvent, WaitForSingleObject,
// WaitForMultipleObjects).
//
// All operations may be called from any thread.
#ifndef IPC_BASE_PLATFORM_EVENT_H_
#define IPC_BASE_PLATFORM_EVENT_H_

#include <cstddef>
#include <cstdint>

namespace ipcbase::platform {

// An opaque event handle; null is no event.
using EventHandle = void*;

// The most events one wait-many call accepts (MAXIMUM_WAIT_OBJECTS).
inline constexpr size_t kMaxWaitEvents = 64;

// Timeout value that waits without limit (INFINITE).
inline constexpr int64_t kWaitForever = -1;

// Result of a wait: the index of the event that ended it (0 for a single
// wait), or one of the two values below.
inline constexpr int64_t kWaitTimedOut = -1;
inline constexpr int64_t kWaitFailed = -2;

// Creates an event. A manual-reset event stays signalled until reset and
// releases every waiter; an auto-reset event releases exactly one waiter and
// resets itself as it does. Returns null (last error set) on failure.
EventHandle CreateEvent(bool manual_reset, bool initially_signaled);

// Destroys the event. No thread may be waiting on it.
void CloseEvent(EventHandle event);

// Signals / resets the event. False (last error set) on a bad handle.
bool SetEvent(EventHandle event);
bool ResetEvent(EventHandle event);

// Waits until the event is signalled (consuming the signal of an auto-reset
// event) or timeout_ms milliseconds have passed (0 only polls,
// kWaitForever never times out). Returns 0, kWaitTimedOut or kWaitFailed.
int64_t WaitForEvent(EventHandle event, int64_t timeout_ms);

// Waits until any of count events is signalled. When several are signalled
// the lowest index wins, and only that event's auto-reset signal is
// consumed. count must be 1..kMaxWaitEvents: anything else fails with
// kErrorInvalidParameter without touching the array beyond kMaxWaitEvents.
// Returns the index, kWaitTimedOut or kWaitFailed.
int64_t WaitForAnyEvent(const EventHandle* events, size_t count, int64_t timeout_ms);

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_EVENT_H_
