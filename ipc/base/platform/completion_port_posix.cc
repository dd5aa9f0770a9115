#include "ipc/base/platform/completion_port.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <mutex>
#include <new>
#include <unordered_map>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_completion_port.h"
#include "ipc/base/platform/posix_error.h"
#include "ipc/base/platform/posix_wait.h"

// The port is an epoll set plus an eventfd that wakes its waiter, and a
// queue of finished operations. Read and Write try their system call at
// once; what cannot finish is kept pending and finished by the thread in
// GetCompletion when epoll reports the socket ready. Every finished,
// failed-after-start or cancelled operation becomes one queued Completion;
// GetCompletion hands them out one by one. Nothing calls back.
//
// Sockets are watched edge-triggered for input (so a peer's hang-up or data
// nobody reads yet never makes the waiter spin) and for output only while a
// write waits for room. An edge is only a hint: every attempt is a
// non-blocking call that may say EAGAIN, so a stale event never does harm.
//
// One mutex guards a port's state, and the IO itself runs under it, so that
// CancelIo or CloseIoHandle from another thread can never race with a read
// or write into the caller's buffer, and each operation completes once.
namespace ipcbase::platform {
namespace {

// How many epoll events one wait collects.
constexpr int kMaxEventsPerWait = 32;

struct PendingOp {
  bool active = false;
  Overlapped* overlapped = nullptr;
  unsigned char* buffer = nullptr;  // the read target or the write source
  uint32_t size = 0;
  uint32_t done = 0;  // bytes written so far (writes)
};

struct HandleState {
  uintptr_t key = 0;
  PendingOp read;
  PendingOp write;
  bool watching_output = false;
};

class EpollCompletionPort;

// Which port each associated descriptor belongs to, for CloseIoHandle.
// Lock order: the registry's mutex before any port's mutex. Never destroyed,
// so that a descriptor closed during static destruction still finds it.
struct PortRegistry {
  std::mutex mutex;
  std::unordered_map<int, EpollCompletionPort*> ports;
};

PortRegistry& Registry() {
  static PortRegistry* registry = new PortRegistry;
  return *registry;
}

bool ToDescriptor(IoHandle handle, int* fd) {
  if (handle < 0 || handle > INT_MAX) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  *fd = static_cast<int>(handle);
  return true;
}

class EpollCompletionPort final : public CompletionPort {
 public:
  EpollCompletionPort(int epoll_fd, int wake_fd) : epoll_fd_(epoll_fd), wake_fd_(wake_fd) {}
  ~EpollCompletionPort() override;

  bool Associate(IoHandle handle, uintptr_t key) override;
  bool Read(IoHandle handle, void* buffer, uint32_t size, Overlapped* overlapped) override;
  bool Write(IoHandle handle, const void* buffer, uint32_t size,
             Overlapped* overlapped) override;
  bool CancelIo(IoHandle handle) override;
  bool Post(uint32_t bytes, uintptr_t key, Overlapped* overlapped) override;
  bool GetCompletion(int64_t timeout_ms, Completion* completion) override;

  // CloseIoHandle's part; the caller holds the registry's mutex.
  void Detach(int fd);

 private:
  HandleState* FindLocked(int fd);
  void QueueLocked(const Completion& completion);
  void CompleteLocked(const HandleState& state, PendingOp& op, uint32_t bytes, uint32_t error);
  void AbortAllLocked(int fd, HandleState& state);
  // Advance a pending operation as far as the socket allows.
  void ContinueReadLocked(int fd, HandleState& state);
  void ContinueWriteLocked(int fd, HandleState& state);
  void WatchOutputLocked(int fd, HandleState& state, bool watch);
  void ServiceEventsLocked(const epoll_event* events, int count);
  bool PopLocked(Completion* completion);
  bool AnyOperationPendingLocked() const;

  const int epoll_fd_;
  const int wake_fd_;
  std::mutex mutex_;
  std::unordered_map<int, HandleState> handles_;
  std::deque<Completion> queue_;
  int waiters_ = 0;           // threads inside epoll_wait
  bool wake_pending_ = false;  // wake_fd_ signalled and not yet drained
};

EpollCompletionPort::~EpollCompletionPort() {
  {
    PortRegistry& registry = Registry();
    std::lock_guard<std::mutex> registry_lock(registry.mutex);
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [fd, state] : handles_) {
      epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
      registry.ports.erase(fd);
    }
    handles_.clear();
  }
  close(wake_fd_);
  close(epoll_fd_);
}

HandleState* EpollCompletionPort::FindLocked(int fd) {
  auto it = handles_.find(fd);
  if (it == handles_.end()) {
    SetLastError(kErrorInvalidHandle);
    return nullptr;
  }
  return &it->second;
}

void EpollCompletionPort::QueueLocked(const Completion& completion) {
  queue_.push_back(completion);
  if (waiters_ > 0 && !wake_pending_) {
    while (eventfd_write(wake_fd_, 1) != 0 && errno == EINTR) {
    }
    wake_pending_ = true;
  }
}

void EpollCompletionPort::CompleteLocked(const HandleState& state, PendingOp& op, uint32_t bytes,
                                         uint32_t error) {
  Overlapped* overlapped = op.overlapped;
  op = PendingOp{};
  QueueLocked(Completion{state.key, overlapped, bytes, error});
}

void EpollCompletionPort::AbortAllLocked(int fd, HandleState& state) {
  if (state.read.active) CompleteLocked(state, state.read, 0, kErrorOperationAborted);
  if (state.write.active) {
    CompleteLocked(state, state.write, state.write.done, kErrorOperationAborted);
  }
  WatchOutputLocked(fd, state, false);
}

void EpollCompletionPort::WatchOutputLocked(int fd, HandleState& state, bool watch) {
  if (state.watching_output == watch) return;
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET | (watch ? EPOLLOUT : 0u);
  event.data.fd = fd;
  // Re-arming reports the socket at once if it is ready already, so no
  // readiness between the failed send and this call is missed.
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, fd, &event) == 0) state.watching_output = watch;
}

void EpollCompletionPort::ContinueReadLocked(int fd, HandleState& state) {
  PendingOp& op = state.read;
  if (!op.active) return;
  for (;;) {
    ssize_t n = recv(fd, op.buffer, op.size, MSG_DONTWAIT);
    if (n > 0) return CompleteLocked(state, op, static_cast<uint32_t>(n), kErrorSuccess);
    if (n == 0) return CompleteLocked(state, op, 0, kErrorBrokenPipe);  // peer closed
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;  // stays pending
    return CompleteLocked(state, op, 0, ErrorFromErrno(errno));
  }
}

void EpollCompletionPort::ContinueWriteLocked(int fd, HandleState& state) {
  PendingOp& op = state.write;
  if (!op.active) return;
  while (op.done < op.size) {
    ssize_t n = send(fd, op.buffer + op.done, op.size - op.done, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
      op.done += static_cast<uint32_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WatchOutputLocked(fd, state, true);
      return;
    }
    uint32_t error = ErrorFromErrno(errno);
    WatchOutputLocked(fd, state, false);
    return CompleteLocked(state, op, op.done, error);
  }
  WatchOutputLocked(fd, state, false);
  CompleteLocked(state, op, op.size, kErrorSuccess);
}

bool EpollCompletionPort::Associate(IoHandle handle, uintptr_t key) {
  int fd;
  if (!ToDescriptor(handle, &fd)) return false;
  int type = 0;
  socklen_t type_size = sizeof(type);
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_size) != 0) {
    SetLastError(kErrorInvalidHandle);  // closed, or not a socket
    return false;
  }
  if (type != SOCK_STREAM) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  PortRegistry& registry = Registry();
  std::lock_guard<std::mutex> registry_lock(registry.mutex);
  if (registry.ports.count(fd) != 0) {
    SetLastError(kErrorInvalidParameter);  // a handle joins one port, once
    return false;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailWithErrno();
  std::lock_guard<std::mutex> lock(mutex_);
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  event.data.fd = fd;
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event) != 0) return FailWithErrno();
  handles_[fd] = HandleState{key};
  registry.ports[fd] = this;
  return true;
}

bool EpollCompletionPort::Read(IoHandle handle, void* buffer, uint32_t size,
                               Overlapped* overlapped) {
  int fd;
  if (!ToDescriptor(handle, &fd)) return false;
  if (buffer == nullptr || size == 0 || overlapped == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  HandleState* state = FindLocked(fd);
  if (state == nullptr) return false;
  if (state->read.active) {
    SetLastError(kErrorInvalidParameter);  // one read at a time
    return false;
  }
  for (;;) {
    ssize_t n = recv(fd, buffer, size, MSG_DONTWAIT);
    if (n > 0) {
      QueueLocked(Completion{state->key, overlapped, static_cast<uint32_t>(n), kErrorSuccess});
      return true;
    }
    if (n == 0) {
      QueueLocked(Completion{state->key, overlapped, 0, kErrorBrokenPipe});
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    return FailWithErrno();
  }
  state->read = PendingOp{true, overlapped, static_cast<unsigned char*>(buffer), size, 0};
  return true;
}

bool EpollCompletionPort::Write(IoHandle handle, const void* buffer, uint32_t size,
                                Overlapped* overlapped) {
  int fd;
  if (!ToDescriptor(handle, &fd)) return false;
  if (buffer == nullptr || size == 0 || overlapped == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  HandleState* state = FindLocked(fd);
  if (state == nullptr) return false;
  if (state->write.active) {
    SetLastError(kErrorInvalidParameter);  // one write at a time
    return false;
  }
  // The first attempt happens here; a failure before any byte went out is a
  // failed start (no completion), like a WriteFile that fails at once.
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  ssize_t n;
  do {
    n = send(fd, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return FailWithErrno();
  state->write = PendingOp{true, overlapped, const_cast<unsigned char*>(bytes), size,
                           n > 0 ? static_cast<uint32_t>(n) : 0u};
  ContinueWriteLocked(fd, *state);
  return true;
}

bool EpollCompletionPort::CancelIo(IoHandle handle) {
  int fd;
  if (!ToDescriptor(handle, &fd)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  HandleState* state = FindLocked(fd);
  if (state == nullptr) return false;
  AbortAllLocked(fd, *state);
  return true;
}

void EpollCompletionPort::Detach(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = handles_.find(fd);
  if (it == handles_.end()) return;
  AbortAllLocked(fd, it->second);
  epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
  handles_.erase(it);
}

bool EpollCompletionPort::Post(uint32_t bytes, uintptr_t key, Overlapped* overlapped) {
  std::lock_guard<std::mutex> lock(mutex_);
  QueueLocked(Completion{key, overlapped, bytes, kErrorSuccess});
  return true;
}

void EpollCompletionPort::ServiceEventsLocked(const epoll_event* events, int count) {
  for (int i = 0; i < count; ++i) {
    int fd = events[i].data.fd;
    if (fd == wake_fd_) {
      eventfd_t ignored;
      eventfd_read(wake_fd_, &ignored);
      wake_pending_ = false;
      continue;
    }
    auto it = handles_.find(fd);
    if (it == handles_.end()) continue;  // detached since the wait returned
    ContinueReadLocked(fd, it->second);
    ContinueWriteLocked(fd, it->second);
  }
}

bool EpollCompletionPort::PopLocked(Completion* completion) {
  if (queue_.empty()) return false;
  *completion = queue_.front();
  queue_.pop_front();
  return true;
}

bool EpollCompletionPort::AnyOperationPendingLocked() const {
  for (const auto& [fd, state] : handles_) {
    if (state.read.active || state.write.active) return true;
  }
  return false;
}

bool EpollCompletionPort::GetCompletion(int64_t timeout_ms, Completion* completion) {
  if (completion == nullptr || !IsValidTimeout(timeout_ms)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const Deadline deadline(timeout_ms);
  epoll_event events[kMaxEventsPerWait];
  for (;;) {
    // Sockets that became ready are serviced before anything queued is
    // handed out, also when packets are waiting: completions then come out in
    // about the order they happened, as from a kernel port, and a steady
    // stream of posted packets can never starve the IO behind them.
    // When no read or write is outstanding, epoll has nothing to report, and
    // a poll (timeout 0) is answered without a system call: the task loop
    // polls once per task, and that call dominated the cost of a task.
    bool have_queued;
    int timeout = deadline.NextPollTimeoutMs();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      have_queued = !queue_.empty();
      bool io_possible = AnyOperationPendingLocked();
      if (have_queued && !io_possible) return PopLocked(completion);
      if (!have_queued && !io_possible && timeout == 0) {
        SetLastError(kErrorTimeout);
        return false;
      }
      if (!have_queued) ++waiters_;
    }
    if (have_queued) timeout = 0;
    int n = epoll_wait(epoll_fd_, events, kMaxEventsPerWait, timeout);
    int wait_errno = errno;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!have_queued) --waiters_;
      if (n > 0) ServiceEventsLocked(events, n);
      if (PopLocked(completion)) return true;
    }
    if (n < 0 && wait_errno != EINTR) return FailWithErrno(wait_errno);
    // Only the caller's deadline ends the wait: a zero-time wait made because
    // packets were queued (and taken by another waiter meanwhile) does not.
    if (deadline.Expired()) {
      SetLastError(kErrorTimeout);
      return false;
    }
  }
}

}  // namespace

std::unique_ptr<CompletionPort> CompletionPort::Create() {
  int epoll_fd = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_fd < 0) {
    FailWithErrno();
    return nullptr;
  }
  int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) {
    FailWithErrno();
    close(epoll_fd);
    return nullptr;
  }
  epoll_event event{};
  event.events = EPOLLIN;  // level-triggered: readable until drained
  event.data.fd = wake_fd;
  if (epoll_ctl(epoll_fd, EPOLL_CTL_ADD, wake_fd, &event) != 0) {
    FailWithErrno();
    close(wake_fd);
    close(epoll_fd);
    return nullptr;
  }
  auto port = std::unique_ptr<CompletionPort>(new (std::nothrow)
                                                  EpollCompletionPort(epoll_fd, wake_fd));
  if (port == nullptr) {
    close(wake_fd);
    close(epoll_fd);
    SetLastError(kErrorNotEnoughMemory);
  }
  return port;
}

void DetachFromCompletionPort(int fd) {
  PortRegistry& registry = Registry();
  std::lock_guard<std::mutex> registry_lock(registry.mutex);
  auto it = registry.ports.find(fd);
  if (it == registry.ports.end()) return;
  it->second->Detach(fd);
  registry.ports.erase(it);
}

}  // namespace ipcbase::platform
