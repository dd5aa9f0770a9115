// POSIX only: what the rest of the layer (the wait thread) needs to know
// about an event. An event is an eventfd whose counter is non-zero while the
// event is signalled; it is readable (POLLIN) exactly then.
#ifndef IPC_BASE_PLATFORM_POSIX_EVENT_H_
#define IPC_BASE_PLATFORM_POSIX_EVENT_H_

#include "ipc/base/platform/event.h"

namespace ipcbase::platform {

// The eventfd behind the event, or -1 (last error set) for a bad handle.
int EventDescriptor(EventHandle event);

// Takes the event's signal without waiting: true when the event is
// signalled; an auto-reset event is reset by a successful call, and of
// several threads racing for one signal exactly one gets true.
bool TryAcquireEvent(EventHandle event);

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_POSIX_EVENT_H_
