#include "ipc/base/utf_string_conversions.h"

#include <cstdint>

namespace ipcbase {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUTF8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUTF16(char32_t c, string16* out) {
  if (c < 0x10000) {
    out->push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes one code point at utf8[*i], advancing *i past it (or past one byte
// of an invalid sequence).
char32_t DecodeUTF8(std::string_view utf8, size_t* i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(utf8[k]); };
  uint8_t lead = byte(*i);
  if (lead < 0x80) {
    ++*i;
    return lead;
  }
  int length;
  char32_t c;
  char32_t min;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    ++*i;
    return kReplacement;
  }
  if (*i + length > utf8.size()) {
    ++*i;
    return kReplacement;
  }
  for (int k = 1; k < length; ++k) {
    uint8_t next = byte(*i + k);
    if ((next & 0xC0) != 0x80) {
      ++*i;
      return kReplacement;
    }
    c = (c << 6) | (next & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*i;
    return kReplacement;
  }
  *i += length;
  return c;
}

}  // namespace

string16 UTF8ToUTF16(std::string_view utf8) {
  string16 out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) AppendUTF16(DecodeUTF8(utf8, &i), &out);
  return out;
}

std::string UTF16ToUTF8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUTF8(c, &out);
  }
  return out;
}

string16 ASCIIToUTF16(std::string_view ascii) {
  string16 out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
  return out;
}

}  // namespace ipcbase
