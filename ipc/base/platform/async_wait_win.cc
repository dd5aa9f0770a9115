#include "ipc/base/platform/async_wait.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "ipc/base/logging.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/platform_thread.h"
#include "ipc/base/platform/windows_win.h"

// Asynchronous waits are served by wait threads of the process's own, each
// sleeping in one WaitForMultipleObjects on the events of up to 63 waiting
// registrations plus its wake event, and calling back on itself.
//
// Why not the system thread pool (RegisterWaitForSingleObject with
// WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE, UnregisterWaitEx): when an
// unregistration races a signal, the pool's wait can take an auto-reset
// event's signal and then drop the callback, so the signal is lost (seen
// under Wine in about one race in a hundred). Here the decision is taken
// under the lock after the wait returns: a registration that is still
// waiting fires; a signal taken for one that was unregistered meanwhile is
// given back to its event before UnregisterAsyncWait returns, which waits
// until the thread has let go of the event.
//
// The threads and their state are made on first use and never destroyed:
// a thread may sit in its wait while static destructors run at exit, and
// nothing it touches goes away under it.
namespace ipcbase::platform {
namespace {

// One handle of every wait is the thread's wake event.
constexpr size_t kEventsPerThread = MAXIMUM_WAIT_OBJECTS - 1;

struct WaitGroup;

struct Registration {
  enum class State { kWaiting, kRunning, kFinished };

  EventHandle event;
  AsyncWaitCallback callback;
  void* param;
  WaitGroup* group;
  State state = State::kWaiting;
  // Unregistered by its own callback: the wait thread frees it on return.
  bool free_after_callback = false;
};

// One wait thread and what it waits for.
struct WaitGroup {
  HANDLE wake = nullptr;  // auto-reset: the waiting list has changed
  DWORD thread_id = 0;
  std::vector<Registration*> waiting;  // at most kEventsPerThread, in order
  uint64_t rounds = 0;  // bumped whenever the thread takes up a new list
  Registration* running = nullptr;  // whose callback runs now, if any
};

class AsyncWaits {
 public:
  static AsyncWaits& Get() {
    static AsyncWaits* instance = new AsyncWaits;  // never destroyed, see above
    return *instance;
  }

  AsyncWaitHandle Register(EventHandle event, AsyncWaitCallback callback, void* param);
  bool Unregister(AsyncWaitHandle handle);

 private:
  AsyncWaits() = default;

  WaitGroup* GroupWithRoomLocked();
  static DWORD WINAPI ThreadEntry(void* group);
  void Run(WaitGroup* group);
  void FireLocked(std::unique_lock<std::mutex>& lock, WaitGroup* group,
                  Registration* registration);
  void DropClosedEventsLocked(WaitGroup* group);
  static void RemoveFromWaiting(WaitGroup* group, Registration* registration);

  std::mutex mutex_;
  // A callback has returned, or a thread has taken up a new list.
  std::condition_variable changed_;
  // Every registration not yet unregistered (fired or not): the valid handles.
  std::unordered_set<Registration*> live_;
  std::vector<WaitGroup*> groups_;
};

void AsyncWaits::RemoveFromWaiting(WaitGroup* group, Registration* registration) {
  auto it = std::find(group->waiting.begin(), group->waiting.end(), registration);
  if (it != group->waiting.end()) group->waiting.erase(it);
}

WaitGroup* AsyncWaits::GroupWithRoomLocked() {
  for (WaitGroup* group : groups_) {
    if (group->waiting.size() < kEventsPerThread) return group;
  }
  auto* group = new (std::nothrow) WaitGroup;
  if (group == nullptr) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  group->wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (group->wake == nullptr) {
    delete group;
    return nullptr;
  }
  HANDLE thread = ::CreateThread(nullptr, 0, &AsyncWaits::ThreadEntry, group, 0,
                                 &group->thread_id);
  if (thread == nullptr) {
    ScopedPreserveLastError keep;
    ::CloseHandle(group->wake);
    delete group;
    return nullptr;
  }
  ::CloseHandle(thread);  // never joined: it serves until the process ends
  groups_.push_back(group);
  return group;
}

DWORD WINAPI AsyncWaits::ThreadEntry(void* group) {
  PlatformThread::SetName("AsyncWait");
  Get().Run(static_cast<WaitGroup*>(group));
  return 0;
}

void AsyncWaits::Run(WaitGroup* group) {
  std::vector<HANDLE> handles;
  std::vector<Registration*> watched;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    handles.assign(1, group->wake);
    watched.clear();
    for (Registration* registration : group->waiting) {
      handles.push_back(registration->event);
      watched.push_back(registration);
    }
    ++group->rounds;
    changed_.notify_all();
    lock.unlock();
    DWORD result =
        ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    lock.lock();
    if (result == WAIT_OBJECT_0) continue;  // the list has changed
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size()) {
      // Still allocated: Unregister frees a waiting registration only after
      // this thread has taken up a list without it.
      Registration* registration = watched[result - WAIT_OBJECT_0 - 1];
      if (registration->state == Registration::State::kWaiting) {
        FireLocked(lock, group, registration);
      } else {
        // Unregistered while the wait took its event's signal: give it back.
        ::SetEvent(registration->event);
      }
      continue;
    }
    DropClosedEventsLocked(group);
  }
}

void AsyncWaits::FireLocked(std::unique_lock<std::mutex>& lock, WaitGroup* group,
                            Registration* registration) {
  registration->state = Registration::State::kRunning;
  RemoveFromWaiting(group, registration);
  group->running = registration;
  changed_.notify_all();  // the thread is out of its wait now
  lock.unlock();
  registration->callback(registration->param, /*timed_out=*/false);
  lock.lock();
  group->running = nullptr;
  registration->state = Registration::State::kFinished;
  if (registration->free_after_callback) delete registration;
  changed_.notify_all();
}

void AsyncWaits::DropClosedEventsLocked(WaitGroup* group) {
  // The wait failed: an event was closed while watched. Stop watching it
  // rather than spin. (GetHandleInformation tests a handle without taking a
  // signal.)
  bool dropped = false;
  for (Registration* registration : std::vector<Registration*>(group->waiting)) {
    DWORD flags;
    if (::GetHandleInformation(registration->event, &flags)) continue;
    LOG(ERROR) << "async wait: the watched event was closed before the wait ended";
    registration->state = Registration::State::kFinished;
    RemoveFromWaiting(group, registration);
    dropped = true;
  }
  if (!dropped) {
    LOG(ERROR) << "async wait: WaitForMultipleObjects failed: " << ::GetLastError();
    ::Sleep(10);  // never seen; do not spin on it
  }
}

AsyncWaitHandle AsyncWaits::Register(EventHandle event, AsyncWaitCallback callback,
                                     void* param) {
  DWORD flags;
  if (event == nullptr || callback == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  if (!::GetHandleInformation(event, &flags)) return nullptr;  // not a handle
  std::lock_guard<std::mutex> lock(mutex_);
  WaitGroup* group = GroupWithRoomLocked();
  if (group == nullptr) return nullptr;
  auto* registration = new (std::nothrow) Registration{event, callback, param, group};
  if (registration == nullptr) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  live_.insert(registration);
  group->waiting.push_back(registration);
  ::SetEvent(group->wake);
  return registration;
}

bool AsyncWaits::Unregister(AsyncWaitHandle handle) {
  auto* registration = static_cast<Registration*>(handle);
  std::unique_lock<std::mutex> lock(mutex_);
  if (registration == nullptr || live_.count(registration) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  live_.erase(registration);
  WaitGroup* group = registration->group;
  if (registration == group->running && ::GetCurrentThreadId() == group->thread_id) {
    // From inside its own callback, which cannot be waited for here; it is
    // freed when the callback returns and can never start again.
    registration->free_after_callback = true;
    return true;
  }
  changed_.wait(lock, [registration] {
    return registration->state != Registration::State::kRunning;
  });
  if (registration->state == Registration::State::kWaiting) {
    registration->state = Registration::State::kFinished;
    RemoveFromWaiting(group, registration);
    ::SetEvent(group->wake);
    // Until the thread has let go of the event, so that a signal its wait
    // takes meanwhile is given back first: it has taken up a new list, or
    // it is running a callback (its wait then returned for another event,
    // and it takes up the new list before it waits again). This also never
    // waits for a callback, which may itself be unregistering.
    const uint64_t seen = group->rounds;
    changed_.wait(lock, [group, seen] {
      return group->rounds != seen || group->running != nullptr;
    });
  }
  delete registration;
  return true;
}

}  // namespace

AsyncWaitHandle RegisterAsyncWait(EventHandle event, AsyncWaitCallback callback, void* param) {
  return AsyncWaits::Get().Register(event, callback, param);
}

bool UnregisterAsyncWait(AsyncWaitHandle wait) { return AsyncWaits::Get().Unregister(wait); }

}  // namespace ipcbase::platform
