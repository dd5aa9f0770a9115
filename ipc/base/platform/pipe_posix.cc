#include "ipc/base/platform/pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"
#include "ipc/base/platform/posix_wait.h"
#include "ipc/base/utf_string_conversions.h"

// A named pipe is a Unix-domain stream socket whose path PipePathForName
// gives. The server binds and listens on it; a client connects.
//
// Where Windows and this stand-in differ: a Windows pipe instance takes one
// client and then answers ERROR_PIPE_BUSY. Here the listening socket stays
// open for the server's lifetime, so a client that connects while the
// server is not accepting is queued by the kernel (up to the backlog) and
// gets kErrorPipeBusy only when that queue is full; connects never wait.
namespace ipcbase::platform {
namespace {

constexpr std::u16string_view kPipePrefix = u"\\\\.\\pipe\\";

// The directory pipe sockets live in.
std::string RuntimeDirectory() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  // Only an absolute path can be meant; anything else is ignored.
  if (dir != nullptr && dir[0] == '/') return dir;
  return "/tmp";
}

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address->sun_path)) return false;
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

// A connected client socket in blocking mode, or -1 with errno set. The
// connect itself does not block: a full accept queue is EAGAIN.
int ConnectSocket(const sockaddr_un& address) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int r;
  do {
    r = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  } while (r != 0 && errno == EINTR);
  int flags = r == 0 ? fcntl(fd, F_GETFL) : -1;
  if (r != 0 || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

class UnixSocketPipeServer final : public PipeServer {
 public:
  UnixSocketPipeServer(int fd, std::string path, dev_t device, ino_t inode)
      : fd_(fd), path_(std::move(path)), device_(device), inode_(inode) {}

  ~UnixSocketPipeServer() override {
    // Remove the name only while it is still ours.
    struct stat st;
    if (lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_) {
      unlink(path_.c_str());
    }
    close(fd_);
  }

  IoHandle Accept(int64_t timeout_ms) override {
    if (!IsValidTimeout(timeout_ms)) {
      SetLastError(kErrorInvalidParameter);
      return kInvalidIoHandle;
    }
    const Deadline deadline(timeout_ms);
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      int r = PollUntil(&p, 1, deadline);
      if (r < 0) {
        FailWithErrno();
        return kInvalidIoHandle;
      }
      if (r == 0) {
        SetLastError(kErrorTimeout);
        return kInvalidIoHandle;
      }
      // The listening socket is non-blocking; accept4 without SOCK_NONBLOCK
      // gives a blocking stream.
      int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) return client;
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED) {
        continue;  // the client went away before we took it
      }
      FailWithErrno();
      return kInvalidIoHandle;
    }
  }

 private:
  const int fd_;
  const std::string path_;
  const dev_t device_;
  const ino_t inode_;
};

// Binds fd to address; on EADDRINUSE removes a stale socket file that no
// live server answers on and tries once more.
bool BindReplacingStale(int fd, const sockaddr_un& address, const std::string& path) {
  const auto* raw = reinterpret_cast<const sockaddr*>(&address);
  if (bind(fd, raw, sizeof(address)) == 0) return true;
  if (errno != EADDRINUSE) return FailWithErrno();
  int probe = ConnectSocket(address);
  if (probe >= 0 || errno == EAGAIN) {
    if (probe >= 0) close(probe);
    SetLastError(kErrorAlreadyExists);  // a server is alive under that name
    return false;
  }
  if (errno != ECONNREFUSED) return FailWithErrno(EADDRINUSE);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) {
    return FailWithErrno(EADDRINUSE);  // never remove anything but a socket
  }
  unlink(path.c_str());
  if (bind(fd, raw, sizeof(address)) != 0) return FailWithErrno();
  return true;
}

}  // namespace

std::string PipePathForName(const std::u16string& pipe_name) {
  std::u16string_view name(pipe_name);
  if (name.size() <= kPipePrefix.size() || name.substr(0, kPipePrefix.size()) != kPipePrefix) {
    return {};
  }
  std::u16string_view rest = name.substr(kPipePrefix.size());
  if (rest == u"." || rest == u"..") return {};
  for (char16_t c : rest) {
    if (c == u'/' || c == u'\0') return {};
  }
  std::string path = RuntimeDirectory() + "/" + UTF16ToUTF8(rest);
  if (path.size() >= sizeof(sockaddr_un::sun_path)) return {};
  return path;
}

IoHandle ConnectToPipe(const std::u16string& pipe_name) {
  sockaddr_un address;
  if (!FillAddress(PipePathForName(pipe_name), &address)) {
    SetLastError(kErrorInvalidParameter);
    return kInvalidIoHandle;
  }
  int fd = ConnectSocket(address);
  if (fd >= 0) return fd;
  if (errno == ENOENT || errno == ECONNREFUSED) {
    SetLastError(kErrorFileNotFound);  // nobody serves that name
  } else if (errno == EAGAIN) {
    SetLastError(kErrorPipeBusy);  // served, but taking no client now
  } else {
    FailWithErrno();
  }
  return kInvalidIoHandle;
}

std::unique_ptr<PipeServer> PipeServer::Create(const std::u16string& pipe_name) {
  std::string path = PipePathForName(pipe_name);
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    FailWithErrno();
    return nullptr;
  }
  if (!BindReplacingStale(fd, address, path)) {
    close(fd);
    return nullptr;
  }
  struct stat st;
  // Only this user may connect; no client can connect before listen().
  if (chmod(path.c_str(), 0600) != 0 || lstat(path.c_str(), &st) != 0 || listen(fd, 1) != 0) {
    FailWithErrno();
    unlink(path.c_str());
    close(fd);
    return nullptr;
  }
  return std::make_unique<UnixSocketPipeServer>(fd, std::move(path), st.st_dev, st.st_ino);
}

}  // namespace ipcbase::platform
