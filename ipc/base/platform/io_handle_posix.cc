#include "ipc/base/platform/io_handle.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_completion_port.h"
#include "ipc/base/platform/posix_error.h"
#include "ipc/base/platform/posix_wait.h"

// Handles are stream sockets (socketpairs and Unix-domain connections).
// Sends use MSG_NOSIGNAL, so a closed peer is an EPIPE error, never SIGPIPE.
namespace ipcbase::platform {
namespace {

bool ToDescriptor(IoHandle handle, int* fd) {
  if (handle < 0 || handle > INT_MAX) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  *fd = static_cast<int>(handle);
  return true;
}

}  // namespace

bool CloseIoHandle(IoHandle handle) {
  int fd;
  if (!ToDescriptor(handle, &fd)) return false;
  // Leave the port first: once the number is closed it may be reused.
  DetachFromCompletionPort(fd);
  if (close(fd) != 0 && errno != EINTR) return FailWithErrno();  // Linux closes on EINTR
  return true;
}

bool CreateStreamPair(IoHandle* first, IoHandle* second) {
  if (first == nullptr || second == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return FailWithErrno();
  *first = fds[0];
  *second = fds[1];
  return true;
}

int64_t ReadSome(IoHandle handle, void* buffer, uint32_t size, int64_t timeout_ms) {
  int fd;
  if (!ToDescriptor(handle, &fd)) return -1;
  if (buffer == nullptr || size == 0 || !IsValidTimeout(timeout_ms)) {
    SetLastError(kErrorInvalidParameter);
    return -1;
  }
  const Deadline deadline(timeout_ms);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int r = PollUntil(&p, 1, deadline);
    if (r < 0) {
      FailWithErrno();
      return -1;
    }
    if (r == 0) {
      SetLastError(kErrorTimeout);
      return -1;
    }
    if ((p.revents & POLLNVAL) != 0) {
      SetLastError(kErrorInvalidHandle);
      return -1;
    }
    // Without waiting: if someone else took the bytes, poll again.
    ssize_t n;
    do {
      n = recv(fd, buffer, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return n;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      FailWithErrno();
      return -1;
    }
  }
}

bool WriteAll(IoHandle handle, const void* buffer, size_t size) {
  int fd;
  if (!ToDescriptor(handle, &fd)) return false;
  if (buffer == nullptr && size != 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t n = send(fd, bytes + done, size - done, MSG_NOSIGNAL);
    if (n >= 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A non-blocking socket: wait for room, then go on.
      pollfd p{fd, POLLOUT, 0};
      if (PollUntil(&p, 1, Deadline(-1)) < 0) return FailWithErrno();
      continue;
    }
    return FailWithErrno();
  }
  return true;
}

}  // namespace ipcbase::platform
