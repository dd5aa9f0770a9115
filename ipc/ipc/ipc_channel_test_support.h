// Helpers shared by the channel tests: unique channel ids, a thread-safe
// record of listener calls that tests wait on with a deadline, and captured
// log lines.
#ifndef IPC_IPC_IPC_CHANNEL_TEST_SUPPORT_H_
#define IPC_IPC_IPC_CHANNEL_TEST_SUPPORT_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ipc/base/logging.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/task.h"
#include "ipc/ipc/ipc_channel.h"
#include "ipc/ipc/ipc_message.h"

namespace IPC::test {

// How long a test waits for something it expects before it fails. Reaching
// it means the awaited thing is not coming.
inline constexpr int64_t kDeadlineMs = 30000;

// A channel id no other test (or concurrent test process) uses.
inline std::string UniqueChannelId(const char* what) {
  static std::atomic<int> counter{0};
  return "ipc_test_" + std::to_string(ipcbase::platform::CurrentProcessId()) + "_" +
         std::to_string(counter.fetch_add(1)) + "_" + what;
}

// What a listener heard, in order; any thread adds, any thread waits.
class EventLog {
 public:
  void Add(std::string event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }
  std::vector<std::string> events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  size_t Count(const std::string& event) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const std::string& e : events_) n += e == event ? 1 : 0;
    return n;
  }
  // Waits until at least `n` events are recorded; false at the deadline.
  bool WaitForCount(size_t n) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kDeadlineMs),
                             [&] { return events_.size() >= n; });
  }
  bool WaitFor(const std::string& event) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kDeadlineMs), [&] {
      for (const std::string& e : events_) {
        if (e == event) return true;
      }
      return false;
    });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> events_;
};

// "message:<type hex>:<routing>:<size>" for a received message.
inline std::string Describe(const Message& message) {
  char text[64];
  std::snprintf(text, sizeof(text), "message:%x:%d:%zu", message.type(), message.routing_id(),
                message.size());
  return text;
}

// A listener that records every call.
class RecordingListener : public Channel::Listener {
 public:
  explicit RecordingListener(EventLog* log) : log_(log) {}
  void OnMessageReceived(const Message& message) override {
    if (on_message) on_message(message);
    log_->Add(Describe(message));
  }
  void OnChannelConnected(int32_t peer_pid) override {
    log_->Add("connected:" + std::to_string(peer_pid));
  }
  void OnChannelError() override { log_->Add("error"); }

  // Called first for each message (the message is valid during the call).
  std::function<void(const Message&)> on_message;

 private:
  EventLog* log_;
};

// Captures every log line written while it exists (one at a time).
class ScopedLogCapture {
 public:
  ScopedLogCapture() {
    Lines().clear();
    logging::SetLogObserverForTesting(&Observe);
  }
  ~ScopedLogCapture() { logging::SetLogObserverForTesting(nullptr); }
  // The captured lines that contain `text`.
  std::vector<std::string> Matching(const std::string& text) const {
    std::lock_guard<std::mutex> lock(Mutex());
    std::vector<std::string> found;
    for (const std::string& line : Lines()) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static void Observe(logging::LogSeverity, const std::string& line) {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().push_back(line);
  }
};

// Runs `function` on `loop`'s thread and waits until it has run.
inline void RunOn(ipcbase::MessageLoop* loop, std::function<void()> function) {
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
  loop->PostTask(ipcbase::NewFunctionTask([&] {
    function();
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    done_cv.notify_all();
  }));
  std::unique_lock<std::mutex> lock(mutex);
  done_cv.wait(lock, [&] { return done; });
}

// Runs the calling thread's loop until `condition` holds or the deadline
// passes; false at the deadline. Whatever may make the condition true must
// post a task to this loop (listener calls arrive as tasks).
inline bool RunLoopUntil(const std::function<bool()>& condition) {
  ipcbase::MessageLoop* loop = ipcbase::MessageLoop::current();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Wakes the loop again soon, so the deadline is looked at even when
    // nothing arrives.
    loop->PostDelayedTask(ipcbase::NewFunctionTask([loop] { loop->Quit(); }), 10);
    loop->Run();
  }
  return true;
}

}  // namespace IPC::test

#endif  // IPC_IPC_IPC_CHANNEL_TEST_SUPPORT_H_
