#include "ipc/base/platform/async_wait.h"

#include "ipc/base/platform/windows_win.h"

#include <mutex>
#include <unordered_set>

#include "ipc/base/platform/error.h"

namespace ipcbase::platform {
namespace {

// One registration: the thread pool calls back with this record, which turns
// the call into the layer's callback type.
struct Registration {
  HANDLE wait = nullptr;
  AsyncWaitCallback callback = nullptr;
  void* param = nullptr;
};

// The live registrations, so that an unknown handle is refused instead of
// being dereferenced.
class RegistrationSet {
 public:
  static RegistrationSet& Get() {
    static RegistrationSet* set = new RegistrationSet();  // never destroyed
    return *set;
  }
  void Add(Registration* registration) {
    std::lock_guard<std::mutex> hold(lock_);
    live_.insert(registration);
  }
  // True when the registration was live (and now is not).
  bool Remove(Registration* registration) {
    std::lock_guard<std::mutex> hold(lock_);
    return live_.erase(registration) != 0;
  }

 private:
  std::mutex lock_;
  std::unordered_set<Registration*> live_;
};

void CALLBACK OnWaitDone(void* context, BOOLEAN timed_out) {
  auto* registration = static_cast<Registration*>(context);
  registration->callback(registration->param, timed_out != FALSE);
}

}  // namespace

AsyncWaitHandle RegisterAsyncWait(EventHandle event, AsyncWaitCallback callback, void* param) {
  if (!event || !callback) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  auto* registration = new Registration{nullptr, callback, param};
  // Add before the wait exists: the callback may run before this returns.
  RegistrationSet::Get().Add(registration);
  if (!::RegisterWaitForSingleObject(&registration->wait, event, &OnWaitDone, registration,
                                     INFINITE, WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE)) {
    ScopedPreserveLastError keep;
    RegistrationSet::Get().Remove(registration);
    delete registration;
    return nullptr;
  }
  return registration;
}

bool UnregisterAsyncWait(AsyncWaitHandle wait) {
  auto* registration = static_cast<Registration*>(wait);
  if (!registration || !RegistrationSet::Get().Remove(registration)) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  // INVALID_HANDLE_VALUE: returns only after a running callback has ended.
  if (!::UnregisterWaitEx(registration->wait, INVALID_HANDLE_VALUE)) {
    // Still registered: the record must outlive a callback that may come.
    ScopedPreserveLastError keep;
    RegistrationSet::Get().Add(registration);
    return false;
  }
  delete registration;
  return true;
}

}  // namespace ipcbase::platform
