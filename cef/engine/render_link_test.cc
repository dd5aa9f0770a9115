#include "cef/engine/render_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "ipc/base/test/test_bytes.h"

namespace cef_engine {
namespace {

using ipcbase::test::ToHex;
using Value = cef_internal::ListValueImpl::Value;

// Serves preloaded bytes at most chunk bytes per read, then ends with
// end_result (0: closed, -1: error). Collects what is written.
class ScriptedTransport : public EngineTransport {
 public:
  explicit ScriptedTransport(std::string incoming, size_t chunk = 1 << 20, long end_result = 0)
      : incoming_(std::move(incoming)), chunk_(chunk), end_result_(end_result) {}
  bool Write(const char* data, size_t size) override {
    written_.append(data, size);
    return true;
  }
  long Read(char* buffer, size_t size) override {
    if (offset_ >= incoming_.size()) return end_result_;
    size_t n = std::min({size, chunk_, incoming_.size() - offset_});
    incoming_.copy(buffer, n, offset_);
    offset_ += n;
    return static_cast<long>(n);
  }
  void CancelRead() override {}
  const std::string& written() const { return written_; }

 private:
  std::string incoming_;
  size_t offset_ = 0;
  size_t chunk_;
  long end_result_;
  std::string written_;
};

std::string Frame(uint32_t body_size, uint32_t type, const std::string& payload) {
  std::string out;
  for (uint32_t v : {body_size, type}) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  }
  return out + payload;
}

TEST(RenderLinkTest, FrameLayoutIsExact) {
  ScriptedTransport transport("");
  RenderLinkWriter writer(&transport);
  ASSERT_TRUE(writer.Send(RenderMessage::kThreadCreated, "ab"));
  ASSERT_TRUE(writer.Send(RenderMessage::kThreadCreated, ""));
  EXPECT_EQ(ToHex(transport.written()),
            "06 00 00 00 01 00 00 00 61 62 "
            "04 00 00 00 01 00 00 00");
}

TEST(RenderLinkTest, ReadsFramesWhateverTheReadSizes) {
  const std::string bytes = Frame(6, 1, "ab") + Frame(4, 9, "") + Frame(7, 2, "xyz");
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{8}, bytes.size()}) {
    SCOPED_TRACE(chunk);
    ScriptedTransport transport(bytes, chunk);
    RenderLinkReader reader(&transport);
    uint32_t type = 0;
    std::string payload;
    ASSERT_EQ(reader.Next(&type, &payload), RenderLinkReader::Result::kMessage);
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(payload, "ab");
    ASSERT_EQ(reader.Next(&type, &payload), RenderLinkReader::Result::kMessage);
    EXPECT_EQ(type, 9u);
    EXPECT_EQ(payload, "");
    ASSERT_EQ(reader.Next(&type, &payload), RenderLinkReader::Result::kMessage);
    EXPECT_EQ(type, 2u);
    EXPECT_EQ(payload, "xyz");
    EXPECT_EQ(reader.Next(&type, &payload), RenderLinkReader::Result::kClosed);
  }
}

TEST(RenderLinkTest, RefusesBrokenStreams) {
  struct Case {
    const char* name;
    std::string bytes;
    long end_result;
  };
  const Case cases[] = {
      {"cut in the header", Frame(6, 1, "ab").substr(0, 5), 0},
      {"cut in the payload", Frame(6, 1, "ab").substr(0, 9), 0},
      {"body smaller than its type", Frame(3, 1, ""), 0},
      {"body of zero bytes", Frame(0, 1, ""), 0},
      {"body over the limit", Frame(kMaxRenderFrameBody + 1, 1, ""), 0},
      {"read error between frames", "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedTransport transport(c.bytes, 1 << 20, c.end_result);
    RenderLinkReader reader(&transport);
    uint32_t type = 0;
    std::string payload;
    EXPECT_EQ(reader.Next(&type, &payload), RenderLinkReader::Result::kBroken);
  }
}

TEST(RenderLinkTest, WriterRefusesPayloadsOverTheLimit) {
  ScriptedTransport transport("");
  RenderLinkWriter writer(&transport);
  EXPECT_FALSE(writer.Send(RenderMessage::kThreadCreated, std::string(kMaxRenderFrameBody, 'x')));
  EXPECT_TRUE(transport.written().empty());
}

TEST(RenderLinkTest, ListsRoundTrip) {
  const std::vector<Value> values = {
      std::monostate(), true, false, 0, -7, 2147483647, 0.5, -1e300,
      std::u16string(), std::u16string(u"hostFunction"), std::u16string(u"\u00e9\u4e2d\U0001F600"),
  };
  for (size_t count = 0; count <= values.size(); ++count) {
    std::vector<Value> subset(values.begin(), values.begin() + static_cast<long>(count));
    CefRefPtr<cef_internal::ListValueImpl> decoded =
        DecodeList(EncodeList(*cef_internal::ListValueImpl::CreateFrom(subset)));
    ASSERT_TRUE(decoded) << count;
    EXPECT_EQ(decoded->values(), subset) << count;
  }
}

TEST(RenderLinkTest, EncodedListLayoutIsExact) {
  auto list = cef_internal::ListValueImpl::CreateFrom({std::u16string(u"ab"), true});
  // Pickle header (payload size 24), count 2, string tag, length 2, "ab"
  // padded, bool tag, 1.
  EXPECT_EQ(ToHex(EncodeList(*list)),
            "18 00 00 00 02 00 00 00 04 00 00 00 02 00 00 00 61 00 62 00 "
            "01 00 00 00 01 00 00 00");
}

TEST(RenderLinkTest, DecodeRefusesMalformedLists) {
  const std::string good =
      EncodeList(*cef_internal::ListValueImpl::CreateFrom({std::u16string(u"ab"), true}));
  auto with_payload = [](std::initializer_list<uint32_t> words) {
    std::string out;
    uint32_t size = static_cast<uint32_t>(words.size() * 4);
    for (uint32_t v : std::initializer_list<uint32_t>{size}) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
    for (uint32_t v : words) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }
    return out;
  };
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"cut short", good.substr(0, good.size() - 4)},
      {"trailing item", with_payload({1, 2, 5, 9})},
      {"unknown tag", with_payload({1, 7, 0})},
      {"negative count", with_payload({0xffffffff})},
      {"count beyond the bytes", with_payload({0x10000000, 0})},
      {"string longer than the bytes", with_payload({1, 4, 1000, 0x00610061})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(DecodeList(c.bytes));
  }
}

}  // namespace
}  // namespace cef_engine
