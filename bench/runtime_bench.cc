// Runtime benchmarks: cross-thread task throughput and the wake-up latency of
// a sleeping IO loop, each beside a plain mutex + condition-variable queue
// doing the same work, reported as counters with the ratio ours / baseline.
//
//   build/bench/runtime_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ipc/base/message_loop.h"
#include "ipc/base/thread.h"
#include "ipc/base/waitable_event.h"

namespace {

using Clock = std::chrono::steady_clock;

// The baseline: one consumer thread draining a locked deque of callables.
class MutexCondQueue {
 public:
  MutexCondQueue() : consumer_([this] { Consume(); }) {}
  ~MutexCondQueue() {
    Post(nullptr);
    consumer_.join();
  }
  // A null function stops the consumer.
  void Post(std::function<void()> f) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      queue_.push_back(std::move(f));
    }
    cv_.notify_one();
  }

 private:
  void Consume() {
    for (;;) {
      std::function<void()> f;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        cv_.wait(hold, [this] { return !queue_.empty(); });
        f = std::move(queue_.front());
        queue_.pop_front();
      }
      if (!f) return;
      f();
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  std::thread consumer_;
};

// A task that counts down and signals when the batch is done; a plain
// subclass, so the measured cost is the loop's, not std::function's.
class CountdownTask : public ipcbase::Task {
 public:
  CountdownTask(int* remaining, ipcbase::WaitableEvent* done) : remaining_(remaining), done_(done) {}
  void Run() override {
    if (--*remaining_ == 0) done_->Signal();
  }

 private:
  int* remaining_;
  ipcbase::WaitableEvent* done_;
};

constexpr int kBatch = 100000;

double OursTasksPerSecond(ipcbase::Thread& thread) {
  int remaining = kBatch;
  ipcbase::WaitableEvent done(false, false);
  ipcbase::MessageLoop* loop = thread.message_loop();
  auto start = Clock::now();
  for (int i = 0; i < kBatch; ++i) loop->PostTask(new CountdownTask(&remaining, &done));
  done.Wait();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return kBatch / seconds;
}

double BaselineTasksPerSecond(MutexCondQueue& queue) {
  int remaining = kBatch;
  std::mutex m;
  std::condition_variable cv;
  bool finished = false;
  auto start = Clock::now();
  for (int i = 0; i < kBatch; ++i) {
    queue.Post([&] {
      if (--remaining == 0) {
        std::lock_guard<std::mutex> hold(m);
        finished = true;
        cv.notify_one();
      }
    });
  }
  std::unique_lock<std::mutex> hold(m);
  cv.wait(hold, [&] { return finished; });
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return kBatch / seconds;
}

void BM_CrossThreadPostTaskThroughput(benchmark::State& state) {
  ipcbase::Thread thread("bench-io");
  thread.Start();
  MutexCondQueue baseline;
  double ours = 0, base = 0;
  for (auto _ : state) {
    ours += OursTasksPerSecond(thread);
    base += BaselineTasksPerSecond(baseline);
  }
  double n = static_cast<double>(state.iterations());
  state.counters["ours_tasks_per_s"] = ours / n;
  state.counters["mutex_cv_tasks_per_s"] = base / n;
  state.counters["ratio"] = ours / base;
  thread.Stop();
}
BENCHMARK(BM_CrossThreadPostTaskThroughput)->Unit(benchmark::kMillisecond)->Iterations(10);

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * (v.size() - 1))];
}

constexpr int kSamples = 2000;
// Long enough for the loop to be back asleep in its kernel wait.
constexpr auto kIdleGap = std::chrono::microseconds(200);

void BM_SleepingLoopWakeUpLatency(benchmark::State& state) {
  ipcbase::Thread thread("bench-io");
  thread.Start();
  MutexCondQueue baseline;
  std::vector<double> ours, base;
  for (auto _ : state) {
    for (int i = 0; i < kSamples; ++i) {
      std::this_thread::sleep_for(kIdleGap);
      ipcbase::WaitableEvent ran(false, false);
      Clock::time_point started;
      auto posted = Clock::now();
      thread.message_loop()->PostTask(ipcbase::NewFunctionTask([&] {
        started = Clock::now();
        ran.Signal();
      }));
      ran.Wait();
      ours.push_back(std::chrono::duration<double, std::micro>(started - posted).count());

      std::this_thread::sleep_for(kIdleGap);
      std::mutex m;
      std::condition_variable cv;
      bool done = false;
      Clock::time_point base_started;
      auto base_posted = Clock::now();
      baseline.Post([&] {
        base_started = Clock::now();
        std::lock_guard<std::mutex> hold(m);
        done = true;
        cv.notify_one();
      });
      std::unique_lock<std::mutex> hold(m);
      cv.wait(hold, [&] { return done; });
      base.push_back(std::chrono::duration<double, std::micro>(base_started - base_posted).count());
    }
  }
  state.counters["ours_p50_us"] = Percentile(ours, 0.50);
  state.counters["ours_p99_us"] = Percentile(ours, 0.99);
  state.counters["mutex_cv_p50_us"] = Percentile(base, 0.50);
  state.counters["mutex_cv_p99_us"] = Percentile(base, 0.99);
  state.counters["ratio_p50"] = Percentile(ours, 0.50) / Percentile(base, 0.50);
  state.counters["ratio_p99"] = Percentile(ours, 0.99) / Percentile(base, 0.99);
  thread.Stop();
}
BENCHMARK(BM_SleepingLoopWakeUpLatency)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
