// What only the POSIX implementation of the layer promises or does: the
// pipe name rule, the files behind a pipe, descriptors and the port, thread
// names, child processes.
#ifndef _WIN32

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/platform/async_wait.h"
#include "ipc/base/platform/completion_port.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/event.h"
#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/pipe.h"
#include "ipc/base/platform/platform_test_util.h"
#include "ipc/base/platform/platform_thread.h"
#include "ipc/base/platform/process.h"

extern char** environ;

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::ScopedEvent;
using test::ScopedStreamPair;
using test::UniquePipeName;

bool PathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Sets (or, with nullopt, removes) XDG_RUNTIME_DIR for a scope.
class ScopedRuntimeDir {
 public:
  explicit ScopedRuntimeDir(std::optional<std::string> value) {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
    if (value) {
      setenv("XDG_RUNTIME_DIR", value->c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
  }
  ~ScopedRuntimeDir() {
    if (saved_) {
      setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST(PosixPipeNameTest, MapsToTheRuntimeDirectoryElseTmp) {
  struct Case {
    std::optional<std::string> runtime_dir;
    std::string expected_dir;
  };
  for (const Case& c : {Case{std::string("/run/user/1000"), "/run/user/1000"},
                        Case{std::nullopt, "/tmp"}, Case{std::string(""), "/tmp"},
                        Case{std::string("relative/dir"), "/tmp"}}) {
    ScopedRuntimeDir dir(c.runtime_dir);
    EXPECT_EQ(PipePathForName(u"\\\\.\\pipe\\chrome.abc123"), c.expected_dir + "/chrome.abc123");
  }
}

TEST(PosixPipeNameTest, RefusesNamesThatAreNotOneFileName) {
  ScopedRuntimeDir dir(std::string("/tmp"));
  const std::u16string prefix = u"\\\\.\\pipe\\";
  for (const std::u16string& rest :
       {std::u16string(u"a/b"), std::u16string(u"/abs"), std::u16string(u"."),
        std::u16string(u".."), std::u16string(u"nul\0in", 6)}) {
    EXPECT_EQ(PipePathForName(prefix + rest), "") << UTF16ToUTF8(rest);
  }
  // "/tmp/" plus the rest must fit sun_path with its terminator.
  const size_t room = sizeof(sockaddr_un::sun_path) - 1 - std::strlen("/tmp/");
  EXPECT_EQ(PipePathForName(prefix + std::u16string(room, u'x')),
            "/tmp/" + std::string(room, 'x'));
  EXPECT_EQ(PipePathForName(prefix + std::u16string(room + 1, u'x')), "");
  // Non-ASCII names become UTF-8.
  EXPECT_EQ(PipePathForName(prefix + u"chrome.\u00e9"), "/tmp/chrome.\xc3\xa9");
}

TEST(PosixPipeTest, TheServerLeavesNoFilesBehind) {
  const std::u16string name = UniquePipeName("files");
  const std::string path = PipePathForName(name);
  {
    std::unique_ptr<PipeServer> server = PipeServer::Create(name);
    ASSERT_NE(server, nullptr);
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  EXPECT_FALSE(PathExists(path));
  EXPECT_FALSE(PathExists(path + ".lock"));
}

TEST(PosixPipeTest, AStaleSocketOfADeadServerIsReplaced) {
  const std::u16string name = UniquePipeName("stale");
  const std::string path = PipePathForName(name);
  // A socket bound and closed without unlinking, as a crashed server leaves.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
  ASSERT_TRUE(PathExists(path));
  EXPECT_EQ(ConnectToPipe(name), kInvalidIoHandle);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound) << "a stale socket is no pipe";
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr) << GetLastError();
  IoHandle client = ConnectToPipe(name);
  ASSERT_NE(client, kInvalidIoHandle);
  IoHandle accepted = server->Accept(kDeadlineMs);
  EXPECT_NE(accepted, kInvalidIoHandle);
  CloseIoHandle(client);
  CloseIoHandle(accepted);
}

TEST(PosixPipeTest, SomethingElseAtThePathIsNeverRemoved) {
  const std::u16string name = UniquePipeName("file");
  const std::string path = PipePathForName(name);
  int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(PipeServer::Create(name), nullptr);
  EXPECT_TRUE(PathExists(path));
  EXPECT_FALSE(PathExists(path + ".lock"));
  unlink(path.c_str());
}

// A server that is not accepting queues a few clients in the kernel; once
// that queue is full, connecting fails at once with kErrorPipeBusy.
TEST(PosixPipeTest, ClientsBeyondTheAcceptQueueAreBusy) {
  const std::u16string name = UniquePipeName("busy");
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr);
  std::vector<IoHandle> queued;
  uint32_t error = kErrorSuccess;
  for (int attempt = 0; attempt < 8 && error == kErrorSuccess; ++attempt) {
    IoHandle client = ConnectToPipe(name);
    if (client == kInvalidIoHandle) {
      error = GetLastError();
    } else {
      queued.push_back(client);
    }
  }
  EXPECT_EQ(error, kErrorPipeBusy);
  EXPECT_GE(queued.size(), 1u);
  for (IoHandle client : queued) CloseIoHandle(client);
}

TEST(PosixPipeTest, AcceptedAndConnectedStreamsAreBlocking) {
  const std::u16string name = UniquePipeName("blocking");
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr);
  IoHandle client = ConnectToPipe(name);
  ASSERT_NE(client, kInvalidIoHandle);
  IoHandle accepted = server->Accept(kDeadlineMs);
  ASSERT_NE(accepted, kInvalidIoHandle);
  for (IoHandle h : {client, accepted}) {
    int flags = fcntl(static_cast<int>(h), F_GETFL);
    EXPECT_EQ(flags & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(static_cast<int>(h), F_GETFD) & FD_CLOEXEC, 0);
  }
  CloseIoHandle(client);
  CloseIoHandle(accepted);
}

// A child process spawned from the test helper, with its stdin on a pipe
// the test holds open.
class HelperChild {
 public:
  explicit HelperChild(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    stdin_writer_ = fds[1];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    std::vector<std::string> all{IPCBASE_TEST_HELPER};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, IPCBASE_TEST_HELPER, &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
  }
  ~HelperChild() {
    CloseStdin();
    Reap();
  }

  pid_t pid() const { return pid_; }
  void CloseStdin() {
    if (stdin_writer_ >= 0) close(stdin_writer_);
    stdin_writer_ = -1;
  }
  // Blocks until the child has ended, without reaping it.
  bool WaitExitedNotReaped() {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) == 0;
  }
  // Reaps the child; its exit status, or -1.
  int Reap() {
    if (pid_ <= 0) return -1;
    int status = 0;
    pid_t r = waitpid(pid_, &status, 0);
    pid_ = -1;
    return r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_writer_ = -1;
};

TEST(PosixProcessTest, AWatchSeesItsChildExitBeforeAndAfterReaping) {
  HelperChild child({"wait-stdin"});
  ASSERT_GT(child.pid(), 0);
  std::unique_ptr<ProcessWatch> watch = ProcessWatch::Open(static_cast<uint32_t>(child.pid()));
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->HasExited());
  child.CloseStdin();
  ASSERT_TRUE(child.WaitExitedNotReaped());
  EXPECT_TRUE(watch->HasExited()) << "an exited, unreaped child";
  EXPECT_EQ(child.Reap(), 0);
  EXPECT_TRUE(watch->HasExited()) << "a reaped child";
}

TEST(PosixProcessTest, AGoneProcessCannotBeOpenedOrCountsAsExited) {
  HelperChild child({"wait-stdin"});
  ASSERT_GT(child.pid(), 0);
  const uint32_t pid = static_cast<uint32_t>(child.pid());
  child.CloseStdin();
  ASSERT_EQ(child.Reap(), 0);
  std::unique_ptr<ProcessWatch> watch = ProcessWatch::Open(pid);
  EXPECT_TRUE(watch == nullptr || watch->HasExited());
}

TEST(PosixPipeTest, AChildProcessConnectsAsClientAndEchoes) {
  const std::u16string name = UniquePipeName("child");
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr);
  HelperChild child({"pipe-echo", UTF16ToUTF8(name)});
  ASSERT_GT(child.pid(), 0);
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
  EXPECT_EQ(child.Reap(), 0);
}

TEST(PosixThreadTest, SetNameCutsToFifteenBytes) {
  char name[32] = {};
  std::thread named([&] {
    PlatformThread::SetName("VemoIpc_1234567890");
    pthread_getname_np(pthread_self(), name, sizeof(name));
  });
  named.join();
  EXPECT_STREQ(name, "VemoIpc_1234567");
  std::thread utf8([&] {
    // 14 ASCII bytes and a two-byte character: cutting at 15 would split it.
    PlatformThread::SetName("abcdefghijklmn\xc3\xa9z");
    pthread_getname_np(pthread_self(), name, sizeof(name));
  });
  utf8.join();
  EXPECT_STREQ(name, "abcdefghijklmn");
}

class PosixCompletionPortTest : public testing::Test {
 protected:
  void SetUp() override {
    port_ = CompletionPort::Create();
    ASSERT_NE(port_, nullptr);
    ASSERT_TRUE(pair_.ok());
  }
  std::unique_ptr<CompletionPort> port_;
  ScopedStreamPair pair_;
};

TEST_F(PosixCompletionPortTest, AssociateMakesTheSocketNonBlocking) {
  const int fd = static_cast<int>(pair_.first());
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(PosixCompletionPortTest, AHandleJoinsOnePortOnce) {
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  EXPECT_FALSE(port_->Associate(pair_.first(), 2));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  std::unique_ptr<CompletionPort> other = CompletionPort::Create();
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(other->Associate(pair_.first(), 3));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  // After the port is gone the handle may join another.
  port_.reset();
  EXPECT_TRUE(other->Associate(pair_.first(), 4));
}

TEST_F(PosixCompletionPortTest, OnlyStreamSocketsCanBeAssociated) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  EXPECT_FALSE(port_->Associate(fds[0], 1));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  close(fds[0]);
  close(fds[1]);
  EXPECT_FALSE(port_->Associate(kInvalidIoHandle, 1));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST_F(PosixCompletionPortTest, CallsOutsideTheRulesFailWithoutACompletion) {
  char buffer[8];
  Overlapped a;
  Overlapped b;
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
  EXPECT_FALSE(port_->GetCompletion(0, nullptr));
  ASSERT_TRUE(port_->CancelIo(pair_.first()));
  ASSERT_TRUE(port_->GetCompletion(kDeadlineMs, &c));
  EXPECT_EQ(c.overlapped, &a);
  EXPECT_FALSE(port_->GetCompletion(0, &c));
}

TEST_F(PosixCompletionPortTest, AReadAfterThePeerClosedStartsAndCompletesBroken) {
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  ASSERT_TRUE(pair_.CloseSecond());
  char buffer[8];
  Overlapped overlapped;
  ASSERT_TRUE(port_->Read(pair_.first(), buffer, sizeof(buffer), &overlapped));
  Completion c;
  ASSERT_TRUE(port_->GetCompletion(kDeadlineMs, &c));
  EXPECT_EQ(c.error, kErrorBrokenPipe);
}

TEST_F(PosixCompletionPortTest, AWriteToAClosedPeerFailsToStartWithoutASignal) {
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  ASSERT_TRUE(pair_.CloseSecond());
  Overlapped overlapped;
  EXPECT_FALSE(port_->Write(pair_.first(), "x", 1, &overlapped));
  EXPECT_EQ(GetLastError(), kErrorBrokenPipe);
  Completion c;
  EXPECT_FALSE(port_->GetCompletion(0, &c));
}

TEST_F(PosixCompletionPortTest, AHangUpWithNoReadOutstandingDoesNotSpinTheWaiter) {
  ASSERT_TRUE(port_->Associate(pair_.first(), 1));
  ASSERT_TRUE(WriteAll(pair_.second(), "unread", 6));
  ASSERT_TRUE(pair_.CloseSecond());
  // Level-triggered readiness would make every wait return at once and the
  // timed wait loop forever; it must simply time out.
  Completion c;
  EXPECT_FALSE(port_->GetCompletion(50, &c));
  EXPECT_EQ(GetLastError(), kErrorTimeout);
}

TEST(PosixTimeoutTest, TimeoutsBelowMinusOneAreRefused) {
  ScopedEvent event(true, true);
  EXPECT_EQ(WaitForEvent(event.get(), -2), kWaitFailed);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  std::unique_ptr<CompletionPort> port = CompletionPort::Create();
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->Post(0, 0, nullptr));
  Completion c;
  EXPECT_FALSE(port->GetCompletion(-5, &c));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  char buffer[4];
  EXPECT_EQ(ReadSome(pair.first(), buffer, sizeof(buffer), -2), -1);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

struct SelfUnregistering {
  SelfUnregistering() : done(true, false) {}
  AsyncWaitHandle handle = nullptr;
  bool unregistered = false;
  ScopedEvent done;
};

void UnregisterSelf(void* param, bool) {
  auto* self = static_cast<SelfUnregistering*>(param);
  self->unregistered = UnregisterAsyncWait(self->handle);
  SetEvent(self->done.get());
}

TEST(PosixAsyncWaitTest, ACallbackThatUnregistersItselfDoesNotHang) {
  ScopedEvent event(false, false);
  SelfUnregistering self;
  self.handle = RegisterAsyncWait(event.get(), &UnregisterSelf, &self);
  ASSERT_NE(self.handle, nullptr);
  ASSERT_TRUE(SetEvent(event.get()));
  ASSERT_EQ(WaitForEvent(self.done.get(), kDeadlineMs), 0);
  EXPECT_TRUE(self.unregistered);
}

}  // namespace
}  // namespace ipcbase::platform

#endif  // _WIN32
