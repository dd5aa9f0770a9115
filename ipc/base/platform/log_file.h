// What the log needs from the system: a lock shared by every process that
// logs to one file, and a file that lines are appended to.
#ifndef IPC_BASE_PLATFORM_LOG_FILE_H_
#define IPC_BASE_PLATFORM_LOG_FILE_H_

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace ipcbase::platform {

// A named, system-wide mutex (CreateMutexW(NULL, FALSE, name)). Every
// process that opens the same name shares one lock, and within a process it
// also excludes other threads. The name is "Global\" followed by the log
// file's path with forward slashes; on POSIX the lock is an flock on that
// path, so the name must be a path after its seven-character prefix.
class SystemMutex {
 public:
  // Null (last error set) when the mutex cannot be created.
  static std::unique_ptr<SystemMutex> Create(const std::u16string& name);
  virtual ~SystemMutex() = default;
  virtual void Acquire() = 0;
  virtual void Release() = 0;
};

// A file opened for appending, shared for reading and writing with other
// processes, created when missing and never truncated
// (CreateFileW(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
// OPEN_ALWAYS)).
class AppendFile {
 public:
  // Null (last error set) when the file cannot be opened or created.
  static std::unique_ptr<AppendFile> Open(const std::filesystem::path& path);
  virtual ~AppendFile() = default;
  // Moves to the end of the file and writes the bytes with one write call.
  virtual bool Append(std::string_view bytes) = 0;
};

// Writes the bytes to the standard error stream and flushes it.
void WriteToStandardError(std::string_view bytes);

// True when a debugger is attached to the process (IsDebuggerPresent).
bool IsDebuggerPresent();

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_LOG_FILE_H_
