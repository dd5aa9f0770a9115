#include "ipc/base/platform/pipe.h"

#include <string_view>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/windows_win.h"
#include "ipc/base/utf_string_conversions.h"

namespace ipcbase::platform {
namespace {

constexpr std::u16string_view kPipePrefix = u"\\\\.\\pipe\\";

// Windows limits a pipe's full name to 256 characters.
constexpr size_t kMaxPipeNameLength = 256;

// Each direction's buffer; a larger write waits for the reader.
constexpr DWORD kPipeBufferSize = 64 * 1024;

// "\\.\pipe\" and a rest that is not empty and holds no backslash (and
// no NUL, which would end the name early).
bool IsPipeName(const std::u16string& name) {
  if (name.size() <= kPipePrefix.size() || name.size() > kMaxPipeNameLength ||
      name.compare(0, kPipePrefix.size(), kPipePrefix) != 0) {
    return false;
  }
  return name.find_first_of(std::u16string_view(u"\\\0", 2), kPipePrefix.size()) ==
         std::u16string::npos;
}

// One instance of the pipe, listening, or INVALID_HANDLE_VALUE (last error
// set). A single instance per name: a second server of the same name fails
// here, also under Wine, which ignores FILE_FLAG_FIRST_PIPE_INSTANCE.
HANDLE CreateInstance(const std::u16string& name) {
  return ::CreateNamedPipeW(
      win::AsWide(name), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      /*nMaxInstances=*/1, kPipeBufferSize, kPipeBufferSize, /*nDefaultTimeOut=*/0, nullptr);
}

class NamedPipeServer final : public PipeServer {
 public:
  NamedPipeServer(std::u16string name, HANDLE instance)
      : name_(std::move(name)), instance_(instance) {}

  ~NamedPipeServer() override {
    // The name goes with its last instance; a handed-out instance is the
    // caller's.
    if (instance_ != INVALID_HANDLE_VALUE) ::CloseHandle(instance_);
  }

  IoHandle Accept(int64_t timeout_ms) override {
    if (timeout_ms < -1) {
      SetLastError(kErrorInvalidParameter);
      return kInvalidIoHandle;
    }
    // After a hand-over, the next client needs a new instance (which exists
    // once the previous connection has ended).
    if (instance_ == INVALID_HANDLE_VALUE) {
      instance_ = CreateInstance(name_);
      if (instance_ == INVALID_HANDLE_VALUE) return kInvalidIoHandle;
    }
    if (!WaitForClient(timeout_ms)) return kInvalidIoHandle;
    HANDLE connected = instance_;
    instance_ = INVALID_HANDLE_VALUE;
    return win::AsIoHandle(connected);
  }

 private:
  bool WaitForClient(int64_t timeout_ms) {
    win::ScopedEvent event;
    if (!event.valid()) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD error = ::ConnectNamedPipe(instance_, &overlapped) ? 0 : ::GetLastError();
    // A client that came first: connected already, or connected and gone
    // again (its end of the stream is then what the caller reads).
    if (error == 0 || error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) return true;
    if (error != ERROR_IO_PENDING) return false;

    win::Deadline deadline(timeout_ms);
    DWORD wait;
    while ((wait = ::WaitForSingleObject(event.get(), deadline.NextWaitMs())) == WAIT_TIMEOUT &&
           !deadline.Expired()) {
    }
    if (wait != WAIT_OBJECT_0) ::CancelIoEx(instance_, &overlapped);
    DWORD unused = 0;
    // Waits for the cancelled connect to end: the OVERLAPPED lives here.
    if (::GetOverlappedResult(instance_, &overlapped, &unused, TRUE)) return true;
    error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) return true;
    if (error == ERROR_OPERATION_ABORTED && wait == WAIT_TIMEOUT) SetLastError(kErrorTimeout);
    return false;
  }

  std::u16string name_;
  HANDLE instance_;
};

}  // namespace

std::string PipePathForName(const std::u16string& pipe_name) {
  // On Windows the name is the path.
  if (!IsPipeName(pipe_name)) return std::string();
  return UTF16ToUTF8(pipe_name);
}

IoHandle ConnectToPipe(const std::u16string& pipe_name) {
  // Anything else would open a file (or a device) of that name.
  if (!IsPipeName(pipe_name)) {
    SetLastError(kErrorInvalidParameter);
    return kInvalidIoHandle;
  }
  // The server may identify this process but not act as it.
  HANDLE pipe = ::CreateFileW(win::AsWide(pipe_name), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING,
                              SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION | FILE_FLAG_OVERLAPPED,
                              nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return kInvalidIoHandle;
  return win::AsIoHandle(pipe);
}

std::unique_ptr<PipeServer> PipeServer::Create(const std::u16string& pipe_name) {
  if (!IsPipeName(pipe_name)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  HANDLE instance = CreateInstance(pipe_name);
  if (instance == INVALID_HANDLE_VALUE) {
    // Windows says "access denied" (first instance taken) or "busy" (no
    // instance left) for a name that another server holds.
    DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) SetLastError(kErrorAlreadyExists);
    return nullptr;
  }
  return std::make_unique<NamedPipeServer>(pipe_name, instance);
}

}  // namespace ipcbase::platform
