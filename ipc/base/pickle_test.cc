#include "ipc/base/pickle.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/base/test/test_bytes.h"

namespace {

using ipcbase::test::ExactBytes;
using ipcbase::test::Hex;
using ipcbase::test::SerializedHex;
using ipcbase::test::ToHex;

// Every read primitive, in turn, from a fresh iterator and then chained until
// the first failure. Returns how many reads succeeded; used to show that no
// read over malformed bytes touches memory outside them.
int ReadEverything(const Pickle& p) {
  int successes = 0;
  std::vector<std::function<bool(void**)>> reads = {
      [&](void** it) { int v; return p.ReadInt(it, &v); },
      [&](void** it) { int v; return p.ReadLength(it, &v); },
      [&](void** it) { bool v; return p.ReadBool(it, &v); },
      [&](void** it) { uint64_t v; return p.ReadUInt64(it, &v); },
      [&](void** it) { const char* d; return p.ReadBytes(it, &d, 5); },
      [&](void** it) { const char* d; int n; return p.ReadData(it, &d, &n); },
      [&](void** it) { std::string s; return p.ReadString(it, &s); },
      [&](void** it) { string16 s; return p.ReadWString(it, &s); },
  };
  for (auto& read : reads) {
    void* iter = nullptr;
    while (read(&iter)) ++successes;
  }
  return successes;
}

// --- Encodings of the write primitives --------------------------------------

struct WriteCase {
  const char* name;
  std::function<bool(Pickle*)> write;
  const char* serialized;  // header (payload_size) and unpadded payload
};

TEST(PickleTest, EachWritePrimitiveHasItsExactLayout) {
  const WriteCase cases[] = {
      {"int", [](Pickle* p) { return p->WriteInt(0x12345678); }, "04000000 78563412"},
      {"negative int", [](Pickle* p) { return p->WriteInt(-2); }, "04000000 feffffff"},
      {"bool true", [](Pickle* p) { return p->WriteBool(true); }, "04000000 01000000"},
      {"bool false", [](Pickle* p) { return p->WriteBool(false); }, "04000000 00000000"},
      {"uint64", [](Pickle* p) { return p->WriteUInt64(0x0102030405060708ull); },
       "08000000 0807060504030201"},
      {"empty string", [](Pickle* p) { return p->WriteString(""); }, "04000000 00000000"},
      {"5-byte string", [](Pickle* p) { return p->WriteString("abcde"); },
       "09000000 05000000 6162636465"},
      {"wstring ab", [](Pickle* p) { return p->WriteWString(u"ab"); },
       "08000000 02000000 61006200"},
      {"3-unit wstring", [](Pickle* p) { return p->WriteWString(u"a\u00e9\u4e2d"); },
       "0a000000 03000000 6100e9002d4e"},
      {"data", [](Pickle* p) { return p->WriteData("\x01\x02\x03", 3); },
       "07000000 03000000 010203"},
      {"empty data", [](Pickle* p) { return p->WriteData("", 0); }, "04000000 00000000"},
      {"raw bytes", [](Pickle* p) { return p->WriteBytes("xy", 2); }, "02000000 7879"},
      {"string then int",
       [](Pickle* p) { return p->WriteString("abcde") && p->WriteInt(7); },
       "10000000 05000000 6162636465000000 07000000"},
      {"wstring then bool",
       [](Pickle* p) { return p->WriteWString(u"abc") && p->WriteBool(true); },
       "10000000 03000000 610062006300 0000 01000000"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    Pickle p;
    ASSERT_TRUE(c.write(&p));
    EXPECT_EQ(SerializedHex(p), ToHex(Hex(c.serialized)));
    EXPECT_EQ(p.size(), 4 + p.payload_size());
  }
}

TEST(PickleTest, PaddingAfterTheLastItemIsZeroAndNotCounted) {
  Pickle p;
  ASSERT_TRUE(p.WriteString("abcde"));
  EXPECT_EQ(p.payload_size(), 9u);
  // The three padding bytes are already in the buffer, zeroed.
  EXPECT_EQ(ToHex(p.payload(), 12), "05 00 00 00 61 62 63 64 65 00 00 00");
  ASSERT_TRUE(p.WriteInt(7));
  EXPECT_EQ(p.payload_size(), 16u);
  EXPECT_EQ(ToHex(p.payload() + 12, 4), "07 00 00 00");
}

TEST(PickleTest, EachReadPrimitiveReadsBackWhatWasWritten) {
  Pickle p;
  ASSERT_TRUE(p.WriteInt(-5));
  ASSERT_TRUE(p.WriteBool(true));
  ASSERT_TRUE(p.WriteUInt64(0xfedcba9876543210ull));
  ASSERT_TRUE(p.WriteString("abcde"));
  ASSERT_TRUE(p.WriteWString(u"\u00e9t\u00e9"));
  ASSERT_TRUE(p.WriteData("\x00\x01\x02", 3));
  ASSERT_TRUE(p.WriteBytes("xyz", 3));
  ASSERT_TRUE(p.WriteInt(12));

  void* iter = nullptr;
  int i = 0;
  bool b = false;
  uint64_t u = 0;
  std::string s;
  string16 w;
  const char* data = nullptr;
  int len = 0;
  ASSERT_TRUE(p.ReadInt(&iter, &i));
  EXPECT_EQ(i, -5);
  ASSERT_TRUE(p.ReadBool(&iter, &b));
  EXPECT_TRUE(b);
  ASSERT_TRUE(p.ReadUInt64(&iter, &u));
  EXPECT_EQ(u, 0xfedcba9876543210ull);
  ASSERT_TRUE(p.ReadString(&iter, &s));
  EXPECT_EQ(s, "abcde");
  ASSERT_TRUE(p.ReadWString(&iter, &w));
  EXPECT_EQ(w, u"\u00e9t\u00e9");
  ASSERT_TRUE(p.ReadData(&iter, &data, &len));
  EXPECT_EQ(std::string(data, static_cast<size_t>(len)), std::string("\x00\x01\x02", 3));
  ASSERT_TRUE(p.ReadBytes(&iter, &data, 3));
  EXPECT_EQ(std::string(data, 3), "xyz");
  ASSERT_TRUE(p.ReadLength(&iter, &i));
  EXPECT_EQ(i, 12);
  // At the end: nothing more reads, and the iterator stays where it was.
  void* at_end = iter;
  EXPECT_FALSE(p.ReadInt(&iter, &i));
  EXPECT_EQ(iter, at_end);
}

// --- Reads that must fail -----------------------------------------------------

struct ReadCase {
  const char* name;
  const char* payload;
  std::function<bool(const Pickle&, void**)> read;
  bool succeeds;
};

// The payload of a view is built from `payload` behind a 4-byte header.
std::string WithHeader(const std::string& payload) {
  const uint32_t size = static_cast<uint32_t>(payload.size());
  return std::string(reinterpret_cast<const char*>(&size), 4) + payload;
}

TEST(PickleTest, ReadsCheckLengthsAndBounds) {
  auto read_int = [](const Pickle& p, void** it) { int v; return p.ReadInt(it, &v); };
  auto read_length = [](const Pickle& p, void** it) { int v; return p.ReadLength(it, &v); };
  auto read_u64 = [](const Pickle& p, void** it) { uint64_t v; return p.ReadUInt64(it, &v); };
  auto read_string = [](const Pickle& p, void** it) { std::string s; return p.ReadString(it, &s); };
  auto read_wstring = [](const Pickle& p, void** it) { string16 s; return p.ReadWString(it, &s); };
  auto read_data = [](const Pickle& p, void** it) {
    const char* d;
    int n;
    return p.ReadData(it, &d, &n);
  };
  auto read_bytes = [](int n) {
    return [n](const Pickle& p, void** it) {
      const char* d = reinterpret_cast<const char*>(1);
      bool ok = p.ReadBytes(it, &d, n);
      return ok && d != nullptr;
    };
  };
  const ReadCase cases[] = {
      {"int from 3 bytes", "010203", read_int, false},
      {"int from 4 bytes", "01020304", read_int, true},
      {"negative length", "ffffffff", read_length, false},
      {"zero length", "00000000", read_length, true},
      {"uint64 from 7 bytes", "01020304050607", read_u64, false},
      {"string with negative length", "feffffff 61626364", read_string, false},
      {"string longer than the payload", "05000000 61626364", read_string, false},
      {"string with INT_MAX length", "ffffff7f 61626364", read_string, false},
      {"string ending unpadded", "05000000 6162636465", read_string, true},
      {"wstring of 2^30 units", "00000040", read_wstring, false},
      {"wstring of 2^30-1 units over 4 bytes", "ffffff3f 61006200", read_wstring, false},
      {"wstring with odd byte count", "02000000 610062", read_wstring, false},
      {"wstring with negative length", "ffffffff", read_wstring, false},
      {"data with negative length", "ffffffff", read_data, false},
      {"data longer than the payload", "08000000 0102030405", read_data, false},
      {"bytes with negative length", "01020304", read_bytes(-1), false},
      {"bytes past the end", "01020304", read_bytes(5), false},
      {"bytes exactly to the end", "0102030405", read_bytes(5), true},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExactBytes bytes(WithHeader(Hex(c.payload)));
    Pickle view(bytes.data(), bytes.size());
    ASSERT_NE(view.data(), nullptr);
    void* iter = nullptr;
    EXPECT_EQ(c.read(view, &iter), c.succeeds);
    if (!c.succeeds) {
      EXPECT_EQ(iter, nullptr) << "a failed read must not move the iterator";
    }
  }
}

TEST(PickleTest, BoolReadsAnyNonZeroIntAsTrue) {
  ExactBytes bytes(WithHeader(Hex("02000000 00000000 ffffffff")));
  Pickle view(bytes.data(), bytes.size());
  void* iter = nullptr;
  bool b = false;
  ASSERT_TRUE(view.ReadBool(&iter, &b));
  EXPECT_TRUE(b);
  ASSERT_TRUE(view.ReadBool(&iter, &b));
  EXPECT_FALSE(b);
  ASSERT_TRUE(view.ReadBool(&iter, &b));
  EXPECT_TRUE(b);
}

TEST(PickleTest, IteratorMayEndPastThePaddedLastItemAndThenEveryReadFails) {
  ExactBytes bytes(WithHeader(Hex("05000000 6162636465")));
  Pickle view(bytes.data(), bytes.size());
  void* iter = nullptr;
  std::string s;
  ASSERT_TRUE(view.ReadString(&iter, &s));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(iter),
            reinterpret_cast<uintptr_t>(view.end_of_payload()) + 3);
  const char* d;
  EXPECT_FALSE(view.ReadBytes(&iter, &d, 0));
  int i;
  EXPECT_FALSE(view.ReadInt(&iter, &i));
}

TEST(PickleTest, IteratorsOutsideThePickleAreRefused) {
  Pickle p;
  ASSERT_TRUE(p.WriteInt(1));
  char elsewhere[8] = {};
  void* iter = elsewhere;
  int i;
  EXPECT_FALSE(p.ReadInt(&iter, &i));
  // One that would wrap around the address space.
  iter = reinterpret_cast<void*>(~uintptr_t{0} - 1);
  EXPECT_FALSE(p.ReadInt(&iter, &i));
}

// --- Views ----------------------------------------------------------------

TEST(PickleTest, MalformedViewsAreInvalidAndEveryReadFails) {
  const struct {
    const char* name;
    const char* bytes;
  } cases[] = {
      {"empty", ""},
      {"1 byte", "00"},
      {"3 bytes", "000000"},
      {"payload size larger than the bytes", "09000000 01020304"},
      {"payload size far larger", "ffffffff 01020304"},
      {"header of 6 bytes", "02000000 0000 0102"},
      {"header of 0 bytes", "04000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExactBytes bytes(Hex(c.bytes));
    Pickle view(bytes.data(), bytes.size());
    EXPECT_EQ(view.data(), nullptr);
    EXPECT_EQ(view.end_of_payload(), nullptr);
    EXPECT_EQ(view.size(), 0u);
    EXPECT_EQ(ReadEverything(view), 0);
    Pickle copy(view);
    EXPECT_EQ(copy.data(), nullptr);
    EXPECT_FALSE(copy.WriteInt(1));
  }
  Pickle null_view(nullptr, 8);
  EXPECT_EQ(null_view.data(), nullptr);
  EXPECT_EQ(ReadEverything(null_view), 0);
}

TEST(PickleTest, ViewInfersItsHeaderSize) {
  // A 16-byte header (payload size and three more fields), payload "abcde".
  ExactBytes bytes(Hex("09000000 11111111 22222222 33333333 05000000 6162636465"));
  Pickle view(bytes.data(), bytes.size());
  ASSERT_EQ(view.data(), bytes.data());
  EXPECT_EQ(view.header_size(), 16u);
  EXPECT_EQ(view.size(), 25u);
  EXPECT_TRUE(view.is_read_only());
  EXPECT_EQ(view.capacity(), Pickle::kCapacityReadOnly);
  void* iter = nullptr;
  std::string s;
  ASSERT_TRUE(view.ReadString(&iter, &s));
  EXPECT_EQ(s, "abcde");
}

TEST(PickleTest, WritesToAViewAreRefusedAndLeaveTheBytesUntouched) {
  ExactBytes bytes(WithHeader(Hex("01000000")));
  const std::string before = bytes.contents();
  Pickle view(bytes.data(), bytes.size());
  EXPECT_FALSE(view.WriteInt(2));
  EXPECT_FALSE(view.WriteBool(true));
  EXPECT_FALSE(view.WriteUInt64(3));
  EXPECT_FALSE(view.WriteString("abc"));
  EXPECT_FALSE(view.WriteWString(u"abc"));
  EXPECT_FALSE(view.WriteData("abc", 3));
  EXPECT_FALSE(view.WriteBytes("abc", 3));
  EXPECT_EQ(bytes.contents(), before);
  EXPECT_EQ(view.payload_size(), 4u);
}

TEST(PickleTest, TruncationsOfAValidPickleNeverReadOutsideTheirBytes) {
  Pickle p;
  ASSERT_TRUE(p.WriteInt(3));
  ASSERT_TRUE(p.WriteString("abcdefg"));
  ASSERT_TRUE(p.WriteWString(u"xyz"));
  ASSERT_TRUE(p.WriteData("12345", 5));
  ASSERT_TRUE(p.WriteUInt64(9));
  const std::string whole(p.data(), p.size());
  for (size_t n = 0; n <= whole.size(); ++n) {
    SCOPED_TRACE(n);
    // The prefix as it is (its payload size then claims too much), and with
    // the payload size fixed up to match.
    std::string prefix = whole.substr(0, n);
    ExactBytes raw(prefix);
    Pickle raw_view(raw.data(), raw.size());
    if (n < whole.size()) {
      EXPECT_EQ(raw_view.data(), nullptr);
    }
    ReadEverything(raw_view);
    if (n >= 4) {
      const uint32_t fixed = static_cast<uint32_t>(n - 4);
      std::memcpy(prefix.data(), &fixed, 4);
      ExactBytes consistent(prefix);
      Pickle view(consistent.data(), consistent.size());
      ASSERT_NE(view.data(), nullptr);
      ReadEverything(view);
    }
  }
}

// --- Growth -------------------------------------------------------------------

TEST(PickleTest, CapacityGrowsInUnitsOf64AndDoubles) {
  Pickle p(16);
  EXPECT_EQ(p.capacity(), 64u);
  EXPECT_EQ(p.header_size(), 16u);
  EXPECT_EQ(p.payload_size(), 0u);
  const std::string bytes(48, 'x');
  ASSERT_TRUE(p.WriteBytes(bytes.data(), 48));
  EXPECT_EQ(p.capacity(), 64u);
  // The 49th payload byte no longer fits: the capacity doubles.
  ASSERT_TRUE(p.WriteBytes("y", 1));
  EXPECT_EQ(p.capacity(), 128u);
  // Steady appends keep doubling: 128 -> 256.
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(p.WriteInt(i));
  EXPECT_EQ(p.capacity(), 256u);
  // An item larger than twice the capacity jumps straight to the size needed,
  // rounded up to 64: 16 + 132 (aligned payload) + 1000 = 1148 -> 1152.
  EXPECT_EQ(p.payload_size(), 132u);
  const std::string big(1000, 'z');
  ASSERT_TRUE(p.WriteBytes(big.data(), 1000));
  EXPECT_EQ(p.capacity(), 1152u);
}

TEST(PickleTest, HeaderSizeIsRoundedUpToAMultipleOf4) {
  Pickle p(10);
  EXPECT_EQ(p.header_size(), 12u);
  ASSERT_TRUE(p.WriteInt(1));
  EXPECT_EQ(SerializedHex(p), ToHex(Hex("04000000 00000000 00000000 01000000")));
}

TEST(PickleTest, LengthsThatDoNotFitTheWireAreRefused) {
  Pickle p;
  ASSERT_TRUE(p.WriteInt(1));
  const std::string before(p.data(), p.size());
  char byte = 0;
  // Never read: the length is refused first.
  EXPECT_FALSE(p.WriteString(std::string_view(&byte, size_t{INT_MAX} + 1)));
  EXPECT_FALSE(p.WriteWString(std::u16string_view(reinterpret_cast<const char16_t*>(&byte),
                                                  size_t{1} << 30)));
  EXPECT_FALSE(p.WriteData(&byte, -1));
  EXPECT_FALSE(p.WriteBytes(&byte, -1));
  EXPECT_EQ(std::string(p.data(), p.size()), before);
}

// --- Copies -------------------------------------------------------------------

TEST(PickleTest, CopyIsAWritableDeepCopyOfTheUnpaddedBytes) {
  ExactBytes bytes(WithHeader(Hex("05000000 6162636465")));
  Pickle view(bytes.data(), bytes.size());
  Pickle copy(view);
  EXPECT_FALSE(copy.is_read_only());
  EXPECT_NE(copy.data(), view.data());
  EXPECT_EQ(copy.size(), 13u);
  EXPECT_EQ(copy.capacity(), 64u);
  EXPECT_EQ(SerializedHex(copy), ToHex(bytes.contents()));
  void* iter = nullptr;
  std::string s;
  ASSERT_TRUE(copy.ReadString(&iter, &s));
  EXPECT_EQ(s, "abcde");
  // Appending to the copy pads with zeros, whatever the heap held.
  ASSERT_TRUE(copy.WriteInt(7));
  EXPECT_EQ(SerializedHex(copy), ToHex(Hex("10000000 05000000 6162636465000000 07000000")));

  Pickle assigned;
  assigned = copy;
  EXPECT_EQ(SerializedHex(assigned), SerializedHex(copy));
}

TEST(PickleTest, CopyOfALargePickleRoundsItsCapacityTo64) {
  Pickle p;
  const std::string big(100, 'q');
  ASSERT_TRUE(p.WriteBytes(big.data(), 100));
  Pickle copy(p);
  EXPECT_EQ(copy.capacity(), 128u);
  EXPECT_EQ(SerializedHex(copy), SerializedHex(p));
}

// --- FindNext -----------------------------------------------------------------

TEST(PickleTest, FindNextCutsAStreamOfPickles) {
  // Two pickles with 4-byte headers: payloads of 5 and 4 bytes.
  const std::string stream = Hex("05000000 0102030405 04000000 aabbccdd");
  const struct {
    const char* name;
    size_t start;
    size_t end;
    long expected;  // offset of the result, -1 for null
  } cases[] = {
      {"first complete", 0, stream.size(), 9},
      {"first exactly", 0, 9, 9},
      {"first missing its last byte", 0, 8, -1},
      {"second complete", 9, stream.size(), 17},
      {"second cut inside its payload", 9, 15, -1},
      {"second cut inside its header", 9, 11, -1},
      {"empty range", 9, 9, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExactBytes bytes(stream.substr(0, c.end));
    const char* next = Pickle::FindNext(4, bytes.data() + c.start, bytes.data() + c.end);
    if (c.expected < 0) {
      EXPECT_EQ(next, nullptr);
    } else {
      EXPECT_EQ(next, bytes.data() + c.expected);
    }
  }
}

TEST(PickleTest, FindNextNeedsTheWholeHeaderAndSurvivesHugeSizes) {
  // 16-byte headers: 12 bytes are not a header yet.
  ExactBytes partial(Hex("00000000 01000000 02000000"));
  EXPECT_EQ(Pickle::FindNext(16, partial.data(), partial.data() + partial.size()), nullptr);
  // A payload size that would put the end past the address space.
  ExactBytes huge(Hex("ffffffff 00000000 00000000 00000000"));
  EXPECT_EQ(Pickle::FindNext(16, huge.data(), huge.data() + huge.size()), nullptr);
  // An empty payload: the header alone is the whole pickle.
  ExactBytes empty(Hex("00000000 00000000 00000000 00000000"));
  EXPECT_EQ(Pickle::FindNext(16, empty.data(), empty.data() + empty.size()),
            empty.data() + 16);
}

}  // namespace
