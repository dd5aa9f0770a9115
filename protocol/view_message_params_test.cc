#include "protocol/view_message_params.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "ipc/base/test/test_bytes.h"

namespace {

using IPC::Message;
using ipcbase::test::ExactBytes;
using ipcbase::test::Hex;
using ipcbase::test::HexOfInt;
using ipcbase::test::NormalHex;
using ipcbase::test::ToHex;
using ReturnVal = ViewHostMsg_OnJavascriptCallback_ReturnVal;

std::string PayloadHex(const Message& m) { return ToHex(m.payload(), m.payload_size()); }

// A received message (read-only view over an exact copy) with the given
// payload.
class Received {
 public:
  explicit Received(std::string_view payload_hex)
      : bytes_(Hex(HexOfInt(static_cast<uint32_t>(Hex(payload_hex).size())) +
                   "07000000 02000100 02000000") +
               Hex(payload_hex)),
        view_(bytes_.data(), bytes_.size()) {}
  const Message* get() const { return &view_; }

 private:
  ExactBytes bytes_;
  Message view_;
};

template <class T>
void ExpectRecord(const T& value, const std::string& payload_hex) {
  Message m(7, 0x10002, Message::PRIORITY_NORMAL);
  IPC::WriteParam(&m, value);
  EXPECT_EQ(PayloadHex(m), NormalHex(payload_hex));
  Received received(payload_hex);
  void* iter = nullptr;
  T read;
  ASSERT_TRUE(IPC::ReadParam(received.get(), &iter, &read));
  EXPECT_TRUE(read == value);
}

TEST(ViewMessageParamsTest, EachRecordHasItsExactLayout) {
  const struct {
    const char* name;
    std::function<void()> check;
  } cases[] = {
      {"tile", [] { ExpectRecord(TileRect{1, -2, 3, 4}, "01000000 feffffff 03000000 04000000"); }},
      {"empty tile list", [] { ExpectRecord(ViewMsg_Tile_Params{}, "00000000"); }},
      {"two tiles",
       [] {
         ExpectRecord(ViewMsg_Tile_Params{{{0, 0, 16, 16}, {16, 0, 16, 8}}},
                      "02000000 00000000 00000000 10000000 10000000"
                      "         10000000 00000000 10000000 08000000");
       }},
      {"callback params",
       [] {
         ExpectRecord(ViewHostMsg_OnJavascriptCallback_Params{u"f", u"ab", "c1"},
                      "01000000 6600 0000 02000000 61006200 02000000 6331");
       }},
      {"callback params, all empty",
       [] {
         ExpectRecord(ViewHostMsg_OnJavascriptCallback_Params{},
                      "00000000 00000000 00000000");
       }},
      {"return value string",
       [] { ExpectRecord(ReturnVal{ReturnVal::TYPE_STRING, u"ok"}, "01000000 02000000 6f006b00"); }},
      {"return value bool",
       [] {
         ReturnVal v;
         v.type = ReturnVal::TYPE_BOOL;
         v.bool_value = true;
         ExpectRecord(v, "02000000 01000000");
       }},
      {"return value int",
       [] {
         ReturnVal v;
         v.type = ReturnVal::TYPE_INT;
         v.int_value = 42;
         ExpectRecord(v, "03000000 2a000000");
       }},
      {"return value double: 12 bytes after the type",
       [] {
         ReturnVal v;
         v.type = ReturnVal::TYPE_DOUBLE;
         v.double_value = 2.5;
         ExpectRecord(v, "04000000 08000000 0000000000000440");
       }},
      {"no return value", [] { ExpectRecord(ReturnVal{}, "00000000"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.check();
  }
}

TEST(ViewMessageParamsTest, ReturnValueOfAnotherTypeIsTheTypeAloneAndReadsWithNoValue) {
  ReturnVal v;
  v.type = 7;
  v.string_value = u"ignored";
  v.bool_value = true;
  v.int_value = 5;
  v.double_value = 1.0;
  Message m(1, 0x20003, Message::PRIORITY_NORMAL);
  IPC::WriteParam(&m, v);
  EXPECT_EQ(PayloadHex(m), NormalHex("07000000"));

  Received received("07000000");
  ReturnVal read;
  void* iter = nullptr;
  ASSERT_TRUE(IPC::ReadParam(received.get(), &iter, &read));
  EXPECT_EQ(read.type, 7);
  EXPECT_EQ(read, (ReturnVal{7}));
}

TEST(ViewMessageParamsTest, RecordReadRules) {
  const struct {
    const char* name;
    const char* payload;
    bool succeeds;
  } tile_cases[] = {
      {"negative count", "ffffffff", false},
      {"count 134217727 with elements following", "ffffff07 01000000 02000000 03000000 04000000",
       false},
      {"count 134217726, one element", "feffff07 01000000 02000000 03000000 04000000", false},
      {"count 1, element cut short", "01000000 01000000 02000000 03000000", false},
      {"count 1, one element", "01000000 01000000 02000000 03000000 04000000", true},
      {"no count", "", false},
  };
  for (const auto& c : tile_cases) {
    SCOPED_TRACE(c.name);
    Received received(c.payload);
    ViewMsg_Tile_Params tiles;
    void* iter = nullptr;
    EXPECT_EQ(IPC::ReadParam(received.get(), &iter, &tiles), c.succeeds);
  }

  const char* const params_cases[] = {
      "01000000 6600",                                      // name cut short
      "01000000 66000000 02000000 6100",                    // argument cut short
      "01000000 66000000 00000000",                         // channel name missing
      "01000000 66000000 00000000 05000000 6331",           // channel name cut short
      "00000040",                                           // name of 2^30 units
  };
  for (const char* payload : params_cases) {
    SCOPED_TRACE(payload);
    Received received(payload);
    ViewHostMsg_OnJavascriptCallback_Params params;
    void* iter = nullptr;
    EXPECT_FALSE(IPC::ReadParam(received.get(), &iter, &params));
  }
}

TEST(ViewMessageParamsTest, ReturnValueKeepsItsTypeWhenTheValueFails) {
  const struct {
    const char* name;
    const char* payload;
    int32_t type;
  } cases[] = {
      {"string cut short", "01000000 05000000 6100", 1},
      {"bool missing", "02000000", 2},
      {"int missing", "03000000", 3},
      {"double of 4 bytes", "04000000 04000000 00000000", 4},
      {"double cut short", "04000000 08000000 00000000", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Received received(c.payload);
    ReturnVal read;
    void* iter = nullptr;
    EXPECT_FALSE(IPC::ReadParam(received.get(), &iter, &read));
    EXPECT_EQ(read.type, c.type);
  }
}

}  // namespace
