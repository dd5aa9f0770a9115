#include "ipc/base/platform/thread_local_slot.h"

#include "ipc/base/platform/windows_win.h"

namespace ipcbase::platform {

static_assert(kTlsOutOfIndexes == TLS_OUT_OF_INDEXES);

TlsSlot AllocateTlsSlot() { return ::TlsAlloc(); }

bool FreeTlsSlot(TlsSlot slot) { return ::TlsFree(slot) != FALSE; }

// TlsGetValue clears the last error on success, so that a null value can be
// told from a failure.
void* GetTlsValue(TlsSlot slot) { return ::TlsGetValue(slot); }

bool SetTlsValue(TlsSlot slot, void* value) { return ::TlsSetValue(slot, value) != FALSE; }

}  // namespace ipcbase::platform
