// Thread-local slots.
//
// ThreadLocalPlatform is the raw slot API with the runtime's failure
// reports; ThreadLocalPointer<T> is one slot holding a T* per thread;
// LazyThreadLocalPointer<T> is a process-wide slot created on first use by
// whichever thread gets there first (the slot behind MessageLoop::current()).
#ifndef IPC_BASE_THREAD_LOCAL_H_
#define IPC_BASE_THREAD_LOCAL_H_

#include <atomic>
#include <cstdint>

#include "ipc/base/platform/thread_local_slot.h"

namespace ipcbase {

struct ThreadLocalPlatform {
  using SlotType = platform::TlsSlot;

  // A new slot; running out of slots is a fatal check.
  static void AllocateSlot(SlotType& slot);
  static void FreeSlot(SlotType slot);
  static void* GetValueFromSlot(SlotType slot);
  // A failure logs the fatal message "Failed to TlsSetValue().".
  static void SetValueInSlot(SlotType slot, void* value);
};

template <typename T>
class ThreadLocalPointer {
 public:
  ThreadLocalPointer() { ThreadLocalPlatform::AllocateSlot(slot_); }
  ~ThreadLocalPointer() { ThreadLocalPlatform::FreeSlot(slot_); }
  ThreadLocalPointer(const ThreadLocalPointer&) = delete;
  ThreadLocalPointer& operator=(const ThreadLocalPointer&) = delete;

  T* Get() const { return static_cast<T*>(ThreadLocalPlatform::GetValueFromSlot(slot_)); }
  void Set(T* value) { ThreadLocalPlatform::SetValueInSlot(slot_, value); }

 private:
  ThreadLocalPlatform::SlotType slot_ = platform::kTlsOutOfIndexes;
};

// A slot made on first use. The state word goes 0 (none) → 1 (being made by
// the thread that won the compare-and-swap) → 2 (made); threads that lose
// the race yield until the winner has published the slot. The slot is
// released by the at-exit manager.
class LazyTlsSlot {
 public:
  constexpr LazyTlsSlot() = default;
  LazyTlsSlot(const LazyTlsSlot&) = delete;
  LazyTlsSlot& operator=(const LazyTlsSlot&) = delete;

  void* Get() { return ThreadLocalPlatform::GetValueFromSlot(slot()); }
  void Set(void* value) { ThreadLocalPlatform::SetValueInSlot(slot(), value); }

  // The slot, made now if it does not exist yet.
  platform::TlsSlot slot();

 private:
  static void FreeAtExit(void* self);

  std::atomic<int> state_{0};
  platform::TlsSlot slot_ = platform::kTlsOutOfIndexes;
};

}  // namespace ipcbase

#endif  // IPC_BASE_THREAD_LOCAL_H_
