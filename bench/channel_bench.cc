// Channel benchmarks over the real pipe between two processes: this process
// is the sub-process (a SyncChannel with its IO thread and the listener on
// the main thread), a child process started from this same executable is
// the host (host_lib). Measured:
//   (a) asynchronous messages with a 64-byte payload from the host to the
//       listener thread, messages/s;
//   (b) the round trip of a synchronous request with a small reply
//       (ViewHostMsg_CreateIpcChannel), p50 and p99 in microseconds;
// each beside the same traffic over a raw blocking Unix-domain socket of
// the platform layer between the same two kinds of process (frames of the
// same sizes, no channel), printed at the end as ratios channel / raw.
//
//   build/bench/channel_bench
//   build/bench/channel_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/host_channel.h"
#include "host/ready_signal.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/pipe.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/test/child_process.h"
#include "ipc/base/thread.h"
#include "ipc/base/utf_string_conversions.h"
#include "ipc/base/waitable_event.h"
#include "ipc/ipc/ipc_sync_channel.h"
#include "protocol/view_messages.h"

namespace {

using Clock = std::chrono::steady_clock;
using ipcbase::platform::IoHandle;

constexpr int64_t kDeadlineMs = 30000;
constexpr int kBatch = 1000;  // messages per streamed batch
// ViewMsg_NavigateTo with a 60-character address: a 64-byte payload.
const std::string kAddress(60, 'u');
constexpr size_t kStreamFrame = 16 + 64;
// ViewHostMsg_CreateIpcChannel request (header + request id) and its reply
// with "render.1" (header + request id + string).
constexpr size_t kRequestFrame = 20;
constexpr size_t kReplyFrame = 32;

std::u16string RawPipeName(const std::string& id) {
  return u"\\\\.\\pipe\\vemo.bench." + ipcbase::UTF8ToUTF16(id);
}

// ---------------------------------------------------------------------------
// The child processes.

// The host: answers CreateIpcChannel; on DebugOutput(n, "stream") writes n
// NavigateTo messages, one write each, as a host does.
int RunChannelHost(const std::string& id, const std::string& ready_id) {
  auto host = host::HostChannel::Create(id);
  if (!host || !host::SignalReady(ready_id) || !host->Accept(kDeadlineMs)) return 1;
  host->SetSyncHandler(ViewHostMsg_CreateIpcChannel::ID, [](const IPC::Message&, IPC::Message* reply) {
    ViewHostMsg_CreateIpcChannel::WriteReplyParams(reply, std::make_tuple(std::string("render.1")));
    return true;
  });
  const ViewMsg_NavigateTo navigate(1, kAddress);
  std::unique_ptr<IPC::Message> message;
  while (host->Next(-1, &message) == host::HostChannel::ReadResult::kMessage) {
    ViewHostMsg_DebugOutput::Param p;
    if (message->type() != ViewHostMsg_DebugOutput::ID || !ViewHostMsg_DebugOutput::Read(message.get(), &p)) {
      continue;
    }
    for (int i = 0; i < std::get<0>(p); ++i) {
      if (!host->Send(navigate)) return 1;
    }
  }
  return 0;
}

// The raw peer: a 8-byte command {kind, count}: kind 1 streams count frames
// of kStreamFrame bytes; kind 2 answers count requests of kRequestFrame
// bytes with kReplyFrame bytes each.
bool ReadExactly(IoHandle stream, char* buffer, size_t size) {
  for (size_t done = 0; done < size;) {
    int64_t n = ipcbase::platform::ReadSome(stream, buffer + done,
                                            static_cast<uint32_t>(size - done), -1);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int RunRawPeer(const std::string& id, const std::string& ready_id) {
  auto server = ipcbase::platform::PipeServer::Create(RawPipeName(id));
  if (!server || !host::SignalReady(ready_id)) return 1;
  IoHandle stream = server->Accept(kDeadlineMs);
  if (stream == ipcbase::platform::kInvalidIoHandle) return 1;
  const std::string frame(kStreamFrame, 'f');
  const std::string reply(kReplyFrame, 'r');
  char request[kRequestFrame];
  uint32_t command[2];
  while (ReadExactly(stream, reinterpret_cast<char*>(command), sizeof(command))) {
    for (uint32_t i = 0; i < command[1]; ++i) {
      if (command[0] == 1) {
        if (!ipcbase::platform::WriteAll(stream, frame.data(), frame.size())) break;
      } else if (!ReadExactly(stream, request, sizeof(request)) ||
                 !ipcbase::platform::WriteAll(stream, reply.data(), reply.size())) {
        break;
      }
    }
  }
  ipcbase::platform::CloseIoHandle(stream);
  return 0;
}

// ---------------------------------------------------------------------------
// The sub-process side.

class CountingListener : public IPC::Channel::Listener {
 public:
  void OnMessageReceived(const IPC::Message& message) override {
    if (message.type() != ViewMsg_NavigateTo::ID) return;
    if (++received >= target) ipcbase::MessageLoop::current()->Quit();
  }
  void OnChannelError() override {
    failed = true;
    ipcbase::MessageLoop::current()->Quit();
  }
  int64_t received = 0;
  int64_t target = 0;
  bool failed = false;
};

struct Figures {
  double messages_per_s = 0;
  double p50_us = 0;
  double p99_us = 0;
};
Figures g_channel;
Figures g_raw;

std::unique_ptr<ipcbase::test::ChildProcess> StartChild(const char* role, const std::string& id,
                                                        const std::string& ready_id) {
  auto ready = host::ReadyWaiter::Create(ready_id);
  if (!ready) return nullptr;
  auto child = ipcbase::test::ChildProcess::Start(ipcbase::platform::ExecutablePath(),
                                                  {role, id, ready_id},
                                                  std::filesystem::current_path());
  if (!child || !ready->Wait(kDeadlineMs)) return nullptr;
  return child;
}

// Both peers, started once for the whole run.
class Peers {
 public:
  bool Start() {
    const std::string base = "bench_" + std::to_string(ipcbase::platform::CurrentProcessId());
    host_ = StartChild("--channel-host", base, base + ".host.ready");
    raw_child_ = StartChild("--raw-peer", base, base + ".raw.ready");
    if (!host_ || !raw_child_) return false;
    if (!io_thread_.StartWithOptions(ipcbase::Thread::Options())) return false;
    channel_ = std::make_unique<IPC::SyncChannel>(base, IPC::Channel::MODE_CLIENT, &listener_,
                                                  io_thread_.message_loop(), true, &shutdown_);
    raw_ = ipcbase::platform::ConnectToPipe(RawPipeName(base));
    return raw_ != ipcbase::platform::kInvalidIoHandle;
  }
  void Stop() {
    channel_.reset();
    io_thread_.Stop();
    if (raw_ != ipcbase::platform::kInvalidIoHandle) ipcbase::platform::CloseIoHandle(raw_);
    if (host_) host_->WaitForExit(kDeadlineMs);
    if (raw_child_) raw_child_->WaitForExit(kDeadlineMs);
  }

  ipcbase::MessageLoopForIO main_loop;
  CountingListener listener_;
  IPC::SyncChannel* channel() { return channel_.get(); }
  IoHandle raw() const { return raw_; }

 private:
  ipcbase::Thread io_thread_{"VemoIpc_0"};
  ipcbase::WaitableEvent shutdown_{true, false};
  std::unique_ptr<IPC::SyncChannel> channel_;
  IoHandle raw_ = ipcbase::platform::kInvalidIoHandle;
  std::unique_ptr<ipcbase::test::ChildProcess> host_;
  std::unique_ptr<ipcbase::test::ChildProcess> raw_child_;
};
Peers* g_peers = nullptr;

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void BM_ChannelAsync64(benchmark::State& state) {
  CountingListener& listener = g_peers->listener_;
  int64_t messages = 0;
  const auto start = Clock::now();
  for (auto _ : state) {
    listener.target += kBatch;
    g_peers->channel()->Send(new ViewHostMsg_DebugOutput(kBatch, "stream"));
    while (listener.received < listener.target && !listener.failed) g_peers->main_loop.Run();
    if (listener.failed) {
      state.SkipWithError("channel error");
      return;
    }
    messages += kBatch;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  state.SetItemsProcessed(messages);
  g_channel.messages_per_s = static_cast<double>(messages) / seconds;
}

void BM_RawStream64(benchmark::State& state) {
  std::vector<char> buffer(64 * 1024);
  int64_t messages = 0;
  const auto start = Clock::now();
  for (auto _ : state) {
    const uint32_t command[2] = {1, kBatch};
    if (!ipcbase::platform::WriteAll(g_peers->raw(), command, sizeof(command))) {
      state.SkipWithError("raw write failed");
      return;
    }
    for (size_t left = kBatch * kStreamFrame; left > 0;) {
      int64_t n = ipcbase::platform::ReadSome(g_peers->raw(), buffer.data(),
                                              static_cast<uint32_t>(std::min(left, buffer.size())),
                                              kDeadlineMs);
      if (n <= 0) {
        state.SkipWithError("raw read failed");
        return;
      }
      left -= static_cast<size_t>(n);
    }
    messages += kBatch;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  state.SetItemsProcessed(messages);
  g_raw.messages_per_s = static_cast<double>(messages) / seconds;
}

void BM_ChannelSyncRoundTrip(benchmark::State& state) {
  std::vector<double> us;
  for (auto _ : state) {
    std::string name;
    const auto t0 = Clock::now();
    const bool ok = g_peers->channel()->Send(new ViewHostMsg_CreateIpcChannel(name));
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    if (!ok || name != "render.1") {
      state.SkipWithError("sync send failed");
      return;
    }
  }
  g_channel.p50_us = Percentile(us, 0.50);
  g_channel.p99_us = Percentile(us, 0.99);
  state.counters["p50_us"] = g_channel.p50_us;
  state.counters["p99_us"] = g_channel.p99_us;
}

void BM_RawPingPong(benchmark::State& state) {
  std::vector<double> us;
  const std::string request(kRequestFrame, 'q');
  char reply[kReplyFrame];
  for (auto _ : state) {
    const uint32_t command[2] = {2, 1};
    const auto t0 = Clock::now();
    // The command travels with the request, in one write, like the request
    // of the channel.
    char frame[sizeof(command) + kRequestFrame];
    std::memcpy(frame, command, sizeof(command));
    std::memcpy(frame + sizeof(command), request.data(), kRequestFrame);
    if (!ipcbase::platform::WriteAll(g_peers->raw(), frame, sizeof(frame)) ||
        !ReadExactly(g_peers->raw(), reply, sizeof(reply))) {
      state.SkipWithError("raw round trip failed");
      return;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  g_raw.p50_us = Percentile(us, 0.50);
  g_raw.p99_us = Percentile(us, 0.99);
  state.counters["p50_us"] = g_raw.p50_us;
  state.counters["p99_us"] = g_raw.p99_us;
}

BENCHMARK(BM_ChannelAsync64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawStream64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChannelSyncRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RawPingPong)->Unit(benchmark::kMicrosecond)->UseRealTime();

double Ratio(double a, double b) { return b > 0 ? a / b : 0; }

void PrintRatios() {
  std::printf("\nchannel / raw socket (same sizes, same two kinds of process)\n");
  std::printf("  async 64-byte payload:  channel %.0f msg/s, raw %.0f msg/s, ratio %.2f\n",
              g_channel.messages_per_s, g_raw.messages_per_s,
              Ratio(g_channel.messages_per_s, g_raw.messages_per_s));
  std::printf("  sync round trip p50:    channel %.1f us, raw %.1f us, ratio %.2f\n",
              g_channel.p50_us, g_raw.p50_us, Ratio(g_channel.p50_us, g_raw.p50_us));
  std::printf("  sync round trip p99:    channel %.1f us, raw %.1f us, ratio %.2f\n",
              g_channel.p99_us, g_raw.p99_us, Ratio(g_channel.p99_us, g_raw.p99_us));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--channel-host") == 0) return RunChannelHost(argv[2], argv[3]);
  if (argc >= 4 && std::strcmp(argv[1], "--raw-peer") == 0) return RunRawPeer(argv[2], argv[3]);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Peers peers;
  g_peers = &peers;
  if (!peers.Start()) {
    std::fprintf(stderr, "channel_bench: cannot start the host and raw peer processes\n");
    peers.Stop();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  PrintRatios();
  peers.Stop();
  g_peers = nullptr;
  benchmark::Shutdown();
  return 0;
}
