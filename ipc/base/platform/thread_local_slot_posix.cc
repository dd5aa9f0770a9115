#include "ipc/base/platform/thread_local_slot.h"

#include <limits.h>
#include <pthread.h>

#include <cerrno>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"

// Slots are the pthread key values themselves. They are small integers below
// PTHREAD_KEYS_MAX, so no key collides with kTlsOutOfIndexes, and a new key
// reads null on every thread, as a new Windows slot does.
namespace ipcbase::platform {
namespace {

static_assert(sizeof(pthread_key_t) <= sizeof(TlsSlot), "a key must fit a slot");

bool IsPossibleKey(TlsSlot slot) { return slot < PTHREAD_KEYS_MAX; }

}  // namespace

TlsSlot AllocateTlsSlot() {
  pthread_key_t key;
  int rc = pthread_key_create(&key, nullptr);
  if (rc != 0) {
    // EAGAIN is the system's "no key left".
    FailWithErrno(rc);
    return kTlsOutOfIndexes;
  }
  if (!IsPossibleKey(key)) {  // never seen; keep the promise of the header
    pthread_key_delete(key);
    SetLastError(kErrorNotEnoughMemory);
    return kTlsOutOfIndexes;
  }
  return static_cast<TlsSlot>(key);
}

bool FreeTlsSlot(TlsSlot slot) {
  if (!IsPossibleKey(slot)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  int rc = pthread_key_delete(static_cast<pthread_key_t>(slot));
  if (rc != 0) return FailWithErrno(rc);  // EINVAL: not allocated
  return true;
}

void* GetTlsValue(TlsSlot slot) {
  if (!IsPossibleKey(slot)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  // Like TlsGetValue: success clears the last error, so that a null value
  // can be told from a failure.
  SetLastError(kErrorSuccess);
  return pthread_getspecific(static_cast<pthread_key_t>(slot));
}

bool SetTlsValue(TlsSlot slot, void* value) {
  if (!IsPossibleKey(slot)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  int rc = pthread_setspecific(static_cast<pthread_key_t>(slot), value);
  if (rc != 0) return FailWithErrno(rc);
  return true;
}

}  // namespace ipcbase::platform
