// The two clocks the runtime reads.
#ifndef IPC_BASE_PLATFORM_CLOCK_H_
#define IPC_BASE_PLATFORM_CLOCK_H_

#include <cstdint>

namespace ipcbase::platform {

// Milliseconds since an arbitrary start (boot), as 32 bits that wrap after
// about 49.7 days: timeGetTime's contract. Monotonic.
uint32_t TickCountMs();

// Wall clock in 100-nanosecond units since 1601-01-01 00:00 UTC
// (GetSystemTimeAsFileTime).
uint64_t SystemTimeAsFileTime();

// The local calendar time of one moment, for log prefixes.
struct LocalTimeFields {
  int year;
  int month;   // 1..12
  int day;     // 1..31
  int hour;    // 0..23
  int minute;  // 0..59
  int second;  // 0..60
};

// The local date and time now.
LocalTimeFields LocalTimeNow();

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_CLOCK_H_
