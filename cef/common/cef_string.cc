#include "cef/include/internal/cef_string.h"

#include <cstring>

#include "ipc/base/utf_string_conversions.h"

namespace {

void FreeUtf16(char16* str) { delete[] str; }

}  // namespace

int cef_string_utf16_set(const char16* src, size_t src_len, cef_string_utf16_t* output,
                         int copy) {
  // src may point into *output's own text; copy before freeing.
  char16* text = nullptr;
  void (*dtor)(char16*) = nullptr;
  if (copy) {
    text = new char16[src_len + 1];
    if (src_len) std::memcpy(text, src, src_len * sizeof(char16));
    text[src_len] = 0;
    dtor = &FreeUtf16;
  } else {
    text = const_cast<char16*>(src);
  }
  cef_string_utf16_clear(output);
  output->str = text;
  output->length = src_len;
  output->dtor = dtor;
  return 1;
}

void cef_string_utf16_clear(cef_string_utf16_t* str) {
  if (!str) return;
  if (str->dtor && str->str) str->dtor(str->str);
  str->str = nullptr;
  str->length = 0;
  str->dtor = nullptr;
}

CefString::CefString() = default;

CefString::CefString(const CefString& other) { Assign(other.view()); }

CefString::CefString(CefString&& other) noexcept {
  if (other.IsOwner()) {
    owned_ = other.owned_;
    other.owned_ = {nullptr, 0, nullptr};
  } else {
    Assign(other.view());
  }
}

CefString::CefString(const char* utf8) { FromString(std::string_view(utf8 ? utf8 : "")); }
CefString::CefString(const std::string& utf8) { FromString(utf8); }
CefString::CefString(std::string_view utf8) { FromString(utf8); }
CefString::CefString(const char16* utf16) { Assign(std::u16string_view(utf16 ? utf16 : u"")); }
CefString::CefString(const std::u16string& utf16) { Assign(utf16); }

CefString::CefString(const char16* utf16, size_t length, bool copy) {
  if (!utf16) length = 0;
  cef_string_utf16_set(utf16 ? utf16 : u"", length, &owned_, copy ? 1 : 0);
}

CefString::CefString(const cef_string_t* str) {
  if (str && str->str) Assign(std::u16string_view(str->str, str->length));
}

CefString::CefString(cef_string_t* str) {
  if (str) string_ = str;
}

CefString::~CefString() { cef_string_utf16_clear(&owned_); }

CefString& CefString::operator=(const CefString& other) {
  if (this != &other) Assign(other.view());
  return *this;
}

CefString& CefString::operator=(CefString&& other) noexcept {
  if (this == &other) return *this;
  if (IsOwner() && other.IsOwner()) {
    cef_string_utf16_clear(&owned_);
    owned_ = other.owned_;
    other.owned_ = {nullptr, 0, nullptr};
  } else {
    Assign(other.view());
  }
  return *this;
}

const char16* CefString::c_str() const { return string_->str ? string_->str : u""; }

size_t CefString::length() const { return string_->str ? string_->length : 0; }

void CefString::clear() { cef_string_utf16_clear(string_); }

int CefString::compare(const CefString& other) const { return view().compare(other.view()); }

std::string CefString::ToString() const { return ipcbase::UTF16ToUTF8(view()); }

std::u16string CefString::ToString16() const { return std::u16string(view()); }

bool CefString::FromString(std::string_view utf8) {
  Assign(ipcbase::UTF8ToUTF16(utf8));
  return true;
}

bool CefString::FromString16(std::u16string_view utf16) {
  Assign(utf16);
  return true;
}

bool CefString::FromASCII(const char* ascii) {
  Assign(ipcbase::ASCIIToUTF16(ascii ? ascii : ""));
  return true;
}

void CefString::Assign(std::u16string_view text) {
  cef_string_utf16_set(text.data(), text.size(), string_, 1);
}

bool operator==(const CefString& a, const CefString& b) { return a.compare(b) == 0; }
bool operator!=(const CefString& a, const CefString& b) { return a.compare(b) != 0; }
bool operator<(const CefString& a, const CefString& b) { return a.compare(b) < 0; }
