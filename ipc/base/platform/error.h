// The platform layer's last-error value and its error codes.
//
// Every platform operation that fails sets the calling thread's last-error
// value, as Windows does. The codes are Windows' own numbers on every
// platform, so that the logic above the layer (and the log lines it writes)
// reads the same everywhere. The POSIX implementation maps errno values it
// knows to these codes; any other errno value e is reported as
// kErrorPosixBase + e.
#ifndef IPC_BASE_PLATFORM_ERROR_H_
#define IPC_BASE_PLATFORM_ERROR_H_

#include <cstdint>

namespace ipcbase::platform {

enum ErrorCode : uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidParameter = 87,
  kErrorBrokenPipe = 109,
  kErrorInsufficientBuffer = 122,
  kErrorAlreadyExists = 183,
  kErrorPipeBusy = 231,
  kErrorNoData = 232,
  kErrorPipeNotConnected = 233,
  kErrorOperationAborted = 995,
  kErrorIoPending = 997,
  kErrorTimeout = 1460,
  // Base of errno values without a Windows counterpart (bit 29, the
  // "customer" bit of Windows error codes, so they never collide).
  kErrorPosixBase = 0x20000000,
};

// The calling thread's last-error value (GetLastError).
uint32_t GetLastError();

// Sets the calling thread's last-error value (SetLastError).
void SetLastError(uint32_t error);

// Saves the thread's last-error value and the C library's errno on
// construction and restores both on destruction. Code that must not disturb
// its caller's error state (logging) holds one for its whole run.
class ScopedPreserveLastError {
 public:
  ScopedPreserveLastError();
  ~ScopedPreserveLastError();
  ScopedPreserveLastError(const ScopedPreserveLastError&) = delete;
  ScopedPreserveLastError& operator=(const ScopedPreserveLastError&) = delete;

 private:
  uint32_t last_error_;
  int errno_;
};

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_ERROR_H_
