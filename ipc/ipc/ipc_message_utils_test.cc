#include "ipc/ipc/ipc_message_utils.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/base/test/test_bytes.h"

namespace IPC {
namespace {

using ipcbase::test::ExactBytes;
using ipcbase::test::Hex;
using ipcbase::test::NormalHex;
using ipcbase::test::ToHex;

std::string PayloadHex(const Message& m) { return ToHex(m.payload(), m.payload_size()); }

// A read-only message over `payload` (hex) with a 16-byte header.
class PayloadView {
 public:
  explicit PayloadView(std::string_view payload_hex)
      : bytes_(Header(Hex(payload_hex)) + Hex(payload_hex)), view_(bytes_.data(), bytes_.size()) {}
  const Message* get() const { return &view_; }

 private:
  static std::string Header(const std::string& payload) {
    return Hex(ipcbase::test::HexOfInt(static_cast<uint32_t>(payload.size())) + "01000000 01000100 02000000");
  }
  ExactBytes bytes_;
  Message view_;
};

// Whether `iter` has passed the last payload byte (and at most its padding).
bool ConsumedAll(const Message* m, void* iter) {
  const auto pos = reinterpret_cast<uintptr_t>(iter ? iter : m->payload());
  const auto end = reinterpret_cast<uintptr_t>(m->end_of_payload());
  return pos >= end && pos < end + 4;
}

// One encoding: the value's payload bytes, and that they read back as the
// value.
struct EncodingCase {
  std::string name;
  std::function<void(Message*)> write;
  std::string payload;
  std::function<bool(const Message*)> reads_back;
};

template <class T>
EncodingCase Encoding(std::string name, T value, std::string payload) {
  return {std::move(name), [value](Message* m) { WriteParam(m, value); }, std::move(payload),
          [value](const Message* m) {
            void* iter = nullptr;
            T read{};
            return ReadParam(m, &iter, &read) && read == value && ConsumedAll(m, iter);
          }};
}

TEST(ParamTraitsTest, EachParameterTypeHasItsExactEncoding) {
  const EncodingCase cases[] = {
      Encoding<int>("int", -2, "feffffff"),
      Encoding<unsigned int>("uint32", 0xfffffffeu, "feffffff"),
      Encoding<bool>("bool true", true, "01000000"),
      Encoding<bool>("bool false", false, "00000000"),
      Encoding<uint64_t>("uint64", 0x8000000000000001ull, "0100000000000080"),
      Encoding<float>("float", 1.5f, "04000000 0000c03f"),
      Encoding<double>("double", -0.5, "08000000 000000000000e0bf"),
      Encoding<std::string>("string", "abcde", "05000000 6162636465"),
      Encoding<std::string>("empty string", "", "00000000"),
      Encoding<string16>("wstring", u"abc", "03000000 610062006300"),
      Encoding<std::vector<char>>("byte vector", std::vector<char>{'\x89', 'P', 'N'},
                                  "03000000 89504e"),
      Encoding<std::vector<char>>("empty byte vector", std::vector<char>{}, "00000000"),
      Encoding<std::vector<int>>("vector of ints", std::vector<int>{1, -1},
                                 "02000000 01000000 ffffffff"),
      Encoding<std::vector<std::string>>("vector of strings",
                                         std::vector<std::string>{"a", "bc"},
                                         "02000000 01000000 61000000 02000000 6263"),
      Encoding<std::tuple<int, std::string, bool>>("tuple", std::make_tuple(7, std::string("x"), true),
                                                   "07000000 01000000 78000000 01000000"),
  };
  for (const EncodingCase& c : cases) {
    SCOPED_TRACE(c.name);
    Message m(1, 1, Message::PRIORITY_NORMAL);
    c.write(&m);
    EXPECT_EQ(PayloadHex(m), NormalHex(c.payload));
    EXPECT_TRUE(c.reads_back(&m));
    // The same bytes received: a view over an exact copy.
    PayloadView view(c.payload);
    EXPECT_TRUE(c.reads_back(view.get()));
  }
}

TEST(ParamTraitsTest, MalformedParametersFailToRead) {
  auto fails = [](auto* out) {
    return [out](const Message* m) {
      void* iter = nullptr;
      return !ReadParam(m, &iter, out);
    };
  };
  float f;
  double d;
  std::string s;
  string16 w;
  std::vector<char> bytes;
  std::vector<int> ints;
  uint64_t u;
  const struct {
    const char* name;
    const char* payload;
    std::function<bool(const Message*)> check;
  } cases[] = {
      {"float of 8 bytes", "08000000 0000000000000000", fails(&f)},
      {"float of 3 bytes", "03000000 000000", fails(&f)},
      {"float without its value", "04000000", fails(&f)},
      {"double of 4 bytes", "04000000 00000000", fails(&d)},
      {"double cut short", "08000000 00000000", fails(&d)},
      {"string with negative length", "ffffffff", fails(&s)},
      {"string with huge length", "ffffff7f 00", fails(&s)},
      {"wstring of 2^30 units", "00000040", fails(&w)},
      {"byte vector longer than the payload", "05000000 01020304", fails(&bytes)},
      {"byte vector with negative length", "feffffff", fails(&bytes)},
      {"list with negative count", "ffffffff", fails(&ints)},
      {"list with count INT_MAX / 4", "ffffff1f", fails(&ints)},
      {"list with fewer elements than its count", "03000000 01000000 02000000", fails(&ints)},
      {"uint64 from 4 bytes", "01000000", fails(&u)},
      {"nothing at all", "", fails(&u)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PayloadView view(c.payload);
    EXPECT_TRUE(c.check(view.get()));
  }
}

TEST(ParamTraitsTest, ListCountJustBelowTheLimitCommitsNoMemoryUpFront) {
  // For 4-byte ints the limit is INT_MAX / 4 = 536870911 (0x1fffffff); one
  // less passes the limit, but the payload holds a single element.
  PayloadView below_limit("feffff1f 05000000");
  std::vector<int> ints;
  void* iter = nullptr;
  EXPECT_FALSE(ReadParam(below_limit.get(), &iter, &ints));
  ASSERT_GE(ints.size(), 1u);
  EXPECT_EQ(ints[0], 5);  // elements read before the failure keep their values
  // Memory follows the elements that decode, not the count: at most a
  // bounded first reservation (64 KiB) was made.
  EXPECT_LE(ints.capacity() * sizeof(int), (size_t{64} << 10) + sizeof(int));
}

TEST(ParamTraitsTest, TupleReadStopsAtTheFirstFailureAndKeepsEarlierValues) {
  PayloadView view("07000000 03000000 6162");  // int 7, then a string cut short
  std::tuple<int, std::string, int> t{0, "old", 9};
  void* iter = nullptr;
  EXPECT_FALSE(ReadTuple(view.get(), &iter, &t));
  EXPECT_EQ(std::get<0>(t), 7);
  EXPECT_EQ(std::get<1>(t), "old");
  EXPECT_EQ(std::get<2>(t), 9);
}

TEST(ParamTraitsTest, TupleOfReferencesReadsIntoTheReferencedVariables) {
  PayloadView view("05000000 02000000 6869");
  int a = 0;
  std::string b;
  std::tuple<int&, std::string&> refs(a, b);
  void* iter = nullptr;
  ASSERT_TRUE(ReadTuple(view.get(), &iter, &refs));
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, "hi");
}

}  // namespace
}  // namespace IPC
