// The engine process wrapper, with /bin/sh playing the engine.
#include "cef/engine/chromium_process.h"

#include <errno.h>
#include <unistd.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <string>
#include <filesystem>
#include <thread>

namespace cef_engine {
namespace {

std::unique_ptr<ChromiumProcess> Shell(const std::string& script) {
  std::string error;
  auto process = ChromiumProcess::Launch("/bin/sh", {"-c", script}, &error);
  EXPECT_TRUE(process) << error;
  return process;
}

std::string ReadLine(ChromiumProcess* process) {
  std::string out;
  char c;
  while (process->Read(&c, 1) == 1 && c != '\n') out += c;
  return out;
}

bool GroupGone(pid_t pgid) { return kill(-pgid, 0) != 0 && errno == ESRCH; }

TEST(ChromiumProcessTest, PipesAreFdThreeAndFour) {
  auto process = Shell("cat <&3 >&4");
  ASSERT_TRUE(process);
  const char message[] = "{\"id\":1}\0{\"id\":2}";
  ASSERT_TRUE(process->Write(message, sizeof(message)));
  std::string echoed;
  char buffer[64];
  while (echoed.size() < sizeof(message)) {
    long n = process->Read(buffer, sizeof(buffer));
    ASSERT_GT(n, 0);
    echoed.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(echoed, std::string(message, sizeof(message)));
  process->CloseCommandPipe();
  EXPECT_EQ(process->Read(buffer, sizeof(buffer)), 0);  // the engine ended
  EXPECT_TRUE(process->WaitForExit(std::chrono::seconds(30)));
  EXPECT_EQ(process->exit_code(), 0);
}

TEST(ChromiumProcessTest, StandardStreamsNeverReachThePipes) {
  // Whatever descriptors this process has open, the engine's output and
  // errors go nowhere and fd 4 carries only what it writes there. Here fd 3
  // is taken and fd 4 free, so the launcher's own descriptors land on 4.
  int a = dup(0), b = dup(0);
  close(b);
  auto process = Shell("echo noise; echo noise >&2; echo clean >&4");
  close(a);
  ASSERT_TRUE(process);
  EXPECT_EQ(ReadLine(process.get()), "clean");
  char c;
  EXPECT_EQ(process->Read(&c, 1), 0);
  EXPECT_TRUE(process->WaitForExit(std::chrono::seconds(30)));
}

TEST(ChromiumProcessTest, MissingProgramFailsCleanly) {
  std::string error;
  EXPECT_FALSE(ChromiumProcess::Launch("/nonexistent/engine", {}, &error));
  EXPECT_NE(error.find("/nonexistent/engine"), std::string::npos);
  EXPECT_FALSE(ChromiumProcess::Launch("/etc/hostname", {}, &error));
}

TEST(ChromiumProcessTest, ExitWaitsForEveryDescendantAndKillEndsThem) {
  // The engine leaves a child behind and exits; the child keeps the
  // engine "running" until it is killed too.
  auto process = Shell("sleep 1000 & sleep 1000 & echo started >&4; exit 3");
  ASSERT_TRUE(process);
  EXPECT_EQ(ReadLine(process.get()), "started");
  pid_t group = process->pid();
  EXPECT_FALSE(process->WaitForExit(std::chrono::milliseconds(200)));
  EXPECT_FALSE(GroupGone(group));
  process->Kill();
  ASSERT_TRUE(process->WaitForExit(std::chrono::seconds(30)));
  EXPECT_EQ(process->exit_code(), 3);
  EXPECT_TRUE(GroupGone(group));
}

TEST(ChromiumProcessTest, DestructorKillsARunningEngine) {
  pid_t group;
  {
    auto process = Shell("sleep 1000 & echo started >&4; exec cat <&3");
    ASSERT_TRUE(process);
    EXPECT_EQ(ReadLine(process.get()), "started");
    group = process->pid();
  }
  EXPECT_TRUE(GroupGone(group));
}

TEST(ChromiumProcessTest, WriteAfterTheEngineHasGoneFails) {
  auto process = Shell("exit 0");
  ASSERT_TRUE(process);
  ASSERT_TRUE(process->WaitForExit(std::chrono::seconds(30)));
  // No SIGPIPE ends the test process; the write just fails.
  std::string big(1 << 20, 'x');
  EXPECT_FALSE(process->Write(big.data(), big.size()));
  EXPECT_FALSE(process->Write("a", 1));
}

TEST(ChromiumProcessTest, CancelReadReleasesABlockedReader) {
  auto process = Shell("exec cat <&3 >&4");
  ASSERT_TRUE(process);
  long result = 0;
  std::thread reader([&] {
    char buffer[16];
    result = process->Read(buffer, sizeof(buffer));
  });
  process->CancelRead();
  reader.join();
  EXPECT_EQ(result, -1);
  char buffer[16];
  EXPECT_EQ(process->Read(buffer, sizeof(buffer)), -1);
}

TEST(ChromiumProcessTest, PrivateTempDirIsCreated) {
  std::string dir = CreatePrivateTempDir("vemo-test-");
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.find("vemo-test-"), std::string::npos);
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::is_directory(dir, ec));
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace cef_engine
