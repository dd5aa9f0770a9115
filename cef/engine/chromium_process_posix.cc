// Starting, feeding, stopping and reaping the engine on Linux.
//
// Process tree:
//
//   this process
//     └─ reaper (a forked copy of this process, no exec)
//          └─ engine (exec'd browser program, leader of its own group)
//               └─ the engine's own children (same process group)
//
// The reaper is a child subreaper: when the engine exits, its orphaned
// children become the reaper's, which reaps every one of them and exits
// last, with the engine's exit status. So "the reaper has exited" means
// "nothing of the engine is left", even where the system's init does not
// reap orphans. The reaper and the engine die with their parent
// (PR_SET_PDEATHSIG), so the engine never outlives this process.
#include "cef/engine/chromium_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "ipc/base/logging.h"

namespace cef_engine {
namespace {

// Async-signal-safe helpers for the forked children.
void WriteFully(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void CloseFrom(int first) {
  if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, 0U) == 0) return;
  for (int fd = first; fd < 65536; ++fd) close(fd);
}

void ResetSignals() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl;
  memset(&dfl, 0, sizeof(dfl));
  dfl.sa_handler = SIG_DFL;
  for (int sig : {SIGPIPE, SIGCHLD, SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &dfl, nullptr);
}

// Status records the children send to the parent over the status pipe.
struct StatusRecord {
  char kind;  // 'P': engine pid in value; 'E': errno of a failed start in value
  int value;
};

// Runs in the forked reaper; never returns.
[[noreturn]] void RunReaper(pid_t parent, const char* path, char* const* argv, int command_read,
                            int message_write, int status_write, int devnull) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  ResetSignals();

  pid_t engine = fork();
  if (engine == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setpgid(0, 0);
    // Move the descriptors out of the way, then into place: a source that
    // already is 3 or 4 would otherwise keep its close-on-exec flag.
    // Every source may itself be one of the targets 0..5 (this process's
    // own descriptors can be anything), so all are first moved above them.
    int in = fcntl(command_read, F_DUPFD, 10);
    int out = fcntl(message_write, F_DUPFD, 10);
    int null = fcntl(devnull, F_DUPFD, 10);
    int status = fcntl(status_write, F_DUPFD_CLOEXEC, 10);
    if (in < 0 || out < 0 || null < 0 || status < 0 || dup2(in, 3) < 0 || dup2(out, 4) < 0 ||
        dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 ||
        dup2(status, 5) < 0 || fcntl(5, F_SETFD, FD_CLOEXEC) < 0) {
      StatusRecord r{'E', errno};
      WriteFully(status, &r, sizeof(r));
      _exit(127);
    }
    CloseFrom(6);
    execv(path, argv);
    StatusRecord r{'E', errno};
    WriteFully(5, &r, sizeof(r));
    _exit(127);
  }
  if (engine < 0) {
    StatusRecord r{'E', errno};
    WriteFully(status_write, &r, sizeof(r));
    _exit(127);
  }
  StatusRecord r{'P', static_cast<int>(engine)};
  WriteFully(status_write, &r, sizeof(r));
  dup2(devnull, 0);
  dup2(devnull, 1);
  dup2(devnull, 2);
  CloseFrom(3);

  int code = 1;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(-1, &status, 0);
    if (done < 0) {
      if (errno == EINTR) continue;
      break;  // ECHILD: every descendant has been reaped
    }
    if (done == engine) {
      code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
  }
  _exit(code);
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

}  // namespace

std::unique_ptr<ChromiumProcess> ChromiumProcess::Launch(const std::string& program,
                                                         const std::vector<std::string>& args,
                                                         std::string* error) {
  if (!IsExecutableFile(program)) {
    *error = "no executable at " + program;
    return nullptr;
  }
  // Everything the children use is prepared here: after fork only
  // async-signal-safe calls are allowed (this process has threads).
  std::vector<std::string> strings;
  strings.push_back(program);
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  int command[2] = {-1, -1};
  int message[2] = {-1, -1};
  int status[2] = {-1, -1};
  int cancel[2] = {-1, -1};
  int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (pipe2(command, O_CLOEXEC) != 0 || pipe2(message, O_CLOEXEC) != 0 ||
      pipe2(status, O_CLOEXEC) != 0 || pipe2(cancel, O_CLOEXEC) != 0 || devnull < 0) {
    *error = std::string("cannot create pipes: ") + strerror(errno);
    for (int fd : {command[0], command[1], message[0], message[1], status[0], status[1],
                   cancel[0], cancel[1], devnull}) {
      if (fd >= 0) close(fd);
    }
    return nullptr;
  }

  pid_t parent = getpid();
  pid_t reaper = fork();
  if (reaper == 0) {
    RunReaper(parent, strings[0].c_str(), argv.data(), command[0], message[1], status[1],
              devnull);
  }
  int fork_errno = errno;
  close(command[0]);
  close(message[1]);
  close(status[1]);
  close(devnull);
  if (reaper < 0) {
    *error = std::string("cannot fork: ") + strerror(fork_errno);
    for (int fd : {command[1], message[0], status[0], cancel[0], cancel[1]}) close(fd);
    return nullptr;
  }

  std::unique_ptr<ChromiumProcess> process(new ChromiumProcess());
  process->reaper_pid_ = reaper;
  process->reaper_fd_ = static_cast<int>(syscall(SYS_pidfd_open, reaper, 0));
  process->command_fd_ = command[1];
  process->message_fd_ = message[0];
  process->cancel_read_fd_ = cancel[0];
  process->cancel_write_fd_ = cancel[1];

  // Read the status records until both children have let go of the pipe
  // (the engine's copy closes when exec succeeds).
  int start_errno = 0;
  for (;;) {
    StatusRecord record;
    ssize_t n = read(status[0], &record, sizeof(record));
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof(record))) break;
    if (record.kind == 'P') process->engine_pid_ = record.value;
    if (record.kind == 'E') start_errno = record.value;
  }
  close(status[0]);
  if (start_errno != 0 || process->engine_pid_ <= 0) {
    *error = "cannot start " + program + ": " +
             (start_errno ? strerror(start_errno) : "no process");
    process->WaitForExit(std::chrono::seconds(5));
    return nullptr;
  }
  return process;
}

ChromiumProcess::~ChromiumProcess() {
  CancelRead();
  if (!Reaped()) {
    Kill();
    if (!WaitForExit(std::chrono::seconds(5))) {
      LOG(ERROR) << "engine process " << engine_pid_ << " did not exit after SIGKILL";
    }
  }
  CloseFd(&command_fd_);
  CloseFd(&message_fd_);
  CloseFd(&cancel_read_fd_);
  CloseFd(&cancel_write_fd_);
  CloseFd(&reaper_fd_);
}

bool ChromiumProcess::Write(const char* data, size_t size) {
  return command_fd_ >= 0 && WriteToPipe(command_fd_, data, size);
}

long ChromiumProcess::Read(char* buffer, size_t size) {
  for (;;) {
    struct pollfd fds[2] = {{message_fd_, POLLIN, 0}, {cancel_read_fd_, POLLIN, 0}};
    int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN)) return -1;
    ssize_t n = read(message_fd_, buffer, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

void ChromiumProcess::CancelRead() {
  if (cancel_write_fd_ >= 0) {
    char byte = 1;
    ssize_t ignored = write(cancel_write_fd_, &byte, 1);
    (void)ignored;
  }
}

void ChromiumProcess::CloseCommandPipe() { CloseFd(&command_fd_); }

bool ChromiumProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (Reaped()) return true;
  if (reaper_fd_ >= 0) {
    struct pollfd fd = {reaper_fd_, POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      int ready = poll(&fd, 1, static_cast<int>(std::max<long long>(0, left.count())));
      if (ready > 0) break;
      if (ready == 0) return false;
      if (errno != EINTR) return false;
    }
  }
  int status = 0;
  pid_t done;
  do {
    done = waitpid(reaper_pid_, &status, reaper_fd_ >= 0 ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return false;  // no pidfd and still running
  if (done == reaper_pid_) {
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  reaper_pid_ = -1;
  return true;
}

void ChromiumProcess::Kill() {
  if (Reaped()) return;
  if (reaper_fd_ >= 0) {
    // Once the reaper has finished, the engine's group is empty and its id
    // may belong to someone else: do not signal it then.
    struct pollfd fd = {reaper_fd_, POLLIN, 0};
    if (poll(&fd, 1, 0) > 0) return;
  }
  if (engine_pid_ > 0) kill(-engine_pid_, SIGKILL);
}

double ChromiumProcess::CpuSeconds() const {
  if (engine_pid_ <= 0) return 0;
  const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  double total = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    FILE* f = fopen((entry.path() / "stat").c_str(), "r");
    if (!f) continue;
    char buffer[1024];
    size_t n = fread(buffer, 1, sizeof(buffer) - 1, f);
    fclose(f);
    buffer[n] = 0;
    // Fields after the command name (which may hold spaces) start at ')'.
    const char* rest = strrchr(buffer, ')');
    if (!rest) continue;
    char state;
    long ppid, pgrp;
    unsigned long utime, stime;
    if (sscanf(rest + 2, "%c %ld %ld %*s %*s %*s %*s %*s %*s %*s %*s %lu %lu", &state, &ppid,
               &pgrp, &utime, &stime) != 5) {
      continue;
    }
    if (pgrp == engine_pid_) total += static_cast<double>(utime + stime) / ticks;
  }
  return total;
}

bool WriteToPipe(int fd, const char* data, size_t size) {
  // A write to a pipe whose reader has gone raises SIGPIPE, which would end
  // this process: block it on this thread for the write, and take a
  // pending one away before unblocking.
  sigset_t pipe_set, old_set;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
  bool ok = true;
  bool broken = false;
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      broken = errno == EPIPE;
      ok = false;
      break;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  if (broken) {
    struct timespec zero = {0, 0};
    sigtimedwait(&pipe_set, nullptr, &zero);
  }
  pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
  return ok;
}

bool RunningAsRoot() { return geteuid() == 0; }

std::string CreatePrivateTempDir(const std::string& prefix) {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / (prefix + "XXXXXX")).string();
  if (!mkdtemp(pattern.data())) {
    LOG(ERROR) << "cannot create a temporary directory at " << pattern << ": "
               << strerror(errno);
    return std::string();
  }
  return pattern;
}

bool SharedMemoryFileSystemIsSmall() {
  struct statvfs info;
  if (statvfs("/dev/shm", &info) != 0) return true;
  unsigned long long bytes =
      static_cast<unsigned long long>(info.f_bavail) * static_cast<unsigned long long>(info.f_frsize);
  return bytes < 512ull * 1024 * 1024;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

}  // namespace cef_engine
