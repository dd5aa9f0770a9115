#include "ipc/ipc/ipc_message.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/base/test/test_bytes.h"

namespace IPC {
namespace {

using ipcbase::test::ExactBytes;
using ipcbase::test::Hex;
using ipcbase::test::NormalHex;
using ipcbase::test::SerializedHex;
using ipcbase::test::ToHex;

struct LayoutCase {
  const char* name;
  std::function<Message()> make;
  const char* bytes;
};

TEST(MessageTest, HeaderLayouts) {
  const LayoutCase cases[] = {
      {"empty control message",
       [] { return Message(kRoutingIdControl, 0x10009, Message::PRIORITY_NORMAL); },
       "00000000 ffffff7f 09000100 02000000"},
      {"hello with pid 0x1234",
       [] {
         Message m(kRoutingIdNone, kHelloMessageType, Message::PRIORITY_NORMAL);
         m.WriteInt(0x1234);
         return m;
       },
       "04000000 feffffff ffff0000 02000000 34120000"},
      {"routed message with a 9-byte payload",
       [] {
         Message m(7, 0x20004, Message::PRIORITY_NORMAL);
         m.WriteString("abcde");
         return m;
       },
       "09000000 07000000 04000200 02000000 05000000 6162636465"},
      {"synchronous request flags",
       [] {
         Message m(kRoutingIdControl, 0x2000d, Message::PRIORITY_NORMAL);
         m.set_sync();
         m.set_unblock();
         return m;
       },
       "00000000 ffffff7f 0d000200 26000000"},
      {"reply flags",
       [] {
         Message m(1, kReplyMessageType, Message::PRIORITY_NORMAL);
         m.set_reply();
         return m;
       },
       "00000000 01000000 f0ffffff 0a000000"},
      {"error reply flags",
       [] {
         Message m(1, kReplyMessageType, Message::PRIORITY_NORMAL);
         m.set_reply();
         m.set_reply_error();
         return m;
       },
       "00000000 01000000 f0ffffff 1a000000"},
      {"low priority", [] { return Message(-1, 1, Message::PRIORITY_LOW); },
       "00000000 ffffffff 01000000 01000000"},
      {"high priority", [] { return Message(0, 0, Message::PRIORITY_HIGH); },
       "00000000 00000000 00000000 03000000"},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Message m = c.make();
    EXPECT_EQ(SerializedHex(m), NormalHex(c.bytes));
    EXPECT_EQ(m.header_size(), 16u);
  }
}

TEST(MessageTest, AccessorsReadTheHeaderOfAWritableMessage) {
  Message m(kRoutingIdControl, 0xFFFFFFF0, Message::PRIORITY_NORMAL);
  EXPECT_EQ(m.routing_id(), 0x7FFFFFFF);
  EXPECT_EQ(m.type(), 0xFFFFFFF0u);
  EXPECT_EQ(m.flags(), 2u);
  EXPECT_EQ(m.priority(), Message::PRIORITY_NORMAL);
  EXPECT_FALSE(m.is_sync() || m.is_reply() || m.is_reply_error() || m.should_unblock());
  m.set_sync();
  EXPECT_TRUE(m.is_sync());
  m.set_reply();
  EXPECT_TRUE(m.is_reply());
  m.set_reply_error();
  EXPECT_TRUE(m.is_reply_error());
  m.set_unblock();
  EXPECT_TRUE(m.should_unblock());
  EXPECT_EQ(m.flags(), 0x3Eu);
  EXPECT_EQ(m.priority(), Message::PRIORITY_NORMAL);
  const Message::Header h = m.header();
  EXPECT_EQ(h.payload_size, 0u);
  EXPECT_EQ(h.routing, kRoutingIdControl);
  EXPECT_EQ(h.type, 0xFFFFFFF0u);
  EXPECT_EQ(h.flags, 0x3Eu);
}

TEST(MessageTest, ViewReadsHeaderAndPayloadAtAnyAddress) {
  // Flag bits from 0x40 on are ignored: 0xC2 is priority 2 and nothing else.
  ExactBytes bytes(Hex("08000000 05000000 03000100 c2000000 2a000000 f9ffffff"));
  Message view(bytes.data(), bytes.size());
  ASSERT_EQ(view.data(), bytes.data());
  EXPECT_TRUE(view.is_read_only());
  EXPECT_EQ(view.routing_id(), 5);
  EXPECT_EQ(view.type(), 0x10003u);
  EXPECT_EQ(view.flags(), 0xC2u);
  EXPECT_EQ(view.priority(), Message::PRIORITY_NORMAL);
  EXPECT_FALSE(view.is_sync() || view.is_reply() || view.is_reply_error() ||
               view.should_unblock());
  void* iter = nullptr;
  int a = 0, b = 0;
  ASSERT_TRUE(view.ReadInt(&iter, &a));
  ASSERT_TRUE(view.ReadInt(&iter, &b));
  EXPECT_EQ(a, 42);
  EXPECT_EQ(b, -7);
  EXPECT_FALSE(view.ReadInt(&iter, &a));
}

TEST(MessageTest, ViewsThatAreNotOneWholeMessageAreInvalid) {
  const struct {
    const char* name;
    const char* bytes;
  } cases[] = {
      {"3 bytes", "000000"},
      {"header cut short", "00000000 01000000 02000000 020000"},
      {"4-byte header", "04000000 01000000"},
      {"12-byte header", "04000000 01000000 02000000 03000000"},
      {"20-byte header", "00000000 01000000 02000000 02000000 05000000"},
      {"payload size beyond the bytes", "05000000 01000000 02000000 02000000 0100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExactBytes bytes(Hex(c.bytes));
    Message view(bytes.data(), bytes.size());
    EXPECT_EQ(view.data(), nullptr);
    EXPECT_EQ(view.routing_id(), 0);
    EXPECT_EQ(view.type(), 0u);
    EXPECT_EQ(view.flags(), 0u);
    EXPECT_EQ(view.header().payload_size, 0u);
    void* iter = nullptr;
    int i;
    EXPECT_FALSE(view.ReadInt(&iter, &i));
  }
}

TEST(MessageTest, MutatorsAndWritesLeaveAViewsBytesUntouched) {
  ExactBytes bytes(Hex("04000000 05000000 03000100 02000000 2a000000"));
  const std::string before = bytes.contents();
  Message view(bytes.data(), bytes.size());
  view.set_sync();
  view.set_reply();
  view.set_reply_error();
  view.set_unblock();
  EXPECT_FALSE(view.WriteInt(1));
  EXPECT_EQ(bytes.contents(), before);
  EXPECT_EQ(view.flags(), 2u);
}

TEST(MessageTest, CopyOfAViewIsWritable) {
  ExactBytes bytes(Hex("05000000 05000000 03000100 02000000 0102030405"));
  Message view(bytes.data(), bytes.size());
  Message copy(view);
  EXPECT_FALSE(copy.is_read_only());
  EXPECT_EQ(SerializedHex(copy), ToHex(bytes.contents()));
  copy.set_sync();
  ASSERT_TRUE(copy.WriteInt(9));
  EXPECT_EQ(SerializedHex(copy),
            NormalHex("0c000000 05000000 03000100 06000000 0102030405000000 09000000"));
  EXPECT_EQ(ToHex(bytes.contents()), NormalHex("05000000 05000000 03000100 02000000 0102030405"));
}

// What the channel does with its receive buffer: cut whole messages off the
// front, keep the bytes of an incomplete one.
struct Split {
  std::vector<std::string> messages;
  std::string kept;
};

Split SplitStream(const ExactBytes& stream) {
  Split out;
  const char* p = stream.data();
  const char* end = stream.end();
  while (p < end) {
    const char* q = Message::FindNext(p, end);
    if (q == nullptr) break;
    Message view(p, static_cast<int>(q - p));
    EXPECT_NE(view.data(), nullptr);
    out.messages.push_back(ToHex(p, static_cast<size_t>(q - p)));
    p = q;
  }
  out.kept = ToHex(p, static_cast<size_t>(end - p));
  return out;
}

TEST(MessageTest, FindNextSplitsAByteStream) {
  const std::string first = "09000000 07000000 04000200 02000000 05000000 6162636465";
  const std::string second = "04000000 feffffff ffff0000 02000000 34120000";
  const std::string both = Hex(first + second);
  ASSERT_EQ(both.size(), 45u);
  const struct {
    const char* name;
    size_t length;
    std::vector<std::string> messages;
    std::string kept;
  } cases[] = {
      {"two whole messages", 45, {NormalHex(first), NormalHex(second)}, ""},
      {"the first splits at byte 25", 25, {NormalHex(first)}, ""},
      {"second cut inside its payload", 42, {NormalHex(first)}, ToHex(both.substr(25, 17))},
      {"stream ends inside the second header", 35, {NormalHex(first)},
       ToHex(both.substr(25, 10))},
      {"stream ends inside the first header", 10, {}, ToHex(both.substr(0, 10))},
      {"stream of 3 bytes", 3, {}, ToHex(both.substr(0, 3))},
      {"first cut inside its payload", 24, {}, ToHex(both.substr(0, 24))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExactBytes stream(both.substr(0, c.length));
    const Split split = SplitStream(stream);
    EXPECT_EQ(split.messages, c.messages);
    EXPECT_EQ(split.kept, c.kept);
  }
}

TEST(MessageTest, EmptyPayloadMessageIsExactly16BytesAndFramesAlone) {
  ExactBytes bytes(Hex("00000000 ffffff7f 09000100 02000000"));
  EXPECT_EQ(Message::FindNext(bytes.data(), bytes.end()), bytes.end());
  Message view(bytes.data(), bytes.size());
  EXPECT_EQ(view.size(), 16u);
  EXPECT_EQ(view.payload_size(), 0u);
  EXPECT_EQ(view.routing_id(), kRoutingIdControl);
}

}  // namespace
}  // namespace IPC
