#include "ipc/base/platform/io_handle.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/platform_test_util.h"

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::ScopedStreamPair;

TEST(IoHandleTest, AStreamPairCarriesBytesBothWays) {
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  ASSERT_TRUE(WriteAll(pair.first(), "to second", 9));
  ASSERT_TRUE(WriteAll(pair.second(), "to first", 8));
  char buffer[32];
  ASSERT_EQ(ReadSome(pair.second(), buffer, sizeof(buffer), kDeadlineMs), 9);
  EXPECT_EQ(std::string(buffer, 9), "to second");
  ASSERT_EQ(ReadSome(pair.first(), buffer, sizeof(buffer), kDeadlineMs), 8);
  EXPECT_EQ(std::string(buffer, 8), "to first");
}

TEST(IoHandleTest, ReadSomeReturnsWhatIsThereUpToTheBufferSize) {
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  ASSERT_TRUE(WriteAll(pair.first(), "abcdef", 6));
  char buffer[4];
  ASSERT_EQ(ReadSome(pair.second(), buffer, 4, kDeadlineMs), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  ASSERT_EQ(ReadSome(pair.second(), buffer, 4, kDeadlineMs), 2);
  EXPECT_EQ(std::string(buffer, 2), "ef");
}

TEST(IoHandleTest, ReadSomeTimesOutAndReportsPeerClose) {
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  char buffer[4];
  EXPECT_EQ(ReadSome(pair.second(), buffer, 4, 0), -1);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
  EXPECT_EQ(ReadSome(pair.second(), buffer, 4, 20), -1);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
  ASSERT_TRUE(pair.CloseFirst());
  EXPECT_EQ(ReadSome(pair.second(), buffer, 4, kDeadlineMs), 0);
}

TEST(IoHandleTest, ReadSomeWithoutTimeoutWaitsForData) {
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  std::thread writer([&] { WriteAll(pair.first(), "late", 4); });
  char buffer[8];
  int64_t n = ReadSome(pair.second(), buffer, sizeof(buffer), -1);
  writer.join();
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(n)), std::string("late", static_cast<size_t>(n)));
}

TEST(IoHandleTest, WriteAllBlocksUntilAReaderTakesEverything) {
  constexpr size_t kSize = 4u << 20;
  std::string data(kSize, '\0');
  for (size_t i = 0; i < kSize; ++i) data[i] = static_cast<char>(i % 251);
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  std::string received;
  std::thread reader([&] {
    char buffer[65536];
    while (received.size() < kSize) {
      int64_t n = ReadSome(pair.second(), buffer, sizeof(buffer), kDeadlineMs);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
  });
  EXPECT_TRUE(WriteAll(pair.first(), data.data(), data.size()));
  reader.join();
  EXPECT_TRUE(received == data);
}

TEST(IoHandleTest, WritingToAClosedPeerFailsWithoutASignal) {
  ScopedStreamPair pair;
  ASSERT_TRUE(pair.ok());
  ASSERT_TRUE(pair.CloseSecond());
  // With the default SIGPIPE disposition a signal would end this process.
  EXPECT_FALSE(WriteAll(pair.first(), "anyone?", 7));
  uint32_t error = GetLastError();
  EXPECT_TRUE(error == kErrorBrokenPipe || error == kErrorNoData) << error;
}

TEST(IoHandleTest, BadHandlesAreRefused) {
  EXPECT_FALSE(CloseIoHandle(kInvalidIoHandle));
  EXPECT_NE(GetLastError(), kErrorSuccess);
  char buffer[4];
  EXPECT_EQ(ReadSome(kInvalidIoHandle, buffer, 4, 0), -1);
  EXPECT_FALSE(WriteAll(kInvalidIoHandle, "x", 1));
  EXPECT_FALSE(CreateStreamPair(nullptr, nullptr));
}

}  // namespace
}  // namespace ipcbase::platform
