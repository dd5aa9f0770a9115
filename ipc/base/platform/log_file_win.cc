#include "ipc/base/platform/log_file.h"

#include "ipc/base/platform/windows_win.h"

#include <cstdio>
#include <limits>

#include "ipc/base/platform/error.h"

namespace ipcbase::platform {
namespace {

constexpr std::u16string_view kGlobalPrefix = u"Global\\";

// A named kernel mutex: shared by every process that opens the name, and
// exclusive between the threads of one process as well.
class NamedMutex final : public SystemMutex {
 public:
  explicit NamedMutex(HANDLE mutex) : mutex_(mutex) {}
  ~NamedMutex() override { ::CloseHandle(mutex_); }
  void Acquire() override {
    // WAIT_ABANDONED also hands over the mutex: its last owner died holding
    // it, which at worst cut one line short.
    ::WaitForSingleObject(mutex_, INFINITE);
  }
  void Release() override { ::ReleaseMutex(mutex_); }

 private:
  HANDLE mutex_;
};

class WinAppendFile final : public AppendFile {
 public:
  explicit WinAppendFile(HANDLE file) : file_(file) {}
  ~WinAppendFile() override { ::CloseHandle(file_); }
  bool Append(std::string_view bytes) override {
    if (bytes.size() > std::numeric_limits<DWORD>::max()) {
      SetLastError(kErrorInvalidParameter);
      return false;
    }
    // Other processes append too: move to the end they left, under the
    // caller's lock, then write the whole line at once.
    if (::SetFilePointer(file_, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR) {
      return false;
    }
    DWORD written = 0;
    if (!::WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
      return false;
    return written == bytes.size();
  }

 private:
  HANDLE file_;
};

}  // namespace

std::unique_ptr<SystemMutex> SystemMutex::Create(const std::u16string& name) {
  // The same names as everywhere: "Global\" and something after it.
  if (name.size() <= kGlobalPrefix.size() ||
      name.compare(0, kGlobalPrefix.size(), kGlobalPrefix) != 0) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, win::AsWide(name));
  if (mutex == nullptr) return nullptr;
  return std::make_unique<NamedMutex>(mutex);
}

std::unique_ptr<AppendFile> AppendFile::Open(const std::filesystem::path& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  ::SetFilePointer(file, 0, nullptr, FILE_END);
  return std::make_unique<WinAppendFile>(file);
}

void WriteToStandardError(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

bool IsDebuggerPresent() { return ::IsDebuggerPresent() != FALSE; }

}  // namespace ipcbase::platform
