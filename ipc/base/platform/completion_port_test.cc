#include "ipc/base/platform/completion_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/event.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/platform_test_util.h"

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::ScopedEvent;
using test::ScopedStreamPair;

constexpr uintptr_t kKey = 0x5EED;

// More than any socket or pipe buffer holds, so a write of it cannot finish
// until someone reads.
constexpr uint32_t kLargeWriteSize = 8u << 20;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
  return bytes;
}

// Reads from handle until the peer closes; returns everything read.
std::string DrainUntilClosed(IoHandle handle) {
  std::string all;
  char buffer[65536];
  for (;;) {
    int64_t n = ReadSome(handle, buffer, sizeof(buffer), kDeadlineMs);
    if (n <= 0) break;
    all.append(buffer, static_cast<size_t>(n));
  }
  return all;
}

// Reads exactly size bytes (or fewer if the peer closes or stalls).
std::string ReadExactly(IoHandle handle, size_t size) {
  std::string all;
  char buffer[65536];
  while (all.size() < size) {
    int64_t n = ReadSome(handle, buffer,
                         static_cast<uint32_t>(std::min(sizeof(buffer), size - all.size())),
                         kDeadlineMs);
    if (n <= 0) break;
    all.append(buffer, static_cast<size_t>(n));
  }
  return all;
}

// A port with one end ("ours") of a stream pair associated; the other end
// ("peer") stays blocking, for plain reads and writes by the test.
class CompletionPortTest : public testing::Test {
 protected:
  void SetUp() override {
    port_ = CompletionPort::Create();
    ASSERT_NE(port_, nullptr);
    ASSERT_TRUE(pair_.ok());
    ASSERT_TRUE(port_->Associate(ours(), kKey));
  }

  IoHandle ours() const { return pair_.first(); }
  IoHandle peer() const { return pair_.second(); }

  // The next completion; fails the test if none comes in time.
  Completion Next() {
    Completion completion;
    completion.error = 0xFFFFFFFF;
    EXPECT_TRUE(port_->GetCompletion(kDeadlineMs, &completion)) << "no completion came";
    return completion;
  }

  bool NothingQueued() {
    Completion completion;
    return !port_->GetCompletion(0, &completion);
  }

  std::unique_ptr<CompletionPort> port_;
  ScopedStreamPair pair_;
};

TEST_F(CompletionPortTest, AReadThatFinishesAtOnceStillCompletesThroughThePort) {
  ASSERT_TRUE(WriteAll(peer(), "hello", 5));
  char buffer[16] = {};
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &overlapped));
  Completion c = Next();
  EXPECT_EQ(c.key, kKey);
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.bytes, 5u);
  EXPECT_EQ(c.error, 0u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_TRUE(NothingQueued()) << "completed twice";
}

TEST_F(CompletionPortTest, APendingReadCompletesWhenDataArrives) {
  char buffer[16] = {};
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &overlapped));
  EXPECT_TRUE(NothingQueued());
  ASSERT_TRUE(WriteAll(peer(), "abc", 3));
  Completion c = Next();
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.bytes, 3u);
  EXPECT_EQ(c.error, 0u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
}

TEST_F(CompletionPortTest, AReadTakesPartOfTheStreamAndTheNextReadTheRest) {
  ASSERT_TRUE(WriteAll(peer(), "0123456789", 10));
  char small[4];
  Overlapped first;
  ASSERT_TRUE(port_->Read(ours(), small, sizeof(small), &first));
  Completion c = Next();
  EXPECT_EQ(c.overlapped, &first);
  ASSERT_EQ(c.bytes, 4u);
  EXPECT_EQ(std::string(small, 4), "0123");
  char large[100];
  Overlapped second;
  ASSERT_TRUE(port_->Read(ours(), large, sizeof(large), &second));
  c = Next();
  EXPECT_EQ(c.overlapped, &second);
  ASSERT_EQ(c.bytes, 6u);
  EXPECT_EQ(std::string(large, 6), "456789");
}

TEST_F(CompletionPortTest, AWriteLargerThanTheBufferCompletesOnlyWhenAllIsWritten) {
  const std::string data = Pattern(kLargeWriteSize);
  Overlapped overlapped;
  ASSERT_TRUE(port_->Write(ours(), data.data(), kLargeWriteSize, &overlapped));
  // Nobody reads yet, so it cannot be done.
  EXPECT_TRUE(NothingQueued());
  std::string received;
  std::thread reader([&] { received = ReadExactly(peer(), kLargeWriteSize); });
  Completion c = Next();
  reader.join();
  EXPECT_EQ(c.key, kKey);
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.bytes, kLargeWriteSize);
  EXPECT_EQ(c.error, 0u);
  EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
}

TEST_F(CompletionPortTest, PeerCloseCompletesAPendingReadWithBrokenPipe) {
  char buffer[16];
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &overlapped));
  ASSERT_TRUE(pair_.CloseSecond());
  Completion c = Next();
  EXPECT_EQ(c.key, kKey);
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.bytes, 0u);
  EXPECT_EQ(c.error, kErrorBrokenPipe);
}

TEST_F(CompletionPortTest, AReadStartedAfterThePeerClosedReportsBrokenPipe) {
  ASSERT_TRUE(pair_.CloseSecond());
  char buffer[16];
  Overlapped overlapped;
  // Either the start fails, or it starts and completes; both say broken pipe.
  if (port_->Read(ours(), buffer, sizeof(buffer), &overlapped)) {
    Completion c = Next();
    EXPECT_EQ(c.overlapped, &overlapped);
    EXPECT_EQ(c.bytes, 0u);
    EXPECT_EQ(c.error, kErrorBrokenPipe);
  } else {
    EXPECT_EQ(GetLastError(), kErrorBrokenPipe);
  }
}

TEST_F(CompletionPortTest, DataBeforeThePeerClosedIsReadFirst) {
  ASSERT_TRUE(WriteAll(peer(), "last words", 10));
  ASSERT_TRUE(pair_.CloseSecond());
  char buffer[64];
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &overlapped));
  Completion c = Next();
  ASSERT_EQ(c.bytes, 10u);
  EXPECT_EQ(c.error, 0u);
  EXPECT_EQ(std::string(buffer, 10), "last words");
}

TEST_F(CompletionPortTest, APendingWriteFailsWhenThePeerCloses) {
  const std::string data = Pattern(kLargeWriteSize);
  Overlapped overlapped;
  ASSERT_TRUE(port_->Write(ours(), data.data(), kLargeWriteSize, &overlapped));
  ASSERT_TRUE(pair_.CloseSecond());
  Completion c = Next();
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_TRUE(c.error == kErrorBrokenPipe || c.error == kErrorNoData) << c.error;
  EXPECT_LT(c.bytes, kLargeWriteSize);
}

TEST_F(CompletionPortTest, CancelIoAbortsAnOutstandingReadWithItsOverlapped) {
  char buffer[16];
  Overlapped cancelled;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &cancelled));
  ASSERT_TRUE(port_->CancelIo(ours()));
  Completion c = Next();
  EXPECT_EQ(c.key, kKey);
  EXPECT_EQ(c.overlapped, &cancelled);
  EXPECT_EQ(c.bytes, 0u);
  EXPECT_EQ(c.error, kErrorOperationAborted);
  EXPECT_TRUE(NothingQueued());
  // The cancelled read takes nothing that arrives later.
  ASSERT_TRUE(WriteAll(peer(), "x", 1));
  Overlapped next;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &next));
  c = Next();
  EXPECT_EQ(c.overlapped, &next);
  ASSERT_EQ(c.bytes, 1u);
  EXPECT_EQ(buffer[0], 'x');
}

TEST_F(CompletionPortTest, CancelIoWithNothingOutstandingQueuesNothing) {
  EXPECT_TRUE(port_->CancelIo(ours()));
  EXPECT_TRUE(NothingQueued());
}

TEST_F(CompletionPortTest, CancelIoAbortsAWriteWithTheBytesWrittenSoFar) {
  const std::string data = Pattern(kLargeWriteSize);
  Overlapped overlapped;
  ASSERT_TRUE(port_->Write(ours(), data.data(), kLargeWriteSize, &overlapped));
  ASSERT_TRUE(port_->CancelIo(ours()));
  Completion c = Next();
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.error, kErrorOperationAborted);
  EXPECT_LT(c.bytes, kLargeWriteSize);
  // What the peer can read is exactly what the completion reports.
  ASSERT_TRUE(pair_.CloseFirst());
  std::string received = DrainUntilClosed(peer());
  EXPECT_EQ(received.size(), c.bytes);
  EXPECT_TRUE(received == data.substr(0, received.size()));
}

TEST_F(CompletionPortTest, AReadAndAWriteMayBeOutstandingTogether) {
  char in[16];
  Overlapped read_overlapped;
  Overlapped write_overlapped;
  ASSERT_TRUE(port_->Read(ours(), in, sizeof(in), &read_overlapped));
  ASSERT_TRUE(port_->Write(ours(), "ping", 4, &write_overlapped));
  Completion c = Next();
  EXPECT_EQ(c.overlapped, &write_overlapped);
  EXPECT_EQ(c.bytes, 4u);
  EXPECT_EQ(ReadExactly(peer(), 4), "ping");
  ASSERT_TRUE(WriteAll(peer(), "pong", 4));
  c = Next();
  EXPECT_EQ(c.overlapped, &read_overlapped);
  ASSERT_EQ(c.bytes, 4u);
  EXPECT_EQ(std::string(in, 4), "pong");
}

TEST_F(CompletionPortTest, PostedPacketsComeBackAsGiven) {
  Overlapped overlapped;
  ASSERT_TRUE(port_->Post(7, 0xABCDEF, &overlapped));
  ASSERT_TRUE(port_->Post(0, 1, nullptr));
  Completion c = Next();
  EXPECT_EQ(c.key, 0xABCDEFu);
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.bytes, 7u);
  EXPECT_EQ(c.error, 0u);
  c = Next();
  EXPECT_EQ(c.key, 1u);
  EXPECT_EQ(c.overlapped, nullptr);
  EXPECT_TRUE(NothingQueued());
}

TEST_F(CompletionPortTest, ATimedWaitWithNothingToDeliverReturnsFalse) {
  Completion c;
  EXPECT_FALSE(port_->GetCompletion(0, &c));
  EXPECT_FALSE(port_->GetCompletion(20, &c));
}

TEST_F(CompletionPortTest, PacketsPostedFromOtherThreadsWakeTheSleepingWaiter) {
  constexpr int kPosters = 4;
  constexpr int kPacketsEach = 200;
  std::vector<Overlapped> records(kPosters);
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&, p] {
      for (int i = 0; i < kPacketsEach; ++i) {
        port_->Post(static_cast<uint32_t>(i), static_cast<uintptr_t>(100 + p), &records[p]);
      }
    });
  }
  // Each poster's packets arrive once each, in the order it posted them.
  std::map<uintptr_t, uint32_t> next_expected;
  for (int n = 0; n < kPosters * kPacketsEach; ++n) {
    Completion c = Next();
    ASSERT_GE(c.key, 100u);
    ASSERT_LT(c.key, uintptr_t{100 + kPosters});
    EXPECT_EQ(c.overlapped, &records[c.key - 100]);
    EXPECT_EQ(c.bytes, next_expected[c.key]++);
  }
  for (std::thread& poster : posters) poster.join();
  EXPECT_TRUE(NothingQueued());
}

TEST_F(CompletionPortTest, AWaiterWithoutTimeoutWakesForAPostFromAnotherThread) {
  ScopedEvent waiting(true, false);
  Completion c;
  bool got = false;
  std::thread waiter([&] {
    SetEvent(waiting.get());
    got = port_->GetCompletion(kWaitForever, &c);
  });
  ASSERT_EQ(WaitForEvent(waiting.get(), kDeadlineMs), 0);
  Overlapped overlapped;
  ASSERT_TRUE(port_->Post(3, 9, &overlapped));
  waiter.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(c.key, 9u);
  EXPECT_EQ(c.overlapped, &overlapped);
}

TEST_F(CompletionPortTest, CancelIoFromAnotherThreadWakesTheWaiter) {
  char buffer[16];
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &overlapped));
  ScopedEvent waiting(true, false);
  Completion c;
  bool got = false;
  std::thread waiter([&] {
    SetEvent(waiting.get());
    got = port_->GetCompletion(kDeadlineMs, &c);
  });
  ASSERT_EQ(WaitForEvent(waiting.get(), kDeadlineMs), 0);
  ASSERT_TRUE(port_->CancelIo(ours()));
  waiter.join();
  ASSERT_TRUE(got);
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.error, kErrorOperationAborted);
}

TEST_F(CompletionPortTest, CloseIoHandleAbortsOutstandingOperations) {
  char buffer[16];
  Overlapped read_overlapped;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &read_overlapped));
  const std::string data = Pattern(kLargeWriteSize);
  Overlapped write_overlapped;
  ASSERT_TRUE(port_->Write(ours(), data.data(), kLargeWriteSize, &write_overlapped));
  ASSERT_TRUE(pair_.CloseFirst());
  bool read_seen = false;
  bool write_seen = false;
  for (int i = 0; i < 2; ++i) {
    Completion c = Next();
    EXPECT_EQ(c.key, kKey);
    EXPECT_EQ(c.error, kErrorOperationAborted);
    if (c.overlapped == &read_overlapped) {
      EXPECT_FALSE(read_seen);
      read_seen = true;
      EXPECT_EQ(c.bytes, 0u);
    } else {
      EXPECT_EQ(c.overlapped, &write_overlapped);
      EXPECT_FALSE(write_seen);
      write_seen = true;
      EXPECT_LT(c.bytes, kLargeWriteSize);
    }
  }
  EXPECT_TRUE(read_seen && write_seen);
  EXPECT_TRUE(NothingQueued());
}

TEST_F(CompletionPortTest, CloseIoHandleFromAnotherThreadWakesTheWaiter) {
  char buffer[16];
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &overlapped));
  ScopedEvent waiting(true, false);
  Completion c;
  bool got = false;
  std::thread waiter([&] {
    SetEvent(waiting.get());
    got = port_->GetCompletion(kDeadlineMs, &c);
  });
  ASSERT_EQ(WaitForEvent(waiting.get(), kDeadlineMs), 0);
  ASSERT_TRUE(pair_.CloseFirst());
  waiter.join();
  ASSERT_TRUE(got);
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.error, kErrorOperationAborted);
}

TEST_F(CompletionPortTest, AHandleOpenedAfterAClosedOneIsNotConfusedWithIt) {
  char old_buffer[16];
  Overlapped old_overlapped;
  ASSERT_TRUE(port_->Read(ours(), old_buffer, sizeof(old_buffer), &old_overlapped));
  ASSERT_TRUE(pair_.CloseFirst());
  Completion c = Next();
  EXPECT_EQ(c.overlapped, &old_overlapped);
  EXPECT_EQ(c.error, kErrorOperationAborted);
  // The new pair typically gets the number the closed handle had.
  ScopedStreamPair fresh;
  ASSERT_TRUE(fresh.ok());
  constexpr uintptr_t kFreshKey = 0xF00D;
  ASSERT_TRUE(port_->Associate(fresh.first(), kFreshKey));
  ASSERT_TRUE(WriteAll(fresh.second(), "new", 3));
  char buffer[16];
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(fresh.first(), buffer, sizeof(buffer), &overlapped));
  c = Next();
  EXPECT_EQ(c.key, kFreshKey);
  EXPECT_EQ(c.overlapped, &overlapped);
  ASSERT_EQ(c.bytes, 3u);
  EXPECT_EQ(std::string(buffer, 3), "new");
  EXPECT_TRUE(NothingQueued());
}

TEST_F(CompletionPortTest, TwoHandlesOnOnePortCompleteWithTheirOwnKeys) {
  ScopedStreamPair other;
  ASSERT_TRUE(other.ok());
  ASSERT_TRUE(port_->Associate(other.first(), kKey + 1));
  char a[8];
  char b[8];
  Overlapped oa;
  Overlapped ob;
  ASSERT_TRUE(port_->Read(ours(), a, sizeof(a), &oa));
  ASSERT_TRUE(port_->Read(other.first(), b, sizeof(b), &ob));
  ASSERT_TRUE(WriteAll(other.second(), "B", 1));
  Completion c = Next();
  EXPECT_EQ(c.key, kKey + 1);
  EXPECT_EQ(c.overlapped, &ob);
  ASSERT_TRUE(WriteAll(peer(), "A", 1));
  c = Next();
  EXPECT_EQ(c.key, kKey);
  EXPECT_EQ(c.overlapped, &oa);
}

// The port side echoes everything back, one read and one write at a time,
// while a peer thread sends chunks of random sizes and checks the echo.
TEST_F(CompletionPortTest, EchoesAStreamOfRandomChunksIntact) {
  constexpr size_t kTotal = 2u << 20;
  const std::string data = Pattern(kTotal);
  std::string echoed;
  std::thread peer_thread([&] {
    std::thread writer([&] {
      std::mt19937 random(42);
      size_t sent = 0;
      while (sent < kTotal) {
        size_t chunk = std::min<size_t>(1 + random() % 9000, kTotal - sent);
        if (!WriteAll(peer(), data.data() + sent, chunk)) break;
        sent += chunk;
      }
    });
    echoed = ReadExactly(peer(), kTotal);
    writer.join();
    pair_.CloseSecond();
  });
  char buffer[4096];
  Overlapped read_overlapped;
  Overlapped write_overlapped;
  bool broken = false;
  ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &read_overlapped));
  while (!broken) {
    Completion c = Next();
    if (c.error == 0xFFFFFFFF) break;  // Next() failed already
    if (c.overlapped == &read_overlapped) {
      if (c.error != 0) {
        EXPECT_EQ(c.error, kErrorBrokenPipe);
        broken = true;
        break;
      }
      ASSERT_TRUE(port_->Write(ours(), buffer, c.bytes, &write_overlapped));
    } else {
      ASSERT_EQ(c.overlapped, &write_overlapped);
      ASSERT_EQ(c.error, 0u);
      ASSERT_TRUE(port_->Read(ours(), buffer, sizeof(buffer), &read_overlapped));
    }
  }
  peer_thread.join();
  EXPECT_TRUE(broken);
  EXPECT_EQ(echoed.size(), kTotal);
  EXPECT_TRUE(echoed == data);
}

}  // namespace
}  // namespace ipcbase::platform
