#include "ipc/base/platform/clock.h"

#include "ipc/base/platform/windows_win.h"
#include <timeapi.h>

namespace ipcbase::platform {

uint32_t TickCountMs() {
  // The default timer resolution is kept: the process never changes it.
  return ::timeGetTime();
}

uint64_t SystemTimeAsFileTime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

LocalTimeFields LocalTimeNow() {
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  return LocalTimeFields{local.wYear, local.wMonth,  local.wDay,
                         local.wHour, local.wMinute, local.wSecond};
}

}  // namespace ipcbase::platform
