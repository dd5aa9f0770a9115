#include "ipc/base/platform/completion_port.h"

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/windows_win.h"

// The port is a Windows IO completion port; each operation's Overlapped is
// its OVERLAPPED. The kernel does the IO and queues one packet per started
// operation, also for one that finished at once (completion notification
// modes are left at their default for that). What the port adds on top, so
// that callers see the contract of the header on every platform:
//  - a write that completes short is continued with the rest, and reported
//    once all its bytes are written (or it failed);
//  - a read that completes with 0 bytes and no error (a peer's zero-byte
//    write) is issued again;
//  - a read whose start finds the peer already gone still completes through
//    the port, with kErrorBrokenPipe;
//  - at most one read and one write per handle, and only on handles of this
//    port (anything else would never complete here).
// The state of every started operation is kept per OVERLAPPED until its
// packet has been handed out. One mutex guards it, and operations are issued
// under it, so that CloseIoHandle from another thread never races a
// continuation onto a closed (or reused) handle value.
namespace ipcbase::platform {
namespace {

static_assert(sizeof(OVERLAPPED) <= sizeof(Overlapped), "an OVERLAPPED must fit Overlapped");
static_assert(alignof(OVERLAPPED) <= alignof(Overlapped), "Overlapped must align an OVERLAPPED");

OVERLAPPED* AsNative(Overlapped* overlapped) { return reinterpret_cast<OVERLAPPED*>(overlapped); }
Overlapped* FromNative(OVERLAPPED* overlapped) { return reinterpret_cast<Overlapped*>(overlapped); }

// Errors that mean the other end of the pipe has gone.
bool IsEndOfStream(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ||
         error == ERROR_HANDLE_EOF;
}

// One started read or write, until its packet is handed out.
struct Operation {
  HANDLE file = nullptr;
  unsigned char* buffer = nullptr;  // the read target or the write source
  uint32_t size = 0;
  uint32_t done = 0;  // bytes written by earlier parts of a write
  bool is_write = false;
  // Set for a completion the port posted itself; its packet carries no error.
  uint32_t posted_error = kErrorSuccess;
};

struct HandleState {
  uintptr_t key = 0;
  Overlapped* read = nullptr;  // the outstanding read, if any
  Overlapped* write = nullptr;
};

class WinCompletionPort;

// Which port each associated handle belongs to, for CloseIoHandle. Lock
// order: the registry's mutex before any port's mutex. Never destroyed, so
// that a handle closed during static destruction still finds it.
struct PortRegistry {
  std::mutex mutex;
  std::unordered_map<HANDLE, WinCompletionPort*> ports;
};

PortRegistry& Registry() {
  static PortRegistry* registry = new PortRegistry;
  return *registry;
}

class WinCompletionPort final : public CompletionPort {
 public:
  explicit WinCompletionPort(HANDLE port) : port_(port) {}

  ~WinCompletionPort() override {
    {
      PortRegistry& registry = Registry();
      std::lock_guard<std::mutex> registry_lock(registry.mutex);
      std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& entry : handles_) registry.ports.erase(entry.first);
      handles_.clear();
    }
    ::CloseHandle(port_);
  }

  bool Associate(IoHandle handle, uintptr_t key) override {
    HANDLE file = win::AsHandle(handle);
    PortRegistry& registry = Registry();
    std::lock_guard<std::mutex> registry_lock(registry.mutex);
    if (registry.ports.count(file) != 0) {
      SetLastError(kErrorInvalidParameter);  // a handle joins one port, once
      return false;
    }
    if (::CreateIoCompletionPort(file, port_, key, 1) != port_) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    handles_[file] = HandleState{key};
    registry.ports[file] = this;
    return true;
  }

  bool Read(IoHandle handle, void* buffer, uint32_t size, Overlapped* overlapped) override {
    Operation operation;
    operation.file = win::AsHandle(handle);
    operation.buffer = static_cast<unsigned char*>(buffer);
    operation.size = size;
    return Start(operation, overlapped);
  }

  bool Write(IoHandle handle, const void* buffer, uint32_t size, Overlapped* overlapped) override {
    Operation operation;
    operation.file = win::AsHandle(handle);
    // Only read from; one pointer type serves both directions.
    operation.buffer = const_cast<unsigned char*>(static_cast<const unsigned char*>(buffer));
    operation.size = size;
    operation.is_write = true;
    return Start(operation, overlapped);
  }

  bool CancelIo(IoHandle handle) override {
    std::lock_guard<std::mutex> lock(mutex_);
    HANDLE file = win::AsHandle(handle);
    if (handles_.count(file) == 0) {
      SetLastError(kErrorInvalidHandle);
      return false;
    }
    // Every operation on the handle, whichever thread started it (CancelIo
    // would reach only the calling thread's). Nothing to cancel is no error.
    if (::CancelIoEx(file, nullptr) || ::GetLastError() == ERROR_NOT_FOUND) return true;
    return false;
  }

  bool Post(uint32_t bytes, uintptr_t key, Overlapped* overlapped) override {
    return ::PostQueuedCompletionStatus(port_, bytes, key, AsNative(overlapped)) != FALSE;
  }

  bool GetCompletion(int64_t timeout_ms, Completion* completion) override {
    if (completion == nullptr || timeout_ms < -1) {
      SetLastError(kErrorInvalidParameter);
      return false;
    }
    win::Deadline deadline(timeout_ms);
    for (;;) {
      DWORD bytes = 0;
      ULONG_PTR key = 0;
      OVERLAPPED* native = nullptr;
      BOOL ok = ::GetQueuedCompletionStatus(port_, &bytes, &key, &native, deadline.NextWaitMs());
      DWORD error = ok ? 0 : ::GetLastError();
      if (!ok && native == nullptr) {
        // Nothing dequeued: the time is up (or one slice of a long wait is).
        // (A posted packet may carry no OVERLAPPED and still succeeds.)
        if (error == WAIT_TIMEOUT && !deadline.Expired()) continue;
        if (error == WAIT_TIMEOUT) SetLastError(kErrorTimeout);
        return false;
      }
      Completion result{key, FromNative(native), bytes, error};
      // Otherwise the rest of the operation was issued; its packet comes later.
      if (Finish(&result)) {
        *completion = result;
        return true;
      }
    }
  }

  // CloseIoHandle's part: forgets the handle (its outstanding operations
  // still complete, aborted, as the handle is closed). The caller holds the
  // registry's mutex.
  void Detach(HANDLE file) {
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.erase(file);
  }

 private:
  bool Start(const Operation& operation, Overlapped* overlapped) {
    if (overlapped == nullptr || operation.buffer == nullptr || operation.size == 0) {
      SetLastError(kErrorInvalidParameter);
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto handle = handles_.find(operation.file);
    if (handle == handles_.end()) {
      SetLastError(kErrorInvalidHandle);
      return false;
    }
    Overlapped*& slot = operation.is_write ? handle->second.write : handle->second.read;
    if (slot != nullptr) {
      SetLastError(kErrorInvalidParameter);  // one read and one write at a time
      return false;
    }
    // Recorded before the IO starts; the packet is handed out under this
    // lock, so it cannot overtake the record.
    Operation& recorded = operations_[overlapped];
    recorded = operation;
    if (Issue(recorded, overlapped)) {
      slot = overlapped;
      return true;
    }
    DWORD error = ::GetLastError();
    if (!operation.is_write && IsEndOfStream(error)) {
      // The peer has gone already. On Windows the read fails at once; the
      // contract has it complete, like a read the peer's close ends later.
      recorded.posted_error = kErrorBrokenPipe;
      if (::PostQueuedCompletionStatus(port_, 0, handle->second.key, AsNative(overlapped))) {
        slot = overlapped;
        return true;
      }
      error = ::GetLastError();
    }
    operations_.erase(overlapped);
    SetLastError(error);
    return false;
  }

  // Issues (the rest of) the operation. True when a packet will come.
  static bool Issue(const Operation& operation, Overlapped* overlapped) {
    OVERLAPPED* native = AsNative(overlapped);
    std::memset(native, 0, sizeof(*native));
    unsigned char* from = operation.buffer + operation.done;
    DWORD count = operation.size - operation.done;
    BOOL ok = operation.is_write ? ::WriteFile(operation.file, from, count, nullptr, native)
                                 : ::ReadFile(operation.file, from, count, nullptr, native);
    if (ok) return true;  // finished at once; the packet comes all the same
    DWORD error = ::GetLastError();
    // ERROR_MORE_DATA (a message-mode peer) is a partial success that also
    // queues a packet.
    return error == ERROR_IO_PENDING || error == ERROR_MORE_DATA;
  }

  // Turns a dequeued packet into what the caller sees (true), or issues the
  // rest of an operation that is not finished yet (false).
  bool Finish(Completion* result) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = result->overlapped ? operations_.find(result->overlapped) : operations_.end();
    if (it == operations_.end()) return true;  // a packet someone posted
    Operation& operation = it->second;
    auto handle = handles_.find(operation.file);
    bool attached = handle != handles_.end();

    if (operation.posted_error != kErrorSuccess) {
      result->error = operation.posted_error;
      result->bytes = 0;
    } else if (result->error == kErrorSuccess || result->error == ERROR_MORE_DATA) {
      result->error = kErrorSuccess;  // with ERROR_MORE_DATA the rest comes next
      bool again;
      if (operation.is_write) {
        operation.done += result->bytes;
        again = result->bytes > 0 && operation.done < operation.size;
        if (result->bytes == 0) result->error = kErrorNoData;  // no progress: never spin
        result->bytes = operation.done;
      } else {
        // An empty read is the peer's zero-byte write, not the end of the
        // stream.
        again = result->bytes == 0;
      }
      if (again) {
        if (attached && Issue(operation, result->overlapped)) return false;
        result->error = attached ? ::GetLastError() : uint32_t{kErrorOperationAborted};
      }
    } else if (operation.is_write) {
      result->bytes += operation.done;  // what the earlier parts wrote
    }
    if (!operation.is_write && result->error != kErrorSuccess) {
      result->bytes = 0;
      if (IsEndOfStream(result->error)) result->error = kErrorBrokenPipe;
    }
    if (attached) {
      Overlapped*& slot = operation.is_write ? handle->second.write : handle->second.read;
      if (slot == result->overlapped) slot = nullptr;
    }
    operations_.erase(it);
    return true;
  }

  const HANDLE port_;
  std::mutex mutex_;
  std::unordered_map<HANDLE, HandleState> handles_;
  std::unordered_map<Overlapped*, Operation> operations_;
};

}  // namespace

std::unique_ptr<CompletionPort> CompletionPort::Create() {
  // One thread (the one that calls GetCompletion) runs the port.
  HANDLE port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (port == nullptr) return nullptr;
  auto result = std::unique_ptr<CompletionPort>(new (std::nothrow) WinCompletionPort(port));
  if (result == nullptr) {
    ::CloseHandle(port);
    SetLastError(kErrorNotEnoughMemory);
  }
  return result;
}

namespace win {

void DetachFromCompletionPort(HANDLE file) {
  PortRegistry& registry = Registry();
  std::lock_guard<std::mutex> registry_lock(registry.mutex);
  auto it = registry.ports.find(file);
  if (it == registry.ports.end()) return;
  it->second->Detach(file);
  registry.ports.erase(it);
}

}  // namespace win
}  // namespace ipcbase::platform
