// An IO completion port: overlapped reads and writes on stream handles whose
// results, and packets posted by any thread, are collected by one waiting
// thread (CreateIoCompletionPort, ReadFile/WriteFile with an OVERLAPPED,
// CancelIo, PostQueuedCompletionStatus, GetQueuedCompletionStatus).
//
// Contract, on every platform:
//  - A read or write that starts successfully always completes through the
//    port, exactly once, also when it finished at once. A start that fails
//    outright produces no completion.
//  - A read completes with the bytes read (at least 1), or with 0 bytes and
//    kErrorBrokenPipe when the peer has closed its end.
//  - A write completes only when all its bytes are written, or with an error.
//  - CancelIo and CloseIoHandle complete outstanding operations on the
//    handle with kErrorOperationAborted.
//  - Operations are performed, and completions delivered, on the thread that
//    calls GetCompletion. Post may be called from any thread and wakes it.
//  - At most one read and one write may be outstanding per handle.
#ifndef IPC_BASE_PLATFORM_COMPLETION_PORT_H_
#define IPC_BASE_PLATFORM_COMPLETION_PORT_H_

#include <cstdint>
#include <memory>

#include "ipc/base/platform/io_handle.h"

namespace ipcbase::platform {

// The per-operation record (an OVERLAPPED on Windows). The caller owns it and
// keeps it alive, untouched, until the operation has completed.
struct Overlapped {
  alignas(8) unsigned char opaque[32];
};

// One dequeued packet.
struct Completion {
  uintptr_t key = 0;                // the handle's key, or the posted key
  Overlapped* overlapped = nullptr;  // the operation's record, or the posted one
  uint32_t bytes = 0;               // bytes transferred
  uint32_t error = 0;               // 0 on success, else an ErrorCode
};

class CompletionPort {
 public:
  // Null (last error set) when the port cannot be created.
  static std::unique_ptr<CompletionPort> Create();

  virtual ~CompletionPort() = default;

  // Routes the completions of handle's overlapped operations to this port,
  // tagged with key. A handle joins at most one port. The handle is switched
  // to non-blocking mode where the platform needs that.
  virtual bool Associate(IoHandle handle, uintptr_t key) = 0;

  // Starts reading up to size bytes (size > 0) into buffer. True when the
  // read started (a completion will come); false, with the last error set,
  // when it failed outright. The buffer must stay valid until completion.
  virtual bool Read(IoHandle handle, void* buffer, uint32_t size,
                    Overlapped* overlapped) = 0;

  // Starts writing size bytes from buffer; same rules as Read.
  virtual bool Write(IoHandle handle, const void* buffer, uint32_t size,
                     Overlapped* overlapped) = 0;

  // Cancels every outstanding operation on handle; each completes with
  // kErrorOperationAborted (a write with the bytes it had written so far).
  virtual bool CancelIo(IoHandle handle) = 0;

  // Queues a packet that GetCompletion returns as it was given. Any thread.
  virtual bool Post(uint32_t bytes, uintptr_t key, Overlapped* overlapped) = 0;

  // Waits up to timeout_ms (0 polls, -1 waits without limit) for one packet.
  // Returns false when nothing arrived in time; otherwise fills *completion
  // (error 0 for a successful operation or a posted packet).
  virtual bool GetCompletion(int64_t timeout_ms, Completion* completion) = 0;
};

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_COMPLETION_PORT_H_
