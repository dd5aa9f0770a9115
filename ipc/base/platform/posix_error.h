// POSIX only: the mapping of errno values to the layer's error codes.
#ifndef IPC_BASE_PLATFORM_POSIX_ERROR_H_
#define IPC_BASE_PLATFORM_POSIX_ERROR_H_

#include <cstdint>

namespace ipcbase::platform {

// The layer's code for an errno value (kErrorPosixBase + e when unmapped).
uint32_t ErrorFromErrno(int error_number);

// Sets the last error from errno (or from the given value) and returns false,
// for "return FailWithErrno();" at the end of a failed operation.
bool FailWithErrno();
bool FailWithErrno(int error_number);

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_POSIX_ERROR_H_
