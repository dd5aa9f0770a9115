// Handles of byte streams that take part in overlapped IO (pipes).
#ifndef IPC_BASE_PLATFORM_IO_HANDLE_H_
#define IPC_BASE_PLATFORM_IO_HANDLE_H_

#include <cstddef>
#include <cstdint>

namespace ipcbase::platform {

// A pipe handle (a HANDLE on Windows, a file descriptor on POSIX), widened
// to an integer. kInvalidIoHandle is INVALID_HANDLE_VALUE on both.
using IoHandle = intptr_t;
inline constexpr IoHandle kInvalidIoHandle = -1;

// Closes the handle (CloseHandle). Overlapped operations still outstanding
// on it complete through their port with kErrorOperationAborted, and the
// handle leaves the port it was associated with.
bool CloseIoHandle(IoHandle handle);

// A connected pair of full-duplex streams (a socketpair on POSIX, a pipe pair
// on Windows), both in blocking mode; for tests. False (last error set) on
// failure.
bool CreateStreamPair(IoHandle* first, IoHandle* second);

// Blocking IO on a handle that no completion port owns (the host side and
// tests). ReadSome waits up to timeout_ms (-1 without limit) for data and
// returns the bytes read (1..size), 0 when the peer closed its end, or -1
// (last error set; kErrorTimeout when nothing came in time).
int64_t ReadSome(IoHandle handle, void* buffer, uint32_t size, int64_t timeout_ms);

// Writes all size bytes, blocking; false (last error set) on failure (a
// closed peer fails with kErrorNoData or kErrorBrokenPipe, never a signal).
bool WriteAll(IoHandle handle, const void* buffer, size_t size);

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_IO_HANDLE_H_
