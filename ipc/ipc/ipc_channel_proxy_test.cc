// IPC::ChannelProxy against the reference host's end of a real pipe: the
// listener on the test's main thread, the channel on an IO thread.
#include "ipc/ipc/ipc_channel_proxy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "host/host_channel.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/platform/platform_thread.h"
#include "ipc/base/thread.h"
#include "ipc/base/waitable_event.h"
#include "ipc/ipc/ipc_channel_test_support.h"
#include "protocol/view_messages.h"

namespace IPC {
namespace {

using host::HostChannel;
using test::EventLog;
using test::kDeadlineMs;
using test::RecordingListener;

constexpr int32_t kHostPid = 4321;

// A context that also tells when the IO thread has passed a message on, so
// a test knows what is queued for the listener thread.
class CountingContext : public ChannelProxy::Context {
 public:
  CountingContext(Channel::Listener* listener, ipcbase::MessageLoop* io_loop)
      : Context(listener, io_loop) {}
  std::atomic<int> forwarded{0};
  ipcbase::WaitableEvent forwarded_event{false, false};

 protected:
  void OnMessageReceived(const Message& message) override {
    Context::OnMessageReceived(message);
    forwarded.fetch_add(1);
    forwarded_event.Signal();
  }
};

class CountingProxy : public ChannelProxy {
 public:
  CountingProxy(const std::string& id, Channel::Listener* listener, ipcbase::MessageLoop* io_loop,
                CountingContext* context)
      : ChannelProxy(id, Channel::MODE_CLIENT, io_loop, context, true) {
    (void)listener;
  }
};

// A message that records the thread that destroys it.
class TrackedMessage : public ViewHostMsg_OnCreatedWindow {
 public:
  TrackedMessage(std::atomic<uint32_t>* thread, ipcbase::WaitableEvent* deleted)
      : ViewHostMsg_OnCreatedWindow(1), thread_(thread), deleted_(deleted) {}
  ~TrackedMessage() override {
    thread_->store(ipcbase::PlatformThread::CurrentId());
    deleted_->Signal();
  }

 private:
  std::atomic<uint32_t>* thread_;
  ipcbase::WaitableEvent* deleted_;
};

class ChannelProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(io_thread_.StartWithOptions(ipcbase::Thread::Options()));
    id_ = test::UniqueChannelId("proxy");
    host_ = HostChannel::Create(id_);
    ASSERT_TRUE(host_);
  }
  void TearDown() override {
    proxy_.reset();
    io_thread_.Stop();
  }

  ipcbase::MessageLoopForIO main_loop_;
  ipcbase::Thread io_thread_{"VemoIpc_proxy"};
  std::string id_;
  std::unique_ptr<HostChannel> host_;
  EventLog log_;
  RecordingListener listener_{&log_};
  std::unique_ptr<ChannelProxy> proxy_;
};

TEST_F(ChannelProxyTest, ConnectionIsReportedOnceAndBeforeTheFirstMessage) {
  proxy_ = std::make_unique<ChannelProxy>(id_, Channel::MODE_CLIENT, &listener_,
                                          io_thread_.message_loop(), true);
  ASSERT_TRUE(host_->Accept(kDeadlineMs, kHostPid));
  ViewMsg_NavigateTo first(2, "https://example.org/");
  ViewMsg_DestroyWindow second(2);
  ASSERT_TRUE(host_->Send(first));
  ASSERT_TRUE(host_->Send(second));
  ASSERT_TRUE(test::RunLoopUntil([&] { return log_.events().size() >= 3; }));
  main_loop_.RunAllPending();
  EXPECT_EQ(log_.events(), (std::vector<std::string>{"connected:4321", test::Describe(first),
                                                     test::Describe(second)}));

  // Sends from any thread reach the host in order.
  ASSERT_TRUE(proxy_->Send(new ViewHostMsg_OnTitleChanged(2, u"a")));
  std::thread other([&] { proxy_->Send(new ViewHostMsg_OnLoadingStateChanged(2, true)); });
  other.join();
  std::unique_ptr<Message> message;
  ASSERT_EQ(host_->Next(kDeadlineMs, &message), HostChannel::ReadResult::kMessage);
  EXPECT_EQ(message->type(), ViewHostMsg_OnTitleChanged::ID);
  ASSERT_EQ(host_->Next(kDeadlineMs, &message), HostChannel::ReadResult::kMessage);
  EXPECT_EQ(message->type(), ViewHostMsg_OnLoadingStateChanged::ID);
  EXPECT_EQ(host_->peer_pid(), static_cast<int32_t>(ipcbase::platform::CurrentProcessId()));
}

TEST_F(ChannelProxyTest, NothingIsDeliveredAfterCloseAndLaterSendsDieOnTheIoThread) {
  auto* context = new CountingContext(&listener_, io_thread_.message_loop());
  scoped_refptr<CountingContext> keep(context);
  proxy_ = std::make_unique<CountingProxy>(id_, &listener_, io_thread_.message_loop(), context);
  ASSERT_TRUE(host_->Accept(kDeadlineMs, kHostPid));
  for (uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(host_->Send(ViewMsg_DestroyWindow(i)));
  // All three are queued for this thread, which has not run its loop.
  while (context->forwarded.load() < 3) {
    ASSERT_TRUE(context->forwarded_event.TimedWait(ipcbase::TimeDelta::FromMilliseconds(kDeadlineMs)));
  }
  proxy_->Close();
  proxy_->Close();  // the second close finds no channel and does nothing

  std::atomic<uint32_t> deleted_on{0};
  ipcbase::WaitableEvent deleted(true, false);
  EXPECT_TRUE(proxy_->Send(new TrackedMessage(&deleted_on, &deleted)));
  ASSERT_TRUE(deleted.TimedWait(ipcbase::TimeDelta::FromMilliseconds(kDeadlineMs)));
  EXPECT_EQ(deleted_on.load(), io_thread_.thread_id());

  main_loop_.RunAllPending();
  EXPECT_TRUE(log_.events().empty());
  // The host saw the hello and then the end of the pipe, nothing else.
  std::unique_ptr<Message> message;
  EXPECT_EQ(host_->Next(kDeadlineMs, &message), HostChannel::ReadResult::kClosed);
}

TEST_F(ChannelProxyTest, ConnectFailureReportsAnErrorAndNoConnection) {
  host_.reset();  // no pipe
  proxy_ = std::make_unique<ChannelProxy>(id_, Channel::MODE_CLIENT, &listener_,
                                          io_thread_.message_loop(), true);
  ASSERT_TRUE(test::RunLoopUntil([&] { return !log_.events().empty(); }));
  EXPECT_EQ(log_.events(), std::vector<std::string>{"error"});
}

TEST_F(ChannelProxyTest, PipeIsOpenedOnTheConstructingThreadWhenAskedTo) {
  // The IO thread is kept busy, so only this thread can open the pipe.
  ipcbase::WaitableEvent release(true, false);
  io_thread_.message_loop()->PostTask(ipcbase::NewFunctionTask([&] { release.Wait(); }));
  proxy_ = std::make_unique<ChannelProxy>(id_, Channel::MODE_CLIENT, &listener_,
                                          io_thread_.message_loop(), true);
  EXPECT_TRUE(host_->Accept(kDeadlineMs, kHostPid));
  release.Signal();
  ASSERT_TRUE(test::RunLoopUntil([&] { return !log_.events().empty(); }));
  EXPECT_EQ(log_.events(), std::vector<std::string>{"connected:4321"});
}

TEST_F(ChannelProxyTest, PipeOpenedOnTheIoThreadOtherwise) {
  proxy_ = std::make_unique<ChannelProxy>(id_, Channel::MODE_CLIENT, &listener_,
                                          io_thread_.message_loop(), false);
  ASSERT_TRUE(host_->Accept(kDeadlineMs, kHostPid));
  ASSERT_TRUE(test::RunLoopUntil([&] { return !log_.events().empty(); }));
  EXPECT_EQ(log_.events(), std::vector<std::string>{"connected:4321"});
}

TEST_F(ChannelProxyTest, PeerClosingIsReportedAfterTheMessagesBeforeIt) {
  proxy_ = std::make_unique<ChannelProxy>(id_, Channel::MODE_CLIENT, &listener_,
                                          io_thread_.message_loop(), true);
  ASSERT_TRUE(host_->Accept(kDeadlineMs, kHostPid));
  ViewMsg_DestroyWindow last(8);
  ASSERT_TRUE(host_->Send(last));
  host_->CloseConnection();
  ASSERT_TRUE(test::RunLoopUntil([&] { return log_.events().size() >= 3; }));
  EXPECT_EQ(log_.events(),
            (std::vector<std::string>{"connected:4321", test::Describe(last), "error"}));
}

TEST_F(ChannelProxyTest, IoThreadStoppingFirstClosesTheChannelAndLaterUseIsHarmless) {
  proxy_ = std::make_unique<ChannelProxy>(id_, Channel::MODE_CLIENT, &listener_,
                                          io_thread_.message_loop(), true);
  ASSERT_TRUE(host_->Accept(kDeadlineMs, kHostPid));
  std::unique_ptr<Message> message;
  ASSERT_EQ(host_->Read(kDeadlineMs, &message), HostChannel::ReadResult::kMessage);  // hello
  io_thread_.Stop();
  // The channel went with its loop: the host sees the pipe end.
  EXPECT_EQ(host_->Read(kDeadlineMs, &message), HostChannel::ReadResult::kClosed);
  // With no IO loop left, a send deletes its message here and now.
  std::atomic<uint32_t> deleted_on{0};
  ipcbase::WaitableEvent deleted(true, false);
  EXPECT_TRUE(proxy_->Send(new TrackedMessage(&deleted_on, &deleted)));
  EXPECT_TRUE(deleted.IsSignaled());
  EXPECT_EQ(deleted_on.load(), ipcbase::PlatformThread::CurrentId());
  proxy_.reset();  // Close finds no loop either
}

}  // namespace
}  // namespace IPC
