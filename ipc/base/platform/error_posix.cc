#include "ipc/base/platform/error.h"

#include <cerrno>

namespace ipcbase::platform {
namespace {
thread_local uint32_t t_last_error = kErrorSuccess;
}  // namespace

uint32_t GetLastError() { return t_last_error; }

void SetLastError(uint32_t error) { t_last_error = error; }

ScopedPreserveLastError::ScopedPreserveLastError()
    : last_error_(GetLastError()), errno_(errno) {}

ScopedPreserveLastError::~ScopedPreserveLastError() {
  SetLastError(last_error_);
  errno = errno_;
}

}  // namespace ipcbase::platform

#include "ipc/base/platform/posix_error.h"

namespace ipcbase::platform {

uint32_t ErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EINVAL: return kErrorInvalidParameter;
    case EPIPE:
    case ECONNRESET: return kErrorBrokenPipe;
    case ECONNREFUSED:
    case EAGAIN: return kErrorPipeBusy;
    case ENOTCONN: return kErrorPipeNotConnected;
    case EEXIST:
    case EADDRINUSE: return kErrorAlreadyExists;
    case ETIMEDOUT: return kErrorTimeout;
    case ECANCELED: return kErrorOperationAborted;
    default: return kErrorPosixBase + static_cast<uint32_t>(error_number);
  }
}

bool FailWithErrno() { return FailWithErrno(errno); }

bool FailWithErrno(int error_number) {
  SetLastError(ErrorFromErrno(error_number));
  return false;
}

}  // namespace ipcbase::platform
