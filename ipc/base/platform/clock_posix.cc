#include "ipc/base/platform/clock.h"

#include <ctime>

namespace ipcbase::platform {

uint32_t TickCountMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);  // wraps like timeGetTime
}

uint64_t SystemTimeAsFileTime() {
  // 11644473600 s lie between 1601-01-01 and the Unix epoch.
  constexpr uint64_t kEpochDelta100ns = 11644473600ull * 10000000ull;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return kEpochDelta100ns + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
         static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

LocalTimeFields LocalTimeNow() {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return LocalTimeFields{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace ipcbase::platform
