// The embedding layer with the real headless engine: a full-screen CSS
// animation at 1280x720 and 1920x1080 (page 0), and for comparison an
// overlay-like page with a small spinner (page 1). Arguments: width,
// height, windowless_frame_rate, page.
//
// Reported per size:
//   fps              frames delivered to OnPaint per second
//   our_cpu_ms       CPU of this process per delivered frame (all threads:
//                    DevTools reader, decoder, UI thread)
//   decode_diff_ms   of that, the decoder's base64 + PNG + frame diff time
//                    per decoded frame (wall time on the decoder thread)
//   engine_cpu_ms    CPU of the engine's processes per delivered frame
//   memcpy_ms        a plain memcpy of one frame, the baseline
//   decode_ratio     decode_diff_ms / memcpy_ms
//   input_p50_ms, input_p99_ms
//                    from SendMouseMoveEvent to the OnPaint that shows the
//                    page's answer to it
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "cef/engine/engine.h"
#include "cef/include/cef_app.h"
#include "cef/include/cef_client.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchClient : public CefClient, public CefLifeSpanHandler, public CefRenderHandler {
 public:
  BenchClient(int width, int height) : width_(width), height_(height) {}
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> b) override { browser = b; }
  void OnBeforeClose(CefRefPtr<CefBrowser>) override {
    browser = nullptr;
    closed = true;
  }
  bool GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect) override {
    rect = CefRect(0, 0, width_, height_);
    return true;
  }
  void OnPaint(CefRefPtr<CefBrowser>, PaintElementType, const RectList&, const void* buffer,
               int width, int height) override {
    ++paints;
    frame_width = width;
    frame_height = height;
    // The marker pixel at (4, 4), as B G R A.
    const uint8_t* p = static_cast<const uint8_t*>(buffer) + (4 * width + 4) * 4;
    marker = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  }

  CefRefPtr<CefBrowser> browser;
  bool closed = false;
  int paints = 0;
  int frame_width = 0;
  int frame_height = 0;
  uint32_t marker = 0;

 private:
  int width_;
  int height_;
  IMPLEMENT_REFCOUNTING(BenchClient);
};

// The page beside this source tree (the bench binary has no other way to
// find it).
std::string BenchPageUrl(int page) {
  std::string source = __FILE__;
  return "file://" + source.substr(0, source.rfind("/bench/")) + "/tests/e2e/pages/" +
         (page == 0 ? "bench.html" : "bench_small.html");
}

template <typename Pred>
bool Pump(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    CefDoMessageLoopWork();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

void BM_EngineAnimation(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int rate = static_cast<int>(state.range(2));
  const int page = static_cast<int>(state.range(3));
  CefSettings settings;
  settings.no_sandbox = 1;
  settings.windowless_rendering_enabled = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  if (!CefInitialize(CefMainArgs(), settings, nullptr, nullptr)) {
    state.SkipWithError("engine did not start");
    return;
  }
  CefRefPtr<BenchClient> client = new BenchClient(width, height);
  CefWindowInfo info;
  info.SetAsWindowless(0, true);
  CefBrowserSettings browser_settings;
  browser_settings.windowless_frame_rate = rate;
  CefBrowserHost::CreateBrowser(info, client.get(), BenchPageUrl(page), browser_settings, nullptr);
  if (!Pump([&] { return client->paints > 10; })) {
    state.SkipWithError("no paints");
    CefShutdown();
    return;
  }
  cef_engine::Engine* engine = cef_engine::Engine::Get();

  for (auto _ : state) {
    // Throughput: a steady stretch of the animation.
    const auto stats0 = engine->frame_stats();
    const int paints0 = client->paints;
    const std::clock_t our0 = std::clock();
    const double engine0 = engine->engine_cpu_seconds();
    const auto t0 = Clock::now();
    Pump([&] { return Clock::now() - t0 >= std::chrono::seconds(5); }, std::chrono::seconds(6));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const int frames = client->paints - paints0;
    const double our_cpu = static_cast<double>(std::clock() - our0) / CLOCKS_PER_SEC;
    const double engine_cpu = engine->engine_cpu_seconds() - engine0;
    const auto stats1 = engine->frame_stats();
    const uint64_t decoded = stats1.frames_decoded - stats0.frames_decoded;
    const double decode_diff_ms =
        decoded ? static_cast<double>((stats1.decode_ns - stats0.decode_ns) +
                                      (stats1.diff_ns - stats0.diff_ns)) /
                      1e6 / static_cast<double>(decoded)
                : 0;

    // Input latency: each move flips the marker; wait for the paint that
    // shows the new colour.
    std::vector<double> latencies;
    CefMouseEvent at;
    at.y = 300;
    for (int i = 0; i < 60; ++i) {
      at.x = 100 + i;
      const uint32_t want = (at.x % 2) ? 0xFFFFFFFFu : 0x0000FFFFu;
      const auto sent = Clock::now();
      client->browser->GetHost()->SendMouseMoveEvent(at, false);
      if (!Pump([&] { return client->marker == want; }, std::chrono::seconds(5))) continue;
      latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }

    // Baseline: one plain copy of a frame of this size.
    std::vector<uint8_t> a(static_cast<size_t>(width) * height * 4, 1), b(a.size());
    const auto m0 = Clock::now();
    constexpr int kCopies = 200;
    for (int i = 0; i < kCopies; ++i) {
      std::memcpy(b.data(), a.data(), a.size());
      benchmark::DoNotOptimize(b.data());
      a[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
    const double memcpy_ms =
        std::chrono::duration<double, std::milli>(Clock::now() - m0).count() / kCopies;

    state.counters["fps"] = frames / seconds;
    state.counters["our_cpu_ms"] = frames ? our_cpu * 1e3 / frames : 0;
    state.counters["decode_diff_ms"] = decode_diff_ms;
    state.counters["engine_cpu_ms"] = frames ? engine_cpu * 1e3 / frames : 0;
    state.counters["memcpy_ms"] = memcpy_ms;
    state.counters["decode_ratio"] = memcpy_ms > 0 ? decode_diff_ms / memcpy_ms : 0;
    state.counters["input_p50_ms"] = Percentile(latencies, 0.50);
    state.counters["input_p99_ms"] = Percentile(latencies, 0.99);
    state.counters["input_samples"] = static_cast<double>(latencies.size());
    state.counters["frame_w"] = client->frame_width;
    state.counters["dropped_undecoded"] =
        static_cast<double>(stats1.frames_replaced - stats0.frames_replaced);
  }
  client->browser->GetHost()->CloseBrowser(true);
  Pump([&] { return client->closed; });
  CefShutdown();
}

BENCHMARK(BM_EngineAnimation)
    ->Args({1280, 720, 60, 0})
    ->Args({1920, 1080, 60, 0})
    ->Args({1280, 720, 30, 0})
    ->Args({1280, 720, 60, 1})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
