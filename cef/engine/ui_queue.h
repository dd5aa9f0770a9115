// Work for the UI thread, posted from any thread and run inside
// CefDoMessageLoopWork in the order posted.
#ifndef CEF_ENGINE_UI_QUEUE_H_
#define CEF_ENGINE_UI_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace cef_engine {

class UiQueue {
 public:
  void Post(std::function<void()> task) {
    std::lock_guard<std::mutex> hold(lock_);
    tasks_.push_back(std::move(task));
    wake_.notify_all();
  }

  // Runs what was posted before the call (work posted while running waits
  // for the next call); returns how many tasks ran.
  size_t RunPending() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> hold(lock_);
      tasks.swap(tasks_);
    }
    for (auto& task : tasks) task();
    return tasks.size();
  }

  // Waits until something is posted or the deadline passes.
  void WaitForWork(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait_until(hold, deadline, [this] { return !tasks_.empty(); });
  }

  // Drops what is queued without running it.
  void Clear() {
    std::deque<std::function<void()>> tasks;
    std::lock_guard<std::mutex> hold(lock_);
    tasks.swap(tasks_);
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace cef_engine

#endif  // CEF_ENGINE_UI_QUEUE_H_
