// IPC::Channel against the reference host's end of a real pipe.
#include "ipc/ipc/ipc_channel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/host_channel.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/platform/process.h"
#include "ipc/base/thread.h"
#include "ipc/base/waitable_event.h"
#include "ipc/ipc/ipc_channel_test_support.h"
#include "ipc/ipc/ipc_message.h"
#include "protocol/view_messages.h"

namespace IPC {
namespace {

using host::HostChannel;
using test::EventLog;
using test::kDeadlineMs;
using test::RecordingListener;
using test::RunOn;

constexpr int32_t kHostPid = 0x1234;

std::string Bytes(const Message& message) { return std::string(message.data(), message.size()); }

// A channel on an IO thread of its own, with a host end on the test thread.
class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ipcbase::Thread::Options options;
    ASSERT_TRUE(io_thread_.StartWithOptions(options));
    id_ = test::UniqueChannelId("channel");
    host_ = HostChannel::Create(id_);
    ASSERT_TRUE(host_);
  }
  void TearDown() override {
    if (channel_) RunOn(io_loop(), [&] { channel_.reset(); });
    io_thread_.Stop();
  }

  ipcbase::MessageLoop* io_loop() { return io_thread_.message_loop(); }

  // Opens the channel (on this thread), accepts it, and connects it on the
  // IO thread.
  void Open() {
    channel_ = std::make_unique<Channel>(id_, Channel::MODE_CLIENT, &listener_);
    ASSERT_TRUE(host_->Accept(kDeadlineMs, kHostPid));
    bool connected = false;
    RunOn(io_loop(), [&] { connected = channel_->Connect(); });
    ASSERT_TRUE(connected);
  }

  // Opens, and reads the channel's hello at the host.
  void OpenAndGreet() {
    Open();
    std::unique_ptr<Message> hello;
    ASSERT_EQ(host_->Read(kDeadlineMs, &hello), HostChannel::ReadResult::kMessage);
    ASSERT_EQ(hello->type(), kHelloMessageType);
    ASSERT_TRUE(log_.WaitFor("connected:" + std::to_string(kHostPid)));
  }

  // Installed before any thread of the test exists (the log observer is not
  // to be changed while other threads log).
  test::ScopedLogCapture capture_;
  ipcbase::Thread io_thread_{"VemoIpc_test"};
  std::string id_;
  std::unique_ptr<HostChannel> host_;
  EventLog log_;
  RecordingListener listener_{&log_};
  std::unique_ptr<Channel> channel_;
};

TEST_F(ChannelTest, HelloGoesBothWaysAndTheHostsHelloIsNoMessage) {
  Open();
  // The first bytes on the pipe are this process's 20-byte hello, before
  // anything given to Send.
  RunOn(io_loop(), [&] { channel_->Send(new ViewHostMsg_OnTitleChanged(3, u"t")); });
  std::unique_ptr<Message> first;
  ASSERT_EQ(host_->Read(kDeadlineMs, &first), HostChannel::ReadResult::kMessage);
  const uint32_t pid = ipcbase::platform::CurrentProcessId();
  const char expected[20] = {4, 0, 0, 0, '\xFE', '\xFF', '\xFF', '\xFF', '\xFF', '\xFF', 0, 0,
                             2, 0, 0, 0, static_cast<char>(pid & 0xFF),
                             static_cast<char>((pid >> 8) & 0xFF),
                             static_cast<char>((pid >> 16) & 0xFF),
                             static_cast<char>((pid >> 24) & 0xFF)};
  EXPECT_EQ(Bytes(*first), std::string(expected, sizeof(expected)));
  std::unique_ptr<Message> second;
  ASSERT_EQ(host_->Read(kDeadlineMs, &second), HostChannel::ReadResult::kMessage);
  EXPECT_EQ(second->type(), ViewHostMsg_OnTitleChanged::ID);

  // The host's hello (sent by Accept) becomes OnChannelConnected only.
  ASSERT_TRUE(host_->Send(ViewMsg_NavigateTo(9, "a")));
  ASSERT_TRUE(log_.WaitForCount(2));
  EXPECT_EQ(log_.events(), (std::vector<std::string>{"connected:4660",
                                                     test::Describe(ViewMsg_NavigateTo(9, "a"))}));
}

TEST_F(ChannelTest, HelloWithoutPidReportsMinusOne) {
  channel_ = std::make_unique<Channel>(id_, Channel::MODE_CLIENT, &listener_);
  // A host whose hello carries no payload.
  std::unique_ptr<HostChannel> quiet = std::move(host_);
  ASSERT_TRUE(quiet->Accept(kDeadlineMs, 1));
  RunOn(io_loop(), [&] { ASSERT_TRUE(channel_->Connect()); });
  ASSERT_TRUE(log_.WaitFor("connected:1"));
  Message empty_hello(kRoutingIdNone, kHelloMessageType, Message::PRIORITY_NORMAL);
  ASSERT_TRUE(quiet->Send(empty_hello));
  ASSERT_TRUE(log_.WaitFor("connected:-1"));
  host_ = std::move(quiet);
}

TEST_F(ChannelTest, SeveralMessagesInOneWriteArriveInOrder) {
  OpenAndGreet();
  std::vector<std::unique_ptr<Message>> messages;
  messages.push_back(std::make_unique<ViewMsg_MouseMoved>(1, 2, 3, 4));
  messages.push_back(std::make_unique<ViewMsg_DestroyWindow>(5));
  messages.push_back(std::make_unique<ViewMsg_CloseSharedMemory>(6));
  messages.push_back(std::make_unique<ViewMsg_NavigateTo>(7, "https://example.org/"));
  std::string stream;
  for (const auto& m : messages) stream += Bytes(*m);
  ASSERT_LT(stream.size(), Channel::kReadBufferSize);
  ASSERT_TRUE(host_->SendBytes(stream.data(), stream.size()));
  ASSERT_TRUE(log_.WaitForCount(1 + messages.size()));
  std::vector<std::string> expected = {"connected:4660"};
  for (const auto& m : messages) expected.push_back(test::Describe(*m));
  EXPECT_EQ(log_.events(), expected);
}

TEST_F(ChannelTest, MessagesSplitAcrossReadsAreReassembledOnce) {
  OpenAndGreet();
  std::vector<std::string> received;
  std::mutex received_mutex;
  listener_.on_message = [&](const Message& m) {
    std::lock_guard<std::mutex> lock(received_mutex);
    received.push_back(Bytes(m));
  };
  struct Case {
    size_t payload;
    size_t chunk;  // the host writes the stream in pieces of this size
  };
  const Case cases[] = {{0, 1}, {9, 3}, {100, 7}, {20000, 4096}, {20000, 1000}, {70001, 65536}};
  std::vector<std::string> expected;
  size_t events = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.payload);
    ViewMsg_NavigateTo big(1, std::string(c.payload, 'x'));
    ViewMsg_DestroyWindow next(static_cast<uint32_t>(c.payload));
    const std::string stream = Bytes(big) + Bytes(next);
    for (size_t at = 0; at < stream.size(); at += c.chunk) {
      ASSERT_TRUE(host_->SendBytes(stream.data() + at, std::min(c.chunk, stream.size() - at)));
    }
    expected.push_back(Bytes(big));
    expected.push_back(Bytes(next));
    events += 2;
    ASSERT_TRUE(log_.WaitForCount(events));
  }
  std::lock_guard<std::mutex> lock(received_mutex);
  EXPECT_EQ(received, expected);
}

TEST_F(ChannelTest, MessageOfExactlyTheLimitIsAcceptedOneByteMoreFailsOnce) {
  OpenAndGreet();
  // Both messages are streamed by the host: a header, then the payload in
  // large pieces, so no copy of the whole exists on the host's side.
  auto send_big = [&](size_t total) -> bool {
    Message::Header header{static_cast<uint32_t>(total - sizeof(Message::Header)),
                           kRoutingIdControl, 0x10009, Message::PRIORITY_NORMAL};
    if (!host_->SendBytes(&header, sizeof(header))) return false;
    std::string piece(1 << 20, '\x5A');
    for (size_t left = total - sizeof(header); left > 0;) {
      const size_t n = std::min(left, piece.size());
      if (!host_->SendBytes(piece.data(), n)) return false;
      left -= n;
    }
    return true;
  };
  size_t big_size = 0;
  bool big_content_ok = false;
  listener_.on_message = [&](const Message& m) {
    if (m.size() < 1000) return;
    big_size = m.size();
    big_content_ok = m.data()[16] == '\x5A' && m.data()[m.size() - 1] == '\x5A';
  };
  ASSERT_TRUE(send_big(Channel::kMaximumMessageSize));
  ViewMsg_DestroyWindow after(1);
  ASSERT_TRUE(host_->Send(after));
  ASSERT_TRUE(log_.WaitFor(test::Describe(after)));
  EXPECT_EQ(big_size, Channel::kMaximumMessageSize);
  EXPECT_TRUE(big_content_ok);
  EXPECT_EQ(log_.Count("error"), 0u);

  // One byte more: refused as soon as its header is in, so the host's
  // writes fail once the channel has closed the pipe.
  send_big(Channel::kMaximumMessageSize + 1);
  ASSERT_TRUE(log_.WaitFor("error"));
  std::unique_ptr<Message> ignored;
  EXPECT_EQ(host_->Read(kDeadlineMs, &ignored), HostChannel::ReadResult::kClosed);
  RunOn(io_loop(), [] {});  // anything the IO thread still had is done
  EXPECT_EQ(log_.Count("error"), 1u);
  EXPECT_EQ(capture_.Matching("IPC message is too big").size(), 1u);
}

TEST_F(ChannelTest, PeerClosingThePipeReportsOneError) {
  OpenAndGreet();
  host_->CloseConnection();
  ASSERT_TRUE(log_.WaitFor("error"));
  // A send on the closed channel fails without a second report.
  bool sent = true;
  RunOn(io_loop(), [&] { sent = channel_->Send(new ViewHostMsg_OnTitleChanged(1, u"x")); });
  EXPECT_FALSE(sent);
  RunOn(io_loop(), [] {});
  EXPECT_EQ(log_.Count("error"), 1u);
  EXPECT_EQ(capture_.Matching("pipe error: ").size(), 1u);
}

// A message that tells when it is destroyed (and on which thread).
class TrackedMessage : public Message {
 public:
  TrackedMessage(size_t payload, std::atomic<int>* deleted)
      : Message(1, ViewHostMsg_DebugOutput::ID, PRIORITY_NORMAL), deleted_(deleted) {
    std::string bytes(payload, 'p');
    WriteData(bytes.data(), static_cast<int>(bytes.size()));
  }
  ~TrackedMessage() override { deleted_->fetch_add(1); }

 private:
  std::atomic<int>* deleted_;
};

TEST_F(ChannelTest, CloseWithReadAndWriteOutstandingDrainsThemQuietly) {
  OpenAndGreet();
  std::atomic<int> deleted{0};
  // The host reads nothing more, so the first large message cannot be
  // written whole and the two behind it stay queued.
  RunOn(io_loop(), [&] {
    EXPECT_TRUE(channel_->Send(new TrackedMessage(16 << 20, &deleted)));
    EXPECT_TRUE(channel_->Send(new TrackedMessage(8, &deleted)));
    EXPECT_TRUE(channel_->Send(new TrackedMessage(8, &deleted)));
    channel_->Close();  // returns once the cancelled read and write are done
    EXPECT_EQ(deleted.load(), 3);
  });
  RunOn(io_loop(), [&] { channel_.reset(); });
  // The host gets part of the large message and then the end of the stream,
  // never one of the queued messages.
  std::unique_ptr<Message> message;
  EXPECT_EQ(host_->Read(kDeadlineMs, &message), HostChannel::ReadResult::kClosed);
  EXPECT_EQ(log_.Count("error"), 0u);
  EXPECT_TRUE(capture_.Matching("pipe error").empty());
}

TEST_F(ChannelTest, CloseFromInsideTheListenerStopsDelivery) {
  OpenAndGreet();
  listener_.on_message = [&](const Message&) { channel_->Close(); };
  ViewMsg_DestroyWindow first(1);
  ViewMsg_CloseSharedMemory second(2);
  const std::string stream = Bytes(first) + Bytes(second);
  ASSERT_TRUE(host_->SendBytes(stream.data(), stream.size()));
  std::unique_ptr<Message> message;
  EXPECT_EQ(host_->Read(kDeadlineMs, &message), HostChannel::ReadResult::kClosed);
  RunOn(io_loop(), [] {});
  EXPECT_EQ(log_.Count(test::Describe(first)), 1u);
  EXPECT_EQ(log_.Count(test::Describe(second)), 0u);
  EXPECT_EQ(log_.Count("error"), 0u);
}

TEST(ChannelOpenTest, MissingPipeLogsBothWarningsAndConnectFails) {
  test::ScopedLogCapture capture;
  EventLog log;
  RecordingListener listener(&log);
  const std::string id = test::UniqueChannelId("missing");
  ipcbase::MessageLoopForIO loop;
  Channel channel(id, Channel::MODE_CLIENT, &listener);
  EXPECT_FALSE(channel.Connect());
  EXPECT_EQ(capture.Matching("failed to create pipe: 2").size(), 1u);
  EXPECT_EQ(capture.Matching("Unable to create pipe named \"" + id + "\" in client mode.").size(),
            1u);
  EXPECT_TRUE(log.events().empty());
}

TEST(ChannelOpenTest, ServerModeIsRefused) {
  test::ScopedLogCapture capture;
  EventLog log;
  RecordingListener listener(&log);
  const std::string id = test::UniqueChannelId("server");
  ipcbase::MessageLoopForIO loop;
  Channel channel(id, Channel::MODE_SERVER, &listener);
  EXPECT_FALSE(channel.Connect());
  EXPECT_EQ(capture.Matching("Unable to create pipe named \"" + id + "\" in server mode.").size(),
            1u);
}

}  // namespace
}  // namespace IPC
