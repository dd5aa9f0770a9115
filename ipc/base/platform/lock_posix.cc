#include "ipc/base/platform/lock.h"

#include <mutex>
#include <new>

namespace ipcbase::platform {
namespace {

std::mutex* AsMutex(unsigned char* storage) {
  return std::launder(reinterpret_cast<std::mutex*>(storage));
}

}  // namespace

PlatformLock::PlatformLock() {
  static_assert(sizeof(std::mutex) <= sizeof(storage_), "storage_ too small for std::mutex");
  static_assert(alignof(std::mutex) <= 16, "storage_ under-aligned for std::mutex");
  new (storage_) std::mutex();
}

PlatformLock::~PlatformLock() { AsMutex(storage_)->~mutex(); }

void PlatformLock::Acquire() { AsMutex(storage_)->lock(); }

void PlatformLock::Release() { AsMutex(storage_)->unlock(); }

bool PlatformLock::Try() { return AsMutex(storage_)->try_lock(); }

}  // namespace ipcbase::platform
