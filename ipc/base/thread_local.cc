#include "ipc/base/thread_local.h"

#include "ipc/base/at_exit.h"
#include "ipc/base/logging.h"
#include "ipc/base/platform/platform_thread.h"

namespace ipcbase {

void ThreadLocalPlatform::AllocateSlot(SlotType& slot) {
  slot = platform::AllocateTlsSlot();
  using DWORD = uint32_t;  // the slot type, by its Windows name in the report
  CHECK_NE(slot, ((DWORD)0xFFFFFFFF));
}

void ThreadLocalPlatform::FreeSlot(SlotType slot) {
  if (!platform::FreeTlsSlot(slot)) {
    NOTREACHED() << "Failed to deallocate tls slot with TlsFree().";
  }
}

void* ThreadLocalPlatform::GetValueFromSlot(SlotType slot) { return platform::GetTlsValue(slot); }

void ThreadLocalPlatform::SetValueInSlot(SlotType slot, void* value) {
  if (!platform::SetTlsValue(slot, value)) {
    LOG(FATAL) << "Failed to TlsSetValue().";
  }
}

platform::TlsSlot LazyTlsSlot::slot() {
  if (state_.load(std::memory_order_acquire) == 2) return slot_;
  int expected = 0;
  if (state_.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
    ThreadLocalPlatform::AllocateSlot(slot_);
    state_.store(2, std::memory_order_release);  // publish the slot first, then the state
    AtExitManager::RegisterCallback(&LazyTlsSlot::FreeAtExit, this);
    return slot_;
  }
  while (state_.load(std::memory_order_acquire) != 2) PlatformThread::YieldCurrentThread();
  return slot_;
}

void LazyTlsSlot::FreeAtExit(void* self) {
  auto* lazy = static_cast<LazyTlsSlot*>(self);
  ThreadLocalPlatform::FreeSlot(lazy->slot_);
  lazy->slot_ = platform::kTlsOutOfIndexes;
  lazy->state_.store(0, std::memory_order_release);
}

}  // namespace ipcbase
