#include "ipc/base/platform/pipe.h"

#include <gtest/gtest.h>

#include <string>

#include "ipc/base/platform/error.h"
#include "ipc/base/platform/platform_test_util.h"

namespace ipcbase::platform {
namespace {

using test::kDeadlineMs;
using test::UniquePipeName;

TEST(PipeTest, PipePathForNameRefusesWhatIsNotAPipeName) {
  for (const std::u16string& name :
       {std::u16string(), std::u16string(u"chrome.1"), std::u16string(u"\\\\.\\pipe\\"),
        std::u16string(u"\\\\.\\pipe"), std::u16string(u"\\\\?\\pipe\\chrome.1"),
        std::u16string(u"\\.\\pipe\\chrome.1"), std::u16string(u"\\\\.\\pipe\\a\\b")}) {
    EXPECT_EQ(PipePathForName(name), "") << UTF16ToUTF8(name);
  }
  EXPECT_NE(PipePathForName(u"\\\\.\\pipe\\chrome.1"), "");
}

TEST(PipeTest, AServedPipeConnectsOneClientFullDuplex) {
  const std::u16string name = UniquePipeName("duplex");
  std::unique_ptr<PipeServer> server = PipeServer::Create(name);
  ASSERT_NE(server, nullptr);
  IoHandle client = ConnectToPipe(name);
  ASSERT_NE(client, kInvalidIoHandle) << GetLastError();
  IoHandle accepted = server->Accept(kDeadlineMs);
  ASSERT_NE(accepted, kInvalidIoHandle) << GetLastError();
  ASSERT_TRUE(WriteAll(client, "hello host", 10));
  ASSERT_TRUE(WriteAll(accepted, "hello child", 11));
  char buffer[32];
  ASSERT_EQ(ReadSome(accepted, buffer, sizeof(buffer), kDeadlineMs), 10);
  EXPECT_EQ(std::string(buffer, 10), "hello host");
  ASSERT_EQ(ReadSome(client, buffer, sizeof(buffer), kDeadlineMs), 11);
  EXPECT_EQ(std::string(buffer, 11), "hello child");
  EXPECT_TRUE(CloseIoHandle(client));
  EXPECT_EQ(ReadSome(accepted, buffer, sizeof(buffer), kDeadlineMs), 0);
  EXPECT_TRUE(CloseIoHandle(accepted));
}

TEST(PipeTest, ConnectingToAPipeNobodyServesFailsWithFileNotFound) {
  EXPECT_EQ(ConnectToPipe(UniquePipeName("nobody")), kInvalidIoHandle);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST(PipeTest, TheNameIsGoneWhenTheServerIs) {
  const std::u16string name = UniquePipeName("gone");
  ASSERT_NE(PipeServer::Create(name), nullptr);  // destroyed at once
  EXPECT_EQ(ConnectToPipe(name), kInvalidIoHandle);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  // And the name can be served again.
  std::unique_ptr<PipeServer> again = PipeServer::Create(name);
  ASSERT_NE(again, nullptr);
  IoHandle client = ConnectToPipe(name);
  EXPECT_NE(client, kInvalidIoHandle);
  CloseIoHandle(client);
}

TEST(PipeTest, ASecondServerForALiveNameIsRefusedAndTheFirstKeepsWorking) {
  const std::u16string name = UniquePipeName("twice");
  std::unique_ptr<PipeServer> first = PipeServer::Create(name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(PipeServer::Create(name), nullptr);
  EXPECT_NE(GetLastError(), kErrorSuccess);
  // The refusal left the first server undisturbed: its next client is ours.
  IoHandle client = ConnectToPipe(name);
  ASSERT_NE(client, kInvalidIoHandle);
  ASSERT_TRUE(WriteAll(client, "me", 2));
  IoHandle accepted = first->Accept(kDeadlineMs);
  ASSERT_NE(accepted, kInvalidIoHandle);
  char buffer[4];
  ASSERT_EQ(ReadSome(accepted, buffer, sizeof(buffer), kDeadlineMs), 2);
  EXPECT_EQ(std::string(buffer, 2), "me");
  CloseIoHandle(client);
  CloseIoHandle(accepted);
}

TEST(PipeTest, AcceptTimesOutWithoutAClient) {
  std::unique_ptr<PipeServer> server = PipeServer::Create(UniquePipeName("lonely"));
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->Accept(0), kInvalidIoHandle);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
  EXPECT_EQ(server->Accept(20), kInvalidIoHandle);
  EXPECT_EQ(GetLastError(), kErrorTimeout);
}

TEST(PipeTest, BadNamesAreRefused) {
  EXPECT_EQ(ConnectToPipe(u"not a pipe"), kInvalidIoHandle);
  EXPECT_NE(GetLastError(), kErrorSuccess);
  EXPECT_EQ(PipeServer::Create(u"not a pipe"), nullptr);
  EXPECT_NE(GetLastError(), kErrorSuccess);
}

}  // namespace
}  // namespace ipcbase::platform
