// IPC::SyncChannel against the reference host's end of a real pipe: the
// listener on the test's main thread, the channel on an IO thread, the host
// on a thread of its own (or in a child process).
#include "ipc/ipc/ipc_sync_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/host_channel.h"
#include "host/ready_signal.h"
#include "ipc/base/message_loop.h"
#include "ipc/base/test/child_process.h"
#include "ipc/base/thread.h"
#include "ipc/base/waitable_event.h"
#include "ipc/ipc/ipc_channel_test_support.h"
#include "ipc/ipc/ipc_sync_message.h"
#include "protocol/view_messages.h"

namespace IPC {
namespace {

using host::HostChannel;
using ReadResult = host::HostChannel::ReadResult;
using test::EventLog;
using test::kDeadlineMs;

constexpr uint32_t kHostRequestType = 0x10077;  // a request the host makes

// A synchronous request from the host, as the host writes it.
Message HostRequest(int request_id, bool unblock) {
  Message request(kRoutingIdControl, kHostRequestType, Message::PRIORITY_NORMAL);
  request.set_sync();
  if (unblock) request.set_unblock();
  SyncMessage::WriteRequestId(&request, request_id);
  return request;
}

Message ChannelNameReply(const Message& request, const std::string& name) {
  std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
  ViewHostMsg_CreateIpcChannel::WriteReplyParams(reply.get(), std::make_tuple(name));
  return *reply;
}

Message ImageReply(const Message& request, const std::vector<char>& png) {
  std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
  ViewHostMsg_GetAchievementImage::WriteReplyParams(reply.get(), std::make_tuple(png));
  return *reply;
}

// The listener of the tests: records what it hears, knows whether the test
// is inside a send, and answers the host's requests with an error reply
// (after running `on_request`).
class SyncListener : public Channel::Listener {
 public:
  explicit SyncListener(EventLog* log) : log_(log) {}
  void OnMessageReceived(const Message& message) override {
    if (message.is_sync()) {
      const int id = SyncMessage::GetRequestId(message);
      log_->Add("request:" + std::to_string(id) + (in_send ? ":during-send" : ":after-send"));
      if (on_request) on_request(message);
      std::unique_ptr<Message> reply = SyncMessage::MakeReply(message);
      reply->set_reply_error();
      sender->Send(reply.release());
      return;
    }
    log_->Add(test::Describe(message));
  }
  void OnChannelConnected(int32_t) override { log_->Add("connected"); }
  void OnChannelError() override { log_->Add("error"); }

  std::atomic<bool> in_send{false};
  MessageSender* sender = nullptr;
  std::function<void(const Message&)> on_request;

 private:
  EventLog* log_;
};

class SyncChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(io_thread_.StartWithOptions(ipcbase::Thread::Options()));
    id_ = test::UniqueChannelId("sync");
    host_ = HostChannel::Create(id_);
    ASSERT_TRUE(host_);
    channel_ = std::make_unique<SyncChannel>(id_, Channel::MODE_CLIENT, &listener_,
                                             io_thread_.message_loop(), true, &shutdown_event_);
    listener_.sender = channel_.get();
    ASSERT_TRUE(host_->Accept(kDeadlineMs));
  }
  void TearDown() override {
    channel_.reset();
    io_thread_.Stop();
    if (host_thread_.joinable()) host_thread_.join();
  }

  // Runs the host's part on a thread of its own.
  void StartHost(std::function<void()> script) { host_thread_ = std::thread(std::move(script)); }

  // The next message at the host, which must be one.
  std::unique_ptr<Message> HostNext() {
    std::unique_ptr<Message> message;
    if (host_->Next(kDeadlineMs, &message) != ReadResult::kMessage) {
      ADD_FAILURE() << "the host received nothing";
      return std::make_unique<Message>(0, 0, Message::PRIORITY_NORMAL);
    }
    return message;
  }

  bool Send(Message* message) {
    listener_.in_send = true;
    const bool result = channel_->Send(message);
    listener_.in_send = false;
    return result;
  }

  ipcbase::MessageLoopForIO main_loop_;
  ipcbase::Thread io_thread_{"VemoIpc_sync"};
  ipcbase::WaitableEvent shutdown_event_{true, false};
  std::string id_;
  std::unique_ptr<HostChannel> host_;
  EventLog log_;
  SyncListener listener_{&log_};
  std::unique_ptr<SyncChannel> channel_;
  std::thread host_thread_;
};

TEST_F(SyncChannelTest, ReplyOutputsOrErrorReplyDecideTheResult) {
  struct Case {
    bool handled;
    bool expected_result;
    std::string expected_name;
  };
  const Case cases[] = {{true, true, "render.7"}, {false, false, "untouched"}};
  StartHost([&] {
    host_->SetSyncHandler(ViewHostMsg_CreateIpcChannel::ID,
                          [&, round = 0](const Message&, Message* reply) mutable {
                            const bool handled = cases[round++].handled;
                            if (handled) {
                              ViewHostMsg_CreateIpcChannel::WriteReplyParams(
                                  reply, std::make_tuple(std::string("render.7")));
                            }
                            return handled;
                          });
    EXPECT_EQ(host_->ServeUntilClosed(kDeadlineMs), ReadResult::kClosed);
  });
  for (const Case& c : cases) {
    std::string name = "untouched";
    EXPECT_EQ(Send(new ViewHostMsg_CreateIpcChannel(name)), c.expected_result);
    EXPECT_EQ(name, c.expected_name);
  }
}

TEST_F(SyncChannelTest, ReplyWhoseOutputsDoNotReadFails) {
  StartHost([&] {
    std::unique_ptr<Message> request = HostNext();
    std::unique_ptr<Message> reply = SyncMessage::MakeReply(*request);
    reply->WriteInt(-5);  // not a byte vector
    host_->Send(*reply);
    EXPECT_EQ(host_->ServeUntilClosed(kDeadlineMs), ReadResult::kClosed);
  });
  std::vector<char> png = {'k'};
  EXPECT_FALSE(Send(new ViewHostMsg_GetAchievementImage(3, png)));
}

TEST_F(SyncChannelTest, UnblockingRequestIsDeliveredDuringTheWaitOnce) {
  StartHost([&] {
    std::unique_ptr<Message> request = HostNext();
    host_->Send(HostRequest(500, true));
    std::unique_ptr<Message> answer = HostNext();
    EXPECT_TRUE(SyncMessage::IsReplyTo(*answer, 500));
    EXPECT_TRUE(answer->is_reply_error());
    host_->Send(ChannelNameReply(*request, "outer"));
    EXPECT_EQ(host_->ServeUntilClosed(kDeadlineMs), ReadResult::kClosed);
  });
  std::string name;
  EXPECT_TRUE(Send(new ViewHostMsg_CreateIpcChannel(name)));
  EXPECT_EQ(name, "outer");
  EXPECT_EQ(log_.Count("request:500:during-send"), 1u);
  // The dispatch task and the dispatch watcher were triggered as well; they
  // find the queue empty.
  main_loop_.RunAllPending();
  ASSERT_TRUE(test::RunLoopUntil([&] { return log_.Count("connected") == 1; }));
  EXPECT_EQ(log_.Count("request:500:during-send") + log_.Count("request:500:after-send"), 1u);
}

TEST_F(SyncChannelTest, NestedSendCompletesFirstAndTheParkedOuterReplyAfterIt) {
  StartHost([&] {
    std::unique_ptr<Message> outer = HostNext();
    EXPECT_EQ(outer->type(), ViewHostMsg_CreateIpcChannel::ID);
    host_->Send(HostRequest(600, true));
    std::unique_ptr<Message> inner = HostNext();
    EXPECT_EQ(inner->type(), ViewHostMsg_GetAchievementImage::ID);
    // The outer reply arrives while the inner send is innermost: parked.
    host_->Send(ChannelNameReply(*outer, "outer"));
    host_->Send(ImageReply(*inner, {1, 2, 3}));
    std::unique_ptr<Message> answer = HostNext();
    EXPECT_TRUE(SyncMessage::IsReplyTo(*answer, 600));
    EXPECT_EQ(host_->ServeUntilClosed(kDeadlineMs), ReadResult::kClosed);
  });
  std::vector<char> png;
  listener_.on_request = [&](const Message&) {
    EXPECT_TRUE(channel_->Send(new ViewHostMsg_GetAchievementImage(11, png)));
    log_.Add("inner-done");
  };
  std::string name;
  EXPECT_TRUE(Send(new ViewHostMsg_CreateIpcChannel(name)));
  log_.Add("outer-done");
  EXPECT_EQ(name, "outer");
  EXPECT_EQ(png, (std::vector<char>{1, 2, 3}));
  std::vector<std::string> events = log_.events();
  std::vector<std::string> order;
  for (const std::string& e : events) {
    if (e == "inner-done" || e == "outer-done" || e.rfind("request:", 0) == 0) order.push_back(e);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"request:600:during-send", "inner-done",
                                             "outer-done"}));
}

TEST_F(SyncChannelTest, RequestWithoutUnblockWaitsUntilTheSendIsDone) {
  StartHost([&] {
    std::unique_ptr<Message> request = HostNext();
    host_->Send(HostRequest(700, false));
    host_->Send(ChannelNameReply(*request, "x"));
    std::unique_ptr<Message> answer = HostNext();
    EXPECT_TRUE(SyncMessage::IsReplyTo(*answer, 700));
    EXPECT_EQ(host_->ServeUntilClosed(kDeadlineMs), ReadResult::kClosed);
  });
  std::string name;
  EXPECT_TRUE(Send(new ViewHostMsg_CreateIpcChannel(name)));
  EXPECT_EQ(log_.Count("request:700:during-send"), 0u);
  ASSERT_TRUE(test::RunLoopUntil([&] { return log_.Count("request:700:after-send") == 1; }));
}

TEST_F(SyncChannelTest, ShutdownEventReleasesABlockedSendAndRefusesLaterOnes) {
  StartHost([&] {
    std::unique_ptr<Message> request = HostNext();
    EXPECT_EQ(request->type(), ViewHostMsg_CreateIpcChannel::ID);
    shutdown_event_.Signal();  // never answered
    // Nothing more is written before the channel closes.
    std::unique_ptr<Message> message;
    EXPECT_EQ(host_->Next(kDeadlineMs, &message), ReadResult::kClosed);
  });
  std::string name = "untouched";
  EXPECT_FALSE(Send(new ViewHostMsg_CreateIpcChannel(name)));
  EXPECT_FALSE(Send(new ViewHostMsg_CreateIpcChannel(name)));
  EXPECT_EQ(name, "untouched");
}

TEST_F(SyncChannelTest, ChannelErrorReleasesABlockedSend) {
  StartHost([&] {
    HostNext();
    host_->CloseConnection();
  });
  std::string name;
  EXPECT_FALSE(Send(new ViewHostMsg_CreateIpcChannel(name)));
  ASSERT_TRUE(test::RunLoopUntil([&] { return log_.Count("error") == 1; }));
  // Later synchronous sends fail too.
  EXPECT_FALSE(Send(new ViewHostMsg_CreateIpcChannel(name)));
}

TEST_F(SyncChannelTest, CloseReleasesASendWaitingOnAnotherThread) {
  ipcbase::WaitableEvent request_seen(true, false);
  StartHost([&] {
    HostNext();
    request_seen.Signal();
    std::unique_ptr<Message> message;
    EXPECT_EQ(host_->Next(kDeadlineMs, &message), ReadResult::kClosed);
  });
  std::atomic<bool> result{true};
  std::thread sender([&] {
    std::string name;
    result = channel_->Send(new ViewHostMsg_CreateIpcChannel(name));
  });
  ASSERT_TRUE(request_seen.TimedWait(ipcbase::TimeDelta::FromMilliseconds(kDeadlineMs)));
  channel_->Close();
  sender.join();
  EXPECT_FALSE(result);
}

// Two threads send synchronously over the one channel at the same time; the
// host answers each pair in the reverse order of arrival. Every send must
// get its own reply.
TEST_F(SyncChannelTest, SendsOnTwoThreadsNeverCompleteEachOther) {
  constexpr int kRounds = 200;
  StartHost([&] {
    int names_left = kRounds;
    int images_left = kRounds;
    int names_answered = 0;
    std::unique_ptr<Message> held;
    auto answer = [&](const Message& request) {
      if (request.type() == ViewHostMsg_CreateIpcChannel::ID) {
        host_->Send(ChannelNameReply(request, "name" + std::to_string(names_answered++)));
      } else {
        ViewHostMsg_GetAchievementImage::SendParam in;
        EXPECT_TRUE(ViewHostMsg_GetAchievementImage::Read(&request, &in));
        host_->Send(ImageReply(request, std::vector<char>(1, static_cast<char>(std::get<0>(in)))));
      }
    };
    while (names_left + images_left > 0) {
      std::unique_ptr<Message> request = HostNext();
      if (!request->is_sync()) return;
      (request->type() == ViewHostMsg_CreateIpcChannel::ID ? names_left : images_left)--;
      if (held) {
        answer(*request);  // the later one first
        answer(*held);
        held.reset();
      } else if (names_left == 0 || images_left == 0) {
        answer(*request);  // no partner is coming
      } else {
        held = std::move(request);
      }
    }
    EXPECT_EQ(host_->ServeUntilClosed(kDeadlineMs), ReadResult::kClosed);
  });
  std::atomic<int> image_failures{0};
  std::thread other([&] {
    for (int round = 0; round < kRounds; ++round) {
      std::vector<char> png;
      const bool ok = channel_->Send(new ViewHostMsg_GetAchievementImage(
          static_cast<uint32_t>(round % 100), png));
      if (!ok || png != std::vector<char>(1, static_cast<char>(round % 100))) ++image_failures;
    }
  });
  int name_failures = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::string name;
    if (!channel_->Send(new ViewHostMsg_CreateIpcChannel(name)) ||
        name != "name" + std::to_string(round)) {
      ++name_failures;
    }
  }
  other.join();
  EXPECT_EQ(name_failures, 0);
  EXPECT_EQ(image_failures.load(), 0);
}

TEST(SyncChannelHostDeathTest, HostDyingMidWaitReleasesTheSend) {
  ipcbase::MessageLoopForIO main_loop;
  ipcbase::Thread io_thread("VemoIpc_death");
  ASSERT_TRUE(io_thread.StartWithOptions(ipcbase::Thread::Options()));
  const std::string id = test::UniqueChannelId("death");
  const std::string ready_id = id + ".ready";
  auto ready = host::ReadyWaiter::Create(ready_id);
  ASSERT_TRUE(ready);
  auto child = ipcbase::test::ChildProcess::Start(HOST_TEST_HELPER, {"die-on-request", id, ready_id},
                                                  std::filesystem::current_path());
  ASSERT_TRUE(child);
  ASSERT_TRUE(ready->Wait(kDeadlineMs));

  EventLog log;
  SyncListener listener(&log);
  ipcbase::WaitableEvent shutdown(true, false);
  {
    SyncChannel channel(id, Channel::MODE_CLIENT, &listener, io_thread.message_loop(), true,
                        &shutdown);
    listener.sender = &channel;
    std::string name = "untouched";
    EXPECT_FALSE(channel.Send(new ViewHostMsg_CreateIpcChannel(name)));
    EXPECT_EQ(name, "untouched");
    ASSERT_TRUE(test::RunLoopUntil([&] { return log.Count("error") == 1; }));
  }
  EXPECT_EQ(child->WaitForExit(kDeadlineMs), 7);
  io_thread.Stop();
}

}  // namespace
}  // namespace IPC
