#include "ipc/base/test/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace ipcbase::test {
namespace {

class PosixChildProcess final : public ChildProcess {
 public:
  PosixChildProcess(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
  ~PosixChildProcess() override {
    if (!reaped_) {
      kill(pid_, SIGKILL);
      int status;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    if (pidfd_ >= 0) close(pidfd_);
  }

  uint32_t pid() const override { return static_cast<uint32_t>(pid_); }

  int WaitForExit(int64_t timeout_ms) override {
    if (reaped_) return exit_code_;
    pollfd p{pidfd_, POLLIN, 0};
    int r;
    do {
      r = poll(&p, 1, static_cast<int>(timeout_ms));
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exit_code_;
  }

 private:
  pid_t pid_;
  int pidfd_;
  bool reaped_ = false;
  int exit_code_ = -1;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& args,
                                                  const std::filesystem::path& cwd) {
  std::vector<std::string> argv_storage;
  argv_storage.push_back(program.string());
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string dir = cwd.string();

  pid_t pid = fork();
  if (pid < 0) return nullptr;
  if (pid == 0) {
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) {
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    return nullptr;
  }
  return std::make_unique<PosixChildProcess>(pid, pidfd);
}

}  // namespace ipcbase::test
