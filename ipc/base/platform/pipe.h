// Named pipes between the host and this process ("\\.\pipe\chrome." + id).
// The client end is opened by the channel; the server end is for the host
// side (the reference host and the tests).
#ifndef IPC_BASE_PLATFORM_PIPE_H_
#define IPC_BASE_PLATFORM_PIPE_H_

#include <memory>
#include <string>

#include "ipc/base/platform/io_handle.h"

namespace ipcbase::platform {

// The single mapping of a Windows pipe name (UTF-16, "\\.\pipe\..." form)
// to the object that stands for it on this platform: on POSIX the path of a
// Unix-domain socket, $XDG_RUNTIME_DIR (else /tmp) + "/" + the part after
// "\\.\pipe\". Returns an empty string for a name that is not a pipe name or
// whose mapped path would not fit the platform's limit.
std::string PipePathForName(const std::u16string& pipe_name);

// Opens an existing pipe as its client, full duplex, for overlapped IO
// (CreateFileW(GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING,
// SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION | FILE_FLAG_OVERLAPPED)).
// Does not wait for the server and does not retry. On failure returns
// kInvalidIoHandle with the last error set: kErrorFileNotFound when no
// such pipe exists, kErrorPipeBusy when it does but accepts no client.
IoHandle ConnectToPipe(const std::u16string& pipe_name);

// The server end: creates the pipe so that one client can open it.
class PipeServer {
 public:
  // Creates the pipe; null (last error set) on failure, also when a pipe of
  // that name is already being served.
  static std::unique_ptr<PipeServer> Create(const std::u16string& pipe_name);
  virtual ~PipeServer() = default;  // removes the pipe's name

  // Waits up to timeout_ms (-1 without limit) for a client and returns the
  // connected stream, blocking mode, or kInvalidIoHandle (last error set,
  // kErrorTimeout when none came).
  virtual IoHandle Accept(int64_t timeout_ms) = 0;
};

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_PIPE_H_
