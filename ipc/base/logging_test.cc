#include "ipc/base/logging.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ipc/base/platform/clock.h"
#include "ipc/base/platform/error.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/test/child_process.h"

namespace {

namespace fs = std::filesystem;

// Collects the lines this process logs, through the test observer.
class CapturedLines {
 public:
  CapturedLines() {
    std::lock_guard<std::mutex> hold(mutex());
    lines().clear();
    logging::SetLogObserverForTesting(&CapturedLines::Observe);
  }
  ~CapturedLines() { logging::SetLogObserverForTesting(nullptr); }

  std::vector<std::pair<int, std::string>> Take() {
    std::lock_guard<std::mutex> hold(mutex());
    return std::move(lines());
  }

 private:
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::pair<int, std::string>>& lines() {
    static std::vector<std::pair<int, std::string>> l;
    return l;
  }
  static void Observe(int severity, const std::string& line) {
    std::lock_guard<std::mutex> hold(mutex());
    lines().emplace_back(severity, line);
  }
};

// The text of a line after its "[...] " prefix.
std::string TextOf(const std::string& line) {
  size_t end = line.find("] ");
  return end == std::string::npos ? line : line.substr(end + 2);
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

TEST(LoggingTest, LineHasDateTimeSeverityFileAndLine) {
  CapturedLines captured;
  int line = __LINE__ + 1;
  LOG(WARNING) << "failed to create pipe: " << 2;
  auto lines = captured.Take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, logging::LOG_WARNING);
  std::regex format(R"(\[(\d\d)(\d\d)/(\d\d)(\d\d)(\d\d):WARNING:logging_test\.cc\((\d+)\)\] failed to create pipe: 2\n)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0].second, m, format)) << lines[0].second;
  EXPECT_EQ(std::stoi(m[6]), line);
  EXPECT_GE(std::stoi(m[1]), 1);
  EXPECT_LE(std::stoi(m[1]), 12);
  EXPECT_LE(std::stoi(m[3]), 23);
  // No carriage return anywhere, a single line feed at the end.
  EXPECT_EQ(lines[0].second.find('\r'), std::string::npos);
}

TEST(LoggingTest, SeverityNames) {
  const std::pair<int, const char*> table[] = {
      {logging::LOG_INFO, "INFO"},   {logging::LOG_WARNING, "WARNING"},
      {logging::LOG_ERROR, "ERROR"}, {logging::LOG_ERROR_REPORT, "ERROR_REPORT"},
      {logging::LOG_FATAL, "FATAL"}, {5, "UNKNOWN"}};
  for (const auto& [severity, name] : table) EXPECT_STREQ(logging::SeverityName(severity), name);
}

TEST(LoggingTest, ErrorAndAboveAlsoGoToStandardError) {
  testing::internal::CaptureStderr();
  LOG(INFO) << "info-only-in-file";
  LOG(WARNING) << "warning-only-in-file";
  LOG(ERROR) << "pipe error: " << 109;
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_THAT(err, testing::HasSubstr(":ERROR:logging_test.cc("));
  EXPECT_THAT(err, testing::HasSubstr("] pipe error: 109\n"));
  EXPECT_THAT(err, testing::Not(testing::HasSubstr("only-in-file")));
}

TEST(LoggingTest, LinesAreAppendedToDebugLogBesideTheExecutable) {
  // The log outlives test processes, and process ids come back (under Wine
  // within moments): the time makes the marker this run's own.
  std::string marker = "marker-" + std::to_string(ipcbase::platform::CurrentProcessId()) + "-" +
                       std::to_string(ipcbase::platform::SystemTimeAsFileTime());
  LOG(INFO) << marker;
  fs::path log = ipcbase::platform::ExecutablePath().parent_path() / "debug.log";
  auto lines = ReadLines(log);
  int found = 0;
  for (const auto& l : lines) found += TextOf(l) == marker;
  EXPECT_EQ(found, 1);
}

TEST(LoggingTest, FailedCheckLogsFatalAndContinues) {
  CapturedLines captured;
  bool continued = false;
  int evaluations = 0;
  CHECK(++evaluations == 2) << "context " << 7;
  continued = true;
  CHECK(evaluations == 1);  // passes: writes nothing
  auto lines = captured.Take();
  EXPECT_TRUE(continued);
  EXPECT_EQ(evaluations, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, logging::LOG_FATAL);
  EXPECT_THAT(lines[0].second, testing::HasSubstr(":FATAL:logging_test.cc("));
  EXPECT_EQ(TextOf(lines[0].second), "Check failed: ++evaluations == 2. context 7\n");
}

TEST(LoggingTest, ComparisonChecksPrintBothValues) {
  CapturedLines captured;
  size_t count = 65;
  uint64_t big = 18446744073709551615ull;
  int minus_one = -1;
  CHECK_LE(count, 64) << "Can only wait on " << 64 << " with WaitMany";
  CHECK_EQ(big, 1u);
  CHECK_LT(minus_one, 0u);  // -1 < 0u by value: passes, writes nothing
  CHECK_NE(count, 65u);
  auto lines = captured.Take();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(TextOf(lines[0].second),
            "Check failed: count <= 64 (65 vs. 64)Can only wait on 64 with WaitMany\n");
  EXPECT_EQ(TextOf(lines[1].second), "Check failed: big == 1u (18446744073709551615 vs. 1)\n");
  EXPECT_EQ(TextOf(lines[2].second), "Check failed: count != 65u (65 vs. 65)\n");
  for (const auto& l : lines) EXPECT_EQ(l.first, logging::LOG_FATAL);
}

TEST(LoggingTest, DebugChecksAreCompiledButNeverEvaluated) {
  CapturedLines captured;
  int evaluations = 0;
  DCHECK(++evaluations == 100) << "never";
  DCHECK_EQ(++evaluations, 100);
  NOTREACHED() << "never either";
  EXPECT_EQ(evaluations, 0);
  EXPECT_TRUE(captured.Take().empty());
}

TEST(LoggingTest, LoggingLeavesLastErrorAndErrnoUnchanged) {
  ipcbase::platform::SetLastError(ipcbase::platform::kErrorBrokenPipe);
  errno = EPIPE;
  LOG(ERROR) << "pipe error: " << ipcbase::platform::GetLastError();
  EXPECT_EQ(ipcbase::platform::GetLastError(), ipcbase::platform::kErrorBrokenPipe);
  EXPECT_EQ(errno, EPIPE);
  CHECK(false);
  EXPECT_EQ(ipcbase::platform::GetLastError(), ipcbase::platform::kErrorBrokenPipe);
  EXPECT_EQ(errno, EPIPE);
}

// A private directory holding a copy of the helper program, so that its
// "debug.log beside the executable" is this test's own.
class LogDirectory {
 public:
  LogDirectory() {
    dir_ = fs::temp_directory_path() /
           ("vemo-log-test-" + std::to_string(ipcbase::platform::CurrentProcessId()) + "-" +
            std::to_string(counter_++));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "bin");
    fs::create_directories(dir_ / "cwd");
    fs::copy_file(IPCBASE_TEST_HELPER, program());
    fs::permissions(program(), fs::perms::owner_all);
  }
  ~LogDirectory() { fs::remove_all(dir_); }
  fs::path program() const { return dir_ / "bin" / "helper"; }
  fs::path bin() const { return dir_ / "bin"; }
  fs::path cwd() const { return dir_ / "cwd"; }

 private:
  static inline int counter_ = 0;
  fs::path dir_;
};

TEST(LoggingTest, ProcessesLoggingAtOnceProduceWholeLines) {
  LogDirectory dir;
  constexpr int kProcesses = 4;
  constexpr int kLines = 2000;
  std::vector<std::unique_ptr<ipcbase::test::ChildProcess>> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(ipcbase::test::ChildProcess::Start(
        dir.program(), {"log", "proc" + std::to_string(p), std::to_string(kLines)}, dir.cwd()));
    ASSERT_TRUE(children.back());
  }
  for (auto& child : children) EXPECT_EQ(child->WaitForExit(60000), 0);

  auto lines = ReadLines(dir.bin() / "debug.log");
  ASSERT_EQ(lines.size(), static_cast<size_t>(kProcesses * kLines));
  std::regex whole(R"(\[\d{4}/\d{6}:INFO:ipcbase_test_helper\.cc\(\d+\)\] (proc\d) line (\d+) end)");
  std::map<std::string, int> next;  // each process's lines in its own order
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, whole)) << "torn line: " << line;
    EXPECT_EQ(std::stoi(m[2]), next[m[1]]++);
  }
  for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(next["proc" + std::to_string(p)], kLines);
  EXPECT_FALSE(fs::exists(dir.cwd() / "debug.log"));
}

TEST(LoggingTest, FallsBackToCurrentDirectoryWhenBesideExecutableFails) {
  LogDirectory dir;
  // A directory in the way makes the default path unopenable, for root too.
  fs::create_directories(dir.bin() / "debug.log");
  auto child = ipcbase::test::ChildProcess::Start(dir.program(), {"log", "fallback", "3"}, dir.cwd());
  ASSERT_TRUE(child);
  EXPECT_EQ(child->WaitForExit(60000), 0);
  auto lines = ReadLines(dir.cwd() / "debug.log");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(TextOf(lines[2]), "fallback line 2 end");
}

}  // namespace
