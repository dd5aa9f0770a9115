// Raw thread-local slots (TlsAlloc and friends).
#ifndef IPC_BASE_PLATFORM_THREAD_LOCAL_SLOT_H_
#define IPC_BASE_PLATFORM_THREAD_LOCAL_SLOT_H_

#include <cstdint>

namespace ipcbase::platform {

using TlsSlot = uint32_t;
// The value AllocateTlsSlot returns when no slot is left (TLS_OUT_OF_INDEXES).
inline constexpr TlsSlot kTlsOutOfIndexes = 0xFFFFFFFFu;

// A new slot whose value is null on every thread, or kTlsOutOfIndexes.
TlsSlot AllocateTlsSlot();
// Releases a slot; false (last error set) when the slot was not allocated.
bool FreeTlsSlot(TlsSlot slot);
// The calling thread's value of the slot (null until set).
void* GetTlsValue(TlsSlot slot);
// Sets the calling thread's value; false (last error set) on failure.
bool SetTlsValue(TlsSlot slot, void* value);

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_THREAD_LOCAL_SLOT_H_
