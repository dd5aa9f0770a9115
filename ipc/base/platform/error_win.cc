// Windows keeps the last-error value itself, and the layer's codes are its
// own numbers, so the layer passes straight through.
#include "ipc/base/platform/error.h"

#include "ipc/base/platform/windows_win.h"

#include <cerrno>

namespace ipcbase::platform {

uint32_t GetLastError() { return ::GetLastError(); }

void SetLastError(uint32_t error) { ::SetLastError(error); }

ScopedPreserveLastError::ScopedPreserveLastError()
    : last_error_(::GetLastError()), errno_(errno) {}

ScopedPreserveLastError::~ScopedPreserveLastError() {
  errno = errno_;
  ::SetLastError(last_error_);
}

}  // namespace ipcbase::platform
