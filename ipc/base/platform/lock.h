// A non-recursive mutual-exclusion lock (a critical section with spin count
// 2000 on Windows).
#ifndef IPC_BASE_PLATFORM_LOCK_H_
#define IPC_BASE_PLATFORM_LOCK_H_

#include <cstddef>

namespace ipcbase::platform {

class PlatformLock {
 public:
  PlatformLock();
  ~PlatformLock();
  PlatformLock(const PlatformLock&) = delete;
  PlatformLock& operator=(const PlatformLock&) = delete;

  void Acquire();
  void Release();
  // Takes the lock when it is free; never blocks.
  bool Try();

 private:
  // Storage for the native lock object (CRITICAL_SECTION is 40 bytes on x64).
  alignas(16) unsigned char storage_[64];
};

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_LOCK_H_
