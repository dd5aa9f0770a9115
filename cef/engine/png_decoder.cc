#include "cef/engine/png_decoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace cef_engine {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxDimension = 16384;

uint32_t ReadBE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Undoes one row's filter in place. prev is the previous unfiltered row (all
// zeros for the first). Only the first n bytes are needed (a cropped row).
bool Unfilter(uint8_t filter, uint8_t* __restrict row, const uint8_t* __restrict prev, size_t n,
              size_t bpp) {
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (size_t i = bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
      return true;
    case 2:
      for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      return true;
    case 3:
      for (size_t i = 0; i < bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + (prev[i] >> 1));
      for (size_t i = bpp; i < n; ++i) {
        row[i] = static_cast<uint8_t>(row[i] + ((row[i - bpp] + prev[i]) >> 1));
      }
      return true;
    case 4:
      for (size_t i = 0; i < bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      for (size_t i = bpp; i < n; ++i) {
        int a = row[i - bpp], b = prev[i], c = prev[i - bpp];
        int p = a + b - c;
        int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        row[i] = static_cast<uint8_t>(row[i] + pred);
      }
      return true;
    default:
      return false;
  }
}

void RgbaToBgra(const uint8_t* __restrict in, uint8_t* __restrict out, int pixels) {
  for (int i = 0; i < pixels; ++i) {
    uint32_t v;
    std::memcpy(&v, in + 4 * i, 4);
    v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
    std::memcpy(out + 4 * i, &v, 4);
  }
}

// The common case in one pass: an RGBA row filtered with None (prev null)
// or Up, unfiltered in place (it is the next row's "up") and swizzled.
template <bool kUp>
void UnfilterUpRgbaToBgra(uint8_t* __restrict row, const uint8_t* __restrict prev,
                          uint8_t* __restrict out, int pixels) {
  for (int i = 0; i < pixels; ++i) {
    uint32_t v, u = 0;
    std::memcpy(&v, row + 4 * i, 4);
    if constexpr (kUp) std::memcpy(&u, prev + 4 * i, 4);
    // Byte-wise add without carries between the bytes.
    v = ((v & 0x7F7F7F7Fu) + (u & 0x7F7F7F7Fu)) ^ ((v ^ u) & 0x80808080u);
    std::memcpy(row + 4 * i, &v, 4);
    v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
    std::memcpy(out + 4 * i, &v, 4);
  }
}

void RgbToBgra(const uint8_t* __restrict in, uint8_t* __restrict out, int pixels) {
  for (int i = 0; i < pixels; ++i) {
    out[4 * i + 0] = in[3 * i + 2];
    out[4 * i + 1] = in[3 * i + 1];
    out[4 * i + 2] = in[3 * i + 0];
    out[4 * i + 3] = 0xFF;
  }
}

}  // namespace

PngDecoder::PngDecoder() : inflater_(libdeflate_alloc_decompressor()) {}

PngDecoder::~PngDecoder() {
  if (inflater_) libdeflate_free_decompressor(inflater_);
}

bool PngDecoder::Fail(const char* why) {
  error_ = why;
  return false;
}

bool PngDecoder::Decode(const uint8_t* png, size_t size, int max_width, int max_height,
                        Bitmap* out) {
  error_.clear();
  if (!inflater_) return Fail("no inflater");
  if (size < 8 || std::memcmp(png, kSignature, 8) != 0) return Fail("not a PNG");

  uint32_t width = 0, height = 0;
  int channels = 0;
  bool have_header = false, have_end = false;
  compressed_.clear();
  for (size_t pos = 8; pos < size && !have_end;) {
    if (size - pos < 12) return Fail("truncated chunk");
    uint32_t length = ReadBE32(png + pos);
    const uint8_t* type = png + pos + 4;
    const uint8_t* data = png + pos + 8;
    if (length > size - pos - 12) return Fail("truncated chunk");
    if (std::memcmp(type, "IHDR", 4) == 0) {
      if (length != 13) return Fail("bad header");
      width = ReadBE32(data);
      height = ReadBE32(data + 4);
      uint8_t depth = data[8], color = data[9], compression = data[10], filter = data[11],
              interlace = data[12];
      if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) {
        return Fail("bad size");
      }
      if (depth != 8 || (color != 2 && color != 6) || compression != 0 || filter != 0 ||
          interlace != 0) {
        return Fail("unsupported format");
      }
      channels = color == 6 ? 4 : 3;
      have_header = true;
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      if (!have_header) return Fail("data before header");
      compressed_.insert(compressed_.end(), data, data + length);
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      have_end = true;
    }
    pos += 12 + length;
  }
  if (!have_header || compressed_.empty()) return Fail("no image data");

  const size_t row_bytes = static_cast<size_t>(width) * channels;
  const size_t raw_size = (row_bytes + 1) * height;
  raw_.resize(raw_size);
  size_t actual = 0;
  if (libdeflate_zlib_decompress(inflater_, compressed_.data(), compressed_.size(), raw_.data(),
                                 raw_size, &actual) != LIBDEFLATE_SUCCESS ||
      actual != raw_size) {
    return Fail("bad compressed data");
  }

  const int out_width = std::min<int>(static_cast<int>(width), std::max(max_width, 0));
  const int out_height = std::min<int>(static_cast<int>(height), std::max(max_height, 0));
  if (out_width <= 0 || out_height <= 0) return Fail("empty crop");
  out->Resize(out_width, out_height);
  // Only the cropped part of each row is unfiltered: filters look left and
  // up, never right or down.
  const size_t needed = static_cast<size_t>(out_width) * channels;
  std::vector<uint8_t> zero_row;
  const uint8_t* prev = nullptr;
  for (int y = 0; y < out_height; ++y) {
    uint8_t* line = raw_.data() + static_cast<size_t>(y) * (row_bytes + 1);
    uint8_t filter = line[0];
    uint8_t* row = line + 1;
    if (channels == 4 && (filter == 0 || filter == 2)) {
      if (filter == 2 && prev) {
        UnfilterUpRgbaToBgra<true>(row, prev, out->row(y), out_width);
      } else {
        UnfilterUpRgbaToBgra<false>(row, nullptr, out->row(y), out_width);
      }
      prev = row;
      continue;
    }
    if (!prev) {
      zero_row.assign(needed, 0);
      prev = zero_row.data();
    }
    if (!Unfilter(filter, row, prev, needed, static_cast<size_t>(channels))) {
      return Fail("bad row filter");
    }
    if (channels == 4) {
      RgbaToBgra(row, out->row(y), out_width);
    } else {
      RgbToBgra(row, out->row(y), out_width);
    }
    prev = row;
  }
  return true;
}

bool DecodeBase64(const char* text, size_t size, std::vector<uint8_t>* out) {
  static const auto kTable = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(alphabet[i])] = static_cast<int8_t>(i);
    return t;
  }();
  while (size > 0 && text[size - 1] == '=') --size;
  out->resize(size / 4 * 3 + (size % 4 ? size % 4 - 1 : 0));
  if (size % 4 == 1) return false;
  uint8_t* dst = out->data();
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    int a = kTable[static_cast<uint8_t>(text[i])], b = kTable[static_cast<uint8_t>(text[i + 1])],
        c = kTable[static_cast<uint8_t>(text[i + 2])], d = kTable[static_cast<uint8_t>(text[i + 3])];
    if ((a | b | c | d) < 0) return false;
    uint32_t v = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | uint32_t(d);
    *dst++ = static_cast<uint8_t>(v >> 16);
    *dst++ = static_cast<uint8_t>(v >> 8);
    *dst++ = static_cast<uint8_t>(v);
  }
  size_t rest = size - i;
  if (rest) {
    uint32_t v = 0;
    for (size_t k = 0; k < rest; ++k) {
      int x = kTable[static_cast<uint8_t>(text[i + k])];
      if (x < 0) return false;
      v |= uint32_t(x) << (18 - 6 * k);
    }
    *dst++ = static_cast<uint8_t>(v >> 16);
    if (rest == 3) *dst++ = static_cast<uint8_t>(v >> 8);
  }
  return true;
}

}  // namespace cef_engine
