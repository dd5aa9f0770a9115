// Windows only: <windows.h> the way the platform layer's *_win.cc files
// include it, and the few helpers they share.
#ifndef IPC_BASE_PLATFORM_WINDOWS_WIN_H_
#define IPC_BASE_PLATFORM_WINDOWS_WIN_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// <wingdi.h> would define ERROR as 0, which breaks LOG(ERROR).
#ifndef NOGDI
#define NOGDI
#endif
#include <windows.h>

// <windows.h> maps CreateEvent to CreateEventA/W; the layer has a function of
// its own by that name.
#undef CreateEvent

#include <cstdint>
#include <string>

#include "ipc/base/platform/io_handle.h"

namespace ipcbase::platform::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is UTF-16");

// The layer's UTF-16 strings are what the W functions take.
inline const wchar_t* AsWide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

static_assert(sizeof(IoHandle) == sizeof(HANDLE), "an IoHandle holds a HANDLE");

inline HANDLE AsHandle(IoHandle handle) { return reinterpret_cast<HANDLE>(handle); }
inline IoHandle AsIoHandle(HANDLE handle) { return reinterpret_cast<IoHandle>(handle); }

// If the handle belongs to a completion port, makes the port forget it, so
// that a later handle with the same value is never taken for this one.
// CloseIoHandle calls it before the handle is closed.
void DetachFromCompletionPort(HANDLE file);

// The end of a wait of timeout_ms milliseconds (-1: none) that starts now,
// for waits that may have to be resumed. Timeouts beyond what one Windows
// wait takes are waited in slices.
class Deadline {
 public:
  explicit Deadline(int64_t timeout_ms)
      : forever_(timeout_ms < 0),
        end_ms_(forever_ ? 0 : ::GetTickCount64() + static_cast<uint64_t>(timeout_ms)) {}

  // The timeout for the next wait call: INFINITE without a deadline, else
  // the milliseconds left (0 once expired), at most one slice.
  DWORD NextWaitMs() const {
    if (forever_) return INFINITE;
    uint64_t now = ::GetTickCount64();
    if (now >= end_ms_) return 0;
    uint64_t left = end_ms_ - now;
    return left < INFINITE ? static_cast<DWORD>(left) : INFINITE - 1;
  }

  bool Expired() const { return !forever_ && ::GetTickCount64() >= end_ms_; }

 private:
  bool forever_;
  uint64_t end_ms_;
};

// An event handle closed at the end of the scope.
class ScopedEvent {
 public:
  // A manual-reset, unsignalled event; check valid().
  ScopedEvent() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~ScopedEvent() {
    if (event_) ::CloseHandle(event_);
  }
  ScopedEvent(const ScopedEvent&) = delete;
  ScopedEvent& operator=(const ScopedEvent&) = delete;

  bool valid() const { return event_ != nullptr; }
  HANDLE get() const { return event_; }
  // The event as an OVERLAPPED's hEvent that also keeps the operation's
  // completion out of any IO completion port the handle belongs to (the low
  // bit asks for that), so that a private wait never leaks a packet.
  HANDLE ForPrivateOverlapped() const {
    return reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(event_) | 1);
  }

 private:
  HANDLE event_;
};

}  // namespace ipcbase::platform::win

#endif  // IPC_BASE_PLATFORM_WINDOWS_WIN_H_
