#include "ipc/base/platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"
#include "ipc/base/platform/posix_event.h"
#include "ipc/base/platform/posix_wait.h"

#if defined(__SANITIZE_THREAD__)
#define IPCBASE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define IPCBASE_TSAN 1
#endif
#endif
#if defined(IPCBASE_TSAN)
#include <sanitizer/tsan_interface.h>
#include <sys/syscall.h>
#endif

// An event is a non-blocking eventfd. Signalling adds 1 to its counter (a
// second signal changes nothing observable: the counter stays non-zero);
// resetting reads the counter back to 0. A waiter polls for POLLIN. For an
// auto-reset event the waiter then reads the counter: the read is atomic, so
// of several waiters released by one signal exactly one reads it, and the
// others, getting EAGAIN, go back to waiting.
namespace ipcbase::platform {
namespace {

constexpr uint32_t kEventMagic = 0x45564e54;  // "EVNT"

struct PosixEvent {
  uint32_t magic;
  int fd;
  bool manual_reset;
};

PosixEvent* FromHandle(EventHandle handle) {
  auto* event = static_cast<PosixEvent*>(handle);
  if (event == nullptr || event->magic != kEventMagic) {
    SetLastError(kErrorInvalidHandle);
    return nullptr;
  }
  return event;
}

// Reads the counter to 0. True when it was non-zero.
bool DrainCounter(int fd) {
  eventfd_t value;
  for (;;) {
    if (eventfd_read(fd, &value) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool IsReadableNow(int fd) {
  pollfd p{fd, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  return r > 0 && (p.revents & POLLIN) != 0;
}

// The kernel orders a signal before the wait that sees it, but
// ThreadSanitizer does not know that poll() seeing an eventfd readable is
// such an ordering; these tell it: everything before SetEvent happens before
// everything after a wait that the signal ended.
void AnnotateSignal(PosixEvent* event) {
#if defined(IPCBASE_TSAN)
  __tsan_release(event);
#else
  (void)event;
#endif
}

void AnnotateWoken(PosixEvent* event) {
#if defined(IPCBASE_TSAN)
  __tsan_acquire(event);
#else
  (void)event;
#endif
}

// Adds 1 to the counter. Under ThreadSanitizer the write bypasses the
// library wrapper: its interceptor would note an access to the descriptor
// after the signal, which a woken thread that closes the event at once would
// be reported as racing with; the annotation above is the ordering instead.
int WriteCounter(int fd) {
#if defined(IPCBASE_TSAN)
  const eventfd_t one = 1;
  long n = syscall(SYS_write, fd, &one, sizeof(one));
  return n == static_cast<long>(sizeof(one)) ? 0 : -1;
#else
  return eventfd_write(fd, 1);
#endif
}

bool TryAcquire(PosixEvent* event) {
  bool acquired = event->manual_reset ? IsReadableNow(event->fd) : DrainCounter(event->fd);
  if (acquired) AnnotateWoken(event);
  return acquired;
}

}  // namespace

int EventDescriptor(EventHandle handle) {
  PosixEvent* event = FromHandle(handle);
  return event == nullptr ? -1 : event->fd;
}

bool TryAcquireEvent(EventHandle handle) {
  PosixEvent* event = FromHandle(handle);
  return event != nullptr && TryAcquire(event);
}

EventHandle CreateEvent(bool manual_reset, bool initially_signaled) {
  int fd = eventfd(initially_signaled ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    FailWithErrno();
    return nullptr;
  }
  auto* event = new (std::nothrow) PosixEvent{kEventMagic, fd, manual_reset};
  if (event == nullptr) {
    close(fd);
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  return event;
}

void CloseEvent(EventHandle handle) {
  if (handle == nullptr) return;
  PosixEvent* event = FromHandle(handle);
  if (event == nullptr) return;
  event->magic = 0;
  close(event->fd);
  delete event;
}

bool SetEvent(EventHandle handle) {
  PosixEvent* event = FromHandle(handle);
  if (event == nullptr) return false;
  // Once the counter is written a waiter may close the event, so nothing of
  // it is touched after that (and, for the annotation, after the release).
  const int fd = event->fd;
  AnnotateSignal(event);
  for (;;) {
    if (WriteCounter(fd) == 0) return true;
    if (errno == EINTR) continue;
    // EAGAIN: the counter is full, so the event is signalled already.
    if (errno == EAGAIN) return true;
    return FailWithErrno();
  }
}

bool ResetEvent(EventHandle handle) {
  PosixEvent* event = FromHandle(handle);
  if (event == nullptr) return false;
  DrainCounter(event->fd);
  return true;
}

int64_t WaitForEvent(EventHandle event, int64_t timeout_ms) {
  return WaitForAnyEvent(&event, 1, timeout_ms);
}

int64_t WaitForAnyEvent(const EventHandle* events, size_t count, int64_t timeout_ms) {
  if (events == nullptr || count == 0 || count > kMaxWaitEvents || !IsValidTimeout(timeout_ms)) {
    SetLastError(kErrorInvalidParameter);
    return kWaitFailed;
  }
  PosixEvent* resolved[kMaxWaitEvents];
  pollfd fds[kMaxWaitEvents];
  for (size_t i = 0; i < count; ++i) {
    resolved[i] = FromHandle(events[i]);
    if (resolved[i] == nullptr) return kWaitFailed;
    fds[i] = pollfd{resolved[i]->fd, POLLIN, 0};
  }
  const Deadline deadline(timeout_ms);
  for (;;) {
    int r = PollUntil(fds, count, deadline);
    if (r < 0) {
      FailWithErrno();
      return kWaitFailed;
    }
    if (r == 0) return kWaitTimedOut;
    for (size_t i = 0; i < count; ++i) {
      if ((fds[i].revents & POLLNVAL) != 0) {
        SetLastError(kErrorInvalidHandle);
        return kWaitFailed;
      }
      if ((fds[i].revents & POLLIN) == 0) continue;
      // A manual-reset event that poll saw signalled counts even if it has
      // been reset since; an auto-reset event must still be taken.
      if (resolved[i]->manual_reset || DrainCounter(resolved[i]->fd)) {
        AnnotateWoken(resolved[i]);
        return static_cast<int64_t>(i);
      }
    }
    // Every auto-reset signal we saw was taken by another waiter: wait on.
    if (deadline.Expired()) return kWaitTimedOut;
  }
}

}  // namespace ipcbase::platform
