// Encode and decode throughput of the wire format, beside a plain memcpy of
// the same bytes.
//
//   window message: ViewMsg_MouseMoved (the most frequent message, 40 bytes)
//   tile list:      ViewMsg_CreateWindow for 1920x1080 in 16x16 tiles,
//                   120 x 68 = 8160 tiles (130 KiB)
//
// Encode builds the message (allocation and writes); decode reads a view over
// the serialized bytes into the parameter tuple, as a receiver does; the
// baseline copies the serialized bytes into a buffer allocated once. After the
// runs, each encode and decode time is printed as a multiple of its baseline.
//
//   build/bench/wire_bench [--benchmark_repetitions=5] [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "protocol/view_messages.h"

namespace {

constexpr int32_t kRoutingId = 5;

ViewMsg_Tile_Params FullHdTiles() {
  ViewMsg_Tile_Params params;
  for (int y = 0; y < 68; ++y) {
    for (int x = 0; x < 120; ++x) params.tiles.push_back(TileRect{x * 16, y * 16, 16, 16});
  }
  return params;
}

const ViewMsg_Tile_Params& Tiles() {
  static const ViewMsg_Tile_Params tiles = FullHdTiles();
  return tiles;
}

std::string Serialized(const IPC::Message& m) { return std::string(m.data(), m.size()); }

std::string WindowMessageBytes() {
  return Serialized(ViewMsg_MouseMoved(kRoutingId, 0x200, 0, 0x01230456));
}

std::string TileListBytes() {
  return Serialized(ViewMsg_CreateWindow(kRoutingId, 1920, 1080, 1.0f, Tiles(), "vemo_shm_5"));
}

void SetCounters(benchmark::State& state, size_t bytes) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
  state.counters["msg_bytes"] = static_cast<double>(bytes);
}

void BM_WindowMessage_Encode(benchmark::State& state) {
  uint64_t lparam = 0;
  for (auto _ : state) {
    ViewMsg_MouseMoved m(kRoutingId, 0x200, 0, ++lparam);
    benchmark::DoNotOptimize(m.data());
  }
  SetCounters(state, WindowMessageBytes().size());
}

void BM_WindowMessage_Decode(benchmark::State& state) {
  const std::string bytes = WindowMessageBytes();
  for (auto _ : state) {
    IPC::Message view(bytes.data(), static_cast<int>(bytes.size()));
    ViewMsg_MouseMoved::Param p;
    bool ok = ViewMsg_MouseMoved::Read(&view, &p);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(p);
  }
  SetCounters(state, bytes.size());
}

void BM_WindowMessage_Memcpy(benchmark::State& state) {
  const std::string bytes = WindowMessageBytes();
  std::vector<char> dest(bytes.size());
  for (auto _ : state) {
    std::memcpy(dest.data(), bytes.data(), bytes.size());
    benchmark::ClobberMemory();
  }
  SetCounters(state, bytes.size());
}

void BM_TileList_Encode(benchmark::State& state) {
  const ViewMsg_Tile_Params& tiles = Tiles();
  for (auto _ : state) {
    ViewMsg_CreateWindow m(kRoutingId, 1920, 1080, 1.0f, tiles, "vemo_shm_5");
    benchmark::DoNotOptimize(m.data());
  }
  SetCounters(state, TileListBytes().size());
}

void BM_TileList_Decode(benchmark::State& state) {
  const std::string bytes = TileListBytes();
  for (auto _ : state) {
    IPC::Message view(bytes.data(), static_cast<int>(bytes.size()));
    ViewMsg_CreateWindow::Param p;
    bool ok = ViewMsg_CreateWindow::Read(&view, &p);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(std::get<4>(p).tiles.data());
  }
  SetCounters(state, bytes.size());
}

void BM_TileList_Memcpy(benchmark::State& state) {
  const std::string bytes = TileListBytes();
  std::vector<char> dest(bytes.size());
  for (auto _ : state) {
    std::memcpy(dest.data(), bytes.data(), bytes.size());
    benchmark::ClobberMemory();
  }
  SetCounters(state, bytes.size());
}

BENCHMARK(BM_WindowMessage_Encode);
BENCHMARK(BM_WindowMessage_Decode);
BENCHMARK(BM_WindowMessage_Memcpy);
BENCHMARK(BM_TileList_Encode);
BENCHMARK(BM_TileList_Decode);
BENCHMARK(BM_TileList_Memcpy);

// Keeps the CPU time per iteration of every run for the ratios (CPU rather
// than wall time, so that other load on the machine does not skew them).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions the median stands for the benchmark.
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        times_[name] = run.GetAdjustedCPUTime();
        medians_.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
        times_[name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nCPU time per message as a multiple of memcpy of the same bytes:\n");
    for (const char* subject : {"BM_WindowMessage", "BM_TileList"}) {
      const std::string base = std::string(subject) + "_Memcpy";
      const auto baseline = times_.find(base);
      if (baseline == times_.end() || baseline->second <= 0) continue;
      for (const char* op : {"_Encode", "_Decode"}) {
        const auto it = times_.find(std::string(subject) + op);
        if (it == times_.end()) continue;
        std::printf("  %-26s %8.1fx\n", it->first.c_str(), it->second / baseline->second);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
