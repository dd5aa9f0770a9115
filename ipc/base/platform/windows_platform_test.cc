// What only the Windows implementation of the layer promises or does: the
// pipe objects behind the names, the port's rules on top of the system's,
// the places where Windows (or Wine) would otherwise show through, and child
// processes on real pipes.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/platform/async_wait.h"
#include "ipc/base/platform/clock.h"
#include "ipc/base/platform/completion_port.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/event.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/lock.h"
#include "ipc/base/platform/log_file.h"
#include "ipc/base/platform/pipe.h"
#include "ipc/base/platform/platform_test_util.h"
#include "ipc/base/platform/platform_thread.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/platform/shared_memory.h"
#include "ipc/base/platform/windows_win.h"
#include "ipc/base/test/child_process.h"

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::ScopedEvent;
using test::ScopedStreamPair;
using test::UniquePipeName;

// A zero-byte WriteFile, which the layer itself never issues but a peer may.
bool WriteNothing(IoHandle handle) {
  win::ScopedEvent event;
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.ForPrivateOverlapped();
  if (!::WriteFile(win::AsHandle(handle), "", 0, nullptr, &overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  DWORD written = 0;
  return ::GetOverlappedResult(win::AsHandle(handle), &overlapped, &written, TRUE) != FALSE;
}

TEST(WindowsPipeNameTest, TheNameIsItsOwnPath) {
  EXPECT_EQ(PipePathForName(u"\\\\.\\pipe\\chrome.abc123"), "\\\\.\\pipe\\chrome.abc123");
  EXPECT_EQ(PipePathForName(u"\\\\.\\pipe\\chrome.\u00e9"), "\\\\.\\pipe\\chrome.\xc3\xa9");
  auto pipe = [](std::u16string_view rest) {
    std::u16string name = u"\\\\.\\pipe\\";
    name += rest;
    return name;
  };
  // Windows takes 256 characters in all, and no backslash after the prefix.
  constexpr size_t kPrefixLength = 9;
  EXPECT_NE(PipePathForName(pipe(std::u16string(256 - kPrefixLength, u'x'))), "");
  EXPECT_EQ(PipePathForName(pipe(std::u16string(257 - kPrefixLength, u'x'))), "");
  EXPECT_EQ(PipePathForName(pipe(u"a\\b")), "");
  EXPECT_EQ(PipePathForName(pipe(std::u16string_view(u"nul\0in", 6))), "");
}

TEST(WindowsPipeTest, TheServerEndIsAByteModePipeOfOneInstance) {
  const std::u16string name = UniquePipeName("mode");
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr);
  IoHandle client = ConnectToPipe(name);
  ASSERT_NE(client, kInvalidIoHandle);
  IoHandle accepted = server->Accept(kDeadlineMs);
  ASSERT_NE(accepted, kInvalidIoHandle);
  DWORD flags = 0;
  DWORD max_instances = 0;
  ASSERT_TRUE(::GetNamedPipeInfo(win::AsHandle(accepted), &flags, nullptr, nullptr,
                                 &max_instances));
  EXPECT_EQ(flags, static_cast<DWORD>(PIPE_SERVER_END | PIPE_TYPE_BYTE));
  EXPECT_EQ(max_instances, 1u);
  // The one instance is taken: a second client is turned away at once.
  EXPECT_EQ(ConnectToPipe(name), kInvalidIoHandle);
  EXPECT_EQ(GetLastError(), kErrorPipeBusy);
  CloseIoHandle(client);
  CloseIoHandle(accepted);
}

TEST(WindowsPipeTest, AChildProcessConnectsAsClientAndEchoes) {
  const std::u16string name = UniquePipeName("child");
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr);
  auto child = ipcbase::test::ChildProcess::Start(IPCBASE_TEST_HELPER,
                                                  {"pipe-echo", UTF16ToUTF8(name)}, {});
  ASSERT_NE(child, nullptr);
  IoHandle accepted = server->Accept(kDeadlineMs);
  ASSERT_NE(accepted, kInvalidIoHandle) << GetLastError();
  const std::string message = "round trip through another process";
  ASSERT_TRUE(WriteAll(accepted, message.data(), message.size()));
  std::string echoed;
  char buffer[256];
  while (echoed.size() < message.size()) {
    int64_t n = ReadSome(accepted, buffer, sizeof(buffer), kDeadlineMs);
    ASSERT_GT(n, 0);
    echoed.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(echoed, message);
  CloseIoHandle(accepted);  // the child sees the close and exits
  EXPECT_EQ(child->WaitForExit(kDeadlineMs), 0);
}

// The child runs until the test closes its pipe, so the watch is opened on a
// live process for certain.
TEST(WindowsProcessTest, AWatchSeesItsChildExitAndAGoneIdCannotBeOpened) {
  const std::u16string name = UniquePipeName("watch");
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr);
  auto child = ipcbase::test::ChildProcess::Start(IPCBASE_TEST_HELPER,
                                                  {"pipe-echo", UTF16ToUTF8(name)}, {});
  ASSERT_NE(child, nullptr);
  IoHandle accepted = server->Accept(kDeadlineMs);
  ASSERT_NE(accepted, kInvalidIoHandle);
  std::unique_ptr<ProcessWatch> watch = ProcessWatch::Open(child->pid());
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->HasExited());
  CloseIoHandle(accepted);
  ASSERT_EQ(child->WaitForExit(kDeadlineMs), 0);
  EXPECT_TRUE(watch->HasExited());
  // The id still opens while this test holds the child's handle (and under
  // Wine for a moment after any exit); a process that has ended is gone.
  EXPECT_EQ(ProcessWatch::Open(child->pid()), nullptr);
}

TEST(WindowsProcessTest, ExecutablePathIsAbsoluteAndNamesAnExe) {
  std::filesystem::path path = ExecutablePath();
  EXPECT_TRUE(path.is_absolute()) << path.string();
  EXPECT_EQ(path.extension(), ".exe");
}

class WindowsCompletionPortTest : public testing::Test {
 protected:
  void SetUp() override {
    port_ = CompletionPort::Create();
    ASSERT_NE(port_, nullptr);
    ASSERT_TRUE(pair_.ok());
  }
  std::unique_ptr<CompletionPort> port_;
  ScopedStreamPair pair_;
};

TEST_F(WindowsCompletionPortTest, AHandleJoinsOnePortOnce) {
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  EXPECT_FALSE(port_->Associate(pair_.first(), 2));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  std::unique_ptr<CompletionPort> other = CompletionPort::Create();
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(other->Associate(pair_.first(), 3));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST_F(WindowsCompletionPortTest, CallsOutsideTheRulesFailWithoutACompletion) {
  char buffer[8];
  Overlapped a;
  Overlapped b;
  // Windows would start this read and deliver it nowhere.
  EXPECT_FALSE(port_->Read(pair_.first(), buffer, sizeof(buffer), &a));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle) << "not associated";
  EXPECT_FALSE(port_->CancelIo(pair_.first()));
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  EXPECT_FALSE(port_->Read(pair_.first(), buffer, 0, &a));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(port_->Write(pair_.first(), buffer, 0, &a));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(port_->Read(pair_.first(), buffer, sizeof(buffer), nullptr));
  ASSERT_TRUE(port_->Read(pair_.first(), buffer, sizeof(buffer), &a));
  EXPECT_FALSE(port_->Read(pair_.first(), buffer, sizeof(buffer), &b)) << "two reads";
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  Completion c;
  EXPECT_FALSE(port_->GetCompletion(0, &c));
  EXPECT_FALSE(port_->GetCompletion(-2, &c));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  ASSERT_TRUE(port_->CancelIo(pair_.first()));
  ASSERT_TRUE(port_->GetCompletion(kDeadlineMs, &c));
  EXPECT_EQ(c.overlapped, &a);
  EXPECT_EQ(c.error, kErrorOperationAborted);
  EXPECT_FALSE(port_->GetCompletion(0, &c));
}

TEST_F(WindowsCompletionPortTest, AWriteToAClosedPeerFailsToStart) {
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  ASSERT_TRUE(pair_.CloseSecond());
  Overlapped overlapped;
  EXPECT_FALSE(port_->Write(pair_.first(), "x", 1, &overlapped));
  EXPECT_TRUE(GetLastError() == kErrorNoData || GetLastError() == kErrorBrokenPipe)
      << GetLastError();
  Completion c;
  EXPECT_FALSE(port_->GetCompletion(0, &c));
}

// On Windows a zero-byte write of the peer reaches a pipe reader as an empty
// read (Wine drops such a write); it is not the end of the stream, which is
// what an empty read means to the layer's callers.
TEST_F(WindowsCompletionPortTest, APeersZeroByteWriteDoesNotEndTheStream) {
  ASSERT_TRUE(port_->Associate(pair_.first(), 7));
  char buffer[16];
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(pair_.first(), buffer, sizeof(buffer), &overlapped));
  ASSERT_TRUE(WriteNothing(pair_.second()));
  ASSERT_TRUE(WriteAll(pair_.second(), "after", 5));
  Completion c;
  ASSERT_TRUE(port_->GetCompletion(kDeadlineMs, &c));
  EXPECT_EQ(c.overlapped, &overlapped);
  EXPECT_EQ(c.error, kErrorSuccess);
  ASSERT_EQ(c.bytes, 5u);
  EXPECT_EQ(std::string(buffer, 5), "after");
}

TEST(WindowsIoHandleTest, ReadSomeSkipsAPeersZeroByteWrite) {
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  ASSERT_TRUE(WriteNothing(pair.second()));
  ASSERT_TRUE(WriteAll(pair.second(), "data", 4));
  char buffer[16];
  ASSERT_EQ(ReadSome(pair.first(), buffer, sizeof(buffer), kDeadlineMs), 4);
  EXPECT_EQ(std::string(buffer, 4), "data");
  // An empty write of our own sends nothing at all.
  ASSERT_TRUE(WriteAll(pair.second(), "", 0));
  EXPECT_EQ(ReadSome(pair.first(), buffer, sizeof(buffer), 0), -1);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
}

// A stream-pair end may belong to a port and still be used for a blocking
// write: the write's own completion must not reach the port.
TEST(WindowsIoHandleTest, BlockingIoOnAPortsHandleQueuesNothingThere) {
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  std::unique_ptr<CompletionPort> port = CompletionPort::Create();
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->Associate(pair.first(), 1));
  ASSERT_TRUE(WriteAll(pair.first(), "abc", 3));
  char buffer[4];
  ASSERT_EQ(ReadSome(pair.second(), buffer, sizeof(buffer), kDeadlineMs), 3);
  Completion c;
  EXPECT_FALSE(port->GetCompletion(0, &c));
}

TEST(WindowsLockTest, TheOwnersTryFails) {
  // A critical section would let its owner in again; the lock is not
  // recursive on any platform.
  PlatformLock lock;
  lock.Acquire();
  EXPECT_FALSE(lock.Try());
  lock.Release();
  ASSERT_TRUE(lock.Try());
  lock.Release();
}

struct SelfUnregister {
  AsyncWaitHandle wait = nullptr;
  ScopedEvent done{true, false};
  std::atomic<bool> unregistered{false};
};

void UnregisterSelf(void* param, bool) {
  auto* record = static_cast<SelfUnregister*>(param);
  record->unregistered.store(UnregisterAsyncWait(record->wait));
  SetEvent(record->done.get());
}

TEST(WindowsAsyncWaitTest, ACallbackThatUnregistersItselfDoesNotHang) {
  ScopedEvent event(false, false);
  SelfUnregister record;
  record.wait = RegisterAsyncWait(event.get(), &UnregisterSelf, &record);
  ASSERT_NE(record.wait, nullptr);
  ASSERT_TRUE(SetEvent(event.get()));
  ASSERT_EQ(WaitForEvent(record.done.get(), kDeadlineMs), 0);
  EXPECT_TRUE(record.unregistered.load());
}

// Counts each wait's calls; the last first call signals all_fired.
struct FireCount {
  std::atomic<int> calls{0};
  std::atomic<int>* fired = nullptr;
  int expected = 0;
  EventHandle all_fired = nullptr;
};

void CountCall(void* param, bool) {
  auto* count = static_cast<FireCount*>(param);
  if (count->calls.fetch_add(1) == 0 && count->fired->fetch_add(1) + 1 == count->expected)
    SetEvent(count->all_fired);
}

// One wait thread serves 63 events; more take further threads.
TEST(WindowsAsyncWaitTest, MoreWaitsThanOneThreadHoldsAllFire) {
  constexpr int kWaits = 150;
  ScopedEvent all_fired(true, false);
  std::atomic<int> fired{0};
  std::vector<std::unique_ptr<ScopedEvent>> events;
  std::vector<FireCount> counts(kWaits);
  std::vector<AsyncWaitHandle> waits;
  for (int i = 0; i < kWaits; ++i) {
    counts[i].fired = &fired;
    counts[i].expected = kWaits;
    counts[i].all_fired = all_fired.get();
    events.push_back(std::make_unique<ScopedEvent>(false, false));
    waits.push_back(RegisterAsyncWait(events.back()->get(), &CountCall, &counts[i]));
    ASSERT_NE(waits.back(), nullptr) << i;
  }
  for (int i = kWaits - 1; i >= 0; --i) ASSERT_TRUE(SetEvent(events[i]->get()));
  ASSERT_EQ(WaitForEvent(all_fired.get(), kDeadlineMs), 0) << fired.load() << " fired";
  for (AsyncWaitHandle wait : waits) ASSERT_TRUE(UnregisterAsyncWait(wait));
  for (int i = 0; i < kWaits; ++i) EXPECT_EQ(counts[i].calls.load(), 1) << i;
  // Each signal was taken by its wait.
  for (int i = 0; i < kWaits; ++i) EXPECT_EQ(WaitForEvent(events[i]->get(), 0), kWaitTimedOut);
}

TEST(WindowsTimeoutTest, TimeoutsBelowMinusOneAreRefused) {
  ScopedEvent event(true, true);
  EXPECT_EQ(WaitForEvent(event.get(), -2), kWaitFailed);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EventHandle handles[] = {event.get()};
  EXPECT_EQ(WaitForAnyEvent(handles, 1, -5), kWaitFailed);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  char buffer[4];
  EXPECT_EQ(ReadSome(pair.first(), buffer, sizeof(buffer), -2), -1);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST(WindowsThreadTest, SetNameWithoutADebuggerIsHarmless) {
  ASSERT_FALSE(IsDebuggerPresent());
  std::thread named([] { PlatformThread::SetName("VemoIpc_0"); });
  named.join();
}

// An opener lets go of its handle once mapped (so that the name goes with
// its creator); mapping again after Unmap opens the name anew.
TEST(WindowsSharedMemoryTest, AnOpenerMapsAgainAfterUnmap) {
  const std::u16string name = UTF8ToUTF16("vemo_shm_win_test_" + std::to_string(CurrentProcessId()));
  auto creator = SharedMemoryRegion::Create(name, 4096);
  ASSERT_TRUE(creator);
  std::memcpy(creator->memory(), "first", 5);
  auto opener = SharedMemoryRegion::Open(name, true);
  ASSERT_TRUE(opener);
  ASSERT_TRUE(opener->Map(4096));
  opener->Unmap();
  std::memcpy(creator->memory(), "again", 5);
  ASSERT_TRUE(opener->Map(64));
  EXPECT_EQ(std::memcmp(opener->memory(), "again", 5), 0);
}

}  // namespace
}  // namespace ipcbase::platform

#endif  // _WIN32
