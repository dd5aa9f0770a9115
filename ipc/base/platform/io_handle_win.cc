#include "ipc/base/platform/io_handle.h"

#include <atomic>
#include <string>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/pipe.h"
#include "ipc/base/platform/windows_win.h"

namespace ipcbase::platform {
namespace {

// The most one WriteFile call is given.
constexpr size_t kMaxWriteChunk = size_t{1} << 30;

// Errors that mean the other end of the pipe has gone.
bool IsEndOfStream(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ||
         error == ERROR_HANDLE_EOF;
}

}  // namespace

bool CloseIoHandle(IoHandle handle) {
  if (handle == kInvalidIoHandle || handle == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  HANDLE file = win::AsHandle(handle);
  win::DetachFromCompletionPort(file);
  // Closing cancels the handle's overlapped operations only once the last
  // reference to the pipe goes; cancel them now, so that each completes
  // through its port with ERROR_OPERATION_ABORTED before the handle is gone.
  ::CancelIoEx(file, nullptr);
  return ::CloseHandle(file) != FALSE;
}

bool CreateStreamPair(IoHandle* first, IoHandle* second) {
  if (!first || !second) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  // Anonymous pipes cannot do overlapped IO, so the pair is a named pipe
  // with a name no one else uses: this process's id and a counter.
  static std::atomic<uint32_t> counter{0};
  std::u16string name = u"\\\\.\\pipe\\vemo.pair.";
  for (char c : std::to_string(::GetCurrentProcessId()) + "." + std::to_string(++counter))
    name += static_cast<char16_t>(c);

  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  if (!server) return false;
  IoHandle client = ConnectToPipe(name);
  if (client == kInvalidIoHandle) return false;
  // The client is already connected, so this does not wait.
  IoHandle served = server->Accept(10000);
  if (served == kInvalidIoHandle) {
    ScopedPreserveLastError keep;
    CloseIoHandle(client);
    return false;
  }
  *first = served;
  *second = client;
  return true;
}

int64_t ReadSome(IoHandle handle, void* buffer, uint32_t size, int64_t timeout_ms) {
  if (buffer == nullptr || size == 0 || timeout_ms < -1) {
    SetLastError(kErrorInvalidParameter);
    return -1;
  }
  win::ScopedEvent event;
  if (!event.valid()) return -1;
  HANDLE file = win::AsHandle(handle);
  win::Deadline deadline(timeout_ms);
  for (;;) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.ForPrivateOverlapped();
    DWORD error = ::ReadFile(file, buffer, size, nullptr, &overlapped) ? 0 : ::GetLastError();
    if (error == 0 || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA) {
      DWORD wait = WAIT_OBJECT_0;
      while ((wait = ::WaitForSingleObject(event.get(), deadline.NextWaitMs())) == WAIT_TIMEOUT &&
             !deadline.Expired()) {
      }
      // Out of time (or the wait failed): cancel, then wait for the read to
      // finish with its buffer, which it may still have filled meanwhile.
      if (wait != WAIT_OBJECT_0) ::CancelIoEx(file, &overlapped);
      DWORD bytes = 0;
      error = ::GetOverlappedResult(file, &overlapped, &bytes, TRUE) ? 0 : ::GetLastError();
      if (error == ERROR_MORE_DATA) error = 0;  // a message-mode pipe: the rest comes next
      if (error == 0 && bytes > 0) return bytes;
      if (error == ERROR_OPERATION_ABORTED && wait == WAIT_TIMEOUT) {
        SetLastError(kErrorTimeout);
        return -1;
      }
      if (error == 0) {
        // The peer wrote zero bytes, which a pipe delivers as an empty read;
        // that is not the end of the stream.
        if (deadline.Expired()) {
          SetLastError(kErrorTimeout);
          return -1;
        }
        ::ResetEvent(event.get());
        continue;
      }
    }
    if (IsEndOfStream(error)) return 0;
    SetLastError(error);
    return -1;
  }
}

bool WriteAll(IoHandle handle, const void* buffer, size_t size) {
  // Nothing is written for an empty buffer: a zero-byte pipe write would
  // reach the reader as an empty read.
  if (size == 0) return true;
  if (buffer == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  win::ScopedEvent event;
  if (!event.valid()) return false;
  HANDLE file = win::AsHandle(handle);
  const char* next = static_cast<const char*>(buffer);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(size < kMaxWriteChunk ? size : kMaxWriteChunk);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.ForPrivateOverlapped();
    if (!::WriteFile(file, next, chunk, nullptr, &overlapped) && ::GetLastError() != ERROR_IO_PENDING)
      return false;
    ::WaitForSingleObject(event.get(), INFINITE);
    DWORD written = 0;
    if (!::GetOverlappedResult(file, &overlapped, &written, TRUE)) return false;
    if (written == 0) {  // no progress and no error: never seen; do not spin
      SetLastError(kErrorNoData);
      return false;
    }
    next += written;
    size -= written;
    ::ResetEvent(event.get());
  }
  return true;
}

}  // namespace ipcbase::platform
