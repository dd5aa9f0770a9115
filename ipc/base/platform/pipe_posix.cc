#include "ipc/base/platform/pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
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
// gives. The server binds and listens on it, holding a lock file beside it
// (path + ".lock") that marks the name as served; a client connects.
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

// The name lock of a served pipe: an flock on path + ".lock", held by the
// server for its lifetime. Whoever holds it owns the name, so a socket file
// found at the path without the lock held is stale and may be replaced, and
// no live server is ever disturbed by a probe connection.
int LockPipeName(const std::string& lock_path) {
  for (;;) {
    int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      FailWithErrno();
      return -1;
    }
    int r;
    do {
      r = flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
      int error = errno;
      close(fd);
      if (error == EWOULDBLOCK) {
        SetLastError(kErrorAlreadyExists);  // a live server has the name
      } else {
        FailWithErrno(error);
      }
      return -1;
    }
    // A server that was ending may have removed the file between our open
    // and our lock; then the lock is on a dead file: take the current one.
    struct stat held;
    struct stat current;
    if (fstat(fd, &held) == 0 && stat(lock_path.c_str(), &current) == 0 &&
        held.st_dev == current.st_dev && held.st_ino == current.st_ino) {
      return fd;
    }
    close(fd);
  }
}

// Removes path if it still is the file identified by device and inode.
void UnlinkIfSame(const std::string& path, dev_t device, ino_t inode) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode) {
    unlink(path.c_str());
  }
}

class UnixSocketPipeServer final : public PipeServer {
 public:
  UnixSocketPipeServer(int fd, int lock_fd, std::string path, std::string lock_path)
      : fd_(fd), lock_fd_(lock_fd), path_(std::move(path)), lock_path_(std::move(lock_path)) {
    struct stat st;
    if (lstat(path_.c_str(), &st) == 0) {
      socket_device_ = st.st_dev;
      socket_inode_ = st.st_ino;
    }
    if (fstat(lock_fd_, &st) == 0) {
      lock_device_ = st.st_dev;
      lock_inode_ = st.st_ino;
    }
  }

  ~UnixSocketPipeServer() override {
    // The socket first, while the lock still keeps other servers away.
    UnlinkIfSame(path_, socket_device_, socket_inode_);
    close(fd_);
    UnlinkIfSame(lock_path_, lock_device_, lock_inode_);
    close(lock_fd_);
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
  const int lock_fd_;
  const std::string path_;
  const std::string lock_path_;
  dev_t socket_device_ = 0;
  ino_t socket_inode_ = 0;
  dev_t lock_device_ = 0;
  ino_t lock_inode_ = 0;
};

// With the name lock held: anything at path is a leftover of a server that
// died. A socket is removed; anything else is not ours to delete.
bool RemoveStaleSocket(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    return errno == ENOENT ? true : FailWithErrno();
  }
  if (!S_ISSOCK(st.st_mode)) return FailWithErrno(EEXIST);
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return FailWithErrno();
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
  // One file name: no separator of either platform, no terminator.
  for (char16_t c : rest) {
    if (c == u'/' || c == u'\\' || c == u'\0') return {};
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
  std::string lock_path = path + ".lock";
  int lock_fd = LockPipeName(lock_path);
  if (lock_fd < 0) return nullptr;  // last error set
  auto release_name = [&] {
    unlink(lock_path.c_str());
    close(lock_fd);
  };
  if (!RemoveStaleSocket(path)) {
    release_name();
    return nullptr;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    FailWithErrno();
    release_name();
    return nullptr;
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    FailWithErrno();
    close(fd);
    release_name();
    return nullptr;
  }
  // Only this user may connect; no client can connect before listen().
  if (chmod(path.c_str(), 0600) != 0 || listen(fd, 1) != 0) {
    FailWithErrno();
    unlink(path.c_str());
    close(fd);
    release_name();
    return nullptr;
  }
  return std::make_unique<UnixSocketPipeServer>(fd, lock_fd, std::move(path),
                                                std::move(lock_path));
}

}  // namespace ipcbase::platform
