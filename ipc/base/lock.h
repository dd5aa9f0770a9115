// Lock and its scoped holders.
#ifndef IPC_BASE_LOCK_H_
#define IPC_BASE_LOCK_H_

#include "ipc/base/platform/lock.h"

namespace ipcbase {

// A non-recursive mutual-exclusion lock.
class Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire() { lock_.Acquire(); }
  void Release() { lock_.Release(); }
  // Takes the lock if it is free; never blocks.
  bool Try() { return lock_.Try(); }

 private:
  platform::PlatformLock lock_;
};

// Holds a lock for its scope.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() { lock_.Release(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  Lock& lock_;
};

// Releases a held lock for its scope and takes it back at the end.
class AutoUnlock {
 public:
  explicit AutoUnlock(Lock& lock) : lock_(lock) { lock_.Release(); }
  ~AutoUnlock() { lock_.Acquire(); }
  AutoUnlock(const AutoUnlock&) = delete;
  AutoUnlock& operator=(const AutoUnlock&) = delete;

 private:
  Lock& lock_;
};

}  // namespace ipcbase

#endif  // IPC_BASE_LOCK_H_
