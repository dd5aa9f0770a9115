#include "ipc/base/platform/async_wait.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ipc/base/logging.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"
#include "ipc/base/platform/posix_event.h"

// One process-wide thread serves every asynchronous wait. It sleeps in a
// single poll() on the eventfds of all waiting registrations plus its own
// control eventfd, which Register and Unregister signal so that it rebuilds
// its set. poll() only says where to look: whether a registration fires is
// decided under the lock, by taking its event's signal, so a registration
// that was unregistered meanwhile, or an auto-reset signal that another
// waiter took first, never fires.
//
// The thread and its state are created on first use and never destroyed:
// the thread may sit in poll() while static destructors run at exit, and
// nothing it touches goes away under it.
namespace ipcbase::platform {
namespace {

struct Registration {
  enum class State { kWaiting, kRunning, kFinished };

  EventHandle event;
  int fd;
  AsyncWaitCallback callback;
  void* param;
  uint64_t id;  // tells a registration from a later one at the same address
  State state = State::kWaiting;
  // Unregistered by its own callback: the wait thread frees it on return.
  bool free_after_callback = false;
};

class WaitThread {
 public:
  static WaitThread& Get() {
    static WaitThread* instance = new WaitThread;  // never destroyed, see above
    return *instance;
  }

  AsyncWaitHandle Register(EventHandle event, AsyncWaitCallback callback, void* param);
  bool Unregister(AsyncWaitHandle handle);

 private:
  WaitThread() = default;

  bool StartLocked();
  void WakeLocked();
  static void* ThreadEntry(void* self);
  void Run();
  // Fires the registration if its event is signalled; called with the lock
  // held, releases it around the callback.
  void MaybeFireLocked(std::unique_lock<std::mutex>& lock, Registration* registration,
                       short revents);
  void RemoveFromWaitingLocked(Registration* registration);

  std::mutex mutex_;
  std::condition_variable callback_returned_;
  bool started_ = false;
  int control_fd_ = -1;
  pthread_t thread_{};
  uint64_t next_id_ = 1;
  // Every registration not yet unregistered (fired or not): the valid handles.
  std::unordered_set<Registration*> live_;
  // The registrations still waiting for their event, in registration order.
  std::vector<Registration*> waiting_;
  // The registration whose callback is running, if any.
  Registration* running_ = nullptr;
};

bool WaitThread::StartLocked() {
  if (started_) return true;
  control_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (control_fd_ < 0) return FailWithErrno();
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  int rc = pthread_create(&thread_, &attr, &WaitThread::ThreadEntry, this);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    close(control_fd_);
    control_fd_ = -1;
    return FailWithErrno(rc);
  }
  started_ = true;
  return true;
}

void WaitThread::WakeLocked() {
  while (eventfd_write(control_fd_, 1) != 0 && errno == EINTR) {
  }
}

void* WaitThread::ThreadEntry(void* self) {
  pthread_setname_np(pthread_self(), "AsyncWait");
  static_cast<WaitThread*>(self)->Run();
  return nullptr;
}

void WaitThread::RemoveFromWaitingLocked(Registration* registration) {
  auto it = std::find(waiting_.begin(), waiting_.end(), registration);
  if (it != waiting_.end()) waiting_.erase(it);
}

void WaitThread::Run() {
  std::vector<pollfd> fds;
  std::vector<std::pair<Registration*, uint64_t>> watched;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fds.assign(1, pollfd{control_fd_, POLLIN, 0});
      watched.clear();
      for (Registration* registration : waiting_) {
        fds.push_back(pollfd{registration->fd, POLLIN, 0});
        watched.emplace_back(registration, registration->id);
      }
    }
    int r = poll(fds.data(), fds.size(), -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      LOG(FATAL) << "async wait thread: poll failed: " << std::strerror(errno);
      return;
    }
    if (fds[0].revents != 0) {
      eventfd_t ignored;
      eventfd_read(control_fd_, &ignored);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto [registration, id] = watched[i - 1];
      // The registration may be gone, or its address reused, since the poll.
      if (live_.count(registration) == 0 || registration->id != id ||
          registration->state != Registration::State::kWaiting) {
        continue;
      }
      MaybeFireLocked(lock, registration, fds[i].revents);
    }
  }
}

void WaitThread::MaybeFireLocked(std::unique_lock<std::mutex>& lock, Registration* registration,
                                 short revents) {
  if ((revents & (POLLNVAL | POLLERR)) != 0) {
    // The event was closed while watched; stop watching rather than spin.
    LOG(ERROR) << "async wait: the watched event was closed before the wait ended";
    registration->state = Registration::State::kFinished;
    RemoveFromWaitingLocked(registration);
    return;
  }
  if (!TryAcquireEvent(registration->event)) return;  // another waiter took it
  registration->state = Registration::State::kRunning;
  RemoveFromWaitingLocked(registration);
  running_ = registration;
  lock.unlock();
  registration->callback(registration->param, /*timed_out=*/false);
  lock.lock();
  running_ = nullptr;
  registration->state = Registration::State::kFinished;
  if (registration->free_after_callback) delete registration;
  callback_returned_.notify_all();
}

AsyncWaitHandle WaitThread::Register(EventHandle event, AsyncWaitCallback callback, void* param) {
  if (event == nullptr || callback == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  int fd = EventDescriptor(event);
  if (fd < 0) return nullptr;  // last error set
  auto* registration = new (std::nothrow) Registration{event, fd, callback, param, 0};
  if (registration == nullptr) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!StartLocked()) {
    delete registration;
    return nullptr;
  }
  registration->id = next_id_++;
  live_.insert(registration);
  waiting_.push_back(registration);
  WakeLocked();
  return registration;
}

bool WaitThread::Unregister(AsyncWaitHandle handle) {
  auto* registration = static_cast<Registration*>(handle);
  std::unique_lock<std::mutex> lock(mutex_);
  if (registration == nullptr || live_.count(registration) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  live_.erase(registration);
  if (registration == running_ && pthread_equal(pthread_self(), thread_)) {
    // From inside its own callback, which cannot be waited for here; it is
    // freed when the callback returns and can never start again.
    registration->free_after_callback = true;
    return true;
  }
  callback_returned_.wait(lock, [registration] {
    return registration->state != Registration::State::kRunning;
  });
  bool was_waiting = registration->state == Registration::State::kWaiting;
  RemoveFromWaitingLocked(registration);
  delete registration;
  if (was_waiting) WakeLocked();  // so the thread stops polling its event
  return true;
}

}  // namespace

AsyncWaitHandle RegisterAsyncWait(EventHandle event, AsyncWaitCallback callback, void* param) {
  return WaitThread::Get().Register(event, callback, param);
}

bool UnregisterAsyncWait(AsyncWaitHandle wait) { return WaitThread::Get().Unregister(wait); }

}  // namespace ipcbase::platform
