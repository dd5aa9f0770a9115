// Helpers shared by the platform layer's tests.
#ifndef IPC_BASE_PLATFORM_PLATFORM_TEST_UTIL_H_
#define IPC_BASE_PLATFORM_PLATFORM_TEST_UTIL_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "ipc/base/platform/event.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/utf_string_conversions.h"

namespace ipcbase::platform::test {

// How long a test waits for something it expects before it fails. Generous:
// reaching it means the awaited thing is not coming.
inline constexpr int64_t kDeadlineMs = 30000;

// Owns an event for the length of a scope.
class ScopedEvent {
 public:
  ScopedEvent(bool manual_reset, bool initially_signaled)
      : handle_(CreateEvent(manual_reset, initially_signaled)) {}
  ~ScopedEvent() { CloseEvent(handle_); }
  ScopedEvent(const ScopedEvent&) = delete;
  ScopedEvent& operator=(const ScopedEvent&) = delete;
  EventHandle get() const { return handle_; }

 private:
  EventHandle handle_;
};

// Owns both ends of a stream pair.
class ScopedStreamPair {
 public:
  ScopedStreamPair() { ok_ = CreateStreamPair(&first_, &second_); }
  ~ScopedStreamPair() {
    CloseFirst();
    CloseSecond();
  }
  ScopedStreamPair(const ScopedStreamPair&) = delete;
  ScopedStreamPair& operator=(const ScopedStreamPair&) = delete;
  bool ok() const { return ok_; }
  IoHandle first() const { return first_; }
  IoHandle second() const { return second_; }
  bool CloseFirst() { return Close(&first_); }
  bool CloseSecond() { return Close(&second_); }

 private:
  static bool Close(IoHandle* handle) {
    if (*handle == kInvalidIoHandle) return true;
    bool closed = CloseIoHandle(*handle);
    *handle = kInvalidIoHandle;
    return closed;
  }
  bool ok_ = false;
  IoHandle first_ = kInvalidIoHandle;
  IoHandle second_ = kInvalidIoHandle;
};

// A pipe name no other test (or concurrent test process) uses.
inline std::u16string UniquePipeName(const char* what) {
  static std::atomic<int> counter{0};
  std::string id = "chrome.ipcbase_test_" + std::to_string(CurrentProcessId()) + "_" +
                   std::to_string(counter.fetch_add(1)) + "_" + what;
  return u"\\\\.\\pipe\\" + UTF8ToUTF16(id);
}

}  // namespace ipcbase::platform::test

#endif  // IPC_BASE_PLATFORM_PLATFORM_TEST_UTIL_H_
