// The host end against a raw client of the pipe.
#include "host/host_channel.h"

#include <gtest/gtest.h>

#include <string>

#include "ipc/base/platform/io_handle.h"
#include "ipc/base/platform/process.h"
#include "ipc/ipc/ipc_channel.h"
#include "ipc/ipc/ipc_sync_message.h"
#include "protocol/view_messages.h"

namespace host {
namespace {

constexpr int64_t kDeadlineMs = 30000;
using ipcbase::platform::IoHandle;

std::string UniqueId(const char* what) {
  static int counter = 0;
  return "host_test_" + std::to_string(ipcbase::platform::CurrentProcessId()) + "_" +
         std::to_string(counter++) + "_" + what;
}

// A host with a raw client connected to it.
class HostChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string id = UniqueId("host");
    host_ = HostChannel::Create(id);
    ASSERT_TRUE(host_);
    client_ = ipcbase::platform::ConnectToPipe(IPC::Channel::PipeName(id));
    ASSERT_NE(client_, ipcbase::platform::kInvalidIoHandle);
    ASSERT_TRUE(host_->Accept(kDeadlineMs, 77));
  }
  void TearDown() override {
    if (client_ != ipcbase::platform::kInvalidIoHandle) ipcbase::platform::CloseIoHandle(client_);
  }
  bool ClientWrites(const IPC::Message& m) {
    return ipcbase::platform::WriteAll(client_, m.data(), m.size());
  }
  // The next message the client receives.
  std::string ClientReads(size_t size) {
    std::string bytes(size, '\0');
    for (size_t done = 0; done < size;) {
      int64_t n = ipcbase::platform::ReadSome(client_, bytes.data() + done,
                                              static_cast<uint32_t>(size - done), kDeadlineMs);
      if (n <= 0) return {};
      done += static_cast<size_t>(n);
    }
    return bytes;
  }

  std::unique_ptr<HostChannel> host_;
  IoHandle client_ = ipcbase::platform::kInvalidIoHandle;
};

TEST_F(HostChannelTest, SendsItsHelloAndRecordsThePeers) {
  IPC::Message expected(IPC::kRoutingIdNone, IPC::kHelloMessageType, IPC::Message::PRIORITY_NORMAL);
  expected.WriteInt(77);
  EXPECT_EQ(ClientReads(expected.size()), std::string(expected.data(), expected.size()));

  IPC::Message hello(IPC::kRoutingIdNone, IPC::kHelloMessageType, IPC::Message::PRIORITY_NORMAL);
  hello.WriteInt(99);
  ViewHostMsg_OnTitleChanged title(2, u"t");
  ASSERT_TRUE(ClientWrites(hello));
  ASSERT_TRUE(ClientWrites(title));
  std::unique_ptr<IPC::Message> message;
  ASSERT_EQ(host_->Next(kDeadlineMs, &message), HostChannel::ReadResult::kMessage);
  EXPECT_EQ(std::string(message->data(), message->size()), std::string(title.data(), title.size()));
  EXPECT_EQ(host_->peer_pid(), 99);
}

TEST_F(HostChannelTest, ReadTimesOutAndReportsTheClose) {
  std::unique_ptr<IPC::Message> message;
  // Half a message is not a message.
  ViewHostMsg_OnTitleChanged title(2, u"title");
  ASSERT_TRUE(ipcbase::platform::WriteAll(client_, title.data(), 10));
  EXPECT_EQ(host_->Read(0, &message), HostChannel::ReadResult::kTimeout);
  ASSERT_TRUE(ipcbase::platform::WriteAll(client_, title.data() + 10, title.size() - 10));
  ASSERT_EQ(host_->Read(kDeadlineMs, &message), HostChannel::ReadResult::kMessage);
  EXPECT_EQ(message->type(), ViewHostMsg_OnTitleChanged::ID);
  ipcbase::platform::CloseIoHandle(client_);
  client_ = ipcbase::platform::kInvalidIoHandle;
  EXPECT_EQ(host_->Read(kDeadlineMs, &message), HostChannel::ReadResult::kClosed);
}

TEST_F(HostChannelTest, HandlersAnswerAndRefuseRequestsOthersAreReturned) {
  ClientReads(20);  // the host's hello
  host_->SetSyncHandler(ViewHostMsg_CreateIpcChannel::ID, [](const IPC::Message&, IPC::Message* reply) {
    ViewHostMsg_CreateIpcChannel::WriteReplyParams(reply, std::make_tuple(std::string("r.1")));
    return true;
  });
  host_->SetSyncHandler(ViewHostMsg_GetAchievementImage::ID,
                        [](const IPC::Message&, IPC::Message*) { return false; });
  std::string name;
  std::vector<char> png;
  ViewHostMsg_CreateIpcChannel ask_name(name);
  ViewHostMsg_GetAchievementImage ask_image(4, png);
  ViewHostMsg_OnJavascriptCallback_ReturnVal value;
  ViewHostMsg_OnJavascriptCallbackSync unhandled(1, ViewHostMsg_OnJavascriptCallback_Params(),
                                                 value);
  ASSERT_TRUE(ClientWrites(ask_name));
  ASSERT_TRUE(ClientWrites(ask_image));
  ASSERT_TRUE(ClientWrites(unhandled));
  std::unique_ptr<IPC::Message> message;
  ASSERT_EQ(host_->Next(kDeadlineMs, &message), HostChannel::ReadResult::kMessage);
  EXPECT_EQ(message->type(), ViewHostMsg_OnJavascriptCallbackSync::ID);

  std::unique_ptr<IPC::Message> reply = IPC::SyncMessage::MakeReply(ask_name);
  ViewHostMsg_CreateIpcChannel::WriteReplyParams(reply.get(), std::make_tuple(std::string("r.1")));
  EXPECT_EQ(ClientReads(reply->size()), std::string(reply->data(), reply->size()));
  std::unique_ptr<IPC::Message> error = IPC::SyncMessage::MakeReply(ask_image);
  error->set_reply_error();
  EXPECT_EQ(ClientReads(error->size()), std::string(error->data(), error->size()));
}

}  // namespace
}  // namespace host
