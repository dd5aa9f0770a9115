// POSIX only: timeouts and poll() with EINTR handled, shared by the waiting
// operations of the layer.
#ifndef IPC_BASE_PLATFORM_POSIX_WAIT_H_
#define IPC_BASE_PLATFORM_POSIX_WAIT_H_

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <cstdint>

namespace ipcbase::platform {

// A timeout given in milliseconds: -1 waits without limit, 0 only polls.
// Anything below -1 is a caller error.
inline bool IsValidTimeout(int64_t timeout_ms) { return timeout_ms >= -1; }

inline int64_t MonotonicNowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The moment a wait of timeout_ms milliseconds that starts now ends.
class Deadline {
 public:
  explicit Deadline(int64_t timeout_ms)
      : forever_(timeout_ms < 0),
        end_ns_(forever_ ? 0 : MonotonicNowNs() + ClampMs(timeout_ms) * 1000000) {}

  // The timeout for the next poll/epoll_wait call: -1 without limit, else
  // the milliseconds left, rounded up so that a wait never ends early, and
  // capped to what an int holds (the caller polls again after a cap).
  int NextPollTimeoutMs() const {
    if (forever_) return -1;
    int64_t left_ns = end_ns_ - MonotonicNowNs();
    if (left_ns <= 0) return 0;
    int64_t left_ms = (left_ns + 999999) / 1000000;
    return left_ms > INT_MAX ? INT_MAX : static_cast<int>(left_ms);
  }

  bool Expired() const { return !forever_ && MonotonicNowNs() >= end_ns_; }

 private:
  // Keeps end_ns_ from overflowing for absurdly long (but valid) timeouts.
  static int64_t ClampMs(int64_t ms) {
    constexpr int64_t kLimit = int64_t{1} << 40;  // about 35 years
    return ms > kLimit ? kLimit : ms;
  }

  bool forever_;
  int64_t end_ns_;
};

// poll() until something is ready or the deadline passes, restarting after
// EINTR with the time that is left. Returns poll's result: > 0 ready, 0
// timed out, -1 failed (errno set).
inline int PollUntil(pollfd* fds, nfds_t count, const Deadline& deadline) {
  for (;;) {
    int timeout = deadline.NextPollTimeoutMs();
    int r = poll(fds, count, timeout);
    if (r < 0 && errno == EINTR) continue;
    // A capped slice ran out, not the whole wait.
    if (r == 0 && timeout != 0 && !deadline.Expired()) continue;
    return r;
  }
}

}  // namespace ipcbase::platform

#endif  // IPC_BASE_PLATFORM_POSIX_WAIT_H_
