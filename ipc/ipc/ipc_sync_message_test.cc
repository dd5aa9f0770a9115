#include "ipc/ipc/ipc_sync_message.h"

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/ipc/ipc_message_templates.h"
#include "ipc/base/test/test_bytes.h"

namespace IPC {
namespace {

using ipcbase::test::ExactBytes;
using ipcbase::test::Hex;
using ipcbase::test::HexOfInt;
using ipcbase::test::NormalHex;
using ipcbase::test::SerializedHex;

// A request with one string input and one int output, as the catalogue
// builds them.
class TestMsg_Ask
    : public SyncRoutedMessage<0x30001, std::tuple<std::string>, std::tuple<int>> {
 public:
  using SyncRoutedMessage::SyncRoutedMessage;
};

// A request with two outputs, to see a partial read.
class TestMsg_Pair
    : public SyncControlMessage<0x30002, std::tuple<>, std::tuple<int, std::string>> {
 public:
  using SyncControlMessage::SyncControlMessage;
};

uint32_t IdOf(const Message& m) { return static_cast<uint32_t>(SyncMessage::GetRequestId(m)); }

TEST(SyncMessageTest, RequestCarriesFlags0x26AndItsIdFirst) {
  int answer = 0;
  TestMsg_Ask request(9, "hi", answer);
  const uint32_t id = IdOf(request);
  EXPECT_EQ(SerializedHex(request),
            NormalHex("0a000000 09000000 01000300 26000000" + HexOfInt(id) + "02000000 6869"));
  EXPECT_TRUE(request.is_sync());
  EXPECT_TRUE(request.should_unblock());
  EXPECT_FALSE(request.is_reply());

  TestMsg_Ask::SendParam inputs;
  ASSERT_TRUE(TestMsg_Ask::Read(&request, &inputs));
  EXPECT_EQ(std::get<0>(inputs), "hi");
}

TEST(SyncMessageTest, ReplyAndErrorReplyLayouts) {
  int answer = 0;
  TestMsg_Ask request(9, "hi", answer);
  const uint32_t id = IdOf(request);

  std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
  TestMsg_Ask::WriteReplyParams(reply.get(), std::make_tuple(0x55));
  EXPECT_EQ(SerializedHex(*reply),
            NormalHex("08000000 09000000 f0ffffff 0a000000" + HexOfInt(id) + "55000000"));

  std::unique_ptr<Message> error = SyncMessage::MakeReply(request);
  error->set_reply_error();
  EXPECT_EQ(SerializedHex(*error),
            NormalHex("04000000 09000000 f0ffffff 1a000000" + HexOfInt(id)));

  // A reply copies the request's priority.
  ExactBytes high(Hex("04000000 03000000 05000000 27000000 11000000"));
  Message high_request(high.data(), high.size());
  EXPECT_EQ(SerializedHex(*SyncMessage::MakeReply(high_request)),
            NormalHex("04000000 03000000 f0ffffff 0b000000 11000000"));
}

TEST(SyncMessageTest, TheReplyOutputsLandInTheSendersVariables) {
  int answer = 0;
  TestMsg_Ask request(9, "hi", answer);
  std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
  TestMsg_Ask::WriteReplyParams(reply.get(), std::make_tuple(-3));
  // Received: a view over the reply's bytes.
  ExactBytes bytes(ipcbase::test::Serialized(*reply));
  Message received(bytes.data(), bytes.size());

  std::unique_ptr<MessageReplyDeserializer> deserializer = request.TakeReplyDeserializer();
  ASSERT_NE(deserializer, nullptr);
  EXPECT_EQ(request.TakeReplyDeserializer(), nullptr);
  ASSERT_TRUE(SyncMessage::IsReplyTo(received, SyncMessage::GetRequestId(request)));
  ASSERT_TRUE(deserializer->ReadOutputs(received));
  EXPECT_EQ(answer, -3);

  TestMsg_Ask::ReplyValues values;
  ASSERT_TRUE(TestMsg_Ask::ReadReplyParams(&received, &values));
  EXPECT_EQ(std::get<0>(values), -3);
}

TEST(SyncMessageTest, OutputsReadBeforeAFailingOneKeepTheirValues) {
  int number = 0;
  std::string text = "untouched";
  TestMsg_Pair request(number, text);
  const uint32_t id = IdOf(request);
  // The int output, then a string whose length runs past the end.
  ExactBytes bytes(Hex("0c000000 ffffff7f f0ffffff 0a000000" + HexOfInt(id) +
                       "07000000 09000000"));
  Message reply(bytes.data(), bytes.size());
  EXPECT_FALSE(request.TakeReplyDeserializer()->ReadOutputs(reply));
  EXPECT_EQ(number, 7);
  EXPECT_EQ(text, "untouched");
}

TEST(SyncMessageTest, ReplyWithoutARequestIdReadsNothing) {
  int answer = 5;
  TestMsg_Ask request(9, "hi", answer);
  ExactBytes bytes(Hex("02000000 09000000 f0ffffff 0a000000 0000"));
  Message reply(bytes.data(), bytes.size());
  EXPECT_FALSE(request.TakeReplyDeserializer()->ReadOutputs(reply));
  EXPECT_EQ(answer, 5);
}

TEST(SyncMessageTest, GetRequestIdAndIsReplyTo) {
  const struct {
    const char* name;
    const char* bytes;
    int request_id;       // GetRequestId
    bool reply_to_0x11;   // IsReplyTo(msg, 0x11)
    bool reply_to_0;      // IsReplyTo(msg, 0)
  } cases[] = {
      {"request", "04000000 01000000 05000000 26000000 11000000", 0x11, false, false},
      {"reply", "04000000 01000000 f0ffffff 0a000000 11000000", 0x11, true, false},
      {"error reply", "04000000 01000000 f0ffffff 1a000000 11000000", 0x11, true, false},
      {"reply to another request", "04000000 01000000 f0ffffff 0a000000 12000000", 0x12, false,
       false},
      {"plain message", "04000000 01000000 05000000 02000000 11000000", 0, false, false},
      // Without a readable id a reply answers no request, not even id 0.
      {"reply without payload", "00000000 01000000 f0ffffff 0a000000", 0, false, false},
      {"reply with id 0", "04000000 01000000 f0ffffff 0a000000 00000000", 0, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExactBytes bytes(Hex(c.bytes));
    Message m(bytes.data(), bytes.size());
    ASSERT_NE(m.data(), nullptr);
    EXPECT_EQ(SyncMessage::GetRequestId(m), c.request_id);
    EXPECT_EQ(SyncMessage::IsReplyTo(m, 0x11), c.reply_to_0x11);
    EXPECT_EQ(SyncMessage::IsReplyTo(m, 0), c.reply_to_0);
  }
}

TEST(SyncMessageTest, WriteRequestIdOnlyIntoAnEmptyPayload) {
  Message m(1, 2, Message::PRIORITY_NORMAL);
  m.set_sync();
  ASSERT_TRUE(SyncMessage::WriteRequestId(&m, 42));
  EXPECT_EQ(m.payload_size(), SyncMessage::kSyncMessageHeaderSize);
  EXPECT_FALSE(SyncMessage::WriteRequestId(&m, 43));
  int id = 0;
  ASSERT_TRUE(SyncMessage::ReadRequestId(m, &id));
  EXPECT_EQ(id, 42);
  EXPECT_EQ(m.payload_size(), 4u);
}

TEST(SyncMessageTest, RequestIdsFollowEachOther) {
  int a = 0;
  TestMsg_Ask first(1, "", a);
  TestMsg_Ask second(1, "", a);
  EXPECT_EQ(IdOf(second), IdOf(first) + 1);
}

TEST(SyncMessageTest, RequestIdsAreUniqueAcrossThreads) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;
  std::vector<std::vector<uint32_t>> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&ids, t] {
      int out = 0;
      for (int i = 0; i < kPerThread; ++i) {
        TestMsg_Ask m(1, "", out);
        ids[t].push_back(IdOf(m));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<uint32_t> all;
  for (const auto& list : ids) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
}

// In a fresh process (the death-test child re-executes this test alone), the
// first request has id 0 and its reply starts its payload with 00 00 00 00.
TEST(SyncMessageDeathTest, FirstRequestOfTheProcessHasIdZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string name;
        int out = 0;
        TestMsg_Ask request(kRoutingIdControl, "", out);
        std::unique_ptr<Message> reply = SyncMessage::MakeReply(request);
        const bool ok = SerializedHex(request) ==
                            NormalHex("08000000 ffffff7f 01000300 26000000 00000000 00000000") &&
                        SerializedHex(*reply) ==
                            NormalHex("04000000 ffffff7f f0ffffff 0a000000 00000000");
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace IPC
