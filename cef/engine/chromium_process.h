// The engine's process: a browser program started with two pipes as its
// DevTools connection (fd 3 reads commands, fd 4 writes replies and events),
// and everything it starts in turn.
//
// All the operating-system work of starting, talking to, stopping and
// reaping the engine lives behind this interface (one POSIX file).
// The engine never outlives this object, and is killed with the process
// that started it.
#ifndef CEF_ENGINE_CHROMIUM_PROCESS_H_
#define CEF_ENGINE_CHROMIUM_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace cef_engine {

// The byte stream to and from an engine; ChromiumProcess is the real one,
// tests use in-memory ones.
class EngineTransport {
 public:
  virtual ~EngineTransport() = default;
  // Writes all of data (blocking the calling thread); false once the engine
  // has gone.
  virtual bool Write(const char* data, size_t size) = 0;
  // Reads up to size bytes into buffer, blocking: > 0 bytes read, 0 the
  // engine closed its end, -1 CancelRead was called (or a read error).
  virtual long Read(char* buffer, size_t size) = 0;
  // Makes a blocked Read (and every later one) return -1. Any thread.
  virtual void CancelRead() = 0;
};

class ChromiumProcess : public EngineTransport {
 public:
  // Starts program with args (argv[0] is program). Returns null and fills
  // *error when it cannot run (missing, not executable, fork failure).
  static std::unique_ptr<ChromiumProcess> Launch(const std::string& program,
                                                 const std::vector<std::string>& args,
                                                 std::string* error);

  // Kills what still runs and waits (bounded) for it.
  ~ChromiumProcess() override;
  ChromiumProcess(const ChromiumProcess&) = delete;
  ChromiumProcess& operator=(const ChromiumProcess&) = delete;

  bool Write(const char* data, size_t size) override;
  long Read(char* buffer, size_t size) override;
  void CancelRead() override;

  // Closes the command pipe: the engine reads end-of-file.
  void CloseCommandPipe();
  // Waits up to timeout until the engine and every process it started have
  // exited; true when they have.
  bool WaitForExit(std::chrono::milliseconds timeout);
  // Kills the engine and every process it started, at once.
  void Kill();
  // The engine's process id (its children share it as process group).
  pid_t pid() const { return engine_pid_; }
  // The engine's exit status once WaitForExit returned true (128 + signal
  // when killed), else -1.
  int exit_code() const { return exit_code_; }
  // CPU seconds (user + system) used so far by the engine's processes that
  // are still running (for measurements).
  double CpuSeconds() const;

 private:
  ChromiumProcess() = default;
  bool Reaped() const { return reaper_pid_ <= 0; }

  pid_t reaper_pid_ = -1;
  pid_t engine_pid_ = -1;
  int reaper_fd_ = -1;     // pidfd of the reaper
  int command_fd_ = -1;    // we write, the engine reads (its fd 3)
  int message_fd_ = -1;    // the engine writes (its fd 4), we read
  int cancel_read_fd_ = -1;   // read side of the wake-up pipe
  int cancel_write_fd_ = -1;  // write side
  int exit_code_ = -1;
};

// Writes all of data to the pipe fd, blocking; false once its reader has
// gone (without raising SIGPIPE) or on another error.
bool WriteToPipe(int fd, const char* data, size_t size);

// True when this process runs with root rights (the engine then needs its
// sandbox switched off).
bool RunningAsRoot();

// Creates a new private directory under the system's temporary directory,
// named prefix + random characters. Empty on failure (logged).
std::string CreatePrivateTempDir(const std::string& prefix);

// True when the shared-memory file system is too small for the engine's
// default use of it (under 512 MB).
bool SharedMemoryFileSystemIsSmall();

// True when path names an executable file.
bool IsExecutableFile(const std::string& path);

}  // namespace cef_engine

#endif  // CEF_ENGINE_CHROMIUM_PROCESS_H_
