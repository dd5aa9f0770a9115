// The calling process and other processes by id.
#ifndef IPC_BASE_PLATFORM_PROCESS_H_
#define IPC_BASE_PLATFORM_PROCESS_H_

#include <cstdint>
#include <filesystem>
#include <memory>

namespace ipcbase::platform {

// GetCurrentProcessId.
uint32_t CurrentProcessId();

// The full path of the running executable (GetModuleFileNameW(NULL)).
std::filesystem::path ExecutablePath();

// A watch on another process, opened once by id so that a later reuse of the
// id by an unrelated process is not mistaken for the original
// (OpenProcess(SYNCHRONIZE) + WaitForSingleObject(0)).
class ProcessWatch {
 public:
  // Null when no process with that id exists (or it cannot be watched),
  // which callers treat as "gone".
  static std::unique_ptr<ProcessWatch> Open(uint32_t pid);

  virtual ~ProcessWatch() = default;

  // True once the watched process has ended. Never blocks.
  virtual bool HasExited() = 0;
};

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_PROCESS_H_
