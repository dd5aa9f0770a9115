#include "cef/engine/png_decoder.h"

#include <libdeflate.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

namespace cef_engine {
namespace {

void PutBE32(std::vector<uint8_t>* out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out->push_back(static_cast<uint8_t>(v >> s));
}

void PutChunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& data) {
  PutBE32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out->insert(out->end(), typed.begin(), typed.end());
  PutBE32(out, libdeflate_crc32(0, typed.data(), typed.size()));
}

int Paeth(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// A PNG of 8-bit RGB (channels 3) or RGBA (4) pixels, row y filtered with
// filters[y % filters.size()], the IDAT stream split into chunks of
// idat_chunk bytes.
std::vector<uint8_t> EncodePng(int w, int h, int channels, const std::vector<uint8_t>& px,
                               const std::vector<int>& filters, size_t idat_chunk = 1000,
                               uint8_t depth = 8, uint8_t interlace = 0) {
  const size_t stride = static_cast<size_t>(w) * channels;
  std::vector<uint8_t> raw;
  std::vector<uint8_t> zero(stride, 0);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = px.data() + y * stride;
    const uint8_t* prev = y ? px.data() + (y - 1) * stride : zero.data();
    int f = filters[static_cast<size_t>(y) % filters.size()];
    raw.push_back(static_cast<uint8_t>(f));
    for (size_t i = 0; i < stride; ++i) {
      int a = i >= static_cast<size_t>(channels) ? row[i - channels] : 0;
      int b = prev[i];
      int c = i >= static_cast<size_t>(channels) ? prev[i - channels] : 0;
      int pred = f == 0 ? 0 : f == 1 ? a : f == 2 ? b : f == 3 ? (a + b) / 2 : Paeth(a, b, c);
      raw.push_back(static_cast<uint8_t>(row[i] - pred));
    }
  }
  libdeflate_compressor* c = libdeflate_alloc_compressor(6);
  std::vector<uint8_t> z(libdeflate_zlib_compress_bound(c, raw.size()));
  z.resize(libdeflate_zlib_compress(c, raw.data(), raw.size(), z.data(), z.size()));
  libdeflate_free_compressor(c);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBE32(&ihdr, static_cast<uint32_t>(w));
  PutBE32(&ihdr, static_cast<uint32_t>(h));
  ihdr.insert(ihdr.end(), {depth, static_cast<uint8_t>(channels == 4 ? 6 : 2), 0, 0, interlace});
  PutChunk(&png, "IHDR", ihdr);
  for (size_t off = 0; off < z.size(); off += idat_chunk) {
    PutChunk(&png, "IDAT",
             std::vector<uint8_t>(z.begin() + off, z.begin() + std::min(z.size(), off + idat_chunk)));
  }
  PutChunk(&png, "IEND", {});
  return png;
}

std::vector<uint8_t> RandomPixels(int w, int h, int channels, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * channels);
  for (auto& v : px) v = static_cast<uint8_t>(rng());
  return px;
}

// The BGRA the decoder must produce from RGB(A) pixels.
std::vector<uint8_t> ExpectedBgra(int w, int h, int channels, const std::vector<uint8_t>& px,
                                  int out_w, int out_h) {
  std::vector<uint8_t> out;
  for (int y = 0; y < out_h; ++y) {
    for (int x = 0; x < out_w; ++x) {
      const uint8_t* p = px.data() + (static_cast<size_t>(y) * w + x) * channels;
      out.insert(out.end(), {p[2], p[1], p[0], channels == 4 ? p[3] : uint8_t{255}});
    }
  }
  (void)h;
  return out;
}

TEST(PngDecoderTest, EveryFilterAndBothColourTypesDecodeExactly) {
  struct Case {
    int channels;
    std::vector<int> filters;
  } cases[] = {
      {4, {0}}, {4, {1}}, {4, {2}}, {4, {3}}, {4, {4}}, {4, {0, 1, 2, 3, 4}},
      {3, {0}}, {3, {1}}, {3, {2}}, {3, {3}}, {3, {4}}, {3, {4, 3, 2, 1, 0}},
  };
  PngDecoder decoder;
  for (const Case& c : cases) {
    const int w = 37, h = 23;
    std::vector<uint8_t> px = RandomPixels(w, h, c.channels, 7u + c.filters[0]);
    std::vector<uint8_t> png = EncodePng(w, h, c.channels, px, c.filters);
    Bitmap out;
    ASSERT_TRUE(decoder.Decode(png.data(), png.size(), 10000, 10000, &out)) << decoder.error();
    EXPECT_EQ(out.width, w);
    EXPECT_EQ(out.height, h);
    EXPECT_EQ(out.pixels, ExpectedBgra(w, h, c.channels, px, w, h))
        << "channels " << c.channels << " filter " << c.filters[0];
  }
}

TEST(PngDecoderTest, CropsToTheTopLeftCorner) {
  const int w = 20, h = 9;
  std::vector<uint8_t> px = RandomPixels(w, h, 4, 3);
  std::vector<uint8_t> png = EncodePng(w, h, 4, px, {4, 1, 3});
  PngDecoder decoder;
  Bitmap out;
  ASSERT_TRUE(decoder.Decode(png.data(), png.size(), 13, 5, &out)) << decoder.error();
  EXPECT_EQ(out.width, 13);
  EXPECT_EQ(out.height, 5);
  EXPECT_EQ(out.pixels, ExpectedBgra(w, h, 4, px, 13, 5));
}

TEST(PngDecoderTest, PremultipliedValuesPassThroughAsBgra) {
  // Half-transparent blue as the engine writes it: R 0, G 0, B 0x80, A 0x80.
  std::vector<uint8_t> px = {0x00, 0x00, 0x80, 0x80};
  std::vector<uint8_t> png = EncodePng(1, 1, 4, px, {0});
  PngDecoder decoder;
  Bitmap out;
  ASSERT_TRUE(decoder.Decode(png.data(), png.size(), 1, 1, &out));
  EXPECT_EQ(out.pixels, (std::vector<uint8_t>{0x80, 0x00, 0x00, 0x80}));
}

TEST(PngDecoderTest, MalformedInputFailsWithAReason) {
  std::vector<uint8_t> good = EncodePng(8, 8, 4, RandomPixels(8, 8, 4, 1), {2});
  std::vector<uint8_t> bad_filter = good;
  {
    // A filter byte of 5 in the first row: re-encode raw data by hand.
    std::vector<uint8_t> px = RandomPixels(8, 8, 4, 1);
    bad_filter = EncodePng(8, 8, 4, px, {5});
  }
  std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  std::vector<uint8_t> corrupt = good;
  corrupt[good.size() / 2] ^= 0xFF;
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
  } cases[] = {
      {"empty", {}},
      {"not png", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
      {"truncated", truncated},
      {"corrupt", corrupt},
      {"bad filter", bad_filter},
      {"16 bit", EncodePng(2, 2, 4, RandomPixels(2, 2, 4, 2), {0}, 1000, 16)},
      {"interlaced", EncodePng(2, 2, 4, RandomPixels(2, 2, 4, 2), {0}, 1000, 8, 1)},
  };
  PngDecoder decoder;
  for (const Case& c : cases) {
    Bitmap out;
    EXPECT_FALSE(decoder.Decode(c.data.data(), c.data.size(), 100, 100, &out)) << c.name;
    EXPECT_FALSE(decoder.error().empty()) << c.name;
  }
  // The decoder is still usable afterwards.
  Bitmap out;
  EXPECT_TRUE(decoder.Decode(good.data(), good.size(), 100, 100, &out));
}

TEST(Base64Test, DecodesWithAndWithoutPadding) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {{"", ""}, {"Zg==", "f"}, {"Zm8=", "fo"}, {"Zm9v", "foo"},
               {"Zm9vYg", "foob"}, {"+/8=", "\xFB\xFF"}};
  for (const Case& c : cases) {
    std::vector<uint8_t> out;
    ASSERT_TRUE(DecodeBase64(c.in.data(), c.in.size(), &out)) << c.in;
    EXPECT_EQ(std::string(out.begin(), out.end()), c.out) << c.in;
  }
  std::vector<uint8_t> out;
  EXPECT_FALSE(DecodeBase64("Zm9*", 4, &out));
  EXPECT_FALSE(DecodeBase64("Z", 1, &out));
}

}  // namespace
}  // namespace cef_engine
