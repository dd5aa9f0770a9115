#include "ipc/base/platform/process.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/posix_error.h"

namespace ipcbase::platform {
namespace {

// Watches through a pidfd: it stays bound to the process it was opened for,
// so a reused pid is never mistaken for the host.
class PidfdWatch final : public ProcessWatch {
 public:
  explicit PidfdWatch(int fd) : fd_(fd) {}
  ~PidfdWatch() override { close(fd_); }
  bool HasExited() override {
    pollfd p{fd_, POLLIN, 0};
    int r;
    do {
      r = poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r != 0;  // readable once the process has ended; an error counts as gone
  }

 private:
  int fd_;
};

// Fallback for kernels without pidfd_open: a signal-0 probe by id.
class KillProbeWatch final : public ProcessWatch {
 public:
  explicit KillProbeWatch(pid_t pid) : pid_(pid) {}
  bool HasExited() override { return kill(pid_, 0) != 0 && errno == ESRCH; }

 private:
  pid_t pid_;
};

}  // namespace

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

std::filesystem::path ExecutablePath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof(buffer))) return {};
  return std::filesystem::path(std::string(buffer, static_cast<size_t>(n)));
}

std::unique_ptr<ProcessWatch> ProcessWatch::Open(uint32_t pid) {
  if (pid == 0 || pid > 0x7FFFFFFFu) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
#ifdef SYS_pidfd_open
  int fd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
  if (fd >= 0) return std::make_unique<PidfdWatch>(fd);
  if (errno != ENOSYS) {
    FailWithErrno();
    return nullptr;
  }
#endif
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
    FailWithErrno();
    return nullptr;
  }
  return std::make_unique<KillProbeWatch>(static_cast<pid_t>(pid));
}

}  // namespace ipcbase::platform
