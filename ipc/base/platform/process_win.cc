#include "ipc/base/platform/process.h"

#include "ipc/base/platform/windows_win.h"

#include <string>

#include "ipc/base/platform/error.h"

namespace ipcbase::platform {
namespace {

// Holds the process handle, which keeps the id bound to the process it was
// opened for.
class HandleWatch final : public ProcessWatch {
 public:
  explicit HandleWatch(HANDLE process) : process_(process) {}
  ~HandleWatch() override { ::CloseHandle(process_); }
  // Anything but "still running" (a failed wait included) counts as gone.
  bool HasExited() override { return ::WaitForSingleObject(process_, 0) != WAIT_TIMEOUT; }

 private:
  HANDLE process_;
};

}  // namespace

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

std::filesystem::path ExecutablePath() {
  // The path may be longer than MAX_PATH; a full buffer means it was cut.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (n == 0) return {};
    if (n < size) {
      buffer.resize(n);
      return std::filesystem::path(buffer);
    }
    if (buffer.size() >= 32768) return {};  // beyond any Windows path
    buffer.resize(buffer.size() * 2);
  }
}

std::unique_ptr<ProcessWatch> ProcessWatch::Open(uint32_t pid) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return nullptr;  // no such process (or no access): gone
  // A process that has already ended can still be opened while something
  // holds a handle to it (and, under Wine, for a moment after it ended):
  // that is gone too.
  if (::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
    ::CloseHandle(process);
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  return std::make_unique<HandleWatch>(process);
}

}  // namespace ipcbase::platform
