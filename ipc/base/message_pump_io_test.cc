#include "ipc/base/message_pump_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/message_loop.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/io_handle.h"

namespace ipcbase {
namespace {

using IOContext = MessagePumpForIO::IOContext;

// A connected stream pair whose first end is registered with a loop.
class StreamPair {
 public:
  StreamPair() { EXPECT_TRUE(platform::CreateStreamPair(&mine_, &peer_)); }
  ~StreamPair() {
    if (mine_ != platform::kInvalidIoHandle) platform::CloseIoHandle(mine_);
    if (peer_ != platform::kInvalidIoHandle) platform::CloseIoHandle(peer_);
  }
  platform::IoHandle mine() const { return mine_; }
  void PeerWrites(const std::string& bytes) {
    ASSERT_TRUE(platform::WriteAll(peer_, bytes.data(), bytes.size()));
  }

 private:
  platform::IoHandle mine_ = platform::kInvalidIoHandle;
  platform::IoHandle peer_ = platform::kInvalidIoHandle;
};

struct Delivery {
  std::string handler;
  IOContext* context;
  uint32_t bytes;
  uint32_t error;
};

class RecordingHandler : public MessagePumpForIO::IOHandler {
 public:
  RecordingHandler(std::string name, std::vector<Delivery>* log) : name_(std::move(name)), log_(log) {}
  void OnIOCompleted(IOContext* context, uint32_t bytes, uint32_t error) override {
    log_->push_back({name_, context, bytes, error});
    if (on_completed) on_completed();
  }
  std::function<void()> on_completed;
  char buffer[64];
  IOContext context{};

 private:
  std::string name_;
  std::vector<Delivery>* log_;
};

TEST(MessagePumpForIOTest, ABurstOfScheduleWorkPostsOneWakeUpPacket) {
  scoped_refptr<MessagePumpForIO> pump = new MessagePumpForIO();
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) pump->ScheduleWork();
    });
  }
  for (auto& p : posters) p.join();
  EXPECT_TRUE(pump->WaitForIOCompletion(0, nullptr));   // the one packet
  EXPECT_FALSE(pump->WaitForIOCompletion(0, nullptr));  // and no second
  // Dequeuing it re-armed the flag: the next ScheduleWork posts again.
  pump->ScheduleWork();
  EXPECT_TRUE(pump->WaitForIOCompletion(0, nullptr));
  EXPECT_FALSE(pump->WaitForIOCompletion(0, nullptr));
}

TEST(MessagePumpForIOTest, CurrentDelayIsRoundedUpAndNeverNegative) {
  scoped_refptr<MessagePumpForIO> pump = new MessagePumpForIO();
  EXPECT_EQ(pump->GetCurrentDelay(), -1);
  pump->ScheduleDelayedWork(Time::Now() - TimeDelta::FromMilliseconds(50));
  EXPECT_EQ(pump->GetCurrentDelay(), 0);
  pump->ScheduleDelayedWork(Time::Now() + TimeDelta::FromMicroseconds(100500));
  int64_t delay = pump->GetCurrentDelay();
  // 100.5 ms ahead rounds up to 101 (100 once a millisecond tick passed).
  EXPECT_GE(delay, 100);
  EXPECT_LE(delay, 101);
}

TEST(MessagePumpForIOTest, FilteredWaitKeepsOtherCompletionsInArrivalOrder) {
  MessageLoopForIO loop;
  std::vector<Delivery> log;
  StreamPair a, b, c;
  RecordingHandler ha("a", &log), hb("b", &log), hc("c", &log);
  loop.RegisterIOHandler(a.mine(), &ha);
  loop.RegisterIOHandler(b.mine(), &hb);
  loop.RegisterIOHandler(c.mine(), &hc);
  a.PeerWrites("1");
  c.PeerWrites("333");
  b.PeerWrites("22");
  ASSERT_TRUE(loop.StartRead(a.mine(), ha.buffer, sizeof(ha.buffer), &ha.context));
  ASSERT_TRUE(loop.StartRead(c.mine(), hc.buffer, sizeof(hc.buffer), &hc.context));
  ASSERT_TRUE(loop.StartRead(b.mine(), hb.buffer, sizeof(hb.buffer), &hb.context));

  // Waiting for b delivers only b; a and c are saved as they come by.
  while (log.empty()) ASSERT_TRUE(loop.WaitForIOCompletion(30000, &hb));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].handler, "b");
  EXPECT_EQ(log[0].bytes, 2u);
  EXPECT_EQ(log[0].context, &hb.context);

  // Saved completions come out before new ones, in the order they arrived.
  ASSERT_TRUE(loop.WaitForIOCompletion(30000, nullptr));
  ASSERT_TRUE(loop.WaitForIOCompletion(30000, nullptr));
  ASSERT_EQ(log.size(), 3u);
  std::vector<std::string> rest = {log[1].handler, log[2].handler};
  std::sort(rest.begin(), rest.end());
  EXPECT_EQ(rest, (std::vector<std::string>{"a", "c"}));
  EXPECT_FALSE(loop.WaitForIOCompletion(0, nullptr));
}

TEST(MessagePumpForIOTest, ACancelledReadIsDeliveredWithZeroBytesAndTheError) {
  MessageLoopForIO loop;
  std::vector<Delivery> log;
  StreamPair s;
  RecordingHandler h("h", &log);
  loop.RegisterIOHandler(s.mine(), &h);
  ASSERT_TRUE(loop.StartRead(s.mine(), h.buffer, sizeof(h.buffer), &h.context));
  ASSERT_TRUE(loop.CancelIo(s.mine()));
  ASSERT_TRUE(loop.WaitForIOCompletion(30000, &h));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].context, &h.context);
  EXPECT_EQ(log[0].bytes, 0u);
  EXPECT_EQ(log[0].error, platform::kErrorOperationAborted);
}

TEST(MessagePumpForIOTest, QuitNowFromATaskEndsTheRunBeforeTheSameIterationsIOPoll) {
  MessageLoopForIO loop;
  std::vector<Delivery> log;
  StreamPair s;
  RecordingHandler h("h", &log);
  loop.RegisterIOHandler(s.mine(), &h);
  s.PeerWrites("x");
  ASSERT_TRUE(loop.StartRead(s.mine(), h.buffer, sizeof(h.buffer), &h.context));
  // Let the completion reach the port first: a wait filtered for another
  // handler keeps it for later.
  RecordingHandler nobody("nobody", &log);
  ASSERT_TRUE(loop.WaitForIOCompletion(30000, &nobody));
  loop.PostTask(NewFunctionTask([&] { loop.QuitNow(); }));
  loop.Run();
  EXPECT_TRUE(log.empty());
  loop.RunAllPending();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].bytes, 1u);
}

TEST(MessagePumpForIOTest, ABacklogOfTasksDoesNotHoldBackIOCompletions) {
  MessageLoopForIO loop;
  std::vector<Delivery> log;
  StreamPair s;
  RecordingHandler h("h", &log);
  loop.RegisterIOHandler(s.mine(), &h);
  h.on_completed = [&] { loop.QuitNow(); };
  std::function<void()> again = [&] { loop.PostTask(NewFunctionTask(again)); };
  loop.PostTask(NewFunctionTask(again));
  ASSERT_TRUE(loop.StartRead(s.mine(), h.buffer, sizeof(h.buffer), &h.context));
  s.PeerWrites("x");
  loop.Run();  // returns only if the completion got its turn
  EXPECT_EQ(log.size(), 1u);
}

TEST(MessagePumpForIOTest, NonNestableTaskWaitsForTheOuterRunLevel) {
  MessageLoopForIO loop;
  std::vector<Delivery> io_log;
  std::vector<std::string> log;
  StreamPair s;
  RecordingHandler h("h", &io_log);
  loop.RegisterIOHandler(s.mine(), &h);
  // An IO handler is not a task, so a run nested in it does run tasks, at
  // depth 2: nestable ones only.
  h.on_completed = [&] {
    loop.PostNonNestableTask(NewFunctionTask([&] { log.push_back("non-nestable"); }));
    loop.PostTask(NewFunctionTask([&] { log.push_back("nestable"); }));
    loop.RunAllPending();
    log.push_back("nested-run-returned");
    loop.Quit();  // the outer run: it still runs its ready work first
  };
  ASSERT_TRUE(loop.StartRead(s.mine(), h.buffer, sizeof(h.buffer), &h.context));
  s.PeerWrites("x");
  loop.Run();
  EXPECT_EQ(log, (std::vector<std::string>{"nestable", "nested-run-returned", "non-nestable"}));
}

}  // namespace
}  // namespace ipcbase
