// One-shot asynchronous waits on an event, delivered on a thread-pool thread
// (RegisterWaitForSingleObject with WT_EXECUTEINWAITTHREAD |
// WT_EXECUTEONLYONCE, and UnregisterWaitEx with a blocking completion).
#ifndef IPC_BASE_PLATFORM_ASYNC_WAIT_H_
#define IPC_BASE_PLATFORM_ASYNC_WAIT_H_

#include "ipc/base/platform/event.h"

namespace ipcbase::platform {

// Called once, on the process's wait thread, when the watched event has been
// signalled (an auto-reset signal is consumed by the wait). timed_out is
// always false: waits have no timeout. The callback must be short: it runs on
// the thread that serves every wait of the process.
using AsyncWaitCallback = void (*)(void* param, bool timed_out);

// An opaque registration; null is none.
using AsyncWaitHandle = void*;

// Starts watching event. Returns null (last error set) on failure. The event
// must stay open until the registration has been ended by
// UnregisterAsyncWait.
AsyncWaitHandle RegisterAsyncWait(EventHandle event, AsyncWaitCallback callback,
                                  void* param);

// Ends a registration, whether or not its callback has run. Blocks until a
// callback that is running has returned; once it returns, the callback
// never starts. Must not be called from inside the callback. False (last
// error set) when the handle is not a registration.
bool UnregisterAsyncWait(AsyncWaitHandle wait);

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_ASYNC_WAIT_H_
