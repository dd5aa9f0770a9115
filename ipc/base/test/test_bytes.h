// Test helpers for byte layouts: hex literals, hex dumps, and exact-size
// copies that let AddressSanitizer catch any read outside the bytes.
#ifndef IPC_BASE_TEST_TEST_BYTES_H_
#define IPC_BASE_TEST_TEST_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "ipc/base/pickle.h"

namespace ipcbase::test {

// "04 00 00 00 ff" -> those bytes; spaces are ignored.
inline std::string Hex(std::string_view hex) {
  std::string out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    const int v = (c >= '0' && c <= '9') ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

// Bytes -> "04 00 00 00 ff".
inline std::string ToHex(const char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    if (i) out.push_back(' ');
    const auto b = static_cast<unsigned char>(data[i]);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}
inline std::string ToHex(std::string_view bytes) { return ToHex(bytes.data(), bytes.size()); }

// A hex literal normalised for comparison with ToHex output.
inline std::string NormalHex(std::string_view hex) { return ToHex(Hex(hex)); }

// The serialized form of a pickle or message.
inline std::string Serialized(const Pickle& p) {
  return p.data() ? std::string(p.data(), p.size()) : std::string();
}
inline std::string SerializedHex(const Pickle& p) { return ToHex(Serialized(p)); }

// The little-endian bytes of a 32-bit value, as hex.
inline std::string HexOfInt(uint32_t v) {
  char b[4];
  std::memcpy(b, &v, 4);
  return ToHex(b, 4);
}

// A heap copy of exactly the given bytes, placed at an odd address so that
// nothing relies on alignment and AddressSanitizer sees every over-read.
class ExactBytes {
 public:
  explicit ExactBytes(std::string_view bytes)
      : storage_(new char[bytes.size() + 1]), size_(static_cast<int>(bytes.size())) {
    if (!bytes.empty()) std::memcpy(storage_.get() + 1, bytes.data(), bytes.size());
  }
  const char* data() const { return storage_.get() + 1; }
  const char* end() const { return data() + size_; }
  int size() const { return size_; }
  std::string contents() const { return std::string(data(), static_cast<size_t>(size_)); }

 private:
  std::unique_ptr<char[]> storage_;
  int size_;
};

}  // namespace ipcbase::test

#endif  // IPC_BASE_TEST_TEST_BYTES_H_
